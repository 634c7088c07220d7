# Nothing lost: the judge of a copy or move (native), and seeded random copies and moves with
# device faults and random answers, through the plugin and files.module in the host stand-in and
# through the transfer engine directly (Wine). KEL_RELIAB_SEED (default 33, printed)
# and KEL_RELIAB_OPS (default 200 per driver) pass through from the environment.
set(RELIAB_DIR ${CMAKE_CURRENT_LIST_DIR})
kel_test(files_reliab_check_tests SOURCES ${RELIAB_DIR}/reliab_check_test.cpp ${RELIAB_DIR}/reliab_check.cpp)

if(WIN32 AND TARGET handrel_transfer AND TARGET Handrel)
  set(reliab_module "")
  if(TARGET files)
    set(reliab_module $<TARGET_FILE:files>)
  endif()
  kel_test(files_reliab_tests SOURCES ${RELIAB_DIR}/reliab_wine_test.cpp ${RELIAB_DIR}/reliab_check.cpp
           LIBS handrel_transfer kelhost rapi_emu_testing OWNMAIN ARGS $<TARGET_FILE:Handrel> ${reliab_module})
  add_dependencies(files_reliab_tests Handrel rapi)
  if(TARGET files)
    add_dependencies(files_reliab_tests files)
  endif()
  add_custom_command(TARGET files_reliab_tests POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:rapi> $<TARGET_FILE_DIR:files_reliab_tests>)
  set_tests_properties(files_reliab_tests PROPERTIES TIMEOUT 300
    ENVIRONMENT "LANG=C.UTF-8;LC_ALL=C.UTF-8;KEL_OEMCP=437")
endif()
