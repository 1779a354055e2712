#include "grid/rs_blob.h"

#include <utility>
#include <algorithm>
#include <memory>

#include "toolkit/core/units.h"
#include "grid/rs_edit.h"
#include "grid/rs_env.h"
#include "grid/rs_img.h"
#include "grid/rs_str.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/edges.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/clipbrd.h"
#include "toolkit/ui/extctrls.h"
#include "toolkit/ui/focus.h"
#include "toolkit/ui/forms.h"
#include "toolkit/ui/memo.h"
#include "toolkit/ui/menus.h"
#include "toolkit/ui/stdctrls.h"

// ---- Published types ---------------------------------------------------------------------

const TTypeInfo& TfvTextBlobMarkerType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TfvTextBlobMarker", {"tbmDefault", "tbmIcon", "tbmText"});
  return t;
}

const TTypeInfo& TfvDropDownTextOptionsType() {
  static const TTypeInfo option = TTypeInfo::Enumeration(
      "TfvDropDownTextOption",
      {"dtoNoHideScrollBars", "dtoNoWantReturns", "dtoNoWantTabs", "dtoNoWordWrap", "dtoNoSizing", "dtoNoAutoPost"});
  static const TTypeInfo t = TTypeInfo::SetOf("TfvDropDownTextOptions", option);
  return t;
}

const TClassInfo& TDropDownBlobVision::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TDropDownBlobVision>, "TDropDownBlobVision", &TToolFormVision::StaticClassInfo(),
      [](TPublisher<TDropDownBlobVision>& p) {
        using V = TDropDownBlobVision;
        p.Boolean("ComboBoxStyle", &V::ComboBoxStyle, &V::SetComboBoxStyle).WithDefault(true);
        p.Object("DropDown", TVisionToolForm::StaticClassInfo(), &V::DropDown,
                 [](V& o, TPersistent* v) { o.SetDropDown(dynamic_cast<TVisionToolForm*>(v)); });
        p.Integer("DropDownWidth", &V::DropDownWidth, &V::SetDropDownWidth).WithDefault(0);
        p.Integer("DropDownHeight", &V::DropDownHeight, &V::SetDropDownHeight).WithDefault(0);
        p.Ordinal("DropDownOptions", TfvDropDownOptionsType(), &V::DropDownOptions, &V::SetDropDownOptions)
            .WithDefault(0);
        p.Boolean("EnableDropDown", &V::EnableDropDown, &V::SetEnableDropDown).WithDefault(true);
        p.Boolean("EnableButton", &V::EnableButton, &V::SetEnableButton).WithDefault(true);
        PublishVisionEvents(p, "BeforeEdit BeforePost AfterPost OnInitEdit OnDraw OnDrawEdit");
      });
  return info;
}

const TClassInfo& TTextVision::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TTextVision>, "TTextVision", &TDropDownBlobVision::StaticClassInfo(), [](TPublisher<TTextVision>& p) {
        using V = TTextVision;
        p.Ordinal("Alignment", TvpDefAlignmentType(), &V::Alignment, &V::SetAlignment).WithDefault(talDefault);
        p.Ordinal("DropDownOptionsEx", TfvDropDownTextOptionsType(), &V::DropDownOptionsEx,
                  &V::SetDropDownOptionsEx)
            .WithDefault(0);
        p.Ordinal("DropDownScrollBars", TScrollStyleType(), &V::DropDownScrollBars, &V::SetDropDownScrollBars)
            .WithDefault(ssBoth);
        p.Integer("MaxLength", &V::TextMaxLength, &V::SetTextMaxLength).WithDefault(0);
        p.Ordinal("DisplayAs", TfvTextBlobMarkerType(), &V::DisplayAs, &V::SetDisplayAs).WithDefault(tbmIcon);
      });
  return info;
}

// ---- TDropDownBlobVision -----------------------------------------------------------------

TDropDownBlobVision::TDropDownBlobVision(TComponent* owner) : TToolFormVision(owner) {
  SetEnableButton(true);
  SetSelfDrawn(true);
  SetComboBoxStyle(true);
}

void TDropDownBlobVision::DrawFocus(TfvPainter& Painter) {
  if (Painter.GridMode() || Painter.HasColumn || !Painter.Attrs || !Painter.Attrs->Focused) return;
  const TRect& cell = Painter.CellRect;
  Painter.DrawFocusRect(Rect(cell.Left + 1, cell.Top + 1, cell.Right - 1, cell.Bottom - 1));
}

void TDropDownBlobVision::DrawContent(TgpFieldList&, TfvPainter& Painter) {
  Painter.DefaultDraw = false;
  DrawFocus(Painter);
}

bool TDropDownBlobVision::WantArrows() { return false; }

void TDropDownBlobVision::LoadEditValue(IvpVisionEdit& Edit) { LoadBlobEditValue(Edit); }

TVisionToolForm* TDropDownBlobVision::GetDefaultDropDown() { return BlobPicker(); }

// ---- TTextVision -------------------------------------------------------------------------

TTextVision::TTextVision(TComponent* owner) : TDropDownBlobVision(owner) {}

void TTextVision::SetTextMaxLength(int value) {
  CheckNotNegative(value);
  text_max_length_ = value;
}

void TTextVision::SetDisplayAs(TfvTextBlobMarker value) {
  if (display_as_ == value) return;
  display_as_ = value;
  NotifyView();
}

void TTextVision::LoadEditValue(IvpVisionEdit& Edit) {
  TfvCurrentValue& value = Edit.CurrentValue();
  value.Clear();
  value.SetDataType(ftString);
  if (TField* field = Edit.EditFields().Field()) {
    const AnsiString text = field->IsBlob() ? field->GetStringValue() : field->FormatForDisplay(false);
    if (!field->HoldsNull()) value.SetAsString(text);
  }
  value.Changed = false;
  value.TextModified = false;
}

void TTextVision::DrawContent(TgpFieldList& Fields, TfvPainter& Painter) {
  TField* field = Fields.Field();
  switch (display_as_) {
    case tbmDefault:
      Painter.DrawText(field ? field->FormatForDisplay(true) : AnsiString(), Fields.Alignment(), tlaDefault, 0, 0);
      break;
    case tbmIcon: {
      const TRect& cell = Painter.CellRect;
      const TPoint saved_corner{Painter.ImageRect.Left, Painter.ImageRect.Top};
      Painter.ImageRect.Left = cell.Left + (cell.Width() - 16) / 2;
      Painter.ImageRect.Top = cell.Top + (cell.Height() - 16) / 2;
      Painter.DrawImage(field && !field->HoldsNull() ? 0 : 1, rsEnv()->BlobMarkers);
      Painter.ImageRect.Left = saved_corner.x;
      Painter.ImageRect.Top = saved_corner.y;
      break;
    }
    case tbmText:
      Painter.DrawText(field ? field->GetStringValue() : AnsiString(), Fields.Alignment(), tlaDefault, 0, 0);
      break;
  }
  TDropDownBlobVision::DrawContent(Fields, Painter);
}

// ---- The blob picker ---------------------------------------------------------------------

namespace {

inline constexpr int kPickerWidth = 169;
inline constexpr int kPickerHeight = 105;
// The bottom strip that holds OK and Cancel.
inline constexpr int kButtonStrip = 32;

inline constexpr int kButtonWidth = 60, kButtonHeight = 22;

// What every drop-down of the picker starts from.
const TvtfOptions kPickerOptions{tfoFocusable, tfoNoAutoPost};

TvpBlobPicker* g_blob_picker = nullptr;

// The strip under the picker's value: a raised line along its top, and its
// buttons kept at its right end whatever width the user gives the picker.
class TBlobPickerStrip : public TPanel {
 public:
  using TPanel::TPanel;

  void AlignControls() override {
    TPanel::AlignControls();
    int right = Width() - 4;
    for (int i = ControlCount() - 1; i >= 0; --i) {
      TControl* button = Controls(i);
      right -= kButtonWidth;
      button->SetBounds(right, 5, kButtonWidth, kButtonHeight);
      right -= 4;
    }
  }

 protected:
  void Paint() override {
    TRect line = Rect(0, 0, Width(), 2);
    DrawEdge(Canvas(), line, EDGE_RAISED, BF_TOP);
  }
};

}  // namespace

TvpBlobPicker::TvpBlobPicker() : TVisionToolForm(Application) {
  SetBounds(0, 0, kPickerWidth, kPickerHeight);
  SetColor(clWindow);
  SetOptions(kPickerOptions);
  controls_ = new TBlobPickerStrip(this);
  controls_->SetName("pnBlobPickerCtrl");
  controls_->SetBevelOuter(bvNone);
  controls_->SetParent(this);
  controls_->SetHeight(kButtonStrip);
  controls_->SetAlign(alBottom);
  background_ = new TPanel(this);
  background_->SetName("pnBlobPickerBG");
  background_->SetBevelOuter(bvNone);
  background_->SetColor(clWindow);
  background_->SetParent(this);
  background_->SetAlign(alClient);
  ok_ = new TButton(this);
  ok_->SetName("btnBlobPickerOK");
  ok_->SetParent(controls_);
  ok_->SetCaption(rsLoadStr(SButtonOK));
  ok_->SetDefault(true);
  ok_->OnClick = [this](TComponent*) { Close(true, false); };
  cancel_ = new TButton(this);
  cancel_->SetName("btnBlobPickerCancel");
  cancel_->SetParent(controls_);
  cancel_->SetCaption(rsLoadStr(SButtonCancel));
  cancel_->SetCancel(true);
  cancel_->SetModalResult(mrCancel);
  controls_->AlignControls();
  OnPostChanges = [this](TComponent*) {
    TDBProdiEdit* edit = Edit();
    if (!edit) return;
    PostChanges(*edit);
    // Closing with posting posts the value itself; a picker left by Escape
    // or for another control posts what it kept here.
    if (!Posting() && User() && edit->CurrentValue().Changed) User()->PostEditValue(*edit, true);
  };
  OnShortCut = [this](TComponent*, uint16_t& key) { ShortCut(key); };
  OnEditAction = [this](TComponent*, TvpEditAction action) { EditAction(action); };
  picture_menu_ = new TPopupMenu(this);
  AddPictureMenuItems(*picture_menu_, [this](int tag) { PictureMenuClick(tag); });
  picture_menu_->OnPopup = [this](TComponent*) {
    const bool has_picture = picture_view_ && !picture_view_->Picture().Bitmap().Empty();
    const bool can_edit = Edit() && Edit()->EditFields().CanEdit();
    // No vision of this library disables a picture action of the picker.
    UpdatePictureMenuItems(*picture_menu_, has_picture, can_edit, TfvImgDisabledActions{});
  };
  OnClose = [this](TComponent*) { Closed(); };
  // Typing goes into the text box while the picker is up.
  OnActivate = [this](TComponent*) {
    if (text_box_) text_box_->SetFocus();
  };
}

TvpBlobPicker::~TvpBlobPicker() {
  if (g_blob_picker == this) g_blob_picker = nullptr;
}

void TvpBlobPicker::Show(IVisionToolFormUser* User, TDBProdiEdit* Edit) {
  if (IsOpen() || User == nullptr || Edit == nullptr) return;
  if (auto* vision = dynamic_cast<TDropDownBlobVision*>(Edit->EffectiveVision())) Prepare(*vision, *Edit);
  TVisionToolForm::Show(User, Edit);
}

void TvpBlobPicker::MarkChanged() {
  if (!listening_) return;
  SetChanged(true);
  ok_->SetEnabled(true);
}

void TvpBlobPicker::Prepare(TDropDownBlobVision& Vision, TDBProdiEdit& Edit) {
  vision_ = &Vision;
  listening_ = false;
  // Built afresh: nothing one drop-down set is left for the next.
  TvtfOptions options = kPickerOptions;
  TgpFieldList& fields = Edit.EditFields();
  if (auto* text = dynamic_cast<TTextVision*>(&Vision)) {
    options = options.Include(tfoAlwaysPostChanges);
    if (!text_box_) {
      text_box_ = new TMemo(this);
      text_box_->SetParent(background_);
      text_box_->SetAlign(alClient);
      text_box_->OnChange = [this](TComponent*) { MarkChanged(); };
    }
    delete picture_view_;
    picture_view_ = nullptr;
    const TfvDropDownTextOptions ex = text->DropDownOptionsEx();
    text_box_->SetHideScrollBars(!ex.Contains(dtoNoHideScrollBars));
    text_box_->SetWantReturns(!ex.Contains(dtoNoWantReturns));
    text_box_->SetWantTabs(!ex.Contains(dtoNoWantTabs));
    text_box_->SetWordWrap(!ex.Contains(dtoNoWordWrap));
    text_box_->SetScrollBars(text->DropDownScrollBars());
    if (ex.Contains(dtoNoSizing)) options = options.Include(tfoFixedWidth).Include(tfoFixedHeight);
    if (ex.Contains(dtoNoAutoPost)) options = options.Exclude(tfoAlwaysPostChanges);
    int width = Width(), height = Height();
    if (text->DropDownWidth() != 0) width = text->DropDownWidth();
    if (text->DropDownHeight() != 0) height = text->DropDownHeight();
    SetBounds(Left(), Top(), width, height);
    int limit = text->TextMaxLength();
    if (limit == 0)
      if (auto* string_field = dynamic_cast<TStringField*>(fields.Field())) limit = string_field->Size();
    text_box_->SetMaxLength(limit);
    text_box_->SetReadOnly(!fields.CanEdit());
    text_box_->Font().Assign(Edit.Font());
    text_box_->SetText(Edit.CurrentValue().AsString());
    text_box_->SetModified(false);
    SetActiveControl(text_box_);
  } else {
    if (!picture_view_) {
      picture_view_ = new TImage(this);
      picture_view_->SetParent(background_);
      picture_view_->SetAlign(alClient);
      picture_view_->SetCenter(true);
      picture_view_->SetPopupMenu(picture_menu_);
    }
    delete text_box_;
    text_box_ = nullptr;
    TPicture& picture = picture_view_->Picture();
    try {
      ValueToGraphic(Edit.CurrentValue(), picture);
    } catch (const EInvalidGraphic&) {
      // The picker opens empty over bytes that are no picture.
    }
    picture_view_->PictureChanged();
    int width = std::max(picture.Bitmap().Width(), 2 * (kButtonWidth + 4) + 8);
    int height = picture.Bitmap().Height() + kButtonStrip;
    if (Vision.DropDownWidth() != 0) width = Vision.DropDownWidth();
    if (Vision.DropDownHeight() != 0) height = Vision.DropDownHeight();
    SetBounds(Left(), Top(), width, height);
    SetActiveControl(cancel_);
  }
  SetOptions(options);
  ok_->SetEnabled(false);
  listening_ = true;
}

void TvpBlobPicker::PictureEdited() {
  picture_view_->PictureChanged();
  SetChanged(true);
  ok_->SetEnabled(true);
  FocusControl(ok_);
}

void TvpBlobPicker::EditAction(TvpEditAction Action) {
  TDBProdiEdit* edit = Edit();
  if (!picture_view_ || !edit) return;
  TBitmap& bitmap = picture_view_->Picture().Bitmap();
  TgpFieldList& fields = edit->EditFields();
  switch (Action) {
    case veaCut:
      if (bitmap.Empty() || !fields.StartEdit(false)) return;
      SetClipboardBitmap(bitmap);
      bitmap.SetSize(0, 0);
      break;
    case veaCopy:
      if (!bitmap.Empty()) SetClipboardBitmap(bitmap);
      return;
    case veaPaste: {
      if (!ClipboardHasBitmap() || !fields.StartEdit(false)) return;
      TBitmap pasted;
      if (!ClipboardBitmap(pasted)) return;
      bitmap.Assign(pasted);
      break;
    }
    case veaClear:
      if (!fields.StartEdit(false)) return;
      bitmap.SetSize(0, 0);
      break;
    default: return;
  }
  PictureEdited();
}

void TvpBlobPicker::PictureMenuClick(int Tag) {
  TDBProdiEdit* edit = Edit();
  if (!picture_view_ || !edit) return;
  TPicture& picture = picture_view_->Picture();
  switch (Tag) {
    case 1:
    case 2:
    case 3:
    case 4: EditAction(static_cast<TvpEditAction>(Tag)); break;
    case 5:
      if (LoadPicture(picture, *edit)) PictureEdited();
      break;
    case 6: {
      std::string file_name;
      if (!picture.Bitmap().Empty() && SavePicture(file_name)) picture.Bitmap().SaveToFile(file_name);
      break;
    }
    case 7:
      if (!picture.Bitmap().Empty()) ShowPicturePreview(picture.Bitmap());
      break;
    default: break;
  }
}

void TvpBlobPicker::ShortCut(uint16_t& Key) {
  TButton* button = ok_->Enabled() && IsAccel(Key, ok_->Caption()) ? ok_
                    : IsAccel(Key, cancel_->Caption())             ? cancel_
                                                                    : nullptr;
  if (!button) return;
  Key = 0;
  button->Click();
}

void TvpBlobPicker::PostChanges(TDBProdiEdit& Edit) {
  if (!Edit.EditFields().StartEdit(false)) return;
  TfvCurrentValue& value = Edit.CurrentValue();
  if (text_box_) {
    value.SetAsString(text_box_->Text());
  } else if (picture_view_) {
    GraphicToValue(value, picture_view_->Picture());
  }
  value.Changed = true;
}

void TvpBlobPicker::Closed() {
  listening_ = false;
  if (!vision_) return;
  bool keep_size = Options().Contains(tfoFixedWidth) && Options().Contains(tfoFixedHeight);
  if (auto* text = dynamic_cast<TTextVision*>(vision_)) keep_size = text->DropDownOptionsEx().Contains(dtoNoSizing);
  if (!keep_size) {
    vision_->SetDropDownWidth(Width());
    vision_->SetDropDownHeight(Height());
  }
  vision_ = nullptr;
}

namespace {
const char kBlobUnit = 0;
void FinalizeBlobUnit() {
  if (g_blob_picker) g_blob_picker->Free();
}
}  // namespace

TVisionToolForm* TDropDownBlobVision::BlobPicker() {
  if (!g_blob_picker) {
    g_blob_picker = new TvpBlobPicker();
    RegisterUnit(&kBlobUnit, "rs_blob", FinalizeBlobUnit);
  }
  return g_blob_picker;
}

void FreeBlobDefaults() { FinalizeUnit(&kBlobUnit); }
