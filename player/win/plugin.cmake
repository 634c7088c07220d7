# Tunlo.dll links the audio library's vendor names (bass.dll, tags.dll) through import libraries.
include(${PROJECT_SOURCE_DIR}/player/bass/imports.cmake)
kel_plugin(Tunlo DEF win/Tunlo.def
  SOURCES win/plugin.cpp win/engine.cpp win/dialog.cpp
  LIBS tunlo_core kel_host kel_bass_imports
  FILES win/TunloEng.lng)

# The plugin in the host stand-in with the audio library's stand-ins. The test runs from a folder
# of its own holding the plugin, its language file and the stand-in libraries (bass.dll and
# tags.dll resolve from the program's folder), never from dist/Plugins/Tunlo.
if("standins/bass" IN_LIST KEL_SUBDIRS AND "standins/kelhost" IN_LIST KEL_SUBDIRS)
  set(TUNLO_TEST_DIR ${CMAKE_CURRENT_BINARY_DIR}/tunlo_test)
  add_library(archive_panel SHARED tests/archive_panel.cpp tests/archive_panel.def)
  set_target_properties(archive_panel PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${TUNLO_TEST_DIR})
  target_link_options(archive_panel PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
  target_link_libraries(archive_panel PRIVATE kel_host)
  kel_shell_warnings(archive_panel)
  add_executable(tunlo_recorder tests/recorder.cpp)
  set_target_properties(tunlo_recorder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TUNLO_TEST_DIR})
  target_link_options(tunlo_recorder PRIVATE -municode)
  kel_shell_warnings(tunlo_recorder)

  kel_test(tunlo_plugin_test SOURCES tests/plugin_test.cpp LIBS kelhost kel_testaudio tunlo_core OWNMAIN
           ARGS ${TUNLO_TEST_DIR})
  set_target_properties(tunlo_plugin_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${TUNLO_TEST_DIR})
  # Refreshed on every build, so the folder always holds the latest plugin and libraries.
  add_custom_target(tunlo_test_folder
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TUNLO_TEST_DIR}/bassplugs
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Tunlo> ${CMAKE_CURRENT_SOURCE_DIR}/win/TunloEng.lng
            $<TARGET_FILE:bass_standin> $<TARGET_FILE:tags_standin> ${TUNLO_TEST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:flachead> ${TUNLO_TEST_DIR}/bassplugs)
  add_dependencies(tunlo_test_folder Tunlo bass_standin tags_standin flachead)
  add_dependencies(tunlo_plugin_test tunlo_test_folder archive_panel tunlo_recorder)
endif()

# The demo tour's program: installed into dist/Tools beside kelhost.exe and the library stand-ins.
if("standins/bass" IN_LIST KEL_SUBDIRS AND "standins/kelhost" IN_LIST KEL_SUBDIRS)
  add_executable(tunlo_tour demo/tunlo_tour.cpp)
  target_link_libraries(tunlo_tour PRIVATE kelhost kel_testaudio)
  kel_shell_warnings(tunlo_tour)
  install(TARGETS tunlo_tour RUNTIME DESTINATION Tools)
endif()
