// The recorder on the emulated device and the real sound card, through the system's
// sound server (a PulseAudio null sink and its monitor under scripts/test.sh). The
// NoSoundDevice tests run in a process that can reach no sound server at all.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdlib>

#include "headless/media_ports.h"
#include "headless/scripted_ports.h"
#include "media/emulated_mci.h"
#include "media/recorder.h"
#include "media/wav_format.h"
#include "platform/std_file_system.h"
#include "qt/qt_audio_endpoint.h"
#include "qt/qt_loop.h"
#include "support/test_support.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm::testing {
namespace {

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

// The recorder wired as the desktop wires it, with the movie's calls collected.
struct RealRecorder {
  RealRecorder() { recorder.FormCreate(); }

  TempDir app;
  headless::Journal journal;
  QtLoop windows;
  headless::ScriptedDialogs dialogs{journal};
  StdFileSystem files{text::Ansi()};
  QtAudioEndpoint audio;
  EmulatedMediaControl mci{windows, audio, files,
                           [this](std::string_view p) { return files.Resolve(p).string(); }};
  headless::RecordingProfileWriter profile;
  ErrorBoundary boundary{dialogs, "Course"};
  std::vector<std::string> events;
  TForm2 recorder{{windows, dialogs, mci, profile, files},
                  app.Dir(),
                  boundary,
                  [this](const std::string& event, const std::string&) {
                    events.push_back(event);
                    return std::string();
                  }};
};

bool SoundRequired() {
  const char* required = std::getenv("QM_REQUIRE_SOUND");
  return required != nullptr && std::string(required) == "1";
}

TEST(RealSound, RecordTwoSecondsAndPlayThemBackFrom750) {
  RealRecorder r;
  if (!r.audio.HasInput() || !r.audio.HasOutput()) {
    if (SoundRequired()) FAIL() << "no sound server with an input and an output";
    GTEST_SKIP() << "no sound server; scripts/test.sh starts one";
  }
  r.recorder.SourceSoundPath = r.app.Dir() + "source.mp3";
  r.recorder.BeginRecord();
  ASSERT_TRUE(r.dialogs.PendingAnswers() == 0 && r.journal.Entries().empty())
      << r.journal.Entries().front().dump();
  QtLoop::RunFor(2000);
  EXPECT_EQ(r.events, std::vector<std::string>{"canspeak"});
  const std::uint32_t recorded_ms = r.recorder.MediaPlayer1.QueryLength();

  r.recorder.StopAndPlayRecord();
  const std::string wav = r.app.ReadFile("Temp.wav");
  ASSERT_GE(wav.size(), 44u);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(wav.substr(20, 16), WavHeader(2, 16, 22050, 0).substr(20, 16));
  EXPECT_EQ(wav.substr(36, 4), "data");
  const std::uint32_t data_bytes = Le32(wav, 40);
  EXPECT_EQ(wav.size(), 44u + data_bytes);
  EXPECT_EQ(Le32(wav, 4), 36u + data_bytes);
  EXPECT_EQ(data_bytes % 4, 0u);
  // The data is what the device recorded. (How much the server delivers in two seconds
  // is its own affair: a new record stream may first get a backlog of its source.)
  EXPECT_EQ(static_cast<std::uint64_t>(data_bytes / 4) * 1000 / 22050, recorded_ms);
  EXPECT_GT(recorded_ms, 750u);
  // The server's input is a tone: what was captured is not silence.
  EXPECT_NE(wav.find_first_not_of('\0', 44), std::string::npos);

  // Played from 750 ms to the end; the end arrives as a successful notification.
  EXPECT_EQ(r.recorder.MediaPlayer1.LastError(), 0u);
  EXPECT_EQ(r.recorder.MediaPlayer1.QueryMode(), kMciModePlay);
  ASSERT_TRUE(QtLoop::RunUntil([&] { return r.events.size() == 2; }, 15000))
      << "the playback did not end";
  EXPECT_EQ(r.events.back(), "playrecordover");
  EXPECT_EQ(r.recorder.MediaPlayer1.LastNotifyResult(), kMciNotifySuccessful);
  EXPECT_EQ(r.recorder.MediaPlayer1.QueryMode(), kMciModeStop);
  r.recorder.CloseRecord();
}

TEST(RealSound, AStoppedPlaybackIsAbortedNotSuccessful) {
  RealRecorder r;
  if (!r.audio.HasOutput()) {
    if (SoundRequired()) FAIL() << "no sound server with an output";
    GTEST_SKIP() << "no sound server";
  }
  std::string tone = WavHeader(1, 16, 8000, 16000);
  for (int i = 0; i < 8000; ++i)
    tone += i % 16 < 8 ? std::string("\x00\x20", 2) : std::string("\x00\xe0", 2);
  r.app.WriteFile("tone.wav", tone);
  r.recorder.PlayMediaFile(r.app.Dir() + "tone.wav");
  QtLoop::RunFor(200);
  r.recorder.CloseRecord();
  QtLoop::RunFor(100);
  EXPECT_EQ(r.recorder.MediaPlayer1.LastNotifyResult(), kMciNotifyAborted);
}

TEST(NoSoundDevice, OpeningFailsWithAClearTextAndTheRecorderShowsItsBox) {
  RealRecorder r;
  ASSERT_FALSE(r.audio.HasOutput());
  ASSERT_FALSE(r.audio.HasInput());
  r.recorder.BeginRecord();
  ASSERT_EQ(r.journal.Entries().size(), 1u);
  EXPECT_EQ(r.journal.Entries()[0]["dialog"]["text"], "媒体设备初始化失败！");
  EXPECT_FALSE(r.recorder.Timer1->Enabled());
  r.app.WriteFile("a.wav", WavHeader(1, 16, 8000, 0));
  try {
    r.recorder.PlayMediaFile(r.app.Dir() + "a.wav");
    FAIL() << "no error";
  } catch (const EMCIDeviceError& e) {
    EXPECT_STREQ(e.what(),
                 "No sound device is installed on this system: sound cannot be played or "
                 "recorded.");
  }
}

}  // namespace
}  // namespace qm::testing

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  qm::text::SetAnsiCodePage("UTF-8");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
