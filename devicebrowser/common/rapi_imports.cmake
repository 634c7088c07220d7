# Import library of the device remote access interface, built from rapi.def, for the libraries
# that link it (the module libraries, the emulator's tests). Usage, in a win32 build:
#   include(${PROJECT_SOURCE_DIR}/devicebrowser/common/rapi_imports.cmake)
#   target_link_libraries(<target> PRIVATE kel_rapi_imports)
# The plugin itself loads rapi.dll by name and does not need it.
if(WIN32 AND NOT TARGET kel_rapi_imports)
  find_program(KEL_DLLTOOL NAMES i686-w64-mingw32-dlltool dlltool REQUIRED)
  set(_kel_rapi_def ${CMAKE_CURRENT_LIST_DIR}/rapi.def)
  set(_kel_rapi_lib ${CMAKE_BINARY_DIR}/kel_rapi/librapi.a)
  add_custom_command(OUTPUT ${_kel_rapi_lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/kel_rapi
    COMMAND ${KEL_DLLTOOL} --kill-at -d ${_kel_rapi_def} -l ${_kel_rapi_lib}
    DEPENDS ${_kel_rapi_def}
    COMMENT "Import library of rapi.dll")
  add_custom_target(kel_rapi_imports_build DEPENDS ${_kel_rapi_lib})
  add_library(kel_rapi_imports INTERFACE)
  add_dependencies(kel_rapi_imports kel_rapi_imports_build)
  target_link_libraries(kel_rapi_imports INTERFACE ${_kel_rapi_lib})
endif()
