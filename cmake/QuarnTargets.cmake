# One static library per layer folder (or per concern inside a protocol folder).
# Sources are picked up by glob so that a new class pair needs no build-file
# edit; CONFIGURE_DEPENDS re-globs on every build. LINKS names exactly the
# libraries the folder's code uses: the layers below it, never one above.
function(quarn_subsystem name)
  cmake_parse_arguments(ARG "" "DIR" "LINKS" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR ${name})
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/*.cc)
  # The program's entry point belongs to the executable, not to a library.
  list(FILTER sources EXCLUDE REGEX "/app/main\\.cc$")
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
# SOURCES adds test helpers that live in another test folder.
function(quarn_test_folder name)
  cmake_parse_arguments(ARG "" "DIR" "LINKS;SOURCES" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR ${name})
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/*.cc)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources} ${ARG_SOURCES})
  target_include_directories(test_${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(test_${name} PRIVATE ${ARG_LINKS} GTest::gtest GTest::gtest_main
                                             GTest::gmock)
  gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "QUARN_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
