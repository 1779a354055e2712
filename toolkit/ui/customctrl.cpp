#include "toolkit/ui/customctrl.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>

#include <map>

#include "toolkit/gfx/metafile.h"
#include "toolkit/ui/qt_host.h"

// ---- Keys and buttons --------------------------------------------------------

uint16_t VirtualKeyFromQtKey(int key, bool keypad) {
  if (keypad) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return uint16_t(VK_NUMPAD0 + (key - Qt::Key_0));
    switch (key) {
      case Qt::Key_Asterisk: return VK_MULTIPLY;
      case Qt::Key_Plus: return VK_ADD;
      case Qt::Key_Minus: return VK_SUBTRACT;
      case Qt::Key_Slash: return VK_DIVIDE;
      case Qt::Key_Period:
      case Qt::Key_Comma: return VK_DECIMAL;
      default: break;
    }
  }
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return uint16_t(key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return uint16_t(VK_F1 + (key - Qt::Key_F1));
  // Letters of the Russian layout come as their own characters; the program
  // knows keys by the Latin key at the same place, as the classic system does.
  static const char16_t kRussian[] = u"ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮЁ";
  static const uint16_t kPlaces[] = {'Q', 'W', 'E', 'R', 'T', 'Y', 'U', 'I', 'O', 'P', VK_OEM_4,
                                     VK_OEM_6, 'A', 'S', 'D', 'F', 'G', 'H', 'J', 'K', 'L', VK_OEM_1,
                                     VK_OEM_7, 'Z', 'X', 'C', 'V', 'B', 'N', 'M', VK_OEM_COMMA, VK_OEM_PERIOD,
                                     VK_OEM_3};
  for (size_t i = 0; i < sizeof(kPlaces) / sizeof(kPlaces[0]); ++i)
    if (key == int(kRussian[i]) || key == int(QChar(kRussian[i]).toLower().unicode())) return kPlaces[i];
  switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Semicolon: return VK_OEM_1;
    case Qt::Key_Equal:
    case Qt::Key_Plus: return VK_OEM_PLUS;
    case Qt::Key_Comma: return VK_OEM_COMMA;
    case Qt::Key_Minus: return VK_OEM_MINUS;
    case Qt::Key_Period: return VK_OEM_PERIOD;
    case Qt::Key_Slash: return VK_OEM_2;
    case Qt::Key_QuoteLeft: return VK_OEM_3;
    case Qt::Key_BracketLeft: return VK_OEM_4;
    case Qt::Key_Backslash: return VK_OEM_5;
    case Qt::Key_BracketRight: return VK_OEM_6;
    case Qt::Key_Apostrophe: return VK_OEM_7;
    case Qt::Key_Asterisk: return VK_MULTIPLY;
    default: return 0;
  }
}

namespace {

TShiftState ShiftFrom(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
  TShiftState shift;
  if (modifiers & Qt::ShiftModifier) shift.Include(ssShift);
  if (modifiers & Qt::ControlModifier) shift.Include(ssCtrl);
  if (modifiers & Qt::AltModifier) shift.Include(ssAlt);
  if (buttons & Qt::LeftButton) shift.Include(ssLeft);
  if (buttons & Qt::RightButton) shift.Include(ssRight);
  if (buttons & Qt::MiddleButton) shift.Include(ssMiddle);
  return shift;
}

bool ButtonFrom(Qt::MouseButton qt, TMouseButton& button) {
  switch (qt) {
    case Qt::LeftButton: button = mbLeft; return true;
    case Qt::RightButton: button = mbRight; return true;
    case Qt::MiddleButton: button = mbMiddle; return true;
    default: return false;
  }
}

// The character a key press types, in 1251, as the classic key-press message
// gives it: Ctrl+letter is the control character, Alt types nothing here.
// unmappable tells a typed character that 1251 lacks.
bool CharFrom(const QKeyEvent& event, uint16_t vk, char& ch, bool* unmappable = nullptr) {
  const Qt::KeyboardModifiers mods = event.modifiers();
  if (mods & Qt::AltModifier) return false;
  if (mods & Qt::ControlModifier) {
    if (vk >= 'A' && vk <= 'Z') {
      ch = char(vk - 'A' + 1);
      return true;
    }
    return false;
  }
  switch (vk) {
    case VK_RETURN: ch = '\r'; return true;
    case VK_ESCAPE: ch = '\x1b'; return true;
    case VK_BACK: ch = '\b'; return true;
    case VK_TAB: ch = '\t'; return true;
    default: break;
  }
  const QString text = event.text();
  if (text.size() != 1 || text[0].unicode() < 0x20 || text[0].unicode() == 0x7F) return false;
  const AnsiString ansi = FromQString(text);
  // A character the code page lacks types nothing rather than a '?'.
  if (ansi.size() != 1 || (ansi[0] == '?' && text[0] != QChar('?'))) {
    if (unmappable) *unmappable = true;
    return false;
  }
  ch = ansi[0];
  return true;
}

// What a painted control's widget tells it.
class WidgetSink {
 public:
  virtual ~WidgetSink() = default;
  virtual void Paint(QPainter& painter) = 0;
  // The bounding rectangle of the area the running paint renews.
  QRect update_rect;
  virtual void Mouse(QMouseEvent& event, QEvent::Type type) = 0;
  virtual void Wheel(QWheelEvent&) {}
  // False: the key goes on to the form.
  virtual bool Key(QKeyEvent&, bool) { return false; }
  virtual void Focus(bool) {}
  virtual bool WantTabs() { return false; }
  // The mouse came over the widget (true) or left it.
  virtual void Hover(bool) {}
};

class PaintedWidget : public Hosted<QWidget> {
 public:
  PaintedWidget(TControl* control, WidgetSink* sink) : Hosted<QWidget>(control), sink_(sink) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }
  WidgetSink* sink_;

 protected:
  // Each rectangle of the renewed area is one paint, so that two far apart
  // rows marked together do not renew everything between them.
  void paintEvent(QPaintEvent* e) override {
    if (!sink_) return;
    QPainter painter(this);
    for (const QRect& rect : e->region()) {
      if (!sink_) return;
      sink_->update_rect = rect;
      painter.save();
      sink_->Paint(painter);
      painter.restore();
    }
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (sink_) sink_->Mouse(*e, QEvent::MouseButtonPress);
  }
  void mouseDoubleClickEvent(QMouseEvent* e) override {
    if (sink_) sink_->Mouse(*e, QEvent::MouseButtonDblClick);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (sink_) sink_->Mouse(*e, QEvent::MouseButtonRelease);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (sink_) sink_->Mouse(*e, QEvent::MouseMove);
  }
  void enterEvent(QEnterEvent*) override {
    if (sink_) sink_->Hover(true);
  }
  void leaveEvent(QEvent*) override {
    if (sink_) sink_->Hover(false);
  }
  void wheelEvent(QWheelEvent* e) override {
    if (sink_) sink_->Wheel(*e);
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (sink_ && sink_->Key(*e, true))
      e->accept();
    else
      Hosted<QWidget>::keyPressEvent(e);
  }
  void keyReleaseEvent(QKeyEvent* e) override {
    if (sink_ && sink_->Key(*e, false))
      e->accept();
    else
      QWidget::keyReleaseEvent(e);
  }
  void focusInEvent(QFocusEvent* e) override {
    QWidget::focusInEvent(e);
    if (sink_) sink_->Focus(true);
  }
  void focusOutEvent(QFocusEvent* e) override {
    QWidget::focusOutEvent(e);
    if (sink_) sink_->Focus(false);
  }
  bool focusNextPrevChild(bool next) override {
    if (sink_ && sink_->WantTabs()) return false;
    return QWidget::focusNextPrevChild(next);
  }
};

// The frame of a painted control: a widget of the whole control's size just
// behind the client's widget, so that only its rim shows.
class FrameWidget : public QWidget {
 public:
  FrameWidget(QWidget* parent, std::function<void(QPainter&)> paint) : QWidget(parent), paint_(std::move(paint)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
  }
  std::function<void(QPainter&)> paint_;

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!paint_) return;
    QPainter painter(this);
    paint_(painter);
  }
};

// The two canvases of a painted control: the widget's while it paints, and a
// measuring one otherwise; the pen, brush and font pass between them.
class CanvasPair {
 public:
  CanvasPair() : measure_(scratch_), paint_(nullptr) {}
  TCanvas& Current() {
    if (painting_) return paint_;
    scratch_.Clear();
    return measure_;
  }
  template <class F>
  void Painting(QPainter& painter, F&& body) {
    paint_.SetPainter(&painter);
    Carry(measure_, paint_);
    painting_ = true;
    body(paint_);
    painting_ = false;
    Carry(paint_, measure_);
    paint_.SetPainter(nullptr);
    scratch_.Clear();
  }
  // The control's font, taken whenever it changes (attaching the widget
  // is the first change), is the one the canvas draws in.
  void SetFont(const TFont& font) { measure_.Font().Assign(font); }

 private:
  static void Carry(TCanvas& from, TCanvas& to) {
    to.Pen().Assign(from.Pen());
    to.Brush().Assign(from.Brush());
    to.Font().Assign(from.Font());
    to.MoveTo(from.PenPos().x, from.PenPos().y);
  }
  TMetafile scratch_;
  TMetafileCanvas measure_;
  TQtCanvas paint_;
  bool painting_ = false;
};

// A painted control's canvas follows the control's font; the font may
// change before the host exists.
template <class Host>
void TakeFont(Host* host, const TFont& font) {
  if (host != nullptr) host->canvas.SetFont(font);
}

// Mouse events in the classic order: a double click is DblClick and then a
// press with ssDouble; a left release inside the control clicks it when the
// press was a single one (the release after a double click does not).
template <class C, class Host>
void ForwardMouse(C& control, Host& host, QMouseEvent& e, QEvent::Type type) {
  const int x = int(e.position().x());
  const int y = int(e.position().y());
  TShiftState shift = ShiftFrom(e.modifiers(), e.buttons());
  TMouseButton button = mbLeft;
  const QPoint global = e.globalPosition().toPoint();
  drag_host::NotePointer(global, shift.Bits());
  switch (type) {
    case QEvent::MouseMove:
      if (drag_host::MouseMove(&control, global)) return;
      RunGuarded([&] { host.MouseMove(control, shift, x, y); });
      return;
    case QEvent::MouseButtonPress:
      if (!ButtonFrom(e.button(), button)) return;
      if (button == mbLeft) host.clicked = true;
      RunGuarded([&] { host.MouseDown(control, button, shift, x, y); });
      return;
    case QEvent::MouseButtonDblClick:
      if (!ButtonFrom(e.button(), button)) return;
      if (button == mbLeft) {
        host.clicked = false;
        RunGuarded([&] { host.DblClick(control); });
      }
      shift.Include(ssDouble);
      RunGuarded([&] { host.MouseDown(control, button, shift, x, y); });
      return;
    case QEvent::MouseButtonRelease: {
      if (!ButtonFrom(e.button(), button)) return;
      // A release that ends a drag is no click; the control still hears it.
      const bool dragged = button == mbLeft && drag_host::MouseRelease(&control);
      const bool clicked = button == mbLeft && host.clicked && !dragged;
      if (button == mbLeft) host.clicked = false;
      RunGuarded([&] { host.MouseUp(control, button, shift, x, y); });
      if (clicked && x >= 0 && y >= 0 && x < control.Width() && y < control.Height()) control.Click();
      return;
    }
    default: return;
  }
}

}  // namespace

// ---- TGraphicControl -----------------------------------------------------------

struct TGraphicControl::Host : WidgetSink {
  explicit Host(TGraphicControl* c) : control(c) {}
  TGraphicControl* control;
  CanvasPair canvas;
  bool clicked = false;  // a left press waits for its release
  // The caption's accelerator; a child of the widget, gone with it.
  QPointer<QShortcut> accelerator;

  void Paint(QPainter& painter) override {
    canvas.Painting(painter, [&](TCanvas&) { RunGuarded([&] { control->Paint(); }); });
  }
  void Mouse(QMouseEvent& e, QEvent::Type type) override { ForwardMouse(*control, *this, e, type); }
  void MouseDown(TGraphicControl& c, TMouseButton b, TShiftState s, int x, int y) { c.MouseDown(b, s, x, y); }
  void MouseMove(TGraphicControl& c, TShiftState s, int x, int y) { c.MouseMove(s, x, y); }
  void MouseUp(TGraphicControl& c, TMouseButton b, TShiftState s, int x, int y) { c.MouseUp(b, s, x, y); }
  void DblClick(TGraphicControl& c) { c.DblClick(); }
  void Hover(bool entered) override {
    RunGuarded([&] { entered ? control->MouseEnter() : control->MouseLeave(); });
  }
};

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner), host_(std::make_unique<Host>(this)) {
  auto* widget = new PaintedWidget(this, host_.get());
  // Shows what lies beneath where it does not paint.
  widget->setAttribute(Qt::WA_OpaquePaintEvent, false);
  widget->setFocusPolicy(Qt::NoFocus);
  AttachWidget(widget);
}

TGraphicControl::~TGraphicControl() {
  if (auto* widget = dynamic_cast<PaintedWidget*>(Widget())) widget->sink_ = nullptr;
}

TCanvas& TGraphicControl::Canvas() { return host_->canvas.Current(); }

void TGraphicControl::FontChanged() {
  TControl::FontChanged();
  TakeFont(host_.get(), Font());
}

void TGraphicControl::CaptionChanged() {
  TControl::CaptionChanged();
  QWidget* widget = Widget();
  if (widget == nullptr || !ClicksOnAccelerator()) return;
  const QKeySequence key = QKeySequence::mnemonic(ToQString(Caption()));
  if (host_->accelerator == nullptr) {
    if (key.isEmpty()) return;
    host_->accelerator = new QShortcut(widget);
    host_->accelerator->setContext(Qt::WindowShortcut);
    QObject::connect(host_->accelerator, &QShortcut::activated, widget, [this] {
      if (Enabled()) Click();
    });
  }
  host_->accelerator->setKey(key);
}

void TGraphicControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}
void TGraphicControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}
void TGraphicControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}
void TGraphicControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

// ---- TCustomControl ------------------------------------------------------------

struct TCustomControl::Host : WidgetSink {
  explicit Host(TCustomControl* c) : control(c) {}
  TCustomControl* control;
  CanvasPair canvas;
  bool clicked = false;  // a left press waits for its release
  // The caption's accelerator; a child of the widget, gone with it.
  QPointer<QShortcut> accelerator;
  QPointer<QScrollBar> bars[2];
  TScrollInfo info[2];
  bool shown[2] = {false, false};
  // Where a dragged thumb was last moved to (the control's answers may set
  // the bar's own position elsewhere meanwhile).
  int dragged[2] = {0, 0};
  std::map<unsigned, std::unique_ptr<QTimer>> timers;
  int frame_inset = 0;
  QPointer<FrameWidget> frame;
  FrameWidget* Frame();

  QWidget* widget() const { return control->Widget(); }

  int Extent() const {
    QWidget* w = widget();
    return w ? w->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 16;
  }

  void Paint(QPainter& painter) override {
    const QRect clip = update_rect.intersected(QRect(0, 0, control->ClientWidth(), control->ClientHeight()));
    painter.setClipRect(clip);
    paint_rect = Rect(clip.left(), clip.top(), clip.left() + clip.width(), clip.top() + clip.height());
    painting = true;
    canvas.Painting(painter, [&](TCanvas& c) {
      painter.fillRect(clip, ToQColor(control->Color()));
      (void)c;
      RunGuarded([&] { control->Paint(); });
    });
    painting = false;
  }
  TRect paint_rect;
  bool painting = false;
  void Mouse(QMouseEvent& e, QEvent::Type type) override { ForwardMouse(*control, *this, e, type); }
  void MouseDown(TCustomControl& c, TMouseButton b, TShiftState s, int x, int y) { c.MouseDown(b, s, x, y); }
  void MouseMove(TCustomControl& c, TShiftState s, int x, int y) { c.MouseMove(s, x, y); }
  void MouseUp(TCustomControl& c, TMouseButton b, TShiftState s, int x, int y) { c.MouseUp(b, s, x, y); }
  void DblClick(TCustomControl& c) { c.DblClick(); }
  void Hover(bool entered) override {
    RunGuarded([&] { entered ? control->MouseEnter() : control->MouseLeave(); });
  }

  void Wheel(QWheelEvent& e) override {
    const int delta = e.angleDelta().y();
    const TShiftState shift = ShiftFrom(e.modifiers(), e.buttons());
    const int x = int(e.position().x()), y = int(e.position().y());
    RunGuarded([&] { control->MouseWheel(shift, delta, x, y); });
  }

  bool Key(QKeyEvent& e, bool down) override {
    const uint16_t vk = VirtualKeyFromQtKey(e.key(), (e.modifiers() & Qt::KeypadModifier) != 0);
    // Enter and Esc belong to the form's default and cancel buttons unless
    // the control asks for them.
    if ((vk == VK_RETURN || vk == VK_ESCAPE) && !control->WantSpecialKey(vk)) return false;
    const TShiftState shift = ShiftFrom(e.modifiers(), Qt::NoButton);
    uint16_t key = vk;
    if (!down) {
      if (key) RunGuarded([&] { control->KeyUp(key, shift); });
      return true;
    }
    if (key) RunGuarded([&] { control->KeyDown(key, shift); });
    char ch = 0;
    bool unmappable = false;
    if (CharFrom(e, vk, ch, &unmappable))
      RunGuarded([&] { control->KeyPress(ch); });
    else if (unmappable)
      RunGuarded([&] { control->KeyPressRefused(); });
    return true;
  }

  void Focus(bool in) override {
    RunGuarded([&] {
      if (in)
        control->DoEnter();
      else
        control->DoExit();
    });
  }
  bool WantTabs() override { return control->WantTabs(); }

  QScrollBar* Bar(int bar) {
    if (!bars[bar] && widget()) {
      auto* sb = new QScrollBar(bar == SB_HORZ ? Qt::Horizontal : Qt::Vertical, widget());
      sb->setTracking(false);
      sb->hide();
      QObject::connect(sb, &QAbstractSlider::actionTriggered, sb, [this, bar](int action) { Action(bar, action); });
      // While the thumb is dragged the control hears every position it passes
      // (the bar does not track by itself, so this is the only word of it
      // before the release).
      QObject::connect(sb, &QAbstractSlider::sliderPressed, sb, [this, bar] {
        if (bars[bar]) dragged[bar] = bars[bar]->sliderPosition();
      });
      QObject::connect(sb, &QAbstractSlider::sliderMoved, sb, [this, bar](int position) {
        dragged[bar] = info[bar].nTrackPos = position;
        Request(bar, SB_THUMBTRACK, position);
      });
      QObject::connect(sb, &QAbstractSlider::sliderReleased, sb, [this, bar] { Released(bar); });
      bars[bar] = sb;
    }
    return bars[bar];
  }

  void Request(int bar, int code, int pos) {
    RunGuarded([&] {
      if (bar == SB_HORZ)
        control->WMHScroll(code, pos);
      else
        control->WMVScroll(code, pos);
    });
  }

  // The bar asks; the program answers by setting the position (or not).
  void Action(int bar, int action) {
    QScrollBar* sb = bars[bar];
    if (!sb) return;
    int code = -1;
    switch (action) {
      case QAbstractSlider::SliderSingleStepAdd: code = SB_LINEDOWN; break;
      case QAbstractSlider::SliderSingleStepSub: code = SB_LINEUP; break;
      case QAbstractSlider::SliderPageStepAdd: code = SB_PAGEDOWN; break;
      case QAbstractSlider::SliderPageStepSub: code = SB_PAGEUP; break;
      case QAbstractSlider::SliderToMinimum: code = SB_TOP; break;
      case QAbstractSlider::SliderToMaximum: code = SB_BOTTOM; break;
      case QAbstractSlider::SliderMove:
        info[bar].nTrackPos = sb->sliderPosition();
        Request(bar, SB_THUMBTRACK, info[bar].nTrackPos);
        return;
      default: return;
    }
    Request(bar, code, info[bar].nPos);
    if (bars[bar]) bars[bar]->setSliderPosition(info[bar].nPos);
  }

  void Released(int bar) {
    QScrollBar* sb = bars[bar];
    if (!sb) return;
    // Where the thumb was let go, even when the control's answers moved it since.
    Request(bar, SB_THUMBPOSITION, dragged[bar]);
    Request(bar, SB_ENDSCROLL, 0);
    if (bars[bar]) {
      const QSignalBlocker block(bars[bar]);
      bars[bar]->setValue(info[bar].nPos);
      bars[bar]->setSliderPosition(info[bar].nPos);
    }
  }

  static bool Usable(const TScrollInfo& i) {
    return i.nMax > i.nMin && (long long)i.nPage <= (long long)i.nMax - i.nMin;
  }

  void Apply(int bar) {
    const TScrollInfo& i = info[bar];
    const bool was = shown[bar];
    shown[bar] = Usable(i) || (i.fMask & SIF_DISABLENOSCROLL);
    if (QScrollBar* sb = Bar(bar)) {
      const QSignalBlocker block(sb);
      sb->setRange(i.nMin, std::max(i.nMin, i.nMax - std::max(int(i.nPage) - 1, 0)));
      sb->setPageStep(std::max(1, int(i.nPage)));
      sb->setValue(i.nPos);
      sb->setEnabled(Usable(i));
    }
    if (was != shown[bar]) {
      Layout();
      // The client area changed size, as the system tells a resized window.
      RunGuarded([&] { control->Resize(); });
      control->Invalidate();
    }
  }

  void Layout() {
    QWidget* w = widget();
    if (!w) return;
    const int e = Extent();
    const int width = w->width(), height = w->height();
    if (QScrollBar* v = bars[SB_VERT]) {
      v->setGeometry(width - e, 0, e, height - (shown[SB_HORZ] ? e : 0));
      v->setVisible(shown[SB_VERT]);
    }
    if (QScrollBar* h = bars[SB_HORZ]) {
      h->setGeometry(0, height - e, width - (shown[SB_VERT] ? e : 0), e);
      h->setVisible(shown[SB_HORZ]);
    }
  }
};

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner), host_(std::make_unique<Host>(this)) {
  auto* widget = new PaintedWidget(this, host_.get());
  widget->setFocusPolicy(Qt::NoFocus);
  AttachWidget(widget);
}

TCustomControl::~TCustomControl() {
  host_->timers.clear();
  delete host_->frame.data();
  if (auto* widget = dynamic_cast<PaintedWidget*>(Widget())) widget->sink_ = nullptr;
}

TCanvas& TCustomControl::Canvas() { return host_->canvas.Current(); }

int TCustomControl::ClientWidth() const {
  return std::max(0, Width() - 2 * host_->frame_inset - (host_->shown[SB_VERT] ? host_->Extent() : 0));
}

int TCustomControl::ClientHeight() const {
  return std::max(0, Height() - 2 * host_->frame_inset - (host_->shown[SB_HORZ] ? host_->Extent() : 0));
}

int TCustomControl::FrameInset() const { return host_->frame_inset; }

void TCustomControl::SetFrameInset(int inset) {
  inset = std::max(0, inset);
  if (inset == host_->frame_inset) return;
  host_->frame_inset = inset;
  ApplyGeometry();
  ApplyVisible();
}

// The frame lives beside the client's widget in its parent: made once the
// control stands on a parent (never a window of its own), and moved along.
FrameWidget* TCustomControl::Host::Frame() {
  QWidget* w = widget();
  QWidget* parent = w ? w->parentWidget() : nullptr;
  if (frame_inset == 0 || parent == nullptr) return frame && frame->parentWidget() == parent ? frame.data() : nullptr;
  if (!frame) {
    frame = new FrameWidget(parent, [this](QPainter& painter) {
      TQtCanvas canvas(&painter);
      RunGuarded([&] { control->PaintFrame(canvas); });
    });
  } else if (frame->parentWidget() != parent) {
    frame->setParent(parent);
  }
  return frame;
}

TRect TCustomControl::ScreenRect() const {
  const int n = host_->frame_inset;
  const TPoint origin = ClientToScreen(TPoint{-n, -n});
  return Bounds(origin.x, origin.y, Width(), Height());
}

void TCustomControl::InvalidateFrame() {
  if (host_->frame) host_->frame->update();
}

void TCustomControl::SetParent(TWinControl* parent) {
  TWinControl::SetParent(parent);
  ApplyGeometry();
  ApplyVisible();
}

void TCustomControl::ApplyGeometry() {
  const int n = host_ ? host_->frame_inset : 0;
  if (n == 0 || !Widget() || in_widget_resize_) {
    TWinControl::ApplyGeometry();
    return;
  }
  Widget()->setGeometry(Left() + n, Top() + n, std::max(0, Width() - 2 * n), std::max(0, Height() - 2 * n));
  if (FrameWidget* frame = host_->Frame()) {
    frame->setGeometry(Left(), Top(), Width(), Height());
    frame->stackUnder(Widget());
  }
}

void TCustomControl::ApplyVisible() {
  TWinControl::ApplyVisible();
  if (!host_) return;
  if (FrameWidget* frame = host_->Frame())
    frame->setVisible(host_->frame_inset > 0 && Parent() != nullptr && Visible());
  else if (host_->frame)
    host_->frame->hide();  // left behind in another parent
}

void TCustomControl::SetTabStop(bool value) {
  tab_stop_ = value;
  if (Widget()) Widget()->setFocusPolicy(value ? Qt::TabFocus : Qt::NoFocus);
}

TRect TCustomControl::PaintRect() const { return host_->painting ? host_->paint_rect : ClientRect(); }

bool TCustomControl::Focused() const { return Widget() && Widget()->hasFocus(); }

bool TCustomControl::CanFocus() const { return Widget() && Widget()->isVisible() && Widget()->isEnabled(); }

void TCustomControl::SetFocus() {
  if (CanFocus()) {
    Widget()->setFocus(Qt::OtherFocusReason);
  } else if (Widget() && Widget()->isEnabled() && !Widget()->isHidden() && !Widget()->window()->isVisible()) {
    // A form's OnShow runs before its window appears: the control is made the
    // window's focus, which it takes as the window shows.
    Widget()->setFocus(Qt::OtherFocusReason);
  }
}

void TCustomControl::InvalidateRect(const TRect& rect) {
  if (Widget()) Widget()->update(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()));
}

void TCustomControl::ScrollRect(int dx, int dy, const TRect& rect) {
  if (Widget()) Widget()->scroll(dx, dy, QRect(rect.Left, rect.Top, rect.Width(), rect.Height()));
}

void TCustomControl::Update() {
  if (Widget() && Widget()->isVisible())
    QCoreApplication::sendPostedEvents(Widget()->window(), QEvent::UpdateRequest);
}

int TCustomControl::SetScrollInfo(int bar, const TScrollInfo& given, bool redraw) {
  if (bar != SB_HORZ && bar != SB_VERT) return 0;
  TScrollInfo& i = host_->info[bar];
  if (given.fMask & SIF_RANGE) {
    i.nMin = given.nMin;
    i.nMax = std::max(given.nMin, given.nMax);
  }
  if (given.fMask & SIF_PAGE) i.nPage = given.nPage;
  if (given.fMask & SIF_POS) i.nPos = given.nPos;
  i.fMask = given.fMask & SIF_DISABLENOSCROLL;
  // The page is at most the range, the position within what a page leaves.
  const long long span = (long long)i.nMax - i.nMin + 1;
  if ((long long)i.nPage > span) i.nPage = unsigned(span);
  const int last = std::max(i.nMin, i.nMax - std::max(int(i.nPage) - 1, 0));
  i.nPos = std::clamp(i.nPos, i.nMin, last);
  host_->Apply(bar);
  if (redraw && host_->bars[bar]) host_->bars[bar]->update();
  return i.nPos;
}

bool TCustomControl::GetScrollInfo(int bar, TScrollInfo& info) const {
  if (bar != SB_HORZ && bar != SB_VERT) return false;
  const unsigned mask = info.fMask;
  const TScrollInfo& i = host_->info[bar];
  if (mask & SIF_RANGE) {
    info.nMin = i.nMin;
    info.nMax = i.nMax;
  }
  if (mask & SIF_PAGE) info.nPage = i.nPage;
  if (mask & SIF_POS) info.nPos = i.nPos;
  if (mask & SIF_TRACKPOS) info.nTrackPos = i.nTrackPos;
  return true;
}

int TCustomControl::GetScrollPos(int bar) const {
  return bar == SB_HORZ || bar == SB_VERT ? host_->info[bar].nPos : 0;
}

int TCustomControl::SetScrollPos(int bar, int pos, bool redraw) {
  const int old = GetScrollPos(bar);
  TScrollInfo info;
  info.fMask = SIF_POS | (bar == SB_HORZ || bar == SB_VERT ? host_->info[bar].fMask : 0);
  info.nPos = pos;
  SetScrollInfo(bar, info, redraw);
  return old;
}

bool TCustomControl::ScrollBarShown(int bar) const {
  return (bar == SB_HORZ || bar == SB_VERT) && host_->shown[bar];
}

bool TCustomControl::SetTimer(unsigned id, unsigned elapse_ms) {
  auto& timer = host_->timers[id];
  if (!timer) {
    timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [this, id] { RunGuarded([&] { WMTimer(id); }); });
  }
  timer->start(int(std::max(1u, elapse_ms)));
  return true;
}

bool TCustomControl::KillTimer(unsigned id) { return host_->timers.erase(id) > 0; }

void TCustomControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}
void TCustomControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}
void TCustomControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}
void TCustomControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TCustomControl::MouseWheel(TShiftState, int, int, int) {}
void TCustomControl::KeyDown(uint16_t& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}
void TCustomControl::KeyUp(uint16_t& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}
void TCustomControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}
void TCustomControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TCustomControl::DoExit() {
  if (OnExit) OnExit(this);
}
void TCustomControl::Resize() {
  if (OnResize) OnResize(this);
}

void TCustomControl::WidgetResized() {
  TWinControl::WidgetResized();
  host_->Layout();
  RunGuarded([&] { Resize(); });
}

void TCustomControl::FontChanged() {
  TWinControl::FontChanged();
  TakeFont(host_.get(), Font());
}

void TCustomControl::ColorChanged() {
  Invalidate();
  InvalidateFrame();
}
