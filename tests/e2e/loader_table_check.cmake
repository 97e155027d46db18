# The committed flash loader tables match their assembly sources, and the check
# notices a table that does not.
# Variables: CLI (velmora-cli), LOADERS (src/podlink/loaders), DIR (scratch folder).
file(MAKE_DIRECTORY ${DIR})
foreach(_loader c31 c32_byte c32_page c33)
  set(_asm ${LOADERS}/flash_loader_${_loader}.asm)
  set(_cpp ${LOADERS}/flash_loader_${_loader}.cpp)
  execute_process(COMMAND ${CLI} loader-table ${_asm} --check ${_cpp}
    RESULT_VARIABLE _rc ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "${_cpp} is stale (${_rc}):\n${_err}")
  endif()
endforeach()

# One word of a copy changed: the check must refuse it and say how to fix it.
file(READ ${LOADERS}/flash_loader_c31.cpp _table)
string(REGEX REPLACE "0x00809810," "0x00809811," _changed "${_table}")
if(_changed STREQUAL _table)
  message(FATAL_ERROR "the C31 table has no load address 0x00809810 to change")
endif()
file(WRITE ${DIR}/changed_c31.cpp "${_changed}")
execute_process(COMMAND ${CLI} loader-table ${LOADERS}/flash_loader_c31.asm
    --check ${DIR}/changed_c31.cpp
  RESULT_VARIABLE _rc ERROR_VARIABLE _err)
if(NOT _rc EQUAL 1)
  message(FATAL_ERROR "a changed table passed the check (${_rc})")
endif()
string(FIND "${_err}" "regenerate it with" _at)
if(_at LESS 0)
  message(FATAL_ERROR "the refusal does not say how to regenerate:\n${_err}")
endif()

# A loader that does not say where the bus control value goes, or that the
# boot loader would start in the wrong place, gets no table.
file(WRITE ${DIR}/no_patch.asm "        .text 809810h\nentry:  BR entry\n")
execute_process(COMMAND ${CLI} loader-table ${DIR}/no_patch.asm
  RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
string(FIND "${_err}" "bus_control_value" _at)
if(NOT _rc EQUAL 1 OR _at LESS 0 OR NOT _out STREQUAL "")
  message(FATAL_ERROR "a loader without bus_control_value: exit ${_rc}\n${_out}${_err}")
endif()
file(WRITE ${DIR}/late_entry.asm
  "        .sect \"consts\", 8099E2h\nbus_control_value .word 0\n"
  "        .text 809810h\nentry:  BR entry\n        .entry entry\n")
execute_process(COMMAND ${CLI} loader-table ${DIR}/late_entry.asm
  RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
string(FIND "${_err}" "entry point is 0x809810" _at)
if(NOT _rc EQUAL 1 OR _at LESS 0)
  message(FATAL_ERROR "a loader whose first block is not its entry: exit ${_rc}\n${_out}${_err}")
endif()
