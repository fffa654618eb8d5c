// The Flash control draws only frames that change and slows its pace while nothing
// moves: these checks make sure the picture is still right. A still screen stays drawn
// after the pace has slowed, is drawn again after the control is resized (a new canvas
// size clears the canvas while the movie's commands stay the same), and a moving movie
// keeps moving.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <functional>
#include <string>

#include <unistd.h>

#include "qt/flash_scheme.h"
#include "qt/flash_widget.h"
#include "qt/qt_loop.h"

namespace qm {
namespace {

using qt::FlashWidget;

bool RunUntil(const std::function<bool()>& done, int guard_ms = 60000) {
  return testing::QtLoop::RunUntil(done, guard_ms);
}

void RunFor(int ms) {
  testing::QtLoop::RunFor(ms);
}

// Pixels darker than the white stage in the rectangle.
int Dark(const QImage& shot, QRect area) {
  int dark = 0;
  area = area.intersected(shot.rect());
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (qGray(shot.pixel(x, y)) < 200) ++dark;
    }
  }
  return dark;
}

class Shown {
 public:
  explicit Shown(const char* movie) {
    flash.OnFSCommand([this](const std::u16string& command, const std::u16string&) {
      if (command == u"ready") ready = true;
      if (command == u"drawn") drawn = true;
    });
    flash.resize(1024, 652);
    flash.show();
    flash.SetMovie(QString::fromUtf8(movie).toStdU16String());
  }
  QImage Shot() { return flash.grab().toImage(); }

  FlashWidget flash{FlashWidget::Scale::kNoScaleTopLeft};
  bool ready = false;
  bool drawn = false;
};

TEST(FramePacing, StillScreenStaysDrawnAndIsRedrawnAfterAResize) {
  Shown still(QM_BENCH_MOVIES_DIR "/still.swf");
  ASSERT_TRUE(RunUntil([&] { return still.drawn; })) << "the movie did not start";
  // The title bar (a gradient) and the first card (outline and text).
  const QRect bar(0, 0, 1024, 80), card(30, 110, 220, 110);
  ASSERT_TRUE(RunUntil([&] { return Dark(still.Shot(), bar) > 20000; }, 20000));
  // Well past the second of unchanged frames after which the pace slows.
  RunFor(2500);
  const QImage settled = still.Shot();
  EXPECT_GT(Dark(settled, bar), 20000);
  EXPECT_GT(Dark(settled, card), 500);
  RunFor(500);
  EXPECT_EQ(still.Shot(), settled) << "a still movie changed its picture";

  still.flash.resize(1000, 640);
  RunFor(300);
  still.flash.resize(1024, 652);
  ASSERT_TRUE(RunUntil(
      [&] {
        const QImage shot = still.Shot();
        return Dark(shot, bar) > 20000 && Dark(shot, card) > 500;
      },
      5000))
      << "the picture was not drawn again after the resize";
}

TEST(FramePacing, MovingMovieKeepsMoving) {
  Shown moving(QM_BENCH_MOVIES_DIR "/animated.swf");
  ASSERT_TRUE(RunUntil([&] { return moving.ready; })) << "the movie did not start";
  RunFor(1500);
  // The turning bar: the picture differs between shots a few frames apart, again and
  // again, also after the first seconds.
  int changes = 0;
  QImage before = moving.Shot();
  for (int i = 0; i < 6; ++i) {
    RunFor(150);
    const QImage now = moving.Shot();
    if (now != before) ++changes;
    before = now;
  }
  EXPECT_GE(changes, 5);
  EXPECT_GT(Dark(before, QRect(0, 0, 400, 400)), 3000);
}

}  // namespace
}  // namespace qm

int main(int argc, char** argv) {
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");  // no sandbox as root
  qm::qt::FlashScheme::Register();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
