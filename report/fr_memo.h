// The text object of a report: lines of text in a font, with expressions in
// brackets expanded, word wrap with Russian syllable hyphenation, alignment,
// spacing, highlight, stretching and splitting across pages.
//
// Record, after the common part of fr_class.h (V the stream version, M the
// RecordMode):
//
//   font name        versioned text
//   font size        i32 points
//   font style       u16 (1 italic, 2 bold, 4 underline, 8 strike-out)
//   font colour      i32
//   Alignment        i32
//   character set    u16 (before version 23 the default set replaces it)
//   highlight        when M = 0: u16 style bits, i32 font colour, i32 fill
//                    colour, then the condition (versioned text)
//   LineSpacing      i32 when V > 23
//   CharSpacing      i32 when V > 23
//
// A version-21 record switches word wrap on.
#pragma once

#include <vector>

#include "report/fr_view.h"

// Flags bits of a text object (bit 0 is flStretched).
inline constexpr uint16_t flWordWrap = 2;
inline constexpr uint16_t flWordBreak = 4;
inline constexpr uint16_t flAutoWidth = 8;
inline constexpr uint16_t flTextOnly = 16;
inline constexpr uint16_t flSuppressRepeated = 32;
inline constexpr uint16_t flHideZeros = 64;
inline constexpr uint16_t flUnderlines = 128;
inline constexpr uint16_t flRTLReading = 256;

// Alignment bits.
inline constexpr int frtaLeft = 0;
inline constexpr int frtaRight = 1;
inline constexpr int frtaCenter = 2;
inline constexpr int frtaJustify = 3;
inline constexpr int frtaHorizontalMask = 3;
inline constexpr int frtaVertical = 4;  // turned by 90 degrees, reading upwards
inline constexpr int frtaMiddle = 8;
inline constexpr int frtaDown = 16;
inline constexpr int frtaVerticalMask = 24;

// Ends the last line of a paragraph in wrapped text; built pages keep it.
inline constexpr char kLineEndMark = '\x01';
// The character set of a new text object (Cyrillic).
inline constexpr int kDefaultCharset = 204;

// The 1-based positions after which a Russian word may be hyphenated, in
// increasing order; none for words shorter than four characters.
std::vector<int> BreakWord(const AnsiString& word);

// The largest character height a font takes, and its size in points.
inline constexpr int kMaxFontPixels = 32767;
inline constexpr int kMaxFontPoints = kMaxFontPixels * 72 / 96;
// A font's character height in pixels on a device of the given resolution
// (a screen's 96 pixels per inch unless said).
int FontPixelHeight(int size_in_points, int pixels_per_inch = 96);

class TfrMemoView : public TfrDrawnView<TfrStretcheable> {
 public:
  TfrMemoView();
  const char* ClassName() const override { return "TfrMemoView"; }

  void PutProperty(std::string_view name, const Variant& value) override;
  Variant FetchProperty(std::string_view name) override;
  Variant InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2, const Variant& p3) override;
  void FillPropertyList() override;

  void LoadFromField(TBlobField* field) override;
  void DrawTo(TCanvas* canvas) override;
  void PrintToPage(TStream& stream) override;
  void HandToExport() override;
  void ReadRecord(TStream& stream, int version) override;
  void WriteRecord(TStream& stream) override;

  int CalcHeight() override;
  int MinimumHeight() override;
  int RemainingHeight() override;

  // ExpandedMemo := Memo with the bracketed expressions replaced.
  void ExpandMemo();
  // Wraps ExpandedMemo into the width of the object (unscaled, on the scratch
  // canvas); the wrapped lines carry line-end marks. Sets TextHeight and LineHeight.
  std::vector<AnsiString> WrapMemo();
  // WrapMemo in the object's own geometry, unscaled, as a page draws it
  // (auto width leaves room to grow while printing).
  std::vector<AnsiString> WrapUnscaled();
  // The width the lines need, frame and gaps included.
  int CalcWidth(const TStrings& lines);

  TFont Font;
  int FontCharset = kDefaultCharset;
  int Alignment = 0;
  // Applied while HighlightCondition evaluates to non-zero.
  uint16_t HighlightStyle = 2;
  TColor HighlightFontColor = clBlack;
  TColor HighlightFillColor = 0xFFFFFF;
  AnsiString HighlightCondition;
  // The condition's postfix form, made before a build.
  AnsiString HighlightPostfix;
  int LineSpacing = 2;
  int CharSpacing = 0;

  // 0 normal, 1 height just calculated, 2 printing a further part of a split object.
  uint8_t PrintPhase = 0;
  // Set while printing into a built page: lines are counted against the bottom.
  bool Measuring = false;
  // Set while handing to an export filter.
  bool Exporting = false;
  // The text to show carries line-end marks and is not wrapped again.
  bool PreWrapped = false;
  int TextHeight = 0;
  int LineHeight = 0;
  // Lines shown by the last show pass.
  int LineCount = 0;
  // The last printed text, for suppressing repeats.
  AnsiString LastValue;

 private:
  // Puts the lines a page will show into ExpandedMemo, wrapped with their
  // marks, so the page draws them without wrapping again, and hands back
  // the lines it replaced; false, leaving the text as it is, where drawing
  // would not take wrapped lines as they are.
  bool StoreWrapped(std::vector<AnsiString>& unwrapped);
  void SetCanvasFont();
  void ShowMemo();
  void ShowLines();
  void ShowTurnedLines();
  void DrawUnderlines();
  // Sets font and fill from the highlight when its condition holds.
  void ApplyHighlight();
  int CanvasFontPixelHeight() const;
  int LineWidth(TCanvas& canvas, const AnsiString& line) const;
  std::vector<AnsiString> WrapLine(TCanvas& canvas, const AnsiString& s, int limit) const;
  // width: the line's width as measured for its alignment (LineWidth).
  void DrawLine(const AnsiString& line, int x, int y, int width, const TRect& clip, int justify_extra);
};
