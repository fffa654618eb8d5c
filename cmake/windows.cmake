# The Windows programs, cross-built with MinGW-w64; their unit tests run under Wine:
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQM_WERROR=ON
#   cmake --build build-win -j2 && ctest --test-dir build-win --output-on-failure
# Included from the top-level CMakeLists.txt when WIN32, in place of everything after it.

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

# libz.a, not the import library of zlib1.dll.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
find_package(Threads REQUIRED)

# The portable core, as far as it builds for Windows on this branch: the Linux build's
# qm_core still holds the POSIX adapters. Replaced by the real qm_core once the core holds
# only portable sources.
add_library(qm_win_core STATIC
  src/platform/errors.cpp
)
target_include_directories(qm_win_core PUBLIC src)
target_link_libraries(qm_win_core PUBLIC Threads::Threads)

# The Win32 adapters.
add_library(qm_win32 STATIC
  src/win32/win32_media_control.cpp
)
target_link_libraries(qm_win32 PUBLIC qm_win_core winmm)

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
  "WINE=${QM_WINE64}")
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

if(QM_TESTS)
  enable_testing()
  add_test(NAME wine_prefix
    COMMAND ${CMAKE_COMMAND} -DPREFIX=${QM_WINE_PREFIX} -DWINE=${QM_WINE64}
            -DWINEBOOT=${QM_WINEBOOT} -DWINESERVER=${QM_WINESERVER} -P ${CMAKE_SOURCE_DIR}/cmake/wine_prefix.cmake)
  set_tests_properties(wine_prefix PROPERTIES
    ENVIRONMENT "${QM_WINE_ENVIRONMENT}" FIXTURES_SETUP wine_prefix TIMEOUT 300)

  add_executable(qm_win32_tests
    tests/win32/errors_test.cpp
  )
  target_link_libraries(qm_win32_tests PRIVATE
    qm_win32 GTest::gtest GTest::gmock GTest::gtest_main)
  qm_wine_test(qm_win32_tests)
endif()
