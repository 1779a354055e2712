#include "grid/rs_std.h"

#include <utility>
#include <algorithm>

#include "toolkit/core/units.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/metafile.h"
#include "toolkit/ui/comctrls.h"

// ---- Published types ---------------------------------------------------------------------

const TTypeInfo& TvpAlignImageType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TvpAlignImage", {"aiDefault", "aiLeft", "aiRight"});
  return t;
}

const TTypeInfo& TvpButtonStyleType() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TvpButtonStyle", {"pbsDropDown", "pbsEllipsis", "pbsSpin", "pbsCustom"});
  return t;
}

const TTypeInfo& TScrollStyleType() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TScrollStyle", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"});
  return t;
}

const TTypeInfo& TfvSwitchOptionsType() {
  static const TTypeInfo option =
      TTypeInfo::Enumeration("TfvSwitchOption", {"vsoEditDataSet", "vsoNeedCurrent", "vsoNeedEditing"});
  static const TTypeInfo t = TTypeInfo::SetOf("TfvSwitchOptions", option);
  return t;
}

namespace {

// The vision being freed as the library's default, so that its consumers do
// not ask for a new default while the library shuts down.
const TvpFieldVision* g_default_vision = nullptr;

}  // namespace

const TClassInfo& TgpFieldValue::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TgpFieldValue>, "TgpFieldValue", &TvpUniValue::StaticClassInfo());
  return info;
}

const TClassInfo& TfvCurrentValue::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TfvCurrentValue>, "TfvCurrentValue", &TvpUniValue::StaticClassInfo());
  return info;
}

const std::vector<std::pair<AnsiString, AnsiString>>& VisionBaseEvents() {
  static const std::vector<std::pair<AnsiString, AnsiString>> events = {
      {"OnButtonClick", "TfvNotifyEvent"},     {"OnDblClick", "TfvNotifyEvent"},
      {"OnGetText", "TfvGetTextEvent"},        {"BeforeEdit", "TfvBeforeEditEvent"},
      {"BeforePost", "TfvBeforePostEvent"},    {"AfterPost", "TfvNotifyEvent"},
      {"OnInitEdit", "TfvNotifyEvent"},        {"OnDraw", "TfvDrawEvent"},
      {"OnDrawEdit", "TfvDrawEditEvent"},      {"OnGetEditFont", "TfvGetEditFontEvent"}};
  return events;
}

const TClassInfo& TvpFieldVision::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TvpFieldVision>, "TvpFieldVision", &TComponent::StaticClassInfo(),
                               [](TPublisher<TvpFieldVision>& p) {
                                 p.String("Caption", &TvpFieldVision::Caption, &TvpFieldVision::SetCaption);
                                 p.String("Description", &TvpFieldVision::Description,
                                          &TvpFieldVision::SetDescription);
                                 p.String("RelatedFields", &TvpFieldVision::RelatedFields,
                                          &TvpFieldVision::SetRelatedFields);
                                 p.Boolean("ReadOnly", &TvpFieldVision::ReadOnly, &TvpFieldVision::SetReadOnly)
                                     .WithDefault(false);
                                 PublishEvents(p, "TfvActionEvent OnAction");
                               });
  return info;
}

const TClassInfo& TLiteVision::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TLiteVision>, "TLiteVision", &TvpFieldVision::StaticClassInfo(), [](TPublisher<TLiteVision>& p) {
        p.Ordinal("Alignment", TvpDefAlignmentType(), &TLiteVision::Alignment, &TLiteVision::SetAlignment)
            .WithDefault(talDefault);
        p.Integer("MaxLength", &TLiteVision::MaxLength, &TLiteVision::SetMaxLength).WithDefault(0);
        PublishVisionImages(p);
        p.String("EditMask", &TLiteVision::EditMask, &TLiteVision::SetEditMask);
        p.Boolean("EditWordWrap", &TLiteVision::EditWordWrap, &TLiteVision::SetEditWordWrap).WithDefault(false);
        p.Boolean("EditReadOnly", &TLiteVision::EditReadOnly, &TLiteVision::SetEditReadOnly).WithDefault(false);
        p.Boolean("EnableButton", &TLiteVision::EnableButton, &TLiteVision::SetEnableButton).WithDefault(false);
        p.Ordinal("ButtonStyle", TvpButtonStyleType(), &TLiteVision::ButtonStyle, &TLiteVision::SetButtonStyle)
            .WithDefault(pbsEllipsis);
        PublishButtonGlyph(p);
        PublishVisionEvents(p, "OnDblClick OnButtonClick OnGetText BeforeEdit BeforePost AfterPost OnInitEdit OnDraw "
                               "OnDrawEdit OnGetEditFont");
        PublishEvents(p, "TfvGetStrValueEvent OnGetValue");
      });
  return info;
}

const TClassInfo& TMemoVision::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TMemoVision>, "TMemoVision", &TvpFieldVision::StaticClassInfo(), [](TPublisher<TMemoVision>& p) {
        p.Ordinal("Alignment", TvpDefAlignmentType(), &TMemoVision::Alignment, &TMemoVision::SetAlignment)
            .WithDefault(talDefault);
        p.Integer("MaxLength", &TMemoVision::MaxLength, &TMemoVision::SetMaxLength).WithDefault(0);
        p.Boolean("EditWordWrap", &TMemoVision::EditWordWrap, &TMemoVision::SetEditWordWrap).WithDefault(true);
        p.Ordinal("EditScrollBars", TScrollStyleType(), &TMemoVision::EditScrollBars,
                  &TMemoVision::SetEditScrollBars)
            .WithDefault(ssVertical);
        p.Boolean("EditReadOnly", &TMemoVision::EditReadOnly, &TMemoVision::SetEditReadOnly).WithDefault(false);
        p.Boolean("WantReturns", &TMemoVision::WantReturns, &TMemoVision::SetWantReturns).WithDefault(true);
        p.Boolean("WantTabs", &TMemoVision::WantTabs, &TMemoVision::SetWantTabs).WithDefault(true);
        PublishVisionEvents(p, "OnGetText BeforeEdit BeforePost AfterPost OnInitEdit OnDraw");
        PublishEvents(p, "TfvGetStrValueEvent OnGetValue");
      });
  return info;
}

// ---- TgpFieldList ------------------------------------------------------------------------

TgpFieldList::TgpFieldList(IvpFieldVisionConsumer* Consumer, TgpConsumerKind Kind)
    : consumer_(Consumer), kind_(Kind) {
  vision_ = DefaultVision();
  vision_->AddConsumer(*this);
}

TgpFieldList::~TgpFieldList() {
  if (vision_) vision_->RemoveConsumer(*this);
}

TvpFieldVision* TgpFieldList::Vision() const {
  // Only after the default vision itself was freed is there none; the next
  // default takes the list.
  if (!vision_) {
    vision_ = DefaultVision();
    vision_->AddConsumer(*const_cast<TgpFieldList*>(this));
  }
  return vision_;
}

void TgpFieldList::SetVision(TvpFieldVision* Vision) {
  if (vision_) vision_->RemoveConsumer(*this);
  vision_ = Vision ? Vision : DefaultVision();
  if (consumer_)
    if (TComponent* component = consumer_->GetConsumerComponent()) vision_->FreeNotification(component);
  vision_->AddConsumer(*this);
  if (consumer_) consumer_->VisionChanged(Vision);
}

void TgpFieldList::VisionDestroyed(TvpFieldVision* Vision) {
  if (vision_ != Vision) return;
  vision_ = nullptr;
  if (Vision == g_default_vision) return;
  SetVision(nullptr);
}

TField* TgpFieldList::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) return nullptr;
  return fields_[size_t(index)];
}

void TgpFieldList::ResolveFields(TDataSet* DataSet) {
  data_set_ = DataSet;
  AnsiString names = field_name_;
  const AnsiString& related = Vision()->RelatedFields();
  if (!related.empty()) names += ";" + related;
  fields_.clear();
  const int count = ListCountNonEmpty(names, ';');
  const bool open = DataSet && DataSet->QueryActive();
  for (int i = 0; i < count; ++i) {
    TField* field = nullptr;
    if (open) {
      const AnsiString item = ListItem(names, i, ';');
      const int alternatives = ListCount(item, ',');
      for (int a = 0; a < alternatives && !field; ++a) {
        const AnsiString name = ListItem(item, a, ',');
        if (!name.empty()) field = DataSet->FieldNamedOrNil(name);
      }
    }
    fields_.push_back(field);
  }
}

bool TgpFieldList::CanEdit() {
  return Vision()->CanEdit(*this) && (!consumer_ || consumer_->CanEditValue());
}

bool TgpFieldList::StartEdit(bool MarkModified) {
  TScopedValue<bool> in_start_edit(in_start_edit_, true);
  if (modified_) return true;
  if (!CanEdit() || !active_) return false;
  if (consumer_ && !consumer_->CanStartEdit()) return false;
  const bool started = Vision()->NoDataSetEdit() || (data_link_ && data_link_->StartEditing());
  if (!started) return false;
  if (consumer_) consumer_->EditStarted();
  if (MarkModified) modified_ = true;
  return true;
}

void TgpFieldList::EndValueChange(bool Changed) {
  // An unmatched end must not drive the counter below zero, where no later
  // end would ever report a posted value.
  if (value_change_count_ > 0) --value_change_count_;
  if (value_change_count_ == 0 && Changed && consumer_) consumer_->ValuePosted();
}

TvpPaintSource TgpFieldList::PaintSource() const {
  TvpFieldVision* vision = Vision();
  TvpPaintSource source;
  source.Fields = const_cast<TgpFieldList*>(this);
  source.Images = vision->Images();
  source.ImageWidth = vision->ImageWidth();
  source.ImageHeight = vision->ImageHeight();
  source.AlignImage = vision->AlignImage();
  source.Layout = layout_;
  source.SelfDrawn = vision->SelfDrawn();
  source.NativeMultiLine = vision->NativeMultiLine();
  source.Column = column_;
  return source;
}

// ---- TvpFieldVision: life and consumers --------------------------------------------------

TvpFieldVision::TvpFieldVision(TComponent* owner)
    : TComponent(owner), images_link_(std::make_unique<TChangeLink>()) {
  images_link_->OnChange = [this](TChangeLink*) {
    UpdateImageSize();
    NotifyImages();
  };
}

TvpFieldVision::~TvpFieldVision() {
  // A plain delete reaches here without BeforeDestruction's override.
  destroying_ = true;
  std::vector<TgpFieldList*> consumers;
  consumers.swap(consumers_);
  for (TgpFieldList* fields : consumers) fields->VisionDestroyed(this);
}

void TvpFieldVision::BeforeDestruction() {
  if (!destroying_) {
    destroying_ = true;
    std::vector<TgpFieldList*> consumers;
    consumers.swap(consumers_);
    for (TgpFieldList* fields : consumers) fields->VisionDestroyed(this);
  }
  TComponent::BeforeDestruction();
}

void TvpFieldVision::Loaded() {
  TComponent::Loaded();
  UpdateImageSize();
}

void TvpFieldVision::AddConsumer(TgpFieldList& Fields) {
  if (destroying_) return;
  if (std::find(consumers_.begin(), consumers_.end(), &Fields) == consumers_.end()) consumers_.push_back(&Fields);
}

void TvpFieldVision::RemoveConsumer(TgpFieldList& Fields) {
  if (destroying_) return;
  consumers_.erase(std::remove(consumers_.begin(), consumers_.end(), &Fields), consumers_.end());
}

namespace {

// Runs notice for the consumer of every field list (a copy: a notice may
// move a consumer to another vision).
template <class F>
void ForEachConsumer(const std::vector<TgpFieldList*>& lists, F notice) {
  const std::vector<TgpFieldList*> copy = lists;
  for (TgpFieldList* fields : copy)
    if (IvpFieldVisionConsumer* consumer = fields->Consumer()) notice(*consumer);
}

}  // namespace

void TvpFieldVision::NotifyCaptionAlignment() {
  if (Loading()) return;
  ForEachConsumer(consumers_, [](IvpFieldVisionConsumer& c) {
    if (c.UpdateCaptionAlignment()) c.ViewChanged();
  });
}

void TvpFieldVision::NotifyView() {
  if (Loading()) return;
  ForEachConsumer(consumers_, [](IvpFieldVisionConsumer& c) { c.ViewChanged(); });
}

void TvpFieldVision::NotifyImages() {
  if (Loading()) return;
  ForEachConsumer(consumers_, [](IvpFieldVisionConsumer& c) { c.ImagesChanged(); });
}

void TvpFieldVision::NotifyButton() {
  if (Loading()) return;
  ForEachConsumer(consumers_, [](IvpFieldVisionConsumer& c) { c.ButtonChanged(); });
}

void TvpFieldVision::NotifyEditStyle() {
  if (Loading()) return;
  ForEachConsumer(consumers_, [](IvpFieldVisionConsumer& c) { c.EditStyleChanged(); });
}

void TvpFieldVision::NotifyFields() {
  if (Loading()) return;
  ForEachConsumer(consumers_, [](IvpFieldVisionConsumer& c) { c.FieldsChanged(); });
}

void TvpFieldVision::UpdateImageSize() {
  if (draw_images_ && images_) {
    image_width_ = images_->Width();
    image_height_ = images_->Height();
  } else {
    image_width_ = image_height_ = 0;
  }
}

// ---- TvpFieldVision: properties ----------------------------------------------------------

void TvpFieldVision::SetCaption(const AnsiString& value) {
  if (caption_ == value) return;
  caption_ = value;
  NotifyCaptionAlignment();
}

void TvpFieldVision::SetRelatedFields(const AnsiString& value) {
  if (related_fields_ == value) return;
  related_fields_ = value;
  NotifyFields();
}

void TvpFieldVision::SetAlignment(TvpDefAlignment value) {
  if (alignment_ == value) return;
  alignment_ = value;
  NotifyCaptionAlignment();
}

void TvpFieldVision::SetImages(TImageList* value) {
  if (images_ == value) return;
  if (images_) images_->UnRegisterChanges(images_link_.get());
  images_ = value;
  if (images_) images_->RegisterChanges(images_link_.get());
  UpdateImageSize();
  NotifyImages();
}

void TvpFieldVision::ImagesGone() {
  // The list may be half destroyed here: leave it through the link.
  images_link_->Leave();
  UpdateImageSize();
  NotifyImages();
}

void TvpFieldVision::SetAlignImage(TvpAlignImage value) {
  if (align_image_ == value) return;
  align_image_ = value;
  NotifyView();
}

void TvpFieldVision::SetDrawImages(bool value) {
  if (draw_images_ == value) return;
  draw_images_ = value;
  UpdateImageSize();
  NotifyImages();
}

void TvpFieldVision::SetMaxLength(int value) {
  CheckNotNegative(value);
  max_length_ = value;
}

void TvpFieldVision::SetEditWordWrap(bool value) {
  if (edit_word_wrap_ == value) return;
  edit_word_wrap_ = value;
  NotifyEditStyle();
}

void TvpFieldVision::SetEditScrollBars(TScrollStyle value) {
  if (edit_scroll_bars_ == value) return;
  edit_scroll_bars_ = value;
  NotifyEditStyle();
}

void TvpFieldVision::SetEnableButton(bool value) {
  if (enable_button_ == value) return;
  enable_button_ = value;
  NotifyButton();
}

void TvpFieldVision::SetButtonStyle(TvpButtonStyle value) {
  if (button_style_ == value) return;
  button_style_ = value;
  NotifyButton();
}

TBitmap* TvpFieldVision::ButtonGlyph() {
  if (!button_glyph_) {
    button_glyph_ = std::make_unique<TBitmap>();
    button_glyph_->OnChange = [this] { NotifyButton(); };
  }
  return button_glyph_.get();
}

void TvpFieldVision::SetButtonGlyph(const TBitmap* value) {
  if (value) {
    TBitmap* glyph = ButtonGlyph();
    if (value != glyph) {
      // Consumers hear of the new glyph once, below.
      TScopedValue<std::function<void()>> quiet(glyph->OnChange, nullptr);
      glyph->Assign(*value);
    }
  } else {
    button_glyph_.reset();
  }
  button_style_ = pbsCustom;
  NotifyButton();
}

void TvpFieldVision::SetOptionsSwitch(TfvSwitchOptions value) { options_switch_ = value; }

void TvpFieldVision::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TvpFieldVision*>(source);
  if (other && other->ClassName() == ClassName()) {
    SetCaption(other->caption_);
    SetDescription(other->description_);
    SetAlignment(other->alignment_);
    SetRelatedFields(other->related_fields_);
    SetReadOnly(other->read_only_);
    SetTag(other->Tag());
    return;
  }
  TComponent::Assign(source);
}

// ---- TvpFieldVision: operations ----------------------------------------------------------

void TvpFieldVision::GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) {
  TField* field = Fields.Field();
  if (!field) {
    Text.clear();
    return;
  }
  Text = DisplayText ? field->FormatForDisplay(true) : field->FormatForDisplay(false);
}

void TvpFieldVision::PrepareCellText(TgpFieldList& Fields, TfvPainter& Painter) {
  Painter.Text = FieldsText(Fields, true);
}

void TvpFieldVision::Draw(TgpFieldList& Fields, TfvPainter& Painter) { DrawContent(Fields, Painter); }

void TvpFieldVision::DrawContent(TgpFieldList&, TfvPainter&) {}

void TvpFieldVision::DrawInactive(TgpFieldList&, TfvPainter&) {}

int TvpFieldVision::GetRowHeight(TgpFieldList&, const TFont& CellFont, int RowLines, int Margins) {
  TMetafile measure;
  TMetafileCanvas canvas(measure);
  canvas.Font().Assign(CellFont);
  const int text_height = canvas.TextHeight("Wg");
  return std::max(image_height_, Margins + RowLines * text_height);
}

void TvpFieldVision::CanShow(TgpFieldList& Fields, bool& Active) {
  Active = !Fields.FieldName().empty() && Fields.Field() != nullptr;
}

void TvpFieldVision::ValueToText(TgpFieldList&, const TvpUniValue& Value, AnsiString& Text) {
  Text = Value.AsString();
}

void TvpFieldVision::CanModify(TgpFieldList& Fields, bool& Allowed) {
  if (NoDataSetEdit()) {
    Allowed = true;
    return;
  }
  TField* field = Fields.Field();
  TDataSet* data_set = Fields.DataSet();
  Allowed = (!field || !field->ReadOnly()) && data_set && data_set->QueryCanModify();
}

bool TvpFieldVision::PostValue(TgpFieldList& Fields, const TvpUniValue& Value) {
  TField* field = Fields.Field();
  if (!field) return false;
  field->Assign(&Value);
  return true;
}

void TvpFieldVision::TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool&) {
  Value.SetAsString(Edit.EditText());
}

void TvpFieldVision::InitEdit(IvpVisionEdit& Edit) {
  if (OnInitEdit) OnInitEdit(this, Edit.EditFields());
}

void TvpFieldVision::EditInitialized(IvpVisionEdit&) {}

void TvpFieldVision::LoadEditValue(IvpVisionEdit& Edit) {
  TfvCurrentValue& value = Edit.CurrentValue();
  value.Clear();
  value.SetDataType(ftString);
  Edit.SetEditText(FieldsText(Edit.EditFields(), false));
  value.Changed = false;
  value.TextModified = false;
}

void TvpFieldVision::SwitchByKey(IvpVisionEdit&, bool&) {}
void TvpFieldVision::SwitchByMouse(IvpVisionEdit&, bool&) {}
void TvpFieldVision::CanSwitchByKey(IvpVisionEdit&, uint16_t, bool&, TShiftState) {}
void TvpFieldVision::CanSwitchAt(IvpVisionEdit&, int, bool&, TShiftState, int) {}

void TvpFieldVision::GetEditMask(TgpFieldList& Fields, AnsiString& Mask) {
  if (!Mask.empty()) return;
  if (!edit_mask_.empty()) {
    Mask = edit_mask_;
  } else if (TField* field = Fields.Field()) {
    Mask = field->EditMask();
  }
}

void TvpFieldVision::ButtonClick(IvpVisionEdit& Edit) {
  if (OnButtonClick) OnButtonClick(this, Edit.EditFields());
}

void TvpFieldVision::DblClick(IvpVisionEdit& Edit) {
  if (OnDblClick) OnDblClick(this, Edit.EditFields());
}

bool TvpFieldVision::AcceptTypedText(IvpVisionEdit&, AnsiString&, int&, int&, const AnsiString&) { return true; }
void TvpFieldVision::EditKeyDown(IvpVisionEdit&, uint16_t&, TShiftState) {}
void TvpFieldVision::EditKeyPress(IvpVisionEdit&, char&) {}
void TvpFieldVision::ClipboardAction(IvpVisionEdit&, TfvClipboardAction) {}
void TvpFieldVision::ShowDropDown(IvpVisionEdit&, TVisionToolForm*) {}

TAlignment TvpFieldVision::GetDefaultAlignment(TgpFieldList& Fields) {
  TField* field = Fields.Field();
  return field ? field->Alignment() : taLeftJustify;
}

TvpDefLayout TvpFieldVision::GetDefaultLayout(TgpFieldList&) { return tlaDefault; }

void TvpFieldVision::GetDefaultCaption(TgpFieldList& Fields, AnsiString& Caption) {
  if (!caption_.empty()) {
    Caption = caption_;
  } else if (TField* field = Fields.Field()) {
    Caption = field->DisplayLabel();
  } else {
    Caption.clear();
  }
}

int TvpFieldVision::GetMaxLength(TgpFieldList& Fields) {
  if (max_length_ != 0) return max_length_;
  TField* field = Fields.Field();
  if (field && (field->DataType() == ftString || field->DataType() == ftWideString)) return field->Size();
  return 0;
}

TPopupMenu* TvpFieldVision::GetPopupMenu() { return nullptr; }

bool TvpFieldVision::IsValidChar(TgpFieldList& Fields, char Ch) {
  TField* field = Fields.Field();
  return field ? field->IsValidChar(Ch) : true;
}

bool TvpFieldVision::WantArrows() { return true; }

void TvpFieldVision::GetSearchText(TgpFieldList& Fields, AnsiString& Text) {
  // Numbers are searched by their edit text, without display formatting.
  const bool numeric = dynamic_cast<TNumericField*>(Fields.Field()) != nullptr;
  GetFieldsText(Fields, !numeric, Text);
}

bool TvpFieldVision::HasDropDownOption(int) { return false; }

TVisionToolForm* TvpFieldVision::GetDropDown() { return nullptr; }

void TvpFieldVision::GetFieldsText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) {
  Text.clear();
  GetText(Fields, DisplayText, Text);
  if (OnGetText) OnGetText(this, Fields, DisplayText, Text);
}

AnsiString TvpFieldVision::FieldsText(TgpFieldList& Fields, bool DisplayText) {
  AnsiString text;
  GetFieldsText(Fields, DisplayText, text);
  return text;
}

bool TvpFieldVision::CanEdit(TgpFieldList& Fields) {
  if (read_only_) return false;
  bool allowed = false;
  CanModify(Fields, allowed);
  return allowed;
}

bool TvpFieldVision::DoBeforeEdit(TgpFieldList& Fields) {
  bool do_edit = true;
  if (BeforeEdit) BeforeEdit(this, Fields, do_edit);
  return do_edit;
}

void TvpFieldVision::DoButtonClick(IvpVisionEdit& Edit, TfvButtonClickKind Kind) {
  TScopedValue<TfvButtonClickKind> click_kind(
      button_click_kind_, button_style_ == pbsDropDown && enable_drop_down_ ? bckDropDown : Kind, bckNone);
  ButtonClick(Edit);
  if (button_click_kind_ == bckDropDown) Edit.ToggleDropDown(Kind == bckKeyToggle);
}

void TvpFieldVision::PaintCells(TgpFieldList& Fields, TgpPainter& Painter, TCanvas& Canvas,
                                const TvpPaintSource& Source, const TRect& FirstCellRect,
                                const TRect& CellMargins, int FirstRow, int LastRow, const TvpOwnerDraw& OwnerDraw) {
  if (!Fields.Active()) return;
  Painter.Canvas = &Canvas;
  Canvas.Brush().SetStyle(bsClear);
  Painter.CellRect = FirstCellRect;
  Painter.ContentRect = Rect(FirstCellRect.Left + CellMargins.Left, FirstCellRect.Top + CellMargins.Top,
                             FirstCellRect.Right - CellMargins.Right, FirstCellRect.Bottom - CellMargins.Bottom);
  Painter.Row = FirstRow;
  Painter.LastRow = LastRow;
  Painter.Prepare(Source);
  // The painter moves the data link's active record row by row; the grid's
  // current row is as it was afterwards, whatever a handler raises.
  TDataLink* link = Painter.DataLink && Painter.DataLink->Active() ? Painter.DataLink : nullptr;
  TScopeExit restore([link, row = link ? link->QueryActiveRow() : 0] {
    if (link && link->Active()) link->ChangeActiveRow(row);
  });
  while (Painter.NextRow()) {
    PrepareCellText(Fields, Painter);
    if (OwnerDraw) OwnerDraw(Painter);
    if (Painter.DefaultDraw && OnDraw) OnDraw(this, Fields, Painter);
    if (Painter.DefaultDraw) Draw(Fields, Painter);
    if (Painter.DefaultDraw) DrawDefault(Fields, Painter);
    Painter.AdvanceRow();
  }
}

void TvpFieldVision::PaintEdit(IvpVisionEdit& Edit, TCanvas& Canvas, const TRect& Rect) {
  TfvPainter& painter = *rsShared().EditPainter;
  TgpFieldList& fields = Edit.EditFields();
  painter.Canvas = &Canvas;
  Canvas.Brush().SetStyle(bsClear);
  painter.CellRect = Rect;
  TRect margins;
  if (Edit.InplaceCellMargins(margins))
    painter.ContentRect = ::Rect(Rect.Left + margins.Left, Rect.Top + margins.Top, Rect.Right - margins.Right,
                                 Rect.Bottom - margins.Bottom);
  else
    painter.ContentRect = ::Rect(Rect.Left + 1, Rect.Top, Rect.Right - 1, Rect.Bottom - 1);
  TvpPaintSource source = fields.PaintSource();
  Edit.FillPaintSource(source);
  painter.Prepare(source);
  if (!fields.Active()) {
    DrawInactive(fields, painter);
    return;
  }
  PrepareCellText(fields, painter);
  if (Edit.CharCase() == ecUpperCase)
    painter.Text = AnsiUpperCase(painter.Text);
  else if (Edit.CharCase() == ecLowerCase)
    painter.Text = AnsiLowerCase(painter.Text);
  if (const char mask = Edit.PasswordChar()) painter.Text.assign(painter.Text.size(), mask);
  if (OnGetEditFont) OnGetEditFont(this, fields, Canvas.Font());
  Edit.DrawEdit(painter);
  if (painter.DefaultDraw && OnDrawEdit) OnDrawEdit(this, fields, painter);
  if (painter.DefaultDraw) DrawContent(fields, painter);
  if (painter.DefaultDraw) DrawDefault(fields, painter);
}

void TvpFieldVision::DrawDefault(TgpFieldList& Fields, TfvPainter& Painter) {
  if (image_width_ != 0) {
    Painter.DrawImage(Painter.ImageIndex);
    Painter.DrawImage(Painter.StateIndex);
  }
  Painter.DrawText(Painter.Text, Fields.Alignment(), tlaDefault, 0, 0);
}

bool TvpFieldVision::PostEditValue(IvpVisionEdit& Edit, bool SelectAll) {
  TgpFieldList& fields = Edit.EditFields();
  fields.BeginValueChange();
  bool changed = false;
  bool posted_value = false;
  auto finish = [&] {
    if (SelectAll) Edit.SelectAll();
    fields.EndValueChange(changed);
  };
  {
    TScopeExit finished(finish);
    TgpFieldValue value;
    Edit.CancelPendingInput();
    if (!self_drawn_ && fields.Modified() && Edit.HasEditMask() && !Edit.EditTextValid())
      rsError(SInvalidInputText);
    TfvCurrentValue& current = Edit.CurrentValue();
    if (fields.Modified() || (current.Changed && fields.StartEdit(true))) {
      value.SetDataType(current.DataType());
      bool skip = false;
      if (self_drawn_ || current.Changed) {
        if (!current.IsNull()) value.Assign(&current);
      } else if (current.TextModified) {
        TextToValue(Edit, value, skip);
      } else {
        skip = true;
      }
      if (!skip) {
        bool posted = false;
        if (BeforePost) BeforePost(this, fields, value, posted);
        // Only a value really written counts as posted: a vision that
        // writes nothing (no field) must not report a post to its consumer.
        if (!posted) posted = PostValue(fields, value);
        if (AfterPost) AfterPost(this, fields);
        fields.SetModified(false);
        changed = posted;
        posted_value = posted;
      }
    }
  }
  return posted_value;
}

// ---- TLiteVision -------------------------------------------------------------------------

TLiteVision::TLiteVision(TComponent* owner) : TvpFieldVision(owner) {
  SetEnableButton(false);
  SetButtonStyle(pbsEllipsis);
}

void TLiteVision::CanShow(TgpFieldList& Fields, bool& Active) {
  // A missing field is shown as well: its text comes from OnGetValue.
  Active = !Fields.FieldName().empty() && dynamic_cast<TBlobField*>(Fields.Field()) == nullptr;
}

void TLiteVision::GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) {
  if (TField* field = Fields.Field()) {
    Text = DisplayText ? field->FormatForDisplay(true) : field->FormatForDisplay(false);
    return;
  }
  Text.clear();
  bool is_null = false;
  if (OnGetValue) OnGetValue(this, Fields, Text, is_null);
}

void TLiteVision::GetEditMask(TgpFieldList& Fields, AnsiString& Mask) {
  Mask = !Fields.EditFormat().empty() ? Fields.EditFormat() : EditMask();
  TvpFieldVision::GetEditMask(Fields, Mask);
}

// ---- TMemoVision -------------------------------------------------------------------------

TMemoVision::TMemoVision(TComponent* owner) : TvpFieldVision(owner) {
  SetEditWordWrap(true);
  SetEditScrollBars(ssVertical);
  SetWantReturns(true);
  SetWantTabs(true);
  SetEnableButton(false);
  SetNativeMultiLine(true);
}

void TMemoVision::CanShow(TgpFieldList& Fields, bool& Active) {
  Active = !Fields.FieldName().empty() || Fields.Field() != nullptr;
}

void TMemoVision::GetText(TgpFieldList& Fields, bool, AnsiString& Text) {
  // A memo shows its content for both purposes, not a placeholder.
  if (TField* field = Fields.Field()) {
    Text = field->GetStringValue();
    return;
  }
  Text.clear();
  bool is_null = true;
  if (OnGetValue) OnGetValue(this, Fields, Text, is_null);
}

TvpDefLayout TMemoVision::GetDefaultLayout(TgpFieldList&) { return tlaTop; }

// ---- The library's defaults --------------------------------------------------------------

namespace {
// Freed by the unit's shut-down only, never by static destruction.
TrsStdDefaults* g_std_defaults = nullptr;
const char kStdUnit = 0;

void FinalizeStdUnit() {
  if (!g_std_defaults) return;
  // Freed while still known as the default, so that its consumers wait for
  // the next default instead of making one now.
  if (TLiteVision* vision = g_std_defaults->Vision.release()) vision->Free();
  g_default_vision = nullptr;
  delete std::exchange(g_std_defaults, nullptr);
}
}  // namespace

TrsStdDefaults& rsStdDefaults() {
  if (!g_std_defaults) {
    auto defaults = std::make_unique<TrsStdDefaults>();
    defaults->Vision = std::make_unique<TLiteVision>(nullptr);
    g_default_vision = defaults->Vision.get();
    g_std_defaults = defaults.release();
    RegisterUnit(&kStdUnit, "rs_std", FinalizeStdUnit);
  }
  return *g_std_defaults;
}

TLiteVision* DefaultVision() { return rsStdDefaults().Vision.get(); }

void FreeRsStdDefaults() { FinalizeUnit(&kStdUnit); }
