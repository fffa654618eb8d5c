#include "media/emulated_mci.h"

#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "media/wav_format.h"
#include "platform/errors.h"
#include "text/codepage.h"

namespace qm {

namespace {

constexpr std::uint32_t kCommonFlags = kMciNotify | kMciWait;
// Files above this many samples are not read into memory (about 20 minutes of 44.1 kHz
// stereo sound per 100 million).
constexpr std::uint64_t kMaxSamples = 400'000'000;

std::uint64_t MsToFrames(std::uint64_t ms, int rate) {
  return ms * static_cast<std::uint64_t>(rate) / 1000u;
}

std::uint32_t FramesToMs(std::uint64_t frames, int rate) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(frames * 1000u / static_cast<std::uint64_t>(rate), 0xFFFFFFFFu));
}

struct Loaded {
  std::uint32_t error = 0;
  AudioFormat format;
  int bits = 16;
  std::vector<std::int16_t> samples;
};

// Reads a whole sound file as 16-bit samples.
Loaded LoadSoundFile(const std::string& path) {
  Loaded out;
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (ec) {
    const bool missing = ec == std::errc::no_such_file_or_directory ||
                         ec == std::errc::not_a_directory || ec == std::errc::filename_too_long;
    out.error = missing ? kMciErrFileNotFound : kMciErrFileRead;
    return out;
  }
  // Only regular files: a pipe or a device could block the GUI thread for ever.
  if (!std::filesystem::is_regular_file(status)) {
    out.error = kMciErrInvalidFile;
    return out;
  }
  if (!std::ifstream(path, std::ios::binary)) {
    out.error = kMciErrFileRead;
    return out;
  }
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    out.error = kMciErrInvalidFile;
    return out;
  }
  struct Closer {
    SNDFILE* f;
    ~Closer() { sf_close(f); }
  } closer{file};
  if (info.channels <= 0 || info.channels > 8 || info.samplerate <= 0 || info.frames < 0) {
    out.error = kMciErrInvalidFile;
    return out;
  }
  const auto frames = static_cast<std::uint64_t>(info.frames);
  if (frames * static_cast<std::uint64_t>(info.channels) > kMaxSamples) {
    out.error = kMciErrOutOfMemory;
    return out;
  }
  out.format = {info.samplerate, info.channels};
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  out.bits = (subtype == SF_FORMAT_PCM_U8 || subtype == SF_FORMAT_PCM_S8) ? 8 : 16;
  out.samples.resize(static_cast<std::size_t>(frames) * static_cast<std::size_t>(info.channels));
  const sf_count_t got = sf_readf_short(file, out.samples.data(), info.frames);
  if (got < 0) {
    out.error = kMciErrInvalidFile;
    return out;
  }
  // A file shorter than its header says keeps what could be read.
  out.samples.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(info.channels));
  return out;
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------- one open device

class EmulatedMediaControl::Device : public IAudioSource, public IAudioSink {
 public:
  enum class Kind { kWave, kDecoded };

  Device(IWindowSystem& windows, IAudioEndpoint& endpoint, std::uint16_t id, Kind kind,
         Loaded loaded)
      : windows_(windows),
        endpoint_(endpoint),
        id_(id),
        kind_(kind),
        format_(loaded.format),
        bits_(loaded.bits),
        samples_(std::move(loaded.samples)) {}

  ~Device() override { stream_.reset(); }

  std::uint32_t Play(std::uint32_t flags, const MciParms& parms);
  std::uint32_t Record(std::uint32_t flags, const MciParms& parms);
  std::uint32_t Stop();
  std::uint32_t Pause();
  std::uint32_t Resume(std::uint32_t flags, const MciParms& parms);
  std::uint32_t Seek(std::uint32_t flags, const MciParms& parms);
  std::uint32_t Save(std::uint32_t flags, const MciParms& parms, IFileSystem& files);
  std::uint32_t Status(std::uint32_t flags, MciParms& parms);
  // Ends whatever runs, as a close does.
  void Close() { EndTransport(kMciNotifyAborted); }

  // Posts the notification of a command that has finished when it returns.
  void Completed(std::uint32_t flags, const MciParms& parms) {
    if (flags & kMciNotify) PostMciNotify(windows_, parms.dwCallback, kMciNotifySuccessful, id_);
  }

  // IAudioSource
  std::size_t ReadFrames(std::int16_t* out, std::size_t frames) override;
  bool Exhausted() const override {
    return mode_ != Mode::kPlaying || position_ >= std::min(play_end_, Frames());
  }
  void Finished() override;
  // IAudioSource and IAudioSink
  void Failed(const std::string& reason) override;
  // IAudioSink
  void WriteFrames(const std::int16_t* in, std::size_t frames) override;

 private:
  enum class Mode { kStopped, kPlaying, kRecording, kPaused };

  std::size_t Channels() const { return static_cast<std::size_t>(format_.channels); }
  std::uint64_t Frames() const { return samples_.size() / Channels(); }
  std::uint64_t CapturedFrames() const { return captured_.size() / Channels(); }
  // The largest content a WAV file of this format can hold.
  std::uint64_t MaxFrames() const {
    return kWavMaxDataBytes / (Channels() * static_cast<std::uint64_t>(bits_ / 8));
  }

  // Stops a running play or record and reports its pending notification with `code`.
  // A recording keeps what it captured.
  void EndTransport(std::uint32_t code);
  std::uint32_t StartPlay(std::uint32_t flags, const MciParms& parms);
  std::uint32_t StartRecord(std::uint32_t flags, const MciParms& parms);
  void Notify(const MciCallback& callback, std::uint32_t code) {
    PostMciNotify(windows_, callback, code, id_);
  }

  IWindowSystem& windows_;
  IAudioEndpoint& endpoint_;
  std::uint16_t id_;
  Kind kind_;
  AudioFormat format_;
  int bits_;
  std::vector<std::int16_t> samples_;  // the content, interleaved

  Mode mode_ = Mode::kStopped;
  Mode paused_from_ = Mode::kStopped;
  std::uint64_t position_ = 0;  // frames
  std::uint64_t play_end_ = 0;  // frames
  std::unique_ptr<IAudioStream> stream_;
  std::optional<MciCallback> pending_;  // the running play's or record's notification
  std::vector<std::int16_t> captured_;  // the running record's frames, not yet inserted
};

void EmulatedMediaControl::Device::EndTransport(std::uint32_t code) {
  // Taken out first: what the flush delivers may end the recording from inside it.
  std::unique_ptr<IAudioStream> stream = std::move(stream_);
  if (mode_ == Mode::kRecording && stream) stream->Flush();
  stream.reset();
  if (mode_ == Mode::kRecording) {
    const auto at = static_cast<std::ptrdiff_t>(position_ * Channels());
    samples_.insert(samples_.begin() + at, captured_.begin(), captured_.end());
    position_ += CapturedFrames();
    captured_.clear();
    captured_.shrink_to_fit();
  }
  if (mode_ == Mode::kPlaying || mode_ == Mode::kRecording) mode_ = Mode::kStopped;
  if (pending_) {
    const MciCallback callback = *pending_;
    pending_.reset();
    Notify(callback, code);
  }
}

std::uint32_t EmulatedMediaControl::Device::Play(std::uint32_t flags, const MciParms& parms) {
  if (flags & ~(kCommonFlags | kMciFrom | kMciTo)) return kMciErrUnrecognizedKeyword;
  const std::uint64_t length = Frames();
  const std::uint64_t from = (flags & kMciFrom) ? MsToFrames(parms.dwFrom, format_.sample_rate)
                                                : std::min(position_, length);
  const std::uint64_t to = (flags & kMciTo) ? MsToFrames(parms.dwTo, format_.sample_rate) : length;
  if (from > length || to > length || to < from) return kMciErrOutOfRange;
  if (!endpoint_.HasOutput()) return kMciErrWaveOutputsUnsuitable;
  EndTransport(kMciNotifySuperseded);
  position_ = from;
  play_end_ = to;
  return StartPlay(flags, parms);
}

std::uint32_t EmulatedMediaControl::Device::StartPlay(std::uint32_t flags, const MciParms& parms) {
  paused_from_ = Mode::kStopped;
  if (position_ >= play_end_) {  // nothing to play: done at once
    mode_ = Mode::kStopped;
    if (flags & kMciNotify) Notify(parms.dwCallback, kMciNotifySuccessful);
    return 0;
  }
  mode_ = Mode::kPlaying;  // before the start: the card may read at once
  stream_ = endpoint_.StartOutput(format_, *this);
  if (!stream_) {
    mode_ = Mode::kStopped;
    return endpoint_.Reachable() ? kMciErrWaveOutputsUnsuitable : kMciErrHardware;
  }
  if (flags & kMciNotify) pending_ = parms.dwCallback;
  return 0;
}

std::uint32_t EmulatedMediaControl::Device::Record(std::uint32_t flags, const MciParms& parms) {
  if (kind_ != Kind::kWave) return kMciErrUnsupportedFunction;
  if (flags & ~(kCommonFlags | kMciFrom)) return kMciErrUnrecognizedKeyword;
  const std::uint64_t from =
      (flags & kMciFrom) ? MsToFrames(parms.dwFrom, format_.sample_rate) : position_;
  if (from > Frames()) return kMciErrOutOfRange;
  if (!endpoint_.HasInput()) return kMciErrWaveInputsUnsuitable;
  EndTransport(kMciNotifySuperseded);
  position_ = from;
  return StartRecord(flags, parms);
}

std::uint32_t EmulatedMediaControl::Device::StartRecord(std::uint32_t flags,
                                                        const MciParms& parms) {
  paused_from_ = Mode::kStopped;
  captured_.clear();
  mode_ = Mode::kRecording;
  stream_ = endpoint_.StartInput(format_, *this);
  if (!stream_) {
    mode_ = Mode::kStopped;
    captured_.clear();
    return endpoint_.Reachable() ? kMciErrWaveInputsUnsuitable : kMciErrHardware;
  }
  if (flags & kMciNotify) pending_ = parms.dwCallback;
  return 0;
}

std::uint32_t EmulatedMediaControl::Device::Stop() {
  EndTransport(kMciNotifyAborted);
  mode_ = Mode::kStopped;
  paused_from_ = Mode::kStopped;
  return 0;
}

std::uint32_t EmulatedMediaControl::Device::Pause() {
  if (mode_ == Mode::kPlaying || mode_ == Mode::kRecording) {
    const Mode was = mode_;
    EndTransport(kMciNotifyAborted);
    mode_ = Mode::kPaused;
    paused_from_ = was;
  }
  return 0;
}

std::uint32_t EmulatedMediaControl::Device::Resume(std::uint32_t flags, const MciParms& parms) {
  if (flags & ~kCommonFlags) return kMciErrUnrecognizedKeyword;
  if (mode_ != Mode::kPaused) return kMciErrNonapplicableFunction;
  if (paused_from_ == Mode::kRecording) {
    if (!endpoint_.HasInput()) return kMciErrWaveInputsUnsuitable;
    return StartRecord(flags, parms);
  }
  if (!endpoint_.HasOutput()) return kMciErrWaveOutputsUnsuitable;
  play_end_ = std::min(play_end_, Frames());
  return StartPlay(flags, parms);
}

std::uint32_t EmulatedMediaControl::Device::Seek(std::uint32_t flags, const MciParms& parms) {
  const std::uint32_t where = flags & (kMciSeekToStart | kMciSeekToEnd | kMciTo);
  if (flags & ~(kCommonFlags | where)) return kMciErrUnrecognizedKeyword;
  if (where != kMciSeekToStart && where != kMciSeekToEnd && where != kMciTo) {
    return where == 0 ? kMciErrMissingParameter : kMciErrFlagsNotCompatible;
  }
  EndTransport(kMciNotifyAborted);
  const std::uint64_t length = Frames();
  std::uint64_t target = where == kMciSeekToStart ? 0
                         : where == kMciSeekToEnd ? length
                                                  : MsToFrames(parms.dwTo, format_.sample_rate);
  if (target > length) return kMciErrOutOfRange;
  position_ = target;
  mode_ = Mode::kStopped;
  paused_from_ = Mode::kStopped;
  return 0;
}

std::uint32_t EmulatedMediaControl::Device::Save(std::uint32_t flags, const MciParms& parms,
                                                 IFileSystem& files) {
  if (kind_ != Kind::kWave) return kMciErrUnsupportedFunction;
  if (flags & ~(kCommonFlags | kMciSaveFile)) return kMciErrUnrecognizedKeyword;
  if (!(flags & kMciSaveFile) || parms.lpfilename.empty()) return kMciErrFilenameRequired;
  if (mode_ == Mode::kRecording) {
    EndTransport(kMciNotifyAborted);
    mode_ = Mode::kStopped;
  }
  const std::uint64_t data_bytes = samples_.size() * static_cast<std::uint64_t>(bits_ / 8);
  if (data_bytes > kWavMaxDataBytes) return kMciErrFileNotSaved;
  std::string bytes = WavHeader(
      static_cast<std::uint16_t>(format_.channels), static_cast<std::uint16_t>(bits_),
      static_cast<std::uint32_t>(format_.sample_rate), static_cast<std::uint32_t>(data_bytes));
  bytes.reserve(bytes.size() + static_cast<std::size_t>(data_bytes));
  for (const std::int16_t sample : samples_) {
    const auto u = static_cast<std::uint16_t>(sample);
    if (bits_ == 8) {
      bytes += static_cast<char>(static_cast<std::uint8_t>((u >> 8) ^ 0x80));  // unsigned
    } else {
      bytes += static_cast<char>(u & 0xFF);
      bytes += static_cast<char>(u >> 8);
    }
  }
  try {
    files.WriteBinaryFile(parms.lpfilename, bytes);
  } catch (const Exception&) {
    return kMciErrFileNotSaved;
  }
  return 0;
}

std::uint32_t EmulatedMediaControl::Device::Status(std::uint32_t flags, MciParms& parms) {
  if (flags & ~(kCommonFlags | kMciStatusItem)) return kMciErrUnrecognizedKeyword;
  if (!(flags & kMciStatusItem)) return kMciErrMissingParameter;
  const bool recording = mode_ == Mode::kRecording;
  switch (parms.dwItem) {
    case kMciStatusMode:
      parms.dwReturn = mode_ == Mode::kPlaying     ? kMciModePlay
                       : mode_ == Mode::kRecording ? kMciModeRecord
                       : mode_ == Mode::kPaused    ? kMciModePause
                                                   : kMciModeStop;
      return 0;
    case kMciStatusPosition:
      parms.dwReturn =
          FramesToMs(position_ + (recording ? CapturedFrames() : 0), format_.sample_rate);
      return 0;
    case kMciStatusLength:
      parms.dwReturn =
          FramesToMs(Frames() + (recording ? CapturedFrames() : 0), format_.sample_rate);
      return 0;
    default:
      return kMciErrBadConstant;
  }
}

std::size_t EmulatedMediaControl::Device::ReadFrames(std::int16_t* out, std::size_t frames) {
  if (mode_ != Mode::kPlaying) return 0;
  const std::uint64_t end = std::min(play_end_, Frames());
  const auto n = static_cast<std::size_t>(
      std::min<std::uint64_t>(frames, end > position_ ? end - position_ : 0));
  std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(position_ * Channels()),
              n * Channels(), out);
  position_ += n;
  return n;
}

void EmulatedMediaControl::Device::Finished() {
  if (mode_ != Mode::kPlaying) return;
  EndTransport(kMciNotifySuccessful);
}

void EmulatedMediaControl::Device::Failed(const std::string&) {
  if (mode_ != Mode::kPlaying && mode_ != Mode::kRecording) return;
  EndTransport(kMciNotifyFailure);
}

void EmulatedMediaControl::Device::WriteFrames(const std::int16_t* in, std::size_t frames) {
  if (mode_ != Mode::kRecording) return;
  // A WAV file cannot describe more; the recording ends there.
  const std::uint64_t room = MaxFrames() - std::min(MaxFrames(), Frames() + CapturedFrames());
  const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(frames, room));
  captured_.insert(captured_.end(), in, in + take * Channels());
  if (take < frames) EndTransport(kMciNotifyFailure);
}

// ---------------------------------------------------------------- the interface

EmulatedMediaControl::EmulatedMediaControl(IWindowSystem& windows, IAudioEndpoint& endpoint,
                                           IFileSystem& files, PathResolver resolve)
    : windows_(windows), endpoint_(endpoint), files_(files), resolve_(std::move(resolve)) {}

EmulatedMediaControl::~EmulatedMediaControl() = default;

std::string EmulatedMediaControl::DeviceTypeFor(std::string_view element) {
  const std::size_t slash = element.find_last_of("/\\");
  const std::string_view name =
      slash == std::string_view::npos ? element : element.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return "";
  const std::string ext = AsciiLower(name.substr(dot + 1));
  if (ext == "wav") return "waveaudio";
  // The mappings written at start-up (mpg, dat, mpv, mpeg, cjt, avi), the sound formats
  // courses ship, and what else the decoder reads. Video files only play when the
  // decoder finds sound it can read in them.
  static const char* const kDecoded[] = {"mp3",  "mp2",  "mpa", "m1a", "mpg", "mpeg", "mpv",
                                         "dat",  "cjt",  "avi", "ogg", "oga", "flac", "aif",
                                         "aiff", "aifc", "au",  "snd", "caf", "w64",  "voc"};
  for (const char* known : kDecoded) {
    if (ext == known) return "mpegvideo";
  }
  return "";
}

std::uint32_t EmulatedMediaControl::Open(std::uint32_t flags, MciParms& parms) {
  if (flags & ~(kCommonFlags | kMciOpenElement | kMciOpenType)) return kMciErrUnrecognizedKeyword;
  if (!(flags & kMciOpenElement)) return kMciErrMissingParameter;
  if (parms.lpstrElementName.empty()) return kMciErrFilenameRequired;
  const std::string type = (flags & kMciOpenType) ? AsciiLower(parms.lpstrDeviceType)
                                                  : DeviceTypeFor(parms.lpstrElementName);
  if (type.empty()) return kMciErrExtensionNotFound;
  if (type != "waveaudio" && type != "mpegvideo") return kMciErrInvalidDeviceName;
  const Device::Kind kind = type == "waveaudio" ? Device::Kind::kWave : Device::Kind::kDecoded;
  // Without any sound device the devices cannot work at all.
  const bool usable = kind == Device::Kind::kWave ? endpoint_.HasOutput() || endpoint_.HasInput()
                                                  : endpoint_.HasOutput();
  if (!usable) return kMciErrDeviceNotInstalled;
  // The sound server went away: the device cannot work until it is back.
  if (!endpoint_.Reachable()) return kMciErrHardware;

  Loaded loaded = LoadSoundFile(resolve_(parms.lpstrElementName));
  if (loaded.error != 0) return loaded.error;

  if (devices_.size() >= 0xFFFE) return kMciErrOutOfMemory;
  do {
    ++last_id_;
  } while (last_id_ == 0 || devices_.count(last_id_) != 0);
  devices_[last_id_] =
      std::make_unique<Device>(windows_, endpoint_, last_id_, kind, std::move(loaded));
  parms.wDeviceID = last_id_;
  devices_[last_id_]->Completed(flags, parms);
  return 0;
}

std::uint32_t EmulatedMediaControl::SendCommand(std::uint16_t device, std::uint32_t command,
                                                std::uint32_t flags, MciParms& parms) {
  if (command == kMciOpen) {
    if (device != 0) return kMciErrInvalidDeviceId;
    return Open(flags, parms);
  }
  const auto it = devices_.find(device);
  if (it == devices_.end()) return kMciErrInvalidDeviceId;
  Device& d = *it->second;
  std::uint32_t result = 0;
  switch (command) {
    case kMciClose:
      if (flags & ~kCommonFlags) return kMciErrUnrecognizedKeyword;
      d.Close();
      {
        const std::unique_ptr<Device> closing = std::move(it->second);
        devices_.erase(it);
        closing->Completed(flags, parms);
      }
      return 0;
    case kMciPlay:
      return d.Play(flags, parms);
    case kMciRecord:
      return d.Record(flags, parms);
    case kMciResume:
      return d.Resume(flags, parms);
    case kMciStop:
      if (flags & ~kCommonFlags) return kMciErrUnrecognizedKeyword;
      result = d.Stop();
      break;
    case kMciPause:
      if (flags & ~kCommonFlags) return kMciErrUnrecognizedKeyword;
      result = d.Pause();
      break;
    case kMciSeek:
      result = d.Seek(flags, parms);
      break;
    case kMciSave:
      result = d.Save(flags, parms, files_);
      break;
    case kMciStatus:
      result = d.Status(flags, parms);
      break;
    default:
      return kMciErrUnrecognizedCommand;
  }
  if (result == 0) d.Completed(flags, parms);
  return result;
}

std::optional<std::string> EmulatedMediaControl::GetErrorString(std::uint32_t code) {
  const char* message = nullptr;
  switch (code) {
    case 0:
      message = "The specified command was carried out.";
      break;
    case kMciErrInvalidDeviceId:
      message = "Invalid MCI device ID. Use the ID returned when opening the MCI device.";
      break;
    case kMciErrUnrecognizedKeyword:
      message = "The driver cannot recognize the specified command parameter.";
      break;
    case kMciErrUnrecognizedCommand:
      message = "The driver cannot recognize the specified command.";
      break;
    case kMciErrHardware:
      message =
          "The sound device cannot be reached: the sound system stopped. Sound works again "
          "as soon as it is back.";
      break;
    case kMciErrInvalidDeviceName:
      message = "The specified device is not open or is not recognized by MCI.";
      break;
    case kMciErrOutOfMemory:
      message = "There is not enough memory available for this task.";
      break;
    case kMciErrMissingParameter:
      message = "The specified command requires a parameter. Please supply one.";
      break;
    case kMciErrUnsupportedFunction:
      message = "The MCI device you are using does not support the specified command.";
      break;
    case kMciErrFileNotFound:
      message = "Cannot find the specified file. Make sure the path and filename are correct.";
      break;
    case kMciErrExtensionNotFound:
      message =
          "The specified extension has no device type associated with it. Specify a device "
          "when opening the file.";
      break;
    case kMciErrOutOfRange:
      message = "The specified parameter is out of range for the specified command.";
      break;
    case kMciErrFlagsNotCompatible:
      message = "The specified parameters cannot be used together.";
      break;
    case kMciErrFileNotSaved:
      message =
          "Cannot save the specified file. Make sure you have enough disk space or are still "
          "connected to the network.";
      break;
    case kMciErrBadConstant:
      message = "The specified value for the parameter is not recognized.";
      break;
    case kMciErrInvalidFile:
      message =
          "The specified file cannot be played on the specified MCI device. The file may be "
          "corrupt, or not in the correct format.";
      break;
    case kMciErrNonapplicableFunction:
      message = "The specified MCI command sequence is not valid.";
      break;
    case kMciErrFilenameRequired:
      message = "A valid filename is required.";
      break;
    case kMciErrDeviceNotInstalled:
      message = "No sound device is installed on this system: sound cannot be played or recorded.";
      break;
    case kMciErrWaveOutputsUnsuitable:
      message = "No sound output device is available that can play files in the current format.";
      break;
    case kMciErrWaveInputsUnsuitable:
      message = "No sound input device is available that can record files in the current format.";
      break;
    case kMciErrFileRead:
      message = "A problem occurred in reading the specified file. Make sure it may be read.";
      break;
    default:
      return std::nullopt;
  }
  return text::A(message);
}

}  // namespace qm
