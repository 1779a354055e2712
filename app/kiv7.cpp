// The program body: the application with its title and help file, the forms
// in their order (the first is the main window), the splash window, and the
// message loop until the main window closes. A failure on the way is shown as
// the start-up failure and ends the program with exit code 1.
#include "app/about.h"
#include "app/logo.h"
#include "app/main.h"
#include "app/receive.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"

int main() {
  return Application->RunProgram([] {
    Application->Initialize();
    Application->SetTitle(Utf8ToAnsi("ЛИВТ  - КС7"));
    // Until the main window finds "kiv7.hlp" beside the program, help is
    // looked for there by this name.
    Application->SetHelpFile(ExtractFilePath(Application->ExeName()) + "kiv7.hlp");
    Application->CreateForm(Form1);
    Application->CreateForm(Form2);
    Application->CreateForm(Form5);
    Application->CreateForm(form6);
    Form5->ShowModal();
    Form5->Free();
    Form5 = nullptr;
    Application->Run();
  });
}
