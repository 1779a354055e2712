#include "report/fr_preview.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include "report/fr_ctrls.h"
#include "report/fr_emf.h"
#include "report/fr_page.h"
#include "report/fr_prdlg.h"
#include "report/fr_prntr.h"
#include "report/fr_report.h"
#include "report/fr_srch.h"
#include "report/fr_utils.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/metafile.h"
#include "toolkit/sys/files.h"
#include "toolkit/sys/settings.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/focus.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/menus.h"
#include "toolkit/ui/printers.h"
#include "toolkit/ui/stdctrls.h"

namespace {

// Library texts.
constexpr int kTextPageWidth = 53020;
constexpr int kTextWholePage = 53021;
constexpr int kTextTwoPages = 53022;
constexpr int kTextExit = 53023;
constexpr int kTextZoom = 53024;
constexpr int kTextLoad = 53025;
constexpr int kTextSave = 53026;
constexpr int kTextPrint = 53027;
constexpr int kTextFind = 53028;
constexpr int kTextEditPage = 53029;
constexpr int kTextAddPage = 53030;
constexpr int kTextRemovePage = 53031;
constexpr int kTextHelp = 53032;
constexpr int kTextPage = 55004;
constexpr int kTextReportFile = 55211;

constexpr uint16_t VK_F3 = 0x72;
constexpr int kHelpContextPopup = 8;
// The pointer of the help mode.
// Pixels between pages and around them.
constexpr int kGap = 10;
// The grey around the pages.
constexpr TColor kBoxColor = 0x808080;
// Width of the vertical bar and height of the horizontal one.
constexpr int kBarSize = 16;
// A zoom this small still shows something of a page in a box too small for it.
constexpr double kSmallestZoom = 0.01;

bool Meets(const TRect& a, const TRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

TRect Moved(const TRect& r, int dx, int dy) { return Rect(r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy); }

int Scaled(int length, double factor) { return static_cast<int>(std::lround(length * factor)); }

// Pages go back to the report for the time of a call and come back whatever
// the call does.
class LentPages {
 public:
  explicit LentPages(TfrPreviewForm& form) : form_(form) { form_.ReturnPages(); }
  ~LentPages() { form_.TakePages(form_.Report()); }
  LentPages(const LentPages&) = delete;
  LentPages& operator=(const LentPages&) = delete;

 private:
  TfrPreviewForm& form_;
};

void ReportError() {
  try {
    throw;
  } catch (const std::exception& e) {
    Application->ShowException(e);
  }
}

// The scroll box: the window's keys arrive here, Esc among them.
class TfrScrollBox : public TPanel {
 public:
  using TPanel::TPanel;

 protected:
  bool WantSpecialKey(uint16_t key) const override { return key == VK_ESCAPE; }
};

}  // namespace

TfrLastZoom& frLastZoom() {
  static TfrLastZoom zoom;
  return zoom;
}

namespace {

// The metafile a search canvas hands its base and never fills.
struct UnusedMetafile {
  TMetafile unused;
};

// A metafile canvas that keeps nothing: it numbers the drawing calls as a
// metafile records them and looks for the search text in each text drawn.
// Searching hundreds of pages then costs no copies of records.
class TextSearchCanvas : private UnusedMetafile, public TMetafileCanvas {
 public:
  TextSearchCanvas(const AnsiString& text, bool case_sensitive, int from_record)
      : TMetafileCanvas(unused), text_(text), case_sensitive_(case_sensitive), from_(from_record) {}

  const std::optional<TfrTextHit>& Hit() const { return hit_; }

  void FillRect(const TRect&) override { ++records_; }
  void Rectangle(int, int, int, int) override { ++records_; }
  void Ellipse(int, int, int, int) override { ++records_; }
  void Polygon(const TPoint*, int count) override { records_ += count > 0; }
  void PolyPolygon(const TPoint*, const int* counts, int rings, TFillRule) override {
    // Recorded when some ring has points, as the recording does.
    records_ += std::any_of(counts, counts + rings, [](int n) { return n > 0; });
  }
  void TextOut(int x, int y, const AnsiString& text) override {
    const int index = records_++;
    if (hit_ || index < from_ || text_.empty()) return;
    const bool contains = case_sensitive_ ? text.find(text_) != AnsiString::npos
                                          : AnsiUpperCase(text).find(text_) != AnsiString::npos;
    if (contains) hit_ = TfrTextHit{index, Bounds(x, y, TextWidth(text), TextHeight(text))};
  }
  void Draw(int, int, TBitmap&) override { ++records_; }
  void SetPixel(int, int, TColor) override { ++records_; }
  void PushClip(const TRect&) override { ++records_; }
  void PopClip() override { ++records_; }

 protected:
  void Line(int, int, int, int) override { ++records_; }

 private:
  AnsiString text_;
  bool case_sensitive_;
  int from_;
  int records_ = 0;
  std::optional<TfrTextHit> hit_;
};

// Whether drawing the page could show the text: a text object draws pieces
// of its lines and nothing else, pictures and lines draw no text; objects of
// other classes may draw any text.
bool MayShowText(const TfrPage& page, const AnsiString& text, bool case_sensitive) {
  for (const auto& view : page.Objects) {
    switch (view->TypeCode) {
      case gtMemo:
        for (int i = 0; i < view->Memo.Count(); ++i) {
          const AnsiString& line = view->Memo.Strings(i);
          if ((case_sensitive ? line : AnsiUpperCase(line)).find(text) != AnsiString::npos) return true;
        }
        break;
      case gtPicture:
      case gtLine:
      case gtBand:
      case gtSubReport: break;
      default: return true;
    }
  }
  return false;
}

}  // namespace

std::optional<TfrTextHit> FindTextOnPage(TfrEMFPages& pages, int index, const AnsiString& text,
                                         bool case_sensitive, int from_record) {
  TfrPageInfo& page = pages.Pages(index);
  const bool was_visible = page.Visible;
  TextSearchCanvas canvas(text, case_sensitive, std::max(0, from_record));
  page.Visible = true;
  // Most pages of a long report lack the text; they are not drawn at all.
  pages.ObjectsToPage(index);
  if (!page.Page || MayShowText(*page.Page, text, case_sensitive))
    pages.DrawPage(index, &canvas, Rect(0, 0, page.Metrics.PageWidth, page.Metrics.PageHeight));
  if (!was_visible) {
    // Drawing a page the preview does not show frees its objects again.
    page.Visible = false;
    pages.DrawPage(index, &canvas, TRect{});
  }
  return canvas.Hit();
}

// ---- TfrPBox ----------------------------------------------------------------------

TfrPBox::TfrPBox(TComponent* owner) : TPanel(owner) {
  SetBevelOuter(bvNone);
  SetTag(207);
  SetColor(kBoxColor);
}

void TfrPBox::Paint() {
  TfrPreviewForm* f = Preview;
  if (!f || !f->paint_allowed_) return;
  TCanvas& canvas = Canvas();
  TfrEMFPages* pages = f->pages_.get();
  if (!pages || pages->Count() == 0) {
    canvas.Brush().SetColor(clBtnFace);
    canvas.Brush().SetStyle(bsSolid);
    canvas.FillRect(ClientRect());
    return;
  }
  const TRect box = ClientRect();
  const TRect dirty = PaintRect();
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(kBoxColor);
  canvas.FillRect(dirty);
  for (int i = 0; i < pages->Count(); ++i) {
    TfrPageInfo& info = pages->Pages(i);
    const TRect r = Moved(info.PreviewRect, f->ofs_x_, f->ofs_y_);
    // Whatever its place on the box, a page that meets the box is shown.
    info.Visible = Meets(r, box);
    if (!info.Visible) {
      pages->DrawPage(i, &canvas, TRect{});
      continue;
    }
    if (!Meets(Rect(r.Left, r.Top, r.Right + 1, r.Bottom + 1), dirty)) continue;
    canvas.Pen().SetColor(clBlack);
    canvas.Pen().SetStyle(psSolid);
    canvas.Pen().SetWidth(1);
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(clWhite);
    canvas.Rectangle(r.Left, r.Top, r.Right, r.Bottom);
    canvas.MoveTo(r.Left + 1, r.Bottom);
    canvas.LineTo(r.Right + 1, r.Bottom);
    canvas.MoveTo(r.Right, r.Top + 1);
    canvas.LineTo(r.Right, r.Bottom + 1);
    pages->DrawPage(i, &canvas, Moved(f->PageDrawRect(i), f->ofs_x_, f->ofs_y_));
  }
  if (f->found_ && f->found_page_ >= 0 && f->found_page_ < pages->Count() && pages->Pages(f->found_page_).Visible) {
    // The found text inverted: the page under it drawn again into a picture
    // of its own, turned to its negative and put back.
    const TRect found = Moved(f->FoundRect(), f->ofs_x_, f->ofs_y_);
    if (found.Width() > 0 && found.Height() > 0 && Meets(found, dirty)) {
      TBitmap picture;
      picture.SetSize(found.Width(), found.Height());
      TCanvas& pc = picture.Canvas();
      pages->DrawPage(f->found_page_, &pc, Moved(f->PageDrawRect(f->found_page_), f->ofs_x_ - found.Left,
                                                 f->ofs_y_ - found.Top));
      for (int y = 0; y < found.Height(); ++y)
        for (int x = 0; x < found.Width(); ++x) {
          const TColor c = pc.Pixel(x, y);
          pc.SetPixel(x, y, static_cast<TColor>(~c & 0xFFFFFF));
        }
      canvas.Draw(found.Left, found.Top, picture);
    }
  }
}

void TfrPBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TPanel::MouseDown(button, shift, x, y);
  TfrPreviewForm* f = Preview;
  if (!f || !f->pages_) return;
  const int page = f->PageAt(x, y);
  if (button == mbRight) {
    TPopupMenu* menu = f->Embedder && f->Embedder->PopupMenu() ? f->Embedder->PopupMenu() : f->ProcMenu;
    const TPoint at = ClientToScreen(TPoint{x, y});
    menu->Popup(at.x, at.y);
    return;
  }
  if (button != mbLeft) return;
  if (double_clicked_) {
    double_clicked_ = false;
    return;
  }
  LastClickedPage = page + 1;
  if (page >= 0) {
    int cursor = crDefault;
    if (f->ObjectAtMouse(page, x, y, true, cursor)) return;
  }
  down_ = true;
  last_ = TPoint{x, y};
  if (page >= 0) f->SetCurrentPage(page + 1);
}

void TfrPBox::MouseMove(TShiftState shift, int x, int y) {
  TPanel::MouseMove(shift, x, y);
  TfrPreviewForm* f = Preview;
  if (!f || !f->pages_) return;
  if (down_) {
    f->HScrollBar->SetPosition(f->HScrollBar->Position() - (x - last_.x));
    f->VScrollBar->SetPosition(f->VScrollBar->Position() - (y - last_.y));
    last_ = TPoint{x, y};
    return;
  }
  if (!f->report_ || !f->report_->OnMouseOverObject) return;
  int cursor = crDefault;
  const int page = f->PageAt(x, y);
  if (page >= 0) f->ObjectAtMouse(page, x, y, false, cursor);
  SetCursor(cursor);
}

void TfrPBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TPanel::MouseUp(button, shift, x, y);
  down_ = false;
}

void TfrPBox::DblClick() {
  TPanel::DblClick();
  double_clicked_ = true;
  down_ = false;
  if (Preview && LastClickedPage > 0) Preview->SetCurrentPage(LastClickedPage);
}

void TfrPBox::MouseWheel(TShiftState shift, int delta, int x, int y) {
  TPanel::MouseWheel(shift, delta, x, y);
  if (!Preview) return;
  TScrollBar* bar = Preview->VScrollBar;
  bar->SetPosition(bar->Position() - delta / 120 * bar->SmallChange() * Preview->WheelMultiplier);
}

void TfrPBox::KeyDown(uint16_t& key, TShiftState shift) {
  if (Preview) Preview->FormKeyDown(key, shift);
  if (key != 0) TPanel::KeyDown(key, shift);
}

void TfrPBox::Resize() {
  TPanel::Resize();
  if (Preview) Preview->FormResize();
}

// ---- TfrPreviewForm ---------------------------------------------------------------

const TClassInfo& TfrPreviewForm::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TfrPreviewForm>, "TfrPreviewForm", &TComponent::StaticClassInfo(),
                               [](TPublisher<TfrPreviewForm>&) {});
  return info;
}

namespace {

// A panel without edge, aligned on its parent.
TPanel* MakePanel(TComponent* owner, const char* name, TWinControl* parent, TAlign align, int width, int height) {
  auto* panel = PlaceControl(new TPanel(owner), name, parent, 0, 0, width, height);
  panel->SetBevelOuter(bvNone);
  panel->SetAlign(align);
  return panel;
}

TfrTBButton* MakeButton(TComponent* owner, const char* name, TWinControl* parent, int tag, int width,
                        std::function<void()> click) {
  auto* button = PlaceControl(new TfrTBButton(owner), name, parent, 0, 0, width, 27);
  button->SetTag(tag);
  button->SetGrayedInactive(false);
  button->OnClick = [click = std::move(click)](TComponent*) { click(); };
  return button;
}

TfrTBSeparator* MakeSeparator(TComponent* owner, const char* name, TWinControl* parent) {
  auto* separator = PlaceControl(new TfrTBSeparator(owner), name, parent, 0, 0, 8, 27);
  separator->SetDrawBevel(false);
  return separator;
}

enum class Glyph { Load, Save, Print, PageSetup, Find, Help, PageUp, PageDown };

// The buttons' pictures, 16 x 16 on olive, the colour left out when drawn.
void DrawGlyph(TBitmap& bitmap, Glyph kind) {
  bitmap.SetSize(16, 16);
  TCanvas& c = bitmap.Canvas();
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(clOlive);
  c.FillRect(Rect(0, 0, 16, 16));
  c.Pen().SetColor(clBlack);
  c.Pen().SetWidth(1);
  auto polygon = [&](std::initializer_list<TPoint> points, TColor fill) {
    c.Brush().SetColor(fill);
    c.Polygon(points.begin(), static_cast<int>(points.size()));
  };
  switch (kind) {
    case Glyph::Load:
      polygon({{1, 3}, {6, 3}, {7, 5}, {13, 5}, {13, 13}, {1, 13}}, 0x00C0E0);
      polygon({{3, 8}, {15, 8}, {13, 13}, {1, 13}}, clYellow);
      break;
    case Glyph::Save:
      polygon({{1, 1}, {14, 1}, {14, 14}, {1, 14}}, clNavy);
      polygon({{4, 1}, {11, 1}, {11, 6}, {4, 6}}, clWhite);
      polygon({{4, 9}, {11, 9}, {11, 14}, {4, 14}}, clSilver);
      break;
    case Glyph::Print:
      polygon({{4, 1}, {11, 1}, {11, 6}, {4, 6}}, clWhite);
      polygon({{1, 6}, {14, 6}, {14, 12}, {1, 12}}, clSilver);
      polygon({{4, 10}, {11, 10}, {11, 14}, {4, 14}}, clWhite);
      break;
    case Glyph::PageSetup:
      polygon({{3, 1}, {12, 1}, {12, 14}, {3, 14}}, clWhite);
      c.Pen().SetStyle(psDot);
      c.MoveTo(5, 4);
      c.LineTo(11, 4);
      c.MoveTo(5, 11);
      c.LineTo(11, 11);
      c.Pen().SetStyle(psSolid);
      break;
    case Glyph::Find:
      c.Brush().SetColor(clWhite);
      c.Ellipse(1, 1, 10, 10);
      c.Pen().SetWidth(2);
      c.MoveTo(9, 9);
      c.LineTo(14, 14);
      c.Pen().SetWidth(1);
      break;
    case Glyph::Help:
      c.Brush().SetStyle(bsClear);
      c.Font().SetName("Arial");
      c.Font().SetHeight(-14);
      c.Font().SetStyle(TFontStyles{fsBold});
      c.Font().SetColor(clNavy);
      c.TextOut(4, 0, "?");
      break;
    case Glyph::PageUp: polygon({{8, 4}, {13, 10}, {3, 10}}, clBlack); break;
    case Glyph::PageDown: polygon({{3, 5}, {13, 5}, {8, 11}}, clBlack); break;
  }
}

void SetGlyph(TfrSpeedButton* button, Glyph kind) {
  TBitmap bitmap;
  DrawGlyph(bitmap, kind);
  button->SetGlyph(bitmap);
}

}  // namespace

TfrPreviewForm::TfrPreviewForm(TComponent* owner) : TForm(owner) {
  SetName("frPreviewForm");
  SetCaption("Print preview");
  SetBounds(100, 80, 640, 480);
  SetWindowState(wsMaximized);

  TopPanel = MakePanel(this, "TopPanel", this, alTop, 640, 27);
  Panel1 = MakePanel(this, "Panel1", TopPanel, alClient, 640, 27);
  ZoomBtn = MakeButton(this, "ZoomBtn", Panel1, 200, 64, [this] { ZoomBtnClick(); });
  frTBSeparator1 = MakeSeparator(this, "frTBSeparator1", Panel1);
  LoadBtn = MakeButton(this, "LoadBtn", Panel1, 201, 27, [this] { LoadBtnClick(); });
  SaveBtn = MakeButton(this, "SaveBtn", Panel1, 202, 27, [this] { SaveBtnClick(); });
  PrintBtn = MakeButton(this, "PrintBtn", Panel1, 203, 27, [this] { PrintBtnClick(); });
  PageSetupBtn = MakeButton(this, "PageSetupBtn", Panel1, 203, 27, [this] { PageSetupBtnClick(); });
  frTBSeparator2 = MakeSeparator(this, "frTBSeparator2", Panel1);
  FindBtn = MakeButton(this, "FindBtn", Panel1, 204, 27, [this] { FindBtnClick(); });
  frTBSeparator3 = MakeSeparator(this, "frTBSeparator3", Panel1);
  HelpBtn = MakeButton(this, "HelpBtn", Panel1, 0, 27, [this] { HelpBtnClick(); });
  ExitBtn = MakeButton(this, "ExitBtn", Panel1, 205, 64, [this] { ExitBtnClick(); });
  ZoomBtn->SetCaption("100%");
  SetGlyph(LoadBtn, Glyph::Load);
  SetGlyph(SaveBtn, Glyph::Save);
  SetGlyph(PrintBtn, Glyph::Print);
  SetGlyph(PageSetupBtn, Glyph::PageSetup);
  SetGlyph(FindBtn, Glyph::Find);
  SetGlyph(HelpBtn, Glyph::Help);

  PreviewPanel = MakePanel(this, "PreviewPanel", this, alClient, 640, 453);
  RPanel = MakePanel(this, "RPanel", PreviewPanel, alRight, kBarSize, 437);
  PgUp = PlaceControl(new TfrSpeedButton(this), "PgUp", RPanel, 0, 0, kBarSize, kBarSize);
  SetGlyph(PgUp, Glyph::PageUp);
  PgUp->OnClick = [this](TComponent*) { PgUpClick(); };
  PgDown = PlaceControl(new TfrSpeedButton(this), "PgDown", RPanel, 0, 0, kBarSize, kBarSize);
  SetGlyph(PgDown, Glyph::PageDown);
  PgDown->OnClick = [this](TComponent*) { PgDownClick(); };
  VScrollBar = PlaceControl(new TScrollBar(this), "VScrollBar", RPanel, 0, 0, kBarSize, 100);
  VScrollBar->SetKind(sbVertical);
  BPanel = MakePanel(this, "BPanel", PreviewPanel, alBottom, 640, kBarSize);
  Bevel1 = PlaceControl(new TBevel(this), "Bevel1", BPanel, 0, 0, 100, kBarSize);
  Label1 = PlaceControl(new TLabel(this), "Label1", BPanel, 4, 1, 92, 13);
  Label1->SetTag(206);
  HScrollBar = PlaceControl(new TScrollBar(this), "HScrollBar", BPanel, 101, 0, 523, kBarSize);
  for (TScrollBar* bar : {VScrollBar, HScrollBar}) {
    bar->SetMax(32000);
    bar->SetLargeChange(200);
    bar->SetSmallChange(10);
  }
  VScrollBar->OnChange = [this](TComponent*) { VScrollChange(); };
  HScrollBar->OnChange = [this](TComponent*) { HScrollChange(); };
  ScrollBox1 = PlaceControl(new TfrScrollBox(this), "ScrollBox1", PreviewPanel, 0, 0, 624, 437);
  ScrollBox1->SetBevelOuter(bvNone);
  ScrollBox1->SetAlign(alClient);
  ScrollBox1->SetTabStop(true);
  ScrollBox1->OnKeyDown = [this](TComponent*, uint16_t& key, TShiftState shift) { FormKeyDown(key, shift); };
  PBox = PlaceControl(new TfrPBox(this), "PBox", ScrollBox1, 0, 0, 624, 437);
  PBox->Preview = this;
  PBox->SetAlign(alClient);

  ProcMenu = new TPopupMenu(this);
  ProcMenu->SetName("ProcMenu");
  struct ZoomItem {
    TMenuItem** item;
    const char* name;
    const char* caption;
    int tag;
  };
  const ZoomItem items[] = {{&N2001, "N2001", "200%", 200}, {&N1501, "N1501", "150%", 150},
                            {&N1001, "N1001", "100%", 100}, {&N751, "N751", "75%", 75},
                            {&N501, "N501", "50%", 50},     {&N251, "N251", "25%", 25},
                            {&N101, "N101", "10%", 10},     {&N1, "N1", "Page width", 1},
                            {&N2, "N2", "Whole page", 2},   {&N3, "N3", "Two pages", 3}};
  for (const ZoomItem& z : items) {
    auto* item = new TMenuItem(this);
    item->SetName(z.name);
    item->SetCaption(z.caption);
    item->SetTag(z.tag);
    const int tag = z.tag;
    item->OnClick = [this, tag](TComponent*) { ZoomChosen(tag); };
    ProcMenu->Items().Add(item);
    *z.item = item;
  }
  N1001->SetChecked(true);
  N4 = new TMenuItem(this);
  N4->SetName("N4");
  N4->SetCaption("-");
  N5 = new TMenuItem(this);
  N5->SetName("N5");
  N6 = new TMenuItem(this);
  N6->SetName("N6");
  N7 = new TMenuItem(this);
  N7->SetName("N7");
  for (TMenuItem* item : {N4, N5, N6, N7}) ProcMenu->Items().Add(item);

  OpenDialog = new TOpenDialog(this);
  OpenDialog->SetName("OpenDialog");
  SaveDialog = new TSaveDialog(this);
  SaveDialog->SetName("SaveDialog");

  // The texts of the window, from the library.
  N1->SetCaption(LoadReportString(kTextPageWidth));
  N2->SetCaption(LoadReportString(kTextWholePage));
  N3->SetCaption(LoadReportString(kTextTwoPages));
  N5->SetCaption(LoadReportString(kTextEditPage));
  N6->SetCaption(LoadReportString(kTextAddPage));
  N7->SetCaption(LoadReportString(kTextRemovePage));
  ZoomBtn->SetHint(LoadReportString(kTextZoom));
  LoadBtn->SetHint(LoadReportString(kTextLoad));
  SaveBtn->SetHint(LoadReportString(kTextSave));
  PrintBtn->SetHint(LoadReportString(kTextPrint));
  FindBtn->SetHint(LoadReportString(kTextFind));
  HelpBtn->SetHint(LoadReportString(kTextHelp));
  ExitBtn->SetHint(LoadReportString(kTextExit));
  ExitBtn->SetCaption(LoadReportString(kTextExit));

  OnShow = [this](TComponent*) { FormShow(); };
  OnClose = [this](TComponent*, TCloseAction& action) { FormClose(action); };
  PlaceBars();
}

// The owned controls may be gone already (an owner frees what its parts
// own before them), so only the pages are freed here.
TfrPreviewForm::~TfrPreviewForm() { pages_.reset(); }

int TfrPreviewForm::PageCount() const { return pages_ ? pages_->Count() : 0; }

void TfrPreviewForm::ShowPages(TfrReport* report) {
  TakePages(report);
  Configure();
  ApplyZoom(true);
  saved_help_file_ = Application->HelpFile();
  if (report && report->ModalPreview) {
    ShowModal();
    // The pages go with the window, which is freed once its events are
    // handled: the report is left without pages.
    pages_.reset();
    paint_allowed_ = false;
    ReleaseForm(this);
  } else {
    Show();
  }
}

void TfrPreviewForm::TakePages(TfrReport* report) {
  report_ = report;
  if (report_) pages_ = report_->TakeBuiltPages();
}

void TfrPreviewForm::ReportGone() {
  pages_.reset();
  if (!ComponentState().Contains(csDestroying)) RefreshPages(false);
}

void TfrPreviewForm::ReturnPages() {
  if (report_ && pages_) report_->PutBuiltPages(std::move(pages_));
  pages_.reset();
}

void TfrPreviewForm::Configure() {
  if (!report_) return;
  const TfrPreviewButtons buttons = report_->PreviewButtons;
  const bool own_toolbar = TopPanel->Parent() == this;
  ZoomBtn->SetVisible(buttons.Contains(pbZoom));
  LoadBtn->SetVisible(buttons.Contains(pbLoad));
  SaveBtn->SetVisible(buttons.Contains(pbSave));
  PrintBtn->SetVisible(buttons.Contains(pbPrint));
  FindBtn->SetVisible(buttons.Contains(pbFind));
  HelpBtn->SetVisible(buttons.Contains(pbHelp) && own_toolbar);
  ExitBtn->SetVisible(buttons.Contains(pbExit) && own_toolbar);
  PageSetupBtn->SetVisible(buttons.Contains(pbPageSetup));
  frTBSeparator1->SetVisible(ZoomBtn->Visible());
  frTBSeparator3->SetVisible(FindBtn->Visible() || HelpBtn->Visible());
  PrintBtn->SetEnabled(GlobalPrinterLayer().HasSystemPrinters());
  PageSetupBtn->SetEnabled(PrintBtn->Enabled());
  // Page editing needs a report designer, which this system has none of.
  for (TMenuItem* item : {N4, N5, N6, N7}) item->SetVisible(false);
  switch (report_->InitialZoom) {
    case pzPageWidth: frLastZoom().Mode = kZoomPageWidth; break;
    case pzOnePage: frLastZoom().Mode = kZoomWholePage; break;
    case pzTwoPages: frLastZoom().Mode = kZoomTwoPages; break;
    case pzDefault: break;
  }
  try {
    TRegistry registry;
    registry.OpenKey("\\Software\\ReportEngine\\" + Application->Title(), true);
  } catch (const std::exception&) {
    // A settings store that cannot be written costs nothing here.
  }
  for (TfrTBButton* button : {ZoomBtn, LoadBtn, SaveBtn, PrintBtn, FindBtn, HelpBtn, ExitBtn, PageSetupBtn})
    button->SetGrayedInactive(report_->GrayedButtons);
}

void TfrPreviewForm::CheckZoomItem() {
  TMenuItem* checked = nullptr;
  if (zoom_mode_ == kZoomPageWidth) checked = N1;
  else if (zoom_mode_ == kZoomWholePage) checked = N2;
  else if (zoom_mode_ == kZoomTwoPages) checked = N3;
  else
    for (TMenuItem* item : {N2001, N1501, N1001, N751, N501, N251, N101})
      if (item->Tag() == Scaled(100, zoom_)) checked = item;
  for (TMenuItem* item : {N2001, N1501, N1001, N751, N501, N251, N101, N1, N2, N3}) item->SetChecked(item == checked);
}

void TfrPreviewForm::ApplyZoom(bool reset) {
  zoom_ = frLastZoom().Factor;
  zoom_mode_ = frLastZoom().Mode;
  CheckZoomItem();
  if (reset) {
    cur_page_ = 1;
    ofs_x_ = ofs_y_ = 0;
    last_hpos_ = last_vpos_ = 0;
    placing_ = true;
    VScrollBar->SetPosition(0);
    HScrollBar->SetPosition(0);
    placing_ = false;
  }
  ShowPageInfo();
  Layout();
  ForgetPageDrawings();
  N7->SetEnabled(PageCount() > 1);
  PBox->Invalidate();
}

void TfrPreviewForm::ForgetPageDrawings() {
  if (!pages_) return;
  TCanvas& canvas = frScratchCanvas();
  for (int i = 0; i < pages_->Count(); ++i) {
    pages_->Pages(i).Visible = false;
    pages_->DrawPage(i, &canvas, TRect{});
  }
}

void TfrPreviewForm::ShowPageInfo() {
  Label1->SetCaption(LoadReportString(kTextPage) + " " + IntToStr(cur_page_) + "/" + IntToStr(PageCount()));
  if (Embedder && Embedder->OnPageChanged) Embedder->OnPageChanged(Embedder, cur_page_);
}

void TfrPreviewForm::SetCurrentPage(int page) {
  if (PageCount() == 0) return;
  cur_page_ = std::clamp(page, 1, PageCount());
  ShowPageInfo();
}

TRect TfrPreviewForm::PageDrawRect(int index) const {
  const TfrPageInfo& page = pages_->Pages(index);
  const TRect& r = page.PreviewRect;
  if (page.UseMargins) return r;
  const PageMetrics& m = page.Metrics;
  const int left = r.Left + Scaled(m.LeftOffset + page.LeftMargin, zoom_);
  const int top = r.Top + Scaled(m.TopOffset + page.TopMargin, zoom_);
  return Bounds(left, top, Scaled(m.PrintableWidth - page.LeftMargin - page.RightMargin, zoom_),
                Scaled(m.PrintableHeight - page.TopMargin - page.BottomMargin, zoom_));
}

int TfrPreviewForm::PageAt(int x, int y) const {
  for (int i = 0; i < PageCount(); ++i) {
    const TRect r = Moved(pages_->Pages(i).PreviewRect, ofs_x_, ofs_y_);
    if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) return i;
  }
  return -1;
}

bool TfrPreviewForm::ObjectAtMouse(int page, int x, int y, bool clicked, int& cursor) {
  const TRect r = Moved(pages_->Pages(page).PreviewRect, ofs_x_, ofs_y_);
  const TPoint at{static_cast<int>(std::lround((x - r.Left) / zoom_)), static_cast<int>(std::lround((y - r.Top) / zoom_))};
  return pages_->ObjectAtPoint(page, at, clicked, cursor);
}

void TfrPreviewForm::PlaceBars() {
  PgDown->SetTop(std::max(0, RPanel->Height() - kBarSize));
  PgUp->SetTop(std::max(0, PgDown->Top() - kBarSize));
  VScrollBar->SetBounds(0, 0, kBarSize, PgUp->Top());
  const int right = RPanel->Visible() ? VScrollBar->Width() : 0;
  HScrollBar->SetWidth(std::max(0, BPanel->Width() - HScrollBar->Left() - right));
}

void TfrPreviewForm::FormResize() { Layout(); }

void TfrPreviewForm::Layout() {
  PlaceBars();
  if (PageCount() == 0) return;
  paint_allowed_ = false;
  const int box_w = PBox->ClientWidth();
  const int box_h = PBox->ClientHeight();
  const TfrPageInfo& current = pages_->Pages(cur_page_ - 1);
  // A page without a size on this device keeps the zoom it had.
  const int w = current.Metrics.PageWidth;
  const int h = current.Metrics.PageHeight;
  if (zoom_mode_ == kZoomPageWidth && w > 0) zoom_ = (box_w - 20) / static_cast<double>(w);
  if (zoom_mode_ == kZoomWholePage && h > 0) zoom_ = (box_h - 20) / static_cast<double>(h);
  if (zoom_mode_ == kZoomTwoPages && w > 0) zoom_ = (box_w - 30) / (2.0 * w);
  zoom_ = std::max(zoom_, kSmallestZoom);
  ZoomBtn->SetCaption(IntToStr(Scaled(100, zoom_)) + "%");

  const int count = pages_->Count();
  if (zoom_mode_ == kZoomWholePage) {
    per_row_ = 1;
  } else if (zoom_mode_ == kZoomTwoPages) {
    per_row_ = 2;
  } else {
    per_row_ = 0;
    int x = kGap;
    for (int i = 0; i < count; ++i) {
      x += kGap + Scaled(pages_->Pages(i).Metrics.PageWidth, zoom_);
      if (x > box_w) break;
      ++per_row_;
    }
    per_row_ = std::max(per_row_, 1);
  }

  int y = kGap;
  int right = 0, bottom = 0;
  for (int first = 0; first < count; first += per_row_) {
    int x = kGap;
    int row_height = 0;
    for (int i = first; i < std::min(count, first + per_row_); ++i) {
      TfrPageInfo& page = pages_->Pages(i);
      const int pw = Scaled(page.Metrics.PageWidth, zoom_);
      const int ph = Scaled(page.Metrics.PageHeight, zoom_);
      if (per_row_ == 1 && pw < box_w) x = (box_w - pw) / 2;
      page.PreviewRect = Bounds(x, y, pw, ph);
      x += pw + kGap;
      row_height = std::max(row_height, ph);
      right = std::max(right, page.PreviewRect.Right);
      bottom = std::max(bottom, page.PreviewRect.Bottom);
    }
    y += row_height + kGap;
  }

  placing_ = true;
  const int hmax = right - box_w < 0 ? 0 : right - box_w + kGap;
  const int vmax = bottom - box_h < 0 ? 0 : bottom - box_h + kGap;
  HScrollBar->SetMax(hmax);
  HScrollBar->SetEnabled(hmax != 0);
  VScrollBar->SetMax(vmax);
  VScrollBar->SetEnabled(vmax != 0);
  ofs_x_ = -HScrollBar->Position();
  ofs_y_ = -VScrollBar->Position();
  placing_ = false;
  if (Showing() && ScrollBox1->CanFocus()) ScrollBox1->SetFocus();
  ScrollToPage();
  paint_allowed_ = true;
  PBox->Invalidate();
}

void TfrPreviewForm::ScrollToPage() {
  if (PageCount() == 0) return;
  // A page of the last rows may not come up to the top; it stays the
  // current page all the same.
  const bool placing = placing_;
  placing_ = true;
  VScrollBar->SetPosition(pages_->Pages(cur_page_ - 1).PreviewRect.Top - kGap);
  placing_ = placing;
  PBox->Invalidate();
}

void TfrPreviewForm::VScrollChange() {
  const int pos = VScrollBar->Position();
  ofs_y_ = -pos;
  last_vpos_ = pos;
  PBox->Invalidate();
  if (placing_ || PageCount() == 0) return;
  // The page at the window's top becomes current; the current page stays so
  // while it is there (the second page of a row among them).
  const int line = 11 - ofs_y_;
  auto spans = [&](int i) {
    const TRect& r = pages_->Pages(i).PreviewRect;
    return r.Top <= line && r.Bottom >= line;
  };
  if (spans(cur_page_ - 1)) return;
  for (int i = 0; i < PageCount(); ++i)
    if (spans(i)) {
      SetCurrentPage(i + 1);
      break;
    }
}

void TfrPreviewForm::HScrollChange() {
  const int pos = HScrollBar->Position();
  ofs_x_ = -pos;
  last_hpos_ = pos;
  PBox->Invalidate();
}

void TfrPreviewForm::ZoomBtnClick() {
  for (TMenuItem* item : {N4, N5, N6, N7}) item->SetVisible(false);
  const TPoint at = ZoomBtn->ClientToScreen(TPoint{0, ZoomBtn->Height()});
  ProcMenu->Popup(at.x, at.y);
}

void TfrPreviewForm::ZoomChosen(int tag) {
  ofs_x_ = 0;
  if (tag >= kZoomPageWidth && tag <= kZoomTwoPages) {
    zoom_mode_ = tag;
  } else {
    zoom_mode_ = kZoomFactor;
    zoom_ = tag / 100.0;
  }
  CheckZoomItem();
  placing_ = true;
  HScrollBar->SetPosition(0);
  placing_ = false;
  Layout();
  frLastZoom() = TfrLastZoom{zoom_, zoom_mode_};
  PBox->Invalidate();
}

void TfrPreviewForm::PgUpClick() {
  if (cur_page_ <= 1) return;
  SetCurrentPage(cur_page_ - 1);
  ScrollToPage();
}

void TfrPreviewForm::PgDownClick() {
  if (cur_page_ >= PageCount()) return;
  SetCurrentPage(cur_page_ + 1);
  ScrollToPage();
}

void TfrPreviewForm::FormKeyDown(uint16_t& key, TShiftState shift) {
  if (key == VK_ESCAPE) {
    key = 0;
    ExitBtnClick();
    return;
  }
  if (PageCount() == 0) return;
  const bool ctrl = shift.Contains(ssCtrl);
  auto step = [](TScrollBar* bar, int by) { bar->SetPosition(bar->Position() + by); };
  const uint16_t pressed = key;
  key = 0;
  switch (pressed) {
    case VK_UP: step(VScrollBar, -VScrollBar->SmallChange()); return;
    case VK_DOWN: step(VScrollBar, VScrollBar->SmallChange()); return;
    case VK_LEFT: step(HScrollBar, -HScrollBar->SmallChange()); return;
    case VK_RIGHT: step(HScrollBar, HScrollBar->SmallChange()); return;
    // A whole page in view pages by whole pages, not by a part of one.
    case VK_PRIOR:
      if (ctrl || zoom_mode_ == kZoomWholePage) PgUpClick();
      else step(VScrollBar, -VScrollBar->LargeChange());
      return;
    case VK_NEXT:
      if (ctrl || zoom_mode_ == kZoomWholePage) PgDownClick();
      else step(VScrollBar, VScrollBar->LargeChange());
      return;
    case VK_SPACE: ZoomBtnClick(); return;
    default: break;
  }
  if (ctrl) {
    switch (pressed) {
      case VK_HOME: VScrollBar->SetPosition(0); return;
      case VK_END:
        SetCurrentPage(PageCount());
        ScrollToPage();
        return;
      case 'O': LoadBtnClick(); return;
      case 'S': SaveBtnClick(); return;
      case 'F': FindBtnClick(); return;
      case 'P':
        if (PrintBtn->Enabled()) PrintBtnClick();
        return;
      case 'E': return;
      default: break;
    }
  } else if (pressed == VK_F3) {
    if (!find_text_.empty()) {
      // Moved to another page since: the search goes on from that page's start.
      if (cur_page_ - 1 != search_page_) {
        search_page_ = cur_page_ - 1;
        search_record_ = 0;
      }
      FindNext();
    }
    return;
  }
  key = pressed;
}

// ---- Search -----------------------------------------------------------------------

void TfrPreviewForm::FindBtnClick() {
  if (PageCount() == 0) return;
  // A new dialog every time, so that its text starts empty.
  TfrPreviewSearchForm dialog(nullptr);
  dialog.AfterConstruction();
  if (dialog.ShowModal() != mrOk) return;
  StartSearch(dialog.Edit1->Text(), dialog.CB1->Checked(), dialog.RB1->Checked());
}

void TfrPreviewForm::StartSearch(const AnsiString& text, bool case_sensitive, bool from_start) {
  case_sensitive_ = case_sensitive;
  find_text_ = case_sensitive ? text : AnsiUpperCase(text);
  if (from_start) {
    search_page_ = 0;
    search_record_ = 0;
  } else {
    if (cur_page_ - 1 != search_page_) search_record_ = 0;
    search_page_ = cur_page_ - 1;
  }
  FindNext();
}

TRect TfrPreviewForm::FoundRect() const {
  if (!found_ || !pages_ || found_page_ < 0 || found_page_ >= pages_->Count()) return TRect{};
  const TfrPageInfo& page = pages_->Pages(found_page_);
  const TRect area = PageDrawRect(found_page_);
  const int w = page.Metrics.PageWidth, h = page.Metrics.PageHeight;
  if (w <= 0 || h <= 0) return TRect{};
  const double kx = area.Width() / static_cast<double>(w);
  const double ky = area.Height() / static_cast<double>(h);
  return Rect(area.Left + Scaled(found_rect_.Left, kx), area.Top + Scaled(found_rect_.Top, ky),
              area.Left + Scaled(found_rect_.Right, kx), area.Top + Scaled(found_rect_.Bottom, ky));
}

void TfrPreviewForm::FindNext() {
  if (find_text_.empty() || PageCount() == 0) return;
  for (int i = std::max(0, search_page_); i < PageCount(); ++i) {
    const int from = i == search_page_ ? search_record_ : 0;
    const std::optional<TfrTextHit> hit = FindTextOnPage(*pages_, i, find_text_, case_sensitive_, from);
    if (!hit) continue;
    found_ = true;
    found_page_ = i;
    found_rect_ = hit->Bounds;
    search_page_ = i;
    search_record_ = hit->Record + 1;
    SetCurrentPage(i + 1);
    // The found text in view: its bottom at the window's bottom when it
    // would lie below it, else the page's top 10 pixels below the window's top.
    const TRect page = pages_->Pages(i).PreviewRect;
    const TRect text = FoundRect();
    int vpos = page.Top - kGap;
    if (text.Bottom - vpos > PBox->ClientHeight()) vpos = text.Bottom - PBox->ClientHeight();
    int hpos = page.Left - kGap;
    if (text.Right - hpos > PBox->ClientWidth()) hpos = text.Right - PBox->ClientWidth();
    // The found page stays current even where the view cannot bring it up.
    placing_ = true;
    VScrollBar->SetPosition(vpos);
    HScrollBar->SetPosition(hpos);
    placing_ = false;
    PBox->Invalidate();
    return;
  }
}

// ---- Files, printing, exit, help ---------------------------------------------------

void TfrPreviewForm::RefreshPages(bool reset) {
  found_ = false;
  found_page_ = -1;
  if (reset) {
    ApplyZoom(true);
    return;
  }
  if (cur_page_ > PageCount()) cur_page_ = std::max(1, PageCount());
  ShowPageInfo();
  Layout();
  PBox->Invalidate();
}

void TfrPreviewForm::LoadBtnClick() {
  if (!report_) return;
  OpenDialog->SetFilter(LoadReportString(kTextReportFile) + " (*.frp)|*.frp");
  if (!OpenDialog->Execute()) return;
  LoadFile(OpenDialog->FileName());
}

void TfrPreviewForm::LoadFile(const std::string& file_name) {
  if (!report_) return;
  // The report's own store is empty while the window holds the pages: the
  // file is read there, and the pages shown go only once it has been read.
  try {
    report_->LoadBuiltPages(file_name);
  } catch (...) {
    ReportError();
    return;
  }
  pages_ = report_->TakeBuiltPages();
  cur_page_ = 1;
  find_text_.clear();
  RefreshPages(true);
}

void TfrPreviewForm::SaveBtnClick() {
  if (!report_ || PageCount() == 0) return;
  SaveDialog->SetFilter(LoadReportString(kTextReportFile) + " (*.frp)|*.frp");
  SaveDialog->SetFilterIndex(1);
  if (!SaveDialog->Execute()) return;
  SaveFile(SaveDialog->FileName());
}

void TfrPreviewForm::SaveFile(const std::string& file_name) {
  if (!report_ || !pages_) return;
  const std::string name = ChangeFileExt(file_name, ".frp");
  try {
    LentPages lent(*this);
    report_->SaveBuiltPages(name);
  } catch (...) {
    ReportError();
  }
}

void TfrPreviewForm::PrintBtnClick() {
  if (!report_ || PageCount() == 0) return;
  TfrPrinter& layer = GlobalPrinterLayer();
  if (!layer.HasSystemPrinters()) return;
  TfrPrintForm dialog(nullptr);
  dialog.AfterConstruction();
  dialog.PageCount = PageCount();
  dialog.E1->SetText(IntToStr(report_->DefaultCopies));
  dialog.CollateCB->SetChecked(report_->DefaultCollate);
  dialog.Margins = report_->PageSetupMargins();
  const int old_index = layer.PrinterIndex();
  if (report_->ShowPrintDialog && dialog.ShowModal() != mrOk) return;
  bool rebuild = false;
  if (report_->RebuildPrinter && layer.PrinterIndex() != old_index && report_->BuiltHere) {
    if (!report_->SwitchPrinter(old_index, layer.PrinterIndex())) return;
    rebuild = true;
  }
  if (dialog.PageSetupDone) {
    report_->ApplyPageSetup(dialog.Margins);
    rebuild = rebuild || report_->BuiltHere;
  }
  if (rebuild) {
    pages_.reset();
    report_->BuildReport();
    TakePages(report_);
  }
  AnsiString list;
  if (dialog.RB2->Checked()) list = IntToStr(cur_page_);
  else if (dialog.RB3->Checked()) list = dialog.E2->Text();
  const int copies = StrToIntDef(dialog.E1->Text(), 1);
  const int odd_even = std::max(0, dialog.CB2->ItemIndex());
  try {
    LentPages lent(*this);
    report_->PrintBuiltPages(list, copies, odd_even, dialog.CollateCB->Checked());
  } catch (...) {
    ReportError();
  }
  RefreshPages(false);
}

void TfrPreviewForm::PageSetupBtnClick() {
  if (!report_ || report_->Pages().Count() == 0) return;
  TPageMargins margins = report_->PageSetupMargins();
  if (!GlobalPrinterLayer().PageSetup(margins)) return;
  report_->ApplyPageSetup(margins);
  // A build that fails or is cancelled leaves the pages shown so far rather
  // than an empty window.
  if (!report_->BuildReport()) {
    (void)report_->TakeBuiltPages();
    return;
  }
  TakePages(report_);
  find_text_.clear();
  RefreshPages(true);
}

void TfrPreviewForm::ExitBtnClick() {
  if (Modal())
    SetModalResult(mrOk);
  else
    Close();
}

void TfrPreviewForm::HelpBtnClick() {
  // The next click names what help is asked for, on this window or not.
  CaptureNextClick(crHelp, [this](TControl* hit) {
    if (hit && hit != HelpBtn) Application->HelpCommand(kHelpContextPopup, hit->Tag());
  });
}

void TfrPreviewForm::FormShow() {
  RestoreFormPosition(*this);
  saved_help_file_ = Application->HelpFile();
  Application->SetHelpFile("FRuser.hlp");
}

void TfrPreviewForm::FormClose(TCloseAction& action) {
  SaveFormPosition(*this);
  Application->SetHelpFile(saved_help_file_);
  if (!Modal()) {
    action = caHide;
    ReleaseForm(this);
  }
}

// ---- TfrPreview ---------------------------------------------------------------------

TfrPreview::TfrPreview(TComponent* owner) : TPanel(owner) {
  SetBevelOuter(bvLowered);
  window_ = new TfrPreviewForm(this);
  window_->Embedder = this;
}

TfrPreview::~TfrPreview() = default;

void TfrPreview::SetScrollBars(TScrollStyle value) {
  scroll_bars_ = value;
  window_->RPanel->SetVisible(value == ssVertical || value == ssBoth);
  window_->BPanel->SetVisible(value == ssHorizontal || value == ssBoth);
  window_->FormResize();
}

void TfrPreview::SetShowToolbar(bool value) {
  show_toolbar_ = value;
  if (window_->PreviewPanel->Parent() == this) window_->TopPanel->SetParent(value ? static_cast<TWinControl*>(this) : window_);
}

void TfrPreview::Connect(TfrReport* report) {
  if (show_toolbar_) window_->TopPanel->SetParent(this);
  window_->PreviewPanel->SetParent(this);
  window_->TakePages(report);
  window_->Configure();
  window_->ApplyZoom(true);
  window_->WheelMultiplier = 3;
}

void TfrPreview::Print() { window_->PrintBtnClick(); }
