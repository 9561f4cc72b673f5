# Makes the release archive as `--target package` does and checks what it holds: the tested
# exe, the README and the LICENSE, and nothing else; a README whose links all resolve inside the
# zip or are absolute, with and without a home page; the SHA-256 sums file beside it; and that
# packing again after the files' times changed gives the same bytes.
find_program(CPACK cpack REQUIRED)
function(pack hash_variable)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1700000000 ${CPACK}
    --config CPackConfig.cmake WORKING_DIRECTORY ${BINARY_DIR} RESULT_VARIABLE failed OUTPUT_QUIET)
  if(failed)
    message(FATAL_ERROR "cpack failed")
  endif()
  file(SHA256 ${ARCHIVE} hash)
  set(${hash_variable} ${hash} PARENT_SCOPE)
endfunction()

pack(first_hash)
# A checkout made later: the README's time moves past the zip's two-second resolution, but
# every entry takes its time from SOURCE_DATE_EPOCH.
execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 2)
file(TOUCH ${README})
pack(second_hash)
if(NOT first_hash STREQUAL second_hash)
  message(FATAL_ERROR "packing the same files twice gave two archives: ${first_hash}, ${second_hash}")
endif()

set(unpacked ${BINARY_DIR}/release/tests/unpacked)
file(REMOVE_RECURSE ${unpacked})
file(ARCHIVE_EXTRACT INPUT ${ARCHIVE} DESTINATION ${unpacked})
file(GLOB_RECURSE contents RELATIVE ${unpacked} ${unpacked}/*)
list(SORT contents)
if(NOT contents STREQUAL "LICENSE;README.md;VigilantMouse.exe")
  message(FATAL_ERROR "the archive holds: ${contents}")
endif()
# Offline, inside the unpacked zip: as this build packed it, and as a release for a GitHub home
# page would.
include(${SOURCE_DIR}/cmake/PackedReadme.cmake)
pack_readme(SOURCE ${SOURCE_DIR}/README.md DESTINATION ${unpacked}/README-released.md
  HOMEPAGE https://github.com/example-owner/vigilantmouse VERSION ${VERSION})
file(READ ${unpacked}/README-released.md released)
if(NOT released MATCHES "github.com/example-owner/vigilantmouse/releases/latest/download/"
    OR released MATCHES "OWNER/NAME")
  message(FATAL_ERROR "the released README does not name its repository in every command")
endif()
# Their commands name the files of this version, which the user pastes as they stand.
foreach(page README.md docs/verifying.md)
  file(READ ${SOURCE_DIR}/${page} text)
  string(REGEX MATCHALL "VigilantMouse-[0-9.]+-win64" named "${text}")
  list(REMOVE_DUPLICATES named)
  if(NOT named STREQUAL "VigilantMouse-${VERSION}-win64")
    message(FATAL_ERROR "${page} names ${named}; its commands must name VigilantMouse-${VERSION}-win64")
  endif()
endforeach()
execute_process(COMMAND ${PYTHON} ${SOURCE_DIR}/tests/docs/CheckLinks.py ${unpacked}/README.md
  ${unpacked}/README-released.md RESULT_VARIABLE broken)
if(broken)
  message(FATAL_ERROR "the packed README links to files that are not in the zip")
endif()
file(SHA256 ${unpacked}/VigilantMouse.exe packed_hash)
file(SHA256 ${EXE} tested_hash)
if(NOT packed_hash STREQUAL tested_hash)
  message(FATAL_ERROR "the archive's exe is not the tested one")
endif()

file(SHA256 ${ARCHIVE} archive_hash)
get_filename_component(archive_name ${ARCHIVE} NAME)
file(READ ${ARCHIVE}.sha256 sums)
if(NOT sums MATCHES "^${archive_hash}  ${archive_name}\n?$")
  message(FATAL_ERROR "${ARCHIVE}.sha256 holds '${sums}', not the archive's hash ${archive_hash}")
endif()
message("${archive_hash}  ${archive_name}\n${tested_hash}  VigilantMouse.exe")
