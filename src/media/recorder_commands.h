// What the movie's commands ask of the recorder. TForm2 is the recorder; the main
// window reaches it only through these operations.
#pragma once

#include <string>

namespace qm {

class RecorderCommands {
 public:
  virtual ~RecorderCommands() = default;
  // Plays a file, or pauses and resumes it when it is the loaded file. Errors of the open
  // reach the caller.
  virtual void PlayMediaFile(const std::string& path) = 0;
  // Stops and closes the device; never raises.
  virtual void CloseRecord() noexcept = 0;
  // Starts a recording into "Temp.wav"; reports its own failure.
  virtual void BeginRecord() = 0;
  // Stops, saves and plays the recording from 750 ms; never raises.
  virtual void StopAndPlayRecord() noexcept = 0;
  // PlayMediaFile(SourceSoundPath).
  virtual void PlaySourceSound() = 0;

  // Full path of the current exercise's source sound; the movie's commands write it.
  std::string SourceSoundPath;
};

}  // namespace qm
