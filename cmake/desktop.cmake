# The desktop program "quillmere": the window system on Qt, the main window, the program
# entry, and the end-to-end tests of the real program under a virtual X server.
# Included from the top-level CMakeLists.txt.

# The ActionScript 1 movies of the program's end-to-end tests (our own SWF writer).
set(QM_SHELL_MOVIES_DIR ${CMAKE_BINARY_DIR}/shell_movies)
qm_written_movies(qm_shell_movies shell_test_movies ${QM_SHELL_MOVIES_DIR}
  MOVIES version_9_0 version_10_1 version_10_2 version_11_0 version_none commands
         newfolder_first exec_first
  COMMENT "Writing the desktop program's test movies")

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
# The program creates the resource windows (cmake/resources.cmake) at start-up, after
# the recorder, and registers them with its window system.
target_link_libraries(quillmere PRIVATE qm_qt_shell qm_qt_dialogs qm_qt_audio
  qm_qt_resources qm_qt_open_dialog)
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
  qm_xvfb_test(shell_e2e shell_e2e_tests TIMEOUT 600 DATA_DIR)
endif()

if(QM_TESTS)
  # The program when its player fails: the renderer killed, a movie that cannot be
  # played, the runtime check while the movie waits in a dialog.
  add_executable(player_failure_e2e_tests tests/e2e/player_failure_e2e_test.cpp)
  target_link_libraries(player_failure_e2e_tests PRIVATE
    qm_test_support GTest::gtest GTest::gtest_main nlohmann_json::nlohmann_json)
  target_compile_definitions(player_failure_e2e_tests PRIVATE
    QM_PROGRAM="$<TARGET_FILE:quillmere>" QM_SHELL_MOVIES_DIR="${QM_SHELL_MOVIES_DIR}")
  add_dependencies(player_failure_e2e_tests quillmere qm_shell_movies)
  qm_xvfb_test(player_failure_e2e player_failure_e2e_tests TIMEOUT 600 DATA_DIR)
endif()

if(QM_TESTS)
  # Ended by its movie's "exitprogram" while a lesson it started plays on, or killed, the
  # program leaves none of its web engine processes.
  add_executable(program_processes_e2e_tests tests/e2e/program_processes_e2e_test.cpp)
  target_link_libraries(program_processes_e2e_tests PRIVATE
    GTest::gtest GTest::gtest_main nlohmann_json::nlohmann_json)
  target_include_directories(program_processes_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(program_processes_e2e_tests PRIVATE
    QM_PROGRAM="$<TARGET_FILE:quillmere>" QM_SHELL_MOVIES_DIR="${QM_SHELL_MOVIES_DIR}")
  add_dependencies(program_processes_e2e_tests
    quillmere qm_flash_player qm_web_engine_process qm_shell_movies)
  qm_xvfb_test(program_processes_e2e program_processes_e2e_tests TIMEOUT 300 DATA_DIR)
endif()
