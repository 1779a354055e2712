// The password dialog of a protected report template read from a file.
#pragma once

#include "toolkit/ui/forms.h"

class TButton;
class TCustomMaskEdit;
class TLabel;

class TfrPasswForm : public TForm {
 public:
  explicit TfrPasswForm(TComponent* owner);

  // The captions from the library texts.
  void FormCreate(TComponent* sender);
  // The input focus goes to the entry.
  void FormShow(TComponent* sender);

  TLabel* L1;
  // "Repeat the password": hidden in this dialog.
  TLabel* L2;
  // Shows "*" for every character typed.
  TCustomMaskEdit* E1;
  TButton* OK;
  TButton* Cancel;
};

// Shows the dialog modally; true when it closed with OK and the entry equals
// `password` exactly.
bool AskReportPassword(const AnsiString& password);
