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
  add_executable(qm_qt_resources_tests tests/qt/resource_windows_test.cpp)
  target_link_libraries(qm_qt_resources_tests PRIVATE
    qm_qt_resources qm_qt_dialogs qm_qt_open_dialog qm_test_support Qt6::Test GTest::gtest)
  # Screenshots of both windows go into the build folder.
  target_compile_definitions(qm_qt_resources_tests PRIVATE
    QM_ARTEFACTS_DIR="${CMAKE_BINARY_DIR}/artefacts")
  gtest_discover_tests(qm_qt_resources_tests DISCOVERY_TIMEOUT 60 TEST_PREFIX "qt_resources."
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)

  # End to end under a virtual X server: a movie asks for the picker and hears the file
  # the user chose.
  qm_haxe_movie(${QM_MOVIES_DIR}/resource_pick.swf MAIN ResourcePick HEADER 400:200:30:ffffff
    CLASS_PATH ${CMAKE_SOURCE_DIR}/tests/e2e/movies
    COMMENT "Compiling the resource picker's test movie")
  add_custom_target(qm_resource_pick_movie DEPENDS ${QM_MOVIES_DIR}/resource_pick.swf)
  add_executable(resource_pick_e2e_tests tests/e2e/resource_pick_e2e_test.cpp)
  target_include_directories(resource_pick_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(resource_pick_e2e_tests PRIVATE qm_web_engine_test_main
    qm_qt_resources qm_qt_open_dialog qm_flash qm_headless Qt6::Test GTest::gtest)
  target_compile_definitions(resource_pick_e2e_tests PRIVATE QM_MOVIES_DIR="${QM_MOVIES_DIR}")
  add_dependencies(resource_pick_e2e_tests qm_avm1_movies qm_resource_pick_movie)
  qm_xvfb_test(resource_pick_e2e resource_pick_e2e_tests TIMEOUT 300)

  # A course over the learner's layer: the movie's own loads in another letter case and
  # of the learner's own file.
  qm_haxe_movie(${QM_MOVIES_DIR}/case_loads.swf MAIN CaseLoads HEADER 320:240:24:ffffff
    CLASS_PATH ${CMAKE_SOURCE_DIR}/tests/e2e/movies
    COMMENT "Compiling the course paths' test movie")
  add_custom_target(qm_case_loads_movie DEPENDS ${QM_MOVIES_DIR}/case_loads.swf)
  add_executable(course_layer_e2e_tests tests/e2e/course_layer_e2e_test.cpp)
  target_include_directories(course_layer_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(course_layer_e2e_tests PRIVATE qm_web_engine_test_main qm_flash
    GTest::gtest)
  target_compile_definitions(course_layer_e2e_tests PRIVATE QM_MOVIES_DIR="${QM_MOVIES_DIR}")
  add_dependencies(course_layer_e2e_tests qm_avm1_movies qm_case_loads_movie)
  qm_xvfb_test(course_layer_e2e course_layer_e2e_tests TIMEOUT 300)
endif()
