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
