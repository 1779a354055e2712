#include "report/fr_ctrls.h"

#include "toolkit/sys/settings.h"
#include "toolkit/ui/forms.h"

namespace {

AnsiString FormSection(const TForm& form) { return "Form\\" + form.ClassName(); }

}  // namespace

const AnsiString& frRegRootKey() {
  static const AnsiString root = "Software\\ReportEngine";
  return root;
}

void SaveFormPosition(TForm& form, const std::string& file_path) {
  TRegistryIniFile ini(frRegRootKey(), file_path);
  const AnsiString section = FormSection(form);
  ini.WriteInteger(section, "XPosition", form.Left());
  ini.WriteInteger(section, "YPosition", form.Top());
  ini.WriteInteger(section, "Width", form.Width());
  ini.WriteInteger(section, "Height", form.Height());
  ini.WriteBool(section, "Maximized", form.WindowState() == wsMaximized);
}

void RestoreFormPosition(TForm& form, const std::string& file_path) {
  const TRegistryIniFile ini(frRegRootKey(), file_path);
  const AnsiString section = FormSection(form);
  if (!ini.ReadBool(section, "Maximized", true)) form.SetWindowState(wsNormal);
  int width = ini.ReadInteger(section, "Width", form.Width());
  int height = ini.ReadInteger(section, "Height", form.Height());
  // A size no window can have would leave it invisible.
  if (width < 1) width = form.Width();
  if (height < 1) height = form.Height();
  const int top = ini.ReadInteger(section, "YPosition", form.Top());
  const int left = ini.ReadInteger(section, "XPosition", form.Left());
  form.SetBounds(left, top, width, height);
}
