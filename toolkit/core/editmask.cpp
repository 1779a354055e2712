#include "toolkit/core/editmask.h"

#include <algorithm>

#include "toolkit/core/text.h"

namespace {

// A letter of 1251: the ASCII letters and every character with two cases.
bool IsLetter(char ch) { return AnsiUpperChar(ch) != AnsiLowerChar(ch); }
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

}  // namespace

// ---- TEditMask ----------------------------------------------------------------------------

TEditMask::TEditMask(const AnsiString& mask) {
  // The picture ends at the first unescaped ';'; the two parts after it are
  // the save-literals flag and the blank.
  size_t end = 0;
  for (; end < mask.size(); ++end) {
    if (mask[end] == '\\' && end + 1 < mask.size()) {
      ++end;
      continue;
    }
    if (mask[end] == ';') break;
  }
  if (end < mask.size()) {
    const AnsiString rest = mask.substr(end + 1);
    const size_t semi = rest.find(';');
    const AnsiString save = rest.substr(0, semi);
    if (!save.empty()) save_literals_ = save[0] != '0';
    if (semi != AnsiString::npos && semi + 1 < rest.size()) blank_ = rest[semi + 1];
  }
  Case letter_case = kNoCase;
  for (size_t i = 0; i < end; ++i) {
    const char ch = mask[i];
    Slot slot;
    slot.letter_case = letter_case;
    switch (ch) {
      case '!': leading_blanks_ = true; continue;
      case '>':
        letter_case = kUpper;
        continue;
      case '<':
        if (i + 1 < end && mask[i + 1] == '>') {
          ++i;
          letter_case = kNoCase;
        } else {
          letter_case = kLower;
        }
        continue;
      case '\\':
        slot.kind = kLiteral;
        slot.literal = i + 1 < end ? mask[++i] : '\\';
        break;
      case 'L': slot.kind = kLetter, slot.required = true; break;
      case 'l': slot.kind = kLetter; break;
      case 'A': slot.kind = kAlnum, slot.required = true; break;
      case 'a': slot.kind = kAlnum; break;
      case 'C': slot.kind = kAny, slot.required = true; break;
      case 'c': slot.kind = kAny; break;
      case '0': slot.kind = kDigit, slot.required = true; break;
      case '9': slot.kind = kDigit; break;
      case '#': slot.kind = kDigitSign; break;
      case ':': slot.kind = kLiteral, slot.literal = FormatSettings().TimeSeparator; break;
      case '/': slot.kind = kLiteral, slot.literal = FormatSettings().DateSeparator; break;
      default: slot.kind = kLiteral, slot.literal = ch; break;
    }
    slots_.push_back(slot);
  }
}

bool TEditMask::IsLiteral(int pos) const {
  return pos >= 0 && pos < Length() && slots_[size_t(pos)].kind == kLiteral;
}

bool TEditMask::IsRequired(int pos) const {
  return pos >= 0 && pos < Length() && slots_[size_t(pos)].required;
}

AnsiString TEditMask::EmptyText() const {
  AnsiString text;
  for (const Slot& slot : slots_) text += slot.kind == kLiteral ? slot.literal : blank_;
  return text;
}

bool TEditMask::AcceptChar(int pos, char& ch) const {
  if (pos < 0 || pos >= Length()) return false;
  const Slot& slot = slots_[size_t(pos)];
  bool fits = false;
  switch (slot.kind) {
    case kLiteral: return false;
    case kLetter: fits = IsLetter(ch); break;
    case kAlnum: fits = IsLetter(ch) || IsDigit(ch); break;
    case kAny: fits = static_cast<unsigned char>(ch) >= 0x20; break;
    case kDigit: fits = IsDigit(ch); break;
    case kDigitSign: fits = IsDigit(ch) || ch == '+' || ch == '-'; break;
  }
  if (!fits) return false;
  if (slot.letter_case == kUpper) ch = AnsiUpperChar(ch);
  if (slot.letter_case == kLower) ch = AnsiLowerChar(ch);
  return true;
}

AnsiString TEditMask::FormatValue(const AnsiString& value) const {
  AnsiString text = EmptyText();
  if (save_literals_) {
    // Character for character; a literal of the value stands on its own literal.
    for (int pos = 0; pos < Length() && pos < int(value.size()); ++pos) {
      char ch = value[size_t(pos)];
      if (!IsLiteral(pos) && ch != ' ' && AcceptChar(pos, ch)) text[size_t(pos)] = ch;
    }
    return text;
  }
  // Without literals the value fills the editable positions in order; with
  // '!' a short value fills them from the right.
  std::vector<int> editable;
  for (int pos = 0; pos < Length(); ++pos)
    if (!IsLiteral(pos)) editable.push_back(pos);
  const size_t count = std::min(value.size(), editable.size());
  const size_t first = leading_blanks_ ? editable.size() - count : 0;
  for (size_t i = 0; i < count; ++i) {
    const int pos = editable[first + i];
    char ch = value[i];
    if (ch != ' ' && AcceptChar(pos, ch)) text[size_t(pos)] = ch;
  }
  return text;
}

AnsiString TEditMask::ValueOf(const AnsiString& edit_text) const {
  AnsiString value;
  for (int pos = 0; pos < Length() && pos < int(edit_text.size()); ++pos) {
    const char ch = edit_text[size_t(pos)];
    if (IsLiteral(pos)) {
      if (save_literals_) value += ch;
    } else {
      value += ch == blank_ ? ' ' : ch;
    }
  }
  return value;
}

bool TEditMask::Validate(const AnsiString& edit_text, int* error_pos) const {
  if (error_pos) *error_pos = -1;
  for (int pos = 0; pos < Length(); ++pos) {
    if (IsLiteral(pos)) continue;
    char ch = pos < int(edit_text.size()) ? edit_text[size_t(pos)] : blank_;
    const bool empty = ch == blank_ || ch == ' ';
    if ((empty && slots_[size_t(pos)].required) || (!empty && !AcceptChar(pos, ch))) {
      if (error_pos) *error_pos = pos;
      return false;
    }
  }
  return true;
}

int TEditMask::NextEditable(int pos) const {
  for (pos = std::max(pos, 0); pos < Length(); ++pos)
    if (!IsLiteral(pos)) return pos;
  return Length();
}

int TEditMask::PrevEditable(int pos) const {
  for (pos = std::min(pos, Length()) - 1; pos >= 0; --pos)
    if (!IsLiteral(pos)) return pos;
  return -1;
}

// ---- TEditBuffer --------------------------------------------------------------------------

void TEditBuffer::SetMask(const AnsiString& mask) {
  const AnsiString value = Value();
  mask_ = TEditMask(mask);
  SetValue(mask_.Empty() ? value : AnsiString());
  if (!mask_.Empty() && !value.empty()) SetValue(value);
}

void TEditBuffer::SetMaxLength(int value) {
  max_length_ = std::max(value, 0);
  Fit();
}

void TEditBuffer::Fit() {
  if (mask_.Empty()) {
    if (max_length_ > 0 && Length() > max_length_) text_.resize(size_t(max_length_));
  } else if (Length() != mask_.Length()) {
    text_ = mask_.FormatValue(mask_.SaveLiterals() ? text_ : mask_.ValueOf(text_));
  }
  Select(std::min(anchor_, Length()), std::min(caret_, Length()));
}

void TEditBuffer::SetText(const AnsiString& text) {
  text_ = text;
  if (!mask_.Empty()) {
    AnsiString fitted = mask_.EmptyText();
    for (int pos = 0; pos < mask_.Length() && pos < int(text.size()); ++pos) {
      char ch = text[size_t(pos)];
      if (!mask_.IsLiteral(pos) && mask_.AcceptChar(pos, ch)) fitted[size_t(pos)] = ch;
    }
    text_ = fitted;
  }
  Fit();
  Select(Length(), Length());
}

AnsiString TEditBuffer::Value() const { return mask_.Empty() ? text_ : mask_.ValueOf(text_); }

void TEditBuffer::SetValue(const AnsiString& value) {
  if (mask_.Empty()) {
    SetText(value);
    return;
  }
  text_ = mask_.FormatValue(value);
  Select(Length(), Length());
}

void TEditBuffer::Select(int anchor, int caret) {
  anchor_ = std::clamp(anchor, 0, Length());
  caret_ = std::clamp(caret, 0, Length());
  sel_start_ = std::min(anchor_, caret_);
  sel_length_ = std::abs(caret_ - anchor_);
}

void TEditBuffer::MoveCaret(int pos, bool extend) { Select(extend ? anchor_ : pos, pos); }

bool TEditBuffer::Type(char ch) {
  if (mask_.Empty()) {
    if (max_length_ > 0 && Length() - sel_length_ >= max_length_) return false;
    text_.replace(size_t(sel_start_), size_t(sel_length_), 1, ch);
    const int pos = sel_start_ + 1;
    Select(pos, pos);
    return true;
  }
  const int pos = mask_.NextEditable(sel_start_);
  if (pos >= Length() || !mask_.AcceptChar(pos, ch)) return false;
  // A typed character over a selection blanks the rest of the selection.
  for (int i = sel_start_; i < sel_start_ + sel_length_; ++i)
    if (!mask_.IsLiteral(i)) text_[size_t(i)] = mask_.Blank();
  text_[size_t(pos)] = ch;
  const int next = mask_.NextEditable(pos + 1);
  Select(next, next);
  return true;
}

bool TEditBuffer::Backspace() {
  if (sel_length_ > 0) return Delete();
  if (sel_start_ == 0) return false;
  if (mask_.Empty()) {
    text_.erase(size_t(sel_start_ - 1), 1);
    Select(sel_start_ - 1, sel_start_ - 1);
    return true;
  }
  const int pos = mask_.PrevEditable(sel_start_);
  if (pos < 0) return false;
  text_[size_t(pos)] = mask_.Blank();
  Select(pos, pos);
  return true;
}

bool TEditBuffer::Delete() {
  if (mask_.Empty()) {
    if (sel_length_ == 0) {
      if (sel_start_ >= Length()) return false;
      text_.erase(size_t(sel_start_), 1);
    } else {
      text_.erase(size_t(sel_start_), size_t(sel_length_));
    }
    Select(sel_start_, sel_start_);
    return true;
  }
  const int from = sel_start_;
  const int to = sel_length_ > 0 ? sel_start_ + sel_length_ : mask_.NextEditable(sel_start_) + 1;
  bool changed = false;
  for (int i = from; i < to && i < Length(); ++i) {
    if (mask_.IsLiteral(i) || text_[size_t(i)] == mask_.Blank()) continue;
    text_[size_t(i)] = mask_.Blank();
    changed = true;
  }
  Select(from, from);
  return changed || sel_length_ > 0;
}

bool TEditBuffer::Replace(const AnsiString& text) {
  if (mask_.Empty()) {
    if (max_length_ > 0 && Length() - sel_length_ + int(text.size()) > max_length_) return false;
    text_.replace(size_t(sel_start_), size_t(sel_length_), text);
    const int pos = sel_start_ + int(text.size());
    Select(pos, pos);
    return true;
  }
  const AnsiString literals = mask_.EmptyText();
  TEditBuffer trial = *this;
  for (char ch : text) {
    if (trial.Type(ch)) continue;
    // The literals of a pasted text (the brackets and dashes of a copied
    // telephone number) stand for the mask's own.
    bool literal = false;
    for (int pos = 0; pos < mask_.Length() && !literal; ++pos)
      literal = mask_.IsLiteral(pos) && literals[size_t(pos)] == ch;
    if (!literal) return false;
  }
  *this = trial;
  return true;
}
