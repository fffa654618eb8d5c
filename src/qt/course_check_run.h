// The desktop program's course check and the Qt side of the bridge trace: the course's
// main.swf played off-screen for a while with ports that answer for a user and keep
// the course folder as it is, then the report.
#pragma once

#include <functional>
#include <string>

#include "app/course_folder.h"
#include "trace/trace_writer.h"

namespace qm::qt {

class FlashWidget;

// Writes what the control's player says of itself to the trace: its console messages
// as {"event": "console", "control", "level", "message"}, its first drawn frame as
// {"event": "first_frame", "control"}. Also makes the player log its warnings.
// `first_frame`, when given, is also told of the first drawn frame.
void TracePlayerEvents(FlashWidget& widget, const std::string& control, trace::TraceWriter& trace,
                       std::function<void()> first_frame = {});

// What the check is asked for besides the course.
struct CheckOptions {
  int seconds = 10;   // how long main.swf plays once it has started
  bool json = false;  // the report as JSON
  // The folder for the report page and the movies' pictures; empty: none. With it, every
  // other movie of the course is played on its own for `movie_seconds`.
  std::string report_folder;
  int movie_seconds = 3;
};

// Checks `course` and prints the report (text, or JSON) to standard output; main.swf
// plays in a temporary copy of the course, and so do the other movies when a report
// folder is named, which then receives index.html and the pictures. `trace_file`, when
// given, also receives main.swf's trace. Needs the application object. Returns the exit
// status: 0 every movie plays, 1 warnings, 2 failures.
int RunCourseCheck(const Course& course, const std::string& app_title, const CheckOptions& options,
                   trace::TraceFile* trace_file);

}  // namespace qm::qt
