// The scroll bar control: its position stays within its range, every change
// of it is told once, and a drag of the thumb reaches the program.
#include <gtest/gtest.h>

#include <QScrollBar>

#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace scrollbar_test {

TEST(ScrollBar, PositionStaysInRangeAndEachChangeIsToldOnce) {
  TForm form(nullptr);
  auto* bar = new TScrollBar(&form);
  bar->SetParent(&form);
  int changes = 0;
  bar->OnChange = [&](TComponent*) { ++changes; };
  bar->SetMax(500);
  struct Step {
    int to;
    int position;
    int changes;
  };
  const Step steps[] = {{200, 200, 1}, {200, 200, 1}, {900, 500, 2}, {-5, 0, 3}, {0, 0, 3}};
  for (const Step& s : steps) {
    bar->SetPosition(s.to);
    EXPECT_EQ(bar->Position(), s.position) << s.to;
    EXPECT_EQ(changes, s.changes) << s.to;
  }
  // A narrower range takes the position with it.
  bar->SetPosition(400);
  bar->SetMax(100);
  EXPECT_EQ(bar->Position(), 100);
  EXPECT_EQ(changes, 5);
  // A maximum below the minimum is the minimum.
  bar->SetParams(50, 30, 10);
  EXPECT_EQ(bar->Min(), 30);
  EXPECT_EQ(bar->Max(), 30);
  EXPECT_EQ(bar->Position(), 30);
}

TEST(ScrollBar, TheUsersMoveReachesTheProgram) {
  TForm form(nullptr);
  auto* bar = new TScrollBar(&form);
  bar->SetParent(&form);
  bar->SetKind(sbVertical);
  bar->SetMax(1000);
  bar->SetSmallChange(10);
  bar->SetLargeChange(200);
  int seen = -1;
  bar->OnChange = [&](TComponent*) { seen = bar->Position(); };
  auto* widget = static_cast<QScrollBar*>(bar->Widget());
  EXPECT_EQ(widget->orientation(), Qt::Vertical);
  EXPECT_EQ(widget->pageStep(), 200);
  widget->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(bar->Position(), 200);
  EXPECT_EQ(seen, 200);
  widget->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(seen, 190);
}

}  // namespace scrollbar_test
