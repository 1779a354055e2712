// The about box: the program's name, purpose and version.
#pragma once

#include "toolkit/sys/version.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

class Tform6 : public TForm {
 public:
  explicit Tform6(TComponent* owner);

  TLabel* Label1;  // the program's name, bold
  TLabel* Label2;  // its purpose
  TLabel* Label3;  // "Версия " and the file version
  TButton* Button1;

  void FormShow(TComponent* Sender);
};

extern Tform6* form6;

// The FileVersion text of a version resource: the first translation's value,
// or "0.0.0.0" when the resource has none (or one shorter than 2 characters).
AnsiString file_version_of(const TVersionResource& resource);
