// Grid columns: published settings and their defaults, what a change does in
// a grid and in a free-standing collection, title states and sort order,
// footers, copying between columns and collections, and the rectangles of a
// column's title, cells and footer.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "grid/rs.h"
#include "grid/rs_std.h"
#include "tests/grid/layout_test_host.h"
#include "toolkit/core/typinfo.h"

namespace column_settings_test {

using Ints = std::vector<int>;

// ---- Defaults and free-standing collections ------------------------------------------------

TEST(ColumnSettings, PublishedDefaults) {
  TgpColumns cols(nullptr);
  TgpColumn* c = cols.Add();
  struct Default {
    const char* name;
    const char* value;
  };
  const std::vector<Default> defaults = {
      {"FieldName", ""},
      {"OptionsVisual", "[]"},
      {"OptionsBehavior", "[]"},
      {"OptionsMapping", "[cioImportCaption,cioImportDomain]"},
      {"Fixed", "cfNone"},
      {"CaptionAlignment", "talDefault"},
      {"TitleImageIndex", "-1"},
      {"TitleState", "tsSortedNone"},
      {"FooterState", "fsNone"},
      {"FooterStates", "[fsAverage,fsCount,fsMax,fsMin,fsSum,fsNone]"},
      {"Width", "45"},
      {"LayoutLevel", "0"},
      {"LayoutIndex", "0"},
      {"ReadOnly", "False"},
      {"Color", "536870911"},
      {"Alignment", "talDefault"},
      {"VertAlignment", "tlaDefault"},
      {"Visible", "True"},
  };
  for (const Default& d : defaults) {
    const TPropInfo& prop = FindPropInfo(c, d.name);
    AnsiString value;
    if (prop.Kind() == tkSet) {
      value = GetSetProp(c, prop);
    } else if (prop.Kind() == tkEnumeration) {
      value = GetEnumProp(c, prop);
    } else if (prop.Kind() == tkLString) {
      value = GetStrProp(c, prop);
    } else {
      value = std::to_string(GetOrdProp(c, prop));
    }
    EXPECT_EQ(value, d.value) << d.name;
    // A new column writes none of its settings.
    EXPECT_TRUE(!IsStoredProp(c, prop) || IsDefaultValue(c, prop)) << d.name;
  }
  EXPECT_EQ(c->SortOrder(), -1);
  EXPECT_EQ(c->Vision(), nullptr);
  EXPECT_EQ(c->FontIfAny(), nullptr);
  EXPECT_EQ(PersistentToString(&cols, "", true),
            "object TUniDataStorage\r\n"
            "  Data = <\r\n"
            "    item\r\n"
            "    end>\r\n"
            "end\r\n");
}

TEST(ColumnSettings, AFreeStandingColumnKeepsEveryValue) {
  TgpColumns cols(nullptr);
  TgpColumn* c = cols.Add();
  cols.Add();
  c->SetFieldName("P");
  c->SetCaption("Load");
  c->SetWidth(1);
  c->SetLayoutLevel(3);
  c->SetLayoutIndex(-1);
  c->SetVisible(false);
  c->SetFixed(cfLeft);
  c->SetOptionsBehavior({cboFixedWidth, cboNoSelecting});
  c->SetTitleState(tsSortedUp);
  c->SetFooterText("12");
  c->SetColor(clRed);
  c->Font()->SetName("Arial");
  EXPECT_EQ(c->FieldName(), "P");
  EXPECT_EQ(c->Caption(), "Load");
  EXPECT_EQ(c->Width(), 2);
  EXPECT_EQ(c->LayoutLevel(), 3);
  EXPECT_EQ(c->LayoutIndex(), -1);
  EXPECT_FALSE(c->Visible());
  EXPECT_EQ(c->Fixed(), cfLeft);
  EXPECT_EQ(c->OptionsBehavior(), (TgpColumnBehaviorOptions{cboFixedWidth, cboNoSelecting}));
  EXPECT_EQ(c->TitleState(), tsSortedUp);
  // Without a grid there is no sort counter to number the column.
  EXPECT_EQ(c->SortOrder(), -1);
  EXPECT_EQ(c->FooterText(), "12");
  EXPECT_EQ(c->Color(), clRed);
  EXPECT_EQ(c->Font()->Name(), "Arial");
  // Nothing was laid out.
  EXPECT_EQ(c->Group(), nullptr);
  EXPECT_EQ(cols.GroupCount(), 0);
  EXPECT_EQ(cols.Items(0), c);
}

// ---- Title states and footers ----------------------------------------------------------------

TEST(ColumnTitleState, SortOrderFollowsTheGridsCounter) {
  LayoutHost host;
  host.Add("A", 0, 0, 40);
  host.Add("B", 0, 0, 40);
  TgpColumn* a = host.Column(0);
  TgpColumn* b = host.Column(1);
  a->SetTitleState(tsSortedUp);
  EXPECT_EQ(a->SortOrder(), 0);
  b->SetTitleState(tsSortedDown);
  EXPECT_EQ(b->SortOrder(), 1);
  // Up to down keeps the order; back to none clears it.
  a->SetTitleState(tsSortedDown);
  EXPECT_EQ(a->SortOrder(), 0);
  a->SetTitleState(tsSortedNone);
  EXPECT_EQ(a->SortOrder(), -1);
  a->SetTitleState(tsSortedUp);
  EXPECT_EQ(a->SortOrder(), 2);
  EXPECT_EQ(host.Counter, 2);
  EXPECT_TRUE(host.TitleStateChanges.empty());
}

TEST(ColumnTitleState, AClickResetsTheOthersAndNotifies) {
  LayoutHost host;
  host.Add("A", 0, 0, 40);
  host.Add("B", 0, 0, 40);
  host.Column(0)->SetTitleState(tsSortedUp);
  host.Column(1)->ChangeTitleState(tsSortedDown, true, true);
  EXPECT_EQ(host.Column(0)->TitleState(), tsSortedNone);
  EXPECT_EQ(host.Column(0)->SortOrder(), -1);
  EXPECT_EQ(host.Column(1)->TitleState(), tsSortedDown);
  EXPECT_EQ(host.TitleStateChanges, std::vector<TgpColumn*>{host.Column(1)});
  EXPECT_EQ(host.TitleInvalidations, 1);
  // The same state again does nothing at all.
  host.Column(1)->ChangeTitleState(tsSortedDown, true, true);
  EXPECT_EQ(host.TitleStateChanges.size(), 1u);
  host.Column(0)->ChangeTitleState(tsSortedUp, false, false);
  EXPECT_EQ(host.Column(1)->TitleState(), tsSortedDown);
  EXPECT_EQ(host.TitleStateChanges.size(), 1u);
}

TEST(ColumnFooter, TheMarkerPrecedesTheText) {
  struct Case {
    TgpColumnFooterState state;
    const char* text;
    bool no_marker;
    const char* shown;
  };
  for (const Case& c : {Case{fsAverage, "1.5", false, "AVG=1.5"}, Case{fsMax, "9", false, "MAX=9"},
                        Case{fsMin, "", false, "MIN="}, Case{fsSum, "10", true, "10"},
                        Case{fsCount, "4", false, "4"}, Case{fsNone, "note", false, "note"}}) {
    TgpColumns cols(nullptr);
    TgpColumn* column = cols.Add();
    column->SetFooterState(c.state);
    column->SetFooterText(c.text);
    if (c.no_marker) column->SetOptionsVisual({cvoNoFooterMarker});
    EXPECT_EQ(column->FooterDisplayText(), c.shown) << c.shown;
  }
}

TEST(ColumnFooter, ChoosingAStateClearsTheText) {
  TgpColumns cols(nullptr);
  TgpColumn* column = cols.Add();
  column->SetFooterText("12");
  column->SetFooterState(fsSum);
  EXPECT_EQ(column->FooterText(), "");
}

// ---- Copying ---------------------------------------------------------------------------------

void Decorate(TgpColumn* c) {
  c->SetFieldName("R");
  c->SetCaption("Strength");
  c->SetWidth(77);
  c->SetLayoutLevel(1);
  c->SetLayoutIndex(2);
  c->SetVisible(false);
  c->SetTitleState(tsSortedDown);
  c->SetSortOrder(4);
  c->SetFooterState(fsMax);
  c->SetFooterText("max");
  c->SetOptionsVisual({cvoWordWrap});
  c->SetColor(clRed);
  c->SetAlignment(talCenter);
  c->Font()->SetName("Arial");
  c->SetOptionsBehavior({cboNoDragging});
  c->SetFixed(cfLeft);
  c->SetVertAlignment(tlaBottom);
  c->SetTag(9);
}

TEST(ColumnCopy, AssignCopiesAllButFixedAndVerticalAlignment) {
  TgpColumns cols(nullptr);
  TgpColumn* from = cols.Add();
  Decorate(from);
  TgpColumn* to = cols.Add();
  to->Assign(from);
  EXPECT_EQ(to->FieldName(), "R");
  EXPECT_EQ(to->Caption(), "Strength");
  EXPECT_EQ(to->Width(), 77);
  EXPECT_EQ(to->LayoutLevel(), 1);
  EXPECT_EQ(to->LayoutIndex(), 2);
  EXPECT_FALSE(to->Visible());
  EXPECT_EQ(to->TitleState(), tsSortedDown);
  EXPECT_EQ(to->SortOrder(), 4);
  EXPECT_EQ(to->FooterState(), fsMax);
  EXPECT_EQ(to->FooterText(), "max");
  EXPECT_EQ(to->OptionsVisual(), TgpColumnVisualOptions{cvoWordWrap});
  EXPECT_EQ(to->Color(), clRed);
  EXPECT_EQ(to->Alignment(), talCenter);
  ASSERT_NE(to->FontIfAny(), nullptr);
  EXPECT_EQ(to->FontIfAny()->Name(), "Arial");
  EXPECT_EQ(to->OptionsBehavior(), TgpColumnBehaviorOptions{cboNoDragging});
  EXPECT_EQ(to->Tag(), 9);
  EXPECT_EQ(to->Fixed(), cfNone);
  EXPECT_EQ(to->VertAlignment(), tlaDefault);
}

TEST(ColumnCopy, TheLayoutMaskCopiesItsPartsOnly) {
  TgpColumns cols(nullptr);
  TgpColumn* from = cols.Add();
  Decorate(from);
  TgpColumn* to = cols.Add();
  to->SetCaption("mine");
  to->SetFooterText("kept");
  to->AssignMasked(from, cpmLayoutStore);
  EXPECT_EQ(cpmLayoutStore, 45u);
  EXPECT_EQ(to->FieldName(), "R");
  EXPECT_EQ(to->Width(), 77);
  EXPECT_EQ(to->LayoutLevel(), 1);
  EXPECT_EQ(to->LayoutIndex(), 2);
  EXPECT_EQ(to->TitleState(), tsSortedDown);
  EXPECT_EQ(to->SortOrder(), 4);
  EXPECT_EQ(to->FooterState(), fsMax);
  EXPECT_EQ(to->OptionsVisual(), TgpColumnVisualOptions{cvoWordWrap});
  EXPECT_EQ(to->Color(), clRed);
  EXPECT_EQ(to->Alignment(), talCenter);
  ASSERT_NE(to->FontIfAny(), nullptr);
  EXPECT_EQ(to->FontIfAny()->Name(), "Arial");
  // Not under the mask.
  EXPECT_TRUE(to->Visible());
  EXPECT_EQ(to->Caption(), "mine");
  EXPECT_EQ(to->FooterText(), "kept");
  EXPECT_TRUE(to->OptionsBehavior().Empty());
  // Single bits.
  TgpColumn* visible_only = cols.Add();
  visible_only->AssignMasked(from, cpmVisible);
  EXPECT_FALSE(visible_only->Visible());
  EXPECT_EQ(visible_only->Width(), 45);
  TgpColumn* behavior_only = cols.Add();
  behavior_only->AssignMasked(from, cpmBehavior | cpmNothing);
  EXPECT_EQ(behavior_only->OptionsBehavior(), TgpColumnBehaviorOptions{cboNoDragging});
  EXPECT_EQ(behavior_only->FieldName(), "");
}

TEST(ColumnCopy, ByPositionReplacesTheColumns) {
  TgpColumns source(nullptr);
  for (const char* name : {"N", "DATE", "P"}) source.Add()->SetFieldName(name);
  source.Items(2)->SetWidth(90);
  LayoutHost host;
  host.Add("X", 0, 0, 40);
  host.Columns.AssignColumns(&source, true, cpmLayoutStore);
  ASSERT_EQ(host.Columns.Count(), 3);
  EXPECT_EQ(host.Column(2)->FieldName(), "P");
  EXPECT_EQ(host.Column(2)->Width(), 90);
  // One relayout for the whole copy.
  EXPECT_EQ(host.Freezes, host.Unfreezes);
  EXPECT_EQ(host.Columns.GroupCount(), 3);
}

TEST(ColumnCopy, ByNameEachRepeatedNameGoesToItsOwnColumn) {
  // The acoustic grid holds D1 twice, hidden and shown: each stored column
  // comes back to the column it was saved from.
  LayoutHost host;
  host.Add("N", 0, 0, 40);
  host.Add("D1", 0, 0, 40, false);
  host.Add("D1", 0, 0, 40);
  host.Add("d1", 0, 0, 40);
  TgpColumns saved(nullptr);
  saved.AssignColumns(&host.Columns, true, cpmLayoutStore);
  saved.Items(1)->SetWidth(11);
  saved.Items(2)->SetWidth(22);
  saved.Items(2)->SetColor(clRed);
  saved.Items(3)->SetWidth(33);
  saved.Add()->SetFieldName("D1");
  saved.Items(4)->SetWidth(44);
  saved.Add()->SetFieldName("GONE");
  host.Columns.AssignColumns(&saved, false, cpmLayoutStore);
  EXPECT_EQ(host.Widths(), (Ints{40, 11, 22, 33}));
  EXPECT_EQ(host.Column(2)->Color(), clRed);
  EXPECT_EQ(host.Column(1)->Color(), clNone);
  EXPECT_EQ(host.Columns.Count(), 4);
}

TEST(ColumnCopy, CollectionAssignCopiesEveryColumn) {
  TgpColumns from(nullptr);
  Decorate(from.Add());
  from.Add()->SetFieldName("N");
  TgpColumns to(nullptr);
  to.Add()->SetFieldName("old");
  to.Assign(&from);
  ASSERT_EQ(to.Count(), 2);
  EXPECT_EQ(to.Items(0)->FieldName(), "R");
  EXPECT_EQ(to.Items(0)->Caption(), "Strength");
  EXPECT_EQ(to.Items(1)->FieldName(), "N");
  EXPECT_EQ(to.GroupCount(), 0);
}

// ---- The mapper --------------------------------------------------------------------------------

TEST(ColumnMapper, ACaptionSetByHandIsNoLongerImported) {
  LayoutHost host;
  host.Mapper = true;
  TgpColumn* c = host.Add("P", 0, 0, 40);
  c->SetOptionsMapping({cioImportCaption});
  EXPECT_EQ(c->Caption(), "Mapped");
  c->SetCaption("Mine");
  EXPECT_FALSE(c->OptionsMapping().Contains(cioImportCaption));
  host.MapperCaption = "Again";
  c->ImportFromMapper();
  EXPECT_EQ(c->Caption(), "Mine");
  // Imported captions are not stored with the column.
  TgpColumn* d = host.Add("R", 0, 0, 40);
  d->SetOptionsMapping({cioImportCaption});
  EXPECT_EQ(d->Caption(), "Again");
  EXPECT_FALSE(IsStoredProp(d, FindPropInfo(d, "Caption")));
  EXPECT_TRUE(IsStoredProp(c, FindPropInfo(c, "Caption")));
}

// ---- What a change does in a grid ------------------------------------------------------------

TEST(ColumnSettings, ChangesRepaintRemeasureOrOnlyStore) {
  struct Case {
    const char* what;
    std::function<void(TgpColumn*)> change;
    // Repaints of the column's strip, whole-grid repaints, relayouts.
    int repaints, full, layouts;
  };
  const std::vector<Case> cases = {
      {"Color", [](TgpColumn* c) { c->SetColor(clRed); }, 1, 0, 0},
      {"FooterText", [](TgpColumn* c) { c->SetFooterText("x"); }, 1, 0, 0},
      {"FooterState", [](TgpColumn* c) { c->SetFooterState(fsSum); }, 1, 0, 0},
      {"FooterTextAlignment", [](TgpColumn* c) { c->SetFooterTextAlignment(talCenter); }, 1, 0, 0},
      {"CaptionAlignment", [](TgpColumn* c) { c->SetCaptionAlignment(talCenter); }, 1, 0, 0},
      {"OptionsVisual", [](TgpColumn* c) { c->SetOptionsVisual({cvoWordWrap}); }, 1, 0, 0},
      {"DisplayFormat", [](TgpColumn* c) { c->SetDisplayFormat("0.0"); }, 1, 0, 0},
      {"Caption", [](TgpColumn* c) { c->SetCaption("x"); }, 1, 0, 0},
      {"Alignment", [](TgpColumn* c) { c->SetAlignment(talRightJustify); }, 1, 0, 0},
      {"a title state", [](TgpColumn* c) { c->SetTitleState(tsSortedUp); }, 1, 0, 0},
      {"EditFormat", [](TgpColumn* c) { c->SetEditFormat("0"); }, 0, 0, 0},
      {"ReadOnly", [](TgpColumn* c) { c->SetReadOnly(true); }, 0, 0, 0},
      {"Tag", [](TgpColumn* c) { c->SetTag(3); }, 0, 0, 0},
      {"FooterStates", [](TgpColumn* c) { c->SetFooterStates({fsSum}); }, 0, 0, 0},
      {"the same value again", [](TgpColumn* c) { c->SetColor(clNone); }, 0, 0, 0},
      {"Width", [](TgpColumn* c) { c->SetWidth(60); }, 0, 0, 1},
      {"Visible", [](TgpColumn* c) { c->SetVisible(false); }, 0, 0, 1},
      {"a font that changes the metrics", [](TgpColumn* c) { c->Font()->SetName("Arial"); }, 0, 1, 0},
  };
  for (const Case& k : cases) {
    for (bool loading : {false, true}) {
      LayoutHost host;
      host.MetricsChange = true;
      host.Add("A", 0, 0, 40);
      TgpColumn* c = host.Add("B", 0, 0, 40);
      host.InvalidatedColumns.clear();
      host.Layouts = 0;
      host.Loading = loading;
      k.change(c);
      // A loading grid only stores.
      EXPECT_EQ(host.InvalidatedColumns, std::vector<int>(loading ? 0 : k.repaints, 1)) << k.what << loading;
      EXPECT_EQ(host.FullInvalidations, loading ? 0 : k.full) << k.what << loading;
      EXPECT_EQ(host.Layouts, loading ? 0 : k.layouts) << k.what << loading;
    }
  }
}

// ---- Caption, alignment and vision --------------------------------------------------------

TEST(ColumnCaption, CaptionAlignmentAndLayoutResolveThroughTheVision) {
  TLiteVision vision(nullptr);
  LayoutHost host;
  TgpColumn* c = host.Add("P", 0, 0, 40);
  c->SetVision(&vision);
  EXPECT_EQ(c->Vision(), &vision);
  EXPECT_EQ(c->EffectiveVision(), &vision);
  struct Case {
    const char* what;
    const char* column_caption;
    const char* vision_caption;
    TvpDefAlignment column_alignment, vision_alignment;
    TvpDefLayout column_layout;
    TLayout grid_layout;
    const char* caption;
    TAlignment alignment;
    TLayout layout;
  };
  const std::vector<Case> cases = {
      {"all defaults", "", "", talDefault, talDefault, tlaDefault, tlCenter, "", taLeftJustify, tlCenter},
      {"the vision's caption", "", "Load", talDefault, talDefault, tlaDefault, tlTop, "Load", taLeftJustify, tlTop},
      {"the column's own caption first", "Mine", "Load", talCenter, talDefault, tlaBottom, tlTop, "Mine", taCenter,
       tlBottom},
      {"the vision's alignment over the column's", "", "", talCenter, talRightJustify, tlaTop, tlBottom, "",
       taRightJustify, tlTop},
  };
  for (const Case& k : cases) {
    vision.SetCaption(k.vision_caption);
    vision.SetAlignment(k.vision_alignment);
    host.VertAlign = k.grid_layout;
    c->SetCaption(k.column_caption);
    c->SetAlignment(k.column_alignment);
    c->SetVertAlignment(k.column_layout);
    c->UpdateCaptionAlignment();
    EXPECT_EQ(c->FieldList()->Caption(), k.caption) << k.what;
    EXPECT_EQ(c->FieldList()->Alignment(), k.alignment) << k.what;
    EXPECT_EQ(c->FieldList()->Layout(), k.layout) << k.what;
  }
  // A vision removed from the form leaves the column on the default vision.
  host.Columns.ComponentRemoved(&vision);
  EXPECT_EQ(c->Vision(), nullptr);
  EXPECT_NE(c->EffectiveVision(), &vision);
}

TEST(ColumnSettings, AFixedWidthColumnCanStillBeResized) {
  LayoutHost host;
  host.Add("A", 0, 0, 50);
  host.Add("B", 0, 1, 50);
  host.Column(0)->SetOptionsBehavior({cboFixedWidth});
  host.Columns.MoveColumn(host.Columns.ColumnByFieldName("B"), host.Columns.ColumnByFieldName("A")->Group(), 0, 1);
  TgpColumn* a = host.Columns.ColumnByFieldName("A");
  TgpColumn* b = host.Columns.ColumnByFieldName("B");
  const int group_width = a->Group()->Width;
  ASSERT_EQ(b->Width(), group_width - 50) << "B squeezed beside the fixed A";
  // B cannot widen: the fixed A gives nothing and the group keeps its width.
  b->SetWidth(50);
  EXPECT_EQ(a->Width(), 50);
  EXPECT_EQ(b->Width(), group_width - 50);
  EXPECT_EQ(a->Group()->Width, group_width);
  // A itself takes a new width; B absorbs it.
  a->SetWidth(30);
  EXPECT_EQ(a->Width(), 30);
  EXPECT_EQ(b->Width(), group_width - 30);
  EXPECT_EQ(a->Group()->Width, group_width);
  EXPECT_TRUE(a->OptionsBehavior().Contains(cboFixedWidth));
  EXPECT_TRUE(a->Group()->FixedWidth);
}

TEST(ColumnSettings, AddColumnPlacesTheNewColumn) {
  LayoutHost host;
  host.Add("A", 0, 0, 50);
  host.Add("B", 0, 0, 50);
  TgpColumn* source = host.Column(1);
  TgpColumn* below = host.Columns.AddColumn(host.Columns.Groups(0), 1, source, 0);
  EXPECT_EQ(below->FieldName(), "B");
  EXPECT_EQ(host.Fields(), (std::vector<std::string>{"A", "B", "B"}));
  EXPECT_EQ(host.Columns.Groups(0)->LineCount, 2);
  TgpColumn* alone = host.Columns.AddColumn(host.Columns.Groups(0), -1, nullptr, 0);
  EXPECT_EQ(host.Columns.IndexOf(alone), 0);
  EXPECT_EQ(host.Columns.GroupCount(), 3);
}

// ---- Rectangles ------------------------------------------------------------------------------

struct RectHost : LayoutHost {
  RectHost() {
    Metrics.VLineWidth = 1;
    Metrics.HLineWidth = 1;
    Metrics.TitleTop = 2;
    Metrics.TitleBottom = 3;
    Metrics.FooterTop = 4;
    Metrics.FooterBottom = 3;
    Metrics.RowHeight = 33;
    Metrics.DataBottom = 200;
    Metrics.FreeSpace = 10;
  }
};

TEST(ColumnRects, TitleAndFooterBoxesOfAGroupTile) {
  RectHost host;
  host.Add("A1", 0, 0, 60);
  host.Add("A2", 1, 0, 60);
  host.Add("A3", 2, 0, 60);
  // Three lines of 15 pixels, one pixel between them, the margins around.
  const int lines = 3, line_height = 15;
  host.Metrics.TitleBand = host.Metrics.TitleTop + lines * line_height + lines - 1 + host.Metrics.TitleBottom;
  host.Metrics.FooterBand = host.Metrics.FooterTop + lines * line_height + lines - 1 + host.Metrics.FooterBottom;
  for (int i = 0; i < 3; ++i) host.Column(i)->SetLineHeights(line_height, 10, line_height);
  // Titles: the band from 0 to TitleBand, each pixel in exactly one box.
  int top = 0;
  for (int i = 0; i < 3; ++i) {
    TRect r = host.Column(i)->TitleRect(true);
    EXPECT_EQ(r.Top, top) << "title of line " << i;
    EXPECT_EQ(r.Left, 0);
    EXPECT_EQ(r.Right, 61);
    top = r.Bottom;
  }
  EXPECT_EQ(top, host.Metrics.TitleBand);
  // Footers, placed below the data.
  const int footer_top = host.Metrics.DataBottom + host.Metrics.FreeSpace;
  top = footer_top;
  for (int i = 0; i < 3; ++i) {
    TRect r = host.Column(i)->FooterRect(true, true);
    EXPECT_EQ(r.Top, top) << "footer of line " << i;
    EXPECT_EQ(r.Left, 1);
    top = r.Bottom;
  }
  EXPECT_EQ(top, footer_top + host.Metrics.FooterBand);
  // The plain title box is the line's text area.
  EXPECT_EQ(host.Column(1)->TitleRect(false), (TRect{0, 2 + 16, 60, 2 + 16 + 15}));
}

TEST(ColumnRects, CellsAndLinesSideBySide) {
  RectHost host;
  host.Metrics.TitleBand = 20;
  host.Add("A", 0, 0, 30);
  host.Add("B", 0, 1, 40);
  host.Add("C", 1, 0, 70);
  for (int i = 0; i < 3; ++i) host.Column(i)->SetLineHeights(15, 15, 15);
  EXPECT_EQ(host.Column(0)->CellRect(2, false, false), (TRect{0, 20 + 66, 29, 20 + 66 + 15}));
  EXPECT_EQ(host.Column(1)->CellRect(0, false, false), (TRect{30, 20, 70, 35}));
  EXPECT_EQ(host.Column(1)->CellRect(0, true, false), (TRect{30, 20, 71, 36}));
  EXPECT_EQ(host.Column(0)->CellRect(0, false, true), (TRect{0, 20, 30, 36}));
  EXPECT_EQ(host.Column(2)->CellRect(0, true, false), (TRect{0, 36, 71, 52}));
  // No title band, no title box; a hidden column has none at all.
  host.Metrics.TitleBand = 0;
  EXPECT_EQ(host.Column(0)->TitleRect(true), TRect());
  host.Column(1)->SetVisible(false);
  EXPECT_EQ(host.Column(1)->CellRect(0, true, true), TRect());
}

TEST(ColumnRects, ScrolledOutColumnsHaveNoRectangles) {
  RectHost host;
  host.Columns.SetAvailableWidth(50);
  host.Metrics.TitleBand = 20;
  host.Add("A", 0, 0, 40);
  host.Add("B", 0, 0, 40);
  host.Columns.SetFirstVisibleGroup(1);
  EXPECT_EQ(host.Column(0)->CellRect(0, false, false), TRect());
  EXPECT_EQ(host.Column(1)->CellRect(0, false, false).Left, 0);
}

TEST(ColumnMetrics, TitleHeightNeeded) {
  LayoutHost host;
  TgpColumn* c = host.Add("A", 0, 0, 40);
  EXPECT_EQ(c->TitleHeightNeeded(2, 4), 4 + 2 * 16);
  c->TitleGlyph()->SetSize(16, 40);
  EXPECT_EQ(c->TitleHeightNeeded(2, 4), 42);
  c->SetTitleGlyph(nullptr);
  EXPECT_EQ(c->TitleGlyphIfAny(), nullptr);
  EXPECT_EQ(c->TitleHeightNeeded(1, 4), 20);
}

}  // namespace column_settings_test
