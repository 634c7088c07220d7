# Shortcut files, Enter, the attributes dialog: the portable logic's tests and the shortcut
# reader's fuzz harness (natively), and the actions through the plugin in the host stand-in
# against the emulated device (under Wine).
kel_test(files_lnk_core_tests SOURCES tests/lnk_core_test.cpp LIBS files_core)
kel_fuzzer(files_lnk_fuzz SOURCES tests/lnk_fuzz_shortcut.cpp LIBS files_core CORPUS tests/lnk_seeds)

if(WIN32)
  add_executable(files_lnk_device_program tests/lnk_device_program.cpp)
  target_link_options(files_lnk_device_program PRIVATE -municode)
  kel_test(files_lnk_wine_tests SOURCES tests/lnk_actions_wine_test.cpp LIBS kelhost rapi_emu_testing files_core OWNMAIN
           ARGS $<TARGET_FILE:Handrel> $<TARGET_FILE:files> $<TARGET_FILE:files_lnk_device_program>)
  add_dependencies(files_lnk_wine_tests Handrel files rapi files_lnk_device_program)
  add_custom_command(TARGET files_lnk_wine_tests POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:rapi> $<TARGET_FILE_DIR:files_lnk_wine_tests>)
  set_tests_properties(files_lnk_wine_tests PROPERTIES TIMEOUT 120
    ENVIRONMENT "LANG=C.UTF-8;LC_ALL=C.UTF-8;KEL_OEMCP=437")
endif()
