// The recorder on the emulated device and the real sound card, through the system's
// sound server (a PulseAudio null sink and its monitor under scripts/test.sh). The
// NoSoundDevice tests run in a process that can reach no sound server at all; the
// SoundServerLost tests in one with a server of their own that they stop and start.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "headless/media_ports.h"
#include "headless/scripted_ports.h"
#include "media/emulated_mci.h"
#include "media/recorder.h"
#include "media/wav_format.h"
#include "posix/std_file_system.h"
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

// Whether this process has used Qt's sound client (it stays with the first server).
bool sound_client_used = false;

// The recorder wired as the desktop wires it, with the movie's calls collected.
struct RealRecorder {
  RealRecorder() {
    sound_client_used = true;
    recorder.FormCreate();
  }

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

// The child of the test below: plays until the frames move while it records, stops both
// and ends the process at once.
int StopTheStreamsAndExit() {
  struct Silence : IAudioSource {
    bool pulled = false;
    std::size_t ReadFrames(std::int16_t* out, std::size_t frames) override {
      std::fill_n(out, frames * 2, std::int16_t{0});
      pulled = pulled || frames > 0;
      return frames;
    }
    bool Exhausted() const override { return false; }
    void Finished() override {}
    void Failed(const std::string&) override {}
  } silence;
  struct Discard : IAudioSink {
    void WriteFrames(const std::int16_t*, std::size_t) override {}
    void Failed(const std::string&) override {}
  } capture;
  QtAudioEndpoint audio;
  auto output = audio.StartOutput({22050, 2}, silence);
  auto input = audio.StartInput({22050, 2}, capture);
  if (!output || !input) return 2;
  if (!QtLoop::RunUntil([&] { return silence.pulled; }, 10000)) return 3;
  output.reset();
  input.reset();
  return 0;
}

// A process that ends right after its streams stopped ends cleanly (Qt's sound client
// tears its connection down at exit while the server is still answering the stops).
TEST(RealSound, TheProcessEndsCleanlyRightAfterItsStreamsStop) {
  if (!QtAudioEndpoint().HasOutput()) {
    if (SoundRequired()) FAIL() << "no sound server with an output";
    GTEST_SKIP() << "no sound server";
  }
  for (int run = 0; run < 20; ++run) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {"--stop-the-streams-and-exit"});
    ASSERT_TRUE(child.waitForFinished(30000)) << "run " << run << " did not end";
    ASSERT_EQ(child.exitStatus(), QProcess::NormalExit) << "run " << run << " crashed";
    ASSERT_EQ(child.exitCode(), 0) << "run " << run;
  }
}

// A sound server of the test's own (scripts/sound_server.sh in a folder of the test's),
// stopped and started again while the devices run.
class OwnServer {
 public:
  OwnServer() {
    const std::string out = Run("start");
    setenv("PULSE_SERVER", out.substr(0, out.find('\n')).c_str(), 1);
  }
  ~OwnServer() { Run("stop"); }
  bool Start() { return !Run("start").empty(); }
  void Stop() { Run("stop"); }

 private:
  std::string Run(const char* verb) {
    const std::string command = "QM_PULSE_DIR='" + folder_.Path().string() + "' bash '" +
                                QM_SOUND_SERVER_SCRIPT + "' " + verb + " 2>/dev/null";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[256];
      while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
      pclose(pipe);
    }
    return out;
  }
  TempDir folder_;
};

// A mono tone of whole seconds at 8000 Hz.
std::string Tone(int seconds) {
  std::string tone = WavHeader(1, 16, 8000, static_cast<std::uint32_t>(16000 * seconds));
  for (int i = 0; i < 8000 * seconds; ++i)
    tone += i % 16 < 8 ? std::string("\x00\x20", 2) : std::string("\x00\xe0", 2);
  return tone;
}

// Runs the loop until the card can be reached again (Qt's client connects again by
// itself every few seconds).
bool BackAgain(QtAudioEndpoint& audio) {
  return QtLoop::RunUntil(
      [&] {
        QtLoop::RunFor(100);
        return audio.Reachable();
      },
      30000);
}

const char kCannotReach[] =
    "The sound device cannot be reached: the sound system stopped. Sound works again as soon "
    "as it is back.";

// The server stops while a sound plays or the recorder records: the command ends as
// failed, every command while it is away fails with the device's text (or the
// recorder's box), and once it is back "audio" and "beginrecord" work again.
TEST(SoundServerLost, CommandsFailWhileItIsAwayAndWorkOnceItIsBack) {
  if (sound_client_used) {
    GTEST_SKIP() << "Qt's sound client is connected to another server in this process; run "
                    "SoundServerLost.* alone (ctest's qt_audio.sound_server_lost)";
  }
  OwnServer server;
  RealRecorder r;
  ASSERT_TRUE(r.audio.HasOutput() && r.audio.HasInput()) << "the test's server did not start";
  r.app.WriteFile("long.wav", Tone(30));
  r.app.WriteFile("short.wav", Tone(1));
  const std::string long_wav = r.app.Dir() + "long.wav";
  const std::string short_wav = r.app.Dir() + "short.wav";
  const auto notified = [&](std::uint32_t code) {
    return QtLoop::RunUntil([&] { return r.recorder.MediaPlayer1.LastNotifyResult() == code; },
                            30000);
  };
  const auto box_shown = [&] {
    const auto& entries = r.journal.Entries();
    return !entries.empty() && entries.back()["dialog"]["text"] == "媒体设备初始化失败！";
  };

  // "audio": the server stops mid-playback.
  r.recorder.PlayMediaFile(long_wav);
  QtLoop::RunFor(300);
  ASSERT_EQ(r.recorder.MediaPlayer1.QueryMode(), kMciModePlay);
  server.Stop();
  ASSERT_TRUE(notified(kMciNotifyFailure)) << "the playback did not end";
  EXPECT_EQ(r.recorder.MediaPlayer1.QueryMode(), kMciModeStop);

  // While it is away.
  try {
    r.recorder.PlayMediaFile(short_wav);
    ADD_FAILURE() << "a sound opened without a sound server";
  } catch (const EMCIDeviceError& e) {
    EXPECT_STREQ(e.what(), kCannotReach);
  }
  r.recorder.BeginRecord();
  EXPECT_TRUE(box_shown());

  // Back: "audio" plays to its end.
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(BackAgain(r.audio));
  r.recorder.PlayMediaFile(short_wav);
  EXPECT_TRUE(notified(kMciNotifySuccessful)) << "no playback after the server came back";

  // "beginrecord": the server stops mid-recording; what was captured is kept.
  const std::size_t boxes = r.journal.Entries().size();
  r.recorder.BeginRecord();
  ASSERT_EQ(r.journal.Entries().size(), boxes) << "the recorder failed to start";
  ASSERT_TRUE(QtLoop::RunUntil([&] { return r.recorder.MediaPlayer1.QueryLength() > 0; }, 30000));
  server.Stop();
  ASSERT_TRUE(
      QtLoop::RunUntil([&] { return r.recorder.MediaPlayer1.QueryMode() == kMciModeStop; }, 30000))
      << "the recording did not end";
  EXPECT_GT(r.recorder.MediaPlayer1.QueryLength(), 0u);
  // Saved; played back it fails to start (not reported, as every refused play).
  r.recorder.StopAndPlayRecord();
  EXPECT_EQ(r.recorder.MediaPlayer1.LastError(), kMciErrHardware);
  EXPECT_GT(r.app.ReadFile("Temp.wav").size(), 44u);

  // Back: "beginrecord" records again, and the recording plays back to its end.
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(BackAgain(r.audio));
  r.recorder.BeginRecord();
  EXPECT_EQ(r.journal.Entries().size(), boxes) << "the recorder failed after the server came back";
  ASSERT_TRUE(
      QtLoop::RunUntil([&] { return r.recorder.MediaPlayer1.QueryLength() > 1000; }, 30000));
  r.recorder.StopAndPlayRecord();
  EXPECT_EQ(r.recorder.MediaPlayer1.LastError(), 0u);
  EXPECT_TRUE(notified(kMciNotifySuccessful)) << "the recording did not play back";
  r.recorder.CloseRecord();
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
  if (argc > 1 && std::string(argv[1]) == "--stop-the-streams-and-exit")
    return qm::testing::StopTheStreamsAndExit();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
