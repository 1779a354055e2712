#include "toolkit/ui/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <cstdio>

#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/qt_host.h"

namespace {

QMessageBox::Icon IconOfFlags(unsigned flags) {
  switch (flags & 0xF0) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONWARNING: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// The texts of the box's buttons, as a Russian desktop labels them.
const char* ButtonText(int id) {
  switch (id) {
    case IDOK: return "OK";
    case IDCANCEL: return "Отмена";
    case IDABORT: return "Прервать";
    case IDRETRY: return "Повторить";
    case IDIGNORE: return "Пропустить";
    case IDYES: return "Да";
    case IDNO: return "Нет";
    default: return "";
  }
}

// Shows a box with buttons given as answer ids; returns the chosen id (the
// last button's, usually the cancelling one, when the box is closed).
int RunBox(const AnsiString& text, const AnsiString& caption, QMessageBox::Icon icon, const std::vector<int>& ids,
           int escape_id) {
  if (!Application->Initialized()) {
    // No screen (a failure before or while the application object is made).
    std::fprintf(stderr, "%s: %s\n", AnsiToUtf8(caption).c_str(), AnsiToUtf8(text).c_str());
    return ids.empty() ? IDOK : ids.front();
  }
  QMessageBox box(icon, ToQString(caption), ToQString(text));
  std::vector<std::pair<QAbstractButton*, int>> buttons;
  for (int id : ids) {
    QPushButton* button = box.addButton(QString::fromUtf8(ButtonText(id)), QMessageBox::ActionRole);
    buttons.emplace_back(button, id);
    if (id == escape_id) box.setEscapeButton(button);
  }
  box.exec();
  for (auto& [button, id] : buttons)
    if (box.clickedButton() == button) return id;
  return escape_id;
}

std::vector<int> IdsOfFlags(unsigned flags) {
  switch (flags & 0x0F) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
  }
}

int EscapeOf(const std::vector<int>& ids) {
  for (int id : {IDCANCEL, IDNO, IDIGNORE, IDOK})
    for (int x : ids)
      if (x == id) return id;
  return ids.back();
}

QString QtFilter(const TOpenDialog& dialog) {
  QStringList filters;
  for (const auto& [description, patterns] : dialog.FilterPairs()) {
    QString p = ToQString(patterns);
    p.replace(';', ' ');
    filters << ToQString(description) + " (" + p + ")";
  }
  return filters.join(";;");
}

class ScreenDialogService : public TDialogService {
 public:
  int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) override {
    const std::vector<int> ids = IdsOfFlags(flags);
    return RunBox(text, caption, IconOfFlags(flags), ids, EscapeOf(ids));
  }

  int MessageDlg(const AnsiString& text, TMsgDlgType type, TMsgDlgButtons buttons) override {
    static const struct {
      TMsgDlgBtn button;
      int id;
    } kButtons[] = {{mbYes, IDYES}, {mbNo, IDNO}, {mbOK, IDOK}, {mbCancel, IDCANCEL},
                    {mbAbort, IDABORT}, {mbRetry, IDRETRY}, {mbIgnore, IDIGNORE}};
    std::vector<int> ids;
    for (const auto& b : kButtons)
      if (buttons.Contains(b.button)) ids.push_back(b.id);
    if (ids.empty()) ids.push_back(IDOK);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type) {
      case mtWarning: icon = QMessageBox::Warning; break;
      case mtError: icon = QMessageBox::Critical; break;
      case mtInformation: icon = QMessageBox::Information; break;
      case mtConfirmation: icon = QMessageBox::Question; break;
      default: break;
    }
    // The answer ids and the modal results share their numbers.
    return RunBox(text, MessageDlgCaption(type), icon, ids, EscapeOf(ids));
  }

  bool ExecuteFileDialog(TOpenDialog& dialog) override {
    QFileDialog box(nullptr, ToQString(dialog.Title()), QString::fromStdString(dialog.InitialDir()), QtFilter(dialog));
    box.setOption(QFileDialog::DontUseNativeDialog);
    box.setAcceptMode(dialog.IsSave() ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    box.setFileMode(dialog.IsSave() ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!dialog.DefaultExt().empty()) box.setDefaultSuffix(ToQString(dialog.DefaultExt()));
    const QStringList filters = box.nameFilters();
    if (dialog.FilterIndex() >= 1 && dialog.FilterIndex() <= filters.size())
      box.selectNameFilter(filters[dialog.FilterIndex() - 1]);
    if (!dialog.FileName().empty()) box.selectFile(QString::fromStdString(dialog.FileName()));
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return false;
    dialog.SetFileName(box.selectedFiles().front().toStdString());
    dialog.SetFilterIndex(int(filters.indexOf(box.selectedNameFilter())) + 1);
    return true;
  }

  bool ExecuteColorDialog(TColorDialog& dialog) override {
    const QColor chosen = QColorDialog::getColor(ToQColor(dialog.Color()));
    if (!chosen.isValid()) return false;
    dialog.SetColor(RGB(chosen.red(), chosen.green(), chosen.blue()));
    return true;
  }

  bool InputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value) override {
    QInputDialog box;
    box.setWindowTitle(ToQString(caption));
    box.setLabelText(ToQString(prompt));
    box.setTextValue(ToQString(value));
    if (box.exec() != QDialog::Accepted) return false;
    value = FromQString(box.textValue());
    return true;
  }

  bool OpenDocument(const std::string& path) override {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
  }
};

ScreenDialogService g_screen_service;
TDialogService* g_service = nullptr;

}  // namespace

TDialogService& DialogService() { return g_service ? *g_service : g_screen_service; }

TDialogService* SetDialogService(TDialogService* service) {
  TDialogService* previous = g_service ? g_service : &g_screen_service;
  g_service = service == &g_screen_service ? nullptr : service;
  return previous;
}

AnsiString MessageDlgCaption(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return "Warning";
    case mtError: return "Error";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirm";
    default: return Application ? Application->Title() : AnsiString();
  }
}

int MessageDlg(const AnsiString& text, TMsgDlgType type, TMsgDlgButtons buttons, int) {
  return DialogService().MessageDlg(text, type, buttons);
}

void ShowMessage(const AnsiString& text) { DialogService().MessageDlg(text, mtCustom, {mbOK}); }

bool TDialogService::InputQuery(const AnsiString&, const AnsiString&, AnsiString&) { return false; }

AnsiString InputBox(const AnsiString& caption, const AnsiString& prompt, const AnsiString& default_value) {
  AnsiString value = default_value;
  return DialogService().InputQuery(caption, prompt, value) ? value : default_value;
}

// ---- File and colour dialogs ---------------------------------------------------

void TOpenDialog::SetDefaultExt(const AnsiString& value) {
  default_ext_ = !value.empty() && value.front() == '.' ? value.substr(1) : value;
}

std::string TOpenDialog::WithDefaultExt(const std::string& name) const {
  if (name.empty() || default_ext_.empty() || !ExtractFileExt(name).empty()) return name;
  return name + "." + AnsiToUtf8(default_ext_);
}

std::vector<std::pair<AnsiString, AnsiString>> TOpenDialog::FilterPairs() const {
  std::vector<std::pair<AnsiString, AnsiString>> pairs;
  size_t pos = 0;
  while (pos < filter_.size()) {
    const size_t bar = filter_.find('|', pos);
    const AnsiString description = filter_.substr(pos, bar == AnsiString::npos ? AnsiString::npos : bar - pos);
    if (bar == AnsiString::npos) {
      pairs.emplace_back(description, description);
      break;
    }
    const size_t next = filter_.find('|', bar + 1);
    pairs.emplace_back(description, filter_.substr(bar + 1, next == AnsiString::npos ? AnsiString::npos : next - bar - 1));
    if (next == AnsiString::npos) break;
    pos = next + 1;
  }
  return pairs;
}

bool TOpenDialog::Execute() {
  if (!DialogService().ExecuteFileDialog(*this)) return false;
  file_name_ = WithDefaultExt(file_name_);
  return !file_name_.empty();
}

bool TColorDialog::Execute() { return DialogService().ExecuteColorDialog(*this); }
