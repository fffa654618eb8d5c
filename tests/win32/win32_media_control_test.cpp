// The system's own "waveaudio" device under the adapter, on WAV files the tests write.
#include "win32/win32_media_control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
// The file layer's own names, not the system's A/W macros.
#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#include <mmsystem.h>

#include <condition_variable>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qm {
namespace {

using ::testing::Return;

// A GUI thread's queue: Post from any thread, the test thread runs what was posted.
class QueueWindowSystem : public IWindowSystem {
 public:
  std::unique_ptr<ITimer> CreateTimer(int, bool, std::function<void()>) override { return {}; }
  void Post(std::function<void()> message) override {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(message));
    arrived_.notify_all();
  }
  void ProcessMessages() override {}
  // Waits for the next posted message and runs it; false when none came (the bound only
  // keeps a broken device from hanging the run).
  bool RunNextPosted() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!arrived_.wait_for(lock, std::chrono::seconds(30), [&] { return !posted_.empty(); }))
      return false;
    auto message = std::move(posted_.front());
    posted_.pop_front();
    lock.unlock();
    message();
    return true;
  }
  std::int64_t TickCount() override { return static_cast<std::int64_t>(GetTickCount64()); }
  void Terminate() override {}
  bool Terminated() const override { return false; }
  void DragMainWindow() override {}
  void SetMainWindowState(WindowState) override {}
  int ShowModal(IModalForm&) override { return 0; }
  void SetMessageHook(MessageHook) override {}

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::function<void()>> posted_;
};

class Files : public IFileSystem {
 public:
  MOCK_METHOD(std::string, FindOnDisk, (std::string_view), (const, override));
  MOCK_METHOD(bool, FirstMatchIsFile, (std::string_view), (override));
  MOCK_METHOD(bool, DirectoryExists, (std::string_view), (override));
  MOCK_METHOD(bool, CreateDirectory, (std::string_view), (override));
  MOCK_METHOD(std::string, ReadFirstLine, (std::string_view), (override));
  MOCK_METHOD(void, WriteTextFile, (std::string_view, std::string_view), (override));
  MOCK_METHOD(void, WriteBinaryFile, (std::string_view, std::string_view), (override));
  MOCK_METHOD(std::string, ReadBinaryFile, (std::string_view), (override));
  MOCK_METHOD(std::unique_ptr<IFileReplacement>, BeginReplace, (std::string_view), (override));
  MOCK_METHOD(bool, CopyFile, (std::string_view, std::string_view, bool), (override));
  MOCK_METHOD(bool, DeleteFile, (std::string_view), (override));
  MOCK_METHOD(std::string, NativePath, (std::string_view), (const, override));
  MOCK_METHOD(std::string, FindNative, (const std::string&), (const, override));
  MOCK_METHOD(std::vector<std::string>, FolderPlaces, (const std::string&), (const, override));
  MOCK_METHOD(bool, ListFolder,
              (const std::string&, FolderEntries, std::vector<std::string>&, bool),
              (const, override));
  MOCK_METHOD(bool, CanOpenFolder, (const std::string&), (const, override));
  MOCK_METHOD(bool, HasSubfolder, (const std::string&), (const, override));
  MOCK_METHOD(bool, RenameEntry, (const std::string&, const std::string&), (override));
};

struct Recorder : IMciNotifyWindow {
  void OnMciNotify(std::uint32_t code, std::uint16_t device) override {
    got.push_back({code, device, std::this_thread::get_id()});
  }
  struct Got {
    std::uint32_t code;
    std::uint16_t device;
    std::thread::id thread;
  };
  std::vector<Got> got;
};

std::string TempPath(const char* name) {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  return std::string(folder) + name;
}

// 16-bit mono PCM at 8000 Hz, one second of a square wave.
void WriteWav(const std::string& path) {
  const std::uint32_t bytes = 16000;
  std::ofstream out(path, std::ios::binary);
  const auto put = [&](std::uint32_t value, int size) {
    out.write(reinterpret_cast<const char*>(&value), size);
  };
  out << "RIFF";
  put(36 + bytes, 4);
  out << "WAVEfmt ";
  for (const auto& [value, size] :
       {std::pair{16u, 4}, {1u, 2}, {1u, 2}, {8000u, 4}, {16000u, 4}, {2u, 2}, {16u, 2}})
    put(value, size);
  out << "data";
  put(bytes, 4);
  for (std::uint32_t i = 0; i < bytes / 2; ++i) put((i / 20) % 2 ? 0x2000 : 0xE000, 2);
}

class Win32MediaControlTest : public testing::Test {
 protected:
  void SetUp() override {
    WriteWav(clip_);
    // The course names its files in ANSI with "/"; the file layer finds them.
    ON_CALL(files_, FindOnDisk("sounds/clip.wav")).WillByDefault(Return(clip_));
    MciParms parms;
    parms.lpstrDeviceType = "waveaudio";
    parms.lpstrElementName = "sounds/clip.wav";
    ASSERT_EQ(mci_.SendCommand(0, kMciOpen, kMciWait | kMciOpenType | kMciOpenElement, parms), 0u);
    device_ = parms.wDeviceID;
  }
  void TearDown() override {
    Send(kMciClose, kMciWait);
    DeleteFileA(clip_.c_str());
  }
  std::uint32_t Send(std::uint32_t command, std::uint32_t flags,
                     std::shared_ptr<IMciNotifyWindow> window = {}) {
    MciParms parms;
    parms.dwCallback = window;
    return mci_.SendCommand(device_, command, flags, parms);
  }
  std::uint32_t Status(std::uint32_t item) {
    MciParms parms;
    parms.dwItem = item;
    EXPECT_EQ(mci_.SendCommand(device_, kMciStatus, kMciWait | kMciStatusItem, parms), 0u);
    return parms.dwReturn;
  }

  std::string clip_ = TempPath("qm_mci_clip.wav");
  QueueWindowSystem windows_;
  testing::NiceMock<Files> files_;
  Win32MediaControl mci_{windows_, files_};
  std::uint16_t device_ = 0;
};

TEST_F(Win32MediaControlTest, OpensTheFileTheFileLayerFindsStoppedAtItsStart) {
  EXPECT_EQ(Status(kMciStatusLength), 1000u);  // milliseconds
  EXPECT_EQ(Status(kMciStatusPosition), 0u);
  EXPECT_EQ(Status(kMciStatusMode), kMciModeStop);
}

// Playing and recording need the system's devices, which Wine's null driver lacks.
#define NEEDS_DEVICES(count) \
  if ((count) == 0) GTEST_SKIP() << "no wave devices (Wine's null driver)"

TEST_F(Win32MediaControlTest, PlayWithWaitReturnsAtTheEnd) {
  NEEDS_DEVICES(waveOutGetNumDevs());
  ASSERT_EQ(Send(kMciPlay, kMciWait), 0u);
  EXPECT_EQ(Status(kMciStatusPosition), 1000u);
  EXPECT_EQ(Status(kMciStatusMode), kMciModeStop);
}

// Notified plays, then what ends them: each one's report arrives on the GUI thread's
// queue, in order.
TEST_F(Win32MediaControlTest, NotifiedPlaysReportTheirEndThroughTheWindowSystem) {
  NEEDS_DEVICES(waveOutGetNumDevs());
  struct Case {
    int plays;
    std::uint32_t then;  // 0: nothing
    std::vector<std::uint32_t> codes;
  };
  for (const Case& c : {Case{1, 0, {kMciNotifySuccessful}},
                        Case{2, 0, {kMciNotifySuperseded, kMciNotifySuccessful}},
                        Case{1, kMciStop, {kMciNotifyAborted}}}) {
    SCOPED_TRACE(testing::Message() << c.plays << " plays, then " << c.then);
    ASSERT_EQ(Send(kMciSeek, kMciWait | kMciSeekToStart), 0u);
    std::vector<std::shared_ptr<Recorder>> windows;
    for (int i = 0; i < c.plays; ++i) {
      windows.push_back(std::make_shared<Recorder>());
      ASSERT_EQ(Send(kMciPlay, kMciNotify, windows.back()), 0u);
    }
    if (c.then) {
      ASSERT_EQ(Send(c.then, kMciWait), 0u);
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
      ASSERT_TRUE(windows_.RunNextPosted());
      ASSERT_EQ(windows[i]->got.size(), 1u);
      EXPECT_EQ(windows[i]->got[0].code, c.codes[i]);
      EXPECT_EQ(windows[i]->got[0].device, device_);
      EXPECT_EQ(windows[i]->got[0].thread, std::this_thread::get_id());
    }
  }
}

TEST_F(Win32MediaControlTest, ErrorsAreTheSystemsCodesAndTexts) {
  MciParms missing;
  missing.lpstrDeviceType = "waveaudio";
  missing.lpstrElementName = "sounds/missing.wav";
  EXPECT_CALL(files_, FindOnDisk("sounds/missing.wav"))
      .WillOnce(Return("C:/no-folder/missing.wav"));
  EXPECT_EQ(mci_.SendCommand(0, kMciOpen, kMciWait | kMciOpenType | kMciOpenElement, missing),
            kMciErrFileNotFound);
  EXPECT_EQ(mci_.SendCommand(999, kMciStop, kMciWait, missing), kMciErrInvalidDeviceId);
  const auto text = mci_.GetErrorString(kMciErrFileNotFound);
  ASSERT_TRUE(text.has_value());
  EXPECT_FALSE(text->empty());
  EXPECT_NE(mci_.GetErrorString(kMciErrInvalidDeviceId), text);
  EXPECT_EQ(mci_.GetErrorString(12345), std::nullopt);
}

TEST_F(Win32MediaControlTest, RecordsAndSaves) {
  NEEDS_DEVICES(waveInGetNumDevs());
  MciParms record;
  record.dwTo = 100;
  ASSERT_EQ(mci_.SendCommand(device_, kMciRecord, kMciWait | kMciTo, record), 0u);
  MciParms save;
  save.lpfilename = TempPath("qm_mci_recorded.wav");
  ASSERT_EQ(mci_.SendCommand(device_, kMciSave, kMciWait | kMciSaveFile, save), 0u);
  char riff[4] = {};
  std::ifstream(save.lpfilename, std::ios::binary).read(riff, 4);
  EXPECT_EQ(std::string(riff, 4), "RIFF");
  DeleteFileA(save.lpfilename.c_str());
}

}  // namespace
}  // namespace qm
