# Demo build script: a scenario for the interpreter stand-in (demo/python_standin.cpp), not Python.
# Walks the seven build stages with visible progress, then leaves what a finished build leaves.
out Varnis demo build 0.2.2-demo

out STAGE extract Extract the game files from the disc
out PROGRESS 0 Reading the disc image
sleep 120
out PROGRESS 10 Reading the disc image
sleep 120
out PROGRESS 20 default.xbe
sleep 120
out PROGRESS 30 default.xbe
sleep 120
out PROGRESS 40 media/textures.xpr
sleep 120
out PROGRESS 50 media/textures.xpr
sleep 120
out PROGRESS 60 media/sounds.xwb
sleep 120
out PROGRESS 70 media/sounds.xwb
sleep 120
out PROGRESS 80 Checking the extracted files
sleep 120
out PROGRESS 90 Checking the extracted files
sleep 120
out PROGRESS 100 Checking the extracted files

out STAGE stage Stage the game files
out PROGRESS 0 Copying media
sleep 112
out PROGRESS 17 Copying media
sleep 112
out PROGRESS 33 Copying levels
sleep 112
out PROGRESS 50 Copying levels
sleep 112
out PROGRESS 67 Writing the file index
sleep 112
out PROGRESS 83 Writing the file index
sleep 112
out PROGRESS 100 Writing the file index

out STAGE analyse Analyse the game code
out PROGRESS 0 Reading sections
sleep 128
out PROGRESS 12 Reading sections
sleep 128
out PROGRESS 25 Finding functions
sleep 128
out PROGRESS 38 Finding functions
sleep 128
out PROGRESS 50 Resolving imports
sleep 128
out PROGRESS 62 Resolving imports
sleep 128
out PROGRESS 75 Building the call graph
sleep 128
out PROGRESS 88 Building the call graph
sleep 128
out PROGRESS 100 Building the call graph

out STAGE lift Recompile the game code
out PROGRESS 0 Translating functions 1-800
sleep 135
out PROGRESS 10 Translating functions 1-800
sleep 135
out PROGRESS 20 Translating functions 801-1600
sleep 135
out PROGRESS 30 Translating functions 801-1600
sleep 135
out PROGRESS 40 Translating functions 1601-2400
sleep 135
out PROGRESS 50 Translating functions 1601-2400
sleep 135
out PROGRESS 60 Translating functions 2401-3200
sleep 135
out PROGRESS 70 Translating functions 2401-3200
sleep 135
out PROGRESS 80 Writing sources
sleep 135
out PROGRESS 90 Writing sources
sleep 135
out PROGRESS 100 Writing sources

out STAGE fix Apply fixes
out PROGRESS 0 Frame pacing
sleep 112
out PROGRESS 17 Frame pacing
sleep 112
out PROGRESS 33 Widescreen
sleep 112
out PROGRESS 50 Widescreen
sleep 112
out PROGRESS 67 Save paths
sleep 112
out PROGRESS 83 Save paths
sleep 112
out PROGRESS 100 Save paths

out STAGE compile Compile the game module
out PROGRESS 0 Compiling 1 of 4
sleep 135
out PROGRESS 10 Compiling 1 of 4
sleep 135
out PROGRESS 20 Compiling 2 of 4
sleep 135
out PROGRESS 30 Compiling 2 of 4
sleep 135
out PROGRESS 40 Compiling 3 of 4
sleep 135
out PROGRESS 50 Compiling 3 of 4
sleep 135
out PROGRESS 60 Compiling 4 of 4
sleep 135
out PROGRESS 70 Compiling 4 of 4
sleep 135
out PROGRESS 80 Linking varnis_game.dll
sleep 135
out PROGRESS 90 Linking varnis_game.dll
sleep 135
copy game\varnis_game.dll build\varnis_game.dll
out PROGRESS 100 Linking varnis_game.dll

out STAGE ready Finish the build
out PROGRESS 0 Writing the ready marker
sleep 150
out PROGRESS 50 Writing the ready marker
sleep 150
file stamps\build.json {"version": "0.2.2-demo", "builder": "demo"}\n
ready
out PROGRESS 100 Writing the ready marker

out Build finished.
out DONE\s
