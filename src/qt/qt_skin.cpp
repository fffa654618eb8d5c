#include "qt/qt_skin.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QEvent>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWindow>
#include <algorithm>
#include <map>
#include <memory>

#include "ui/skin_data.h"

namespace qm::qt {

namespace {

QColor Rgb(std::uint32_t rgb) {
  return QColor::fromRgb((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
}

QRect ToQRect(const SkinRect& r) {
  return QRect(r.left, r.top, r.Width(), r.Height());
}

QMargins ToQMargins(const SkinMargins& m) {
  return QMargins(m.left, m.top, m.right, m.bottom);
}

// Draws `source` of `picture` stretched over `target`, keeping the margins unstretched
// (smaller when the target is too small for them).
void DrawNineSlice(QPainter* painter, const QRect& target, const QPixmap& picture,
                   const QRect& source, const SkinMargins& skin_margins) {
  QMargins margins = ToQMargins(skin_margins);
  if (target.width() < margins.left() + margins.right() ||
      target.height() < margins.top() + margins.bottom()) {
    margins = QMargins();
  }
  qDrawBorderPixmap(painter, target, margins, picture, source, margins);
}

// The CJK fonts a skin's font name may fall back to, best first.
const QStringList& CjkFallbacks() {
  static const QStringList families = {
      QStringLiteral("SimSun"),
      QStringLiteral("NSimSun"),
      QStringLiteral("Noto Sans CJK SC"),
      QStringLiteral("Noto Serif CJK SC"),
      QStringLiteral("WenQuanYi Zen Hei"),
      QStringLiteral("Droid Sans Fallback"),
  };
  return families;
}

// Paints push buttons, edit boxes and gauges from the skin's pictures; everything else
// comes from the Fusion style in the skin's palette.
class SkinStyle : public QProxyStyle {
 public:
  explicit SkinStyle(const Skin& skin) : QProxyStyle(QStyleFactory::create("Fusion")) {
    Load(skin.Element("button"), button_);
    Load(skin.Element("edit"), edit_);
    Load(skin.Element("gauge"), gauge_);
    if (const SkinElement* gauge = skin.Element("gauge")) {
      if (const std::string* bar = gauge->keys.Value("barrect")) {
        gauge_bar_ = ToQRect(ParseSkinRect(*bar, "gauge.barrect"));
      }
      if (gauge->font) gauge_text_ = Rgb(gauge->font->color);
    }
  }

  void polish(QWidget* widget) override {
    QProxyStyle::polish(widget);
    if (qobject_cast<QPushButton*>(widget)) widget->setAttribute(Qt::WA_Hover);
  }
  using QProxyStyle::polish;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element == PE_PanelLineEdit && edit_.Usable()) {
      const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(option);
      if (frame && frame->lineWidth > 0) {
        DrawNineSlice(painter, option->rect, edit_.picture, edit_.Frame(0), edit_.margins);
        return;
      }
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    switch (element) {
      case CE_PushButtonBevel:
        if (button_.Usable()) {
          DrawButton(option, painter);
          return;
        }
        break;
      case CE_ProgressBarGroove:
        if (gauge_.Usable()) {
          DrawNineSlice(painter, option->rect, gauge_.picture, gauge_.Frame(0), gauge_.margins);
          return;
        }
        break;
      case CE_ProgressBarContents:
        if (gauge_.Usable() && !gauge_bar_.isEmpty()) {
          DrawGaugeBar(option, painter);
          return;
        }
        break;
      case CE_ProgressBarLabel:
        if (const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(option);
            bar && gauge_text_.isValid() && bar->textVisible) {
          painter->save();
          painter->setPen(gauge_text_);
          painter->drawText(bar->rect, Qt::AlignCenter, bar->text);
          painter->restore();
          return;
        }
        break;
      default:
        break;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }

 private:
  struct Picture {
    QPixmap picture;
    QRect rect;
    SkinMargins margins;
    int frames = 1;
    bool Usable() const { return !picture.isNull() && !rect.isEmpty(); }
    // The state drawn `index` rectangles to the right of the first (the first when the
    // picture has fewer).
    QRect Frame(int index) const {
      if (index >= frames) index = 0;
      const QRect r = rect.translated(index * rect.width(), 0);
      return picture.rect().contains(r) ? r : rect;
    }
  };

  static void Load(const SkinElement* element, Picture& out) {
    if (!element || element->picture_file.empty()) return;
    out.picture = SkinPicture(element->picture_file);
    out.rect = ToQRect(element->rect);
    out.margins = element->margins;
    out.frames = element->frames;
    if (!out.picture.isNull() && !out.picture.rect().contains(out.rect)) out.picture = QPixmap();
  }

  void DrawButton(const QStyleOption* option, QPainter* painter) const {
    const bool enabled = option->state & State_Enabled;
    int state = 0;  // normal, hot, pressed, disabled
    if (!enabled) {
      state = 3;
    } else if (option->state & (State_Sunken | State_On)) {
      state = 2;
    } else if (option->state & State_MouseOver) {
      state = 1;
    }
    DrawNineSlice(painter, option->rect, button_.picture, button_.Frame(state), button_.margins);
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (enabled && button && (button->features & QStyleOptionButton::DefaultButton)) {
      painter->save();
      painter->setPen(option->palette.color(QPalette::Highlight));
      painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
      painter->restore();
    }
    if (option->state & State_HasFocus) {
      QStyleOptionFocusRect focus;
      focus.QStyleOption::operator=(*option);
      focus.rect = option->rect.adjusted(4, 4, -4, -4);
      proxy()->drawPrimitive(PE_FrameFocusRect, &focus, painter, nullptr);
    }
  }

  void DrawGaugeBar(const QStyleOption* option, QPainter* painter) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(option);
    if (!bar || bar->maximum <= bar->minimum) return;
    const double share = double(bar->progress - bar->minimum) / double(bar->maximum - bar->minimum);
    const int width = static_cast<int>(bar->rect.width() * std::clamp(share, 0.0, 1.0));
    if (width <= 0) return;
    QRect target = bar->rect;
    target.setWidth(width);
    DrawNineSlice(painter, target, gauge_.picture, gauge_bar_, gauge_.margins);
  }

  Picture button_;
  Picture edit_;
  Picture gauge_;
  QRect gauge_bar_;
  QColor gauge_text_;
};

}  // namespace

const Skin& CurrentSkin() {
  static const Skin skin = Skin::FromCompressed(EmbeddedSkinData());
  return skin;
}

QFont SkinQFont(const SkinFont& font) {
  QFont out;
  QStringList families{QString::fromStdString(font.name)};
  families += CjkFallbacks();
  out.setFamilies(families);
  out.setPixelSize(font.height > 0 ? font.height : 14);
  out.setBold(font.bold);
  out.setItalic(font.italic);
  return out;
}

QFont DefaultDialogFont() {
  return SkinQFont({"宋体", 14, false, false, 0});
}

QFont ElementFont(const std::string& element, bool use_skin_font) {
  if (use_skin_font) {
    if (const SkinElement* e = CurrentSkin().Element(element); e && e->font) {
      return SkinQFont(*e->font);
    }
  }
  return DefaultDialogFont();
}

std::optional<int> SkinButtonHeight(const std::string& element) {
  const SkinElement* button = CurrentSkin().PushButton(element);
  if (!button || button->rect.Empty()) return std::nullopt;
  return button->rect.Height();
}

QPixmap SkinPicture(const std::string& file) {
  // Decoded once; kept as images, which outlive the application object safely.
  static std::map<std::string, QImage> cache;
  auto it = cache.find(file);
  if (it == cache.end()) {
    QImage picture;
    if (const std::string* data = CurrentSkin().File(file)) {
      picture.loadFromData(reinterpret_cast<const uchar*>(data->data()),
                           static_cast<qsizetype>(data->size()));
    }
    it = cache.emplace(file, std::move(picture)).first;
  }
  return QPixmap::fromImage(it->second);
}

void InstallSkin(QApplication& app) {
  const Skin& skin = CurrentSkin();

  auto* style = new SkinStyle(skin);
  QPalette palette = style->standardPalette();
  const std::pair<const char*, QPalette::ColorRole> roles[] = {
      {"window", QPalette::Window},
      {"windowtext", QPalette::WindowText},
      {"base", QPalette::Base},
      {"alternatebase", QPalette::AlternateBase},
      {"text", QPalette::Text},
      {"button", QPalette::Button},
      {"buttontext", QPalette::ButtonText},
      {"highlight", QPalette::Highlight},
      {"highlightedtext", QPalette::HighlightedText},
      {"tooltipbase", QPalette::ToolTipBase},
      {"tooltiptext", QPalette::ToolTipText},
  };
  for (const auto& [name, role] : roles) {
    if (const auto color = skin.Color(name)) palette.setColor(role, Rgb(*color));
  }
  if (const auto disabled = skin.Color("disabledtext")) {
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
      palette.setColor(QPalette::Disabled, role, Rgb(*disabled));
    }
  }

  app.setStyle(style);  // the application owns its style
  app.setPalette(palette);
  QApplication::setFont(ElementFont("stdlabel", true));
  QApplication::setFont(ElementFont("button", true), "QAbstractButton");
  QApplication::setFont(ElementFont("edit", true), "QLineEdit");
  QApplication::setFont(ElementFont("gauge", true), "QProgressBar");
  QApplication::setFont(SkinQFont(skin.Frame().menu_font), "QMenu");
  QApplication::setFont(SkinQFont(skin.Frame().menu_font), "QMenuBar");
}

// --- SkinnedWindow -------------------------------------------------------------------

SkinnedWindow::SkinnedWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), client_(new QWidget(this)) {
  client_->setObjectName(QStringLiteral("Client"));
  client_->setAutoFillBackground(true);
  client_->move(FrameWidth() / 2, CurrentSkin().Frame().caption_height);
}

int SkinnedWindow::FrameWidth() {
  return 2 * CurrentSkin().Frame().border_width;
}

int SkinnedWindow::FrameHeight() {
  const SkinFrameLook& frame = CurrentSkin().Frame();
  return frame.caption_height + frame.border_width;
}

void SkinnedWindow::SetClientSize(int width, int height) {
  client_->setGeometry(FrameWidth() / 2, CurrentSkin().Frame().caption_height, width, height);
  setFixedSize(width + FrameWidth(), height + FrameHeight());
}

void SkinnedWindow::CenterOnScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
}

void SkinnedWindow::paintEvent(QPaintEvent*) {
  const SkinFrameLook& frame = CurrentSkin().Frame();
  QPainter painter(this);
  const QRect caption(0, 0, width(), frame.caption_height);
  const QPixmap strip = frame.picture_file.empty() ? QPixmap() : SkinPicture(frame.picture_file);
  if (!strip.isNull() && strip.rect().contains(ToQRect(frame.rect))) {
    DrawNineSlice(&painter, caption, strip, ToQRect(frame.rect), frame.margins);
  } else {
    painter.fillRect(caption, Rgb(frame.border_color));
  }
  // The border around the client area.
  const int b = frame.border_width;
  const QColor border = Rgb(frame.border_color);
  painter.fillRect(0, caption.bottom() + 1, b, height() - caption.height(), border);
  painter.fillRect(width() - b, caption.bottom() + 1, b, height() - caption.height(), border);
  painter.fillRect(0, height() - b, width(), b, border);

  painter.setFont(SkinQFont(frame.caption_font));
  painter.setPen(isActiveWindow() ? Rgb(frame.caption_font.color)
                                  : Rgb(frame.caption_font.color).darker(130));
  const QRect text_area = caption.adjusted(b + 4, 0, -(b + 4), 0);
  painter.drawText(
      text_area, Qt::AlignVCenter | Qt::AlignLeft,
      painter.fontMetrics().elidedText(windowTitle(), Qt::ElideRight, text_area.width()));
}

void SkinnedWindow::keyPressEvent(QKeyEvent* event) {
  // The window's close command, which the window manager does not give a frameless
  // window everywhere.
  if (event->key() == Qt::Key_F4 && (event->modifiers() & Qt::AltModifier)) {
    close();
    return;
  }
  QDialog::keyPressEvent(event);
}

void SkinnedWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton &&
      event->position().y() < CurrentSkin().Frame().caption_height) {
    // Let the window manager move the window where it can; else follow the mouse.
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    drag_from_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    return;
  }
  QDialog::mousePressEvent(event);
}

void SkinnedWindow::mouseMoveEvent(QMouseEvent* event) {
  if (drag_from_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - *drag_from_);
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void SkinnedWindow::mouseReleaseEvent(QMouseEvent* event) {
  drag_from_.reset();
  QDialog::mouseReleaseEvent(event);
}

void SkinnedWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::ActivationChange) {
    update();
  }
  QDialog::changeEvent(event);
}

}  // namespace qm::qt
