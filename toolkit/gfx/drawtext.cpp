#include "toolkit/gfx/drawtext.h"

#include <algorithm>
#include <vector>

namespace {

// A line ready to show: its characters and which of them are underlined
// (the characters that followed a prefix '&').
struct Line {
  AnsiString text;
  std::vector<int> underlined;
  int width = 0;
};

class Layout {
 public:
  Layout(TCanvas& canvas, unsigned flags) : canvas_(canvas), flags_(flags) {
    if (flags_ & DT_EXPANDTABS) {
      // The average character width of the edit control: the mean of the
      // Latin letters, rounded.
      const int letters = canvas_.TextWidth("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
      tab_width_ = std::max(1, 8 * ((letters / 26 + 1) / 2));
    }
  }

  // The width of a run of shown characters, tabs included.
  int Measure(const AnsiString& s) const {
    int x = 0;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
      if (i < s.size() && s[i] != '\t') continue;
      if (i > start) x += canvas_.TextWidth(s.substr(start, i - start));
      if (i < s.size()) x = (x / tab_width_ + 1) * tab_width_;
      start = i + 1;
    }
    return x;
  }

  // Draws a line at (x, y) in pieces: split at tabs and around underlined
  // characters, so that each piece keeps the canvas's own text output.
  void Draw(const Line& line, int x, int y) {
    const AnsiString& s = line.text;
    size_t start = 0;
    auto flush = [&](size_t end, bool underline) {
      if (end <= start) return;
      const AnsiString piece = s.substr(start, end - start);
      const int at = x + Measure(s.substr(0, start));
      if (!underline) {
        canvas_.TextOut(at, y, piece);
        return;
      }
      TFont& font = canvas_.Font();
      const TFontStyles style = font.Style();
      font.SetStyle(TFontStyles(style).Include(fsUnderline));
      canvas_.TextOut(at, y, piece);
      font.SetStyle(style);
    };
    for (size_t i = 0; i < s.size(); ++i) {
      const bool under = std::find(line.underlined.begin(), line.underlined.end(), int(i)) != line.underlined.end();
      if (s[i] == '\t') {
        flush(i, false);
        start = i + 1;
      } else if (under) {
        flush(i, false);
        start = i;
        flush(i + 1, true);
        start = i + 1;
      }
    }
    flush(s.size(), false);
  }

  // Splits the text into paragraphs and takes out the prefix marks.
  std::vector<Line> Paragraphs(const AnsiString& text) const {
    std::vector<Line> result(1);
    for (size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '\r' || c == '\n') {
        if (flags_ & DT_SINGLELINE) continue;
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        result.emplace_back();
        continue;
      }
      if (c == '\t' && !(flags_ & DT_EXPANDTABS)) continue;
      Line& line = result.back();
      if (c == '&' && !(flags_ & DT_NOPREFIX)) {
        if (i + 1 >= text.size()) continue;  // a trailing mark shows nothing
        const char next = text[i + 1];
        if (next == '&') {
          line.text += '&';
          ++i;
          continue;
        }
        if (next == '\r' || next == '\n' || (next == '\t' && !(flags_ & DT_EXPANDTABS))) continue;
        line.underlined.push_back(int(line.text.size()));
        line.text += next;
        ++i;
        continue;
      }
      line.text += c;
    }
    return result;
  }

  // Breaks one paragraph into lines no wider than limit where it can.
  void Wrap(const Line& para, int limit, std::vector<Line>& out) const {
    const AnsiString& s = para.text;
    auto piece = [&](size_t from, size_t to) {
      Line line;
      line.text = s.substr(from, to - from);
      for (int u : para.underlined)
        if (size_t(u) >= from && size_t(u) < to) line.underlined.push_back(int(u - from));
      return line;
    };
    auto is_space = [](char c) { return c == ' ' || c == '\t'; };
    size_t begin = 0;
    while (true) {
      // Grows the line word by word while it fits.
      size_t end = begin;
      size_t scan = begin;
      bool have_word = false;
      while (scan < s.size()) {
        size_t word_end = scan;
        while (word_end < s.size() && is_space(s[word_end])) ++word_end;
        while (word_end < s.size() && !is_space(s[word_end])) ++word_end;
        if (Measure(s.substr(begin, word_end - begin)) <= limit) {
          end = scan = word_end;
          have_word = true;
          continue;
        }
        if (have_word) break;  // the word starts the next line
        // The first word is wider than the line: it stays whole, cut at the
        // rectangle or ended in "..." when an end ellipsis is asked for (a
        // word broken between characters reads as two words); only an edit
        // without the ellipsis breaks it between characters, with at least
        // one on the line, as the edit control itself shows it.
        end = word_end;
        if ((flags_ & DT_EDITCONTROL) && !(flags_ & DT_END_ELLIPSIS)) {
          while (end > begin + 1 && Measure(s.substr(begin, end - begin)) > limit) --end;
        }
        break;
      }
      if (end >= s.size()) {
        out.push_back(piece(begin, s.size()));
        return;
      }
      // The spaces at the break belong to neither line.
      size_t line_end = end;
      while (line_end > begin && is_space(s[line_end - 1])) --line_end;
      out.push_back(piece(begin, line_end));
      begin = end;
      while (begin < s.size() && is_space(s[begin])) ++begin;
      if (begin >= s.size()) return;
    }
  }

  // Ends a line in "..." so that it fits limit (force: even when it fits).
  void Ellipsis(Line& line, int limit, bool force) const {
    if (!force && Measure(line.text) <= limit) return;
    size_t keep = line.text.size();
    while (keep > 0 && Measure(line.text.substr(0, keep) + "...") > limit) --keep;
    // No space is left hanging before the dots.
    while (keep > 0 && line.text[keep - 1] == ' ') --keep;
    line.text = line.text.substr(0, keep) + "...";
    std::erase_if(line.underlined, [&](int u) { return size_t(u) >= keep; });
  }

 private:
  TCanvas& canvas_;
  unsigned flags_;
  int tab_width_ = 1;
};

}  // namespace

int DrawText(TCanvas& canvas, const AnsiString& text, TRect& rect, unsigned flags) {
  if (text.empty()) {
    if (flags & DT_CALCRECT) {
      rect.Right = rect.Left;
      rect.Bottom = rect.Top;
    }
    return 0;
  }
  Layout layout(canvas, flags);
  const int limit = rect.Width();
  const bool single = (flags & DT_SINGLELINE) != 0;
  std::vector<Line> lines;
  for (const Line& para : layout.Paragraphs(text)) {
    if ((flags & DT_WORDBREAK) && !single)
      layout.Wrap(para, limit, lines);
    else
      lines.push_back(para);
  }
  const int line_height = canvas.TextHeight("W");
  const bool calc = (flags & DT_CALCRECT) != 0;
  if (!calc && !single && (flags & DT_EDITCONTROL)) {
    // A partly visible last line is left out, but one line always shows.
    const size_t fit = size_t(std::max(1, rect.Height() / std::max(1, line_height)));
    if (lines.size() > fit) {
      lines.resize(fit);
      if (flags & DT_END_ELLIPSIS) layout.Ellipsis(lines.back(), limit, true);
    }
  }
  if (flags & DT_END_ELLIPSIS)
    for (Line& line : lines) layout.Ellipsis(line, limit, false);
  int widest = 0;
  for (Line& line : lines) {
    line.width = layout.Measure(line.text);
    widest = std::max(widest, line.width);
  }
  const int height = int(lines.size()) * line_height;
  if (calc) {
    rect.Right = rect.Left + widest;
    rect.Bottom = rect.Top + height;
    return height;
  }
  int y = rect.Top;
  if (single && (flags & DT_VCENTER))
    y = rect.Top + (rect.Height() - line_height) / 2;
  else if (single && (flags & DT_BOTTOM))
    y = rect.Bottom - line_height;
  const int result = y - rect.Top + height;
  const bool clip = !(flags & DT_NOCLIP);
  if (clip) canvas.PushClip(rect);
  for (const Line& line : lines) {
    int x = rect.Left;
    if (flags & DT_CENTER)
      x = rect.Left + (rect.Width() - line.width) / 2;
    else if (flags & DT_RIGHT)
      x = rect.Right - line.width;
    layout.Draw(line, x, y);
    y += line_height;
  }
  if (clip) canvas.PopClip();
  return result;
}
