// The program's windows need the application object before any form or timer.
#include <gtest/gtest.h>

#include "toolkit/ui/forms.h"

namespace {

class AppGuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { Application->Initialize(); }
};
[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new AppGuiEnvironment);

}  // namespace
