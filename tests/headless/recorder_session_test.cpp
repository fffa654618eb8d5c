// A recording exchange through the headless driver: the movie's commands in, the device
// commands, the movie calls and the file on disk out.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "headless/driver.h"
#include "media/wav_format.h"
#include "platform/media_control.h"
#include "support/test_support.h"
#include "text/codepage.h"

namespace qm::testing {
namespace {

using Json = nlohmann::json;

class RecorderSessionTest : public ::testing::Test {
 protected:
  RecorderSessionTest() {
    headless::DriverOptions options;
    options.app_dir = app.Dir();
    options.common_appdata = appdata.Path().string();
    options.codepage = "UTF-8";
    options.app_title = "Course";
    options.update_url = "http://127.0.0.1:9";  // refused at once: no update check
    driver = std::make_unique<headless::Driver>(
        options, [this](const std::string& line) { lines.push_back(Json::parse(line)); });
    driver->Start();
  }
  ~RecorderSessionTest() override { text::SetAnsiCodePage("UTF-8"); }

  void Input(const Json& line) { driver->HandleLine(line.dump()); }
  std::vector<Json> With(const std::string& key) const {
    std::vector<Json> out;
    for (const auto& line : lines) {
      if (line.contains(key)) out.push_back(line[key]);
    }
    return out;
  }
  std::vector<std::string> DeviceCommands() const {
    std::vector<std::string> out;
    for (const auto& mci : With("mci")) {
      if (mci["command"] != "status") out.push_back(mci["command"].get<std::string>());
    }
    return out;
  }
  std::vector<std::string> MovieEvents() const {
    std::vector<std::string> out;
    for (const auto& call : With("movie_call")) {
      const std::string text = call.get<std::string>();
      if (text.find("DelphiCallBack") == std::string::npos) continue;
      const std::size_t start = text.find("<string>") + 8;
      out.push_back(text.substr(start, text.find("</string>") - start));
    }
    return out;
  }

  TempDir app;
  TempDir appdata;
  std::vector<Json> lines;
  std::unique_ptr<headless::Driver> driver;
};

TEST_F(RecorderSessionTest, RecordingExchange) {
  Input({{"fscommand", {"recording", "audio/src.mp3"}}});
  Input({{"fscommand", {"beginrecord", ""}}});
  EXPECT_EQ(DeviceCommands(), (std::vector<std::string>{"open", "record"}));
  const Json open = With("mci")[0];
  EXPECT_EQ(open, Json({{"command", "open"},
                        {"device", 0},
                        {"flags", kMciWait | kMciOpenElement},
                        {"name", app.Dir() + "Temp.wav"},
                        {"result", 0}}));
  Input({{"advance_ms", 750}});
  EXPECT_EQ(MovieEvents(), std::vector<std::string>{"canspeak"});
  Input({{"advance_ms", 1250}});
  Input({{"fscommand", {"stopandplayrecord", ""}}});
  EXPECT_EQ(DeviceCommands(), (std::vector<std::string>{"open", "record", "stop", "save", "play"}));
  const Json play = With("mci").back();
  EXPECT_EQ(play["flags"], kMciNotify | kMciFrom);
  EXPECT_EQ(play["device"], 1);
  EXPECT_EQ(play["result"], 0);

  const std::string wav = app.ReadFile("Temp.wav");
  ASSERT_EQ(wav.size(), 44u + 176400u);
  EXPECT_EQ(wav.substr(0, 44), WavHeader(2, 16, 22050, 176400));

  Input({{"advance_ms", 1260}});
  EXPECT_EQ(MovieEvents(), (std::vector<std::string>{"canspeak", "playrecordover"}));
  Input({{"fscommand", {"closerecord", ""}}});
  EXPECT_EQ(DeviceCommands().back(), "close");
  EXPECT_TRUE(With("dialog").empty());
}

TEST_F(RecorderSessionTest, AnUnplayableFileShowsTheDeviceText) {
  Input({{"fscommand", {"audio", "audio/none.mp3"}}});
  const auto dialogs = With("dialog");
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["type"], "plain");
  EXPECT_EQ(dialogs[0]["text"],
            "Cannot find the specified file. Make sure the path and filename are correct.");
  const Json open = With("mci").back();
  EXPECT_EQ(open["command"], "open");
  EXPECT_EQ(open["result"], kMciErrFileNotFound);
}

}  // namespace
}  // namespace qm::testing
