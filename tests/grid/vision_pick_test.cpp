// Pick-list visions: completion while typing in a grid cell of a real table,
// the most-recently-used list kept by posting, and the data list drop-down
// sized to its list and picked from by keys that stay in the edit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QImage>
#include <QProxyStyle>
#include <QTest>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dbf/dbf.h"
#include "grid/rs.h"
#include "grid/rs_edit.h"
#include "grid/rs_pack.h"
#include "grid/rs_pick.h"
#include "tests/grid/edit_support.h"
#include "tests/grid/vision_grid_support.h"
#include "tests/grid/vision_support.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/text.h"
#include "toolkit/db/memdataset.h"
#include "toolkit/gfx/graphics.h"
#include "toolkit/ui/classic_look.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/forms.h"

namespace vision_pick_test {

// A dBASE table N (integer), S (character 20) of three rows; S of row n is
// "s<n>"; and the standard vision its S column shows.
struct PickTableData {
  explicit PickTableData(const std::string& folder) {
    table = std::make_unique<TDbf>(nullptr);
    table->SetTableLevel(4);
    table->SetExclusive(true);
    file = testsupport::TempDir(folder) + "/rows.dbf";
    table->SetTableName(file);
    table->FieldDefs().AppendNamedDef("N", ftInteger);
    table->FieldDefs().AppendNamedDef("S", ftString, 20);
    table->CreateTableFile();
    table->Activate();
    for (int n = 1; n <= 3; ++n) {
      table->StartAppend();
      table->FieldNamed("N")->SetIntegerValue(n);
      table->FieldNamed("S")->SetStringValue("s" + std::to_string(n));
      table->CommitRecord();
    }
    table->GoFirst();
  }

  std::string file;
  std::unique_ptr<TDbf> table;
  TStandardVision vision{nullptr};
};

// A shown form with a grid over the table; the S column shows the standard
// vision.
struct PickTable : PickTableData, grid_support::GridOnForm {
  // column_vision, when given, shows the S column instead of the standard vision.
  explicit PickTable(const std::string& folder, TvpFieldVision* column_vision = nullptr)
      : PickTableData(folder), GridOnForm(table.get(), 460, 260, {"N", "S"}, 150, [&](TDBGridPro& g) {
          g.Columns()->Items(1)->SetVision(column_vision != nullptr ? column_vision : &vision);
        }) {}
  ~PickTable() {
    if (TVisionToolForm* list = TStandardVision::DataListForm(); list->IsOpen()) list->Close(false, false);
  }
  void List(std::initializer_list<const char*> entries) {
    TStringList strings;
    for (const char* e : entries) strings.Add(e);
    vision.SetPickList(&strings);
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (int i = 0; i < vision.PickList()->Count(); ++i) out.push_back(vision.PickList()->Strings(i));
    return out;
  }
  TgpInplaceEdit* Edit(int n) {
    EXPECT_TRUE(table->FindByValues("N", Variant(n), TFindOptions()));
    EXPECT_TRUE(grid->Columns()->Items(1)->StartCellEdit());
    QApplication::processEvents();
    return grid->InplaceEditor();
  }
  // Edits row n and drops its data list down; nullptr unless it opened.
  static TvpDataListForm* DropDown(PickTable& t, int n) {
    TgpInplaceEdit* edit = t.Edit(n);
    if (edit == nullptr) return nullptr;
    edit->DropDown();
    QApplication::processEvents();
    auto* list = static_cast<TvpDataListForm*>(TStandardVision::DataListForm());
    return list->IsOpen() ? list : nullptr;
  }
  // Clears the editor's text as the user would: select all, Delete.
  static void Clear() {
    Key(Qt::Key_A, Qt::ControlModifier);
    Key(Qt::Key_Delete);
  }
  void Close() {
    if (table->CurrentMode() != dsBrowse) table->CommitRecord();
    table->Deactivate();
  }
  std::string Read() { return vision_support::ReadBack(file, "for r in rows: print(r['S'])\n"); }
};

TEST(StandardVision, DefaultsAndRefusedRows) {
  TStandardVision vision(nullptr);
  EXPECT_TRUE(vision.LookupTyping());
  EXPECT_TRUE(vision.EnableButton());
  EXPECT_EQ(vision.ButtonStyle(), pbsDropDown);
  EXPECT_TRUE(vision.Nullable());
  EXPECT_FALSE(vision.PickListValuesOnly());
  EXPECT_EQ(vision.DropDownRows(), 7);
  EXPECT_EQ(vision.PickListType(), pltDefault);
  EXPECT_EQ(vision.GetDropDown(), TStandardVision::DataListForm());
  for (int bad : {0, -3}) {
    try {
      vision.SetDropDownRows(bad);
      ADD_FAILURE() << bad;
    } catch (const ERSError& e) {
      EXPECT_EQ(std::string(e.Message()), "Value must be positive (" + std::to_string(bad) + ")");
    }
  }
  EXPECT_EQ(vision.DropDownRows(), 7);
}

TEST(StandardVision, ASortedListSortsItselfAndAssignCopiesTheList) {
  TStandardVision a(nullptr);
  a.SetPickListType(pltSorted);
  TStringList strings;
  for (const char* s : {"gamma", "alpha", "beta"}) strings.Add(s);
  a.SetPickList(&strings);
  a.SetDropDownRows(4);
  a.SetPickListValuesOnly(true);
  TStandardVision b(nullptr);
  b.Assign(&a);
  ASSERT_EQ(b.PickList()->Count(), 3);
  EXPECT_EQ(b.PickList()->Strings(0), "alpha");
  EXPECT_EQ(b.PickList()->Strings(2), "gamma");
  EXPECT_EQ(b.DropDownRows(), 4);
  EXPECT_TRUE(b.PickListValuesOnly());
  EXPECT_EQ(b.PickListType(), pltSorted);
  strings.Clear();
  a.SetPickList(&strings);
  EXPECT_EQ(b.PickList()->Count(), 3) << "the strings were copied";
}

// A form holding a standard vision, written to its component stream and read
// back into a form that already holds a vision of the same name.
TEST(StandardVision, PickListAndDropDownOptionsAreSavedWithTheFormAndReadBack) {
  struct Case {
    const char* what;
    std::vector<std::string> entries;
    TfvDropDownOptions options;
    TfvPickListType type;
  } cases[] = {
      {"entries and every option",
       {"Beta", Utf8ToAnsi("Бетон М300"), "it's", ""},
       TfvDropDownOptions{ddoShowOnEnter, ddoShowOnTyping, ddoAlwaysEnableAltDown, ddoNoFocusRect},
       pltMRU},
      {"one option, a sorted list", {"gamma", "alpha"}, TfvDropDownOptions{ddoNoFocusRect}, pltSorted},
      {"nothing but defaults", {}, TfvDropDownOptions{}, pltDefault},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TComponent written(nullptr);
    written.SetName("PickForm");
    auto* vision = new TStandardVision(&written);
    vision->SetName("visPick");
    vision->SetPickListType(c.type);
    TStringList strings;
    for (const std::string& e : c.entries) strings.Add(e);
    vision->SetPickList(&strings);
    vision->SetDropDownOptions(c.options);
    const std::string text = testsupport::FormText(&written);

    TComponent read(nullptr);
    auto* target = new TStandardVision(&read);
    target->SetName("visPick");
    if (!c.entries.empty()) {
      // What the form is read into is replaced, not added to.
      TStringList stale;
      stale.Add("stale entry");
      target->SetPickList(&stale);
    }
    testsupport::ReadFormText(text, &read);
    std::vector<std::string> entries;
    for (int i = 0; i < target->PickList()->Count(); ++i) entries.push_back(target->PickList()->Strings(i));
    std::vector<std::string> expected;
    for (int i = 0; i < vision->PickList()->Count(); ++i) expected.push_back(vision->PickList()->Strings(i));
    EXPECT_EQ(entries, expected) << text;
    EXPECT_EQ(entries.size(), c.entries.size());
    EXPECT_EQ(target->DropDownOptions(), c.options) << text;
    EXPECT_EQ(target->PickListType(), c.type);
    EXPECT_EQ(testsupport::FormText(&read), text);
  }
}

// Typing a prefix completes the entry, the completed tail selected and the
// caret after the typed characters; posting writes the entry to the file.
TEST(StandardVision, TypingCompletesFromTheListAndPostsTheEntry) {
  PickTable t("vision_pick_complete");
  t.List({"Alpha", "Beta", "Betony"});
  TgpInplaceEdit* edit = t.Edit(1);
  ASSERT_NE(edit, nullptr);
  PickTable::Clear();
  PickTable::Type("be");
  EXPECT_EQ(edit->EditText(), "Beta");
  EXPECT_EQ(edit->SelStart() + edit->SelLength(), 4);
  EXPECT_EQ(edit->SelLength(), 2) << "the completed tail stays selected";
  EXPECT_EQ(edit->CurrentValue().AsString(), "Beta");
  PickTable::Type("to");
  EXPECT_EQ(edit->EditText(), "Betony");
  PickTable::Key(Qt::Key_Return);
  t.Close();
  EXPECT_EQ(t.Read(), "Betony\ns2\ns3\n");
}

TEST(StandardVision, DeletingDoesNotCompleteAgain) {
  PickTable t("vision_pick_backspace");
  t.List({"Alpha", "Beta"});
  TgpInplaceEdit* edit = t.Edit(1);
  ASSERT_NE(edit, nullptr);
  PickTable::Clear();
  PickTable::Type("al");
  ASSERT_EQ(edit->EditText(), "Alpha");
  PickTable::Key(Qt::Key_Backspace);  // removes the selected tail
  EXPECT_EQ(edit->EditText(), "Al");
  PickTable::Key(Qt::Key_Backspace);
  EXPECT_EQ(edit->EditText(), "A");
}

TEST(StandardVision, ValuesOnlyRefusesACharacterNoEntryContinues) {
  PickTable t("vision_pick_only");
  t.List({"Alpha", "Beta"});
  t.vision.SetPickListValuesOnly(true);
  TgpInplaceEdit* edit = t.Edit(1);
  ASSERT_NE(edit, nullptr);
  PickTable::Clear();
  PickTable::Type("b");
  ASSERT_EQ(edit->EditText(), "Beta");
  PickTable::Type("x");
  EXPECT_EQ(edit->EditText(), "Beta");
  EXPECT_EQ(edit->SelStart(), 1) << "the caret stays after the accepted character";
  EXPECT_EQ(edit->CurrentValue().AsString(), "Beta");
}

// A text no entry starts with leaves the value null until posting converts
// the text; with pltMRU the new text joins the list at the top.
TEST(StandardVision, AFreeTextIsPostedAndJoinsAnMRUListAtTheTop) {
  PickTable t("vision_pick_free");
  t.List({"Alpha", "Beta", "Gamma"});
  t.vision.SetPickListType(pltMRU);
  TgpInplaceEdit* edit = t.Edit(2);
  ASSERT_NE(edit, nullptr);
  PickTable::Clear();
  PickTable::Type("zz");
  EXPECT_EQ(edit->EditText(), "zz");
  EXPECT_TRUE(edit->CurrentValue().IsNull());
  PickTable::Key(Qt::Key_Return);
  EXPECT_EQ(t.Entries(), (std::vector<std::string>{"zz", "Alpha", "Beta", "Gamma"}));
  t.Close();
  EXPECT_EQ(t.Read(), "s1\nzz\ns3\n");
}

TEST(StandardVision, PostingAnMRUEntryMovesItToTheTopKeepingTheOthersOrder) {
  struct Case {
    TfvPickListType type;
    std::vector<std::string> after;
  } cases[] = {
      {pltMRU, {"Beta", "Alpha", "Gamma"}},
      {pltSortedMRU, {"Alpha", "Beta", "Gamma"}},
      {pltDefault, {"Alpha", "Beta", "Gamma"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.type));
    PickTable t("vision_pick_mru");
    t.vision.SetPickListType(c.type);
    t.List({"Alpha", "Beta", "Gamma"});
    ASSERT_NE(t.Edit(1), nullptr);
    PickTable::Clear();
    PickTable::Type("b");
    PickTable::Key(Qt::Key_Return);
    EXPECT_EQ(t.Entries(), c.after);
  }
}

// A sorted list orders its texts ignoring case.
TEST(StandardVision, ASortedMRUListTakesANewTextInOrder) {
  PickTable t("vision_pick_sorted_mru");
  t.vision.SetPickListType(pltSortedMRU);
  t.List({"Gamma", "Alpha"});
  ASSERT_NE(t.Edit(1), nullptr);
  PickTable::Clear();
  PickTable::Type("delta");
  PickTable::Key(Qt::Key_Return);
  EXPECT_EQ(t.Entries(), (std::vector<std::string>{"Alpha", "delta", "Gamma"}));
}

// Three entries with seven rows wanted drop down three rows high, fixed; a
// sizing asking for more stays at three; one entry still shows two rows.
TEST(DataListForm, DropsDownAsHighAsTheListUpToItsRows) {
  struct Case {
    std::vector<const char*> entries;
    int rows;
    bool fixed;
  } cases[] = {{{"Alpha", "Beta", "Gamma"}, 3, true}, {{"Alpha"}, 2, true},
               {{"a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9"}, 7, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entries.size());
    PickTable t("vision_pick_rows");
    TStringList strings;
    for (const char* e : c.entries) strings.Add(e);
    t.vision.SetPickList(&strings);
    TvpDataListForm* list = PickTable::DropDown(t, 1);
    ASSERT_NE(list, nullptr);
    const int row = list->ListGrid()->RowHeight();
    ASSERT_GT(row, 0);
    EXPECT_EQ(list->Height(), c.rows * row);
    EXPECT_EQ(list->Options().Contains(tfoFixedHeight), c.fixed);
    if (c.fixed) {
      list->HostSizing(list->Host()->Width(), list->Host()->Height() + 10 * row);
      QApplication::processEvents();
      EXPECT_EQ(list->Height(), c.rows * row) << "cannot be stretched taller than the list";
    }
    list->Close(false, false);
    EXPECT_EQ(t.vision.DropDownRows(), 7) << "an unchanged drop-down keeps the vision's rows";
  }
}

// A desktop look whose scroll bars are wider than the classic 16 pixels.
class WideBars : public QProxyStyle {
 public:
  WideBars() : QProxyStyle("Windows") {}
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    return metric == PM_ScrollBarExtent ? 23 : QProxyStyle::pixelMetric(metric, option, widget);
  }
};

// The list drops down as wide as the edit and the desktop's scroll bar, and
// its column fills whatever width the user then drags the list to.
TEST(DataListForm, IsAsWideAsTheEditAndTheScrollBarAndItsColumnFillsTheWidthDraggedTo) {
  QApplication::setStyle(new WideBars);
  TScopeExit restore([] { ApplyClassicLook(); });
  ASSERT_EQ(GetSystemMetrics(SM_CXVSCROLL), 23);
  PickTable t("vision_pick_width");
  t.List({"a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9"});
  TvpDataListForm* list = PickTable::DropDown(t, 1);
  ASSERT_NE(list, nullptr);
  TDBGridPro& grid = *list->ListGrid();
  const int lines = grid.EffectiveDesigner()->VertLineWidth();
  EXPECT_EQ(list->Width(), t.grid->InplaceEditor()->Width() + lines + 23);
  TgpColumn* column = grid.Columns()->Items(0);
  const int before = column->Width();
  QWidget* window = list->Host()->Widget();
  edit_support::DragFrame(window, QPoint(window->width() - 1, window->height() / 2), QPoint(40, 0));
  EXPECT_EQ(list->Width(), t.grid->InplaceEditor()->Width() + lines + 23 + 40);
  EXPECT_EQ(column->Width(), before + 40) << "the column follows the list's width";
  list->Close(false, false);
}

// The list paints through the preset pack's data-list designer, which shows
// the current row as a persistent focus rectangle unless the vision asks for
// none.
TEST(DataListForm, PaintsThroughThePacksDesignerWithTheFocusTheVisionAsks) {
  const struct {
    TfvDropDownOptions options;
    TgpFocusRectKind focus;
  } cases[] = {{TfvDropDownOptions{}, frcPersistentRow}, {TfvDropDownOptions{ddoNoFocusRect}, frcNone}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.focus));
    PickTable t("vision_pick_designer");
    t.List({"Alpha", "Beta"});
    t.vision.SetDropDownOptions(c.options);
    TvpDataListForm* list = PickTable::DropDown(t, 1);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->ListGrid()->Designer(), DefPack()->dsgDataList);
    EXPECT_EQ(list->ListGrid()->EffectiveDesigner(), DefPack()->dsgDataList);
    EXPECT_EQ(DefPack()->dsgDataList->FocusRectKind(), c.focus);
    list->Close(false, false);
  }
}

// The program's end frees the pack, and with it the list's designer, while
// the drop-down still waits to be freed after the windowing system is gone:
// the list must not measure itself again for a designer it falls back to.
TEST(DataListForm, TheProgramEndsCleanlyWithTheListOnThePacksDesigner) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        PickTable t("vision_pick_exit");
        t.List({"Alpha", "Beta"});
        TvpDataListForm* list = PickTable::DropDown(t, 1);
        if (list == nullptr) std::exit(3);
        list->Close(false, false);
        QApplication::processEvents();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

// Down, Up and Return go from the edit to the list. The list starts on the
// entry the edit's value is (a typed text completed to it), or on the first
// entry when the value is none of them; the entry picked is posted and
// written to the table file.
TEST(DataListForm, KeysInTheEditMoveTheListAndReturnPicks) {
  PickTable t("vision_pick_keys");
  t.List({"Alpha", "Beta", "Gamma"});
  auto* list = static_cast<TvpDataListForm*>(TStandardVision::DataListForm());
  const struct {
    const char* typed;
    const char* start;
    Qt::Key key;
    const char* picked;
  } steps[] = {{"", "Alpha", Qt::Key_Down, "Gamma"}, {"g", "Gamma", Qt::Key_Up, "Alpha"}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.start);
    TgpInplaceEdit* edit = t.Edit(3);
    ASSERT_NE(edit, nullptr);
    if (*step.typed != 0) {
      PickTable::Clear();
      PickTable::Type(step.typed);
    }
    PickTable::Key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(list->IsOpen());
    EXPECT_EQ(PickTable::Focus(), edit->Widget()) << "the focus stays in the edit";
    EXPECT_EQ(std::string(list->ListGrid()->TakeValue().AsString()), step.start);
    PickTable::Key(step.key);
    PickTable::Key(step.key);
    EXPECT_EQ(std::string(list->ListGrid()->TakeValue().AsString()), step.picked);
    PickTable::Key(Qt::Key_Return);
    EXPECT_FALSE(list->IsOpen());
    EXPECT_EQ(t.table->FieldNamed("S")->GetStringValue(), step.picked);
  }
  t.Close();
  EXPECT_EQ(t.Read(), "s1\ns2\nAlpha\n");
}

// A list vision of the kind a program makes over its own data set: the
// entries are the rows of a data set whose field "Pic" names each entry's
// picture.
class TMaterialVision : public TDataListVision {
 public:
  TMaterialVision() : TDataListVision(nullptr) {
    SetEnableButton(true);
    SetButtonStyle(pbsDropDown);
    rows.FieldDefs().AppendNamedDef("Value", ftString, 20);
    rows.FieldDefs().AppendNamedDef("Pic", ftInteger);
    rows.Activate();
    int pic = 0;
    for (const char* name : {"Sand", "Gravel", "Cement"}) {
      rows.StartAppend();
      rows.FieldNamed("Value")->SetStringValue(name);
      rows.FieldNamed("Pic")->SetIntegerValue(pic++);
      rows.CommitRecord();
    }
    source.SetDataSet(&rows);
  }
  ~TMaterialVision() override { source.SetDataSet(nullptr); }
  void GetKeyFieldName(TgpFieldList&, AnsiString& Name) override { Name = "Value"; }
  TDataSource* GetListDataSource(TgpFieldList&) override { return &source; }
  void TakeListValue(IvpVisionEdit& Edit, int Mode) override {
    if (Mode == 0) Edit.CurrentValue().SetAsString(rows.FieldNamed("Value")->GetStringValue());
    if (Mode == 1) Edit.CurrentValue().Clear();
  }
  TVisionToolForm* GetDefaultDropDown() override { return TStandardVision::DataListForm(); }

  TMemDataSet rows{nullptr};
  TDataSource source{nullptr};
};

// Pixels of exactly one colour in a row band of an image.
int CountInRow(const QImage& image, int top, int height, TColor color) {
  const QRgb want = qRgb(GetRValue(color), GetGValue(color), GetBValue(color));
  int n = 0;
  for (int y = top; y < top + height && y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if ((image.pixel(x, y) & 0xFFFFFF) == (want & 0xFFFFFF)) ++n;
  return n;
}

// The list paints its rows through the pack's item vision: once a handler of
// the drop-down names the picture field and gives the item vision a list,
// every row shows the picture its field names; the next drop-down starts
// without pictures again. The list starts on its first entry when the value
// is none of them: Return alone picks it, Down moves on to the next; the
// entry picked is written to the table file.
TEST(DataListForm, RowsShowThePictureTheirSecondFieldNamesAndKeysPickAnEntry) {
  const TColor colours[] = {clRed, clLime, clBlue};
  TImageList pictures(nullptr);
  vision_support::AddSquares(pictures, {colours[0], colours[1], colours[2]});
  TMaterialVision vision;
  auto* list = static_cast<TvpDataListForm*>(TStandardVision::DataListForm());
  struct Restore {
    TvpDataListForm* list;
    ~Restore() {
      list->OnShow = nullptr;
      DefPack()->visImagedText->SetImages(nullptr);
      DefPack()->visImagedText->SetRelatedFields("?");
    }
  } restore{list};
  const struct {
    bool pictures;
    int row;    // the table row edited
    int downs;  // Down keys before Return
    const char* picked;
  } cases[] = {{true, 3, 1, "Gravel"}, {false, 1, 0, "Sand"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pictures ? "with a picture field" : "the next drop-down, without one");
    list->OnShow = nullptr;
    if (c.pictures) {
      list->OnShow = [&pictures](TComponent*) {
        DefPack()->visImagedText->SetImages(&pictures);
        DefPack()->visImagedText->SetRelatedFields("Pic");
      };
    }
    PickTable t(c.pictures ? "vision_pick_pictures" : "vision_pick_no_pictures", &vision);
    TgpInplaceEdit* edit = t.Edit(c.row);
    ASSERT_NE(edit, nullptr);
    PickTable::Key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(list->IsOpen());
    QApplication::processEvents();
    TgpColumn* column = list->ListGrid()->Columns()->Items(0);
    EXPECT_EQ(column->Vision(), DefPack()->visImagedText);
    const QImage image = list->ListGrid()->Widget()->grab().toImage();
    const int row = list->ListGrid()->RowHeight();
    ASSERT_GT(row, 8);
    for (int r = 0; r < 3; ++r) {
      for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE("row " + std::to_string(r) + ", picture " + std::to_string(k));
        EXPECT_EQ(CountInRow(image, r * row, row, colours[k]), c.pictures && k == r ? 64 : 0);
      }
    }
    for (int i = 0; i < c.downs; ++i) PickTable::Key(Qt::Key_Down);
    PickTable::Key(Qt::Key_Return);
    EXPECT_FALSE(list->IsOpen());
    t.Close();
    std::string expected;
    for (int n = 1; n <= 3; ++n) expected += (n == c.row ? std::string(c.picked) : "s" + std::to_string(n)) + "\n";
    EXPECT_EQ(t.Read(), expected);
  }
}

}  // namespace vision_pick_test
