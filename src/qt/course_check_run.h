// The desktop program's course check and the Qt side of the bridge trace: the course's
// main.swf played off-screen for a while with ports that answer for a user and keep
// the course folder as it is, then the report.
#pragma once

#include <string>

#include "app/course_folder.h"
#include "trace/trace_writer.h"

namespace qm::qt {

class FlashWidget;

// Writes what the control's player says of itself to the trace: its console messages
// as {"event": "console", "control", "level", "message"}, its first drawn frame as
// {"event": "first_frame", "control"}. Also makes the player log its warnings.
void TracePlayerEvents(FlashWidget& widget, const std::string& control, trace::TraceWriter& trace);

// Checks `course` and prints the report (text, or JSON with `json`) to standard output;
// main.swf plays for `seconds` in a temporary copy of the course. `trace_file`, when
// given, also receives the play's trace. Needs the application object. Returns the
// exit status: 0 every movie plays, 1 warnings, 2 failures.
int RunCourseCheck(const Course& course, const std::string& app_title, int seconds, bool json,
                   trace::TraceFile* trace_file);

}  // namespace qm::qt
