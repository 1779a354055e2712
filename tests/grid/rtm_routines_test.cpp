// Runtime support: argument checks, ";"-lists, the partial font, the owning
// list, soft colours, rectangle layout, variant equality and the week start.
#include <cstdlib>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "grid/rs_rtm.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"

namespace rtm_routines_test {

// ---- Argument checks ------------------------------------------------------------

TEST(ArgumentChecks, FailWithTheValueInTheText) {
  const struct {
    const char* what;
    std::function<void()> check;
    const char* error;  // nullptr: passes
  } cases[] = {
      {"not negative 0", [] { CheckNotNegative(0); }, nullptr},
      {"not negative 5", [] { CheckNotNegative(5); }, nullptr},
      {"not negative -1", [] { CheckNotNegative(-1); }, "Value can not be negative (-1)"},
      {"positive 1", [] { CheckPositive(1); }, nullptr},
      {"positive 0", [] { CheckPositive(0); }, "Value must be positive (0)"},
      {"positive -7", [] { CheckPositive(-7); }, "Value must be positive (-7)"},
      {"index 0 of 1", [] { CheckIndex(0, 1); }, nullptr},
      {"index 4 of 5", [] { CheckIndex(4, 5); }, nullptr},
      {"index 0 of 0", [] { CheckIndex(0, 0); }, "Index is out of range (0/0)"},
      {"index 5 of 5", [] { CheckIndex(5, 5); }, "Index is out of range (5/5)"},
      {"index -1 of 3", [] { CheckIndex(-1, 3); }, "Index is out of range (-1/3)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.error == nullptr) {
      EXPECT_NO_THROW(c.check());
      continue;
    }
    try {
      c.check();
      ADD_FAILURE() << "passed";
    } catch (const ERSError& e) {
      EXPECT_EQ(e.Message(), c.error);
    }
  }
}

// ---- Delimited lists ------------------------------------------------------------

TEST(DelimitedLists, CountAndItems) {
  const struct {
    const char* text;
    char sep;
    int count;
    int count_non_empty;
    const char* item1;  // piece at index 1
  } cases[] = {
      {"", ';', 1, 0, ""},
      {"P", ';', 1, 1, ""},
      {"P;R", ';', 2, 2, "R"},
      {"P;R;", ';', 3, 3, "R"},
      {";;", ';', 3, 3, ""},
      {"a.b.c", '.', 3, 3, "b"},
      {"a;b.c", '.', 2, 2, "c"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ListCount(c.text, c.sep), c.count);
    EXPECT_EQ(ListCountNonEmpty(c.text, c.sep), c.count_non_empty);
    EXPECT_EQ(ListItem(c.text, 1, c.sep), c.item1);
  }
  EXPECT_EQ(ListItem("a;b", 0, ';'), "a");
  EXPECT_EQ(ListItem("a;b", 2, ';'), "");
  EXPECT_EQ(ListItem("a;b", -1, ';'), "");
}

TEST(DelimitedLists, IndexOfComparesWholePiecesWithoutCase) {
  const AnsiString cyr = Utf8ToAnsi("Дата;ВРЕМЯ;Ёж");
  const struct {
    AnsiString list;
    AnsiString item;
    int index;
    bool contains;
  } cases[] = {
      {"P;R", "r", 1, true},
      {"DATE;TIME;P", "time", 1, true},
      {"NAME;SURNAME", "NAME", 0, true},
      {"SURNAME;NAME", "NAME", 1, true},
      {"SURNAME", "NAME", -1, false},  // only the tail of a piece
      {"P;R", "P;R", 0, true},
      {"P;R", "X", -1, false},
      {"", "P", -1, false},
      {"P;;R", "", 1, false},  // found as a piece, but an empty item is never contained
      {cyr, Utf8ToAnsi("время"), 1, true},
      {cyr, Utf8ToAnsi("ёЖ"), 2, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(AnsiToUtf8(c.list) + " / " + AnsiToUtf8(c.item));
    EXPECT_EQ(ListIndexOf(c.list, c.item, ';'), c.index);
    EXPECT_EQ(ListContains(c.list, c.item, ';'), c.contains);
  }
}

TEST(DelimitedLists, AddDeleteRemove) {
  const struct {
    const char* what;
    std::function<AnsiString()> op;
    const char* result;
  } cases[] = {
      {"add to empty", [] { return ListAdd("", "P", ';'); }, "P"},
      {"add new", [] { return ListAdd("P", "R", ';'); }, "P;R"},
      {"add present in other case", [] { return ListAdd("P;R", "r", ';'); }, "P;R"},
      {"add empty item", [] { return ListAdd("P", "", ';'); }, "P"},
      {"add-empty form appends empty", [] { return ListAddEmpty("P", "", ';'); }, "P;"},
      {"add-empty form keeps present", [] { return ListAddEmpty("P;R", "p", ';'); }, "P;R"},
      {"delete first", [] { return ListDelete("A;B;C", 0, ';'); }, "B;C"},
      {"delete middle", [] { return ListDelete("A;B;C", 1, ';'); }, "A;C"},
      {"delete last", [] { return ListDelete("A;B;C", 2, ';'); }, "A;B"},
      {"delete only", [] { return ListDelete("A", 0, ';'); }, ""},
      {"delete outside", [] { return ListDelete("A;B", 5, ';'); }, "A;B"},
      {"delete empty piece", [] { return ListDelete("A;;B", 1, ';'); }, "A;B"},
      {"remove other case", [] { return ListRemove("P;R;S", "r", ';'); }, "P;S"},
      {"remove first occurrence", [] { return ListRemove("P;R;P", "P", ';'); }, "R;P"},
      {"remove absent", [] { return ListRemove("P;R", "PR", ';'); }, "P;R"},
      {"remove with commas", [] { return ListRemove("N,DATE,TIME", "date", ','); }, "N,TIME"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.op(), c.result);
  }
}

TEST(DelimitedLists, SplitAndJoinKeepEveryPiece) {
  const struct {
    const char* text;
    std::vector<std::string> items;
  } cases[] = {
      {"", {""}},
      {"P", {"P"}},
      {"P;R", {"P", "R"}},
      {";P", {"", "P"}},
      {"P;", {"P", ""}},
      {"a;;b", {"a", "", "b"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TStringList list;
    list.Add("stale");
    int changes = 0;
    list.OnChange = [&](TStringList*) { ++changes; };
    SplitList(c.text, ';', list);
    ASSERT_EQ(list.Count(), static_cast<int>(c.items.size()));
    for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.Strings(i), c.items[static_cast<size_t>(i)]);
    EXPECT_EQ(changes, 1) << "filled in one update";
    EXPECT_EQ(JoinList(list, ';'), c.text);
  }
  TStringList empty;
  EXPECT_EQ(JoinList(empty, ';'), "");
}

// ---- TChildFont ---------------------------------------------------------------

TEST(ChildFont, AppliesOnlyTheValuesThatAreSet) {
  const struct {
    const char* what;
    std::function<void(TChildFont&)> set;
    const char* name;
    TColor color;
    TFontStyles style;
  } cases[] = {
      {"nothing set", [](TChildFont&) {}, "Arial", clRed, {fsItalic}},
      {"colour only", [](TChildFont& f) { f.SetColor(clBlue); }, "Arial", clBlue, {fsItalic}},
      {"name only", [](TChildFont& f) { f.SetName("Courier New"); }, "Courier New", clRed, {fsItalic}},
      {"style only", [](TChildFont& f) { f.SetStyle({fsBold}); }, "Arial", clRed, {fsBold}},
      {"all", [](TChildFont& f) {
         f.SetName("Times New Roman");
         f.SetColor(clBlack);
         f.SetStyle({fsUnderline});
       },
       "Times New Roman", clBlack, {fsUnderline}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TFont font;
    font.SetName("Arial");
    font.SetColor(clRed);
    font.SetStyle({fsItalic});
    TChildFont child;
    c.set(child);
    child.ApplyTo(font);
    EXPECT_EQ(font.Name(), c.name);
    EXPECT_EQ(font.Color(), c.color);
    EXPECT_TRUE(font.Style() == c.style);
  }
}

TEST(ChildFont, ReportsChangesAndCopiesFromFontsAndChildFonts) {
  TChildFont child;
  int changes = 0;
  child.OnChange = [&](TChildFont* sender) {
    EXPECT_EQ(sender, &child);
    ++changes;
  };
  child.SetColor(clGreen);
  child.SetColor(clGreen);  // no change, no notice
  child.SetName("Arial");
  EXPECT_EQ(changes, 2);

  TFont font;
  font.SetName("Courier New");
  font.SetColor(clNavy);
  font.SetStyle({fsBold, fsStrikeOut});
  child.Assign(font);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(child.Name(), "Courier New");
  EXPECT_EQ(child.Color(), clNavy);
  EXPECT_TRUE(child.Style() == (TFontStyles{fsBold, fsStrikeOut}));

  TChildFont other;
  other.Assign(&child);
  EXPECT_EQ(other.Name(), "Courier New");
  EXPECT_EQ(other.Color(), clNavy);
  TStringList wrong;
  EXPECT_THROW(other.Assign(&wrong), EConvertError);
}

TEST(ChildFont, PublishesNameColorStyleWithNotSetDefaults) {
  TChildFont child;
  const auto props = GetPropList(TChildFont::StaticClassInfo());
  ASSERT_EQ(props.size(), 3u);
  EXPECT_EQ(props[0]->Name, "Name");
  EXPECT_EQ(props[1]->Name, "Color");
  EXPECT_EQ(props[2]->Name, "Style");
  for (const TPropInfo* p : props) EXPECT_TRUE(IsDefaultValue(&child, *p)) << p->Name;
  SetSetProp(&child, FindPropInfo(&child, "Style"), "[fsBold,fsItalic]");
  EXPECT_TRUE(child.Style() == (TFontStyles{fsBold, fsItalic}));
  EXPECT_EQ(GetOrdProp(&child, "Color"), clNone);
}

// ---- TvpList ------------------------------------------------------------------

// Counts its destructions.
class Counted : public TPersistent {
 public:
  explicit Counted(int& deaths) : deaths_(deaths) {}
  ~Counted() override { ++deaths_; }

 private:
  int& deaths_;
};

TEST(OwningList, FreesObjectsItLosesOnlyWhileItOwnsThem) {
  int deaths = 0;
  {
    TvpList list;
    EXPECT_TRUE(list.OwnsItems());
    EXPECT_FALSE(list.ItemsAreObjects());
    list.SetItemsAreObjects(true);
    for (int i = 0; i < 4; ++i) list.Add(new Counted(deaths));
    list.Delete(1);
    EXPECT_EQ(deaths, 1);
    list.Clear();
    EXPECT_EQ(deaths, 4);
    EXPECT_EQ(list.Count(), 0);
    list.Add(new Counted(deaths));
  }
  EXPECT_EQ(deaths, 5) << "the destructor frees what is left";

  Counted kept(deaths);
  {
    TvpList list;
    list.SetItemsAreObjects(true);
    list.SetOwnsItems(false);
    list.Add(&kept);
  }
  EXPECT_EQ(deaths, 5);
}

TEST(OwningList, FreesMemoryBlocks) {
  // Leak checkers in the sanitizer build catch a block that is not freed.
  TvpList list;
  for (int i = 0; i < 3; ++i) list.Add(std::malloc(16));
  list.Delete(0);
  EXPECT_EQ(list.Count(), 2);
}

// ---- Painting arithmetic ------------------------------------------------------

TEST(SoftColor, LightensEachChannelByItsRule) {
  const struct {
    TColor color;
    TColor soft;
  } cases[] = {
      {clWhite, RGB(174, 178, 202)},
      {clBlack, RGB(0, 11, 38)},
      {RGB(100, 47, 200), RGB(58, 47, 167)},  // g at the 47 boundary; b 55/2.8 = 19.6 -> 20
      {RGB(200, 48, 115), RGB(133, 46, 112)},  // g just above: 48 + 3*25 - 77; b 140/2.8 = 50
      {RGB(80, 100, 3), RGB(43, 80, 40)},      // b 252/2.8 = 90
      {RGB(0, 0, 248), RGB(0, 11, 197)},       // b 2.5 rounds to even 2
      {RGB(0, 0, 24), RGB(0, 11, 53)},         // b 82.5 rounds to even 82
      {RGB(0, 0, 10), RGB(0, 11, 45)},         // b 87.5 rounds to even 88
      {clBtnFace, RGB(142, 146, 167)},         // the system colour resolved (212, 208, 200)
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.color);
    EXPECT_EQ(SoftColor(c.color), c.soft);
  }
}

TEST(AlignRectVertically, CutsToTheOuterHeightAndPlaces) {
  const TRect outer = Rect(10, 20, 110, 60);  // 40 high
  const struct {
    TRect inner;
    int layout;
    TRect result;
  } cases[] = {
      {Rect(0, 0, 30, 10), vlTop, Rect(0, 20, 30, 30)},
      {Rect(0, 0, 30, 10), vlCenter, Rect(0, 35, 30, 45)},
      {Rect(0, 0, 30, 10), vlBottom, Rect(0, 50, 30, 60)},
      {Rect(0, 0, 30, 11), vlCenter, Rect(0, 34, 30, 45)},
      {Rect(5, 100, 30, 200), vlBottom, Rect(5, 20, 30, 60)},  // cut to 40
      {Rect(5, 100, 30, 200), vlCenter, Rect(5, 20, 30, 60)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.layout);
    EXPECT_EQ(AlignRectVertically(outer, c.inner, c.layout), c.result);
  }
}

// ---- Small routines -----------------------------------------------------------

TEST(SmallRoutines, StepMovesOneStepOnlyInTheAllowedDirection) {
  const struct {
    int index, target, count;
    bool forward;
    int result;
    bool moved;
  } cases[] = {
      {2, 5, 10, true, 3, true},   {2, 5, 10, false, 2, false}, {5, 2, 10, false, 4, true},
      {5, 2, 10, true, 5, false},  {9, 20, 10, true, 9, false}, {0, -3, 10, false, 0, false},
      {3, 3, 10, true, 3, false},  {12, 20, 10, true, 9, true},  // clamped back into the list
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << "->" << c.target << (c.forward ? " fwd" : " back"));
    int index = c.index;
    EXPECT_EQ(StepIndex(index, c.target, c.count, c.forward), c.moved);
    EXPECT_EQ(index, c.result);
  }
}

TEST(SmallRoutines, SignsMaximaAndSwaps) {
  EXPECT_EQ(Sign(-3), -1);
  EXPECT_EQ(Sign(0), 1);
  EXPECT_EQ(Sign(-0.5), -1);
  EXPECT_EQ(Sign(0.0), 1);
  EXPECT_EQ(IMax(-2, -5), -2);
  int v = 3;
  RaiseTo(v, 2);
  EXPECT_EQ(v, 3);
  RaiseTo(v, 8);
  EXPECT_EQ(v, 8);
  int a = 1, b = 2;
  SwapInts(a, b);
  EXPECT_EQ(a * 10 + b, 21);
}

TEST(SmallRoutines, VariantEquality) {
  const struct {
    const char* what;
    Variant a, b;
    bool equal;
  } cases[] = {
      {"both unassigned", Variant(), Variant(), true},
      {"one unassigned", Variant(), Variant(0), false},
      {"other unassigned", Null(), Variant(), false},
      {"numbers", Variant(2), Variant(2.0), true},
      {"texts", Variant(AnsiString("a")), Variant(AnsiString("a")), true},
      {"texts differ in case", Variant(AnsiString("a")), Variant(AnsiString("A")), false},
      {"arrays", VarArrayOf({1, AnsiString("x")}), VarArrayOf({1, AnsiString("x")}), true},
      {"arrays differ", VarArrayOf({1, 2}), VarArrayOf({1, 3}), false},
      // A longer second array is unequal, not an index error; a shorter one is
      // unequal, not equal over the common part.
      {"second longer", VarArrayOf({1}), VarArrayOf({1, 2}), false},
      {"second shorter", VarArrayOf({1, 2}), VarArrayOf({1}), false},
      {"array and scalar", VarArrayOf({1}), Variant(1), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(VarEquals(c.a, c.b), c.equal);
  }
  EXPECT_TRUE(VarIsNullOrEmpty(Null()));
  EXPECT_TRUE(VarIsNullOrEmpty(Variant()));
  EXPECT_FALSE(VarIsNullOrEmpty(Variant(0)));
  EXPECT_FALSE(VarIsNullOrEmpty(Variant(AnsiString())));
}

TEST(SmallRoutines, FirstDayOfWeekAsWeekdayNumber) {
  const struct {
    const char* setting;
    int day;
  } cases[] = {{"0", 2}, {"1", 3}, {"5", 7}, {"6", 1}, {"", 2}, {"7", 2}, {"x", 2}, {"12", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    EXPECT_EQ(FirstDayOfWeek(c.setting), c.day);
  }
  EXPECT_EQ(FirstDayOfWeek(), 2);
}

}  // namespace rtm_routines_test
