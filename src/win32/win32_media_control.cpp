#include "win32/win32_media_control.h"

// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <algorithm>
#include <future>
#include <stdexcept>

namespace qm {

static_assert(kMciOpen == MCI_OPEN && kMciClose == MCI_CLOSE && kMciPlay == MCI_PLAY &&
              kMciSeek == MCI_SEEK && kMciStop == MCI_STOP && kMciPause == MCI_PAUSE &&
              kMciRecord == MCI_RECORD && kMciSave == MCI_SAVE && kMciStatus == MCI_STATUS &&
              kMciResume == MCI_RESUME);
static_assert(kMciNotify == MCI_NOTIFY && kMciWait == MCI_WAIT && kMciFrom == MCI_FROM &&
              kMciTo == MCI_TO && kMciSaveFile == MCI_SAVE_FILE &&
              kMciSeekToStart == MCI_SEEK_TO_START && kMciSeekToEnd == MCI_SEEK_TO_END &&
              kMciStatusItem == MCI_STATUS_ITEM && kMciOpenElement == MCI_OPEN_ELEMENT &&
              kMciOpenType == MCI_OPEN_TYPE);
static_assert(kMciStatusLength == MCI_STATUS_LENGTH && kMciStatusPosition == MCI_STATUS_POSITION &&
              kMciStatusMode == MCI_STATUS_MODE && kMciModeStop == MCI_MODE_STOP &&
              kMciModePlay == MCI_MODE_PLAY && kMciModeRecord == MCI_MODE_RECORD &&
              kMciModeOpen == MCI_MODE_OPEN);
static_assert(kMmMciNotify == MM_MCINOTIFY && kMciNotifySuccessful == MCI_NOTIFY_SUCCESSFUL &&
              kMciNotifySuperseded == MCI_NOTIFY_SUPERSEDED &&
              kMciNotifyAborted == MCI_NOTIFY_ABORTED && kMciNotifyFailure == MCI_NOTIFY_FAILURE);
static_assert(kMciErrFileNotFound == MCIERR_FILE_NOT_FOUND &&
              kMciErrInvalidDeviceId == MCIERR_INVALID_DEVICE_ID);

namespace {

constexpr char kWindowClass[] = "QuillmereMciNotify";
// Posted to the notification window after a close has returned, with the close's token:
// every report the closed devices made before has been handled when it arrives.
constexpr UINT kDevicesClosed = WM_APP + 1;

LRESULT CALLBACK NotifyWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* owner = reinterpret_cast<Win32MediaControl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case MM_MCINOTIFY:
      if (owner) owner->OnDeviceNotify(static_cast<std::uint32_t>(wparam), LOWORD(lparam));
      return 0;
    case kDevicesClosed:
      if (owner) owner->OnDevicesClosed(static_cast<std::uint64_t>(wparam));
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

// The command's parameter block, filled from `parms`, and the answers copied back.
class ParameterBlock {
 public:
  ParameterBlock(std::uint32_t command, const MciParms& parms, DWORD_PTR callback)
      : command_(command) {
    switch (command) {
      case MCI_OPEN:
        open_.dwCallback = callback;
        open_.lpstrDeviceType = parms.lpstrDeviceType.c_str();
        open_.lpstrElementName = parms.lpstrElementName.c_str();
        break;
      case MCI_PLAY:
        play_.dwCallback = callback;
        play_.dwFrom = parms.dwFrom;
        play_.dwTo = parms.dwTo;
        break;
      case MCI_RECORD:
        record_.dwCallback = callback;
        record_.dwFrom = parms.dwFrom;
        record_.dwTo = parms.dwTo;
        break;
      case MCI_SEEK:
        seek_.dwCallback = callback;
        seek_.dwTo = parms.dwTo;
        break;
      case MCI_SAVE:
        save_.dwCallback = callback;
        save_.lpfilename = parms.lpfilename.c_str();
        break;
      case MCI_STATUS:
        status_.dwCallback = callback;
        status_.dwItem = parms.dwItem;
        break;
      default:
        generic_.dwCallback = callback;
        break;
    }
  }

  DWORD_PTR Address() {
    switch (command_) {
      case MCI_OPEN:
        return reinterpret_cast<DWORD_PTR>(&open_);
      case MCI_PLAY:
        return reinterpret_cast<DWORD_PTR>(&play_);
      case MCI_RECORD:
        return reinterpret_cast<DWORD_PTR>(&record_);
      case MCI_SEEK:
        return reinterpret_cast<DWORD_PTR>(&seek_);
      case MCI_SAVE:
        return reinterpret_cast<DWORD_PTR>(&save_);
      case MCI_STATUS:
        return reinterpret_cast<DWORD_PTR>(&status_);
      default:
        return reinterpret_cast<DWORD_PTR>(&generic_);
    }
  }

  void CopyAnswers(MciParms& parms) const {
    if (command_ == MCI_OPEN) parms.wDeviceID = static_cast<std::uint16_t>(open_.wDeviceID);
    if (command_ == MCI_STATUS) parms.dwReturn = static_cast<std::uint32_t>(status_.dwReturn);
  }

 private:
  std::uint32_t command_;
  MCI_OPEN_PARMSA open_{};
  MCI_PLAY_PARMS play_{};
  MCI_RECORD_PARMS record_{};
  MCI_SEEK_PARMS seek_{};
  MCI_SAVE_PARMSA save_{};
  MCI_STATUS_PARMS status_{};
  MCI_GENERIC_PARMS generic_{};
};

// A native path (UTF-8) as the ANSI API takes it, with "\" separators. A name the ANSI
// code page cannot spell is given by its short (8.3) name, when the volume keeps one.
std::string AnsiPathOf(const std::string& native) {
  std::wstring wide(native.size(), L'\0');
  wide.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, native.data(), static_cast<int>(native.size()), wide.data(),
                          static_cast<int>(wide.size()))));
  for (auto& c : wide)
    if (c == L'/') c = L'\\';
  const auto to_ansi = [](const std::wstring& text, BOOL* lossy) {
    std::string ansi(text.size() * 2, '\0');
    ansi.resize(static_cast<std::size_t>(WideCharToMultiByte(
        CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), ansi.data(),
        static_cast<int>(ansi.size()), nullptr, lossy)));
    return ansi;
  };
  BOOL lossy = FALSE;
  std::string ansi = to_ansi(wide, &lossy);
  if (lossy) {
    std::wstring short_name(MAX_PATH, L'\0');
    const DWORD length = GetShortPathNameW(wide.c_str(), short_name.data(), MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      short_name.resize(length);
      ansi = to_ansi(short_name, &lossy);
    }
  }
  return ansi;
}

}  // namespace

Win32MediaControl::Win32MediaControl(IWindowSystem& windows, IFileSystem& files)
    : windows_(windows), files_(files) {
  std::promise<HWND> made;
  auto window = made.get_future();
  thread_ = std::thread([this, &made] {
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = NotifyWindowProc;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = kWindowClass;
    // A second adapter finds the class registered already.
    RegisterClassExA(&window_class);
    HWND hwnd = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                window_class.hInstance, this);
    made.set_value(hwnd);
    if (hwnd) RunWindowThread();
  });
  window_ = window.get();
  if (!window_) {
    thread_.join();
    throw std::runtime_error("The media notification window could not be created (error " +
                             std::to_string(GetLastError()) + ")");
  }
}

Win32MediaControl::~Win32MediaControl() {
  PostMessageA(static_cast<HWND>(window_), WM_CLOSE, 0, 0);
  thread_.join();
}

void Win32MediaControl::RunWindowThread() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
}

std::uint32_t Win32MediaControl::SendCommand(std::uint16_t device, std::uint32_t command,
                                             std::uint32_t flags, MciParms& parms) {
  const bool notify = (flags & kMciNotify) != 0;
  // The device reads the element's name from the block: it lives here until the command
  // returns.
  std::optional<MciParms> resolved;
  if (command == kMciOpen && (flags & kMciOpenElement) && !parms.lpstrElementName.empty()) {
    resolved = parms;
    resolved->lpstrElementName = AnsiPathOf(files_.FindOnDisk(parms.lpstrElementName));
  } else if (command == kMciSave && parms.lpfilename.find('/') != std::string::npos) {
    // A file to write is the device's own business; it takes only "\\".
    resolved = parms;
    std::replace(resolved->lpfilename.begin(), resolved->lpfilename.end(), '/', '\\');
  }
  ParameterBlock block(command, resolved ? *resolved : parms,
                       notify ? reinterpret_cast<DWORD_PTR>(window_) : DWORD_PTR{0});
  std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
  if (notify || command == kMciClose) lock.lock();
  const MCIERROR error = mciSendCommandA(device, command, flags, block.Address());
  block.CopyAnswers(parms);
  if (error != 0) return static_cast<std::uint32_t>(error);
  if (notify) {
    const std::uint16_t reporter = command == kMciOpen ? parms.wDeviceID : device;
    auto& reports = pending_[reporter];
    for (Pending& older : reports) {
      if (older.superseded) continue;
      older.superseded = true;
      PostMciNotify(windows_, older.callback, kMciNotifySuperseded, reporter);
    }
    reports.push_back({parms.dwCallback});
  }
  if (command == kMciClose) {
    // What the closed devices have yet to report stays theirs until the window has taken
    // every report they made before the close returned.
    const std::uint64_t token = next_close_++;
    if (const auto found = pending_.find(device); found != pending_.end()) {
      closing_[token].emplace(device, std::move(found->second));
      pending_.erase(found);
    }
    PostMessageA(static_cast<HWND>(window_), kDevicesClosed, static_cast<WPARAM>(token), 0);
  }
  return 0;
}

std::optional<std::string> Win32MediaControl::GetErrorString(std::uint32_t code) {
  char text[MAXERRORLENGTH] = {};
  if (!mciGetErrorStringA(code, text, sizeof text)) return std::nullopt;
  return std::string(text);
}

void Win32MediaControl::OnDeviceNotify(std::uint32_t code, std::uint16_t device) {
  MciCallback callback;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The oldest command first: those of a device closed already, then the open one's.
    std::deque<Pending>* reports = nullptr;
    for (auto& [token, devices] : closing_) {
      const auto found = devices.find(device);
      if (found != devices.end() && !found->second.empty()) {
        reports = &found->second;
        break;
      }
    }
    if (!reports) {
      const auto found = pending_.find(device);
      if (found != pending_.end() && !found->second.empty()) reports = &found->second;
    }
    // A report no notify command of ours asked for.
    if (!reports) return;
    const Pending report = std::move(reports->front());
    reports->pop_front();
    if (report.superseded) return;
    callback = report.callback;
  }
  PostMciNotify(windows_, callback, code, device);
}

void Win32MediaControl::OnDevicesClosed(std::uint64_t token) {
  // A closed device's number may be given to the next device opened; what it left
  // unreported is not to be taken for that one's.
  std::lock_guard<std::mutex> lock(mutex_);
  closing_.erase(token);
}

std::unique_ptr<IMediaControl> SystemMediaControl(IWindowSystem& windows, IAudioEndpoint&,
                                                  IFileSystem& files) {
  return std::make_unique<Win32MediaControl>(windows, files);
}

bool SystemMediaControlKeepsWallClock() {
  return true;
}

}  // namespace qm
