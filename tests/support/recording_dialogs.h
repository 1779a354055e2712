// A dialog service for GUI tests: it records every box and dialog the program
// asks for and answers with what the test set beforehand.
#pragma once

#include <string>
#include <vector>

#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"

namespace testsupport {

class RecordingDialogs : public TDialogService {
 public:
  struct Box {
    AnsiString text;
    AnsiString caption;
    unsigned flags = 0;
  };
  struct Dlg {
    AnsiString text;
    TMsgDlgType type = mtCustom;
  };

  RecordingDialogs() { previous_ = SetDialogService(this); }
  ~RecordingDialogs() override { SetDialogService(previous_); }

  std::vector<Box> boxes;
  std::vector<Dlg> dialogs;
  std::vector<std::string> file_dialog_dirs;
  std::vector<std::string> documents;

  // Answers.
  int box_answer = IDOK;
  int dlg_answer = mrOk;
  std::string chosen_file;  // empty: the file dialog is cancelled
  bool document_opens = true;

  int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) override {
    boxes.push_back({text, caption, flags});
    return box_answer;
  }
  int MessageDlg(const AnsiString& text, TMsgDlgType type, TMsgDlgButtons) override {
    dialogs.push_back({text, type});
    return dlg_answer;
  }
  bool ExecuteFileDialog(TOpenDialog& dialog) override {
    file_dialog_dirs.push_back(dialog.InitialDir());
    if (chosen_file.empty()) return false;
    dialog.SetFileName(chosen_file);
    return true;
  }
  bool ExecuteColorDialog(TColorDialog&) override { return false; }
  bool OpenDocument(const std::string& path) override {
    documents.push_back(path);
    return document_opens;
  }

 private:
  TDialogService* previous_ = nullptr;
};

// The screen's own dialogs, for a test that looks at them; GUI test
// processes otherwise refuse dialogs nobody asked for (gui_guard.cpp).
class ScreenDialogs {
 public:
  ScreenDialogs() : previous_(SetDialogService(nullptr)) {}
  ~ScreenDialogs() { SetDialogService(previous_); }
  ScreenDialogs(const ScreenDialogs&) = delete;
  ScreenDialogs& operator=(const ScreenDialogs&) = delete;

 private:
  TDialogService* previous_;
};

}  // namespace testsupport
