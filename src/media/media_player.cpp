#include "media/media_player.h"

namespace qm {

namespace {

const char* const kNoDeviceOpen = "No MCI device open";

const char* DeviceTypeName(TMPDeviceTypes type) {
  static const char* const kNames[] = {
      "",        "AVIVideo", "CDAudio",   "DAT", "DigitalVideo", "MMMovie",  "Other",
      "Overlay", "Scanner",  "Sequencer", "VCR", "Videodisc",    "WaveAudio"};
  return kNames[type];
}

}  // namespace

class TMediaPlayer::MessageWindow : public IMciNotifyWindow {
 public:
  explicit MessageWindow(TMediaPlayer& owner) : owner_(owner) {}
  void OnMciNotify(std::uint32_t code, std::uint16_t) override { owner_.HandleNotify(code); }

 private:
  TMediaPlayer& owner_;
};

TMediaPlayer::TMediaPlayer(IMediaControl& mci) : mci_(mci) {}

TMediaPlayer::~TMediaPlayer() {
  if (device_id_ == 0) return;
  MciParms parms;
  parms.dwCallback = window_;
  try {
    mci_.SendCommand(device_id_, kMciClose, kMciWait, parms);
  } catch (...) {  // the answer is ignored
  }
}

MciCallback TMediaPlayer::Callback() {
  if (!window_) window_ = std::make_shared<MessageWindow>(*this);
  return window_;
}

void TMediaPlayer::HandleNotify(std::uint32_t code) {
  if (code == kMciNotifySuccessful || code == kMciNotifySuperseded || code == kMciNotifyAborted ||
      code == kMciNotifyFailure) {
    last_notify_result_ = code;
  }
  if (OnNotify) OnNotify(*this);
}

void TMediaPlayer::RequireOpen() const {
  if (!is_open_) throw EMCIDeviceError(kNoDeviceOpen);
}

std::uint32_t TMediaPlayer::WaitFlags() {
  std::uint32_t flags = kMciWait;
  if (NextNotify.Pending() && NextNotify.Value()) flags |= kMciNotify;
  NextNotify.Clear();
  return flags;
}

std::uint32_t TMediaPlayer::NotifyFlags() const {
  return NextNotify.Pending() && !NextNotify.Value() ? 0 : kMciNotify;
}

std::uint32_t TMediaPlayer::Send(std::uint32_t command, std::uint32_t flags, MciParms& parms,
                                 std::uint16_t device) {
  parms.dwCallback = Callback();
  return mci_.SendCommand(device, command, flags, parms);
}

std::uint32_t TMediaPlayer::SendGeneric(std::uint32_t command, std::uint32_t flags) {
  MciParms parms;
  return Send(command, flags, parms);
}

void TMediaPlayer::OpenMedia() {
  if (is_open_) CloseMedia();
  MciParms parms;
  parms.lpstrElementName = FileName;
  std::uint32_t flags = kMciWait | kMciOpenElement;
  if (DeviceType != dtAutoSelect) {
    parms.lpstrDeviceType = DeviceTypeName(DeviceType);
    flags |= kMciOpenType;
  }
  last_error_ = Send(kMciOpen, flags, parms, 0);
  if (last_error_ != 0) {
    throw EMCIDeviceError(mci_.GetErrorString(last_error_).value_or("Unknown error code"));
  }
  is_open_ = true;
  device_id_ = parms.wDeviceID;
}

std::uint32_t TMediaPlayer::CloseMedia() {
  if (device_id_ == 0) return 0;
  last_error_ = SendGeneric(kMciClose, WaitFlags());
  if (last_error_ == 0) {
    is_open_ = false;
    device_id_ = 0;
  }
  return last_error_;
}

std::uint32_t TMediaPlayer::StartTransport(std::uint32_t command) {
  MciParms parms;
  std::uint32_t flags = NotifyFlags();
  NextNotify.Clear();
  if (NextFrom.Pending()) {
    flags |= kMciFrom;
    parms.dwFrom = NextFrom.Value();
    NextFrom.Clear();
  }
  last_error_ = Send(command, flags, parms);
  return last_error_;
}

std::uint32_t TMediaPlayer::PlayMedia() {
  RequireOpen();
  if (AutoRewind && !NextFrom.Pending() && QueryPosition() == QueryLength()) RewindMedia();
  return StartTransport(kMciPlay);
}

std::uint32_t TMediaPlayer::RecordMedia() {
  RequireOpen();
  return StartTransport(kMciRecord);
}

std::uint32_t TMediaPlayer::StopMedia() {
  RequireOpen();
  last_error_ = SendGeneric(kMciStop, WaitFlags());
  return last_error_;
}

std::uint32_t TMediaPlayer::PauseMedia() {
  RequireOpen();
  last_error_ = SendGeneric(kMciPause, WaitFlags());
  return last_error_;
}

std::uint32_t TMediaPlayer::ResumeMedia() {
  RequireOpen();
  last_error_ = SendGeneric(kMciResume, NotifyFlags());
  if (last_error_ != 0) return PlayMedia();
  NextNotify.Clear();
  return last_error_;
}

std::uint32_t TMediaPlayer::SaveMedia() {
  RequireOpen();
  if (FileName.empty()) return last_error_;
  MciParms parms;
  parms.lpfilename = FileName;
  last_error_ = Send(kMciSave, WaitFlags() | kMciSaveFile, parms);
  return last_error_;
}

std::uint32_t TMediaPlayer::RewindMedia() {
  RequireOpen();
  return SendGeneric(kMciSeek, kMciWait | kMciSeekToStart);
}

void TMediaPlayer::TogglePause() {
  if (!is_open_) throw EMCIDeviceError(kNoDeviceOpen);
  if (QueryMode() == kMciModePlay) {
    PauseMedia();
  } else if (QueryMode() == kMciModePause) {
    ResumeMedia();
  }
}

std::uint32_t TMediaPlayer::QueryStatus(std::uint32_t item, std::uint32_t& answer) {
  MciParms parms;
  parms.dwItem = item;
  const std::uint32_t result = Send(kMciStatus, kMciWait | kMciStatusItem, parms);
  answer = result == 0 ? parms.dwReturn : 0;
  return result;
}

std::uint32_t TMediaPlayer::QueryMode() {
  std::uint32_t mode = 0;
  return QueryStatus(kMciStatusMode, mode) == 0 ? mode : kMciModeNotReady;
}

std::uint32_t TMediaPlayer::QueryPosition() {
  std::uint32_t position = 0;
  last_error_ = QueryStatus(kMciStatusPosition, position);
  return position;
}

std::uint32_t TMediaPlayer::QueryLength() {
  RequireOpen();
  std::uint32_t length = 0;
  last_error_ = QueryStatus(kMciStatusLength, length);
  return length;
}

void RegisterMciExtensions(IProfileWriter& profile) noexcept {
  static const struct {
    const char* file;
    const char* section;
    const char* key;
    const char* value;
  } kMappings[] = {
      {"win.ini", "mci extensions", "mpg", "MPEGVideo"},
      {"win.ini", "mci extensions", "dat", "MPEGVideo"},
      {"win.ini", "mci extensions", "mpv", "MPEGVideo"},
      {"win.ini", "mci extensions", "mpeg", "MPEGVideo"},
      {"win.ini", "mci extensions", "cjt", "MPEGVideo"},
      {"win.ini", "mci extensions", "avi", "AVIVideo"},
      {"system.ini", "mci", "MPEGVideo", "mciqtz.drv"},
  };
  for (const auto& m : kMappings) {
    try {
      profile.WritePrivateProfileString(m.section, m.key, m.value, m.file);
    } catch (...) {  // the writer promises not to throw; start-up goes on regardless
    }
  }
}

}  // namespace qm
