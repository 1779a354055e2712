// The column customizer over a grid of a real table: the list of fields not
// shown, columns removed or hidden by dropping them on the list and brought
// back by dropping an entry on the grid, the 0x5F6 protocol the grid hears,
// one window at a time with its place remembered, and whole-row heights.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grid/rs_custom.h"
#include "grid/rs_ods.h"
#include "tests/grid/edit_support.h"

namespace customizer_test {

using edit_support::GridForm;

struct Logged {
  TgpCustomizerAction action;
  TgpColumn* column;
  bool operator==(const Logged&) const = default;
};

// A grid over N, COMMENT, P showing N and COMMENT, its customizer actions
// logged.
struct Customized : GridForm {
  explicit Customized(const char* folder) : GridForm(edit_support::MakeTable(folder), {"N", "COMMENT"}) {
    grid->OnCustomizerAction = [this](TDBGridPro*, TgpCustomizerAction a, TgpColumn* c) {
      log.push_back({a, c});
    };
  }
  ~Customized() {
    if (TrsGridProCustomizer* c = ActiveCustomizer()) c->Close();
    QApplication::processEvents();
    if (grid != nullptr) grid->OnCustomizerAction = nullptr;
  }
  TrsGridProCustomizer* Open(int mode) {
    ShowCustomizer(grid, "N;COMMENT;P", "Number;Comment;Price", "N;COMMENT", mode);
    QApplication::processEvents();
    return ActiveCustomizer();
  }
  static std::vector<std::string> Listed(TrsGridProCustomizer* c) {
    std::vector<std::string> out;
    for (int i = 0; i < c->Captions().Count(); ++i) out.push_back(c->Captions().Strings(i));
    return out;
  }
  // Makes entry caption the list's current row.
  static void Pick(TrsGridProCustomizer* c, const char* caption) {
    ASSERT_TRUE(c->datFields->FindByValues("value", Variant(AnsiString(caption)), TFindOptions()));
  }
  std::vector<Logged> log;
};

using Names = std::vector<std::string>;

// Where a point of one widget lies in another's coordinates.
QPoint Across(QWidget* from, QWidget* to, QPoint at) { return from->mapFromGlobal(to->mapToGlobal(at)); }

// Drags the customizer's first entry with the mouse to the grid's client
// point at, running check while the pointer rests there before the release.
template <class Check>
void DragEntryOnto(TrsGridProCustomizer* c, TDBGridPro* target, QPoint at, Check check) {
  QWidget* list = c->gpList->Widget();
  QWidget* grid = target->Widget();
  const TRect entry = c->gpList->Columns()->Items(0)->CellRect(0, false, false);
  const QPoint entry_at((entry.Left + entry.Right) / 2, (entry.Top + entry.Bottom) / 2);
  QTest::mouseMove(list, entry_at);
  QTest::mousePress(list, Qt::LeftButton, {}, entry_at);
  QTest::mouseMove(list, entry_at + QPoint(0, 3 * c->gpList->RowHeight()));
  QTest::mouseMove(list, Across(list, grid, at - QPoint(1, 0)));
  QTest::mouseMove(list, Across(list, grid, at));
  check();
  QTest::mouseRelease(list, Qt::LeftButton, {}, Across(list, grid, at));
  QApplication::processEvents();
}

// The field names of the grid's visible columns in their order.
Names VisibleOrder(TDBGridPro* grid) {
  Names out;
  for (int i = 0; i < grid->Columns()->Count(); ++i)
    if (grid->Columns()->Items(i)->Visible()) out.push_back(grid->Columns()->Items(i)->FieldName());
  return out;
}

TEST(Customizer, ListsTheFieldsNotShownAndStartsTheProtocol) {
  Customized g("customizer_open");
  TrsGridProCustomizer* c = g.Open(0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->Caption(), "Customize");
  EXPECT_FALSE(c->btnClose->Visible());
  EXPECT_EQ(Customized::Listed(c), Names{"Price"});
  EXPECT_EQ(c->VisibleNames(), "P");
  EXPECT_EQ(g.grid->Customizer(), c);
  ASSERT_EQ(OpenCustomizers().size(), 1u);
  EXPECT_EQ(g.log, (std::vector<Logged>{{gcaStart, nullptr}}));
  const TRect remembered = RememberedCustomizerBounds();
  EXPECT_EQ(c->Left(), remembered.Left + 8);
  EXPECT_EQ(c->Top(), remembered.Top + 8);
  EXPECT_EQ(c->Width(), remembered.Width());
  c->Close();
  QApplication::processEvents();
  EXPECT_EQ(g.grid->Customizer(), nullptr);
  EXPECT_TRUE(OpenCustomizers().empty());
  EXPECT_EQ(g.log.back(), (Logged{gcaFinish, nullptr}));
}

// The window floats above the grid as a sizeable tool window, shown without
// holding the application in a modal loop.
TEST(Customizer, IsASizeableToolWindowThatStaysOnTop) {
  Customized g("customizer_window");
  TrsGridProCustomizer* c = g.Open(1);
  ASSERT_NE(c, nullptr);
  QWidget* w = c->Widget();
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(c->Modal());
  EXPECT_EQ(c->FormStyle(), fsStayOnTop);
  EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(w->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_NE(w->minimumSize(), w->maximumSize());  // the user may size it
}

// The list draws its entries as raised title cells, the current one inverted.
TEST(Customizer, TheListShowsEntriesAsTitleCellsWithTheCurrentInverted) {
  Customized g("customizer_paint");
  ShowCustomizer(g.grid, "N;COMMENT;P", "Number;Comment;Price", "N", 0);
  QApplication::processEvents();
  TrsGridProCustomizer* c = ActiveCustomizer();
  ASSERT_EQ(Customized::Listed(c), (Names{"Comment", "Price"}));
  // The list follows no record until an entry is clicked.
  const TRect first = c->gpList->Columns()->Items(0)->CellRect(0, false, false);
  QTest::mouseClick(c->gpList->Widget(), Qt::LeftButton, {},
                    QPoint((first.Left + first.Right) / 2, (first.Top + first.Bottom) / 2));
  QApplication::processEvents();
  const QImage image = c->gpList->Widget()->grab().toImage();
  const auto colour = [&](int row, int dx, int dy) {
    const TRect r = c->gpList->Columns()->Items(0)->CellRect(row, false, false);
    const QRgb p = image.pixel(dx >= 0 ? r.Left + dx : r.Right + dx, dy >= 0 ? r.Top + dy : r.Bottom + dy);
    return RGB(qRed(p), qGreen(p), qBlue(p));
  };
  const TColor face = ColorToRGB(c->gpList->Color());
  // Inside the raised edge, right of the text: the plain background, and
  // inverted in the current row.
  EXPECT_EQ(colour(1, -6, 4), face);
  EXPECT_EQ(colour(0, -6, 4), static_cast<TColor>(~face & 0xFFFFFF));
  EXPECT_EQ(colour(1, -1, -1), ColorToRGB(clBtnShadow)) << "the raised edge's dark side";
}

TEST(Customizer, RemovingFreesTheColumnAndAddingMakesANewOne) {
  Customized g("customizer_remove");
  TrsGridProCustomizer* c = g.Open(0);
  TgpColumn* comment = g.Column("COMMENT");
  g.grid->SelectColumn(comment);
  ASSERT_EQ(g.grid->CurrentColumn(), comment);
  ASSERT_TRUE(c->AcceptsGridColumn(g.grid));
  g.log.clear();
  c->GridColumnDropped();
  EXPECT_EQ(g.log, (std::vector<Logged>{{gcaRemoveColumn, comment}}));
  EXPECT_EQ(g.Column("COMMENT"), nullptr) << "freed";
  EXPECT_EQ(g.grid->Columns()->Count(), 1);
  EXPECT_EQ(Customized::Listed(c), (Names{"Comment", "Price"}));
  EXPECT_EQ(c->ShownNames(), "N");

  Customized::Pick(c, "Price");
  EXPECT_EQ(g.grid->CustomizerAction(gcaGetSel, nullptr), nullptr) << "P has no column";
  g.log.clear();
  g.grid->CustomizerAction(gcaDragDrop, nullptr);
  TgpColumn* price = g.Column("P");
  ASSERT_NE(price, nullptr) << "a new column for the entry dropped";
  // The grid hears each code once the customizer has answered it.
  ASSERT_EQ(g.log.size(), 3u);
  EXPECT_EQ(g.log[0].action, gcaBeforeAddColumn);
  EXPECT_NE(g.log[0].column, price) << "named while it stood apart";
  EXPECT_EQ(g.log[1], (Logged{gcaAddColumn, nullptr}));
  EXPECT_EQ(g.log[2], (Logged{gcaDragDrop, nullptr}));
  EXPECT_EQ(Customized::Listed(c), Names{"Comment"});
  EXPECT_EQ(c->ShownNames(), "N;P");
}

TEST(Customizer, HidingKeepsTheColumnAndShowingBringsTheSameOneBack) {
  Customized g("customizer_hide");
  TrsGridProCustomizer* c = g.Open(1);
  TgpColumn* comment = g.Column("COMMENT");
  g.grid->SelectColumn(comment);
  c->GridColumnDropped();
  EXPECT_EQ(g.Column("COMMENT"), comment);
  EXPECT_FALSE(comment->Visible());
  EXPECT_EQ(Customized::Listed(c), (Names{"Comment", "Price"}));
  Customized::Pick(c, "Comment");
  EXPECT_EQ(g.grid->CustomizerAction(gcaGetSel, nullptr), comment);
  g.log.clear();
  c->EntryDropped();
  EXPECT_TRUE(comment->Visible());
  EXPECT_EQ(g.grid->Columns()->Count(), 2) << "no new column";
  EXPECT_EQ(g.log, (std::vector<Logged>{{gcaShowColumn, comment}}));
  EXPECT_EQ(Customized::Listed(c), Names{"Price"});
}

TEST(Customizer, OnlyTheCustomizedGridsOwnColumnsMayBeDroppedOnTheList) {
  Customized g("customizer_accept");
  TrsGridProCustomizer* c = g.Open(0);
  TgpColumn* n = g.Column("N");
  g.grid->SelectColumn(n);
  EXPECT_TRUE(c->AcceptsGridColumn(g.grid));
  EXPECT_FALSE(c->AcceptsGridColumn(c->gpList)) << "another control";
  n->SetOptionsBehavior(TgpColumnBehaviorOptions{cboNoCustomizing});
  EXPECT_FALSE(c->AcceptsGridColumn(g.grid));
  c->GridColumnDropped();
  EXPECT_EQ(g.Column("N"), n) << "the refused column stays";
  n->SetOptionsBehavior({});
  n->SetFieldName("P;N");
  EXPECT_FALSE(c->AcceptsGridColumn(g.grid)) << "a field the customizer does not offer";
}

// A column kept from dragging may still be dragged to the customizer that
// may take it, and only while one is attached.
TEST(Customizer, AColumnThatMayNotBeDraggedStillGoesToTheCustomizer) {
  Customized g("customizer_nodrag");
  TgpColumn* n = g.Column("N");
  const struct {
    TgpColumnBehaviorOptions options;
    bool without, with;
  } cases[] = {{{cboNoDragging}, false, true},
               {{cboNoDragging, cboNoCustomizing}, false, false},
               {{cboNoCustomizing}, true, true},
               {{}, true, true}};
  for (const auto& k : cases) {
    n->SetOptionsBehavior(k.options);
    EXPECT_EQ(g.grid->CanDragColumn(n), k.without);
    TrsGridProCustomizer* c = g.Open(1);
    EXPECT_EQ(g.grid->CanDragColumn(n), k.with);
    c->Close();
    QApplication::processEvents();
  }
}

// The second grid's customizer replaces the first without taking over its
// place; the place is remembered when the last one closes.
TEST(Customizer, ASecondGridsCustomizerClosesTheFirstAndKeepsThePlace) {
  Customized a("customizer_first");
  Customized b("customizer_second");
  const TRect before = RememberedCustomizerBounds();
  TrsGridProCustomizer* first = a.Open(0);
  first->SetBounds(first->Left() + 50, first->Top() + 40, first->Width(), first->Height());
  TrsGridProCustomizer* second = b.Open(0);
  ASSERT_NE(second, first);
  EXPECT_EQ(a.grid->Customizer(), nullptr);
  EXPECT_EQ(a.log.back(), (Logged{gcaFinish, nullptr}));
  EXPECT_EQ(b.grid->Customizer(), second);
  EXPECT_EQ(RememberedCustomizerBounds(), before) << "the replaced window's place is not kept";
  EXPECT_EQ(second->Left(), before.Left + 8);
  second->SetBounds(300, 200, second->Width(), second->Height());
  const int width = second->Width(), height = second->Height();
  second->Close();  // frees the window once the events are processed
  QApplication::processEvents();
  EXPECT_EQ(ActiveCustomizer(), nullptr);
  EXPECT_EQ(RememberedCustomizerBounds(), Rect(300, 200, 300 + width, 200 + height));
}

TEST(Customizer, HeightsSnapToWholeRowsAndNeverFewerThanTwo) {
  Customized g("customizer_snap");
  TrsGridProCustomizer* c = g.Open(0);
  const int row = c->gpList->RowHeight();
  ASSERT_GT(row, 0);
  const int frame = c->SnapHeight(0) - 2 * row;
  for (int height : {0, frame + 2 * row + 1, frame + 5 * row + row / 2, frame + 9 * row - 1}) {
    const int snapped = c->SnapHeight(height);
    EXPECT_EQ((snapped - frame) % row, 0) << height;
    EXPECT_GE(snapped, frame + 2 * row) << height;
    EXPECT_LE(snapped, std::max(height, frame + 2 * row)) << height;
    EXPECT_GT(snapped + row, height) << "as many rows as fit";
  }
  const int bottom = c->Top() + c->Height();
  c->SizeTo(c->Left(), c->Top() - 3 * row - 1, c->Width(), c->Height() + 3 * row + 1);
  EXPECT_EQ(c->Top() + c->Height(), bottom) << "sized by the top edge: the bottom stays";
  EXPECT_EQ((c->Height() - frame) % row, 0);

  // Stretched by the user to an odd height, or squeezed below two rows.
  for (int height : {frame + 4 * row + row / 2 + 1, frame + 1}) {
    c->Widget()->resize(c->Width(), height);
    QApplication::processEvents();
    EXPECT_EQ((c->Height() - frame) % row, 0) << height;
    EXPECT_GE(c->Height(), frame + 2 * row) << height;
    EXPECT_LE(c->Height(), std::max(height, frame + 2 * row)) << height;
  }
}

// Real drags with the mouse: an entry of the list onto the grid brings its
// column; the grid's current column dragged by its title onto the list goes,
// unless it is one the customizer may not take.
TEST(Customizer, EntriesAndColumnsAreDraggedBetweenTheListAndTheGrid) {
  Customized g("customizer_drag");
  TrsGridProCustomizer* c = g.Open(1);
  c->SetBounds(g.form->Left() + g.form->Width() + 40, g.form->Top(), c->Width(), c->Height());
  QApplication::processEvents();
  QWidget* list = c->gpList->Widget();
  const TRect entry = c->gpList->Columns()->Items(0)->CellRect(0, false, false);
  const QPoint entry_at((entry.Left + entry.Right) / 2, (entry.Top + entry.Bottom) / 2);

  // The COMMENT column hidden through the list first.
  TgpColumn* comment = g.Column("COMMENT");
  g.grid->SelectColumn(comment);
  const TRect title = comment->TitleRect(false);
  const QPoint title_at((title.Left + title.Right) / 2, (title.Top + title.Bottom) / 2);
  QWidget* grid = g.grid->Widget();
  struct Case {
    const char* name;
    bool no_customizing;
    bool hidden;
  } cases[] = {{"refused", true, false}, {"taken", false, true}};
  for (const Case& k : cases) {
    comment->SetOptionsBehavior(k.no_customizing ? TgpColumnBehaviorOptions{cboNoCustomizing}
                                                 : TgpColumnBehaviorOptions{});
    QTest::mouseMove(grid, title_at);
    QTest::mousePress(grid, Qt::LeftButton, {}, title_at);
    QTest::mouseMove(grid, title_at + QPoint(30, 0));
    QTest::mouseMove(grid, Across(grid, list, entry_at));
    QTest::mouseMove(grid, Across(grid, list, entry_at + QPoint(1, 1)));
    QTest::mouseRelease(grid, Qt::LeftButton, {}, Across(grid, list, entry_at + QPoint(1, 1)));
    QApplication::processEvents();
    EXPECT_EQ(!comment->Visible(), k.hidden) << k.name;
  }
  ASSERT_EQ(Customized::Listed(c), (Names{"Comment", "Price"}));

  // "Comment" dragged back onto the grid's cells, where no column can drop:
  // shown where it was.
  DragEntryOnto(c, g.grid, QPoint(101, 61), [] {});
  EXPECT_TRUE(comment->Visible());
  EXPECT_EQ(VisibleOrder(g.grid), (Names{"N", "COMMENT"}));
  EXPECT_EQ(Customized::Listed(c), Names{"Price"});
}

// An entry dropped on the titles lands where a column dragged by its title
// would: between two columns, after the last one, or on a new line under a
// column, in its group.
TEST(Customizer, AnEntryDroppedOnTheTitlesLandsAtTheDropTarget) {
  enum Spot { kLeftEdge, kRightEnd, kBottomEdge };  // of COMMENT's title
  const struct {
    const char* name;
    const char* folder;
    int mode;
    const char* hidden;  // hidden through the list first
    Spot spot;
    int kind;  // the drop place marked
    Names order;
    const char* under_comment;  // the field put on a line under COMMENT
    Names listed;               // after the drop
  } cases[] = {
      {"a new column between N and COMMENT", "customizer_target_new", 0, nullptr, kLeftEdge, 1,
       {"N", "P", "COMMENT"}, nullptr, {}},
      {"a new column under COMMENT", "customizer_target_line", 0, nullptr, kBottomEdge, 2,
       {"N", "COMMENT", "P"}, "P", {}},
      {"a hidden column moved behind COMMENT", "customizer_target_hidden", 1, "N", kRightEnd, 1,
       {"COMMENT", "N"}, nullptr, {"Price"}},
  };
  for (const auto& k : cases) {
    Customized g(k.folder);
    TrsGridProCustomizer* c = g.Open(k.mode);
    c->SetBounds(g.form->Left() + g.form->Width() + 40, g.form->Top(), c->Width(), c->Height());
    QApplication::processEvents();
    if (k.hidden != nullptr) {
      g.grid->SelectColumn(g.Column(k.hidden));
      c->GridColumnDropped();
    }
    const TgpColumn* kept = k.hidden != nullptr ? g.Column(k.hidden) : nullptr;
    const TRect title = g.Column("COMMENT")->TitleRect(false);
    const int middle_x = (title.Left + title.Right) / 2, middle_y = (title.Top + title.Bottom) / 2;
    const QPoint at = k.spot == kLeftEdge   ? QPoint(title.Left + 1, middle_y)
                      : k.spot == kRightEnd ? QPoint(title.Right - 2, middle_y)
                                            : QPoint(middle_x, title.Bottom - 1);
    DragEntryOnto(c, g.grid, at, [&] {
      EXPECT_EQ(g.grid->Dragger()->DropKind, k.kind) << k.name << ": the place is marked while the entry is over it";
    });
    EXPECT_EQ(VisibleOrder(g.grid), k.order) << k.name;
    EXPECT_EQ(g.grid->Dragger()->MarkKind, 0) << k.name << ": the mark goes with the drop";
    if (k.under_comment != nullptr) {
      TgpColumn* placed = g.Column(k.under_comment);
      ASSERT_NE(placed, nullptr) << k.name;
      EXPECT_EQ(placed->Group(), g.Column("COMMENT")->Group()) << k.name;
      EXPECT_EQ(placed->LayoutLevel(), g.Column("COMMENT")->LayoutLevel() + 1) << k.name;
    } else {
      EXPECT_NE(g.Column("N")->Group(), g.Column("COMMENT")->Group()) << k.name << ": groups of their own";
    }
    if (kept != nullptr) {
      EXPECT_EQ(g.Column(k.hidden), kept) << k.name << ": the same column object";
    }
    EXPECT_EQ(Customized::Listed(c), k.listed) << k.name;
  }
}

TEST(Customizer, TheGridsEndClosesTheWindow) {
  for (bool free : {true, false}) {
    SCOPED_TRACE(free ? "the grid freed" : "the grid deleted");
    auto g = std::make_unique<Customized>("customizer_grid_end");
    g->Open(0);
    ASSERT_NE(ActiveCustomizer(), nullptr);
    if (free) g->grid->Free();
    else delete g->grid;
    g->grid = nullptr;
    QApplication::processEvents();
    EXPECT_EQ(ActiveCustomizer(), nullptr);
    EXPECT_TRUE(OpenCustomizers().empty());
    g.reset();
  }
}

}  // namespace customizer_test
