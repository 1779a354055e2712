#include "report/fr_prdlg.h"

#include <climits>
#include <memory>
#include <string>

#include "report/fr_ctrls.h"
#include "report/fr_prntr.h"
#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/extctrls.h"
#include "toolkit/ui/maskedit.h"
#include "toolkit/ui/printers.h"
#include "toolkit/ui/stdctrls.h"

namespace {

constexpr int kTextPrinter = 53041;
constexpr int kTextProperties = 53042;
constexpr int kTextCopies = 53043;
constexpr int kTextPages = 53044;
constexpr int kTextAll = 53045;
constexpr int kTextCurrent = 53046;
constexpr int kTextNumbers = 53047;
constexpr int kTextNumbersHint = 53048;
constexpr int kTextName = 53049;
constexpr int kTextCopyCount = 53050;
constexpr int kTextCollate = 53051;
constexpr int kTextPrintWhat = 53052;
constexpr int kTextRangeAll = 53053;
constexpr int kTextRangeOdd = 53054;
constexpr int kTextRangeEven = 53055;

AnsiString Text(const char* utf8) { return Utf8ToAnsi(utf8); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A page number of the list: digits only, at most page_count; false with the
// message set otherwise.
bool ReadPage(const std::string& item, size_t& pos, int page_count, int& page, AnsiString& message) {
  while (pos < item.size() && IsBlank(item[pos])) ++pos;
  const size_t start = pos;
  long long value = 0;
  while (pos < item.size() && item[pos] >= '0' && item[pos] <= '9') {
    // Beyond any page count: refused below without overflowing.
    if (value <= INT_MAX) value = value * 10 + (item[pos] - '0');
    ++pos;
  }
  if (pos == start) return false;
  while (pos < item.size() && IsBlank(item[pos])) ++pos;
  const long long limit = page_count > 0 ? page_count : INT_MAX;
  if (value < 1 || value > limit) {
    message = Text("Страницы ") + item.substr(start, pos - start);
    while (!message.empty() && IsBlank(message.back())) message.pop_back();
    message += page_count > 0 ? Text(" нет в отчете: в нем ") + std::to_string(page_count) + Text(" стр.")
                              : Text(" нет в отчете.");
    return false;
  }
  page = static_cast<int>(value);
  return true;
}

// A small black arrow on the transparent olive, pointing up or down. The
// button takes its bottom left pixel for the transparent colour: an olive
// row below the arrow keeps the wide end of an up arrow from being taken.
std::unique_ptr<TBitmap> ArrowGlyph(bool up) {
  auto glyph = std::make_unique<TBitmap>();
  glyph->SetSize(7, 5);
  TCanvas& canvas = glyph->Canvas();
  canvas.Brush().SetColor(0x008080);
  canvas.FillRect(TRect{0, 0, 7, 5});
  for (int row = 0; row < 4; ++row)
    for (int x = row; x < 7 - row; ++x) canvas.SetPixel(x, up ? 3 - row : row, 0x000000);
  return glyph;
}

// The icon of a printer in the list: paper in a grey printer on the
// transparent olive.
std::unique_ptr<TBitmap> PrinterIcon() {
  auto icon = std::make_unique<TBitmap>();
  icon->SetSize(18, 16);
  TCanvas& canvas = icon->Canvas();
  canvas.Brush().SetColor(0x008080);
  canvas.FillRect(TRect{0, 0, 18, 16});
  canvas.Pen().SetColor(clBlack);
  canvas.Brush().SetColor(clWhite);
  canvas.Rectangle(5, 1, 13, 7);
  canvas.Brush().SetColor(0xC0C0C0);
  canvas.Rectangle(1, 6, 17, 13);
  canvas.Brush().SetColor(0x808080);
  canvas.Rectangle(3, 12, 15, 15);
  canvas.SetPixel(14, 8, 0x00FF00);
  return icon;
}

// A sheet of paper with its page number in the top left corner.
void DrawSheet(TCanvas& canvas, int x, int y, int number) {
  constexpr int kWidth = 18, kHeight = 24;
  canvas.Pen().SetColor(clBlack);
  canvas.Brush().SetColor(clWhite);
  canvas.Rectangle(x, y, x + kWidth, y + kHeight);
  canvas.Brush().SetStyle(bsClear);
  canvas.TextOut(x + 2, y + 1, std::to_string(number));
  canvas.Brush().SetStyle(bsSolid);
}

// Copies on paper as the two collation settings put them out, on the
// transparent silver: collated, two fanned runs of pages 1-3 (74 x 53);
// not collated, the pages 1, 2, 3 two at a time (92 x 40).
std::unique_ptr<TBitmap> CollationPicture(bool collated) {
  auto picture = std::make_unique<TBitmap>();
  picture->SetSize(collated ? 74 : 92, collated ? 53 : 40);
  TCanvas& canvas = picture->Canvas();
  canvas.Brush().SetColor(0xC0C0C0);
  canvas.FillRect(TRect{0, 0, picture->Width(), picture->Height()});
  canvas.Font().SetName("Arial");
  canvas.Font().SetHeight(-9);
  canvas.Font().SetColor(clBlack);
  if (collated) {
    // Back to front, so the first page lies on top with its number in view.
    for (int run : {0, 38})
      for (int page = 3; page >= 1; --page) DrawSheet(canvas, run + (3 - page) * 9, 4 + (page - 1) * 9, page);
  } else {
    for (int page = 1; page <= 3; ++page)
      for (int copy = 1; copy >= 0; --copy) DrawSheet(canvas, (page - 1) * 33 + copy * 8, 4 + (1 - copy) * 8, page);
  }
  return picture;
}

}  // namespace

bool CheckPageList(const AnsiString& text, int page_count, AnsiString& message) {
  const AnsiString syntax = Text("Неверный список страниц \"") + text + "\". " + LoadReportString(kTextNumbersHint);
  size_t begin = 0;
  for (;;) {
    const size_t comma = text.find(',', begin);
    const std::string item = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
    size_t pos = 0;
    int first = 0;
    AnsiString range_message;
    if (!ReadPage(item, pos, page_count, first, range_message)) {
      message = range_message.empty() ? syntax : range_message;
      return false;
    }
    if (pos < item.size() && item[pos] == '-') {
      ++pos;
      while (pos < item.size() && IsBlank(item[pos])) ++pos;
      // "8-" at the end of the list runs to the last page.
      if (pos == item.size() && comma == std::string::npos) return true;
      int last = 0;
      if (!ReadPage(item, pos, page_count, last, range_message)) {
        message = range_message.empty() ? syntax : range_message;
        return false;
      }
      if (last < first) {
        message = Text("Неверный диапазон страниц ") + std::to_string(first) + "-" + std::to_string(last) +
                  Text(": первая страница больше последней.");
        return false;
      }
    }
    if (pos != item.size()) {
      message = syntax;
      return false;
    }
    if (comma == std::string::npos) return true;
    begin = comma + 1;
  }
}

TfrPrintForm::TfrPrintForm(TComponent* owner) : TForm(owner) {
  SetUpReportDialog(*this, "frPrintForm", 485, 226);

  GroupBox1 = PlaceControl(new TGroupBox(this), "GroupBox1", this, 8, 4, 469, 57);
  Label4 = PlaceControl(new TLabel(this), "Label4", GroupBox1, 12, 24, 30, 13);
  CB1 = PlaceControl(new TComboBox(this), "CB1", GroupBox1, 52, 20, 293, 21);
  CB1->SetStyle(csOwnerDrawFixed);
  CB1->OnDrawItem = [this](TComboBox*, int index, const TRect& rect, TOwnerDrawState) { DrawPrinter(index, rect); };
  Label4->SetFocusControl(CB1);
  CB1->OnChange = [this](TComponent*) { PrinterChosen(); };
  PropButton = PlaceControl(new TButton(this), "PropButton", GroupBox1, 356, 20, 101, 23);
  PropButton->OnClick = [this](TComponent*) { PropertiesClick(); };
  Image1 = PlaceControl(new TImage(this), "Image1", GroupBox1, 12, 40, 18, 16);
  Image1->SetVisible(false);
  Image1->Picture().Bitmap().Assign(*PrinterIcon());

  GroupBox2 = PlaceControl(new TGroupBox(this), "GroupBox2", this, 8, 64, 249, 125);
  RB1 = PlaceControl(new TRadioButton(this), "RB1", GroupBox2, 12, 20, 157, 17);
  RB1->SetChecked(true);
  RB2 = PlaceControl(new TRadioButton(this), "RB2", GroupBox2, 12, 40, 157, 17);
  RB3 = PlaceControl(new TRadioButton(this), "RB3", GroupBox2, 12, 60, 73, 17);
  RB3->OnClick = [this](TComponent*) { E2->SetFocus(); };
  E2 = PlaceControl(new TCustomMaskEdit(this), "E2", GroupBox2, 88, 58, 149, 21);
  E2->OnEnter = [this](TComponent*) { RB3->SetChecked(true); };
  // Fixed in size before it is placed: a label sizing itself would shrink
  // to its still empty caption.
  Label2 = new TLabel(this);
  Label2->SetAutoSize(false);
  Label2->SetWordWrap(true);
  PlaceControl(Label2, "Label2", GroupBox2, 12, 84, 225, 33);

  GroupBox3 = PlaceControl(new TGroupBox(this), "GroupBox3", this, 264, 64, 213, 125);
  Label1 = PlaceControl(new TLabel(this), "Label1", GroupBox3, 12, 24, 80, 13);
  E1 = PlaceControl(new TCustomMaskEdit(this), "E1", GroupBox3, 100, 20, 45, 21);
  E1->SetText("1");
  Label1->SetFocusControl(E1);
  Panel1 = PlaceControl(new TPanel(this), "Panel1", GroupBox3, 146, 21, 17, 17);
  Panel1->SetBevelOuter(bvNone);
  frSpeedButton1 = PlaceControl(new TfrSpeedButton(this), "frSpeedButton1", Panel1, 0, 0, 17, 8);
  frSpeedButton1->SetSpacing(0);
  frSpeedButton1->SetGlyph(*ArrowGlyph(true));
  frSpeedButton1->OnClick = [this](TComponent*) { CopiesUp(); };
  frSpeedButton2 = PlaceControl(new TfrSpeedButton(this), "frSpeedButton2", Panel1, 0, 9, 17, 8);
  frSpeedButton2->SetSpacing(0);
  frSpeedButton2->SetGlyph(*ArrowGlyph(false));
  frSpeedButton2->OnClick = [this](TComponent*) { CopiesDown(); };
  PB1 = PlaceControl(new TfrPaintBox(this), "PB1", GroupBox3, 12, 46, 92, 53);
  PB1->OnPaint = [this](TCanvas& canvas) { PaintCollation(canvas); };
  CollateCB = PlaceControl(new TCheckBox(this), "CollateCB", GroupBox3, 12, 102, 17, 17);
  CollateCB->SetChecked(true);
  CollateCB->OnClick = [this](TComponent*) { PB1->Invalidate(); };
  Label3 = PlaceControl(new TLabel(this), "Label3", GroupBox3, 32, 104, 160, 13);
  Label3->SetFocusControl(CollateCB);
  Label3->OnClick = [this](TComponent*) { ToggleCollate(); };
  Label3->OnDblClick = [this](TComponent*) { ToggleCollate(); };
  CollateImg = PlaceControl(new TImage(this), "CollateImg", GroupBox3, 112, 46, 74, 53);
  CollateImg->SetVisible(false);
  CollateImg->Picture().Bitmap().Assign(*CollationPicture(true));
  NonCollateImg = PlaceControl(new TImage(this), "NonCollateImg", GroupBox3, 112, 46, 92, 40);
  NonCollateImg->SetVisible(false);
  NonCollateImg->Picture().Bitmap().Assign(*CollationPicture(false));

  Label5 = PlaceControl(new TLabel(this), "Label5", this, 8, 200, 110, 13);
  CB2 = PlaceControl(new TComboBox(this), "CB2", this, 124, 196, 157, 21);
  Label5->SetFocusControl(CB2);
  Button1 = PlaceControl(new TButton(this), "Button1", this, 320, 196, 75, 25);
  Button1->SetDefault(true);
  Button1->SetModalResult(mrOk);
  Button2 = PlaceControl(new TButton(this), "Button2", this, 402, 196, 75, 25);
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);

  OnCreate = [this](TComponent* sender) { FormCreate(sender); };
  OnShow = [this](TComponent*) { E1->SetFocus(); };
  OnCloseQuery = [this](TComponent*, bool& can_close) { CheckClose(can_close); };
  OnHide = [this](TComponent*) { Deactivate(); };
}

void TfrPrintForm::FormCreate(TComponent*) {
  TfrPrinter& layer = GlobalPrinterLayer();
  CB1->ClearItems();
  for (int i = 0; i < layer.Printers.Count(); ++i)
    if (i != layer.VirtualPrinterIndex()) CB1->AddItem(layer.Printers.Strings(i));
  remembered_printer_ = layer.PrinterIndex();
  // A template made for the virtual printer still prints on the current
  // system printer: that one is shown chosen.
  const TPrinter* printer = layer.Printer();
  CB1->SetItemIndex(!layer.IsVirtual() ? remembered_printer_ : printer != nullptr ? printer->PrinterIndex() : -1);

  SetCaption(LoadReportString(kTextPrintCaption));
  GroupBox1->SetCaption(LoadReportString(kTextPrinter));
  PropButton->SetCaption(LoadReportString(kTextProperties));
  GroupBox3->SetCaption(LoadReportString(kTextCopies));
  GroupBox2->SetCaption(LoadReportString(kTextPages));
  RB1->SetCaption(LoadReportString(kTextAll));
  RB2->SetCaption(LoadReportString(kTextCurrent));
  RB3->SetCaption(LoadReportString(kTextNumbers));
  Label2->SetCaption(LoadReportString(kTextNumbersHint));
  Label4->SetCaption(LoadReportString(kTextName));
  Label1->SetCaption(LoadReportString(kTextCopyCount));
  Label3->SetCaption(LoadReportString(kTextCollate));
  Label5->SetCaption(LoadReportString(kTextPrintWhat));
  Button1->SetCaption(LoadReportString(kTextOk));
  Button2->SetCaption(LoadReportString(kTextCancel));
  CB2->ClearItems();
  for (int id : {kTextRangeAll, kTextRangeOdd, kTextRangeEven}) CB2->AddItem(LoadReportString(id));
  CB2->SetItemIndex(0);
  CB2->SetLeft(Label5->Left() + Label5->Width() + 11);
}

void TfrPrintForm::DrawPrinter(int index, const TRect& rect) {
  TCanvas& canvas = CB1->Canvas();
  canvas.FillRect(rect);
  TBitmap& icon = Image1->Picture().Bitmap();
  DrawTransparent(canvas, rect.Left + 2, rect.Top + (rect.Bottom - rect.Top - icon.Height()) / 2, icon, 0x008080);
  canvas.Brush().SetStyle(bsClear);
  canvas.TextOut(rect.Left + 24, rect.Top + 1, CB1->ItemAt(index));
  canvas.Brush().SetStyle(bsSolid);
}

void TfrPrintForm::PaintCollation(TCanvas& canvas) {
  canvas.Brush().SetColor(clBtnFace);
  canvas.FillRect(TRect{0, 0, PB1->Width(), PB1->Height()});
  if (CollateCB->Checked())
    DrawTransparent(canvas, 8, 0, CollateImg->Picture().Bitmap(), 0xC0C0C0);
  else
    DrawTransparent(canvas, 0, 8, NonCollateImg->Picture().Bitmap(), 0xC0C0C0);
}

void TfrPrintForm::ToggleCollate() {
  CollateCB->SetChecked(!CollateCB->Checked());
  PB1->Invalidate();
}

void TfrPrintForm::CopiesUp() {
  const int copies = StrToInt(E1->Text());
  E1->SetText(std::to_string(copies < INT_MAX ? copies + 1 : copies));
}

void TfrPrintForm::CopiesDown() {
  const int copies = StrToInt(E1->Text());
  E1->SetText(std::to_string(copies >= 2 ? copies - 1 : 1));
}

void TfrPrintForm::PrinterChosen() {
  if (CB1->ItemIndex() >= 0) GlobalPrinterLayer().SetPrinterIndex(CB1->ItemIndex());
}

void TfrPrintForm::PropertiesClick() {
  TPageMargins chosen = Margins;
  if (!GlobalPrinterLayer().PageSetup(chosen)) return;
  Margins = chosen;
  PageSetupDone = true;
}

// OK with pages or copies that cannot be printed keeps the dialog open on
// the field at fault, so no unchecked list reaches the printing.
void TfrPrintForm::CheckClose(bool& can_close) {
  if (ModalResult() != mrOk) return;
  AnsiString message;
  if (RB3->Checked() && !CheckPageList(E2->Text(), PageCount, message)) {
    DialogService().MessageBox(message, Caption(), MB_OK | MB_ICONWARNING);
    can_close = false;
    E2->SetFocus();
    return;
  }
  int copies = 0;
  if (!TryStrToInt(E1->Text(), copies) || copies < 1) {
    DialogService().MessageBox(Text("Неверное число копий \"") + E1->Text() + "\".", Caption(),
                               MB_OK | MB_ICONWARNING);
    can_close = false;
    E1->SetFocus();
  }
}

void TfrPrintForm::Deactivate() {
  if (ModalResult() == mrOk) return;
  TfrPrinter& layer = GlobalPrinterLayer();
  if (layer.PrinterIndex() != remembered_printer_ && remembered_printer_ >= 0) layer.SetPrinterIndex(remembered_printer_);
}
