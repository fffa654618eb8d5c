// The movie's sound commands: playing a sound, and recording the learner's voice to
// compare it with the exercise's source sound. They run on the recorder (TForm2).
#pragma once

#include <string>

#include "bridge/command_table.h"

namespace qm {

class RecorderCommands;

class SoundCommands {
 public:
  // `app_dir` ends in a separator; the movie's paths are relative to it.
  explicit SoundCommands(std::string app_dir) : app_dir_(std::move(app_dir)) {}

  // "audio", "recording", "beginrecord", "stopandplayrecord", "playsrcsound" and
  // "closerecord".
  void Register(bridge::CommandTable& table);

  // The recorder; raises Exception while there is none.
  RecorderCommands& Recorder();

  // The recorder the commands run on, once it has been created.
  RecorderCommands* Form2 = nullptr;

 private:
  std::string app_dir_;
};

}  // namespace qm
