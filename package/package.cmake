# Makes the release ZIP from the built programs; run with cmake -P by the "package" target.
# Two builds of one commit must give the same bytes: every entry gets the commit's time and a
# fixed mode, entries are stored in sorted order, and zip adds no owner or extra time fields.
# Inputs: VARNIS_EXE ARSHIM_EXE SOURCE_DIR IMGUI_DIR VERSION STAGE OUT
cmake_minimum_required(VERSION 3.25)

foreach(input VARNIS_EXE ARSHIM_EXE SOURCE_DIR IMGUI_DIR VERSION STAGE OUT)
  if("${${input}}" STREQUAL "")
    message(FATAL_ERROR "package: ${input} not given")
  endif()
endforeach()
find_program(ZIP_PROGRAM zip)
if(NOT ZIP_PROGRAM)
  message(FATAL_ERROR "package: the zip program is missing (Debian package zip)")
endif()

# read_text(<var> <file>): the file's text; a missing file stops the build, as a notice
# must never be left out quietly.
function(read_text var file)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "package: ${file} is missing")
  endif()
  file(READ "${file}" text)
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

# Windows text: CRLF line ends, whatever the source had.
function(write_text file text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE "${file}" "${text}")
endfunction()

function(package_version var package)
  execute_process(COMMAND dpkg-query -W -f=\${Version} ${package}
                  OUTPUT_VARIABLE version RESULT_VARIABLE rc ERROR_QUIET)
  if(NOT rc EQUAL 0 OR version STREQUAL "")
    message(FATAL_ERROR "package: Debian package ${package} is not installed")
  endif()
  set(${var} "${version}" PARENT_SCOPE)
endfunction()

# The time of every entry: SOURCE_DATE_EPOCH when set, else the newest commit's, else a fixed
# time (the earliest a ZIP entry can hold). A source tree that is not itself a git checkout
# must not borrow the time of a repository around it.
function(entry_time var)
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  if(epoch MATCHES "^[0-9]+$")
    set(${var} ${epoch} PARENT_SCOPE)
    return()
  endif()
  set(epoch 315532800)
  execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --show-toplevel
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc ERROR_QUIET)
  if(rc EQUAL 0)
    file(REAL_PATH "${top}" top)
    file(REAL_PATH "${SOURCE_DIR}" source)
  endif()
  if(rc EQUAL 0 AND top STREQUAL source)
    execute_process(COMMAND git -C "${SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(commit_time MATCHES "^[0-9]+$")
      set(epoch ${commit_time})
    endif()
  endif()
  set(${var} ${epoch} PARENT_SCOPE)
endfunction()

# excerpt(<var> <text> <first> <last>): the text from <first> to the end of <last>, both
# taken verbatim from a licence file; either missing stops the build.
function(excerpt var text first last)
  string(FIND "${text}" "${first}" begin)
  string(FIND "${text}" "${last}" end)
  if(begin EQUAL -1 OR end LESS begin)
    message(FATAL_ERROR "package: \"${first}\" ... \"${last}\" not found in a licence file")
  endif()
  string(LENGTH "${last}" last_length)
  math(EXPR length "${end} + ${last_length} - ${begin}")
  string(SUBSTRING "${text}" ${begin} ${length} text)
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

function(notices var)
  set(rule "================================================================================")
  read_text(imgui_header "${IMGUI_DIR}/imgui.h")
  string(REGEX MATCH "#define IMGUI_VERSION +\"([^\"]+)\"" found "${imgui_header}")
  set(imgui_version "${CMAKE_MATCH_1}")
  read_text(imgui_licence "${IMGUI_DIR}/LICENSE.txt")
  package_version(mingw_version mingw-w64-x86-64-dev)
  set(mingw_file /usr/share/doc/mingw-w64-x86-64-dev/copyright)
  read_text(mingw_copyright ${mingw_file})
  package_version(gcc_version g++-mingw-w64-x86-64-posix)
  read_text(gcc_copyright /usr/share/doc/gcc-mingw-w64-base/copyright)
  excerpt(gcc_terms "${gcc_copyright}" "The following runtime libraries are licensed" " - libvtv\n")
  excerpt(exception "${gcc_copyright}" "GCC RUNTIME LIBRARY EXCEPTION"
          "requirements of the license of GCC.\n")

  # Licences that the copyright files only name by their place on a Debian system follow in
  # full, since a player's computer does not have that place.
  string(REGEX MATCHALL "/usr/share/common-licenses/[A-Za-z0-9.+-]+" named "${mingw_copyright}")
  list(APPEND named /usr/share/common-licenses/GPL-3)
  list(REMOVE_DUPLICATES named)
  list(SORT named)
  set(appendix "")
  foreach(licence_file ${named})
    get_filename_component(name ${licence_file} NAME)
    read_text(text ${licence_file})
    string(APPEND appendix "\n${rule}\n${name}: the text of ${licence_file} on Debian\n${rule}\n\n${text}")
  endforeach()

  set(text "Third-party notices for Varnis ${VERSION}
${rule}

Varnis.exe and tools\\bin\\arshim.exe are built with the mingw-w64 GCC ${gcc_version}
cross compiler of Debian and are linked statically. They contain code of:

1. Dear ImGui ${imgui_version} (Varnis.exe only): the MIT licence below, the LICENSE.txt of the
   Dear ImGui source package the programs were built from.
2. The mingw-w64 runtime and its winpthreads library (both programs): the copyright file of
   Debian's mingw-w64-x86-64-dev ${mingw_version}, below in full.
3. The GCC runtime libraries libgcc and libstdc++ (both programs): GNU GPL version 3 with the
   GCC Runtime Library Exception version 3.1, which permits this use; the exception below as
   Debian's gcc-mingw-w64-base copyright file gives it, the GPL's text in the appendix.

The appendix holds every licence that these texts name only by a file on a Debian system.

${rule}
1. Dear ImGui ${imgui_version}: LICENSE.txt
${rule}

${imgui_licence}
${rule}
2. mingw-w64 runtime and winpthreads: ${mingw_file}
${rule}

${mingw_copyright}
${rule}
3. GCC runtime libraries (libgcc, libstdc++)
${rule}

From /usr/share/doc/gcc-mingw-w64-base/copyright:

${gcc_terms}
${exception}
${rule}
Appendix
${rule}
${appendix}")
  set(${var} "${text}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}/tools/bin")
file(COPY_FILE "${VARNIS_EXE}" "${STAGE}/Varnis.exe")
file(COPY_FILE "${ARSHIM_EXE}" "${STAGE}/tools/bin/arshim.exe")
read_text(readme "${SOURCE_DIR}/package/README.txt")
string(CONFIGURE "${readme}" readme @ONLY)
write_text("${STAGE}/README.txt" "${readme}")
read_text(shim_text "${SOURCE_DIR}/package/arshim.txt")
write_text("${STAGE}/tools/bin/arshim.txt" "${shim_text}")
notices(notice_text)
write_text("${STAGE}/THIRD-PARTY-NOTICES.txt" "${notice_text}")

set(entries README.txt THIRD-PARTY-NOTICES.txt Varnis.exe tools/bin/arshim.exe tools/bin/arshim.txt)
list(SORT entries)
entry_time(epoch)
foreach(entry ${entries})
  if(entry MATCHES "\\.exe$")
    file(CHMOD "${STAGE}/${entry}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  else()
    file(CHMOD "${STAGE}/${entry}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
  execute_process(COMMAND touch -d @${epoch} "${STAGE}/${entry}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
list(JOIN entries "\n" list_text)
file(WRITE "${STAGE}.list" "${list_text}\n")

# -X: no owner and no extra time fields; -D: no folder entries; zip writes local time, so UTC.
file(REMOVE "${OUT}.new")
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC0 ${ZIP_PROGRAM} -X -D -q -9 "${OUT}.new" -@
                INPUT_FILE "${STAGE}.list" WORKING_DIRECTORY "${STAGE}" COMMAND_ERROR_IS_FATAL ANY)
# An unchanged package keeps its file, so nothing downstream sees a new one.
if(EXISTS "${OUT}")
  file(SHA256 "${OUT}" old_sum)
  file(SHA256 "${OUT}.new" new_sum)
endif()
if(EXISTS "${OUT}" AND old_sum STREQUAL new_sum)
  file(REMOVE "${OUT}.new")
else()
  file(RENAME "${OUT}.new" "${OUT}")
endif()
