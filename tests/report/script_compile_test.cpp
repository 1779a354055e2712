// The script interpreter: compiled lines, runs, syntax errors and limits.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "report/fr_intrp.h"
#include "toolkit/core/text.h"

namespace script_compile_test {

// Shows control bytes of a compiled line as \N so failures can be read.
std::string Readable(const std::string& line) {
  std::string out;
  for (char c : line) {
    if (static_cast<unsigned char>(c) < 32)
      out += "\\" + std::to_string(static_cast<int>(static_cast<unsigned char>(c)));
    else
      out += c;
  }
  return out;
}

std::vector<std::string> Lines(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(Readable(list.Strings(i)));
  return out;
}

// An interpreter whose names live in a map; calls are recorded and answer 0.
class MapInterpreter : public TfrInterpretator {
 public:
  void ReadScriptVariable(const AnsiString& name, Variant& value) override {
    const auto it = vars.find(AnsiUpperCase(name));
    if (it != vars.end()) value = it->second;
  }
  void WriteScriptVariable(const AnsiString& name, const Variant& value) override {
    vars[AnsiUpperCase(name)] = value;
    writes.push_back(AnsiUpperCase(name));
  }
  void CallScriptFunction(const AnsiString& name, const Variant& p1, const Variant&, const Variant&,
                          Variant& value) override {
    calls.push_back(name + "(" + VarToStr(p1) + ")");
    value = 0;
  }

  // Compiles; the errors must be empty.
  void Compile(const std::string& text) {
    TStringList source;
    source.SetText(text);
    CompileScript(source, script, errors);
    ASSERT_EQ(errors.Count(), 0) << errors.Strings(0);
  }
  int Int(const char* name) { return vars[name].AsInteger(); }

  std::map<AnsiString, Variant> vars;
  std::vector<AnsiString> writes;
  std::vector<AnsiString> calls;
  TStringList script, errors;
};

TEST(ScriptCompile, StatementsBecomeTheseLines) {
  const struct {
    const char* source;
    std::vector<std::string> lines;
  } cases[] = {
      {"begin a := 1; while a < 3 do a := a + 1 end",
       {"a 1 ", "\\1\\4\\0a 3 <", "a a 1 +", "\\2\\1\\0"}},
      {"begin if [PAGE#] = 1 then ShowBand(Title) else exit; end",
       {"\\1\\3\\0[PAGE#] 1 =", "\\3ShowBand(Title)", "\\2\\4\\0", "\\3exit(0)"}},
      {"if a > 1 then b := 2", {"\\1\\2\\0a 1 >", "b 2 "}},
      {"for i := 1 to n do s := s + i",
       {"i 1 ", "\\1\\5\\0i n \\2", "s s i +", "i i 1 +", "\\2\\1\\0"}},
      {"repeat a := a + 1 until a >= 5", {"a a 1 +", "\\1\\0\\0a 5 \\1"}},
      {"begin 10: a := a + 1; goto 10 end", {"a a 1 +", "\\2\\0\\0"}},
      {"begin a := 1; 20: b := 2; goto 20 end", {"a 1 ", "b 2 ", "\\2\\1\\0"}},
      {"Arr[2] := 5", {"\\3SETARRAY(Arr, 2, 5)"}},
      {"begin Refresh; end", {"\\3Refresh(0)"}},
      {"begin if a = 1 then Refresh else Reset end", {"\\1\\3\\0a 1 =", "\\3Refresh(0)", "\\2\\4\\0", "\\3Reset(0)"}},
      {"Refresh", {"\\3Refresh(0)"}},
      // Only the first statement of a source is compiled.
      {"a := 1 b := 2", {"a 1 "}},
      {"begin a := 1 end", {"a 1 "}},
      {"begin a := 1; end", {"a 1 "}},
      {"begin end", {}},
      {"", {}},
      {"begin { note } a := 1 // rest of line\r\n; b := 'x''y' end", {"a 1 ", "b 'x''y' "}},
      {"begin\tMemo1.Visible := 0 end", {"Memo1.Visible 0 "}},
      {"begin begin a := 1 end; b := 2 end", {"a 1 ", "b 2 "}},
  };
  for (const auto& c : cases) {
    MapInterpreter interpreter;
    TStringList source, script, errors;
    source.SetText(c.source);
    interpreter.CompileScript(source, script, errors);
    EXPECT_EQ(errors.Count(), 0) << c.source << ": " << (errors.Count() ? errors.Strings(0) : "");
    EXPECT_EQ(Lines(script), c.lines) << c.source;
  }
}

TEST(ScriptRun, LoopsBranchesAndJumpsLeaveTheseValues) {
  const struct {
    const char* source;
    std::map<AnsiString, int> expected;
  } cases[] = {
      {"begin a := 1; while a < 3 do a := a + 1 end", {{"A", 3}}},
      {"begin s := 0; for i := 1 to 3 do s := s + 1 end", {{"S", 3}, {"I", 4}}},
      {"begin s := 0; for i := 5 to 3 do s := s + 1 end", {{"S", 0}, {"I", 5}}},
      {"begin n := 0; repeat n := n + 2 until n >= 7 end", {{"N", 8}}},
      {"begin a := 0; 10: a := a + 1; if a < 4 then goto 10 end", {{"A", 4}}},
      {"begin a := 1; if a = 1 then b := 10 else b := 20 end", {{"A", 1}, {"B", 10}}},
      {"begin a := 2; if a = 1 then b := 10 else b := 20 end", {{"A", 2}, {"B", 20}}},
      {"begin a := 1; exit; a := 2 end", {{"A", 1}}},
      {"begin s := 0; for i := 1 to 3 do for j := 1 to i do s := s + j end", {{"S", 10}, {"I", 4}, {"J", 4}}},
      // The limit is evaluated on every round.
      {"begin n := 3; c := 0; for i := 1 to n do begin n := n - 1; c := c + 1 end end", {{"C", 2}}},
  };
  for (const auto& c : cases) {
    MapInterpreter interpreter;
    interpreter.Compile(c.source);
    interpreter.RunScript(interpreter.script);
    for (const auto& [name, value] : c.expected) EXPECT_EQ(interpreter.Int(name.c_str()), value) << c.source << " " << name;
  }
}

TEST(ScriptRun, CallsGoToTheCallbackAndExitEndsTheRun) {
  MapInterpreter interpreter;
  interpreter.vars["PAGE#"] = 1;
  interpreter.Compile("begin if [PAGE#] = 1 then ShowBand(Title) else exit; Done(1) end");
  interpreter.RunScript(interpreter.script);
  EXPECT_EQ(interpreter.calls, (std::vector<AnsiString>{"SHOWBAND(Title)", "DONE(1)"}));

  interpreter.calls.clear();
  interpreter.vars["PAGE#"] = 2;
  interpreter.RunScript(interpreter.script);  // a compiled script runs again
  EXPECT_TRUE(interpreter.calls.empty());
}

TEST(ScriptRun, AStrayJumpBeyondTheScriptEndsIt) {
  MapInterpreter interpreter;
  TStringList script;
  script.Add("a 1 ");
  script.Add(std::string("\x02\xFF\x7F", 3));
  script.Add("a 2 ");
  interpreter.RunScript(script);
  EXPECT_EQ(interpreter.Int("A"), 1);
}

TEST(ScriptCompile, SyntaxErrorsNameTheirLineAndColumn) {
  const struct {
    const char* source;
    const char* error;
  } cases[] = {
      {"begin a := 1", "Line 1/13: Need \";\" or \"end\" here"},
      {"begin a := 1 b := 2 end", "Line 1/14: Need \";\" or \"end\" here"},
      {"if a b := 1", "Line 1/6: Need \"then\" here"},
      {"while a b := 1", "Line 1/9: Need \"do\" here"},
      {"for i := 1 upto 3 do a := 1", "Line 1/12: Need \"to\" here"},
      {"for 1 to 3 do a := 1", "Line 1/5: Need \":=\" here"},
      {"begin goto x end", "Line 1/12: \"goto\" label must be a number"},
      {"begin a = 1 end", "Line 1/9: Need \":=\" here"},
      {"begin a := (1 + 2 end", "Line 1/19: Need \")\" here"},
      {"begin a := [b + 1 end", "Line 1/12: Need \"]\" here"},
      {"begin a := f(1 2) end", "Line 1/16: Need \",\" or \")\" here"},
      {"repeat a := 1 b := 2", "Line 1/15: Need \";\" or \"until\" here"},
      {"begin a := * 2 end", "Line 1/12: Need an expression here"},
      {"begin a := 'open end", "Line 1/12: Need \"'\" here"},
      {"begin goto 7 end", "Line 1/12: Label \"7\" is not defined"},
      // Comments before the error do not move it.
      {"begin {note} a = 1 end", "Line 1/16: Need \":=\" here"},
      {"// first line\nbegin a = 1 end", "Line 2/9: Need \":=\" here"},
      {"begin { a\nlong note } a = 1 end", "Line 2/15: Need \":=\" here"},
      {"begin\n  a := 1;\n  b = 2\nend", "Line 3/5: Need \":=\" here"},
  };
  for (const auto& c : cases) {
    MapInterpreter interpreter;
    TStringList source, script, errors;
    source.SetText(c.source);
    interpreter.CompileScript(source, script, errors);
    ASSERT_EQ(errors.Count(), 1) << c.source;
    EXPECT_EQ(errors.Strings(0), c.error) << c.source;
  }
}

TEST(ScriptCompile, LinesBeforeAnErrorStay) {
  MapInterpreter interpreter;
  TStringList source, script, errors;
  source.SetText("begin a := 1; b := 2; c = 3 end");
  interpreter.CompileScript(source, script, errors);
  EXPECT_EQ(errors.Count(), 1);
  EXPECT_EQ(Lines(script), (std::vector<std::string>{"a 1 ", "b 2 "}));
  // A second compilation starts afresh.
  source.SetText("a := 5");
  interpreter.CompileScript(source, script, errors);
  EXPECT_EQ(errors.Count(), 0);
  EXPECT_EQ(Lines(script), (std::vector<std::string>{"a 5 "}));
}

TEST(ScriptCompile, ScriptsBeyondTheLimitsAreRefused) {
  MapInterpreter interpreter;
  TStringList source, script, errors;

  // The joined source must fit 32000 bytes.
  std::string big = "begin a := 1";
  while (big.size() < 32100) big += "; a := a + 1";
  source.SetText(big + " end");
  interpreter.CompileScript(source, script, errors);
  ASSERT_EQ(errors.Count(), 1);
  EXPECT_NE(errors.Strings(0).find("32000"), AnsiString::npos) << errors.Strings(0);
  EXPECT_EQ(script.Count(), 0);

  // At most 101 labels.
  std::string labels = "begin ";
  for (int i = 1; i <= 102; ++i) labels += std::to_string(i) + ": a := " + std::to_string(i) + "; ";
  source.SetText(labels + "end");
  interpreter.CompileScript(source, script, errors);
  ASSERT_EQ(errors.Count(), 1);
  EXPECT_NE(errors.Strings(0).find("101"), AnsiString::npos) << errors.Strings(0);

  // Nesting that would run off the stack.
  std::string deep = "a := ";
  for (int i = 0; i < 5000; ++i) deep += "(";
  source.SetText(deep);
  interpreter.CompileScript(source, script, errors);
  ASSERT_EQ(errors.Count(), 1);
  EXPECT_NE(errors.Strings(0).find("nested"), AnsiString::npos) << errors.Strings(0);

  std::string blocks;
  for (int i = 0; i < 5000; ++i) blocks += "begin ";
  source.SetText(blocks);
  interpreter.CompileScript(source, script, errors);
  ASSERT_EQ(errors.Count(), 1);
  EXPECT_NE(errors.Strings(0).find("nested"), AnsiString::npos) << errors.Strings(0);
}

TEST(ScriptCompile, ALabelDefinedTwiceKeepsItsFirstLine) {
  MapInterpreter interpreter;
  interpreter.Compile("begin 5: a := 1; 5: b := 2; goto 5 end");
  EXPECT_EQ(Lines(interpreter.script), (std::vector<std::string>{"a 1 ", "b 2 ", "\\2\\0\\0"}));
}

TEST(ScriptCompile, FindCallsInScriptLooksIntoEveryExpression) {
  MapInterpreter interpreter;
  interpreter.Compile("begin if SUM(P) > 0 then t := MAX(R) + 1; SUM(Q); x := 1 end");
  TStringList names, found;
  names.Add("SUM");
  names.Add("MAX");
  interpreter.FindCallsInScript(interpreter.script, &names, nullptr, &found);
  EXPECT_EQ(Lines(found), (std::vector<std::string>{"SUM(P)", "MAX(R)", "SUM(Q)"}));
}

}  // namespace script_compile_test
