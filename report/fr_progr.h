// The progress window: long work of a report (building, printing) runs inside
// its modal loop, and its Cancel button asks the work to stop.
#pragma once

#include <functional>
#include <memory>

#include "toolkit/ui/forms.h"

class TButton;
class TLabel;
class TTimer;

class TfrProgressForm : public TForm {
 public:
  explicit TfrProgressForm(TComponent* owner);
  ~TfrProgressForm() override;

  // Runs the work procedure inside the window's modal loop, once the window
  // shows, and returns the modal result the work (or Cancel) set. The stop
  // flag is the report's: Cancel sets it, and the work reads it at each step.
  TModalResult RunModal(bool* stop_flag);

  // The work: it ends the window by setting its modal result (OK when done,
  // Cancel when stopped); until then the window stays open.
  std::function<void(TfrProgressForm*)> OnBeforeModal;
  // What the report puts before the numbers of its progress steps.
  AnsiString FirstCaption;

  TLabel* Label1;
  // Emptied as the window starts; a report script's PROGRESS text goes here.
  TLabel* Label2;
  TButton* Button1;

 private:
  void StartWork();
  void CancelClick();

  bool* stop_flag_ = nullptr;
  // The work starts from the loop, so the window is painted before it runs.
  std::unique_ptr<TTimer> start_;
};

// Runs work inside the shared progress window, titled caption, its first
// line first_line and its step numbers put after prefix. The window closes
// when the work sets its modal result, or with OK when the work returns
// without one; Cancel sets *stop for the work to see. `running` is true while
// the window shows, so that progress steps go into it. An error of the work
// reaches the caller once the window is closed. Gives the modal result.
TModalResult RunInProgressWindow(const AnsiString& caption, const AnsiString& prefix, const AnsiString& first_line,
                                 bool* stop, bool& running, const std::function<void()>& work);

// The one progress window of the process, kept by the report globals.
TfrProgressForm* frProgressForm();
void FreeProgressForm();
