// kiv7_drive: runs the program's main window offscreen and reads commands
// from standard input, one a line, answering its dialogs as told; it prints
// what each command shows.
//
//   kiv7_drive [--settings FILE] < COMMANDS   (--help lists the commands)
//
// Commands:
//   save-as PATH | open-file PATH   the next save / open dialog picks PATH
//   cancel-dialog                   the next file dialog is cancelled
//   answer yes|no|ok|cancel         the answer to the next message boxes
//   color RRGGBB                    the next colour dialog picks that colour
//   menu CAPTION                    runs the enabled (context) menu item
//   menu popup CAPTION              runs the enabled context menu item
//   tab press|acoustic              makes that tab active, if shown
//   title FIELD                     one click on that field's title (as
//                                   click-title)
//   select N...                     selects these rows (from 1, grid order)
//   current N FIELD                 moves the current cell there
//   current                         prints "row=N field=FIELD selected=N,N,..."
//                                   of the active grid (N in its order from 1)
//   key SEQ                         a key with modifiers (Ctrl+End, Shift+Down,
//                                   PgDown, Delete, F2, Escape, Tab, Return)
//   type TEXT                       characters typed into the focused control
//   click | shift-click | ctrl-click ROW FIELD
//                                   a click on a cell of the active grid (ROW
//                                   from 1 among the rows shown now)
//   double-click ROW FIELD          a double click on a cell (opens its editor)
//   editor                          prints "editor=TEXT" of the grid's in-place
//                                   editor, or "editor=none" when none is shown
//   click-title FIELD               a click on the field's title
//   right-click ROW FIELD | right-click below
//                                   a right click on a cell, or on the grid's
//                                   empty area below its rows; prints "popup:
//                                   CAPTION|CAPTION|..." of the menu it shows,
//                                   or "popup: none"
//   resize FIELD WIDTH              drags the title's right edge
//   move-column FIELD BEFORE_FIELD  drags the title before another one
//   wheel N                         N notches of the wheel (negative: up)
//   widths                          FIELD=WIDTH of the visible columns
//   titles                          FIELD=up|down of the visible columns
//                                   whose titles show a sort mark, or
//                                   "titles: none"
//   rows | footers | state          prints the active grid's rows, its
//                                   footers, the window's state
//   png PATH                        a picture of the main window
//   print-to PATH.pdf               the next print dialog is confirmed, the
//                                   printing going into that PDF file (and
//                                   PATH-2.pdf ... when the paper changes);
//                                   prints "printed: FILE" for each file
//   print-pages LIST | print-copies N
//                                   what that dialog is given as its page
//                                   list and its number of copies
//   preview-png PATH                a picture of the open preview window
//   close-preview                   closes the open preview window
//   close-window                    closes the main window
// A message box prints "message: CAPTION: TEXT". Texts are UTF-8.
#include <QAction>
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>
#include <string>
#include <vector>

#include "app/about.h"
#include "app/main.h"
#include "app/receive.h"
#include "grid/rs_edit.h"
#include "report/fr_prdlg.h"
#include "report/fr_preview.h"
#include "report/fr_print.h"
#include "toolkit/ui/hosted.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/stdctrls.h"
#include "toolkit/core/text.h"
#include "tools/common/grid_input.h"

namespace {

std::string U(const AnsiString& ansi) { return AnsiToUtf8(ansi); }

class DriveDialogs : public TDialogService {
 public:
  std::string answer = "ok";
  std::optional<std::string> next_file;  // empty optional: cancelled
  std::optional<TColor> next_color;
  // The next print dialog: the PDF file it prints to, its page list and copies.
  std::optional<std::string> print_to;
  std::string print_pages, print_copies;

  int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned) override {
    std::printf("message: %s: %s\n", U(caption).c_str(), U(text).c_str());
    std::fflush(stdout);
    if (answer == "yes") return IDYES;
    if (answer == "no") return IDNO;
    if (answer == "cancel") return IDCANCEL;
    return IDOK;
  }
  int MessageDlg(const AnsiString& text, TMsgDlgType, TMsgDlgButtons) override {
    std::printf("message: : %s\n", U(text).c_str());
    std::fflush(stdout);
    if (answer == "yes") return mrYes;
    if (answer == "no") return mrNo;
    if (answer == "cancel") return mrCancel;
    return mrOk;
  }
  bool ExecuteFileDialog(TOpenDialog& dialog) override {
    std::optional<std::string> file = next_file;
    next_file.reset();
    if (!file) return false;
    // As the window system's save dialog: a file that is there is replaced
    // only when the user says so.
    if (dialog.IsSave() && dialog.Options().Contains(ofOverwritePrompt) && std::filesystem::exists(*file)) {
      const std::string name = std::filesystem::path(*file).filename().string();
      const int reply =
          MessageBox(Utf8ToAnsi(name + " уже существует. Заменить его?"), Utf8ToAnsi("Сохранить как"), 0);
      if (reply != IDYES && reply != IDOK) return false;
    }
    dialog.SetFileName(*file);
    return true;
  }
  bool ExecuteColorDialog(TColorDialog& dialog) override {
    std::optional<TColor> color = next_color;
    next_color.reset();
    if (!color) return false;
    dialog.SetColor(*color);
    return true;
  }
  bool OpenDocument(const std::string&) override { return false; }
};

TMenuItem* FindItem(TMenuItem& parent, const std::string& caption) {
  for (int i = 0; i < parent.Count(); ++i) {
    TMenuItem* item = parent.Items(i);
    if (U(item->Caption()) == caption) return item;
    if (TMenuItem* inner = FindItem(*item, caption)) return inner;
  }
  return nullptr;
}

// Whether a grid's editor has a tool form dropped down.
bool DropDownOpen() {
  for (TDBGridPro* grid : {Form1->DBGridPro1, Form1->DBGridPro2})
    if (grid && grid->InplaceEditor() && grid->InplaceEditor()->DropDownForm()) return true;
  return false;
}

TDBGridPro* ActiveGrid() {
  if (!Form1->PageControl1->Visible()) return nullptr;
  return Form1->PageControl1->ActivePage() == Form1->TabSheet1 ? Form1->DBGridPro1 : Form1->DBGridPro2;
}

// The form of the active modal window when it is of class T.
template <class T>
T* ModalForm() {
  QWidget* modal = QApplication::activeModalWidget();
  return modal ? dynamic_cast<T*>(HostedControl(modal)) : nullptr;
}

// The preview window open and not being closed, or nullptr.
TfrPreviewForm* OpenPreview() {
  TfrPreviewForm* preview = ModalForm<TfrPreviewForm>();
  return preview && preview->ModalResult() == mrNone ? preview : nullptr;
}

// Runs the menu item with the next print dialog answered as print-to,
// print-pages and print-copies said, the printing going into the PDF file.
void ClickPrinting(DriveDialogs& dialogs, TMenuItem& item) {
  const std::string pdf = *dialogs.print_to;
  dialogs.print_to.reset();
  struct State {
    bool answered = false, done = false;
    std::string pages, copies;
    std::function<void()> answer;
  };
  auto state = std::make_shared<State>();
  state->pages = dialogs.print_pages;
  state->copies = dialogs.print_copies;
  // Polls for the dialog while the command runs (the build comes first).
  state->answer = [weak = std::weak_ptr<State>(state)] {
    const std::shared_ptr<State> st = weak.lock();
    if (!st || st->done) return;
    if (TfrPrintForm* form = ModalForm<TfrPrintForm>()) {
      if (st->answered) {
        // It stayed open: it refused what it was given (and said so).
        std::printf("error: the print dialog refused the request\n");
        form->Button2->Click();
      } else {
        st->answered = true;
        if (!st->pages.empty()) {
          form->RB3->SetChecked(true);
          form->E2->SetText(Utf8ToAnsi(st->pages));
        }
        if (!st->copies.empty()) form->E1->SetText(Utf8ToAnsi(st->copies));
        form->Button1->Click();
      }
    }
    QTimer::singleShot(20, st->answer);
  };
  QTimer::singleShot(0, state->answer);
  const std::vector<std::string> files = PrintToPdfFiles(pdf, [&] { item.Click(); });
  state->done = true;
  for (const std::string& file : files) std::printf("printed: %s\n", file.c_str());
}

// The widget a press at the grid's point at reaches, as the window system
// delivers it (an in-place editor over the cell takes it), and the point in it.
std::pair<QWidget*, QPoint> Under(TDBGridPro& grid, QPoint at) {
  QWidget* widget = grid.Widget()->childAt(at);
  if (widget == nullptr || widget->isWindow()) return {grid.Widget(), at};
  return {widget, widget->mapFrom(grid.Widget(), at)};
}

// A right click on a cell ("ROW FIELD") or below the grid's rows ("below");
// the menu it opens is listed and closed again, as a user would dismiss it.
void RightClick(TDBGridPro& grid, const std::string& where) {
  QPoint at;
  if (where == "below") {
    // Halfway between the last row shown and the footers.
    if (grid.FreeSpace() < 2) throw grid_input::InputError{"no empty area below the rows"};
    at = QPoint(grid.ClientWidth() / 2, grid.DataBottom() + grid.FreeSpace() / 2);
  } else {
    std::istringstream args(where);
    int row = 0;
    std::string field;
    args >> row >> field;
    at = grid_input::CellPoint(grid, row, field);
  }
  auto shown = std::make_shared<std::string>("none");
  QTimer::singleShot(0, [shown] {
    QWidget* popup = QApplication::activePopupWidget();
    if (!popup) return;
    std::string items;
    for (QAction* action : popup->actions()) {
      if (action->isSeparator() || !action->isVisible()) continue;
      if (!items.empty()) items += "|";
      items += action->text().remove('&').toStdString();
    }
    *shown = items;
    popup->close();
  });
  const auto [target, point] = Under(grid, at);
  grid_input::SendMouse(target, QEvent::MouseMove, point, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  grid_input::SendMouse(target, QEvent::MouseButtonPress, point, Qt::RightButton, Qt::RightButton, Qt::NoModifier);
  grid_input::SendMouse(target, QEvent::MouseButtonRelease, point, Qt::RightButton, Qt::NoButton, Qt::NoModifier);
  QApplication::processEvents();
  std::printf("popup: %s\n", shown->c_str());
}

// Runs body over the active grid's rows in their order, the grids frozen
// and the table's position kept.
template <class F>
void EachRow(F&& body) {
  TDbf& table = *Form1->Dbf1;
  if (!table.QueryActive()) return;
  const TBookmark here = table.TakeBookmark();
  Form1->DBGridPro1->FreezeGrid();
  Form1->DBGridPro2->FreezeGrid();
  int n = 0;
  for (table.GoFirst(); !table.Eof(); table.GoNext()) body(++n);
  if (!here.empty()) table.ReturnToBookmark(here);
  Form1->DBGridPro2->UnfreezeGrid(false);
  Form1->DBGridPro1->UnfreezeGrid(false);
}

std::string ColorName(TColor c) {
  if (c == clBtnFace) return "clBtnFace";
  if (c == clBtnShadow) return "clBtnShadow";
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(c));
  return buf;
}

// ---- Commands --------------------------------------------------------------------
//
// Each command is a function of the rest of its line; the grid's input
// commands act on the active grid, which must be shown, and report what
// they cannot do (InputError) as an error line.

using Handler = void (*)(DriveDialogs& dialogs, std::string rest);
using GridHandler = void (*)(TDBGridPro& grid, const std::string& rest);

void NextFile(DriveDialogs& dialogs, std::string rest) { dialogs.next_file = rest; }
void CancelDialog(DriveDialogs& dialogs, std::string) { dialogs.next_file.reset(); }
void Answer(DriveDialogs& dialogs, std::string rest) { dialogs.answer = rest; }
void Color(DriveDialogs& dialogs, std::string rest) {
  dialogs.next_color = RGB(std::stoi(rest.substr(0, 2), nullptr, 16), std::stoi(rest.substr(2, 2), nullptr, 16),
                           std::stoi(rest.substr(4, 2), nullptr, 16));
}
void PrintTo(DriveDialogs& dialogs, std::string rest) { dialogs.print_to = rest; }
void PrintPages(DriveDialogs& dialogs, std::string rest) { dialogs.print_pages = rest; }
void PrintCopies(DriveDialogs& dialogs, std::string rest) { dialogs.print_copies = rest; }

void Menu(DriveDialogs& dialogs, std::string rest) {
  // "popup CAPTION" names an item of the context menu only.
  const bool popup_only = rest.rfind("popup ", 0) == 0;
  if (popup_only) rest = rest.substr(6);
  TMenuItem* item = popup_only ? nullptr : FindItem(Form1->MainMenu1->Items(), rest);
  if (!item) item = FindItem(Form1->PopupMenu1->Items(), rest);
  if (!item) {
    std::printf("error: no menu item %s\n", rest.c_str());
  } else if (!item->Enabled()) {
    std::printf("disabled: %s\n", rest.c_str());
  } else if (dialogs.print_to) {
    ClickPrinting(dialogs, *item);
  } else {
    item->Click();
  }
}

void Tab(DriveDialogs&, std::string rest) {
  TTabSheet* sheet = rest == "press" ? Form1->TabSheet1 : rest == "acoustic" ? Form1->TabSheet2 : nullptr;
  if (!sheet) std::printf("error: no tab %s\n", rest.c_str());
  else if (sheet->TabVisible() && Form1->PageControl1->Visible()) Form1->PageControl1->SetActivePage(sheet);
}

void Select(DriveDialogs&, std::string rest) {
  TDBGridPro* grid = ActiveGrid();
  if (!grid) return;
  std::vector<int> wanted;
  for (std::istringstream numbers(rest); numbers;) {
    int n = 0;
    if (numbers >> n) wanted.push_back(n);
  }
  grid->Selection()->Clear(true, false);
  std::vector<TBookmark> marks;
  EachRow([&](int n) {
    for (int w : wanted)
      if (w == n) marks.push_back(Form1->Dbf1->TakeBookmark());
  });
  for (const TBookmark& mark : marks) {
    Form1->Dbf1->ReturnToBookmark(mark);
    grid->Selection()->SelectCurrent(true, true);
  }
}

// "current": prints the current cell; "current N FIELD": moves it there.
void Current(DriveDialogs&, std::string rest) {
  TDBGridPro* grid = ActiveGrid();
  if (rest.empty()) {
    if (grid) std::printf("%s\n", grid_input::Current(*grid, *Form1->Dbf1).c_str());
    return;
  }
  std::istringstream args(rest);
  int n = 0;
  std::string field;
  args >> n >> field;
  if (!grid || n < 1) return;
  TBookmark mark;
  EachRow([&](int k) {
    if (k == n) mark = Form1->Dbf1->TakeBookmark();
  });
  if (!mark.empty()) Form1->Dbf1->ReturnToBookmark(mark);
  for (int i = 0; i < grid->Columns()->Count(); ++i)
    if (U(grid->Columns()->Items(i)->FieldName()) == field) {
      grid->GoToCell(0, 0, i);
      break;
    }
}

// Keys go where the window system sends them, each to the control focused
// when it is typed: the focused control of the active window, or, while no
// window is active (the offscreen platform activates none), the shown control
// the grid's window gave the focus to, such as the editor a key on the grid
// just opened.
QWidget* KeyTarget(TDBGridPro& grid) {
  if (QWidget* focus = QApplication::focusWidget()) return focus;
  QWidget* focus = grid.Widget()->window()->focusWidget();
  return focus != nullptr && focus->isVisible() ? focus : grid.Widget();
}

void Key(TDBGridPro& grid, const std::string& rest) { grid_input::SendKeyName(KeyTarget(grid), rest); }

void Type(TDBGridPro& grid, const std::string& rest) {
  for (const QChar ch : QString::fromStdString(rest)) grid_input::SendText(KeyTarget(grid), QString(ch).toStdString());
}

// A click on a cell ("ROW FIELD") with the modifiers held.
void ClickCell(TDBGridPro& grid, const std::string& rest, Qt::KeyboardModifiers mods) {
  std::istringstream args(rest);
  int row = 0;
  std::string field;
  args >> row >> field;
  const QPoint at = grid_input::CellPoint(grid, row, field);
  const auto [target, point] = Under(grid, at);
  grid_input::SendClick(target, point, mods);
}

void Click(TDBGridPro& grid, const std::string& rest) { ClickCell(grid, rest, Qt::NoModifier); }
void ShiftClick(TDBGridPro& grid, const std::string& rest) { ClickCell(grid, rest, Qt::ShiftModifier); }
void CtrlClick(TDBGridPro& grid, const std::string& rest) { ClickCell(grid, rest, Qt::ControlModifier); }

void DoubleClick(TDBGridPro& grid, const std::string& rest) {
  std::istringstream args(rest);
  int row = 0;
  std::string field;
  args >> row >> field;
  const QPoint at = grid_input::CellPoint(grid, row, field);
  // A user's double click comes to the active window.
  grid.Widget()->window()->activateWindow();
  QApplication::processEvents();
  // Each press goes to what is under the pointer by then: the second one to
  // an editor the first one opened.
  const auto [first, first_point] = Under(grid, at);
  grid_input::SendClick(first, first_point);
  QApplication::processEvents();
  const auto [second, second_point] = Under(grid, at);
  grid_input::SendMouse(second, QEvent::MouseButtonDblClick, second_point, Qt::LeftButton, Qt::LeftButton,
                        Qt::NoModifier);
  const auto [last, last_point] = Under(grid, at);
  grid_input::SendMouse(last, QEvent::MouseButtonRelease, last_point, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
}

void Editor(TDBGridPro& grid, const std::string&) {
  TgpInplaceEdit* editor = grid.InplaceEditor();
  if (grid.EditorShown() && editor != nullptr)
    std::printf("editor=%s\n", AnsiToUtf8(editor->EditText()).c_str());
  else
    std::printf("editor=none\n");
}

void ClickTitle(TDBGridPro& grid, const std::string& rest) {
  grid_input::SendClick(grid.Widget(), grid_input::TitlePoint(grid, rest));
}

void RightClickAt(TDBGridPro& grid, const std::string& rest) { RightClick(grid, rest); }

void Resize(TDBGridPro& grid, const std::string& rest) {
  std::istringstream args(rest);
  std::string field;
  int width = 0;
  args >> field >> width;
  if (width <= 0) {
    std::printf("error: resize FIELD WIDTH\n");
    return;
  }
  grid_input::Resize(grid, field, width);
}

void MoveColumn(TDBGridPro& grid, const std::string& rest) {
  std::istringstream args(rest);
  std::string field, before;
  args >> field >> before;
  grid_input::MoveColumn(grid, field, before);
}

void Wheel(TDBGridPro& grid, const std::string& rest) { grid_input::SendWheel(grid.Widget(), std::stoi(rest)); }

void Widths(TDBGridPro& grid, const std::string&) { std::printf("%s\n", grid_input::Widths(grid).c_str()); }

void Rows(DriveDialogs&, std::string) {
  TDBGridPro* grid = ActiveGrid();
  if (!grid) return;
  std::vector<TgpColumn*> columns;
  for (int i = 0; i < grid->Columns()->Count(); ++i)
    if (grid->Columns()->Items(i)->Visible()) columns.push_back(grid->Columns()->Items(i));
  auto print = [&](auto&& text_of) {
    for (size_t i = 0; i < columns.size(); ++i) std::printf("%s%s", i ? "\t" : "", text_of(columns[i]).c_str());
    std::printf("\n");
  };
  print([](TgpColumn* c) { return U(c->FieldName()); });
  EachRow([&](int) {
    print([](TgpColumn* c) {
      TField* field = c->FieldName().empty() ? nullptr : Form1->Dbf1->FieldNamedOrNil(c->FieldName());
      return field ? U(field->FormatForDisplay(true)) : std::string();
    });
  });
}

// "FIELD=TEXT" of the active grid's columns whose text is not empty, tab
// separated.
template <class F>
std::string ColumnTexts(TDBGridPro& grid, F&& text_of) {
  std::string out;
  for (int i = 0; i < grid.Columns()->Count(); ++i) {
    TgpColumn* c = grid.Columns()->Items(i);
    const std::string text = text_of(*c);
    if (text.empty()) continue;
    out += (out.empty() ? "" : "\t") + U(c->FieldName()) + "=" + text;
  }
  return out;
}

void Titles(DriveDialogs&, std::string) {
  TDBGridPro* grid = ActiveGrid();
  if (!grid) return;
  const std::string out = ColumnTexts(*grid, [](const TgpColumn& c) -> std::string {
    if (!c.Visible() || c.TitleState() == tsSortedNone) return "";
    return c.TitleState() == tsSortedUp ? "up" : "down";
  });
  std::printf("titles: %s\n", out.empty() ? "none" : out.c_str());
}

void Footers(DriveDialogs&, std::string) {
  TDBGridPro* grid = ActiveGrid();
  if (!grid) return;
  std::printf("%s\n", ColumnTexts(*grid, [](const TgpColumn& c) { return U(c.FooterText()); }).c_str());
}

void State(DriveDialogs&, std::string) {
  TDbf& table = *Form1->Dbf1;
  const std::string path =
      Form1->TableOpen && table.QueryActive() ? table.FilePathFull() + table.TableName() : std::string("none");
  const TDBGridPro* grid = ActiveGrid();
  std::printf("table=%s tab=%s caption=%s background=%s modified=%d\n", path.c_str(),
              !grid ? "none" : grid == Form1->DBGridPro1 ? "press" : "acoustic", U(Form1->Caption()).c_str(),
              ColorName(Form1->Color()).c_str(), Form1->TableModified ? 1 : 0);
}

void Png(DriveDialogs&, std::string rest) {
  if (!Form1->Widget()->grab().toImage().save(QString::fromStdString(rest), "PNG"))
    std::printf("error: cannot write %s\n", rest.c_str());
}

// "preview-png PATH" and "close-preview" on the open preview window.
void OnPreview(const std::string& rest, bool close) {
  TfrPreviewForm* preview = OpenPreview();
  if (!preview) {
    std::printf("error: no preview window\n");
  } else if (close) {
    preview->Close();
  } else if (!preview->Widget()->grab().toImage().save(QString::fromStdString(rest), "PNG")) {
    std::printf("error: cannot write %s\n", rest.c_str());
  }
}
void PreviewPng(DriveDialogs&, std::string rest) { OnPreview(rest, false); }
void ClosePreview(DriveDialogs&, std::string rest) { OnPreview(rest, true); }

void CloseWindow(DriveDialogs&, std::string) { Form1->Close(); }

struct Command {
  const char* name;
  Handler run;        // a command of the window and its dialogs, or
  GridHandler input;  // input to the active grid, which must be shown
};

// Every command; a new one is one more line here.
const Command kCommands[] = {
    {"save-as", NextFile, nullptr},
    {"open-file", NextFile, nullptr},
    {"cancel-dialog", CancelDialog, nullptr},
    {"answer", Answer, nullptr},
    {"color", Color, nullptr},
    {"menu", Menu, nullptr},
    {"tab", Tab, nullptr},
    {"select", Select, nullptr},
    {"current", Current, nullptr},
    {"key", nullptr, Key},
    {"type", nullptr, Type},
    {"click", nullptr, Click},
    {"shift-click", nullptr, ShiftClick},
    {"ctrl-click", nullptr, CtrlClick},
    {"double-click", nullptr, DoubleClick},
    {"editor", nullptr, Editor},
    {"click-title", nullptr, ClickTitle},
    {"title", nullptr, ClickTitle},
    {"right-click", nullptr, RightClickAt},
    {"resize", nullptr, Resize},
    {"move-column", nullptr, MoveColumn},
    {"wheel", nullptr, Wheel},
    {"widths", nullptr, Widths},
    {"rows", Rows, nullptr},
    {"titles", Titles, nullptr},
    {"footers", Footers, nullptr},
    {"state", State, nullptr},
    {"png", Png, nullptr},
    {"print-to", PrintTo, nullptr},
    {"print-pages", PrintPages, nullptr},
    {"print-copies", PrintCopies, nullptr},
    {"preview-png", PreviewPng, nullptr},
    {"close-preview", ClosePreview, nullptr},
    {"close-window", CloseWindow, nullptr},
};

void Run(DriveDialogs& dialogs, const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  std::string rest;
  std::getline(in >> std::ws, rest);
  if (command.empty() || command[0] == '#') return;
  for (const Command& c : kCommands) {
    if (command != c.name) continue;
    if (c.run) {
      c.run(dialogs, rest);
      return;
    }
    TDBGridPro* grid = ActiveGrid();
    if (!grid) {
      std::printf("error: no grid shown\n");
      return;
    }
    try {
      c.input(*grid, rest);
    } catch (const grid_input::InputError& e) {
      std::printf("error: %s\n", e.message.c_str());
    }
    return;
  }
  std::printf("error: unknown command %s\n", command.c_str());
}

}  // namespace

// What the program takes; the README's harness table says the same.
constexpr const char* kUsage =
    "usage: kiv7_drive [--settings FILE] < COMMANDS\n"
    "commands, one a line:\n"
    "  save-as PATH | open-file PATH | cancel-dialog | answer yes|no|ok|cancel | color RRGGBB\n"
    "  print-to OUT.pdf | print-pages LIST | print-copies N\n"
    "  menu CAPTION | menu popup CAPTION | tab press|acoustic | title FIELD | select N...\n"
    "  current [N FIELD] | key SEQ | type TEXT | click|shift-click|ctrl-click|double-click ROW FIELD\n"
    "  right-click ROW FIELD | right-click below | click-title FIELD | resize FIELD WIDTH | move-column FIELD BEFORE_FIELD | wheel N | widths | editor\n"
    "  rows | footers | titles | state | png PATH | preview-png PATH | close-preview | close-window\n";

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--settings" && i + 1 < argc) {
      setenv("KIV7_SETTINGS", argv[++i], 1);
    } else {
      std::fputs(kUsage, a == "--help" ? stdout : stderr);
      return a == "--help" ? 0 : 2;
    }
  }
  DriveDialogs dialogs;
  return Application->RunProgram([&] {
    Application->Initialize();
    SetDialogService(&dialogs);
    Application->CreateForm(Form1);
    Application->CreateForm(Form2);
    Application->CreateForm(form6);
    Form1->Show();
    bool closed = false;
    // Commands running now (more than one while one runs inside another's loop).
    int running = 0;
    auto run_line = [&](std::string line) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ++running;
      try {
        if (!closed) Run(dialogs, line);
      } catch (const Exception& e) {
        // What the application's default handler would show.
        std::printf("error: %s\n", U(e.Message()).c_str());
      }
      --running;
      if (line == "close-window") closed = true;
      std::fflush(stdout);
    };
    // A dropped-down tool form that takes the focus runs a loop of its own
    // until it closes; the commands that follow (typing into it, Enter) run
    // inside that loop. Every other command runs after the one before ended.
    std::function<void()> next_while_dropped = [&] {
      // What showing the drop-down set going (its window's activation) is
      // done before the next command, as it would be before a user's key.
      QApplication::processEvents();
      if (!DropDownOpen() && !OpenPreview()) {
        // A command still running may open a preview (after its build);
        // the commands that follow then run inside the preview's loop.
        if (running > 0) QTimer::singleShot(20, next_while_dropped);
        return;
      }
      std::string line;
      if (!std::getline(std::cin, line)) return;
      QTimer::singleShot(0, next_while_dropped);
      run_line(line);
    };
    for (std::string line; std::getline(std::cin, line);) {
      QTimer::singleShot(0, next_while_dropped);
      run_line(line);
    }
    if (!closed) Form1->Close();
  });
}
