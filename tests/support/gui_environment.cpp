// The one environment of every GUI test binary.
//
// The application object is made before the first test and shut down after the
// last, as the program does: the forms, then the units' objects, then the GUI
// library, while timers and the library are still there. Between test suites
// the units' objects (the libraries' defaults, shared drop-downs, caches) are
// freed, so each suite starts from the defaults whatever ran before it.
//
// No person answers in a test process. A message box or a dialog that a test
// did not ask for would wait on the offscreen screen for ever; here it fails
// the test that caused it and is answered as cancelled. Tests that expect one
// install their own service (RecordingDialogs), or the screen's
// (ScreenDialogs) to look at it.
#include <gtest/gtest.h>

#include "tests/support/recording_dialogs.h"
#include "toolkit/core/text.h"
#include "toolkit/core/units.h"
#include "toolkit/ui/forms.h"

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

class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    Application->Initialize();
    SetDialogService(&service_);
  }
  void TearDown() override {
    SetDialogService(nullptr);
    Application->Shutdown();
  }

 private:
  UnexpectedDialogs service_;
};

class RestoreDefaultsBetweenSuites : public ::testing::EmptyTestEventListener {
  void OnTestSuiteEnd(const ::testing::TestSuite&) override {
    FinalizeUnits();
  }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);
const bool kListening = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new RestoreDefaultsBetweenSuites);
  return true;
}();

}  // namespace
