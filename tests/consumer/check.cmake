# Builds the consumer project with one generator, the way a game's build
# would, and checks that tessarn runs when (and only when) its inputs change:
#
#   cmake -DGENERATOR=<generator> -DWORK=<scratch dir>
#         (-DTESSARN_BUILD=<tessarn's build folder> | -DTESSARN_SOURCE=<its sources>)
#         -P check.cmake
#
# TESSARN_BUILD is installed into WORK/prefix and found with find_package();
# TESSARN_SOURCE is built as part of the project. The project is copied into
# WORK, since its bitmap gets touched.
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${status}):\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

# Builds; `expected` lists the folders tessarn must convert (the font, the
# art work), and no other.
function(expect_tessarn_ran expected what)
  run("${CMAKE_COMMAND}" --build "${WORK}/build")
  foreach(folder IN ITEMS font "art work")
    string(FIND "${output}" "Converting ${folder} with tessarn" at)
    if(folder IN_LIST expected AND at EQUAL -1)
      message(FATAL_ERROR "tessarn did not convert ${folder} ${what}:\n${output}")
    elseif(NOT folder IN_LIST expected AND NOT at EQUAL -1)
      message(FATAL_ERROR "tessarn converted ${folder} ${what}:\n${output}")
    endif()
  endforeach()
endfunction()

file(REMOVE_RECURSE "${WORK}")
file(COPY "${CMAKE_CURRENT_LIST_DIR}/" DESTINATION "${WORK}/source")
if(TESSARN_BUILD)
  run("${CMAKE_COMMAND}" --install "${TESSARN_BUILD}" --prefix "${WORK}/prefix")
  set(tessarn "-DCMAKE_PREFIX_PATH=${WORK}/prefix")
else()
  set(tessarn "-DTESSARN_SOURCE_DIR=${TESSARN_SOURCE}")
endif()
run("${CMAKE_COMMAND}" -S "${WORK}/source" -B "${WORK}/build" -G "${GENERATOR}" "${tessarn}")
expect_tessarn_ran("font;art work" "on the first build")
run("${WORK}/build/consumer")  # the arrays hold what they should
expect_tessarn_ran("" "with nothing changed")

# Touching a prerequisite read from the depfile (the bitmap), the job list,
# and the font's bitmap, which the art starts from too: each a newer time.
foreach(change IN ITEMS "art work/tile#1$.bmp=art work" "art work/tessarn.txt=art work"
                        "font/glyphs.bmp=font;art work")
  string(REPLACE "=" ";" change "${change}")
  list(POP_FRONT change touched)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
  file(TOUCH "${WORK}/source/${touched}")
  expect_tessarn_ran("${change}" "after ${touched} changed")
  expect_tessarn_ran("" "a second time after ${touched} changed")
endforeach()
if(GENERATOR STREQUAL "Ninja")
  run("${CMAKE_COMMAND}" -E chdir "${WORK}/build" ninja -n)
  if(NOT output MATCHES "no work to do")
    message(FATAL_ERROR "ninja -n finds work after a full build:\n${output}")
  endif()
endif()
# A job tessarn skips fails the build (--strict), saying why.
file(APPEND "${WORK}/source/art work/tessarn.txt" "tessarn.txt 0 0 8 8 oops 0 1 2 3\n")
execute_process(COMMAND "${CMAKE_COMMAND}" --build "${WORK}/build" RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(status EQUAL 0 OR NOT out MATCHES "tessarn.txt は BMP fileではありません")
  message(FATAL_ERROR "a skipped job did not fail the build, or not in words:\n${out}")
endif()
# A DIRECTORY that is not there is an error when CMake configures.
file(WRITE "${WORK}/missing/CMakeLists.txt" "cmake_minimum_required(VERSION 3.25)\nproject(missing NONE)\n"
     "find_package(tessarn REQUIRED)\ntessarn_add_conversion(art DIRECTORY no-such-folder)\n")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${WORK}/missing" -B "${WORK}/missing/build" "-DCMAKE_PREFIX_PATH=${WORK}/prefix"
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(TESSARN_BUILD AND (status EQUAL 0 OR NOT out MATCHES "DIRECTORY no-such-folder is not a folder"))
  message(FATAL_ERROR "a missing DIRECTORY was not an error when configuring:\n${out}")
endif()
message(STATUS "${GENERATOR}: tessarn ran when its inputs changed, and only then")
