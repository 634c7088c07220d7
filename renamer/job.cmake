# The rename job, its rollback, the editor mode's name list, and their tests.
kel_core(quillet_job core/renamejob.cpp core/editormode.cpp)
target_link_libraries(quillet_job PUBLIC quillet_core)

kel_test(quillet_job_test
  SOURCES tests/renamejob_test.cpp tests/reliability_test.cpp tests/editormode_test.cpp
  LIBS quillet_job quillet_core)

if(WIN32)
  # The same randomized check on the real disk, through the plugin's Win32 file system.
  kel_test(quillet_reliability_disk_test
    SOURCES tests/reliability_win_test.cpp win/fs_win32.cpp
    LIBS quillet_job quillet_core)
endif()

if(WIN32)
  # The rename dialogs, the rename job on screen and the editor mode, linked into the plugin.
  set(QUILLET_UI_SOURCES win/ui.cpp win/dialogs.cpp win/rename_run.cpp win/editor_mode.cpp win/fs_win32.cpp)
  add_library(quillet_ui STATIC ${QUILLET_UI_SOURCES})
  target_link_libraries(quillet_ui PUBLIC quillet_job quillet_core)
  kel_shell_warnings(quillet_ui)
  target_link_libraries(Quillet PRIVATE quillet_ui)
endif()

if(WIN32 AND TARGET kelhost)
  # The plugin end to end in the host stand-in: dialogs, prompts, summary, rollback, editor mode.
  kel_test(quillet_dialogs_test
    SOURCES tests/dialogs_test.cpp win/registry_store.cpp
    LIBS quillet_core kelhost advapi32
    OWNMAIN ARGS $<TARGET_FILE:Quillet>)
  add_dependencies(quillet_dialogs_test Quillet)
endif()

if(WIN32 AND TARGET kelhost)
  # The plugin's test build: the same sources with fault points that throw on demand
  # (win/fault_points.h). Never installed; the product is built without them.
  add_library(QuilletFaults SHARED win/plugin.cpp win/registry_store.cpp win/config_dialog.cpp ${QUILLET_UI_SOURCES}
              tests/fault_points.cpp win/Quillet.def)
  set_target_properties(QuilletFaults PROPERTIES PREFIX "")
  target_compile_definitions(QuilletFaults PRIVATE QUILLET_TEST_HOOKS)
  target_link_options(QuilletFaults PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
  target_link_libraries(QuilletFaults PRIVATE quillet_job quillet_core kel_host)
  kel_shell_warnings(QuilletFaults)
  add_dependencies(QuilletFaults Quillet)  # the language file beside it comes with Quillet
  kel_test(quillet_faults_test
    SOURCES tests/faults_test.cpp win/registry_store.cpp
    LIBS quillet_core kelhost advapi32
    OWNMAIN ARGS $<TARGET_FILE:QuilletFaults>)
  add_dependencies(quillet_faults_test QuilletFaults)
  add_dependencies(quillet_plugin_test QuilletFaults)  # looks for the fault points in it, not in the product
endif()

if(WIN32 AND TARGET kelhost)
  # The demo tour's walk through the rename dialogs (the scenario runner cannot wait for the
  # rename worker).
  add_executable(quillet_tour demo/quillet_tour.cpp)
  target_link_libraries(quillet_tour PRIVATE kelhost)
  kel_shell_warnings(quillet_tour)
  install(TARGETS quillet_tour RUNTIME DESTINATION Tools)
endif()
