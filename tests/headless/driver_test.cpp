// The headless driver as course authors run it: a process reading JSON lines.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "support/test_support.h"

namespace qm::testing {
namespace {

using Json = nlohmann::json;

struct DriverRun {
  std::vector<Json> lines;
  int status = -1;
};

// Runs the driver with `args` on the script and parses every output line.
DriverRun RunDriver(const std::string& args, const std::string& script) {
  TempDir scratch;
  scratch.WriteFile("script.jsonl", script);
  const std::string command = std::string(QM_HEADLESS_EXE) + " " + args + " < " +
                              (scratch.Path() / "script.jsonl").string() + " 2>/dev/null";
  DriverRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::string output;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  run.status = pclose(pipe);
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    Json value = Json::parse(line, nullptr, false);
    EXPECT_FALSE(value.is_discarded()) << "not JSON: " << line;
    run.lines.push_back(value);
  }
  return run;
}

class DriverTest : public ::testing::Test {
 protected:
  TempDir app;
  TempDir appdata;
  std::string Args() const {
    return "--app-dir '" + app.Path().string() + "' --common-appdata '" + appdata.Path().string() +
           "'";
  }
};

TEST_F(DriverTest, StartsWithTheRegistrationRequestAndEndsWithExit) {
  const DriverRun run = RunDriver(Args(), "");
  ASSERT_EQ(run.status, 0);
  ASSERT_EQ(run.lines.size(), 2u);
  EXPECT_EQ(run.lines[0]["shell"]["file"], "regsvr32 " + app.Dir() + "Flash10h.ocx");
  EXPECT_EQ(run.lines[0]["shell"]["verb"], "open");
  EXPECT_EQ(run.lines[1], Json({{"exit", 0}}));
}

TEST_F(DriverTest, CommandsRepliesAndReports) {
  const std::string script =
      R"({"flashcall": "<invoke name=\"savefile\" returntype=\"xml\"><arguments><string>d/a.txt</string><string>hello\nworld</string></arguments></invoke>"})"
      "\n"
      R"({"flashcall": "<invoke name=\"loadfile\" returntype=\"xml\"><arguments><string>d/a.txt</string></arguments></invoke>"})"
      "\n"
      R"({"flashcall": "<invoke name=\"loadBytes\" returntype=\"xml\"><arguments><string>none.txt</string></arguments></invoke>"})"
      "\n"
      R"({"flashcall": "<invoke name=\"DragingWindow\" returntype=\"xml\"><arguments></arguments></invoke>"})"
      "\n"
      R"({"answer": 1})"
      "\n"
      R"({"flashcall": "<invoke name=\"newfolder\" returntype=\"xml\"><arguments><string>d/a.txt/x</string></arguments></invoke>"})"
      "\n"
      R"({"advance_ms": 1000})"
      "\n";
  const DriverRun run = RunDriver(Args(), script);
  ASSERT_EQ(run.status, 0);
  std::vector<Json> expected = {
      {{"reply", "<true/>"}},
      {{"reply", "<string>hello</string>"}},
      {{"error_report", "File not found."}},
      {{"reply", nullptr}},
      {{"window", "drag"}},
      {{"reply", nullptr}},
      {{"dialog",
        {{"type", "message"},
         {"text", "创建文件夹失败"},
         {"caption", "错误"},
         {"kind", 1},
         {"buttons", 4},
         {"result", 1}}}},
      {{"reply", "<false/>"}},
      {{"exit", 0}},
  };
  ASSERT_EQ(run.lines.size(), expected.size() + 1);
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(run.lines[i + 1], expected[i]);
  EXPECT_EQ(app.ReadFile("d/a.txt"), "hello\r\nworld\r\n");
}

TEST_F(DriverTest, BadInputIsReportedAndTheDriverGoesOn) {
  const DriverRun run = RunDriver(Args(),
                                  "not json\n"
                                  "{\"launch\": 1}\n"
                                  "{\"advance_ms\": -5}\n"
                                  "\n"
                                  "{\"flashcall\": \"<invoke name=\\\"getAppDir\\\"/>\"}\n");
  ASSERT_EQ(run.status, 0);
  ASSERT_EQ(run.lines.size(), 6u);
  for (int i = 1; i <= 3; ++i) EXPECT_TRUE(run.lines[i].contains("error")) << run.lines[i];
  EXPECT_EQ(run.lines[4]["reply"], "<string>" + app.Dir() + "</string>");
}

TEST_F(DriverTest, CodePageOption) {
  TempDir root;
  std::filesystem::create_directory(root.Path() / "课程");
  const std::string dir = (root.Path() / "课程").string();
  const std::string script =
      R"({"flashcall": "<invoke name=\"getAppDir\"/>"})"
      "\n"
      R"({"flashcall": "<invoke name=\"savefile\"><arguments><string>笔记.txt</string><string>中文</string></arguments></invoke>"})"
      "\n"
      R"({"flashcall": "<invoke name=\"savereg\"><arguments><string>键</string><string>值</string></arguments></invoke>"})"
      "\n";
  const DriverRun run = RunDriver(
      "--codepage CP936 --app-dir '" + dir + "' --common-appdata '" + appdata.Path().string() + "'",
      script);
  ASSERT_EQ(run.status, 0);
  ASSERT_EQ(run.lines.size(), 5u);
  EXPECT_EQ(run.lines[1]["reply"], "<string>" + dir + "/</string>");
  EXPECT_EQ(run.lines[2]["reply"], "<true/>");
  // File names are the file system's UTF-8; the content was stored as UTF-8.
  std::ifstream note(root.Path() / "课程" / "笔记.txt", std::ios::binary);
  std::string content((std::istreambuf_iterator<char>(note)), {});
  EXPECT_EQ(content, "中文\r\n");
  EXPECT_EQ(appdata.ReadFile("quillmere/键"), "值\r\n");
}

TEST_F(DriverTest, UsageErrors) {
  EXPECT_NE(RunDriver("--no-such-option", "").status, 0);
  EXPECT_NE(RunDriver("--codepage NO-SUCH-CHARSET", "").status, 0);
}

}  // namespace
}  // namespace qm::testing

namespace qm::testing {
namespace {

TEST_F(DriverTest, MovieCommands) {
  const std::string script =
      R"({"fscommand": ["maximized", ""]})"
      "\n"
      R"({"fscommand": ["selectresource", "unit1/@@@onPick"]})"
      "\n"
      R"({"fscommand": ["exec", "docs/a.pdf"]})"
      "\n"
      R"({"fscommand": ["exitprogram", ""]})"
      "\n"
      R"({"fscommand": ["normal", ""]})"
      "\n";
  const DriverRun run = RunDriver(Args(), script);
  // The process ends with 259, whose low 8 bits are the exit status here.
  ASSERT_TRUE(WIFEXITED(run.status));
  EXPECT_EQ(WEXITSTATUS(run.status), 259 & 0xFF);
  std::vector<Json> seen;
  for (const Json& line : run.lines) {
    if (!line.contains("mci")) seen.push_back(line);  // the recorder's device commands
  }
  ASSERT_GE(seen.size(), 5u);
  EXPECT_EQ(seen[1], Json({{"window", "maximize"}}));
  EXPECT_EQ(seen[2], Json({{"form",
                            {{"name", "TForm6"},
                             {"CourseResourceRoot", app.Dir() + "unit1/resource"},
                             {"PickCallbackName", "onPick"}}}}));
  EXPECT_EQ(seen[3]["shell"]["file"], app.Dir() + "docs/a.pdf");
  EXPECT_EQ(seen.back(), Json({{"exit", 259}}));  // nothing runs after it
}

}  // namespace
}  // namespace qm::testing
