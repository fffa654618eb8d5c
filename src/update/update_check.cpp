#include "update/update_check.h"

#include "platform/errors.h"
#include "platform/file_system.h"
#include "platform/shell.h"
#include "text/codepage.h"
#include "ui/error_report.h"
#include "update/update_reply.h"

#ifndef QM_UPDATE_SERVICE_URL
#error "QM_UPDATE_SERVICE_URL names the update service; the build sets it"
#endif

namespace qm {

namespace {

// The reply of the check is a short text; anything longer is not one.
constexpr std::size_t kMaxReplyBytes = 1 << 20;

// The upgrade file as it arrives: written beside its final place and put there only
// once the whole body is in.
class ReplacementSink : public http::IBodySink {
 public:
  explicit ReplacementSink(IFileReplacement& file) : file_(file) {}
  void Append(std::string_view bytes) override { file_.Write(bytes); }

 private:
  IFileReplacement& file_;
};

}  // namespace

UpdateCheck::UpdateCheck(IWindowSystem& windows, IDialogs& dialogs, IShell& shell,
                         IFileSystem& files, ErrorBoundary& boundary, std::string app_dir,
                         std::string app_title, const void* owner)
    : UpdateServiceBaseUrl(QM_UPDATE_SERVICE_URL),
      Message1(dialogs, std::move(app_title)),
      IdAntiFreeze1(windows),
      ProgressDialog1(dialogs),
      downurlDialog1(dialogs),
      windows_(windows),
      shell_(shell),
      files_(files),
      app_dir_(std::move(app_dir)),
      owner_(owner) {
  IdAntiFreeze1.Active = true;
  IdAntiFreeze1.IdleTimeOut = 250;
  IdAntiFreeze1.OnlyWhenIdle = true;
  IdHTTP1.Pump = &IdAntiFreeze1;
  IdHTTP2.Pump = &IdAntiFreeze1;
  IdHTTP2.OnWorkBegin = [this](http::WorkMode mode, std::int64_t max) {
    IdHTTP1WorkBegin(mode, max);
  };
  IdHTTP2.OnWork = [this](http::WorkMode mode, std::int64_t count) { IdHTTP1Work(mode, count); };
  IdHTTP2.OnWorkEnd = [this](http::WorkMode mode) { IdHTTP1WorkEnd(mode); };

  ProgressDialog1.ShowType = stStayOnTop;
  ProgressDialog1.Caption = text::A("进度");
  ProgressDialog1.LabelCaption = text::A("进度");
  ProgressDialog1.ShowPercent = true;
  ProgressDialog1.OnCancel = [this, &boundary] { boundary.Run([&] { ProgressDialog1Cancel(); }); };

  Memo1.ReadOnly = true;
  Memo1.Visible = false;

  Timer2 =
      windows_.CreateTimer(1000, true, [this, &boundary] { boundary.Run([&] { Timer2Timer(); }); });
  Timer3 = windows_.CreateTimer(1000, false,
                                [this, &boundary] { boundary.Run([&] { Timer3Timer(); }); });
}

std::string UpdateCheck::LastUrlSegment(const std::string& address) {
  return update::LastUrlSegment(address, text::Ansi());
}

void UpdateCheck::Timer2Timer() {
  Timer2->SetEnabled(false);  // once per run
  IdAntiFreeze1.OnlyWhenIdle = false;
  const std::string check_address = UpdateServiceBaseUrl + std::string(update::kCheckPath) +
                                    ProductId + "/" + ProductVersion + "/";
  try {
    // The check: its failures end it without a word.
    {
      std::string reply;
      http::StringSink sink(reply, kMaxReplyBytes);
      IdHTTP1.Get(check_address, sink);
      files_.WriteBinaryFile(app_dir_ + "result.txt", reply);
    }
    Memo1.Clear();
    Memo1.LoadFromFile(files_, app_dir_ + "result.txt");
    const std::string& reply_text = Memo1.Text();
    if (update::MeansNoUpgrade(reply_text, text::Ansi())) return;

    if (Message1.MessageDialog(text::A("检查到软件有升级程序，是否升级？"),
                               MessageKind::kConfirmation, mbYes | mbNo, 0) != mrYes) {
      return;
    }

    const std::string download_address =
        UpdateServiceBaseUrl + update::DownloadPath(Memo1.Text(), text::Ansi());
    const std::string file_name = LastUrlSegment(download_address);
    const std::string upgrade_file = app_dir_ + file_name;

    Timer3->SetEnabled(true);
    bool downloaded = false;
    try {
      // A name that is empty or could leave the program folder cannot be saved.
      if (!update::IsPlainFileName(file_name, text::Ansi())) {
        throw EInOutError(EInOutError::kFileNotFound);
      }
      const auto file = files_.BeginReplace(upgrade_file);
      ReplacementSink sink(*file);
      IdHTTP2.Get(download_address, sink);
      file->Commit();
      downloaded = true;
    } catch (...) {
      // Reported below: the user gets the address to fetch the file by hand.
    }
    if (!downloaded) {
      Timer3->SetEnabled(false);
      downurlDialog1.InputText(text::A("自动下载失败，请使用下列地址手动下载"),
                               text::A("升级文件路径："), download_address);
      return;
    }
    Timer3->SetEnabled(false);

    ShellRequest open{"open", upgrade_file, "", "", kSwShowNormal};
    open.owner = owner_;
    shell_.Execute(open);  // its result is not examined
    windows_.Terminate();
  } catch (...) {
    // The check fails silently.
  }
}

void UpdateCheck::IdHTTP1WorkBegin(http::WorkMode, std::int64_t work_count_max) {
  // Each chunk of a chunked body starts again from 0: the one-second refresh must not
  // show the count of an earlier chunk against this chunk's length.
  LastWorkCount = 0;
  ProgressDialog1.MinValue = 0;
  ProgressDialog1.MaxValue = work_count_max;
  ProgressDialog1.ShowProgress();
  ProgressDialog1.SetValue(0);
}

void UpdateCheck::IdHTTP1Work(http::WorkMode, std::int64_t work_count) {
  windows_.ProcessMessages();
  LastWorkCount = work_count;
  ProgressDialog1.SetValue(work_count);
}

void UpdateCheck::IdHTTP1WorkEnd(http::WorkMode) {
  ProgressDialog1.SetValue(ProgressDialog1.MaxValue);
}

void UpdateCheck::Timer3Timer() {
  windows_.ProcessMessages();
  ProgressDialog1.SetValue(LastWorkCount);
}

void UpdateCheck::ProgressDialog1Cancel() {
  // The user gave up the download: it stops, and the check takes its failure path.
  IdHTTP2.Cancel();
}

}  // namespace qm
