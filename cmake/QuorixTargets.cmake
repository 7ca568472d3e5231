# Helpers that give every target of our own the same language level and warnings. Warnings
# are errors only where QUORIX_WERROR asks for it (our test command): a user's compiler or
# optimisation level may warn where ours does not, and that must not stop a plain build.

function(quorix_target_defaults target)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(QUORIX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# quorix_library(<name> DEPENDS <layer libraries>...)
# Builds the folder's sources into the static library quorix_<name>. The sources are the
# folder's .cpp files; the include root is the repository, so headers are included as
# "<folder>/<Header>.h".
function(quorix_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(quorix_${name} STATIC ${sources})
  target_include_directories(quorix_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  foreach(dep IN LISTS ARG_DEPENDS)
    target_link_libraries(quorix_${name} PUBLIC quorix_${dep})
  endforeach()
  quorix_target_defaults(quorix_${name})
endfunction()

# quorix_test_suite(<folder> DEPENDS <layer libraries>...)
# One GoogleTest program per source folder, built from tests/<folder>/*.cpp.
function(quorix_test_suite folder)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp)
  set(target quorix_${folder}_tests)
  add_executable(${target} ${sources})
  foreach(dep IN LISTS ARG_DEPENDS)
    target_link_libraries(${target} PRIVATE quorix_${dep})
  endforeach()
  target_link_libraries(${target} PRIVATE GTest::gmock GTest::gtest_main)
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
  target_compile_definitions(${target} PRIVATE
    QUORIX_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    QUORIX_TEST_BINARY="$<TARGET_FILE:${target}>")
  quorix_target_defaults(${target})
  gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
