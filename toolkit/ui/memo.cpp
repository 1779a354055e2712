#include "toolkit/ui/memo.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

#include "toolkit/gfx/qt_canvas.h"
#include "toolkit/ui/qt_host.h"

namespace {

QPlainTextEdit* Box(const TMemo& memo) { return static_cast<QPlainTextEdit*>(memo.Widget()); }

}  // namespace

TMemo::TMemo(TComponent* owner) : TWinControl(owner) {
  auto* box = new Hosted<QPlainTextEdit>(this);
  box->setTabChangesFocus(true);
  QObject::connect(box, &QPlainTextEdit::textChanged, box, [this] { UserChanged(); });
  SetBounds(0, 0, 185, 89);
  AttachWidget(box);
  ApplyScrollBars();
}

AnsiString TMemo::Text() const {
  // The box keeps lines apart by "\n"; the system's texts by CR LF.
  AnsiString text = FromQString(Box(*this)->toPlainText());
  AnsiString out;
  out.reserve(text.size());
  for (char ch : text) {
    if (ch == '\n') out += '\r';
    out += ch;
  }
  return out;
}

void TMemo::SetText(const AnsiString& value) {
  AnsiString text;
  for (char ch : value)
    if (ch != '\r') text += ch;
  setting_ = true;
  Box(*this)->setPlainText(ToQString(text));
  setting_ = false;
  if (max_length_ > 0) UserChanged();
}

void TMemo::SetMaxLength(int value) {
  max_length_ = value < 0 ? 0 : value;
  const bool modified = modified_;
  setting_ = true;
  UserChanged();
  setting_ = false;
  modified_ = modified;
}

void TMemo::SetReadOnly(bool value) {
  read_only_ = value;
  Box(*this)->setReadOnly(value);
}

void TMemo::SetWordWrap(bool value) {
  word_wrap_ = value;
  Box(*this)->setLineWrapMode(value ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TMemo::SetWantTabs(bool value) {
  want_tabs_ = value;
  Box(*this)->setTabChangesFocus(!value);
}

void TMemo::SetScrollBars(int value) {
  scroll_bars_ = value;
  ApplyScrollBars();
}

void TMemo::SetHideScrollBars(bool value) {
  hide_scroll_bars_ = value;
  ApplyScrollBars();
}

void TMemo::ApplyScrollBars() {
  QPlainTextEdit* box = Box(*this);
  const Qt::ScrollBarPolicy shown = hide_scroll_bars_ ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOn;
  box->setHorizontalScrollBarPolicy(scroll_bars_ & 1 ? shown : Qt::ScrollBarAlwaysOff);
  box->setVerticalScrollBarPolicy(scroll_bars_ & 2 ? shown : Qt::ScrollBarAlwaysOff);
}

void TMemo::UserChanged() {
  QPlainTextEdit* box = Box(*this);
  if (max_length_ > 0) {
    // The limit counts characters of the stored text, where a line break
    // takes two.
    const AnsiString text = Text();
    if (static_cast<int>(text.size()) > max_length_) {
      AnsiString cut = text.substr(0, size_t(max_length_));
      if (!cut.empty() && cut.back() == '\r') cut.pop_back();
      const bool was_setting = setting_;
      setting_ = true;
      AnsiString plain;
      for (char ch : cut)
        if (ch != '\r') plain += ch;
      box->setPlainText(ToQString(plain));
      box->moveCursor(QTextCursor::End);
      setting_ = was_setting;
    }
  }
  if (setting_) return;
  modified_ = true;
  if (OnChange) RunGuarded([this] { OnChange(this); });
}

void TMemo::SetFocus() { Box(*this)->setFocus(Qt::OtherFocusReason); }

bool TMemo::WidgetKeyDown(int key) {
  // Without WantReturns, Enter makes no new line: it is the form's.
  return (key == Qt::Key_Return || key == Qt::Key_Enter) && !want_returns_;
}
