#include "toolkit/ui/dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QTreeView>
#include <QUrl>

#include <cstdio>

#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/qt_host.h"

namespace {

// Room the window system takes in a caption bar beside the text: the
// window's icon, the close box and the margins.
constexpr int kCaptionFrameExtra = 64;
// The file dialog's size: room for the detail list's four columns beside the
// places list, within the smallest screen the program is meant for.
constexpr int kFileDialogWidth = 720;
constexpr int kFileDialogHeight = 440;

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

// The window a dialog belongs to: the active one, so that the window system
// keeps the dialog over it and treats it as its dialog, not as a window of
// its own.
QWidget* DialogOwner() { return QApplication::activeWindow(); }

// The window system draws the caption in bold beside the window's icon and
// its close box; a box narrower than that cuts its caption.
void KeepCaptionWhole(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  QFont bold = box.font();
  bold.setBold(true);
  const int width = QFontMetrics(bold).horizontalAdvance(box.windowTitle()) + kCaptionFrameExtra;
  // The box fixes its own size from its layout's minimum, so the caption's
  // width goes in as a row of the layout.
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                grid->columnCount());
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
  QMessageBox box(icon, ToQString(caption), ToQString(text), QMessageBox::NoButton, DialogOwner());
  SetDialogFrame(&box);
  KeepCaptionWhole(box);
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

// The file dialog wide enough for every column of its detail list (name,
// size, type, date modified), the name keeping what the others leave.
void FitFileColumns(QFileDialog& box) {
  box.resize(box.sizeHint().expandedTo(QSize(kFileDialogWidth, kFileDialogHeight)));
  auto* list = box.findChild<QTreeView*>("treeView");
  if (!list) return;
  QHeaderView* header = list->header();
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(0);
  for (int i = 1; i < header->count(); ++i) header->setSectionResizeMode(i, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(0, QHeaderView::Stretch);
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
    QFileDialog box(DialogOwner(), ToQString(dialog.Title()), QString::fromStdString(dialog.InitialDir()),
                    QtFilter(dialog));
    box.setOption(QFileDialog::DontUseNativeDialog);
    SetDialogFrame(&box);
    FitFileColumns(box);
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
    QColorDialog box(ToQColor(dialog.Color()), DialogOwner());
    SetDialogFrame(&box);
    if (box.exec() != QDialog::Accepted) return false;
    const QColor chosen = box.selectedColor();
    if (!chosen.isValid()) return false;
    dialog.SetColor(RGB(chosen.red(), chosen.green(), chosen.blue()));
    return true;
  }

  bool InputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value) override {
    QInputDialog box(DialogOwner());
    SetDialogFrame(&box);
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

void SetDialogFrame(QWidget* dialog) {
  // The hints spelled out rather than left to the defaults the GUI library
  // picks for each kind of dialog: a caption, a close box, nothing more.
  dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint);
}

TDialogService& DialogService() { return g_service ? *g_service : g_screen_service; }

TDialogService* SetDialogService(TDialogService* service) {
  TDialogService* previous = g_service ? g_service : &g_screen_service;
  g_service = service == &g_screen_service ? nullptr : service;
  return previous;
}

AnsiString MessageDlgCaption(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return Utf8ToAnsi("Предупреждение");
    case mtError: return Utf8ToAnsi("Ошибка");
    case mtInformation: return Utf8ToAnsi("Информация");
    case mtConfirmation: return Utf8ToAnsi("Подтверждение");
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
