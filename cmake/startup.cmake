# Start-up and idle figures of the Flash control: the movies they use and the benchmark.
# Included from the top-level CMakeLists.txt, after cmake/flash.cmake.
if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()

# Which of Ruffle's two wasm modules it loads when the browser has the WebAssembly
# extensions, and which otherwise, as the page reads it to start compiling the module
# before Ruffle asks for it. Read from the pinned ruffle.js; when the pattern is not
# found the page simply does not start early.
file(READ ${QM_RUFFLE_SOURCE}/ruffle.js QM_RUFFLE_JS)
set(QM_RUFFLE_WASM_EXTENDED "")
set(QM_RUFFLE_WASM_PLAIN "")
string(REGEX MATCH "[?]new URL[(]a[(]([0-9]+)[)],a[.]b[)]:new URL[(]a[(]([0-9]+)[)],a[.]b[)]"
       QM_RUFFLE_CHOICE "${QM_RUFFLE_JS}")
if(QM_RUFFLE_CHOICE)
  set(QM_EXTENDED_ID ${CMAKE_MATCH_1})
  set(QM_PLAIN_ID ${CMAKE_MATCH_2})
  string(REGEX MATCH "[^0-9]${QM_EXTENDED_ID}[(]e,n,a[)][{]e[.]exports=a[.]p[+]\"([0-9a-f]+[.]wasm)\""
         QM_FOUND "${QM_RUFFLE_JS}")
  set(QM_RUFFLE_WASM_EXTENDED "${CMAKE_MATCH_1}")
  string(REGEX MATCH "[^0-9]${QM_PLAIN_ID}[(]e,n,a[)][{]e[.]exports=a[.]p[+]\"([0-9a-f]+[.]wasm)\""
         QM_FOUND "${QM_RUFFLE_JS}")
  set(QM_RUFFLE_WASM_PLAIN "${CMAKE_MATCH_1}")
endif()
if(QM_RUFFLE_WASM_EXTENDED STREQUAL "" OR QM_RUFFLE_WASM_PLAIN STREQUAL "")
  message(WARNING "Ruffle's wasm modules not found in ruffle.js: no early compilation")
  set(QM_RUFFLE_WASM_EXTENDED "")
  set(QM_RUFFLE_WASM_PLAIN "")
endif()
file(CONFIGURE OUTPUT ${QM_RUFFLE_DIR}/qm-wasm.js CONTENT
  "window.qmRuffleWasm = { extended: \"${QM_RUFFLE_WASM_EXTENDED}\", plain: \"${QM_RUFFLE_WASM_PLAIN}\" };\n")

# A still screen and a moving shape, from the Haxe compiler.
set(QM_BENCH_MOVIES_DIR ${CMAKE_BINARY_DIR}/bench_movies)
set(QM_BENCH_MOVIE_SOURCE ${CMAKE_SOURCE_DIR}/bench/movies)
qm_haxe_movie(${QM_BENCH_MOVIES_DIR}/still.swf MAIN StillMovie HEADER 1024:652:24:ffffff
  CLASS_PATH ${QM_BENCH_MOVIE_SOURCE} COMMENT "Compiling the start-up benchmark's still movie")
qm_haxe_movie(${QM_BENCH_MOVIES_DIR}/animated.swf MAIN AnimatedMovie HEADER 400:400:30:ffffff
  CLASS_PATH ${QM_BENCH_MOVIE_SOURCE} COMMENT "Compiling the start-up benchmark's moving movie")
qm_haxe_movie(${QM_BENCH_MOVIES_DIR}/busy.swf MAIN BusyMovie HEADER 400:200:24:ffffff
  CLASS_PATH ${QM_BENCH_MOVIE_SOURCE} COMMENT "Compiling the frame-pacing benchmark's busy movie")
qm_haxe_movie(${QM_BENCH_MOVIES_DIR}/cheap.swf MAIN BusyMovie HEADER 400:200:24:ffffff
  CLASS_PATH ${QM_BENCH_MOVIE_SOURCE} DEFINES cheap
  COMMENT "Compiling the frame-pacing benchmark's cheap movie")
add_custom_target(qm_bench_movies ALL
  DEPENDS ${QM_BENCH_MOVIES_DIR}/still.swf ${QM_BENCH_MOVIES_DIR}/animated.swf
          ${QM_BENCH_MOVIES_DIR}/busy.swf ${QM_BENCH_MOVIES_DIR}/cheap.swf)

# A movie that starts a sound by itself after a silent while (the audio output's rest);
# the movie embeds the spoken sentence, found through its class path.
find_program(QM_ESPEAK espeak-ng REQUIRED)
set(QM_SOUND_MOVIE_DIR ${CMAKE_BINARY_DIR}/sound_movie)
add_custom_command(
  OUTPUT ${QM_SOUND_MOVIE_DIR}/spoken.wav
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_SOUND_MOVIE_DIR}
  COMMAND ${QM_ESPEAK} -w ${QM_SOUND_MOVIE_DIR}/spoken.wav "This sentence starts by itself."
  COMMENT "Speaking the sound test movie's sentence"
  VERBATIM)
qm_haxe_movie(${QM_SOUND_MOVIE_DIR}/sound.swf MAIN SoundMovie HEADER 200:100:24:ffffff
  CLASS_PATH ${CMAKE_SOURCE_DIR}/tests/e2e/movies ${QM_SOUND_MOVIE_DIR}
  DEPENDS ${QM_SOUND_MOVIE_DIR}/spoken.wav
  COMMENT "Compiling the sound test movie")
add_custom_target(qm_sound_movie ALL DEPENDS ${QM_SOUND_MOVIE_DIR}/sound.swf)

if(QM_BENCH)
  add_executable(bench_startup bench/startup_bench.cpp)
  target_include_directories(bench_startup PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(bench_startup PRIVATE qm_flash)
  target_compile_definitions(bench_startup PRIVATE QM_BENCH_MOVIES_DIR="${QM_BENCH_MOVIES_DIR}")
  add_dependencies(bench_startup qm_bench_movies)

  # The frame rate a still movie keeps when its frames cost time, against one whose
  # frames cost nothing, in the same run.
  add_executable(bench_frame_pacing bench/frame_pacing_bench.cpp)
  target_include_directories(bench_frame_pacing PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(bench_frame_pacing PRIVATE qm_flash)
  target_compile_definitions(bench_frame_pacing PRIVATE QM_BENCH_MOVIES_DIR="${QM_BENCH_MOVIES_DIR}")
  add_dependencies(bench_frame_pacing qm_bench_movies)
endif()

if(QM_TESTS)
  add_executable(frame_pacing_e2e_tests tests/e2e/frame_pacing_e2e_test.cpp)
  target_include_directories(frame_pacing_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(frame_pacing_e2e_tests PRIVATE qm_web_engine_test_main qm_flash GTest::gtest)
  target_compile_definitions(frame_pacing_e2e_tests PRIVATE
    QM_BENCH_MOVIES_DIR="${QM_BENCH_MOVIES_DIR}" QM_SOUND_MOVIE="${QM_SOUND_MOVIE_DIR}/sound.swf")
  add_dependencies(frame_pacing_e2e_tests qm_bench_movies qm_sound_movie)
  qm_xvfb_test(frame_pacing_e2e frame_pacing_e2e_tests TIMEOUT 300)
endif()
