// The splash window: one picture, shown modally at start-up until its timer
// ends it after 3000 ms.
#pragma once

#include "toolkit/ui/extctrls.h"
#include "toolkit/ui/forms.h"

class TForm5 : public TForm {
 public:
  explicit TForm5(TComponent* owner);

  TImage* Image1;
  // 3000 ms, off until the window shows.
  TTimer* Timer1;

  void FormShow(TComponent* Sender);
  void Timer1Timer(TComponent* Sender);
};

extern TForm5* Form5;

// Paints the splash picture (400 x 77) into bitmap.
void DrawSplashPicture(TBitmap& bitmap);
