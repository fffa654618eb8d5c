// The program for one course, built over a set of platform ports: the main window, the
// recorder, the two resource windows, and the features that answer the movie. The
// desktop program, the headless driver, the tests and the benchmarks all build it here.
#pragma once

#include <memory>
#include <string>

#include "app/main_form.h"
#include "files/file_commands.h"
#include "files/settings_store.h"
#include "media/recorder.h"
#include "media/sound_commands.h"
#include "resources/resource_commands.h"
#include "resources/resource_forms.h"
#include "update/update_check.h"

namespace qm {

// The platform a course runs on.
struct CoursePorts {
  IFlashControl& flash1;
  IFlashControl& flashversion;
  IWindowSystem& windows;
  IDialogs& dialogs;
  IShell& shell;
  IFileSystem& files;
  IProcess& process;
};

// What the recorder plays and records through.
struct SoundPorts {
  IMediaControl& media;
  IProfileWriter& profile;
};

class CourseShell {
 public:
  // `app_dir` ends in a separator; `app_title` is the application title. Creates the
  // windows hidden, with their timers; nothing runs before Start.
  CourseShell(const CoursePorts& ports, std::string app_dir, std::string app_title);
  CourseShell(const CourseShell&) = delete;
  CourseShell& operator=(const CourseShell&) = delete;

  // The main window's creation: the movies start loading.
  void Start();
  // Creates the recorder over `sound` and runs its creation. Until then the sound
  // commands report that there is no recorder.
  void CreateRecorder(const SoundPorts& sound);

  TForm1 Form1;
  UpdateCheck Update;
  std::unique_ptr<TForm2> Form2;  // the recorder, once created
  TForm3 Form3;                   // the resource manager
  TForm6 Form6;                   // the resource picker
  FileCommands Files;
  SettingsStore Settings;
  SoundCommands Sound;
  ResourceCommands Resources;

 private:
  CoursePorts ports_;
};

}  // namespace qm
