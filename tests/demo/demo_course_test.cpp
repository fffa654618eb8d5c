// The demo course as the build assembles it, and the standalone player's reading of its
// parameter and of movie headers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "player/movie_file.h"
#include "swf/avm1.h"
#include "text/codepage.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using player::ReadStageSize;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string AsText(const swf::Bytes& b) {
  return std::string(b.begin(), b.end());
}

// A movie compressed as "CWS": the 8-byte header, then the rest as one zlib stream.
std::string Compress(const std::string& fws) {
  uLongf size = compressBound(fws.size() - 8);
  std::string out(8 + size, '\0');
  std::copy(fws.begin(), fws.begin() + 8, out.begin());
  out[0] = 'C';
  compress2(reinterpret_cast<Bytef*>(out.data() + 8), &size,
            reinterpret_cast<const Bytef*>(fws.data() + 8), fws.size() - 8, 9);
  out.resize(8 + size);
  return out;
}

class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/qm-demo-XXXXXX";
    path_ = ::mkdtemp(name);
  }
  ~TempFolder() { fs::remove_all(path_); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// --- The player's parameter ----------------------------------------------------------

TEST(StandalonePlayerParameter, ArgumentsJoinIntoOnePathWithTheirBlanks) {
  EXPECT_EQ(player::ParameterText({}), "");
  EXPECT_EQ(player::ParameterText({"/course/Lesson 1.swf"}), "/course/Lesson 1.swf");
  // Typed by hand without quotes: the shell split it; the player joins it back.
  EXPECT_EQ(player::ParameterText({"/course/Lesson", "1.swf"}), "/course/Lesson 1.swf");
  // A path in the course's code page (CP936) is read in it; UTF-8 stays as it is.
  const text::CodePage cp936("CP936");
  EXPECT_EQ(player::ParameterInUtf8("/c/\xBF\xCE.swf", cp936), "/c/\xE8\xAF\xBE.swf");
  EXPECT_EQ(player::ParameterInUtf8("/c/\xE8\xAF\xBE.swf", cp936), "/c/\xE8\xAF\xBE.swf");
}

TEST(StandalonePlayerParameter, FindsTheMovieAsACourseMadeOnWindowsNamesIt) {
  TempFolder temp;
  fs::create_directories(temp.path() / "lesson one");
  std::ofstream(temp.path() / "lesson one" / "Intro Movie.swf") << "FWS";
  const std::string dir = temp.path().string() + "/";

  auto found = player::FindMovie(dir + "lesson one/Intro Movie.swf");
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, temp.path() / "lesson one" / "Intro Movie.swf");
  // The shell keeps the movie's "\" and its letter case as the course wrote them.
  found = player::FindMovie(dir + "LESSON ONE\\intro movie.SWF");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->filename(), "Intro Movie.swf");

  EXPECT_FALSE(player::FindMovie(dir + "lesson one/none.swf"));
  EXPECT_FALSE(player::FindMovie(dir + "lesson one"));  // a folder is no movie
  EXPECT_FALSE(player::FindMovie(""));
}

// --- Movie headers --------------------------------------------------------------------

TEST(MovieHeader, StageSizeOfUncompressedAndCompressedMovies) {
  const std::string fws = AsText(swf::WriteMovie({.width = 640, .height = 400}, {}));
  auto size = ReadStageSize(fws);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 640);
  EXPECT_EQ(size->height, 400);

  const std::string cws = Compress(AsText(swf::WriteMovie({.width = 1024, .height = 652}, {})));
  size = ReadStageSize(cws);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 1024);
  EXPECT_EQ(size->height, 652);
}

TEST(MovieHeader, UnreadableHeadersGiveNoSize) {
  const std::string fws = AsText(swf::WriteMovie({.width = 640, .height = 400}, {}));
  EXPECT_FALSE(ReadStageSize(""));
  EXPECT_FALSE(ReadStageSize(fws.substr(0, 10)));  // the rectangle is cut short
  std::string lzma = fws;
  lzma[0] = 'Z';  // LZMA is not read
  EXPECT_FALSE(ReadStageSize(lzma));
  std::string damaged = Compress(fws);
  damaged[9] ^= 0x5a;
  EXPECT_FALSE(ReadStageSize(damaged));
  EXPECT_FALSE(ReadStageSize("<html><body>not a movie</body></html>"));
  // An empty stage is no stage.
  EXPECT_FALSE(ReadStageSize(AsText(swf::WriteMovie({.width = 0, .height = 0}, {}))));
}

// A movie that cannot be played is told apart from a whole one before it is played.
TEST(MovieHeader, WholeMoviesAndWhatKeepsOthersFromPlaying) {
  const std::string fws = AsText(swf::WriteMovie({.width = 640, .height = 400}, {}));
  const std::string cws = Compress(fws);
  std::string damaged = cws;
  damaged[12] ^= 0x5a;
  const std::pair<std::string, const char*> cases[] = {
      {fws, nullptr},
      {cws, nullptr},
      {fws.substr(0, fws.size() - 1), "cut short"},
      {cws.substr(0, cws.size() - 4), "cut short"},
      {cws.substr(0, 9), "cut short"},
      {damaged, "damaged"},
      {"hello, this is a text file", "not a Flash movie"},
      {"", "not a Flash movie"},
  };
  for (const auto& [bytes, problem] : cases) {
    const auto found = player::MovieProblem(bytes);
    if (problem == nullptr) {
      EXPECT_FALSE(found) << *found;
    } else {
      ASSERT_TRUE(found) << problem;
      EXPECT_NE(found->find(problem), std::string::npos) << *found;
    }
  }
}

// --- The course folder ------------------------------------------------------------------

const fs::path kCourse = QM_COURSE_DIR;
const fs::path kDemoSource = QM_DEMO_SOURCE;

void ExpectMovie(const fs::path& path, int width, int height) {
  SCOPED_TRACE(path.string());
  const std::string swf = ReadAll(path);
  ASSERT_GE(swf.size(), 40u);
  EXPECT_TRUE(swf.compare(0, 3, "FWS") == 0 || swf.compare(0, 3, "CWS") == 0);
  EXPECT_GE(static_cast<unsigned char>(swf[3]), 8);
  // The length in the header is the whole movie's, uncompressed.
  const std::uint32_t length = static_cast<unsigned char>(swf[4]) |
                               static_cast<unsigned char>(swf[5]) << 8 |
                               static_cast<unsigned char>(swf[6]) << 16 |
                               static_cast<std::uint32_t>(static_cast<unsigned char>(swf[7])) << 24;
  if (swf[0] == 'F') {
    EXPECT_EQ(length, swf.size());
  } else {
    EXPECT_GT(length, swf.size());
  }
  const auto size = ReadStageSize(swf);
  ASSERT_TRUE(size);
  if (width > 0) {
    EXPECT_EQ(size->width, width);
    EXPECT_EQ(size->height, height);
  }
}

TEST(DemoCourse, MoviesAreFlashMoviesOfTheirStageSize) {
  ExpectMovie(kCourse / "main.swf", 1024, 652);  // the shell's window, unscaled
  ExpectMovie(kCourse / "lesson1" / "intro.swf", 640, 400);
  ExpectMovie(kCourse / "version.swf", 0, 0);
  const auto info = swf::ReadMovieInfo([&] {
    const std::string s = ReadAll(kCourse / "version.swf");
    return swf::Bytes(s.begin(), s.end());
  }());
  ASSERT_TRUE(info);
  EXPECT_FALSE(info->actionscript3);  // the runtime check reads its variables
}

TEST(DemoCourse, SoundsAreSpokenWaveFiles) {
  for (const char* name :
       {"lesson1/sounds/s1.wav", "lesson1/sounds/s2.wav", "lesson1/sounds/s3.wav",
        "lesson1/sounds/s4.wav", "resources/Listening/greetings_dialogue.wav"}) {
    SCOPED_TRACE(name);
    const std::string wav = ReadAll(kCourse / name);
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(wav.substr(8, 4), "WAVE");
    // More than half a second of 16-bit mono speech at 22050 Hz.
    EXPECT_GT(wav.size(), 22050u);
  }
}

TEST(DemoCourse, PlayerAndFoldersAreInPlace) {
  struct stat st {};
  ASSERT_EQ(::stat((kCourse / "FlashPlayer.exe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(::access((kCourse / "FlashPlayer.exe").c_str(), X_OK), 0);

  // The library: categories with files in them.
  int categories = 0;
  for (const auto& entry : fs::directory_iterator(kCourse / "resources")) {
    if (!entry.is_directory()) continue;
    ++categories;
    EXPECT_FALSE(fs::is_empty(entry.path())) << entry.path();
  }
  EXPECT_GE(categories, 2);
  EXPECT_FALSE(fs::is_empty(kCourse / "lesson1" / "resource"));
}

// What the movie names below the program folder must be there: every sound, every
// document and the course folder of "selectresource" / "otherresource".
TEST(DemoCourse, EveryFileTheMovieNamesExists) {
  const std::string movie = ReadAll(kDemoSource / "movies" / "Main.hx");
  ASSERT_FALSE(movie.empty());
  std::set<std::string> named;
  const std::regex sound(R"re(sound: "([^"]+)")re");
  const std::regex exec(R"re(command\("exec", "([^"]+)"\))re");
  for (const std::regex& pattern : {sound, exec}) {
    for (auto it = std::sregex_iterator(movie.begin(), movie.end(), pattern);
         it != std::sregex_iterator(); ++it) {
      named.insert((*it)[1]);
    }
  }
  EXPECT_GE(named.size(), 7u);  // four sounds, three documents
  for (const std::string& name : named) {
    EXPECT_TRUE(fs::is_regular_file(kCourse / name)) << name;
  }

  std::smatch course;
  ASSERT_TRUE(std::regex_search(movie, course, std::regex(R"re(COURSE = "([^"]+)")re")));
  // The shell appends "resource" to the course sub-path.
  EXPECT_TRUE(fs::is_directory(kCourse / (course[1].str() + "resource"))) << course[1];
}

// The movie embeds only the Chinese characters listed for its Han font: a character
// missing from that list would be drawn as nothing.
TEST(DemoCourse, EveryChineseCharacterOfTheMovieIsEmbedded) {
  for (const char* file : {"Main.hx", "Lesson.hx"}) {
    SCOPED_TRACE(file);
    const std::string source = ReadAll(kDemoSource / "movies" / file);
    ASSERT_FALSE(source.empty());
    std::string embedded;
    std::smatch range;
    if (std::regex_search(source, range, std::regex(R"re(@:font\("droid/[^"]+", "([^"]*)"\))re"))) {
      embedded = range[1];
    }
    std::string rest = source;
    if (!embedded.empty()) rest.erase(range.position(0), range.length(0));
    // Each multi-byte UTF-8 character of three or more bytes (CJK and its punctuation).
    for (std::size_t i = 0; i < rest.size();) {
      const auto b = static_cast<unsigned char>(rest[i]);
      const std::size_t len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      if (len >= 3) {
        const std::string ch = rest.substr(i, len);
        EXPECT_NE(embedded.find(ch), std::string::npos) << "not embedded: " << ch;
      }
      i += len;
    }
  }
}

}  // namespace
}  // namespace qm
