#include "grid/rs_edit.h"

#include "grid/rs_mapper.h"
#include "grid/rs_str.h"
#include "grid/rs_toolform.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/db.h"
#include "toolkit/db/fields.h"
#include "toolkit/ui/focus.h"
#include "toolkit/ui/forms.h"

namespace {

// The sub-button is as wide as a vertical scroll bar.
constexpr int kSubButtonWidth = 16;

bool OnlyCtrl(TShiftState shift) { return shift == TShiftState{ssCtrl}; }
bool NoModifiers(TShiftState shift) {
  return !shift.Contains(ssShift) && !shift.Contains(ssCtrl) && !shift.Contains(ssAlt);
}

// Whether the focus went to another control of the same form: a focus gone
// to another window (a message box, another program) leaves the form's
// active control as it was, so it is no exit.
bool FocusStaysInForm(const TControl& control) {
  const TControl* focus = FocusedControl();
  return focus != nullptr && focus->ParentForm() == control.ParentForm();
}

}  // namespace

// ---- State machines ------------------------------------------------------------------------

TvpEditCustomSwitcher::TvpEditCustomSwitcher(TDBProdiEdit* edit) : TvpSwitcher(edit), edit_(edit) {}

bool TvpEditCustomSwitcher::CanSwitch(int, int, TShiftState, int, int) {
  return edit_->Editing() && edit_->Fields().Active();
}

void TvpEditBtnSwitcher::PartChanged(int) { edit_->ButtonChanged(); }

void TvpEditBtnSwitcher::Click(int part, int, int, int) {
  edit_->EffectiveVision()->DoButtonClick(*edit_, part == 3 ? bckSpinDown : bckClick);
}

bool TvpEditSwitcher::CanSwitch(int part, int x, TShiftState shift, int key, int y) {
  TvpFieldVision* vision = edit_->EffectiveVision();
  if (!TvpEditCustomSwitcher::CanSwitch(part, x, shift, key, y) || !vision->SwitchCell()) return false;
  bool allowed = false;
  if (key != 0)
    vision->CanSwitchByKey(*edit_, uint16_t(key), allowed, shift);
  else
    vision->CanSwitchAt(*edit_, x, allowed, shift, y);
  if (!allowed || !edit_->Fields().CanEdit()) return false;
  if (vision->OptionsSwitch().Contains(vsoNeedEditing)) {
    TDataLinkEx* link = edit_->IsInplace() ? static_cast<TgpInplaceEdit*>(edit_)->Grid()->DataLinkEx()
                                           : edit_->DataLink();
    if (link == nullptr || !link->Editing()) return false;
  }
  return true;
}

void TvpEditSwitcher::PartChanged(int) { edit_->Invalidate(); }

void TvpEditSwitcher::Click(int, int, int key, int) {
  TgpFieldList& fields = edit_->Fields();
  if (!fields.StartEdit(false)) return;
  TvpFieldVision* vision = edit_->EffectiveVision();
  fields.BeginValueChange();
  bool changed = true;
  {
    TScopeFail unchanged([&] { fields.EndValueChange(false); });
    if (key != 0)
      vision->SwitchByKey(*edit_, changed);
    else
      vision->SwitchByMouse(*edit_, changed);
  }
  edit_->Invalidate();
  fields.EndValueChange(changed);
}

// ---- TDBProdiEdit: construction ------------------------------------------------------------

const TClassInfo& TDBProdiEdit::StaticClassInfo() {
  using C = TDBProdiEdit;
  static const TClassInfo info(kClassOf<C>, "TDBProdiEdit", &TComponent::StaticClassInfo(), [](TPublisher<C>& p) {
    p.Object("DataSource", TDataSource::StaticClassInfo(), &C::DataSource, &C::SetDataSource);
    p.String("DataField", &C::DataField, &C::SetDataField);
    p.Object("Vision", TvpFieldVision::StaticClassInfo(), &C::Vision, &C::SetVision);
    p.Boolean("ReadOnly", &C::ReadOnly, &C::SetReadOnly).WithDefault(false);
    p.String("Caption", &C::Caption, &C::SetCaption);
    p.String("DisplayFormat", &C::DisplayFormat, &C::SetDisplayFormat);
    p.String("EditFormat", &C::EditFormat, &C::SetEditFormat);
    p.String("Attrs", &C::Attrs, &C::SetAttrs);
    p.Ordinal("BorderStyle", TvpBorderStyleType(), &C::BorderStyle, &C::SetBorderStyle).WithDefault(bs3D);
    p.Boolean("WordWrap", &C::WordWrap, &C::SetWordWrap).WithDefault(false);
    p.Boolean("WantReturns", [](const C& c) { return c.want_returns_; }, &C::SetWantReturns).WithDefault(false);
    p.Boolean("WantTabs", [](const C& c) { return c.want_tabs_; }, &C::SetWantTabs).WithDefault(false);
    p.Object(
        "PopupMenu", TComponent::StaticClassInfo(), [](const C& c) -> TPersistent* { return c.PopupMenu(); },
        [](C& c, TPersistent* v) { c.SetPopupMenu(dynamic_cast<TPopupMenu*>(v)); });
    static const TTypeInfo mapping_option =
        TTypeInfo::Enumeration("TgpMappingOption", {"eioImportCaption", "eioImportDomain"});
    static const TTypeInfo mapping_options = TTypeInfo::SetOf("TgpMappingOptions", mapping_option);
    p.Object("Mapper", TvpCustomFieldMapper::StaticClassInfo(), &C::Mapper,
             [](C& c, TPersistent* v) { c.SetMapper(dynamic_cast<TvpCustomFieldMapper*>(v)); });
    p.Ordinal("MappingOptions", mapping_options, &C::MappingOptions, &C::SetMappingOptions)
        .WithDefault(TgpMappingOptions{eioImportDomain}.Bits());
    PublishEvents(p, "TNotifyEvent OnMouseEnter OnMouseLeave");
    PublishEvents(p, "TvpActionEvent OnAction");
    PublishEvents(p, "TvpDrawEditEvent OnDraw");
  });
  return info;
}

TDBProdiEdit::TDBProdiEdit(TComponent* owner)
    : TCustomMaskEdit(owner),
      fields_(std::make_unique<TgpFieldList>(this, ckEdit)),
      data_link_(std::make_unique<TDataLinkEx>()),
      button_switcher_(std::make_unique<TvpEditBtnSwitcher>(this)),
      switcher_(std::make_unique<TvpEditSwitcher>(this)) {
  SetFrameInset(BorderFrameInset(border_style_));
  fields_->SetEdit(this);
  fields_->SetDataLink(data_link_.get());
  data_link_->OnActiveChanged = [this](TDataLinkEx*) { FieldsChanged(); };
  data_link_->OnLayoutChanged = [this](TDataLinkEx*) { FieldsChanged(); };
  data_link_->OnDataSetChanged = [this](TDataLinkEx*) { ReloadText(); };
  data_link_->OnDataSetScrolled = [this](TDataLinkEx*, int) { ReloadText(); };
  data_link_->OnRecordChanged = [this](TDataLinkEx*, TField*) { ReloadText(); };
  data_link_->OnUpdateData = [this](TDataLinkEx*) {
    if (editing_) PostValue();
  };
  data_link_->OnFocusControl = [this](TDataLinkEx*, TField*& field) {
    if (field != nullptr && field == fields_->Field() && CanFocus()) {
      field = nullptr;
      SetFocus();
    }
  };
  SetWidth(121);
  SetHeight(21);
}

TDBProdiEdit::~TDBProdiEdit() {
  if (TvpCustomFieldMapper* mapper = mapper_) mapper->RemoveClient(this);
  // The link must not call back into a half-destroyed edit.
  data_link_->OnActiveChanged = nullptr;
  data_link_->OnLayoutChanged = nullptr;
  data_link_->OnDataSetChanged = nullptr;
  data_link_->OnDataSetScrolled = nullptr;
  data_link_->OnRecordChanged = nullptr;
  data_link_->OnUpdateData = nullptr;
  data_link_->OnFocusControl = nullptr;
  data_link_->ChangeDataSource(nullptr);
}

void TDBProdiEdit::Loaded() {
  TCustomMaskEdit::Loaded();
  FieldsChanged();
  // The vision told nobody of its button while it was read with the form.
  UpdateButton();
  ApplyMapper();
}

// ---- TDBProdiEdit: properties --------------------------------------------------------------

TDataSource* TDBProdiEdit::DataSource() const { return data_link_->DataSource(); }

void TDBProdiEdit::SetDataSource(TDataSource* value) {
  if (value == DataSource()) return;
  data_link_->ChangeDataSource(value);
  FieldsChanged();
}

void TDBProdiEdit::SetDataField(const AnsiString& value) {
  fields_->SetFieldName(value);
  FieldsChanged();
  ApplyMapper();
}

void TDBProdiEdit::SetAttrs(const AnsiString& value) {
  fields_->SetAttrs(value);
  ApplyMapper();
}

void TDBProdiEdit::SetMapper(TvpCustomFieldMapper* value) {
  if (value == mapper_) return;
  SwitchMapper(mapper_, value, this, [this] { ApplyMapper(); });
  ApplyMapper();
}

void TDBProdiEdit::SetMappingOptions(TgpMappingOptions value) {
  if (value == mapping_options_) return;
  mapping_options_ = value;
  ApplyMapper();
}

void TDBProdiEdit::ApplyMapper() {
  if (mapper_ == nullptr || ComponentState().Contains(csLoading) || DataField().empty() ||
      mapping_options_.Empty())
    return;
  TScopedValue<bool> applying(applying_mapper_, true);
  TvpFieldVision* vision = nullptr;
  AnsiString caption;
  mapper_->Entry(fields_.get(), vision, caption);
  if (mapping_options_.Contains(eioImportDomain)) SetVision(vision);
  if (mapping_options_.Contains(eioImportCaption)) SetCaption(caption);
}

void TDBProdiEdit::SetVision(TvpFieldVision* value) { fields_->SetVision(value); }

bool TDBProdiEdit::ReadOnly() const { return data_link_->ReadOnly(); }

void TDBProdiEdit::SetReadOnly(bool value) {
  data_link_->SetReadOnly(value);
  ReloadText();
}

void TDBProdiEdit::SetCaption(const AnsiString& value) {
  // A caption of the program's own is kept from the mapper's from now on.
  if (!applying_mapper_ && mapper_ != nullptr) mapping_options_.Exclude(eioImportCaption);
  caption_ = value;
  if (UpdateCaptionAlignment()) Invalidate();
}

void TDBProdiEdit::SetDisplayFormat(const AnsiString& value) {
  fields_->SetDisplayFormat(value);
  ReloadText();
}

void TDBProdiEdit::SetBorderStyle(TvpBorderStyle value) {
  border_style_ = value;
  SetFrameInset(BorderFrameInset(value));
  InvalidateFrame();
  Invalidate();
}

void TDBProdiEdit::PaintFrame(TCanvas& canvas) {
  PaintBorder(canvas, Rect(0, 0, Width(), Height()), border_style_, Color());
}

void TDBProdiEdit::SetWordWrap(bool value) {
  word_wrap_ = value;
  if (value) SetEditMask("");
  Invalidate();
}

bool TDBProdiEdit::WantTabs() const { return want_tabs_ || fields_->Vision()->WantTabs(); }

bool TDBProdiEdit::WantReturns() const { return want_returns_ || fields_->Vision()->WantReturns(); }

void TDBProdiEdit::SetPopupMenu(TPopupMenu* value) {
  popup_menu_ = value;
  PopupMenuChanged();
}

void TDBProdiEdit::Notification(TComponent* component, TOperation operation) {
  TCustomMaskEdit::Notification(component, operation);
  if (operation != opRemove) return;
  if (component == vision_) SetVision(nullptr);
}

// ---- TDBProdiEdit: the field list's consumer ------------------------------------------------

bool TDBProdiEdit::CanStartEdit() { return EffectiveVision()->DoBeforeEdit(*fields_) && CanModifyValue(); }

void TDBProdiEdit::EditStarted() {
  // The control takes typing only once the data set agreed to edit.
  TvpFieldVision* vision = EffectiveVision();
  writable_ = !vision->EditReadOnly() && !vision->ReadOnly();
}

bool TDBProdiEdit::UpdateCaptionAlignment() {
  TvpFieldVision* vision = EffectiveVision();
  AnsiString caption = caption_;
  if (caption.empty()) vision->GetDefaultCaption(*fields_, caption);
  TAlignment alignment = vision->GetDefaultAlignment(*fields_);
  switch (vision->Alignment()) {
    case talLeftJustify: alignment = taLeftJustify; break;
    case talRightJustify: alignment = taRightJustify; break;
    case talCenter: alignment = taCenter; break;
    default: break;
  }
  TLayout layout = tlTop;
  switch (vision->GetDefaultLayout(*fields_)) {
    case tlaCenter: layout = tlCenter; break;
    case tlaBottom: layout = tlBottom; break;
    default: break;
  }
  return ApplyCaptionAlignment(caption, alignment, layout);
}

bool TDBProdiEdit::ApplyCaptionAlignment(const AnsiString& caption, TAlignment alignment, TLayout layout) {
  const bool changed =
      caption != fields_->Caption() || alignment != fields_->Alignment() || layout != fields_->Layout();
  fields_->SetCaption(caption);
  fields_->SetAlignment(alignment);
  fields_->SetLayout(layout);
  SetAlignment(alignment);
  return changed;
}

void TDBProdiEdit::PopupMenuChanged() {
  TControl::SetPopupMenu(popup_menu_ != nullptr ? popup_menu_ : EffectiveVision()->GetPopupMenu());
}

void TDBProdiEdit::VisionChanged(TvpFieldVision* Vision) {
  if (!applying_mapper_ && mapper_ != nullptr) mapping_options_.Exclude(eioImportDomain);
  vision_ = Vision;
  if (Vision != nullptr) Vision->FreeNotification(this);
  FieldsChanged();
  PopupMenuChanged();
  UpdateButton();
}

void TDBProdiEdit::FieldsChanged() {
  if (suppress_resolve_ || ComponentState().Contains(csLoading)) return;
  fields_->ResolveFields(data_link_->Active() ? data_link_->QueryDataSet() : nullptr);
  UpdateActive();
  UpdateCaptionAlignment();
  ReloadText();
  Invalidate();
}

void TDBProdiEdit::UpdateActive() {
  bool active = data_link_->Active();
  if (active) EffectiveVision()->CanShow(*fields_, active);
  if (active == fields_->Active()) return;
  fields_->SetActive(active);
  ReloadText();
}

// ---- TDBProdiEdit: text ---------------------------------------------------------------------

void TDBProdiEdit::ReloadText() {
  TScopedValue<bool> loading(loading_text_, true);
  TvpFieldVision* vision = EffectiveVision();
  writable_ = false;
  if (!fields_->Active()) {
    SetEditMask("");
    buffer_.SetText(ComponentState().Contains(csDesigning) ? Name() : AnsiString());
    last_text_ = TCustomMaskEdit::EditText();
    Invalidate();
    return;
  }
  const bool inside_start = fields_->InStartEdit();
  if (editing_ && !inside_start) {
    button_switcher_->Cancel();
    switcher_->Cancel();
    if (drop_down_form_ != nullptr) drop_down_form_->FocusChanged(nullptr);
  }
  if (!editing_ || ReadOnly() || vision->ReadOnly()) {
    SetEditMask("");
    SetMaxLength(0);
    buffer_.SetText(vision->FieldsText(*fields_, true));
  } else {
    AnsiString mask;
    if (!word_wrap_) vision->GetEditMask(*fields_, mask);
    SetEditMask(mask);
    SetMaxLength(vision->GetMaxLength(*fields_));
    // Compared as it would show, so that a reload while a key starts the
    // edit leaves the caret where the key is to go.
    const AnsiString text = vision->FieldsText(*fields_, false);
    const AnsiString shown = IsMasked() ? buffer_.Mask().FormatValue(text) : text;
    if (shown != TCustomMaskEdit::EditText()) IsMasked() ? buffer_.SetValue(text) : buffer_.SetText(text);
  }
  last_text_ = TCustomMaskEdit::EditText();
  Invalidate();
  if (editing_ && !inside_start) {
    SetModified(false);
    fields_->SetModified(false);
    vision->LoadEditValue(*this);
  }
}

void TDBProdiEdit::SetEditText(const AnsiString& Text) {
  const bool old = loading_text_;
  loading_text_ = true;
  if (IsMasked())
    buffer_.SetValue(Text);
  else
    buffer_.SetText(Text);
  loading_text_ = old;
  last_text_ = TCustomMaskEdit::EditText();
  Invalidate();
}

void TDBProdiEdit::SetEditing(bool value) {
  if (value == editing_) return;
  current_value_.Clear();
  current_value_.Changed = false;
  current_value_.TextModified = false;
  editing_ = value;
  if (value) {
    SetModified(false);
    typed_forward_ = false;
  }
  ReloadText();
  if (value && fields_->Active()) {
    EffectiveVision()->InitEdit(*this);
    EffectiveVision()->EditInitialized(*this);
  }
}

bool TDBProdiEdit::SetValueText(const AnsiString& Text, bool SelectAll) {
  if (!editing_ || !fields_->StartEdit(true)) return false;
  const bool old = loading_text_;
  loading_text_ = true;
  buffer_.SetText(Text);
  loading_text_ = old;
  last_text_ = TCustomMaskEdit::EditText();
  current_value_.TextModified = true;
  if (SelectAll) this->SelectAll();
  current_value_.Changed = false;
  Invalidate();
  return true;
}

void TDBProdiEdit::Change() {
  if (!loading_text_ && editing_) {
    TvpFieldVision* vision = EffectiveVision();
    if (!vision->LookupTyping() || IsMasked()) {
      last_text_ = TCustomMaskEdit::EditText();
      MarkTextChanged();
    } else {
      AnsiString text = TCustomMaskEdit::EditText();
      int sel_end = SelStart() + SelLength();
      int sel_start = SelStart();
      if (vision->AcceptTypedText(*this, text, sel_end, sel_start, last_text_)) {
        last_text_ = text;
        if (text != TCustomMaskEdit::EditText()) buffer_.SetText(text);
        MarkTextChanged();
      } else {
        const bool modified = Modified();
        buffer_.SetText(last_text_);
        SetModified(modified);
      }
      // The caret ends at SelEnd; SelStart may lie after it.
      buffer_.Select(sel_start, sel_end);
      last_text_ = TCustomMaskEdit::EditText();
      Invalidate();
    }
  }
  // Our edit reports a typed key over a selection as one change, so unlike
  // the platform's edit control there is no removal notice to skip.
  selection_replaced_ = false;
  TCustomMaskEdit::Change();
}

void TDBProdiEdit::MarkTextChanged() {
  SetModified(true);
  current_value_.TextModified = true;
  if (drop_down_form_ != nullptr) drop_down_form_->TextChanged();
}

// A self-drawn vision's edit has no text to type into: its value changes
// through the switch, the drop-down or the clipboard.
bool TDBProdiEdit::CanChangeText() const { return writable_ && editing_ && !fields_->Vision()->SelfDrawn(); }

bool TDBProdiEdit::PostValue() {
  if (!editing_) return false;
  return EffectiveVision()->PostEditValue(*this, false);
}

void TDBProdiEdit::CancelPendingInput() {
  button_switcher_->Cancel();
  switcher_->Cancel();
  // An open tool form closes; one the user changed moves its value into the
  // current value on the way (see TVisionToolForm::Close).
  if (drop_down_form_ != nullptr) drop_down_form_->FocusChanged(nullptr);
}

bool TDBProdiEdit::FieldCanHold(char ch) {
  TDataSet* data_set = fields_->DataSet();
  if (data_set == nullptr || static_cast<unsigned char>(ch) < 0x80) return true;
  const AnsiString typed(1, ch);
  AnsiString stored, back;
  data_set->TranslateText(typed, stored, true);
  data_set->TranslateText(stored, back, false);
  return back == typed;
}

// ---- TDBProdiEdit: drop-down -----------------------------------------------------------------

void TDBProdiEdit::DropDown() {
  if (drop_down_form_ != nullptr) return;
  TScopedValue<bool> dropping_down(dropping_down_, true, false);
  TvpFieldVision* vision = EffectiveVision();
  if (TVisionToolForm* form = vision->GetDropDown()) vision->ShowDropDown(*this, form);
}

void TDBProdiEdit::ToggleDropDown(bool Post) {
  if (drop_down_form_ != nullptr)
    drop_down_form_->Close(Post, false);
  else
    DropDown();
}

void TDBProdiEdit::SetDropDownForm(TVisionToolForm* form) {
  drop_down_form_ = form;
  if (EffectiveVision()->SelfDrawn()) Invalidate();
}

// ---- TDBProdiEdit: keys ---------------------------------------------------------------------

void TDBProdiEdit::EscapeKey() {
  if (drop_down_form_ != nullptr) {
    drop_down_form_->Close(false, false);
    return;
  }
  // A changed text goes back to the field's (WantSpecialKey leaves the next
  // Escape to the form).
  ReloadText();
  SelectAll();
}

bool TDBProdiEdit::ReturnKey(TShiftState shift) {
  if (drop_down_form_ != nullptr) {
    // A form that leaves the focus in the edit hears Return first: a list
    // picks its current entry rather than closing on the edit's old value.
    uint16_t key = VK_RETURN;
    if (!drop_down_form_->Options().Contains(tfoFocusable)) drop_down_form_->KeyDown(key, shift);
    if (key != 0 && drop_down_form_ != nullptr) drop_down_form_->Close(true, false);
    return true;
  }
  const bool wants = WantReturns();
  const bool handled = (!OnlyCtrl(shift) && !wants) || (wants && OnlyCtrl(shift));
  if (handled) {
    PostValue();
    SelectAll();
  }
  return handled;
}

bool TDBProdiEdit::VertArrow(bool is_up, TShiftState) {
  TvpFieldVision* vision = EffectiveVision();
  if (!vision->EnableButton() || vision->ButtonStyle() != pbsSpin) return false;
  vision->DoButtonClick(*this, is_up ? bckKeyToggle : bckKeySpinDown);
  return true;
}

bool TDBProdiEdit::HorzArrow(bool) { return false; }

bool TDBProdiEdit::TabKey(TShiftState) {
  if (drop_down_form_ != nullptr) drop_down_form_->Close(true, false);
  return false;
}

void TDBProdiEdit::ClipboardMessage(TfvClipboardAction action) {
  if (action != cbaCopy && !ReadOnly() && !EffectiveVision()->EditReadOnly()) fields_->StartEdit(true);
  TvpFieldVision* vision = EffectiveVision();
  if (!vision->SelfDrawn()) {
    switch (action) {
      case cbaCut: CutToClipboard(); break;
      case cbaCopy: CopyToClipboard(); break;
      case cbaPaste: PasteFromClipboard(); break;
      case cbaClear: ClearSelection(); break;
    }
  }
  if (action == cbaCopy || (fields_->Active() && (Modified() || vision->SelfDrawn())))
    vision->ClipboardAction(*this, action);
}

void TDBProdiEdit::KeyDown(uint16_t& key, TShiftState shift) {
  if (mouse_up_ || loading_text_) {
    TCustomMaskEdit::KeyDown(key, shift);
    return;
  }
  TvpFieldVision* vision = EffectiveVision();
  const bool modifier = key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU;
  if (vision->SwitchCell() && !modifier && key != 0) {
    switcher_->KeyDown(1, key, shift);
    if (switcher_->Active()) key = 0;
  }
  if (vision->SelfDrawn() && key == VK_INSERT && (shift.Contains(ssShift) || shift.Contains(ssCtrl))) {
    ClipboardMessage(shift.Contains(ssShift) ? cbaPaste : cbaCopy);
    key = 0;
  } else if (vision->SelfDrawn() && key == VK_DELETE && shift.Contains(ssShift)) {
    ClipboardMessage(cbaCut);
    key = 0;
  }
  if (key != 0 && key != VK_RETURN && key != VK_ESCAPE) {
    if (drop_down_form_ != nullptr) drop_down_form_->KeyDown(key, shift);
    if (key != 0) vision->EditKeyDown(*this, key, shift);
  }
  switch (key) {
    case VK_TAB:
      if (TabKey(shift)) key = 0;
      break;
    case VK_RETURN:
      if (vision->EnableButton() && OnlyCtrl(shift) &&
          (vision->ButtonStyle() == pbsEllipsis || vision->ButtonStyle() == pbsCustom)) {
        vision->DoButtonClick(*this, bckKeyToggle);
        key = 0;
      } else if (ReturnKey(shift)) {
        key = 0;
      }
      break;
    case VK_ESCAPE:
      EscapeKey();
      key = 0;
      break;
    case VK_LEFT:
    case VK_RIGHT:
      if (HorzArrow(key == VK_LEFT)) key = 0;
      break;
    case VK_UP:
    case VK_DOWN:
      if (key == VK_DOWN && shift.Contains(ssAlt)) {
        if ((vision->EnableButton() && vision->ButtonStyle() == pbsDropDown) || drop_down_form_ != nullptr) {
          vision->DoButtonClick(*this, bckKeyToggle);
          key = 0;
        } else if (vision->HasDropDownOption(ddoAlwaysEnableAltDown)) {
          vision->DoButtonClick(*this, bckDropDown);
          key = 0;
        }
      } else if (VertArrow(key == VK_UP, shift)) {
        key = 0;
      }
      break;
    default: break;
  }
  if (key == VK_BACK || key == VK_TAB || key == VK_DELETE) {
    if (!ReadOnly() && !vision->EditReadOnly()) fields_->StartEdit(true);
  }
  typed_forward_ = key != VK_BACK && key != VK_DELETE;
  if (key != 0 && key == VK_DELETE && shift.Contains(ssShift)) {
    ClipboardMessage(cbaCut);
    key = 0;
  }
  if (key != 0 && key == VK_INSERT && !vision->SelfDrawn() && (shift.Contains(ssShift) || shift.Contains(ssCtrl))) {
    ClipboardMessage(shift.Contains(ssShift) ? cbaPaste : cbaCopy);
    key = 0;
  }
  TCustomMaskEdit::KeyDown(key, shift);
}

void TDBProdiEdit::KeyUp(uint16_t& key, TShiftState shift) {
  if (switcher_->Active() && switcher_->Key() == key) switcher_->KeyUp(key);
  TCustomMaskEdit::KeyUp(key, shift);
}

void TDBProdiEdit::KeyPress(char& key) {
  if (mouse_up_ || !fields_->Active()) {
    TCustomMaskEdit::KeyPress(key);
    return;
  }
  TvpFieldVision* vision = EffectiveVision();
  if (key == '\r' && !WantReturns()) key = 0;
  const unsigned char code = static_cast<unsigned char>(key);
  // A character the table's code page lacks would be written as '?': it is
  // refused here like any other character the field does not take.
  if (code >= 0x20 && !vision->SelfDrawn() && (!vision->IsValidChar(*fields_, key) || !FieldCanHold(key))) {
    MessageBeep(0);
    key = 0;
  }
  const bool writable = !ReadOnly() && !vision->EditReadOnly();
  const unsigned char typed = static_cast<unsigned char>(key);
  if (writable && ((typed >= 8 && typed <= 10) || typed == 13 || typed >= 32)) fields_->StartEdit(true);
  if (vision->SelfDrawn() && (key == '\x03' || key == '\x16' || key == '\x18')) {
    ClipboardMessage(key == '\x03' ? cbaCopy : key == '\x16' ? cbaPaste : cbaCut);
    key = 0;
  }
  if (key == '\x16' || key == '\x18') {
    // Paste and cut start editing first, as the clipboard messages do.
    ClipboardMessage(key == '\x16' ? cbaPaste : cbaCut);
    key = 0;
  }
  if (key != 0 && vision->HasDropDownOption(ddoShowOnTyping) && writable && !vision->ReadOnly() &&
      drop_down_form_ == nullptr)
    DropDown();
  if (key != 0) vision->EditKeyPress(*this, key);
  TCustomMaskEdit::KeyPress(key);
}

void TDBProdiEdit::PostChar(char ch) { KeyPress(ch); }

void TDBProdiEdit::KeyPressRefused() {
  if (editing_) MessageBeep(0);
}

bool TDBProdiEdit::WantSpecialKey(uint16_t key) const {
  if (drop_down_form_ != nullptr) return key == VK_ESCAPE || key == VK_RETURN;
  if (key == VK_ESCAPE) return fields_->Modified() || current_value_.Changed || Modified();
  return key == VK_RETURN && (WantReturns() || editing_);
}

// ---- TDBProdiEdit: mouse --------------------------------------------------------------------

TRect TDBProdiEdit::ButtonRect() const {
  if (button_width_ == 0) return TRect{};
  return Rect(ClientWidth() - button_width_, 0, ClientWidth(), ClientHeight());
}

void TDBProdiEdit::UpdateButton() {
  TvpFieldVision* vision = EffectiveVision();
  button_width_ = vision->EnableButton() ? kSubButtonWidth : 0;
  if (vision->EnableButton() && vision->ButtonStyle() == pbsCustom && vision->HasButtonGlyph())
    button_width_ = std::max(button_width_, vision->ButtonGlyph()->Width() + 4);
  TRect margins = TextMargins();
  margins.Right = (inplace_ ? margins.Right : 1) + button_width_;
  SetTextMargins(margins);
  Invalidate();
}

void TDBProdiEdit::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TvpFieldVision* vision = EffectiveVision();
  const TRect btn = ButtonRect();
  const bool on_button = btn.Right > btn.Left && x >= btn.Left && x < btn.Right && y >= btn.Top && y < btn.Bottom;
  if (button == mbLeft) {
    if (!on_button) {
      if (!inplace_ && !editing_ && CanFocus()) SetFocus();
      if (vision->ComboBoxStyle()) {
        if (!Focused() && CanFocus()) SetFocus();
        TCustomMaskEdit::SelectAll();
        if (fields_->Active()) vision->DoButtonClick(*this, bckComboClick);
        return;
      }
      switcher_->MouseDown(4, x, y, ClientRect(), shift, false, false);
      if (switcher_->Active()) return;
    } else if (CanFocus()) {
      focus_by_button_ = true;
      if (!Focused()) {
        SetFocus();
        TCustomMaskEdit::SelectAll();
      }
      focus_by_button_ = false;
      int part = 1;
      TRect part_rect = btn;
      const bool spin = vision->ButtonStyle() == pbsSpin;
      if (spin) {
        const int middle = (btn.Top + btn.Bottom) / 2;
        part = y < middle ? 2 : 3;
        part_rect = part == 2 ? Rect(btn.Left, btn.Top, btn.Right, middle) : Rect(btn.Left, middle, btn.Right, btn.Bottom);
      }
      button_switcher_->MouseDown(part, x, y, part_rect, shift, spin, vision->ButtonStyle() == pbsDropDown);
      return;
    }
    if (shift.Contains(ssDouble) && fields_->Active()) vision->DblClick(*this);
  } else if (button == mbRight && vision->SelfDrawn() && !Focused() && CanFocus()) {
    SetFocus();
  }
  if (vision->SelfDrawn()) return;
  TCustomMaskEdit::MouseDown(button, shift, x, y);
}

void TDBProdiEdit::MouseMove(TShiftState shift, int x, int y) {
  button_switcher_->MouseMove(x, y);
  switcher_->MouseMove(x, y);
  TCustomMaskEdit::MouseMove(shift, x, y);
}

void TDBProdiEdit::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TScopedValue<bool> mouse_up(mouse_up_, true, false);
  if (button == mbLeft) {
    button_switcher_->MouseUp(x, y);
    switcher_->MouseUp(x, y);
  }
  TCustomMaskEdit::MouseUp(button, shift, x, y);
}

void TDBProdiEdit::DblClick() {
  // The vision heard the double click with the press (MouseDown, ssDouble);
  // once is enough: a dialog it opens must not come up twice.
  TCustomMaskEdit::DblClick();
}

void TDBProdiEdit::MouseWheel(TShiftState shift, int delta, int x, int y) {
  if (drop_down_form_ != nullptr && drop_down_form_->DataGrid() != nullptr) return;
  TCustomMaskEdit::MouseWheel(shift, delta, x, y);
}

// ---- TDBProdiEdit: focus and painting ---------------------------------------------------------

void TDBProdiEdit::DoEnter() {
  const bool was_editing = editing_;
  SetEditing(true);
  TCustomMaskEdit::DoEnter();
  if (AutoSelect()) TCustomMaskEdit::SelectAll();
  TvpFieldVision* vision = EffectiveVision();
  if (!was_editing && fields_->Active() && vision->EnableDropDown() && vision->HasDropDownOption(ddoShowOnEnter) &&
      (!focus_by_button_ || inplace_))
    DropDown();
}

void TDBProdiEdit::DoExit() {
  // The focus moving into the drop-down's own window leaves it open.
  if (drop_down_form_ != nullptr) drop_down_form_->FocusChanged(FocusedControl());
  if (!inplace_ && FocusStaysInForm(*this)) {
    button_switcher_->Cancel();
    switcher_->Cancel();
    {
      // A value that cannot be posted keeps the focus, selected for mending.
      TScopeFail refocus([this] {
        TCustomMaskEdit::SelectAll();
        SetFocus();
      });
      PostValue();
    }
    SetEditing(false);
  }
  TCustomMaskEdit::DoExit();
}

void TDBProdiEdit::Resize() {
  TCustomMaskEdit::Resize();
  UpdateButton();
}

void TDBProdiEdit::Paint() {
  TvpFieldVision* vision = EffectiveVision();
  if (vision->SelfDrawn() || !editing_) {
    TCanvas& canvas = Canvas();
    canvas.Brush().SetColor(Enabled() ? Color() : clBtnFace);
    canvas.Brush().SetStyle(bsSolid);
    canvas.FillRect(ClientRect());
    canvas.Font().Assign(Font());
    TRect rect = ClientRect();
    rect.Right -= button_width_;
    if (inplace_ && vision->SwitchCell()) {
      // The grid paints the switch cell; the editor shows the same picture.
      vision->PaintEdit(*this, canvas, rect);
    } else {
      vision->PaintEdit(*this, canvas, rect);
    }
  } else {
    PaintEditText(Canvas());
  }
  PaintButton(Canvas());
}

void TDBProdiEdit::PaintButton(TCanvas& canvas) {
  if (button_width_ == 0) return;
  TvpFieldVision* vision = EffectiveVision();
  unsigned state = 0;
  if (!inplace_ && border_style_ != bs3D) state |= ebsFlat;
  if (border_style_ == bsNoBorder || border_style_ >= bsFlat) state |= ebsMono;
  if (!Enabled()) state |= ebsDisabled;
  if (button_switcher_->Active() && button_switcher_->Inside()) {
    if (button_switcher_->Part() == 1 || button_switcher_->Part() == 2) state |= ebsPart1Pressed;
    if (button_switcher_->Part() == 3) state |= ebsPart2Pressed;
  }
  TBitmap* glyph = vision->ButtonStyle() == pbsCustom && vision->HasButtonGlyph() ? vision->ButtonGlyph() : nullptr;
  DrawEditorButton(int(vision->ButtonStyle()) + 1, state, canvas, glyph, ButtonRect());
}

void TDBProdiEdit::FillPaintSource(TvpPaintSource& Source) {
  Source.HasColumn = inplace_ && fields_->Column() != nullptr;
  Source.FocusByButton = focus_by_button_;
  Source.EditColor = Color();
  Source.EditFocused = editing_ && drop_down_form_ == nullptr;
  Source.SwitchPressed = switcher_->Active() && switcher_->Inside();
  Source.EditFont = &Font();
  Source.EditEnabled = Enabled();
  Source.EditWordWrap = word_wrap_ || EffectiveVision()->EditWordWrap();
}

bool TDBProdiEdit::InplaceCellMargins(TRect&) { return false; }

void TDBProdiEdit::DrawEdit(TfvPainter& Painter) {
  if (OnDraw) OnDraw(this, Painter);
}

// ---- TgpInplaceEdit ----------------------------------------------------------------------------

const TClassInfo& TgpInplaceEdit::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TgpInplaceEdit>, "TgpInplaceEdit", &TDBProdiEdit::StaticClassInfo(),
                               [](TPublisher<TgpInplaceEdit>&) {});
  return info;
}

TgpInplaceEdit::TgpInplaceEdit(TDBGridPro* grid) : TDBProdiEdit(grid), grid_(grid) {
  inplace_ = true;
  SetVisible(false);
  SetBorderStyle(bsNoBorder);
  SetAutoSelect(false);
  SetWantReturns(true);
  SetWantTabs(true);
  SetTextMargins(Rect(0, 0, 0, 0));
  SetParent(grid);
}

void TgpInplaceEdit::Attach(TgpColumn* Column) {
  always_editing_ = grid_->AlwaysShowEditor();
  post_code_ = fpcUnknown;
  pending_action_ = feaNone;
  column_ = Column;
  extend_on_move_ = false;
  fields_->SetColumn(Column);
  // The cell edits as the column formats it: a mask or a number format set
  // on the column holds in the editor as well.
  fields_->SetDisplayFormat(Column->DisplayFormat());
  fields_->SetEditFormat(Column->EditFormat());
  Font().Assign(grid_->Font());
  if (TgpDesigner* designer = grid_->EffectiveDesigner())
    if (const TChildFont* cell_font = designer->CellFontIfAny()) cell_font->ApplyTo(Font());
  if (const TChildFont* column_font = Column->FontIfAny()) column_font->ApplyTo(Font());
  SetColor(Column->Color() != clNone ? Column->Color() : grid_->Color());
  {
    TScopedValue<bool> suppress_resolve(suppress_resolve_, true, false);
    SetVision(Column->Vision());
    SetDataField(Column->FieldName());
    SetDataSource(grid_->DataSource());
  }
  FieldsChanged();
  if (always_editing_) {
    SetEditing(false);
    SetEditing(true);
  }
}

void TgpInplaceEdit::UpdateBounds() {
  if (column_ == nullptr) return;
  TRect margins;
  InplaceCellMargins(margins);
  SetTextMargins(margins);
  TRect rect = column_->CellRect(grid_->CurrentRow(), false, false);
  rect.Right = std::min(rect.Right, grid_->ClientWidth());
  rect.Bottom = std::min(rect.Bottom, grid_->ClientHeight());
  SetBounds(rect.Left, rect.Top, std::max(rect.Right - rect.Left, 0), std::max(rect.Bottom - rect.Top, 0));
  UpdateButton();
}

void TgpInplaceEdit::HideEdit() {
  button_switcher_->Cancel();
  switcher_->Cancel();
  if (drop_down_form_ != nullptr) drop_down_form_->FocusChanged(nullptr);
  SetEditing(false);
  SetVisible(false);
}

bool TgpInplaceEdit::InplaceCellMargins(TRect& Margins) {
  TgpDesigner* designer = grid_->EffectiveDesigner();
  if (designer == nullptr) {
    Margins = Rect(2, 2, 2, 2);
    return true;
  }
  const TgpCellMargins& m = designer->CellMarginsRef();
  Margins = Rect(m.LeftMargin(), m.TopMargin(), m.RightMargin(), m.BottomMargin());
  return true;
}

bool TgpInplaceEdit::UpdateCaptionAlignment() {
  TvpFieldVision* vision = EffectiveVision();
  AnsiString caption = Caption();
  if (caption.empty()) vision->GetDefaultCaption(*fields_, caption);
  // The text stands where the cell shows it: the vision's alignment, else
  // the column's.
  TvpDefAlignment wanted = vision->Alignment();
  if (wanted == talDefault && column_ != nullptr) wanted = column_->Alignment();
  TAlignment alignment = vision->GetDefaultAlignment(*fields_);
  switch (wanted) {
    case talLeftJustify: alignment = taLeftJustify; break;
    case talRightJustify: alignment = taRightJustify; break;
    case talCenter: alignment = taCenter; break;
    default: break;
  }
  TLayout layout = grid_->VertAlignment();
  TvpDefLayout def = column_ != nullptr ? column_->VertAlignment() : tlaDefault;
  if (def == tlaDefault) def = vision->GetDefaultLayout(*fields_);
  switch (def) {
    case tlaTop: layout = tlTop; break;
    case tlaCenter: layout = tlCenter; break;
    case tlaBottom: layout = tlBottom; break;
    default: break;
  }
  return ApplyCaptionAlignment(caption, alignment, layout);
}

void TgpInplaceEdit::ValuePosted() {
  if (column_ != nullptr) grid_->DoAfterFieldPost(column_, post_code_, pending_action_);
}

void TgpInplaceEdit::EndWith(TgpFieldPostCode code, TgpFieldEditAction action, bool extend) {
  post_code_ = code;
  TScopedValue<bool> extend_on_move(extend_on_move_, extend, false);
  grid_->EndEdit(action, true);
}

void TgpInplaceEdit::ColumnGoing(TgpColumn* Column) {
  if (Column == nullptr || Column != column_) return;
  column_ = nullptr;
  fields_->SetColumn(nullptr);
}

void TgpInplaceEdit::EscapeKey() {
  if (drop_down_form_ != nullptr) {
    TDBProdiEdit::EscapeKey();
    return;
  }
  EndWith(fpcUnknown, feaCancel);
}

bool TgpInplaceEdit::ReturnKey(TShiftState shift) {
  if (drop_down_form_ != nullptr) return TDBProdiEdit::ReturnKey(shift);
  TvpFieldVision* vision = EffectiveVision();
  if (vision->NativeMultiLine() &&
      ((vision->WantReturns() && NoModifiers(shift)) || (!vision->WantReturns() && OnlyCtrl(shift))))
    return false;
  EndWith(fpcReturnKey, feaPost);
  return true;
}

bool TgpInplaceEdit::VertArrow(bool is_up, TShiftState shift) {
  if (EffectiveVision()->NativeMultiLine()) return false;
  if (shift.Contains(ssCtrl) && TDBProdiEdit::VertArrow(is_up, shift)) return true;
  EndWith(fpcArrowKey, is_up ? feaMoveUp : feaMoveDown, shift.Contains(ssShift));
  return true;
}

bool TgpInplaceEdit::HorzArrow(bool is_left) {
  if (EffectiveVision()->SelfDrawn() || (always_editing_ && !fields_->Modified())) {
    grid_->MoveFocus(is_left ? feaMoveLeft : feaMoveRight, false);
    return true;
  }
  return false;
}

bool TgpInplaceEdit::TabKey(TShiftState shift) {
  TDBProdiEdit::TabKey(shift);
  TvpFieldVision* vision = EffectiveVision();
  if (vision->NativeMultiLine() &&
      ((vision->WantTabs() && NoModifiers(shift)) || (!vision->WantTabs() && OnlyCtrl(shift))))
    return false;
  EndWith(fpcTabKey, shift.Contains(ssShift) ? feaPrevTab : feaNextTab);
  return true;
}

void TgpInplaceEdit::KeyDown(uint16_t& key, TShiftState shift) {
  if (always_editing_ && !fields_->Modified()) {
    const bool paging = key == VK_PRIOR || key == VK_NEXT || key == VK_END || key == VK_HOME;
    const bool plain = NoModifiers(shift) && (key == VK_RETURN || key == VK_ESCAPE || key == VK_INSERT);
    if (paging || plain) {
      grid_->EditorKeyDown(key, shift);
      key = 0;
      return;
    }
  }
  pending_action_ = feaNone;
  TDBProdiEdit::KeyDown(key, shift);
}

void TgpInplaceEdit::KeyPress(char& key) {
  if (key != '\b' && key != 0) {
    TgpFieldEditAction action = feaNone;
    bool handle_key = true;
    grid_->DoEditKeyPress(column_, key, action, handle_key);
    if (!handle_key && action != feaNone) {
      key = 0;
      post_code_ = fpcCharKey;
      pending_action_ = action;
      return;
    }
  }
  TDBProdiEdit::KeyPress(key);
}

void TgpInplaceEdit::KeyUp(uint16_t& key, TShiftState shift) {
  TDBProdiEdit::KeyUp(key, shift);
  if (post_code_ == fpcCharKey && pending_action_ != feaNone) {
    const TgpFieldEditAction action = pending_action_;
    pending_action_ = feaNone;
    grid_->EndEdit(action, true);
  }
}

void TgpInplaceEdit::MouseWheel(TShiftState shift, int delta, int x, int y) {
  grid_->EditorMouseWheel(shift, delta, x, y);
}

void TgpInplaceEdit::DoExit() {
  TDBProdiEdit::DoExit();
  // Leaving for the grid itself, or for the drop-down (still open then), is
  // no exit from the grid.
  if (drop_down_form_ != nullptr && drop_down_form_->IsOpen()) return;
  if (!grid_->Focused() && FocusStaysInForm(*this)) grid_->EditorExit();
}
