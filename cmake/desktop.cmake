# The desktop program "quillmere": the window system on Qt, the main window, the program
# entry, and the end-to-end tests of the real program under a virtual X server.
# Included from the top-level CMakeLists.txt.

# The ActionScript 1 movies of the program's end-to-end tests (our own SWF writer).
add_executable(shell_test_movies tools/shell_test_movies.cpp)
target_link_libraries(shell_test_movies PRIVATE qm_swf)
set(QM_SHELL_MOVIES_DIR ${CMAKE_BINARY_DIR}/shell_movies)
set(QM_SHELL_MOVIES version_9_0 version_10_1 version_10_2 version_11_0 version_none commands
    newfolder_first)
list(TRANSFORM QM_SHELL_MOVIES PREPEND ${QM_SHELL_MOVIES_DIR}/ OUTPUT_VARIABLE QM_SHELL_MOVIE_FILES)
list(TRANSFORM QM_SHELL_MOVIE_FILES APPEND .swf)
add_custom_command(
  OUTPUT ${QM_SHELL_MOVIE_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_SHELL_MOVIES_DIR}
  COMMAND shell_test_movies ${QM_SHELL_MOVIES_DIR}
  DEPENDS shell_test_movies
  COMMENT "Writing the desktop program's test movies")
add_custom_target(qm_shell_movies DEPENDS ${QM_SHELL_MOVIE_FILES})

if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Test)

add_library(qm_qt_shell STATIC
  src/qt/qt_window_system.cpp
  src/qt/main_window.cpp
)
set_target_properties(qm_qt_shell PROPERTIES AUTOMOC ON)
target_link_libraries(qm_qt_shell PUBLIC qm_core qm_flash Qt6::Widgets)

# The program, in the demo course's folder: its folder is the course (AppDir).
set(QM_COURSE_DIR ${CMAKE_BINARY_DIR}/course)
add_executable(quillmere src/qt/desktop_main.cpp)
target_link_libraries(quillmere PRIVATE qm_qt_shell qm_qt_dialogs qm_qt_audio)
set_target_properties(quillmere PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QM_COURSE_DIR})
target_compile_definitions(quillmere PRIVATE QM_VERSION="${PROJECT_VERSION}")

if(QM_TESTS)
  # The window system on the offscreen platform.
  add_executable(qm_qt_shell_tests tests/qt/qt_window_system_test.cpp)
  target_include_directories(qm_qt_shell_tests PRIVATE tests)
  target_link_libraries(qm_qt_shell_tests PRIVATE qm_qt_shell qm_headless Qt6::Test GTest::gtest)
  add_test(NAME qt_shell.window_system COMMAND qm_qt_shell_tests)
  set_tests_properties(qt_shell.window_system PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)

  # The real program, started as a process under a virtual X server; it reads windows
  # with xwininfo, xprop and xdotool, and takes the screenshot with a small Qt tool.
  add_executable(qm_screenshot tests/e2e/screenshot.cpp)
  target_link_libraries(qm_screenshot PRIVATE Qt6::Gui)
  add_executable(shell_e2e_tests tests/e2e/shell_e2e_test.cpp)
  target_link_libraries(shell_e2e_tests PRIVATE GTest::gtest GTest::gtest_main nlohmann_json::nlohmann_json)
  target_compile_definitions(shell_e2e_tests PRIVATE
    QM_PROGRAM="$<TARGET_FILE:quillmere>"
    QM_SCREENSHOT_TOOL="$<TARGET_FILE:qm_screenshot>"
    QM_SHELL_MOVIES_DIR="${QM_SHELL_MOVIES_DIR}"
    QM_MOVIES_DIR="${QM_MOVIES_DIR}"
    QM_COURSE_DIR="${QM_COURSE_DIR}"
    QM_ARTEFACTS_DIR="${CMAKE_BINARY_DIR}/artefacts")
  add_dependencies(shell_e2e_tests quillmere qm_screenshot qm_shell_movies qm_avm1_movies)
  target_include_directories(shell_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME shell_e2e
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:shell_e2e_tests>)
  # The program runs from a copy of its course folder: its data stays in the build.
  set_tests_properties(shell_e2e PROPERTIES
    ENVIRONMENT "QTWEBENGINE_DISABLE_SANDBOX=1;QM_DATA_DIR=${QM_DATA_BUILD_DIR}" TIMEOUT 600)
endif()

if(QM_TESTS)
  # The program when its player fails: the renderer killed, a movie that cannot be
  # played, the runtime check while the movie waits in a dialog.
  add_executable(player_failure_e2e_tests tests/e2e/player_failure_e2e_test.cpp
    tests/support/nginx_server.cpp)
  target_include_directories(player_failure_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(player_failure_e2e_tests PRIVATE
    GTest::gtest GTest::gtest_main nlohmann_json::nlohmann_json)
  target_compile_definitions(player_failure_e2e_tests PRIVATE
    QM_PROGRAM="$<TARGET_FILE:quillmere>" QM_SHELL_MOVIES_DIR="${QM_SHELL_MOVIES_DIR}")
  add_dependencies(player_failure_e2e_tests quillmere qm_shell_movies)
  add_test(NAME player_failure_e2e
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:player_failure_e2e_tests>)
  set_tests_properties(player_failure_e2e PROPERTIES
    ENVIRONMENT "QTWEBENGINE_DISABLE_SANDBOX=1;QM_DATA_DIR=${QM_DATA_BUILD_DIR}" TIMEOUT 600)
endif()
