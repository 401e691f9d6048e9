# Guard: the product opens its own files only through launcher/files.cpp (open_own_file).
#   cmake -DROOT=<source folder> -P check_crt_opens.cmake
# Fails, naming each place, when a C runtime open appears in the product (launcher/ pipeline/
# screens/ game/ shim/) outside the helper: a mode string there could carry a character that
# Wine ignores and Windows refuses ("N", "x", "e"), and a descriptor or stream opened that way is
# inheritable by the build process. Also fails when a mode string outside r, w, a, +, b, t
# appears in an open of the demo kit or the tests, which are not the product but run on Windows
# just the same.
if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source folder> -P check_crt_opens.cmake")
endif()
set(product_dirs launcher pipeline screens game shim)
set(other_dirs demo tests)
set(helper launcher/files.cpp)

# A name not preceded by an identifier character, then an opening parenthesis.
set(lead "(^|[^A-Za-z0-9_])")
set(crt_open_calls
    "${lead}(_w|_)?f(s|d|re)?open(_s)?[ \t]*\\("  # fopen _wfopen _fsopen _wfsopen _fdopen _wfdopen freopen _wfreopen fopen_s ...
    "${lead}(_w|_)?popen[ \t]*\\("                # _popen _wpopen
    "${lead}_w?s?open(_s)?[ \t]*\\("              # _open _wopen _sopen _wsopen _sopen_s _wsopen_s
    "${lead}_w?creat[ \t]*\\("                    # _creat _wcreat
    "${lead}(std::)?(basic_)?[io]?fstream([^A-Za-z0-9_]|$)"  # C++ streams open through fopen
    "${lead}(std::)?(basic_)?filebuf([^A-Za-z0-9_]|$)")
# An open with a literal mode, in the demo kit and the tests: only the classic characters.
set(mode_call "(_w|_)?f(s|d|re)?open(_s)?[ \t]*\\([^;]*,[ \t]*L?\"([^\"]*)\"")

set(found "")
function(scan dirs is_product)
  foreach(dir ${dirs})
    file(GLOB_RECURSE sources LIST_DIRECTORIES false RELATIVE "${ROOT}"
         "${ROOT}/${dir}/*.cpp" "${ROOT}/${dir}/*.c" "${ROOT}/${dir}/*.h" "${ROOT}/${dir}/*.hpp"
         "${ROOT}/${dir}/*.inl")
    foreach(source ${sources})
      if(source STREQUAL helper)
        continue()
      endif()
      file(STRINGS "${ROOT}/${source}" lines ENCODING UTF-8)
      set(number 0)
      foreach(line IN LISTS lines)
        math(EXPR number "${number} + 1")
        # A line comment may name these functions; only code counts.
        string(REGEX REPLACE "//.*$" "" code "${line}")
        if(is_product)
          foreach(pattern ${crt_open_calls})
            if(code MATCHES "${pattern}")
              string(STRIP "${line}" shown)
              set(found "${found}\n  ${source}:${number}: ${shown}")
              break()
            endif()
          endforeach()
        elseif(code MATCHES "${mode_call}")
          set(mode "${CMAKE_MATCH_4}")
          if(NOT mode MATCHES "^[rwa][+bt]*$")
            string(STRIP "${line}" shown)
            set(found "${found}\n  ${source}:${number}: mode \"${mode}\": ${shown}")
          endif()
        endif()
      endforeach()
    endforeach()
  endforeach()
  set(found "${found}" PARENT_SCOPE)
endfunction()

scan("${product_dirs}" TRUE)
scan("${other_dirs}" FALSE)
if(found)
  message(FATAL_ERROR "C runtime opens outside ${helper} (use open_own_file with a mode of "
                      "r, w, a, + and b only; see the README, \"What Wine forgives and Windows "
                      "does not\"):${found}")
endif()
message(STATUS "crt open guard: no C runtime open outside ${helper}")
