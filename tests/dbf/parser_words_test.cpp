// The words of the expression language: kinds, constants, the word lists and
// their lookup order, use counts, and the growable result buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dbf/dbf_parser.h"
#include "tests/dbf/parser_support.h"

namespace {

TEST(ParserWords, KindOfLetterKnowsOnlyUpperCaseLetters) {
  const struct {
    char letter;
    TExprKind kind;
  } cases[] = {{'I', ekInteger}, {'S', ekString},   {'B', ekBoolean}, {'L', ekLargeInt}, {'F', ekFloat},
               {'D', ekDateTime}, {'i', ekUnknown}, {'X', ekUnknown}, {'\0', ekUnknown}};
  for (const auto& c : cases) EXPECT_EQ(KindOfLetter(c.letter), c.kind) << c.letter;
}

TEST(ParserWords, StringConstantDropsMatchingQuotesOnly) {
  const struct {
    const char* token;
    const char* value;
  } cases[] = {
      {"'abc'", "abc"},   {"\"abc\"", "abc"}, {"'abc", "'abc"},  {"'", ""},      {"", ""},
      {"'abc\"", "'abc\""}, {"''", ""},        {"' a b '", " a b "}, {"abc", "abc"},
  };
  for (const auto& c : cases) {
    TStringConstant constant(c.token);
    EXPECT_EQ(constant.Value(), c.value) << c.token;
    EXPECT_EQ(constant.Name(), c.token);
    EXPECT_EQ(constant.ResultKind(), ekString);
  }
}

TEST(ParserWords, FunctionRefusesMoreThanSixArguments) {
  EXPECT_NO_THROW(TFunction("F", "", "IIIIII", 1, ekInteger, nullptr));
  try {
    TFunction("F", "", "IIIIIII", 1, ekInteger, nullptr);
    FAIL() << "seven arguments accepted";
  } catch (const EParserException& e) {
    EXPECT_EQ(e.Message(), "Too many arguments");
  }
}

TEST(ParserWords, EqualKeysStandInReverseOrderAndInsertRangeRestoresIt) {
  TExpressList first;
  TFunction* a = TFunction::Operator("=", "II", ekBoolean, 80, nullptr);
  TFunction* b = TFunction::Operator("=", "FF", ekBoolean, 80, nullptr);
  first.InsertSorted(a);
  first.InsertSorted(b);
  ASSERT_EQ(first.Count(), 2);
  EXPECT_EQ(first.Item(0), b);
  EXPECT_EQ(first.Item(1), a);

  TExpressList copy;
  copy.InsertRange(first, 0, first.Count() - 1);
  EXPECT_EQ(copy.Item(0), a);
  EXPECT_EQ(copy.Item(1), b);
}

TEST(ParserWords, NamesAndAliasesAreFoundIgnoringCase) {
  TExpressList list;
  list.InsertSorted(new TFunction("STR", "", "III", 1, ekString, nullptr));
  list.InsertSorted(new TFunction("SUBSTR", "SUBS", "SII", 3, ekString, nullptr));
  list.InsertSorted(new TFunction("UPPERCASE", "UPPER", "S", 1, ekString, nullptr));
  for (const char* key : {"SUBS", "substr", "Subs", "SUBSTR"}) {
    int index = -1;
    ASSERT_TRUE(list.LocateKey(key, index)) << key;
    EXPECT_EQ(list.Item(index)->Name(), "SUBSTR") << key;
  }
  int index = -1;
  EXPECT_FALSE(list.LocateKey("SUB", index));
  EXPECT_FALSE(list.LocateKey("SUBSTRX", index));
}

// A word that reports its own destruction.
class WatchedWord : public TExprWord {
 public:
  explicit WatchedWord(bool* freed) : TExprWord("W", nullptr), freed_(freed) {}
  ~WatchedWord() override { *freed_ = true; }

 private:
  bool* freed_;
};

TEST(ParserWords, WordLivesUntilTheLastListDisposesIt) {
  bool freed = false;
  auto* word = new WatchedWord(&freed);
  auto first = std::make_unique<TExpressList>();
  auto second = std::make_unique<TExpressList>();
  first->InsertSorted(word);
  second->InsertSorted(word);
  EXPECT_EQ(word->UseCount(), 2);
  first.reset();
  EXPECT_FALSE(freed);
  EXPECT_EQ(word->UseCount(), 1);
  second.reset();
  EXPECT_TRUE(freed);
}

TEST(ParserWords, ReallocateRoundsUpToTheNext32ByteStepAndKeepsThePosition) {
  const struct {
    int size;
    bool exact;
    int capacity;
  } cases[] = {{31, false, 32}, {32, false, 64}, {33, false, 64}, {64, false, 96}, {40, true, 40}};
  for (const auto& c : cases) {
    int capacity = 32;
    char* buffer = new char[32]();
    std::memcpy(buffer, "0123456789", 10);
    char* position = buffer + 10;
    TDynamicType d{&buffer, &position, &capacity};
    d.Reallocate(c.size, c.exact);
    EXPECT_EQ(capacity, c.capacity) << c.size;
    EXPECT_EQ(position - buffer, 10);
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
    delete[] buffer;
  }
}

TEST(ParserWords, AppendTextGrowsTheBufferAndEndsWithAZeroByte) {
  int capacity = 32;
  char* buffer = new char[32]();
  char* position = buffer;
  TDynamicType d{&buffer, &position, &capacity};
  const std::string part(20, 'x');
  d.AppendText(part.data(), 20);
  d.AppendText("abc", 3);
  d.AppendText(part.data(), 20);
  EXPECT_EQ(std::string(buffer), part + "abc" + part);
  EXPECT_EQ(position - buffer, 43);
  EXPECT_GE(capacity, 44 + 4);
  delete[] buffer;
}

// What the parser tries, in order, for each operator name: text comparisons
// first, then the numeric overloads in registration order.
TEST(ParserWords, OverloadsStandInTheParserListInRegistrationOrder) {
  TDbfParser parser(nullptr);
  auto signatures = [&](const char* name) {
    std::string out;
    int index = 0;
    if (!parser.WordList().LocateKey(name, index)) return out;
    for (; index < parser.WordList().Count() && parser.WordList().Item(index)->Name() == name; ++index)
      out += parser.WordList().Item(index)->Signature() + " ";
    return out;
  };
  EXPECT_EQ(signatures("+"), "SS FF FI IF II FL IL LF LL LI ");
  EXPECT_EQ(signatures("-"), "FF FI IF II FL IL LF LL LI ");
  EXPECT_EQ(signatures("/"), "FF FI IF II FL IL LF LL LI ");
  EXPECT_EQ(signatures("="), "SS FF FI II IF LL LF LI FL IL ");
  EXPECT_EQ(signatures("<>"), "SS FF FI II IF LL LF LI FL IL ");
  EXPECT_EQ(signatures("STR"), "FII III ");
  EXPECT_EQ(signatures("NOT"), "B ");
}

TEST(ParserWords, RegistrationMakes114OperatorsAndFunctions) {
  const TExpressList* lists[] = {&CommonWords(),      &OrderNoCaseWords(), &OrderCaseWords(), &EqualNoCaseWords(),
                                 &EqualCaseWords(),   &MatchNoCaseWords(), &MatchCaseWords()};
  int functions = 0;
  int brackets = 0;
  for (const TExpressList* list : lists) {
    for (int i = 0; i < list->Count(); ++i) {
      if (list->Item(i)->IsFunctionWord())
        ++functions;
      else
        ++brackets;
    }
  }
  EXPECT_EQ(functions, 114);
  EXPECT_EQ(brackets, 3);
  EXPECT_EQ(OrderNoCaseWords().Count(), 5);
  EXPECT_EQ(MatchCaseWords().Count(), 1);
}

TEST(ParserWords, OperatorsBindByTheirPrecedence) {
  TDbfParser parser(nullptr);
  auto precedence = [&](const char* name) {
    int index = 0;
    EXPECT_TRUE(parser.WordList().LocateKey(name, index)) << name;
    return static_cast<TFunction*>(parser.WordList().Item(index))->Precedence();
  };
  // Tighter first: "*" and "/" before "+" and "-", then comparisons, NOT, AND, OR.
  EXPECT_EQ(precedence("*"), precedence("/"));
  EXPECT_LT(precedence("*"), precedence("+"));
  EXPECT_EQ(precedence("+"), precedence("-"));
  EXPECT_LT(precedence("-"), precedence("="));
  EXPECT_LT(precedence("="), precedence("NOT"));
  EXPECT_LT(precedence("NOT"), precedence("AND"));
  EXPECT_LT(precedence("AND"), precedence("OR"));
}

}  // namespace
