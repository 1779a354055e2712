// The preview window: a report's built pages on screen, side by side or one
// per row at a chosen zoom, with scrolling, paging, text search, printing and
// loading and saving prepared reports (.frp); and the panel that embeds the
// same window's parts into another form.
//
// Lengths of pages are page pixels (fr_prntr.h); everything on the page box
// is screen pixels: a page of w page pixels is round(w × factor) wide, and the
// pages stand 10 pixels apart and 10 pixels from the box's edges.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "toolkit/core/typinfo.h"
#include "toolkit/ui/extctrls.h"
#include "toolkit/ui/forms.h"

class TBevel;
class TLabel;
class TMenuItem;
class TOpenDialog;
class TPopupMenu;
class TSaveDialog;
class TScrollBar;
class TfrEMFPages;
class TfrPreviewForm;
class TfrReport;
class TfrSpeedButton;
class TfrTBButton;
class TfrTBSeparator;

// Zoom modes: an explicit factor, the page's width, the whole page, two pages.
inline constexpr int kZoomFactor = 0;
inline constexpr int kZoomPageWidth = 1;
inline constexpr int kZoomWholePage = 2;
inline constexpr int kZoomTwoPages = 3;

// The last zoom chosen in any preview window of the process (100 %, mode 0
// at first); every window starts from it.
struct TfrLastZoom {
  double Factor = 1.0;
  int Mode = kZoomFactor;
};
TfrLastZoom& frLastZoom();

// One occurrence of a text on a built page: the index of the drawing record
// that holds it and its bounding rectangle, in page pixels.
struct TfrTextHit {
  int Record = 0;
  TRect Bounds;
};

// Finds `text` in the texts the page draws, from drawing record `from_record`
// on. `text` is upper case unless `case_sensitive` (the page's texts are
// compared upper-cased then). The page is drawn at its own size; its cached
// objects are freed afterwards unless the preview shows it.
std::optional<TfrTextHit> FindTextOnPage(TfrEMFPages& pages, int index, const AnsiString& text,
                                         bool case_sensitive, int from_record);

// The panel the pages are painted on. It fills the preview's scroll box;
// its mouse and keys go to the preview window.
class TfrPBox : public TPanel {
 public:
  explicit TfrPBox(TComponent* owner);

  TfrPreviewForm* Preview = nullptr;
  // The page last clicked (1-based; 0 none).
  int LastClickedPage = 0;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void DblClick() override;
  void MouseWheel(TShiftState shift, int delta, int x, int y) override;
  void KeyDown(uint16_t& key, TShiftState shift) override;
  bool WantSpecialKey(uint16_t key) const override { return key == VK_ESCAPE; }
  void Resize() override;

 private:
  bool down_ = false;
  bool double_clicked_ = false;
  TPoint last_;
};

class TfrPreview;

class TfrPreviewForm : public TForm {
  KIV7_PERSISTENT(TfrPreviewForm)

 public:
  explicit TfrPreviewForm(TComponent* owner);
  ~TfrPreviewForm() override;

  // Takes the report's built pages, configures the window from the report,
  // applies the zoom with reset and shows the window (modally when the
  // report's ModalPreview is set; the pages go with the window then).
  void ShowPages(TfrReport* report);
  // Takes the report's built pages; the report gets an empty store.
  void TakePages(TfrReport* report);
  // Gives the pages back to the report in place of its store.
  void ReturnPages();
  // Buttons, menu and zoom from the report's settings.
  void Configure();
  // Zoom from the process-wide memory, then layout and repaint; with reset
  // the first page at the top.
  void ApplyZoom(bool reset);
  // "Стр. N/M" in the indicator.
  void ShowPageInfo();
  // Scrolls so that the current page's top stands 10 pixels below the box's top.
  void ScrollToPage();
  // Places the pages for the zoom and the box's size.
  void FormResize();
  void FormKeyDown(uint16_t& key, TShiftState shift);

  // The commands of the buttons and keys.
  void ZoomBtnClick();
  // A zoom menu item's Tag: 1 to 3 modes, else a percentage.
  void ZoomChosen(int tag);
  void PgUpClick();
  void PgDownClick();
  void LoadBtnClick();
  void SaveBtnClick();
  void PrintBtnClick();
  // The page set-up dialog; accepted, its paper and margins go to every
  // template page and the report is built anew.
  void PageSetupBtnClick();
  void FindBtnClick();
  void FindNext();
  void ExitBtnClick();
  void HelpBtnClick();
  // Loads a prepared report in place of the pages shown. A file that cannot
  // be read is reported and changes nothing.
  void LoadFile(const std::string& file_name);
  // Writes the pages shown as a prepared report (the extension becomes ".frp").
  void SaveFile(const std::string& file_name);
  // Starts a search for `text` (as the find dialog gives it).
  void StartSearch(const AnsiString& text, bool case_sensitive, bool from_start);

  TfrReport* Report() const { return report_; }
  TfrEMFPages* EMFPages() const { return pages_.get(); }
  int PageCount() const;
  // 1-based.
  int CurrentPage() const { return cur_page_; }
  void SetCurrentPage(int page);
  double Zoom() const { return zoom_; }
  int ZoomMode() const { return zoom_mode_; }
  int PagesPerRow() const { return per_row_; }
  // Where the found text stands on the page box (empty when nothing is found).
  TRect FoundRect() const;
  bool Found() const { return found_; }
  // The rectangle a page's objects are drawn into: the whole page, or its
  // printable area less the margins when it does not use margins.
  TRect PageDrawRect(int index) const;
  // The page under a point of the box (0-based; -1 none).
  int PageAt(int x, int y) const;
  int OffsetX() const { return ofs_x_; }
  int OffsetY() const { return ofs_y_; }

  // The top bar with Panel1 and the buttons.
  TPanel* TopPanel;
  TPanel* Panel1;
  TfrTBButton* ZoomBtn;
  TfrTBButton* LoadBtn;
  TfrTBButton* SaveBtn;
  TfrTBButton* PrintBtn;
  TfrTBButton* FindBtn;
  TfrTBButton* HelpBtn;
  TfrTBButton* ExitBtn;
  TfrTBButton* PageSetupBtn;
  TfrTBSeparator* frTBSeparator1;
  TfrTBSeparator* frTBSeparator2;
  TfrTBSeparator* frTBSeparator3;
  // The page area.
  TPanel* PreviewPanel;
  TPanel* ScrollBox1;
  TfrPBox* PBox;
  TPanel* RPanel;
  TfrSpeedButton* PgUp;
  TfrSpeedButton* PgDown;
  TScrollBar* VScrollBar;
  TPanel* BPanel;
  TLabel* Label1;
  TBevel* Bevel1;
  TScrollBar* HScrollBar;
  TPopupMenu* ProcMenu;
  TMenuItem* N2001;
  TMenuItem* N1501;
  TMenuItem* N1001;
  TMenuItem* N751;
  TMenuItem* N501;
  TMenuItem* N251;
  TMenuItem* N101;
  TMenuItem* N1;
  TMenuItem* N2;
  TMenuItem* N3;
  TMenuItem* N4;
  TMenuItem* N5;
  TMenuItem* N6;
  TMenuItem* N7;
  TOpenDialog* OpenDialog;
  TSaveDialog* SaveDialog;

  // The wheel's step multiplier: 1 in the window, 3 when embedded.
  int WheelMultiplier = 1;
  // The embedding panel, when the window's parts are shown on one.
  TfrPreview* Embedder = nullptr;

 private:
  friend class TfrPBox;
  void Layout();
  // The page buttons and scroll bars on their panels.
  void PlaceBars();
  void ForgetPageDrawings();
  void VScrollChange();
  void HScrollChange();
  void CheckZoomItem();
  // Offers a point of the box on a page to the page's objects (a click, or
  // the mouse passing); true when an object's event took it.
  bool ObjectAtMouse(int page, int x, int y, bool clicked, int& cursor);
  void RefreshPages(bool reset);
  void ReportGone();
  void FormShow();
  void FormClose(TCloseAction& action);

  // The pages were lent by the report and name it: they go with it.
  TComponentRef<TfrReport> report_{[this] { ReportGone(); }};
  std::unique_ptr<TfrEMFPages> pages_;
  int cur_page_ = 1;
  int ofs_x_ = 0, ofs_y_ = 0;
  int last_vpos_ = 0, last_hpos_ = 0;
  double zoom_ = 1.0;
  int zoom_mode_ = kZoomFactor;
  int per_row_ = 1;
  bool paint_allowed_ = false;
  // The search: its text, case, what was found and where to go on from.
  AnsiString find_text_;
  bool case_sensitive_ = false;
  bool found_ = false;
  TRect found_rect_;
  int search_page_ = 0;
  int search_record_ = 0;
  int found_page_ = -1;
  std::string saved_help_file_;
  // Scroll bar moves made by the layout itself leave the current page alone.
  bool placing_ = false;
};

// A panel that shows the preview window's page area (and tool bar) on
// another form. The window stays hidden; the panel borrows its parts.
class TfrPreview : public TPanel {
 public:
  explicit TfrPreview(TComponent* owner);
  ~TfrPreview() override;

  // Vertical bar for ssVertical and ssBoth, horizontal for ssHorizontal and ssBoth.
  TScrollStyle ScrollBars() const { return scroll_bars_; }
  void SetScrollBars(TScrollStyle value);
  // Moves the tool bar onto the panel, or back to the window.
  bool ShowToolbar() const { return show_toolbar_; }
  void SetShowToolbar(bool value);
  // Takes the report's pages and shows them on the panel.
  void Connect(TfrReport* report);
  // The print command of the window (the report's print-with-dialog comes here).
  void Print();
  TfrPreviewForm* Window() const { return window_; }

  std::function<void(TComponent* sender, int page_no)> OnPageChanged;

 private:
  TfrPreviewForm* window_;
  TScrollStyle scroll_bars_ = ssBoth;
  bool show_toolbar_ = false;
};
