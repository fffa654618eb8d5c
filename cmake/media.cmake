# The sound card on Qt Multimedia, its tests against the system's sound server and the
# recorder's latency benchmark. Included at the end of the top-level CMakeLists.txt.
if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()

find_package(Qt6 REQUIRED COMPONENTS Core Multimedia)

add_library(qm_qt_audio STATIC src/qt/qt_audio_endpoint.cpp)
target_link_libraries(qm_qt_audio PUBLIC qm_core Qt6::Core Qt6::Multimedia)

if(QM_TESTS)
  add_executable(qm_qt_audio_tests tests/qt/qt_audio_test.cpp)
  target_link_libraries(qm_qt_audio_tests PRIVATE qm_qt_audio qm_test_support GTest::gtest)
  target_compile_definitions(qm_qt_audio_tests PRIVATE
    QM_SOUND_SERVER_SCRIPT="${CMAKE_SOURCE_DIR}/scripts/sound_server.sh")
  # Real sound: the server that scripts/test.sh starts (PULSE_SERVER comes from there).
  add_test(NAME qt_audio.real_sound COMMAND qm_qt_audio_tests --gtest_filter=RealSound.*)
  # Tests labelled "sound" use a PulseAudio server (scripts/test.sh gives them a second
  # try, and counts it).
  set_tests_properties(qt_audio.real_sound PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120 RUN_SERIAL TRUE LABELS sound)
  # A server of the test's own, stopped and started again mid-playback and mid-recording.
  add_test(NAME qt_audio.sound_server_lost
    COMMAND qm_qt_audio_tests --gtest_filter=SoundServerLost.*)
  set_tests_properties(qt_audio.sound_server_lost PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 240 LABELS sound)
  # No sound server at all.
  add_test(NAME qt_audio.no_sound_device COMMAND qm_qt_audio_tests --gtest_filter=NoSoundDevice.*)
  set_tests_properties(qt_audio.no_sound_device PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PULSE_SERVER=unix:/nonexistent/qm-no-sound-server"
    TIMEOUT 60)
endif()

if(QM_BENCH)
  add_executable(bench_recorder_latency bench/recorder_latency_bench.cpp)
  target_link_libraries(bench_recorder_latency PRIVATE qm_qt_audio qm_test_support)
endif()
