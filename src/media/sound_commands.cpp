#include "media/sound_commands.h"

#include "media/recorder_commands.h"
#include "platform/errors.h"

namespace qm {

RecorderCommands& SoundCommands::Recorder() {
  if (Form2 == nullptr) throw Exception("The recorder has not been created");
  return *Form2;
}

void SoundCommands::Register(bridge::CommandTable& table) {
  table.AddCommand("audio", [this](const std::string& argument) {
    Recorder().SourceSoundPath.clear();
    Recorder().PlayMediaFile(app_dir_ + argument);
  });
  table.AddCommand("recording", [this](const std::string& argument) {
    Recorder().SourceSoundPath = app_dir_ + argument;
  });
  table.AddCommand("beginrecord", [this](const std::string&) { Recorder().BeginRecord(); });
  table.AddCommand("stopandplayrecord",
                   [this](const std::string&) { Recorder().StopAndPlayRecord(); });
  table.AddCommand("playsrcsound", [this](const std::string&) { Recorder().PlaySourceSound(); });
  table.AddCommand("closerecord", [this](const std::string&) { Recorder().CloseRecord(); });
}

}  // namespace qm
