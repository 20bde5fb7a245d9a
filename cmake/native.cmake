# Native Linux build: the portable code, its tests, the command-line tools and the fuzzer.
add_library(portable STATIC ${MMIO_PORTABLE} ${MMIO_POSIX} ${UI_LOGIC})

add_executable(midimix ${CMAKE_SOURCE_DIR}/tools/midimix.cpp)
target_link_libraries(midimix portable)

file(GLOB MKDEMO_SRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/mkdemo.cpp)
if(MKDEMO_SRC)
  add_executable(mkdemo ${MKDEMO_SRC})
endif()

file(GLOB BENCH_SRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/bench_*.cpp)
foreach(src ${BENCH_SRC})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} portable)
endforeach()

if(PLAYER_FUZZ)
  add_executable(fuzz_song ${CMAKE_SOURCE_DIR}/fuzz/fuzz_song.cpp)
  target_compile_options(fuzz_song PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_song portable -fsanitize=fuzzer)
endif()

if(PLAYER_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  file(GLOB_RECURSE NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
  add_executable(native_tests ${NATIVE_TESTS})
  target_include_directories(native_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(native_tests portable GTest::gtest GTest::gtest_main)
  target_compile_definitions(native_tests PRIVATE TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
                                                  MIDIMIX_PATH="$<TARGET_FILE:midimix>")
  add_dependencies(native_tests midimix)
  gtest_discover_tests(native_tests DISCOVERY_MODE PRE_TEST)

  # Black-box tests of the command-line tool (shell scripts in tests/tools).
  file(GLOB TOOL_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*.sh)
  foreach(t ${TOOL_TESTS})
    get_filename_component(name ${t} NAME_WE)
    add_test(NAME tool.${name} COMMAND bash ${t} $<TARGET_FILE:midimix> ${CMAKE_SOURCE_DIR})
  endforeach()
endif()
