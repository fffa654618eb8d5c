# The embedded skin, the dialogs on Qt Widgets and their tests. Included from the
# top-level CMakeLists.txt.

# The stored skin: the files of skin/ packed and compressed by skin_pack into a source
# compiled into the program.
add_executable(skin_pack tools/skin_pack.cpp)
target_link_libraries(skin_pack PRIVATE qm_core)
set(QM_SKIN_FILES skin.ini button.xpm frame.xpm edit.xpm gauge.xpm)
list(TRANSFORM QM_SKIN_FILES PREPEND ${CMAKE_SOURCE_DIR}/skin/ OUTPUT_VARIABLE QM_SKIN_PATHS)
set(QM_SKIN_SOURCE ${CMAKE_BINARY_DIR}/generated/skin_data.cpp)
add_custom_command(
  OUTPUT ${QM_SKIN_SOURCE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND skin_pack ${QM_SKIN_SOURCE} ${CMAKE_SOURCE_DIR}/skin ${QM_SKIN_FILES}
  DEPENDS skin_pack ${QM_SKIN_PATHS}
  COMMENT "Packing the embedded skin")
add_library(qm_skin_data STATIC ${QM_SKIN_SOURCE})
target_link_libraries(qm_skin_data PUBLIC qm_core)
if(QM_TESTS)
  # The unit tests read the embedded skin too.
  target_link_libraries(qm_tests PRIVATE qm_skin_data)
endif()

if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Test)

add_library(qm_qt_dialogs STATIC src/qt/qt_skin.cpp src/qt/qt_dialogs.cpp)
set_target_properties(qm_qt_dialogs PROPERTIES AUTOMOC ON)
target_link_libraries(qm_qt_dialogs PUBLIC qm_core qm_skin_data Qt6::Widgets)

if(QM_TESTS)
  add_executable(qm_qt_dialogs_tests tests/qt/qt_dialogs_test.cpp)
  target_link_libraries(qm_qt_dialogs_tests PRIVATE qm_qt_dialogs Qt6::Test GTest::gtest)
  # The windows are real Qt widgets on the offscreen platform (the test sets it when the
  # environment does not).
  gtest_discover_tests(qm_qt_dialogs_tests TEST_PREFIX "qt_dialogs."
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120
    DISCOVERY_TIMEOUT 60)
endif()
