# The portable core's sources, one list for every platform's build (CMakeLists.txt and
# cmake/windows.cmake): every rule of the system, no toolkit and no system calls.
set(QM_CORE_SOURCES
  src/text/codepage.cpp
  src/text/chars.cpp
  src/xml/xml_reader.cpp
  src/platform/errors.cpp
  src/platform/paths.cpp
  src/platform/host_paths.cpp
  src/platform/network.cpp
  src/ui/message_dialog.cpp
  src/ui/error_report.cpp
  src/app/main_form.cpp
  src/app/runtime_check.cpp
  src/app/course_folder.cpp
  src/app/player_failure.cpp
  src/app/program_stand_ins.cpp
  src/bridge/request.cpp
  src/bridge/command_table.cpp
  src/app/course_shell.cpp
  src/files/file_commands.cpp
  src/files/settings_store.cpp
  src/media/wav_format.cpp
  src/media/media_player.cpp
  src/media/recorder.cpp
  src/media/virtual_audio_endpoint.cpp
  src/media/sound_commands.cpp
  src/resources/resource_commands.cpp
  src/resources/document_launcher.cpp
  src/resources/resources.cpp
  src/resources/selectresource.cpp
  src/http/http_address.cpp
  src/http/http_client.cpp
  src/ui/input_dialog.cpp
  src/ui/progress_dialog.cpp
  src/ui/memo.cpp
  src/ui/open_dialog.cpp
  src/ui/skin.cpp
  src/ui/dialog_layout.cpp
  src/update/update_reply.cpp
  src/update/update_check.cpp
  src/resources/natural_order.cpp
)
# The update service's base address, built into the update check.
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/update/update_check.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "QM_UPDATE_SERVICE_URL=\"${QM_UPDATE_SERVICE_URL}\"")
