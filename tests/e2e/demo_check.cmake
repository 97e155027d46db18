# examples/demo/demo.out is what examples/demo/demo.asm assembles to.
# Variables: CLI (velmora-cli), DEMO (examples/demo), DIR (scratch folder).
file(MAKE_DIRECTORY ${DIR})
set(_out ${DIR}/demo.out)
file(REMOVE ${_out})
execute_process(COMMAND ${CLI} asm ${DEMO}/demo.asm -o ${_out}
  RESULT_VARIABLE _rc ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0 OR NOT EXISTS ${_out})
  message(FATAL_ERROR "demo.asm does not assemble (${_rc}):\n${_err}")
endif()
file(SHA256 ${_out} _built)
file(SHA256 ${DEMO}/demo.out _committed)
if(NOT _built STREQUAL _committed)
  message(FATAL_ERROR "examples/demo/demo.out does not match demo.asm (or the responder it "
    "includes); rebuild it with\n  velmora-cli asm examples/demo/demo.asm -o examples/demo/demo.out")
endif()
