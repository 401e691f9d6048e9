# The guard against C runtime opens, run on small trees: each planted open must fail it and be
# named; a tree with only the helper, comments and classic modes in the demo kit must pass.
#   cmake -DGUARD=<check_crt_opens.cmake> -DWORK=<scratch folder> -P check_crt_opens_planted.cmake
if(NOT GUARD OR NOT WORK)
  message(FATAL_ERROR "usage: cmake -DGUARD=... -DWORK=... -P check_crt_opens_planted.cmake")
endif()

set(helper_text "FILE* f = _wfdopen(fd, L\"rb\");\nint fd = _open_osfhandle(h, 0);\n")
set(clean_text "// _wfopen(path, L\"rbN\") once stood here\nFILE* f = open_own_file(path, \"rb\");\nint reopened = my_fopen_count(1);\n")

# run_guard(<name> <file in the tree> <its text> <expect fail: TRUE|FALSE> <text the output must hold>)
function(run_guard name file text expect_fail must_show)
  set(tree "${WORK}/${name}")
  file(REMOVE_RECURSE "${tree}")
  file(WRITE "${tree}/launcher/files.cpp" "${helper_text}")
  file(WRITE "${tree}/launcher/clean.cpp" "${clean_text}")
  file(WRITE "${tree}/demo/ok.cpp" "FILE* f = _wfopen(p, L\"ab\");\n")
  file(WRITE "${tree}/${file}" "#include <cstdio>\n${text}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${tree} -P ${GUARD}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(out "${out}${err}")
  if(expect_fail AND rc EQUAL 0)
    message(SEND_ERROR "${name}: the guard passed ${file} holding: ${text}")
  elseif(NOT expect_fail AND NOT rc EQUAL 0)
    message(SEND_ERROR "${name}: the guard failed a clean tree:\n${out}")
  elseif(must_show AND NOT out MATCHES "${must_show}")
    message(SEND_ERROR "${name}: the guard did not name \"${must_show}\":\n${out}")
  else()
    message(STATUS "${name}: as expected")
  endif()
endfunction()

run_guard(planted_wfopen_N launcher/planted.cpp "FILE* f = _wfopen(path.c_str(), L\"rbN\");" TRUE
          "launcher/planted.cpp:2:")
run_guard(planted_fopen pipeline/planted.cpp "  if (FILE* f = fopen(name, \"rb\")) fclose(f);" TRUE
          "pipeline/planted.cpp:2:")
run_guard(planted_wfsopen screens/planted.cpp "f = _wfsopen(p, L\"r\", _SH_DENYNO);" TRUE
          "screens/planted.cpp:2:")
run_guard(planted_freopen game/planted.h "freopen(\"log.txt\", \"a\", stdout);" TRUE
          "game/planted.h:2:")
run_guard(planted_wfdopen shim/planted.cpp "FILE* f = _wfdopen(fd, L\"wbN\");" TRUE
          "shim/planted.cpp:2:")
run_guard(planted_wsopen launcher/planted.cpp "int fd = _wsopen(p, _O_RDONLY, _SH_DENYNO);" TRUE
          "launcher/planted.cpp:2:")
run_guard(planted_ofstream launcher/planted.cpp "std::ofstream out(path);" TRUE
          "launcher/planted.cpp:2:")
run_guard(planted_demo_x demo/planted.cpp "FILE* f = _wfopen(p, L\"wx\");" TRUE
          "demo/planted.cpp:2: mode \"wx\"")
run_guard(planted_test_e tests/planted.cpp "FILE* f = fopen(p, \"rbe\");" TRUE
          "tests/planted.cpp:2: mode \"rbe\"")
run_guard(clean launcher/more.cpp "FILE* f = open_own_file(settings_path, \"wb\");" FALSE "")
