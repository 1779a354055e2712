// Every report test runs on a machine without printers, whatever printers the
// machine running them has: the process's printer object knows none, so the
// printer layer offers the virtual printer alone. Tests that want printers
// install their own (printer_support.h).
#include <gtest/gtest.h>

#include "tests/report/printer_support.h"

namespace printer_environment {

// The units' shut-down between suites frees the printer object, so each suite
// installs the one without printers again.
class NoSystemPrinters : public ::testing::EmptyTestEventListener {
 public:
  void OnTestSuiteStart(const ::testing::TestSuite&) override {
    SetPrinter(std::make_unique<TPrinter>(
        std::make_unique<printer_test::FakePrinters>(std::vector<printer_test::FakeDevice>{})));
    FreeGlobalPrinterLayer();
  }
};

const bool kListening = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new NoSystemPrinters);
  return true;
}();

}  // namespace printer_environment
