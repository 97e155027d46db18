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
