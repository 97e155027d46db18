# --- loaders, responder and demo, and the end-to-end runs on the virtual board ---
if(TARGET velmora-cli)
  add_test(NAME loader_tables_match_sources
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:velmora-cli>
      -DLOADERS=${CMAKE_SOURCE_DIR}/src/podlink/loaders -DDIR=${CMAKE_BINARY_DIR}/e2e_loaders
      -P ${CMAKE_SOURCE_DIR}/tests/e2e/loader_table_check.cmake)
endif()
# --- end loaders ------------------------------------------------------------------
