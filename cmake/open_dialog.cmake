# The file browser of the file-open dialog on Qt Widgets and its tests, which drive the
# window as a person would on temporary folders. Included from the top-level CMakeLists.txt.
if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets)

add_library(qm_qt_open_dialog STATIC src/qt/open_dialog_window.cpp)
target_link_libraries(qm_qt_open_dialog PUBLIC qm_core Qt6::Widgets)

if(QM_TESTS)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(qm_qt_open_dialog_tests tests/qt/open_dialog_window_test.cpp)
  target_link_libraries(qm_qt_open_dialog_tests PRIVATE
    qm_qt_open_dialog qm_test_support Qt6::Test GTest::gtest)
  add_test(NAME qt_open_dialog COMMAND qm_qt_open_dialog_tests)
  set_tests_properties(qt_open_dialog PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endif()
