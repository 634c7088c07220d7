# Build helpers shared by every subsystem. Sources include each other from the repository root
# ("namefixer/core/trim.h"), so one include directory serves all targets.

option(KEL_SANITIZE "Build native targets with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(KEL_WERROR "Treat warnings as errors" OFF)
option(KEL_LIBFUZZER "Fuzz build (clang only): every target gets coverage for libFuzzer and ASan/UBSan" OFF)

include_directories(${PROJECT_SOURCE_DIR})

if(NOT WIN32 AND (KEL_SANITIZE OR KEL_LIBFUZZER))
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(NOT WIN32 AND KEL_LIBFUZZER)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KEL_LIBFUZZER needs clang (configure with -DCMAKE_CXX_COMPILER=clang++)")
  endif()
  # Coverage in every object, cores included: the fuzzer steers by the edges of the code it
  # fuzzes, not only by those of its harness. Only the harnesses link libFuzzer itself.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Cores: standard C++ only; the native build of each one proves no Win32 header creeps in.
set(KEL_CORE_WARNINGS -Wall -Wextra -Wconversion -Wsign-conversion -Wshadow -Wimplicit-fallthrough -Wcast-align)
set(KEL_SHELL_WARNINGS -Wall -Wextra -Wshadow -Wimplicit-fallthrough)
if(KEL_WERROR)
  list(APPEND KEL_CORE_WARNINGS -Werror)
  list(APPEND KEL_SHELL_WARNINGS -Werror)
endif()

# kel_core(NAME src...): a portable static library.
function(kel_core name)
  add_library(${name} STATIC ${ARGN})
  target_compile_options(${name} PRIVATE ${KEL_CORE_WARNINGS})
endfunction()

# kel_shell_warnings(TARGET): the warning set for Win32 shells and stand-ins.
function(kel_shell_warnings name)
  target_compile_options(${name} PRIVATE ${KEL_SHELL_WARNINGS})
endfunction()

# kel_test(NAME SOURCES src... [LIBS lib...] [ENV VAR=value...] [DISPLAY] [OWNMAIN] [ARGS arg...])
# OWNMAIN: the test defines main() itself (e.g. to take a path argument).
# A GoogleTest program. Native builds run it directly; win32 builds run it under Wine through
# cmake/winerun (a console always; an X display when DISPLAY is given).
function(kel_test name)
  cmake_parse_arguments(T "DISPLAY;OWNMAIN" "" "SOURCES;LIBS;ENV;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest)
  if(NOT T_OWNMAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  target_compile_options(${name} PRIVATE ${KEL_SHELL_WARNINGS})
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  set(env ${T_ENV})
  if(T_DISPLAY)
    list(APPEND env KEL_DISPLAY=1)
  endif()
  if(env)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
  endif()
endfunction()

# kel_plugin(NAME DEF file.def SOURCES src... [LIBS lib...] [DEST dir] [FILES file...])
# A host plugin DLL: no "lib" prefix, exports exactly what the .def file names, installed to
# dist/<DEST> (default Plugins/<NAME>) with its language files.
function(kel_plugin name)
  cmake_parse_arguments(P "" "DEF;DEST;SUFFIX" "SOURCES;LIBS;FILES" ${ARGN})
  add_library(${name} SHARED ${P_SOURCES} ${P_DEF})
  set_target_properties(${name} PROPERTIES PREFIX "")
  if(P_SUFFIX)
    set_target_properties(${name} PROPERTIES SUFFIX "${P_SUFFIX}")
  endif()
  # stdcall exports are listed undecorated in the .def file.
  target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  kel_shell_warnings(${name})
  if(NOT P_DEST)
    set(P_DEST Plugins/${name})
  endif()
  install(TARGETS ${name} RUNTIME DESTINATION ${P_DEST} LIBRARY DESTINATION ${P_DEST})
  if(P_FILES)
    install(FILES ${P_FILES} DESTINATION ${P_DEST})
    # Tests load plugins from the build tree: keep the language files beside the DLL there too.
    foreach(f ${P_FILES})
      get_filename_component(fn ${f} NAME)
      add_custom_command(TARGET ${name} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/${f}
                $<TARGET_FILE_DIR:${name}>/${fn})
    endforeach()
  endif()
endfunction()

# kel_fuzzer(NAME SOURCES src... LIBS lib... CORPUS dir [DICT file])
# A fuzz harness defining LLVMFuzzerTestOneInput. Natively it is linked with a replay main and
# run over its seed corpus as a test; with KEL_LIBFUZZER (clang) it becomes a libFuzzer binary,
# its corpus test replays the seeds once (-runs=0), and cmake/fuzz.sh finds it, its seeds and its
# dictionary through fuzzers/NAME.txt in the build tree.
function(kel_fuzzer name)
  cmake_parse_arguments(F "" "CORPUS;DICT" "SOURCES;LIBS" ${ARGN})
  if(WIN32)
    return()
  endif()
  if(KEL_LIBFUZZER)
    add_executable(${name} ${F_SOURCES})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/cmake/fuzz_replay_main.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  set(corpus "")
  set(dict "")
  if(F_CORPUS)
    set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/${F_CORPUS})
  endif()
  if(F_DICT)
    set(dict ${CMAKE_CURRENT_SOURCE_DIR}/${F_DICT})
  endif()
  if(F_CORPUS)
    if(KEL_LIBFUZZER)
      add_test(NAME ${name}_corpus COMMAND ${name} -runs=0 ${corpus})
    else()
      add_test(NAME ${name}_corpus COMMAND ${name} ${corpus})
    endif()
  endif()
  if(KEL_LIBFUZZER)
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzzers/${name}.txt
      CONTENT "binary=$<TARGET_FILE:${name}>\ncorpus=${corpus}\ndict=${dict}\n")
  endif()
endfunction()
