// TForm2: the recorder. Plays sound files for the movie, records the learner's voice
// into "Temp.wav" in the program folder and plays the recording back for comparison.
// Created once at start-up and never shown; the movie drives it through FSCommand.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "media/media_player.h"
#include "media/recorder_commands.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/media_control.h"
#include "platform/profile_writer.h"
#include "platform/window_system.h"

namespace qm {

class ErrorBoundary;

// The platform the recorder runs on.
struct RecorderPorts {
  IWindowSystem& windows;
  IDialogs& dialogs;
  IMediaControl& media;
  IProfileWriter& profile;
  IFileSystem& files;
};

// A group of choices on the form: a caption, its items and the current selection.
struct TRadioGroup {
  std::string Caption;             // ANSI
  std::vector<std::string> Items;  // ANSI
  int ItemIndex = -1;
};

class TForm2 : public RecorderCommands {
 public:
  // A call into the movie with an event name and its data (TForm1::NotifyMovie).
  using MovieNotifier =
      std::function<std::string(const std::string& event, const std::string& data)>;

  // `app_dir` ends in a separator. Errors of the timer and of the device's notifications
  // go to `boundary`, the application's error report. FormCreate runs separately.
  TForm2(const RecorderPorts& ports, std::string app_dir, ErrorBoundary& boundary,
         MovieNotifier notify_movie);
  TForm2(const TForm2&) = delete;
  TForm2& operator=(const TForm2&) = delete;

  // Operations the movie's commands use.
  void PlayMediaFile(const std::string& path) override;
  void CloseRecord() noexcept override;
  void BeginRecord() override;
  void StopAndPlayRecord() noexcept override;
  void PlaySourceSound() override;

  // Writes the header of an empty PCM WAV file; file errors raise EInOutError.
  void Createwav(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate,
                 const std::string& fileName);

  // Handlers.
  void FormCreate();
  void FormHide() { CloseRecord(); }
  void BtstartClick() { BeginRecord(); }
  void BtstopClick() { StopAndPlayRecord(); }
  void playsrcbtnClick() { PlaySourceSound(); }
  void Timer1Timer();
  void MediaPlayer1Notify(TMediaPlayer& sender);

  // The path of the recording: AppDir + "Temp.wav".
  std::string RecordingPath() const { return app_dir_ + "Temp.wav"; }

  std::string Caption;
  std::int32_t PlaybackSkipMs = 750;
  TRadioGroup ssd;  // channels
  TRadioGroup syz;  // bits per sample
  TRadioGroup spl;  // samples per second
  std::string BtstartCaption;
  std::string BtstopCaption;
  std::string playsrcbtnCaption;
  bool BtstopVisible = false;

  // Owned components.
  TMediaPlayer MediaPlayer1;
  std::unique_ptr<ITimer> Timer1;

 private:
  RecorderPorts ports_;
  std::string app_dir_;
  ErrorBoundary& boundary_;
  MovieNotifier notify_movie_;
};

}  // namespace qm
