// grid_probe: shows a table in the data grid, offscreen, and reports what
// the grid painted: each cell's text as drawn (taken from a recording of the
// designer's own painting) and, on request, the painted control as a PNG.
//
//   grid_probe TABLE [--filter EXPR] [--columns SPEC] [--size WxH]
//              [--designer lite|standard] [--top N] [--png OUT.png] [--cells]
//              [--search] [--delete] [--answer ok|cancel] [--do ACTIONS]
//
// SPEC is a ";"-list of FIELD[:WIDTH[:TITLE]]; fields joined by "|" stack in
// one group. --cells prints ROW<TAB>FIELD<TAB>TEXT per painted cell in
// painting order: ROW the row's number in the grid's order from 1, T for a
// title, F for a footer. Texts are UTF-8 on the command line and in output.
//
// --search turns incremental search on, --delete the delete key (Ctrl+Del);
// --answer is the answer to their questions (ok by default; each question
// goes to standard error as "message: TEXT"). --do runs ";"-separated
// actions in order before the picture and the cells are taken: key:SEQ
// (Ctrl+End, Shift+Down, PgDown, Delete, F2, ...), type:TEXT, click:ROW:FIELD,
// shift-click:ROW:FIELD, ctrl-click:ROW:FIELD (ROW from 1 among the rows
// shown at that moment) and title:FIELD. Deletions change the table on disk.
// With any of these the last line is "current row=N field=FIELD
// selected=N,N,..." (N a row's number in the grid's order from 1).
#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "grid/rs.h"
#include "grid/rs_std.h"
#include "toolkit/core/text.h"
#include "toolkit/gfx/metafile.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"
#include "tools/common/grid_input.h"

namespace {

struct ProbeError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& message) { throw ProbeError{message}; }

struct ColumnSpec {
  std::string field;
  int width = -1;
  std::string title;
  bool stacked = false;  // below the column before, in its group
};

struct Options {
  std::string table;
  std::string filter;
  bool has_filter = false;
  std::vector<ColumnSpec> columns;
  int width = 1000, height = 400;
  std::string designer = "standard";
  int top = 1;
  std::string png;
  bool cells = false;
  bool search = false;
  bool delete_key = false;
  std::string answer = "ok";
  std::vector<std::string> actions;
  bool interacts() const { return search || delete_key || !actions.empty(); }
};

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t at = s.find(sep, start);
    out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return out;
    start = at + 1;
  }
}

int ParsePositive(const std::string& text, const std::string& what) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 7)
    Fail("bad " + what + ": \"" + text + "\" (a positive whole number)");
  const int value = std::atoi(text.c_str());
  if (value <= 0) Fail("bad " + what + ": \"" + text + "\" (a positive whole number)");
  return value;
}

std::vector<ColumnSpec> ParseColumns(const std::string& spec) {
  std::vector<ColumnSpec> out;
  for (const std::string& group : Split(spec, ';')) {
    if (group.empty()) Fail("bad --columns: an empty column in \"" + spec + "\"");
    bool first = true;
    for (const std::string& item : Split(group, '|')) {
      const std::vector<std::string> parts = Split(item, ':');
      if (parts[0].empty() || parts.size() > 3) Fail("bad --columns item \"" + item + "\" (FIELD[:WIDTH[:TITLE]])");
      ColumnSpec c;
      c.field = parts[0];
      if (parts.size() > 1 && !parts[1].empty()) c.width = ParsePositive(parts[1], "column width");
      if (parts.size() > 2) c.title = parts[2];
      c.stacked = !first;
      first = false;
      out.push_back(c);
    }
  }
  return out;
}

Options ParseOptions(int argc, char** argv) {
  Options o;
  auto value = [&](int& i) -> std::string {
    if (i + 1 >= argc) Fail(std::string(argv[i]) + " needs a value");
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--filter") {
      o.filter = value(i);
      o.has_filter = true;
    } else if (a == "--columns") {
      o.columns = ParseColumns(value(i));
    } else if (a == "--size") {
      const std::string v = value(i);
      const size_t x = v.find('x');
      if (x == std::string::npos) Fail("bad --size \"" + v + "\" (WxH)");
      o.width = ParsePositive(v.substr(0, x), "width");
      o.height = ParsePositive(v.substr(x + 1), "height");
    } else if (a == "--designer") {
      o.designer = value(i);
      if (o.designer != "lite" && o.designer != "standard")
        Fail("bad --designer \"" + o.designer + "\" (lite or standard)");
    } else if (a == "--top") {
      o.top = ParsePositive(value(i), "--top");
    } else if (a == "--png") {
      o.png = value(i);
    } else if (a == "--cells") {
      o.cells = true;
    } else if (a == "--search") {
      o.search = true;
    } else if (a == "--delete") {
      o.delete_key = true;
    } else if (a == "--answer") {
      o.answer = value(i);
      if (o.answer != "ok" && o.answer != "cancel") Fail("bad --answer \"" + o.answer + "\" (ok or cancel)");
    } else if (a == "--do") {
      for (const std::string& action : Split(value(i), ';'))
        if (!action.empty()) o.actions.push_back(action);
    } else if (a.size() > 1 && a[0] == '-') {
      Fail("unknown option " + a);
    } else if (o.table.empty()) {
      o.table = a;
    } else {
      Fail("more than one table: " + o.table + " and " + a);
    }
  }
  if (o.table.empty()) Fail("no table given");
  return o;
}

// The cell a drawn text belongs to.
struct CellKey {
  int band = 0;  // 1 title, 2 cell, 3 footer
  int row = 0;
  int column = 0;
  bool operator<(const CellKey& o) const {
    return band != o.band ? band < o.band : row != o.row ? row < o.row : column < o.column;
  }
};

bool Inside(const TRect& r, int x, int y) { return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom; }

// Paints through the designer as it is and keeps a recording of the same
// drawing; the grid's own paint handler decides what is painted.
template <class D>
class RecordingDesigner : public D {
 public:
  explicit RecordingDesigner(TComponent* owner) : D(owner) {}
  void Paint(TDBGridPro* Grid, TgpPaintInfo* PaintInfo) override {
    TCanvas* target = PaintInfo->Canvas;
    recording.Clear();
    TMetafileCanvas canvas(recording);
    {
      TScopedValue<TCanvas*> on_canvas(PaintInfo->Canvas, &canvas);
      TScopedValue<bool> on_screen(PaintInfo->OffScreen, false);
      D::Paint(Grid, PaintInfo);
    }
    info = *PaintInfoCopy(PaintInfo);
    recording.Replay(*target, PaintInfo->ClipRect.Left, PaintInfo->ClipRect.Top);
  }
  struct Painted {
    TRect clip;
    int first_group = 0, last_group = -1, first_row = -1, last_row = -1, parts = 0;
  };
  static std::unique_ptr<Painted> PaintInfoCopy(const TgpPaintInfo* p) {
    auto out = std::make_unique<Painted>();
    out->clip = p->ClipRect;
    out->first_group = p->FirstGroup, out->last_group = p->LastGroup;
    out->first_row = p->FirstRow, out->last_row = p->LastRow, out->parts = p->Parts;
    return out;
  }
  TMetafile recording;
  Painted info;
};

struct Probe {
  virtual ~Probe() = default;
  virtual TgpDesigner* Designer() = 0;
  virtual const TMetafile& Recording() const = 0;
  virtual int FirstGroup() const = 0;
  virtual int LastGroup() const = 0;
  virtual int FirstRow() const = 0;
  virtual int LastRow() const = 0;
  virtual int Parts() const = 0;
  virtual TRect Clip() const = 0;
};

template <class D>
struct ProbeOf : Probe {
  ProbeOf() : designer(nullptr) {}
  TgpDesigner* Designer() override { return &designer; }
  const TMetafile& Recording() const override { return designer.recording; }
  int FirstGroup() const override { return designer.info.first_group; }
  int LastGroup() const override { return designer.info.last_group; }
  int FirstRow() const override { return designer.info.first_row; }
  int LastRow() const override { return designer.info.last_row; }
  int Parts() const override { return designer.info.parts; }
  TRect Clip() const override { return designer.info.clip; }
  RecordingDesigner<D> designer;
};

// The cells in the order the designer paints them (cells column by column,
// then titles, then footers), each with the texts drawn inside it.
void PrintCells(TDBGridPro& grid, const Probe& probe, const std::map<int, int>& order_of_row) {
  TgpColumns& columns = *grid.Columns();
  std::map<CellKey, std::string> texts;
  const TRect clip = probe.Clip();
  for (const TMetaTextRun& run : probe.Recording().TextRuns()) {
    // A clipped text belongs where its clip is; others where they start.
    int x = run.x + clip.Left + 1, y = run.y + clip.Top + 1;
    if (run.clipped) {
      x = (run.clip.Left + run.clip.Right) / 2 + clip.Left;
      y = (run.clip.Top + run.clip.Bottom) / 2 + clip.Top;
    }
    std::optional<CellKey> key;
    for (int i = 0; i < columns.Count() && !key; ++i) {
      TgpColumn* column = columns.Items(i);
      if (!column->Visible()) continue;
      if (y < grid.TitleBand()) {
        if (Inside(column->TitleRect(false), x, y)) key = CellKey{1, 0, i};
      } else if (Inside(column->FooterRect(true, false), x, y)) {
        key = CellKey{3, 0, i};
      } else {
        for (int r = probe.FirstRow(); r >= 0 && r <= probe.LastRow() && !key; ++r)
          if (Inside(column->CellRect(r, true, false), x, y)) key = CellKey{2, r, i};
      }
    }
    if (!key) continue;
    std::string& text = texts[*key];
    if (!text.empty()) text += " ";
    text += AnsiToUtf8(run.text);
  }
  auto line = [&](const std::string& row, int column, const CellKey& key) {
    auto it = texts.find(key);
    std::printf("%s\t%s\t%s\n", row.c_str(), AnsiToUtf8(columns.Items(column)->FieldName()).c_str(),
                it == texts.end() ? "" : it->second.c_str());
  };
  auto each_column = [&](auto&& body) {
    for (int g = probe.FirstGroup(); g <= probe.LastGroup(); ++g) {
      TgpGroupInfo* group = columns.Groups(g);
      if (!group->InView) continue;
      for (int i = group->FirstColumn; i <= group->LastColumn; ++i)
        if (columns.Items(i)->Visible()) body(i);
    }
  };
  if ((probe.Parts() & TgpPaintInfo::kRows) && grid.HasRows())
    each_column([&](int i) {
      for (int r = probe.FirstRow(); r <= probe.LastRow(); ++r) {
        auto order = order_of_row.find(r);
        // The empty row of an empty set is no row of the table.
        if (order == order_of_row.end() || order->second <= 0) continue;
        line(std::to_string(order->second), i, CellKey{2, r, i});
      }
    });
  if (probe.Parts() & TgpPaintInfo::kTitles) each_column([&](int i) { line("T", i, CellKey{1, 0, i}); });
  if (probe.Parts() & TgpPaintInfo::kFooters)
    each_column([&](int i) {
      TgpColumn* c = columns.Items(i);
      if (c->FooterState() != fsNone || !c->FooterText().empty()) line("F", i, CellKey{3, 0, i});
    });
}

// Answers the grid's questions as --answer says.
class ProbeDialogs : public TDialogService {
 public:
  explicit ProbeDialogs(std::string answer) : answer_(std::move(answer)) {}
  int MessageBox(const AnsiString& text, const AnsiString&, unsigned) override {
    std::fprintf(stderr, "message: %s\n", AnsiToUtf8(text).c_str());
    return answer_ == "ok" ? IDOK : IDCANCEL;
  }
  int MessageDlg(const AnsiString& text, TMsgDlgType, TMsgDlgButtons) override {
    std::fprintf(stderr, "message: %s\n", AnsiToUtf8(text).c_str());
    return answer_ == "ok" ? mrOk : mrCancel;
  }
  bool ExecuteFileDialog(TOpenDialog&) override { return false; }
  bool ExecuteColorDialog(TColorDialog&) override { return false; }
  bool OpenDocument(const std::string&) override { return false; }

 private:
  std::string answer_;
};

void RunActions(TDBGridPro& grid, const std::vector<std::string>& actions) {
  QWidget* w = grid.Widget();
  for (const std::string& action : actions) {
    const size_t colon = action.find(':');
    const std::string verb = action.substr(0, colon);
    const std::string arg = colon == std::string::npos ? std::string() : action.substr(colon + 1);
    try {
      if (verb == "key") {
        grid_input::SendKeyName(w, arg);
      } else if (verb == "type") {
        grid_input::SendText(w, arg);
      } else if (verb == "title") {
        grid_input::SendClick(w, grid_input::TitlePoint(grid, arg));
      } else if (verb == "click" || verb == "shift-click" || verb == "ctrl-click") {
        const size_t at = arg.find(':');
        if (at == std::string::npos) Fail("bad action \"" + action + "\" (" + verb + ":ROW:FIELD)");
        const Qt::KeyboardModifiers mods = verb == "shift-click" ? Qt::ShiftModifier
                                           : verb == "ctrl-click" ? Qt::ControlModifier
                                                                  : Qt::NoModifier;
        grid_input::SendClick(w, grid_input::CellPoint(grid, ParsePositive(arg.substr(0, at), "row"), arg.substr(at + 1)),
                              mods);
      } else {
        Fail("unknown action \"" + action + "\"");
      }
    } catch (const grid_input::InputError& e) {
      Fail("action \"" + action + "\": " + e.message);
    }
  }
}

int Run(const Options& o) {
  if (!std::filesystem::is_regular_file(o.table)) Fail("no table " + o.table);
  TDbf table(nullptr);
  table.SetTableName(std::filesystem::absolute(o.table).string());
  try {
    table.Activate();
  } catch (const Exception& e) {
    Fail("cannot open " + o.table + ": " + AnsiToUtf8(e.Message()));
  }
  if (o.has_filter) {
    try {
      table.SetFilter(Utf8ToAnsi(o.filter));
      table.SetFiltered(true);
    } catch (const Exception& e) {
      Fail("bad --filter \"" + o.filter + "\": " + AnsiToUtf8(e.Message()));
    }
  }
  std::vector<ColumnSpec> specs = o.columns;
  if (specs.empty())
    for (int i = 0; i < table.QueryFieldCount(); ++i) {
      ColumnSpec c;
      c.field = AnsiToUtf8(table.Fields(i)->FieldName());
      specs.push_back(c);
    }
  for (const ColumnSpec& c : specs)
    if (table.FieldNamedOrNil(Utf8ToAnsi(c.field)) == nullptr) Fail("unknown field " + c.field + " in " + o.table);

  // The places in the grid's order (from 1) of the records asked for, by
  // sequence number: a walk from the first record that stops at the last of
  // them, so that a big table is not numbered through for a few rows. The
  // grid hears nothing of the walk and the current record stays.
  auto places_of = [&](const std::set<int>& wanted) {
    std::map<int, int> places;
    if (wanted.empty() || table.HasNoRecords()) return places;
    const TBookmark here = table.TakeBookmark();
    table.MuteControls();
    int n = 0;
    for (table.GoFirst(); !table.Eof() && places.size() < wanted.size(); table.GoNext()) {
      ++n;
      if (wanted.count(table.GetSequenceNo())) places[table.GetSequenceNo()] = n;
    }
    if (!here.empty() && table.BookmarkExists(here)) table.ReturnToBookmark(here);
    table.UnmuteControls();
    return places;
  };

  std::unique_ptr<Probe> probe;
  if (o.designer == "lite") {
    auto lite = std::make_unique<ProbeOf<TLiteDesigner>>();
    // As the application's grids have it: the whole selected row filled.
    lite->designer.SetSelectedRowFill(true);
    probe = std::move(lite);
  } else {
    probe = std::make_unique<ProbeOf<TStandardDesigner>>();
  }

  TDataSource source(nullptr);
  source.SetDataSet(&table);
  auto grid = std::make_unique<TDBGridPro>(nullptr);
  grid->SetDesigner(probe->Designer());
  // Unfocused offscreen: the current row shows as selected all the same.
  grid->SetHideSelection(false);
  TgpColumns& columns = *grid->Columns();
  int group_first = -1;
  for (size_t k = 0; k < specs.size(); ++k) {
    const ColumnSpec& c = specs[k];
    TgpColumn* column = columns.Add();
    column->SetFieldName(Utf8ToAnsi(c.field));
    if (c.width > 0) column->SetWidth(c.width);
    if (!c.title.empty()) column->SetCaption(Utf8ToAnsi(c.title));
    if (!c.stacked) {
      group_first = column->Index();
      continue;
    }
    // Onto the next line of the group its first field opened.
    for (int g = 0; g < columns.GroupCount(); ++g) {
      TgpGroupInfo* group = columns.Groups(g);
      if (group->FirstColumn <= group_first && group_first <= group->LastColumn) {
        columns.MoveColumn(column, group, group->LineCount, 0);
        break;
      }
    }
  }
  grid->SetDataSource(&source);
  // The client area of the size asked for, whatever the scroll bars take.
  for (int pass = 0; pass < 3; ++pass)
    grid->SetBounds(0, 0, o.width + (grid->Width() - grid->ClientWidth()),
                    o.height + (grid->Height() - grid->ClientHeight()));
  if (o.top > 1 && !table.HasNoRecords()) {
    // Past the window's end and back: the row asked for opens the window
    // (near the end, the window shows the last rows with it among them).
    const int rows = grid->RowCount();
    table.GoFirst();
    const int reached = 1 + table.Skip(o.top - 1 + rows - 1);
    table.Skip(std::min(o.top, reached) - reached);
  }

  if (o.interacts()) {
    grid->ParamsAutoSearch()->SetEnabled(o.search);
    grid->ParamsDelete()->SetEnabled(o.delete_key);
    grid->SetMultiSelect(true);
    ProbeDialogs dialogs(o.answer);
    TDialogService* previous = SetDialogService(&dialogs);
    TScopeExit answered([previous] { SetDialogService(previous); });
    RunActions(*grid, o.actions);
  }

  // Which window row holds which record, as the paint prepares the rows;
  // numbered in the grid's order once painted.
  std::map<int, int> sequence_of_row;
  grid->OnGetRowAttrs = [&](TComponent*, TgpRowAttrs* row) { sequence_of_row[row->Row] = table.GetSequenceNo(); };
  const QImage image = grid->Widget()->grab().toImage();
  grid->OnGetRowAttrs = nullptr;
  std::map<int, int> order_of_row;
  if (o.cells) {
    std::set<int> painted;
    for (const auto& [row, sequence] : sequence_of_row) painted.insert(sequence);
    const std::map<int, int> places = places_of(painted);
    for (const auto& [row, sequence] : sequence_of_row) {
      const auto place = places.find(sequence);
      order_of_row[row] = place == places.end() ? 0 : place->second;
    }
  }
  if (!o.png.empty() && !image.save(QString::fromStdString(o.png), "PNG")) Fail("cannot write " + o.png);
  if (o.cells) PrintCells(*grid, *probe, order_of_row);
  if (o.interacts()) std::printf("current %s\n", grid_input::Current(*grid, table).c_str());
  grid->SetDataSource(nullptr);
  grid.reset();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Options o;
  try {
    o = ParseOptions(argc, argv);
  } catch (const ProbeError& e) {
    std::fprintf(stderr, "grid_probe: %s\n", e.message.c_str());
    std::fprintf(stderr,
               "usage: grid_probe TABLE [--filter EXPR] [--columns SPEC] [--size WxH] [--designer lite|standard] "
                 "[--top N] [--png OUT.png] [--cells] [--search] [--delete] [--answer ok|cancel] [--do ACTIONS]\n");
    return 2;
  }
  try {
    Application->Initialize();
    const int code = Run(o);
    Application->Shutdown();
    return code;
  } catch (const ProbeError& e) {
    std::fprintf(stderr, "grid_probe: %s\n", e.message.c_str());
  } catch (const Exception& e) {
    std::fprintf(stderr, "grid_probe: %s\n", AnsiToUtf8(e.Message()).c_str());
  }
  return 1;
}
