# tessarn_add_conversion(<target> DIRECTORY <dir> [OUTPUT_DIRECTORY <dir>]
#                        [BYPRODUCTS <file>...] [OPTIONS <argument>...]
#                        [C_LIBRARY] [ALLOW_SKIPPED])
#
# Converts a folder of art with tessarn as part of a build: the job list
# <dir>/tessarn.txt and its bitmaps go in, output.txt (and any binary
# outputs) come out in OUTPUT_DIRECTORY, by default <build dir>/<target>.
# <target> is a custom target that depends on the outputs; its property
# TESSARN_OUTPUT_DIRECTORY names their folder, for include directories:
#
#   tessarn_add_conversion(art DIRECTORY assets)
#   add_executable(game main.c)
#   target_include_directories(game PRIVATE $<TARGET_PROPERTY:art,TESSARN_OUTPUT_DIRECTORY>)
#   add_dependencies(game art)
#
# tessarn writes a depfile naming the job list and every bitmap it read, so
# that editing any of them runs it again on the next build, and a build with
# nothing changed does not. Binary outputs (jobs whose name holds ".bin")
# must be listed in BYPRODUCTS, by their names in the job list: the build
# tool wants every file the depfile names as an output declared.
#
# DIRECTORY is taken from the current source folder, and must be there when
# CMake configures; OUTPUT_DIRECTORY from the current build folder.
#
# tessarn runs with --strict and --messages utf-8: a job it skips (or a
# warning) fails the build at the conversion, saying why in words a build
# log shows, rather than later in the game's compile. ALLOW_SKIPPED lets
# such a run pass (without --strict).
#
# OPTIONS are passed on to tessarn as they are (--pattern-limit 1024, say).
# tessarn runs in the top build folder, so a path among them is taken from
# there. A pattern file (--pattern-file) in OUTPUT_DIRECTORY is one more of
# BYPRODUCTS; a conversion that reads another's (--patterns-from) is made to
# wait for it with add_dependencies(), and runs again when it changes:
#
#   tessarn_add_conversion(font DIRECTORY font BYPRODUCTS font.pat
#                          OPTIONS --pattern-limit 1024 --pattern-file font/font.pat)
#   tessarn_add_conversion(art DIRECTORY art
#                          OPTIONS --pattern-limit 1024 --patterns-from font/font.pat)
#   add_dependencies(art font)
#
# With C_LIBRARY, <target> is instead a static library of the maps and
# patterns (tessarn --c-source <output dir>/<target>), whose header,
# <target>.h, is in its public include folder: a game links it and includes
# the header, and needs nothing else.
#
#   tessarn_add_conversion(art DIRECTORY assets C_LIBRARY OPTIONS --symbol-prefix art_)
#   add_executable(game main.c)                    # main.c: #include "art.h"
#   target_link_libraries(game PRIVATE art)
#
# The library is C; in a project without C enabled it is compiled as C++.

function(tessarn_add_conversion target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "C_LIBRARY;ALLOW_SKIPPED" "DIRECTORY;OUTPUT_DIRECTORY"
                        "BYPRODUCTS;OPTIONS")
  if(NOT arg_DIRECTORY)
    message(FATAL_ERROR "tessarn_add_conversion(${target}): DIRECTORY is required")
  endif()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tessarn_add_conversion(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  cmake_path(ABSOLUTE_PATH arg_DIRECTORY BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
             OUTPUT_VARIABLE directory)
  if(NOT IS_DIRECTORY "${directory}")
    message(FATAL_ERROR "tessarn_add_conversion(${target}): DIRECTORY ${arg_DIRECTORY} is not a folder "
                        "(${directory})")
  endif()
  if(NOT arg_OUTPUT_DIRECTORY)
    set(arg_OUTPUT_DIRECTORY "${target}")
  endif()
  cmake_path(ABSOLUTE_PATH arg_OUTPUT_DIRECTORY BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
             NORMALIZE OUTPUT_VARIABLE output_directory)
  file(MAKE_DIRECTORY "${output_directory}")

  # tessarn runs in the top build folder, and is given the output folder
  # relative to it where it can be: the depfile then names the outputs as
  # Ninja names them. Ninja reads the depfile as tessarn wrote it (policy
  # CMP0116 OLD, below): CMake 3.25 rewrites it for Ninja otherwise, and
  # writes '#' and '$' in file names back unescaped.
  cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${output_directory}" NORMALIZE inside)
  set(output_argument "${output_directory}")
  if(inside)
    cmake_path(RELATIVE_PATH output_directory BASE_DIRECTORY "${CMAKE_BINARY_DIR}"
               OUTPUT_VARIABLE output_argument)
    if(output_argument STREQUAL "")
      set(output_argument ".")
    endif()
  endif()
  set(byproducts)
  foreach(name IN LISTS arg_BYPRODUCTS)
    list(APPEND byproducts "${output_directory}/${name}")
  endforeach()
  set(outputs "${output_directory}/output.txt")
  set(run_options --messages utf-8)
  if(NOT arg_ALLOW_SKIPPED)
    list(APPEND run_options --strict)
  endif()
  set(library_options)
  if(arg_C_LIBRARY)
    list(APPEND outputs "${output_directory}/${target}.c" "${output_directory}/${target}.h")
    set(library_options --c-source "${output_argument}/${target}")
  endif()

  cmake_policy(PUSH)
  cmake_policy(SET CMP0116 OLD)
  add_custom_command(
    OUTPUT ${outputs}
    BYPRODUCTS ${byproducts}
    COMMAND tessarn::tessarn -C "${directory}" -o "${output_argument}"
            --depfile "${output_argument}/tessarn.d" ${run_options} ${library_options} ${arg_OPTIONS}
    DEPENDS tessarn::tessarn "${directory}/tessarn.txt"
    DEPFILE "${output_directory}/tessarn.d"
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}"
    COMMENT "Converting ${arg_DIRECTORY} with tessarn"
    VERBATIM)
  cmake_policy(POP)
  if(arg_C_LIBRARY)
    add_library(${target} STATIC "${output_directory}/${target}.c")
    target_include_directories(${target} PUBLIC "${output_directory}")
    get_property(languages GLOBAL PROPERTY ENABLED_LANGUAGES)
    if(NOT C IN_LIST languages)
      set_source_files_properties("${output_directory}/${target}.c" PROPERTIES LANGUAGE CXX)
    endif()
  else()
    add_custom_target(${target} DEPENDS ${outputs} ${byproducts})
  endif()
  set_target_properties(${target} PROPERTIES TESSARN_OUTPUT_DIRECTORY "${output_directory}")
endfunction()
