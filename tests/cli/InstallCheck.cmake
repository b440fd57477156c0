# Installs the build tree into a fresh prefix and checks what landed there:
#   cmake -D BUILD_DIR=... -D PREFIX=... -D GUI=ON|OFF -P InstallCheck.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE installed OUTPUT_QUIET)
if(NOT installed EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${installed}")
endif()

set(expected bin/velmora-cli)
if(GUI)
  list(APPEND expected bin/velmora share/applications/velmora.desktop
       share/icons/hicolor/scalable/apps/velmora.svg)
endif()
foreach(file IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
if(GUI)
  # bin/velmora is a link to the program beside its web view module.
  file(REAL_PATH "${PREFIX}/bin/velmora" program)
  get_filename_component(program_dir "${program}" DIRECTORY)
  if(NOT IS_SYMLINK "${PREFIX}/bin/velmora" OR NOT EXISTS "${program_dir}/velmora_webview.so")
    message(FATAL_ERROR "velmora is not installed beside velmora_webview.so: ${program}")
  endif()
  file(READ "${PREFIX}/share/applications/velmora.desktop" entry)
  if(NOT entry MATCHES "\nExec=velmora\n" OR NOT entry MATCHES "\nIcon=velmora\n")
    message(FATAL_ERROR "the desktop entry does not start velmora with its icon")
  endif()
endif()

execute_process(COMMAND "${PREFIX}/bin/velmora-cli" --version RESULT_VARIABLE ran OUTPUT_VARIABLE version)
if(NOT ran EQUAL 0 OR NOT version MATCHES "^velmora-cli [0-9]")
  message(FATAL_ERROR "the installed velmora-cli does not run: ${ran} ${version}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
