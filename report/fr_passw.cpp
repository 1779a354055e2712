#include "report/fr_passw.h"

#include <memory>

#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/stdctrls.h"

namespace {

constexpr int kTextPasswordCaption = 55653;
constexpr int kTextEnterPassword = 55654;
constexpr int kTextRepeatPassword = 55655;

}  // namespace

TfrPasswForm::TfrPasswForm(TComponent* owner) : TForm(owner) {
  SetUpReportDialog(*this, "frPasswForm", 249, 96);

  L1 = new TLabel(this);
  L1->SetAutoSize(false);
  PlaceControl(L1, "L1", this, 4, 12, 241, 13);
  L2 = new TLabel(this);
  L2->SetAutoSize(false);
  PlaceControl(L2, "L2", this, 4, 0, 241, 13);
  L2->SetVisible(false);
  // Created in the dialog's tab order: OK, Cancel, then the entry.
  OK = PlaceControl(new TButton(this), "OK", this, 100, 68, 69, 21);
  OK->SetDefault(true);
  OK->SetModalResult(mrOk);
  Cancel = PlaceControl(new TButton(this), "Cancel", this, 176, 68, 69, 21);
  Cancel->SetCancel(true);
  Cancel->SetModalResult(mrCancel);
  E1 = PlaceControl(new TCustomMaskEdit(this), "E1", this, 4, 32, 241, 21);
  E1->SetPasswordChar('*');

  OnCreate = [this](TComponent* sender) { FormCreate(sender); };
  OnShow = [this](TComponent* sender) { FormShow(sender); };
}

void TfrPasswForm::FormCreate(TComponent*) {
  SetCaption(LoadReportString(kTextPasswordCaption));
  L1->SetCaption(LoadReportString(kTextEnterPassword));
  L2->SetCaption(LoadReportString(kTextRepeatPassword));
  OK->SetCaption(LoadReportString(kTextOk));
  Cancel->SetCaption(LoadReportString(kTextCancel));
}

void TfrPasswForm::FormShow(TComponent*) { E1->SetFocus(); }

bool AskReportPassword(const AnsiString& password) {
  auto form = std::make_unique<TfrPasswForm>(nullptr);
  form->AfterConstruction();
  return form->ShowModal() == mrOk && form->E1->Text() == password;
}
