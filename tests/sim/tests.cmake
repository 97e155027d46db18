# --- sim: velmora-cli run ---------------------------------------------------------
if(TARGET velmora-cli)
  add_test(NAME cli_run
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:velmora-cli> -DSRC=${CMAKE_SOURCE_DIR}
      -DCORPUS=${CMAKE_SOURCE_DIR}/../shared/corpus -DDIR=${CMAKE_BINARY_DIR}/sim_cli
      -P ${CMAKE_SOURCE_DIR}/tests/sim/cli_run_check.cmake)
endif()
# The stand-in libftdi1, loaded as a program loads libftdi1.
if(TARGET sim_tests AND TARGET velmora-ftdistub)
  target_compile_definitions(sim_tests PRIVATE VELMORA_FTDISTUB="$<TARGET_FILE:velmora-ftdistub>")
  target_link_libraries(sim_tests PRIVATE ${CMAKE_DL_LIBS})
  add_dependencies(sim_tests velmora-ftdistub)
endif()
# --- end sim ----------------------------------------------------------------------
