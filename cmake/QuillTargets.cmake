# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The IRC Quillmere developers
# One static library per core folder, built from every .cpp in it. A folder
# without sources yet gives an interface target, so the tree always configures.
function(quill_core_library name)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${ARG_LINK})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${ARG_LINK})
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
  endif()
endfunction()

# Every tests/<folder>/*_test.cpp is one GoogleTest program, labelled core;
# every *_slowtest.cpp likewise, labelled slow (real-time waits).
function(quill_test_folder)
  cmake_parse_arguments(ARG "" "" "LINK" ${ARGN})
  file(GLOB fast CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB slow CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_slowtest.cpp)
  file(GLOB support CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/support/*.cpp)
  foreach(src IN LISTS fast slow)
    get_filename_component(stem ${src} NAME_WE)
    add_executable(${stem} ${src} ${support})
    target_link_libraries(${stem} PRIVATE ${ARG_LINK} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
    target_include_directories(${stem} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    if(src IN_LIST slow)
      set(label slow)
    else()
      set(label core)
    endif()
    gtest_discover_tests(${stem}
      WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
      PROPERTIES LABELS ${label}
      DISCOVERY_TIMEOUT 60)
  endforeach()
endfunction()

# A test folder's libFuzzer target `name`, built from SOURCES against LIBRARY,
# and its short run `<name>_short` (label fuzz) from the folder's fuzz/seeds.
# libFuzzer needs clang, so both exist only in a clang build with QUILL_FUZZ
# (`make fuzz`), where the library is instrumented too (coverage, ASan, UBSan).
function(quill_fuzz_target name)
  cmake_parse_arguments(ARG "" "LIBRARY" "SOURCES" ${ARGN})
  if(NOT QUILL_FUZZ)
    return()
  endif()
  set(checks address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,${checks})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_compile_options(${ARG_LIBRARY} PRIVATE -fsanitize=fuzzer-no-link,${checks})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARY})
  # What a run finds stays in the build; the committed seeds stay as they are.
  set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  file(MAKE_DIRECTORY ${corpus})
  add_test(NAME ${name}_short
           COMMAND ${name} -max_total_time=20 -timeout=10 -rss_limit_mb=2048 -seed=1 ${corpus}
                   ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/seeds)
  set_tests_properties(${name}_short PROPERTIES LABELS fuzz TIMEOUT 120)
endfunction()
