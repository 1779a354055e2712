#include "report/fr_intrp.h"

#include <cctype>

#include "report/fr_class.h"
#include "report/fr_globals.h"
#include "report/fr_utils.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/forms.h"

// ---- The compiler -------------------------------------------------------------------
//
// The source is joined into one buffer (every line followed by a carriage
// return, tabs made blanks). Comments are cut out of the buffer as they are
// met, and their places are recorded so that an error can be reported at the
// place the author wrote. Keywords are read as words (runs of characters above
// the blank, upper-cased); expressions are checked character by character and
// copied to the compiled line as written, then turned into postfix form once
// the whole statement is compiled.

class TfrInterpretator::Compiler {
 public:
  Compiler(TfrParser& parser, const TStrings& source, TStrings& script, TStrings& errors)
      : parser_(parser), script_(script), errors_(errors) {
    for (int i = 0; i < source.Count(); ++i) {
      AnsiString line = source.Strings(i);
      for (char& c : line)
        if (c == '\t') c = ' ';
      buf_ += line;
      buf_ += '\r';
    }
    original_ = buf_;
  }

  void Run() {
    if (buf_.size() > kBufferSize) {
      word_start_ = kBufferSize;
      ScriptError("The script is longer than 32000 characters");
      return;
    }
    if (!buf_.empty()) ParseStatement();
    FixLines();
    for (const Emitted& line : lines_) script_.Add(line.text);
  }

 private:
  struct Cut {
    size_t start;
    size_t length;
  };
  struct Label {
    AnsiString text;
    int line;
  };
  struct Emitted {
    AnsiString text;
    // Where the statement's text starts, for errors found while fixing.
    size_t pos;
    bool is_goto;
  };

  // Deeper nesting of statements or expressions is refused rather than
  // running off the machine stack.
  static constexpr int kMaxDepth = 200;

  // ---- characters and words

  char Ch(size_t p) const { return p < buf_.size() ? buf_[p] : '\0'; }
  static bool IsLetter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalpha(u) || c == '_' || u >= 0xC0 || u == 0xA8 || u == 0xB8;
  }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsIdentChar(char c) { return IsLetter(c) || IsDigit(c) || c == '.'; }

  // Cuts the comment starting at p, if one does; true when it did.
  bool CutCommentAt(size_t p) {
    size_t end;
    if (Ch(p) == '{') {
      end = buf_.find('}', p + 1);
    } else if (Ch(p) == '/' && Ch(p + 1) == '/') {
      end = buf_.find('\r', p + 2);
    } else {
      return false;
    }
    end = end == AnsiString::npos ? buf_.size() : end + 1;
    cuts_.push_back({p, end - p});
    buf_.erase(p, end - p);
    return true;
  }

  void SkipBlanks() {
    for (;;) {
      while (pos_ < buf_.size() && static_cast<unsigned char>(buf_[pos_]) <= 32) ++pos_;
      if (!CutCommentAt(pos_)) return;
    }
  }

  // Reads the next word into word_ (a single blank at the end of the text).
  void ReadScriptWord() {
    SkipBlanks();
    word_start_ = pos_;
    const bool quoted = Ch(pos_) == '\'';
    while (pos_ < buf_.size() && static_cast<unsigned char>(buf_[pos_]) > 32) {
      if (!quoted && CutCommentAt(pos_)) continue;
      ++pos_;
    }
    word_ = AnsiUpperCase(std::string_view(buf_).substr(word_start_, pos_ - word_start_));
    if (word_.empty()) word_ = " ";
  }

  void Unread() { pos_ = word_start_; }

  // Whether the current word begins with the keyword, followed by nothing
  // that could continue a name.
  bool WordIs(std::string_view keyword) const {
    if (word_.compare(0, keyword.size(), keyword) != 0) return false;
    return word_.size() == keyword.size() || !IsIdentChar(word_[keyword.size()]);
  }
  // WordIs, and the reading goes on right after the keyword.
  bool TakeWord(std::string_view keyword) {
    if (!WordIs(keyword)) return false;
    pos_ = word_start_ + keyword.size();
    return true;
  }
  bool ReadKeyword(std::string_view keyword) {
    ReadScriptWord();
    return TakeWord(keyword);
  }

  // Case-insensitive keyword at pos_ (inside an expression).
  bool KeywordAt(std::string_view keyword) const {
    for (size_t i = 0; i < keyword.size(); ++i)
      if (AnsiUpperChar(Ch(pos_ + i)) != keyword[i]) return false;
    return !IsIdentChar(Ch(pos_ + keyword.size()));
  }

  // ---- errors

  void ScriptError(std::string_view message) {
    if (error_) return;
    error_ = true;
    size_t p = word_start_;
    // At the end of the text the error belongs to the end of what was written.
    if (p >= buf_.size()) {
      p = buf_.size();
      while (p > 0 && static_cast<unsigned char>(buf_[p - 1]) <= 32) --p;
    }
    for (const Cut& cut : cuts_)
      if (cut.start <= p) p += cut.length;
    int line = 1;
    size_t line_start = 0;
    for (size_t i = 0; i < p && i < original_.size(); ++i)
      if (original_[i] == '\r') {
        ++line;
        line_start = i + 1;
      }
    const int column = static_cast<int>(p - line_start) + 1;
    errors_.Add("Line " + IntToStr(line) + "/" + IntToStr(column) + ": " + AnsiString(message));
  }
  // An error at the character being checked.
  void ScriptErrorHere(std::string_view message) {
    word_start_ = pos_;
    ScriptError(message);
  }

  // ---- emitting

  int Count() const { return static_cast<int>(lines_.size()); }

  int Emit(AnsiString text, size_t pos, bool is_goto = false) {
    if (Count() >= kMaxScriptLines) {
      ScriptError("The script has more than 65535 lines");
      return -1;
    }
    lines_.push_back({std::move(text), pos, is_goto});
    return Count() - 1;
  }
  static AnsiString Jump(char code, int target) {
    AnsiString text(3, code);
    text[1] = static_cast<char>(target & 0xFF);
    text[2] = static_cast<char>((target >> 8) & 0xFF);
    return text;
  }
  void SetTarget(int line, int target) {
    if (line < 0) return;
    lines_[static_cast<size_t>(line)].text[1] = static_cast<char>(target & 0xFF);
    lines_[static_cast<size_t>(line)].text[2] = static_cast<char>((target >> 8) & 0xFF);
  }

  // ---- statements

  void ParseStatement() {
    if (error_) return;
    if (++depth_ > kMaxDepth) {
      ScriptError("Statements are nested too deeply");
      return;
    }
    ReadScriptWord();
    if (TakeWord("BEGIN")) {
      Compound();
    } else if (TakeWord("IF")) {
      If();
    } else if (TakeWord("REPEAT")) {
      Repeat();
    } else if (TakeWord("WHILE")) {
      While();
    } else if (TakeWord("FOR")) {
      For();
    } else if (TakeWord("GOTO")) {
      Goto();
    } else if (WordIs("END") || WordIs("UNTIL") || WordIs("ELSE") || word_[0] == ';' || word_ == " ") {
      Unread();  // an empty statement; the word belongs to the caller
    } else {
      Unread();
      size_t p = pos_;
      while (IsDigit(Ch(p))) ++p;
      if (p > pos_ && Ch(p) == ':' && Ch(p + 1) != '=') {
        DefineLabel(buf_.substr(pos_, p + 1 - pos_));
        pos_ = p + 1;
        ParseStatement();
      } else if (IsLetter(Ch(pos_)) && Ch(EndOfName(pos_)) != '(') {
        bool assignment = false;
        ParseAssignment(&assignment);
      } else {
        const size_t start = pos_;
        const AnsiString call = ExpressionText();
        if (!error_) Emit(AnsiString(1, kScriptCall) + call, start);
      }
    }
    --depth_;
  }

  // Statements separated by ";" up to the closing keyword, which is taken;
  // false after an error.
  bool StatementList(std::string_view closer, std::string_view message) {
    for (;;) {
      ParseStatement();
      if (error_) return false;
      ReadScriptWord();
      if (word_[0] == ';') {
        pos_ = word_start_ + 1;
        continue;
      }
      if (TakeWord(closer)) return true;
      ScriptError(message);
      return false;
    }
  }

  void Compound() { StatementList("END", "Need \";\" or \"end\" here"); }

  void If() {
    const size_t start = pos_;
    const AnsiString condition = ExpressionText();
    if (error_) return;
    const int test = Emit(Jump(kScriptIf, 0) + condition, start);
    if (!ReadKeyword("THEN")) {
      ScriptError("Need \"then\" here");
      return;
    }
    ParseStatement();
    if (error_) return;
    ReadScriptWord();
    if (TakeWord("ELSE")) {
      const int skip = Emit(Jump(kScriptGoto, 0), word_start_);
      SetTarget(test, Count());
      ParseStatement();
      SetTarget(skip, Count());
    } else {
      SetTarget(test, Count());
      Unread();
    }
  }

  void Repeat() {
    const int top = Count();
    if (!StatementList("UNTIL", "Need \";\" or \"until\" here")) return;
    const size_t start = pos_;
    const AnsiString condition = ExpressionText();
    if (!error_) Emit(Jump(kScriptIf, top) + condition, start);
  }

  void While() {
    const size_t start = pos_;
    const AnsiString condition = ExpressionText();
    if (error_) return;
    const int test = Emit(Jump(kScriptIf, 0) + condition, start);
    if (!ReadKeyword("DO")) {
      ScriptError("Need \"do\" here");
      return;
    }
    ParseStatement();
    if (error_) return;
    Emit(Jump(kScriptGoto, test), pos_);
    SetTarget(test, Count());
  }

  void For() {
    SkipBlanks();
    const size_t start = pos_;
    bool assignment = false;
    const AnsiString variable = IsLetter(Ch(pos_)) ? ParseAssignment(&assignment) : AnsiString();
    if (error_) return;
    if (!assignment) {
      word_start_ = start;
      ScriptError("Need \":=\" here");
      return;
    }
    if (!ReadKeyword("TO")) {
      ScriptError("Need \"to\" here");
      return;
    }
    const size_t limit_start = pos_;
    const AnsiString limit = ExpressionText();
    if (error_) return;
    // The limit is evaluated anew on every round.
    const int test = Emit(Jump(kScriptIf, 0) + variable + "<=" + limit, limit_start);
    if (!ReadKeyword("DO")) {
      ScriptError("Need \"do\" here");
      return;
    }
    ParseStatement();
    if (error_) return;
    Emit(variable + " " + variable + "+1", start);
    Emit(Jump(kScriptGoto, test), start);
    SetTarget(test, Count());
  }

  void Goto() {
    ReadScriptWord();
    size_t digits = 0;
    while (digits < word_.size() && IsDigit(word_[digits])) ++digits;
    if (digits == 0) {
      ScriptError("\"goto\" label must be a number");
      return;
    }
    pos_ = word_start_ + digits;
    Emit(AnsiString(1, kScriptGoto) + word_.substr(0, digits), word_start_, true);
  }

  void DefineLabel(AnsiString text) {
    if (text.size() > kMaxLabelLength) text.resize(kMaxLabelLength);
    for (const Label& label : labels_)
      if (label.text == text) return;  // a label defined twice keeps its first line
    if (static_cast<int>(labels_.size()) >= kMaxLabels) {
      word_start_ = pos_;
      ScriptError("The script has more than 101 labels");
      return;
    }
    labels_.push_back({text, Count()});
  }

  // Where the name starting at p ends (letters, digits, points).
  size_t EndOfName(size_t p) const {
    while (p < buf_.size() && IsIdentChar(buf_[p])) ++p;
    return p;
  }

  // The position after the "]" matching the "[" at p (quotes respected);
  // npos when the text ends first.
  size_t EndOfBracket(size_t p) const {
    int depth = 0;
    char quote = 0;
    for (; p < buf_.size(); ++p) {
      const char c = buf_[p];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == '[') {
        ++depth;
      } else if (c == ']' && --depth == 0) {
        return p + 1;
      }
    }
    return AnsiString::npos;
  }

  // name := expression, name[index] := expression, or a bare call. Returns the
  // name; *assignment tells whether a plain assignment was made.
  AnsiString ParseAssignment(bool* assignment) {
    const size_t start = pos_;
    pos_ = EndOfName(pos_);
    const AnsiString name = buf_.substr(start, pos_ - start);
    AnsiString index;
    bool indexed = false;
    if (Ch(pos_) == '[') {
      const size_t end = EndOfBracket(pos_);
      if (end == AnsiString::npos) {
        ScriptErrorHere("Need \"]\" here");
        return name;
      }
      index = buf_.substr(pos_ + 1, end - pos_ - 2);
      indexed = true;
      pos_ = end;
    }
    ReadScriptWord();
    if (word_[0] == ';' || WordIs("END") || WordIs("ELSE") || WordIs("UNTIL") || word_ == " ") {
      // A procedure called without arguments. The end of the text closes it
      // as well, so that a script may end with one.
      Unread();
      Emit(AnsiString(1, kScriptCall) + name + "(0)", start);
      return name;
    }
    if (word_.compare(0, 2, ":=") != 0) {
      ScriptError("Need \":=\" here");
      return name;
    }
    pos_ = word_start_ + 2;
    const AnsiString value = ExpressionText();
    if (error_) return name;
    if (indexed) {
      Emit(AnsiString(1, kScriptCall) + "SETARRAY(" + name + ", " + index + ", " + value + ")", start);
    } else {
      Emit(name + " " + value, start);
      *assignment = true;
    }
    return name;
  }

  // ---- expressions (checked, then copied as written)

  AnsiString ExpressionText() {
    SkipBlanks();
    const size_t start = pos_;
    CheckExpression();
    return Trim(std::string_view(buf_).substr(start, pos_ - start));
  }

  void CheckExpression() {
    if (error_) return;
    if (++depth_ > kMaxDepth) {
      ScriptErrorHere("The expression is nested too deeply");
      return;
    }
    CheckSimpleExpression();
    for (;;) {
      if (error_) break;
      SkipBlanks();
      const char c = Ch(pos_), n = Ch(pos_ + 1);
      if ((c == '>' && n == '=') || (c == '<' && (n == '=' || n == '>'))) {
        pos_ += 2;
      } else if (c == '<' || c == '=' || c == '>') {
        ++pos_;
      } else {
        break;
      }
      CheckSimpleExpression();
    }
    --depth_;
  }

  void CheckSimpleExpression() {
    CheckTerm();
    for (;;) {
      if (error_) return;
      SkipBlanks();
      if (Ch(pos_) == '+' || Ch(pos_) == '-') {
        ++pos_;
      } else if (KeywordAt("OR")) {
        pos_ += 2;
      } else {
        return;
      }
      CheckTerm();
    }
  }

  void CheckTerm() {
    CheckFactor();
    for (;;) {
      if (error_) return;
      SkipBlanks();
      if (Ch(pos_) == '*' || Ch(pos_) == '/') {
        ++pos_;
      } else if (KeywordAt("AND") || KeywordAt("MOD")) {
        pos_ += 3;
      } else {
        return;
      }
      CheckFactor();
    }
  }

  void CheckFactor() {
    if (error_) return;
    SkipBlanks();
    const char c = Ch(pos_);
    if (c == '(') {
      ++pos_;
      CheckExpression();
      if (error_) return;
      SkipBlanks();
      if (Ch(pos_) != ')') {
        ScriptErrorHere("Need \")\" here");
        return;
      }
      ++pos_;
    } else if (c == '[') {
      const size_t end = EndOfBracket(pos_);
      if (end == AnsiString::npos) {
        ScriptErrorHere("Need \"]\" here");
        return;
      }
      pos_ = end;
    } else if (c == '+' || c == '-') {
      ++pos_;
      CheckExpression();
    } else if (KeywordAt("NOT")) {
      pos_ += 3;
      CheckExpression();
    } else if (c == '\'') {
      size_t p = pos_ + 1;
      for (;;) {
        p = buf_.find('\'', p);
        if (p == AnsiString::npos) {
          ScriptErrorHere("Need \"'\" here");
          return;
        }
        if (Ch(p + 1) != '\'') break;
        p += 2;  // a doubled quote stands for one
      }
      pos_ = p + 1;
    } else if (IsDigit(c)) {
      while (IsDigit(Ch(pos_))) ++pos_;
      if ((Ch(pos_) == '.' || Ch(pos_) == ',') && IsDigit(Ch(pos_ + 1))) {
        ++pos_;
        while (IsDigit(Ch(pos_))) ++pos_;
      }
    } else if (IsLetter(c)) {
      const size_t start = pos_;
      // Names may carry "#" (PAGE#) and quoted parts (Dbf1."SERIAL").
      while (pos_ < buf_.size()) {
        const char d = buf_[pos_];
        if (IsIdentChar(d) || d == '#') {
          ++pos_;
        } else if (d == '"') {
          const size_t close = buf_.find('"', pos_ + 1);
          pos_ = close == AnsiString::npos ? buf_.size() : close + 1;
        } else {
          break;
        }
      }
      const AnsiString word = AnsiUpperCase(std::string_view(buf_).substr(start, pos_ - start));
      if (Ch(pos_) == '[') {
        const size_t end = EndOfBracket(pos_);
        if (end == AnsiString::npos) {
          ScriptErrorHere("Need \"]\" here");
          return;
        }
        pos_ = end;
      } else if (Ch(pos_) == '(') {
        CheckArguments();
      } else if (word == "INT" || word == "FRAC" || word == "ROUND" || word == "STR") {
        CheckFactor();  // these apply to the operand that follows
      }
    } else {
      ScriptErrorHere("Need an expression here");
    }
  }

  // With pos_ at the "(" of a call.
  void CheckArguments() {
    ++pos_;
    SkipBlanks();
    if (Ch(pos_) == ')') {
      ++pos_;
      return;
    }
    for (;;) {
      CheckExpression();
      if (error_) return;
      SkipBlanks();
      if (Ch(pos_) == ',') {
        ++pos_;
      } else if (Ch(pos_) == ')') {
        ++pos_;
        return;
      } else {
        ScriptErrorHere("Need \",\" or \")\" here");
        return;
      }
    }
  }

  // ---- fixing

  void FixLines() {
    for (Emitted& line : lines_) {
      const char code = line.text.empty() ? '\0' : line.text[0];
      try {
        if (line.is_goto) {
          AnsiString label = line.text.substr(1) + ":";
          if (label.size() > kMaxLabelLength) label.resize(kMaxLabelLength);
          int target = -1;
          for (const Label& l : labels_)
            if (l.text == label) target = l.line;
          if (target < 0) {
            word_start_ = line.pos;
            ScriptError("Label \"" + line.text.substr(1) + "\" is not defined");
            target = 0;
          }
          line.text = Jump(kScriptGoto, target);
        } else if (code == kScriptIf) {
          line.text = line.text.substr(0, 3) + parser_.ToPostfix(std::string_view(line.text).substr(3));
        } else if (code == kScriptCall) {
          line.text = line.text.substr(0, 1) + parser_.ToPostfix(std::string_view(line.text).substr(1));
        } else if (code != kScriptGoto) {
          const size_t blank = line.text.find(' ');
          if (blank != AnsiString::npos)
            line.text = line.text.substr(0, blank + 1) + parser_.ToPostfix(std::string_view(line.text).substr(blank + 1));
        }
      } catch (const Exception&) {
        // The checks above let no unbalanced call through; should one come,
        // it is reported where its statement starts.
        word_start_ = line.pos;
        ScriptError("Need \")\" here");
      }
    }
  }

  TfrParser& parser_;
  TStrings& script_;
  TStrings& errors_;
  AnsiString buf_;
  AnsiString original_;
  size_t pos_ = 0;
  size_t word_start_ = 0;
  AnsiString word_;
  bool error_ = false;
  int depth_ = 0;
  std::vector<Cut> cuts_;
  std::vector<Label> labels_;
  std::vector<Emitted> lines_;
};

// ---- TfrInterpretator ------------------------------------------------------------------

namespace {

int TargetOf(const AnsiString& line) {
  const auto byte = [&](size_t i) { return i < line.size() ? static_cast<unsigned char>(line[i]) : 0; };
  return byte(1) + 256 * byte(2);
}

}  // namespace

TfrInterpretator::TfrInterpretator() {
  parser_.ValueCallback = [this](const AnsiString& name, Variant& value) { ReadScriptVariable(name, value); };
  parser_.FunctionCallback = [this](const AnsiString& name, const Variant& p1, const Variant& p2,
                                    const Variant& p3, Variant& value) {
    CallScriptFunction(name, p1, p2, p3, value);
  };
}

TfrInterpretator::~TfrInterpretator() = default;

void TfrInterpretator::ReadScriptVariable(const AnsiString&, Variant&) {}
void TfrInterpretator::WriteScriptVariable(const AnsiString&, const Variant&) {}
void TfrInterpretator::CallScriptFunction(const AnsiString&, const Variant&, const Variant&, const Variant&,
                                          Variant&) {}

void TfrInterpretator::CompileScript(const TStrings& source, TStrings& script, TStrings& errors) {
  script.Clear();
  errors.Clear();
  Compiler(parser_, source, script, errors).Run();
}

void TfrInterpretator::RunScript(const TStrings& script) {
  const int count = script.Count();
  int i = 0;
  while (i >= 0 && i < count) {
    const AnsiString line = script.Strings(i);
    const char code = line.empty() ? '\0' : line[0];
    if (code == kScriptIf) {
      const Variant condition = parser_.EvalPostfix(line.size() > 3 ? std::string_view(line).substr(3) : "");
      i = condition == Variant(0) ? TargetOf(line) : i + 1;
    } else if (code == kScriptGoto) {
      i = TargetOf(line);
    } else if (code == kScriptCall) {
      const std::string_view call = std::string_view(line).substr(1);
      if (AnsiUpperCase(call) == "EXIT(0)") return;
      parser_.EvalPostfix(call);
      ++i;
    } else {
      const size_t blank = line.find(' ');
      if (blank != AnsiString::npos) {
        const Variant value = parser_.EvalPostfix(std::string_view(line).substr(blank + 1));
        WriteScriptVariable(line.substr(0, blank), value);
      }
      ++i;
    }
  }
}

void TfrInterpretator::FindCallsInScript(const TStrings& script, TfrFunctionSplitter& splitter) {
  for (int i = 0; i < script.Count(); ++i) {
    const AnsiString line = script.Strings(i);
    if (line.empty()) continue;
    if (line[0] == kScriptIf) {
      if (line.size() > 3) splitter.SplitCalls(std::string_view(line).substr(3));
    } else if (line[0] == kScriptCall) {
      splitter.SplitCalls(std::string_view(line).substr(1));
    } else if (line[0] != kScriptGoto) {
      const size_t blank = line.find(' ');
      if (blank != AnsiString::npos) splitter.SplitCalls(std::string_view(line).substr(blank + 1));
    }
  }
}

void TfrInterpretator::FindCallsInScript(const TStrings& script, TStrings* names, TfrVariables* variables,
                                         TStrings* output) {
  TfrFunctionSplitter splitter(names, output, variables);
  FindCallsInScript(script, splitter);
}

// ---- TInterpretator --------------------------------------------------------------------

void TInterpretator::ReadScriptVariable(const AnsiString& name, Variant& value) {
  TfrParser& parser = frBuildHost().Parser();
  if (parser.ValueCallback) parser.ValueCallback(name, value);
}

void TInterpretator::CallScriptFunction(const AnsiString& name, const Variant& p1, const Variant& p2,
                                        const Variant& p3, Variant& value) {
  TfrParser& parser = frBuildHost().Parser();
  if (parser.FunctionCallback) parser.FunctionCallback(name, p1, p2, p3, value);
}

void TInterpretator::WriteScriptVariable(const AnsiString& name, const Variant& value) {
  TfrGlobals& globals = frGlobals();
  TfrBuildHost& host = frBuildHost();
  const int index = globals.RuntimeVariables.IndexOfVariable(name);
  if (index >= 0) {
    globals.RuntimeVariables.SetVariableValueAt(index, value);
    return;
  }
  if (host.SetDictionaryVariable(name, value)) return;
  if (AnsiSameText(name, "MODALRESULT")) {
    host.SetDialogModalResult(value.AsInteger());
    return;
  }
  if (AnsiSameText(name, "CURY")) {
    host.SetCurY(value.AsInteger());
    return;
  }
  if (AnsiSameText(name, "PROGRESS")) {
    host.ShowProgress(VarToStr(value));
    if (Application) Application->ProcessMessages();
    return;
  }
  TfrObject* object = nullptr;
  AnsiString property;
  ResolveObjectPath(name, object, property);
  if (object && object->FindProperty(property)) {
    object->PutProperty(property, value);
    return;
  }
  globals.RuntimeVariables.AssignVariable(name, value);
}
