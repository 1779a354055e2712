// Painted controls: paint, mouse, keys, focus, scroll bars and timers reach
// the control's virtual methods in the classic shape.
#include "toolkit/ui/customctrl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

#include "toolkit/core/text.h"
#include "toolkit/gfx/drawtext.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace customctrl_test {

std::string ShiftText(TShiftState s) {
  std::string t;
  const struct {
    TShiftStateFlag flag;
    const char* name;
  } names[] = {{ssShift, "S"}, {ssAlt, "A"}, {ssCtrl, "C"}, {ssLeft, "L"},
               {ssRight, "R"}, {ssMiddle, "M"}, {ssDouble, "D"}};
  for (const auto& n : names)
    if (s.Contains(n.flag)) t += n.name;
  return "[" + t + "]";
}

const char* ButtonText(TMouseButton b) { return b == mbLeft ? "L" : b == mbRight ? "R" : "M"; }

class Probe : public TCustomControl {
 public:
  explicit Probe(TComponent* owner) : TCustomControl(owner) { OnClick = [this](TComponent*) { Log("click"); }; }
  std::vector<std::string> log;
  bool want_tabs = false;
  bool want_special = false;
  int line_step = 0;  // moves the position this much for a line request
  TColor square = clRed;
  int painted = 0;
  int canvas_font_size = 0;
  TRect paint_rect;  // PaintRect during the last paint

  void Log(const std::string& s) { log.push_back(s); }
  using TCustomControl::Canvas;

 protected:
  void Paint() override {
    ++painted;
    paint_rect = PaintRect();
    canvas_font_size = Canvas().Font().Size();
    Canvas().Brush().SetColor(square);
    Canvas().FillRect(Rect(10, 10, 30, 30));
  }
  void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
    Log(std::string("down ") + ButtonText(b) + " " + ShiftText(s) + " " + std::to_string(x) + "," + std::to_string(y));
  }
  void MouseUp(TMouseButton b, TShiftState s, int x, int y) override {
    Log(std::string("up ") + ButtonText(b) + " " + ShiftText(s) + " " + std::to_string(x) + "," + std::to_string(y));
  }
  void MouseMove(TShiftState s, int x, int y) override {
    Log("move " + ShiftText(s) + " " + std::to_string(x) + "," + std::to_string(y));
  }
  void DblClick() override { Log("dblclick"); }
  void MouseWheel(TShiftState, int delta, int, int) override { Log("wheel " + std::to_string(delta)); }
  void KeyDown(uint16_t& key, TShiftState s) override {
    char buf[32];
    std::snprintf(buf, sizeof buf, "keydown %02X %s", key, ShiftText(s).c_str());
    Log(buf);
  }
  void KeyPress(char& key) override {
    char buf[32];
    std::snprintf(buf, sizeof buf, "char %02X", unsigned(uint8_t(key)));
    Log(buf);
  }
  bool WantTabs() const override { return want_tabs; }
  bool WantSpecialKey(uint16_t) const override { return want_special; }
  void DoEnter() override { Log("enter"); }
  void DoExit() override { Log("exit"); }
  void WMTimer(unsigned id) override { Log("timer " + std::to_string(id)); }
  void WMVScroll(int code, int pos) override {
    Log("vscroll " + std::to_string(code) + " " + std::to_string(pos));
    if (line_step && (code == SB_LINEDOWN || code == SB_LINEUP))
      SetScrollPos(SB_VERT, GetScrollPos(SB_VERT) + (code == SB_LINEDOWN ? line_step : -line_step), true);
  }
  void WMHScroll(int code, int pos) override {
    Log("hscroll " + std::to_string(code) + " " + std::to_string(pos));
  }
  void Resize() override { Log("resize"); }
};

// A shown form with the probe filling most of it.
struct Stage {
  Stage() : form(nullptr), probe(&form) {
    form.SetBounds(0, 0, 320, 240);
    probe.SetBounds(5, 5, 200, 150);
    probe.SetParent(&form);
    form.Show();
    QApplication::processEvents();
    probe.log.clear();
  }
  ~Stage() { form.Hide(); }
  TForm form;
  Probe probe;
};

TEST(CustomControlMouse, ButtonsMovesAndDoubleClicksArriveInTheClassicOrder) {
  const struct {
    const char* name;
    std::function<void(QWidget*)> act;
    std::vector<std::string> log;
  } cases[] = {
      {"left click", [](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(10, 12)); },
       {"down L [L] 10,12", "up L [] 10,12", "click"}},
      {"right click with shift",
       [](QWidget* w) { QTest::mouseClick(w, Qt::RightButton, Qt::ShiftModifier, QPoint(3, 4)); },
       {"down R [SR] 3,4", "up R [S] 3,4"}},
      {"ctrl middle click",
       [](QWidget* w) { QTest::mouseClick(w, Qt::MiddleButton, Qt::ControlModifier, QPoint(7, 8)); },
       {"down M [CM] 7,8", "up M [C] 7,8"}},
      {"move with the left button held",
       [](QWidget* w) {
         QMouseEvent move(QEvent::MouseMove, QPointF(40, 41), w->mapToGlobal(QPointF(40, 41)), Qt::NoButton,
                          Qt::LeftButton, Qt::ShiftModifier);
         QApplication::sendEvent(w, &move);
       },
       {"move [SL] 40,41"}},
  };
  for (const auto& c : cases) {
    Stage stage;
    c.act(stage.probe.Widget());
    EXPECT_EQ(stage.probe.log, c.log) << c.name;
  }
}

TEST(CustomControlMouse, DoubleClickIsDblClickThenAPressWithDoubleAndNoSecondClick) {
  Stage stage;
  QWidget* w = stage.probe.Widget();
  const QPointF at(20, 20);
  auto send = [&](QEvent::Type type, Qt::MouseButtons held) {
    QMouseEvent e(type, at, w->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  send(QEvent::MouseButtonPress, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, Qt::NoButton);
  send(QEvent::MouseButtonDblClick, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, Qt::NoButton);
  EXPECT_EQ(stage.probe.log, (std::vector<std::string>{"down L [L] 20,20", "up L [] 20,20", "click", "dblclick",
                                                       "down L [LD] 20,20", "up L [] 20,20"}));
}

TEST(CustomControlMouse, WheelGivesTheDelta) {
  Stage stage;
  QWidget* w = stage.probe.Widget();
  QWheelEvent down(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &down);
  EXPECT_EQ(stage.probe.log, std::vector<std::string>{"wheel -120"});
}

TEST(CustomControlKeys, KeysBecomeVirtualKeysAndTypedCharacters1251) {
  const struct {
    const char* name;
    int key;
    Qt::KeyboardModifiers mods;
    const char* text;  // UTF-8
    bool tabs, special;
    std::vector<std::string> log;
  } cases[] = {
      {"letter", Qt::Key_A, Qt::NoModifier, "a", false, false, {"keydown 41 []", "char 61"}},
      {"shifted letter", Qt::Key_A, Qt::ShiftModifier, "A", false, false, {"keydown 41 [S]", "char 41"}},
      {"ctrl letter", Qt::Key_C, Qt::ControlModifier, "c", false, false, {"keydown 43 [C]", "char 03"}},
      {"alt letter types nothing", Qt::Key_X, Qt::AltModifier, "x", false, false, {"keydown 58 [A]"}},
      {"arrow", Qt::Key_Down, Qt::NoModifier, "", false, false, {"keydown 28 []"}},
      {"page down", Qt::Key_PageDown, Qt::NoModifier, "", false, false, {"keydown 22 []"}},
      {"function key", Qt::Key_F2, Qt::NoModifier, "", false, false, {"keydown 71 []"}},
      {"delete types nothing", Qt::Key_Delete, Qt::NoModifier, "\x7f", false, false, {"keydown 2E []"}},
      {"backspace", Qt::Key_Backspace, Qt::NoModifier, "\b", false, false, {"keydown 08 []", "char 08"}},
      {"russian letter", 0x0436, Qt::NoModifier, "ж", false, false, {"keydown BA []", "char E6"}},
      {"russian capital", 0x0416, Qt::ShiftModifier, "Ж", false, false, {"keydown BA [S]", "char C6"}},
      {"keypad digit", Qt::Key_5, Qt::KeypadModifier, "5", false, false, {"keydown 65 []", "char 35"}},
      {"keypad plus", Qt::Key_Plus, Qt::KeypadModifier, "+", false, false, {"keydown 6B []", "char 2B"}},
      {"character outside 1251", Qt::Key_unknown, Qt::NoModifier, "€€", false, false, {}},
      {"euro sign is in 1251", Qt::Key_unknown, Qt::NoModifier, "€", false, false, {"char 88"}},
      {"escape goes to the form", Qt::Key_Escape, Qt::NoModifier, "\x1b", false, false, {}},
      {"escape wanted", Qt::Key_Escape, Qt::NoModifier, "\x1b", false, true, {"keydown 1B []", "char 1B"}},
      {"enter wanted", Qt::Key_Return, Qt::NoModifier, "\r", false, true, {"keydown 0D []", "char 0D"}},
      {"tab wanted", Qt::Key_Tab, Qt::NoModifier, "\t", true, false, {"keydown 09 []", "char 09"}},
  };
  for (const auto& c : cases) {
    Stage stage;
    stage.probe.want_tabs = c.tabs;
    stage.probe.want_special = c.special;
    QKeyEvent press(QEvent::KeyPress, c.key, c.mods, QString::fromUtf8(c.text));
    QApplication::sendEvent(stage.probe.Widget(), &press);
    EXPECT_EQ(stage.probe.log, c.log) << c.name;
  }
}

TEST(CustomControlKeys, EscapeNotWantedReachesTheFormsCancelButton) {
  Stage stage;
  TButton cancel(&stage.form);
  cancel.SetParent(&stage.form);
  cancel.SetCancel(true);
  int clicks = 0;
  cancel.OnClick = [&](TComponent*) { ++clicks; };
  QTest::keyClick(stage.probe.Widget(), Qt::Key_Escape);
  EXPECT_EQ(clicks, 1);
  stage.probe.want_special = true;
  QTest::keyClick(stage.probe.Widget(), Qt::Key_Escape);
  EXPECT_EQ(clicks, 1);
}

TEST(CustomControlPaint, PaintsOverItsColourWithTheCanvasItKeepsBetweenPaints) {
  Stage stage;
  stage.probe.SetColor(clYellow);
  // Set outside painting: the canvas keeps it for the next paint.
  stage.probe.Canvas().Font().SetSize(17);
  EXPECT_GT(stage.probe.Canvas().TextWidth("Wide"), stage.probe.Canvas().TextWidth("W"));
  const QImage image = stage.probe.Widget()->grab().toImage();
  EXPECT_GT(stage.probe.painted, 0);
  EXPECT_EQ(stage.probe.canvas_font_size, 17);
  EXPECT_EQ(QColor(image.pixel(20, 20)), QColor(Qt::red));
  EXPECT_EQ(QColor(image.pixel(100, 100)), QColor(Qt::yellow));
}

TEST(CustomControlPaint, InvalidateAndUpdatePaintNow) {
  Stage stage;
  QApplication::processEvents();
  const int before = stage.probe.painted;
  stage.probe.square = clBlue;
  stage.probe.InvalidateRect(Rect(0, 0, 50, 50));
  stage.probe.Update();
  EXPECT_GT(stage.probe.painted, before);
}

// A paint renews only what was marked; the control learns which part that is.
TEST(CustomControlPaint, PaintRectIsThePartMarkedForPainting) {
  Stage stage;
  QApplication::processEvents();
  stage.probe.InvalidateRect(Rect(40, 20, 90, 60));
  stage.probe.Update();
  const TRect r = stage.probe.paint_rect;
  EXPECT_EQ((std::vector<int>{r.Left, r.Top, r.Right, r.Bottom}), (std::vector<int>{40, 20, 90, 60}));
  const TRect outside = stage.probe.PaintRect();
  EXPECT_EQ((std::vector<int>{outside.Left, outside.Top, outside.Right, outside.Bottom}),
            (std::vector<int>{0, 0, stage.probe.ClientWidth(), stage.probe.ClientHeight()}));
}

TEST(CustomControlScroll, ScrollInfoIsClampedAndShowsTheBarWhenUsable) {
  const struct {
    const char* name;
    int min, max;
    unsigned page;
    int pos;
    int got_pos;
    unsigned got_page;
    bool shown;
  } cases[] = {
      {"bar without page", 0, 4, 0, 2, 2, 0, true},
      {"no usable bar", 1, 1, 0, 1, 1, 0, false},
      {"position within the last page", 1, 10, 3, 20, 8, 3, true},
      {"position below the range", 5, 10, 1, -3, 5, 1, true},
      {"page wider than the range", 0, 9, 20, 5, 0, 10, false},
      {"page exactly the range", 0, 9, 10, 5, 0, 10, false},
      {"maximum below minimum", 7, 3, 0, 9, 7, 0, false},
  };
  for (const auto& c : cases) {
    Stage stage;
    TScrollInfo info;
    info.fMask = SIF_ALL;
    info.nMin = c.min;
    info.nMax = c.max;
    info.nPage = c.page;
    info.nPos = c.pos;
    EXPECT_EQ(stage.probe.SetScrollInfo(SB_VERT, info, true), c.got_pos) << c.name;
    TScrollInfo back;
    back.fMask = SIF_ALL;
    ASSERT_TRUE(stage.probe.GetScrollInfo(SB_VERT, back));
    EXPECT_EQ(back.nPos, c.got_pos) << c.name;
    EXPECT_EQ(back.nPage, c.got_page) << c.name;
    EXPECT_EQ(stage.probe.ScrollBarShown(SB_VERT), c.shown) << c.name;
    EXPECT_FALSE(stage.probe.ScrollBarShown(SB_HORZ)) << c.name;
    const auto* bar = stage.probe.Widget()->findChild<QScrollBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->isVisible(), c.shown) << c.name;
    // The client area gives way to a shown bar.
    EXPECT_EQ(stage.probe.ClientWidth() < 200, c.shown) << c.name;
    EXPECT_EQ(stage.probe.ClientHeight(), 150);
  }
}

TEST(CustomControlScroll, PositionOnlyChangesWithTheMaskAndResizeFollowsTheBar) {
  Stage stage;
  TScrollInfo info;
  info.fMask = SIF_RANGE | SIF_PAGE;
  info.nMin = 0;
  info.nMax = 10;
  info.nPage = 2;
  info.nPos = 6;  // not in the mask
  stage.probe.SetScrollInfo(SB_HORZ, info, true);
  EXPECT_EQ(stage.probe.GetScrollPos(SB_HORZ), 0);
  EXPECT_EQ(stage.probe.log, std::vector<std::string>{"resize"});
  EXPECT_EQ(stage.probe.SetScrollPos(SB_HORZ, 4, true), 0);
  EXPECT_EQ(stage.probe.GetScrollPos(SB_HORZ), 4);
  EXPECT_LT(stage.probe.ClientHeight(), 150);
}

TEST(CustomControlScroll, UserRequestsReachTheControlWhichMovesTheBar) {
  const struct {
    const char* name;
    QAbstractSlider::SliderAction action;
    int step;
    std::string logged;
    int pos_after;
  } cases[] = {
      {"line down, not answered", QAbstractSlider::SliderSingleStepAdd, 0, "vscroll 1 3", 3},
      {"line down, answered", QAbstractSlider::SliderSingleStepAdd, 1, "vscroll 1 3", 4},
      {"line up, answered", QAbstractSlider::SliderSingleStepSub, 2, "vscroll 0 3", 1},
      {"page down", QAbstractSlider::SliderPageStepAdd, 0, "vscroll 3 3", 3},
      {"page up", QAbstractSlider::SliderPageStepSub, 0, "vscroll 2 3", 3},
      {"to the top", QAbstractSlider::SliderToMinimum, 0, "vscroll 6 3", 3},
      {"to the bottom", QAbstractSlider::SliderToMaximum, 0, "vscroll 7 3", 3},
  };
  for (const auto& c : cases) {
    Stage stage;
    TScrollInfo info;
    info.nMin = 0;
    info.nMax = 20;
    info.nPage = 5;
    info.nPos = 3;
    stage.probe.SetScrollInfo(SB_VERT, info, true);
    stage.probe.line_step = c.step;
    stage.probe.log.clear();
    auto* bar = stage.probe.Widget()->findChild<QScrollBar*>();
    ASSERT_NE(bar, nullptr);
    bar->triggerAction(c.action);
    ASSERT_FALSE(stage.probe.log.empty()) << c.name;
    EXPECT_EQ(stage.probe.log.front(), c.logged) << c.name;
    EXPECT_EQ(stage.probe.GetScrollPos(SB_VERT), c.pos_after) << c.name;
    EXPECT_EQ(bar->value(), c.pos_after) << c.name;
  }
}

TEST(CustomControlTimers, TimersFireByNumberUntilKilled) {
  Stage stage;
  EXPECT_TRUE(stage.probe.SetTimer(1, 5));
  EXPECT_TRUE(stage.probe.SetTimer(7, 5));
  auto count = [&](const std::string& what) {
    return std::count(stage.probe.log.begin(), stage.probe.log.end(), what);
  };
  for (int i = 0; i < 400 && (count("timer 1") < 2 || count("timer 7") < 1); ++i) QTest::qWait(5);
  EXPECT_GE(count("timer 1"), 2);
  EXPECT_GE(count("timer 7"), 1);
  EXPECT_TRUE(stage.probe.KillTimer(1));
  EXPECT_FALSE(stage.probe.KillTimer(1));
  EXPECT_FALSE(stage.probe.KillTimer(99));
  const auto ones = count("timer 1");
  const auto sevens = count("timer 7");
  for (int i = 0; i < 400 && count("timer 7") < sevens + 2; ++i) QTest::qWait(5);
  EXPECT_EQ(count("timer 1"), ones);
  EXPECT_GE(count("timer 7"), sevens + 2);
}

TEST(CustomControlFocus, EnterAndExitFollowTheFocus) {
  Stage stage;
  Probe other(&stage.form);
  other.SetBounds(210, 5, 50, 50);
  other.SetParent(&stage.form);
  stage.probe.SetTabStop(true);
  other.SetTabStop(true);
  stage.form.Widget()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(stage.form.Widget()));
  other.log.clear();
  stage.probe.SetFocus();
  QApplication::processEvents();
  EXPECT_TRUE(stage.probe.Focused());
  other.SetFocus();
  QApplication::processEvents();
  EXPECT_EQ(stage.probe.log, (std::vector<std::string>{"enter", "exit"}));
  EXPECT_EQ(other.log, std::vector<std::string>{"enter"});
}

class Painted : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;

 protected:
  void Paint() override {
    TRect r = Rect(0, 0, Width(), Height());
    Canvas().Brush().SetColor(clGreen);
    Canvas().FillRect(Rect(0, 0, 10, 10));
    Canvas().Brush().SetStyle(bsClear);
    DrawText(Canvas(), "Label", r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  }
};

TEST(GraphicControl, PaintsAndTakesTheMouseButNotTheFocus) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 200, 100);
  Painted control(&form);
  control.SetBounds(10, 10, 80, 30);
  control.SetParent(&form);
  std::vector<std::string> log;
  control.OnMouseDown = [&](TComponent*, TMouseButton b, TShiftState s, int x, int y) {
    log.push_back(std::string("down ") + ButtonText(b) + ShiftText(s) + std::to_string(x) + "," + std::to_string(y));
  };
  control.OnClick = [&](TComponent*) { log.push_back("click"); };
  form.Show();
  const QImage image = control.Widget()->grab().toImage();
  EXPECT_EQ(QColor(image.pixel(5, 5)), QColor(Qt::darkGreen));
  QTest::mouseClick(control.Widget(), Qt::LeftButton, {}, QPoint(4, 6));
  EXPECT_EQ(log, (std::vector<std::string>{"down L[L]4,6", "click"}));
  EXPECT_EQ(control.Widget()->focusPolicy(), Qt::NoFocus);
  EXPECT_GT(control.Canvas().TextWidth("Label"), 0);
  form.Hide();
}

TEST(VirtualKeys, QtKeysMapToTheClassicCodes) {
  const struct {
    int key;
    bool keypad;
    uint16_t vk;
  } cases[] = {
      {Qt::Key_Z, false, 'Z'},         {Qt::Key_7, false, '7'},           {Qt::Key_7, true, VK_NUMPAD0 + 7},
      {Qt::Key_F1, false, VK_F1},      {Qt::Key_F12, false, VK_F12},      {Qt::Key_Home, false, VK_HOME},
      {Qt::Key_Enter, true, VK_RETURN}, {Qt::Key_Backtab, false, VK_TAB}, {Qt::Key_Insert, false, VK_INSERT},
      {0x0439, false, 'Q'},            {0x0419, false, 'Q'},              {0x0451, false, VK_OEM_3},
      {0x044E, false, VK_OEM_PERIOD},  {Qt::Key_Period, true, VK_DECIMAL}, {Qt::Key_Comma, true, VK_DECIMAL},
      {Qt::Key_Minus, false, VK_OEM_MINUS}, {Qt::Key_unknown, false, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(VirtualKeyFromQtKey(c.key, c.keypad), c.vk) << std::hex << c.key;
}

}  // namespace customctrl_test
