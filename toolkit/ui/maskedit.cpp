#include "toolkit/ui/maskedit.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>

#include "toolkit/core/text.h"
#include "toolkit/gfx/qt_canvas.h"

namespace {
unsigned beep_count = 0;
}

void MessageBeep(unsigned) {
  ++beep_count;
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}

unsigned MessageBeepCount() { return beep_count; }

bool ClipboardText(AnsiString& text) {
  text.clear();
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return true;
  const QString wide = QGuiApplication::clipboard()->text();
  text = FromQString(wide);
  // A character 1251 lacks would come back as '?'.
  return ToQString(text) == wide;
}

void SetClipboardText(const AnsiString& text) {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
  QGuiApplication::clipboard()->setText(ToQString(text));
}

TCustomMaskEdit::TCustomMaskEdit(TComponent* owner) : TCustomControl(owner) {
  SetTabStop(true);
  SetColor(clWindow);
}

TCustomMaskEdit::~TCustomMaskEdit() = default;

void TCustomMaskEdit::SetText(const AnsiString& value) {
  buffer_.SetValue(value);
  has_undo_ = false;
  Invalidate();
  Change();
}

void TCustomMaskEdit::SetEditText(const AnsiString& value) {
  buffer_.SetText(value);
  has_undo_ = false;
  Invalidate();
  Change();
}

void TCustomMaskEdit::SetEditMask(const AnsiString& value) {
  if (value == edit_mask_) return;
  edit_mask_ = value;
  buffer_.SetMask(value);
  Invalidate();
}

void TCustomMaskEdit::SetCharCase(TEditCharCase value) {
  char_case_ = value;
  if (value == ecUpperCase) buffer_.SetText(AnsiUpperCase(buffer_.Text()));
  if (value == ecLowerCase) buffer_.SetText(AnsiLowerCase(buffer_.Text()));
  Invalidate();
}

void TCustomMaskEdit::SetPasswordChar(char value) {
  password_char_ = value;
  Invalidate();
}

void TCustomMaskEdit::SetAlignment(TAlignment value) {
  alignment_ = value;
  Invalidate();
}

void TCustomMaskEdit::SetTextMargins(const TRect& margins) {
  margins_ = margins;
  Invalidate();
}

void TCustomMaskEdit::SetSelStart(int value) {
  buffer_.Select(value, value);
  Invalidate();
}

void TCustomMaskEdit::SetSelLength(int value) {
  buffer_.Select(buffer_.SelStart(), buffer_.SelStart() + value);
  Invalidate();
}

void TCustomMaskEdit::Select(int anchor, int caret) {
  buffer_.Select(anchor, caret);
  Invalidate();
}

void TCustomMaskEdit::SelectAll() {
  buffer_.SelectAll();
  Invalidate();
}

void TCustomMaskEdit::ClearSelection() {
  if (buffer_.SelLength() == 0 || !CanChangeText()) return;
  Remember();
  if (buffer_.Delete()) UserChanged();
}

void TCustomMaskEdit::Remember() {
  undo_text_ = buffer_.Text();
  has_undo_ = true;
}

void TCustomMaskEdit::Undo() {
  if (!has_undo_ || !CanChangeText()) return;
  const AnsiString redo = buffer_.Text();
  buffer_.SetText(undo_text_);
  undo_text_ = redo;
  UserChanged();
}

void TCustomMaskEdit::CutToClipboard() {
  if (buffer_.SelLength() == 0) return;
  CopyToClipboard();
  ClearSelection();
}

void TCustomMaskEdit::CopyToClipboard() {
  if (buffer_.SelLength() == 0 || password_char_ != 0) return;
  SetClipboardText(buffer_.SelText());
}

void TCustomMaskEdit::PasteFromClipboard() {
  if (!CanChangeText()) return;
  AnsiString text;
  // Only the first line of the clipboard goes into a single-line edit.
  const bool whole = ClipboardText(text);
  const size_t eol = text.find_first_of("\r\n");
  if (eol != AnsiString::npos) text.resize(eol);
  if (char_case_ == ecUpperCase) text = AnsiUpperCase(text);
  if (char_case_ == ecLowerCase) text = AnsiLowerCase(text);
  const TEditBuffer before = buffer_;
  if (!whole || !buffer_.Replace(text)) {
    buffer_ = before;
    MessageBeep(0);
    return;
  }
  undo_text_ = before.Text();
  has_undo_ = true;
  UserChanged();
}

void TCustomMaskEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomMaskEdit::UserChanged() {
  modified_ = true;
  Invalidate();
  Change();
}

AnsiString TCustomMaskEdit::Shown() const {
  if (password_char_ != 0) return AnsiString(buffer_.Text().size(), password_char_);
  return buffer_.Text();
}

int TCustomMaskEdit::TextLeft(TCanvas& canvas, const AnsiString& shown) {
  const int left = margins_.Left + 1;
  const int right = ClientWidth() - margins_.Right - 1;
  const int width = canvas.TextWidth(shown);
  switch (alignment_) {
    case taRightJustify: return right - width;
    case taCenter: return left + (right - left - width) / 2;
    default: break;
  }
  // Free text longer than the edit scrolls so that the caret stays in view.
  const int caret_x = canvas.TextWidth(shown.substr(0, size_t(buffer_.Caret())));
  if (left + caret_x > right) return right - caret_x;
  return left;
}

void TCustomMaskEdit::Paint() { PaintEditText(Canvas()); }

void TCustomMaskEdit::PaintEditText(TCanvas& canvas) {
  canvas.Font().Assign(Font());
  canvas.Brush().SetColor(Enabled() ? Color() : clBtnFace);
  canvas.Brush().SetStyle(bsSolid);
  canvas.FillRect(ClientRect());
  const AnsiString shown = Shown();
  const int height = canvas.TextHeight("Wg");
  const int top = margins_.Top + (ClientHeight() - margins_.Top - margins_.Bottom - height) / 2;
  const int x = TextLeft(canvas, shown);
  canvas.Brush().SetStyle(bsClear);
  canvas.Font().SetColor(Enabled() ? Font().Color() : clGrayText);
  canvas.TextOut(x, top, shown);
  if (!Focused()) return;
  if (buffer_.SelLength() > 0) {
    const AnsiString before = shown.substr(0, size_t(buffer_.SelStart()));
    const AnsiString selected = shown.substr(size_t(buffer_.SelStart()), size_t(buffer_.SelLength()));
    const int sx = x + canvas.TextWidth(before);
    canvas.Brush().SetColor(clHighlight);
    canvas.Brush().SetStyle(bsSolid);
    canvas.Font().SetColor(clHighlightText);
    canvas.TextOut(sx, top, selected);
  }
  const int cx = x + canvas.TextWidth(shown.substr(0, size_t(buffer_.Caret())));
  canvas.Pen().SetColor(clWindowText);
  canvas.MoveTo(cx, top);
  canvas.LineTo(cx, top + height);
}

int TCustomMaskEdit::PositionAt(int x) {
  TCanvas& canvas = Canvas();
  canvas.Font().Assign(Font());
  const AnsiString shown = Shown();
  const int left = TextLeft(canvas, shown);
  int best = 0;
  int best_distance = std::abs(x - left);
  for (int i = 1; i <= int(shown.size()); ++i) {
    const int distance = std::abs(x - (left + canvas.TextWidth(shown.substr(0, size_t(i)))));
    if (distance < best_distance) best = i, best_distance = distance;
  }
  return best;
}

void TCustomMaskEdit::KeyDown(uint16_t& key, TShiftState shift) {
  TCustomControl::KeyDown(key, shift);
  const bool extend = shift.Contains(ssShift);
  const bool ctrl = shift.Contains(ssCtrl);
  switch (key) {
    case VK_LEFT:
      if (!extend && buffer_.SelLength() > 0)
        buffer_.MoveCaret(buffer_.SelStart(), false);
      else
        buffer_.MoveCaret(buffer_.Caret() - 1, extend);
      break;
    case VK_RIGHT:
      if (!extend && buffer_.SelLength() > 0)
        buffer_.MoveCaret(buffer_.SelStart() + buffer_.SelLength(), false);
      else
        buffer_.MoveCaret(buffer_.Caret() + 1, extend);
      break;
    case VK_HOME: buffer_.MoveCaret(0, extend); break;
    case VK_END: buffer_.MoveCaret(buffer_.Length(), extend); break;
    case VK_DELETE:
      if (extend) {
        CutToClipboard();
      } else if (CanChangeText()) {
        Remember();
        if (buffer_.Delete()) UserChanged();
      }
      break;
    case VK_INSERT:
      if (ctrl)
        CopyToClipboard();
      else if (extend)
        PasteFromClipboard();
      else
        return;
      break;
    default: return;
  }
  key = 0;
  Invalidate();
}

void TCustomMaskEdit::KeyPress(char& key) {
  TCustomControl::KeyPress(key);
  switch (key) {
    case 0: return;
    case '\x01': SelectAll(); key = 0; return;
    case '\x03': CopyToClipboard(); key = 0; return;
    case '\x16': PasteFromClipboard(); key = 0; return;
    case '\x18': CutToClipboard(); key = 0; return;
    case '\x1a': Undo(); key = 0; return;
    default: break;
  }
  if (key == '\b') {
    if (CanChangeText()) {
      Remember();
      if (buffer_.Backspace()) UserChanged();
    }
    key = 0;
    return;
  }
  if (static_cast<unsigned char>(key) < 0x20) return;
  if (!CanChangeText()) {
    MessageBeep(0);
    key = 0;
    return;
  }
  char ch = key;
  if (char_case_ == ecUpperCase) ch = AnsiUpperChar(ch);
  if (char_case_ == ecLowerCase) ch = AnsiLowerChar(ch);
  const TEditBuffer before = buffer_;
  if (buffer_.Type(ch)) {
    undo_text_ = before.Text();
    has_undo_ = true;
    UserChanged();
  } else {
    MessageBeep(0);
  }
  key = 0;
}

void TCustomMaskEdit::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    if (!Focused()) SetFocus();
    buffer_.MoveCaret(PositionAt(x), shift.Contains(ssShift));
    selecting_ = true;
    Invalidate();
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TCustomMaskEdit::MouseMove(TShiftState shift, int x, int y) {
  if (selecting_) {
    buffer_.MoveCaret(PositionAt(x), true);
    Invalidate();
  }
  TCustomControl::MouseMove(shift, x, y);
}

void TCustomMaskEdit::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) selecting_ = false;
  TCustomControl::MouseUp(button, shift, x, y);
}

void TCustomMaskEdit::DoEnter() {
  TCustomControl::DoEnter();
  Invalidate();
}

void TCustomMaskEdit::DoExit() {
  TCustomControl::DoExit();
  selecting_ = false;
  Invalidate();
}
