// Every report test runs on a machine without printers, whatever printers the
// machine running them has: the process's printer object knows none, so the
// printer layer offers the virtual printer alone. Tests that want printers
// install their own (printer_support.h).
#include <gtest/gtest.h>

#include "tests/report/printer_support.h"

namespace printer_environment {

class NoSystemPrinters : public ::testing::Environment {
 public:
  void SetUp() override {
    SetPrinter(std::make_unique<TPrinter>(
        std::make_unique<printer_test::FakePrinters>(std::vector<printer_test::FakeDevice>{})));
    FreeGlobalPrinterLayer();
  }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new NoSystemPrinters);

}  // namespace printer_environment
