// Forms and the application object: windows, modal loops, the message loop
// and the default exception handler.
#pragma once

#include <exception>
#include <memory>
#include <string>

#include "toolkit/ui/controls.h"
#include "toolkit/ui/menus.h"  // TShiftState

class TMainMenu;
class QApplication;

// Modal results.
using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;

enum TPosition { poDesigned, poDefault, poScreenCenter, poDesktopCenter, poMainFormCenter };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TFormStyle { fsNormal, fsStayOnTop };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TSet<TBorderIcon>;
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TCloseEvent = std::function<void(TComponent* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TComponent* Sender, bool& CanClose)>;

// A top-level window. Left/Top are screen positions; Width/Height and the
// client size are the window's inside (the desktop adds its frame).
class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  // Runs OnCreate, with an exception shown by the application instead of
  // ending the construction. Application::CreateForm calls it once the form
  // is fully built.
  virtual void AfterConstruction();

  TPosition Position() const { return position_; }
  void SetPosition(TPosition value) { position_ = value; }
  TFormBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TFormBorderStyle value);
  // fsStayOnTop keeps the window above the application's other windows,
  // also while another one is active.
  TFormStyle FormStyle() const { return form_style_; }
  void SetFormStyle(TFormStyle value);
  TBorderIcons BorderIcons() const { return border_icons_; }
  void SetBorderIcons(TBorderIcons value);
  TWindowState WindowState() const { return window_state_; }
  void SetWindowState(TWindowState value);
  // A drop-down window: top-most, shown without taking the activation or
  // the focus from the window it drops down from.
  bool DropDownWindow() const { return drop_down_window_; }
  void SetDropDownWindow(bool value);
  // A window without the window system's frame that draws its own, width
  // pixels wide inside Width and Height: a dark line, the rest in the
  // window's colour. A sizable one is resized by dragging that frame, as the
  // window system's frame would be (UserSizing hears of it); 0 draws none.
  int DrawnFrame() const { return drawn_frame_; }
  void SetDrawnFrame(int width, bool sizable);
  // Keys reach the form (PreviewKeyDown, PreviewKeyPress) before the control
  // of the form that has the focus.
  bool KeyPreview() const { return key_preview_ != nullptr; }
  void SetKeyPreview(bool value);

  void SetClientWidth(int value);
  void SetClientHeight(int value);
  int ClientWidth() const override;
  int ClientHeight() const override;

  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu);

  // Showing: OnShow runs first, then the window appears and, unless it is a
  // drop-down window, takes the activation (OnActivate).
  void SetVisible(bool value) override;

  // Shows the window modally and runs a nested loop until ModalResult is set
  // (by a button, by Close, by the program); hides it and returns the result.
  // Raises EInvalidOperation for a window that is already shown.
  TModalResult ShowModal();
  TModalResult ModalResult() const { return modal_result_; }
  // A result set while the window is modal ends its loop at once, also when
  // it is set by a handler of the last event waiting.
  void SetModalResult(TModalResult value);
  bool Modal() const { return modal_; }

  // Closes the window: a modal one ends with mrCancel; otherwise OnCloseQuery
  // may refuse, OnClose may change the action, and the main window's close
  // ends the application.
  void Close();
  bool CloseQuery();

  // Brings the window to the front and gives it the focus.
  void BringToFront();

  // Takes the next mouse press of the program for `hit` instead of the
  // control under it: the press (and its release) reach no control, the
  // pointer shows `cursor` until then, and `hit` is told the control of this
  // window that was pressed (nullptr for a press elsewhere). A second capture
  // replaces the first; the window's destruction drops it.
  void CaptureNextClick(int cursor, std::function<void(TControl* hit)> hit);
  bool CapturingClick() const { return click_capture_ != nullptr; }

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  // The window has been shown and taken the activation. Shown modally, it
  // runs before the modal loop handles any event, so a ModalResult it sets
  // ends the loop before the window is painted.
  TNotifyEvent OnActivate;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // ---- For the toolkit's hosts --------------------------------------------
  QWidget* ClientWidget() const override { return client_; }
  bool WidgetCloseRequested() override;
  void WidgetResized() override;
  // Esc presses the Cancel button, Enter the Default button.
  bool WidgetKeyDown(int key) override;

 protected:
  // With KeyPreview: a key on its way to the focused control of the form; a
  // key set to 0 is used up, and the control hears nothing of it. An Alt
  // combination comes here before any accelerator of the window system.
  virtual void PreviewKeyDown(uint16_t& key, TShiftState shift) { (void)key, (void)shift; }
  // The character the key types (1251), when it types one.
  virtual void PreviewKeyPress(char& key) { (void)key; }
  // The user resized the window (dragged its frame) to bounds, in screen
  // coordinates; what the form leaves in bounds is the size it takes.
  virtual void UserSizing(TRect& bounds) { (void)bounds; }
  // The sides of a sizable drawn frame the user may drag now, as the edge
  // flags BF_LEFT 1, BF_TOP 2, BF_RIGHT 4 and BF_BOTTOM 8; every side by default.
  virtual unsigned SizingEdges() const { return 0xF; }
  void ColorChanged() override;
  void CaptionChanged() override;
  void ApplyGeometry() override;

 private:
  void ApplyWindowFlags();
  void PlaceOnScreen();
  void LayoutFrame();
  void DropMenuBar();
  // The close of a modal loop: OnCloseQuery and OnClose with caHide.
  void CloseModal();
  void DoHide();

  QWidget* client_ = nullptr;
  QWidget* menu_bar_ = nullptr;
  // A menu that goes takes its bar with it.
  TComponentRef<TMainMenu> menu_{[this] {
    DropMenuBar();
    LayoutFrame();
  }};
  TPosition position_ = poDesigned;
  TFormBorderStyle border_style_ = bsSizeable;
  TFormStyle form_style_ = fsNormal;
  TBorderIcons border_icons_{biSystemMenu, biMinimize, biMaximize};
  TWindowState window_state_ = wsNormal;
  TModalResult modal_result_ = mrNone;
  bool modal_ = false;
  bool placed_ = false;
  bool drop_down_window_ = false;
  int drawn_frame_ = 0;
  bool frame_sizable_ = false;
  class DrawnFrameFilter;
  std::unique_ptr<DrawnFrameFilter> drawn_frame_filter_;
  class KeyPreviewFilter;
  std::unique_ptr<KeyPreviewFilter> key_preview_;
  class ClickCapture;
  std::unique_ptr<ClickCapture> click_capture_;
};

// Message box flags and answers.
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_OKCANCEL = 0x01;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x02;
inline constexpr unsigned MB_YESNOCANCEL = 0x03;
inline constexpr unsigned MB_YESNO = 0x04;
inline constexpr unsigned MB_RETRYCANCEL = 0x05;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONSTOP = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONWARNING = 0x30;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Help commands.
inline constexpr int HELP_CONTENTS = 3;
inline constexpr int HELP_FINDER = 11;

using TExceptionEvent = std::function<void(TComponent* Sender, const std::exception& E)>;

// The text the exception box shows for a message: a period is added when the
// last character sorts after "." (so "!" and ")" end a message as they are).
AnsiString ExceptionBoxText(const AnsiString& message);
// The text of the start-up failure box:
// "Exception <class> in module <module> at <address>.\r\n<message><period>\r\n".
AnsiString StartupFailureText(const AnsiString& class_name, const AnsiString& module_name,
                              const void* address, const AnsiString& message);

// The program's application object: its title, help file, forms and loops.
class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // Makes the GUI library's application object (once).
  void Initialize();
  // The GUI library's application object is made and can show windows.
  bool Initialized() const;
  // Frees the forms, then the GUI library's application object; the program
  // body's last step, while timers and the library are still there.
  void Shutdown();

  // 1251 text.
  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& value) { title_ = value; }
  // A path (UTF-8).
  const std::string& HelpFile() const { return help_file_; }
  void SetHelpFile(const std::string& value) { help_file_ = value; }

  // Makes a form owned by the application; the first becomes the main window.
  // reference is set before OnCreate runs.
  template <class T>
  void CreateForm(T*& reference) {
    T* form = new T(this);
    reference = form;
    if (!main_form_) main_form_ = form;
    form->AfterConstruction();
  }
  TForm* MainForm() const { return main_form_; }

  // Shows the main window and runs the message loop until Terminate.
  void Run();
  // Ends the message loop (and any modal loop within it).
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Runs the events pending now, then returns.
  void ProcessMessages();
  // Waits for events and runs them (one pass of a loop).
  void HandleMessage();

  // The default exception handler: OnException when assigned, else EAbort
  // silently and anything else in ShowException's box. The program goes on.
  void HandleException(std::exception_ptr error);
  void ShowException(const std::exception& error);
  TExceptionEvent OnException;
  // Shows the start-up failure box for an exception that ended the program
  // body and returns the exit code (1).
  int StartupFailure(std::exception_ptr error);
  // Runs the program body (Initialize ... Run): an exception that leaves it
  // is shown as the start-up failure, and so is a screen that cannot be
  // opened. Then Shutdown. Returns the process's exit code: 0, or 1 after a
  // failure.
  int RunProgram(const std::function<void()>& body);

  // A message box through the dialog service; returns IDOK, IDYES, ...
  int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags);
  // Opens the help file (HELP_FINDER, HELP_CONTENTS): a document beside it that
  // the desktop can show, else a message that there is none. False when none.
  // OnHelp is asked first; true from it ends the request there.
  bool HelpCommand(int command, int data);
  std::function<bool(int command, int data)> OnHelp;

  // The running program's file and its name without folder.
  static std::string ExeName();
  static std::string ModuleName();

 private:
  AnsiString title_;
  std::string help_file_;
  TForm* main_form_ = nullptr;
  bool terminated_ = false;
  QApplication* qt_app_ = nullptr;

  void Notification(TComponent* component, TOperation operation) override;
};

// The program's one application object.
extern TApplication* Application;
