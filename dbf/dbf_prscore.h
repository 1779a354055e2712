// The expression parser core: compiles the text of a table expression (a
// record filter such as "NB_TYPE=0", an index key) into a flat list of
// evaluation records and runs that list once per record.
//
// Compilation: split the text into tokens, check the token sequence, build a
// syntax tree by operator precedence, choose among same-named overloads by the
// kinds of their arguments, fold variable-free parts into constants, and
// linearise the tree in post-order. Every record writes into the argument
// buffer of its parent (the root into the result buffer); the buffers exist
// after compilation, so a run allocates nothing unless a text outgrows one.
//
// The core knows no operators: a descendant fills the word list and turns
// unknown names into variables.
#pragma once

#include <cstdint>
#include <vector>

#include "dbf/dbf_prsdef.h"

class TCustomExpressionParser {
 public:
  // How deep operators and calls may nest. Deeper texts are refused with
  // EParserException rather than running the compiler's recursion off the
  // stack. Chains of equal operators group from the left and nest one level
  // per operator, so the bound also caps a filter's alternatives
  // ("N=1 OR N=2 OR ..."): high enough for any filter a user writes, low
  // enough for the recursion to stay far from the stack's end.
  static constexpr int kMaxNesting = 1000;

  // A descendant's constructor must call LoadWordList itself: C++ does not
  // dispatch to the descendant while the base is being built.
  TCustomExpressionParser();
  virtual ~TCustomExpressionParser();
  TCustomExpressionParser(const TCustomExpressionParser&) = delete;
  TCustomExpressionParser& operator=(const TCustomExpressionParser&) = delete;

  // Compiles text into the evaluation list (the caller clears any previous
  // one first). An empty or blank text compiles to nothing. On failure no
  // list exists afterwards.
  void BuildEvaluationList(const AnsiString& text);
  // Runs every record in order; the value then stands at the start of ResultBuffer.
  void RunEvaluationList();
  // The result kind of the compiled expression; ekUnknown when nothing is compiled.
  virtual TExprKind GetResultKind();
  // Frees the evaluation list.
  virtual void ClearCompiled();

  // The expression's value after RunEvaluationList (a text ends in a zero byte).
  const char* ResultBuffer() const { return result_buffer_; }
  // The first record of the evaluation list; none when nothing is compiled.
  TExprRecord* FirstRecord() const { return list_.first; }

  // Variables over storage owned by the caller, read at each evaluation.
  void AddIntegerVariable(const AnsiString& name, int32_t* value);
  void AddLargeIntVariable(const AnsiString& name, int64_t* value);
  void AddDateTimeVariable(const AnsiString& name, double* value);
  void AddFloatVariable(const AnsiString& name, double* value);
  // text: address of a pointer to zero-terminated text.
  void AddStringVariable(const AnsiString& name, char** text);
  // text: address of a pointer to length bytes of text.
  void AddFixedStringVariable(const AnsiString& name, char** text, int length);
  // Inserts a word (the parser's list takes a use of it), replacing a word of
  // the same name. The parser owns the word from here on, also when this fails.
  void AddVariableWord(TExprWord* word);
  // Removes the word of that name, handing its place in a compiled list to
  // new_word when given (owned as by AddVariableWord).
  void RemoveOrSwapWord(const AnsiString& name, TExprWord* new_word);

  // Folding of variable-free parts into constants (on after construction).
  bool FoldConstants() const { return fold_constants_; }
  void SetFoldConstants(bool value) { fold_constants_ = value; }

  // The words this parser knows.
  TExpressList& WordList() { return word_list_; }

 protected:
  virtual TExprRecord* AllocRecord();
  // Fills WordList.
  virtual void LoadWordList() = 0;
  // Called for a name the word list lacks; may define it as a variable.
  virtual void ResolveUnknownName(const AnsiString& name) = 0;
  // Gives the records of the current list that use old_word the new word.
  virtual void SwapWord(TExprWord* old_word, TExprWord* new_word);
  virtual AnsiString GetExpressionText() = 0;
  // The locale id text comparisons of the compiled expression use.
  virtual uint32_t ComparisonLocale();

  // The character that starts a hexadecimal number, and the decimal point of number tokens.
  char hex_prefix_ = '$';
  char decimal_point_ = '.';

 private:
  struct EvalList {
    TExprRecord* first = nullptr;
    TExprRecord* last = nullptr;
  };

  void SplitTokens(const AnsiString& text, TExprCollection& tokens);
  TExprWord* MakeTokenWord(const AnsiString& token, bool is_number);
  void CheckTokenSequence(const TExprCollection& tokens, std::vector<int>& match);
  TExprRecord* BuildSyntaxTree(const TExprCollection& tokens, const std::vector<int>& match, int first, int last,
                               int depth);
  TExprRecord* MakeLeaf(TExprWord* word);
  void MatchOverloads(TExprRecord* node);
  bool DependsOnVariable(const TExprRecord* node) const;
  void FoldConstantParts(TExprRecord*& slot);
  void Linearize(TExprRecord* node, char** buffer, char** position, int* capacity, EvalList& list);
  static void RunList(const EvalList& list);
  static void FreeTree(TExprRecord* node);
  static void FreeEvaluationList(EvalList& list);

  TOCollection<TExprWord> constant_list_;
  EvalList list_;
  char* result_buffer_ = nullptr;
  char* result_position_ = nullptr;
  int result_capacity_ = 0;
  TExpressList word_list_;
  bool fold_constants_ = true;
};
