#include "app/course_shell.h"

namespace qm {

CourseShell::CourseShell(const CoursePorts& ports, std::string app_dir, std::string app_title)
    : Form1({ports.flash1, ports.flashversion, ports.windows, ports.dialogs, ports.shell,
             ports.process},
            app_dir, app_title),
      // After the main window: its runtime check's timer runs first on a common tick.
      Update(ports.windows, ports.dialogs, ports.shell, ports.files, Form1.Boundary(), app_dir,
             app_title, &Form1),
      Files(ports.files, ports.dialogs, app_dir, app_title),
      Settings(ports.shell, ports.files, ports.dialogs, app_title),
      Sound(app_dir),
      Resources(ports.windows, ports.shell, Form3, Form6, Sound, app_dir, &Form1),
      ports_(ports) {
  Files.Register(Form1.Commands());
  Settings.Register(Form1.Commands());
  Sound.Register(Form1.Commands());
  Resources.Register(Form1.Commands());
}

void CourseShell::Start() {
  Form1.Boundary().Run([&] { Form1.FormCreate(); });
}

void CourseShell::CreateRecorder(const SoundPorts& sound) {
  Form2 = std::make_unique<TForm2>(
      RecorderPorts{ports_.windows, ports_.dialogs, sound.media, sound.profile, ports_.files},
      Form1.AppDir(), Form1.Boundary(), [this](const std::string& event, const std::string& data) {
        return Form1.NotifyMovie(event, data);
      });
  Sound.Form2 = Form2.get();
  Form1.Boundary().Run([&] { Form2->FormCreate(); });
}

}  // namespace qm
