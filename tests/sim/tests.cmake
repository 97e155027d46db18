# --- sim: velmora-cli run ---------------------------------------------------------
if(TARGET velmora-cli)
  add_test(NAME cli_run
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:velmora-cli> -DSRC=${CMAKE_SOURCE_DIR}
      -DCORPUS=${CMAKE_SOURCE_DIR}/../shared/corpus -DDIR=${CMAKE_BINARY_DIR}/sim_cli
      -P ${CMAKE_SOURCE_DIR}/tests/sim/cli_run_check.cmake)
endif()
# --- end sim ----------------------------------------------------------------------
