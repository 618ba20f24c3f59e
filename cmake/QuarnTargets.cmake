# One static library per subsystem. Sources are picked up by glob so that a new
# class pair needs no build-file edit; CONFIGURE_DEPENDS re-globs on every build.
function(quarn_subsystem name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cc)
  if(sources)
    add_library(quarn_${name} STATIC ${sources})
    target_include_directories(quarn_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(quarn_${name} PUBLIC ${ARG_LINKS})
  else()
    add_library(quarn_${name} INTERFACE)
    target_include_directories(quarn_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(quarn_${name} INTERFACE ${ARG_LINKS})
  endif()
  add_library(quarn::${name} ALIAS quarn_${name})
endfunction()

# One GoogleTest binary per test folder; every *.cc in it is a suite file.
function(quarn_test_folder name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cc)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources})
  target_include_directories(test_${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(test_${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gtest_main
                                             GTest::gmock)
  gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "QUARN_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
