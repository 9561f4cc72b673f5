# The README that goes into the release zip, which holds only the exe, the README and the LICENSE:
# every other file the repository's README links to or shows is named by an absolute address in
# the tagged source on GitHub when the home page is a GitHub repository, and is plain text
# otherwise, so that the packed README has no dead link offline. The repository's owner/name
# also fills in the OWNER/NAME of its commands.
# pack_readme(SOURCE README.md DESTINATION FILE HOMEPAGE URL-OR-EMPTY VERSION X.Y.Z)
function(pack_readme)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "SOURCE;DESTINATION;HOMEPAGE;VERSION" "")
  file(READ ${arg_SOURCE} text)
  # [label](target) and ![alt](target) where target has no scheme and is not a page anchor.
  set(image "!\\[([^]]*)\\]\\(([^):#][^):]*)\\)")
  set(link "\\[([^]]*)\\]\\(([^):#][^):]*)\\)")
  string(REPLACE "](LICENSE)" "](zip:LICENSE)" text "${text}")
  if(arg_HOMEPAGE MATCHES "^https://github\\.com/([A-Za-z0-9_.-]+/[A-Za-z0-9_.-]+)/?$")
    set(repository ${CMAKE_MATCH_1})
    set(tag v${arg_VERSION})
    # ../../releases and the like, which GitHub resolves from the repository's front page.
    string(REGEX REPLACE "\\]\\(\\.\\./\\.\\./" "](https://github.com/${repository}/" text "${text}")
    string(REGEX REPLACE "${image}" "![\\1](https://github.com/${repository}/raw/${tag}/\\2)" text "${text}")
    string(REGEX REPLACE "${link}" "[\\1](https://github.com/${repository}/blob/${tag}/\\2)" text "${text}")
    string(REPLACE "OWNER/NAME" "${repository}" text "${text}")
  else()
    string(REGEX REPLACE "${image}" "\\1" text "${text}")
    string(REGEX REPLACE "${link}" "\\1" text "${text}")
  endif()
  string(REPLACE "](zip:LICENSE)" "](LICENSE)" text "${text}")
  file(WRITE ${arg_DESTINATION} "${text}")
endfunction()
