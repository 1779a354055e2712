#include "dbf/dbf_prscore.h"

#include <cstring>

#include "toolkit/core/scope.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace {

constexpr int kInitialBuffer = 32;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsLetter(c) || IsDigit(c); }

bool IsKind(const TExprWord* word, TExprKind kind) { return word != nullptr && word->ResultKind() == kind; }

char* NewBuffer() { return new char[kInitialBuffer](); }

}  // namespace

TCustomExpressionParser::TCustomExpressionParser() {
  result_buffer_ = NewBuffer();
  result_position_ = result_buffer_;
  result_capacity_ = kInitialBuffer;
}

TCustomExpressionParser::~TCustomExpressionParser() {
  FreeEvaluationList(list_);
  delete[] result_buffer_;
}

TExprRecord* TCustomExpressionParser::AllocRecord() { return new TExprRecord(); }

uint32_t TCustomExpressionParser::ComparisonLocale() { return kDefaultLcid; }

TExprKind TCustomExpressionParser::GetResultKind() {
  return list_.last != nullptr ? list_.last->Word->ResultKind() : ekUnknown;
}

void TCustomExpressionParser::ClearCompiled() {
  FreeEvaluationList(list_);
  // Constants are referenced only by the list just freed; keeping them would
  // let a filter that is changed again and again grow without end.
  constant_list_.DisposeAll();
}

// ---- variables ---------------------------------------------------------------

void TCustomExpressionParser::AddIntegerVariable(const AnsiString& name, int32_t* value) {
  AddVariableWord(new TIntegerVariable(name, value));
}

void TCustomExpressionParser::AddLargeIntVariable(const AnsiString& name, int64_t* value) {
  AddVariableWord(new TLargeIntVariable(name, value));
}

void TCustomExpressionParser::AddDateTimeVariable(const AnsiString& name, double* value) {
  AddVariableWord(new TDateTimeVariable(name, value));
}

void TCustomExpressionParser::AddFloatVariable(const AnsiString& name, double* value) {
  AddVariableWord(new TFloatVariable(name, value));
}

void TCustomExpressionParser::AddStringVariable(const AnsiString& name, char** text) {
  AddVariableWord(new TStringVariable(name, text, -1));
}

void TCustomExpressionParser::AddFixedStringVariable(const AnsiString& name, char** text, int length) {
  AddVariableWord(new TStringVariable(name, text, length));
}

void TCustomExpressionParser::AddVariableWord(TExprWord* word) {
  int index = 0;
  if (word_list_.LocateKey(word->Name(), index)) {
    {
      TScopeFail refused([word] { delete word; });
      SwapWord(word_list_.Item(index), word);
    }
    word_list_.RemoveAndDispose(index);
  }
  word_list_.InsertSorted(word);
}

void TCustomExpressionParser::RemoveOrSwapWord(const AnsiString& name, TExprWord* new_word) {
  if (new_word == nullptr && list_.first != nullptr)
    throw Exception("Cannot undefine function/variable while expression present");
  int index = 0;
  if (word_list_.LocateKey(name, index)) {
    if (new_word != nullptr) {
      TScopeFail refused([new_word] { delete new_word; });
      SwapWord(word_list_.Item(index), new_word);
    }
    word_list_.RemoveAndDispose(index);
  }
  if (new_word != nullptr) word_list_.InsertSorted(new_word);
}

void TCustomExpressionParser::SwapWord(TExprWord* old_word, TExprWord* new_word) {
  if (old_word->MaxFunctionArg() != new_word->MaxFunctionArg())
    throw Exception("Cannot replace variable/function MaxFunctionArg doesn't match");
  void* old_address = old_word->ValueAddress();
  for (TExprRecord* rec = list_.first; rec != nullptr; rec = rec->Next) {
    if (rec->Word == old_word) {
      rec->Word = new_word;
      rec->EvalRoutine = new_word->EvalRoutine();
    }
    if (old_address == nullptr) continue;
    for (char*& arg : rec->ArgBuffers)
      if (arg == old_address) arg = static_cast<char*>(new_word->ValueAddress());
  }
}

// ---- compilation -------------------------------------------------------------

void TCustomExpressionParser::BuildEvaluationList(const AnsiString& text) {
  const AnsiString source = Trim(text);
  if (source.empty()) return;
  TExprCollection tokens;
  SplitTokens(source, tokens);
  if (tokens.Count() == 0) return;
  std::vector<int> match;
  CheckTokenSequence(tokens, match);
  TExprRecord* root = BuildSyntaxTree(tokens, match, 0, tokens.Count() - 1, 1);
  if (root == nullptr) return;
  {
    // Folding may take the whole tree over and empty root: it is read as the undo runs.
    TScopeFail unbuilt([&root] { FreeTree(root); });
    MatchOverloads(root);
    if (fold_constants_) FoldConstantParts(root);
  }
  result_position_ = result_buffer_;
  Linearize(root, &result_buffer_, &result_position_, &result_capacity_, list_);
}

void TCustomExpressionParser::SplitTokens(const AnsiString& s, TExprCollection& tokens) {
  // These characters look at the one after them, so none may end the text.
  if (s.back() != 0 && std::strchr("!&:<=>|+-", s.back()) != nullptr) throw EParserException("Expression ends with an operator");
  int index = 0;
  const bool double_plus = word_list_.LocateKey("++", index);
  const bool double_minus = word_list_.LocateKey("--", index);
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    while (i < n && s[i] == ' ') ++i;
    if (i >= n) break;
    const size_t start = i;
    const char c = s[i];
    bool number = false;
    // ".AND.", ".OR." and ".NOT.": the dotted spellings users of table
    // filters write for the logical operators. Returns the position after
    // the closing point, or 0 when no such word starts at `at`.
    auto dotted_word_end = [&](size_t at) -> size_t {
      if (at >= n || s[at] != decimal_point_ || at + 1 >= n || !IsLetter(s[at + 1])) return 0;
      size_t j = at + 1;
      while (j < n && IsIdentChar(s[j])) ++j;
      const std::string_view word = std::string_view(s).substr(at + 1, j - at - 1);
      if (j >= n || s[j] != decimal_point_) return 0;
      if (CompareText(word, "AND") != 0 && CompareText(word, "OR") != 0 && CompareText(word, "NOT") != 0) return 0;
      return j + 1;
    };
    auto scan_fraction_and_exponent = [&](size_t j) {
      // "1.AND.N=2": the point belongs to the logical word, not to the number.
      if (j < n && s[j] == '.' && dotted_word_end(j) == 0) {
        ++j;
        while (j < n && IsDigit(s[j])) ++j;
      }
      if (j < n && s[j] == 'e') {
        ++j;
        if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
        while (j < n && IsDigit(s[j])) ++j;
      }
      return j;
    };
    auto take_if = [&](const char* followers) {
      ++i;
      if (i < n && s[i] != 0 && std::strchr(followers, s[i]) != nullptr) ++i;
    };
    if (const size_t end = dotted_word_end(i); end != 0) {
      tokens.Add(MakeTokenWord(AnsiString(std::string_view(s).substr(i + 1, end - i - 2)), false));
      i = end;
      continue;
    }
    if (c == hex_prefix_) {
      size_t j = i + 1;
      while (j < n && IsHexDigit(s[j])) ++j;
      j = scan_fraction_and_exponent(j);
      if (j > i + 1) {
        number = true;
        i = j;
      } else {
        ++i;
        while (i < n && IsIdentChar(s[i])) ++i;
      }
    } else if (IsDigit(c) || c == decimal_point_) {
      number = true;
      while (i < n && IsDigit(s[i])) ++i;
      i = scan_fraction_and_exponent(i);
    } else if (c == '\'' || c == '"') {
      const size_t close = s.find(c, i + 1);
      i = close == AnsiString::npos ? n : close + 1;
    } else if (IsLetter(c)) {
      while (i < n && IsIdentChar(s[i])) ++i;
    } else if (c == '<' || c == '>' || c == '=') {
      take_if("<=>");
    } else if (c == '!' || c == ':') {
      take_if("=");
    } else if (c == '&') {
      take_if("&");
    } else if (c == '|') {
      take_if("|");
    } else if (c == '+' && double_plus) {
      take_if("+");
    } else if (c == '-' && double_minus) {
      take_if("-");
    } else {
      ++i;
    }
    const AnsiString token = Trim(std::string_view(s).substr(start, i - start));
    if (token.empty()) continue;
    tokens.Add(MakeTokenWord(token, number));
  }
}

TExprWord* TCustomExpressionParser::MakeTokenWord(const AnsiString& token, bool is_number) {
  TConstant* constant = nullptr;
  if (is_number) {
    AnsiString digits = token;
    if (digits[0] == hex_prefix_) digits = IntToStr(StrToInt("$" + digits.substr(1)));
    if (digits.find('.') == AnsiString::npos) {
      constant = new TIntegerConstant(StrToInt(digits));
    } else {
      for (char& ch : digits)
        if (ch == '.') ch = FormatSettings().DecimalSeparator;
      constant = new TFloatConstant(digits);
    }
  } else if (token[0] == '\'' || token[0] == '"') {
    constant = new TStringConstant(token);
  }
  if (constant != nullptr) {
    constant_list_.Add(constant);
    return constant;
  }
  int index = 0;
  if (!word_list_.LocateKey(token, index)) {
    ResolveUnknownName(token);
    if (!word_list_.LocateKey(token, index)) throw EParserException("Unknown variable '" + token + "' found.");
  }
  return word_list_.Item(index);
}

void TCustomExpressionParser::CheckTokenSequence(const TExprCollection& tokens, std::vector<int>& match) {
  const int n = tokens.Count();
  int sum = 0;
  for (int i = 0; i < n; ++i) {
    if (IsKind(tokens.Item(i), ekLeftBracket)) ++sum;
    if (IsKind(tokens.Item(i), ekRightBracket)) --sum;
  }
  if (sum != 0) throw EParserException("Unequal brackets");

  // No unary sign exists: a "+" or "-" in prefix position stays an operator
  // and fails later for want of an argument.
  for (int i = 0; i < n; ++i) {
    const TExprWord* word = tokens.Item(i);
    const TExprWord* next = i + 1 < n ? tokens.Item(i + 1) : nullptr;
    const TExprWord* prev = i > 0 ? tokens.Item(i - 1) : nullptr;
    if (word->IsOperandWord() && next != nullptr && next->IsOperandWord())
      throw EParserException("Missing operator between '" + word->Name() + "' and '" + next->Name() + "'");
    if (IsKind(word, ekLeftBracket) && (next == nullptr || IsKind(next, ekRightBracket)))
      throw EParserException("Empty brackets ()");
    if (IsKind(word, ekRightBracket) && IsKind(next, ekLeftBracket))
      throw EParserException("Missing operator between )(");
    if (IsKind(word, ekRightBracket) && next != nullptr && next->IsOperandWord())
      throw EParserException("Missing operator between ) and constant/variable");
    if (IsKind(word, ekLeftBracket) && prev != nullptr && prev->IsOperandWord())
      throw EParserException("Missing operator between constant/variable and (");
  }

  // The sum above does not see a ")" before its "(".
  match.assign(static_cast<size_t>(n), -1);
  std::vector<int> open;
  for (int i = 0; i < n; ++i) {
    if (IsKind(tokens.Item(i), ekLeftBracket)) {
      open.push_back(i);
    } else if (IsKind(tokens.Item(i), ekRightBracket)) {
      if (open.empty()) throw EParserException("Unequal brackets");
      match[static_cast<size_t>(open.back())] = i;
      match[static_cast<size_t>(i)] = open.back();
      open.pop_back();
    }
  }
}

TExprRecord* TCustomExpressionParser::MakeLeaf(TExprWord* word) {
  if (!word->IsOperandWord() && !word->IsFunctionWord()) throw EParserException("Operator/function missing");
  TExprRecord* rec = AllocRecord();
  rec->Word = word;
  rec->EvalRoutine = word->EvalRoutine();
  if (word->IsOperandWord()) {
    rec->ArgBuffers[0] = static_cast<char*>(word->ValueAddress());
    if (word->FixedLength() >= 0) rec->ArgBuffers[1] = static_cast<char*>(word->LengthAddress());
  }
  return rec;
}

TExprRecord* TCustomExpressionParser::BuildSyntaxTree(const TExprCollection& tokens, const std::vector<int>& match,
                                                      int first, int last, int depth) {
  if (depth > kMaxNesting) throw EParserException("Expression nested too deeply");
  while (first < last && IsKind(tokens.Item(first), ekLeftBracket) && match[static_cast<size_t>(first)] == last) {
    ++first;
    --last;
  }
  if (first > last) return nullptr;
  if (first == last) return MakeLeaf(tokens.Item(first));

  // The root is the loosest operator outside brackets. Equal binary operators
  // group from the left, so the rightmost of them is the root (10-3-2 is 5);
  // a prefix operator (NOT) of equal rank keeps the leftmost, so NOT NOT B nests.
  int root = -1;
  int best = 0;
  int level = 0;
  for (int i = first; i <= last; ++i) {
    const TExprWord* word = tokens.Item(i);
    if (IsKind(word, ekLeftBracket)) {
      ++level;
    } else if (IsKind(word, ekRightBracket)) {
      --level;
    } else if (level == 0 && word->IsOperatorWord()) {
      const int precedence = static_cast<const TFunction*>(word)->Precedence();
      if (root < 0 || precedence > best || (precedence == best && word->MaxFunctionArg() >= 2)) {
        root = i;
        best = precedence;
      }
    }
  }

  TExprWord* root_word = tokens.Item(root >= 0 ? root : first);
  if (root < 0 && !root_word->IsFunctionWord()) throw EParserException("Operator/function missing");
  TExprRecord* node = AllocRecord();
  node->Word = root_word;
  node->EvalRoutine = root_word->EvalRoutine();
  {
    TScopeFail unbuilt([&node] { FreeTree(node); });
    int args = 0;
    if (root >= 0) {
      if (root > first) node->ArgNodes[args++] = BuildSyntaxTree(tokens, match, first, root - 1, depth + 1);
      if (root < last) node->ArgNodes[args++] = BuildSyntaxTree(tokens, match, root + 1, last, depth + 1);
      return node;
    }
    // A function call: name "(" arguments ")" and nothing after it.
    const int open = first + 1;
    if (!IsKind(tokens.Item(open), ekLeftBracket) || match[static_cast<size_t>(open)] != last)
      throw EParserException("Operator/function missing");
    int arg_start = open + 1;
    level = 0;
    for (int i = open + 1; i <= last; ++i) {
      const TExprWord* word = tokens.Item(i);
      if (i == last || (level == 0 && IsKind(word, ekComma))) {
        if (args == MaxArg) throw EParserException("Function or operand has too many arguments");
        TExprRecord* arg = BuildSyntaxTree(tokens, match, arg_start, i - 1, depth + 1);
        if (arg == nullptr) throw EParserException("Missing argument");
        node->ArgNodes[args++] = arg;
        arg_start = i + 1;
      } else if (IsKind(word, ekLeftBracket)) {
        ++level;
      } else if (IsKind(word, ekRightBracket)) {
        --level;
      }
    }
  }
  return node;
}

void TCustomExpressionParser::MatchOverloads(TExprRecord* node) {
  enum class Failure { None, TooFew, Mismatch, TooMany };
  for (;;) {
    TExprWord* word = node->Word;
    const int max_args = word->MaxFunctionArg();
    const AnsiString& signature = word->Signature();
    Failure failure = Failure::None;
    int i = 0;
    for (; i < max_args && node->ArgNodes[i] != nullptr; ++i) {
      MatchOverloads(node->ArgNodes[i]);
      if (node->ArgNodes[i]->Word->ResultKind() != KindOfLetter(signature[static_cast<size_t>(i)])) {
        failure = Failure::Mismatch;
        break;
      }
    }
    if (failure == Failure::None) {
      if (i < word->MinFunctionArg())
        failure = Failure::TooFew;
      else if (i < MaxArg && node->ArgNodes[i] != nullptr)
        failure = Failure::TooMany;
    }
    if (failure == Failure::None) return;

    // Same-named overloads stand together in the word list, in the order of
    // their registration: try the next one.
    const int index = word_list_.FindItem(word);
    if (index >= 0 && index + 1 < word_list_.Count()) {
      TExprWord* next = word_list_.Item(index + 1);
      if (CompareText(next->Name(), word->Name()) == 0) {
        node->Word = next;
        node->EvalRoutine = next->EvalRoutine();
        continue;
      }
    }
    switch (failure) {
      case Failure::TooFew: throw EParserException("Function or operand has too few arguments");
      case Failure::Mismatch: throw EParserException("Argument type mismatch");
      default: throw EParserException("Function or operand has too many arguments");
    }
  }
}

bool TCustomExpressionParser::DependsOnVariable(const TExprRecord* node) const {
  if (node->Word->IsVariableWord()) return true;
  for (const TExprRecord* arg : node->ArgNodes)
    if (arg != nullptr && DependsOnVariable(arg)) return true;
  return false;
}

void TCustomExpressionParser::FoldConstantParts(TExprRecord*& slot) {
  TExprRecord* node = slot;
  const TExprKind kind = node->Word->ResultKind();
  // No constant word holds a 64-bit integer or a date: such parts stay as they are.
  const bool foldable = kind == ekString || kind == ekBoolean || kind == ekFloat || kind == ekInteger;
  if (DependsOnVariable(node) || !foldable) {
    for (TExprRecord*& arg : node->ArgNodes)
      if (arg != nullptr) FoldConstantParts(arg);
    return;
  }
  if (dynamic_cast<TConstant*>(node->Word) != nullptr) return;

  // The subtree now belongs to the temporary list; the slot is empty until the
  // constant takes its place, so a failure frees nothing twice.
  slot = nullptr;
  EvalList temp;
  result_position_ = result_buffer_;
  Linearize(node, &result_buffer_, &result_position_, &result_capacity_, temp);
  TConstant* constant = nullptr;
  {
    TScopeExit freed([this, &temp] { FreeEvaluationList(temp); });
    RunList(temp);
    switch (kind) {
      case ekString: constant = TStringConstant::FromValue(AnsiString(result_buffer_)); break;
      case ekBoolean: constant = new TBooleanConstant(AnsiString(), result_buffer_[0] != 0); break;
      case ekFloat: {
        double value = 0;
        std::memcpy(&value, result_buffer_, sizeof value);
        constant = new TFloatConstant(value);
        break;
      }
      default: {
        int32_t value = 0;
        std::memcpy(&value, result_buffer_, sizeof value);
        constant = new TIntegerConstant(value);
        break;
      }
    }
  }
  constant_list_.Add(constant);
  slot = MakeLeaf(constant);
}

void TCustomExpressionParser::Linearize(TExprRecord* node, char** buffer, char** position, int* capacity,
                                        EvalList& list) {
  if (node->EvalRoutine == nullptr) {
    // The text "+": its arguments write one after the other into the same buffer.
    for (TExprRecord* arg : node->ArgNodes)
      if (arg != nullptr) Linearize(arg, buffer, position, capacity, list);
    delete node;
    return;
  }
  node->StartsResult = *position == *buffer;
  if (node->StartsResult) ++*position;
  for (int i = 0; i < MaxArg; ++i) {
    if (node->ArgNodes[i] == nullptr) continue;
    node->ArgBuffers[i] = NewBuffer();
    node->ArgPositions[i] = node->ArgBuffers[i];
    node->ArgCapacities[i] = kInitialBuffer;
    Linearize(node->ArgNodes[i], &node->ArgBuffers[i], &node->ArgPositions[i], &node->ArgCapacities[i], list);
  }
  node->Res = TDynamicType{buffer, position, capacity};
  node->Locale = ComparisonLocale();
  node->Next = nullptr;
  if (list.last != nullptr)
    list.last->Next = node;
  else
    list.first = node;
  list.last = node;
}

// ---- evaluation and release --------------------------------------------------

void TCustomExpressionParser::RunList(const EvalList& list) {
  for (TExprRecord* rec = list.first; rec != nullptr; rec = rec->Next) {
    if (rec->StartsResult) *rec->Res.MemoryPos = *rec->Res.Memory;
    rec->EvalRoutine(rec);
  }
}

void TCustomExpressionParser::RunEvaluationList() { RunList(list_); }

void TCustomExpressionParser::FreeTree(TExprRecord* node) {
  if (node == nullptr) return;
  for (TExprRecord* arg : node->ArgNodes) FreeTree(arg);
  delete node;
}

void TCustomExpressionParser::FreeEvaluationList(EvalList& list) {
  TExprRecord* rec = list.first;
  while (rec != nullptr) {
    TExprRecord* next = rec->Next;
    for (int i = 0; i < MaxArg; ++i)
      if (rec->ArgNodes[i] != nullptr) delete[] rec->ArgBuffers[i];
    delete rec;
    rec = next;
  }
  list = EvalList();
}
