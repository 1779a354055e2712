// The find dialog of the preview: the text to search for and its options.
#pragma once

#include "toolkit/ui/forms.h"

class TButton;
class TCheckBox;
class TCustomMaskEdit;
class TGroupBox;
class TLabel;
class TRadioButton;

class TfrPreviewSearchForm : public TForm {
 public:
  explicit TfrPreviewSearchForm(TComponent* owner);

  // The captions from the library texts.
  void FormCreate(TComponent* sender);
  // The text gets the focus with its text selected.
  void FormActivate(TComponent* sender);

  TLabel* Label1;
  TCustomMaskEdit* Edit1;
  TGroupBox* GroupBox1;
  // Case sensitive.
  TCheckBox* CB1;
  TGroupBox* GroupBox2;
  // From the beginning (checked); RB2 continues from the current page.
  TRadioButton* RB1;
  TRadioButton* RB2;
  TButton* Button1;
  TButton* Button2;
};
