// The print dialog: its texts and printer list, the printer restored by
// Cancel, the copies steps, and typed page lists checked before it closes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "dialog_support.h"
#include "printer_support.h"
#include "report/fr_ctrls.h"
#include "report/fr_prdlg.h"
#include "report/fr_srch.h"
#include "report/fr_prntr.h"
#include "report/fr_globals.h"
#include "report/fr_utils.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/stdctrls.h"

namespace {

std::vector<printer_test::FakeDevice> ThreePrinters() { return {{"Office"}, {"Lab"}, {"Plotter"}}; }

// Answers message boxes and keeps what they said.
class RecordingDialogs : public TDialogService {
 public:
  RecordingDialogs() { previous_ = SetDialogService(this); }
  ~RecordingDialogs() override { SetDialogService(previous_); }
  int MessageBox(const AnsiString& text, const AnsiString&, unsigned) override {
    messages.push_back(text);
    return IDOK;
  }
  int MessageDlg(const AnsiString& text, TMsgDlgType, TMsgDlgButtons) override {
    messages.push_back(text);
    return mrOk;
  }
  bool ExecuteFileDialog(TOpenDialog&) override { return false; }
  bool ExecuteColorDialog(TColorDialog&) override { return false; }
  bool OpenDocument(const std::string&) override { return false; }
  std::vector<AnsiString> messages;

 private:
  TDialogService* previous_;
};

TModalResult RunDialog(TfrPrintForm& form, const std::function<void()>& act,
                       const std::function<void()>& then = nullptr) {
  return dialog_test::RunModal(form, act, then);
}

using dialog_test::Click;

void ChooseItem(TComboBox* combo, int index) {
  auto* box = static_cast<QComboBox*>(combo->Widget());
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Home);
  for (int i = 0; i < index; ++i) QTest::keyClick(box, Qt::Key_Down);
}

TEST(PrintDialog, TextsAndThePrintersWithoutTheVirtualOne) {
  // The library texts come from the report globals.
  frGlobals();
  printer_test::GlobalPrinters printers(ThreePrinters());
  GlobalPrinterLayer().SetPrinterIndex(1);
  TfrPrintForm form(nullptr);
  form.AfterConstruction();
  EXPECT_EQ(form.ClientWidth(), 485);
  EXPECT_EQ(form.ClientHeight(), 226);
  const struct {
    AnsiString shown;
    int text;
  } texts[] = {
      {form.Caption(), 53040},           {form.GroupBox1->Caption(), 53041}, {form.PropButton->Caption(), 53042},
      {form.GroupBox3->Caption(), 53043}, {form.GroupBox2->Caption(), 53044}, {form.RB1->Caption(), 53045},
      {form.RB2->Caption(), 53046},      {form.RB3->Caption(), 53047},       {form.Label2->Caption(), 53048},
      {form.Label4->Caption(), 53049},   {form.Label1->Caption(), 53050},    {form.CollateCB->Caption(), 53051},
      {form.Label5->Caption(), 53052},   {form.Button1->Caption(), 55000},   {form.Button2->Caption(), 55001},
      {form.CB2->ItemAt(0), 53053},      {form.CB2->ItemAt(1), 53054},       {form.CB2->ItemAt(2), 53055},
  };
  for (const auto& t : texts) {
    EXPECT_EQ(t.shown, LoadReportString(t.text)) << t.text;
    EXPECT_FALSE(t.shown.empty()) << t.text;
  }
  ASSERT_EQ(form.CB1->ItemCount(), 3);
  EXPECT_EQ(form.CB1->ItemAt(0), "Office");
  EXPECT_EQ(form.CB1->ItemAt(2), "Plotter");
  EXPECT_EQ(form.CB1->ItemIndex(), 1);
  EXPECT_EQ(form.CB2->ItemCount(), 3);
  EXPECT_EQ(form.CB2->ItemIndex(), 0);
  EXPECT_EQ(form.E1->Text(), "1");
  EXPECT_TRUE(form.CollateCB->Checked());
  EXPECT_TRUE(form.RB1->Checked());
}

TEST(PrintDialog, CancelRestoresThePrinterAndOkKeepsTheChosenOne) {
  printer_test::GlobalPrinters printers(ThreePrinters());
  for (const auto& [key, result, printer_after] :
       std::vector<std::tuple<Qt::Key, TModalResult, int>>{{Qt::Key_Escape, mrCancel, 0}, {Qt::Key_Return, mrOk, 2}}) {
    GlobalPrinterLayer().SetPrinterIndex(0);
    TfrPrintForm form(nullptr);
    form.AfterConstruction();
    EXPECT_EQ(RunDialog(form,
                        [&] {
                          ChooseItem(form.CB1, 2);
                          // The choice reaches the printer layer at once.
                          EXPECT_EQ(GlobalPrinterLayer().PrinterIndex(), 2);
                          QTest::keyClick(QApplication::focusWidget(), key);
                        }),
              result);
    EXPECT_EQ(GlobalPrinterLayer().PrinterIndex(), printer_after);
  }
}

TEST(PrintDialog, CopiesStepUpWithoutBoundAndDownToOne) {
  printer_test::GlobalPrinters printers(ThreePrinters());
  TfrPrintForm form(nullptr);
  form.AfterConstruction();
  std::vector<AnsiString> seen;
  RunDialog(form, [&] {
    Click(form.frSpeedButton1);
    Click(form.frSpeedButton1);
    seen.push_back(form.E1->Text());
    for (int i = 0; i < 4; ++i) Click(form.frSpeedButton2);
    seen.push_back(form.E1->Text());
    form.E1->SetText("2147483647");
    Click(form.frSpeedButton1);
    seen.push_back(form.E1->Text());
    form.E1->SetText("1");
    Click(form.frSpeedButton2);
    Click(form.CollateCB);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(seen, (std::vector<AnsiString>{"3", "1", "2147483647"}));
  EXPECT_FALSE(form.CollateCB->Checked());
  form.E1->SetText("x");
  EXPECT_THROW(form.CopiesUp(), EConvertError);
}

TEST(PrintDialog, TypingPagesChoosesNumbersAndReadsBack) {
  printer_test::GlobalPrinters printers(ThreePrinters());
  TfrPrintForm form(nullptr);
  form.AfterConstruction();
  form.PageCount = 12;
  RecordingDialogs dialogs;
  EXPECT_EQ(RunDialog(form,
                      [&] {
                        Click(form.E2);
                        QTest::keyClicks(QApplication::focusWidget(), "1,3,5-12");
                        ChooseItem(form.CB2, 2);
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                      }),
            mrOk);
  EXPECT_TRUE(form.RB3->Checked());
  EXPECT_FALSE(form.RB1->Checked());
  EXPECT_EQ(form.E2->Text(), "1,3,5-12");
  EXPECT_EQ(form.CB2->ItemIndex(), 2);
  EXPECT_TRUE(dialogs.messages.empty());
}

TEST(PrintDialog, ABadPageListIsRefusedInTheDialog) {
  printer_test::GlobalPrinters printers(ThreePrinters());
  const struct {
    const char* typed;
    const char* fragment;
  } cases[] = {
      {"1,,3", "Неверный список"},  {"5-3", "Неверный диапазон"}, {"0", "Страницы 0 нет"},
      {"2-13", "Страницы 13 нет"}, {"99999999999999999999", "нет в отчете"}, {"", "Неверный список"},
      {"1-,3", "Неверный список"},  {"a", "Неверный список"},      {"3,", "Неверный список"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    TfrPrintForm form(nullptr);
    form.AfterConstruction();
    form.PageCount = 12;
    RecordingDialogs dialogs;
    EXPECT_EQ(RunDialog(form,
                        [&] {
                          Click(form.RB3);
                          QTest::keyClicks(QApplication::focusWidget(), c.typed);
                          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                        },
                        [&] {
                          // Refused: the dialog stays open on the page list.
                          EXPECT_TRUE(form.Visible());
                          EXPECT_EQ(QApplication::focusWidget(), form.E2->Widget());
                          QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                        }),
              mrCancel);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].find(Utf8ToAnsi(c.fragment)), std::string::npos) << AnsiToUtf8(dialogs.messages[0]);
  }
}

TEST(PrintDialog, PageListCheck) {
  const struct {
    const char* text;
    int pages;
    bool accepted;
  } cases[] = {
      {"1", 1, true},      {"1,3,5-12", 12, true}, {" 2 - 4 , 6 ", 6, true}, {"7-7", 7, true},
      {"1,,3", 5, false},  {"4-2", 5, false},      {"6", 5, false},          {"2147483648", 0, false},
      {"1000000", 0, true}, {"-3", 5, false},      {"1-2-3", 5, false},      {",1", 5, false},
      // Only the last range may run open to the last page.
      {"1, 8-", 10, true},  {"8 - ", 10, true},    {"2-,5", 5, false},       {"11-", 10, false},
  };
  for (const auto& c : cases) {
    AnsiString message;
    EXPECT_EQ(CheckPageList(c.text, c.pages, message), c.accepted) << c.text;
    EXPECT_EQ(message.empty(), c.accepted) << c.text;
  }
}

TEST(PrintDialog, BadCopiesAreRefused) {
  printer_test::GlobalPrinters printers(ThreePrinters());
  TfrPrintForm form(nullptr);
  form.AfterConstruction();
  RecordingDialogs dialogs;
  EXPECT_EQ(RunDialog(form,
                      [&] {
                        form.E1->SetText("0");
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                      },
                      [&] {
                        EXPECT_TRUE(form.Visible());
                        EXPECT_EQ(QApplication::focusWidget(), form.E1->Widget());
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                      }),
            mrCancel);
  EXPECT_EQ(dialogs.messages.size(), 1u);
}

// What a part of the shown dialog looks like.
QImage Picture(TControl* control) {
  return static_cast<QWidget*>(control->Widget())->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int CountPixels(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& which) {
  int n = 0;
  for (int y = std::max(0, area.top()); y <= std::min(image.height() - 1, area.bottom()); ++y)
    for (int x = std::max(0, area.left()); x <= std::min(image.width() - 1, area.right()); ++x)
      n += which(image.pixel(x, y));
  return n;
}

bool IsDark(QRgb pixel) { return qGray(pixel) < 100; }

// The extent of the white pixels (the paper of the collation picture).
QRect WhiteExtent(const QImage& image) {
  QRect extent;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) == qRgb(255, 255, 255)) extent |= QRect(x, y, 1, 1);
  return extent;
}

TEST(PrintDialog, ATemplateOfTheVirtualPrinterShowsTheCurrentPrinterWithItsIcon) {
  frGlobals();
  printer_test::GlobalPrinters printers(ThreePrinters());
  TfrPrinter& layer = GlobalPrinterLayer();
  layer.SetPrinterIndex(2);
  // The report's pages were made for the virtual printer; printing goes to
  // the current system printer all the same.
  layer.SetPrinterIndex(layer.VirtualPrinterIndex());
  TfrPrintForm form(nullptr);
  form.AfterConstruction();
  EXPECT_EQ(form.CB1->ItemIndex(), 2);
  EXPECT_EQ(RunDialog(form,
                      [&] {
                        const QImage box = Picture(form.CB1);
                        // The icon from left + 2: its silver body and white paper.
                        EXPECT_GE(CountPixels(box, QRect(2, 0, 20, box.height()),
                                              [](QRgb p) { return p == qRgb(192, 192, 192); }),
                                  40);
                        EXPECT_GE(CountPixels(box, QRect(2, 0, 20, box.height()),
                                              [](QRgb p) { return p == qRgb(255, 255, 255); }),
                                  20);
                        // The printer's name from left + 24.
                        EXPECT_GE(CountPixels(box, QRect(24, 0, 60, box.height()), IsDark), 30);
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                      }),
            mrCancel);
  EXPECT_TRUE(layer.IsVirtual());
}

TEST(PrintDialog, AltWithALabelsAcceleratorFocusesItsControl) {
  frGlobals();
  printer_test::GlobalPrinters printers(ThreePrinters());
  TfrPrintForm form(nullptr);
  form.AfterConstruction();
  std::vector<QWidget*> focused;
  RunDialog(form, [&] {
    // "&Имя:", "Вывести на &печать:", "Число &копий:".
    for (const char* letter : {"и", "п", "к"}) {
      const QString text = QString::fromUtf8(letter);
      QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key(text.toUpper()[0].unicode()), text,
                          Qt::AltModifier);
      focused.push_back(QApplication::focusWidget());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(focused, (std::vector<QWidget*>{form.CB1->Widget(), form.CB2->Widget(), form.E1->Widget()}));
}

TEST(PrintDialog, TheHintShowsWholeAndThePrintChoiceStandsBesideItsLabel) {
  frGlobals();
  printer_test::GlobalPrinters printers(ThreePrinters());
  TfrPrintForm form(nullptr);
  form.AfterConstruction();
  EXPECT_EQ(form.Label2->BoundsRect(), Bounds(12, 84, 225, 33));
  auto* hint = static_cast<QLabel*>(form.Label2->Widget());
  EXPECT_LE(hint->heightForWidth(225), 33);
  RunDialog(form, [&] {
    const QImage picture = Picture(form.Label2);
    // Text on the right half of the first line and on the second line.
    EXPECT_GE(CountPixels(picture, QRect(120, 0, 105, 13), IsDark), 30);
    EXPECT_GE(CountPixels(picture, QRect(0, 14, 225, 14), IsDark), 30);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(form.CB2->Left(), form.Label5->Left() + form.Label5->Width() + 11);
}

TEST(PrintDialog, TheCollationPictureFollowsTheCheckBox) {
  frGlobals();
  printer_test::GlobalPrinters printers(ThreePrinters());
  TfrPrintForm form(nullptr);
  form.AfterConstruction();
  QRect collated, not_collated;
  RunDialog(form, [&] {
    collated = WhiteExtent(Picture(form.PB1));
    Click(form.CollateCB);
    QApplication::processEvents();
    not_collated = WhiteExtent(Picture(form.PB1));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_FALSE(form.CollateCB->Checked());
  // Collated: 74 x 53 from (8, 0); not collated: 92 x 40 from (0, 8).
  EXPECT_GE(collated.left(), 8);
  EXPECT_LE(collated.right(), 81);
  EXPECT_GE(collated.width(), 60);
  EXPECT_GE(not_collated.left(), 0);
  EXPECT_LE(not_collated.right(), 91);
  EXPECT_GE(not_collated.width(), 80);
  EXPECT_GE(not_collated.top(), 8);
  EXPECT_LE(not_collated.bottom(), 47);
}

TEST(PrintDialog, TheCopiesArrowsAreWholeBlackArrows) {
  frGlobals();
  printer_test::GlobalPrinters printers(ThreePrinters());
  TfrPrintForm form(nullptr);
  form.AfterConstruction();
  RunDialog(form, [&] {
    for (TControl* button : {static_cast<TControl*>(form.frSpeedButton1), static_cast<TControl*>(form.frSpeedButton2)}) {
      const QImage picture = Picture(button);
      const QRect all = picture.rect();
      // 7 + 5 + 3 + 1 pixels of the arrow, none of the olive around it.
      EXPECT_EQ(CountPixels(picture, all, [](QRgb p) { return p == qRgb(0, 0, 0); }), 16);
      EXPECT_EQ(CountPixels(picture, all, [](QRgb p) { return p == qRgb(128, 128, 0); }), 0);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
}

TEST(ReportDialogs, AltWithTheFindLabelsAcceleratorFocusesTheText) {
  frGlobals();
  TfrPreviewSearchForm find(nullptr);
  find.AfterConstruction();
  QWidget* focused = nullptr;
  dialog_test::RunModal(find, [&] {
    static_cast<QWidget*>(find.CB1->Widget())->setFocus();
    // "Искать &текст".
    QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key(QChar(u'Т').unicode()), QStringLiteral("т"),
                        Qt::AltModifier);
    focused = QApplication::focusWidget();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(focused, find.Edit1->Widget());
}

// Every check box and radio button of the two dialogs has the room its
// text needs, inside its group.
TEST(ReportDialogs, NoChoiceTextIsCutOff) {
  frGlobals();
  printer_test::GlobalPrinters printers(ThreePrinters());
  TfrPrintForm print(nullptr);
  print.AfterConstruction();
  TfrPreviewSearchForm find(nullptr);
  find.AfterConstruction();
  for (TForm* form : {static_cast<TForm*>(&print), static_cast<TForm*>(&find)}) {
    for (int i = 0; i < form->ComponentCount(); ++i) {
      auto* control = dynamic_cast<TWinControl*>(form->Components(i));
      if (!dynamic_cast<TCheckBox*>(control) && !dynamic_cast<TRadioButton*>(control)) continue;
      SCOPED_TRACE(control->Name());
      EXPECT_LE(control->Widget()->sizeHint().width(), control->Width());
      EXPECT_LE(control->Left() + control->Width(), control->Parent()->ClientWidth());
    }
  }
  EXPECT_EQ(AnsiToUtf8(find.CB1->Caption()), "Различать &регистр");
}

}  // namespace
