#include "media/recorder.h"

#include "media/wav_format.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm {

namespace {

constexpr unsigned kMbIconError = 0x10;

}  // namespace

TForm2::TForm2(const RecorderPorts& ports, std::string app_dir, ErrorBoundary& boundary,
               MovieNotifier notify_movie)
    : MediaPlayer1(ports.media),
      ports_(ports),
      app_dir_(std::move(app_dir)),
      boundary_(boundary),
      notify_movie_(std::move(notify_movie)) {
  const text::CodePage& cp = text::Ansi();
  Caption = cp.FromUtf8("录音回放对比");
  ssd = {cp.FromUtf8("声道"), {cp.FromUtf8("单声道"), cp.FromUtf8("立体声")}, 1};
  syz = {cp.FromUtf8("音质"), {cp.FromUtf8("8位"), cp.FromUtf8("16位")}, 1};
  spl = {cp.FromUtf8("声单频率"),
         {cp.FromUtf8("广播11025赫兹"), cp.FromUtf8("正常22050赫兹"), cp.FromUtf8("精密44100赫兹")},
         1};
  BtstartCaption = cp.FromUtf8("录制");
  BtstopCaption = cp.FromUtf8("停止并播放");
  playsrcbtnCaption = cp.FromUtf8("播放原音");
  MediaPlayer1.OnNotify = [this](TMediaPlayer& sender) {
    boundary_.Run([&] { MediaPlayer1Notify(sender); });
  };
  Timer1 =
      ports_.windows.CreateTimer(1000, false, [this] { boundary_.Run([&] { Timer1Timer(); }); });
}

void TForm2::FormCreate() {
  SourceSoundPath.clear();
  PlaybackSkipMs = 750;
  Timer1->SetInterval(750);
  RegisterMciExtensions(ports_.profile);
}

void TForm2::PlayMediaFile(const std::string& path) {
  if (MediaPlayer1.FileName == path) {
    if (MediaPlayer1.QueryMode() == kMciModePlay) {
      MediaPlayer1.TogglePause();
      return;
    }
    if (MediaPlayer1.QueryMode() == kMciModePause) {
      MediaPlayer1.PlayMedia();
      return;
    }
  }
  CloseRecord();
  MediaPlayer1.DeviceType = dtAutoSelect;
  MediaPlayer1.FileName = path;
  MediaPlayer1.OpenMedia();
  MediaPlayer1.NextNotify = true;
  MediaPlayer1.PlayMedia();
}

void TForm2::CloseRecord() noexcept {
  try {
    MediaPlayer1.StopMedia();
    MediaPlayer1.CloseMedia();
  } catch (...) {  // nothing open, or a refusal: nothing to report
  }
}

void TForm2::Createwav(std::uint16_t channels, std::uint16_t bits, std::uint32_t rate,
                       const std::string& fileName) {
  ports_.files.WriteBinaryFile(fileName, WavHeader(channels, bits, rate, 0));
}

void TForm2::BeginRecord() {
  const std::uint16_t channels = ssd.ItemIndex == 0 ? 1 : 2;
  const std::uint16_t bits = syz.ItemIndex == 0 ? 8 : 16;
  const std::uint32_t rate = spl.ItemIndex == 1 ? 22050 : spl.ItemIndex == 2 ? 44100 : 11025;
  try {
    CloseRecord();
    Createwav(channels, bits, rate, RecordingPath());
    MediaPlayer1.DeviceType = dtAutoSelect;
    MediaPlayer1.FileName = RecordingPath();
    MediaPlayer1.OpenMedia();
    MediaPlayer1.RecordMedia();
    if (!Timer1->Enabled()) Timer1->SetEnabled(true);
  } catch (...) {
    const text::CodePage& cp = text::Ansi();
    ports_.dialogs.SystemMessageBox(cp.FromUtf8("媒体设备初始化失败！"), cp.FromUtf8("错误"),
                                    kMbIconError);
  }
}

void TForm2::StopAndPlayRecord() noexcept {
  try {
    MediaPlayer1.StopMedia();
    MediaPlayer1.SaveMedia();
    MediaPlayer1.NextFrom = static_cast<std::uint32_t>(PlaybackSkipMs);
    MediaPlayer1.PlayMedia();
  } catch (...) {  // reported nowhere
  }
}

void TForm2::PlaySourceSound() {
  PlayMediaFile(SourceSoundPath);
}

void TForm2::Timer1Timer() {
  Timer1->SetEnabled(false);
  if (notify_movie_) notify_movie_("canspeak", "");
}

void TForm2::MediaPlayer1Notify(TMediaPlayer&) {
  if (MediaPlayer1.LastNotifyResult() == kMciNotifySuccessful && !SourceSoundPath.empty() &&
      MediaPlayer1.FileName == RecordingPath() && notify_movie_) {
    notify_movie_("playrecordover", "");
  }
}

}  // namespace qm
