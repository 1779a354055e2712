// reptool template xml: the XML written for a list template made from the
// command line is read by python3's XML parser, names every object with its
// text (markup characters and Cyrillic included) and every band with its
// record source; bad command lines and files are refused and leave no file.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace xml_reptool_test {

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

// Lists the parsed document: the root's tag, then per page and object its
// tag, name and text (Memo.text, or a band's DataSet), line breaks as "\n".
constexpr const char* kLister = R"(import sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
out = [root.tag]
for page in root:
    out.append(page.tag + "\t" + page.get("Name"))
    for view in page:
        text = view.get("Memo.text", view.get("DataSet", ""))
        out.append("\t".join([view.tag, view.get("Name"), text.replace("\r\n", "\\n")]))
sys.stdout.buffer.write(("\n".join(out) + "\n").encode("utf-8"))
)";

TEST(ReptoolTemplateXml, TheXmlOfANewListTemplateIsReadByAnXmlParserWithEveryText) {
  const std::string dir = testsupport::TempDir("reptool_template_xml");
  const std::string made = dir + "/list.frf", xml = dir + "/list.xml", lister = dir + "/list.py";
  testsupport::WriteFile(lister, kLister);
  std::string out;
  ASSERT_EQ(RunReptool("template new " + made +
                           " --title 'Протокол <№ 5> & \"итоги\"' --heads 'N;Дата<&>;\"R\"' --fields 'N;DATE;R' "
                           "--source Dbf1",
                       &out),
            0);
  ASSERT_EQ(RunReptool("template xml " + made + " " + xml, &out), 0);
  const std::string bytes = testsupport::ReadFile(xml);
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n", 0), 0u);
  // The file holds the code page's bytes ("П" is 0xCF), not UTF-8.
  EXPECT_NE(bytes.find("\xCF\xF0\xEE\xF2\xEE\xEA\xEE\xEB"), std::string::npos);

  ASSERT_EQ(testsupport::RunCommand(std::string(testsupport::Python()) + " " + lister + " " + xml + " 2>&1", &out), 0) << out;
  EXPECT_EQ(Lines(out), (std::vector<std::string>{
                            "TfrReport",
                            "TfrReportPage\tPage1",
                            "TfrReportTitle\tBand1\t",
                            "TfrMemoView\tMemo1\tПротокол <№ 5> & \"итоги\"",
                            "TfrPageHeader\tBand2\t",
                            "TfrMemoView\tMemo2\tN",
                            "TfrMemoView\tMemo3\tДата<&>",
                            "TfrMemoView\tMemo4\t\"R\"",
                            "TfrMasterData\tBand3\tDbf1",
                            "TfrMemoView\tMemo5\t[Dbf1.\"N\"]",
                            "TfrMemoView\tMemo6\t[Dbf1.\"DATE\"]",
                            "TfrMemoView\tMemo7\t[Dbf1.\"R\"]",
                            "TfrPageFooter\tBand4\t",
                            "TfrMemoView\tMemo8\tСтр. [PAGE#] из [TOTALPAGES]",
                        }));
}

TEST(ReptoolTemplateXml, BadCommandLinesAndFilesAreRefusedWithoutAFile) {
  const std::string dir = testsupport::TempDir("reptool_template_xml_bad");
  testsupport::WriteFile(dir + "/newer.frf", std::string("\x1A\x00\x00\x00\x00\x00\x00\x00", 8));
  const std::string xml = dir + "/out.xml";
  const struct {
    std::string args;
    int status;
  } cases[] = {
      {"template xml", 2},
      {"template xml " + dir + "/newer.frf", 2},
      {"template xml " + dir + "/newer.frf " + xml + " extra", 2},
      {"template xml " + dir + "/missing.frf " + xml, 1},
      {"template xml " + dir + "/newer.frf " + xml, 1},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(RunReptool(c.args, &out), c.status) << c.args;
    EXPECT_FALSE(std::filesystem::exists(xml)) << c.args;
  }
}

}  // namespace xml_reptool_test
