# --- image: velmora-cli info and sym dump -----------------------------------
# CliFixtureFiles (in image_tests) writes the sample COFF and symbol files the
# checks run on.
if(TARGET velmora-cli AND TARGET image_tests)
  set(_image_cli_dir ${CMAKE_BINARY_DIR}/image_cli)
  add_test(NAME image_cli_fixtures
    COMMAND image_tests --gtest_filter=CliFixtureFiles.*)
  set_tests_properties(image_cli_fixtures PROPERTIES FIXTURES_SETUP image_cli_files)
  foreach(_check info sym)
    add_test(NAME cli_${_check}
      COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:velmora-cli> -DDIR=${_image_cli_dir}
        -P ${CMAKE_SOURCE_DIR}/tests/image/cli_${_check}_check.cmake)
    set_tests_properties(cli_${_check} PROPERTIES FIXTURES_REQUIRED image_cli_files)
  endforeach()
endif()
# --- end image ----------------------------------------------------------------
# --- podlink: velmora-cli target commands ---------------------------------------
# The target commands run in-process against the scripted fake pod; the
# program itself is checked for a clean failure without a pod library.
if(TARGET velmora_cli)
  file(GLOB _target_cli_tests CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/cli/target/*_test.cpp)
  add_executable(cli_target_tests ${_target_cli_tests}
    ${CMAKE_SOURCE_DIR}/tests/podlink/support/FakePod.cpp)
  target_include_directories(cli_target_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/podlink
    ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(cli_target_tests PRIVATE ${VELMORA_TEST_DEFS})
  target_link_libraries(cli_target_tests PRIVATE velmora_cli nlohmann_json::nlohmann_json
    GTest::gtest_main)
  gtest_discover_tests(cli_target_tests DISCOVERY_TIMEOUT 60)
endif()
if(TARGET velmora-cli)
  add_test(NAME cli_target_without_pod_library
    COMMAND velmora-cli version --pod=d2xx --pod-library=/nonexistent/libftd2xx.so)
  set_tests_properties(cli_target_without_pod_library PROPERTIES
    PASS_REGULAR_EXPRESSION "Failet to load FTD2XX.DLL")
endif()
# --- end podlink ----------------------------------------------------------------
# --- c3x: velmora-cli asm and disasm --------------------------------------------
if(TARGET velmora-cli)
  add_test(NAME cli_asm_disasm
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:velmora-cli>
      -DSRC=${CMAKE_SOURCE_DIR}/tests/c3x/data -DDIR=${CMAKE_BINARY_DIR}/c3x_cli
      -P ${CMAKE_SOURCE_DIR}/tests/c3x/cli_asm_check.cmake)
endif()
# --- end c3x -------------------------------------------------------------------
# --- monitoring: velmora-cli console and watch ----------------------------------
if(TARGET velmora-cli)
  add_test(NAME cli_console_watch
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:velmora-cli> -DSRC=${CMAKE_SOURCE_DIR}
      -DDIR=${CMAKE_BINARY_DIR}/monitor_cli -P ${CMAKE_SOURCE_DIR}/tests/monitoring/cli_monitor_check.cmake)
endif()
# --- end monitoring -------------------------------------------------------------
# --- both programs: --version names the project version and the git revision ----
if(TARGET velmora-cli)
  set(_programs $<TARGET_FILE:velmora-cli>)
  if(TARGET velmora)
    list(APPEND _programs $<TARGET_FILE:velmora>)
  endif()
  add_test(NAME program_versions
    COMMAND ${CMAKE_COMMAND} "-DPROGRAMS=${_programs}" -DSRC=${CMAKE_SOURCE_DIR}
      -DVERSION=${PROJECT_VERSION} -DREVISION=${VELMORA_REVISION}
      -P ${CMAKE_SOURCE_DIR}/tests/cli/version_check.cmake)
  set_tests_properties(program_versions PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
# --- end versions ----------------------------------------------------------------
# --- packaging: the generated bash completion ------------------------------------
if(TARGET velmora-cli-docs)
  add_test(NAME cli_bash_completion
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/cli/completion_check.sh
      ${CMAKE_BINARY_DIR}/packaging/velmora-cli.bash)
endif()
# --- end packaging ---------------------------------------------------------------
