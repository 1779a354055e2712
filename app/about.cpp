#include "app/about.h"

#include <cstdio>

#include "toolkit/core/text.h"

Tform6* form6 = nullptr;

AnsiString file_version_of(const TVersionResource& resource) {
  uint16_t language = 0, code_page = 0;
  std::string translation;
  if (VerQueryValue(resource, "\\VarFileInfo\\Translation", &translation) && translation.size() >= 4) {
    const auto byte = [&](size_t i) { return uint16_t(static_cast<unsigned char>(translation[i])); };
    language = uint16_t(byte(0) | byte(1) << 8);
    code_page = uint16_t(byte(2) | byte(3) << 8);
  }
  char key[9];
  std::snprintf(key, sizeof key, "%04X%04X", language, code_page);
  std::string value;
  if (!VerQueryValue(resource, AnsiString("\\StringFileInfo\\") + key + "\\FileVersion", &value) || value.size() < 2)
    return "0.0.0.0";
  return value;
}

Tform6::Tform6(TComponent* owner) : TForm(owner) {
  SetName("form6");
  SetCaption(Utf8ToAnsi("О программе"));
  SetBorderStyle(bsToolWindow);
  SetPosition(poScreenCenter);
  SetClientWidth(330);
  SetClientHeight(138);

  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->Font().SetSize(12);
  Label1->Font().SetStyle({fsBold});
  Label1->SetCaption(Utf8ToAnsi("ЛИВТ - КС7"));
  Label1->SetBounds(16, 14, 0, 0);

  Label2 = new TLabel(this);
  Label2->SetName("Label2");
  Label2->SetParent(this);
  Label2->SetCaption(Utf8ToAnsi("Программа для передачи данных с приборов ЛИВТ-КС7"));
  Label2->SetBounds(16, 46, 0, 0);

  Label3 = new TLabel(this);
  Label3->SetName("Label3");
  Label3->SetParent(this);
  Label3->SetBounds(16, 70, 0, 0);

  Button1 = new TButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetCaption(Utf8ToAnsi("Ок"));
  Button1->SetModalResult(mrOk);
  Button1->SetDefault(true);
  Button1->SetCancel(true);
  Button1->SetBounds(239, 100, 75, 25);

  OnShow = [this](TComponent* s) { FormShow(s); };
}

void Tform6::FormShow(TComponent*) {
  Label3->SetCaption(Utf8ToAnsi("Версия ") + file_version_of(ProgramVersionResource()));
}
