# The display name is given in UTF-8 and compiled in as ANSI code page bytes
# (the launcher uses the "A" calls throughout), written as a C string of \x
# escapes.
#
# Script mode, for checking a name by hand or from a test:
#   cmake -DNAME=<utf-8 text> [-DCODE_PAGE=936] -P cmake/AnsiText.cmake

function(launcher_ansi_c_string name code_page out_var)
  if(name STREQUAL "")
    message(FATAL_ERROR "The display name is empty.")
  endif()
  if(name MATCHES "[\\\\/:*?\"<>|]")
    message(FATAL_ERROR "The display name '${name}' holds a character that a file name cannot: \\ / : * ? \" < > |")
  endif()
  string(RANDOM LENGTH 12 tag)
  set(utf8_file "${CMAKE_BINARY_DIR}/ansi-${tag}.utf8")
  set(ansi_file "${CMAKE_BINARY_DIR}/ansi-${tag}.ansi")
  file(WRITE "${utf8_file}" "${name}")
  find_program(ICONV iconv)
  if(ICONV)
    execute_process(COMMAND "${ICONV}" -f UTF-8 -t CP${code_page}
                    INPUT_FILE "${utf8_file}" OUTPUT_FILE "${ansi_file}"
                    RESULT_VARIABLE failed ERROR_QUIET)
  elseif(CMAKE_HOST_WIN32)
    execute_process(COMMAND powershell -NoProfile -Command
        "$e=[Text.Encoding]::GetEncoding(${code_page},[Text.EncoderFallback]::ExceptionFallback,[Text.DecoderFallback]::ExceptionFallback);[IO.File]::WriteAllBytes('${ansi_file}',$e.GetBytes([IO.File]::ReadAllText('${utf8_file}',[Text.Encoding]::UTF8)))"
        RESULT_VARIABLE failed ERROR_QUIET)
  else()
    message(FATAL_ERROR "Neither iconv nor PowerShell is available to convert the display name to code page ${code_page}.")
  endif()
  file(REMOVE "${utf8_file}")
  if(failed)
    file(REMOVE "${ansi_file}")
    message(FATAL_ERROR "The display name '${name}' cannot be written in code page ${code_page}; choose a name whose every character that code page has.")
  endif()
  file(READ "${ansi_file}" hex HEX)
  file(REMOVE "${ansi_file}")
  string(REGEX REPLACE "(..)" "\\\\x\\1" escaped "${hex}")
  set(${out_var} "${escaped}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT DEFINED CODE_PAGE)
    set(CODE_PAGE 936)
  endif()
  set(CMAKE_BINARY_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  launcher_ansi_c_string("${NAME}" "${CODE_PAGE}" escaped)
  message("${escaped}")
endif()
