// The display format of a text object: a 32-bit format word and a custom
// format text, the formatting they select, and the short format a bracket
// text may carry after " #", and the dialog that edits a format.
//
// Format word:
//
//   bits 0-7    decimal separator (its 1251 code; 44 is the comma)
//   bits 8-15   number of decimals
//   bits 16-23  kind within the category; 4 is "custom" and uses the format text
//   bits 24-27  category: 0 text, 1 number, 2 date, 3 time, 4 boolean
//   bits 28-31  zero
//
// 0x22C is text with the comma; 0x104022C a custom number format with the
// comma; 0x100032C number kind 0 with three decimals.
#pragma once

#include <cstdint>
#include <vector>
#include "toolkit/core/variant.h"
#include "toolkit/ui/forms.h"

enum TfrFormatCategory : int { fcText, fcNumber, fcDate, fcTime, fcBoolean };
inline constexpr int kFormatCategoryCount = 5;
inline constexpr int kFormatKindCount = 5;
inline constexpr int kCustomFormatKind = 4;

// The parts of a format word.
struct TfrFormatWord {
  int Category = fcText;
  int Kind = 0;
  // 0..255: what the word holds.
  int Decimals = 0;
  char Separator = ',';

  static TfrFormatWord Decode(uint32_t word);
  // Values outside what their bits hold are clamped into them.
  uint32_t Encode() const;
};

// The name of a category and of a kind (the library's texts 55130-55134 and
// 55150 + 5 * category + kind); empty out of range.
AnsiString FormatCategoryName(int category);
AnsiString FormatKindName(int category, int kind);

// The predefined date, time and boolean formats of kinds 0 to 3.
AnsiString PredefinedDateFormat(int kind);
AnsiString PredefinedTimeFormat(int kind);
AnsiString PredefinedBooleanFormat(int kind);

// The text of a value in the format word and format text; Null, unassigned and
// blank strings give empty text; a value the format cannot take gives its
// plain text. The locale's decimal separator is the same afterwards.
AnsiString ApplyDisplayFormat(const Variant& value, uint32_t word, const AnsiString& format_text);
// Turns the part of a bracket text after " #" into a word and a format text:
// N (or a digit) numbers, B booleans, D or T dates and times; anything else is
// the format text under the word as it was.
void ParseInlineFormat(const AnsiString& suffix, uint32_t& word, AnsiString& format_text);

class TButton;
class TCustomMaskEdit;
class TLabel;
class TListBox;

// Edits a format word and text. Put Word and FormatText in, ShowModal (or
// EditDisplayFormat), and read them back when it closed with OK.
class TfrFmtForm : public TForm {
 public:
  explicit TfrFmtForm(TComponent* owner);

  uint32_t Word = 0;
  AnsiString FormatText;

  TListBox* CatLB;
  TListBox* TypeLB;
  TCustomMaskEdit* DecEdit;
  TCustomMaskEdit* SplEdit;
  TCustomMaskEdit* FormatEdit;
  TLabel* Label1;
  TLabel* Label2;
  TLabel* Label3;
  TButton* Button1;
  TButton* Button2;

  // The captions from the library texts.
  void FormCreate();
  // Fills the lists from Word and selects its category and kind.
  void FormActivate();
  // The kinds of the selected category, the first selected.
  void CatLBClick();
  // Enables the edits the selected category and kind use.
  void TypeLBClick();
  void SplEditEnter();
  // Takes the edits into Word and FormatText (the dialog closed with OK).
  void FormDeactivate();

 private:
  // The kind list's entries: index in the list -> kind number.
  std::vector<int> kinds_;
};

// Shows the dialog modally on word and format_text; true, with both changed,
// when it closed with OK.
bool EditDisplayFormat(uint32_t& word, AnsiString& format_text);
