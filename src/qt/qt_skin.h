// The embedded skin on Qt: one look for every window of the application.
//
// InstallSkin reads the skin compiled into the program and sets the application's style
// (push buttons, edit boxes and gauges painted from the skin's pictures), palette and
// fonts, so that every widget created afterwards, by any window, takes the skin's look
// without a further call. SkinnedWindow is a top-level window with the skin's own frame:
// a caption strip in the caption font and a thin border, without caption buttons.
#pragma once

#include <QDialog>
#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <optional>
#include <string>

#include "ui/skin.h"

class QApplication;

namespace qm::qt {

// Gives the whole application the embedded skin's look. Throws ESkinError when the
// stored skin cannot be read.
void InstallSkin(QApplication& app);

// The embedded skin (read once, on first use).
const Skin& CurrentSkin();

// A font of the skin. Missing families fall back to a CJK font of the system.
QFont SkinQFont(const SkinFont& font);
// "宋体", 14 pixels, regular: the dialogs' default font where the skin gives none.
QFont DefaultDialogFont();
// The font of an element when `use_skin_font` and the skin gives one, else the default.
QFont ElementFont(const std::string& element, bool use_skin_font);
// The height of the push-button element's picture, when the skin has that element.
std::optional<int> SkinButtonHeight(const std::string& element);
// A picture of the skin by file name (null when it is missing or not a picture).
QPixmap SkinPicture(const std::string& file);

class SkinnedWindow : public QDialog {
  Q_OBJECT
 public:
  explicit SkinnedWindow(QWidget* parent = nullptr);

  // The area the window's controls go into.
  QWidget* Client() const { return client_; }
  // Fixes the window's size from its client size.
  void SetClientSize(int width, int height);
  // Outer size minus client size.
  static int FrameWidth();
  static int FrameHeight();
  // Puts the window in the middle of its screen.
  void CenterOnScreen();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QWidget* client_;
  std::optional<QPoint> drag_from_;
};

}  // namespace qm::qt
