# Scripted ports and the JSON-lines driver: the shell's logic without a desktop, on every
# platform's build (CMakeLists.txt and cmake/windows.cmake).
add_library(qm_headless STATIC
  src/headless/scripted_ports.cpp
  src/headless/driver.cpp
  src/headless/media_ports.cpp
)
target_link_libraries(qm_headless PUBLIC qm_core nlohmann_json::nlohmann_json)

add_executable(quillmere-headless src/headless/main.cpp)
target_link_libraries(quillmere-headless PRIVATE qm_headless)
