// The platform calls the grid and the report reach through the toolkit: a
// control's client points on the screen.
#include <gtest/gtest.h>

#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace screen_test {

TEST(ScreenPoints, ClientPointsMoveWithTheControlAndItsForm) {
  TForm form(nullptr);
  form.SetBounds(120, 80, 300, 200);
  TButton button(&form);
  button.SetParent(&form);
  button.SetBounds(10, 20, 100, 30);
  form.Show();
  const TPoint client = form.ClientToScreen(TPoint{0, 0});
  const TPoint at = button.ClientToScreen(TPoint{5, 6});
  EXPECT_EQ(at, (TPoint{client.x + 15, client.y + 26}));

  button.SetBounds(40, 60, 100, 30);
  EXPECT_EQ(button.ClientToScreen(TPoint{5, 6}), (TPoint{client.x + 45, client.y + 66}));
  form.SetBounds(200, 150, 300, 200);
  const TPoint moved = form.ClientToScreen(TPoint{0, 0});
  EXPECT_EQ(moved.x - client.x, 80);
  EXPECT_EQ(moved.y - client.y, 70);
  EXPECT_EQ(button.ClientToScreen(TPoint{5, 6}), (TPoint{moved.x + 45, moved.y + 66}));
}

}  // namespace screen_test
