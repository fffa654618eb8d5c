// TForm2 against a device that records its commands: the command sequences of every
// operation, the countdown to "canspeak", "playrecordover", and the failure box.
#include "media/recorder.h"

#include <gtest/gtest.h>

#include "headless/media_ports.h"
#include "media/emulated_mci.h"
#include "media/virtual_audio_endpoint.h"
#include "media/wav_format.h"
#include "support/fake_media_control.h"
#include "support/test_support.h"

namespace qm::testing {
namespace {

using Sent = std::vector<std::string>;

class RecorderTest : public ::testing::Test {
 protected:
  RecorderTest() {
    recorder.FormCreate();
    h.journal.Clear();
  }

  std::string App() const { return h.app.Dir(); }
  std::string Temp() const { return h.app.Dir() + "Temp.wav"; }
  // The events the movie was told, in order.
  std::vector<std::string> MovieEvents() const {
    std::vector<std::string> events;
    for (const auto& call : h.Entries("movie_call")) {
      const std::string text = call.get<std::string>();
      const std::size_t start = text.find("<string>") + 8;
      events.push_back(text.substr(start, text.find("</string>") - start));
    }
    return events;
  }
  // A device open on `path` (id 1), playing, with the record of it cleared.
  void Playing(const std::string& path) {
    recorder.PlayMediaFile(path);
    mci.mode = kMciModePlay;
    mci.sent.clear();
  }

  ShellHarness h;
  FakeMediaControl mci{h.windows};
  headless::RecordingProfileWriter profile;
  TForm2 recorder{{h.windows, h.dialogs, mci, profile, h.files},
                  h.form->AppDir(),
                  h.form->Boundary(),
                  [this](const std::string& event, const std::string& data) {
                    return h.form->NotifyMovie(event, data);
                  }};
};

TEST_F(RecorderTest, CreationSetsTheFormUpAndWritesTheExtensionMappings) {
  EXPECT_TRUE(recorder.SourceSoundPath.empty());
  EXPECT_EQ(recorder.PlaybackSkipMs, 750);
  EXPECT_EQ(recorder.Timer1->Interval(), 750);
  EXPECT_FALSE(recorder.Timer1->Enabled());
  EXPECT_EQ(profile.writes.size(), 7u);
  EXPECT_EQ(recorder.Caption, "录音回放对比");
  EXPECT_EQ(recorder.ssd.Items, (std::vector<std::string>{"单声道", "立体声"}));
  EXPECT_EQ(recorder.syz.Items, (std::vector<std::string>{"8位", "16位"}));
  EXPECT_EQ(recorder.spl.Items,
            (std::vector<std::string>{"广播11025赫兹", "正常22050赫兹", "精密44100赫兹"}));
  EXPECT_EQ(recorder.ssd.ItemIndex, 1);
  EXPECT_EQ(recorder.syz.ItemIndex, 1);
  EXPECT_EQ(recorder.spl.ItemIndex, 1);
  EXPECT_TRUE(mci.sent.empty());
}

TEST_F(RecorderTest, CreatewavWritesTheHeaderByteForByte) {
  recorder.Createwav(2, 16, 22050, App() + "a.wav");
  const std::string expected(
      "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x22\x56\0\0\x88\x58\x01\0\x04\0\x10\0"
      "data\0\0\0\0",
      44);
  EXPECT_EQ(h.app.ReadFile("a.wav"), expected);

  // Mono, 8 bits, 11025 Hz over an existing longer file.
  h.app.WriteFile("b.wav", std::string(1000, 'x'));
  recorder.Createwav(1, 8, 11025, App() + "b.wav");
  const std::string b = h.app.ReadFile("b.wav");
  ASSERT_EQ(b.size(), 44u);
  EXPECT_EQ(b.substr(22, 14), std::string("\x01\0\x11\x2b\0\0\x11\x2b\0\0\x01\0\x08\0", 14));

  h.files.write_error = EInOutError::kAccessDenied;
  EXPECT_THROW(recorder.Createwav(2, 16, 22050, App() + "c.wav"), EInOutError);
}

TEST_F(RecorderTest, ANewFileClosesTheOldDeviceOpensAndPlaysFromTheStart) {
  recorder.PlayMediaFile(App() + "a.mp3");
  // No device was open: the stop raised before anything was sent.
  EXPECT_EQ(mci.Commands(), Sent({"open(0) wait|element " + App() + "a.mp3", "play(1) notify"}));
  mci.sent.clear();
  recorder.PlayMediaFile(App() + "b.mp3");
  EXPECT_EQ(mci.Commands(), Sent({"stop(1) wait", "close(1) wait",
                                  "open(0) wait|element " + App() + "b.mp3", "play(2) notify"}));
}

TEST_F(RecorderTest, TheLoadedFileAgainPausesPlaysOnOrStartsOver) {
  const std::string a = App() + "a.mp3";
  Playing(a);
  recorder.PlayMediaFile(a);  // playing: pause
  EXPECT_EQ(mci.sent,
            Sent({"status(1) wait|item mode", "status(1) wait|item mode", "pause(1) wait"}));

  mci.sent.clear();
  mci.mode = kMciModePause;
  mci.position = 300;
  recorder.PlayMediaFile(a);  // paused: play on, no start position
  EXPECT_EQ(mci.sent,
            Sent({"status(1) wait|item mode", "status(1) wait|item mode",
                  "status(1) wait|item position", "status(1) wait|item length", "play(1) notify"}));

  mci.sent.clear();
  mci.mode = kMciModeStop;  // played to its end: close, open again, play
  recorder.PlayMediaFile(a);
  EXPECT_EQ(mci.Commands(),
            Sent({"stop(1) wait", "close(1) wait", "open(0) wait|element " + a, "play(2) notify"}));

  // The same name in other letters is another file.
  mci.sent.clear();
  mci.mode = kMciModePlay;
  recorder.PlayMediaFile(App() + "A.MP3");
  EXPECT_EQ(mci.Commands(), Sent({"stop(2) wait", "close(2) wait",
                                  "open(0) wait|element " + App() + "A.MP3", "play(3) notify"}));
}

TEST_F(RecorderTest, AFailedOpenRaisesWithTheDeviceTextAndLeavesNoDeviceOpen) {
  Playing(App() + "a.mp3");
  mci.results[kMciOpen] = {kMciErrFileNotFound};
  mci.error_texts[kMciErrFileNotFound] = "gone";
  try {
    recorder.PlayMediaFile(App() + "missing.mp3");
    FAIL() << "no error";
  } catch (const EMCIDeviceError& e) {
    EXPECT_STREQ(e.what(), "gone");
  }
  EXPECT_EQ(recorder.MediaPlayer1.FileName, App() + "missing.mp3");
  EXPECT_FALSE(recorder.MediaPlayer1.IsOpen());
  EXPECT_TRUE(mci.open_devices.empty());
}

TEST_F(RecorderTest, BeginRecordWritesTheHeaderOpensTempWavRecordsAndCountsDown) {
  Playing(App() + "a.mp3");
  recorder.BeginRecord();
  EXPECT_EQ(mci.Commands(), Sent({"stop(1) wait", "close(1) wait", "open(0) wait|element " + Temp(),
                                  "record(2) notify"}));
  const std::string header = h.app.ReadFile("Temp.wav");
  ASSERT_EQ(header.size(), 44u);
  EXPECT_EQ(header.substr(22, 2), std::string("\x02\0", 2));        // channels
  EXPECT_EQ(header.substr(24, 4), std::string("\x22\x56\0\0", 4));  // 22050
  EXPECT_EQ(header.substr(34, 2), std::string("\x10\0", 2));        // 16 bits
  EXPECT_TRUE(recorder.Timer1->Enabled());

  h.windows.Advance(749);
  EXPECT_TRUE(MovieEvents().empty());
  h.windows.Advance(1);
  EXPECT_EQ(MovieEvents(), std::vector<std::string>{"canspeak"});
  EXPECT_FALSE(recorder.Timer1->Enabled());
  h.windows.Advance(5000);
  EXPECT_EQ(MovieEvents().size(), 1u);
}

TEST_F(RecorderTest, TheChoiceGroupsFixTheRecordingFormat) {
  recorder.ssd.ItemIndex = 0;
  recorder.syz.ItemIndex = 0;
  recorder.spl.ItemIndex = 2;
  recorder.BeginRecord();
  std::string header = h.app.ReadFile("Temp.wav");
  EXPECT_EQ(header.substr(22, 14), std::string("\x01\0\x44\xac\0\0\x44\xac\0\0\x01\0\x08\0", 14));
  // Any other item number: 2 channels, 16 bits, 11025 Hz.
  recorder.ssd.ItemIndex = 5;
  recorder.syz.ItemIndex = -1;
  recorder.spl.ItemIndex = 0;
  recorder.BeginRecord();
  header = h.app.ReadFile("Temp.wav");
  EXPECT_EQ(header.substr(22, 14), std::string("\x02\0\x11\x2b\0\0\x44\xac\0\0\x04\0\x10\0", 14));
}

TEST_F(RecorderTest, ASecondBeginRecordRestartsTheRecordingButNotTheCountdown) {
  recorder.BeginRecord();
  h.windows.Advance(500);
  mci.sent.clear();
  recorder.BeginRecord();
  EXPECT_EQ(mci.Commands(), Sent({"stop(1) wait", "close(1) wait", "open(0) wait|element " + Temp(),
                                  "record(2) notify"}));
  h.windows.Advance(250);
  EXPECT_EQ(MovieEvents(), std::vector<std::string>{"canspeak"});
  h.windows.Advance(1000);
  EXPECT_EQ(MovieEvents().size(), 1u);
}

TEST_F(RecorderTest, AFailedBeginRecordShowsTheBoxAndStartsNoCountdown) {
  mci.results[kMciOpen] = {kMciErrDeviceNotInstalled};
  recorder.BeginRecord();
  const auto dialogs = h.Entries("dialog");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["type"], "system");
  EXPECT_EQ(dialogs[0]["text"], "媒体设备初始化失败！");
  EXPECT_EQ(dialogs[0]["caption"], "错误");
  EXPECT_EQ(dialogs[0]["flags"], 16);
  EXPECT_FALSE(recorder.Timer1->Enabled());
  EXPECT_EQ(mci.Commands().back(), "open(0) wait|element " + Temp());

  // A header that cannot be written: the same box, and the device is not opened.
  mci.sent.clear();
  h.files.write_error = EInOutError::kAccessDenied;
  recorder.BeginRecord();
  EXPECT_EQ(h.Entries("dialog").size(), 2u);
  EXPECT_TRUE(mci.sent.empty());
  h.windows.Advance(2000);
  EXPECT_TRUE(MovieEvents().empty());
}

TEST_F(RecorderTest, ACountdownAlreadyRunningSurvivesAFailedBeginRecord) {
  recorder.BeginRecord();
  h.windows.Advance(300);
  mci.results[kMciOpen] = {kMciErrHardware};
  recorder.BeginRecord();
  EXPECT_EQ(h.Entries("dialog").size(), 1u);
  h.windows.Advance(450);
  EXPECT_EQ(MovieEvents(), std::vector<std::string>{"canspeak"});
}

TEST_F(RecorderTest, ARefusedRecordIsNotReportedAndCanspeakStillFollows) {
  mci.results[kMciRecord] = {kMciErrWaveInputsUnsuitable};
  recorder.BeginRecord();
  EXPECT_TRUE(h.Entries("dialog").empty());
  h.windows.Advance(750);
  EXPECT_EQ(MovieEvents(), std::vector<std::string>{"canspeak"});
}

TEST_F(RecorderTest, StopAndPlayRecordStopsSavesAndPlaysFrom750) {
  recorder.BeginRecord();
  mci.sent.clear();
  recorder.StopAndPlayRecord();
  EXPECT_EQ(mci.sent,
            Sent({"stop(1) wait", "save(1) wait|file " + Temp(), "play(1) notify|from 750"}));

  // Before "canspeak": the countdown goes on regardless.
  h.windows.Advance(750);
  EXPECT_EQ(MovieEvents(), std::vector<std::string>{"canspeak"});

  // Another file loaded: stopped, saved under its own name and played from 750 ms.
  Playing(App() + "a.mp3");
  recorder.StopAndPlayRecord();
  EXPECT_EQ(mci.sent, Sent({"stop(2) wait", "save(2) wait|file " + App() + "a.mp3",
                            "play(2) notify|from 750"}));
}

TEST_F(RecorderTest, StopAndPlayRecordWithoutDeviceDoesNothing) {
  recorder.StopAndPlayRecord();
  EXPECT_TRUE(mci.sent.empty());
  recorder.CloseRecord();
  EXPECT_TRUE(mci.sent.empty());
}

TEST_F(RecorderTest, CloseRecordDropsTheRecordingAndLeavesTheCountdownRunning) {
  recorder.BeginRecord();
  mci.sent.clear();
  recorder.CloseRecord();
  EXPECT_EQ(mci.sent, Sent({"stop(1) wait", "close(1) wait"}));
  EXPECT_TRUE(recorder.Timer1->Enabled());
  recorder.FormHide();  // nothing open any more
  EXPECT_EQ(mci.sent.size(), 2u);
  h.windows.Advance(750);
  EXPECT_EQ(MovieEvents(), std::vector<std::string>{"canspeak"});
}

TEST_F(RecorderTest, PlayrecordoverNeedsSuccessASourceSoundAndTheRecording) {
  recorder.SourceSoundPath = App() + "src.mp3";
  recorder.BeginRecord();
  h.windows.Advance(750);
  recorder.StopAndPlayRecord();
  mci.Notify(kMciNotifyAborted);
  h.windows.ProcessMessages();
  EXPECT_EQ(MovieEvents(), std::vector<std::string>{"canspeak"});
  mci.Notify(kMciNotifySuccessful);
  h.windows.ProcessMessages();
  EXPECT_EQ(MovieEvents(), (std::vector<std::string>{"canspeak", "playrecordover"}));

  // Without a source sound ("audio" cleared it): nothing.
  recorder.SourceSoundPath.clear();
  mci.Notify(kMciNotifySuccessful);
  h.windows.ProcessMessages();
  EXPECT_EQ(MovieEvents().size(), 2u);

  // Another file loaded: nothing.
  recorder.SourceSoundPath = App() + "src.mp3";
  recorder.PlaySourceSound();
  EXPECT_EQ(recorder.MediaPlayer1.FileName, App() + "src.mp3");
  mci.Notify(kMciNotifySuccessful);
  h.windows.ProcessMessages();
  EXPECT_EQ(MovieEvents().size(), 2u);
}

TEST_F(RecorderTest, AMovieThatRefusesTheCallGetsTheGeneralErrorReport) {
  h.flash1.movie_function = [](const std::u16string&) -> std::u16string {
    throw EFlashControlError("Error calling method on NPObject");
  };
  recorder.BeginRecord();
  h.windows.Advance(750);
  EXPECT_EQ(h.Entries("error_report").size(), 1u);
  EXPECT_FALSE(recorder.Timer1->Enabled());
}

}  // namespace
}  // namespace qm::testing

namespace qm::testing {
namespace {

// The recorder on the emulated device and the virtual sound card: what the movie hears
// and what lands on disk.
class RecorderOnVirtualCardTest : public ::testing::Test {
 protected:
  RecorderOnVirtualCardTest() {
    recorder.FormCreate();
    h.journal.Clear();
  }
  std::vector<std::string> MovieEvents() const {
    std::vector<std::string> events;
    for (const auto& call : h.Entries("movie_call")) {
      const std::string text = call.get<std::string>();
      const std::size_t start = text.find("<string>") + 8;
      events.push_back(text.substr(start, text.find("</string>") - start));
    }
    return events;
  }

  ShellHarness h;
  VirtualAudioEndpoint audio{h.windows};
  EmulatedMediaControl mci{h.windows, audio, h.files,
                           [this](std::string_view p) { return h.real_files->NativePath(p); }};
  headless::RecordingProfileWriter profile;
  TForm2 recorder{{h.windows, h.dialogs, mci, profile, h.files},
                  h.form->AppDir(),
                  h.form->Boundary(),
                  [this](const std::string& event, const std::string& data) {
                    return h.form->NotifyMovie(event, data);
                  }};
};

TEST_F(RecorderOnVirtualCardTest, ARecordingExchangeLeavesAValidTempWav) {
  recorder.SourceSoundPath = h.form->AppDir() + "audio/source.mp3";  // "recording"
  recorder.BeginRecord();
  h.windows.Advance(750);
  EXPECT_EQ(MovieEvents(), std::vector<std::string>{"canspeak"});
  h.windows.Advance(1250);
  recorder.StopAndPlayRecord();

  const std::string wav = h.app.ReadFile("Temp.wav");
  const std::uint32_t data_bytes = 2 * 88200;  // two seconds at 88200 bytes per second
  ASSERT_EQ(wav.size(), 44u + data_bytes);
  EXPECT_EQ(wav.substr(0, 44), WavHeader(2, 16, 22050, data_bytes));

  // The playback starts at frame 16537 (750 ms) and ends with the tick after the
  // remaining 27563 frames (just over 1250 ms).
  h.windows.Advance(1250);
  EXPECT_EQ(MovieEvents().size(), 1u);
  h.windows.Advance(10);
  EXPECT_EQ(MovieEvents(), (std::vector<std::string>{"canspeak", "playrecordover"}));
  EXPECT_EQ(audio.FramesPlayed(), 44100u - 16537u);
  EXPECT_TRUE(h.Entries("dialog").empty());
}

TEST_F(RecorderOnVirtualCardTest, AStoppedPlaybackSendsNoPlayrecordover) {
  recorder.SourceSoundPath = h.form->AppDir() + "src.mp3";
  recorder.BeginRecord();
  h.windows.Advance(2000);
  recorder.StopAndPlayRecord();
  h.windows.Advance(500);
  recorder.CloseRecord();
  h.windows.Advance(2000);
  EXPECT_EQ(MovieEvents(), std::vector<std::string>{"canspeak"});

  // A recording too short to play from 750 ms: refused silently, nothing follows.
  recorder.BeginRecord();
  h.windows.Advance(500);
  recorder.StopAndPlayRecord();
  h.windows.Advance(2000);
  EXPECT_EQ(recorder.MediaPlayer1.LastError(), kMciErrOutOfRange);
  EXPECT_EQ(MovieEvents(), (std::vector<std::string>{"canspeak", "canspeak"}));
}

TEST_F(RecorderOnVirtualCardTest, WithoutSoundDeviceBeginRecordShowsTheBox) {
  audio.output_present = false;
  audio.input_present = false;
  recorder.BeginRecord();
  const auto dialogs = h.Entries("dialog");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["text"], "媒体设备初始化失败！");
  h.windows.Advance(1000);
  EXPECT_TRUE(MovieEvents().empty());

  // Playing a file says why.
  h.app.WriteFile("a.wav", WavHeader(1, 16, 8000, 0));
  try {
    recorder.PlayMediaFile(h.form->AppDir() + "a.wav");
    FAIL() << "no error";
  } catch (const EMCIDeviceError& e) {
    EXPECT_STREQ(e.what(),
                 "No sound device is installed on this system: sound cannot be played or "
                 "recorded.");
  }
}

TEST_F(RecorderOnVirtualCardTest, SourceSoundPausesPlaysOnAndStartsOverAfterItsEnd) {
  std::string tone = WavHeader(1, 16, 8000, 16000);
  tone.append(16000, '\x10');  // one second
  h.app.WriteFile("src.wav", tone);

  // Before any "recording" the path is empty.
  EXPECT_THROW(recorder.PlaySourceSound(), EMCIDeviceError);

  recorder.SourceSoundPath = h.form->AppDir() + "src.wav";
  recorder.PlaySourceSound();
  h.windows.Advance(400);
  recorder.PlaySourceSound();  // pause
  EXPECT_EQ(recorder.MediaPlayer1.QueryMode(), kMciModePause);
  h.windows.Advance(1000);
  recorder.PlaySourceSound();  // on from 400 ms
  h.windows.Advance(600);
  EXPECT_EQ(recorder.MediaPlayer1.QueryMode(), kMciModeStop);
  EXPECT_EQ(audio.FramesPlayed(), 8000u);
  recorder.PlaySourceSound();  // from the start again
  EXPECT_EQ(recorder.MediaPlayer1.QueryMode(), kMciModePlay);
  EXPECT_EQ(recorder.MediaPlayer1.QueryPosition(), 0u);
  EXPECT_TRUE(MovieEvents().empty());
}

}  // namespace
}  // namespace qm::testing
