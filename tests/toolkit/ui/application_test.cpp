// The application object: the exception box and its period rule, the
// start-up failure box, handlers' errors, the message loop and help.
#include <gtest/gtest.h>

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tests/support/recording_dialogs.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/stdctrls.h"

namespace application_test {

using testsupport::RecordingDialogs;

TEST(ExceptionBox, AddsAPeriodOnlyAfterCharactersThatSortAfterIt) {
  const struct {
    const char* message;  // UTF-8
    const char* shown;
  } cases[] = {
      {"Record not found", "Record not found."},
      {"Field 'P' not found", "Field 'P' not found."},
      {"Already ends.", "Already ends."},
      {"Вы подключили не тот прибор !", "Вы подключили не тот прибор !"},
      {"Нет данных для передачи!", "Нет данных для передачи!"},
      {"База данных повреждена", "База данных повреждена."},  // 1251 letters sort after "."
      {"Ошибка в строке 5", "Ошибка в строке 5."},
      {"(in brackets)", "(in brackets)"},
      {"dash-", "dash-"},
      {"slash/", "slash/."},
      {"trailing blank ", "trailing blank "},
      {"", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AnsiToUtf8(ExceptionBoxText(Utf8ToAnsi(c.message))), c.shown) << c.message;
}

TEST(ExceptionBox, HandlerShowsEachKindCaptionedWithTheTitleAndSwallowsAbort) {
  Application->SetTitle(Utf8ToAnsi("ЛИВТ  - КС7"));
  const struct {
    const char* what;
    std::exception_ptr error;
    const char* text;  // nullptr: no box
  } cases[] = {
      {"abort", std::make_exception_ptr(EAbort("Operation aborted")), nullptr},
      {"convert", std::make_exception_ptr(EConvertError("'x' is not a valid integer value")),
       "'x' is not a valid integer value."},
      {"database", std::make_exception_ptr(EDatabaseError("Cannot perform this operation on a closed dataset")),
       "Cannot perform this operation on a closed dataset."},
      {"1251 text", std::make_exception_ptr(Exception(Utf8ToAnsi("Ошибка записи"))), "Ошибка записи."},
      {"library error", std::make_exception_ptr(std::runtime_error("broken pipe")), "broken pipe."},
      {"out of memory", std::make_exception_ptr(std::bad_alloc()), "Out of memory."},
      {"not an exception class", std::make_exception_ptr(42), "Unknown exception."},
  };
  for (const auto& c : cases) {
    RecordingDialogs dialogs;
    Application->HandleException(c.error);
    if (!c.text) {
      EXPECT_TRUE(dialogs.boxes.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(dialogs.boxes.size(), 1u) << c.what;
    EXPECT_EQ(AnsiToUtf8(dialogs.boxes[0].text), c.text) << c.what;
    EXPECT_EQ(AnsiToUtf8(dialogs.boxes[0].caption), "ЛИВТ  - КС7") << c.what;
    EXPECT_EQ(dialogs.boxes[0].flags, MB_OK | MB_ICONSTOP) << c.what;
  }
}

TEST(ExceptionBox, OnExceptionReplacesTheBoxButNotTheSilenceOfAbort) {
  RecordingDialogs dialogs;
  std::vector<std::string> heard;
  Application->OnException = [&](TComponent*, const std::exception& e) { heard.push_back(e.what()); };
  Application->HandleException(std::make_exception_ptr(EConvertError("bad")));
  Application->HandleException(std::make_exception_ptr(EAbort("quiet")));
  Application->OnException = nullptr;
  EXPECT_EQ(heard, std::vector<std::string>{"bad"});
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST(StartupFailure, TextNamesClassModuleAddressAndMessageWithThePeriodRule) {
  const void* at = reinterpret_cast<const void*>(uintptr_t(0x4A2F10));
  const std::string address = sizeof(void*) == 8 ? "00000000004A2F10" : "004A2F10";
  const struct {
    const char* class_name;
    const char* message;
    const char* expected_tail;
  } cases[] = {
      {"EConvertError", "'1,2,3' is not a valid floating point value",
       ".\r\n'1,2,3' is not a valid floating point value.\r\n"},
      {"EFOpenError", "Cannot open file \"a.db\"!", ".\r\nCannot open file \"a.db\"!\r\n"},
      {"EDbfError", "Done.", ".\r\nDone.\r\n"},
      {"Exception", "", ".\r\n\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StartupFailureText(c.class_name, "kiv7", at, c.message),
              std::string("Exception ") + c.class_name + " in module kiv7 at " + address + c.expected_tail)
        << c.class_name;
  }
}

TEST(StartupFailure, ShowsTheApplicationErrorBoxAndGivesExitCodeOne) {
  RecordingDialogs dialogs;
  const int code = Application->StartupFailure(std::make_exception_ptr(EInOutError("File not found")));
  EXPECT_EQ(code, 1);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].caption, "Application Error");
  const AnsiString& text = dialogs.boxes[0].text;
  EXPECT_EQ(text.rfind("Exception EInOutError in module " + TApplication::ModuleName() + " at ", 0), 0u) << text;
  EXPECT_NE(text.find(".\r\nFile not found.\r\n"), std::string::npos) << text;
}

// Writes every message box to the error stream, where a child process's
// output is read back.
class BoxesToStderr : public RecordingDialogs {
 public:
  int MessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags) override {
    std::fprintf(stderr, "[%s|%s|%u]", caption.c_str(), text.c_str(), flags);
    return RecordingDialogs::MessageBox(text, caption, flags);
  }
};

TEST(StartupFailure, AProgramBodyThatFailsEndsWithTheBoxAndExitCodeOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string stop = std::to_string(MB_OK | MB_ICONSTOP);
  const struct {
    const char* what;
    void (*body)();
    int code;
    std::string output;  // a regular expression
  } cases[] = {
      {"an engine error", [] { throw EInOutError("File not found"); }, 1,
       "\\[Application Error\\|Exception EInOutError in module test_ui at [0-9A-F]{8,16}\\.\r\n"
       "File not found\\.\r\n\\|" + stop + "\\]"},
      {"a library error", [] { throw std::runtime_error("no room"); }, 1,
       "\\[Application Error\\|Exception Exception in module test_ui at [0-9A-F]+\\.\r\nno room\\.\r\n\\|" + stop +
           "\\]"},
      {"a body that ends well", [] {}, 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          BoxesToStderr boxes;
          const int code = Application->RunProgram(c.body);
          std::fflush(stderr);
          std::_Exit(code);
        },
        ::testing::ExitedWithCode(c.code), c.output)
        << c.what;
  }
}

TEST(EventHandlers, AnErrorInAHandlerIsShownAndTheProgramGoesOn) {
  RecordingDialogs dialogs;
  TForm form(nullptr);
  TButton button(&form);
  button.SetParent(&form);
  int clicks = 0;
  button.OnClick = [&](TComponent*) {
    if (++clicks == 1) throw EConvertError("first click fails");
  };
  button.Click();
  button.Click();
  EXPECT_EQ(clicks, 2);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "first click fails.");
}

TEST(MessageLoop, RunEndsWhenTheMainWindowClosesAndProcessMessagesRunsPendingWork) {
  TForm* main = nullptr;
  Application->CreateForm(main);
  ASSERT_EQ(Application->MainForm(), main);
  std::vector<std::string> order;
  main->OnShow = [&](TComponent*) { order.push_back("show"); };
  main->OnClose = [&](TComponent*, TCloseAction& action) {
    order.push_back(action == caFree ? "close caFree" : "close other");
  };
  QTimer::singleShot(0, [&] {
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    Application->ProcessMessages();
    order.push_back(ran ? "processed" : "not processed");
    main->Close();
  });
  Application->Run();
  EXPECT_EQ(order, (std::vector<std::string>{"show", "processed", "close caFree"}));
  main->Free();
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_FALSE(Application->Terminated());
}

TEST(Help, OpensADocumentBesideTheHelpFileOrSaysThereIsNone) {
  const std::string dir = testsupport::TempDir("ui_help");
  Application->SetTitle("T");
  {
    RecordingDialogs dialogs;
    Application->SetHelpFile(dir + "/kiv7.hlp");
    EXPECT_FALSE(Application->HelpCommand(HELP_FINDER, 0));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(AnsiToUtf8(dialogs.boxes[0].text), "Файл справки не найден: " + dir + "/kiv7.hlp");
    EXPECT_TRUE(dialogs.documents.empty());
  }
  testsupport::WriteFile(dir + "/KIV7.html", "<html></html>");
  {
    RecordingDialogs dialogs;
    EXPECT_TRUE(Application->HelpCommand(HELP_FINDER, 0));
    EXPECT_EQ(dialogs.documents, std::vector<std::string>{dir + "/KIV7.html"});
    EXPECT_TRUE(dialogs.boxes.empty());
  }
}

}  // namespace application_test
