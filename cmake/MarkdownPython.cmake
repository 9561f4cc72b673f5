# MARKDOWN_PYTHON: the first python3 on the PATH that has markdown-it (Debian's
# python3-markdown-it), which the link check parses Markdown with; a Python of one's own, such as
# pyenv's, may lack it.
function(has_markdown_it result candidate)
  execute_process(COMMAND ${candidate} -c "import markdown_it" RESULT_VARIABLE failed
    OUTPUT_QUIET ERROR_QUIET)
  if(failed)
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()
find_program(MARKDOWN_PYTHON python3 VALIDATOR has_markdown_it REQUIRED)
