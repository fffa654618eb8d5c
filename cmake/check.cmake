# The bridge trace (--trace) and the course check (--check): the portable trace writer,
# the tracing ports, the movie header reader and the check's report; their Qt side in
# the desktop program and the standalone player; their tests.
# Included from the top-level CMakeLists.txt after the programs are defined.

add_library(qm_check STATIC
  src/trace/trace_writer.cpp
  src/trace/tracing_ports.cpp
  src/trace/player_console.cpp
  src/swf/movie_header.cpp
  src/check/course_check.cpp
  src/check/report_page.cpp
)
target_link_libraries(qm_check PUBLIC qm_core qm_swf nlohmann_json::nlohmann_json)
if(TARGET qm_player)
  target_link_libraries(qm_check PUBLIC qm_player)
else()
  # Builds without the desktop programs have no player library: its movie file reader here.
  target_sources(qm_check PRIVATE src/player/movie_file.cpp)
endif()

if(QM_TESTS)
  add_executable(qm_check_tests
    tests/trace/tracing_ports_test.cpp
    tests/swf/movie_header_test.cpp
    tests/check/course_check_test.cpp
  )
  target_include_directories(qm_check_tests PRIVATE tests)
  target_link_libraries(qm_check_tests PRIVATE qm_check qm_headless qm_swf
    GTest::gtest GTest::gtest_main)
  gtest_discover_tests(qm_check_tests DISCOVERY_TIMEOUT 60)
endif()

# The bridge benchmark also measures the round trips with the trace written.
if(TARGET bench_bridge)
  target_link_libraries(bench_bridge PRIVATE qm_check)
endif()

if(NOT TARGET quillmere)
  return()
endif()

add_library(qm_check_qt STATIC src/qt/course_check_run.cpp src/qt/course_check_movies.cpp)
target_link_libraries(qm_check_qt PUBLIC qm_check qm_qt_shell qm_headless qm_flash)
target_link_libraries(quillmere PRIVATE qm_check_qt)
target_link_libraries(qm_flash_player PRIVATE qm_check_qt)

# The test courses' movies: ActionScript 1 from our writer, ActionScript 3 from Haxe, and
# a real third-party movie, ZeroClipboard.swf from the zeroclipboard npm package.
set(QM_CHECK_MOVIES_DIR ${CMAKE_BINARY_DIR}/check_movies)
set(QM_ZEROCLIPBOARD_MOVIE ${CMAKE_SOURCE_DIR}/node_modules/zeroclipboard/dist/ZeroClipboard.swf)
qm_written_movies(qm_check_as1_movie check_test_movies ${QM_CHECK_MOVIES_DIR} MOVIES check_as1
  COMMENT "Writing the course check's ActionScript 1 test movie")
qm_haxe_movie(${QM_CHECK_MOVIES_DIR}/check_as3.swf MAIN CheckAs3 HEADER 320:240:24:ffffff
  CLASS_PATH ${CMAKE_SOURCE_DIR}/tests/e2e/movies
  COMMENT "Compiling the course check's ActionScript 3 test movie")
add_custom_target(qm_check_movies ALL DEPENDS ${QM_CHECK_MOVIES_DIR}/check_as3.swf)
add_dependencies(qm_check_movies qm_check_as1_movie)

if(QM_TESTS)
  # The real program checking and tracing courses: the demo course, the test movies, and
  # ZeroClipboard. The check needs no display; the trace of a played course runs under
  # a virtual X server.
  add_executable(check_e2e_tests tests/e2e/check_e2e_test.cpp)
  target_include_directories(check_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(check_e2e_tests PRIVATE
    Qt6::Gui GTest::gtest GTest::gtest_main nlohmann_json::nlohmann_json)
  target_compile_definitions(check_e2e_tests PRIVATE
    QM_PROGRAM="$<TARGET_FILE:quillmere>"
    QM_STANDALONE_PLAYER="$<TARGET_FILE:qm_flash_player>"
    QM_COURSE_DIR="${QM_COURSE_DIR}"
    QM_CHECK_MOVIES_DIR="${QM_CHECK_MOVIES_DIR}"
    QM_ZEROCLIPBOARD_MOVIE="${QM_ZEROCLIPBOARD_MOVIE}")
  add_dependencies(check_e2e_tests quillmere qm_flash_player qm_check_movies qm_demo_course)
  qm_xvfb_test(check_e2e check_e2e_tests TIMEOUT 600 DATA_DIR)
endif()

if(QM_TESTS)
  # A recording traced from the clicks to the movie's "playrecordover" (needs a sound
  # server: scripts/sound_server.sh).
  find_package(X11 REQUIRED)
  add_executable(trace_record_e2e_tests tests/e2e/trace_record_e2e_test.cpp)
  target_include_directories(trace_record_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(trace_record_e2e_tests PRIVATE
    X11::X11 GTest::gtest GTest::gtest_main nlohmann_json::nlohmann_json)
  target_compile_definitions(trace_record_e2e_tests PRIVATE QM_COURSE_DIR="${QM_COURSE_DIR}")
  add_dependencies(trace_record_e2e_tests qm_demo_course quillmere)
  qm_xvfb_test(trace_record_e2e trace_record_e2e_tests TIMEOUT 300 DATA_DIR)
  set_tests_properties(trace_record_e2e PROPERTIES LABELS sound)
endif()
