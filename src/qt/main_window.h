// The main window TForm1 on Qt: a borderless window whose whole client area is the
// course movie's Flash control `flash1` (inside `Panel1`), with the hidden control
// `flashversion` for the runtime check. The shell's logic lives in qm::TForm1; this is
// the window around it and its window handlers (FormShow, FormResize, FormClose).
#pragma once

#include <QString>
#include <QWidget>

#include "qt/flash_widget.h"

namespace qm {
class IWindowSystem;
}

namespace qm::qt {

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 1024;
  static constexpr int kClientHeight = 652;

  // Creates the window with its two Flash controls. Raises an Exception when the Flash
  // player cannot run here (its files or the web engine's process are missing).
  // `windows` runs the window's handlers (inside the error boundary).
  MainWindow(const QString& title, IWindowSystem& windows);

  FlashWidget& flash1() { return *flash1_; }
  FlashWidget& flashversion() { return *flashversion_; }
  QWidget& Panel1() { return *panel1_; }

  // Handlers.
  void FormShow();
  void FormResize();
  void FormClose() {}

  // Whether the Flash player's files and the web engine's process are present.
  static bool FlashPlayerAvailable(QString* missing);

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  IWindowSystem& windows_;
  QWidget* panel1_ = nullptr;
  FlashWidget* flash1_ = nullptr;
  FlashWidget* flashversion_ = nullptr;
  bool resize_posted_ = false;
};

}  // namespace qm::qt
