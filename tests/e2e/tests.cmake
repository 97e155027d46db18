# --- loaders, responder and demo, and the end-to-end runs on the virtual board ---
if(TARGET velmora-cli)
  add_test(NAME loader_tables_match_sources
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:velmora-cli>
      -DLOADERS=${CMAKE_SOURCE_DIR}/src/podlink/loaders -DDIR=${CMAKE_BINARY_DIR}/e2e_loaders
      -P ${CMAKE_SOURCE_DIR}/tests/e2e/loader_table_check.cmake)
  add_test(NAME demo_matches_source
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:velmora-cli>
      -DDEMO=${CMAKE_SOURCE_DIR}/examples/demo -DDIR=${CMAKE_BINARY_DIR}/e2e_demo
      -P ${CMAKE_SOURCE_DIR}/tests/e2e/demo_check.cmake)
  # Real processes and a real-time board: the erase alone takes 8 seconds.
  add_test(NAME e2e_cli_flash_then_read
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:velmora-cli>
      -DDEMO=${CMAKE_SOURCE_DIR}/examples/demo/demo.out -DDIR=${CMAKE_BINARY_DIR}/e2e_cli
      -P ${CMAKE_SOURCE_DIR}/tests/e2e/cli_flash_read_check.cmake)
  set_tests_properties(e2e_cli_flash_then_read PROPERTIES TIMEOUT 120)
  # The same through the libftdi backend and the stand-in libftdi1.
  if(TARGET velmora-ftdistub)
    add_test(NAME e2e_cli_flash_then_read_libftdi
      COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:velmora-cli>
        -DDEMO=${CMAKE_SOURCE_DIR}/examples/demo/demo.out -DDIR=${CMAKE_BINARY_DIR}/e2e_cli_libftdi
        -DPOD_LIBRARY=$<TARGET_FILE:velmora-ftdistub>
        -P ${CMAKE_SOURCE_DIR}/tests/e2e/cli_flash_read_check.cmake)
    set_tests_properties(e2e_cli_flash_then_read_libftdi PROPERTIES TIMEOUT 120)
  endif()
endif()

# The e2e tests run the velmora-cli target commands in process.
if(TARGET e2e_tests)
  target_link_libraries(e2e_tests PRIVATE velmora_cli ${CMAKE_DL_LIBS})
  if(TARGET velmora-ftdistub)
    target_compile_definitions(e2e_tests PRIVATE
      VELMORA_FTDISTUB="$<TARGET_FILE:velmora-ftdistub>")
    add_dependencies(e2e_tests velmora-ftdistub)
  endif()
endif()
# --- end loaders, responder, demo ------------------------------------------------
