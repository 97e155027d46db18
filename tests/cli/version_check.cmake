# Each program's --version prints the project version and the revision the
# tree is at now (so a build after a commit must have picked the commit up).
# -DPROGRAMS=<;-list> -DSRC=<source dir> -DVERSION=<project version> [-DREVISION=<forced>]
if(NOT REVISION)
  set(REVISION "unknown")
  find_program(GIT_PROGRAM git)
  if(GIT_PROGRAM)
    execute_process(COMMAND ${GIT_PROGRAM} -C ${SRC} describe --always --dirty --tags
      RESULT_VARIABLE rc OUTPUT_VARIABLE rev OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(rc EQUAL 0)
      set(REVISION "${rev}")
    endif()
  endif()
endif()
foreach(program ${PROGRAMS})
  execute_process(COMMAND ${program} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out)
  string(FIND "${out}" " ${VERSION} (git ${REVISION})\n" at)
  if(NOT rc EQUAL 0 OR at LESS 0)
    message(FATAL_ERROR "${program} --version (exit ${rc}) printed\n${out}"
      "expected version ${VERSION} and revision ${REVISION}")
  endif()
endforeach()
