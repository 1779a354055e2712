// Measuring and drawing text needs the GUI library's application object; the
// report tests share one for the whole run.
#include <gtest/gtest.h>

#include <QApplication>

namespace {

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_report";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) app_ = new QApplication(argc, argv);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

}  // namespace
