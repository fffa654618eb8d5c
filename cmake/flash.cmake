# The Flash control on Ruffle (Qt WebEngine), its test movies and its end-to-end tests.
# Included from the top-level CMakeLists.txt.

# The SWF writer: ActionScript 1 movies, and the hooks the Flash control adds to them.
find_package(ZLIB REQUIRED)
add_library(qm_swf STATIC src/swf/avm1.cpp)
target_include_directories(qm_swf PUBLIC src)
target_link_libraries(qm_swf PUBLIC ZLIB::ZLIB)

# Movies written by our own writer: version.swf and the ActionScript 1 test movie.
set(QM_MOVIES_DIR ${CMAKE_BINARY_DIR}/movies)
qm_written_movies(qm_avm1_movies avm1_movies ${QM_MOVIES_DIR} MOVIES version bridge_as1 ALL
  COMMENT "Writing the ActionScript 1 movies")

if(QM_TESTS)
  add_executable(swf_tests tests/swf/avm1_test.cpp)
  target_link_libraries(swf_tests PRIVATE qm_swf GTest::gtest GTest::gtest_main)
  gtest_discover_tests(swf_tests DISCOVERY_TIMEOUT 60)
endif()

if(NOT QM_QT OR QM_SANITIZE OR QM_FUZZ)
  return()
endif()

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets Quick WebEngineCore WebEngineWidgets)
find_library(QM_XCB_LIBRARY xcb REQUIRED)

# The program's data folder in the build tree, laid out as when installed
# (share/quillmere: ruffle/, fonts/): the programs find it relative to their own folder.
set(QM_DATA_BUILD_DIR ${CMAKE_BINARY_DIR}/share/quillmere)

# Ruffle, installed from npm by scripts/setup.sh, is served from the data folder.
set(QM_RUFFLE_SOURCE ${CMAKE_SOURCE_DIR}/node_modules/@ruffle-rs/ruffle)
if(NOT EXISTS ${QM_RUFFLE_SOURCE}/ruffle.js)
  message(FATAL_ERROR "Ruffle is missing from node_modules: run scripts/setup.sh")
endif()
set(QM_RUFFLE_DIR ${QM_DATA_BUILD_DIR}/ruffle)
file(GLOB QM_RUFFLE_SCRIPTS ${QM_RUFFLE_SOURCE}/*.js)
file(GLOB QM_RUFFLE_MODULES ${QM_RUFFLE_SOURCE}/*.wasm)
# Its wasm modules lose their function names: the web engine keeps a module's bytes
# while it runs, and the names are 2 MB of Ruffle's 14 MB.
add_executable(wasm_strip_names tools/wasm_strip_names.cpp)
# What the build puts in the data folder, for installing.
set(QM_RUFFLE_FILES ${QM_RUFFLE_SCRIPTS} ${QM_RUFFLE_MODULES})
list(TRANSFORM QM_RUFFLE_FILES REPLACE "^.*/" "${QM_RUFFLE_DIR}/")
set(QM_RUFFLE_STRIP)
foreach(module IN LISTS QM_RUFFLE_MODULES)
  get_filename_component(name ${module} NAME)
  list(APPEND QM_RUFFLE_STRIP COMMAND wasm_strip_names ${module} ${QM_RUFFLE_DIR}/${name})
endforeach()
add_custom_command(
  OUTPUT ${QM_RUFFLE_DIR}/ruffle.js
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_RUFFLE_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${QM_RUFFLE_SCRIPTS} ${QM_RUFFLE_DIR}
  ${QM_RUFFLE_STRIP}
  DEPENDS ${QM_RUFFLE_SCRIPTS} ${QM_RUFFLE_MODULES} wasm_strip_names
  COMMENT "Copying the Ruffle player into the build")
add_custom_target(qm_ruffle ALL DEPENDS ${QM_RUFFLE_DIR}/ruffle.js)

# The font Ruffle draws device text with: WenQuanYi Micro Hei (Debian's
# fonts-wqy-microhei) has Latin and CJK letters in one font; Ruffle does not fall back
# from one font to another for missing letters. Debian ships it as a collection, which
# Ruffle cannot read, so the build takes its first font out into a file of its own.
set(QM_DEVICE_FONT_SOURCE /usr/share/fonts/truetype/wqy/wqy-microhei.ttc)
if(NOT EXISTS ${QM_DEVICE_FONT_SOURCE})
  message(FATAL_ERROR "The device font is missing (${QM_DEVICE_FONT_SOURCE}): run scripts/setup.sh")
endif()
add_executable(ttc_extract tools/ttc_extract.cpp)
set(QM_CJK_FONT ${QM_DATA_BUILD_DIR}/fonts/device.ttf)
add_custom_command(
  OUTPUT ${QM_CJK_FONT}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QM_DATA_BUILD_DIR}/fonts
  COMMAND ttc_extract ${QM_DEVICE_FONT_SOURCE} ${QM_CJK_FONT}
  DEPENDS ttc_extract ${QM_DEVICE_FONT_SOURCE}
  COMMENT "Extracting the device font")
add_custom_target(qm_device_font ALL DEPENDS ${QM_CJK_FONT})

# The executable of the web engine's own processes, beside the standalone player
# (lib/quillmere), where the hosts look for it from the data folder. Its definitions of
# the C library's waits and local-time functions come before the C library's own.
add_executable(qm_web_engine_process src/qt/web_engine_process_main.cpp src/qt/web_engine_process.cpp)
target_include_directories(qm_web_engine_process PRIVATE src)
target_link_libraries(qm_web_engine_process PRIVATE Qt6::Core Qt6::WebEngineCore ${CMAKE_DL_LIBS})
target_link_options(qm_web_engine_process PRIVATE
  "LINKER:--export-dynamic-symbol=epoll_wait,--export-dynamic-symbol=poll"
  "LINKER:--export-dynamic-symbol=localtime,--export-dynamic-symbol=localtime64"
  "LINKER:--export-dynamic-symbol=localtime_r,--export-dynamic-symbol=localtime64_r")
set_target_properties(qm_web_engine_process PROPERTIES
  OUTPUT_NAME QuillmereWebEngineProcess RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/quillmere)

# What the players read of a movie file before they play it.
add_library(qm_player STATIC src/player/movie_file.cpp)
target_link_libraries(qm_player PUBLIC qm_core ZLIB::ZLIB)

add_library(qm_flash STATIC
  src/qt/flash_scheme.cpp
  src/qt/flash_widget.cpp
  src/qt/software_gl.cpp
  src/qt/web_engine_host.cpp
)
set_target_properties(qm_flash PROPERTIES AUTOMOC ON)
add_dependencies(qm_flash qm_device_font)
# The player page, in the program's resources with the scripts it loads: those its
# <script> tags name in its own folder (Ruffle's come from the data folder).
set(QM_PAGE ${CMAKE_SOURCE_DIR}/src/qt/web/player.html)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QM_PAGE})
file(STRINGS ${QM_PAGE} QM_PAGE_SCRIPTS REGEX "^<script src=\"[a-z_]+[.]js\"></script>$")
list(TRANSFORM QM_PAGE_SCRIPTS REPLACE "^<script src=\"([a-z_]+[.]js)\"></script>$"
     "${CMAKE_SOURCE_DIR}/src/qt/web/\\1")
qt_add_resources(qm_flash qm_flash_web
  PREFIX /qm/web
  BASE src/qt/web
  FILES ${QM_PAGE} ${QM_PAGE_SCRIPTS})
target_link_libraries(qm_flash PUBLIC qm_core qm_swf qm_player Qt6::Widgets Qt6::Quick
  Qt6::WebEngineWidgets PRIVATE ${QM_XCB_LIBRARY})
add_dependencies(qm_flash qm_ruffle qm_web_engine_process)

# ActionScript 3 test movies from the Haxe compiler.
qm_haxe_movie(${QM_MOVIES_DIR}/bridge_as3.swf MAIN BridgeTest HEADER 400:200:30:ffffff
  CLASS_PATH ${CMAKE_SOURCE_DIR}/tests/e2e/movies
  COMMENT "Compiling the ActionScript 3 test movie")
add_custom_target(qm_haxe_movies ALL DEPENDS ${QM_MOVIES_DIR}/bridge_as3.swf)

if(QM_TESTS)
  # The main function of the test programs that run Flash controls.
  add_library(qm_web_engine_test_main OBJECT tests/support/web_engine_test_main.cpp)
  target_link_libraries(qm_web_engine_test_main PUBLIC qm_flash GTest::gtest)

  add_executable(flash_e2e_tests tests/e2e/flash_e2e_test.cpp)
  target_include_directories(flash_e2e_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(flash_e2e_tests PRIVATE
    qm_web_engine_test_main qm_flash qm_headless GTest::gtest)
  target_compile_definitions(flash_e2e_tests PRIVATE QM_MOVIES_DIR="${QM_MOVIES_DIR}")
  add_dependencies(flash_e2e_tests qm_avm1_movies qm_haxe_movies)
  # One host process runs every check in order, under a virtual X server.
  qm_xvfb_test(flash_e2e flash_e2e_tests TIMEOUT 600)

  add_executable(qm_web_engine_host_tests tests/qt/software_gl_test.cpp
    tests/qt/web_engine_host_test.cpp)
  target_include_directories(qm_web_engine_host_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(qm_web_engine_host_tests PRIVATE qm_flash GTest::gtest GTest::gtest_main)
  gtest_discover_tests(qm_web_engine_host_tests DISCOVERY_TIMEOUT 60)
  # A program of its own: its waits give back memory, as the web engine's processes' do.
  add_executable(qm_web_engine_process_tests tests/qt/web_engine_process_test.cpp
    src/qt/web_engine_process.cpp)
  target_include_directories(qm_web_engine_process_tests PRIVATE src tests)
  target_link_libraries(qm_web_engine_process_tests PRIVATE GTest::gtest GTest::gtest_main
    ${CMAKE_DL_LIBS})
  gtest_discover_tests(qm_web_engine_process_tests DISCOVERY_TIMEOUT 60)

  # The page's ExternalInterface XML on Node.js (which installs Ruffle), without a browser.
  find_program(QM_NODE node REQUIRED)
  add_test(NAME page_external_interface_xml
    COMMAND ${QM_NODE} --test ${CMAKE_SOURCE_DIR}/tests/qt/web/external_interface_xml.test.js)
  set_tests_properties(page_external_interface_xml PROPERTIES TIMEOUT 60)
  add_test(NAME ruffle_modules_stripped
    COMMAND ${QM_NODE} --test ${CMAKE_SOURCE_DIR}/tests/qt/web/stripped_ruffle.test.js)
  set_tests_properties(ruffle_modules_stripped PROPERTIES TIMEOUT 120
    ENVIRONMENT QM_RUFFLE_DIR=${QM_RUFFLE_DIR})
  add_test(NAME page_short_strings
    COMMAND ${QM_NODE} --test ${CMAKE_SOURCE_DIR}/tests/qt/web/short_strings.test.js)
  set_tests_properties(page_short_strings PROPERTIES TIMEOUT 60)
endif()

if(QM_BENCH)
  add_executable(bench_flash bench/flash_bench.cpp)
  target_include_directories(bench_flash PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(bench_flash PRIVATE qm_flash qm_headless)
  target_compile_definitions(bench_flash PRIVATE QM_MOVIES_DIR="${QM_MOVIES_DIR}")
  add_dependencies(bench_flash qm_avm1_movies qm_haxe_movies)
endif()
