# The Windows programs, cross-built with MinGW-w64; their tests run under Wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQM_WERROR=ON
#   cmake --build build-win -j2 && ctest --test-dir build-win --output-on-failure
# Included from the top-level CMakeLists.txt when WIN32, in place of everything after it:
# the portable core (the same source list as the Linux build), the Win32 adapters, the
# headless driver quillmere-headless.exe, and the unit tests of the core and the adapters.

# GoogleTest and GoogleMock from the system's sources, built for the target.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# The JSON library is a header only; the cross build sees it through a folder of its own
# in the build tree (the host's /usr/include would bring every host header with it).
set(QM_WIN_INCLUDE_DIR ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${QM_WIN_INCLUDE_DIR})
file(CREATE_LINK /usr/include/nlohmann ${QM_WIN_INCLUDE_DIR}/nlohmann SYMBOLIC)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${QM_WIN_INCLUDE_DIR})
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)

# zlib: Debian's MinGW-w64 build of it (libz-mingw-w64-dev), libz.a rather than the
# import library of zlib1.dll, so that the programs need no DLL beside them.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

include(cmake/core_sources.cmake)
add_library(qm_core STATIC ${QM_CORE_SOURCES})
target_include_directories(qm_core PUBLIC src)
target_link_libraries(qm_core PUBLIC ZLIB::ZLIB)

# The Win32 adapters: files through the wide-character API, the ANSI code page, special
# folders, the shell, the profile writer, processes, Winsock and the media control
# interface of winmm.
add_library(qm_win32 STATIC
  src/win32/wide_text.cpp
  src/win32/win32_code_page.cpp
  src/win32/win32_file_system.cpp
  src/win32/win32_host_paths.cpp
  src/win32/win32_media_control.cpp
  src/win32/win32_network.cpp
  src/win32/win32_process.cpp
  src/win32/win32_profile_writer.cpp
  src/win32/win32_shell.cpp
)
target_link_libraries(qm_win32 PUBLIC qm_core winmm ws2_32 shell32 ole32 Threads::Threads)
# The core calls the factories of the adapters it is built with (SystemFileSystem,
# OpenCodePageConverter, ...): every program that links the core links them too.
target_link_libraries(qm_core INTERFACE qm_win32)

include(cmake/headless.cmake)

if(NOT QM_TESTS)
  return()
endif()

# qm_wine_test(<target> [TIMEOUT <seconds>])
# Runs the test program <target> under wine64 as one test, in the build's own Wine prefix
# (made by the test wine_prefix before the first test that needs it).
find_program(QM_WINE64 wine64 PATHS /usr/lib/wine REQUIRED)
find_program(QM_WINEBOOT wineboot REQUIRED)
find_program(QM_WINESERVER wineserver PATHS /usr/lib/wine REQUIRED)
set(QM_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
set(QM_WINE_ENVIRONMENT
  "WINEPREFIX=${QM_WINE_PREFIX}"
  "WINEDEBUG=-all"
  # No Mono or Gecko installer dialogs while the prefix is made.
  "WINEDLLOVERRIDES=mscoree,mshtml="
  "WINE=${QM_WINE64}"
  # Wine's PulseAudio driver finds the sound server chosen by the test wine_prefix here.
  "PULSE_CLIENTCONFIG=${CMAKE_BINARY_DIR}/wine-pulse.conf")
function(qm_wine_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TIMEOUT" "")
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 120)
  endif()
  add_test(NAME ${target} COMMAND ${QM_WINE64} $<TARGET_FILE:${target}> --gtest_brief=1)
  set_tests_properties(${target} PROPERTIES
    ENVIRONMENT "${QM_WINE_ENVIRONMENT}"
    FIXTURES_REQUIRED wine_prefix
    TIMEOUT ${arg_TIMEOUT})
endfunction()

enable_testing()
add_test(NAME wine_prefix
  COMMAND ${CMAKE_COMMAND} -DPREFIX=${QM_WINE_PREFIX} -DWINE=${QM_WINE64}
          -DWINEBOOT=${QM_WINEBOOT} -DWINESERVER=${QM_WINESERVER}
          -DSOUND_SERVER=${CMAKE_SOURCE_DIR}/scripts/sound_server.sh
          -DPULSE_CONF=${CMAKE_BINARY_DIR}/wine-pulse.conf
          -P ${CMAKE_SOURCE_DIR}/cmake/wine_prefix.cmake)
set_tests_properties(wine_prefix PROPERTIES
  ENVIRONMENT "${QM_WINE_ENVIRONMENT}" FIXTURES_SETUP wine_prefix TIMEOUT 300)

# The tests' shared helpers that need no POSIX call: temporary folders, the shell on the
# scripted ports over the system's file layer, fakes of the media and the views.
add_library(qm_test_support STATIC
  tests/support/test_support.cpp
  tests/support/fake_media_control.cpp
  tests/support/fake_shell_views.cpp
)
target_include_directories(qm_test_support PUBLIC tests)
target_link_libraries(qm_test_support PUBLIC qm_headless GTest::gtest GTest::gmock)

# The core's own unit tests, those that need no POSIX adapter, on the Win32 adapters.
add_executable(qm_core_tests
  tests/text/codepage_test.cpp
  tests/text/chars_test.cpp
  tests/text/wildcard_test.cpp
  tests/xml/xml_reader_test.cpp
  tests/bridge/command_table_test.cpp
  tests/ui/dialogs_test.cpp
  tests/ui/dialog_layout_test.cpp
  tests/ui/input_progress_dialog_test.cpp
  tests/update/update_reply_test.cpp
  tests/resources/document_launcher_test.cpp
  tests/resources/natural_order_test.cpp
  tests/bridge/request_test.cpp
  tests/bridge/services_test.cpp
  tests/bridge/fs_command_test.cpp
  tests/app/course_folder_test.cpp
  tests/app/player_failure_test.cpp
  tests/media/media_player_test.cpp
)
# Not here: the resource manager's and picker's tests, whose folders and files have names
# Windows does not allow ("<", ">", a trailing blank); the emulated media control's and
# the recorder's (the emulated interface is Linux's); the update check's and the HTTP
# client's (their local servers are POSIX sockets).
target_link_libraries(qm_core_tests PRIVATE qm_test_support GTest::gtest_main)
qm_wine_test(qm_core_tests)

# The Win32 adapters.
add_executable(qm_win32_tests
  tests/win32/errors_test.cpp
  tests/win32/code_page_test.cpp
  tests/win32/win32_file_system_test.cpp
  tests/win32/win32_media_control_test.cpp
  tests/win32/win32_network_test.cpp
  tests/win32/win32_shell_test.cpp
)
target_link_libraries(qm_win32_tests PRIVATE
  qm_headless GTest::gtest GTest::gmock GTest::gtest_main)
# Wine records from the sound server far slower than it plays.
qm_wine_test(qm_win32_tests TIMEOUT 240)

# The headless driver's sessions (tests/headless/sessions) through the Linux driver and
# this one, compared after the platform exceptions that compare_drivers.sh lists.
set(QM_LINUX_HEADLESS_EXE "" CACHE FILEPATH
  "The Linux build's quillmere-headless, for the comparison of the two drivers")
if(QM_LINUX_HEADLESS_EXE)
  add_test(NAME headless_drivers_linux_windows
    COMMAND bash ${CMAKE_SOURCE_DIR}/tests/headless/compare_drivers.sh
            ${QM_LINUX_HEADLESS_EXE} $<TARGET_FILE:quillmere-headless>)
  set_tests_properties(headless_drivers_linux_windows PROPERTIES
    ENVIRONMENT "${QM_WINE_ENVIRONMENT}" FIXTURES_REQUIRED wine_prefix TIMEOUT 600)
endif()
