// The print dialog: printer, pages, copies, collation and odd or even pages
// chosen before a report is printed. The dialog itself changes only the
// printer selection of the printer layer; the caller reads the rest.
#pragma once

#include <functional>
#include <memory>

#include "toolkit/ui/customctrl.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/printers.h"

class TButton;
class TfrSpeedButton;
class TCheckBox;
class TComboBox;
class TCustomMaskEdit;
class TGroupBox;
class TImage;
class TLabel;
class TPanel;
class TRadioButton;

// Checks a typed page list ("1,3,5-12"): numbers and ascending ranges between
// commas, every page from 1 to page_count (page_count 0: any page from 1); the
// last range may be left open ("8-": to the last page).
// False with `message` set to the text to show when the list is refused.
bool CheckPageList(const AnsiString& text, int page_count, AnsiString& message);

// A control painted by whoever owns it.
class TfrPaintBox : public TGraphicControl {
 public:
  using TGraphicControl::TGraphicControl;
  std::function<void(TCanvas&)> OnPaint;

 protected:
  void Paint() override {
    if (OnPaint) OnPaint(Canvas());
  }
};

class TfrPrintForm : public TForm {
 public:
  explicit TfrPrintForm(TComponent* owner);

  // Fills the printer list, remembers the current printer, sets the texts.
  void FormCreate(TComponent* sender);

  // The number of pages to print from, for checking typed page numbers
  // (0 when unknown: only their form is checked).
  int PageCount = 0;

  TGroupBox* GroupBox1;
  TLabel* Label4;
  // The system printers, without the virtual one, each with Image1's icon.
  TComboBox* CB1;
  // The page set-up of the chosen printer: paper, orientation, margins.
  TButton* PropButton;
  // Hidden: the printer icon of CB1's items.
  TImage* Image1;
  TGroupBox* GroupBox2;
  // All pages (checked), the current page, the pages typed into E2.
  TRadioButton* RB1;
  TRadioButton* RB2;
  TRadioButton* RB3;
  TCustomMaskEdit* E2;
  TLabel* Label2;
  TGroupBox* GroupBox3;
  TLabel* Label1;
  // The number of copies, "1" at first; stepped by the up and down buttons.
  TCustomMaskEdit* E1;
  // Holds the up and down buttons of the copies count.
  TPanel* Panel1;
  TfrSpeedButton* frSpeedButton1;
  TfrSpeedButton* frSpeedButton2;
  TCheckBox* CollateCB;
  // CollateCB's text: a click or double click on it toggles the box.
  TLabel* Label3;
  // The pages of the copies, collated or not as CollateCB says, painted from
  // the hidden CollateImg (74 x 53) or NonCollateImg (92 x 40).
  TfrPaintBox* PB1;
  TImage* CollateImg;
  TImage* NonCollateImg;

  // The margins the page set-up opens on (hundredths of a millimetre), set
  // by the caller; after an accepted page set-up they are the chosen ones,
  // the printer layer holds the chosen paper and orientation, and
  // PageSetupDone is true.
  TPageMargins Margins;
  bool PageSetupDone = false;
  TLabel* Label5;
  // All pages of the range, odd pages, even pages.
  TComboBox* CB2;
  TButton* Button1;
  TButton* Button2;

  // The steps of the copies count: up without bound, down never below 1.
  void CopiesUp();
  void CopiesDown();

 private:
  void PrinterChosen();
  void PropertiesClick();
  void CheckClose(bool& can_close);
  void Deactivate();
  void DrawPrinter(int index, const TRect& rect);
  void PaintCollation(TCanvas& canvas);
  void ToggleCollate();
  int remembered_printer_ = -1;
};
