#include "app/logo.h"

#include "toolkit/core/text.h"

TForm5* Form5 = nullptr;

TForm5::TForm5(TComponent* owner) : TForm(owner) {
  SetName("Form5");
  SetBorderStyle(bsNone);
  SetPosition(poScreenCenter);
  SetClientWidth(400);
  SetClientHeight(77);

  Image1 = new TImage(this);
  Image1->SetName("Image1");
  Image1->SetParent(this);
  Image1->SetAlign(alClient);
  DrawSplashPicture(Image1->Picture().Bitmap());
  Image1->PictureChanged();

  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(3000);
  Timer1->OnTimer = Guarded([this](TComponent* s) { Timer1Timer(s); });

  OnShow = [this](TComponent* s) { FormShow(s); };
}

void TForm5::FormShow(TComponent*) { Timer1->SetEnabled(true); }

void TForm5::Timer1Timer(TComponent*) {
  Timer1->SetEnabled(false);
  SetModalResult(mrOk);
}

void DrawSplashPicture(TBitmap& bitmap) {
  bitmap.SetSize(400, 77);
  TCanvas& c = bitmap.Canvas();
  // A dark blue band fading to a lighter one, left to right.
  for (int x = 0; x < 400; ++x) {
    c.Pen().SetColor(RGB(10 + x * 40 / 400, 36 + x * 70 / 400, 106 + x * 90 / 400));
    c.MoveTo(x, 0);
    c.LineTo(x, 76);
  }
  // The instrument: a case with its display and keys.
  c.Pen().SetColor(clBlack);
  c.Brush().SetColor(RGB(212, 208, 200));
  c.Rectangle(14, 10, 60, 68);
  c.Brush().SetColor(RGB(120, 160, 110));
  c.Rectangle(19, 15, 55, 33);
  c.Brush().SetColor(RGB(128, 128, 128));
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) c.Rectangle(20 + col * 12, 38 + row * 9, 29 + col * 12, 44 + row * 9);
  // The cable to the computer.
  c.Pen().SetColor(clWhite);
  c.Pen().SetWidth(2);
  c.MoveTo(60, 39);
  c.LineTo(76, 39);
  c.Pen().SetWidth(1);

  c.Brush().SetStyle(bsClear);
  c.Font().SetName("Arial");
  c.Font().SetSize(22);
  c.Font().SetStyle({fsBold});
  c.Font().SetColor(clWhite);
  c.TextOut(88, 8, Utf8ToAnsi("ЛИВТ - КС7"));
  c.Font().SetSize(8);
  c.Font().SetStyle({});
  c.Font().SetColor(RGB(230, 230, 230));
  c.TextOut(88, 50, Utf8ToAnsi("Программа для передачи данных с приборов ЛИВТ-КС7"));
  c.Brush().SetStyle(bsSolid);
}
