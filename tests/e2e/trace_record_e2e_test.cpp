// The bridge trace of a recording in the demo course: the real program plays the course
// with --trace on a virtual X server and a sound server, a user clicks "Record" and then
// "Stop & compare", and the trace holds the whole exchange in order: the fscommands,
// the media device's commands and notifications, and the recorder's calls into the
// movie. The points clicked follow the layout drawn by demo/movies/Main.hx.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "demo/x_session.h"

namespace qm::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int kWidth = 1024, kHeight = 652;
constexpr int kRecordX = 174, kRecordY = 473, kStopX = 312, kStopY = 473;

std::vector<json> ReadTrace(const fs::path& path) {
  std::vector<json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(json::parse(line));
  }
  return lines;
}

// The event's name and what tells it apart, e.g. "fscommand beginrecord", "media open",
// "call DelphiCallBack playrecordover".
std::string Step(const json& e) {
  const std::string event = e["event"];
  if (event == "fscommand" || event == "media") return event + " " + e.value("command", "");
  if (event == "call") {
    const auto args = e.value("arguments", json::array());
    return "call " + e.value("function", "") + " " +
           (args.empty() ? "" : args[0].get<std::string>());
  }
  return event;
}

TEST(TraceRecordE2e, ARecordingAndItsPlaybackAreTracedInOrder) {
  XDisplay display;
  if (display.get() == nullptr) GTEST_SKIP() << "no X display (run under xvfb-run)";
  char name[] = "/tmp/qm-trace-XXXXXX";
  const fs::path root = ::mkdtemp(name);
  const fs::path course = root / "course";
  fs::copy(QM_COURSE_DIR, course, fs::copy_options::recursive);
  const fs::path trace = root / "trace.jsonl";
  Process shell =
      Start((course / "quillmere").string(), {"--trace", trace.string()}, root / "errors.txt");

  const auto window = display.WaitFor(
      [&] {
        return display.Find([](Window, const XWindowAttributes& a) {
          return a.width == kWidth && a.height == kHeight;
        });
      },
      60);
  ASSERT_TRUE(window) << shell.Errors();
  // The movie has answered the runtime check and drawn its first frame.
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const json& e : ReadTrace(trace)) {
          if (e["event"] == "get_variable" && e["name"] == "submainver") return true;
        }
        return false;
      },
      90))
      << shell.Errors();
  ASSERT_TRUE(display.Click(*window, kRecordX, kRecordY));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ASSERT_TRUE(display.Click(*window, kStopX, kStopY));
  const bool over = WaitUntil(
      [&] {
        for (const json& e : ReadTrace(trace)) {
          if (Step(e) == "call DelphiCallBack playrecordover") return true;
        }
        return false;
      },
      60);
  Kill(shell);
  ASSERT_TRUE(over) << shell.Errors();

  // The steps of the exchange appear in this order (others may come between them).
  const std::vector<std::string> wanted = {"fscommand beginrecord",
                                           "media open",
                                           "media record",
                                           "fscommand stopandplayrecord",
                                           "media save",
                                           "media play",
                                           "media_notify",
                                           "call DelphiCallBack playrecordover"};
  std::size_t next = 0;
  for (const json& e : ReadTrace(trace)) {
    EXPECT_TRUE(e.contains("t")) << e;
    if (next < wanted.size() && Step(e) == wanted[next]) ++next;
  }
  EXPECT_EQ(next, wanted.size()) << "missing from " << wanted[std::min(next, wanted.size() - 1)];
  if (!::testing::Test::HasFailure()) fs::remove_all(root);
}

}  // namespace
}  // namespace qm::testing
