// The emulated media control interface on the virtual sound card: device selection,
// open errors, playing and recording in clock time, saving, and the notifications.
#include "media/emulated_mci.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>

#include "headless/media_ports.h"
#include "media/virtual_audio_endpoint.h"
#include "media/wav_format.h"
#include "posix/std_file_system.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

// Collects the notifications posted to it.
class NotifyLog : public IMciNotifyWindow {
 public:
  void OnMciNotify(std::uint32_t code, std::uint16_t device) override {
    codes.push_back(code);
    devices.push_back(device);
  }
  std::vector<std::uint32_t> codes;
  std::vector<std::uint16_t> devices;
};

// Writes `seconds` of a 440 Hz tone in the given format with libsndfile.
bool WriteSound(const std::string& path, int format, int rate, int channels, double seconds) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  const auto frames = static_cast<std::size_t>(seconds * rate);
  std::vector<short> samples(frames * static_cast<std::size_t>(channels));
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<short>(8000 * std::sin(static_cast<double>(i / channels) * 0.0627));
  }
  const sf_count_t written = sf_writef_short(file, samples.data(), static_cast<sf_count_t>(frames));
  sf_close(file);
  return written == static_cast<sf_count_t>(frames);
}

class EmulatedMciTest : public ::testing::Test {
 protected:
  EmulatedMciTest() { text::SetAnsiCodePage("UTF-8"); }

  std::string Path(const std::string& name) const { return dir.Dir() + name; }

  // Sends a command with the log as its callback.
  std::uint32_t Send(std::uint16_t device, std::uint32_t command, std::uint32_t flags,
                     MciParms parms = {}) {
    parms.dwCallback = log;
    last = parms;
    const std::uint32_t result = mci.SendCommand(device, command, flags, last);
    windows.ProcessMessages();
    return result;
  }
  std::uint16_t Open(const std::string& path) {
    MciParms parms;
    parms.lpstrElementName = path;
    EXPECT_EQ(Send(0, kMciOpen, kMciWait | kMciOpenElement, parms), 0u) << path;
    return last.wDeviceID;
  }
  std::uint32_t Status(std::uint16_t device, std::uint32_t item) {
    MciParms parms;
    parms.dwItem = item;
    EXPECT_EQ(Send(device, kMciStatus, kMciWait | kMciStatusItem, parms), 0u);
    return last.dwReturn;
  }
  std::uint32_t PlayFrom(std::uint16_t device, std::uint32_t from) {
    MciParms parms;
    parms.dwFrom = from;
    return Send(device, kMciPlay, kMciNotify | kMciFrom, parms);
  }
  std::uint32_t OpenError(const std::string& path) {
    MciParms parms;
    parms.lpstrElementName = path;
    return Send(0, kMciOpen, kMciWait | kMciOpenElement, parms);
  }
  std::uint32_t Save(std::uint16_t device, const std::string& path) {
    MciParms parms;
    parms.lpfilename = path;
    return Send(device, kMciSave, kMciWait | kMciSaveFile, parms);
  }

  TempDir dir;
  headless::Journal journal;
  headless::ManualWindowSystem windows{journal};
  VirtualAudioEndpoint audio{windows};
  StdFileSystem files{text::Ansi()};
  EmulatedMediaControl mci{windows, audio, files,
                           [this](std::string_view p) { return files.Resolve(p).string(); }};
  std::shared_ptr<NotifyLog> log = std::make_shared<NotifyLog>();
  MciParms last;
};

TEST(EmulatedMciDevices, TheExtensionChoosesTheDevice) {
  EXPECT_EQ(EmulatedMediaControl::DeviceTypeFor("/c/Temp.WAV"), "waveaudio");
  EXPECT_EQ(EmulatedMediaControl::DeviceTypeFor("audio\\Lesson1.Mp3"), "mpegvideo");
  for (const char* name :
       {"a.mpg", "a.dat", "a.mpv", "a.mpeg", "a.cjt", "a.avi", "a.ogg", "a.flac", "a.aiff"}) {
    EXPECT_EQ(EmulatedMediaControl::DeviceTypeFor(name), "mpegvideo") << name;
  }
  EXPECT_EQ(EmulatedMediaControl::DeviceTypeFor("a.txt"), "");
  EXPECT_EQ(EmulatedMediaControl::DeviceTypeFor("noext"), "");
  EXPECT_EQ(EmulatedMediaControl::DeviceTypeFor("dir.wav/file"), "");
}

TEST_F(EmulatedMciTest, OpenFailuresHaveCodesAndTexts) {
  EXPECT_EQ(OpenError(""), kMciErrFilenameRequired);
  EXPECT_EQ(mci.GetErrorString(kMciErrFilenameRequired), "A valid filename is required.");
  EXPECT_EQ(OpenError(Path("missing.wav")), kMciErrFileNotFound);
  EXPECT_EQ(mci.GetErrorString(kMciErrFileNotFound),
            "Cannot find the specified file. Make sure the path and filename are correct.");
  EXPECT_EQ(OpenError(Path("a.txt")), kMciErrExtensionNotFound);
  dir.WriteFile("noise.wav", "this is not a sound file at all");
  EXPECT_EQ(OpenError(Path("noise.wav")), kMciErrInvalidFile);
  std::filesystem::create_directory(dir.Path() / "folder.mp3");
  EXPECT_EQ(OpenError(Path("folder.mp3")), kMciErrInvalidFile);
  // A pipe would block the reader until someone writes to it: not opened at all.
  ASSERT_EQ(::mkfifo((dir.Path() / "pipe.wav").c_str(), 0600), 0);
  EXPECT_EQ(OpenError(Path("pipe.wav")), kMciErrInvalidFile);
  ASSERT_TRUE(mci.GetErrorString(kMciErrInvalidFile).has_value());
  EXPECT_FALSE(mci.GetErrorString(12345).has_value());
  EXPECT_TRUE(log->codes.empty());
}

TEST_F(EmulatedMciTest, WithoutAnySoundDeviceOpeningFailsWithAClearText) {
  ASSERT_TRUE(WriteSound(Path("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 2, 0.5));
  ASSERT_TRUE(WriteSound(Path("a.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 22050, 2, 0.5));
  audio.output_present = false;
  audio.input_present = false;
  EXPECT_EQ(OpenError(Path("a.wav")), kMciErrDeviceNotInstalled);
  EXPECT_EQ(mci.GetErrorString(kMciErrDeviceNotInstalled),
            "No sound device is installed on this system: sound cannot be played or recorded.");
  // A machine that can only record still opens WAV files, but plays nothing.
  audio.input_present = true;
  EXPECT_EQ(OpenError(Path("a.flac")), kMciErrDeviceNotInstalled);
  const std::uint16_t id = Open(Path("a.wav"));
  EXPECT_EQ(PlayFrom(id, 0), kMciErrWaveOutputsUnsuitable);
  EXPECT_EQ(Status(id, kMciStatusMode), kMciModeStop);
}

TEST_F(EmulatedMciTest, CoursePathsAreFoundInAnyCaseAndWithBackslashes) {
  std::filesystem::create_directory(dir.Path() / "audio");
  ASSERT_TRUE(
      WriteSound(Path("audio/lesson1.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 11025, 1, 0.2));
  const std::uint16_t id = Open(Path("Audio\\LESSON1.WAV"));
  EXPECT_EQ(Status(id, kMciStatusLength), 200u);
}

TEST_F(EmulatedMciTest, PlaybackRunsOnTheClockAndEndsWithASuccessfulNotification) {
  ASSERT_TRUE(WriteSound(Path("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 2, 1.0));
  const std::uint16_t id = Open(Path("a.wav"));
  EXPECT_EQ(Status(id, kMciStatusLength), 1000u);
  EXPECT_EQ(Status(id, kMciStatusMode), kMciModeStop);
  ASSERT_EQ(Send(id, kMciPlay, kMciNotify), 0u);
  EXPECT_EQ(Status(id, kMciStatusMode), kMciModePlay);
  windows.Advance(600);
  EXPECT_EQ(Status(id, kMciStatusPosition), 600u);
  windows.Advance(390);
  EXPECT_TRUE(log->codes.empty());
  windows.Advance(10);
  EXPECT_EQ(log->codes, std::vector<std::uint32_t>{kMciNotifySuccessful});
  EXPECT_EQ(log->devices, std::vector<std::uint16_t>{id});
  EXPECT_EQ(Status(id, kMciStatusMode), kMciModeStop);
  EXPECT_EQ(Status(id, kMciStatusPosition), 1000u);
  EXPECT_EQ(audio.FramesPlayed(), 22050u);

  // From a position: only the rest is played.
  // 5513 frames from frame 16537: a little over 250 ms, so the tick after.
  ASSERT_EQ(PlayFrom(id, 750), 0u);
  windows.Advance(250);
  EXPECT_EQ(log->codes.size(), 1u);
  windows.Advance(10);
  EXPECT_EQ(log->codes.size(), 2u);
  EXPECT_EQ(audio.FramesPlayed(), 22050u + (22050u - 16537u));
  // Past the end is refused, and nothing is reported.
  EXPECT_EQ(PlayFrom(id, 1001), kMciErrOutOfRange);
  windows.Advance(1000);
  EXPECT_EQ(log->codes.size(), 2u);
}

TEST_F(EmulatedMciTest, PauseAbortsResumeGoesOnFromThePausedPosition) {
  ASSERT_TRUE(WriteSound(Path("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 2, 1.0));
  const std::uint16_t id = Open(Path("a.wav"));
  Send(id, kMciPlay, kMciNotify);
  windows.Advance(300);
  EXPECT_EQ(Send(id, kMciPause, kMciWait), 0u);
  EXPECT_EQ(log->codes, std::vector<std::uint32_t>{kMciNotifyAborted});
  EXPECT_EQ(Status(id, kMciStatusMode), kMciModePause);
  windows.Advance(500);
  EXPECT_EQ(Status(id, kMciStatusPosition), 300u);
  EXPECT_EQ(Send(id, kMciResume, kMciNotify), 0u);
  EXPECT_EQ(Status(id, kMciStatusMode), kMciModePlay);
  windows.Advance(700);
  EXPECT_EQ(log->codes, (std::vector<std::uint32_t>{kMciNotifyAborted, kMciNotifySuccessful}));
  EXPECT_EQ(audio.FramesPlayed(), 22050u);
  // A stopped device does not resume.
  EXPECT_EQ(Send(id, kMciResume, kMciNotify), kMciErrNonapplicableFunction);
}

TEST_F(EmulatedMciTest, InterruptedPlaysAreSupersededOrAborted) {
  ASSERT_TRUE(WriteSound(Path("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 22050, 2, 1.0));
  const std::uint16_t id = Open(Path("a.wav"));
  Send(id, kMciPlay, kMciNotify);
  PlayFrom(id, 0);
  EXPECT_EQ(log->codes, std::vector<std::uint32_t>{kMciNotifySuperseded});
  Send(id, kMciStop, kMciWait | kMciNotify);
  // The play's abort, then the stop's own completion.
  EXPECT_EQ(log->codes, (std::vector<std::uint32_t>{kMciNotifySuperseded, kMciNotifyAborted,
                                                    kMciNotifySuccessful}));
  Send(id, kMciStop, kMciWait);
  PlayFrom(id, 0);
  EXPECT_EQ(Send(id, kMciClose, kMciWait), 0u);
  EXPECT_EQ(log->codes.back(), kMciNotifyAborted);
  EXPECT_EQ(log->codes.size(), 4u);
  windows.Advance(2000);
  EXPECT_EQ(log->codes.size(), 4u);
  EXPECT_EQ(audio.RunningStreams(), 0u);
  EXPECT_EQ(Send(id, kMciStatus, kMciWait | kMciStatusItem), kMciErrInvalidDeviceId);
  EXPECT_EQ(Send(0, kMciPlay, kMciNotify), kMciErrInvalidDeviceId);
}

TEST_F(EmulatedMciTest, RecordsIntoTheOpenedFilesFormatAndSavesAValidWav) {
  struct Case {
    std::uint16_t channels, bits;
    std::uint32_t rate;
  };
  for (const Case c : {Case{2, 16, 22050}, Case{1, 8, 11025}}) {
    SCOPED_TRACE(c.rate);
    dir.WriteFile("Temp.wav", WavHeader(c.channels, c.bits, c.rate, 0));
    const std::uint16_t id = Open(Path("Temp.wav"));
    EXPECT_EQ(Status(id, kMciStatusLength), 0u);
    ASSERT_EQ(Send(id, kMciRecord, kMciNotify), 0u);
    EXPECT_EQ(Status(id, kMciStatusMode), kMciModeRecord);
    windows.Advance(2000);
    Send(id, kMciStop, kMciWait);
    EXPECT_EQ(log->codes.back(), kMciNotifyAborted);
    EXPECT_EQ(Status(id, kMciStatusLength), 2000u);
    ASSERT_EQ(Save(id, Path("Temp.wav")), 0u);

    const std::string saved = dir.ReadFile("Temp.wav");
    const std::uint32_t data_bytes = 2 * c.rate * c.channels * (c.bits / 8);
    ASSERT_EQ(saved.size(), 44u + data_bytes);
    EXPECT_EQ(saved.substr(0, 44), WavHeader(c.channels, c.bits, c.rate, data_bytes));
    // Silence: 0 for 16 bits, 128 for unsigned 8 bits.
    EXPECT_EQ(saved.substr(44), std::string(data_bytes, c.bits == 8 ? '\x80' : '\0'));

    // The saved file opens again as a sound of that length.
    Send(id, kMciClose, kMciWait);
    const std::uint16_t again = Open(Path("Temp.wav"));
    EXPECT_EQ(Status(again, kMciStatusLength), 2000u);
    Send(again, kMciClose, kMciWait);
  }
}

TEST_F(EmulatedMciTest, RecordingGoesInAtThePositionAndPausesWithTheDevice) {
  ASSERT_TRUE(WriteSound(Path("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, 1.0));
  const std::uint16_t id = Open(Path("a.wav"));
  MciParms parms;
  parms.dwFrom = 500;
  ASSERT_EQ(Send(id, kMciRecord, kMciFrom, parms), 0u);
  // Between two ticks of the card: the pause takes what was captured up to its moment.
  windows.Advance(205);
  Send(id, kMciPause, kMciWait);
  EXPECT_EQ(Status(id, kMciStatusMode), kMciModePause);
  windows.Advance(1000);
  EXPECT_EQ(Send(id, kMciResume, kMciWait), 0u);
  EXPECT_EQ(Status(id, kMciStatusMode), kMciModeRecord);
  windows.Advance(295);
  Send(id, kMciStop, kMciWait);
  EXPECT_EQ(Status(id, kMciStatusLength), 1500u);
  EXPECT_EQ(Status(id, kMciStatusPosition), 1000u);
  ASSERT_EQ(Save(id, Path("out.wav")), 0u);
  const std::string saved = dir.ReadFile("out.wav");
  ASSERT_EQ(saved.size(), 44u + 1500u * 8u * 2u);
  // The tone before 500 ms and after the inserted silence is kept.
  EXPECT_NE(saved.substr(44 + 2 * 100, 200), std::string(200, '\0'));
  EXPECT_EQ(saved.substr(44 + 2 * 4000, 2 * 4000), std::string(2 * 4000, '\0'));
  EXPECT_NE(saved.substr(44 + 2 * 8100, 200), std::string(200, '\0'));
}

TEST_F(EmulatedMciTest, RefusalsOfRecordAndSave) {
  dir.WriteFile("Temp.wav", WavHeader(2, 16, 22050, 0));
  const std::uint16_t id = Open(Path("Temp.wav"));
  audio.input_present = false;
  EXPECT_EQ(Send(id, kMciRecord, kMciNotify), kMciErrWaveInputsUnsuitable);
  audio.input_present = true;
  EXPECT_EQ(Save(id, Path("no/such/folder/x.wav")), kMciErrFileNotSaved);
  EXPECT_EQ(Save(id, ""), kMciErrFilenameRequired);
  EXPECT_FALSE(dir.Exists("no"));
  MciParms status;
  status.dwItem = 99;
  EXPECT_EQ(Send(id, kMciStatus, kMciWait | kMciStatusItem, status), kMciErrBadConstant);
  EXPECT_EQ(Send(id, 0x0999, kMciWait), kMciErrUnrecognizedCommand);
  EXPECT_TRUE(log->codes.empty());
}

// The virtual card behind a sound server that can go away: while it is away no stream
// starts and Reachable() says so; going away breaks the running streams off.
class LosableEndpoint : public IAudioEndpoint {
 public:
  explicit LosableEndpoint(IAudioEndpoint& card) : card_(card) {}
  bool HasOutput() override { return card_.HasOutput(); }
  bool HasInput() override { return card_.HasInput(); }
  bool Reachable() override { return !away_; }
  std::unique_ptr<IAudioStream> StartOutput(const AudioFormat& format,
                                            IAudioSource& source) override {
    if (away_) return nullptr;
    return std::make_unique<Stream>(*this, card_.StartOutput(format, source), &source, nullptr);
  }
  std::unique_ptr<IAudioStream> StartInput(const AudioFormat& format, IAudioSink& sink) override {
    if (away_) return nullptr;
    return std::make_unique<Stream>(*this, card_.StartInput(format, sink), nullptr, &sink);
  }
  void GoAway() {
    away_ = true;
    while (running_ != nullptr) {
      // The report may end the stream: what it needs is taken first.
      IAudioSource* source = running_->source;
      IAudioSink* sink = running_->sink;
      running_ = nullptr;
      if (source) source->Failed("gone");
      if (sink) sink->Failed("gone");
    }
  }
  void ComeBack() { away_ = false; }

 private:
  struct Stream : IAudioStream {
    Stream(LosableEndpoint& owner, std::unique_ptr<IAudioStream> inner, IAudioSource* source,
           IAudioSink* sink)
        : owner(owner), inner(std::move(inner)), source(source), sink(sink) {
      owner.running_ = this;
    }
    ~Stream() override {
      if (owner.running_ == this) owner.running_ = nullptr;
    }
    void Flush() override { inner->Flush(); }
    LosableEndpoint& owner;
    std::unique_ptr<IAudioStream> inner;
    IAudioSource* source;
    IAudioSink* sink;
  };
  IAudioEndpoint& card_;
  bool away_ = false;
  Stream* running_ = nullptr;
};

TEST(EmulatedMciServerLost, TheRunningCommandFailsAndTheDeviceWorksOnceTheServerIsBack) {
  text::SetAnsiCodePage("UTF-8");
  TempDir dir;
  headless::Journal journal;
  headless::ManualWindowSystem windows{journal};
  VirtualAudioEndpoint card{windows};
  LosableEndpoint audio{card};
  StdFileSystem files{text::Ansi()};
  EmulatedMediaControl mci{windows, audio, files,
                           [&](std::string_view p) { return files.Resolve(p).string(); }};
  auto log = std::make_shared<NotifyLog>();
  const auto send = [&](std::uint16_t device, std::uint32_t command, std::uint32_t flags,
                        MciParms parms = {}) {
    parms.dwCallback = log;
    const std::uint32_t result = mci.SendCommand(device, command, flags, parms);
    windows.ProcessMessages();
    return std::make_pair(result, parms);
  };
  const auto status = [&](std::uint16_t id, std::uint32_t item) {
    MciParms parms;
    parms.dwItem = item;
    return send(id, kMciStatus, kMciWait | kMciStatusItem, parms).second.dwReturn;
  };
  const auto open = [&](const std::string& name) {
    MciParms parms;
    parms.lpstrElementName = dir.Dir() + name;
    return send(0, kMciOpen, kMciWait | kMciOpenElement, parms);
  };
  dir.WriteFile("tone.wav", WavHeader(1, 16, 8000, 32000) + std::string(32000, '\x10'));
  dir.WriteFile("Temp.wav", WavHeader(2, 16, 22050, 0));

  const struct {
    const char* file;
    std::uint32_t command;
  } kCases[] = {{"tone.wav", kMciPlay}, {"Temp.wav", kMciRecord}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    log->codes.clear();
    const std::uint16_t id = open(c.file).second.wDeviceID;
    ASSERT_NE(id, 0);
    ASSERT_EQ(send(id, c.command, kMciNotify).first, 0u);
    windows.Advance(500);
    audio.GoAway();
    windows.ProcessMessages();
    EXPECT_EQ(log->codes, std::vector<std::uint32_t>{kMciNotifyFailure});
    EXPECT_EQ(status(id, kMciStatusMode), kMciModeStop);
    // A recording keeps what it captured before the server went.
    if (c.command == kMciRecord) {
      EXPECT_EQ(status(id, kMciStatusLength), 500u);
    }

    // While it is away, the device refuses with its text, and so does a new open.
    EXPECT_EQ(send(id, c.command, kMciNotify).first, kMciErrHardware);
    EXPECT_EQ(open(c.file).first, kMciErrHardware);
    EXPECT_EQ(mci.GetErrorString(kMciErrHardware),
              "The sound device cannot be reached: the sound system stopped. Sound works "
              "again as soon as it is back.");

    // Back: the same device runs its command to the end again.
    audio.ComeBack();
    log->codes.clear();
    ASSERT_EQ(send(id, c.command, kMciNotify).first, 0u);
    windows.Advance(400);
    send(id, kMciStop, kMciWait);
    EXPECT_EQ(log->codes, std::vector<std::uint32_t>{kMciNotifyAborted});
    EXPECT_GT(status(id, kMciStatusPosition), 0u);
    send(id, kMciClose, kMciWait);
  }
}

TEST_F(EmulatedMciTest, Mp3IsDecodedPlayedAndNeverRecordedOrSaved) {
  ASSERT_TRUE(
      WriteSound(Path("tone.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 22050, 1, 1.0))
      << "libsndfile cannot write mp3 here";
  const std::uint16_t id = Open(Path("tone.mp3"));
  const std::uint32_t length = Status(id, kMciStatusLength);
  // The encoder pads the stream a little.
  EXPECT_GE(length, 1000u);
  EXPECT_LT(length, 1200u);
  EXPECT_EQ(Send(id, kMciRecord, kMciNotify), kMciErrUnsupportedFunction);
  EXPECT_EQ(Save(id, Path("copy.wav")), kMciErrUnsupportedFunction);
  ASSERT_EQ(Send(id, kMciPlay, kMciNotify), 0u);
  windows.Advance(length + 10);
  EXPECT_EQ(log->codes, std::vector<std::uint32_t>{kMciNotifySuccessful});
}

}  // namespace
}  // namespace qm::testing
