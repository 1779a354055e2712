// No person answers in a test process. A message box or a dialog that a test
// did not ask for would wait on the offscreen screen for ever; here it fails
// the test that caused it and is answered as cancelled. Tests that expect one
// install their own service (RecordingDialogs), or the screen's
// (ScreenDialogs) to look at it.
#include <gtest/gtest.h>

#include "tests/support/recording_dialogs.h"
#include "toolkit/core/text.h"

namespace {

class UnexpectedDialogs : public TDialogService {
 public:
  int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned) override {
    ADD_FAILURE() << "a message box no test expected: " << AnsiToUtf8(caption) << ": " << AnsiToUtf8(text);
    return IDCANCEL;
  }
  int MessageDlg(const AnsiString& text, TMsgDlgType, TMsgDlgButtons) override {
    ADD_FAILURE() << "a message dialog no test expected: " << AnsiToUtf8(text);
    return mrCancel;
  }
  bool ExecuteFileDialog(TOpenDialog& dialog) override {
    ADD_FAILURE() << "a file dialog no test expected: " << AnsiToUtf8(dialog.Title());
    return false;
  }
  bool ExecuteColorDialog(TColorDialog&) override {
    ADD_FAILURE() << "a colour dialog no test expected";
    return false;
  }
  bool OpenDocument(const std::string& path) override {
    ADD_FAILURE() << "a document shown that no test expected: " << path;
    return false;
  }
  bool InputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString&) override {
    ADD_FAILURE() << "an input box no test expected: " << AnsiToUtf8(caption) << ": " << AnsiToUtf8(prompt);
    return false;
  }
};

class GuardDialogs : public ::testing::Environment {
 public:
  void SetUp() override { SetDialogService(&service_); }
  void TearDown() override { SetDialogService(nullptr); }

 private:
  UnexpectedDialogs service_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new GuardDialogs);

}  // namespace
