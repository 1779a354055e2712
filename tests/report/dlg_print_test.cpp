// The print dialog: its texts and printer list, the printer restored by
// Cancel, the copies steps, and typed page lists checked before it closes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QImage>
#include <QLabel>
#include <QPageSize>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

#include "dialog_support.h"
#include "printer_support.h"
#include "report/fr_ctrls.h"
#include "report/fr_emf.h"
#include "report/fr_prdlg.h"
#include "report/fr_srch.h"
#include "report/fr_prntr.h"
#include "report/fr_globals.h"
#include "report/fr_utils.h"
#include "tests/report/report_support.h"
#include "tests/support/pdf_words.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/extctrls.h"
#include "toolkit/ui/hosted.h"
#include "toolkit/ui/printers.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/stdctrls.h"

namespace dlg_print_test {

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

// Runs the dialog: `enter` puts in a value the dialog must refuse and Return
// asks to print. The dialog says so once and stays open with the focus on
// `field`; Escape closes it. Returns what it said.
AnsiString RefusedEntry(TfrPrintForm& form, TWinControl* field, const std::function<void()>& enter) {
  RecordingDialogs dialogs;
  EXPECT_EQ(RunDialog(form,
                      [&] {
                        enter();
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
                      },
                      [&] {
                        EXPECT_TRUE(form.Visible());
                        EXPECT_EQ(QApplication::focusWidget(), field->Widget());
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
                      }),
            mrCancel);
  EXPECT_EQ(dialogs.messages.size(), 1u);
  return dialogs.messages.empty() ? AnsiString() : dialogs.messages[0];
}

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
      {form.Label4->Caption(), 53049},   {form.Label1->Caption(), 53050},    {form.Label3->Caption(), 53051},
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
    const AnsiString message = RefusedEntry(form, form.E2, [&] {
      Click(form.RB3);
      QTest::keyClicks(QApplication::focusWidget(), c.typed);
    });
    EXPECT_NE(message.find(Utf8ToAnsi(c.fragment)), std::string::npos) << AnsiToUtf8(message);
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
  EXPECT_FALSE(RefusedEntry(form, form.E1, [&] { form.E1->SetText("0"); }).empty());
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

namespace {

// The print dialog's named parts: the collate text on its own label, which a
// click or double click on it toggles the box by; the up and down buttons on
// their panel; the printer icon and the two collation pictures kept in hidden
// images that the printer list and the collation box paint from.
TEST(PrintDialog, TheCollateTextAndThePicturesHaveComponentsOfTheirOwn) {
  frGlobals();
  printer_test::GlobalPrinters printers(ThreePrinters());
  TfrPrintForm form(nullptr);
  form.AfterConstruction();
  const struct {
    const char* name;
    TControl* control;
    int width, height;  // of the picture; 0: not an image
  } parts[] = {
      {"Label3", form.Label3, 0, 0},
      {"Panel1", form.Panel1, 0, 0},
      {"Image1", form.Image1, 18, 16},
      {"CollateImg", form.CollateImg, 74, 53},
      {"NonCollateImg", form.NonCollateImg, 92, 40},
  };
  for (const auto& p : parts) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(form.FindComponent(p.name), p.control);
    if (p.width == 0) continue;
    EXPECT_FALSE(p.control->Visible());
    TBitmap& picture = static_cast<TImage*>(p.control)->Picture().Bitmap();
    EXPECT_EQ(picture.Width(), p.width);
    EXPECT_EQ(picture.Height(), p.height);
  }
  EXPECT_EQ(form.frSpeedButton1->Parent(), form.Panel1);
  EXPECT_EQ(form.frSpeedButton2->Parent(), form.Panel1);
  EXPECT_TRUE(form.CollateCB->Caption().empty());
  EXPECT_EQ(form.Label3->FocusControl(), form.CollateCB);

  // The collation box paints what the image holds: a red picture shows red.
  TBitmap red;
  red.SetSize(74, 53);
  red.Canvas().Brush().SetColor(clRed);
  red.Canvas().FillRect(Rect(0, 0, 74, 53));
  form.CollateImg->Picture().Bitmap().Assign(red);
  std::vector<bool> checked;
  int red_pixels = 0;
  int label_ink = 0;
  RunDialog(form, [&] {
    const QImage picture = Picture(form.PB1);
    red_pixels = CountPixels(picture, QRect(8, 0, 74, 53), [](QRgb p) { return p == qRgb(255, 0, 0); });
    label_ink = CountPixels(Picture(form.Label3), QRect(0, 0, form.Label3->Width(), form.Label3->Height()), IsDark);
    QWidget* label = form.Label3->Widget();
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(10, 6));
    checked.push_back(form.CollateCB->Checked());
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(10, 6));
    checked.push_back(form.CollateCB->Checked());
    // A double click as the window system sends it: press and release, then
    // the second press as a double click, and its release. The first press
    // clicks, the second double-clicks: two toggles.
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(10, 6));
    QTest::mouseDClick(label, Qt::LeftButton, {}, QPoint(10, 6));
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(10, 6));
    checked.push_back(form.CollateCB->Checked());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  });
  EXPECT_EQ(red_pixels, 74 * 53);
  EXPECT_GE(label_ink, 30);
  EXPECT_EQ(checked, (std::vector<bool>{false, true, true}));
}

// The print dialog showing modally now.
TfrPrintForm* ModalPrintForm() { return dynamic_cast<TfrPrintForm*>(HostedControl(QApplication::activeModalWidget())); }

// Chooses A5, landscape and a top margin of 30 mm in the page set-up dialog
// showing now, and accepts it.
void ChooseA5LandscapeWithWideTopMargin() {
  QWidget* dialog = QApplication::activeModalWidget();
  ASSERT_NE(dialog, nullptr);
  auto* unit = dialog->findChild<QComboBox*>("unitCombo");
  ASSERT_NE(unit, nullptr);
  unit->setCurrentIndex(0);  // millimetres
  auto* size = dialog->findChild<QComboBox*>("pageSizeCombo");
  ASSERT_NE(size, nullptr);
  int a5 = size->findData(static_cast<int>(QPageSize::A5));
  if (a5 < 0) a5 = size->findText("A5", Qt::MatchStartsWith);
  ASSERT_GE(a5, 0);
  size->setCurrentIndex(a5);
  auto* landscape = dialog->findChild<QRadioButton*>("landscape");
  ASSERT_NE(landscape, nullptr);
  landscape->click();
  auto* top = dialog->findChild<QDoubleSpinBox*>("topMargin");
  ASSERT_NE(top, nullptr);
  top->setValue(30.0);
  static_cast<QDialog*>(dialog)->accept();
}

// "Свойства..." opens the page set-up for the PDF printer as for any other:
// the print that follows has the paper, orientation and margins chosen there.
TEST(PrintDialog, ThePropertiesButtonsPageSetupShapesThePrint) {
  report_test::ReportWork work;
  const std::string dir = testsupport::TempDir("print_dialog_page_setup");
  auto backend = std::make_unique<TPdfPrinterBackend>(dir);
  TPdfPrinterBackend* pdf = backend.get();
  SetPrinter(std::make_unique<TPrinter>(std::move(backend)));
  FreeGlobalPrinterLayer();
  {
    TfrReport report(nullptr);
    report.ShowProgress = false;
    TfrPage* page = report.Pages().Add();
    report_test::AddBand(*page, btReportTitle, 0, 60, "Title");
    report_test::AddObject(*page, gtMemo, 0, 10, 300, 30, "Memo1", "Поле");
    ASSERT_TRUE(report.BuildReport());
    bool set_up = false;
    dialog_test::WithModal([&] { report.PrintWithDialog(); },
                           [&] {
                             auto* form = ModalPrintForm();
                             ASSERT_NE(form, nullptr);
                             QTimer::singleShot(0, [&] {
                               ChooseA5LandscapeWithWideTopMargin();
                               set_up = true;
                             });
                             QWidget* button = form->PropButton->Widget();
                             QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
                             EXPECT_TRUE(form->PageSetupDone);
                             QWidget* ok = form->Button1->Widget();
                             QTest::mouseClick(ok, Qt::LeftButton, {}, ok->rect().center());
                           });
    EXPECT_TRUE(set_up);
  }
  ASSERT_EQ(pdf->Files().size(), 1u);
  std::string info;
  ASSERT_EQ(testsupport::RunCommand("pdfinfo '" + pdf->Files()[0] + "'", &info), 0);
  EXPECT_NE(info.find("595 x 420 pts (A5)"), std::string::npos) << info;
  const std::vector<testsupport::PdfWord> words = testsupport::PdfWords(pdf->Files()[0]);
  ASSERT_EQ(words.size(), 1u);
  // The title band starts at the top margin, 30 mm (85 points) down; its
  // text 10 page pixels (8 points) lower.
  EXPECT_GE(words[0].y_min, 88.0);
  EXPECT_LE(words[0].y_min, 100.0);
  SetPrinter(std::make_unique<TPrinter>(
      std::make_unique<printer_test::FakePrinters>(std::vector<printer_test::FakeDevice>{})));
  FreeGlobalPrinterLayer();
}

}  // namespace

}  // namespace dlg_print_test
