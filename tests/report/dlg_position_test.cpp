// Window positions of the report library's windows kept in the settings
// store: saved under "Software\ReportEngine", section "Form\" + class name,
// and taken back when the window opens again.
#include <gtest/gtest.h>

#include <string>

#include "report/fr_ctrls.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/sys/settings.h"
#include "toolkit/ui/forms.h"

namespace dlg_position_test {

namespace {

class TPreviewLikeForm : public TForm {
  KIV7_PERSISTENT(TPreviewLikeForm)
 public:
  explicit TPreviewLikeForm(TComponent* owner) : TForm(owner) {
    SetBounds(40, 30, 700, 500);
    SetWindowState(wsMaximized);
  }
};

}  // namespace

const TClassInfo& TPreviewLikeForm::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TPreviewLikeForm>, "TPreviewLikeForm", &TComponent::StaticClassInfo(),
                               [](TPublisher<TPreviewLikeForm>&) {});
  return info;
}

namespace {

struct FormPosition : ::testing::Test {
  std::string path = testsupport::TempDir("form_position") + "/kiv7.ini";
};

TEST_F(FormPosition, AMovedWindowComesBackWhereItWas) {
  {
    TPreviewLikeForm form(nullptr);
    form.SetWindowState(wsNormal);
    form.SetBounds(120, 80, 640, 420);
    SaveFormPosition(form, path);
  }
  TRegistry reg(path);
  ASSERT_TRUE(reg.OpenKey("\\Software\\ReportEngine\\Form\\TPreviewLikeForm", false));
  EXPECT_EQ(reg.ReadInteger("XPosition"), 120);
  EXPECT_EQ(reg.ReadInteger("YPosition"), 80);
  EXPECT_EQ(reg.ReadInteger("Width"), 640);
  EXPECT_EQ(reg.ReadInteger("Height"), 420);
  EXPECT_EQ(reg.ReadInteger("Maximized"), 0);

  TPreviewLikeForm again(nullptr);
  RestoreFormPosition(again, path);
  EXPECT_EQ(again.WindowState(), wsNormal);
  EXPECT_EQ(again.Left(), 120);
  EXPECT_EQ(again.Top(), 80);
  EXPECT_EQ(again.Width(), 640);
  EXPECT_EQ(again.Height(), 420);
}

TEST_F(FormPosition, NothingSavedKeepsTheDesignedBoundsAndState) {
  TPreviewLikeForm form(nullptr);
  RestoreFormPosition(form, path);
  EXPECT_EQ(form.WindowState(), wsMaximized);
  EXPECT_EQ(form.Left(), 40);
  EXPECT_EQ(form.Top(), 30);
  EXPECT_EQ(form.Width(), 700);
  EXPECT_EQ(form.Height(), 500);
}

TEST_F(FormPosition, AMaximizedWindowStaysMaximizedAndBadValuesKeepTheFormsOwn) {
  TRegistry reg(path);
  ASSERT_TRUE(reg.OpenKey("\\Software\\ReportEngine\\Form\\TPreviewLikeForm", true));
  reg.WriteInteger("Maximized", 1);
  reg.WriteString("XPosition", "left");
  reg.WriteInteger("YPosition", 15);
  reg.WriteInteger("Width", 0);
  reg.WriteInteger("Height", -300);
  TPreviewLikeForm form(nullptr);
  RestoreFormPosition(form, path);
  EXPECT_EQ(form.WindowState(), wsMaximized);
  EXPECT_EQ(form.Left(), 40);
  EXPECT_EQ(form.Top(), 15);
  EXPECT_EQ(form.Width(), 700);
  EXPECT_EQ(form.Height(), 500);
}

}  // namespace

}  // namespace dlg_position_test
