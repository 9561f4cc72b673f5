# Builds VigilantMouse.exe with the windows preset from two copies of the source in folders of
# different names and depths, and requires both to match the tested exe byte for byte: no
# timestamp and no build path may reach the file. The test bundle, whose SHA-256 is published
# too, must come out the same from another build folder.

# The maker's values of the tested build, which are part of the bytes.
load_cache(${BINARY_DIR} READ_WITH_PREFIX tested_
  VIGILANTMOUSE_COMPANY VIGILANTMOUSE_COPYRIGHT VIGILANTMOUSE_INFO)

foreach(folder first-copy second/copy-deeper-down)
  set(source ${WORK_DIR}/${folder})
  file(REMOVE_RECURSE ${source})
  file(COPY ${SOURCE_DIR}/CMakeLists.txt ${SOURCE_DIR}/CMakePresets.json ${SOURCE_DIR}/README.md
    ${SOURCE_DIR}/LICENSE ${SOURCE_DIR}/cmake ${SOURCE_DIR}/src ${SOURCE_DIR}/res DESTINATION ${source})
  execute_process(COMMAND ${CMAKE_COMMAND} --preset windows -DBUILD_TESTING=OFF
      "-DVIGILANTMOUSE_COMPANY=${tested_VIGILANTMOUSE_COMPANY}"
      "-DVIGILANTMOUSE_COPYRIGHT=${tested_VIGILANTMOUSE_COPYRIGHT}"
      "-DVIGILANTMOUSE_INFO=${tested_VIGILANTMOUSE_INFO}"
    WORKING_DIRECTORY ${source} RESULT_VARIABLE failed OUTPUT_QUIET)
  if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} --build --preset windows
      WORKING_DIRECTORY ${source} RESULT_VARIABLE failed OUTPUT_QUIET)
  endif()
  if(failed)
    message(FATAL_ERROR "building from ${source} failed")
  endif()
  file(SHA256 ${source}/build/windows/VigilantMouse.exe copy_hash)
  list(APPEND hashes "${copy_hash}  ${source}/build/windows/VigilantMouse.exe")
endforeach()

file(SHA256 ${EXE} tested_hash)
message("${tested_hash}  ${EXE}")
foreach(line IN LISTS hashes)
  message("${line}")
  if(NOT line MATCHES "^${tested_hash} ")
    message(FATAL_ERROR "the builds differ")
  endif()
endforeach()

set(other ${WORK_DIR}/other-build-folder)
file(REMOVE_RECURSE ${other})
execute_process(COMMAND ${CMAKE_COMMAND} --preset windows -B ${other}
    "-DVIGILANTMOUSE_COMPANY=${tested_VIGILANTMOUSE_COMPANY}"
    "-DVIGILANTMOUSE_COPYRIGHT=${tested_VIGILANTMOUSE_COPYRIGHT}"
    "-DVIGILANTMOUSE_INFO=${tested_VIGILANTMOUSE_INFO}"
  WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE failed OUTPUT_QUIET)
if(NOT failed)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${other} --target test-bundle
    RESULT_VARIABLE failed OUTPUT_QUIET)
endif()
if(failed)
  message(FATAL_ERROR "building the test bundle in ${other} failed")
endif()
file(GLOB bundles ${BINARY_DIR}/VigilantMouse-*-tests-win64.zip ${other}/VigilantMouse-*-tests-win64.zip)
set(bundle_hashes "")
foreach(bundle IN LISTS bundles)
  file(SHA256 ${bundle} hash)
  message("${hash}  ${bundle}")
  list(APPEND bundle_hashes ${hash})
endforeach()
list(REMOVE_DUPLICATES bundle_hashes)
list(LENGTH bundles count)
list(LENGTH bundle_hashes distinct)
if(NOT count EQUAL 2 OR NOT distinct EQUAL 1)
  message(FATAL_ERROR "the test bundles differ, or one is missing")
endif()
