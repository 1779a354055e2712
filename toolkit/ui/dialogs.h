// Message boxes, message dialogs and the file and colour dialogs, all behind
// one dialog service. The program asks the service; the screen service shows
// the GUI library's dialogs, and tests install a service that answers.
#pragma once

#include <string>

#include "toolkit/core/component.h"
#include "toolkit/core/sets.h"
#include "toolkit/gfx/graphics.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;

class TOpenDialog;
class TColorDialog;

class TDialogService {
 public:
  virtual ~TDialogService() = default;
  // A message box (MB_* flags); the answer IDOK, IDYES, ...
  virtual int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) = 0;
  // A message dialog captioned after its type; the answer mrOk, mrYes, ...
  virtual int MessageDlg(const AnsiString& text, TMsgDlgType type, TMsgDlgButtons buttons) = 0;
  // A file dialog (open or save, as dialog.IsSave() says); true with
  // dialog.FileName() set when the user chose a file.
  virtual bool ExecuteFileDialog(TOpenDialog& dialog) = 0;
  virtual bool ExecuteColorDialog(TColorDialog& dialog) = 0;
  // Shows a document with the desktop's viewer; false when it cannot.
  virtual bool OpenDocument(const std::string& path) = 0;
  // A one-line input box; true with `value` changed when the user accepted.
  // A service that shows no such box answers as a cancelled one.
  virtual bool InputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value);
};

// The service in use (the screen's unless a test installed its own).
TDialogService& DialogService();
// Installs a service (nullptr restores the screen's); returns the previous one.
TDialogService* SetDialogService(TDialogService* service);

// The caption a message dialog of a type shows ("Ошибка", ...; the
// application's title for mtCustom).
AnsiString MessageDlgCaption(TMsgDlgType type);

int MessageDlg(const AnsiString& text, TMsgDlgType type, TMsgDlgButtons buttons, int help_context = 0);
void ShowMessage(const AnsiString& text);
// The text typed into an input box, or `default_value` when it was cancelled.
AnsiString InputBox(const AnsiString& caption, const AnsiString& prompt, const AnsiString& default_value);

enum TOpenOption { ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofPathMustExist, ofFileMustExist, ofEnableSizing };
using TOpenOptions = TSet<TOpenOption>;

// The open-file dialog. File names are UTF-8; Filter is 1251 text of
// "description|pattern" pairs joined by "|".
class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* owner) : TComponent(owner) {}

  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& value) { file_name_ = value; }
  const std::string& InitialDir() const { return initial_dir_; }
  void SetInitialDir(const std::string& value) { initial_dir_ = value; }
  const AnsiString& Filter() const { return filter_; }
  void SetFilter(const AnsiString& value) { filter_ = value; }
  // 1-based.
  int FilterIndex() const { return filter_index_; }
  void SetFilterIndex(int value) { filter_index_ = value; }
  // Without the dot ("db"); added to a chosen name that has no extension.
  const AnsiString& DefaultExt() const { return default_ext_; }
  void SetDefaultExt(const AnsiString& value);
  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& value) { title_ = value; }
  TOpenOptions Options() const { return options_; }
  void SetOptions(TOpenOptions value) { options_ = value; }

  virtual bool IsSave() const { return false; }
  // Asks the dialog service; true when a file was chosen.
  bool Execute();

  // The name with DefaultExt added when its file part has no extension.
  std::string WithDefaultExt(const std::string& name) const;
  // The filter as pairs: (description, patterns separated by ";").
  std::vector<std::pair<AnsiString, AnsiString>> FilterPairs() const;

 private:
  std::string file_name_;
  std::string initial_dir_;
  AnsiString filter_;
  int filter_index_ = 1;
  AnsiString default_ext_;
  AnsiString title_;
  TOpenOptions options_{ofHideReadOnly, ofEnableSizing};
};

class TSaveDialog : public TOpenDialog {
 public:
  using TOpenDialog::TOpenDialog;
  bool IsSave() const override { return true; }
};

class TColorDialog : public TComponent {
 public:
  explicit TColorDialog(TComponent* owner) : TComponent(owner) {}
  TColor Color() const { return color_; }
  void SetColor(TColor value) { color_ = value; }
  bool Execute();

 private:
  TColor color_ = clBlack;
};
