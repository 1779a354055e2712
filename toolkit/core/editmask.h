// Edit masks and the text of a single-line edit, without any window.
//
// A mask is the classic three-part text "picture;save-literals;blank":
//   picture        the positions of the edit, one character each:
//                    L letter required      l letter optional
//                    A letter/digit req.    a letter/digit optional
//                    C any character req.   c any character optional
//                    0 digit required       9 digit optional
//                    # digit or sign, optional
//                    : the time separator   / the date separator
//                    \ the next character is a literal
//                    > upper case from here, < lower case, <> no case change
//                    ! optional characters missing at the end are dropped
//                      from the left instead of the right (leading blanks)
//                  any other character is a literal shown in place.
//   save-literals  "0": the value leaves the literals out; anything else
//                  (and a missing part) keeps them.
//   blank          the character shown in an empty position ('_' when absent).
// Letters are those of Windows-1251 (Cyrillic included). The GUI library's
// own masks give 'A', '9', '0' and 'X' other meanings, so the edits use this
// engine instead.
#pragma once

#include <vector>

#include "toolkit/core/sysutils.h"

class TEditMask {
 public:
  TEditMask() = default;
  explicit TEditMask(const AnsiString& mask);

  // No picture: the edit takes free text.
  bool Empty() const { return slots_.empty(); }
  // The number of positions of the edit text.
  int Length() const { return static_cast<int>(slots_.size()); }
  bool SaveLiterals() const { return save_literals_; }
  char Blank() const { return blank_; }
  bool IsLiteral(int pos) const;
  bool IsRequired(int pos) const;

  // The edit text of an empty edit: literals in place, blanks elsewhere.
  AnsiString EmptyText() const;
  // The edit text that shows Value (a text with the literals when
  // SaveLiterals, without them otherwise); characters that do not fit their
  // position are left blank.
  AnsiString FormatValue(const AnsiString& value) const;
  // The value of an edit text: blanks become spaces, and literals are left
  // out unless SaveLiterals.
  AnsiString ValueOf(const AnsiString& edit_text) const;
  // Whether ch may stand at pos; on success ch is changed to the case the
  // position asks for. Literal positions take nothing.
  bool AcceptChar(int pos, char& ch) const;
  // Whether every required position holds an accepted character. ErrorPos
  // receives the first position that fails (-1 when none).
  bool Validate(const AnsiString& edit_text, int* error_pos = nullptr) const;
  // The first editable position at or after pos (Length() when none), and
  // the last one before pos (-1 when none).
  int NextEditable(int pos) const;
  int PrevEditable(int pos) const;

 private:
  enum Kind { kLiteral, kLetter, kAlnum, kAny, kDigit, kDigitSign };
  enum Case { kNoCase, kUpper, kLower };
  struct Slot {
    Kind kind = kLiteral;
    bool required = false;
    Case letter_case = kNoCase;
    char literal = 0;
  };
  std::vector<Slot> slots_;
  bool save_literals_ = true;
  bool leading_blanks_ = false;
  char blank_ = '_';
};

// The text, caret and selection of a single-line edit, with its mask and
// length limit: what typing, deleting and pasting do to them. A masked text
// always holds one character per position; free text is at most MaxLength
// long (0: no limit). Positions count characters from 0; the caret stands
// at SelStart + SelLength after a move to the right and at SelStart after one
// to the left, as the anchor of the selection decides.
class TEditBuffer {
 public:
  // Sets the mask; the text is refitted to it.
  void SetMask(const AnsiString& mask);
  const TEditMask& Mask() const { return mask_; }
  int MaxLength() const { return max_length_; }
  // A shorter limit cuts free text.
  void SetMaxLength(int value);

  // The text as shown.
  const AnsiString& Text() const { return text_; }
  // Replaces the whole text (masked: formatted into the mask); the caret goes
  // to the end, without a selection.
  void SetText(const AnsiString& text);
  // The value: free text as it is, a masked text through TEditMask::ValueOf.
  AnsiString Value() const;
  // Sets the text from a value (masked: TEditMask::FormatValue).
  void SetValue(const AnsiString& value);

  int SelStart() const { return sel_start_; }
  int SelLength() const { return sel_length_; }
  AnsiString SelText() const { return text_.substr(size_t(sel_start_), size_t(sel_length_)); }
  int Caret() const { return caret_; }
  // Selects from anchor to caret (either order), both cut to the text.
  void Select(int anchor, int caret);
  void SelectAll() { Select(0, Length()); }
  // Moves the caret to pos, extending the selection from its anchor when Extend.
  void MoveCaret(int pos, bool extend);
  int Length() const { return static_cast<int>(text_.size()); }

  // Typing ch: replaces the selection or (masked) overwrites the next
  // editable position. False, with nothing changed, when the character does
  // not fit (mask position, length limit).
  bool Type(char ch);
  // Backspace and Delete: the selection, else the character before / at the
  // caret (masked: blanked). False when nothing changed.
  bool Backspace();
  bool Delete();
  // Replaces the selection with text (a paste); masked, character by
  // character from the selection start. False, with nothing changed, when
  // any character does not fit.
  bool Replace(const AnsiString& text);
  // Whether a masked text passes its mask (free text always does).
  bool Valid() const { return mask_.Empty() || mask_.Validate(text_); }

 private:
  void Fit();
  TEditMask mask_;
  int max_length_ = 0;
  AnsiString text_;
  int sel_start_ = 0;
  int sel_length_ = 0;
  int caret_ = 0;
  int anchor_ = 0;
};
