// The frame rate a still movie keeps while each of its frames keeps the player busy for
// 12 ms (busy.swf, 24 frames a second), against the same movie with frames that cost
// nothing (cheap.swf), measured in the same run: each movie counts the frames it ran in
// four seconds of its own clock after standing still for two. The ratio busy / cheap
// is what the costly frames take from the pace (1.00: nothing).
// Run it under a display (xvfb-run); as root the web engine runs without its sandbox.
//   bench_frame_pacing [rounds]      (default 3)
#include <QApplication>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "qt/flash_widget.h"
#include "qt/qt_loop.h"
#include "qt/web_engine_host.h"

namespace {

using qm::qt::FlashWidget;
using qm::testing::QtLoop;

// The frames the movie counted, or -1 when it did not report within a minute.
int CountFrames(const char* movie) {
  FlashWidget flash(FlashWidget::Scale::kNoScaleTopLeft);
  int frames = -1;
  flash.OnFSCommand([&](const std::u16string& command, const std::u16string& arg) {
    if (command == u"frames") frames = QString::fromStdU16String(arg).toInt();
  });
  flash.resize(400, 200);
  flash.show();
  flash.SetMovie(QString::fromUtf8(movie).toStdU16String());
  QtLoop::RunUntil([&] { return frames >= 0; }, 60000);
  return frames;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  qm::qt::PrepareWebEngineHost(argc, argv);
  QApplication app(argc, argv);
  qm::qt::WebEngineHostStarted();
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::vector<double> cheap, busy;
  for (int i = 0; i < rounds; ++i) {
    const int c = CountFrames(QM_BENCH_MOVIES_DIR "/cheap.swf");
    const int b = CountFrames(QM_BENCH_MOVIES_DIR "/busy.swf");
    if (c <= 0 || b < 0) {
      std::fprintf(stderr, "bench_frame_pacing: a movie did not report its frames\n");
      return 1;
    }
    cheap.push_back(c);
    busy.push_back(b);
  }
  const double c = Median(cheap), b = Median(busy);
  std::printf("still movie at 24 frames a second, frames in 4 s (medians of %d rounds)\n", rounds);
  std::printf("  frames that cost nothing  %6.1f\n", c);
  std::printf("  frames that cost 12 ms    %6.1f   ratio costly / free %.2f\n", b, b / c);
  return 0;
}
