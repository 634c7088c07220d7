# Import libraries for bass.dll and tags.dll, made from the export lists with dlltool, so a
# program links the vendor's DLL names without linking any particular build of them.
# Gives the INTERFACE target kel_bass_imports (win32 builds only).
include_guard(GLOBAL)
if(WIN32)
  find_program(KEL_DLLTOOL NAMES i686-w64-mingw32-dlltool REQUIRED)
  set(_kel_bass_dir ${CMAKE_CURRENT_LIST_DIR})
  set(_kel_bass_out ${CMAKE_BINARY_DIR}/bassimports)
  foreach(lib bass tags)
    add_custom_command(OUTPUT ${_kel_bass_out}/lib${lib}.a
      COMMAND ${CMAKE_COMMAND} -E make_directory ${_kel_bass_out}
      COMMAND ${KEL_DLLTOOL} -k -d ${_kel_bass_dir}/${lib}.def -D ${lib}.dll
              -l ${_kel_bass_out}/lib${lib}.a
      DEPENDS ${_kel_bass_dir}/${lib}.def
      COMMENT "Import library for ${lib}.dll")
  endforeach()
  add_custom_target(kel_bass_implibs DEPENDS ${_kel_bass_out}/libbass.a ${_kel_bass_out}/libtags.a)
  add_library(kel_bass_imports INTERFACE)
  target_link_libraries(kel_bass_imports INTERFACE ${_kel_bass_out}/libtags.a ${_kel_bass_out}/libbass.a)
  add_dependencies(kel_bass_imports kel_bass_implibs)
endif()
