// flash1FSCommand: the movie's one-way commands. Nothing is returned to the movie; what
// has something to report calls into the movie later by itself.
#include <string_view>

#include "app/main_form.h"
#include "media/recorder_commands.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "resources/document_launcher.h"
#include "resources/resource_forms.h"
#include "text/codepage.h"

namespace qm {

namespace {

// The text from character `first` (counted from 0) on, at most `count` characters of
// the code page.
std::string CopyChars(const std::string& s, const std::vector<std::size_t>& starts,
                      std::size_t first, std::size_t count) {
  if (first >= starts.size()) return {};
  const std::size_t end_char = count < starts.size() - first ? first + count : starts.size();
  const std::size_t end = end_char < starts.size() ? starts[end_char] : s.size();
  return s.substr(starts[first], end - starts[first]);
}

// Index (from 0) of the first character at which "@@@" starts, or npos. Only whole
// characters count: in a double-byte code page "@" can be a trail byte.
std::size_t FindMarker(const std::string& s, const std::vector<std::size_t>& starts) {
  auto is_at = [&](std::size_t i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : s.size();
    return end - starts[i] == 1 && s[starts[i]] == '@';
  };
  for (std::size_t i = 0; i + 2 < starts.size(); ++i) {
    if (is_at(i) && is_at(i + 1) && is_at(i + 2)) return i;
  }
  return std::string::npos;
}

}  // namespace

RecorderCommands& TForm1::Recorder() {
  if (Form2 == nullptr) throw Exception("The recorder has not been created");
  return *Form2;
}

void TForm1::flash1FSCommand(const std::u16string& command, const std::u16string& args) {
  auto argument = [&] { return text::Ansi().FromUtf16(args); };
  try {
    if (command == u"audio") {
      Recorder().SourceSoundPath.clear();
      Recorder().PlayMediaFile(app_dir_ + argument());
    } else if (command == u"exec") {
      Recorder().CloseRecord();
      OpenDocument(ports_.shell, app_dir_, app_dir_ + argument(), this);
    } else if (command == u"recording") {
      Recorder().SourceSoundPath = app_dir_ + argument();
    } else if (command == u"beginrecord") {
      Recorder().BeginRecord();
    } else if (command == u"stopandplayrecord") {
      Recorder().StopAndPlayRecord();
    } else if (command == u"playsrcsound") {
      Recorder().PlaySourceSound();
    } else if (command == u"closerecord") {
      Recorder().CloseRecord();
    } else if (command == u"minimized") {
      ports_.windows.SetMainWindowState(WindowState::kMinimized);
    } else if (command == u"normal") {
      ports_.windows.SetMainWindowState(WindowState::kNormal);
    } else if (command == u"maximized") {
      ports_.windows.SetMainWindowState(WindowState::kMaximized);
    } else if (command == u"exitprogram") {
      ports_.flash1.SetMovie(u"");
      for (int i = 0; i < 3; ++i) TerminateOwnProcess();
    } else if (command == u"resourceindex") {
      ports_.windows.ProcessMessages();
    } else if (command == u"selectresource") {
      SelectResource(argument());
    } else if (command == u"otherresource") {
      OtherResource(argument());
    }
  } catch (const Exception& e) {
    // The program's own errors are shown plainly and the movie goes on; anything else
    // leaves for the general error report.
    ports_.dialogs.ShowPlainMessage(e.what(), AppTitle());
  }
}

bool TForm1::TerminateOwnProcess() {
  return ports_.process.Terminate(ports_.process.ExitCode());
}

// The argument is the course's sub-path, "@@@", and the name of the movie function that
// hears the chosen file. Everything after the first "@@@" belongs to the name.
void TForm1::SelectResource(const std::string& argument) {
  if (Form6 == nullptr) throw Exception("The resource picker has not been created");
  const auto starts = text::Ansi().CharStarts(argument);
  const std::size_t marker = FindMarker(argument, starts);
  // Counted from 1 as the movie's authors count: p is 0 without a marker, and the name
  // then starts at character 3, so the argument loses its first two characters.
  const std::size_t p = marker == std::string::npos ? 0 : marker + 1;
  const std::string sub_path = p > 1 ? CopyChars(argument, starts, 0, p - 1) : std::string();
  Form6->PickCallbackName = CopyChars(argument, starts, p + 2, 999);
  Form6->CourseResourceRoot = ToNativeSeparators(app_dir_ + sub_path + "resource");
  ports_.windows.ShowModal(*Form6);
}

void TForm1::OtherResource(const std::string& argument) {
  if (Form3 == nullptr) throw Exception("The resource manager has not been created");
  ports_.windows.ProcessMessages();
  Form3->CourseResourceRoot = ToNativeSeparators(app_dir_ + argument + "resource");
  ports_.windows.ShowModal(*Form3);
}

}  // namespace qm
