// One grid column: its published settings and what a change of each does,
// title states and sort order, footers, copying between columns, the
// column as the consumer of its field list, and the rectangles of its title,
// cells and footer.
#include <algorithm>

#include "grid/rs.h"
#include "grid/rs_std.h"
#include "grid/rs_str.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/ui/menus.h"

// ---- Reflection types ---------------------------------------------------------------------

const TTypeInfo& TvpDefAlignmentType() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TvpDefAlignment", {"talDefault", "talLeftJustify", "talRightJustify", "talCenter"});
  return t;
}

const TTypeInfo& TvpDefLayoutType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TvpDefLayout", {"tlaDefault", "tlaTop", "tlaCenter", "tlaBottom"});
  return t;
}

namespace {

const TTypeInfo& VisualOptionType() {
  static const TTypeInfo t = TTypeInfo::Enumeration(
      "TgpColumnVisualOption", {"cvoForeColorFill", "cvoNoCaption", "cvoNoFooterMarker", "cvoWordWrap", "cvoOwnerDraw"});
  return t;
}

const TTypeInfo& BehaviorOptionType() {
  static const TTypeInfo t = TTypeInfo::Enumeration(
      "TgpColumnBehaviorOption", {"cboNoTitleStates", "cboNoFooterStates", "cboFixedWidth", "cboStandalone",
                                  "cboNoDragging", "cboNoCustomizing", "cboNoSelecting"});
  return t;
}

const TTypeInfo& MappingOptionType() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TgpColumnMappingOption", {"cioImportCaption", "cioImportDomain"});
  return t;
}

// The footer markers, in footer-state order (fsCount and fsNone have none).
AnsiString FooterMarker(TgpColumnFooterState state) { return ListItem(rsLoadStr(SFooterMarkers), state, ';'); }

TAlignment ToAlignment(TvpDefAlignment value) {
  switch (value) {
    case talRightJustify:
      return taRightJustify;
    case talCenter:
      return taCenter;
    default:
      return taLeftJustify;
  }
}

TLayout ToLayout(TvpDefLayout value) {
  switch (value) {
    case tlaTop:
      return tlTop;
    case tlaBottom:
      return tlBottom;
    default:
      return tlCenter;
  }
}

}  // namespace

const TTypeInfo& TgpColumnVisualOptionsType() {
  static const TTypeInfo t = TTypeInfo::SetOf("TgpColumnVisualOptions", VisualOptionType());
  return t;
}

const TTypeInfo& TgpColumnBehaviorOptionsType() {
  static const TTypeInfo t = TTypeInfo::SetOf("TgpColumnBehaviorOptions", BehaviorOptionType());
  return t;
}

const TTypeInfo& TgpColumnMappingOptionsType() {
  static const TTypeInfo t = TTypeInfo::SetOf("TgpColumnMappingOptions", MappingOptionType());
  return t;
}

const TTypeInfo& TgpColumnFixedType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TgpColumnFixed", {"cfNone", "cfLeft"});
  return t;
}

const TTypeInfo& TgpColumnTitleStateType() {
  static const TTypeInfo t =
      TTypeInfo::Enumeration("TgpColumnTitleState", {"tsSortedNone", "tsSortedUp", "tsSortedDown"});
  return t;
}

const TTypeInfo& TgpColumnFooterStateType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TgpColumnFooterState",
                                                    {"fsAverage", "fsCount", "fsMax", "fsMin", "fsSum", "fsNone"});
  return t;
}

const TTypeInfo& TgpColumnFooterStatesType() {
  static const TTypeInfo t = TTypeInfo::SetOf("TgpColumnFooterStates", TgpColumnFooterStateType());
  return t;
}

// ---- TgpCellAttrsList and TgpFooterAttrs ----------------------------------------------------

void TgpCellAttrsList::Resize(int n) {
  if (n < 0) n = 0;
  while (Count() < n) items_.push_back(std::make_unique<TgpCellAttrs>());
  if (Count() > n) items_.erase(items_.begin(), items_.begin() + (Count() - n));
}

const TClassInfo& TgpFooterAttrs::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TgpFooterAttrs>, "TgpFooterAttrs", &TPersistent::StaticClassInfo());
  return info;
}

void TgpFooterAttrs::Changed() {
  if (OnChange) OnChange();
}

void TgpFooterAttrs::SetColor(TColor value) {
  color_ = value;
  Changed();
}

void TgpFooterAttrs::SetFontColor(TColor value) {
  font_color_ = value;
  Changed();
}

void TgpFooterAttrs::SetFontStyle(TFontStyles value) {
  font_style_ = value;
  Changed();
}

void TgpFooterAttrs::SetFontName(const AnsiString& value) {
  font_name_ = value;
  Changed();
}

void TgpFooterAttrs::Reset() {
  color_ = font_color_ = clNone;
  font_style_ = TFontStyles();
  font_name_.clear();
  Changed();
}

void TgpFooterAttrs::Assign(const TPersistent* source) {
  auto* other = dynamic_cast<const TgpFooterAttrs*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  color_ = other->color_;
  font_color_ = other->font_color_;
  font_style_ = other->font_style_;
  font_name_ = other->font_name_;
  Changed();
}

// ---- The column as consumer of its field list ----------------------------------------------

class TgpColumn::Consumer_ final : public IvpFieldVisionConsumer {
 public:
  explicit Consumer_(TgpColumn& column) : column_(column) {}

  TComponent* GetConsumerComponent() override {
    IgpColumnsHost* host = column_.Host();
    return host != nullptr ? host->HostComponent() : nullptr;
  }
  bool CanEditValue() override {
    IgpColumnsHost* host = column_.Host();
    return !column_.ReadOnly() && (host == nullptr || !host->HostReadOnly());
  }
  bool CanStartEdit() override {
    if (!column_.EffectiveVision()->DoBeforeEdit(*column_.FieldList())) return false;
    IgpColumnsHost* host = column_.Host();
    return host == nullptr || host->DoBeforeFieldEdit(&column_);
  }
  void EditStarted() override {}
  void ValuePosted() override {
    if (IgpColumnsHost* host = column_.Host()) host->ColumnValuePosted(&column_);
  }
  bool UpdateCaptionAlignment() override { return column_.UpdateCaptionAlignment(); }
  void PopupMenuChanged() override {}
  void VisionChanged(TvpFieldVision* Vision) override {
    column_.vision_ = Vision;
    IgpColumnsHost* host = column_.Host();
    if (!column_.importing_ && host != nullptr && host->HasMapper()) {
      column_.options_mapping_.Exclude(cioImportDomain);
    }
    column_.Rebind();
    column_.Remeasure();
  }
  void FieldsChanged() override { column_.Rebind(); }
  void UpdateActive() override { column_.UpdateActive(); }
  void ViewChanged() override { column_.RepaintColumn(); }
  void ImagesChanged() override { column_.Remeasure(); }
  void ButtonChanged() override {}
  void EditStyleChanged() override {}

 private:
  TgpColumn& column_;
};

// ---- TgpColumn: construction ---------------------------------------------------------------

const TClassInfo& TgpColumn::StaticClassInfo() {
  using C = TgpColumn;
  static const TClassInfo info(kClassOf<C>, "TgpColumn", &TCollectionItem::StaticClassInfo(), [](TPublisher<C>& p) {
    auto has_mapper = [](const C& c) {
      IgpColumnsHost* host = c.Host();
      return host != nullptr && host->HasMapper();
    };
    p.String("FieldName", &C::FieldName, &C::SetFieldName);
    p.Object("Vision", TvpFieldVision::StaticClassInfo(), &C::Vision, &C::SetVision)
        .StoredWhen([has_mapper](const TPersistent& o) {
          auto& c = static_cast<const C&>(o);
          return c.Vision() != nullptr && !(c.OptionsMapping().Contains(cioImportDomain) && has_mapper(c));
        });
    p.Ordinal("OptionsVisual", TgpColumnVisualOptionsType(), &C::OptionsVisual, &C::SetOptionsVisual).WithDefault(0);
    p.Ordinal("OptionsBehavior", TgpColumnBehaviorOptionsType(), &C::OptionsBehavior, &C::SetOptionsBehavior)
        .WithDefault(0);
    p.Ordinal("OptionsMapping", TgpColumnMappingOptionsType(), &C::OptionsMapping, &C::SetOptionsMapping)
        .WithDefault(TgpColumnMappingOptions{cioImportCaption, cioImportDomain}.Bits());
    p.Ordinal("Fixed", TgpColumnFixedType(), &C::Fixed, &C::SetFixed).WithDefault(cfNone);
    p.String("DisplayFormat", &C::DisplayFormat, &C::SetDisplayFormat);
    p.String("EditFormat", &C::EditFormat, &C::SetEditFormat);
    p.String("Caption", &C::Caption, &C::SetCaption).StoredWhen([has_mapper](const TPersistent& o) {
      auto& c = static_cast<const C&>(o);
      return !c.Caption().empty() && !(c.OptionsMapping().Contains(cioImportCaption) && has_mapper(c));
    });
    p.Ordinal("CaptionAlignment", TvpDefAlignmentType(), &C::CaptionAlignment, &C::SetCaptionAlignment)
        .WithDefault(talDefault);
    // Reading a picture makes the glyph; it is written only while it holds one.
    p.Object("TitleGlyph", TBitmap::StaticClassInfo(), [](const C& c) { return const_cast<C&>(c).TitleGlyph(); },
             &C::SetTitleGlyph)
        .StoredWhen([](const TPersistent& o) {
          const TBitmap* glyph = static_cast<const C&>(o).TitleGlyphIfAny();
          return glyph != nullptr && !glyph->Empty();
        });
    p.Integer("TitleImageIndex", &C::TitleImageIndex, &C::SetTitleImageIndex).WithDefault(-1);
    p.Ordinal("TitleState", TgpColumnTitleStateType(), &C::TitleState, &C::SetTitleState).WithDefault(tsSortedNone);
    // The footer state comes before the footer text: setting the state
    // clears the text, so in the other order a stored text would be lost
    // when the column is read back.
    p.Ordinal("FooterState", TgpColumnFooterStateType(), &C::FooterState, &C::SetFooterState).WithDefault(fsNone);
    p.String("FooterText", &C::FooterText, &C::SetFooterText);
    p.Ordinal("FooterTextAlignment", TvpDefAlignmentType(), &C::FooterTextAlignment, &C::SetFooterTextAlignment)
        .WithDefault(talDefault);
    p.Ordinal("FooterStates", TgpColumnFooterStatesType(), &C::FooterStates, &C::SetFooterStates)
        .WithDefault(TgpColumnFooterStates{fsAverage, fsCount, fsMax, fsMin, fsSum, fsNone}.Bits());
    p.Integer("Tag", &C::Tag, &C::SetTag).WithDefault(0);
    p.Integer("Width", &C::Width, &C::SetWidth).WithDefault(45);
    p.Integer("LayoutLevel", &C::LayoutLevel, &C::SetLayoutLevel).WithDefault(0);
    p.Integer("LayoutIndex", &C::LayoutIndex, &C::SetLayoutIndex).WithDefault(0);
    p.Boolean("ReadOnly", &C::ReadOnly, &C::SetReadOnly).WithDefault(false);
    p.Ordinal("Color", TypeInfoTColor(), &C::Color, &C::SetColor).WithDefault(clNone);
    p.Ordinal("Alignment", TvpDefAlignmentType(), &C::Alignment, &C::SetAlignment).WithDefault(talDefault);
    p.Ordinal("VertAlignment", TvpDefLayoutType(), &C::VertAlignment, &C::SetVertAlignment).WithDefault(tlaDefault);
    // Reading a sub-property makes the font; it is written only while it exists.
    p.Object("Font", TChildFont::StaticClassInfo(), [](const C& c) { return const_cast<C&>(c).Font(); },
             &C::SetFont)
        .StoredWhen([](const TPersistent& o) { return static_cast<const C&>(o).FontIfAny() != nullptr; });
    p.Object(
        "PopupMenu", TComponent::StaticClassInfo(), [](const C& c) -> TPersistent* { return c.PopupMenu(); },
        [](C& c, TPersistent* v) { c.SetPopupMenu(dynamic_cast<TPopupMenu*>(v)); });
    p.Boolean("Visible", &C::Visible, &C::SetVisible).WithDefault(true);
  });
  return info;
}

TgpColumn::TgpColumn(TCollection* collection)
    : TCollectionItem(collection),
      consumer_(std::make_unique<Consumer_>(*this)),
      footer_attrs_(std::make_unique<TgpFooterAttrs>()) {
  footer_attrs_->OnChange = [this] { RepaintColumn(); };
  field_list_ = std::make_unique<TgpFieldList>(consumer_.get(), ckColumn);
  field_list_->SetColumn(this);
  if (IgpColumnsHost* host = Host()) {
    cell_attrs_.Resize(host->RowCount());
    field_list_->SetAttrs(host->HostAttrs());
    field_list_->SetDataLink(host->HostDataLink());
  }
}

TgpColumn::~TgpColumn() {
  TgpColumns* columns = Columns();
  if (columns != nullptr && columns->host_ != nullptr) {
    try {
      columns->host_->ColumnGoing(this);
    } catch (...) {
      // A destructor cannot report; the column goes all the same.
    }
  }
  bool relayout = columns != nullptr && columns->host_ != nullptr && columns->UpdateCount() == 0;
  if (!relayout) {
    SetCollection(nullptr);
    return;
  }
  // A dying column first leaves its group, so that the columns after it keep
  // their places; the grid lays out once it is gone.
  columns->BeginUpdate();
  try {
    if (!visible_) columns->ShowHidden(this);
    columns->MakeGroup(this, nullptr);
  } catch (...) {
    // A destructor cannot report; the relayout below still runs.
  }
  field_list_.reset();
  SetCollection(nullptr);
  try {
    columns->EndUpdate();
  } catch (...) {
    // A destructor cannot report; the column is gone all the same.
  }
}

TgpColumns* TgpColumn::Columns() const { return dynamic_cast<TgpColumns*>(Collection()); }

IgpColumnsHost* TgpColumn::Host() const {
  TgpColumns* columns = Columns();
  return columns != nullptr ? columns->Host() : nullptr;
}

TDBGridPro* TgpColumn::Grid() const {
  IgpColumnsHost* host = Host();
  return host != nullptr ? host->HostGrid() : nullptr;
}

IvpFieldVisionConsumer* TgpColumn::Consumer() const { return consumer_.get(); }

TvpFieldVision* TgpColumn::EffectiveVision() const { return field_list_->Vision(); }

bool TgpColumn::Gridless() const { return Host() == nullptr; }

bool TgpColumn::Loading() const {
  IgpColumnsHost* host = Host();
  return host != nullptr && host->HostLoading();
}

// Setters that only store in a free-standing collection, while loading or
// while the collection is being updated.
namespace {
bool StoreOnly(const TgpColumns* columns, bool loading) {
  return columns == nullptr || columns->Host() == nullptr || loading || columns->UpdateCount() != 0;
}
}  // namespace

// ---- Binding, repaint, caption --------------------------------------------------------------

void TgpColumn::Rebind() {
  IgpColumnsHost* host = Host();
  field_list_->ResolveFields(host != nullptr ? host->HostDataSet() : nullptr);
  field_ = field_list_->Field();
  UpdateActive();
  if (host == nullptr) return;
  UpdateCaptionAlignment();
  RepaintColumn();
}

void TgpColumn::UpdateActive() {
  IgpColumnsHost* host = Host();
  bool active = host != nullptr && host->LinkActive();
  if (active) EffectiveVision()->CanShow(*field_list_, active);
  field_list_->SetActive(active);
}

void TgpColumn::RepaintColumn() {
  if (assigning_ || Gridless() || Loading()) return;
  Host()->InvalidateColumn(Index());
}

void TgpColumn::Remeasure() {
  if (assigning_ || Gridless() || Loading()) return;
  if (Host()->RecalcMetrics()) {
    Host()->InvalidateAll();
  } else {
    RepaintColumn();
  }
}

bool TgpColumn::UpdateCaptionAlignment() {
  TvpFieldVision* vision = EffectiveVision();
  TgpFieldList& fields = *field_list_;
  AnsiString caption = caption_;
  if (caption.empty()) vision->GetDefaultCaption(fields, caption);
  TvpDefAlignment wanted = vision->Alignment() != talDefault ? vision->Alignment() : alignment_;
  TAlignment alignment = wanted != talDefault ? ToAlignment(wanted) : vision->GetDefaultAlignment(fields);
  TLayout layout;
  IgpColumnsHost* host = Host();
  if (vert_alignment_ != tlaDefault) {
    layout = ToLayout(vert_alignment_);
  } else {
    TvpDefLayout by_vision = vision->GetDefaultLayout(fields);
    layout = by_vision != tlaDefault || host == nullptr ? ToLayout(by_vision) : host->HostVertAlignment();
  }
  bool changed = caption != fields.Caption() || alignment != fields.Alignment() || layout != fields.Layout();
  fields.SetCaption(caption);
  fields.SetAlignment(alignment);
  fields.SetLayout(layout);
  return changed;
}

void TgpColumn::ImportFromMapper() {
  IgpColumnsHost* host = Host();
  if (host == nullptr || host->HostLoading() || !host->HasMapper()) return;
  if (field_name_.empty() || options_mapping_.Empty()) return;
  TScopedValue<bool> importing(importing_, true, false);
  TvpFieldVision* vision = nullptr;
  AnsiString caption;
  host->MapperEntry(field_list_.get(), vision, caption);
  if (options_mapping_.Contains(cioImportDomain)) SetVision(vision);
  if (options_mapping_.Contains(cioImportCaption)) SetCaption(caption);
}

// ---- Setters ----------------------------------------------------------------------------

void TgpColumn::SetFieldName(const AnsiString& value) {
  if (value == field_name_) return;
  field_name_ = value;
  field_list_->SetFieldName(value);
  if (Gridless() || Loading()) return;
  Rebind();
  ImportFromMapper();
}

void TgpColumn::SetVision(TvpFieldVision* value) {
  if (value == vision_) return;
  field_list_->SetVision(value);
}

void TgpColumn::SetOptionsVisual(TgpColumnVisualOptions value) {
  if (value == options_visual_) return;
  options_visual_ = value;
  RepaintColumn();
}

void TgpColumn::SetOptionsBehavior(TgpColumnBehaviorOptions value) {
  if (value == options_behavior_) return;
  TgpColumnBehaviorOptions changed = TgpColumnBehaviorOptions::FromBits(value.Bits() ^ options_behavior_.Bits());
  options_behavior_ = value;
  TgpColumns* columns = Columns();
  // While the collection is being updated its groups may not match the
  // columns yet; the relayout at the end of the update takes the options.
  if (StoreOnly(columns, Loading())) return;
  if (changed.Contains(cboFixedWidth) || changed.Contains(cboStandalone)) {
    columns->UpdateGroupFlags(group_);
    columns->MakeGroup(this, group_);
  }
  if (changed.Contains(cboNoSelecting)) {
    columns->RebuildSelectable();
    IgpColumnsHost* host = Host();
    if (host->CurrentColumnIndex() == Index()) host->SelectColumn(columns->NearestSelectable());
  }
}

void TgpColumn::SetOptionsMapping(TgpColumnMappingOptions value) {
  if (value == options_mapping_) return;
  options_mapping_ = value;
  ImportFromMapper();
}

void TgpColumn::SetFixed(TgpColumnFixed value) {
  if (value == fixed_) return;
  fixed_ = value;
  if (StoreOnly(Columns(), Loading())) return;
  Columns()->ApplyFixed();
}

void TgpColumn::SetDisplayFormat(const AnsiString& value) {
  if (value == display_format_) return;
  display_format_ = value;
  field_list_->SetDisplayFormat(value);
  RepaintColumn();
}

void TgpColumn::SetEditFormat(const AnsiString& value) {
  if (value == edit_format_) return;
  edit_format_ = value;
  field_list_->SetEditFormat(value);
}

void TgpColumn::SetCaption(const AnsiString& value) {
  if (value == caption_) return;
  caption_ = value;
  IgpColumnsHost* host = Host();
  if (host == nullptr) return;
  // A caption set by hand is no longer taken from the mapper.
  if (!importing_ && host->HasMapper()) options_mapping_.Exclude(cioImportCaption);
  UpdateCaptionAlignment();
  RepaintColumn();
}

void TgpColumn::SetCaptionAlignment(TvpDefAlignment value) {
  if (value == caption_alignment_) return;
  caption_alignment_ = value;
  RepaintColumn();
}

TBitmap* TgpColumn::TitleGlyph() {
  if (title_glyph_ == nullptr) {
    title_glyph_ = std::make_unique<TBitmap>();
    // A picture read into the glyph changes the title's height as a set one does.
    title_glyph_->OnChange = [this] { Remeasure(); };
  }
  return title_glyph_.get();
}

void TgpColumn::SetTitleGlyph(const TBitmap* value) {
  if (value == nullptr) {
    title_glyph_.reset();
  } else if (TBitmap* glyph = TitleGlyph(); value != glyph) {
    // Measured once, below.
    TScopedValue<std::function<void()>> quiet(glyph->OnChange, nullptr);
    glyph->Assign(*value);
  }
  title_image_index_ = -1;
  Remeasure();
}

void TgpColumn::SetTitleImageIndex(int value) {
  if (value == title_image_index_) return;
  title_image_index_ = value;
  title_glyph_.reset();
  Remeasure();
}

void TgpColumn::SetTitleState(TgpColumnTitleState value) {
  if (value == title_state_) return;
  if (IgpColumnsHost* host = Host(); host != nullptr && title_state_ == tsSortedNone) {
    host->SetSortCounter(host->SortCounter() + 1);
    sort_order_ = host->SortCounter();
  }
  title_state_ = value;
  if (value == tsSortedNone) sort_order_ = -1;
  RepaintColumn();
}

void TgpColumn::ChangeTitleState(TgpColumnTitleState State, bool ResetOthers, bool Notify) {
  if (State == title_state_) return;
  TgpColumns* columns = Columns();
  if (ResetOthers && columns != nullptr) {
    for (int i = 0; i < columns->Count(); ++i) columns->Items(i)->SetTitleState(tsSortedNone);
  }
  SetTitleState(State);
  IgpColumnsHost* host = Host();
  if (host == nullptr) return;
  host->InvalidateTitles();
  if (Notify) host->DoTitleStateChange(this);
}

void TgpColumn::ReadSortOrder(int value) {
  sort_order_ = value;
  if (IgpColumnsHost* host = Host()) host->SetSortCounter(value);
}

void TgpColumn::DefineProperties(TFiler& filer) {
  TCollectionItem::DefineProperties(filer);
  filer.DefineProperty(
      "SortOrder", [this](TReader& r) { ReadSortOrder(static_cast<int>(r.ReadInteger())); },
      [this](TWriter& w) { w.WriteInteger(sort_order_); }, sort_order_ != -1);
}

void TgpColumn::SetFooterText(const AnsiString& value) {
  if (value == footer_text_) return;
  footer_text_ = value;
  RepaintColumn();
}

void TgpColumn::SetFooterTextAlignment(TvpDefAlignment value) {
  if (value == footer_text_alignment_) return;
  footer_text_alignment_ = value;
  RepaintColumn();
}

void TgpColumn::SetFooterState(TgpColumnFooterState value) {
  if (value == footer_state_) return;
  footer_state_ = value;
  footer_text_.clear();
  RepaintColumn();
}

void TgpColumn::SetFooterStates(TgpColumnFooterStates value) { footer_states_ = value; }

AnsiString TgpColumn::FooterDisplayText() const {
  AnsiString marker = FooterMarker(footer_state_);
  if (marker.empty() || options_visual_.Contains(cvoNoFooterMarker)) return footer_text_;
  return marker + "=" + footer_text_;
}

void TgpColumn::SetColor(TColor value) {
  if (value == color_) return;
  color_ = value;
  RepaintColumn();
}

void TgpColumn::SetAlignment(TvpDefAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  if (Gridless()) return;
  UpdateCaptionAlignment();
  RepaintColumn();
}

void TgpColumn::SetVertAlignment(TvpDefLayout value) {
  if (value == vert_alignment_) return;
  vert_alignment_ = value;
  if (Gridless()) return;
  UpdateCaptionAlignment();
  RepaintColumn();
}

TChildFont* TgpColumn::Font() {
  if (font_ == nullptr) {
    font_ = std::make_unique<TChildFont>();
    font_->OnChange = [this](TChildFont*) { Remeasure(); };
  }
  return font_.get();
}

void TgpColumn::SetFont(const TChildFont* value) {
  if (value == nullptr) {
    if (font_ == nullptr) return;
    font_.reset();
    Remeasure();
    return;
  }
  if (value != font_.get()) Font()->Assign(value);
}

void TgpColumn::SetLineHeights(int title, int cell, int footer) {
  title_line_height_ = title;
  cell_line_height_ = cell;
  footer_line_height_ = footer;
}

void TgpColumn::SetWidth(int value) {
  value = std::max(value, 2);
  if (value == width_) return;
  TgpColumns* columns = Columns();
  if (!visible_ || group_ == nullptr || StoreOnly(columns, Loading())) {
    width_ = value;
    return;
  }
  // The column itself must take the new width, so a fixed width is lifted
  // for the change.
  bool fixed_width = options_behavior_.Contains(cboFixedWidth);
  options_behavior_.Exclude(cboFixedWidth);
  columns->UpdateGroupFlags(group_);
  {
    TScopeExit restore([&] {
      if (fixed_width) options_behavior_.Include(cboFixedWidth);
      columns->UpdateGroupFlags(group_);
    });
    if (columns->IsAloneInLine(this)) {
      columns->ResizeGroup(group_, value);
    } else {
      columns->ResizeLine(group_, columns->LineOf(this), 0, true, value, this);
    }
  }
  columns->Changed();
}

void TgpColumn::SetVisible(bool value) {
  if (value == visible_) return;
  TgpColumns* columns = Columns();
  if (StoreOnly(columns, Loading()) || group_ == nullptr) {
    visible_ = value;
    if (columns != nullptr && columns->Host() != nullptr && !Loading()) Changed(false);
    return;
  }
  if (value) {
    // The other columns of the line give up the room the column comes back to.
    int line = columns->LineOf(this);
    if (line != -1) columns->ResizeLine(group_, line, -width_, true, 0, nullptr);
    visible_ = true;
  } else {
    bool alone = columns->IsAloneInLine(this);
    int line = columns->LineOf(this);
    visible_ = false;
    if (!alone && line != -1) columns->ResizeLine(group_, line, width_, true, 0, nullptr);
  }
  Changed(false);
}

void TgpColumn::SetLayoutLevel(int value) {
  if (value != layout_level_) SetLayoutPosition(value, layout_index_);
}

void TgpColumn::SetLayoutIndex(int value) {
  if (value != layout_index_) SetLayoutPosition(layout_level_, value);
}

void TgpColumn::SetLayoutPosition(int level, int index) {
  if (StoreOnly(Columns(), Loading()) || group_ == nullptr) {
    layout_level_ = level;
    layout_index_ = index;
    return;
  }
  Columns()->MoveColumn(this, group_, level, index);
}

// ---- Copying ------------------------------------------------------------------------------

void TgpColumn::EndAssign() {
  assigning_ = false;
  Rebind();
  ImportFromMapper();
  Changed(false);
}

void TgpColumn::Assign(const TPersistent* source) {
  auto* src = dynamic_cast<const TgpColumn*>(source);
  if (src == nullptr) {
    TCollectionItem::Assign(source);
    return;
  }
  if (src == this) return;
  assigning_ = true;
  {
    TScopeExit assigned([this] { EndAssign(); });
    width_ = src->width_;
    layout_level_ = src->layout_level_;
    layout_index_ = src->layout_index_;
    line_no_ = src->line_no_;
    line_pos_ = src->line_pos_;
    visible_ = src->visible_;
    caption_ = src->caption_;
    if (src->title_glyph_ != nullptr) {
      TitleGlyph()->Assign(*src->title_glyph_);
    } else {
      title_glyph_.reset();
    }
    caption_alignment_ = src->caption_alignment_;
    title_image_index_ = src->title_image_index_;
    title_state_ = src->title_state_;
    sort_order_ = src->sort_order_;
    footer_text_ = src->footer_text_;
    footer_text_alignment_ = src->footer_text_alignment_;
    footer_state_ = src->footer_state_;
    footer_states_ = src->footer_states_;
    options_visual_ = src->options_visual_;
    color_ = src->color_;
    alignment_ = src->alignment_;
    SetFont(src->font_.get());
    popup_menu_ = src->popup_menu_;
    read_only_ = src->read_only_;
    SetVision(src->vision_);
    SetFieldName(src->field_name_);
    options_behavior_ = src->options_behavior_;
    options_mapping_ = src->options_mapping_;
    tag_ = src->tag_;
  }
}

void TgpColumn::AssignMasked(const TgpColumn* Source, unsigned Mask) {
  if (Mask == 0) {
    Assign(Source);
    return;
  }
  if (Source == nullptr || Source == this) return;
  assigning_ = true;
  {
    TScopeExit assigned([this] { EndAssign(); });
    if (Mask & cpmSize) {
      width_ = Source->width_;
      layout_level_ = Source->layout_level_;
      layout_index_ = Source->layout_index_;
      line_no_ = Source->line_no_;
      line_pos_ = Source->line_pos_;
    }
    if (Mask & cpmVisible) visible_ = Source->visible_;
    if (Mask & cpmStates) {
      title_state_ = Source->title_state_;
      sort_order_ = Source->sort_order_;
      footer_state_ = Source->footer_state_;
    }
    if (Mask & cpmView) {
      options_visual_ = Source->options_visual_;
      color_ = Source->color_;
      alignment_ = Source->alignment_;
      SetFont(Source->font_.get());
    }
    if (Mask & cpmFieldName) SetFieldName(Source->field_name_);
    if (Mask & cpmVision) SetVision(Source->vision_);
    if (Mask & cpmBehavior) options_behavior_ = Source->options_behavior_;
  }
}

void TgpColumn::SetIndex(int index) {
  TgpColumns* columns = Columns();
  if (columns == nullptr || columns->Host() == nullptr || columns->OperationCode() != 0 || group_ == nullptr) {
    TCollectionItem::SetIndex(index);
    return;
  }
  // In a grid a column moves with its whole group.
  TgpGroupInfo* target = columns->Items(index)->group_;
  if (target == nullptr) {
    TCollectionItem::SetIndex(index);
    return;
  }
  if (target == group_) return;
  TgpGroupInfo* before = target;
  if (index > Index()) before = target->Index + 1 < columns->GroupCount() ? columns->Groups(target->Index + 1) : nullptr;
  columns->MoveGroup(group_, before);
}

// ---- Editing --------------------------------------------------------------------------------

bool TgpColumn::StartCellEdit() {
  IgpColumnsHost* host = Host();
  if (read_only_ || host == nullptr || !host->CanUseCurrentRecord(false)) return false;
  host->SelectColumn(Index());
  if (field_list_->Active() && host->CurrentColumnIndex() == Index()) return host->ShowEditor(this);
  return false;
}

// ---- Geometry -------------------------------------------------------------------------------

int TgpColumn::TitleHeightNeeded(int Lines, int Margins) {
  IgpColumnsHost* host = Host();
  // A grid without a window measures text as 13 pixels high.
  int text_height = host != nullptr ? host->TitleTextHeight() : 13;
  int result = Margins + Lines * text_height;
  int image = 0;
  if (title_glyph_ != nullptr && !title_glyph_->Empty()) {
    image = title_glyph_->Height();
  } else if (host != nullptr && title_image_index_ != -1) {
    image = host->TitleImageHeight();
  }
  if (image != 0) result = std::max(result, image + 2);
  return result;
}

namespace {

// The horizontal extent every rectangle of a shown column starts from; false
// when the column is not shown (hidden, or scrolled out of the window).
bool ColumnSpan(const TgpColumn& c, TRect& r) {
  r = TRect();
  if (!c.Visible() || c.Group() == nullptr || !c.Group()->InView || c.Host() == nullptr) return false;
  r.Left = c.Group()->ScreenX + c.LineOffset();
  r.Right = r.Left + c.Width();
  return true;
}

// Title and footer boxes stretched over the lines around them. Line 0 reaches
// up over the band's top margin, so that the boxes of a group tile its band
// with no gap and no overlap.
void ExtendBox(const TgpColumn& c, TRect& r, int vline, int top_margin, int bottom_margin) {
  if (c.LastInLine()) r.Right += vline;
  if (c.LineNo() == 0) r.Top -= top_margin;
  r.Bottom += c.InLastLine() ? bottom_margin : 1;
}

}  // namespace

TRect TgpColumn::TitleRect(bool Extended) const {
  TRect r;
  if (!ColumnSpan(*this, r)) return TRect();
  TgpColumnMetrics m = Host()->HostMetrics();
  if (m.TitleBand == 0) return TRect();
  r.Top = m.TitleTop + (title_line_height_ + 1) * line_no_;
  r.Bottom = r.Top + title_line_height_;
  if (Extended) {
    ExtendBox(*this, r, m.VLineWidth, m.TitleTop, m.TitleBottom);
  } else if (!last_in_line_) {
    r.Right -= 1;
  }
  return r;
}

TRect TgpColumn::CellRect(int Row, bool Extended, bool Inclusive) const {
  TRect r;
  if (!ColumnSpan(*this, r)) return TRect();
  TgpColumnMetrics m = Host()->HostMetrics();
  r.Top = m.TitleBand + (cell_line_height_ + 1) * line_no_ + Row * m.RowHeight;
  r.Bottom = r.Top + cell_line_height_;
  if (Extended) {
    if (last_in_line_) r.Right += m.VLineWidth;
    r.Bottom += in_last_line_ ? m.HLineWidth : 1;
  } else if (!Inclusive) {
    if (!last_in_line_) r.Right -= 1;
  } else if (!in_last_line_) {
    r.Bottom += 1;
  }
  return r;
}

TRect TgpColumn::FooterRect(bool Absolute, bool Extended) const {
  TRect r;
  if (!ColumnSpan(*this, r)) return TRect();
  TgpColumnMetrics m = Host()->HostMetrics();
  if (m.FooterBand == 0) return TRect();
  if (r.Left == 0) r.Left = 1;
  r.Top = m.FooterTop + (footer_line_height_ + 1) * line_no_;
  if (Absolute) r.Top += m.DataBottom + m.FreeSpace;
  r.Bottom = r.Top + footer_line_height_;
  if (Extended) {
    ExtendBox(*this, r, m.VLineWidth, m.FooterTop, m.FooterBottom);
  } else if (!last_in_line_) {
    r.Right -= 1;
  }
  return r;
}

// ---- The collection's dealings with columns --------------------------------------------------

void TgpColumns::ComponentRemoved(TComponent* Component) {
  for (int i = 0; i < Count(); ++i) {
    TgpColumn* c = Items(i);
    if (c->popup_menu_ != nullptr && static_cast<TComponent*>(c->popup_menu_) == Component) c->popup_menu_ = nullptr;
    if (c->vision_ != nullptr && static_cast<TComponent*>(c->vision_) == Component) c->SetVision(nullptr);
  }
}
