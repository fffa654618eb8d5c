#include "qt/main_window.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QResizeEvent>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

#include "platform/errors.h"
#include "platform/host_paths.h"
#include "platform/window_system.h"

namespace qm::qt {

bool MainWindow::FlashPlayerAvailable(QString* missing) {
  QString process = qEnvironmentVariable("QTWEBENGINEPROCESS_PATH");
  if (process.isEmpty()) {
    process = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + "/QtWebEngineProcess";
  }
  const QString ruffle = QString::fromStdString(DataFolder()) + "/ruffle/ruffle.js";
  for (const QString& file : {ruffle, process}) {
    if (!QFileInfo(file).isFile()) {
      if (missing != nullptr) *missing = file;
      return false;
    }
  }
  return true;
}

MainWindow::MainWindow(const QString& title, IWindowSystem& windows)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), windows_(windows) {
  QString missing;
  if (!FlashPlayerAvailable(&missing)) {
    throw Exception("The Flash player cannot be created: " + missing.toStdString() + " is missing");
  }
  setWindowTitle(title);
  setAttribute(Qt::WA_DeleteOnClose, false);

  // Panel1 holds flash1 and fills the client area; flashversion is hidden.
  panel1_ = new QWidget(this);
  auto* layout = new QVBoxLayout(panel1_);
  layout->setContentsMargins(0, 0, 0, 0);
  flash1_ = new FlashWidget(FlashWidget::Scale::kNoScaleTopLeft, panel1_);
  flash1_->setObjectName("flash1");
  layout->addWidget(flash1_);
  flashversion_ = new FlashWidget(FlashWidget::Scale::kShowAll, this, FlashWidget::Sound::kNone);
  flashversion_->setObjectName("flashversion");
  flashversion_->setGeometry(0, 0, 192, 192);
  flashversion_->hide();

  // Centred on the screen, client area 1024 x 652 (there is no frame).
  resize(kClientWidth, kClientHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kClientWidth) / 2,
         area.y() + (area.height() - kClientHeight) / 2);
  }
}

void MainWindow::FormShow() {
  panel1_->setGeometry(0, 0, width(), height());
}

void MainWindow::FormResize() {
  // The movie keeps the playing state it had, and takes the keyboard focus.
  const bool was = flash1_->Playing();
  flash1_->Play();
  panel1_->setFocus();
  flash1_->setFocus();
  if (QWidget* input = flash1_->InputWidget()) input->setFocus();  // the keys go to the movie
  flash1_->SetPlaying(was);
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  panel1_->setGeometry(0, 0, width(), height());  // anchored on all four sides
  // Playing and focus reach into the movie, which may run a nested loop: the handler
  // runs once from the message loop for a burst of size changes.
  if (resize_posted_) return;
  resize_posted_ = true;
  windows_.Post([this] {
    resize_posted_ = false;
    if (!windows_.Terminated()) FormResize();
  });
}

void MainWindow::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

}  // namespace qm::qt
