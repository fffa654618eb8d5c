# The desktop program on a course under conditions of its own: a read-only course folder
# (an end-to-end test) and a long day of calls and sounds without pause (a benchmark).
# Included from the top-level CMakeLists.txt, after cmake/desktop.cmake.

# Their ActionScript 1 course movies (our own SWF writer).
set(QM_COURSE_RUN_MOVIES_DIR ${CMAKE_BINARY_DIR}/course_runs)
qm_written_movies(qm_course_run_movies course_run_movies ${QM_COURSE_RUN_MOVIES_DIR}
  MOVIES read_only long_day
  COMMENT "Writing the course movies of the read-only test and the long-day benchmark")

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
  qm_xvfb_test(read_only_course_e2e read_only_course_e2e_tests TIMEOUT 300 DATA_DIR)
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
