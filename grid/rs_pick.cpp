#include "grid/rs_pick.h"

#include <utility>
#include <algorithm>

#include "toolkit/core/units.h"
#include "grid/rs.h"
#include "grid/rs_ods.h"
#include "grid/rs_pack.h"
#include "grid/rs_str.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/db.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/forms.h"

namespace {

TvpDataListForm* g_data_list = nullptr;

// Sends a key to a control as if it were pressed there.
struct KeyAccess : TCustomControl {
  static void Press(TCustomControl* control, uint16_t& key, TShiftState shift) {
    (control->*(&KeyAccess::KeyDown))(key, shift);
  }
};

bool IsListKey(uint16_t key) {
  return key == VK_PRIOR || key == VK_NEXT || key == VK_END || key == VK_HOME || key == VK_UP || key == VK_DOWN;
}

}  // namespace

const TTypeInfo& TfvPickListTypeType() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TfvPickListType", {"pltDefault", "pltSorted", "pltMRU", "pltSortedMRU"});
  return t;
}

// ---- TDataListVision -----------------------------------------------------------------------

const TClassInfo& TDataListVision::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TDataListVision>, "TDataListVision", &TToolFormVision::StaticClassInfo(),
                               [](TPublisher<TDataListVision>&) {});
  return info;
}

TDataListVision::TDataListVision(TComponent* owner) : TToolFormVision(owner) { SetLookupTyping(true); }

void TDataListVision::SetDropDownRows(int value) {
  if (value <= 0) rsErrorFmt(SValueNotPositive, {value});
  drop_down_rows_ = value;
}

void TDataListVision::GetKeyFieldName(TgpFieldList&, AnsiString& Name) { Name.clear(); }

TDataSource* TDataListVision::GetListDataSource(TgpFieldList&) { return nullptr; }

void TDataListVision::TakeListValue(IvpVisionEdit&, int) {}

TDataSource* TDataListVision::GetListSource(TgpFieldList& Fields) { return GetListDataSource(Fields); }

void TDataListVision::ListCurrentChanged() {
  if (TVisionToolForm* form = AttachedToolForm()) form->CurrentChanged();
}

bool TDataListVision::AcceptTypedText(IvpVisionEdit& Edit, AnsiString& Text, int& SelEnd, int& SelStart,
                                      const AnsiString& OldText) {
  TgpFieldList& fields = Edit.EditFields();
  TDataSource* source = GetListDataSource(fields);
  TDataSet* list = source != nullptr ? source->DataSet() : nullptr;
  auto* edit = dynamic_cast<TDBProdiEdit*>(&Edit);
  const bool forward = edit == nullptr || edit->TypedForward();
  if (Text.empty()) {
    if (nullable_) {
      Edit.CurrentValue().Clear();
      TakeListValue(Edit, 1);
      ListCurrentChanged();
    }
    return true;
  }
  AnsiString key_name;
  GetKeyFieldName(fields, key_name);
  bool found = false;
  AnsiString list_text;
  if (list != nullptr && list->QueryActive() && !key_name.empty() &&
      list->FindByValues(key_name, Variant(Text), TFindOptions{fiCaseInsensitive, fiPartialKey})) {
    found = true;
    list_text = list->FieldNamed(key_name)->GetStringValue();
  }
  if (found && (forward || AnsiCompareText(Text, list_text) == 0)) {
    SelStart = static_cast<int>(list_text.size());
    SelEnd = static_cast<int>(Text.size());
    Text = list_text;
    TakeListValue(Edit, 0);
    ListCurrentChanged();
  } else if (!values_only_) {
    Edit.CurrentValue().Clear();
    Edit.CurrentValue().Changed = false;
    TakeListValue(Edit, 2);
    ListCurrentChanged();
  } else if (forward) {
    // The character continues no entry: the old text comes back with the
    // caret where it was and the tail after it still selected.
    SelEnd = SelStart - 1;
    SelStart = static_cast<int>(OldText.size());
    return false;
  }
  return true;
}

// ---- TStandardVision -----------------------------------------------------------------------

const TClassInfo& TStandardVision::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TStandardVision>, "TStandardVision", &TDataListVision::StaticClassInfo(),
      [](TPublisher<TStandardVision>& p) {
        using V = TStandardVision;
        p.Boolean("ComboBoxStyle", &V::ComboBoxStyle, &V::SetComboBoxStyle).WithDefault(false);
        p.Ordinal("Alignment", TvpDefAlignmentType(), &V::Alignment, &V::SetAlignment).WithDefault(talDefault);
        p.Integer("MaxLength", &V::MaxLength, &V::SetMaxLength).WithDefault(0);
        p.String("EditMask", &V::EditMask, &V::SetEditMask);
        p.Boolean("EditReadOnly", &V::EditReadOnly, &V::SetEditReadOnly).WithDefault(false);
        PublishVisionImages(p);
        p.Boolean("EnableButton", &V::EnableButton, &V::SetEnableButton).WithDefault(true);
        p.Boolean("Nullable", &V::Nullable, &V::SetNullable).WithDefault(true);
        p.Object("DropDown", TVisionToolForm::StaticClassInfo(), &V::DropDown,
                 [](V& o, TPersistent* v) { o.SetDropDown(dynamic_cast<TVisionToolForm*>(v)); });
        p.Ordinal("DropDownOptions", TfvDropDownOptionsType(), &V::DropDownOptions, &V::SetDropDownOptions)
            .WithDefault(0);
        p.Boolean("EnableDropDown", &V::EnableDropDown, &V::SetEnableDropDown).WithDefault(true);
        p.Integer("DropDownRows", &V::DropDownRows, &V::SetDropDownRows).WithDefault(7);
        p.Object("PickList", TStrings::StaticClassInfo(), &V::PickList,
                 [](V& o, TPersistent* v) { o.SetPickList(dynamic_cast<TStrings*>(v)); });
        p.Boolean("PickListValuesOnly", &V::PickListValuesOnly, &V::SetPickListValuesOnly).WithDefault(false);
        p.Ordinal("PickListType", TfvPickListTypeType(), &V::PickListType, &V::SetPickListType)
            .WithDefault(pltDefault);
        p.Boolean("SkipCharValidation", &V::SkipCharValidation, &V::SetSkipCharValidation).WithDefault(false);
        PublishEvents(p, "TfvGetStrValueEvent OnGetValue");
        PublishEvents(p, "TfvStdNewValueEvent OnNewValue");
        PublishVisionEvents(p, "*");
      });
  return info;
}

TStandardVision::TStandardVision(TComponent* owner)
    : TDataListVision(owner), pick_list_(std::make_unique<TgpPickList>(this)) {
  SetEnableButton(true);
  SetButtonStyle(pbsDropDown);
  SetPickListValuesOnly(false);
}

TStandardVision::~TStandardVision() {
  if (list_source_) list_source_->SetDataSet(nullptr);
}

void TStandardVision::SetPickList(const TStrings* value) {
  pick_list_->Clear();
  if (value != nullptr) pick_list_->AddStrings(*value);
  RefreshList();
}

void TStandardVision::SetPickListType(TfvPickListType value) {
  pick_list_type_ = value;
  pick_list_->SetSorted(value == pltSorted || value == pltSortedMRU);
  RefreshList();
}

TDataSet* TStandardVision::ListDataSet() const { return list_data_set_.get(); }

void TStandardVision::EnsureListSource() {
  if (list_data_set_) return;
  list_data_set_ = std::make_unique<TObjDataSet>(nullptr);
  list_data_set_->SetReadOnly(true);
  list_source_ = std::make_unique<TDataSource>(nullptr);
  list_source_->SetDataSet(list_data_set_.get());
}

void TStandardVision::RefreshList() {
  if (list_data_set_ && list_data_set_->QueryActive()) list_data_set_->Reload();
}

void TStandardVision::CanShow(TgpFieldList& Fields, bool& Active) {
  Active = !Fields.FieldName().empty() && dynamic_cast<TBlobField*>(Fields.Field()) == nullptr;
}

void TStandardVision::GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) {
  if (TField* field = Fields.Field()) {
    Text = field->FormatForDisplay(DisplayText);
    return;
  }
  Text.clear();
  bool is_null = false;
  if (OnGetValue) OnGetValue(this, Fields, Text, is_null);
}

void TStandardVision::GetEditMask(TgpFieldList& Fields, AnsiString& Mask) {
  Mask = !Fields.EditFormat().empty() ? Fields.EditFormat() : EditMask();
  TDataListVision::GetEditMask(Fields, Mask);
}

bool TStandardVision::IsValidChar(TgpFieldList& Fields, char Ch) {
  return skip_char_validation_ || TDataListVision::IsValidChar(Fields, Ch);
}

void TStandardVision::InitEdit(IvpVisionEdit& Edit) {
  TDataListVision::InitEdit(Edit);
  EnsureListSource();
  list_data_set_->Deactivate();
  list_data_set_->SetSource(pick_list_.get());
  list_data_set_->Activate();
}

void TStandardVision::TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool& Skip) {
  TDataListVision::TextToValue(Edit, Value, Skip);
  AnsiString text = Edit.EditText();
  if (text.empty()) return;
  bool do_skip = false;
  if (OnNewValue) OnNewValue(this, Edit.EditFields(), text, do_skip);
  Value.SetAsString(text);
  if (do_skip) return;
  if ((pick_list_type_ == pltMRU || pick_list_type_ == pltSortedMRU) && pick_list_->IndexOf(text) < 0) {
    pick_list_->Add(text);
    RefreshList();
  }
}

bool TStandardVision::PostValue(TgpFieldList& Fields, const TvpUniValue& Value) {
  const bool posted = TDataListVision::PostValue(Fields, Value);
  if (pick_list_type_ == pltMRU && !Value.IsNull()) {
    const AnsiString text = Value.AsString();
    const int at = pick_list_->IndexOf(text);
    if (at < 0)
      pick_list_->Insert(0, text);
    else if (at > 0)
      pick_list_->Move(at, 0);
    RefreshList();
  }
  return posted;
}

void TStandardVision::GetKeyFieldName(TgpFieldList&, AnsiString& Name) { Name = "Value"; }

TDataSource* TStandardVision::GetListDataSource(TgpFieldList&) { return list_source_.get(); }

void TStandardVision::TakeListValue(IvpVisionEdit& Edit, int Mode) {
  if (Mode == 0) {
    if (list_data_set_ && list_data_set_->QueryActive())
      Edit.CurrentValue().SetAsString(list_data_set_->FieldNamed("Value")->GetStringValue());
  } else if (Mode == 1) {
    Edit.CurrentValue().Clear();
  }
}

TVisionToolForm* TStandardVision::GetDefaultDropDown() { return DataListForm(); }

void TStandardVision::Assign(const TPersistent* source) {
  TDataListVision::Assign(source);
  auto* other = dynamic_cast<const TStandardVision*>(source);
  if (other == nullptr) return;
  SetComboBoxStyle(other->ComboBoxStyle());
  SetMaxLength(other->MaxLength());
  SetEditMask(other->EditMask());
  SetEnableButton(other->EnableButton());
  SetEditReadOnly(other->EditReadOnly());
  SetImages(other->Images());
  SetAlignImage(other->AlignImage());
  SetDrawImages(other->DrawImages());
  SetNullable(other->Nullable());
  SetDropDown(other->DropDown());
  SetDropDownOptions(other->DropDownOptions());
  SetDropDownRows(other->DropDownRows());
  SetEnableDropDown(other->EnableDropDown());
  SetPickListType(other->PickListType());
  SetPickList(other->PickList());
  SetPickListValuesOnly(other->PickListValuesOnly());
  SetSkipCharValidation(other->SkipCharValidation());
}

namespace {
const char kPickUnit = 0;
void FinalizePickUnit() {
  if (g_data_list) g_data_list->Free();
}
}  // namespace

TVisionToolForm* TStandardVision::DataListForm() {
  if (!g_data_list) {
    g_data_list = new TvpDataListForm();
    RegisterUnit(&kPickUnit, "rs_pick", FinalizePickUnit);
  }
  return g_data_list;
}

void FreePickDefaults() { FinalizeUnit(&kPickUnit); }

// ---- TvpDataListForm -------------------------------------------------------------------------

TvpDataListForm::TvpDataListForm() : TVisionToolForm(Application) {
  SetBounds(0, 0, 120, 100);
  auto* grid = new TDBGridPro(this);
  grid->SetParent(this);
  grid->SetAlign(alClient);
  grid->SetBorderStyle(bsNoBorder);
  grid->SetShowTitles(false);
  grid->SetReadOnly(true);
  grid->SetUniqueFields("_Key");
  grid->SetOptionsPickup(TgpPickupOptions{gpoReturnKey, gpoClick, gpoMouseTrack, gpoCaptureRecord});
  grid->SetCursorType(gctInsensitiveID);
  grid->OnPickup = [this](TComponent*) { Pick(); };
  SetDataGrid(grid);
  // The focus stays in the edit: the list's keys come from there.
  OnKeyDown = [this](TComponent*, uint16_t& key, TShiftState shift) {
    if (shift.Contains(ssShift) || shift.Contains(ssCtrl) || shift.Contains(ssAlt)) return;
    // Return in the edit picks the list's current entry, as it would in the list.
    if (key == VK_RETURN) {
      key = 0;
      Pick();
      return;
    }
    if (!IsListKey(key)) return;
    if (TDBGridPro* list = DataGrid()) KeyAccess::Press(list, key, TShiftState{});
    key = 0;
  };
  OnCurrentChanged = [this](TComponent*) {
    if (DataGrid() && Edit()) DataGrid()->SyncToValue(Edit()->CurrentValue().AsVariant());
  };
  // The height snaps to whole rows, between 2 and the list's records.
  OnSizing = [this](TComponent*, TvpSizingInfo& info) {
    const int row = std::max(1, DataGrid()->RowHeight());
    int rows = (info.Height - Frame()) / row;
    rows = std::max(2, std::min(rows, std::max(RecordCount(), 2)));
    info.Height = rows * row + Frame();
  };
  OnClose = [this](TComponent*) { Closed(); };
}

TvpDataListForm::~TvpDataListForm() {
  if (g_data_list == this) g_data_list = nullptr;
}

int TvpDataListForm::Frame() const { return Host() != nullptr ? Host()->Height() - Height() : 0; }

int TvpDataListForm::RecordCount() const {
  TDataSource* source = DataGrid() != nullptr ? DataGrid()->DataSource() : nullptr;
  TDataSet* list = source != nullptr ? source->DataSet() : nullptr;
  return list != nullptr && list->QueryActive() ? std::max(list->CursorRecordCount(), 0) : 0;
}

int TvpDataListForm::ShownRows() const {
  const int row = std::max(1, DataGrid()->RowHeight());
  return Height() / row;
}

void TvpDataListForm::Show(IVisionToolFormUser* User, TDBProdiEdit* Edit) {
  if (IsOpen() || User == nullptr || Edit == nullptr) return;
  vision_ = dynamic_cast<TDataListVision*>(Edit->EffectiveVision());
  TDBGridPro* grid = DataGrid();
  // Taken on each show: the pack may have been freed and made again since.
  TgpDesigner* designer = DefPack()->dsgDataList;
  // The column takes the edit's width while the form is sized to it; the
  // fit then keeps it filling whatever width the user drags the form to.
  grid->SetAutoColumnFit(false);
  grid->SetDesigner(designer);
  if (vision_ != nullptr)
    designer->SetFocusRectKind(vision_->DropDownOptions().Contains(ddoNoFocusRect) ? frcNone : frcPersistentRow);
  grid->Columns()->Clear();
  grid->SetUniqueFields("Value");
  TgpColumn* column = grid->Columns()->Add();
  column->SetFieldName("Value");
  column->SetWidth(Edit->Width());
  // The rows show through the item vision, without pictures until someone
  // names the field that holds them and gives it a list.
  TLiteVision* item = DefPack()->visImagedText;
  item->SetImages(nullptr);
  item->SetRelatedFields("?");
  column->SetVision(item);
  TDataSource* source = vision_ != nullptr ? vision_->GetListSource(Edit->EditFields()) : nullptr;
  grid->SetDataSource(source);
  TDataSet* list = source != nullptr ? source->DataSet() : nullptr;
  if (list != nullptr && list->QueryActive()) {
    if (!list->FindByValues("Value", Edit->CurrentValue().AsVariant(), TFindOptions{})) list->GoFirst();
    // The list keeps its own current record: it starts on the one found, so
    // that Return picks it and the arrows move on from it.
    grid->Selection()->Current()->Recapture(false);
  }
  const int records = RecordCount();
  const int wanted = vision_ != nullptr ? vision_->DropDownRows() : 7;
  int rows = wanted;
  TvtfOptions options = TvtfOptions{};
  if (records < wanted) {
    rows = records;
    options = options.Include(tfoFixedHeight);
  }
  SetOptions(options);
  int width = GetSystemMetrics(SM_CXVSCROLL);
  for (int i = 0; i < grid->Columns()->Count(); ++i)
    width += grid->Columns()->Items(i)->Width() + grid->EffectiveDesigner()->VertLineWidth();
  SetBounds(Left(), Top(), width, std::max(rows, 2) * std::max(1, grid->RowHeight()));
  grid->SetAutoColumnFit(true);
  TVisionToolForm::Show(User, Edit);
}

void TvpDataListForm::Pick() {
  TDBProdiEdit* edit = Edit();
  TDBGridPro* grid = DataGrid();
  if (edit == nullptr || grid == nullptr) return;
  const Variant value = grid->TakeValue();
  edit->SetValueText(value.IsNull() ? AnsiString() : value.AsString(), true);
  SetChanged(true);
  Close(true, false);
}

void TvpDataListForm::Closed() {
  if (vision_ != nullptr) {
    const int shown = ShownRows();
    const int records = RecordCount();
    if (shown != vision_->DropDownRows() && shown > 0 && (shown < records || shown > vision_->DropDownRows()))
      vision_->SetDropDownRows(shown);
  }
  vision_ = nullptr;
  if (DataGrid()) DataGrid()->SetDataSource(nullptr);
}
