# Runs one velmora-cli command line and checks its exit code and output.
# -DCLI=<program> -DARGS=<;-list> -DRC=<expected exit code> -DOUT=<regex over stdout+stderr>
execute_process(COMMAND ${CLI} ${ARGS} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(all "${out}${err}")
if(NOT rc STREQUAL "${RC}")
  message(FATAL_ERROR "exit code ${rc}, expected ${RC}; output:\n${all}")
endif()
if(NOT all MATCHES "${OUT}")
  message(FATAL_ERROR "output does not match '${OUT}':\n${all}")
endif()
