# The desktop program on a course under conditions of its own: a read-only course folder
# (an end-to-end test) and a long day of calls and sounds without pause (a benchmark).
# Included from the top-level CMakeLists.txt, after cmake/desktop.cmake.

# Their ActionScript 1 course movies (our own SWF writer).
add_executable(course_run_movies tools/course_run_movies.cpp)
target_link_libraries(course_run_movies PRIVATE qm_swf)
set(QM_COURSE_RUN_MOVIES_DIR ${CMAKE_BINARY_DIR}/course_runs)
add_custom_command(
  OUTPUT ${QM_COURSE_RUN_MOVIES_DIR}/read_only.swf ${QM_COURSE_RUN_MOVIES_DIR}/long_day.swf
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_COURSE_RUN_MOVIES_DIR}
  COMMAND course_run_movies ${QM_COURSE_RUN_MOVIES_DIR}
  DEPENDS course_run_movies
  COMMENT "Writing the course movies of the read-only test and the long-day benchmark")
add_custom_target(qm_course_run_movies
  DEPENDS ${QM_COURSE_RUN_MOVIES_DIR}/read_only.swf ${QM_COURSE_RUN_MOVIES_DIR}/long_day.swf)

if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()

if(QM_TESTS)
  # The real program on a read-only copy of a course, under a virtual X server.
  add_executable(read_only_course_e2e_tests tests/e2e/read_only_course_e2e_test.cpp)
  target_link_libraries(read_only_course_e2e_tests PRIVATE
    GTest::gtest GTest::gtest_main nlohmann_json::nlohmann_json)
  target_include_directories(read_only_course_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(read_only_course_e2e_tests PRIVATE
    QM_PROGRAM="$<TARGET_FILE:quillmere>"
    QM_SHELL_MOVIES_DIR="${QM_SHELL_MOVIES_DIR}"
    QM_COURSE_RUN_MOVIES_DIR="${QM_COURSE_RUN_MOVIES_DIR}"
    QM_MOVIES_DIR="${QM_MOVIES_DIR}")
  add_dependencies(read_only_course_e2e_tests quillmere qm_course_run_movies qm_avm1_movies)
  add_test(NAME read_only_course_e2e
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:read_only_course_e2e_tests>)
  set_tests_properties(read_only_course_e2e PROPERTIES
    ENVIRONMENT "QTWEBENGINE_DISABLE_SANDBOX=1;QM_DATA_DIR=${QM_DATA_BUILD_DIR}" TIMEOUT 300)
endif()

if(QM_BENCH)
  # The program through a long day: PSS and call rate after warm-up and at the end.
  add_executable(bench_long_day bench/long_day_bench.cpp)
  target_link_libraries(bench_long_day PRIVATE PkgConfig::SNDFILE)
  target_compile_definitions(bench_long_day PRIVATE
    QM_PROGRAM="$<TARGET_FILE:quillmere>"
    QM_COURSE_RUN_MOVIES_DIR="${QM_COURSE_RUN_MOVIES_DIR}"
    QM_MOVIES_DIR="${QM_MOVIES_DIR}")
  add_dependencies(bench_long_day quillmere qm_course_run_movies qm_avm1_movies)
endif()
