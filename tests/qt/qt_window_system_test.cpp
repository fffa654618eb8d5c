// The window system on Qt (offscreen platform): timers, posted messages, the terminate
// request, modal windows, the right-button hook, window states and the drag.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <stdexcept>
#include <vector>

#include "headless/scripted_ports.h"
#include "platform/errors.h"
#include "qt/qt_loop.h"
#include "qt/qt_window_system.h"

namespace qm::qt {
namespace {

void RunFor(int ms) {
  testing::QtLoop::RunFor(ms);
}

// Runs the loop until `done` holds; a guard of half a minute keeps a fault from hanging.
bool RunUntil(const std::function<bool()>& done) {
  return testing::QtLoop::RunUntil(done, 30000);
}

// A widget that counts the mouse presses and releases it receives.
class Target : public QWidget {
 public:
  int right_presses = 0, right_releases = 0, left_presses = 0;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    (e->button() == Qt::RightButton ? right_presses : left_presses)++;
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::RightButton) ++right_releases;
  }
};

class Form : public IModalForm {
 public:
  std::string FormName() const override { return "TForm6"; }
  std::vector<std::pair<std::string, std::string>> Describe() const override { return {}; }
};

class WindowSystem : public ::testing::Test {
 protected:
  std::vector<std::string> Reports() const {
    std::vector<std::string> out;
    for (const auto& e : journal.Entries()) {
      if (e.contains("error_report")) out.push_back(e["error_report"]);
    }
    return out;
  }
  headless::Journal journal;
  headless::ScriptedDialogs dialogs{journal};
  QtWindowSystem windows{dialogs, "Course"};
};

TEST_F(WindowSystem, TimersRunWhileEnabledAndKeepTheirSettings) {
  int ticks = 0;
  auto timer = windows.CreateTimer(20, true, [&] { ++ticks; });
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 20);
  EXPECT_TRUE(RunUntil([&] { return ticks >= 3; })) << "the timer did not keep running";
  timer->SetEnabled(false);
  const int stopped = ticks;
  RunFor(100);
  EXPECT_EQ(ticks, stopped);

  // A zero interval never runs, even when enabled.
  int zero_ticks = 0;
  auto zero = windows.CreateTimer(0, true, [&] { ++zero_ticks; });
  RunFor(50);
  EXPECT_EQ(zero_ticks, 0);
  EXPECT_TRUE(zero->Enabled());
}

TEST_F(WindowSystem, ATimerThatFailsIsReportedAndKeepsRunning) {
  int ticks = 0;
  auto timer = windows.CreateTimer(20, true, [&] {
    ++ticks;
    throw EInOutError(EInOutError::kDiskFull);
  });
  EXPECT_TRUE(RunUntil([&] { return ticks >= 2; })) << "the timer stopped after its failure";
  timer.reset();
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), static_cast<std::size_t>(ticks));
  EXPECT_EQ(reports[0], "Disk full.");
}

TEST_F(WindowSystem, ATimerMayDestroyItselfInItsHandler) {
  int ticks = 0;
  std::unique_ptr<ITimer> timer;
  timer = windows.CreateTimer(10, true, [&] {
    ++ticks;
    timer.reset();
  });
  ASSERT_TRUE(RunUntil([&] { return ticks >= 1; })) << "the timer never ran";
  RunFor(50);
  EXPECT_EQ(ticks, 1);
}

TEST_F(WindowSystem, PostedMessagesRunInOrderFromTheLoopAndFailAlone) {
  std::vector<int> order;
  windows.Post([&] { order.push_back(1); });
  windows.Post([&] { throw std::runtime_error("posted failure"); });
  windows.Post([&] { order.push_back(3); });
  EXPECT_TRUE(order.empty()) << "posted messages run from the loop, not at once";
  windows.ProcessMessages();
  EXPECT_EQ(order, (std::vector<int>{1, 3}));
  EXPECT_EQ(Reports(), std::vector<std::string>{"posted failure."});
}

TEST_F(WindowSystem, TickCountIsMonotonicMilliseconds) {
  QElapsedTimer outer;
  outer.start();
  const std::int64_t start = windows.TickCount();
  QElapsedTimer inner;
  inner.start();
  RunFor(60);
  const std::int64_t inner_ms = inner.elapsed();
  const std::int64_t later = windows.TickCount();
  const std::int64_t outer_ms = outer.elapsed();
  // Milliseconds of a clock that runs with the monotonic clock measured around it.
  EXPECT_GE(later - start, inner_ms - 1);
  EXPECT_LE(later - start, outer_ms + 1);
}

TEST_F(WindowSystem, ShowModalRunsTheRegisteredWindowAndRefusesOthers) {
  Form registered, unregistered;
  int shown = 0;
  windows.SetModalWindow(registered, [&] {
    ++shown;
    return 1;
  });
  EXPECT_EQ(windows.ShowModal(registered), 1);
  EXPECT_EQ(shown, 1);
  try {
    windows.ShowModal(unregistered);
    FAIL() << "an unregistered form was shown";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find("TForm6"), std::string::npos) << e.what();
  }
}

TEST_F(WindowSystem, TheHookDropsTheRightPressesItClaims) {
  Target flash, other;
  flash.resize(100, 100);
  other.resize(100, 100);
  flash.show();
  other.show();
  std::vector<const void*> asked;
  windows.SetMessageHook([&](const WindowMessage& m) {
    asked.push_back(m.window);
    return m.message == WindowMessage::kRButtonDown && m.window == &flash;
  });
  QTest::mousePress(&flash, Qt::RightButton);
  QTest::mouseRelease(&flash, Qt::RightButton);
  QTest::mousePress(&flash, Qt::LeftButton);
  QTest::mouseRelease(&flash, Qt::LeftButton);
  QTest::mousePress(&other, Qt::RightButton);
  QTest::mouseRelease(&other, Qt::RightButton);
  EXPECT_EQ(flash.right_presses, 0) << "the right press reached the claimed window";
  EXPECT_EQ(flash.right_releases, 1) << "the release must pass";
  EXPECT_EQ(flash.left_presses, 1);
  EXPECT_EQ(other.right_presses, 1);
  EXPECT_NE(std::find(asked.begin(), asked.end(), &other), asked.end());

  // A hook that fails lets the message pass and reports the error.
  windows.SetMessageHook([](const WindowMessage&) -> bool { throw Exception("hook failed"); });
  QTest::mousePress(&flash, Qt::RightButton);
  QTest::mouseRelease(&flash, Qt::RightButton);
  EXPECT_EQ(flash.right_presses, 1);
  EXPECT_FALSE(Reports().empty());
  windows.SetMessageHook(nullptr);
}

TEST_F(WindowSystem, WindowStatesMaximiseRestoreAndMinimise) {
  QWidget main(nullptr, Qt::Window | Qt::FramelessWindowHint);
  main.setGeometry(40, 30, 320, 200);
  main.show();
  windows.SetMainWindow(&main);
  const QRect before = main.geometry();
  windows.SetMainWindowState(WindowState::kMaximized);
  EXPECT_TRUE(main.isMaximized());
  windows.SetMainWindowState(WindowState::kNormal);
  EXPECT_FALSE(main.isMaximized());
  EXPECT_TRUE(QTest::qWaitFor([&] { return main.geometry() == before; }, 2000))
      << "restored to " << main.geometry().x() << "," << main.geometry().y();
  // Minimised from maximised, a restore brings back the maximised window.
  windows.SetMainWindowState(WindowState::kMaximized);
  windows.SetMainWindowState(WindowState::kMinimized);
  EXPECT_TRUE(main.isMinimized());
  windows.SetMainWindowState(WindowState::kNormal);
  EXPECT_FALSE(main.isMinimized());
  EXPECT_TRUE(main.isMaximized());
  windows.SetMainWindowState(WindowState::kNormal);
  EXPECT_FALSE(main.isMaximized());
}

TEST_F(WindowSystem, DragFollowsTheMouseUntilTheButtonIsReleased) {
  QWidget main(nullptr, Qt::Window | Qt::FramelessWindowHint);
  main.setGeometry(100, 100, 300, 200);
  main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  windows.SetMainWindow(&main);

  // Without a pressed button there is nothing to drag: it returns without running a loop
  // (a message posted before it is still waiting).
  {
    QObject guard;
    bool looped = false;
    QTimer::singleShot(0, &guard, [&] { looped = true; });
    windows.DragMainWindow();
    EXPECT_FALSE(looped) << "a drag loop ran without a pressed button";
  }

  // Through the window, as the platform delivers input: the application's button
  // state follows.
  QWindow* handle = main.windowHandle();
  QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(10, 10));
  bool released = false;
  QTimer::singleShot(50, [&] { QTest::mouseMove(handle, QPoint(40, 30)); });
  QTimer::singleShot(150, [&] {
    released = true;
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(40, 30));
  });
  windows.DragMainWindow();
  EXPECT_TRUE(released) << "the drag returned before the button was released";
  if (QGuiApplication::platformName() == QLatin1String("xcb") ||
      QGuiApplication::platformName() == QLatin1String("offscreen")) {
    EXPECT_NE(main.pos(), QPoint(100, 100)) << "the window did not follow the mouse";
  }
}

TEST_F(WindowSystem, TerminateEndsEveryLoopAfterTheCurrentMessage) {
  bool after_terminate = false;
  bool nested_returned = false;
  int ticks_after_terminate = 0;
  auto timer = windows.CreateTimer(5, true, [&] { ticks_after_terminate += windows.Terminated(); });
  QTimer::singleShot(0, [&] {
    QEventLoop nested;  // a modal loop running when the program is told to end
    QTimer::singleShot(10, [&] {
      windows.Terminate();
      after_terminate = true;  // the current message is handled to its end
    });
    nested.exec();
    nested_returned = true;
  });
  EXPECT_FALSE(windows.Terminated());
  QTimer guard;
  guard.setSingleShot(true);
  guard.start(5000);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_TRUE(after_terminate);
  EXPECT_TRUE(nested_returned);
  EXPECT_TRUE(windows.Terminated());
  RunFor(50);
  EXPECT_EQ(ticks_after_terminate, 0) << "a timer ran after the program was told to end";
}

}  // namespace
}  // namespace qm::qt

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
