#include "toolkit/ui/forms.h"

#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "toolkit/core/scope.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/core/units.h"
#include "toolkit/sys/event_loop.h"
#include "toolkit/sys/files.h"
#include "toolkit/ui/classic_look.h"
#include "toolkit/ui/customctrl.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/hosted.h"
#include "toolkit/ui/menus.h"
#include "toolkit/ui/stdctrls.h"
#include "toolkit/ui/qt_host.h"

namespace {

void WakeLoop() {
  if (auto* dispatcher = QAbstractEventDispatcher::instance()) dispatcher->wakeUp();
}

}  // namespace

// ---- Key preview -------------------------------------------------------------

// Watches the keys of the whole application for those going to a control of
// the form. The window system first offers a key as a shortcut override
// (before any accelerator of a button runs) and then, unless an accelerator
// took it, as the key press: the form hears a key once, at whichever comes
// first, and a key it used at the override is swallowed at the press.
class TForm::ClickCapture : public QObject {
 public:
  ClickCapture(TForm* form, int cursor, std::function<void(TControl*)> hit) : form_(form), hit_(std::move(hit)) {
    QApplication::setOverrideCursor(CursorShape(cursor));
    qApp->installEventFilter(this);
  }
  ~ClickCapture() override { End(); }

  bool eventFilter(QObject* receiver, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick) return false;
    auto* widget = qobject_cast<QWidget*>(receiver);
    if (widget == nullptr) return false;
    TControl* hit = nullptr;
    if (QWidget* window = form_->Widget(); window != nullptr && widget->window() == window)
      for (QWidget* w = widget; w != nullptr && hit == nullptr; w = w->parentWidget()) hit = HostedControl(w);
    // The capture is over before `hit` runs, which may open a window or end
    // this one; the object goes once the loop that delivered the press has
    // it back.
    End();
    const std::function<void(TControl*)> told = std::move(hit_);
    (void)form_->click_capture_.release();
    deleteLater();
    if (told) told(hit);
    return true;
  }

 private:
  void End() {
    if (ended_) return;
    ended_ = true;
    if (qApp) qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
  }
  TForm* form_;
  std::function<void(TControl*)> hit_;
  bool ended_ = false;
};

class TForm::KeyPreviewFilter : public QObject {
 public:
  explicit KeyPreviewFilter(TForm* form) : form_(form) { qApp->installEventFilter(this); }
  ~KeyPreviewFilter() override {
    if (qApp) qApp->removeEventFilter(this);
  }

  bool eventFilter(QObject* receiver, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    auto* widget = qobject_cast<QWidget*>(receiver);
    QWidget* window = form_->Widget();
    if (widget == nullptr || window == nullptr || widget->window() != window) return false;
    // Only where the key is delivered first: a key the control leaves goes
    // on to its parents.
    QWidget* focus = window->focusWidget();
    if (widget != (focus != nullptr ? focus : window)) return false;
    auto& key_event = *static_cast<QKeyEvent*>(event);
    const Stamp stamp{key_event.key(), int(key_event.modifiers()), key_event.timestamp()};
    if (type == QEvent::KeyPress && previewed_ && stamp == last_) {
      previewed_ = false;
      return used_;
    }
    const bool used = Preview(key_event);
    if (type == QEvent::KeyPress) return used;
    previewed_ = true;
    last_ = stamp;
    used_ = used;
    if (used) key_event.accept();
    return used;
  }

 private:
  struct Stamp {
    int key = 0;
    int modifiers = 0;
    unsigned long long timestamp = 0;
    bool operator==(const Stamp&) const = default;
  };

  bool Preview(const QKeyEvent& e) {
    const Qt::KeyboardModifiers mods = e.modifiers();
    TShiftState shift;
    if (mods & Qt::ShiftModifier) shift.Include(ssShift);
    if (mods & Qt::ControlModifier) shift.Include(ssCtrl);
    if (mods & Qt::AltModifier) shift.Include(ssAlt);
    uint16_t key = VirtualKeyFromQtKey(e.key(), (mods & Qt::KeypadModifier) != 0);
    if (key != 0) {
      RunGuarded([&] { form_->PreviewKeyDown(key, shift); });
      if (key == 0) return true;
    }
    // A printable character typed without Ctrl or Alt.
    const QString text = e.text();
    if ((mods & (Qt::ControlModifier | Qt::AltModifier)) || text.size() != 1 || text[0].unicode() < 0x20 ||
        text[0].unicode() == 0x7F)
      return false;
    const AnsiString ansi = FromQString(text);
    if (ansi.size() != 1 || (ansi[0] == '?' && text[0] != QChar('?'))) return false;
    char ch = ansi[0];
    RunGuarded([&] { form_->PreviewKeyPress(ch); });
    return ch == 0;
  }

  TForm* form_;
  Stamp last_;
  bool previewed_ = false;
  bool used_ = false;
};

void TForm::SetKeyPreview(bool value) {
  if (value == KeyPreview()) return;
  key_preview_ = value ? std::make_unique<KeyPreviewFilter>(this) : nullptr;
}

// ---- Drawn frame ---------------------------------------------------------------

// Paints a frameless window's own frame and lets the user drag it: the frame
// is the part of the window its client area leaves uncovered, so every event
// the window itself receives falls on the frame.
class TForm::DrawnFrameFilter : public QObject {
 public:
  explicit DrawnFrameFilter(TForm* form) : form_(form) { form_->Widget()->installEventFilter(this); }
  ~DrawnFrameFilter() override {
    if (QWidget* window = form_->Widget()) window->removeEventFilter(this);
  }

  bool eventFilter(QObject* receiver, QEvent* event) override {
    QWidget* window = form_->Widget();
    if (receiver != window) return false;
    switch (event->type()) {
      case QEvent::Paint: Paint(*window); return true;
      case QEvent::MouseMove: return Move(*window, *static_cast<QMouseEvent*>(event));
      case QEvent::MouseButtonPress: return Press(*window, *static_cast<QMouseEvent*>(event));
      case QEvent::MouseButtonRelease:
        if (dragged_ == 0) return false;
        dragged_ = 0;
        return true;
      case QEvent::Leave:
        // Into the client area: its controls show their own pointers.
        if (dragged_ == 0) window->unsetCursor();
        return false;
      default: return false;
    }
  }

 private:
  void Paint(QWidget& window) {
    QPainter painter(&window);
    const QRect all = window.rect();
    painter.fillRect(all, ToQColor(form_->Color()));
    painter.setPen(ToQColor(clWindowFrame));
    painter.drawRect(all.adjusted(0, 0, -1, -1));
  }

  // The frame's sides under a point of the window, as BF_* flags; corners
  // take the frame's width and a few pixels more along the sides.
  unsigned EdgesAt(const QWidget& window, QPoint at) const {
    if (!form_->frame_sizable_) return 0;
    const int frame = form_->drawn_frame_, corner = frame + 6;
    unsigned edges = 0;
    if (at.x() < frame) edges |= 1;
    if (at.y() < frame) edges |= 2;
    if (at.x() >= window.width() - frame) edges |= 4;
    if (at.y() >= window.height() - frame) edges |= 8;
    // Along a side near a corner, the corner's other side comes too.
    if (edges == 1 || edges == 4) {
      if (at.y() < corner) edges |= 2;
      if (at.y() >= window.height() - corner) edges |= 8;
    } else if (edges == 2 || edges == 8) {
      if (at.x() < corner) edges |= 1;
      if (at.x() >= window.width() - corner) edges |= 4;
    }
    return edges & form_->SizingEdges();
  }

  static Qt::CursorShape CursorFor(unsigned edges) {
    switch (edges) {
      case 1:
      case 4: return Qt::SizeHorCursor;
      case 2:
      case 8: return Qt::SizeVerCursor;
      case 3:
      case 12: return Qt::SizeFDiagCursor;
      case 6:
      case 9: return Qt::SizeBDiagCursor;
      default: return Qt::ArrowCursor;
    }
  }

  bool Press(QWidget& window, const QMouseEvent& e) {
    if (e.button() != Qt::LeftButton) return false;
    dragged_ = EdgesAt(window, e.position().toPoint());
    if (dragged_ == 0) return false;
    press_ = e.globalPosition().toPoint();
    start_ = form_->BoundsRect();
    return true;
  }

  bool Move(QWidget& window, const QMouseEvent& e) {
    if (dragged_ == 0) {
      window.setCursor(CursorFor(EdgesAt(window, e.position().toPoint())));
      return false;
    }
    const QPoint delta = e.globalPosition().toPoint() - press_;
    TRect wanted = start_;
    const int least = 2 * form_->drawn_frame_ + 1;
    if (dragged_ & 1) wanted.Left = std::min(start_.Left + delta.x(), start_.Right - least);
    if (dragged_ & 2) wanted.Top = std::min(start_.Top + delta.y(), start_.Bottom - least);
    if (dragged_ & 4) wanted.Right = std::max(start_.Right + delta.x(), start_.Left + least);
    if (dragged_ & 8) wanted.Bottom = std::max(start_.Bottom + delta.y(), start_.Top + least);
    RunGuarded([&] {
      form_->UserSizing(wanted);
      form_->SetBounds(wanted.Left, wanted.Top, wanted.Width(), wanted.Height());
    });
    return true;
  }

  TForm* form_;
  unsigned dragged_ = 0;  // the sides being dragged
  QPoint press_;
  TRect start_;
};

void TForm::SetDrawnFrame(int width, bool sizable) {
  drawn_frame_ = std::max(width, 0);
  frame_sizable_ = sizable && drawn_frame_ > 0;
  if (drawn_frame_ > 0 && !drawn_frame_filter_ && Widget()) drawn_frame_filter_ = std::make_unique<DrawnFrameFilter>(this);
  if (drawn_frame_ == 0) drawn_frame_filter_.reset();
  if (Widget()) Widget()->setMouseTracking(frame_sizable_);
  ApplyWindowFlags();
}

// ---- TForm -------------------------------------------------------------------

TForm::TForm(TComponent* owner) : TWinControl(owner) {
  auto* window = new Hosted<QWidget>(this, nullptr, Qt::Window);
  client_ = new QWidget(window);
  client_->setAutoFillBackground(true);
  TControl::SetVisible(false);
  AttachWidget(window);
  ApplyWindowFlags();
  SetBounds(0, 0, 400, 300);
}

TForm::~TForm() = default;

void TForm::AfterConstruction() {
  RunGuarded([this] {
    if (OnCreate) OnCreate(this);
  });
}

void TForm::SetBorderStyle(TFormBorderStyle value) {
  border_style_ = value;
  ApplyWindowFlags();
}

void TForm::SetFormStyle(TFormStyle value) {
  form_style_ = value;
  ApplyWindowFlags();
}

void TForm::SetBorderIcons(TBorderIcons value) {
  border_icons_ = value;
  ApplyWindowFlags();
}

void TForm::ApplyWindowFlags() {
  QWidget* window = Widget();
  if (!window) return;
  Qt::WindowFlags flags = Qt::Window;
  switch (border_style_) {
    case bsNone: flags |= Qt::FramelessWindowHint; break;
    case bsDialog: flags = Qt::Dialog; break;
    case bsToolWindow:
    case bsSizeToolWin: flags = Qt::Tool; break;
    default: break;
  }
  if (border_style_ != bsNone) {
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (border_icons_.Contains(biSystemMenu)) {
      flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
      const bool frame_buttons = border_style_ == bsSingle || border_style_ == bsSizeable;
      if (frame_buttons && border_icons_.Contains(biMinimize)) flags |= Qt::WindowMinimizeButtonHint;
      if (frame_buttons && border_icons_.Contains(biMaximize)) flags |= Qt::WindowMaximizeButtonHint;
    }
  }
  if (form_style_ == fsStayOnTop) flags |= Qt::WindowStaysOnTopHint;
  // A window with a frame of its own is a tool window the window system
  // neither decorates nor lists among the program's windows.
  if (drawn_frame_ > 0) flags = Qt::Tool | Qt::FramelessWindowHint | (flags & Qt::WindowStaysOnTopHint);
  // A tool-tip window is the one kind every window system shows on top
  // without activating it.
  if (drop_down_window_)
    flags = Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus;
  window->setAttribute(Qt::WA_ShowWithoutActivating, drop_down_window_);
  const bool shown = window->isVisible();
  window->setWindowFlags(flags);
  ApplyGeometry();
  if (shown) window->show();
}

void TForm::SetDropDownWindow(bool value) {
  drop_down_window_ = value;
  ApplyWindowFlags();
}

void TForm::ApplyGeometry() {
  QWidget* window = Widget();
  if (!window || in_widget_resize_) return;
  const bool fixed = border_style_ != bsSizeable && border_style_ != bsSizeToolWin && !frame_sizable_;
  if (fixed) {
    window->setFixedSize(Width(), Height());
  } else {
    window->setMinimumSize(0, 0);
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
  if (window_state_ == wsNormal || !window->isVisible()) window->setGeometry(Left(), Top(), Width(), Height());
  LayoutFrame();
}

void TForm::LayoutFrame() {
  QWidget* window = Widget();
  if (!window) return;
  const int menu_height = menu_bar_ ? menu_bar_->sizeHint().height() : 0;
  const int f = drawn_frame_;
  if (menu_bar_) menu_bar_->setGeometry(f, f, std::max(0, window->width() - 2 * f), menu_height);
  client_->setGeometry(f, f + menu_height, std::max(0, window->width() - 2 * f),
                       std::max(0, window->height() - menu_height - 2 * f));
}

int TForm::ClientWidth() const { return client_ ? client_->width() : std::max(0, Width() - 2 * drawn_frame_); }
int TForm::ClientHeight() const {
  const int menu_height = menu_bar_ ? menu_bar_->sizeHint().height() : 0;
  return std::max(0, Height() - menu_height - 2 * drawn_frame_);
}

void TForm::SetClientWidth(int value) { SetWidth(value + 2 * drawn_frame_); }
void TForm::SetClientHeight(int value) {
  const int menu_height = menu_bar_ ? menu_bar_->sizeHint().height() : 0;
  SetHeight(value + menu_height + 2 * drawn_frame_);
}

void TForm::WidgetResized() {
  QWidget* window = Widget();
  if (!window) return;
  const QRect g = window->geometry();
  // A size the program did not set came from the user's frame.
  if (!in_widget_resize_ && window->isVisible() && (g.width() != Width() || g.height() != Height())) {
    const TRect given = Bounds(g.x(), g.y(), g.width(), g.height());
    TRect wanted = given;
    RunGuarded([&] { UserSizing(wanted); });
    if (wanted != given) {
      SetBounds(wanted.Left, wanted.Top, wanted.Width(), wanted.Height());
      return;
    }
  }
  in_widget_resize_ = true;
  StoreBounds(g.x(), g.y(), g.width(), g.height());
  in_widget_resize_ = false;
  LayoutFrame();
  AlignControls();
}

void TForm::SetWindowState(TWindowState value) {
  window_state_ = value;
  QWidget* window = Widget();
  if (!window || !window->isVisible()) return;
  switch (value) {
    case wsMaximized:
      if (QScreen* screen = QGuiApplication::primaryScreen()) window->setGeometry(screen->availableGeometry());
      window->showMaximized();
      break;
    case wsMinimized: window->showMinimized(); break;
    default: window->showNormal(); break;
  }
}

void TForm::SetMenu(TMainMenu* menu) {
  DropMenuBar();
  menu_ = menu;
  if (menu_) {
    auto* bar = new QMenuBar(Widget());
    menu_bar_ = bar;
    // The menu bar keeps the menu colour whatever the window's colour is.
    SetWidgetBackground(bar, clMenu, true);
    TMenuItem& root = menu_->Items();
    for (int i = 0; i < root.Count(); ++i) bar->addAction(root.Items(i)->Action());
    // Shortcuts of items in closed menus work only through actions the window holds.
    std::function<void(TMenuItem&)> add_actions = [&](TMenuItem& item) {
      for (int i = 0; i < item.Count(); ++i) {
        Widget()->addAction(item.Items(i)->Action());
        add_actions(*item.Items(i));
      }
    };
    add_actions(root);
    bar->show();
  }
  LayoutFrame();
  AlignControls();
}

void TForm::DropMenuBar() {
  delete menu_bar_;
  menu_bar_ = nullptr;
}

void TForm::ColorChanged() {
  if (!client_) return;
  SetWidgetBackground(client_, Color(), true);
  SetWidgetBackground(Widget(), Color(), false);
}

void TForm::CaptionChanged() {
  if (Widget()) Widget()->setWindowTitle(ToQString(Caption()));
}

void TForm::PlaceOnScreen() {
  QWidget* window = Widget();
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!window || !screen) return;
  QRect area = screen->availableGeometry();
  if (position_ == poMainFormCenter) {
    TForm* main = Application->MainForm();
    if (main && main != this && main->Widget() && main->Widget()->isVisible()) area = main->Widget()->geometry();
  } else if (position_ != poScreenCenter && position_ != poDesktopCenter) {
    return;
  }
  StoreBounds(area.x() + (area.width() - Width()) / 2, area.y() + (area.height() - Height()) / 2, Width(), Height());
  ApplyGeometry();
}

void TForm::SetVisible(bool value) {
  QWidget* window = Widget();
  if (value == Visible() && (!window || window->isVisible() == value)) return;
  if (value) {
    if (window_state_ == wsNormal) PlaceOnScreen();
    if (OnShow) OnShow(this);
    TControl::SetVisible(true);
    if (!window) return;
    switch (window_state_) {
      case wsMaximized:
        // The whole work area also where no window manager maximises.
        if (QScreen* screen = QGuiApplication::primaryScreen()) window->setGeometry(screen->availableGeometry());
        window->showMaximized();
        break;
      case wsMinimized: window->showMinimized(); break;
      default: window->show(); break;
    }
    window->raise();
    if (drop_down_window_) return;
    window->activateWindow();
    // A copy, so that a handler may change or remove the event while it runs.
    if (TNotifyEvent activate = OnActivate) activate(this);
  } else {
    DoHide();
  }
}

void TForm::DoHide() {
  TControl::SetVisible(false);
  if (Widget()) Widget()->hide();
  if (OnHide) OnHide(this);
}

void TForm::CaptureNextClick(int cursor, std::function<void(TControl* hit)> hit) {
  click_capture_.reset();
  click_capture_ = std::make_unique<ClickCapture>(this, cursor, std::move(hit));
}

void TForm::BringToFront() {
  if (!Widget()) return;
  Widget()->raise();
  Widget()->activateWindow();
}

bool TForm::CloseQuery() {
  bool can_close = true;
  if (OnCloseQuery) OnCloseQuery(this, can_close);
  return can_close;
}

void TForm::CloseModal() {
  if (!CloseQuery()) {
    modal_result_ = mrNone;
    return;
  }
  TCloseAction action = caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) modal_result_ = mrNone;
}

TModalResult TForm::ShowModal() {
  if (Visible() || modal_) throw EInvalidOperation("Cannot make a visible window modal");
  QWidget* window = Widget();
  if (window) window->setWindowModality(Qt::ApplicationModal);
  modal_ = true;
  modal_result_ = mrNone;
  {
    TScopeExit finish([&] {
      modal_ = false;
      if (Visible() || (window && window->isVisible())) DoHide();
      if (window) window->setWindowModality(Qt::NonModal);
    });
    Show();
    for (;;) {
      if (Application->Terminated()) {
        modal_result_ = mrCancel;
        break;
      }
      if (modal_result_ != mrNone) {
        CloseModal();
        if (modal_result_ != mrNone) break;
      }
      Application->HandleMessage();
    }
  }
  return modal_result_;
}

void TForm::SetModalResult(TModalResult value) {
  modal_result_ = value;
  // The loop would otherwise sleep until some later event before it looks.
  if (modal_ && value != mrNone) WakeLoop();
}

void TForm::Close() {
  if (modal_) {
    SetModalResult(mrCancel);
    return;
  }
  if (!CloseQuery()) return;
  const bool main = Application->MainForm() == this;
  TCloseAction action = main ? caFree : caHide;
  if (OnClose) OnClose(this, action);
  if (action == caNone) return;
  if (main) {
    Application->Terminate();
  } else if (action == caMinimize) {
    SetWindowState(wsMinimized);
  } else {
    Hide();
  }
}

bool TForm::WidgetKeyDown(int key) {
  const bool escape = key == Qt::Key_Escape;
  if (!escape && key != Qt::Key_Return && key != Qt::Key_Enter) return false;
  std::function<TButton*(TWinControl*)> find = [&](TWinControl* parent) -> TButton* {
    for (int i = 0; i < parent->ControlCount(); ++i) {
      TControl* control = parent->Controls(i);
      if (!control->Visible() || !control->Enabled()) continue;
      if (auto* button = dynamic_cast<TButton*>(control))
        if (escape ? button->Cancel() : button->Default()) return button;
      if (auto* inner = dynamic_cast<TWinControl*>(control))
        if (TButton* found = find(inner)) return found;
    }
    return nullptr;
  };
  TButton* button = find(this);
  if (!button) return false;
  button->Click();
  return true;
}

bool TForm::WidgetCloseRequested() {
  RunGuarded([this] { Close(); });
  return true;
}

// ---- Exception texts ---------------------------------------------------------

AnsiString ExceptionBoxText(const AnsiString& message) {
  // Compared as unsigned characters: letters of the upper half sort after ".".
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

AnsiString StartupFailureText(const AnsiString& class_name, const AnsiString& module_name, const void* address,
                              const AnsiString& message) {
  char where[2 + 2 * sizeof(void*) + 1];
  std::snprintf(where, sizeof where, "%0*llX", int(2 * sizeof(void*)),
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
  const AnsiString with_period = ExceptionBoxText(message);
  const AnsiString period = with_period.size() > message.size() ? "." : "";
  return "Exception " + class_name + " in module " + module_name + " at " + where + ".\r\n" + message + period +
         "\r\n";
}

namespace {

// The class name and message an exception shows.
void Describe(std::exception_ptr error, AnsiString* class_name, AnsiString* message, const void** address) {
  try {
    std::rethrow_exception(error);
  } catch (const Exception& e) {
    *class_name = e.ClassName();
    *message = e.Message();
    *address = &e;
  } catch (const std::bad_alloc& e) {
    *class_name = "EOutOfMemory";
    *message = "Out of memory";
    *address = &e;
  } catch (const std::exception& e) {
    *class_name = "Exception";
    *message = Utf8ToAnsi(e.what());
    *address = &e;
  } catch (...) {
    *class_name = "Exception";
    *message = "Unknown exception";
    *address = nullptr;
  }
}

}  // namespace

// ---- TApplication ------------------------------------------------------------

namespace {

// While the GUI library's application object is being made. A fatal message
// from it then (no display to connect to, no platform plugin) would abort the
// process with a core dump; it ends as a start-up failure instead, its text
// on the error stream since no box can be shown.
bool g_making_screen = false;
QtMessageHandler g_previous_handler = nullptr;

void StartupMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg && g_making_screen) {
    const int code = Application->StartupFailure(std::make_exception_ptr(EOSError(FromQString(text))));
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
  }
  if (g_previous_handler) g_previous_handler(type, context, text);
}

}  // namespace

// Made once and never destroyed: the program, every tool and every test binary
// end it with Shutdown, while the GUI library, the timers and the units are
// all still there. Static destruction would reach them in no defined order.
TApplication* Application = new TApplication();

TApplication::TApplication() : TComponent(nullptr) {
  title_ = Utf8ToAnsi(ChangeFileExt(ModuleName(), ""));
}

TApplication::~TApplication() { Shutdown(); }

void TApplication::Shutdown() {
  // The whole tree is marked as going first: a component freed early must not
  // make the ones still waiting measure or paint again.
  Destroying();
  DestroyComponents();
  main_form_ = nullptr;
  // Then the units' own objects, newest first, while the library is still there.
  FinalizeUnits();
  if (qt_app_) {
    ReleaseTimerWake();
    delete qt_app_;
    qt_app_ = nullptr;
  }
  // The object itself lives on: a process may make the library again.
  SetComponentStateFlag(csDestroying, false);
}

void TApplication::Initialize() {
  if (QCoreApplication::instance()) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
      throw EInvalidOperation("The application object must be made before the first timer");
    return;
  }
  static std::string name = ModuleName().empty() ? "kiv7" : ModuleName();
  static int argc = 1;
  static char* argv[] = {name.data(), nullptr};
  g_previous_handler = qInstallMessageHandler(StartupMessageHandler);
  g_making_screen = true;
  qt_app_ = new QApplication(argc, argv);
  g_making_screen = false;
  qInstallMessageHandler(g_previous_handler);
  QApplication::setQuitOnLastWindowClosed(false);
  ApplyClassicLook();
  // The GUI library's own texts (file, colour and print dialogs, standard
  // buttons) in Russian as the program's are, whatever the user's locale.
  // Never destroyed: a later application object of the process takes it again.
  static auto* library_texts = new QTranslator();
  if (library_texts->load("qtbase_ru", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(library_texts);
  else
    std::fprintf(stderr, "kiv7: the GUI library's Russian texts are not installed (qtbase_ru.qm)\n");
}

bool TApplication::Initialized() const {
  return !g_making_screen && qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

void TApplication::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == main_form_) main_form_ = nullptr;
}

void TApplication::Run() {
  if (!main_form_) return;
  main_form_->Show();
  while (!terminated_) {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(std::current_exception());
    }
  }
  // The loop is over; a later one (tests run several in one process) starts afresh.
  terminated_ = false;
}

void TApplication::Terminate() {
  terminated_ = true;
  WakeLoop();
}

void TApplication::ProcessMessages() { ::ProcessMessages(); }

void TApplication::HandleMessage() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
}

void TApplication::HandleException(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    // Silent by design: a command that gives up quietly.
  } catch (const std::exception& e) {
    if (OnException)
      OnException(this, e);
    else
      ShowException(e);
  } catch (...) {
    ShowException(Exception("Unknown exception"));
  }
}

void TApplication::ShowException(const std::exception& error) {
  AnsiString message;
  if (auto* e = dynamic_cast<const Exception*>(&error))
    message = e->Message();
  else if (dynamic_cast<const std::bad_alloc*>(&error))
    message = "Out of memory";
  else
    message = Utf8ToAnsi(error.what());
  MessageBox(ExceptionBoxText(message), title_, MB_OK | MB_ICONSTOP);
}

int TApplication::StartupFailure(std::exception_ptr error) {
  AnsiString class_name, message;
  const void* address = nullptr;
  Describe(error, &class_name, &message, &address);
  const AnsiString text = StartupFailureText(class_name, Utf8ToAnsi(ModuleName()), address, message);
  DialogService().MessageBox(text, "Application Error", MB_OK | MB_ICONSTOP);
  return 1;
}

int TApplication::RunProgram(const std::function<void()>& body) {
  int code = 0;
  try {
    body();
  } catch (...) {
    code = StartupFailure(std::current_exception());
  }
  Shutdown();
  return code;
}

int TApplication::MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) {
  return DialogService().MessageBox(text, caption, flags);
}

bool TApplication::HelpCommand(int command, int data) {
  if (OnHelp && OnHelp(command, data)) return true;
  // The help file of the classic desktop has no viewer here; a document of
  // the same name that the desktop can show stands in for it.
  for (const char* ext : {".html", ".htm", ".pdf"}) {
    if (help_file_.empty()) break;
    const std::string document = FindFileIgnoringCase(ChangeFileExt(help_file_, ext));
    if (!document.empty() && DialogService().OpenDocument(document)) return true;
  }
  MessageBox(Utf8ToAnsi("Файл справки не найден: ") + Utf8ToAnsi(help_file_), title_, MB_OK | MB_ICONINFORMATION);
  return false;
}

std::string TApplication::ExeName() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  return std::string(buffer, size_t(n));
}

std::string TApplication::ModuleName() { return ExtractFileName(ExeName()); }
