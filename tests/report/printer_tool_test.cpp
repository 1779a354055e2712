// reptool printers: the printers of the machine as the report engine offers
// them, with the PDF printer standing in for the system's.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace printer_tool_test {

std::string Reptool() { return std::string(KIV7_BINARY_DIR) + "/tools/reptool/reptool"; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int Count(const std::vector<std::string>& lines, const std::string& prefix, size_t from, size_t to) {
  int n = 0;
  for (size_t i = from; i < to; ++i) n += lines[i].rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}

TEST(ReptoolPrinters, ThePdfPrinterWithItsPapersThenTheVirtualPrinter) {
  const std::string folder = testsupport::TempDir("pdf");
  std::string out;
  ASSERT_EQ(testsupport::RunCommand("KIV7_PRINT_TO_PDF='" + folder + "' " + Reptool() + " printers", &out), 0);
  const std::vector<std::string> lines = Lines(out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "printer\t0\tPDF\tcurrent");
  size_t virtual_at = 0;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind("printer\t1\t", 0) == 0) virtual_at = i;
  ASSERT_GT(virtual_at, 0u) << out;
  EXPECT_EQ(lines[virtual_at], "printer\t1\tВиртуальный принтер");
  EXPECT_GT(Count(lines, "paper\t", 1, virtual_at), 20);
  EXPECT_NE(std::find(lines.begin(), lines.begin() + static_cast<long>(virtual_at), "paper\t9\t2100x2970\tA4"),
            lines.begin() + static_cast<long>(virtual_at));
  // The virtual printer's table: 67 sizes without names, the custom one last.
  EXPECT_EQ(Count(lines, "paper\t", virtual_at + 1, lines.size()), 67);
  EXPECT_EQ(lines[virtual_at + 9], "paper\t9\t2100x2970\t");
  EXPECT_EQ(lines.back(), "paper\t256\t0x0\t");
}

TEST(ReptoolPrinters, ExtraArgumentsAreRefused) {
  std::string out;
  EXPECT_EQ(testsupport::RunCommand(Reptool() + " printers now 2>&1", &out), 2);
  EXPECT_NE(out.find("usage: reptool printers"), std::string::npos) << out;
}

}  // namespace printer_tool_test
