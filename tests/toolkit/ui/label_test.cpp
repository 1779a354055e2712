// Labels and their accelerators: the character after '&' shows underlined
// (no '&' shown), and Alt with it focuses the label's focus control.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QWidget>

#include <memory>
#include <regex>
#include <string>

#include "toolkit/core/text.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace label_test {

QImage Picture(TLabel& label) {
  auto* widget = static_cast<QWidget*>(label.Widget());
  return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool Dark(const QImage& image, int x, int y) {
  return x < image.width() && y < image.height() && qGray(image.pixel(x, y)) < 128;
}

TEST(LabelAccelerators, TheAcceleratorShowsUnderlinedAndTheAmpersandsNot) {
  const struct {
    const char* caption;  // UTF-8
    const char* shown;    // what the label shows, without the underline
    const char* before;   // the text before the underlined character
    const char* under;    // the underlined character; empty: none
  } cases[] = {
      {"&Имя:", "Имя:", "", "И"},
      {"Число &копий:", "Число копий:", "Число ", "к"},
      {"Вывести на &печать:", "Вывести на печать:", "Вывести на ", "п"},
      {"Fish && Chips", "Fish & Chips", "", ""},
  };
  for (bool with_focus_control : {true, false}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.caption) + (with_focus_control ? " with a focus control" : " alone"));
      TForm form(nullptr);
      TComboBox target(&form);
      target.SetParent(&form);
      TLabel label(&form), plain(&form);
      label.SetParent(&form);
      plain.SetParent(&form);
      if (with_focus_control) label.SetFocusControl(&target);
      label.SetCaption(Utf8ToAnsi(c.caption));
      // A single '&' of the shown text is doubled, to show itself.
      plain.SetCaption(Utf8ToAnsi(std::regex_replace(std::string(c.shown), std::regex("&"), "&&")));
      EXPECT_EQ(label.Caption(), Utf8ToAnsi(c.caption));
      // No '&' takes room: the label is as wide as the text without it.
      EXPECT_EQ(label.Width(), plain.Width());
      const QImage shown = Picture(label), expected = Picture(plain);
      ASSERT_EQ(shown.size(), expected.size());
      const QFontMetrics metrics(static_cast<QWidget*>(label.Widget())->font());
      const int from = metrics.horizontalAdvance(QString::fromUtf8(c.before));
      const int to = from + metrics.horizontalAdvance(QString::fromUtf8(c.under));
      // Every pixel the plain text has dark is dark here too; the pixels
      // dark only here make the underline under the accelerator.
      int extra = 0, missing = 0, outside = 0;
      for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
          const bool here = Dark(shown, x, y), there = Dark(expected, x, y);
          if (there && !here) ++missing;
          if (here && !there) {
            ++extra;
            if (x < from - 1 || x > to) ++outside;
          }
        }
      EXPECT_EQ(missing, 0);
      EXPECT_EQ(outside, 0);
      if (*c.under)
        EXPECT_GE(extra, (to - from) / 2);
      else
        EXPECT_EQ(extra, 0);
    }
  }
}

TEST(LabelAccelerators, AltWithTheAcceleratorFocusesTheFocusControl) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  TLabel name(&form), copies(&form);
  TComboBox first(&form), second(&form);
  for (TControl* c : std::initializer_list<TControl*>{&name, &copies, &first, &second}) c->SetParent(&form);
  name.SetBounds(8, 8, 60, 13);
  first.SetBounds(80, 4, 120, 21);
  copies.SetBounds(8, 40, 60, 13);
  second.SetBounds(80, 36, 120, 21);
  name.SetCaption(Utf8ToAnsi("&Имя:"));
  name.SetFocusControl(&first);
  copies.SetCaption("&Copies:");
  copies.SetFocusControl(&second);
  form.Show();
  QWidget* window = form.Widget();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  static_cast<QWidget*>(first.Widget())->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), second.Widget());
  QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key(0x0418), QStringLiteral("и"),
                      Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), first.Widget());
  form.Hide();
}

TEST(LabelAccelerators, AFreedFocusControlIsForgotten) {
  TForm form(nullptr);
  TLabel label(&form);
  label.SetParent(&form);
  auto target = std::make_unique<TComboBox>(&form);
  target->SetParent(&form);
  label.SetFocusControl(target.get());
  label.SetCaption(Utf8ToAnsi("&Имя:"));
  target.reset();
  EXPECT_EQ(label.FocusControl(), nullptr);
  // Still shown with its accelerator underlined, and no '&'.
  EXPECT_EQ(static_cast<QLabel*>(label.Widget())->text().contains(QStringLiteral("&Имя")), false);
}

}  // namespace label_test
