# Signs EXE in place with osslsigncode (SHA-256), as the build step after the
# link; cmake/Signing.cmake passes the options. The signature is made into a
# file beside EXE and renamed over it. On any failure EXE is deleted: no
# unsigned exe is left where the signed one belongs, and the next build links
# it again instead of taking it for up to date.
#
#   cmake -DOSSLSIGNCODE=... -DEXE=... (-DPKCS12=... -DPASSWORD_FILE=...
#         | -DPKCS11_MODULE=... -DPKCS11_KEY=... -DCERT=... [-DPKCS11_ENGINE=...]
#           [-DPASSWORD_FILE=<PIN file>]) [-DTIMESTAMP_URL=...] -P cmake/SignExe.cmake

set(signing "${EXE}.signing")

function(fail why)
  file(REMOVE "${EXE}" "${signing}")
  get_filename_component(name "${EXE}" NAME)
  message(FATAL_ERROR "Signing ${name} failed, so it is deleted: ${why}")
endfunction()

foreach(file PKCS12 PASSWORD_FILE PKCS11_MODULE PKCS11_ENGINE CERT)
  if(NOT ${file} STREQUAL "" AND NOT EXISTS "${${file}}")
    fail("LAUNCHER_SIGN_${file} '${${file}}' does not exist.")
  endif()
endforeach()

set(args sign -h sha256)
if(PKCS12)
  list(APPEND args -pkcs12 "${PKCS12}")
else()
  if(PKCS11_ENGINE)
    list(APPEND args -pkcs11engine "${PKCS11_ENGINE}")
  endif()
  # A PKCS#11 URI may hold ';', which would split a CMake list.
  string(REPLACE ";" "\\;" key "${PKCS11_KEY}")
  list(APPEND args -pkcs11module "${PKCS11_MODULE}" -certs "${CERT}" -key "${key}")
endif()
if(PASSWORD_FILE)
  list(APPEND args -readpass "${PASSWORD_FILE}")
endif()
if(TIMESTAMP_URL)
  list(APPEND args -ts "${TIMESTAMP_URL}")
else()
  # osslsigncode would write the current time into the signature. Without a
  # time-stamp Windows takes no validity from it, so a fixed one keeps the
  # signed exe reproducible.
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    list(APPEND args -time "$ENV{SOURCE_DATE_EPOCH}")
  else()
    list(APPEND args -time 0)
  endif()
endif()

file(REMOVE "${signing}")
execute_process(COMMAND "${OSSLSIGNCODE}" ${args} -in "${EXE}" -out "${signing}"
                RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed OR NOT EXISTS "${signing}")
  fail("osslsigncode says:\n${output}")
endif()
# osslsigncode writes a plain file; the exe keeps the mode the linker gave it.
file(CHMOD "${signing}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
     GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
file(RENAME "${signing}" "${EXE}")
