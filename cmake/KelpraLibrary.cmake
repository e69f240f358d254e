# kelpra_library(<folder> DEPS <libs...>): the folder's library target kelpra_<folder>,
# built from every .cpp in the folder.
function(kelpra_library folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(kelpra_${folder} STATIC ${sources})
  target_include_directories(kelpra_${folder} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(kelpra_${folder} PUBLIC ${ARG_DEPS})
endfunction()

# kelpra_test(<folder> DEPS <libs...>): one test executable per tests/ folder.
function(kelpra_test folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${folder} ${sources})
  target_link_libraries(test_${folder} PRIVATE ${ARG_DEPS} kelpra_testkit GTest::gtest GTest::gtest_main)
  gtest_discover_tests(test_${folder} DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "KELPRA_BINARY_DIR=${PROJECT_BINARY_DIR}" TIMEOUT 600)
endfunction()
