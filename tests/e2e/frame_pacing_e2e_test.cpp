// The Flash control draws only frames that change, slows its pace while nothing moves,
// lets the audio output rest while nothing sounds, and draws with light matrices: these
// checks make sure the picture and the sound are still right. A still screen stays drawn
// after the pace has slowed, is drawn again after the control is resized (a new canvas
// size clears the canvas while the movie's commands stay the same), and a moving movie
// keeps moving. A sound that a silent movie starts by itself wakes the output; the
// movie's audio clock runs on while the output rests and stops while the player holds.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <functional>
#include <string>

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
    flash.OnFSCommand([this](const std::u16string& command, const std::u16string& arg) {
      if (command == u"ready") ready = true;
      if (command == u"drawn") drawn = true;
      if (command == u"played") played = true;
      if (command == u"frames") frames = std::stoi(QString::fromStdU16String(arg).toStdString());
    });
    flash.resize(1024, 652);
    flash.show();
    flash.SetMovie(QString::fromUtf8(movie).toStdU16String());
  }
  QImage Shot() { return flash.grab().toImage(); }

  FlashWidget flash{FlashWidget::Scale::kNoScaleTopLeft};
  bool ready = false;
  bool drawn = false;
  bool played = false;
  int frames = -1;
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
  // again, also after the first seconds (not at every shot: a loaded machine may draw
  // less often).
  int changes = 0;
  QImage before = moving.Shot();
  for (int i = 0; i < 6; ++i) {
    RunFor(150);
    const QImage now = moving.Shot();
    if (now != before) ++changes;
    before = now;
  }
  EXPECT_GE(changes, 2);
  EXPECT_GT(Dark(before, QRect(0, 0, 400, 400)), 3000);
}

TEST(FramePacing, StillMovieWithCostlyFramesRunsAtItsOwnRate) {
  // 12 ms a frame at 24 frames a second, standing still: the player runs several frames
  // a tick. The movie counts its frames over four seconds of its own clock (96 at its
  // rate); how close a machine comes to that is bench_frame_pacing's figure. What holds
  // on any machine, within loose factors of the rate: the frames run, and the player
  // paces them instead of running them as fast as it can (about 330 in four seconds).
  Shown busy(QM_BENCH_MOVIES_DIR "/busy.swf");
  ASSERT_TRUE(RunUntil([&] { return busy.ready; })) << "the movie did not start";
  ASSERT_TRUE(RunUntil([&] { return busy.frames >= 0; }, 30000)) << "the movie did not count";
  constexpr int kAtItsRate = 96;
  EXPECT_GE(busy.frames, kAtItsRate / 4) << "the movie hardly ran";
  EXPECT_LE(busy.frames, kAtItsRate * 2) << "the movie ran ahead of its rate";
}

// --- The audio output -------------------------------------------------------------------

double Stat(FlashWidget& flash, const char* name) {
  return flash.Evaluate(QStringLiteral("qm.audioStats().%1").arg(name)).toDouble();
}

TEST(AudioOutput, RuffleTakesTheContextMadeAheadAndFindsItRunningOnceItsInstanceIsBuilt) {
  // Otherwise Ruffle hides the player and waits before it loads the movie.
  Shown movie(QM_SOUND_MOVIE);
  const auto built = [&] {
    return movie.flash.Evaluate("String(qm.audioStats().runningWhenBuilt)")
        .toString()
        .toStdString();
  };
  ASSERT_TRUE(RunUntil([&] { return built() != "undefined"; }, 30000))
      << "Ruffle built no instance";
  EXPECT_EQ(built(), "true");
}

TEST(AudioOutput, RestsWhileTheMovieIsSilentAndWakesForASoundItStartsByItself) {
  Shown movie(QM_SOUND_MOVIE);
  ASSERT_TRUE(RunUntil([&] { return Stat(movie.flash, "quiet") != 0; }, 30000))
      << "the audio output kept running for a silent movie";
  ASSERT_FALSE(movie.played) << "the movie played its sound before the output could rest";
  // Ruffle's mixer keeps going: its buffers (4096 frames) are ended by the clock, again
  // and again (about ten a second; how many is no concern of this test).
  ASSERT_TRUE(RunUntil([&] { return Stat(movie.flash, "faked") >= 1; }, 10000));
  const double faked = Stat(movie.flash, "faked");
  EXPECT_TRUE(RunUntil([&] { return Stat(movie.flash, "faked") > faked; }, 10000))
      << "the mixer's buffers stopped ending while the output rests";

  ASSERT_TRUE(RunUntil([&] { return movie.played; }, 30000)) << "the movie did not play";
  ASSERT_TRUE(RunUntil([&] { return Stat(movie.flash, "sounding") > 0; }, 5000))
      << "no buffer with sound reached the output";
  EXPECT_GE(Stat(movie.flash, "resumes"), 1);
}

// A context driven as Ruffle drives its own: two buffers queued, each ending queues the
// next at the end of the last one. Its buffer is silent until `t.loud` is set.
constexpr char kDriven[] = R"js((() => {
  const c = new AudioContext();
  const t = { c, ends: 0, last: 0, back: false, loud: false };
  window.driven = t;
  const frames = 4096;
  const buffer = c.createBuffer(2, frames, c.sampleRate);
  let time = 0;
  function next() {
    buffer.getChannelData(0)[7] = t.loud ? 0.25 : 0;
    const node = c.createBufferSource();
    node.buffer = buffer;
    node.connect(c.destination);
    node.onended = () => { t.ends++; next(); };
    time = Math.max(time, c.currentTime);
    node.start(time);
    time += frames / c.sampleRate;
  }
  setInterval(() => {
    const now = c.currentTime;
    if (now < t.last) t.back = true;
    t.last = now;
  }, 20);
  next();
  next();
  return true;
})())js";

TEST(AudioOutput, ClockRunsOnWhileRestingStopsWhileHeldAndNeverGoesBack) {
  Shown page(QM_BENCH_MOVIES_DIR "/still.swf");
  ASSERT_TRUE(RunUntil([&] { return page.ready; })) << "the movie did not start";
  FlashWidget& f = page.flash;
  ASSERT_TRUE(f.Evaluate(kDriven).toBool());
  const auto value = [&f](const char* expression) { return f.Evaluate(expression).toDouble(); };
  const char* kNative =
      "Object.getOwnPropertyDescriptor(BaseAudioContext.prototype, 'state')"
      ".get.call(driven.c)";
  ASSERT_TRUE(RunUntil([&] { return f.Evaluate("driven.c.qm.quiet").toBool(); }, 10000));
  ASSERT_TRUE(RunUntil([&] { return f.Evaluate(kNative).toString() == "suspended"; }, 5000));
  EXPECT_EQ(f.Evaluate("driven.c.state").toString(), "running");
  double ends = value("driven.ends");
  QElapsedTimer wall;
  double time = value("driven.c.currentTime");
  wall.start();
  RunFor(500);
  // The clock follows the wall clock of the same run (measured between the same two
  // reads, give or take one), within a loose factor.
  const double advanced = value("driven.c.currentTime") - time;
  const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
  EXPECT_GT(advanced, elapsed / 4) << "the clock stood still";
  EXPECT_LT(advanced, elapsed * 2) << "the clock ran ahead";
  EXPECT_TRUE(RunUntil([&] { return value("driven.ends") > ends; }, 10000))
      << "the buffers stopped ending while the output rests";

  // The player holds: the clock and the buffers stop, and go on when it resumes.
  f.Evaluate("driven.c.suspend() && true");
  EXPECT_EQ(f.Evaluate("driven.c.state").toString(), "suspended");
  time = value("driven.c.currentTime");
  ends = value("driven.ends");
  RunFor(400);
  EXPECT_EQ(value("driven.c.currentTime"), time);
  EXPECT_EQ(value("driven.ends"), ends);
  f.Evaluate("driven.c.resume() && true");
  EXPECT_EQ(f.Evaluate("driven.c.state").toString(), "running");
  EXPECT_TRUE(RunUntil([&] { return value("driven.c.currentTime") > time; }, 10000));
  EXPECT_TRUE(RunUntil([&] { return value("driven.ends") > ends; }, 10000));

  // Sound: the output runs again, and keeps its time.
  f.Evaluate("driven.loud = true");
  EXPECT_TRUE(RunUntil([&] { return f.Evaluate(kNative).toString() == "running"; }, 5000));
  EXPECT_FALSE(f.Evaluate("driven.c.qm.quiet").toBool());
  RunFor(500);
  EXPECT_FALSE(f.Evaluate("driven.back").toBool()) << "the clock went back";
}

// --- Light matrices ---------------------------------------------------------------------

TEST(LightMatrices, InvertAndDrawAsTheNativeOnes) {
  Shown page(QM_BENCH_MOVIES_DIR "/still.swf");
  ASSERT_TRUE(RunUntil([&] { return page.ready; })) << "the movie did not start";
  const QString checks = page.flash
                             .Evaluate(R"js((() => {
    const inverse = new DOMMatrix([2, 0.5, -1, 3, 10, 20]).inverse();
    const native = new DOMMatrixReadOnly([2, 0.5, -1, 3, 10, 20]).inverse();
    const inverts = ["a", "b", "c", "d", "e", "f"].every((k) => Math.abs(inverse[k] - native[k]) < 1e-12);
    const singular = Number.isNaN(new DOMMatrix([1, 2, 2, 4, 0, 0]).inverse().a);
    const parsed = new DOMMatrix("matrix(1, 0, 0, 1, 5, 5)") instanceof DOMMatrixReadOnly;
    function draw(matrix) {
      const canvas = document.createElement("canvas");
      canvas.width = canvas.height = 64;
      const g = canvas.getContext("2d");
      const square = new Path2D();
      square.rect(0, 0, 4, 4);
      const path = new Path2D();
      path.addPath(square, matrix);
      g.setTransform(matrix);
      g.fillStyle = "#000";
      g.fill(square);
      g.setTransform(new DOMMatrix());
      g.fill(path);
      return Array.from(g.getImageData(0, 0, 64, 64).data).join();
    }
    const light = draw(new DOMMatrix([2, 0.5, -1, 3, 10, 20]));
    const same = light === draw(new DOMMatrixReadOnly([2, 0.5, -1, 3, 10, 20]));
    const moved = light !== draw(new DOMMatrix());
    return [inverts, singular, parsed, same, moved].join(" ");
  })())js")
                             .toString();
  EXPECT_EQ(checks, "true true true true true");
}

}  // namespace
}  // namespace qm
