#include "report/fr_srch.h"

#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/stdctrls.h"

namespace {

constexpr int kTextSearchCaption = 53000;
constexpr int kTextLabel = 53001;
constexpr int kTextOptions = 53002;
constexpr int kTextCase = 53003;
constexpr int kTextSearchFrom = 53004;
constexpr int kTextFromStart = 53005;
constexpr int kTextContinue = 53006;

}  // namespace

TfrPreviewSearchForm::TfrPreviewSearchForm(TComponent* owner) : TForm(owner) {
  SetUpReportDialog(*this, "frPreviewSearchForm", 262, 158);

  Label1 = PlaceControl(new TLabel(this), "Label1", this, 8, 8, 80, 13);
  Edit1 = PlaceControl(new TCustomMaskEdit(this), "Edit1", this, 8, 24, 245, 21);
  Label1->SetFocusControl(Edit1);
  // The options take the width "Различать регистр" needs; the starting
  // points' texts are short.
  GroupBox1 = PlaceControl(new TGroupBox(this), "GroupBox1", this, 8, 52, 141, 69);
  CB1 = PlaceControl(new TCheckBox(this), "CB1", GroupBox1, 8, 20, 129, 17);
  GroupBox2 = PlaceControl(new TGroupBox(this), "GroupBox2", this, 152, 52, 101, 69);
  RB1 = PlaceControl(new TRadioButton(this), "RB1", GroupBox2, 8, 20, 89, 17);
  RB1->SetChecked(true);
  RB2 = PlaceControl(new TRadioButton(this), "RB2", GroupBox2, 8, 40, 89, 17);
  Button1 = PlaceControl(new TButton(this), "Button1", this, 100, 128, 75, 25);
  Button1->SetDefault(true);
  Button1->SetModalResult(mrOk);
  Button2 = PlaceControl(new TButton(this), "Button2", this, 180, 128, 75, 25);
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);

  OnCreate = [this](TComponent* sender) { FormCreate(sender); };
  OnShow = [this](TComponent* sender) { FormActivate(sender); };
}

void TfrPreviewSearchForm::FormCreate(TComponent*) {
  SetCaption(LoadReportString(kTextSearchCaption));
  Label1->SetCaption(LoadReportString(kTextLabel));
  GroupBox1->SetCaption(LoadReportString(kTextOptions));
  CB1->SetCaption(LoadReportString(kTextCase));
  GroupBox2->SetCaption(LoadReportString(kTextSearchFrom));
  RB1->SetCaption(LoadReportString(kTextFromStart));
  RB2->SetCaption(LoadReportString(kTextContinue));
  Button1->SetCaption(LoadReportString(kTextOk));
  Button2->SetCaption(LoadReportString(kTextCancel));
}

void TfrPreviewSearchForm::FormActivate(TComponent*) {
  Edit1->SetFocus();
  Edit1->SelectAll();
}
