#include "grid/rs_pack.h"

#include <utility>
#include <memory>

#include "toolkit/core/units.h"
#include "grid/rs.h"
#include "grid/rs_blob.h"
#include "grid/rs_env.h"
#include "grid/rs_rtm.h"
#include "grid/rs_str.h"
#include "toolkit/core/colornames.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/gfx/edges.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/menus.h"

namespace {

TrsDefPack* g_pack = nullptr;

struct LibraryVisions {
  std::unique_ptr<TNumericVision> numeric;
  std::unique_ptr<TDateTimeVision> date_time;
  std::unique_ptr<TDateVision> date;
  std::unique_ptr<TTimeVision> time;
};

// Freed by the units' shut-down only, never by static destruction.
LibraryVisions& Visions() {
  static auto* visions = new LibraryVisions();
  return *visions;
}

const char kVisionsUnit = 0;
const char kPackUnit = 0;

void FinalizeVisionsUnit() {
  LibraryVisions& v = Visions();
  // Free() tells the consumers still on a vision to fall back to the default.
  if (auto* vision = v.time.release()) vision->Free();
  if (auto* vision = v.date.release()) vision->Free();
  if (auto* vision = v.date_time.release()) vision->Free();
  if (auto* vision = v.numeric.release()) vision->Free();
}

void FinalizePackUnit() {
  if (g_pack != nullptr) g_pack->Free();
  ClearLastPictureFolder();
}

template <class V>
V* Made(std::unique_ptr<V>& slot, bool with_button) {
  if (!slot) {
    slot = std::make_unique<V>(nullptr);
    if (!with_button) slot->SetEnableButton(false);
    RegisterUnit(&kVisionsUnit, "rs_pack visions", FinalizeVisionsUnit);
  }
  return slot.get();
}

template <class V>
V* NewVision(TComponent* owner, const char* name) {
  auto* vision = new V(owner);
  vision->SetName(name);
  return vision;
}

TLiteDesigner* NewDesigner(TComponent* owner, const char* name) { return NewVision<TLiteDesigner>(owner, name); }

// The integer of the consumer's first field; false without one or for null.
bool FieldInteger(TgpFieldList& Fields, int& value) {
  TField* field = Fields.Field();
  if (field == nullptr || field->HoldsNull()) return false;
  value = field->GetIntegerValue();
  return true;
}

// A second field's integer as an image index (nothing without one).
void ImageFromSecondField(TgpFieldList& Fields, TfvPainter& Painter) {
  if (Fields.FieldCount() < 2 || Fields.Fields(1) == nullptr) return;
  Painter.ImageIndex = Fields.Fields(1)->GetIntegerValue();
}

// A colour swatch in the painter's image area, in the colour its text names.
void DrawSwatch(TfvPainter& Painter) {
  if (Painter.Canvas == nullptr || Painter.Text.empty()) return;
  TRect r = Painter.ImageRect;
  r = Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  TColor color;
  try {
    color = StringToColor(Painter.Text);
  } catch (const EConvertError&) {
    return;
  }
  TCanvas& canvas = *Painter.Canvas;
  const TColor pen = canvas.Pen().Color();
  const TColor brush = canvas.Brush().Color();
  const TBrushStyle brush_style = canvas.Brush().Style();
  canvas.Brush().SetStyle(bsSolid);
  canvas.Brush().SetColor(color);
  canvas.Pen().SetColor(clBlack);
  canvas.Rectangle(r.Left, r.Top, r.Right, r.Bottom);
  canvas.Pen().SetColor(pen);
  canvas.Brush().SetColor(brush);
  canvas.Brush().SetStyle(brush_style);
}

}  // namespace

// ---- The pack
// ------------------------------------------------------------------------------

TrsDefPack::TrsDefPack() : TForm(nullptr) {
  SetName("rsDefPack");
  SetVisible(false);

  DsgnViewSimple = NewDesigner(this, "DsgnViewSimple");
  DsgnViewSimple->SetShowLines(false);
  DsgnList = NewDesigner(this, "DsgnList");
  DsgnListActive = NewDesigner(this, "DsgnListActive");
  DsgnListNormal = NewDesigner(this, "DsgnListNormal");
  DsgnListNormal->SetTitleStyle(ltsNon3D);
  DsgnListFlat = NewDesigner(this, "DsgnListFlat");
  DsgnListFlat->SetTitleStyle(ltsFlat);
  DsgnListClassic = NewDesigner(this, "DsgnListClassic");
  DsgnListClassic->SetShowLastLine(false);
  dsgDataList = NewDesigner(this, "dsgDataList");
  dsgDataList->SetShowLines(false);

  TitleSurface = NewVision<TStandardVision>(this, "TitleSurface");
  TitleSurface->SetReadOnly(true);
  TitleSurface->SetDescription(rsLoadStr(SVision3DStyle));
  TitleSurface->OnDraw = [this](TvpFieldVision* s, TgpFieldList& f, TgpPainter& p) { TitleSurfaceDraw(s, f, p); };

  Calendar = NewVision<TDateVision>(this, "Calendar");
  Calendar->SetDescription(rsLoadStr(SVisionCalendarButtons));
  CalendarSimple = NewVision<TDateVision>(this, "CalendarSimple");
  CalendarSimple->SetButtons(TvpCalendarButtons{});
  CalendarSimple->SetDescription(rsLoadStr(SVisionCalendarNoButtons));
  Date = NewVision<TDateVision>(this, "Date");
  Date->SetEnableButton(false);
  Date->SetDescription(rsLoadStr(SVisionDate));
  Time = NewVision<TTimeVision>(this, "Time");
  Time->SetEnableButton(false);
  Time->SetEditFormatKind(tefDefault);
  TimeShort = NewVision<TTimeVision>(this, "TimeShort");
  TimeShort->SetDisplayFormatKind(dfkShort);

  CheckBoxBool = NewVision<TCheckBoxVision>(this, "CheckBoxBool");
  CheckBoxBool->SetDescription(rsLoadStr(SVisionLogicalSwitch));
  CheckBoxInt = NewVision<TCheckBoxVision>(this, "CheckBoxInt");
  CheckBoxInt->SetValueChecked("1");
  CheckBoxInt->SetValueUnChecked("0");
  CheckBoxInt->SetDescription(rsLoadStr(SVisionIntegerSwitch));

  Numeric = NewVision<TNumericVision>(this, "Numeric");
  Numeric->SetDescription(rsLoadStr(SVisionNumber));
  NumericDef = NewVision<TNumericVision>(this, "NumericDef");
  NumericDef->SetDisplayFormat("0.00");
  NumericDef->SetDescription(rsLoadStr(SVisionNumberTwoDigits));
  NumericDefSep = NewVision<TNumericVision>(this, "NumericDefSep");
  NumericDefSep->SetDisplayFormat("0.00,");
  NumericDefSep->SetDescription(rsLoadStr(SVisionNumberThousands));
  NumericSpin = NewVision<TNumericVision>(this, "NumericSpin");
  NumericSpin->SetButtonStyle(pbsSpin);
  NumericSpin->SetEnableButton(true);
  NumericSpin->SetDescription(rsLoadStr(SVisionNumberSpin));
  Calculator = NewVision<TNumericVision>(this, "Calculator");
  Calculator->SetButtonStyle(pbsDropDown);
  Calculator->SetEnableButton(true);
  Calculator->SetDropDownKind(ndkCalculator);

  Memo = NewVision<TMemoVision>(this, "Memo");
  Memo->SetEditWordWrap(false);
  Memo->SetEditScrollBars(ssNone);
  Image = NewVision<TImageVision>(this, "Image");

  visImagedText = NewVision<TLiteVision>(this, "visImagedText");
  visImagedText->OnDraw = [this](TvpFieldVision* s, TgpFieldList& f, TgpPainter& p) { visImagedTextDraw(s, f, p); };

  NullImageList = new TImageList(this);
  NullImageList->SetName("NullImageList");
  ColorPicker = NewVision<TStandardVision>(this, "ColorPicker");
  ColorPicker->SetImages(NullImageList);
  // Names are typed into integer fields.
  ColorPicker->SetSkipCharValidation(true);
  ColorPicker->OnGetText = [this](TvpFieldVision* s, TgpFieldList& f, bool d, AnsiString& v) {
    ColorPickerGetText(s, f, d, v);
  };
  ColorPicker->OnDraw = [this](TvpFieldVision* s, TgpFieldList& f, TgpPainter& p) { ColorPickerDraw(s, f, p); };
  ColorPicker->OnDrawEdit = [this](TvpFieldVision* s, TgpFieldList& f, TfvPainter& p) { ColorPickerDrawEdit(s, f, p); };
  ColorPicker->BeforePost = [this](TvpFieldVision* s, TgpFieldList& f, TgpFieldValue& v, bool& posted) {
    ColorPickerBeforePost(s, f, v, posted);
  };
  ColorPicker->OnDblClick = [this](TvpFieldVision* s, TgpFieldList& f) { ColorPickerDblClick(s, f); };
  TStringList names;
  GetColorValues([&names](const AnsiString& name) { names.Add(name); });
  ColorPicker->SetPickList(&names);

  Application->InsertComponent(this);
}

TrsDefPack::~TrsDefPack() {
  if (g_pack == this) g_pack = nullptr;
}

TVisionToolForm* TrsDefPack::vtfDataList() const { return TStandardVision::DataListForm(); }
TVisionToolForm* TrsDefPack::vtfCalendar() const { return TDateVision::CalendarForm(); }
TVisionToolForm* TrsDefPack::vtfBlobPicker() const { return TDropDownBlobVision::BlobPicker(); }
TVisionToolForm* TrsDefPack::vtfCalculator() const { return TNumericVision::Calculator(); }
TPopupMenu* TrsDefPack::BlobContextMenu() const { return ::BlobContextMenu(); }
TPopupMenu* TrsDefPack::PictureContextMenu() const {
  return static_cast<TvpBlobPicker*>(TDropDownBlobVision::BlobPicker())->PictureContextMenu();
}

void TrsDefPack::TitleSurfaceDraw(TvpFieldVision*, TgpFieldList&, TgpPainter& Painter) {
  if (Painter.Canvas == nullptr) return;
  Painter.DefaultDraw = false;
  TCanvas& canvas = *Painter.Canvas;
  const auto inverted = [](TColor color) { return static_cast<TColor>(~ColorToRGB(color) & 0xFFFFFF); };
  const TgpRowAttrs* row = Painter.RowAttrs;
  if (row != nullptr && (row->Selected || row->IsCurrent)) {
    // A marked row is shown inverted. Cells are painted through a recording
    // whose pixels cannot be read back, so the cell is drawn in the inverted
    // colours rather than inverted afterwards.
    const TColor back = row->Color != clNone ? row->Color : Painter.Grid != nullptr ? Painter.Grid->Color() : clWindow;
    const TRect& c = Painter.CellRect;
    canvas.Brush().SetStyle(bsSolid);
    canvas.Brush().SetColor(inverted(back));
    canvas.FillRect(Rect(c.Left - 1, c.Top - 1, c.Right + 1, c.Bottom + 1));
    canvas.Brush().SetStyle(bsClear);
    Painter.Font.SetColor(inverted(Painter.Font.Color()));
    canvas.Font().SetColor(Painter.Font.Color());
  }
  TRect r = Painter.CellRect;
  DrawEdge(canvas, r, BDR_RAISEDINNER, BF_RECT);
  Painter.DrawText(Painter.Text, taLeftJustify, tlaDefault, 0, 0);
}

void TrsDefPack::visImagedTextDraw(TvpFieldVision*, TgpFieldList& Fields, TgpPainter& Painter) {
  ImageFromSecondField(Fields, Painter);
}

void TrsDefPack::visStateLabelDraw(TvpFieldVision*, TgpFieldList& Fields, TgpPainter& Painter) {
  ImageFromSecondField(Fields, Painter);
}

void TrsDefPack::ColorPickerGetText(TvpFieldVision*, TgpFieldList& Fields, bool, AnsiString& Value) {
  int color = 0;
  if (FieldInteger(Fields, color)) Value = ColorToString(color);
}

void TrsDefPack::ColorPickerDraw(TvpFieldVision*, TgpFieldList&, TgpPainter& Painter) { DrawSwatch(Painter); }

void TrsDefPack::ColorPickerDrawEdit(TvpFieldVision*, TgpFieldList&, TfvPainter& Painter) { DrawSwatch(Painter); }

void TrsDefPack::ColorPickerBeforePost(TvpFieldVision*, TgpFieldList& Fields, TgpFieldValue& FieldValue, bool& Posted) {
  TField* field = Fields.Field();
  if (field == nullptr) return;
  const AnsiString text = FieldValue.IsNull() ? AnsiString() : Trim(FieldValue.AsString());
  // StringToColor takes a name or a number and refuses anything else with
  // the conversion error, before the field is touched.
  field->SetIntegerValue(text.empty() ? clNone : StringToColor(text));
  Posted = true;
}

void TrsDefPack::ColorPickerDblClick(TvpFieldVision*, TgpFieldList& Fields) {
  TField* field = Fields.Field();
  if (field == nullptr) return;
  TColorDialog dialog(nullptr);
  int color = clBlack;
  if (FieldInteger(Fields, color)) dialog.SetColor(color);
  if (dialog.Execute() && Fields.StartEdit(true)) field->SetIntegerValue(dialog.Color());
}

void TrsDefPack::AddColumns(TgpColumns& Columns, const AnsiString& Names, const AnsiString& Widths) {
  const int count = ListCountNonEmpty(Names, ';');
  for (int i = 0; i < count; ++i) {
    TgpColumn* column = Columns.Add();
    column->SetFieldName(ListItem(Names, i, ';'));
    int width = 0;
    if (TryStrToInt(ListItem(Widths, i, ';'), width) && width > 0) column->SetWidth(width);
  }
}

TrsDefPack* DefPack() {
  if (g_pack == nullptr) {
    DefaultGridDesigner();
    DefaultVision();
    DefaultNumericVision();
    DefaultDateTimeVision();
    DefaultDateVision();
    DefaultTimeVision();
    g_pack = new TrsDefPack();
    RegisterUnit(&kPackUnit, "rs_pack", FinalizePackUnit);
  }
  return g_pack;
}

bool DefPackMade() { return g_pack != nullptr; }

// ---- Further defaults
// ----------------------------------------------------------------------

TNumericVision* DefaultNumericVision() { return Made(Visions().numeric, true); }
TDateTimeVision* DefaultDateTimeVision() { return Made(Visions().date_time, false); }
TDateVision* DefaultDateVision() { return Made(Visions().date, false); }
TTimeVision* DefaultTimeVision() { return Made(Visions().time, true); }

void FreeLibraryDefaults() {
  FinalizeUnit(&kPackUnit);
  FinalizeUnit(&kVisionsUnit);
  FreeRsStdDefaults();
  ClearLastPictureFolder();
}
