#include "app/receive.h"

#include "toolkit/core/text.h"
#include "toolkit/ui/dialogs.h"

TForm2* Form2 = nullptr;

TForm2::TForm2(TComponent* owner) : TForm(owner) {
  SetName("Form2");
  SetBorderStyle(bsDialog);
  SetBorderIcons({});  // no close box: the dialog ends by itself or by "Отмена"
  SetPosition(poDesktopCenter);
  SetClientWidth(340);
  SetClientHeight(214);

  auto place = [this](auto* control, const char* name, TWinControl* parent, int left, int top) {
    control->SetName(name);
    control->SetParent(parent);
    control->SetBounds(left, top, control->Width(), control->Height());
    return control;
  };

  StaticText2 = place(new TStaticText(this), "StaticText2", this, 16, 12);
  StaticText2->Font().SetStyle({fsBold});
  ProgressBar1 = place(new TProgressBar(this), "ProgressBar1", this, 16, 40);
  ProgressBar1->SetWidth(308);
  GroupBox1 = place(new TGroupBox(this), "GroupBox1", this, 16, 66);
  GroupBox1->SetBounds(16, 66, 308, 88);
  GroupBox1->SetCaption(Utf8ToAnsi("Информация"));
  Label2 = place(new TLabel(this), "Label2", GroupBox1, 12, 22);
  Label2->SetCaption(Utf8ToAnsi("Тип прибора:"));
  Label3 = place(new TLabel(this), "Label3", GroupBox1, 12, 42);
  Label3->SetCaption(Utf8ToAnsi("Версия ПО:"));
  Label4 = place(new TLabel(this), "Label4", GroupBox1, 12, 62);
  Label4->SetCaption(Utf8ToAnsi("Количество записей:"));
  StaticText5 = place(new TStaticText(this), "StaticText5", GroupBox1, 150, 22);
  StaticText1 = place(new TStaticText(this), "StaticText1", GroupBox1, 150, 42);
  StaticText7 = place(new TStaticText(this), "StaticText7", GroupBox1, 150, 62);
  Label1 = place(new TLabel(this), "Label1", this, 16, 160);
  Button1 = place(new TButton(this), "Button1", this, 249, 180);
  Button1->SetCaption(Utf8ToAnsi("Отмена"));
  Button1->SetCancel(true);
  Button1->OnClick = [this](TComponent* s) { Button1Click(s); };
  CheckBox1 = place(new TCheckBox(this), "CheckBox1", this, 16, 184);
  CheckBox1->SetCaption(Utf8ToAnsi("Сохранить двоичный файл"));
  CheckBox1->SetWidth(200);

  CommPortDriver1 = new TCommPortDriver(this);
  CommPortDriver1->SetName("CommPortDriver1");
  ConfigureLinkPort(*CommPortDriver1);
  // Raised from the port's poll timer: errors go to the application's box.
  CommPortDriver1->OnReceiveData = [this](TComponent* s, const void* data, uint32_t size) {
    RunGuarded([&] { CommPortDriver1ReceiveData(s, data, size); });
  };

  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(kNoAnswerMs);
  Timer1->OnTimer = Guarded([this](TComponent* s) { Timer1Timer(s); });

  link_port_ = std::make_unique<TCommPortLinkPort>(*CommPortDriver1);
  protocol_ = std::make_unique<TLinkProtocol>(*link_port_, *this);

  OnCreate = [this](TComponent* s) { FormCreate(s); };
  OnShow = [this](TComponent* s) { FormShow(s); };
  OnClose = [this](TComponent* s, TCloseAction& a) { FormClose(s, a); };
}

TForm2::~TForm2() {
  // The protocol speaks to the port and the timer, which the form owns.
  if (CommPortDriver1) CommPortDriver1->OnReceiveData = nullptr;
  protocol_.reset();
  link_port_.reset();
}

void TForm2::Notification(TComponent* component, TOperation operation) {
  // An owner frees the form's parts before the form's own destructor runs:
  // the protocol, which speaks to the port and the timer, goes with the
  // first of them, and the destructor finds no pointer left dangling.
  if (operation == opRemove && component != nullptr && (component == CommPortDriver1 || component == Timer1)) {
    protocol_.reset();
    link_port_.reset();
    if (component == CommPortDriver1) CommPortDriver1 = nullptr;
    if (component == Timer1) Timer1 = nullptr;
  }
  TForm::Notification(component, operation);
}

void TForm2::FormCreate(TComponent*) { CheckBox1->Hide(); }

void TForm2::FormShow(TComponent*) {
  CheckBox1->SetChecked(false);
  protocol_->Start();
}

void TForm2::FormClose(TComponent*, TCloseAction&) {
  if (protocol_) protocol_->Close();
}

void TForm2::Button1Click(TComponent*) { protocol_->Cancel(); }

void TForm2::Timer1Timer(TComponent*) { protocol_->NoAnswer(); }

void TForm2::CommPortDriver1ReceiveData(TComponent*, const void* DataPtr, uint32_t DataSize) {
  protocol_->Receive(static_cast<const uint8_t*>(DataPtr), DataSize);
}

void TForm2::ShowError(const AnsiString& text) { MessageDlg(text, mtError, {mbOK}); }

void TForm2::ShowErrorBox(const AnsiString& text, const AnsiString& caption) {
  Application->MessageBox(text, caption, MB_OK | MB_ICONERROR);
}

void TForm2::ArmTimer(unsigned ms) {
  // A fresh period from now, also when the timer already ran.
  Timer1->SetEnabled(false);
  Timer1->SetInterval(ms);
  Timer1->SetEnabled(true);
}
