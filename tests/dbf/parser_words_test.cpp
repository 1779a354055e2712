// The words of the expression language: kinds, constants, the word lists and
// their lookup order, use counts, and the growable result buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "dbf/dbf_parser.h"
#include "tests/dbf/parser_support.h"

namespace parser_words_test {

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

// The language's vocabulary, row by row as the users' documentation lists it:
// every overload with its signature, result kind, rank (operators) or fewest
// arguments and alias (functions), and the list it belongs to. "*" and "/"
// rank 30 so that they bind tighter than "+" and "-".
TEST(ParserWords, EveryWordHasItsSignatureKindRankAndList) {
  struct Word {
    std::string list, name, alias, signature;
    TExprKind result;
    int precedence;  // 0: a function
    int min_args;
  };
  std::vector<Word> expected;
  const char* const arith[] = {"FF", "FI", "IF", "II", "FL", "IL", "LF", "LL", "LI"};
  const TExprKind arith_kind[] = {ekFloat, ekFloat, ekFloat, ekInteger, ekFloat,
                                  ekLargeInt, ekFloat, ekLargeInt, ekLargeInt};
  expected.push_back({"common", "+", "", "SS", ekString, 40, 2});
  for (const auto& [name, rank] : {std::pair{"+", 40}, {"-", 40}, {"*", 30}, {"/", 30}})
    for (int i = 0; i < 9; ++i) expected.push_back({"common", name, "", arith[i], arith_kind[i], rank, 2});
  for (const char* sig : {"FF", "FI", "II", "IF", "LL", "LF", "LI", "FL", "IL"})
    for (const char* name : {"=", "<", ">", "<=", ">=", "<>"}) expected.push_back({"common", name, "", sig, ekBoolean, 80, 2});
  expected.push_back({"common", "NOT", "", "B", ekBoolean, 85, 1});
  expected.push_back({"common", "AND", "", "BB", ekBoolean, 90, 2});
  expected.push_back({"common", "OR", "", "BB", ekBoolean, 100, 2});
  expected.push_back({"common", "STR", "", "FII", ekString, 0, 1});
  expected.push_back({"common", "STR", "", "III", ekString, 0, 1});
  expected.push_back({"common", "DTOS", "", "D", ekString, 0, 1});
  expected.push_back({"common", "SUBSTR", "SUBS", "SII", ekString, 0, 3});
  expected.push_back({"common", "UPPERCASE", "UPPER", "S", ekString, 0, 1});
  expected.push_back({"common", "LOWERCASE", "LOWER", "S", ekString, 0, 1});
  for (const char* list : {"order no case", "order case"})
    for (const char* name : {"<", ">", "<=", ">=", "<>"}) expected.push_back({list, name, "", "SS", ekBoolean, 80, 2});
  for (const char* list : {"equal no case", "match no case", "equal case", "match case"})
    expected.push_back({list, "=", "", "SS", ekBoolean, 80, 2});
  ASSERT_EQ(expected.size(), 114u);

  const auto text = [](const Word& w) {
    return w.list + " " + w.name + "/" + w.alias + " " + w.signature + "->" + std::to_string(int(w.result)) + " rank " +
           std::to_string(w.precedence) + " min " + std::to_string(w.min_args);
  };
  // Per list and name, the overloads in registration order (a list keeps
  // equal names in the reverse order of their insertion).
  std::map<std::string, std::vector<std::string>> want, got;
  for (const Word& w : expected) want[w.list + " " + w.name].push_back(text(w));
  const std::pair<const char*, const TExpressList*> lists[] = {
      {"common", &CommonWords()},           {"order no case", &OrderNoCaseWords()},
      {"order case", &OrderCaseWords()},    {"equal no case", &EqualNoCaseWords()},
      {"match no case", &MatchNoCaseWords()}, {"equal case", &EqualCaseWords()},
      {"match case", &MatchCaseWords()}};
  for (const auto& [list_name, list] : lists) {
    for (int i = list->Count() - 1; i >= 0; --i) {
      TExprWord* word = list->Item(i);
      if (!word->IsFunctionWord()) continue;
      const auto* f = static_cast<TFunction*>(word);
      EXPECT_EQ(f->MaxFunctionArg(), int(f->Signature().size()));
      const Word w{list_name, f->Name(), f->Alias(), f->Signature(), f->ResultKind(),
                   f->IsOperatorWord() ? f->Precedence() : 0, f->MinFunctionArg()};
      got[w.list + " " + w.name].push_back(text(w));
    }
  }
  EXPECT_EQ(got, want);
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

}  // namespace parser_words_test
