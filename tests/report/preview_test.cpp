// The preview window on pages made by hand: where the pages stand at each
// zoom, what the page box shows, the keys that page and scroll, the search,
// and prepared-report files saved and loaded from the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <memory>
#include <functional>
#include <string>

#include "report/fr_ctrls.h"
#include "report/fr_globals.h"
#include "report/fr_prdlg.h"
#include "report/fr_preview.h"
#include "report/fr_srch.h"
#include "tests/report/dialog_support.h"
#include "tests/report/printer_support.h"
#include "tests/report/preview_support.h"
#include "tests/support/recording_dialogs.h"
#include "toolkit/core/classes.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/hosted.h"
#include "toolkit/ui/qt_host.h"
#include "toolkit/sys/settings.h"
#include "toolkit/ui/stdctrls.h"

namespace preview_test {

namespace {

using preview_test::AddNumberedPages;
using preview_test::AddPage;
using preview_test::ScopedSettings;
using preview_test::Text;

// A4 of the virtual printer in page pixels.
constexpr int kA4Width = 758;
constexpr int kA4Height = 1071;
// The window's parts around the page box: the tool bar above, the bars right and below.
constexpr int kToolbarHeight = 27;
constexpr int kBarSize = 16;

// A report with pages and a modeless preview window whose page box is
// box_width x box_height.
struct Preview {
  ScopedSettings settings{"preview"};
  TfrReport report{nullptr};
  std::unique_ptr<TfrPreviewForm> form;

  explicit Preview(int box_width = 1000, int box_height = 700) {
    // The library's texts come with its globals.
    frGlobals();
    frLastZoom() = TfrLastZoom{};
    report.ModalPreview = false;
    form = std::make_unique<TfrPreviewForm>(nullptr);
    form->SetWindowState(wsNormal);
    form->SetBounds(0, 0, box_width + kBarSize, box_height + kToolbarHeight + kBarSize);
  }
  ~Preview() {
    form.reset();
    frLastZoom() = TfrLastZoom{};
  }
  TfrEMFPages& Pages() { return *report.EMFPages(); }
  void Show() {
    form->ShowPages(&report);
    QApplication::processEvents();
  }
  QImage Box() { return form->PBox->Widget()->grab().toImage(); }
  TRect PageRect(int index) { return form->EMFPages()->Pages(index).PreviewRect; }
};

bool Dark(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 100; }

// The number of dark pixels in a rectangle of the image.
int DarkPixels(const QImage& image, const TRect& r) {
  int n = 0;
  for (int y = std::max(0, r.Top); y < std::min(image.height(), r.Bottom); ++y)
    for (int x = std::max(0, r.Left); x < std::min(image.width(), r.Right); ++x) n += Dark(image, x, y);
  return n;
}

// How many pixels of a row are white (the page's paper).
int WhiteRun(const QImage& image, int y) {
  int n = 0;
  for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == qRgb(255, 255, 255);
  return n;
}

// Keys go to the window through the focused scroll box.
void Press(TfrPreviewForm& form, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(form.ScrollBox1->Widget(), key, modifiers);
}

TEST(PreviewLayout, ZoomModesPlaceThePagesAsTheBoxAllows) {
  struct Case {
    const char* what;
    int box_width, box_height, pages, tag;
    double factor;
    int per_row;
  };
  const Case cases[] = {
      {"whole page in a 600-pixel-high box", 1000, 600, 3, 2, 580.0 / kA4Height, 1},
      {"100 % in a box 2000 wide holds two of three", 2000, 700, 3, 100, 1.0, 2},
      {"100 % in a box narrower than two pages holds one", 1500, 700, 3, 100, 1.0, 1},
      {"two pages always lay out two", 600, 700, 5, 3, (600.0 - 30) / (2 * kA4Width), 2},
      {"page width", 900, 700, 2, 1, (900.0 - 20) / kA4Width, 1},
      {"50 % fits four in 1600", 1600, 700, 5, 50, 0.5, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Preview p(c.box_width, c.box_height);
    AddNumberedPages(p.Pages(), c.pages);
    p.Show();
    p.form->ZoomChosen(c.tag);
    EXPECT_NEAR(p.form->Zoom(), c.factor, 1e-9);
    EXPECT_EQ(p.form->PagesPerRow(), c.per_row);
    const int w = static_cast<int>(std::lround(kA4Width * c.factor));
    const int h = static_cast<int>(std::lround(kA4Height * c.factor));
    // One page a row stands centred; more start 10 pixels in, 10 apart.
    const int left = c.per_row == 1 && w < c.box_width ? (c.box_width - w) / 2 : 10;
    EXPECT_EQ(p.PageRect(0), Bounds(left, 10, w, h));
    if (c.per_row > 1) {
      EXPECT_EQ(p.PageRect(1), Bounds(left + w + 10, 10, w, h));
    }
    const int second_row = c.per_row;
    EXPECT_EQ(p.PageRect(second_row).Top, 10 + h + 10);
    EXPECT_EQ(p.form->ZoomBtn->Caption(), std::to_string(std::lround(c.factor * 100)) + "%");
  }
}

TEST(PreviewLayout, ScrollRangeFollowsTheLowestPage) {
  Preview p(1000, 700);
  AddNumberedPages(p.Pages(), 4);
  p.Show();
  const int bottom = p.PageRect(3).Bottom;
  EXPECT_EQ(p.form->VScrollBar->Max(), bottom - 700 + 10);
  EXPECT_TRUE(p.form->VScrollBar->Enabled());
  // At 10 % everything fits: no range, the bar is disabled.
  p.form->ZoomChosen(10);
  EXPECT_EQ(p.form->VScrollBar->Max(), 0);
  EXPECT_FALSE(p.form->VScrollBar->Enabled());
}

TEST(PreviewLayout, TheChosenZoomIsWhereTheNextWindowStarts) {
  {
    Preview p;
    AddNumberedPages(p.Pages(), 1);
    p.Show();
    p.form->ZoomChosen(75);
    EXPECT_TRUE(p.form->N751->Checked());
    EXPECT_FALSE(p.form->N1001->Checked());
    // The destructor of Preview resets the memory; look before it runs.
    EXPECT_DOUBLE_EQ(frLastZoom().Factor, 0.75);
    TfrReport again(nullptr);
    again.ModalPreview = false;
    AddNumberedPages(*again.EMFPages(), 1);
    TfrPreviewForm second(nullptr);
    second.SetWindowState(wsNormal);
    second.SetBounds(0, 0, 800, 600);
    second.ShowPages(&again);
    EXPECT_DOUBLE_EQ(second.Zoom(), 0.75);
    EXPECT_TRUE(second.N751->Checked());
  }
}

TEST(PreviewPaint, APageTextShowsWhereItStandsOnThePage) {
  Preview p(1000, 1200);
  AddPage(p.Pages(), {{100, 200, 400, 40, "ПРОТОКОЛ ИСПЫТАНИЙ", 16}});
  p.Show();
  const QImage image = p.Box();
  const TRect page = p.PageRect(0);
  // The text lies inside its object's rectangle on the page ...
  const TRect text = Bounds(page.Left + 100, page.Top + 200, 400, 40);
  EXPECT_GT(DarkPixels(image, text), 100);
  // ... and nowhere else on the paper but the page's outline.
  const TRect inside = Rect(page.Left + 2, page.Top + 2, page.Right - 2, page.Bottom - 2);
  EXPECT_EQ(DarkPixels(image, inside) - DarkPixels(image, text), 0);
  // Grey around the page.
  EXPECT_EQ(image.pixel(page.Left - 5, page.Top + 50), qRgb(0x80, 0x80, 0x80));
}

TEST(PreviewPaint, HalfTheZoomHalvesThePageAndMovesTheText) {
  Preview p(1000, 1200);
  AddPage(p.Pages(), {{100, 200, 400, 40, "ПРОТОКОЛ ИСПЫТАНИЙ", 16}});
  p.Show();
  const int row = p.PageRect(0).Top + 600;
  // The paper between the outline's two sides.
  EXPECT_EQ(WhiteRun(p.Box(), row), kA4Width - 2);
  p.form->ZoomChosen(50);
  QApplication::processEvents();
  const QImage half = p.Box();
  const TRect page = p.PageRect(0);
  EXPECT_EQ(page.Width(), kA4Width / 2);
  EXPECT_EQ(WhiteRun(half, page.Top + 300), kA4Width / 2 - 2);
  EXPECT_GT(DarkPixels(half, Bounds(page.Left + 50, page.Top + 100, 200, 20)), 30);
  EXPECT_EQ(DarkPixels(half, Bounds(page.Left + 50, page.Top + 200, 200, 20)), 0);
}

TEST(PreviewPaint, PagesBelowTheOldLimitArePaintedToo) {
  // One page a row at 200 %: the fourth page starts far below 2000 pixels
  // once the view is scrolled down to it.
  Preview p(1600, 2400);
  AddNumberedPages(p.Pages(), 4);
  p.Show();
  p.form->ZoomChosen(200);
  p.form->SetCurrentPage(2);
  p.form->ScrollToPage();
  QApplication::processEvents();
  const QImage image = p.Box();
  const int y = p.PageRect(2).Top + p.form->OffsetY();
  ASSERT_GT(y, 2000);
  ASSERT_LT(y + 100, image.height());
  EXPECT_EQ(image.pixel(p.PageRect(2).Left + p.form->OffsetX() + 20, y + 20), qRgb(255, 255, 255));
}

TEST(PreviewPaint, APageWithoutASizeKeepsTheZoomAndPaintsNothingOfIt) {
  Preview p(1000, 700);
  AddNumberedPages(p.Pages(), 2);
  p.Pages().Pages(0).Metrics = PageMetrics{};
  p.report.InitialZoom = pzPageWidth;
  p.Show();
  // The current page has no size to fit: the zoom stays 100 %.
  EXPECT_DOUBLE_EQ(p.form->Zoom(), 1.0);
  EXPECT_EQ(p.PageRect(0).Width(), 0);
  const QImage image = p.Box();
  EXPECT_EQ(p.form->PagesPerRow(), 2);
  const TRect second = p.PageRect(1);
  EXPECT_GT(DarkPixels(image, Bounds(second.Left + 60, second.Top + 60, 300, 30)), 20);
  // Its text is still there to find; it has no place on the box.
  p.form->StartSearch(Utf8ToAnsi("страница"), false, true);
  EXPECT_TRUE(p.form->Found());
  EXPECT_EQ(p.form->CurrentPage(), 1);
  EXPECT_EQ(p.form->FoundRect(), TRect{});
  Press(*p.form, Qt::Key_F3);
  EXPECT_EQ(p.form->CurrentPage(), 2);
}

TEST(PreviewPaging, IndicatorShowsThePageOfTheCount) {
  Preview p;
  AddNumberedPages(p.Pages(), 10);
  p.Show();
  p.form->SetCurrentPage(3);
  EXPECT_EQ(AnsiToUtf8(p.form->Label1->Caption()), "Стр. 3/10");
}

TEST(PreviewPaging, KeysPageAndScroll) {
  Preview p(1000, 700);
  AddNumberedPages(p.Pages(), 5);
  p.Show();
  TfrPreviewForm& f = *p.form;
  Press(f, Qt::Key_PageDown, Qt::ControlModifier);
  EXPECT_EQ(f.CurrentPage(), 2);
  EXPECT_EQ(f.VScrollBar->Position(), p.PageRect(1).Top - 10);
  Press(f, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(f.CurrentPage(), 5);
  EXPECT_EQ(f.VScrollBar->Position(), p.PageRect(4).Top - 10);
  Press(f, Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(f.CurrentPage(), 4);
  Press(f, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(f.VScrollBar->Position(), 0);
  EXPECT_EQ(f.CurrentPage(), 1);
  Press(f, Qt::Key_PageDown);
  EXPECT_EQ(f.VScrollBar->Position(), 200);
  Press(f, Qt::Key_Down);
  EXPECT_EQ(f.VScrollBar->Position(), 210);
  Press(f, Qt::Key_Up);
  Press(f, Qt::Key_Up);
  EXPECT_EQ(f.VScrollBar->Position(), 190);
  EXPECT_EQ(f.OffsetY(), -190);
  // Scrolling past a page's top makes it current.
  f.VScrollBar->SetPosition(p.PageRect(2).Top + 50);
  EXPECT_EQ(f.CurrentPage(), 3);
}

TEST(PreviewPaging, AWholePageInViewPagesByWholePages) {
  Preview p(1000, 700);
  AddNumberedPages(p.Pages(), 4);
  p.Show();
  TfrPreviewForm& f = *p.form;
  f.ZoomChosen(kZoomWholePage);
  ASSERT_EQ(f.PagesPerRow(), 1);
  for (int page : {2, 3, 4, 4}) {
    Press(f, Qt::Key_PageDown);
    EXPECT_EQ(f.CurrentPage(), page);
    EXPECT_EQ(f.VScrollBar->Position(), p.PageRect(page - 1).Top - 10);
    EXPECT_EQ(AnsiToUtf8(f.Label1->Caption()), "Стр. " + std::to_string(page) + "/4");
  }
  Press(f, Qt::Key_PageUp);
  EXPECT_EQ(f.CurrentPage(), 3);
  EXPECT_EQ(f.VScrollBar->Position(), p.PageRect(2).Top - 10);
  EXPECT_EQ(AnsiToUtf8(f.Label1->Caption()), "Стр. 3/4");
  // The page in view is the one painted at the top of the box.
  const QImage box = p.Box();
  EXPECT_TRUE(box.pixel(500, 12) == qRgb(255, 255, 255));
}

TEST(PreviewPaging, TheLastPageStaysCurrentWhereTheViewCannotBringItUp) {
  Preview p(1000, 700);
  AddNumberedPages(p.Pages(), 3);
  p.Show();
  p.form->ZoomChosen(50);
  ASSERT_EQ(p.form->PagesPerRow(), 2);
  Press(*p.form, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(p.form->VScrollBar->Position(), p.form->VScrollBar->Max());
  EXPECT_LT(p.form->VScrollBar->Position(), p.PageRect(2).Top - 10);
  EXPECT_EQ(p.form->CurrentPage(), 3);
  EXPECT_EQ(AnsiToUtf8(p.form->Label1->Caption()), "Стр. 3/3");
}

TEST(PreviewPaging, AClickMakesThePageCurrentAndDraggingScrolls) {
  Preview p(1000, 700);
  AddNumberedPages(p.Pages(), 4);
  p.Show();
  p.form->ZoomChosen(50);
  QWidget* box = p.form->PBox->Widget();
  const TRect second = p.PageRect(1);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(second.Left + 30, second.Top + 30));
  EXPECT_EQ(p.form->CurrentPage(), 2);
  EXPECT_EQ(p.form->PBox->LastClickedPage, 2);
  // Dragging upwards by 40 pixels scrolls down by as much.
  const int before = p.form->VScrollBar->Position();
  QTest::mousePress(box, Qt::LeftButton, {}, QPoint(200, 300));
  QMouseEvent move(QEvent::MouseMove, QPointF(200, 260), box->mapToGlobal(QPointF(200, 260)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(box, &move);
  QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(200, 260));
  EXPECT_EQ(p.form->VScrollBar->Position(), before + 40);
  // A wheel notch towards the user scrolls down by the small change.
  QWheelEvent wheel(QPointF(100, 100), box->mapToGlobal(QPointF(100, 100)), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(box, &wheel);
  EXPECT_EQ(p.form->VScrollBar->Position(), before + 50);
}

TEST(PreviewPaging, AClickOnAnObjectGoesToTheReportsEvent) {
  Preview p(1000, 700);
  AddNumberedPages(p.Pages(), 1);
  AddPage(p.Pages(), {{100, 200, 300, 40, "Образец 7"}});
  std::vector<AnsiString> clicked;
  p.report.OnObjectClick = [&](TfrView* view) { clicked.push_back(view->Memo.Text()); };
  int over = 0;
  p.report.OnMouseOverObject = [&](TfrView*, int& cursor) {
    ++over;
    cursor = crHSplit;
  };
  p.Show();
  p.form->ZoomChosen(50);
  QWidget* box = p.form->PBox->Widget();
  const TRect page = p.PageRect(1);
  // At 50 % the object stands from (50, 100) to (200, 120) on the page.
  const QPoint on_object(page.Left + 120, page.Top + 110);
  QTest::mouseMove(box, on_object);
  EXPECT_GT(over, 0);
  EXPECT_EQ(p.form->PBox->Cursor(), crHSplit);
  QTest::mouseClick(box, Qt::LeftButton, {}, on_object);
  EXPECT_EQ(clicked, (std::vector<AnsiString>{Utf8ToAnsi("Образец 7\r\n")}));
  // The event took the click: the page did not become current.
  EXPECT_EQ(p.form->CurrentPage(), 1);
  QTest::mouseMove(box, QPoint(page.Left + 120, page.Top + 300));
  EXPECT_EQ(p.form->PBox->Cursor(), crDefault);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(page.Left + 120, page.Top + 300));
  EXPECT_EQ(clicked.size(), 1u);
  EXPECT_EQ(p.form->CurrentPage(), 2);
}

TEST(PreviewPaging, TheReportsInitialZoomChoosesTheMode) {
  const struct {
    TfrPreviewZoom zoom;
    int mode, per_row;
  } cases[] = {{pzTwoPages, kZoomTwoPages, 2}, {pzOnePage, kZoomWholePage, 1}, {pzPageWidth, kZoomPageWidth, 1}};
  for (const auto& c : cases) {
    Preview p(1000, 700);
    p.report.InitialZoom = c.zoom;
    AddNumberedPages(p.Pages(), 3);
    p.Show();
    EXPECT_EQ(p.form->ZoomMode(), c.mode);
    EXPECT_EQ(p.form->PagesPerRow(), c.per_row);
  }
}

TEST(PreviewPaging, PageButtonsStopAtTheEnds) {
  Preview p;
  AddNumberedPages(p.Pages(), 2);
  p.Show();
  p.form->PgUpClick();
  EXPECT_EQ(p.form->CurrentPage(), 1);
  p.form->PgDownClick();
  p.form->PgDownClick();
  EXPECT_EQ(p.form->CurrentPage(), 2);
}

TEST(PreviewSearch, FindsThePageThenTheNextOccurrences) {
  Preview p(1000, 700);
  AddNumberedPages(p.Pages(), 3);
  AddPage(p.Pages(), {{60, 60, 300, 30, "Образец 17"}, {60, 700, 300, 30, "ещё образец 17 внизу"}});
  AddNumberedPages(p.Pages(), 2);
  AddPage(p.Pages(), {{400, 900, 300, 30, "ОБРАЗЕЦ 17"}});
  p.Show();
  TfrPreviewForm& f = *p.form;
  f.StartSearch(Utf8ToAnsi("образец 17"), false, true);
  ASSERT_TRUE(f.Found());
  EXPECT_EQ(f.CurrentPage(), 4);
  const TRect first = f.FoundRect();
  // The text starts a gap into its object.
  EXPECT_NEAR(first.Left, p.PageRect(3).Left + 62, 2);
  EXPECT_GE(first.Top, p.PageRect(3).Top + 60);
  // F3: the second occurrence on the same page, then the one on page 7.
  Press(f, Qt::Key_F3);
  EXPECT_EQ(f.CurrentPage(), 4);
  EXPECT_GT(f.FoundRect().Top, first.Top + 600);
  // It lies lower than the window shows from the page's top: its bottom is
  // brought to the window's bottom.
  EXPECT_EQ(f.FoundRect().Bottom + f.OffsetY(), 700);
  Press(f, Qt::Key_F3);
  EXPECT_EQ(f.CurrentPage(), 7);
  EXPECT_NEAR(f.FoundRect().Left, p.PageRect(6).Left + 402, 2);
}

TEST(PreviewSearch, CaseAndStartingPointCount) {
  Preview p(1000, 700);
  AddPage(p.Pages(), {{60, 60, 300, 30, "Прочность"}});
  AddPage(p.Pages(), {{60, 60, 300, 30, "прочность"}});
  p.Show();
  TfrPreviewForm& f = *p.form;
  f.StartSearch(Utf8ToAnsi("прочность"), true, true);
  EXPECT_EQ(f.CurrentPage(), 2);
  f.SetCurrentPage(1);
  f.StartSearch(Utf8ToAnsi("ПРОЧНОСТЬ"), false, false);
  EXPECT_EQ(f.CurrentPage(), 1);
  const TRect on_first = f.FoundRect();
  // Continuing from the current page skips what lies before it: nothing is
  // found, and the view stays as it was.
  f.SetCurrentPage(2);
  f.StartSearch(Utf8ToAnsi("Прочность"), true, false);
  EXPECT_EQ(f.CurrentPage(), 2);
  EXPECT_EQ(f.FoundRect(), on_first);
}

TEST(PreviewSearch, AWrappedTextIsFoundOnTheLineThatShowsIt) {
  Preview p(1000, 1200);
  AddNumberedPages(p.Pages(), 1);
  AddPage(p.Pages(), {{100, 100, 90, 80, "трещина в образце"}});
  p.Show();
  TfrPreviewForm& f = *p.form;
  f.StartSearch(Utf8ToAnsi("ОБРАЗЦЕ"), false, true);
  ASSERT_TRUE(f.Found());
  EXPECT_EQ(f.CurrentPage(), 2);
  // Below the first line of the object.
  EXPECT_GT(f.FoundRect().Top, p.PageRect(1).Top + 110);
  EXPECT_LT(f.FoundRect().Bottom, p.PageRect(1).Top + 180);
}

TEST(PreviewSearch, ATextFoundNowhereLeavesTheViewAlone) {
  Preview p(1000, 700);
  AddNumberedPages(p.Pages(), 4);
  p.Show();
  TfrPreviewForm& f = *p.form;
  f.SetCurrentPage(2);
  f.ScrollToPage();
  const int pos = f.VScrollBar->Position();
  f.StartSearch(Utf8ToAnsi("нет такого"), false, true);
  EXPECT_FALSE(f.Found());
  EXPECT_EQ(f.CurrentPage(), 2);
  EXPECT_EQ(f.VScrollBar->Position(), pos);
}

TEST(PreviewSearch, TheFoundTextIsShownInverted) {
  Preview p(1000, 1200);
  AddPage(p.Pages(), {{100, 200, 400, 40, "ОБРАЗЕЦ", 16}});
  p.Show();
  p.form->StartSearch(Utf8ToAnsi("образец"), false, true);
  QApplication::processEvents();
  const QImage image = p.Box();
  const TRect r = p.form->FoundRect();
  ASSERT_GT(r.Width(), 10);
  // White paper turned black: most of the box is dark now.
  EXPECT_GT(DarkPixels(image, r), r.Width() * r.Height() / 2);
}

TEST(PreviewFiles, ASavedReportLoadsAndDrawsTheSamePages) {
  const std::string dir = testsupport::TempDir("preview_files");
  QImage before;
  {
    Preview p(1000, 1200);
    AddPage(p.Pages(), {{100, 200, 400, 40, "Протокол № 5", 16}, {100, 300, 400, 40, "Партия 12"}});
    AddNumberedPages(p.Pages(), 2);
    p.Show();
    before = p.Box();
    // The extension becomes .frp whatever was typed.
    p.form->SaveFile(dir + "/saved.txt");
    EXPECT_EQ(p.form->PageCount(), 3);
  }
  Preview q(1000, 1200);
  AddNumberedPages(q.Pages(), 1);
  q.Show();
  q.form->LoadFile(dir + "/saved.frp");
  QApplication::processEvents();
  EXPECT_EQ(q.form->PageCount(), 3);
  EXPECT_EQ(q.form->CurrentPage(), 1);
  EXPECT_TRUE(q.Box() == before);
}

TEST(PreviewFiles, ADamagedFileIsReportedAndThePagesStay) {
  const std::string dir = testsupport::TempDir("preview_damaged");
  {
    TfrEMFPages pages(nullptr);
    AddNumberedPages(pages, 2);
    TMemoryStream stream;
    pages.WriteBuiltFile(stream);
    const std::string bytes(stream.Bytes());
    testsupport::WriteFile(dir + "/cut.frp", bytes.substr(0, bytes.size() - 30));
  }
  testsupport::RecordingDialogs dialogs;
  Preview p;
  AddNumberedPages(p.Pages(), 4);
  p.Show();
  p.form->SetCurrentPage(3);
  p.form->LoadFile(dir + "/cut.frp");
  EXPECT_EQ(dialogs.boxes.size() + dialogs.dialogs.size(), 1u);
  EXPECT_EQ(p.form->PageCount(), 4);
  EXPECT_EQ(p.form->CurrentPage(), 3);
  EXPECT_EQ(p.report.EMFPages()->Count(), 0);
}

TEST(PreviewWindow, ButtonsFollowTheReportAndPrintingNeedsPrinters) {
  Preview p;
  p.report.PreviewButtons = TfrPreviewButtons{pbZoom, pbPrint, pbHelp, pbExit};
  AddNumberedPages(p.Pages(), 1);
  p.Show();
  TfrPreviewForm& f = *p.form;
  EXPECT_TRUE(f.ZoomBtn->Visible());
  EXPECT_FALSE(f.LoadBtn->Visible());
  EXPECT_FALSE(f.SaveBtn->Visible());
  EXPECT_FALSE(f.FindBtn->Visible());
  EXPECT_TRUE(f.HelpBtn->Visible());
  EXPECT_TRUE(f.frTBSeparator3->Visible());
  EXPECT_FALSE(f.PageSetupBtn->Visible());
  // The test machine has no printers.
  EXPECT_FALSE(f.PrintBtn->Enabled());
  EXPECT_FALSE(f.N5->Visible());
  // The pages are the window's; the report keeps an empty store.
  EXPECT_EQ(p.report.EMFPages()->Count(), 0);
  EXPECT_EQ(f.PageCount(), 1);
}

TEST(PreviewWindow, OpensTheApplicationsKeyAndKeepsItsPlace) {
  const AnsiString title = Utf8ToAnsi("ЛИВТ  - КС7");
  const AnsiString old_title = Application->Title();
  Application->SetTitle(title);
  {
    Preview p;
    AddNumberedPages(p.Pages(), 1);
    p.Show();
    TRegistry registry;
    EXPECT_TRUE(registry.KeyExists("\\Software\\ReportEngine\\" + title));
    p.form->SetBounds(30, 40, 700, 500);
    auto* form = p.form.release();
    // Exit closes a modeless window, which frees itself.
    QPointer<QWidget> window = form->Widget();
    form->ExitBtnClick();
    QApplication::processEvents();
    EXPECT_TRUE(window.isNull());
    ASSERT_TRUE(registry.OpenKey("\\Software\\ReportEngine\\Form\\TfrPreviewForm", false));
    EXPECT_EQ(registry.ReadInteger("Width"), 700);
    EXPECT_EQ(registry.ReadInteger("Maximized"), 0);
    // The next window comes back there.
    TfrPreviewForm again(nullptr);
    again.SetWindowState(wsMaximized);
    AddNumberedPages(p.Pages(), 1);
    again.ShowPages(&p.report);
    EXPECT_EQ(again.WindowState(), wsNormal);
    EXPECT_EQ(again.Width(), 700);
  }
  Application->SetTitle(old_title);
}

// A real left click in the middle of a control.
void ClickOn(TControl* control) {
  QWidget* widget = control->Widget();
  QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// After a click on the help button the next click anywhere asks for help on
// the control it hits (by its Tag) and does nothing else; a click on the
// help button itself, or outside the window, asks for none.
TEST(PreviewWindow, TheHelpButtonAsksForHelpOnWhatIsClickedNext) {
  dialog_test::Watchdog watchdog;
  testsupport::RecordingDialogs dialogs;
  const std::string old_help = Application->HelpFile();
  Application->SetHelpFile("kiv7.hlp");
  std::vector<std::pair<int, int>> asked;
  Application->OnHelp = [&](int command, int data) {
    asked.emplace_back(command, data);
    return true;
  };
  TForm elsewhere(nullptr);
  elsewhere.SetBounds(0, 0, 100, 100);
  {
    Preview p(1000, 700);
    AddNumberedPages(p.Pages(), 2);
    p.Show();
    elsewhere.Show();
    // While the window shows, the library's help file is the application's.
    EXPECT_EQ(Application->HelpFile(), "FRuser.hlp");
    TfrPreviewForm& f = *p.form;
    const struct {
      const char* what;
      TControl* target;
      int help_context;  // 0: no help asked
    } cases[] = {
        {"zoom button", f.ZoomBtn, 200},
        {"page box", f.PBox, 207},
        {"page indicator", f.Label1, 206},
        {"the help button again", f.HelpBtn, 0},
        {"another window", &elsewhere, 0},
    };
    constexpr int kContextPopup = 8;
    for (const auto& c : cases) {
      SCOPED_TRACE(c.what);
      asked.clear();
      ClickOn(f.HelpBtn);
      ASSERT_TRUE(f.CapturingClick());
      ASSERT_NE(QApplication::overrideCursor(), nullptr);
      EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WhatsThisCursor);
      ClickOn(c.target);
      QApplication::processEvents();
      EXPECT_FALSE(f.CapturingClick());
      EXPECT_EQ(QApplication::overrideCursor(), nullptr);
      if (c.help_context != 0)
        EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{kContextPopup, c.help_context}}));
      else
        EXPECT_TRUE(asked.empty());
      // The click asked for help only: no zoom menu, no page change.
      EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
      EXPECT_EQ(f.CurrentPage(), 1);
    }
    // Without a handler of its own the program says the help file is missing.
    Application->OnHelp = nullptr;
    ClickOn(f.HelpBtn);
    ClickOn(f.ZoomBtn);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_NE(AnsiToUtf8(dialogs.boxes[0].text).find("FRuser.hlp"), std::string::npos);
    p.form->Close();
    EXPECT_EQ(Application->HelpFile(), "kiv7.hlp");
    p.form.release();
    QApplication::processEvents();
  }
  Application->OnHelp = nullptr;
  Application->SetHelpFile(old_help);
}

TEST(PreviewWindow, SaveWorksByKeyWithItsButtonHidden) {
  const std::string dir = testsupport::TempDir("preview_ctrl_s");
  testsupport::RecordingDialogs dialogs;
  dialogs.chosen_file = dir + "/by_key";
  Preview p;
  p.report.PreviewButtons = TfrPreviewButtons{pbZoom};
  AddNumberedPages(p.Pages(), 2);
  p.Show();
  Press(*p.form, Qt::Key_S, Qt::ControlModifier);
  const std::string bytes = testsupport::ReadFile(dir + "/by_key.frp");
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(static_cast<uint8_t>(bytes[0]), 25);
  EXPECT_EQ(p.form->PageCount(), 2);
}

TEST(PreviewWindow, AModalPreviewTakesItsPagesAlongWhenItCloses) {
  ScopedSettings settings("preview_modal");
  TfrReport report(nullptr);
  AddNumberedPages(*report.EMFPages(), 3);
  // Owned by the report, as the report opens it; it frees itself on closing.
  auto* form = new TfrPreviewForm(&report);
  form->SetWindowState(wsNormal);
  form->SetBounds(0, 0, 800, 600);
  QPointer<QWidget> window = form->Widget();
  TModalResult result = mrNone;
  dialog_test::WithModal(
      [&] {
        form->ShowPages(&report);
        result = form->ModalResult();
      },
      [&] { QTest::keyClick(form->ScrollBox1->Widget(), Qt::Key_Escape); });
  // Esc ended the window (a window the test's watchdog closed ends with Cancel).
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(report.EMFPages()->Count(), 0);
  QApplication::processEvents();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(report.ComponentCount(), 0);
}

TEST(PreviewPanel, ShowsThePagesOnAnotherForm) {
  ScopedSettings settings("preview_panel");
  frGlobals();
  frLastZoom() = TfrLastZoom{};
  TfrReport report(nullptr);
  AddNumberedPages(*report.EMFPages(), 3);
  TForm host(nullptr);
  host.SetBounds(0, 0, 900, 700);
  auto* panel = new TfrPreview(&host);
  panel->SetParent(&host);
  panel->SetAlign(alClient);
  int changed_to = 0;
  panel->OnPageChanged = [&](TComponent*, int page) { changed_to = page; };
  report.SetPreview(panel);
  host.Show();
  report.ShowBuiltPages();
  TfrPreviewForm* window = panel->Window();
  EXPECT_EQ(window->PreviewPanel->Parent(), panel);
  EXPECT_EQ(window->PageCount(), 3);
  EXPECT_EQ(report.EMFPages()->Count(), 0);
  EXPECT_EQ(window->WheelMultiplier, 3);
  window->PgDownClick();
  EXPECT_EQ(changed_to, 2);
  // Without a vertical bar the horizontal one reaches the right edge.
  panel->SetScrollBars(ssHorizontal);
  EXPECT_FALSE(window->RPanel->Visible());
  EXPECT_EQ(window->HScrollBar->Left() + window->HScrollBar->Width(), window->BPanel->Width());
  report.SetPreview(nullptr);
  frLastZoom() = TfrLastZoom{};
}

// The report library's dialog that is showing modally now.
template <class Form>
Form* ShownDialog() {
  auto* link = dynamic_cast<HostLink*>(QApplication::activeModalWidget());
  return link ? dynamic_cast<Form*>(link->control_) : nullptr;
}

TEST(PreviewDialogs, TheFindDialogStartsEmptyEachTimeAndItsTextIsSearched) {
  Preview p(1000, 700);
  AddNumberedPages(p.Pages(), 3);
  p.Show();
  std::vector<AnsiString> shown;
  auto search_for = [&](const char* text) {
    dialog_test::WithModal([&] { p.form->FindBtnClick(); },
                           [&] {
                             auto* dialog = ShownDialog<TfrPreviewSearchForm>();
                             ASSERT_NE(dialog, nullptr);
                             shown.push_back(dialog->Edit1->Text());
                             dialog->Edit1->SetText(Utf8ToAnsi(text));
                             dialog->Button1->Click();
                           });
  };
  search_for("страница 3");
  EXPECT_EQ(p.form->CurrentPage(), 3);
  search_for("страница 2");
  EXPECT_EQ(p.form->CurrentPage(), 2);
  EXPECT_EQ(shown, (std::vector<AnsiString>{"", ""}));
}

TEST(PreviewDialogs, LoadAsksForAReportFile) {
  const std::string dir = testsupport::TempDir("preview_load_button");
  {
    TfrEMFPages pages(nullptr);
    AddNumberedPages(pages, 5);
    TMemoryStream stream;
    pages.WriteBuiltFile(stream);
    testsupport::WriteFile(dir + "/five.frp", std::string(stream.Bytes()));
  }
  testsupport::RecordingDialogs dialogs;
  Preview p;
  AddNumberedPages(p.Pages(), 2);
  p.Show();
  p.form->SetCurrentPage(2);
  p.form->LoadBtnClick();
  EXPECT_EQ(p.form->PageCount(), 2);
  dialogs.chosen_file = dir + "/five.frp";
  Press(*p.form, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(p.form->PageCount(), 5);
  EXPECT_EQ(p.form->CurrentPage(), 1);
  EXPECT_EQ(AnsiToUtf8(p.form->OpenDialog->Filter()), "Файл отчета (*.frp)|*.frp");
  EXPECT_FALSE(p.report.BuiltHere);
}

// A report whose print job records what it was asked to print and how many
// pages it had then.
class RecordingReport : public TfrReport {
 public:
  using TfrReport::TfrReport;
  void PrintPages(const AnsiString& pages, int copies, int odd_even, bool collate) override {
    calls.push_back({pages, copies, odd_even, collate, EMFPages()->Count()});
  }
  struct Call {
    AnsiString pages;
    int copies, odd_even;
    bool collate;
    int held;
    bool operator==(const Call&) const = default;
  };
  std::vector<Call> calls;
};

// One printer, "Office", for the preview's printing commands.
struct OfficePrinter {
  ScopedSettings settings;
  printer_test::GlobalPrinters printers;
  explicit OfficePrinter(const char* settings_name) : settings(settings_name), printers({Device()}) {
    frGlobals();
    frLastZoom() = TfrLastZoom{};
  }
  static printer_test::FakeDevice Device() {
    printer_test::FakeDevice device;
    device.name = "Office";
    return device;
  }
};

TEST(PreviewDialogs, PrintingHandsThePagesToTheReportAndTakesThemBack) {
  OfficePrinter office("preview_print");
  RecordingReport report(nullptr);
  report.ModalPreview = false;
  report.DefaultCopies = 2;
  AddNumberedPages(*report.EMFPages(), 3);
  TfrPreviewForm form(nullptr);
  form.SetWindowState(wsNormal);
  form.SetBounds(0, 0, 900, 700);
  form.ShowPages(&report);
  ASSERT_TRUE(form.PrintBtn->Enabled());
  form.SetCurrentPage(2);
  // The current page, two copies from the report's default, not collated.
  dialog_test::WithModal([&] { form.PrintBtnClick(); },
                         [&] {
                           auto* dialog = ShownDialog<TfrPrintForm>();
                           ASSERT_NE(dialog, nullptr);
                           EXPECT_EQ(dialog->E1->Text(), "2");
                           dialog->RB2->SetChecked(true);
                           dialog->CollateCB->SetChecked(false);
                           dialog->Button1->Click();
                         });
  // Without the dialog: every page, as the report's defaults say.
  report.ShowPrintDialog = false;
  form.PrintBtnClick();
  EXPECT_EQ(report.calls, (std::vector<RecordingReport::Call>{{"2", 2, kPrintAllPages, false, 3},
                                                              {"", 2, kPrintAllPages, true, 3}}));
  EXPECT_EQ(form.PageCount(), 3);
  EXPECT_EQ(report.EMFPages()->Count(), 0);
}

// The dialog opens on the first template page's margins (page pixels as
// hundredths of a millimetre); accepted, its paper and margins go to every
// template page and the pages shown are built anew from the first; refused,
// nothing changes.
TEST(PreviewDialogs, PageSetupRebuildsThePagesWithTheChosenPaperAndMargins) {
  OfficePrinter office("preview_page_setup");
  printer_test::FakePrinters& dialog = office.printers.Backend();
  TfrReport report(nullptr);
  report.ModalPreview = false;
  report.ShowProgress = false;
  report.PreviewButtons = TfrPreviewButtons{pbPrint, pbPageSetup};
  for (int i = 0; i < 2; ++i) {
    TfrPage* page = report.Pages().Add();
    page->LeftMargin = 36;
    page->TopMargin = 18;
    page->RightMargin = page->BottomMargin = 9 * (i + 1);
  }
  ASSERT_TRUE(report.BuildReport());
  TfrPreviewForm form(nullptr);
  form.SetWindowState(wsNormal);
  form.SetBounds(0, 0, 900, 700);
  form.ShowPages(&report);
  ASSERT_EQ(form.PageCount(), 2);
  EXPECT_TRUE(form.PageSetupBtn->Visible());
  EXPECT_TRUE(form.PageSetupBtn->Enabled());
  form.SetCurrentPage(2);
  const TfrEMFPages* shown = form.EMFPages();

  form.PageSetupBtn->Click();
  EXPECT_EQ(dialog.offered_margins, (TPageMargins{1000, 500, 250, 250}));
  EXPECT_EQ(form.EMFPages(), shown);
  EXPECT_EQ(form.CurrentPage(), 2);
  EXPECT_EQ(report.Pages().Pages(1)->RightMargin, 18);
  EXPECT_EQ(report.Pages().Pages(1)->Orientation, 0);

  dialog.accept_dialog = true;
  dialog.answer_orientation = DMORIENT_LANDSCAPE;
  dialog.answer_margins = {1500, 2000, 500, 1000};
  form.PageSetupBtn->Click();
  EXPECT_EQ(GlobalPrinterLayer().Orientation, 1);
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const TfrPage& page = *report.Pages().Pages(i);
    EXPECT_EQ((std::vector<int>{page.LeftMargin, page.TopMargin, page.RightMargin, page.BottomMargin}),
              (std::vector<int>{54, 72, 18, 36}));
    EXPECT_EQ(page.Orientation, 1);
    const TfrPageInfo& built = form.EMFPages()->Pages(i);
    EXPECT_EQ(built.Orientation, 1);
    EXPECT_EQ(built.LeftMargin, 54);
    EXPECT_GT(built.PreviewRect.Width(), built.PreviewRect.Height());
  }
  EXPECT_EQ(form.PageCount(), 2);
  EXPECT_EQ(form.CurrentPage(), 1);
  EXPECT_EQ(report.EMFPages()->Count(), 0);
}

}  // namespace

namespace {

// Every button of the tool bar and the page buttons, pressed by a real click,
// does what it stands for; a menu or dialog it opens is closed again by Esc.
TEST(PreviewWindow, EveryButtonDoesItsWorkOnARealClick) {
  OfficePrinter office("preview_every_button");
  printer_test::FakePrinters& printers = office.printers.Backend();
  testsupport::RecordingDialogs dialogs;
  std::vector<std::pair<int, int>> helped;
  Application->OnHelp = [&](int command, int data) {
    helped.emplace_back(command, data);
    return true;
  };
  Preview p(1000, 700);
  p.report.Pages().Add();
  p.report.PreviewButtons = TfrPreviewButtons{pbZoom, pbLoad, pbSave, pbPrint, pbFind, pbHelp, pbExit, pbPageSetup};
  AddNumberedPages(p.Pages(), 3);
  p.Show();
  TfrPreviewForm& f = *p.form;
  f.SetCurrentPage(2);

  // What showed while the click ran: a pop-up menu, a modal window.
  QWidget* popup = nullptr;
  bool print_dialog = false, find_dialog = false;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (QWidget* w = QApplication::activePopupWidget()) {
      popup = w;
      QTest::keyClick(w, Qt::Key_Escape);
    } else if (QWidget* w = QApplication::activeModalWidget()) {
      // Told apart now: a dialog on the stack is gone once the click is done.
      TControl* shown = HostedControl(w);
      print_dialog = dynamic_cast<TfrPrintForm*>(shown) != nullptr;
      find_dialog = dynamic_cast<TfrPreviewSearchForm*>(shown) != nullptr;
      QTest::keyClick(w, Qt::Key_Escape);
    }
  });
  const struct {
    const char* what;
    TfrSpeedButton* button;
    std::function<bool()> done;
  } cases[] = {
      {"zoom", f.ZoomBtn, [&] { return popup != nullptr; }},
      {"load", f.LoadBtn, [&] { return dialogs.file_dialog_dirs.size() == 1; }},
      {"save", f.SaveBtn, [&] { return dialogs.file_dialog_dirs.size() == 2; }},
      {"print", f.PrintBtn, [&] { return print_dialog; }},
      {"find", f.FindBtn, [&] { return find_dialog; }},
      {"page set-up", f.PageSetupBtn, [&] { return printers.offered_margins != TPageMargins{-1, -1, -1, -1}; }},
      {"help", f.HelpBtn,
       [&] {
         const bool asking = f.CapturingClick();
         ClickOn(f.HelpBtn);  // asks for no help, ends the asking
         return asking && !f.CapturingClick();
       }},
      {"next page", f.PgDown, [&] { return f.CurrentPage() == 3; }},
      {"previous page", f.PgUp, [&] { return f.CurrentPage() == 2; }},
  };
  dialog_test::Watchdog watchdog;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.button->Visible());
    ASSERT_TRUE(c.button->Enabled());
    popup = nullptr;
    print_dialog = find_dialog = false;
    closer.start(20);
    ClickOn(c.button);
    QApplication::processEvents();
    closer.stop();
    EXPECT_TRUE(c.done());
  }
  EXPECT_TRUE(helped.empty());
  Application->OnHelp = nullptr;
  // Exit closes the modeless window, which frees itself.
  TfrPreviewForm* window = p.form.release();
  QPointer<QWidget> widget = window->Widget();
  ClickOn(window->ExitBtn);
  QApplication::processEvents();
  EXPECT_TRUE(widget.isNull());
}

}  // namespace

}  // namespace preview_test
