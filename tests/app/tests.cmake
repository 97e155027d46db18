# --- app: the application tests that drive the scripted pod ---------------------
foreach(_app_test app_startup_qtest app_actions_qtest)
  if(TARGET ${_app_test})
    target_sources(${_app_test} PRIVATE ${CMAKE_SOURCE_DIR}/tests/podlink/support/FakePod.cpp)
  endif()
endforeach()
# --- end app --------------------------------------------------------------------
