// TMediaPlayer against a device that records its commands: which commands go out, with
// which flags, and what the player makes of the answers and notifications.
#include "media/media_player.h"

#include <gtest/gtest.h>

#include "headless/media_ports.h"
#include "headless/scripted_ports.h"
#include "support/fake_media_control.h"

namespace qm::testing {
namespace {

using Sent = std::vector<std::string>;

class MediaPlayerTest : public ::testing::Test {
 protected:
  // An open device (id 1) on a.wav, with the record of the open cleared.
  void OpenA() {
    player.FileName = "a.wav";
    player.OpenMedia();
    mci.sent.clear();
  }

  headless::Journal journal;
  headless::ManualWindowSystem windows{journal};
  FakeMediaControl mci{windows};
  TMediaPlayer player{mci};
};

TEST_F(MediaPlayerTest, OpenSendsTheElementToDeviceZeroAndTakesTheAnsweredId) {
  mci.next_device_id = 7;
  player.FileName = "C:/course/a.wav";
  player.OpenMedia();
  EXPECT_EQ(mci.sent, Sent({"open(0) wait|element C:/course/a.wav"}));
  EXPECT_TRUE(player.IsOpen());
  EXPECT_EQ(player.DeviceId(), 7);
  EXPECT_EQ(player.LastError(), 0u);

  // Opening again closes the old device first.
  mci.sent.clear();
  player.FileName = "b.mp3";
  player.OpenMedia();
  EXPECT_EQ(mci.sent, Sent({"close(7) wait", "open(0) wait|element b.mp3"}));
  EXPECT_EQ(player.DeviceId(), 8);
}

TEST_F(MediaPlayerTest, FailedOpenRaisesTheDeviceTextAndStaysClosed) {
  mci.results[kMciOpen] = {kMciErrFilenameRequired, kMciErrFileNotFound};
  mci.error_texts[kMciErrFilenameRequired] = "A valid filename is required.";
  player.FileName = "";
  try {
    player.OpenMedia();
    FAIL() << "no error";
  } catch (const EMCIDeviceError& e) {
    EXPECT_STREQ(e.what(), "A valid filename is required.");
  }
  EXPECT_EQ(mci.sent, Sent({"open(0) wait|element "}));
  EXPECT_FALSE(player.IsOpen());
  EXPECT_EQ(player.DeviceId(), 0);
  EXPECT_EQ(player.LastError(), kMciErrFilenameRequired);

  // A code the interface has no text for.
  player.FileName = "x.wav";
  try {
    player.OpenMedia();
    FAIL() << "no error";
  } catch (const EMCIDeviceError& e) {
    EXPECT_STREQ(e.what(), "Unknown error code");
  }
}

TEST_F(MediaPlayerTest, CloseSendsNothingWithoutDeviceAndKeepsARefusingDeviceOpen) {
  EXPECT_EQ(player.CloseMedia(), 0u);
  EXPECT_TRUE(mci.sent.empty());

  OpenA();
  mci.results[kMciClose] = {kMciErrHardware};
  EXPECT_EQ(player.CloseMedia(), kMciErrHardware);
  EXPECT_TRUE(player.IsOpen());
  EXPECT_EQ(player.DeviceId(), 1);
  EXPECT_EQ(player.CloseMedia(), 0u);
  EXPECT_FALSE(player.IsOpen());
  EXPECT_EQ(player.DeviceId(), 0);
  EXPECT_EQ(mci.sent, Sent({"close(1) wait", "close(1) wait"}));
}

TEST_F(MediaPlayerTest, EveryOperationOnAnOpenDeviceRaisesBeforeSendingWhenNoneIsOpen) {
  const std::vector<std::pair<const char*, std::function<void()>>> operations = {
      {"Play", [&] { player.PlayMedia(); }},     {"Record", [&] { player.RecordMedia(); }},
      {"Stop", [&] { player.StopMedia(); }},     {"Pause", [&] { player.PauseMedia(); }},
      {"Resume", [&] { player.ResumeMedia(); }}, {"Save", [&] { player.SaveMedia(); }},
      {"Rewind", [&] { player.RewindMedia(); }}, {"Length", [&] { player.QueryLength(); }},
      {"Toggle", [&] { player.TogglePause(); }},
  };
  for (const auto& [name, operation] : operations) {
    try {
      operation();
      ADD_FAILURE() << name << " raised nothing";
    } catch (const EMCIDeviceError& e) {
      EXPECT_STREQ(e.what(), "No MCI device open") << name;
    }
  }
  EXPECT_TRUE(mci.sent.empty());
}

TEST_F(MediaPlayerTest, QueriesGoOutEvenWithoutDevice) {
  EXPECT_EQ(player.QueryMode(), kMciModeNotReady);
  EXPECT_EQ(player.QueryPosition(), 0u);
  EXPECT_EQ(player.LastError(), kMciErrInvalidDeviceId);
  EXPECT_EQ(mci.sent, Sent({"status(0) wait|item mode", "status(0) wait|item position"}));

  OpenA();
  mci.mode = kMciModePlay;
  mci.position = 300;
  EXPECT_EQ(player.QueryMode(), kMciModePlay);
  EXPECT_EQ(player.QueryPosition(), 300u);
  EXPECT_EQ(player.QueryLength(), 1000u);
  EXPECT_EQ(player.LastError(), 0u);
  mci.results[kMciStatus] = {kMciErrHardware};
  EXPECT_EQ(player.QueryMode(), kMciModeNotReady);
}

TEST_F(MediaPlayerTest, TogglePauseFollowsTheMode) {
  OpenA();
  mci.mode = kMciModeStop;
  player.TogglePause();
  EXPECT_EQ(mci.sent, Sent({"status(1) wait|item mode", "status(1) wait|item mode"}));

  mci.sent.clear();
  mci.mode = kMciModePlay;
  player.TogglePause();
  EXPECT_EQ(mci.sent, Sent({"status(1) wait|item mode", "pause(1) wait"}));

  mci.sent.clear();
  mci.mode = kMciModePause;
  player.TogglePause();
  EXPECT_EQ(mci.sent,
            Sent({"status(1) wait|item mode", "status(1) wait|item mode", "resume(1) notify"}));
}

TEST_F(MediaPlayerTest, PlayRewindsADeviceAtItsEndUnlessAStartIsGiven) {
  OpenA();
  mci.position = 1000;  // = length
  player.PlayMedia();
  EXPECT_EQ(mci.sent, Sent({"status(1) wait|item position", "status(1) wait|item length",
                            "seek(1) wait|start", "play(1) notify"}));

  mci.sent.clear();
  mci.position = 400;
  player.PlayMedia();
  EXPECT_EQ(mci.sent,
            Sent({"status(1) wait|item position", "status(1) wait|item length", "play(1) notify"}));

  mci.sent.clear();
  mci.position = 1000;
  player.NextFrom = 750;
  player.PlayMedia();
  EXPECT_EQ(mci.sent, Sent({"play(1) notify|from 750"}));

  mci.sent.clear();
  player.AutoRewind = false;
  player.PlayMedia();
  EXPECT_EQ(mci.sent, Sent({"play(1) notify"}));
}

TEST_F(MediaPlayerTest, RewindReturnsItsResultWithoutRecordingIt) {
  OpenA();
  mci.results[kMciSeek] = {kMciErrHardware};
  EXPECT_EQ(player.RewindMedia(), kMciErrHardware);
  EXPECT_EQ(player.LastError(), 0u);
}

TEST_F(MediaPlayerTest, OneShotOptionsAreConsumedByTheNextCommandThatConsultsThem) {
  OpenA();
  player.AutoRewind = false;

  // Notify-style: false leaves the notify out, once.
  player.NextNotify = false;
  player.PlayMedia();
  player.RecordMedia();
  // Wait-style: true adds it, false is consumed all the same.
  player.NextNotify = true;
  player.StopMedia();
  player.PauseMedia();
  player.NextNotify = false;
  player.StopMedia();
  player.PlayMedia();
  // NextFrom goes with the next play or record only; queries leave both alone.
  player.NextFrom = 20;
  player.NextNotify = false;
  player.QueryMode();
  player.RecordMedia();
  player.RecordMedia();
  EXPECT_EQ(mci.sent, Sent({"play(1) 0", "record(1) notify", "stop(1) notify|wait", "pause(1) wait",
                            "stop(1) wait", "play(1) notify", "status(1) wait|item mode",
                            "record(1) from 20", "record(1) notify"}));
  EXPECT_FALSE(player.NextFrom.Pending());
}

TEST_F(MediaPlayerTest, ARefusedResumePlaysFromTheCurrentPositionInstead) {
  OpenA();
  mci.position = 500;
  mci.results[kMciResume] = {kMciErrNonapplicableFunction};
  player.NextNotify = false;
  EXPECT_EQ(player.ResumeMedia(), 0u);
  // The refused resume did not consume NextNotify: the play takes it.
  EXPECT_EQ(mci.sent, Sent({"resume(1) 0", "status(1) wait|item position",
                            "status(1) wait|item length", "play(1) 0"}));

  // An accepted resume consumes it.
  mci.sent.clear();
  player.NextNotify = false;
  player.ResumeMedia();
  player.ResumeMedia();
  EXPECT_EQ(mci.sent, Sent({"resume(1) 0", "resume(1) notify"}));
}

TEST_F(MediaPlayerTest, SaveNamesTheFileAndSendsNothingWithoutOne) {
  OpenA();
  mci.results[kMciStop] = {kMciErrHardware};
  player.StopMedia();
  player.FileName = "";
  EXPECT_EQ(player.SaveMedia(), kMciErrHardware);
  EXPECT_EQ(player.LastError(), kMciErrHardware);
  player.FileName = "/c/Temp.wav";
  EXPECT_EQ(player.SaveMedia(), 0u);
  EXPECT_EQ(mci.sent, Sent({"stop(1) wait", "save(1) wait|file /c/Temp.wav"}));
}

TEST_F(MediaPlayerTest, NotificationsAreHandledFromTheMessageLoop) {
  OpenA();
  int raised = 0;
  player.OnNotify = [&](TMediaPlayer& sender) {
    EXPECT_EQ(&sender, &player);
    ++raised;
  };
  player.PlayMedia();
  mci.Notify(kMciNotifySuccessful);
  EXPECT_EQ(raised, 0);  // posted, not sent
  windows.ProcessMessages();
  EXPECT_EQ(raised, 1);
  EXPECT_EQ(player.LastNotifyResult(), kMciNotifySuccessful);

  mci.Notify(kMciNotifyAborted);
  mci.Notify(16);  // not a notification code: kept out, but still raised
  windows.ProcessMessages();
  EXPECT_EQ(raised, 3);
  EXPECT_EQ(player.LastNotifyResult(), kMciNotifyAborted);
}

TEST(MediaPlayerLifetime, ClosesAnOpenDeviceWhenDestroyedAndDropsLateNotifications) {
  headless::Journal journal;
  headless::ManualWindowSystem windows{journal};
  FakeMediaControl mci{windows};
  {
    TMediaPlayer player{mci};
    player.OnNotify = [](TMediaPlayer&) { FAIL() << "raised after destruction"; };
    player.FileName = "a.wav";
    player.OpenMedia();
    player.PlayMedia();
    mci.Notify(kMciNotifySuccessful);
  }
  windows.ProcessMessages();
  EXPECT_EQ(mci.sent.back(), "close(1) wait");
  EXPECT_TRUE(mci.open_devices.empty());
}

TEST(RegisterMciExtensions, WritesTheSevenMappingsInOrder) {
  headless::RecordingProfileWriter profile;
  RegisterMciExtensions(profile);
  using W = headless::RecordingProfileWriter::Write;
  EXPECT_EQ(profile.writes, (std::vector<W>{
                                {"win.ini", "mci extensions", "mpg", "MPEGVideo"},
                                {"win.ini", "mci extensions", "dat", "MPEGVideo"},
                                {"win.ini", "mci extensions", "mpv", "MPEGVideo"},
                                {"win.ini", "mci extensions", "mpeg", "MPEGVideo"},
                                {"win.ini", "mci extensions", "cjt", "MPEGVideo"},
                                {"win.ini", "mci extensions", "avi", "AVIVideo"},
                                {"system.ini", "mci", "MPEGVideo", "mciqtz.drv"},
                            }));
}

}  // namespace
}  // namespace qm::testing
