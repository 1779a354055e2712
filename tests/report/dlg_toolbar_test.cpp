// The report library's toolbar controls: the glyph strip, buttons of a group
// pressed with the mouse, the grey glyph of a flat button until the mouse
// comes over it (checked on the painted picture), and the separator.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "report/fr_ctrls.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/colors.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/extctrls.h"
#include "toolkit/ui/forms.h"

namespace dlg_toolbar_test {

constexpr TColor kRed = 0x0000FF;
constexpr TColor kOlive = 0x008080;
constexpr TColor kBlue = 0xFF0000;

void Solid(TBitmap& bitmap, int width, int height, TColor color) {
  bitmap.SetSize(width, height);
  bitmap.Canvas().Brush().SetColor(color);
  bitmap.Canvas().FillRect(TRect{0, 0, width, height});
}

TColor PixelOf(TControl* control, int x, int y) {
  const QImage image = control->Widget()->grab().toImage();
  const QRgb p = image.pixel(x, y);
  return qRed(p) | (qGreen(p) << 8) | (qBlue(p) << 16);
}

struct Toolbar : ::testing::Test {
  void SetUp() override {
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(100, 100, 200, 60);
    form->SetVisible(true);
  }
  TfrSpeedButton* Button(int left) {
    auto* button = new TfrSpeedButton(form.get());
    button->SetParent(form.get());
    button->SetBounds(left, 4, 22, 22);
    return button;
  }
  void ClickAt(TControl* control, int x = 10, int y = 10) {
    QTest::mouseClick(control->Widget(), Qt::LeftButton, {}, QPoint(x, y));
  }
  std::unique_ptr<TForm> form;
};

TEST(ToolbarControls, GreyOfWeighsTheChannels) {
  const struct {
    TColor color;
    TColor grey;
  } cases[] = {{0x000000, 0x000000}, {0xFFFFFF, 0xFFFFFF}, {kRed, 0x4C4C4C}, {0x00FF00, 0x959595}, {0xFF0000, 0x1C1C1C}};
  for (const auto& c : cases) EXPECT_EQ(GreyOf(c.color), c.grey) << std::hex << c.color;
}

TEST_F(Toolbar, TheGlyphStripSetsTheNumberOfImages) {
  const struct {
    int width, height, preset, expected;
  } cases[] = {{64, 16, 1, 4}, {48, 16, 1, 3}, {20, 16, 2, 2}, {80, 16, 2, 1}, {16, 16, 3, 1}};
  for (const auto& c : cases) {
    TfrSpeedButton* button = Button(0);
    button->SetNumGlyphs(c.preset);
    TBitmap glyph;
    Solid(glyph, c.width, c.height, kRed);
    glyph.Canvas().SetPixel(0, c.height - 1, kOlive);
    button->SetGlyph(glyph);
    EXPECT_EQ(button->NumGlyphs(), c.expected) << c.width << "x" << c.height;
    EXPECT_EQ(button->TransparentColor(), kOlive);
  }
  TfrSpeedButton* button = Button(0);
  EXPECT_EQ(button->TransparentColor(), kOlive);
  button->SetNumGlyphs(7);
  EXPECT_EQ(button->NumGlyphs(), 4);
  button->SetMargin(5);
  button->SetMargin(-2);
  EXPECT_EQ(button->Margin(), 5);
  EXPECT_EQ(button->Width(), 22);
  EXPECT_TRUE(button->GrayedInactive());
  EXPECT_EQ(button->Spacing(), 4);
}

TEST_F(Toolbar, PressingTheSecondButtonOfAGroupRaisesTheFirst) {
  TfrSpeedButton* first = Button(0);
  TfrSpeedButton* second = Button(30);
  first->SetGroupIndex(1);
  second->SetGroupIndex(1);
  int clicks = 0;
  second->OnClick = [&](TComponent*) { ++clicks; };
  ClickAt(first);
  EXPECT_TRUE(first->Down());
  ClickAt(second);
  EXPECT_TRUE(second->Down());
  EXPECT_FALSE(first->Down());
  EXPECT_EQ(first->State(), bsUp);
  // Without AllowAllUp a down button stays down.
  ClickAt(second);
  EXPECT_TRUE(second->Down());
  EXPECT_EQ(clicks, 2);
  // A double click reaches only a button that is down.
  int double_clicks = 0;
  first->OnDblClick = second->OnDblClick = [&](TComponent*) { ++double_clicks; };
  QTest::mouseDClick(first->Widget(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(double_clicks, 0);
  QTest::mouseDClick(second->Widget(), Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(double_clicks, 1);
  EXPECT_TRUE(second->Down());
  second->SetAllowAllUp(true);
  EXPECT_TRUE(first->AllowAllUp());
  ClickAt(second);
  EXPECT_FALSE(second->Down());
  EXPECT_EQ(second->State(), bsUp);
}

TEST_F(Toolbar, AButtonWithoutAGroupNeverStaysDown) {
  TfrSpeedButton* button = Button(0);
  button->SetDown(true);
  EXPECT_FALSE(button->Down());
  int clicks = 0;
  button->OnClick = [&](TComponent*) { ++clicks; };
  QWidget* widget = button->Widget();
  QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(10, 10));
  EXPECT_EQ(button->State(), bsDown);
  QTest::mouseMove(widget, QPoint(40, 10));
  EXPECT_EQ(button->State(), bsUp);
  // Released outside: no click.
  QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(40, 10));
  EXPECT_EQ(clicks, 0);
  ClickAt(button);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(button->Down());
  EXPECT_EQ(button->State(), bsUp);
}

TEST_F(Toolbar, AFlatButtonShowsItsGlyphGreyUntilTheMouseIsOverIt) {
  auto* button = new TfrTBButton(form.get());
  button->SetParent(form.get());
  button->SetBounds(0, 0, 22, 22);
  TBitmap glyph;
  Solid(glyph, 16, 16, kRed);
  glyph.Canvas().SetPixel(0, 15, kOlive);
  button->SetGlyph(glyph);
  int entered = 0, left = 0;
  button->OnMouseEnter = [&](TComponent*) { ++entered; };
  button->OnMouseLeave = [&](TComponent*) { ++left; };
  EXPECT_TRUE(button->Flat());
  EXPECT_EQ(button->Align(), alLeft);
  QWidget* widget = button->Widget();
  // Aligned left, the button takes the height of the form's client area; the
  // glyph stands centred in it.
  const int cx = button->Width() / 2, cy = button->Height() / 2;
  EXPECT_EQ(PixelOf(button, cx, cy), GreyOf(kRed));
  QEnterEvent enter(QPointF(11, 11), QPointF(11, 11), QPointF(111, 111));
  QApplication::sendEvent(widget, &enter);
  EXPECT_TRUE(button->MouseInControl());
  EXPECT_EQ(PixelOf(button, cx, cy), kRed);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(widget, &leave);
  EXPECT_EQ(PixelOf(button, cx, cy), GreyOf(kRed));
  EXPECT_EQ(entered, 1);
  EXPECT_EQ(left, 1);
  // Without GrayedInactive the glyph keeps its colours.
  button->SetGrayedInactive(false);
  EXPECT_EQ(PixelOf(button, cx, cy), kRed);
}

// Alt with the character after a caption's '&' clicks that button once,
// typed on the active window wherever the focus is; a disabled button and a
// caption without an accelerator take no click.
TEST_F(Toolbar, AltWithTheCaptionsAcceleratorClicksItsButton) {
  const struct {
    const char* what;
    const char* caption;  // UTF-8
    Qt::Key key;
    const char* text;
    bool enabled;
    int clicks;
  } cases[] = {
      {"a Latin accelerator", "&Print", Qt::Key_P, "p", true, 1},
      {"a Cyrillic accelerator", "На&йти", Qt::Key(0x0419), "й", true, 1},
      {"the second character after a doubled ampersand", "A&&B &Zoom", Qt::Key_Z, "z", true, 1},
      {"another letter", "&Print", Qt::Key_R, "r", true, 0},
      {"a caption without an accelerator", "Print", Qt::Key_P, "p", true, 0},
      {"a doubled ampersand only", "A&&P", Qt::Key_P, "p", true, 0},
      {"a disabled button", "&Print", Qt::Key_P, "p", false, 0},
  };
  QWidget* window = form->Widget();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto* button = new TfrTBButton(form.get());
    button->SetParent(form.get());
    int clicks = 0;
    button->OnClick = [&](TComponent*) { ++clicks; };
    button->SetCaption(Utf8ToAnsi(c.caption));
    button->SetEnabled(c.enabled);
    QTest::sendKeyEvent(QTest::Click, window, c.key, QString::fromUtf8(c.text), Qt::AltModifier);
    EXPECT_EQ(clicks, c.clicks);
    delete button;
  }
  // A caption changed to another accelerator answers to the new one only.
  auto* button = new TfrSpeedButton(form.get());
  button->SetParent(form.get());
  int clicks = 0;
  button->OnClick = [&](TComponent*) { ++clicks; };
  button->SetCaption("&Up");
  button->SetCaption("&Down");
  QTest::keyClick(window, Qt::Key_U, Qt::AltModifier);
  EXPECT_EQ(clicks, 0);
  QTest::keyClick(window, Qt::Key_D, Qt::AltModifier);
  EXPECT_EQ(clicks, 1);
  button->SetCaption("Down");
  QTest::keyClick(window, Qt::Key_D, Qt::AltModifier);
  EXPECT_EQ(clicks, 1);
}

// Writes a form holding one button that `set` gave its values, checks the
// texts the form has and has not, and reads it into a fresh button of
// `read`, which must write the same form again. Returns that button.
TfrSpeedButton* StreamedButton(const std::function<void(TfrSpeedButton&)>& set,
                               const std::vector<std::string>& written_texts,
                               const std::vector<std::string>& left_out, TComponent& read) {
  TComponent written(nullptr);
  written.SetName("ToolbarForm");
  auto* button = new TfrSpeedButton(&written);
  button->SetName("PrintBtn");
  set(*button);
  const std::string text = testsupport::FormText(&written);
  for (const std::string& line : written_texts) EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  for (const std::string& name : left_out) EXPECT_EQ(text.find(name), std::string::npos) << name << "\n" << text;
  read.SetName("ToolbarForm");
  auto* target = new TfrSpeedButton(&read);
  target->SetName("PrintBtn");
  testsupport::ReadFormText(text, &read);
  EXPECT_EQ(testsupport::FormText(&read), text);
  return target;
}

// A form keeps whether a button takes its parent's font and hint showing:
// what is the button's own is written, and reading the form gives it back.
TEST_F(Toolbar, AFormStreamsTheButtonsFontAndHintChoices) {
  const struct {
    const char* what;
    std::function<void(TfrSpeedButton&)> set;
    bool parent_font, parent_show_hint, show_hint;
    std::vector<std::string> written, left_out;
  } cases[] = {
      {"all taken from the parent",
       [](TfrSpeedButton&) {}, true, true, true, {}, {"ParentFont", "ShowHint"}},
      {"a font of its own",
       [](TfrSpeedButton& b) { b.Font().SetSize(14); }, false, true, true, {"ParentFont = False"}, {"ShowHint"}},
      {"hints hidden",
       [](TfrSpeedButton& b) { b.SetShowHint(false); }, true, false, false,
       {"ParentShowHint = False", "ShowHint = False"}, {"ParentFont"}},
      {"hints shown by its own choice",
       [](TfrSpeedButton& b) { b.SetShowHint(true); }, true, false, true,
       {"ParentShowHint = False", "ShowHint = True"}, {"ParentFont"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TComponent read(nullptr);
    TfrSpeedButton* target = StreamedButton(c.set, c.written, c.left_out, read);
    EXPECT_EQ(target->ParentFont(), c.parent_font);
    EXPECT_EQ(target->ParentShowHint(), c.parent_show_hint);
    EXPECT_EQ(target->ShowHint(), c.show_hint);
  }
}

// A form keeps a button's own font and its glyph strip, and reads the
// events a form names handlers for; what the button takes from its parent
// or lacks is not written.
TEST_F(Toolbar, AFormStreamsTheButtonsFontGlyphAndEvents) {
  TBitmap strip;
  Solid(strip, 32, 16, kRed);
  strip.Canvas().SetPixel(20, 3, kBlue);
  strip.Canvas().SetPixel(0, 15, kOlive);
  const struct {
    const char* what;
    std::function<void(TfrSpeedButton&)> set;
    std::vector<std::string> written, left_out;
    std::function<void(TfrSpeedButton&)> check;
  } cases[] = {
      {"nothing of its own", [](TfrSpeedButton&) {}, {}, {"Font", "Glyph", "NumGlyphs"},
       [](TfrSpeedButton& b) {
         EXPECT_TRUE(b.Glyph().Empty());
         EXPECT_TRUE(b.ParentFont());
       }},
      {"a font of its own",
       [](TfrSpeedButton& b) {
         b.Font().SetName("Arial");
         b.Font().SetSize(14);
         b.Font().SetColor(kBlue);
         b.Font().SetStyle(TFontStyles{fsBold, fsItalic});
       },
       {"Font.Name = 'Arial'", "Font.Style = [fsBold, fsItalic]", "ParentFont = False"}, {"Glyph"},
       [](TfrSpeedButton& b) {
         EXPECT_FALSE(b.ParentFont());
         EXPECT_EQ(b.Font().Name(), "Arial");
         EXPECT_EQ(b.Font().Size(), 14);
         EXPECT_EQ(b.Font().Color(), kBlue);
         EXPECT_EQ(b.Font().Style(), (TFontStyles{fsBold, fsItalic}));
       }},
      {"a glyph strip of two", [&](TfrSpeedButton& b) { b.SetGlyph(strip); }, {"Glyph.Data = {"}, {"Font", "NumGlyphs"},
       [&](TfrSpeedButton& b) {
         ASSERT_EQ(b.Glyph().Width(), 32);
         ASSERT_EQ(b.Glyph().Height(), 16);
         EXPECT_EQ(b.NumGlyphs(), 2);
         EXPECT_EQ(b.TransparentColor(), kOlive);
         TBitmap& glyph = *b.GlyphBitmap();
         EXPECT_EQ(glyph.Canvas().Pixel(20, 3), kBlue);
         EXPECT_EQ(glyph.Canvas().Pixel(5, 5), kRed);
       }},
      {"a strip shown one image wide",
       [&](TfrSpeedButton& b) {
         b.SetGlyph(strip);
         b.SetNumGlyphs(1);
       },
       {"Glyph.Data = {", "NumGlyphs = 1"}, {}, [](TfrSpeedButton& b) { EXPECT_EQ(b.NumGlyphs(), 1); }},
      {"a count its glyph does not give", [](TfrSpeedButton& b) { b.SetNumGlyphs(3); }, {"NumGlyphs = 3"}, {"Glyph.Data"},
       [](TfrSpeedButton& b) { EXPECT_EQ(b.NumGlyphs(), 3); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TComponent read(nullptr);
    TfrSpeedButton* target = StreamedButton(c.set, c.written, c.left_out, read);
    c.check(*target);
  }

  // Events are bound in code: a form naming handlers for them reads, and
  // every event of the button is known by its name.
  for (const char* event :
       {"OnClick", "OnDblClick", "OnMouseDown", "OnMouseMove", "OnMouseUp", "OnMouseEnter", "OnMouseLeave"}) {
    SCOPED_TRACE(event);
    TComponent read(nullptr);
    read.SetName("ToolbarForm");
    auto* target = new TfrSpeedButton(&read);
    target->SetName("PrintBtn");
    const std::string text = testsupport::FormText(&read);
    const size_t end = text.rfind("  end");
    ASSERT_NE(end, std::string::npos) << text;
    std::string named = text;
    named.insert(end, "    " + std::string(event) + " = PrintBtnHandler\r\n");
    EXPECT_NO_THROW(testsupport::ReadFormText(named, &read)) << named;
  }
}

// On a parent the button takes the parent's font and hint showing until it
// is given its own.
TEST_F(Toolbar, AButtonTakesItsParentsFontAndHintShowing) {
  auto* panel = new TPanel(form.get());
  panel->SetParent(form.get());
  panel->Font().SetSize(15);
  panel->SetShowHint(false);
  auto* button = new TfrTBButton(form.get());
  button->SetParent(panel);
  EXPECT_EQ(button->Font().Size(), 15);
  EXPECT_TRUE(button->ParentFont());
  EXPECT_FALSE(button->ShowHint());
  EXPECT_TRUE(button->ParentShowHint());
  button->Font().SetSize(9);
  EXPECT_FALSE(button->ParentFont());
  button->SetParentFont(true);
  EXPECT_EQ(button->Font().Size(), 15);
  button->SetShowHint(true);
  EXPECT_FALSE(button->ParentShowHint());
  button->SetParentShowHint(true);
  EXPECT_FALSE(button->ShowHint());
}

// A 6 × 6 glyph: red with one blue pixel, its bottom-left pixel olive (the
// transparent colour).
void SmallGlyph(TBitmap& glyph) {
  Solid(glyph, 6, 6, kRed);
  glyph.Canvas().SetPixel(2, 2, kBlue);
  glyph.Canvas().SetPixel(0, 5, kOlive);
}

// The button's picture as rows of letters: '.' the button face, 'H' its
// highlight (white), 'S' its shadow, 'R' red, 'B' blue, 'r' and 'b' their
// greys, '?' anything else.
std::vector<std::string> PictureOf(TControl* control) {
  const std::pair<TColor, char> legend[] = {
      {ColorToRGB(clBtnFace), '.'}, {ColorToRGB(clBtnHighlight), 'H'}, {ColorToRGB(clBtnShadow), 'S'},
      {kRed, 'R'},                  {kBlue, 'B'},
      {GreyOf(kRed), 'r'},          {GreyOf(kBlue), 'b'},
  };
  std::vector<std::string> rows;
  for (int y = 0; y < control->Height(); ++y) {
    std::string row;
    for (int x = 0; x < control->Width(); ++x) {
      const TColor pixel = PixelOf(control, x, y);
      char letter = '?';
      for (const auto& [color, c] : legend)
        if (pixel == color) {
          letter = c;
          break;
        }
      row += letter;
    }
    rows.push_back(row);
  }
  return rows;
}

// What a 14 × 14 button with the small glyph looks like in each of its
// states: up, held down, down in its group, disabled, and flat (grey while
// the mouse is away, coloured with a raised rim while over it, on the
// checkered face while down in its group).
TEST_F(Toolbar, AButtonsPictureInEachState) {
  // An up button, and a flat one while the mouse is over it.
  const std::vector<std::string> raised = {
      "HHHHHHHHHHHHHS",
      "H............S",
      "H............S",
      "H............S",
      "H...RRRRRR...S",
      "H...RRRRRR...S",
      "H...RRBRRR...S",
      "H...RRRRRR...S",
      "H...RRRRRR...S",
      "H....RRRRR...S",
      "H............S",
      "H............S",
      "H............S",
      "SSSSSSSSSSSSSS"};
  const struct {
    const char* what;
    bool flat, enabled, down, press, hover;
    std::vector<std::string> picture;
  } cases[] = {
      {"up", false, true, false, false, false, raised},
      {"held down", false, true, false, true, false, {
           "SSSSSSSSSSSSSH",
           "S............H",
           "S............H",
           "S............H",
           "S............H",
           "S....RRRRRR..H",
           "S....RRRRRR..H",
           "S....RRBRRR..H",
           "S....RRRRRR..H",
           "S....RRRRRR..H",
           "S.....RRRRR..H",
           "S............H",
           "S............H",
           "HHHHHHHHHHHHHH"}},
      {"down in its group", false, true, true, false, false, {
           "SSSSSSSSSSSSSH",
           "SH.H.H.H.H.H.H",
           "S.H.H.H.H.H.HH",
           "SH.H.H.H.H.H.H",
           "S.H.H.H.H.H.HH",
           "SH.H.RRRRRRH.H",
           "S.H.HRRRRRR.HH",
           "SH.H.RRBRRRH.H",
           "S.H.HRRRRRR.HH",
           "SH.H.RRRRRRH.H",
           "S.H.H.RRRRR.HH",
           "SH.H.H.H.H.H.H",
           "S.H.H.H.H.H.HH",
           "HHHHHHHHHHHHHH"}},
      {"disabled", false, false, false, false, false, {
           "HHHHHHHHHHHHHS",
           "H............S",
           "H............S",
           "H............S",
           "H...SSSSSS...S",
           "H...SSSSSS...S",
           "H...SSSSSS...S",
           "H...SSSSSS...S",
           "H...SSSSSS...S",
           "H....SSSSS...S",
           "H............S",
           "H............S",
           "H............S",
           "SSSSSSSSSSSSSS"}},
      {"flat, the mouse away", true, true, false, false, false, {
           "..............",
           "..............",
           "..............",
           "..............",
           "....rrrrrr....",
           "....rrrrrr....",
           "....rrbrrr....",
           "....rrrrrr....",
           "....rrrrrr....",
           ".....rrrrr....",
           "..............",
           "..............",
           "..............",
           ".............."}},
      {"flat, the mouse over it", true, true, false, false, true, raised},
      {"flat, down in its group", true, true, true, false, false, {
           "SSSSSSSSSSSSSH",
           "SH.H.H.H.H.H.H",
           "S.H.H.H.H.H.HH",
           "SH.H.H.H.H.H.H",
           "S.H.rrrrrrH.HH",
           "SH.Hrrrrrr.H.H",
           "S.H.rrbrrrH.HH",
           "SH.Hrrrrrr.H.H",
           "S.H.rrrrrrH.HH",
           "SH.H.rrrrr.H.H",
           "S.H.H.H.H.H.HH",
           "SH.H.H.H.H.H.H",
           "S.H.H.H.H.H.HH",
           "HHHHHHHHHHHHHH"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TfrSpeedButton* button = Button(0);
    button->SetBounds(0, 0, 14, 14);
    TBitmap glyph;
    SmallGlyph(glyph);
    button->SetGlyph(glyph);
    button->SetFlat(c.flat);
    button->SetGroupIndex(1);
    button->SetDown(c.down);
    button->SetEnabled(c.enabled);
    QWidget* widget = button->Widget();
    if (c.press) QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(5, 5));
    if (c.hover) {
      QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(105, 105));
      QApplication::sendEvent(widget, &enter);
    }
    const std::vector<std::string> picture = PictureOf(button);
    EXPECT_EQ(picture, c.picture);
    if (c.press) QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(40, 40));
    delete button;
  }
}
// A button of at most 100 × 100 is painted in the shared off-screen picture
// and copied; a larger one straight on itself. Both give the same picture:
// glyph and caption (enabled, or embossed when disabled) at the same places
// when the glyph stands at a fixed margin.
TEST_F(Toolbar, AButtonPaintedOffScreenLooksAsOnePaintedDirectly) {
  form->SetBounds(100, 100, 300, 100);
  for (const bool enabled : {true, false}) {
    SCOPED_TRACE(enabled ? "enabled" : "disabled");
    std::vector<std::vector<std::string>> pictures;
    for (const int width : {100, 101}) {
      TfrSpeedButton* button = Button(0);
      button->SetBounds(0, 0, width, 30);
      TBitmap glyph;
      SmallGlyph(glyph);
      button->SetGlyph(glyph);
      button->SetMargin(4);
      button->SetCaption(Utf8ToAnsi("Печать"));
      button->SetEnabled(enabled);
      std::vector<std::string> picture = PictureOf(button);
      // The right rim stands one pixel further on the wider button.
      for (std::string& row : picture) row.resize(98);
      pictures.push_back(picture);
      delete button;
    }
    EXPECT_EQ(pictures[0], pictures[1]);
    int ink = 0;
    for (const std::string& row : pictures[0]) ink += int(std::count(row.begin() + 14, row.end(), '?'));
    EXPECT_GE(ink, 20);
  }
}

// Buttons share their glyph images: one list per image size, a place freed
// by one button taken by the next, and the list, the cache and the shared
// pictures freed with the last button.
TEST_F(Toolbar, ButtonsShareTheGlyphListOfTheirImageSize) {
  ASSERT_EQ(GlyphCache(), nullptr);
  ASSERT_EQ(TfrSpeedButton::SharedOffScreen(), nullptr);
  TBitmap small, large;
  SmallGlyph(small);
  Solid(large, 16, 16, kRed);
  TfrSpeedButton* first = Button(0);
  TfrSpeedButton* second = Button(30);
  TfrSpeedButton* third = Button(60);
  first->SetGlyph(small);
  second->SetGlyph(small);
  third->SetGlyph(large);
  for (TfrSpeedButton* button : {first, second, third}) PictureOf(button);
  ASSERT_NE(GlyphCache(), nullptr);
  EXPECT_EQ(GlyphCache()->ListCount(), 2);
  const TGlyphList* list = first->ButtonGlyph().List();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(second->ButtonGlyph().List(), list);
  EXPECT_NE(third->ButtonGlyph().List(), list);
  EXPECT_EQ(list->Width(), 6);
  // Each button has its up image (and the disabled one made as it was
  // enabled) in the list: the same picture drawn by both.
  const int used = list->UsedCount();
  EXPECT_GE(used, 2);
  EXPECT_EQ(PictureOf(first), PictureOf(second));
  const TBitmap* off_screen = TfrSpeedButton::SharedOffScreen();
  ASSERT_NE(off_screen, nullptr);
  EXPECT_EQ(off_screen->Width(), 100);

  delete first;
  EXPECT_LT(list->UsedCount(), used);
  const int count = list->Count();
  TfrSpeedButton* fourth = Button(90);
  fourth->SetGlyph(small);
  PictureOf(fourth);
  EXPECT_EQ(fourth->ButtonGlyph().List(), list);
  EXPECT_EQ(list->UsedCount(), used);
  EXPECT_EQ(list->Count(), count);
  EXPECT_EQ(TfrSpeedButton::SharedOffScreen(), off_screen);

  // A new glyph gives the old images back.
  third->SetGlyph(small);
  PictureOf(third);
  EXPECT_EQ(GlyphCache()->ListCount(), 1);
  for (TfrSpeedButton* button : {second, third, fourth}) delete button;
  EXPECT_EQ(GlyphCache(), nullptr);
  EXPECT_EQ(TfrSpeedButton::SharedOffScreen(), nullptr);
}

TEST_F(Toolbar, TheSeparatorDrawsAnEtchedLineThroughItsMiddle) {
  auto* separator = new TfrTBSeparator(form.get());
  separator->SetParent(form.get());
  separator->SetAlign(alNone);
  separator->SetBounds(0, 0, 8, 30);
  const TColor face = ColorToRGB(clBtnFace);
  EXPECT_EQ(PixelOf(separator, 3, 15), ColorToRGB(clBtnShadow));
  EXPECT_EQ(PixelOf(separator, 4, 15), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(PixelOf(separator, 3, 0), face);
  EXPECT_EQ(PixelOf(separator, 6, 15), face);
  separator->SetDrawBevel(false);
  EXPECT_EQ(PixelOf(separator, 3, 15), face);
}

// Buttons and separators put on a tool bar panel line up beside one another
// on a bar across the window and one below the other on a bar down its side,
// the separator's line across the bar either way.
TEST_F(Toolbar, ButtonsAndSeparatorsLineUpAlongTheirBar) {
  form->SetBounds(100, 100, 300, 300);
  const struct {
    const char* what;
    TAlign bar;
    TAlign placed;
  } cases[] = {
      {"a bar across the top", alTop, alLeft},
      {"a bar down the left side", alLeft, alTop},
      {"a bar down the right side", alRight, alTop},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto* bar = new TPanel(form.get());
    bar->SetParent(form.get());
    bar->SetAlign(c.bar);
    bar->SetBounds(0, 0, 60, 60);
    auto* panel = new TPanel(form.get());
    panel->SetParent(bar);
    panel->SetAlign(alClient);
    EXPECT_EQ(ToolbarAlign(*panel), c.placed);
    auto* first = new TfrTBButton(form.get());
    first->SetParent(panel);
    auto* separator = new TfrTBSeparator(form.get());
    separator->SetParent(panel);
    auto* second = new TfrTBButton(form.get());
    second->SetParent(panel);
    QApplication::processEvents();
    for (TControl* control : std::initializer_list<TControl*>{first, separator, second}) EXPECT_EQ(control->Align(), c.placed);
    if (c.placed == alLeft) {
      EXPECT_EQ(separator->Left(), first->Left() + first->Width());
      EXPECT_EQ(second->Left(), separator->Left() + separator->Width());
      EXPECT_EQ(second->Top(), first->Top());
      // A vertical etched line through the separator's middle.
      EXPECT_EQ(PixelOf(separator, separator->Width() / 2 - 1, separator->Height() / 2), ColorToRGB(clBtnShadow));
    } else {
      EXPECT_EQ(separator->Top(), first->Top() + first->Height());
      EXPECT_EQ(second->Top(), separator->Top() + separator->Height());
      EXPECT_EQ(second->Left(), first->Left());
      EXPECT_EQ(separator->Height(), 8);
      // A horizontal etched line through the separator's middle.
      EXPECT_EQ(PixelOf(separator, separator->Width() / 2, separator->Height() / 2 - 1), ColorToRGB(clBtnShadow));
    }
    bar->SetVisible(false);
  }
}

// The caption's dark pixels: how far they reach and how many there are.
struct Ink {
  int width = 0, height = 0, count = 0;
};

Ink InkOf(TControl* control) {
  const QImage image = control->Widget()->grab().toImage();
  int left = image.width(), top = image.height(), right = -1, bottom = -1;
  Ink ink;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      // Darker than the button's shadow rim: the caption's ink.
      if (qRed(p) + qGreen(p) + qBlue(p) >= 3 * 0x60) continue;
      ++ink.count;
      left = std::min(left, x), right = std::max(right, x);
      top = std::min(top, y), bottom = std::max(bottom, y);
    }
  if (right >= 0) ink.width = right - left + 1, ink.height = bottom - top + 1;
  return ink;
}

// A button's caption is drawn in the button's font, whether the font is its
// own or taken from its parent.
TEST_F(Toolbar, TheCaptionIsDrawnInTheButtonsFont) {
  const auto large = [](TFont& font) {
    font.SetSize(16);
    font.SetStyle(TFontStyles{fsBold});
  };
  const struct {
    const char* what;
    std::function<void(TPanel&, TfrSpeedButton&)> set;
  } cases[] = {
      {"a font of its own", [&](TPanel&, TfrSpeedButton& b) { large(b.Font()); }},
      {"its parent's font, taken when placed",
       [&](TPanel& panel, TfrSpeedButton& b) {
         b.SetParent(nullptr);
         large(panel.Font());
         b.SetParent(&panel);
       }},
      {"its parent's font, taken again",
       [&](TPanel& panel, TfrSpeedButton& b) {
         large(panel.Font());
         b.Font().SetSize(8);
         b.SetParentFont(true);
       }},
  };
  form->SetBounds(100, 100, 300, 120);
  const auto place = [&](const std::function<void(TPanel&, TfrSpeedButton&)>& set) {
    auto* panel = new TPanel(form.get());
    panel->SetParent(form.get());
    panel->SetBounds(0, 0, 300, 100);
    auto* button = new TfrSpeedButton(form.get());
    button->SetParent(panel);
    button->SetBounds(4, 4, 96, 40);
    button->SetCaption("Wxyz");
    set(*panel, *button);
    QApplication::processEvents();
    const Ink ink = InkOf(button);
    panel->SetVisible(false);
    return ink;
  };
  const Ink plain = place([](TPanel&, TfrSpeedButton&) {});
  ASSERT_GT(plain.count, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Ink ink = place(c.set);
    EXPECT_GT(ink.height, plain.height + 3) << plain.height;
    EXPECT_GT(ink.width, plain.width + 6) << plain.width;
    EXPECT_GT(ink.count, plain.count * 2) << plain.count;
  }
}

}  // namespace dlg_toolbar_test
