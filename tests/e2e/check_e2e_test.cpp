// The course check and the bridge trace of the real program: "quillmere --check" on the
// demo course, on courses made of our ActionScript 1 and 3 test movies (a missing sound,
// a missing file, features the player does not support) and on a real third-party
// movie (ZeroClipboard.swf from npm); "--trace" of the check and of the standalone
// player; bad input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QImage>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace qm::testing {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Result {
  int status = -1;
  std::string out;
};

// Runs a command line; its exit status and standard output.
Result RunCommand(const std::string& command) {
  Result result;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

std::vector<json> ReadTrace(const fs::path& path) {
  std::vector<json> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  return lines;
}

std::map<std::string, fs::file_time_type> Snapshot(const fs::path& folder) {
  std::map<std::string, fs::file_time_type> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    files[entry.path().string()] = entry.last_write_time();
  }
  return files;
}

class CheckE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/qm-check-e2e-XXXXXX";
    root_ = ::mkdtemp(name);
  }
  void TearDown() override {
    if (HasFailure()) {
      std::printf("kept: %s\n", root_.c_str());
    } else {
      fs::remove_all(root_);
    }
  }
  // A course folder holding `main` as main.swf and the demo's version.swf.
  fs::path Course(const std::string& name, const fs::path& main) {
    const fs::path dir = root_ / name;
    fs::create_directories(dir);
    fs::copy_file(main, dir / "main.swf");
    fs::copy_file(fs::path(QM_COURSE_DIR) / "version.swf", dir / "version.swf");
    return dir;
  }
  Result Check(const fs::path& course, const std::string& options = "") {
    return RunCommand(std::string(QM_PROGRAM) + " --check --seconds 6 --json " + options + " " +
                      Quoted(course));
  }

  fs::path root_;
};

TEST_F(CheckE2e, TheDemoCoursePlaysAndItsFolderStaysAsItWas) {
  const auto before = Snapshot(QM_COURSE_DIR);
  const Result r = Check(QM_COURSE_DIR);
  ASSERT_EQ(r.status, 0) << r.out;
  const json report = json::parse(r.out);
  EXPECT_TRUE(report["main"]["ran"]);
  EXPECT_TRUE(report["main"]["runtime_check"]["passes"]);
  EXPECT_EQ(report["main"]["missing_files"], json::array());
  EXPECT_EQ(report["main"]["unsupported"], json::object());
  for (const auto& movie : report["movies"]) EXPECT_EQ(movie["verdict"], "plays") << movie;
  EXPECT_EQ(Snapshot(QM_COURSE_DIR), before);
}

// The number of colours in a picture, up to `most`.
std::size_t Colours(const QImage& image, std::size_t most = 16) {
  std::set<QRgb> seen;
  for (int y = 0; y < image.height() && seen.size() < most; ++y) {
    for (int x = 0; x < image.width() && seen.size() < most; ++x) seen.insert(image.pixel(x, y));
  }
  return seen.size();
}

std::string ReadAll(const fs::path& path) {
  std::ostringstream out;
  out << std::ifstream(path, std::ios::binary).rdbuf();
  return out.str();
}

TEST_F(CheckE2e, TheReportHoldsAPictureOfEveryMovieOfTheDemoCourse) {
  const auto before = Snapshot(QM_COURSE_DIR);
  const fs::path folder = root_ / "report";
  const Result r = Check(QM_COURSE_DIR, "--report " + Quoted(folder));
  ASSERT_EQ(r.status, 0) << r.out;
  const json report = json::parse(r.out);
  const std::string page = ReadAll(folder / "index.html");
  for (const auto& movie : report["movies"]) {
    SCOPED_TRACE(movie["path"].get<std::string>());
    EXPECT_EQ(movie["verdict"], "plays") << movie;
    if (movie["path"] == "version.swf") continue;  // the runtime check's own, never shown
    ASSERT_FALSE(movie["pictures"].empty()) << movie;
    EXPECT_FALSE(movie["drew_nothing"]);
    for (const auto& picture : movie["pictures"]) {
      const std::string file = picture["file"];
      const QImage image(QString::fromStdString((folder / file).string()));
      EXPECT_FALSE(image.isNull()) << file;
      EXPECT_GT(Colours(image), 1u) << file;
      EXPECT_NE(page.find("<img src=\"" + file + "\""), std::string::npos) << file;
    }
  }
  EXPECT_EQ(Snapshot(QM_COURSE_DIR), before);
  // Never into the course folder.
  EXPECT_EQ(Check(QM_COURSE_DIR, "--report " + Quoted(fs::path(QM_COURSE_DIR) / "report")).status,
            2);
  EXPECT_EQ(Snapshot(QM_COURSE_DIR), before);
}

// Beside a main.swf that plays, a lesson movie that draws nothing and one cut short: the
// first has a picture and its warning, the second no picture and a failure.
TEST_F(CheckE2e, AMovieThatDrawsNothingWarnsAndOneCutShortFails) {
  const fs::path course = Course("lessons", fs::path(QM_CHECK_MOVIES_DIR) / "check_as3.swf");
  fs::create_directories(course / "lesson");
  fs::copy_file(fs::path(QM_COURSE_DIR) / "version.swf", course / "lesson/blank.swf");
  const std::string intro = ReadAll(fs::path(QM_COURSE_DIR) / "lesson1/intro.swf");
  std::ofstream(course / "lesson/cut.swf", std::ios::binary) << intro.substr(0, intro.size() / 2);
  const fs::path folder = root_ / "report";
  const Result r = Check(course, "--report " + Quoted(folder));
  EXPECT_EQ(r.status, 2) << r.out;
  std::map<std::string, json> movies;
  const json report = json::parse(r.out);
  for (const auto& movie : report["movies"]) {
    movies[movie["path"].get<std::string>()] = movie;
  }
  EXPECT_EQ(movies["lesson/blank.swf"]["verdict"], "plays with warnings");
  EXPECT_TRUE(movies["lesson/blank.swf"]["drew_nothing"]);
  EXPECT_EQ(movies["lesson/blank.swf"]["pictures"].size(), 1u);
  EXPECT_EQ(movies["lesson/cut.swf"]["verdict"], "fails");
  EXPECT_TRUE(movies["lesson/cut.swf"]["pictures"].empty());
  EXPECT_TRUE(movies["lesson/cut.swf"]["play"].is_null());
  EXPECT_NE(ReadAll(folder / "index.html").find("Drew nothing"), std::string::npos);
  const Result text = RunCommand(std::string(QM_PROGRAM) + " --check --seconds 6 --report " +
                                 Quoted(root_ / "text") + " " + Quoted(course));
  EXPECT_NE(text.out.find("lesson/blank.swf: plays with warnings"), std::string::npos) << text.out;
}

TEST_F(CheckE2e, MissingFilesAndUnsupportedFeaturesAreNamed) {
  struct Case {
    const char* movie;
    const char* actionscript;
    std::vector<std::string> missing;
  };
  const Case cases[] = {
      {"check_as1.swf", "1/2", {"data/absent.txt", "sound/missing.mp3"}},
      {"check_as3.swf", "3", {"data/as3_absent.txt", "sound/as3_missing.mp3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.movie);
    const fs::path course = Course(c.movie, fs::path(QM_CHECK_MOVIES_DIR) / c.movie);
    const Result r = Check(course);
    ASSERT_EQ(r.status, 1) << r.out;
    const json report = json::parse(r.out);
    EXPECT_EQ(report["movies"][0]["actionscript"], c.actionscript);
    EXPECT_EQ(report["movies"][0]["verdict"], "plays with warnings");
    EXPECT_EQ(report["main"]["missing_files"], c.missing);
    EXPECT_FALSE(report["main"]["unsupported"].empty()) << report["main"];
  }
}

TEST_F(CheckE2e, ZeroClipboardsStartUpCallIsInTheTrace) {
  const fs::path course = Course("zeroclipboard", QM_ZEROCLIPBOARD_MOVIE);
  const fs::path trace = root_ / "trace.jsonl";
  const Result r = Check(course, "--trace " + Quoted(trace));
  const json report = json::parse(r.out);
  EXPECT_TRUE(report["main"]["ran"]) << r.out;
  EXPECT_FALSE(report["main"]["requests"].empty()) << r.out;
  bool request = false;
  for (const json& line : ReadTrace(trace)) {
    EXPECT_TRUE(line.contains("t") && line.contains("event")) << line;
    request = request || (line["event"] == "request" && line["control"] == "flash1" &&
                          !line["text"].get<std::string>().empty());
  }
  EXPECT_TRUE(request);
}

TEST_F(CheckE2e, TheStandalonePlayerTracesItsMovie) {
  const fs::path trace = root_ / "player.jsonl";
  const fs::path movie = fs::path(QM_CHECK_MOVIES_DIR) / "check_as1.swf";
  // The player runs until it is ended; its trace is written line by line.
  const Result r = RunCommand("timeout 15 " + std::string(QM_STANDALONE_PLAYER) + " --trace " +
                              Quoted(trace) + " " + Quoted(movie));
  std::vector<std::string> seen;
  for (const json& line : ReadTrace(trace)) {
    seen.push_back(line["event"].get<std::string>() + ":" + line.value("command", ""));
  }
  for (const char* wanted : {"movie:", "request:loadfile", "fscommand:audio"}) {
    EXPECT_NE(std::find(seen.begin(), seen.end(), wanted), seen.end()) << wanted;
  }
}

TEST_F(CheckE2e, BadInputIsRefusedWithAMessage) {
  struct Case {
    std::string arguments;
    int status;
  };
  const Case cases[] = {
      {"--check " + Quoted(root_ / "no such course"), 1},
      {"--check --trace " + Quoted(root_ / "no/such/folder/t.jsonl") + " " + Quoted(QM_COURSE_DIR),
       2},
      {"--check --seconds 0 " + Quoted(QM_COURSE_DIR), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Result r = RunCommand(std::string(QM_PROGRAM) + " " + c.arguments);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
}  // namespace qm::testing
