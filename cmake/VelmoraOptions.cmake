# One interface target carries the language level, warnings and sanitizer flags;
# every library, executable and test links it.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

set(VELMORA_SANITIZE "" CACHE STRING "Sanitizers to build with: empty, address,undefined, or thread")
# Off by default so a user building with a newer compiler is not stopped by a warning it
# has learnt since; every preset turns it on, so CI fails on any warning.
option(VELMORA_WERROR "Treat compiler warnings as errors" OFF)

add_library(velmora_options INTERFACE)
target_compile_options(velmora_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
if(VELMORA_WERROR)
  target_compile_options(velmora_options INTERFACE -Werror)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 at -O3 reports -Wrestrict on plain std::string appends (GCC bug 105651).
  target_compile_options(velmora_options INTERFACE -Wno-restrict)
endif()
target_include_directories(velmora_options INTERFACE ${PROJECT_SOURCE_DIR}/src)

if(VELMORA_SANITIZE)
  target_compile_options(velmora_options INTERFACE
    -fsanitize=${VELMORA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(velmora_options INTERFACE -fsanitize=${VELMORA_SANITIZE})
endif()

if(VELMORA_BUILD_FUZZ)
  # Coverage instrumentation for the libraries the fuzz targets link.
  target_compile_options(velmora_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
