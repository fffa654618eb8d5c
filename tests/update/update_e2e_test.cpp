// The whole update check as course authors see it: the headless driver against nginx on
// loopback, with the update service's address given by --update-url.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include <nlohmann/json.hpp>

#include "support/nginx_server.h"
#include "support/test_support.h"
#include "update/update_check.h"

namespace qm::testing {
namespace {

using Json = nlohmann::json;

std::string Payload(std::size_t size) {
  std::string out(size, '\0');
  std::uint64_t x = 0x9E3779B97F4A7C15ULL;
  for (auto& c : out) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    c = static_cast<char>(x);
  }
  return out;
}

class UpdateEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    nginx = std::make_unique<NginxServer>(www.Path());
    ASSERT_TRUE(nginx->Running()) << "nginx did not start: " << nginx->ErrorLog();
  }

  void SetReply(std::string_view reply) {
    www.WriteFile(
        "index.php/index/soft_update/" + std::string(UpdateCheck::kProductId) + "/1.0/index.html",
        reply);
  }

  // Runs the driver on `script`; the output lines, parsed.
  std::vector<Json> Run(const std::string& script, const std::string& update_url,
                        int* status = nullptr, const std::string& more_args = "") {
    scratch.WriteFile("script.jsonl", script);
    const std::string command =
        std::string(QM_HEADLESS_EXE) + " --app-dir '" + app.Path().string() +
        "' --common-appdata '" + appdata.Path().string() + "' --update-url '" + update_url + "' " +
        more_args + " < '" + (scratch.Path() / "script.jsonl").string() + "' 2>/dev/null";
    std::vector<Json> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return lines;
    std::string output;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
    const int code = pclose(pipe);
    if (status != nullptr) *status = code;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
      Json value = Json::parse(line, nullptr, false);
      EXPECT_FALSE(value.is_discarded()) << "not JSON: " << line;
      lines.push_back(value);
    }
    return lines;
  }

  TempDir www;
  TempDir app;
  TempDir appdata;
  TempDir scratch;
  std::unique_ptr<NginxServer> nginx;
};

TEST_F(UpdateEndToEndTest, NewestReplyEndsTheCheckSilently) {
  SetReply("newest");
  const auto lines = Run("{\"advance_ms\": 1000}\n{\"advance_ms\": 5000}\n", nginx->Url());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["shell"]["file"], "regsvr32 " + app.Dir() + "Flash10h.ocx");
  EXPECT_EQ(lines[1], Json({{"exit", 0}}));
  EXPECT_EQ(app.ReadFile("result.txt"), "newest");
}

TEST_F(UpdateEndToEndTest, UpgradeIsDownloadedSavedStartedAndTheProgramEnds) {
  const std::string body = Payload(3 * 1024 * 1024 + 17);
  www.WriteFile("upload/setup.bin", body);
  SetReply("A new version is ready. @@@/upload/setup.bin");
  const auto lines =
      Run("{\"answer\": 6}\n{\"advance_ms\": 1000}\n{\"advance_ms\": 1000}\n", nginx->Url());
  ASSERT_EQ(lines.size(), 6u) << Json(lines).dump(1);
  EXPECT_EQ(lines[1], Json({{"dialog",
                             {{"type", "message"},
                              {"text", "检查到软件有升级程序，是否升级？"},
                              {"caption", "确认"},
                              {"kind", 3},
                              {"buttons", 3},
                              {"result", 6}}}}));
  const auto size = static_cast<std::int64_t>(body.size());
  EXPECT_EQ(lines[2], Json({{"dialog",
                             {{"type", "progress"},
                              {"event", "shown"},
                              {"caption", "进度"},
                              {"label", "进度"},
                              {"min", 0},
                              {"max", size}}}}));
  EXPECT_EQ(lines[3], Json({{"dialog",
                             {{"type", "progress"},
                              {"event", "closed"},
                              {"min", 0},
                              {"max", size},
                              {"value", size},
                              {"by", "value"}}}}));
  EXPECT_EQ(lines[4], Json({{"shell",
                             {{"verb", "open"},
                              {"file", app.Dir() + "setup.bin"},
                              {"params", ""},
                              {"dir", ""},
                              {"show", 1}}}}));
  EXPECT_EQ(lines[5], Json({{"exit", 0}}));  // the next input line is not read
  EXPECT_TRUE(app.ReadFile("setup.bin") == body) << "the saved upgrade differs from the body";
}

TEST_F(UpdateEndToEndTest, MissingUpgradeShowsTheAddressToFetchByHand) {
  SetReply("@@@/upload/missing.bin");
  const auto lines =
      Run("{\"answer\": 6}\n{\"answer\": null}\n{\"advance_ms\": 1000}\n", nginx->Url());
  ASSERT_EQ(lines.size(), 4u) << Json(lines).dump(1);
  EXPECT_EQ(lines[1]["dialog"]["type"], "message");
  EXPECT_EQ(lines[2], Json({{"dialog",
                             {{"type", "input"},
                              {"caption", "自动下载失败，请使用下列地址手动下载"},
                              {"prompt", "升级文件路径："},
                              {"text", nginx->Url() + "/upload/missing.bin"},
                              {"result", nullptr}}}}));
  EXPECT_EQ(lines[3], Json({{"exit", 0}}));
  EXPECT_FALSE(app.Exists("missing.bin"));
}

TEST_F(UpdateEndToEndTest, DoubleByteReplyInTheCodePage) {
  www.WriteFile("upload/setup.bin", "ok");
  // "新版本" in CP936, then the marker and the path.
  SetReply("\xd0\xc2\xb0\xe6\xb1\xbe@@@/upload/setup.bin");
  const auto lines =
      Run("{\"answer\": 6}\n{\"advance_ms\": 1000}\n", nginx->Url(), nullptr, "--codepage CP936");
  ASSERT_EQ(lines.size(), 6u) << Json(lines).dump(1);
  EXPECT_EQ(lines[1]["dialog"]["text"], "检查到软件有升级程序，是否升级？");
  EXPECT_EQ(lines[4]["shell"]["file"], app.Dir() + "setup.bin");
  EXPECT_EQ(app.ReadFile("setup.bin"), "ok");
}

TEST_F(UpdateEndToEndTest, UpdateUrlMustBeAnHttpAddress) {
  int status = 0;
  const auto lines = Run("", "https://127.0.0.1", &status);
  EXPECT_TRUE(lines.empty());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
}

}  // namespace
}  // namespace qm::testing
