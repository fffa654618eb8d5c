// Saves what the X server shows in a rectangle of the screen as a PNG file:
//   qm_screenshot OUTPUT.png X Y WIDTH HEIGHT
// A separate client of the same display, so the picture is what a user would see.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QGuiApplication app(argc, argv);
  if (argc != 6) {
    std::fprintf(stderr, "usage: qm_screenshot OUTPUT.png X Y WIDTH HEIGHT\n");
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  const QPixmap picture = screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]),
                                             std::atoi(argv[4]), std::atoi(argv[5]));
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "qm_screenshot: cannot save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
