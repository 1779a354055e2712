// The calculator engine behind the numeric vision's calculator drop-down: a
// pocket-calculator state machine fed one key code at a time.
//
// The engine keeps its operands, memory and display as decimal texts in the
// locale's notation and converts to floating point only to compute, so what
// the user typed is shown exactly as typed. Results are written in the general
// float format with 15 significant digits: a double holds no more, and more
// digits would show binary noise ("0,300000000000000044" for 0.1 + 0.2).
//
// Each key is first classed, then the class and the state left by the previous
// key pick the action (the transition table in rs_calc.cpp):
//   0 clear everything, 1 key into Operand1, 2 set the operation,
//   3 key into Operand2, 4 compute then set the operation, 5 compute,
//   10 nothing (error state: only the C key leaves it).
// The action taken becomes the new State.
#pragma once

#include <functional>

#include "toolkit/core/component.h"
#include "toolkit/core/sysutils.h"

// Key codes the drop-down's buttons and keys send to PressKey. Digits are
// their own value, 0 to 9.
enum TvpCalcKey : int {
  ckDigit0 = 0,
  ckDigit9 = 9,
  ckSeparator = 10,     // the locale's decimal separator
  ckSign = 11,          // +/-
  ckAdd = 12,
  ckSubtract = 13,
  ckMultiply = 14,
  ckDivide = 15,
  ckEquals = 16,
  ckPercent = 17,
  ckReciprocal = 18,    // 1/x
  ckSqrt = 19,
  ckMemoryStore = 20,   // MS
  ckMemoryAdd = 21,     // M+
  ckMemoryRecall = 22,  // MR
  ckMemoryClear = 23,   // MC
  ckClear = 24,         // C
  ckClearEntry = 25,    // CE
  ckBackspace = 26,     // BS
};

// The state the engine is in after a failed key; only ckClear leaves it.
inline constexpr int kCalcErrorState = 10;

// The most digits an operand takes from the keyboard: what a double holds
// exactly and what the results show. Further digits are ignored.
inline constexpr int kCalcMaxDigits = 15;

class TvpCalcEngine : public TPersistent {
  KIV7_PERSISTENT(TvpCalcEngine)

 public:
  // Sender, var Handled: a handler that sets Handled ends the failed key quietly.
  using TErrorEvent = std::function<void(TvpCalcEngine* Sender, bool& Handled)>;
  using TChangeEvent = std::function<void(TvpCalcEngine* Sender)>;

  // Starts as SetValue("0") with empty memory.
  TvpCalcEngine();

  // Takes a number as the current value: Operand1 and Display become the text
  // (empty counts as "0"), the next digit starts a new number. A text that is
  // not a number raises EConvertError and leaves the engine unchanged. The
  // memory is kept; Changed ends false.
  void SetValue(const AnsiString& text);
  // Resets both operands, the operation, the error and the display to "0";
  // the memory is kept. Sets Changed.
  void Clear();
  // Feeds one key. On an error the engine enters kCalcErrorState with
  // ErrorText set; OnError (Handled false) may then take it, otherwise the
  // silent EAbort reaches the caller. Codes outside 0..26 are ignored.
  void PressKey(int code);
  // Whether the engine is in its error state.
  bool IsError() const { return state_ == kCalcErrorState; }

  // The text to show.
  const AnsiString& Display() const { return display_; }
  // The first operand, which also receives results.
  const AnsiString& Operand1() const { return operand1_; }
  // The second operand of the pending operation.
  const AnsiString& Operand2() const { return operand2_; }
  // Whether the next digit typed replaces Operand1 / Operand2.
  bool StartNew1() const { return start_new1_; }
  bool StartNew2() const { return start_new2_; }
  // The action of the last key (0 to 5), or kCalcErrorState.
  int State() const { return state_; }
  // The memory's text; empty when MemorySet is false.
  const AnsiString& Memory() const { return memory_; }
  bool MemorySet() const { return memory_set_; }
  // Digits typed after the separator in the operand being typed.
  int Decimals() const { return decimals_; }
  // Whether the separator has been pressed for the operand being typed.
  bool DecimalMode() const { return decimal_mode_; }
  // The pending binary operation's key code, 0 when none.
  int Operation() const { return operation_; }
  // Whether the display changed during the current key.
  bool Changed() const { return changed_; }
  // The message of the last error, empty after Clear.
  const AnsiString& ErrorText() const { return error_text_; }

  // Runs after a key that changed the display.
  TChangeEvent OnChange;
  // Runs when a key fails.
  TErrorEvent OnError;

 private:
  void KeyIntoOperand(AnsiString& operand, bool& start_new, int code);
  void ResetOperand(AnsiString& operand, bool& start_new);
  void SetOperation(int code);
  void Compute();
  void ClearMemory();
  // The number a text stands for; a text that is none fails as an overflow.
  double Number(const AnsiString& text);
  // The text of a result; a result out of range fails as an overflow.
  AnsiString ResultText(double value);
  // Enters the error state and ends the key with the silent EAbort.
  [[noreturn]] void Fail(const char* message);

  AnsiString display_;
  AnsiString operand1_ = "0";
  AnsiString operand2_ = "0";
  bool start_new1_ = false;
  bool start_new2_ = false;
  int state_ = 0;
  AnsiString memory_;
  bool memory_set_ = false;
  int decimals_ = 0;
  bool decimal_mode_ = false;
  int operation_ = 0;
  bool changed_ = false;
  AnsiString error_text_;
};
