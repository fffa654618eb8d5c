# The demo course: its movies (Haxe), its sounds (espeak-ng), its documents and resource
# library, the standalone player "FlashPlayer.exe", all assembled in the course folder
# ${CMAKE_BINARY_DIR}/course/ beside the shell. Included from the top-level CMakeLists.txt.
if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()

set(QM_COURSE_DIR ${CMAKE_BINARY_DIR}/course)

# The standalone player: plays the movie its parameter names, in a window of its own.

# It lies where it is installed (lib/quillmere/FlashPlayer), and the demo course carries
# a copy as its "FlashPlayer.exe".
add_executable(qm_flash_player src/qt/standalone_player.cpp)
target_link_libraries(qm_flash_player PRIVATE qm_player qm_flash)
set_target_properties(qm_flash_player PROPERTIES
  OUTPUT_NAME FlashPlayer RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/quillmere)
target_compile_definitions(qm_flash_player PRIVATE QM_VERSION="${PROJECT_VERSION}")
add_custom_command(TARGET qm_flash_player POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_COURSE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:qm_flash_player> ${QM_COURSE_DIR}/FlashPlayer.exe
  VERBATIM)

# --- The course's movies: ActionScript 3 from the Haxe compiler -------------------------
# Their text is drawn with fonts embedded from Debian's font packages (found through the
# class path), so that it looks the same whatever fonts the player has.
set(QM_FONT_ROOT /usr/share/fonts/truetype)
foreach(font dejavu/DejaVuSans.ttf dejavu/DejaVuSans-Bold.ttf droid/DroidSansFallbackFull.ttf)
  if(NOT EXISTS ${QM_FONT_ROOT}/${font})
    message(FATAL_ERROR "The font ${QM_FONT_ROOT}/${font} is missing: run scripts/setup.sh")
  endif()
endforeach()
set(QM_DEMO_SOURCE ${CMAKE_SOURCE_DIR}/demo)
qm_haxe_movie(${QM_COURSE_DIR}/main.swf MAIN Main HEADER 1024:652:24:eef3f8
  CLASS_PATH ${QM_DEMO_SOURCE}/movies ${QM_FONT_ROOT}
  COMMENT "Compiling the demo course's movie Main")
qm_haxe_movie(${QM_COURSE_DIR}/lesson1/intro.swf MAIN Lesson HEADER 640:400:24:bfe3f7
  CLASS_PATH ${QM_DEMO_SOURCE}/movies ${QM_FONT_ROOT}
  COMMENT "Compiling the demo course's movie Lesson")

# --- The course's sounds, spoken by espeak-ng --------------------------------------------
find_program(QM_ESPEAK espeak-ng REQUIRED)
set(QM_DEMO_SOUNDS)
function(qm_demo_sound output words)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${QM_ESPEAK} -v en-us -s 140 -w ${output} ${words}
    COMMENT "Speaking ${output}"
    VERBATIM)
  set(QM_DEMO_SOUNDS ${QM_DEMO_SOUNDS} ${output} PARENT_SCOPE)
endfunction()
qm_demo_sound(${QM_COURSE_DIR}/lesson1/sounds/s1.wav "Hello! My name is Lily.")
qm_demo_sound(${QM_COURSE_DIR}/lesson1/sounds/s2.wav "Nice to meet you.")
qm_demo_sound(${QM_COURSE_DIR}/lesson1/sounds/s3.wav "How are you today?")
qm_demo_sound(${QM_COURSE_DIR}/lesson1/sounds/s4.wav "I'm fine, thank you.")
qm_demo_sound(${QM_COURSE_DIR}/resources/Listening/greetings_dialogue.wav
  "Hello! My name is Lily. Hi, Lily! I'm Tom. Nice to meet you, Tom. Nice to meet you, too. How are you today? I'm fine, thank you.")
qm_demo_sound(${QM_COURSE_DIR}/lesson1/resource/Sounds/good_morning.wav
  "Good morning! Good afternoon! Good evening! Goodbye!")

# --- Documents and resources, copied as they are; version.swf from the movie writer -----
file(GLOB_RECURSE QM_DEMO_FILES CONFIGURE_DEPENDS RELATIVE ${QM_DEMO_SOURCE}/course
  ${QM_DEMO_SOURCE}/course/*)
set(QM_DEMO_COPIES)
foreach(file ${QM_DEMO_FILES})
  add_custom_command(
    OUTPUT ${QM_COURSE_DIR}/${file}
    COMMAND ${CMAKE_COMMAND} -E copy ${QM_DEMO_SOURCE}/course/${file} ${QM_COURSE_DIR}/${file}
    DEPENDS ${QM_DEMO_SOURCE}/course/${file}
    VERBATIM)
  list(APPEND QM_DEMO_COPIES ${QM_COURSE_DIR}/${file})
endforeach()
add_custom_command(
  OUTPUT ${QM_COURSE_DIR}/version.swf
  COMMAND ${CMAKE_COMMAND} -E copy ${QM_MOVIES_DIR}/version.swf ${QM_COURSE_DIR}/version.swf
  DEPENDS ${QM_MOVIES_DIR}/version.swf
  VERBATIM)

add_custom_target(qm_demo_course ALL
  DEPENDS ${QM_COURSE_DIR}/main.swf ${QM_COURSE_DIR}/lesson1/intro.swf ${QM_DEMO_SOUNDS}
          ${QM_DEMO_COPIES} ${QM_COURSE_DIR}/version.swf)
add_dependencies(qm_demo_course qm_flash_player qm_avm1_movies)

if(QM_TESTS)
  add_executable(demo_tests tests/demo/demo_course_test.cpp)
  target_link_libraries(demo_tests PRIVATE qm_player qm_swf GTest::gtest GTest::gtest_main)
  target_compile_definitions(demo_tests PRIVATE
    QM_COURSE_DIR="${QM_COURSE_DIR}" QM_DEMO_SOURCE="${QM_DEMO_SOURCE}")
  add_dependencies(demo_tests qm_demo_course)
  gtest_discover_tests(demo_tests DISCOVERY_TIMEOUT 60)

  # The standalone player and the whole course on a virtual X server (xdotool clicks).
  find_package(X11 REQUIRED)
  add_executable(standalone_player_tests tests/demo/standalone_player_test.cpp)
  target_include_directories(standalone_player_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(standalone_player_tests PRIVATE X11::X11 GTest::gtest GTest::gtest_main)
  target_compile_definitions(standalone_player_tests PRIVATE QM_COURSE_DIR="${QM_COURSE_DIR}")
  add_dependencies(standalone_player_tests qm_demo_course)
  qm_xvfb_test(standalone_player standalone_player_tests TIMEOUT 180)

  # The shell "quillmere" (cmake/desktop.cmake) is built into the course folder too.
  add_executable(demo_course_e2e_tests tests/demo/demo_course_e2e_test.cpp)
  target_include_directories(demo_course_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(demo_course_e2e_tests PRIVATE qm_core X11::X11 GTest::gtest GTest::gtest_main)
  target_compile_definitions(demo_course_e2e_tests PRIVATE QM_COURSE_DIR="${QM_COURSE_DIR}")
  add_dependencies(demo_course_e2e_tests qm_demo_course quillmere)
  qm_xvfb_test(demo_course_e2e demo_course_e2e_tests TIMEOUT 300 DATA_DIR)
endif()
