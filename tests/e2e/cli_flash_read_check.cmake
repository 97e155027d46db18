# The demo through the real program, in separate processes on a virtual board
# that runs in real time: serial boot with verify; then a flash write with the
# default settings, after which a new process finds the demo running from the
# flash and reads its variables.
# Variables: CLI (velmora-cli), DEMO (examples/demo/demo.out), DIR (scratch folder),
# POD_LIBRARY (optional: the stand-in libftdi1, driven through --pod=ftdi).
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
if(POD_LIBRARY)
  set(_pod --pod=ftdi --pod-library=${POD_LIBRARY})
else()
  set(_pod --pod=sim)
endif()
# An empty settings file: the defaults (TMS320C32, AM29F040, Boot1).
set(_common ${_pod} --sim-dir=${DIR}/board --settings=${DIR}/settings.ini)

function(run_cli expect_output)
  execute_process(COMMAND ${CLI} ${ARGN} ${_common}
    RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "velmora-cli ${ARGN}: exit ${_rc}\n${_out}\n${_err}")
  endif()
  string(FIND "${_out}" "${expect_output}" _at)
  if(_at LESS 0)
    message(FATAL_ERROR "velmora-cli ${ARGN}: no '${expect_output}' in\n${_out}\n${_err}")
  endif()
endfunction()

run_cli("[ Completed ]\n[ Completed ]" boot ${DEMO} --verify)
run_cli("Flash Program is successful" flash write ${DEMO})
file(READ ${DIR}/board/board.ini _board)
string(FIND "${_board}" "dsp=TMS320C32" _at)
if(_at LESS 0)
  message(FATAL_ERROR "a new board folder did not follow the default settings:\n${_board}")
endif()
# New processes: the board boots the demo from its flash; step and gain are
# only 1 once the demo has run its start-up.
run_cli("0x2001C3 0x00000001" read step --coff ${DEMO})
run_cli("0x2001C2 1" read gain --coff ${DEMO} --format float)
run_cli("0x2001B7 " read counter --coff ${DEMO} --format signed)
run_cli("Flash Verifying is successful" flash verify ${DEMO} --sim-trace=${DIR}/bus.csv)
# The verify's reads, one bus cycle per line: the demo's first word (8) at the
# Boot1 base.
file(STRINGS ${DIR}/bus.csv _trace LIMIT_COUNT 2)
list(GET _trace 0 _head)
if(NOT _head STREQUAL "ns,op,address,data")
  message(FATAL_ERROR "the bus trace starts with '${_head}'")
endif()
file(STRINGS ${DIR}/bus.csv _reads REGEX ",R,0x001000,0x08$")
if(NOT _reads)
  message(FATAL_ERROR "the bus trace has no read of the width word at 0x001000")
endif()
