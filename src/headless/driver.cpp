#include "headless/driver.h"

#include <chrono>
#include <iostream>
#include <thread>

#include "app/course_shell.h"
#include "headless/media_ports.h"
#include "headless/scripted_ports.h"
#include "media/recorder.h"
#include "media/virtual_audio_endpoint.h"
#include "platform/file_system.h"
#include "platform/host_paths.h"
#include "platform/paths.h"
#include "resources/resource_forms.h"
#include "text/codepage.h"
#include "ui/error_report.h"

namespace qm::headless {

struct Driver::State : ScriptedPlatform {
  explicit State(const DriverOptions& options)
      : files(SystemFileSystem(text::Ansi())),
        audio(windows),
        mci(SystemMediaControl(windows, audio, *files)),
        mci_journal(*mci, journal),
        course({flash1, flashversion, windows, dialogs, shell, *files, process},
               text::Ansi().FromUtf8(options.app_dir), text::Ansi().FromUtf8(options.app_title)) {}
  // The program has reported its end; what the windows do as they go (the recorder
  // closes its device) is not part of the run.
  ~State() { journal.live = nullptr; }

  std::unique_ptr<IFileSystem> files;
  // The recorder's sound: the system's media device (the emulated one off Windows, on a
  // sound card that runs on the clock).
  VirtualAudioEndpoint audio;
  std::unique_ptr<IMediaControl> mci;
  JournalingMediaControl mci_journal;
  RecordingProfileWriter profile;
  // The windows come after what the recorder plays through, and go before it.
  CourseShell course;
  bool ended = false;
};

namespace {

std::string Dump(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Moves the driver's clock on by `ms`. Where the system's media devices keep the wall
// clock, the same time passes for real, in steps, so that what they report (a play's or
// a recording's end) arrives at the same point of the session as from the emulated ones.
void AdvanceClock(ManualWindowSystem& windows, long long ms) {
  if (!SystemMediaControlKeepsWallClock()) {
    windows.Advance(ms);
    return;
  }
  constexpr long long kStepMs = 10;
  const auto start = std::chrono::steady_clock::now();
  for (long long done = 0; done < ms;) {
    const long long step = std::min(kStepMs, ms - done);
    std::this_thread::sleep_until(start + std::chrono::milliseconds(done + step));
    windows.Advance(step);
    done += step;
  }
}

}  // namespace

Driver::Driver(const DriverOptions& options, std::function<void(const std::string&)> out) {
  text::SetAnsiCodePage(options.codepage);
  state_ = std::make_unique<State>(options);
  flash_version_ = options.flash_version;
  state_->journal.live = [out = std::move(out)](const Json& entry) { out(Dump(entry)); };
  if (options.common_appdata) {
    state_->shell.special_folders[kCsidlCommonAppData] =
        text::Ansi().FromUtf8(*options.common_appdata);
  } else if (std::string folder = CommonAppDataFolder(); !folder.empty()) {
    state_->shell.special_folders[kCsidlCommonAppData] = text::Ansi().FromUtf8(folder);
  }
  if (options.update_url) {
    state_->course.Update.UpdateServiceBaseUrl = text::Ansi().FromUtf8(*options.update_url);
  }
}

Driver::~Driver() = default;

void Driver::Start() {
  State& s = *state_;
  s.course.Start();
  s.course.CreateRecorder({s.mci_journal, s.profile});
  if (flash_version_ && !s.flashversion.Movie().empty()) {
    s.flashversion.SetVariable(u"mainver", text::Utf8ToUtf16(flash_version_->first));
    s.flashversion.SetVariable(u"submainver", text::Utf8ToUtf16(flash_version_->second));
  }
  s.windows.ProcessMessages();
}

bool Driver::Ended() const {
  return state_->ended;
}

int Driver::ExitStatus() const {
  return state_->process.Terminated() ? static_cast<int>(state_->process.TerminatedWith()) : 0;
}

bool Driver::HandleLine(std::string_view line) {
  State& s = *state_;
  if (s.ended) return false;
  if (line.find_first_not_of(" \t\r") == std::string_view::npos) return true;

  auto error = [&](const std::string& message) { s.journal.Add({{"error", message}}); };
  Json input = Json::parse(line, nullptr, false);
  if (input.is_discarded() || !input.is_object() || input.size() != 1) {
    error("expected one JSON object with one key per line");
    return true;
  }
  const std::string key = input.begin().key();
  const Json& value = input.begin().value();

  if (key == "flashcall") {
    if (!value.is_string()) {
      error("flashcall takes the request as a string");
      return true;
    }
    const auto reply = s.flash1.Call(text::Utf8ToUtf16(value.get<std::string>()));
    s.journal.Add({{"reply", reply ? Json(text::Utf16ToUtf8(*reply)) : Json(nullptr)}});
  } else if (key == "fscommand") {
    if (!value.is_array() || value.size() != 2 || !value[0].is_string() || !value[1].is_string()) {
      error("fscommand takes [\"name\", \"argument\"]");
      return true;
    }
    s.flash1.Command(text::Utf8ToUtf16(value[0].get<std::string>()),
                     text::Utf8ToUtf16(value[1].get<std::string>()));
  } else if (key == "advance_ms") {
    if (!value.is_number_integer() || value.get<long long>() < 0) {
      error("advance_ms takes a whole number of milliseconds, 0 or more");
      return true;
    }
    AdvanceClock(s.windows, value.get<long long>());
  } else if (key == "answer") {
    if (!value.is_number_integer() && !value.is_string() && !value.is_null()) {
      error("answer takes a result code, a text or null");
      return true;
    }
    s.dialogs.QueueAnswer(value);
  } else {
    error("unknown input: " + key);
    return true;
  }

  if (s.process.Terminated()) {  // ended at once: nothing else runs
    s.ended = true;
    return false;
  }
  s.windows.ProcessMessages();
  if (s.windows.Terminated()) {
    s.ended = true;
    s.journal.Add({{"exit", 0}});
    return false;
  }
  return true;
}

void Driver::Finish() {
  if (state_->ended) return;
  state_->ended = true;
  state_->journal.Add({{"exit", 0}});
}

namespace {

const char* const kUsage =
    "usage: quillmere-headless [--app-dir DIR] [--common-appdata DIR] [--codepage NAME]\n"
    "                          [--update-url http://HOST[:PORT]]\n"
    "                          [--flash-version MAJOR.MINOR|none]\n"
    "Reads JSON lines on standard input and writes what the shell does as JSON lines.\n";

}  // namespace

int RunHeadless(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err) {
  DriverOptions options;
  std::optional<std::string> app_dir;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      out << kUsage;
      return 0;
    }
    if ((arg == "--app-dir" || arg == "--common-appdata" || arg == "--codepage") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (arg == "--app-dir") app_dir = value;
      if (arg == "--common-appdata") options.common_appdata = value;
      if (arg == "--codepage") options.codepage = value;
      continue;
    }
    if (arg == "--update-url" && i + 1 < argc) {
      const std::string value = argv[++i];
      if (value.rfind("http://", 0) != 0 || value.size() == 7) {
        err << "quillmere-headless: --update-url takes http://HOST[:PORT]\n" << kUsage;
        return 2;
      }
      options.update_url = value;
      continue;
    }
    if (arg == "--flash-version" && i + 1 < argc) {
      const std::string value = argv[++i];
      const std::size_t dot = value.find('.');
      if (value == "none") {
        options.flash_version.reset();
      } else if (dot != std::string::npos) {
        options.flash_version.emplace(value.substr(0, dot), value.substr(dot + 1));
      } else {
        err << "quillmere-headless: --flash-version takes MAJOR.MINOR or none\n" << kUsage;
        return 2;
      }
      continue;
    }
    err << "quillmere-headless: unknown or incomplete argument " << arg << "\n" << kUsage;
    return 2;
  }

  try {
    // Paths arrive as the file system spells them (UTF-8); the driver converts them to
    // the shell's code page.
    const std::string executable = ExecutablePath();
    options.app_title = ApplicationTitle(ExtractFileName(executable));
    options.app_dir = app_dir ? *app_dir : AppDirOf(executable);
    if (options.app_dir.empty() || !IsPathSeparator(options.app_dir.back())) {
      options.app_dir += kPathSep;
    }
    Driver driver(options, [&out](const std::string& line) { out << line << '\n' << std::flush; });
    driver.Start();
    std::string line;
    while (!driver.Ended() && std::getline(in, line)) driver.HandleLine(line);
    driver.Finish();
    if (driver.ExitStatus() != 0) return driver.ExitStatus();
  } catch (const std::exception& e) {
    err << "quillmere-headless: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace qm::headless
