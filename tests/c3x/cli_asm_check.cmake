# velmora-cli asm / disasm end to end: assemble a sample, list it, refuse a broken
# source without writing anything.
# Variables: CLI (velmora-cli), SRC (tests/c3x/data), DIR (scratch folder).
file(MAKE_DIRECTORY ${DIR})
set(_out ${DIR}/counter_loop.out)
file(REMOVE ${_out})
execute_process(COMMAND ${CLI} asm ${SRC}/counter_loop.asm -o ${_out}
  RESULT_VARIABLE _rc ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0 OR NOT EXISTS ${_out})
  message(FATAL_ERROR "asm failed (${_rc}): ${_err}")
endif()

execute_process(COMMAND ${CLI} disasm ${_out} --section .text
  RESULT_VARIABLE _rc OUTPUT_VARIABLE _list ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "disasm failed (${_rc}): ${_err}")
endif()
foreach(_line "809800  50700080  LDP     @0x800000" "809808  6A20FFF8  BUD     0x809803")
  string(FIND "${_list}" "${_line}" _at)
  if(_at LESS 0)
    message(FATAL_ERROR "disasm output lacks '${_line}':\n${_list}")
  endif()
endforeach()
string(FIND "${_list}" "section .data" _at)
if(NOT _at LESS 0)
  message(FATAL_ERROR "--section .text also listed .data:\n${_list}")
endif()

execute_process(COMMAND ${CLI} disasm ${_out} --section nowhere RESULT_VARIABLE _rc
  OUTPUT_QUIET ERROR_QUIET)
if(NOT _rc EQUAL 1)
  message(FATAL_ERROR "disasm of a missing section returned ${_rc}")
endif()

set(_bad ${DIR}/broken.out)
file(REMOVE ${_bad})
execute_process(COMMAND ${CLI} asm ${SRC}/broken.asm -o ${_bad}
  RESULT_VARIABLE _rc ERROR_VARIABLE _err)
if(NOT _rc EQUAL 1 OR EXISTS ${_bad})
  message(FATAL_ERROR "broken source: exit ${_rc}, output written: ${_bad}")
endif()
foreach(_msg "broken.asm:2: LDI takes 2 operands" "broken.asm:3: unknown instruction 'FOO'")
  string(FIND "${_err}" "${_msg}" _at)
  if(_at LESS 0)
    message(FATAL_ERROR "missing error '${_msg}' in:\n${_err}")
  endif()
endforeach()

execute_process(COMMAND ${CLI} asm ${SRC}/counter_loop.asm RESULT_VARIABLE _rc
  OUTPUT_QUIET ERROR_QUIET)
if(NOT _rc EQUAL 2)
  message(FATAL_ERROR "asm without -o returned ${_rc}, expected 2")
endif()
