#include "report/fr_progr.h"

#include <exception>

#include "report/fr_globals.h"
#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "toolkit/core/scope.h"
#include "toolkit/sys/event_loop.h"
#include "toolkit/ui/stdctrls.h"

namespace {


}  // namespace

TfrProgressForm::TfrProgressForm(TComponent* owner) : TForm(owner) {
  SetUpReportDialog(*this, "frProgressForm", 278, 106);
  // No close box: the work ends the window, or Cancel does.
  SetBorderIcons({});

  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->SetAutoSize(false);
  Label1->SetAlignment(taCenter);
  Label1->SetBounds(8, 12, 262, 13);
  Label2 = new TLabel(this);
  Label2->SetName("Label2");
  Label2->SetParent(this);
  Label2->SetAutoSize(false);
  Label2->SetAlignment(taCenter);
  Label2->SetBounds(8, 36, 262, 13);
  Button1 = new TButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetBounds(102, 72, 75, 25);
  Button1->SetCancel(true);
  Button1->SetModalResult(mrCancel);
  Button1->OnClick = [this](TComponent*) { CancelClick(); };

  start_ = std::make_unique<TTimer>(nullptr);
  start_->SetEnabled(false);
  start_->SetInterval(1);
  start_->OnTimer = [this](TComponent*) { StartWork(); };
}

TfrProgressForm::~TfrProgressForm() = default;

TModalResult TfrProgressForm::RunModal(bool* stop_flag) {
  Button1->SetCaption(LoadReportString(kTextCancel));
  stop_flag_ = stop_flag;
  Label2->SetCaption("");
  start_->SetEnabled(true);
  TScopeExit ended([this] {
    start_->SetEnabled(false);
    stop_flag_ = nullptr;
  });
  return ShowModal();
}

void TfrProgressForm::StartWork() {
  start_->SetEnabled(false);
  if (OnBeforeModal) OnBeforeModal(this);
}

void TfrProgressForm::CancelClick() {
  if (stop_flag_) *stop_flag_ = true;
  SetModalResult(mrCancel);
}

TfrProgressForm* frProgressForm() { return frGlobals().ProgressForm(); }

TModalResult RunInProgressWindow(const AnsiString& caption, const AnsiString& prefix, const AnsiString& first_line,
                                 bool* stop, bool& running, const std::function<void()>& work) {
  TfrProgressForm* form = frProgressForm();
  form->SetCaption(caption);
  form->FirstCaption = prefix;
  form->Label1->SetCaption(first_line);
  std::exception_ptr error;
  form->OnBeforeModal = [&](TfrProgressForm* f) {
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    // A work that ends without a verdict must not leave the window waiting.
    if (f->ModalResult() == mrNone) f->SetModalResult(mrOk);
  };
  TModalResult result = mrNone;
  {
    TScopeExit ended([form] { form->OnBeforeModal = nullptr; });
    TScopedValue<bool> run(running, true, false);
    result = form->RunModal(stop);
  }
  if (error) std::rethrow_exception(error);
  return result;
}

void FreeProgressForm() { frGlobals().FreeProgressWindow(); }
