#include "toolkit/ui/hintwnd.h"

#include <QWidget>

#include "toolkit/gfx/drawtext.h"

THintWindow::THintWindow(TComponent* owner) : TCustomControl(owner) {
  if (QWidget* w = Widget()) {
    w->setParent(nullptr);
    w->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    w->setAttribute(Qt::WA_ShowWithoutActivating);
    w->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  SetColor(clInfoBk);
  Font().SetColor(clInfoText);
  SetVisible(false);
}

TRect THintWindow::CalcHintRect(int MaxWidth, const AnsiString& Text) {
  TRect r = Rect(0, 0, MaxWidth, 0);
  DrawText(Canvas(), Text, r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
  r.Right += 6;
  r.Bottom += 2;
  return r;
}

void THintWindow::ActivateHint(const TRect& Rect, const AnsiString& Text) {
  SetCaption(Text);
  SetBounds(Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top);
  active_ = true;
  SetVisible(true);
  Invalidate();
}

void THintWindow::ReleaseHandle() {
  active_ = false;
  SetVisible(false);
}

void THintWindow::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  c.Brush().SetColor(Color());
  c.Pen().SetColor(clBlack);
  c.Rectangle(r.Left, r.Top, r.Right, r.Bottom);
  r.Left += 2;
  r.Top += 2;
  c.Brush().SetStyle(bsClear);
  DrawText(c, Caption(), r, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
}
