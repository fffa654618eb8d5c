// flash1FSCommand: the movie's one-way commands. Nothing is returned to the movie; what
// has something to report calls into the movie later by itself.
#include <string_view>

#include "app/main_form.h"
#include "media/recorder_commands.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "resources/document_launcher.h"
#include "resources/resource_forms.h"
#include "text/chars.h"
#include "text/codepage.h"

namespace qm {

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
  // By characters: in a double-byte code page "@" can be a trail byte.
  const text::Chars chars(argument);
  const std::size_t marker = chars.Find("@@@");
  // Counted from 1 as the movie's authors count: p is 0 without a marker, and the name
  // then starts at character 3, so the argument loses its first two characters.
  const std::size_t p = marker == text::Chars::npos ? 0 : marker + 1;
  const std::string sub_path = p > 1 ? std::string(chars.Slice(0, p - 1)) : std::string();
  Form6->PickCallbackName = chars.Slice(p + 2, p + 2 + 999);
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
