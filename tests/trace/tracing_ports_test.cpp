#include "trace/tracing_ports.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "headless/scripted_ports.h"
#include "text/codepage.h"
#include "trace/player_console.h"

namespace qm::testing {
namespace {

using nlohmann::json;

// The trace of one scripted control, on a clock that moves only when told to.
class TracingPortsTest : public ::testing::Test {
 protected:
  std::int64_t now = 1000;
  std::vector<json> lines;
  trace::TraceWriter writer{[this](const std::string& line) { lines.push_back(json::parse(line)); },
                            [this] { return now; }};
  headless::Journal journal;
  headless::ScriptedFlashControl inner{journal};
  trace::TracingFlashControl flash{inner, "flash1", writer};

  // Every field of `expected` is in the line, with the same value.
  static void ExpectLines(const std::vector<json>& actual, const std::vector<json>& expected) {
    ASSERT_EQ(actual.size(), expected.size()) << json(actual).dump();
    for (std::size_t i = 0; i < expected.size(); ++i) {
      for (const auto& [key, value] : expected[i].items()) {
        EXPECT_EQ(actual[i].value(key, json()), value) << key << " in " << actual[i].dump();
      }
      EXPECT_TRUE(actual[i].contains("t")) << actual[i].dump();
    }
  }
};

TEST_F(TracingPortsTest, EveryEventOfTheControlIsOneSelfDescribingLine) {
  const std::u16string load =
      u"<invoke name=\"loadfile\" returntype=\"xml\"><arguments><string>a/b.txt</string>"
      u"</arguments></invoke>";
  struct Case {
    const char* name;
    std::function<void()> handler_setup;
    std::function<void()> act;
    std::vector<json> expected;
  };
  const std::vector<Case> cases = {
      {"a request and its reply, with the time it took",
       [&] {
         flash.OnFlashCall([&](const std::u16string&) {
           now += 7;
           flash.SetReturnValue(u"<string>x</string>");
         });
       },
       [&] { inner.Call(load); },
       {{{"event", "request"},
         {"control", "flash1"},
         {"command", "loadfile"},
         {"arguments", {"a/b.txt"}},
         {"text", text::Utf16ToUtf8(load)},
         {"t", 0}},
        {{"event", "reply"}, {"command", "loadfile"}, {"reply", "<string>x</string>"}, {"ms", 7}}}},
      {"a request that gets no reply",
       [&] { flash.OnFlashCall([&](const std::u16string&) { now += 3; }); },
       [&] { inner.Call(u"<invoke name=\"DragingWindow\"><arguments/></invoke>"); },
       {{{"event", "request"}, {"command", "DragingWindow"}, {"arguments", json::array()}},
        {{"event", "no_reply"}, {"command", "DragingWindow"}, {"ms", 3}}}},
      {"a request that cannot be read",
       [&] { flash.OnFlashCall([](const std::u16string&) {}); },
       [&] { inner.Call(u"not xml"); },
       {{{"event", "request"}, {"command", ""}, {"text", "not xml"}}, {{"event", "no_reply"}}}},
      {"an fscommand with its argument",
       [] {},
       [&] { inner.Command(u"audio", u"sound/1.mp3"); },
       {{{"event", "fscommand"}, {"command", "audio"}, {"argument", "sound/1.mp3"}}}},
      {"a call into the movie and its reply",
       [&] { inner.movie_function = [](const std::u16string&) { return u"<true/>"; }; },
       [&] {
         flash.CallFunction(
             u"<invoke name=\"DelphiCallBack\" returntype=\"xml\"><arguments><string>canspeak"
             u"</string><string></string></arguments></invoke>");
       },
       {{{"event", "call"},
         {"function", "DelphiCallBack"},
         {"arguments", {"canspeak", ""}},
         {"reply", "<true/>"}}}},
      {"a variable read, and one refused",
       [&] { inner.SetVariable(u"mainver", u"11"); },
       [&] {
         flash.GetVariable(u"mainver");
         EXPECT_ANY_THROW(flash.GetVariable(u"submainver"));
       },
       {{{"event", "get_variable"}, {"name", "mainver"}, {"value", "11"}},
        {{"event", "get_variable"}, {"name", "submainver"}}}},
      {"a player failure",
       [] {},
       [&] { inner.Fail(IFlashControl::Failure::kMovieFailed, u"panic"); },
       {{{"event", "failure"}, {"kind", "movie_failed"}, {"detail", "panic"}}}},
      {"a movie loaded",
       [] {},
       [&] { flash.SetMovie(u"/c/main.swf"); },
       {{{"event", "movie"}, {"path", "/c/main.swf"}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lines.clear();
    c.handler_setup();
    c.act();
    ExpectLines(lines, c.expected);
  }
}

TEST_F(TracingPortsTest, TheOwnersHandlersStillHearEveryEvent) {
  std::vector<std::string> heard;
  flash.OnFSCommand([&](const std::u16string& c, const std::u16string&) {
    heard.push_back(text::Utf16ToUtf8(c));
  });
  flash.OnFlashCall([&](const std::u16string&) { flash.SetReturnValue(u"<true/>"); });
  flash.OnFailure(
      [&](IFlashControl::Failure, const std::u16string&) { heard.push_back("failed"); });
  inner.Command(u"exec", u"doc.pdf");
  EXPECT_EQ(inner.Call(u"<invoke name=\"x\"><arguments/></invoke>"), u"<true/>");
  inner.Fail(IFlashControl::Failure::kProcessLost, u"");
  EXPECT_EQ(heard, (std::vector<std::string>{"exec", "failed"}));
}

TEST_F(TracingPortsTest, DialogsAreTracedWithTheirAnswers) {
  headless::ScriptedDialogs inner_dialogs(journal);
  trace::TracingDialogs dialogs(inner_dialogs, writer);
  MessageDialogRequest message;
  message.caption = "Course";
  message.text = "Saved";
  dialogs.ShowMessageDialog(message);
  dialogs.ShowPlainMessage("No recorder", "Course");
  ExpectLines(lines,
              {{{"event", "dialog"}, {"dialog", "open"}, {"type", "message"}, {"text", "Saved"}},
               {{"event", "dialog"}, {"dialog", "closed"}, {"type", "message"}},
               {{"event", "dialog"}, {"dialog", "open"}, {"type", "plain"}},
               {{"event", "dialog"},
                {"dialog", "closed"},
                {"type", "plain"},
                {"caption", "Course"},
                {"answer", nullptr}}});
  EXPECT_TRUE(lines[1]["answer"].is_number());
}

// A device that accepts every command and reports the end of notifying ones at once.
class NotifyingDevice : public IMediaControl {
 public:
  std::uint32_t SendCommand(std::uint16_t, std::uint32_t command, std::uint32_t flags,
                            MciParms& parms) override {
    if (command == kMciOpen) parms.wDeviceID = 1;
    if (command == kMciOpen && parms.lpstrElementName == "missing.mp3") return kMciErrFileNotFound;
    if ((flags & kMciNotify) != 0) callback = parms.dwCallback;
    return 0;
  }
  std::optional<std::string> GetErrorString(std::uint32_t) override { return "not found"; }
  MciCallback callback;
};

class Window : public IMciNotifyWindow {
 public:
  void OnMciNotify(std::uint32_t code, std::uint16_t) override { codes.push_back(code); }
  std::vector<std::uint32_t> codes;
};

TEST_F(TracingPortsTest, MediaCommandsAndNotificationsAreTracedAndDelivered) {
  NotifyingDevice device;
  trace::TracingMediaControl media(device, writer);
  auto window = std::make_shared<Window>();
  MciParms open;
  open.lpstrElementName = "missing.mp3";
  EXPECT_EQ(media.SendCommand(0, kMciOpen, kMciOpenElement, open), kMciErrFileNotFound);
  MciParms play;
  play.dwCallback = window;
  EXPECT_EQ(media.SendCommand(1, kMciPlay, kMciNotify, play), 0u);
  const auto relay = device.callback.lock();
  ASSERT_TRUE(relay);
  relay->OnMciNotify(kMciNotifySuccessful, 1);
  EXPECT_EQ(window->codes, std::vector<std::uint32_t>{kMciNotifySuccessful});
  ExpectLines(lines, {{{"event", "media"},
                       {"command", "open"},
                       {"name", "missing.mp3"},
                       {"result", kMciErrFileNotFound},
                       {"error", "not found"}},
                      {{"event", "media"}, {"command", "play"}, {"device", 1}, {"result", 0}},
                      {{"event", "media_notify"}, {"code", "successful"}, {"device", 1}}});
}

}  // namespace
}  // namespace qm::testing

namespace qm::testing {
namespace {

TEST(PlayerConsoleTest, RufflesStyledLinesGiveLevelSourceAndText) {
  struct Case {
    const char* level;
    const char* message;
    trace::ConsoleMessage expected;
  };
  const Case cases[] = {
      {"info",
       "%cWARN%c core/src/stub.rs:144%c Encountered stub: AVM1 System.showSettings color: orange; "
       "background: #444 color: gray; font-style: italic color: inherit",
       {"warning", "core/src/stub.rs:144", "Encountered stub: AVM1 System.showSettings"}},
      {"info",
       "%cERROR%c core/src/avm2.rs:9%c Uncaught error color: red; background: #444 color: gray; "
       "font-style: italic color: inherit",
       {"error", "core/src/avm2.rs:9", "Uncaught error"}},
      {"info",
       "Loading SWF file qm://c1/fs/main.swf",
       {"info", "", "Loading SWF file qm://c1/fs/main.swf"}},
      {"error",
       "Uncaught TypeError: x is undefined",
       {"error", "", "Uncaught TypeError: x is undefined"}},
  };
  for (const Case& c : cases) {
    const auto got = trace::ReadConsoleMessage(c.level, c.message);
    EXPECT_EQ(got.level, c.expected.level) << c.message;
    EXPECT_EQ(got.source, c.expected.source) << c.message;
    EXPECT_EQ(got.text, c.expected.text) << c.message;
  }
}

}  // namespace
}  // namespace qm::testing
