# What tessarn is built from, beyond the C++ standard library: zlib,
# libspng, threads and CLI11. Each becomes a target named tessarn_<name>.
#
# libspng reads and writes PNG. The Windows cross build compiles it from
# Debian's source package (TESSARN_SPNG_SOURCE_DIR, against MinGW's zlib);
# everywhere else it is the installed library (Debian: libspng-dev).
set(TESSARN_SPNG_SOURCE_DIR "" CACHE PATH
    "libspng's source tree, to build it into tessarn instead of using an installed libspng")
if(TESSARN_SPNG_SOURCE_DIR AND WIN32)
  # So that tessarn.exe needs no zlib DLL.
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
if(TESSARN_SPNG_SOURCE_DIR)
  enable_language(C)
  add_library(tessarn_spng STATIC "${TESSARN_SPNG_SOURCE_DIR}/spng/spng.c")
  target_include_directories(tessarn_spng SYSTEM PUBLIC "${TESSARN_SPNG_SOURCE_DIR}/spng")
  target_compile_definitions(tessarn_spng PUBLIC SPNG_STATIC)
  # Not our code: its warnings are not ours to fix.
  target_compile_options(tessarn_spng PRIVATE $<IF:$<C_COMPILER_ID:MSVC>,/w,-w>)
  target_link_libraries(tessarn_spng PUBLIC ZLIB::ZLIB)
else()
  find_path(TESSARN_SPNG_INCLUDE_DIR spng.h)
  find_library(TESSARN_SPNG_LIBRARY spng)
  if(NOT TESSARN_SPNG_INCLUDE_DIR OR NOT TESSARN_SPNG_LIBRARY)
    message(FATAL_ERROR "libspng not found: install it (Debian: libspng-dev), or set "
                        "TESSARN_SPNG_SOURCE_DIR to its sources")
  endif()
  add_library(tessarn_spng INTERFACE)
  target_include_directories(tessarn_spng SYSTEM INTERFACE "${TESSARN_SPNG_INCLUDE_DIR}")
  target_link_libraries(tessarn_spng INTERFACE "${TESSARN_SPNG_LIBRARY}")
endif()
find_package(Threads REQUIRED)

# Option parsing: CLI11, header-only (Debian: libcli11-dev). The Windows cross
# build takes the same headers through a folder holding only CLI/: adding
# the system include folder would put Linux's C headers before MinGW's.
find_package(CLI11 CONFIG QUIET)
add_library(tessarn_cli11 INTERFACE)
if(CLI11_FOUND AND NOT CMAKE_CROSSCOMPILING)
  target_link_libraries(tessarn_cli11 INTERFACE CLI11::CLI11)
else()
  find_path(TESSARN_CLI11_INCLUDE_DIR CLI/CLI.hpp NO_CMAKE_FIND_ROOT_PATH)
  if(NOT TESSARN_CLI11_INCLUDE_DIR)
    message(FATAL_ERROR "CLI11 not found: install it (Debian: libcli11-dev), or set "
                        "TESSARN_CLI11_INCLUDE_DIR to the folder holding CLI/CLI.hpp")
  endif()
  file(COPY "${TESSARN_CLI11_INCLUDE_DIR}/CLI" DESTINATION "${PROJECT_BINARY_DIR}/cli11-include")
  target_include_directories(tessarn_cli11 SYSTEM INTERFACE "${PROJECT_BINARY_DIR}/cli11-include")
endif()
