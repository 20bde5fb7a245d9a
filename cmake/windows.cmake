# Windows build (MinGW-w64): the player, the command-line tool, and on x86_64 the tests
# that CTest runs under Wine.
enable_language(RC)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(WIN_LIBS comctl32 comdlg32 gdi32 user32 kernel32 winmm)

file(GLOB MAIN_SRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/main/*.cpp)
list(FILTER MAIN_SRC EXCLUDE REGEX "/winmain\\.cpp$")
file(GLOB CTRL_SRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/ctrl/*.cpp)

# Everything but the entry point, so the Windows unit tests can link the real code.
add_library(playercore STATIC ${MMIO_PORTABLE} ${MMIO_WIN} ${SOUND_PORTABLE} ${SOUND_WIN} ${CTRL_SRC} ${MAIN_SRC} ${SYNTH_SRC})
target_link_libraries(playercore PUBLIC ${WIN_LIBS})

if(EXISTS ${CMAKE_SOURCE_DIR}/src/main/winmain.cpp)
  add_executable(player WIN32 ${CMAKE_SOURCE_DIR}/src/main/winmain.cpp ${CMAKE_SOURCE_DIR}/res/player.rc)
  target_link_libraries(player playercore)
endif()

if(EXISTS ${CMAKE_SOURCE_DIR}/tools/midimix.cpp)
  add_executable(midimix ${CMAKE_SOURCE_DIR}/tools/midimix.cpp)
  target_link_libraries(midimix playercore)
endif()

set(PLAYER_X64 OFF)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PLAYER_X64 ON)
endif()

# Only the x86_64 build can run here (the kernel cannot execute 32-bit code).
if(PLAYER_TESTS AND PLAYER_X64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env;PLAYER_BUILD_ROOT=${PLAYER_BUILD_ROOT};${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  include(GoogleTest)

  # name: executable; dir: its sources; lock: serialise tests that share the GUI.
  function(player_win_tests name dir lock)
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(NOT srcs)
      return()
    endif()
    add_executable(${name} ${srcs})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_link_libraries(${name} playercore gtest gtest_main)
    target_compile_definitions(${name} PRIVATE TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
    set(props)
    if(lock)
      set(props PROPERTIES RESOURCE_LOCK gui)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 ${props})
  endfunction()

  player_win_tests(win_native_tests ${CMAKE_SOURCE_DIR}/tests/native OFF)
  if(TARGET win_native_tests)
    target_compile_definitions(win_native_tests PRIVATE MIDIMIX_PATH="")
  endif()
  player_win_tests(win_mmio_tests ${CMAKE_SOURCE_DIR}/tests/win/mmio OFF)
  player_win_tests(win_main_tests ${CMAKE_SOURCE_DIR}/tests/win/main ON)
  player_win_tests(win_ctrl_tests ${CMAKE_SOURCE_DIR}/tests/win/ctrl ON)

  # End-to-end: a driver that starts the real player and works it like a user.
  file(GLOB E2E_SRC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*.cpp)
  if(E2E_SRC AND TARGET player)
    add_executable(e2e_tests ${E2E_SRC})
    target_include_directories(e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(e2e_tests playercore gtest gtest_main ${WIN_LIBS})
    target_compile_definitions(e2e_tests PRIVATE TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
    add_dependencies(e2e_tests player)
    if(TARGET midimix)
      add_dependencies(e2e_tests midimix)   # the export test compares with its render
    endif()
    gtest_discover_tests(e2e_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120 PROPERTIES RESOURCE_LOCK gui)
    # Screenshots of the window under a virtual display, kept in artefacts/ for people to look at.
    add_test(NAME e2e_screenshots COMMAND ${CMAKE_SOURCE_DIR}/scripts/screenshot.sh $<TARGET_FILE:player>)
    set_tests_properties(e2e_screenshots PROPERTIES RESOURCE_LOCK gui TIMEOUT 180
                         ENVIRONMENT "PLAYER_BUILD_ROOT=${PLAYER_BUILD_ROOT}")
    # Live sound recorded through a private PulseAudio server (skipped without one).
    add_test(NAME e2e_sound COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/sound.sh $<TARGET_FILE:e2e_tests> ${CMAKE_SOURCE_DIR})
    set_tests_properties(e2e_sound PROPERTIES RESOURCE_LOCK gui TIMEOUT 90 SKIP_RETURN_CODE 77
                         ENVIRONMENT "PLAYER_BUILD_ROOT=${PLAYER_BUILD_ROOT}")
    # The column header over its columns at two widths and maximized, checked and kept.
    add_test(NAME e2e_header_screenshots COMMAND ${CMAKE_SOURCE_DIR}/scripts/screenshot-header.sh $<TARGET_FILE:e2e_tests>)
    set_tests_properties(e2e_header_screenshots PROPERTIES RESOURCE_LOCK gui TIMEOUT 180
                         ENVIRONMENT "PLAYER_BUILD_ROOT=${PLAYER_BUILD_ROOT}")
  endif()

  # The command-line tool's black-box tests, on the Windows build too (the corpus run stays
  # native: both builds share the song layer it exercises).
  if(TARGET midimix)
    file(GLOB TOOL_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*.sh)
    list(FILTER TOOL_TESTS EXCLUDE REGEX "/corpus\\.sh$")
    foreach(t ${TOOL_TESTS})
      get_filename_component(name ${t} NAME_WE)
      add_test(NAME win_tool.${name} COMMAND bash ${t} ${CMAKE_SOURCE_DIR}/tests/tools/lib/wine-midimix.sh ${CMAKE_SOURCE_DIR})
      set_tests_properties(win_tool.${name} PROPERTIES
        ENVIRONMENT "MIDIMIX_EXE=$<TARGET_FILE:midimix>;PLAYER_BUILD_ROOT=${PLAYER_BUILD_ROOT}")
    endforeach()
  endif()
endif()

# Windows console tools and benchmarks (tools/*_win.cpp), run under Wine.
file(GLOB WIN_TOOLS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*_win.cpp)
foreach(src ${WIN_TOOLS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src})
  target_link_libraries(${name} playercore)
endforeach()
