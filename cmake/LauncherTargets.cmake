# Small-image flags for everything the shipping exe is made of, and the
# per-target generated options header.

include(CheckIPOSupported)
check_ipo_supported(RESULT LAUNCHER_IPO_SUPPORTED OUTPUT ipo_output LANGUAGES CXX)

function(launcher_size_flags target)
  target_compile_definitions(${target} PRIVATE _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Whole-program optimisation: a 512-byte file block less than without.
  if(LAUNCHER_IPO_SUPPORTED)
    set_property(TARGET ${target} PROPERTY INTERPROCEDURAL_OPTIMIZATION TRUE)
  endif()
  if(MSVC)
    target_compile_options(${target} PRIVATE /O1 /GR- /EHs-c- /W4)
    # Every copy is bounded by hand; the CRT's "secure" variants are not needed.
    target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS)
    set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded")
  elseif(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    target_compile_options(${target} PRIVATE
      -Os -Wall -Wextra -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-ident
      -fno-asynchronous-unwind-tables -ffunction-sections -fdata-sections
      "-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.")
    if(MINGW)
      # msvcrt's own printf family instead of mingw's larger replacement.
      target_compile_definitions(${target} PRIVATE __USE_MINGW_ANSI_STDIO=0)
    endif()
  endif()
endfunction()

# Generates build_options.h for `target` with `display_name` as its shortcut
# name, so that test builds can carry another name beside the shipping one.
function(launcher_configure target display_name)
  launcher_ansi_c_string("${display_name}" "${LAUNCHER_CODE_PAGE}" LAUNCHER_DISPLAY_NAME_ESCAPED)
  set(dir "${CMAKE_BINARY_DIR}/generated/${target}")
  configure_file("${PROJECT_SOURCE_DIR}/launcher/build_options.h.in" "${dir}/build_options.h" @ONLY)
  target_include_directories(${target} PUBLIC "${dir}")
  if(WIN32)
    launcher_size_flags(${target})
  endif()
endfunction()

# Generates version_info.h, the values of launcher.rc's version resource, for
# `target` with `display_name` as its product name and description.
function(launcher_version_resource target display_name)
  launcher_version_numbers("${LAUNCHER_VERSION}" LAUNCHER_VERSION_NUMBERS)
  string(REPLACE "," "." LAUNCHER_VERSION_TEXT "${LAUNCHER_VERSION_NUMBERS}")
  launcher_wide_rc_string("The display name" "${display_name}" LAUNCHER_NAME_TEXT)
  launcher_wide_rc_string("LAUNCHER_PUBLISHER" "${LAUNCHER_PUBLISHER}" LAUNCHER_PUBLISHER_TEXT)
  launcher_wide_rc_string("LAUNCHER_PUBLISHER" "Copyright © ${LAUNCHER_PUBLISHER}" LAUNCHER_COPYRIGHT_TEXT)
  set(dir "${CMAKE_BINARY_DIR}/generated/${target}")
  configure_file("${PROJECT_SOURCE_DIR}/resources/version_info.h.in" "${dir}/version_info.h" @ONLY)
  target_include_directories(${target} PRIVATE "${dir}")
  # The resource compiler reports no header dependencies of its own.
  set_property(SOURCE "${PROJECT_SOURCE_DIR}/resources/launcher.rc" APPEND PROPERTY
    OBJECT_DEPENDS "${dir}/version_info.h")
endfunction()

# Code that touches no platform API: built for Windows and natively alike.
set(LAUNCHER_PORTABLE_SOURCES
  "${PROJECT_SOURCE_DIR}/launcher/text.cpp"
  "${PROJECT_SOURCE_DIR}/identity/uid_answer.cpp"
  "${PROJECT_SOURCE_DIR}/http/answer_buffer.cpp"
  "${PROJECT_SOURCE_DIR}/play/play_url.cpp"
  "${PROJECT_SOURCE_DIR}/play/report_body.cpp")

function(launcher_add_portable target display_name)
  add_library(${target} STATIC ${LAUNCHER_PORTABLE_SOURCES})
  target_include_directories(${target} PUBLIC "${PROJECT_SOURCE_DIR}")
  launcher_configure(${target} "${display_name}")
endfunction()

# The launcher exe: a GUI program, statically linked so it needs no DLL that
# Windows does not ship, importing only DLLs Windows loads from its own folder.
function(launcher_add_executable target display_name)
  set(portable ${target}_portable)
  launcher_add_portable(${portable} "${display_name}")
  add_library(${target}_platform STATIC
    "${PROJECT_SOURCE_DIR}/launcher/dll_search.cpp"
    "${PROJECT_SOURCE_DIR}/shortcut/desktop_shortcut.cpp"
    "${PROJECT_SOURCE_DIR}/identity/device_id.cpp"
    "${PROJECT_SOURCE_DIR}/http/codepage.cpp"
    "${PROJECT_SOURCE_DIR}/http/wininet_binding.cpp"
    "${PROJECT_SOURCE_DIR}/http/post_form.cpp"
    "${PROJECT_SOURCE_DIR}/http/service_request.cpp"
    "${PROJECT_SOURCE_DIR}/play/play_page.cpp"
    "${PROJECT_SOURCE_DIR}/play/launch_report.cpp")
  target_link_libraries(${target}_platform PUBLIC ${portable} shell32 ole32 uuid user32)
  launcher_size_flags(${target}_platform)

  add_executable(${target} WIN32
    "${PROJECT_SOURCE_DIR}/launcher/main.cpp"
    "${PROJECT_SOURCE_DIR}/resources/launcher.rc")
  target_link_libraries(${target} PRIVATE ${target}_platform)
  launcher_version_resource(${target} "${display_name}")
  launcher_size_flags(${target})
  if(MSVC)
    # The manifest comes from launcher.rc; /Brepro keeps the image reproducible.
    target_link_options(${target} PRIVATE /MANIFEST:NO /OPT:REF /Brepro)
  elseif(MINGW)
    target_link_options(${target} PRIVATE -static -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
  endif()
endfunction()
