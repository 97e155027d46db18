# --- app: the application tests that drive the scripted pod ---------------------
foreach(_app_test app_session_qtest app_target_qtest)
  if(TARGET ${_app_test})
    target_sources(${_app_test} PRIVATE ${CMAKE_SOURCE_DIR}/tests/podlink/support/FakePod.cpp)
  endif()
endforeach()
if(TARGET app_target_qtest AND TARGET velmora-ftdistub)
  target_compile_definitions(app_target_qtest PRIVATE
    VELMORA_FTDISTUB="$<TARGET_FILE:velmora-ftdistub>")
  add_dependencies(app_target_qtest velmora-ftdistub)
endif()
# --- end app --------------------------------------------------------------------
# --- app: the program's own command line -------------------------------------------
if(TARGET velmora)
  add_test(NAME velmora_help COMMAND velmora --help)
  set_tests_properties(velmora_help PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    PASS_REGULAR_EXPRESSION "Usage: velmora .*--pod=NAME.*--settings=FILE")
  add_test(NAME velmora_bad_option COMMAND velmora --no-such-option)
  set_tests_properties(velmora_bad_option PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    WILL_FAIL TRUE)
endif()
# --- end app ------------------------------------------------------------------------
