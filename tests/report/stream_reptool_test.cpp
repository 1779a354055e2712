// reptool template: a list template made from the command line lists every
// band and object where it was put, with its text, and copies through the
// stream reader and writer to the same bytes; bad command lines and damaged
// files are refused with a message.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace stream_reptool_test {

std::string Reptool() { return std::string(KIV7_BINARY_DIR) + "/tools/reptool/reptool"; }

int RunReptool(const std::string& args, std::string* out) {
  return testsupport::RunCommand("QT_QPA_PLATFORM=offscreen " + Reptool() + " " + args + " 2>/dev/null", out);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ReptoolTemplate, NewListTemplateDumpsWhereEverythingWasPutAndCopiesToTheSameBytes) {
  const std::string dir = testsupport::TempDir("reptool_template");
  const std::string made = dir + "/list.frf", copied = dir + "/copy.frf";
  std::string out;
  ASSERT_EQ(RunReptool("template new " + made +
                    " --title 'Протокол испытаний' --heads 'N;Дата;Прочность' --fields 'N;DATE;R' --source Dbf1",
                &out),
            0);
  ASSERT_EQ(RunReptool("template dump " + made, &out), 0);
  // A4 on the virtual printer is 758 x 1071 page pixels; the three columns
  // share the 718 pixels between the side margins of 20.
  EXPECT_EQ(Lines(out), (std::vector<std::string>{
                            "page\t\t0 0 758 1071\t",
                            "band\tBand1\t0 20 758 40\tReport title",
                            "memo\tMemo1\t20 22 718 36\tПротокол испытаний",
                            "band\tBand2\t0 80 758 24\tPage header",
                            "memo\tMemo2\t20 80 239 24\tN",
                            "memo\tMemo3\t259 80 239 24\tДата",
                            "memo\tMemo4\t498 80 239 24\tПрочность",
                            "band\tBand3\t0 124 758 20\tMaster data on Dbf1",
                            "memo\tMemo5\t20 124 239 20\t[Dbf1.\"N\"]",
                            "memo\tMemo6\t259 124 239 20\t[Dbf1.\"DATE\"]",
                            "memo\tMemo7\t498 124 239 20\t[Dbf1.\"R\"]",
                            "band\tBand4\t0 1007 758 24\tPage footer",
                            "memo\tMemo8\t20 1009 718 20\tСтр. [PAGE#] из [TOTALPAGES]",
                        }));
  ASSERT_EQ(RunReptool("template copy " + made + " " + copied, &out), 0);
  const std::string bytes = testsupport::ReadFile(made);
  EXPECT_FALSE(bytes.empty());
  EXPECT_EQ(testsupport::ReadFile(copied), bytes);
}

TEST(ReptoolTemplate, BadCommandLinesAndFilesAreRefused) {
  const std::string dir = testsupport::TempDir("reptool_template_bad");
  testsupport::WriteFile(dir + "/newer.frf", std::string("\x1A\x00\x00\x00\x00\x00\x00\x00", 8));
  testsupport::WriteFile(dir + "/tag.frf", std::string("\x19\x00\x00\x00\x00\x00\x00\x00\x0B", 9));
  const struct {
    const char* args;
    int status;
  } cases[] = {
      {"template", 2},
      {"template sort x.frf", 2},
      {"template new OUT.frf --title T --heads 'A;B' --fields 'A'", 2},
      {"template new OUT.frf --title T --heads 'A'", 2},
      {"template new OUT.frf --title T --heads A --fields A --colour red", 2},
      {"template dump", 2},
      {"template dump /nonexistent/x.frf", 1},
      {"template dump NEWER", 1},
      {"template dump TAG", 1},
      {"template copy NEWER OUT2.frf", 1},
  };
  for (const auto& c : cases) {
    std::string args = c.args;
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"NEWER", dir + "/newer.frf"},
                                   {"TAG", dir + "/tag.frf"},
                                   {"OUT.frf", dir + "/out.frf"},
                                   {"OUT2.frf", dir + "/out2.frf"}}) {
      const size_t at = args.find(from);
      if (at != std::string::npos) args.replace(at, from.size(), to);
    }
    SCOPED_TRACE(args);
    std::string out;
    EXPECT_EQ(RunReptool(args, &out), c.status);
  }
  std::string out;
  EXPECT_NE(testsupport::RunCommand("test -e " + dir + "/out.frf", &out), 0) << "nothing made by a refused command";
  EXPECT_NE(testsupport::RunCommand("test -e " + dir + "/out2.frf", &out), 0) << "nothing copied from a refused file";
}

}  // namespace stream_reptool_test
