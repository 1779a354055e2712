// Dragging a control onto another with the mouse: the source starts the
// drag, the control under the pointer hears it come, move and go, and only a
// target that accepted gets the drop. Real press, move and release events.
#include <gtest/gtest.h>

#include <QTest>
#include <QWidget>

#include <string>
#include <vector>

#include "toolkit/ui/customctrl.h"
#include "toolkit/ui/forms.h"

namespace dragdrop_test {

using Log = std::vector<std::string>;

// A control that starts a drag from its press (Immediate or by threshold).
class Source : public TCustomControl {
 public:
  Source(TComponent* owner, Log& log) : TCustomControl(owner), log_(log) {}
  bool immediate = false;
  int threshold = -1;
  int moves = 0;
  bool released = false;

 protected:
  void MouseDown(TMouseButton, TShiftState, int, int) override { BeginDrag(immediate, threshold); }
  void MouseMove(TShiftState, int, int) override { ++moves; }
  void MouseUp(TMouseButton, TShiftState, int, int) override { released = true; }

 private:
  Log& log_;
};

std::string StateName(TDragState s) { return s == dsDragEnter ? "enter" : s == dsDragMove ? "move" : "leave"; }

struct Stage {
  Stage() {
    form.SetBounds(0, 0, 400, 200);
    source->SetParent(&form);
    source->SetBounds(0, 0, 100, 100);
    target->SetParent(&form);
    target->SetBounds(200, 0, 100, 100);
    source->OnStartDrag = [this](TComponent*) { log.push_back("start"); };
    source->OnEndDrag = [this](TComponent*, TComponent* t, int x, int y) {
      log.push_back(std::string("end ") + (t == target ? "target" : t == nullptr ? "none" : "?") + " " +
                    std::to_string(x) + "," + std::to_string(y));
    };
    target->OnDragOver = [this](TComponent*, TComponent* from, int x, int y, TDragState s, bool& accept) {
      EXPECT_EQ(from, source);
      log.push_back(StateName(s) + " " + std::to_string(x) + "," + std::to_string(y));
      accept = accepts;
    };
    target->OnDragDrop = [this](TComponent*, TComponent* from, int x, int y) {
      EXPECT_EQ(from, source);
      log.push_back("drop " + std::to_string(x) + "," + std::to_string(y));
    };
    form.Show();
  }
  ~Stage() {
    if (source != nullptr) source->SetParent(nullptr);
    target->SetParent(nullptr);
  }
  QWidget* S() const { return source->Widget(); }
  // A press on the source, moves over the target in the source's coordinates.
  void Press() {
    QTest::mouseMove(S(), QPoint(50, 50));
    QTest::mousePress(S(), Qt::LeftButton, {}, QPoint(50, 50));
  }
  void Move(QPoint at) {
    QMouseEvent e(QEvent::MouseMove, QPointF(at), QPointF(S()->mapToGlobal(at)), Qt::NoButton, Qt::LeftButton,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(S(), &e);
  }
  void Release(QPoint at) { QTest::mouseRelease(S(), Qt::LeftButton, {}, at); }

  Log log;
  bool accepts = true;
  TForm form{nullptr};
  Source* source = new Source(&form, log);
  TCustomControl* target = new TCustomControl(&form);
};

TEST(DragDrop, AnAcceptedDragIsDroppedWhereTheButtonIsReleased) {
  Stage s;
  s.source->immediate = true;
  s.Press();
  EXPECT_TRUE(s.source->Dragging());
  const int moves_before = s.source->moves;
  s.Move(QPoint(230, 40));
  s.Move(QPoint(240, 45));
  s.Release(QPoint(240, 45));
  EXPECT_EQ(s.log, (Log{"start", "enter 30,40", "move 40,45", "drop 40,45", "end target 40,45"}));
  EXPECT_FALSE(s.source->Dragging());
  EXPECT_EQ(s.source->moves, moves_before) << "the moves of a drag belong to the drag";
  EXPECT_TRUE(s.source->released) << "the source still hears its release";
}

TEST(DragDrop, ARefusedOrCancelledDragIsNotDropped) {
  struct Case {
    const char* name;
    bool accepts;
    bool escape;
    bool back_home;  // the pointer goes back onto the source before the end
    Log expected;
  };
  const Case cases[] = {
      {"refused", false, false, false, {"start", "enter 30,40", "leave 30,40", "end none 0,0"}},
      {"Escape", true, true, false, {"start", "enter 30,40", "leave 30,40", "end none 0,0"}},
      {"left the target", true, false, true, {"start", "enter 30,40", "leave -190,10", "end none 0,0"}},
  };
  for (const Case& c : cases) {
    Stage s;
    s.accepts = c.accepts;
    s.source->immediate = true;
    s.Press();
    s.Move(QPoint(230, 40));
    if (c.back_home) s.Move(QPoint(10, 10));
    if (c.escape) QTest::keyClick(s.S(), Qt::Key_Escape);
    s.Release(c.back_home ? QPoint(10, 10) : QPoint(230, 40));
    EXPECT_EQ(s.log, c.expected) << c.name;
    EXPECT_FALSE(s.source->Dragging()) << c.name;
  }
}

TEST(DragDrop, ADragByThresholdStartsOnlyOnceThePointerMovedFarEnough) {
  Stage s;
  s.source->threshold = 5;
  s.Press();
  EXPECT_FALSE(s.source->Dragging());
  // Bringing the pointer to the press point is a move of its own only when
  // an earlier test left the pointer elsewhere.
  const int moves_before = s.source->moves;
  s.Move(QPoint(53, 52));
  EXPECT_EQ(s.source->moves, moves_before + 1) << "within the threshold the control has its moves";
  EXPECT_TRUE(s.log.empty());
  s.Move(QPoint(230, 40));
  EXPECT_TRUE(s.source->Dragging());
  s.Release(QPoint(230, 40));
  EXPECT_EQ(s.log, (Log{"start", "enter 30,40", "drop 30,40", "end target 30,40"}));
}

TEST(DragDrop, ASourceFreedDuringItsDragEndsIt) {
  Stage s;
  s.source->immediate = true;
  s.Press();
  s.Move(QPoint(230, 40));
  delete s.source;
  s.source = nullptr;
  s.target->OnDragOver = nullptr;
  // A new drag can start: nothing of the freed one is left.
  auto* other = new Source(&s.form, s.log);
  other->SetParent(&s.form);
  other->SetBounds(0, 100, 50, 50);
  other->BeginDrag(true);
  EXPECT_TRUE(other->Dragging());
  other->EndDrag(false);
  EXPECT_FALSE(other->Dragging());
  other->SetParent(nullptr);
}

}  // namespace dragdrop_test
