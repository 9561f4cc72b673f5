# Builds VigilantMouse.exe with the windows preset from two copies of the source in folders of
# different names and depths, and requires both to match the tested exe byte for byte: no
# timestamp and no build path may reach the file. The test bundle, whose SHA-256 is published
# too, must come out the same from another build folder.

# The maker's values of the tested build, which are part of the bytes.
load_cache(${BINARY_DIR} READ_WITH_PREFIX tested_
  VIGILANTMOUSE_COMPANY VIGILANTMOUSE_COPYRIGHT VIGILANTMOUSE_INFO)
function(build source binary target)
  execute_process(COMMAND ${CMAKE_COMMAND} --preset windows -B ${binary} ${ARGN}
      "-DVIGILANTMOUSE_COMPANY=${tested_VIGILANTMOUSE_COMPANY}"
      "-DVIGILANTMOUSE_COPYRIGHT=${tested_VIGILANTMOUSE_COPYRIGHT}"
      "-DVIGILANTMOUSE_INFO=${tested_VIGILANTMOUSE_INFO}"
    WORKING_DIRECTORY ${source} RESULT_VARIABLE failed OUTPUT_QUIET)
  if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${binary} --target ${target}
      RESULT_VARIABLE failed OUTPUT_QUIET)
  endif()
  if(failed)
    message(FATAL_ERROR "building ${target} in ${binary} failed")
  endif()
endfunction()
function(expect_same what first second)
  file(SHA256 ${first} first_hash)
  file(SHA256 ${second} second_hash)
  message("${first_hash}  ${first}\n${second_hash}  ${second}")
  if(NOT first_hash STREQUAL second_hash)
    message(FATAL_ERROR "${what} differ")
  endif()
endfunction()

foreach(folder first-copy second/copy-deeper-down)
  set(source ${WORK_DIR}/${folder})
  file(REMOVE_RECURSE ${source})
  file(COPY ${SOURCE_DIR}/CMakeLists.txt ${SOURCE_DIR}/CMakePresets.json ${SOURCE_DIR}/README.md
    ${SOURCE_DIR}/LICENSE ${SOURCE_DIR}/cmake ${SOURCE_DIR}/src ${SOURCE_DIR}/res DESTINATION ${source})
  build(${source} ${source}/build/windows VigilantMouse -DBUILD_TESTING=OFF)
  expect_same("the builds" ${EXE} ${source}/build/windows/VigilantMouse.exe)
endforeach()

set(other ${WORK_DIR}/other-build-folder)
file(REMOVE_RECURSE ${other})
build(${SOURCE_DIR} ${other} test-bundle)
file(STRINGS ${BINARY_DIR}/release-facts.txt bundle REGEX "^bundle=")
string(REPLACE "bundle=" "" bundle "${bundle}")
expect_same("the test bundles" ${BINARY_DIR}/${bundle} ${other}/${bundle})
