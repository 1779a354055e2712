// The shared environment: its image lists and the footer menu.
#include <vector>

#include <gtest/gtest.h>

#include "grid/rs_env.h"
#include "toolkit/ui/forms.h"

namespace str_env_test {

struct Env : ::testing::Test {
  void TearDown() override { FreeRsEnv(); }
};

TEST_F(Env, FooterItemsTakeTheirCaptionsFromTheTextsInStateOrder) {
  TrsEnv* env = rsEnv();
  ASSERT_NE(env, nullptr);
  EXPECT_EQ(rsEnv(), env) << "one environment per process";
  const struct {
    int state;
    TMenuItem* item;
    const char* caption;
  } cases[] = {
      {0, env->miAverage, "Average"}, {1, env->miCount, "Count"}, {2, env->miMax, "Maximum"},
      {3, env->miMin, "Minimum"},     {4, env->miSum, "Sum"},     {5, env->miNone, "None"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    EXPECT_EQ(env->MenuItemOf(c.state), c.item);
    EXPECT_EQ(c.item->Caption(), c.caption);
    EXPECT_EQ(c.item->Tag(), c.state);
  }
  EXPECT_EQ(env->MenuItemOf(6), nullptr);
  EXPECT_EQ(env->MenuItemOf(-1), nullptr);
  // Menu order: the five aggregates, the separator, None.
  TMenuItem& root = env->pumFooterMenu->Items();
  ASSERT_EQ(root.Count(), 7);
  EXPECT_EQ(root.Items(4), env->miSum);
  EXPECT_TRUE(root.Items(5)->IsLine());
  EXPECT_EQ(root.Items(6), env->miNone);
}

TEST_F(Env, SeparatorShowsExactlyWhenNoneDoes) {
  TrsEnv* env = rsEnv();
  for (bool none_visible : {false, true, false}) {
    SCOPED_TRACE(none_visible);
    env->miNone->SetVisible(none_visible);
    ASSERT_TRUE(env->pumFooterMenu->OnPopup);
    env->pumFooterMenu->OnPopup(env->pumFooterMenu);
    EXPECT_EQ(env->miSep1->Visible(), none_visible);
  }
}

// Stands in for the grid that pops the menu up.
class FooterClient : public TComponent, public IrsFooterMenuClient {
 public:
  FooterClient() : TComponent(nullptr) {}
  void FooterMenuItemClick(TMenuItem* item) override { states.push_back(item->Tag()); }
  std::vector<int> states;
};

TEST_F(Env, ChosenItemGoesToTheComponentThatPoppedTheMenuUp) {
  TrsEnv* env = rsEnv();
  FooterClient grid;
  env->miMax->Click();  // no popup component: nobody to tell
  env->pumFooterMenu->SetPopupComponent(&grid);
  env->miMax->Click();
  env->miNone->Click();
  EXPECT_EQ(grid.states, (std::vector<int>{2, 5}));
  TComponent other(nullptr);
  env->pumFooterMenu->SetPopupComponent(&other);  // not a grid: ignored
  env->miSum->Click();
  EXPECT_EQ(grid.states.size(), 2u);
  env->pumFooterMenu->SetPopupComponent(nullptr);
}

TEST_F(Env, ImageListsHaveTheirSizesAndPictures) {
  TrsEnv* env = rsEnv();
  const struct {
    TImageList* list;
    int width, height, min_count;
  } cases[] = {
      {env->ArrowsYwImgs, 15, 15, 4}, {env->ArrowsGrImgs, 15, 15, 4}, {env->TitleStateImgs, 10, 9, 2},
      {env->FooterStateImgs, 16, 16, 5}, {env->BlobMarkers, 16, 16, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list->Name());
    EXPECT_EQ(c.list->Width(), c.width);
    EXPECT_EQ(c.list->Height(), c.height);
    EXPECT_GE(c.list->Count(), c.min_count);
    TBitmap picture;
    ASSERT_TRUE(c.list->GetBitmap(0, picture));
    EXPECT_EQ(picture.Width(), c.width);
    EXPECT_EQ(picture.Height(), c.height);
  }
}

TEST_F(Env, FreedAndMadeAgain) {
  TrsEnv* first = rsEnv();
  FreeRsEnv();
  FreeRsEnv();  // twice is harmless
  TrsEnv* second = rsEnv();
  EXPECT_NE(second, nullptr);
  EXPECT_EQ(second->miMax->Caption(), "Maximum");
  (void)first;
}

}  // namespace str_env_test
