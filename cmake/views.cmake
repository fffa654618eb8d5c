# The folder tree and file list of the resource dialogs on Qt Widgets, their tests on
# temporary folders and the picker's list benchmark. Included from the top-level
# CMakeLists.txt.
if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Test)

add_library(qm_qt_views STATIC
  src/qt/qt_shell_views.h
  src/qt/qt_shell_view_parts.cpp
  src/qt/qt_folder_tree.cpp
  src/qt/qt_file_list.cpp
)
set_target_properties(qm_qt_views PROPERTIES AUTOMOC ON)
target_link_libraries(qm_qt_views PUBLIC qm_core Qt6::Widgets)

if(QM_TESTS)
  add_executable(qm_qt_views_tests tests/qt/shell_views_test.cpp)
  target_link_libraries(qm_qt_views_tests PRIVATE qm_qt_views qm_test_support Qt6::Test GTest::gtest)
  gtest_discover_tests(qm_qt_views_tests DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)
endif()

if(QM_BENCH)
  add_executable(bench_picker_list bench/picker_list_bench.cpp)
  target_link_libraries(bench_picker_list PRIVATE qm_qt_views qm_test_support)
endif()
