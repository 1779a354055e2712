#include "toolkit/ui/classic_look.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionProgressBar>

#include <algorithm>

#include "toolkit/gfx/qt_canvas.h"

namespace {

// The built-in "Windows" style with the classic disabled images: the style
// makes the disabled form of every icon (tool buttons, menu items) here.
class ClassicStyle : public QProxyStyle {
 public:
  ClassicStyle() : QProxyStyle(QStyleFactory::create("Windows")) {}

  QPixmap generatedIconPixmap(QIcon::Mode mode, const QPixmap& pixmap, const QStyleOption* option) const override {
    if (mode == QIcon::Disabled) return EmbossedPixmap(pixmap);
    return QProxyStyle::generatedIconPixmap(mode, pixmap, option);
  }

  // Disabled texts are etched: grey over a white copy one pixel right and down.
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_EtchDisabledText) return 1;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    if (element == CE_ProgressBarContents)
      if (const auto* bar = qstyleoption_cast<const QStyleOptionProgressBar*>(option))
        if (DrawBlocks(*bar, painter)) return;
    QProxyStyle::drawControl(element, option, painter, widget);
  }

 private:
  // The classic bar: blocks two thirds as wide as the bar is high, two
  // pixels apart, in the highlight colour, as many as the position fills.
  // The built-in style draws one continuous fill instead. Busy and vertical
  // bars are left to it.
  static bool DrawBlocks(const QStyleOptionProgressBar& bar, QPainter* painter) {
    if (bar.maximum <= bar.minimum || !(bar.state & State_Horizontal)) return false;
    const QRect rect = bar.rect;
    const qint64 span = qint64(bar.maximum) - bar.minimum;
    const qint64 done = std::clamp<qint64>(qint64(bar.progress) - bar.minimum, 0, span);
    const int filled = int(done * rect.width() / span);
    const int block = std::max(2, rect.height() * 2 / 3);
    painter->save();
    painter->setClipRect(rect);
    const QBrush brush = bar.palette.brush(QPalette::Highlight);
    const bool reverse = bar.invertedAppearance != (bar.direction == Qt::RightToLeft);
    for (int x = 0; x < filled; x += block + 2) {
      const int left = reverse ? rect.right() + 1 - x - block : rect.left() + x;
      painter->fillRect(QRect(left, rect.top(), block, rect.height()), brush);
    }
    painter->restore();
    return true;
  }
};

void SetAllGroups(QPalette& palette, QPalette::ColorRole role, TColor color) {
  palette.setColor(QPalette::All, role, ToQColor(color));
}

// Disabled texts are grey, with the highlight colour beneath for the etched look.
void SetDisabledTexts(QPalette& palette) {
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, ToQColor(clGrayText));
  palette.setColor(QPalette::Disabled, QPalette::Light, ToQColor(clBtnHighlight));
}

}  // namespace

QPalette ClassicPalette() {
  QPalette palette;
  // One colour for every group: an inactive window keeps its colours, as on
  // the classic desktop.
  SetAllGroups(palette, QPalette::Window, clBtnFace);
  SetAllGroups(palette, QPalette::WindowText, clWindowText);
  SetAllGroups(palette, QPalette::Base, clWindow);
  SetAllGroups(palette, QPalette::AlternateBase, clWindow);
  SetAllGroups(palette, QPalette::Text, clWindowText);
  SetAllGroups(palette, QPalette::PlaceholderText, clGrayText);
  SetAllGroups(palette, QPalette::Button, clBtnFace);
  SetAllGroups(palette, QPalette::ButtonText, clBtnText);
  SetAllGroups(palette, QPalette::BrightText, clBtnHighlight);
  SetAllGroups(palette, QPalette::Light, clBtnHighlight);
  SetAllGroups(palette, QPalette::Midlight, cl3DLight);
  SetAllGroups(palette, QPalette::Mid, clBtnShadow);
  SetAllGroups(palette, QPalette::Dark, clBtnShadow);
  SetAllGroups(palette, QPalette::Shadow, cl3DDkShadow);
  SetAllGroups(palette, QPalette::Highlight, clHighlight);
  SetAllGroups(palette, QPalette::HighlightedText, clHighlightText);
  SetAllGroups(palette, QPalette::ToolTipBase, clInfoBk);
  SetAllGroups(palette, QPalette::ToolTipText, clInfoText);
  SetAllGroups(palette, QPalette::Link, clBlue);
  SetAllGroups(palette, QPalette::LinkVisited, clPurple);
  SetDisabledTexts(palette);
  return palette;
}

QPalette ClassicMenuPalette() {
  QPalette palette = ClassicPalette();
  for (const auto role : {QPalette::Window, QPalette::Button, QPalette::Base}) SetAllGroups(palette, role, clMenu);
  for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    SetAllGroups(palette, role, clMenuText);
  SetDisabledTexts(palette);
  return palette;
}

QFont ClassicFont() { return ToQFont(TFont()); }

QPixmap EmbossedPixmap(const QPixmap& source) {
  const QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
  const QRgb face = ToQColor(clBtnFace).rgb(), white = qRgb(255, 255, 255);
  // The parts a disabled image keeps: what is neither transparent nor white
  // nor the button face, as the classic mono mask of a tool-bar image takes it.
  auto kept = [&](int x, int y) {
    if (!image.valid(x, y)) return false;
    const QRgb p = image.pixel(x, y);
    return qAlpha(p) >= 128 && (p | 0xFF000000u) != (face | 0xFF000000u) && (p | 0xFF000000u) != white;
  };
  QImage out(image.size(), QImage::Format_ARGB32);
  out.fill(Qt::transparent);
  const QRgb light = ToQColor(clBtnHighlight).rgb(), shadow = ToQColor(clBtnShadow).rgb();
  for (int y = 0; y < out.height(); ++y)
    for (int x = 0; x < out.width(); ++x) {
      if (kept(x, y))
        out.setPixel(x, y, shadow);
      else if (kept(x - 1, y - 1))
        out.setPixel(x, y, light);
    }
  QPixmap result = QPixmap::fromImage(out);
  result.setDevicePixelRatio(source.devicePixelRatio());
  return result;
}

void ApplyClassicLook() {
  QApplication::setStyle(new ClassicStyle);
  QApplication::setPalette(ClassicPalette());
  const QPalette menus = ClassicMenuPalette();
  QApplication::setPalette(menus, "QMenu");
  QApplication::setPalette(menus, "QMenuBar");
  // The application font first: setting it drops the per-class fonts of the
  // platform (a larger one for popup menus, another for message boxes).
  const QFont font = ClassicFont();
  QApplication::setFont(font);
  for (const char* widget_class : {"QMenu", "QMenuBar", "QMessageBox", "QMessageBoxLabel", "QToolTip"})
    QApplication::setFont(font, widget_class);
}
