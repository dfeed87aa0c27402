# Optional Authenticode signature of the shipping exe, made with osslsigncode
# right after the link (cmake/SignExe.cmake). The key is either a PKCS#12
# file or on a PKCS#11 token; without either nothing is signed. Passwords and
# PINs are only ever read from a file by osslsigncode itself, so they reach
# no command line, cache or log.

set(LAUNCHER_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file with the code-signing key and certificate; set to sign the exe")
set(LAUNCHER_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the PKCS#12 file's password, or the token's PIN")
set(LAUNCHER_SIGN_PKCS11_MODULE "" CACHE FILEPATH "PKCS#11 module of the hardware token that holds the key; set to sign the exe")
set(LAUNCHER_SIGN_PKCS11_KEY "" CACHE STRING "The key on the token: its id or a PKCS#11 URI")
set(LAUNCHER_SIGN_PKCS11_ENGINE "" CACHE FILEPATH "OpenSSL's PKCS#11 engine, if osslsigncode does not find it by itself")
set(LAUNCHER_SIGN_CERT "" CACHE FILEPATH "Certificate of the token's key, with its chain (PEM or DER)")
set(LAUNCHER_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server; empty: the signature carries no time-stamp")

function(_launcher_sign_file_must_exist option)
  if(NOT ${option} STREQUAL "" AND NOT EXISTS "${${option}}")
    message(FATAL_ERROR "${option} '${${option}}' does not exist.")
  endif()
endfunction()

# Checks the signing options; sets LAUNCHER_SIGN to TRUE if the exe is to be signed.
function(launcher_check_signing)
  set(sign FALSE)
  if(LAUNCHER_SIGN_PKCS12 AND LAUNCHER_SIGN_PKCS11_MODULE)
    message(FATAL_ERROR "Set either LAUNCHER_SIGN_PKCS12 or LAUNCHER_SIGN_PKCS11_MODULE, not both.")
  elseif(LAUNCHER_SIGN_PKCS12)
    if(LAUNCHER_SIGN_PASSWORD_FILE STREQUAL "")
      message(FATAL_ERROR "LAUNCHER_SIGN_PKCS12 needs LAUNCHER_SIGN_PASSWORD_FILE, a file holding its password.")
    endif()
    foreach(option LAUNCHER_SIGN_PKCS11_KEY LAUNCHER_SIGN_PKCS11_ENGINE LAUNCHER_SIGN_CERT)
      if(NOT ${option} STREQUAL "")
        message(FATAL_ERROR "${option} is for a token (LAUNCHER_SIGN_PKCS11_MODULE); a PKCS#12 file holds its own key and certificate.")
      endif()
    endforeach()
    set(sign TRUE)
  elseif(LAUNCHER_SIGN_PKCS11_MODULE)
    foreach(option LAUNCHER_SIGN_PKCS11_KEY LAUNCHER_SIGN_CERT)
      if(${option} STREQUAL "")
        message(FATAL_ERROR "LAUNCHER_SIGN_PKCS11_MODULE needs ${option} too.")
      endif()
    endforeach()
    set(sign TRUE)
  else()
    foreach(option LAUNCHER_SIGN_PASSWORD_FILE LAUNCHER_SIGN_PKCS11_KEY LAUNCHER_SIGN_PKCS11_ENGINE
                   LAUNCHER_SIGN_CERT LAUNCHER_SIGN_TIMESTAMP_URL)
      if(NOT ${option} STREQUAL "")
        message(FATAL_ERROR "${option} is set, but there is no key to sign with: set LAUNCHER_SIGN_PKCS12 or LAUNCHER_SIGN_PKCS11_MODULE.")
      endif()
    endforeach()
  endif()
  if(sign)
    foreach(option LAUNCHER_SIGN_PKCS12 LAUNCHER_SIGN_PASSWORD_FILE LAUNCHER_SIGN_PKCS11_MODULE
                   LAUNCHER_SIGN_PKCS11_ENGINE LAUNCHER_SIGN_CERT)
      _launcher_sign_file_must_exist(${option})
    endforeach()
    find_program(LAUNCHER_OSSLSIGNCODE osslsigncode DOC "osslsigncode, which signs the exe")
    if(NOT LAUNCHER_OSSLSIGNCODE)
      message(FATAL_ERROR "Signing the exe needs osslsigncode, which is not found (Debian: apt-get install osslsigncode).")
    endif()
  endif()
  set(LAUNCHER_SIGN ${sign} PARENT_SCOPE)
endfunction()

# Signs `target`'s file after each link. A failed signature fails the build
# and deletes the exe, so that the next build links and signs it again.
function(launcher_sign target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND "${CMAKE_COMMAND}"
      "-DOSSLSIGNCODE=${LAUNCHER_OSSLSIGNCODE}"
      "-DEXE=$<TARGET_FILE:${target}>"
      "-DPKCS12=${LAUNCHER_SIGN_PKCS12}"
      "-DPASSWORD_FILE=${LAUNCHER_SIGN_PASSWORD_FILE}"
      "-DPKCS11_MODULE=${LAUNCHER_SIGN_PKCS11_MODULE}"
      "-DPKCS11_KEY=${LAUNCHER_SIGN_PKCS11_KEY}"
      "-DPKCS11_ENGINE=${LAUNCHER_SIGN_PKCS11_ENGINE}"
      "-DCERT=${LAUNCHER_SIGN_CERT}"
      "-DTIMESTAMP_URL=${LAUNCHER_SIGN_TIMESTAMP_URL}"
      -P "${PROJECT_SOURCE_DIR}/cmake/SignExe.cmake"
    COMMENT "Signing $<TARGET_FILE_NAME:${target}>"
    VERBATIM)
endfunction()
