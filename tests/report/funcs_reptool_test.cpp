// reptool expr and script: values of report expressions with the function
// libraries in the Russian locale, and the variables a script leaves.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/testsupport.h"

namespace funcs_reptool_test {

using testsupport::RunCommand;

std::string Reptool() { return std::string(KIV7_BINARY_DIR) + "/tools/reptool/reptool"; }

// Quotes a text for the shell.
std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

TEST(ReptoolExpr, StandardFunctionsGiveTheseTexts) {
  const struct {
    const char* expression;
    const char* output;
  } cases[] = {
      {"DAYOF(STRTODATE('05.03.2024'))", "5\n"},
      {"YEAROF(STRTODATE('05.03.2024'))", "2024\n"},
      {"FORMATDATETIME('d mmmm yyyy', STRTODATE('05.03.2024'))", "5 Март 2024\n"},
      {"FORMATFLOAT('0.00', 3.14159)", "3,14\n"},
      {"FORMATFLOAT('0.00', 7/2)", "3,50\n"},
      {"NAMECASE('иВАНОВ') + ' ' + UPPERCASE('ё')", "Иванов Ё\n"},
      {"POS('b', 'abc') + LENGTH('')", "2\n"},
      {"MAXNUM(2, 3) * MINNUM(2, 2)", "6\n"},
      {"FORMATTEXT('000-000', '123456')", "123-456\n"},
      {"[mrOk]", "1\n"},
      {"[clTransparent]", "536870911\n"},
      {"[CRLF]", "\r\n\n"},
      {"[1 + 2] * 2", "6\n"},
      {"FORMATDATETIME('dd.mm.yyyy', [DATE]) = FORMATDATETIME('dd.mm.yyyy', [DATE])", "1\n"},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(RunCommand(Reptool() + " expr " + Quoted(c.expression), &out), 0) << c.expression;
    EXPECT_EQ(out, c.output) << c.expression;
  }
}

TEST(ReptoolExpr, BadExpressionsAreRefusedWithAMessage) {
  for (const char* expression : {"NOSUCHNAME", "NOSUCHFUNCTION(1)", "1 +", "DAYOF('x')"}) {
    std::string out;
    EXPECT_EQ(RunCommand(Reptool() + " expr " + Quoted(expression) + " 2>&1", &out), 1) << expression;
    EXPECT_NE(out.find("reptool: "), std::string::npos) << expression << ": " << out;
  }
  std::string out;
  EXPECT_EQ(RunCommand(Reptool() + " expr 2>/dev/null", &out), 2);
}

TEST(ReptoolScript, PrintsTheVariablesInNameOrder) {
  const std::string dir = testsupport::TempDir("reptool_script");
  testsupport::WriteFile(dir + "/sum.txt",
                         "begin\n"
                         "  { the sum of 1..n }\n"
                         "  n := 4; s := 0;\n"
                         "  for i := 1 to n do s := s + i;\n"
                         "  if s > 5 then Имя := 'много' else Имя := 'мало';\n"
                         "  b := 1; while b < 100 do b := b * 3 // powers of three\n"
                         "end\n");
  std::string out;
  ASSERT_EQ(RunCommand(Reptool() + " script " + dir + "/sum.txt", &out), 0);
  EXPECT_EQ(out, "b=243\ni=5\nn=4\ns=10\nИмя=много\n");

  testsupport::WriteFile(dir + "/bad.txt", "begin\n  a := 1;\n  b = 2\nend\n");
  ASSERT_EQ(RunCommand(Reptool() + " script " + dir + "/bad.txt 2>&1", &out), 1);
  EXPECT_EQ(out, "Line 3/5: Need \":=\" here\n");

  EXPECT_EQ(RunCommand(Reptool() + " script " + dir + "/missing.txt 2>/dev/null", &out), 1);
}

}  // namespace funcs_reptool_test
