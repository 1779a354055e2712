// The calculator engine: key sequences against the display, state, memory
// and error the user sees.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "grid/rs_calc.h"

namespace calc_test {

// Key names as the drop-down's buttons show them.
int KeyCode(const std::string& name) {
  static const struct {
    const char* name;
    int code;
  } keys[] = {
      {",", ckSeparator},  {"+/-", ckSign},         {"+", ckAdd},           {"-", ckSubtract},
      {"*", ckMultiply},   {"/", ckDivide},         {"=", ckEquals},        {"%", ckPercent},
      {"1/x", ckReciprocal}, {"sqrt", ckSqrt},      {"MS", ckMemoryStore},  {"M+", ckMemoryAdd},
      {"MR", ckMemoryRecall}, {"MC", ckMemoryClear}, {"C", ckClear},        {"CE", ckClearEntry},
      {"BS", ckBackspace},
  };
  if (name.size() == 1 && name[0] >= '0' && name[0] <= '9') return name[0] - '0';
  for (const auto& k : keys)
    if (name == k.name) return k.code;
  ADD_FAILURE() << "unknown key " << name;
  return -1;
}

// Presses the blank-separated keys in order.
void Press(TvpCalcEngine& engine, const std::string& keys) {
  std::istringstream in(keys);
  std::string name;
  while (in >> name) engine.PressKey(KeyCode(name));
}

// Presses keys, catching the failure that ends a key without an error handler.
void PressExpectingError(TvpCalcEngine& engine, const std::string& keys) {
  std::istringstream in(keys);
  std::string name;
  while (in >> name) {
    try {
      engine.PressKey(KeyCode(name));
    } catch (const EAbort&) {
    }
  }
}

std::string Repeat(const std::string& key, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += key + " ";
  return out;
}

class CalcEngine : public ::testing::Test {
 protected:
  ScopedFormatSettings locale_{TFormatSettings::Russian()};
};

TEST_F(CalcEngine, KeySequencesShowTheExpectedDisplay) {
  const struct {
    std::string keys;
    const char* display;
  } cases[] = {
      {"", "0"},
      {"1 2 + 3 =", "15"},
      {"1 2 + 3 = =", "18"},
      {"7 - 1 0 =", "-3"},
      {"6 * 7 =", "42"},
      {"1 / 4 =", "0,25"},
      {"1 / 3 =", "0,333333333333333"},
      {"2 / 3 =", "0,666666666666667"},
      {"0 , 1 + 0 , 2 =", "0,3"},
      {"1 , 0 5 * 2 =", "2,1"},
      {"2 + 3 * 4 =", "20"},        // an operation key computes the pending one
      {"2 + * 3 =", "6"},           // a second operation key replaces the first
      {"5 + =", "10"},              // equals right after the operation uses the same number
      {"5 + = =", "15"},
      {"8 - 3 = 1 0 =", "10"},      // a new number after a result starts over
      {"1 + 2 = 5", "5"},
      {"1 + 2 = + 4 =", "7"},
      // percent: Operand1 * Operand2 / 100 into the second operand
      {"5 0 + 1 0 %", "5"},
      {"5 0 + 1 0 % =", "55"},
      {"2 0 0 * %", "400"},
      {"1 0 %", "0"},               // no pending operation: everything is cleared
      // functions
      {"9 sqrt", "3"},
      {"2 sqrt", "1,4142135623731"},
      {"4 1/x", "0,25"},
      {"8 1/x 1/x", "8"},
      {"9 sqrt 5", "5"},            // a result is replaced by the next digit
      {"1 + 1 6 sqrt =", "5"},
      {", +/- sqrt", "0"},          // the root of "-0" is 0, not an error
      // decimal separator
      {", 5", "0,5"},
      {",", "0"},                   // the separator shows with the next digit
      {"1 , , 5", "1,5"},
      {", 0", "0,0"},
      {", 5 BS", "0"},
      {", 5 BS 7", "0,7"},          // still in decimal mode
      {", 5 BS BS 7", "7"},         // the second backspace left decimal mode
      {"1 , 2 5 BS", "1,2"},
      {"1 , 2 5 BS BS", "1"},
      {"1 , 2 5 BS BS 3", "1,3"},
      // sign
      {"+/-", "0"},
      {"1 2 +/-", "-12"},
      {"1 2 +/- +/-", "12"},
      {", +/- 5", "-0,5"},
      {", +/- BS 5", "-5"},         // "-0" takes the digit in place of its zero
      {"1 2 +/- 3", "-123"},
      {"3 = +/-", "-3"},
      // backspace
      {"1 2 3 BS", "12"},
      {"5 BS", "0"},
      {"5 +/- BS", "0"},            // not "-", which is no number
      {"BS BS", "0"},
      {"1 2 + 3 = BS", "15"},       // a result is not edited
      {"1 + 2 3 BS =", "3"},
      // clear and clear entry
      {"1 2 + 3 C", "0"},
      {"1 2 + 3 CE", "0"},
      {"1 2 + 3 CE 4 =", "16"},
      {"1 2 CE 3 =", "3"},
      {"1 2 , 5 CE 3", "3"},        // clear entry also ends decimal mode
      // memory
      {"5 MS C MR", "5"},
      {"5 MS 3 M+ C MR", "8"},
      {"5 M+ C MR", "5"},           // M+ with empty memory stores
      {"5 MS C 7 MC MR", "7"},
      {"1 2 MS 3", "3"},            // MS ends the number being typed
      {"5 MS C 3 + MR =", "8"},
      {"1 + 2 MS C MR", "2"},       // memory keys while typing the second operand
      {"9 MS C 1 + MC MR", "1"},    // MC right after an operation key
      // long numbers
      {Repeat("9", 17), "999999999999999"},
      {", " + Repeat("1", 17), "0,111111111111111"},
      {Repeat("9", 15) + "+ 1 =", "1E0015"},
      {"1 / " + Repeat("9", 15) + "=", "1E-0015"},
  };
  for (const auto& c : cases) {
    TvpCalcEngine engine;
    Press(engine, c.keys);
    EXPECT_EQ(engine.Display(), c.display) << c.keys;
    EXPECT_FALSE(engine.IsError()) << c.keys;
    EXPECT_FALSE(engine.Changed()) << c.keys;
  }
}

TEST_F(CalcEngine, PercentLeavesItsResultInTheSecondOperand) {
  TvpCalcEngine engine;
  Press(engine, "5 0 + 1 0 %");
  EXPECT_EQ(engine.Operand1(), "50");
  EXPECT_EQ(engine.Operand2(), "5");
  EXPECT_TRUE(engine.StartNew2());
  EXPECT_EQ(engine.Operation(), ckAdd);
}

TEST_F(CalcEngine, MemoryHoldsOnlyNonZeroValues) {
  const struct {
    std::string keys;
    bool set;
    const char* memory;
  } cases[] = {
      {"MS", false, ""},
      {"MS MR", false, ""},
      {"5 MS", true, "5"},
      {"1 , 5 MS", true, "1,5"},
      {", 0 MS", false, ""},            // zero written as "0,0" is still zero
      {"5 MS 5 +/- M+", false, ""},     // adding down to zero clears
      {"5 MS MC", false, ""},
      {"5 MS C", true, "5"},            // C keeps the memory
      {"5 MS 1 + MS", true, "5"},       // MS right after an operation key does nothing
      {"5 MS 1 + M+", true, "5"},
      {"2 MS 3 M+ M+", true, "8"},
      {"1 , 5 MS 1 , 2 5 M+", true, "2,75"},
  };
  for (const auto& c : cases) {
    TvpCalcEngine engine;
    Press(engine, c.keys);
    EXPECT_EQ(engine.MemorySet(), c.set) << c.keys;
    EXPECT_EQ(engine.Memory(), c.memory) << c.keys;
  }
}

TEST_F(CalcEngine, FailuresEnterTheErrorStateWithTheirMessage) {
  const struct {
    const char* start;
    std::string keys;
    const char* error;
  } cases[] = {
      {"1", "/ 0 =", "Division by zero"},
      {"0", "/ 0 =", "Division by zero"},
      {"0", "1/x", "Division by zero"},
      {"7", "+ 0 , 0 1/x", "Division by zero"},
      {"4", "+/- sqrt", "Invalid floating point operation"},
      {"1E300", "* =", "Floating point overflow"},
      {"1E300", "* 1 0 = = = = = = = = = =", "Floating point overflow"},
      {"-1E308", "+ =", "Floating point overflow"},
      {"1E308", "- +/- =", "Floating point overflow"},
      {"1E-310", "1/x", "Floating point overflow"},
      {"1E307", "+ %", "Floating point overflow"},
      {"1,7E308", "MS M+", "Floating point overflow"},
  };
  for (const auto& c : cases) {
    TvpCalcEngine engine;
    engine.SetValue(c.start);
    PressExpectingError(engine, c.keys);
    EXPECT_TRUE(engine.IsError()) << c.start << " " << c.keys;
    EXPECT_EQ(engine.State(), kCalcErrorState) << c.keys;
    EXPECT_EQ(engine.ErrorText(), c.error) << c.start << " " << c.keys;
  }
}

TEST_F(CalcEngine, ErrorStateIgnoresEveryKeyButClear) {
  for (int code = 0; code <= ckBackspace; ++code) {
    if (code == ckClear) continue;
    TvpCalcEngine engine;
    PressExpectingError(engine, "5 MS C 1 / 0 =");
    const AnsiString shown = engine.Display();
    engine.PressKey(code);
    EXPECT_TRUE(engine.IsError()) << code;
    EXPECT_EQ(engine.Display(), shown) << code;
    EXPECT_EQ(engine.Memory(), "5") << code;
    EXPECT_EQ(engine.ErrorText(), "Division by zero") << code;
  }
  TvpCalcEngine engine;
  PressExpectingError(engine, "1 / 0 = C");
  EXPECT_FALSE(engine.IsError());
  EXPECT_EQ(engine.State(), 0);
  EXPECT_EQ(engine.ErrorText(), "");
  Press(engine, "2 + 3 =");
  EXPECT_EQ(engine.Display(), "5");
}

TEST_F(CalcEngine, ErrorHandlerDecidesWhetherTheFailureReachesTheCaller) {
  const struct {
    bool assigned;
    bool handles;
    bool throws;
  } cases[] = {
      {false, false, true},
      {true, false, true},
      {true, true, false},
  };
  for (const auto& c : cases) {
    TvpCalcEngine engine;
    int calls = 0;
    int changes = 0;
    if (c.assigned) {
      engine.OnError = [&](TvpCalcEngine* sender, bool& handled) {
        EXPECT_EQ(sender, &engine);
        EXPECT_FALSE(handled);
        EXPECT_TRUE(sender->IsError());
        ++calls;
        handled = c.handles;
      };
    }
    engine.OnChange = [&](TvpCalcEngine*) { ++changes; };
    Press(engine, "1 / 0");
    changes = 0;
    if (c.throws)
      EXPECT_THROW(engine.PressKey(ckEquals), EAbort);
    else
      EXPECT_NO_THROW(engine.PressKey(ckEquals));
    EXPECT_EQ(calls, c.assigned ? 1 : 0);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(engine.Changed());
    EXPECT_TRUE(engine.IsError());
  }
}

TEST_F(CalcEngine, ChangeHandlerSeesEveryNewDisplay) {
  const struct {
    std::string keys;
    std::vector<std::string> shown;
  } cases[] = {
      {"1 2 + 3 =", {"1", "12", "3", "15"}},
      {"5 MS", {"5"}},                         // memory keys leave the display alone
      {"5 MS C", {"5", "0"}},
      {"5 MS 1 + MC", {"5", "1", "1"}},        // MC after an operation key
      {"5 MR", {"5", "5"}},
      {"CE", {"0"}},
  };
  for (const auto& c : cases) {
    TvpCalcEngine engine;
    std::vector<std::string> shown;
    engine.OnChange = [&](TvpCalcEngine* sender) {
      EXPECT_TRUE(sender->Changed());
      shown.push_back(sender->Display());
    };
    Press(engine, c.keys);
    EXPECT_EQ(shown, c.shown) << c.keys;
  }
}

TEST_F(CalcEngine, EveryStateAndKeyClassLeadsWhereTheTableSays) {
  // A key of each class that cannot fail from any of the prefixes below.
  const char* class_keys[12] = {"7", ",", "+/-", "*", "sqrt", "%", "=", "MS", "MR", "C", "CE", "BS"};
  const struct {
    const char* prefix;
    int state;
    int next[12];
  } rows[] = {
      {"", 0, {1, 1, 1, 2, 1, 0, 1, 1, 1, 0, 0, 1}},
      {"5", 1, {1, 1, 1, 2, 1, 0, 1, 1, 1, 0, 1, 1}},
      {"5 +", 2, {3, 3, 3, 2, 3, 3, 5, 2, 3, 0, 3, 3}},
      {"5 + 3", 3, {3, 3, 3, 4, 3, 3, 5, 3, 3, 0, 3, 3}},
      {"5 + 3 +", 4, {3, 3, 3, 2, 3, 3, 5, 2, 3, 0, 3, 3}},
      {"5 + 3 =", 5, {1, 1, 1, 2, 1, 0, 5, 1, 1, 0, 1, 1}},
      {"5 / 0 =", 10, {10, 10, 10, 10, 10, 10, 10, 10, 10, 0, 10, 10}},
  };
  for (const auto& r : rows) {
    for (int k = 0; k < 12; ++k) {
      TvpCalcEngine engine;
      PressExpectingError(engine, r.prefix);
      ASSERT_EQ(engine.State(), r.state) << r.prefix;
      engine.PressKey(KeyCode(class_keys[k]));
      EXPECT_EQ(engine.State(), r.next[k]) << "'" << r.prefix << "' then " << class_keys[k];
    }
  }
}

TEST_F(CalcEngine, UnknownKeyCodesAreIgnored) {
  for (int code : {-1, 27, 1000}) {
    TvpCalcEngine engine;
    Press(engine, "4 +");
    engine.PressKey(code);
    EXPECT_EQ(engine.State(), 2) << code;
    EXPECT_EQ(engine.Display(), "4") << code;
  }
}

TEST_F(CalcEngine, SetValueTakesANumberText) {
  const struct {
    const char* text;
    const char* display;
  } cases[] = {
      {"", "0"},
      {"0", "0"},
      {"12,5", "12,5"},
      {"-3", "-3"},
      {" +3 ", "3"},  // kept without the blanks and "+" so that +/- gives "-3"
      {"1E5", "1E5"},
  };
  for (const auto& c : cases) {
    TvpCalcEngine engine;
    Press(engine, "7 MS 1 + 2");
    engine.SetValue(c.text);
    EXPECT_EQ(engine.Display(), c.display) << c.text;
    EXPECT_EQ(engine.Operand1(), c.display) << c.text;
    EXPECT_TRUE(engine.StartNew1()) << c.text;
    EXPECT_EQ(engine.State(), 0) << c.text;
    EXPECT_EQ(engine.Operation(), 0) << c.text;
    EXPECT_EQ(engine.Memory(), "7") << c.text;
    EXPECT_FALSE(engine.Changed()) << c.text;
  }

  TvpCalcEngine engine;
  engine.SetValue(" +3 ");
  Press(engine, "+/-");
  EXPECT_EQ(engine.Display(), "-3");
  engine.SetValue("12,5");
  Press(engine, "3");
  EXPECT_EQ(engine.Display(), "3");  // the next digit starts a new number
  engine.SetValue("12,5");
  Press(engine, "+ 1 =");
  EXPECT_EQ(engine.Display(), "13,5");
}

TEST_F(CalcEngine, SetValueRejectsTextsThatAreNoNumber) {
  for (const char* text : {"abc", "1.5", "12,5x", "1E400", "-", " "}) {
    TvpCalcEngine engine;
    Press(engine, "4 + 2");
    EXPECT_THROW(engine.SetValue(text), EConvertError) << text;
    EXPECT_EQ(engine.Display(), "2") << text;
    EXPECT_EQ(engine.State(), 3) << text;
    Press(engine, "=");
    EXPECT_EQ(engine.Display(), "6") << text;
  }
}

TEST_F(CalcEngine, NumbersUseTheLocaleDecimalSeparator) {
  TFormatSettings point = TFormatSettings::Russian();
  point.DecimalSeparator = '.';
  ScopedFormatSettings scoped(point);
  TvpCalcEngine engine;
  Press(engine, ", 5 + 1 , 2 5 =");
  EXPECT_EQ(engine.Display(), "1.75");
  Press(engine, "C 1 / 8 =");
  EXPECT_EQ(engine.Display(), "0.125");
  EXPECT_THROW(engine.SetValue("1,5"), EConvertError);
  engine.SetValue("2.5");
  Press(engine, "* 2 =");
  EXPECT_EQ(engine.Display(), "5");
}

}  // namespace calc_test
