// Drop-down tool forms: where they open, how they close, when they hand
// their value back, and what happens to the edit they serve.
#include <gtest/gtest.h>

#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "grid/rs_str.h"
#include "grid/rs_toolform.h"
#include "tests/grid/edit_support.h"
#include "toolkit/ui/stdctrls.h"

namespace edit_toolform_test {

using edit_support::GridForm;

// A vision with a drop-down button whose tool form puts "picked" into the
// edit's value when it posts its changes.
struct PickVision {
  PickVision() {
    vision.SetEnableButton(true);
    vision.SetButtonStyle(pbsDropDown);
    vision.SetDropDown(&form);
    form.SetBounds(0, 0, 150, 60);
    form.OnPostChanges = [this](TComponent*) {
      ++post_changes;
      TDBProdiEdit* edit = form.Edit();
      edit->CurrentValue().SetAsString("picked");
      edit->CurrentValue().Changed = true;
    };
    form.OnClose = [this](TComponent*) { ++closes; };
  }
  TToolFormVision vision{nullptr};
  TVisionToolForm form{nullptr};
  int post_changes = 0;
  int closes = 0;
};

// A stand-alone edit on a form over the table's COMMENT, focused.
struct EditForm {
  explicit EditForm(const char* folder, int left = 20, int top = 20) : table(edit_support::MakeTable(folder)) {
    form = std::make_unique<TForm>(nullptr);
    form->SetBounds(left, top, 200, 60);
    source.SetDataSet(table.get());
    edit = new TDBProdiEdit(form.get());
    edit->SetParent(form.get());
    edit->SetBounds(5, 5, 120, 21);
    edit->SetDataSource(&source);
    edit->SetDataField("COMMENT");
    form->Show();
    form->Widget()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form->Widget()));
    edit->SetFocus();
    QApplication::processEvents();
  }
  ~EditForm() {
    form.reset();
    source.SetDataSet(nullptr);
  }
  // The edit's window, its frame included.
  TRect EditScreenRect() const {
    const TPoint p = edit->ClientToScreen(TPoint{-edit->FrameInset(), -edit->FrameInset()});
    return Rect(p.x, p.y, p.x + edit->Width(), p.y + edit->Height());
  }
  std::unique_ptr<TDbf> table;
  TDataSource source{nullptr};
  std::unique_ptr<TForm> form;
  TDBProdiEdit* edit = nullptr;
};

TEST(ToolForm, AltDownDropsTheFormUnderTheEditAndEscapeClosesItWithoutPosting) {
  EditForm f("toolform_altdown");
  PickVision v;
  f.edit->SetVision(&v.vision);
  EXPECT_TRUE(f.edit->Editing());
  GridForm::Key(Qt::Key_Down, Qt::AltModifier);
  ASSERT_TRUE(v.form.IsOpen());
  EXPECT_EQ(f.edit->DropDownForm(), &v.form);
  EXPECT_EQ(v.vision.AttachedToolForm(), &v.form);
  const TRect edit_rect = f.EditScreenRect();
  const TRect host = v.form.HostRect();
  EXPECT_EQ(host.Left, edit_rect.Left) << "bottom left by default";
  EXPECT_EQ(host.Top, edit_rect.Bottom);
  EXPECT_EQ(v.form.Host()->ClientWidth(), 150) << "the designed width";
  EXPECT_FALSE(v.form.Flipped());
  EXPECT_EQ(GridForm::Focus(), f.edit->Widget()) << "the focus stays in the edit";
  GridForm::Key(Qt::Key_Escape);
  EXPECT_FALSE(v.form.IsOpen());
  EXPECT_EQ(v.post_changes, 0);
  EXPECT_EQ(v.closes, 1);
  EXPECT_EQ(f.edit->DropDownForm(), nullptr);
  EXPECT_EQ(v.vision.AttachedToolForm(), nullptr);
  EXPECT_FALSE(v.form.Visible()) << "back in its designed place, hidden";
  f.edit->SetVision(nullptr);
}

TEST(ToolForm, AChangeClosedWithPostingReachesTheField) {
  EditForm f("toolform_post");
  PickVision v;
  f.edit->SetVision(&v.vision);
  f.edit->ToggleDropDown(false);
  ASSERT_TRUE(v.form.IsOpen());
  v.form.SetChanged(true);
  GridForm::Key(Qt::Key_Return);
  EXPECT_FALSE(v.form.IsOpen());
  EXPECT_EQ(v.post_changes, 1);
  EXPECT_EQ(f.table->FieldNamed("COMMENT")->GetStringValue(), "picked");
  f.edit->SetVision(nullptr);
}

TEST(ToolForm, WhenTheValueIsHandedBackDependsOnHowTheFormCloses) {
  struct Case {
    const char* name;
    TvtfOptions options;
    bool changed;
    int how;  // 0 cancel button, 1 escape, 2 focus loss, 3 OK (close with posting)
    int post_changes;
  };
  const Case cases[] = {
      {"cancel with a change", {}, true, 0, 0},
      {"cancel, always post", {tfoAlwaysPostChanges}, true, 0, 0},
      {"escape with a change", {}, true, 1, 0},
      {"escape, always post, changed", {tfoAlwaysPostChanges}, true, 1, 1},
      {"escape, always post, unchanged", {tfoAlwaysPostChanges}, false, 1, 0},
      {"focus loss, always post, changed", {tfoAlwaysPostChanges}, true, 2, 1},
      {"focus loss with a change", {}, true, 2, 0},
      {"OK with a change", {}, true, 3, 1},
      {"OK without a change", {}, false, 3, 0},
  };
  for (const Case& c : cases) {
    EditForm f("toolform_close");
    PickVision v;
    v.form.SetOptions(c.options);
    f.edit->SetVision(&v.vision);
    f.edit->ToggleDropDown(false);
    ASSERT_TRUE(v.form.IsOpen()) << c.name;
    v.form.SetChanged(c.changed);
    switch (c.how) {
      case 0: v.form.SetModalResult(mrCancel); break;
      case 1: GridForm::Key(Qt::Key_Escape); break;
      case 2: v.form.FocusChanged(nullptr); break;
      default: v.form.Close(true, false); break;
    }
    EXPECT_FALSE(v.form.IsOpen()) << c.name;
    EXPECT_EQ(v.post_changes, c.post_changes) << c.name;
    f.edit->SetVision(nullptr);
  }
}

TEST(ToolForm, AtTheBottomOfTheScreenTheFormOpensAboveAndNearTheRightEdgeItShiftsLeft) {
  ASSERT_GT(ScreenWidth(), 400);
  ASSERT_GT(ScreenHeight(), 300);
  EditForm f("toolform_edges", ScreenWidth() - 140, ScreenHeight() - 70);
  PickVision v;
  f.edit->SetVision(&v.vision);
  f.edit->ToggleDropDown(false);
  ASSERT_TRUE(v.form.IsOpen());
  const TRect edit_rect = f.EditScreenRect();
  const TRect host = v.form.HostRect();
  EXPECT_TRUE(v.form.Flipped());
  EXPECT_EQ(host.Bottom, edit_rect.Top) << "above the edit";
  EXPECT_EQ(host.Right, ScreenWidth()) << "shifted left into the screen";
  v.form.Close(false, false);
  f.edit->SetVision(nullptr);
}

TEST(ToolForm, ANonFocusableFormLeavesTheFocusInTheEditAndFollowsItsTyping) {
  EditForm f("toolform_typing");
  PickVision v;
  int text_changes = 0;
  v.form.OnTextChanged = [&](TComponent*) { ++text_changes; };
  f.edit->SetVision(&v.vision);
  f.edit->ToggleDropDown(false);
  ASSERT_TRUE(v.form.IsOpen());
  EXPECT_TRUE(f.edit->Focused());
  GridForm::Type("ab");
  EXPECT_EQ(text_changes, 2);
  EXPECT_TRUE(v.form.IsOpen());
  v.form.Close(false, false);
  f.edit->SetVision(nullptr);
}

TEST(ToolForm, DestroyingTheEditClosesItsFormWithoutPosting) {
  PickVision v;
  {
    EditForm f("toolform_destroy");
    f.edit->SetVision(&v.vision);
    f.edit->ToggleDropDown(false);
    ASSERT_TRUE(v.form.IsOpen());
    v.form.SetChanged(true);
    delete f.edit;
    EXPECT_FALSE(v.form.IsOpen());
    EXPECT_EQ(v.post_changes, 0);
    EXPECT_EQ(v.form.Edit(), nullptr);
  }
  EXPECT_EQ(v.vision.AttachedToolForm(), nullptr);
}

TEST(ToolForm, AnActiveControlOrGridMustBePlacedOnTheForm) {
  TForm owner(nullptr);
  TVisionToolForm form(&owner);
  form.SetName("Pick");
  TButton inside(&owner);
  inside.SetName("Inside");
  inside.SetParent(&form);
  TButton outside(&owner);
  outside.SetName("Outside");
  outside.SetParent(&owner);
  form.SetActiveControl(&inside);
  EXPECT_EQ(form.ActiveControl(), &inside);
  try {
    form.SetActiveControl(&outside);
    FAIL() << "no error";
  } catch (const ERSError& e) {
    EXPECT_STREQ(e.what(), "'Outside' must be placed on 'Pick'");
  }
  EXPECT_EQ(form.ActiveControl(), &inside);
}

TEST(ToolForm, ResizingAppliesTheSizeOnSizingReturns) {
  EditForm f("toolform_sizing");
  PickVision v;
  v.form.OnSizing = [](TComponent*, TvpSizingInfo& info) { info.Width = std::max(info.Width, 200); };
  f.edit->SetVision(&v.vision);
  f.edit->ToggleDropDown(false);
  ASSERT_TRUE(v.form.IsOpen());
  v.form.HostSizing(170, 64);
  EXPECT_EQ(v.form.HostRect().Right - v.form.HostRect().Left, 200);
  EXPECT_TRUE(v.form.WidthChanged());
  EXPECT_FALSE(v.form.HeightChanged());
  v.form.Close(false, false);
  f.edit->SetVision(nullptr);
}

// The host's frame dragged with the mouse: the proposed size goes through
// OnSizing, the dragged sides take what it returns and the sides across
// from them stay. The side at the edit and the sides of a fixed size stay.
TEST(ToolForm, DraggingTheHostsFrameGoesThroughOnSizing) {
  struct Case {
    const char* what;
    TvtfOptions options;
    QPoint grip;  // where the frame is pressed: -1 left or top, 0 middle, 1 right or bottom
    QPoint by;    // how far it is dragged
    int width, height;   // the host's size afterwards
    bool width_changed, height_changed;
    bool right_stays, bottom_stays;
  };
  // The host opens 154 × 64 (150 × 60 inside a frame of two pixels).
  // OnSizing makes a width between 154 and 184 184, and keeps the height at most 94.
  const Case cases[] = {
      {"right edge out", {}, {1, 0}, {20, 0}, 184, 64, true, false, false, false},
      {"right edge further out", {}, {1, 0}, {60, 0}, 214, 64, true, false, false, false},
      {"left edge out", {}, {-1, 0}, {-20, 0}, 184, 64, true, false, true, false},
      {"bottom edge out, held at 94", {}, {0, 1}, {0, 60}, 154, 94, false, true, false, false},
      {"top edge, at the edit, stays", {}, {0, -1}, {0, -20}, 154, 64, false, false, false, false},
      {"corner with a fixed width", TvtfOptions{tfoFixedWidth}, {1, 1}, {60, 20}, 154, 84, false, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EditForm f("toolform_frame");
    PickVision v;
    v.form.SetOptions(c.options);
    std::vector<std::pair<int, int>> proposed;
    v.form.OnSizing = [&](TComponent*, TvpSizingInfo& info) {
      proposed.push_back({info.Width, info.Height});
      if (info.Width > 154 && info.Width < 184) info.Width = 184;
      info.Height = std::min(info.Height, 94);
    };
    f.edit->SetVision(&v.vision);
    f.edit->ToggleDropDown(false);
    ASSERT_TRUE(v.form.IsOpen());
    QWidget* window = v.form.Host()->Widget();
    const QRect before = window->geometry();
    ASSERT_EQ(before.size(), QSize(154, 64)) << "the drop width inside its frame";
    const auto along = [](int where, int size) { return where < 0 ? 0 : where > 0 ? size - 1 : size / 2; };
    const QPoint grip(along(c.grip.x(), before.width()), along(c.grip.y(), before.height()));
    // Over a side that may be dragged the pointer says so. (The test
    // library's moves without a button go to whatever window the platform
    // finds at the point: the move is sent to the host itself.)
    QMouseEvent hover(QEvent::MouseMove, grip, window->mapToGlobal(grip), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &hover);
    EXPECT_EQ(window->cursor().shape() != Qt::ArrowCursor, c.width_changed || c.height_changed);
    edit_support::DragFrame(window, grip, c.by);
    const QRect after = window->geometry();
    const bool moved = c.width_changed || c.height_changed;
    ASSERT_EQ(proposed.size(), moved ? 1u : 0u) << "once, for the frame the user dragged";
    if (moved) {
      EXPECT_EQ(proposed[0].first,
                c.options.Contains(tfoFixedWidth) ? before.width() : before.width() + std::abs(c.by.x()));
    }
    EXPECT_EQ(after.width(), c.width);
    EXPECT_EQ(after.height(), c.height);
    EXPECT_EQ(v.form.Host()->Width(), c.width);
    EXPECT_EQ(v.form.Host()->Height(), c.height);
    EXPECT_EQ(v.form.WidthChanged(), c.width_changed);
    EXPECT_EQ(v.form.HeightChanged(), c.height_changed);
    EXPECT_EQ(after.right() == before.right(), c.right_stays || c.width == before.width());
    EXPECT_EQ(after.left() == before.left(), !c.right_stays || c.width == before.width());
    EXPECT_EQ(after.bottom() == before.bottom(), c.bottom_stays || c.height == before.height());
    EXPECT_EQ(after.top() == before.top(), !c.bottom_stays || c.height == before.height());
    v.form.Close(false, false);
    f.edit->SetVision(nullptr);
  }
}

// The host is a top-most window without the window system's title bar or
// buttons, inside a frame of its own: one dark pixel, and a second one in
// its colour when it may be sized.
TEST(ToolForm, TheHostIsATopMostWindowInAFrameOfItsOwn) {
  const struct {
    const char* name;
    TvtfOptions options;
    int frame;
  } cases[] = {
      {"sizable, focusable", TvtfOptions{tfoFocusable}, 2},
      {"sizable, not focusable", TvtfOptions{}, 2},
      {"fixed", TvtfOptions{tfoFixedWidth, tfoFixedHeight}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EditForm f("toolform_host");
    PickVision v;
    v.form.SetOptions(c.options);
    v.form.SetColor(clYellow);
    f.edit->SetVision(&v.vision);
    bool checked = false;
    const auto check = [&] {
      checked = true;
      ASSERT_TRUE(v.form.IsOpen());
      QWidget* window = v.form.Host()->Widget();
      const Qt::WindowFlags flags = window->windowFlags();
      EXPECT_TRUE(flags & Qt::FramelessWindowHint);
      EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
      EXPECT_FALSE(flags & Qt::WindowTitleHint);
      EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint));
      EXPECT_EQ(v.form.Host()->ClientWidth(), 150);
      EXPECT_EQ(window->width(), 150 + 2 * c.frame);
      const QImage shot = window->grab().toImage();
      const int mid = shot.height() / 2;
      EXPECT_LT(qGray(shot.pixel(0, mid)), 80) << "the dark outer line";
      EXPECT_LT(qGray(shot.pixel(shot.width() - 1, mid)), 80);
      EXPECT_LT(qGray(shot.pixel(shot.width() / 2, 0)), 80);
      if (c.frame == 2) {
        EXPECT_EQ(QColor(shot.pixel(1, mid)), QColor(Qt::yellow)) << "the inner line in its colour";
      }
      v.form.Close(false, false);
    };
    if (c.options.Contains(tfoFocusable)) {
      QTimer::singleShot(0, check);
      f.edit->ToggleDropDown(false);
    } else {
      f.edit->ToggleDropDown(false);
      check();
    }
    EXPECT_TRUE(checked);
    EXPECT_FALSE(v.form.IsOpen());
    f.edit->SetVision(nullptr);
  }
}

}  // namespace edit_toolform_test
