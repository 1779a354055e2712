#include "report/fr_memo.h"

#include <algorithm>
#include <cmath>

#include "report/FR_Pars.h"
#include "report/fr_utils.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/db/fields.h"
#include "toolkit/gfx/drawtext.h"

namespace {

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

bool IsDelimiter(char c) { return c == ' ' || c == ',' || c == '-' || c == '.'; }

// 1251 upper-case vowels Ё А Е И О У Ы Э Ю Я and the signs Ъ Ь.
bool IsVowel(char c) {
  switch (static_cast<unsigned char>(c)) {
    case 0xA8: case 0xC0: case 0xC5: case 0xC8: case 0xCE: case 0xD3: case 0xDB: case 0xDD: case 0xDE: case 0xDF:
      return true;
    default:
      return false;
  }
}
bool IsSign(char c) { return c == '\xDA' || c == '\xDC'; }

// s[a..b], 1-based and inclusive; empty when b < a.
AnsiString Sub(const AnsiString& s, int a, int b) {
  if (b < a) return {};
  return s.substr(static_cast<size_t>(a - 1), static_cast<size_t>(b - a + 1));
}

bool EndsWithMark(const AnsiString& s) { return !s.empty() && s.back() == kLineEndMark; }

// The lines of a text, split at CR LF, CR or LF; a final break adds no line.
void AddTextLines(TStrings& list, const AnsiString& text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = pos;
    while (end < text.size() && !IsLineBreak(text[end])) ++end;
    list.Add(text.substr(pos, end - pos));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    pos = end + 1;
  }
}

AnsiString Joined(const std::vector<AnsiString>& lines) {
  AnsiString out;
  for (const AnsiString& line : lines) out += line + "\r\n";
  return out;
}

// Keeps font and fill of a text object for the length of one operation.
class FontAndFillKeeper {
 public:
  explicit FontAndFillKeeper(TfrMemoView& view) : view_(view), fill_(view.FillColor) { font_.Assign(view.Font); }
  ~FontAndFillKeeper() {
    view_.Font.Assign(font_);
    view_.FillColor = fill_;
  }
  FontAndFillKeeper(const FontAndFillKeeper&) = delete;
  FontAndFillKeeper& operator=(const FontAndFillKeeper&) = delete;

 private:
  TfrMemoView& view_;
  TFont font_;
  TColor fill_;
};

}  // namespace

std::vector<int> BreakWord(const AnsiString& word) {
  const AnsiString w = AnsiUpperCase(word);
  std::vector<int> positions;
  const int n = static_cast<int>(w.size());
  if (n < 4) return positions;
  // 1-based: w(i) is the i-th character.
  auto at = [&](int i) { return w[static_cast<size_t>(i - 1)]; };
  for (int i = 2; i <= n - 2; ++i) {
    bool breaks;
    if (IsVowel(at(i)) && (IsVowel(at(i + 1)) || IsVowel(at(i + 2))))
      breaks = true;
    else if (IsSign(at(i)) && !IsDelimiter(at(i + 1)))
      breaks = true;
    else
      breaks = !IsVowel(at(i + 1)) && !IsSign(at(i + 1)) && IsVowel(at(i + 2));
    if (breaks) positions.push_back(i);
  }
  return positions;
}

// A stored size is a template's to choose; one that no font can have (below
// 0 or beyond what a character height holds) is taken at the nearest end
// rather than overflowing the height.
int FontPixelHeight(int size_in_points, int pixels_per_inch) {
  return std::clamp(frRound(std::clamp(size_in_points, 0, kMaxFontPoints) * pixels_per_inch / 72.0), 0,
                    kMaxFontPixels);
}

TfrMemoView::TfrMemoView() {
  TypeCode = gtMemo;
  NamePrefix = "Memo";
  Flags = flStretched | flWordWrap;
  Font.SetName("Arial");
  Font.SetSize(10);
  Font.SetColor(clBlack);
  const int charset = StrToIntDef(LoadReportString(55337), kDefaultCharset);
  FontCharset = charset;
}

// ---- Script interface ---------------------------------------------------------

namespace {

struct FlagName {
  const char* name;
  uint16_t bit;
};
constexpr FlagName kMemoFlags[] = {{"WORDWRAP", flWordWrap},       {"WORDBREAK", flWordBreak},
                                   {"AUTOWIDTH", flAutoWidth},     {"TEXTONLY", flTextOnly},
                                   {"SUPPRESS", flSuppressRepeated}, {"HIDEZEROS", flHideZeros},
                                   {"UNDERLINES", flUnderlines},   {"RTLREADING", flRTLReading}};

}  // namespace

void TfrMemoView::PutProperty(std::string_view name, const Variant& value) {
  TfrStretcheable::PutProperty(name, value);
  const AnsiString n = AnsiUpperCase(name);
  SetFontProperty(Font, n, value);
  if (n == "ALIGNMENT")
    Alignment = value.AsInteger();
  else if (n == "LINESPACING")
    LineSpacing = value.AsInteger();
  else if (n == "CHARSPACING")
    CharSpacing = value.AsInteger();
  for (const FlagName& f : kMemoFlags)
    if (n == f.name) Flags = value.AsBoolean() ? (Flags | f.bit) : (Flags & ~f.bit);
}

Variant TfrMemoView::FetchProperty(std::string_view name) {
  Variant result = TfrStretcheable::FetchProperty(name);
  if (!result.IsNull()) return result;
  const AnsiString n = AnsiUpperCase(name);
  result = GetFontProperty(Font, n);
  if (!result.IsNull()) return result;
  if (n == "ALIGNMENT") return Alignment;
  if (n == "LINESPACING") return LineSpacing;
  if (n == "CHARSPACING") return CharSpacing;
  if (n == "LINES.COUNT") return Memo.Count();
  for (const FlagName& f : kMemoFlags)
    if (n == f.name) return (Flags & f.bit) != 0;
  return result;
}

Variant TfrMemoView::InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2, const Variant& p3) {
  Variant result = TfrStretcheable::InvokeMethod(name, p1, p2, p3);
  if (result.IsNull()) result = DoStringListMethod(Memo, name, p1, p2, p3, "LINES");
  return result;
}

void TfrMemoView::FillPropertyList() {
  TfrStretcheable::FillPropertyList();
  for (const char* n : {"Font.Name", "Font.Size", "Font.Style", "Font.Color"}) AddProperty(n, 0);
  AddProperty("Font", frdtHasEditor);
  AddProperty("Alignment", 0);
  AddProperty("DisplayFormat", frdtHasEditor);
  AddProperty("Highlight", frdtHasEditor);
  for (const char* n : {"LineSpacing", "CharSpacing", "GapX", "GapY"}) AddProperty(n, frdtInteger);
  for (const char* n : {"Stretched", "WordWrap", "WordBreak", "AutoWidth", "TextOnly", "Suppress", "HideZeros"})
    AddProperty(n, frdtBoolean);
  AddProperty("Lines.Count", 0);
  AddProperty("Underlines", frdtBoolean);
  AddProperty("RTLReading", frdtBoolean);
}

void TfrMemoView::LoadFromField(TBlobField* field) {
  ExpandedMemo.Clear();
  if (field != nullptr) AddTextLines(ExpandedMemo, field->GetStringValue());
}

// ---- Record -------------------------------------------------------------------

void TfrMemoView::ReadRecord(TStream& stream, int version) {
  TfrStretcheable::ReadRecord(stream, version);
  Font.SetName(ReadVersionedString(stream, version));
  Font.SetSize(static_cast<int32_t>(ReadDword(stream)));
  Font.SetStyle(FontStyleFromInt(ReadWord(stream)));
  Font.SetColor(static_cast<TColor>(ReadDword(stream)));
  Alignment = static_cast<int32_t>(ReadDword(stream));
  const uint16_t charset = ReadWord(stream);
  FontCharset = version < 23 ? kDefaultCharset : charset;
  if (RecordMode == rmTemplate) {
    HighlightStyle = ReadWord(stream);
    HighlightFontColor = static_cast<TColor>(ReadDword(stream));
    HighlightFillColor = static_cast<TColor>(ReadDword(stream));
    HighlightCondition = ReadVersionedString(stream, version);
  }
  if (version > 23) {
    LineSpacing = static_cast<int32_t>(ReadDword(stream));
    CharSpacing = static_cast<int32_t>(ReadDword(stream));
  }
  if (version == 21) Flags |= flWordWrap;
}

void TfrMemoView::WriteRecord(TStream& stream) {
  TfrStretcheable::WriteRecord(stream);
  WriteCountedString(stream, Font.Name());
  WriteDword(stream, static_cast<uint32_t>(Font.Size()));
  WriteWord(stream, static_cast<uint16_t>(FontStyleToInt(Font.Style())));
  WriteDword(stream, static_cast<uint32_t>(Font.Color()));
  WriteDword(stream, static_cast<uint32_t>(Alignment));
  WriteWord(stream, static_cast<uint8_t>(FontCharset));
  if (RecordMode == rmTemplate) {
    WriteWord(stream, HighlightStyle);
    WriteDword(stream, static_cast<uint32_t>(HighlightFontColor));
    WriteDword(stream, static_cast<uint32_t>(HighlightFillColor));
    WriteCountedString(stream, HighlightCondition);
  }
  WriteDword(stream, static_cast<uint32_t>(LineSpacing));
  WriteDword(stream, static_cast<uint32_t>(CharSpacing));
}

// ---- Expansion and wrapping ------------------------------------------------------

void TfrMemoView::ExpandMemo() {
  ExpandedMemo.Clear();
  for (int i = 0; i < Memo.Count(); ++i) {
    AnsiString line = Memo.Strings(i);
    if (!line.empty() && (Flags & flTextOnly) == 0) ExpandVariables(*this, line);
    // A line break inside a value starts a new line.
    if (line.empty())
      ExpandedMemo.Add("");
    else
      AddTextLines(ExpandedMemo, line);
  }
}

int TfrMemoView::LineWidth(TCanvas& canvas, const AnsiString& line) const {
  if (line.empty()) return 0;
  // Spacing from a damaged file may be anything: the sum is held to a width.
  return frClampedCoordinate(int64_t{canvas.TextWidth(line)} +
                             int64_t{CharSpacing} * static_cast<int64_t>(line.size()));
}

std::vector<AnsiString> TfrMemoView::WrapLine(TCanvas& canvas, const AnsiString& s, int limit) const {
  std::vector<AnsiString> out;
  const int len = static_cast<int>(s.size());
  auto width = [&](const AnsiString& t) { return LineWidth(canvas, t); };
  auto at = [&](int i) { return s[static_cast<size_t>(i - 1)]; };
  if (s.find_first_of("\r\n") == AnsiString::npos && (len <= 1 || width(s) <= limit)) {
    out.push_back(s + kLineEndMark);
    return out;
  }
  const bool word_break = (Flags & flWordBreak) != 0;
  int cur = 1, beg = 1, last = 1, stuck = 0;
  while (cur <= len) {
    if (IsLineBreak(at(cur))) {
      out.push_back(Sub(s, beg, cur - 1) + kLineEndMark);
      while (cur < len && IsLineBreak(at(cur))) ++cur;
      beg = cur;
      last = cur;
      // The text ends with line breaks.
      if (IsLineBreak(at(cur))) return out;
      continue;
    }
    if (at(cur) != ' ' && width(Sub(s, beg, cur)) > limit) {
      bool hyphenated = false;
      const int over = cur;
      // A space the previous line broke at is not this line's.
      if (last < beg) last = beg;
      if (word_break) {
        int j = cur;
        while (j <= len && !IsDelimiter(at(j))) ++j;
        // The word starts after the last space, or with the line itself when
        // it is the line's first word: its first letter is part of it.
        const bool spaced = at(last) == ' ';
        const int before = spaced ? last : last - 1;
        const std::vector<int> breaks = BreakWord(Sub(s, before + 1, j - 1));
        if (!breaks.empty()) {
          cur = last;
          for (int p : breaks) {
            if (width(Sub(s, beg, before + p) + "-") > limit) break;
            hyphenated = true;
            cur = before + p;
          }
          last = cur;
        }
        // A line's only word that no syllable of fits breaks between letters.
        if (!hyphenated && !spaced) cur = last = over;
      } else if (last == beg) {
        last = cur;
      }
      if (hyphenated) {
        out.push_back(Sub(s, beg, last) + "-");
      } else if (at(last) == ' ') {
        out.push_back(Sub(s, beg, last - 1));
      } else {
        if (last == beg) last = cur;
        out.push_back(Sub(s, beg, last - 1));
        last = last - 1;
      }
      if (word_break && !hyphenated && cur == last + 1) {
        if (cur == stuck) {
          // Whatever is left goes on one line rather than being lost.
          beg = cur;
          cur = len + 1;
          break;
        }
        stuck = cur;
      }
      beg = last + 1;
      last = last + 1;
    }
    if (at(cur) == ' ') last = cur;
    ++cur;
  }
  if (cur != beg) out.push_back(Sub(s, beg, len) + kLineEndMark);
  return out;
}

std::vector<AnsiString> TfrMemoView::WrapMemo() {
  TCanvas& canvas = frScratchCanvas();
  canvas.Font().Assign(Font);
  const int pixel_height = FontPixelHeight(Font.Size());
  canvas.Font().SetHeight(-pixel_height);
  std::vector<AnsiString> out;
  const bool turned = (Alignment & frtaVertical) != 0;
  const int gap = turned ? GapX : GapY;
  const int limit =
      frClampedCoordinate(turned ? int64_t{Height} - 2 * int64_t{GapY} : int64_t{Width} - 2 * int64_t{GapX});
  LineHeight = frClampedCoordinate(int64_t{LineSpacing} + pixel_height);
  if (!turned && !frPrinting() && ExpandedMemo.Count() == 1) {
    const AnsiString& only = ExpandedMemo.Strings(0);
    // A designer shows a single long expression as written.
    if (!only.empty() && only[0] == '[' && LineWidth(canvas, only) > limit) {
      out.push_back(only);
      TextHeight = frClampedCoordinate(int64_t{LineHeight} + 2 * int64_t{gap});
      return out;
    }
  }
  for (int i = 0; i < ExpandedMemo.Count(); ++i) {
    const AnsiString& line = ExpandedMemo.Strings(i);
    if (PreWrapped) {
      out.push_back(line);
    } else if (Flags & flWordWrap) {
      for (AnsiString& part : WrapLine(canvas, line, limit)) out.push_back(std::move(part));
    } else {
      out.push_back(line + kLineEndMark);
    }
  }
  TextHeight = frClampedCoordinate(static_cast<int64_t>(out.size()) * LineHeight + 2 * int64_t{gap});
  return out;
}

// ---- Showing -------------------------------------------------------------------------

int TfrMemoView::CanvasFontPixelHeight() const {
  // A printer keeps the point size: the lines step by the font's height in
  // the printer's own pixels.
  if (ToPrinter && Canvas != nullptr) return FontPixelHeight(Font.Size(), Canvas->PixelsPerInch());
  if (ToPrinter || ScaleFactorY == 1.0) return FontPixelHeight(Font.Size());
  const double scaled = std::clamp(Font.Size(), 0, kMaxFontPoints) * 96.0 / 72.0 * ScaleFactorY;
  return scaled > 0 ? static_cast<int>(std::min<double>(scaled, kMaxFontPixels)) : 0;
}

void TfrMemoView::SetCanvasFont() {
  Canvas->Brush().SetStyle(bsClear);
  Canvas->Font().Assign(Font);
  if (!ToPrinter) Canvas->Font().SetHeight(-CanvasFontPixelHeight());
}

namespace {

// Whether a line drawn plainly from (x, y) lies wholly inside the clip, so it
// needs none: a page of cells then holds no clip path for each of them.
bool InsideClip(TCanvas& c, const AnsiString& line, int x, int y, int width, const TRect& clip) {
  // In 64 bits: a damaged template's gaps put a line at the edge of the coordinates.
  return x >= clip.Left && y >= clip.Top && int64_t{x} + width <= clip.Right &&
         int64_t{y} + c.TextHeight(line) <= clip.Bottom;
}

}  // namespace

void TfrMemoView::DrawLine(const AnsiString& line, int x, int y, int width, const TRect& clip, int justify_extra) {
  TCanvas& c = *Canvas;
  // Turned text runs upwards from (x, y).
  const bool turned = c.Font().Orientation() != 0;
  const int char_extra = frRound(CharSpacing * ScaleFactorX);
  const bool clipped = turned || char_extra != 0 || justify_extra != 0 || !InsideClip(c, line, x, y, width, clip);
  if (clipped) c.PushClip(clip);
  if (char_extra == 0 && justify_extra == 0) {
    c.TextOut(x, y, line);
  } else {
    // Spacing and justification put each piece where the device would.
    int spaces = 0;
    for (char ch : line)
      if (ch == ' ' || ch == '\xA0') ++spaces;
    int spread = justify_extra;
    int64_t advance = 0;
    size_t start = 0;
    while (start < line.size()) {
      size_t end = start;
      if (char_extra != 0) {
        end = start + 1;
      } else {
        while (end < line.size() && line[end] != ' ' && line[end] != '\xA0') ++end;
        if (end < line.size()) ++end;
      }
      const AnsiString piece = line.substr(start, end - start);
      c.TextOut(turned ? x : frClampedCoordinate(x + advance), turned ? frClampedCoordinate(y - advance) : y, piece);
      advance += c.TextWidth(piece) + int64_t{char_extra} * static_cast<int64_t>(piece.size());
      const char tail = piece.back();
      if (justify_extra != 0 && spaces > 0 && (tail == ' ' || tail == '\xA0')) {
        const int share = spread / spaces;
        advance += share;
        spread -= share;
        --spaces;
      }
      start = end;
    }
  }
  if (clipped) c.PopClip();
}

void TfrMemoView::ShowLines() {
  TCanvas& c = *Canvas;
  const TRect clip = Rect(PaintRect.Left + 1, PaintRect.Top, PaintRect.Right - 2, PaintRect.Bottom - 1);
  int y = frClampedCoordinate(int64_t{Top} + GapY);
  const int line_height =
      frClampedCoordinate(int64_t{frRoundedCoordinate(LineSpacing * ScaleFactorY)} + CanvasFontPixelHeight());
  LineCount = 0;
  const int paint_width = PaintRect.Width();
  const int count = ExpandedMemo.Count();
  int horizontal = Alignment & frtaHorizontalMask;
  if (!frPrinting() && count == 1) {
    const AnsiString& only = ExpandedMemo.Strings(0);
    if (!only.empty() && only[0] == '[' && LineWidth(c, only) > paint_width) horizontal = frtaRight;
  }
  for (int i = 0; i < count; ++i) {
    AnsiString s = ExpandedMemo.Strings(i);
    if (Measuring && int64_t{y} + line_height > clip.Bottom) {
      y = frClampedCoordinate(int64_t{y} + line_height);
      break;
    }
    bool paragraph_end = s.empty();
    if (EndsWithMark(s)) {
      s.pop_back();
      paragraph_end = true;
    }
    const int w = LineWidth(c, s);
    // What a line leaves of the paint width; gaps from a file may be anything.
    const int64_t room = int64_t{paint_width} - 2 * int64_t{GapX} - w;
    int x = frClampedCoordinate(int64_t{Left} + GapX);
    int justify_extra = 0;
    switch (horizontal) {
      case frtaRight:
        x = frClampedCoordinate(int64_t{Left} + paint_width - 1 - GapX - w);
        break;
      case frtaCenter:
        x = frClampedCoordinate(int64_t{Left} + GapX + room / 2);
        break;
      case frtaJustify:
        if (!paragraph_end && s.find_first_of(" \xA0") != AnsiString::npos) justify_extra = frClampedCoordinate(room);
        break;
      default:
        break;
    }
    if (!Measuring) {
      if (!Exporting) {
        DrawLine(s, x, y, w, clip, justify_extra);
      } else {
        uint16_t frame = FrameTyp;
        if (count > 1) {
          if (i == 0)
            frame &= ~frbBottom;
          else if (i == count - 1)
            frame &= ~frbTop;
          else
            frame &= ~(frbTop | frbBottom);
        }
        frBuildHost().ExportText(PaintRect, x, y, s, *this, frame);
      }
    }
    ++LineCount;
    y = frClampedCoordinate(int64_t{y} + line_height);
  }
}

void TfrMemoView::ShowTurnedLines() {
  TCanvas& c = *Canvas;
  TFont upright;
  upright.Assign(c.Font());
  c.Font().Assign(CreateRotatedFont(upright));
  const TRect clip = Rect(PaintRect.Left + 1, PaintRect.Top, PaintRect.Right - 2, PaintRect.Bottom - 1);
  int x = frClampedCoordinate(int64_t{Left} + GapX);
  const int line_height =
      frClampedCoordinate(int64_t{frRoundedCoordinate(LineSpacing * ScaleFactorX)} + CanvasFontPixelHeight());
  const int paint_height = PaintRect.Height();
  LineCount = 0;
  for (int i = 0; i < ExpandedMemo.Count(); ++i) {
    AnsiString s = ExpandedMemo.Strings(i);
    bool paragraph_end = s.empty();
    if (EndsWithMark(s)) {
      s.pop_back();
      paragraph_end = true;
    }
    const int w = LineWidth(c, s);
    // What a line leaves of the paint height; gaps from a file may be anything.
    const int64_t room = int64_t{paint_height} - 2 * int64_t{GapY} - w;
    int y = frClampedCoordinate(int64_t{PaintRect.Bottom} - GapY);
    int justify_extra = 0;
    switch (Alignment & 7) {
      case frtaVertical | frtaRight:
        y = frClampedCoordinate(int64_t{Top} + GapY + w);
        break;
      case frtaVertical | frtaCenter:
        y = frClampedCoordinate(int64_t{PaintRect.Bottom} - GapY - 1 - room / 2);
        break;
      case frtaVertical | frtaJustify:
        y = frClampedCoordinate(int64_t{Top} + paint_height - GapY);
        if (!paragraph_end && s.find_first_of(" \xA0") != AnsiString::npos) justify_extra = frClampedCoordinate(room);
        break;
      default:
        break;
    }
    if (!Exporting)
      DrawLine(s, x, y, w, clip, justify_extra);
    else
      frBuildHost().ExportText(PaintRect, x, y, s, *this, 0);
    ++LineCount;
    x = frClampedCoordinate(int64_t{x} + line_height);
  }
  c.Font().Assign(upright);
}

void TfrMemoView::ShowMemo() {
  SetCanvasFont();
  TextHeight = frRound(TextHeight * ScaleFactorY);
  const bool turned = (Alignment & frtaVertical) != 0;
  const int vertical = Alignment & frtaVerticalMask;
  if (vertical == 0) {
    turned ? ShowTurnedLines() : ShowLines();
    return;
  }
  const int kept_left = Left, kept_top = Top, kept_alignment = Alignment;
  Alignment &= 7;
  if (turned) {
    if (vertical == frtaMiddle)
      Left += (PaintRect.Width() - TextHeight) / 2;
    else if (vertical == frtaDown)
      Left = PaintRect.Right - TextHeight;
    ShowTurnedLines();
  } else {
    if (!Measuring) {
      if (vertical == frtaMiddle)
        Top += (PaintRect.Height() - TextHeight) / 2;
      else if (vertical == frtaDown)
        Top = PaintRect.Bottom - TextHeight - 1;
    }
    ShowLines();
  }
  Alignment = kept_alignment;
  Left = kept_left;
  Top = kept_top;
}

void TfrMemoView::DrawUnderlines() {
  SetCanvasFont();
  TCanvas& c = *Canvas;
  c.Pen().SetColor(FrameColor);
  c.Pen().SetWidth(frRound(FrameWidth));
  c.Pen().SetStyle(psSolid);
  const int line_height =
      frClampedCoordinate(int64_t{frRoundedCoordinate(LineSpacing * ScaleFactorY)} + CanvasFontPixelHeight());
  const int d = frRound(2 * ScaleFactorY) + CanvasFontPixelHeight();
  if (line_height <= 0) return;
  for (int i = 0; i < Height / line_height; ++i) {
    const int y = frClampedCoordinate(int64_t{Top} + GapY + int64_t{i} * line_height + d);
    c.MoveTo(Left, y);
    c.LineTo(frClampedCoordinate(int64_t{Left} + Width - 1), y);
  }
}

int TfrMemoView::CalcWidth(const TStrings& lines) {
  AnsiString text;
  for (int i = 0; i < lines.Count(); ++i) {
    if (i > 0) text += "\r\n";
    text += lines.Strings(i);
  }
  std::erase(text, kLineEndMark);
  SetCanvasFont();
  TRect r = Rect(0, 0, Width, Height);
  DrawText(*Canvas, text, r, DT_CALCRECT | DT_NOPREFIX);
  int widest = 0;
  // Character spacing widens every character of the widest line.
  if (CharSpacing != 0) {
    TStringList split;
    AddTextLines(split, text);
    for (int i = 0; i < split.Count(); ++i)
      widest = std::max(widest, static_cast<int>(split.Strings(i).size()));
  }
  const int64_t measured = int64_t{r.Width()} + int64_t{frRoundedCoordinate(CharSpacing * ScaleFactorX)} * widest;
  return frRoundedCoordinate(static_cast<double>(measured) / ScaleFactorX + FrameWidth + 2.0 * GapX + 1);
}

void TfrMemoView::DrawTo(TCanvas* canvas) {
  Canvas = canvas;
  if ((Flags & flAutoWidth) && Memo.Count() > 0 && frPrinting()) {
    const int w = CalcWidth(Memo);
    if (Alignment & frtaVertical) {
      Height = w;
    } else {
      if (Alignment & frtaRight) Left = frClampedCoordinate(int64_t{Left} + Width - w);
      Width = w;
    }
  }
  BeginDraw(*this, canvas);
  Measuring = false;
  ExpandedMemo.Assign(Memo);
  if (ExpandedMemo.Count() > 0) {
    PreWrapped = false;
    for (int i = 0; i < ExpandedMemo.Count() && !PreWrapped; ++i)
      PreWrapped = ExpandedMemo.Strings(i).find(kLineEndMark) != AnsiString::npos;
    if (ExpandedMemo.Strings(ExpandedMemo.Count() - 1) == AnsiString(1, kLineEndMark))
      ExpandedMemo.Delete(ExpandedMemo.Count() - 1);
    const std::vector<AnsiString> wrapped = WrapUnscaled();
    ExpandedMemo.Clear();
    for (const AnsiString& line : wrapped) ExpandedMemo.Add(line);
  }
  ApplyScale();
  if (!Exporting) {
    PaintFill();
    PaintBorder();
    if (Flags & flUnderlines) DrawUnderlines();
  }
  if (ExpandedMemo.Count() > 0) ShowMemo();
  RestoreGeometry();
}

std::vector<AnsiString> TfrMemoView::WrapUnscaled() {
  const double sx = ScaleFactorX, sy = ScaleFactorY;
  ScaleFactorX = ScaleFactorY = 1.0;
  ApplyScale();
  if ((Flags & flAutoWidth) && frPrinting()) Width = frClampedCoordinate(int64_t{Width} + 100);
  std::vector<AnsiString> wrapped = WrapMemo();
  ScaleFactorX = sx;
  ScaleFactorY = sy;
  RestoreGeometry();
  return wrapped;
}

// ---- Building -------------------------------------------------------------------------

bool TfrMemoView::StoreWrapped(std::vector<AnsiString>& unwrapped) {
  // Auto width wraps wider while printing than while building.
  if (ExpandedMemo.Count() == 0 || (Flags & flAutoWidth) || !frPrinting()) return false;
  // A text with marks is taken as wrapped when drawn; one with breaks inside
  // a line is split into lines by the page before it is wrapped.
  for (int i = 0; i < ExpandedMemo.Count(); ++i)
    if (ExpandedMemo.Strings(i).find_first_of("\x01\r\n") != AnsiString::npos) return false;
  PreWrapped = false;
  std::vector<AnsiString> wrapped = WrapUnscaled();
  // A last line of the mark alone is dropped when drawn.
  if (wrapped.empty() || wrapped.back() == AnsiString(1, kLineEndMark)) return false;
  unwrapped.clear();
  for (int i = 0; i < ExpandedMemo.Count(); ++i) unwrapped.push_back(ExpandedMemo.Strings(i));
  ExpandedMemo.Clear();
  for (AnsiString& line : wrapped) ExpandedMemo.Add(std::move(line));
  return true;
}

void TfrMemoView::ApplyHighlight() {
  if (Trim(HighlightCondition).empty()) return;
  try {
    TfrParser& parser = frBuildHost().Parser();
    if (HighlightPostfix.empty()) HighlightPostfix = parser.ToPostfix(HighlightCondition);
    const Variant result = parser.EvalPostfix(HighlightPostfix);
    if (result.IsNull() || result.IsEmpty()) return;
    if (result.AsDouble() == 0) return;
  } catch (const std::exception&) {
    return;  // a condition that fails to evaluate leaves the object as it is
  }
  Font.SetStyle(FontStyleFromInt(HighlightStyle));
  Font.SetColor(HighlightFontColor);
  FillColor = HighlightFillColor;
}

int TfrMemoView::CalcHeight() {
  PrintPhase = 1;
  BeginDraw(*this, &frScratchCanvas());
  TfrBuildHost& host = frBuildHost();
  host.RunScript(*this);
  if (!Visible) return 0;
  ExpandedMemo.Assign(Memo);
  const AnsiString t1 = ExpandedMemo.Text();
  host.DoBeforePrint(*this);
  if (t1 == ExpandedMemo.Text()) ExpandMemo();
  FontAndFillKeeper keep(*this);
  ApplyHighlight();
  ApplyScale();
  int result = 0;
  if (ExpandedMemo.Count() > 0) {
    const std::vector<AnsiString> wrapped = WrapMemo();
    ExpandedMemo.Clear();
    for (const AnsiString& line : wrapped) ExpandedMemo.Add(line);
    result = TextHeight;
    if ((Flags & flSuppressRepeated) && Joined(wrapped) == LastValue) result = 0;
  }
  RestoreGeometry();
  return result;
}

int TfrMemoView::MinimumHeight() {
  const int line_height = LineSpacing + FontPixelHeight(Font.Size());
  return line_height + 2 * GapY + frRound(2 * FrameWidth);
}

int TfrMemoView::RemainingHeight() {
  const int line_height = LineSpacing + FontPixelHeight(Font.Size());
  const int f = frRound(2 * FrameWidth);
  if (line_height <= 0) return 2 * GapY + f;
  return ((Height - f - 2 * GapY) % line_height) + 2 * GapY + f;
}

void TfrMemoView::PrintToPage(TStream& stream) {
  TfrBuildHost& host = frBuildHost();
  BeginDraw(*this, &frScratchCanvas());
  Measuring = true;
  if (PrintPhase == 0) host.RunScript(*this);
  bool expand = PrintPhase != 1;
  if (PrintPhase == 0) {
    ExpandedMemo.Assign(Memo);
    const AnsiString t1 = ExpandedMemo.Text();
    host.DoBeforePrint(*this);
    expand = t1 == ExpandedMemo.Text();
  }
  if (PrintPhase != 2 && expand) ExpandMemo();
  if (!Visible) {
    PrintPhase = 0;
    Measuring = false;
    return;
  }
  FontAndFillKeeper keep(*this);
  std::vector<AnsiString> rest;
  {
    // The record gets the expanded tag and the band's alignment; the
    // template keeps its own, and the next print starts a new phase.
    TScopedValue<AnsiString> kept_tag(Tag);
    TScopedValue<uint8_t> kept_align(BandAlign);
    TScopeExit phase_done([this] {
      PrintPhase = 0;
      Measuring = false;
    });
    ApplyHighlight();
    if (PrintPhase == 2) {
      ApplyScale();
      ShowMemo();
      for (int i = 0; i < ExpandedMemo.Count(); ++i) rest.push_back(ExpandedMemo.Strings(i));
      const int fit = std::min(LineCount, static_cast<int>(rest.size()));
      ExpandedMemo.Clear();
      for (int i = 0; i < fit; ++i) ExpandedMemo.Add(rest[static_cast<size_t>(i)]);
      // The part is shown as pre-wrapped text.
      if (ExpandedMemo.Text().find(kLineEndMark) == AnsiString::npos) ExpandedMemo.Add(AnsiString(1, kLineEndMark));
      rest.erase(rest.begin(), rest.begin() + fit);
      RestoreGeometry();
    }
    if (Tag.find('[') != AnsiString::npos) {
      // The tag's values go into the record unformatted.
      TScopedValue<uint32_t> unformatted(FormatWord, 0);
      ExpandVariables(*this, Tag);
    }
    const std::optional<TfrBandPlacement> band = host.CurrentBand();
    if (band) {
      if (BandAlign == baTop) Top = band->Top;
      if (BandAlign == baWidth && band->BandType >= 18 && band->BandType <= 20) {
        Width = band->Width;
        BandAlign = baNone;
      }
    }
    // Bottom alignment is the band's to apply when it splits the object.
    if (BandAlign == baBottom) BandAlign = baNone;
    const bool suppress = (Flags & flSuppressRepeated) != 0;
    const AnsiString text = suppress ? ExpandedMemo.Text() : AnsiString();
    if (!(suppress && text == LastValue)) {
      std::vector<AnsiString> unwrapped;
      const bool stored_wrapped = PrintPhase == 0 && StoreWrapped(unwrapped);
      WriteByte(stream, TypeCode);
      if (TypeCode == gtAddIn) WriteCountedString(stream, ClassName());
      WriteRecord(stream);
      // Whoever hears of the printed text hears it as it was expanded.
      if (stored_wrapped) {
        ExpandedMemo.Clear();
        for (AnsiString& line : unwrapped) ExpandedMemo.Add(std::move(line));
      }
      if (suppress) LastValue = text;
    }
    if (PrintPhase == 2) {
      ExpandedMemo.Clear();
      for (const AnsiString& line : rest) ExpandedMemo.Add(line);
    }
  }
}

void TfrMemoView::HandToExport() {
  TfrStretcheable::HandToExport();
  TScopedValue<bool> exporting(Exporting, true, false);
  DrawTo(&frScratchCanvas());
}
