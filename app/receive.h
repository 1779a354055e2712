// The instrument link dialog: finds the instrument, receives its identity and
// its record dump, and ends with mrOk when both are ready or mrCancel when
// there is nothing to import. The protocol itself lives in app/link.h; the
// dialog shows what it says and feeds it the port's data, the timer and the
// "Отмена" button.
#pragma once

#include <memory>

#include "app/CPDrv.h"
#include "app/link.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/extctrls.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

class TForm2 : public TForm, public TLinkView {
 public:
  explicit TForm2(TComponent* owner);
  ~TForm2() override;
  void Notification(TComponent* component, TOperation operation) override;

  TStaticText* StaticText2;  // the status line
  TProgressBar* ProgressBar1;
  TGroupBox* GroupBox1;      // "Информация"
  TLabel* Label2;            // "Тип прибора:"
  TLabel* Label3;            // "Версия ПО:"
  TLabel* Label4;            // "Количество записей:"
  TStaticText* StaticText5;  // instrument type
  TStaticText* StaticText1;  // firmware date
  TStaticText* StaticText7;  // record count (only ever cleared)
  TLabel* Label1;            // the port search line
  TButton* Button1;          // "Отмена"
  TCheckBox* CheckBox1;      // hidden: the dump is never saved from here
  TCommPortDriver* CommPortDriver1;
  // The no-answer time-out.
  TTimer* Timer1;

  void FormCreate(TComponent* Sender);
  void FormShow(TComponent* Sender);
  void FormClose(TComponent* Sender, TCloseAction& Action);
  void Button1Click(TComponent* Sender);
  void Timer1Timer(TComponent* Sender);
  void CommPortDriver1ReceiveData(TComponent* Sender, const void* DataPtr, uint32_t DataSize);

  // What the last transfer gave; kept between transfers.
  const TInstrumentIdentity& Identity() const { return protocol_->Identity(); }
  const TRecordDump& Dump() const { return protocol_->Dump(); }
  TLinkProtocol& Protocol() { return *protocol_; }

  // ---- TLinkView ----
  void SetCaption(const AnsiString& text) override { TControl::SetCaption(text); }
  void SetStatusText(const AnsiString& text) override { StaticText2->SetCaption(text); }
  void SetInstrumentType(const AnsiString& text) override { StaticText5->SetCaption(text); }
  void SetFirmwareDate(const AnsiString& text) override { StaticText1->SetCaption(text); }
  void SetRecordCount(const AnsiString& text) override { StaticText7->SetCaption(text); }
  void SetSearchText(const AnsiString& text) override { Label1->SetCaption(text); }
  void SetProgress(int position) override { ProgressBar1->SetPosition(position); }
  void Repaint() override { TControl::Repaint(); }
  void ShowError(const AnsiString& text) override;
  void ShowErrorBox(const AnsiString& text, const AnsiString& caption) override;
  void EndModal(int result) override { SetModalResult(result); }
  void ArmTimer(unsigned ms) override;
  void StopTimer() override { Timer1->SetEnabled(false); }

 private:
  std::unique_ptr<TCommPortLinkPort> link_port_;
  std::unique_ptr<TLinkProtocol> protocol_;
};

extern TForm2* Form2;
