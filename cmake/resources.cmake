# The windows of the teaching-resource library on Qt Widgets: the resource manager and
# the resource picker, and their tests on the offscreen platform. Included from the
# top-level CMakeLists.txt.
if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Test)

add_library(qm_qt_resources STATIC src/qt/resource_windows.cpp src/qt/resource_windows.h)
set_target_properties(qm_qt_resources PROPERTIES AUTOMOC ON)
target_link_libraries(qm_qt_resources PUBLIC qm_core qm_qt_views qm_qt_shell Qt6::Widgets)

if(QM_TESTS)
  add_executable(qm_qt_resources_tests tests/qt/resource_windows_test.cpp
                 tests/support/test_support.cpp)
  target_include_directories(qm_qt_resources_tests PRIVATE tests)
  target_link_libraries(qm_qt_resources_tests PRIVATE
    qm_qt_resources qm_qt_dialogs qm_qt_open_dialog qm_headless Qt6::Test GTest::gtest)
  # Screenshots of both windows go into the build folder.
  target_compile_definitions(qm_qt_resources_tests PRIVATE
    QM_ARTEFACTS_DIR="${CMAKE_BINARY_DIR}/artefacts")
  gtest_discover_tests(qm_qt_resources_tests DISCOVERY_TIMEOUT 60 TEST_PREFIX "qt_resources."
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)

  # End to end under a virtual X server: a movie asks for the picker and hears the file
  # the user chose.
  add_custom_command(
    OUTPUT ${QM_MOVIES_DIR}/resource_pick.swf
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_MOVIES_DIR}
    COMMAND ${QM_HAXE} -cp ${CMAKE_SOURCE_DIR}/tests/e2e/movies -main ResourcePick
            -swf ${QM_MOVIES_DIR}/resource_pick.swf -swf-version 11.2 -swf-header 400:200:30:ffffff
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/movies/ResourcePick.hx
    COMMENT "Compiling the resource picker's test movie")
  add_custom_target(qm_resource_pick_movie DEPENDS ${QM_MOVIES_DIR}/resource_pick.swf)
  add_executable(resource_pick_e2e_tests tests/e2e/resource_pick_e2e_test.cpp
    tests/support/web_engine_test_main.cpp)
  target_include_directories(resource_pick_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(resource_pick_e2e_tests PRIVATE
    qm_qt_resources qm_qt_open_dialog qm_flash qm_headless Qt6::Test GTest::gtest)
  target_compile_definitions(resource_pick_e2e_tests PRIVATE QM_MOVIES_DIR="${QM_MOVIES_DIR}")
  add_dependencies(resource_pick_e2e_tests qm_avm1_movies qm_resource_pick_movie)
  add_test(NAME resource_pick_e2e
    COMMAND xvfb-run -a -s "-screen 0 1280x1024x24" $<TARGET_FILE:resource_pick_e2e_tests>)
  set_tests_properties(resource_pick_e2e PROPERTIES
    ENVIRONMENT "QTWEBENGINE_DISABLE_SANDBOX=1" TIMEOUT 300)
endif()

# The program creates both windows at start-up (after the recorder) and registers them
# with its window system. The program's target is defined later in the listing, so the
# link is made once the whole listing has been read.
function(qm_link_resource_windows)
  if(TARGET quillmere)
    target_link_libraries(quillmere PRIVATE qm_qt_resources qm_qt_open_dialog)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL qm_link_resource_windows)
