// The standard visions and designers, and the library's process-wide
// defaults.
//
// Visions: a vision is a component that decides how one field (or a few
// related fields) is shown as text, painted into a grid cell or an edit,
// turned into editable text and written back. TvpFieldVision is the base of
// every vision; its consumers (grid columns, the data-aware edit, the grid's
// in-place editor) implement IvpFieldVisionConsumer and own a TgpFieldList
// (both in grid/rs.h), which every operation and event receives, so that one
// vision serves any number of consumers without state per consumer. A
// consumer without a vision uses the default vision, one TLiteVision made
// when the library starts (DefaultVision()).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "grid/rs.h"
#include "grid/rs_db.h"
#include "toolkit/core/typinfo.h"
// The image list is cast to in PublishVisionImages below, outside any
// dependent context: a compiler may want the class whole there.
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/customctrl.h"
#include "toolkit/ui/stdctrls.h"

class TChangeLink;
class TPopupMenu;
class TVisionToolForm;
class TvpFieldVision;

// ---- Values an edit works with -----------------------------------------------------------

// A field value on its way from an edit to its field (typed, nullable).
class TgpFieldValue : public TvpUniValue {
  KIV7_PERSISTENT(TgpFieldValue)

 public:
  TgpFieldValue() : TvpUniValue(false, false) {}
};

// An edit's current value: a typed value with the edit's two flags.
class TfvCurrentValue : public TvpUniValue {
  KIV7_PERSISTENT(TfvCurrentValue)

 public:
  TfvCurrentValue() : TvpUniValue(false, true) {}
  // The value itself was set (by a switch, a drop-down, the clipboard).
  bool Changed = false;
  // The edit's text was typed over since it was loaded.
  bool TextModified = false;
};

// What a vision needs of an edit bound to it (the data-aware edit and the
// grid's in-place editor implement it).
class IvpVisionEdit {
 public:
  // The edit's own field list.
  virtual TgpFieldList& EditFields() = 0;
  virtual TfvCurrentValue& CurrentValue() = 0;
  // The text in the edit control.
  virtual AnsiString EditText() const = 0;
  virtual void SetEditText(const AnsiString& Text) = 0;
  // Whether the edit has an edit mask, and whether its text passes it.
  virtual bool HasEditMask() const = 0;
  virtual bool EditTextValid() const = 0;
  // Drops typed input still queued, cancels its sub-button and switch
  // presses and closes a dropped-down tool form.
  virtual void CancelPendingInput() = 0;
  virtual void SelectAll() = 0;
  // Closes a dropped-down tool form (posting its value when Post) or drops
  // one down.
  virtual void ToggleDropDown(bool Post) = 0;

  // ---- painting the edit when it does not edit
  // The edit's half of what the painter is prepared from: HasColumn,
  // FocusByButton, EditColor, EditFocused, SwitchPressed, EditFont,
  // EditEnabled and EditWordWrap.
  virtual void FillPaintSource(TvpPaintSource& Source) = 0;
  // For the grid's in-place editor: True, with the grid designer's cell
  // margins (left, top, right, bottom) in Margins; False for an edit of its own.
  virtual bool InplaceCellMargins(TRect& Margins) = 0;
  virtual TEditCharCase CharCase() const = 0;
  // The character shown for every character of the text; 0 for none.
  virtual char PasswordChar() const = 0;
  // The edit's own OnDraw, when assigned.
  virtual void DrawEdit(TfvPainter& Painter) = 0;

 protected:
  ~IvpVisionEdit() = default;
};

// ---- Vision types ------------------------------------------------------------------------

// What a vision does to the data set when editing starts.
enum TfvSwitchOption { vsoEditDataSet, vsoNeedCurrent, vsoNeedEditing };
using TfvSwitchOptions = TSet<TfvSwitchOption>;

// The codes of a sub-button click being dispatched (ButtonClickKind).
enum TfvButtonClickKind {
  bckNone = 0,
  // A mouse click on the button, or on the upper half of a spin button.
  bckClick = 1,
  // Ctrl+Enter or Alt+Down, or the Up arrow on a spin button.
  bckKeyToggle = 2,
  bckSpinDown = 3,
  bckKeySpinDown = 4,
  // A click into a combo-box style edit.
  bckComboClick = 5,
  // Drop the tool form down.
  bckDropDown = 6
};

// Clipboard actions of ClipboardAction.
enum TfvClipboardAction { cbaCut = 1, cbaCopy = 2, cbaPaste = 3, cbaClear = 4 };

using TfvNotifyEvent = std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields)>;
using TfvGetTextEvent =
    std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, bool DisplayText, AnsiString& Value)>;
using TfvBeforeEditEvent = std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, bool& DoEdit)>;
using TfvBeforePostEvent = std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields,
                                              TgpFieldValue& FieldValue, bool& Posted)>;
using TfvDrawEvent = std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, TgpPainter& Painter)>;
using TfvDrawEditEvent =
    std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, TfvPainter& Painter)>;
using TfvGetEditFontEvent = std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, TFont& Font)>;
using TfvActionEvent = std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields,
                                          const AnsiString& Action, int Param)>;
using TfvGetStrValueEvent =
    std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, AnsiString& Value, bool& IsNull)>;

// The grid's owner-draw hook of one cell (its OnDrawCell for a column with
// cvoOwnerDraw), handed to PaintCells by the designer.
using TvpOwnerDraw = std::function<void(TgpPainter& Painter)>;

// Published types the visions share.
const TTypeInfo& TvpAlignImageType();
const TTypeInfo& TvpButtonStyleType();
const TTypeInfo& TScrollStyleType();
const TTypeInfo& TfvSwitchOptionsType();

// Publishes Images, AlignImage and DrawImages alike for every vision class
// that shows images.
template <class C>
void PublishVisionImages(TPublisher<C>& p) {
  p.Object("Images", TComponent::StaticClassInfo(), &C::Images,
           [](C& o, TPersistent* v) { o.SetImages(dynamic_cast<TImageList*>(v)); });
  p.Ordinal("AlignImage", TvpAlignImageType(), &C::AlignImage, &C::SetAlignImage).WithDefault(aiDefault);
  p.Boolean("DrawImages", &C::DrawImages, &C::SetDrawImages).WithDefault(true);
}

// The events the base vision keeps, published by the descendants that raise
// them: names from OnButtonClick, OnDblClick, OnGetText, BeforeEdit,
// BeforePost, AfterPost, OnInitEdit, OnDraw, OnDrawEdit, OnGetEditFont,
// separated by blanks ("*" for all of them, in that order).
const std::vector<std::pair<AnsiString, AnsiString>>& VisionBaseEvents();
template <class C>
void PublishVisionEvents(TPublisher<C>& p, const AnsiString& names) {
  for (const auto& [name, type] : VisionBaseEvents()) {
    if (names == "*" || (" " + names + " ").find(" " + name + " ") != AnsiString::npos)
      PublishEvents(p, type + " " + name);
  }
}

// ButtonGlyph as the visions publish it: stored as picture data while the
// glyph exists (an empty one writes no data); reading one makes the glyph.
template <class C>
void PublishButtonGlyph(TPublisher<C>& p) {
  p.Object("ButtonGlyph", TBitmap::StaticClassInfo(), [](const C& o) { return const_cast<C&>(o).ButtonGlyph(); },
           &C::SetButtonGlyph)
      .StoredWhen([](const TPersistent& o) { return static_cast<const C&>(o).HasButtonGlyph(); });
}

// ---- TvpFieldVision ----------------------------------------------------------------------

// The base of all visions. Published by the base itself: Caption,
// Description, RelatedFields, ReadOnly (OnAction is kept for handlers; the
// library never raises it). The other properties are kept here and published
// by the descendants that use them.
class TvpFieldVision : public TComponent {
  KIV7_PERSISTENT(TvpFieldVision)

 public:
  explicit TvpFieldVision(TComponent* owner);
  ~TvpFieldVision() override;
  // Consumers still on the vision fall back to the default vision.
  void BeforeDestruction() override;
  // Consumers resolve their state once the vision is loaded.
  void Loaded() override;

  // ---- published by the base
  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& value);
  const AnsiString& Description() const { return description_; }
  void SetDescription(const AnsiString& value) { description_ = value; }
  // Fields the vision needs besides the consumer's own, ";"-separated.
  const AnsiString& RelatedFields() const { return related_fields_; }
  void SetRelatedFields(const AnsiString& value);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }

  // ---- kept here, published by descendants
  TvpDefAlignment Alignment() const { return alignment_; }
  void SetAlignment(TvpDefAlignment value);
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* value);
  TvpAlignImage AlignImage() const { return align_image_; }
  void SetAlignImage(TvpAlignImage value);
  bool DrawImages() const { return draw_images_; }
  void SetDrawImages(bool value);
  // ERSError "Value can not be negative (%d)" for a negative value.
  int MaxLength() const { return max_length_; }
  void SetMaxLength(int value);
  const AnsiString& EditMask() const { return edit_mask_; }
  void SetEditMask(const AnsiString& value) { edit_mask_ = value; }
  bool EditWordWrap() const { return edit_word_wrap_; }
  void SetEditWordWrap(bool value);
  TScrollStyle EditScrollBars() const { return edit_scroll_bars_; }
  void SetEditScrollBars(TScrollStyle value);
  bool EditReadOnly() const { return edit_read_only_; }
  void SetEditReadOnly(bool value) { edit_read_only_ = value; }
  bool WantReturns() const { return want_returns_; }
  void SetWantReturns(bool value) { want_returns_ = value; }
  bool WantTabs() const { return want_tabs_; }
  void SetWantTabs(bool value) { want_tabs_ = value; }
  bool EnableButton() const { return enable_button_; }
  void SetEnableButton(bool value);
  TvpButtonStyle ButtonStyle() const { return button_style_; }
  void SetButtonStyle(TvpButtonStyle value);
  // Reading makes the (transparent, empty) glyph on first use; a new
  // picture in it makes the consumers re-measure their button.
  TBitmap* ButtonGlyph();
  // Copies value into the glyph, or frees the glyph for nullptr; either way
  // ButtonStyle becomes pbsCustom.
  void SetButtonGlyph(const TBitmap* value);
  // Whether the glyph exists (it is stored only then).
  bool HasButtonGlyph() const { return button_glyph_ != nullptr; }
  bool ComboBoxStyle() const { return combo_box_style_; }
  void SetComboBoxStyle(bool value) { combo_box_style_ = value; }
  bool EnableDropDown() const { return enable_drop_down_; }
  void SetEnableDropDown(bool value) { enable_drop_down_ = value; }
  TfvSwitchOptions OptionsSwitch() const { return options_switch_; }
  void SetOptionsSwitch(TfvSwitchOptions value);

  // ---- events
  TfvActionEvent OnAction;
  TfvNotifyEvent OnButtonClick;
  TfvNotifyEvent OnDblClick;
  TfvGetTextEvent OnGetText;
  TfvBeforeEditEvent BeforeEdit;
  TfvBeforePostEvent BeforePost;
  TfvNotifyEvent AfterPost;
  TfvNotifyEvent OnInitEdit;
  TfvDrawEvent OnDraw;
  TfvDrawEditEvent OnDrawEdit;
  TfvGetEditFontEvent OnGetEditFont;

  // ---- state
  // The edit shows no editable text: the vision draws it and the value
  // changes by switch, drop-down or clipboard.
  bool SelfDrawn() const { return self_drawn_; }
  // The edit control paints its own multi-line text.
  bool NativeMultiLine() const { return native_multi_line_; }
  // An in-cell switch.
  bool SwitchCell() const { return switch_cell_; }
  // Typed text is matched against a list while typing.
  bool LookupTyping() const { return lookup_typing_; }
  // Width and height of Images when DrawImages is set and there is a list, else 0.
  int ImageWidth() const { return image_width_; }
  int ImageHeight() const { return image_height_; }
  // Editing never puts the data set into edit mode (vsoEditDataSet absent).
  bool NoDataSetEdit() const { return !options_switch_.Contains(vsoEditDataSet); }
  // The code of the sub-button click being dispatched; bckNone outside one.
  TfvButtonClickKind ButtonClickKind() const { return button_click_kind_; }
  void SetButtonClickKind(TfvButtonClickKind value) { button_click_kind_ = value; }

  // The field lists using the vision, in the order they came.
  int ConsumerCount() const { return static_cast<int>(consumers_.size()); }
  TgpFieldList* Consumers(int index) const { return consumers_[size_t(index)]; }
  // List upkeep (no duplicates); ignored while the vision is being destroyed.
  void AddConsumer(TgpFieldList& Fields);
  void RemoveConsumer(TgpFieldList& Fields);

  // ---- operations in the order of their virtual slots
  // The text of the fields: the first field's DisplayText (DisplayText) or
  // Text; empty without a field.
  virtual void GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text);
  // The painter's Text := the display text of the fields.
  virtual void PrepareCellText(TgpFieldList& Fields, TfvPainter& Painter);
  // Base: DrawContent.
  virtual void Draw(TgpFieldList& Fields, TfvPainter& Painter);
  virtual void DrawContent(TgpFieldList& Fields, TfvPainter& Painter);
  // An edit whose field list is not Active.
  virtual void DrawInactive(TgpFieldList& Fields, TfvPainter& Painter);

  // ---- overridable operations
  // Row height for RowLines lines of CellFont (the grid's font with the
  // designer's cell font and the column's font laid over it) and Margins:
  // the larger of the image height and Margins + RowLines x text height.
  virtual int GetRowHeight(TgpFieldList& Fields, const TFont& CellFont, int RowLines, int Margins);
  // Active := the consumer has a field name and the first field exists.
  virtual void CanShow(TgpFieldList& Fields, bool& Active);
  virtual void ValueToText(TgpFieldList& Fields, const TvpUniValue& Value, AnsiString& Text);
  virtual void CanModify(TgpFieldList& Fields, bool& Allowed);
  // Writes Value into the first field; False without a field.
  virtual bool PostValue(TgpFieldList& Fields, const TvpUniValue& Value);
  virtual void TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool& Skip);
  virtual void InitEdit(IvpVisionEdit& Edit);
  virtual void EditInitialized(IvpVisionEdit& Edit);
  // The edit's value: cleared, typed ftString, its text the field's edit text.
  virtual void LoadEditValue(IvpVisionEdit& Edit);
  virtual void SwitchByKey(IvpVisionEdit& Edit, bool& Changed);
  virtual void SwitchByMouse(IvpVisionEdit& Edit, bool& Changed);
  virtual void CanSwitchByKey(IvpVisionEdit& Edit, uint16_t Key, bool& Allowed, TShiftState Shift);
  virtual void CanSwitchAt(IvpVisionEdit& Edit, int X, bool& Allowed, TShiftState Shift, int Y);
  // When Mask is still empty: EditMask, else the first field's edit mask.
  virtual void GetEditMask(TgpFieldList& Fields, AnsiString& Mask);
  virtual void ButtonClick(IvpVisionEdit& Edit);
  virtual void DblClick(IvpVisionEdit& Edit);
  virtual bool AcceptTypedText(IvpVisionEdit& Edit, AnsiString& Text, int& SelEnd, int& SelStart,
                               const AnsiString& OldText);
  virtual void EditKeyDown(IvpVisionEdit& Edit, uint16_t& Key, TShiftState Shift);
  virtual void EditKeyPress(IvpVisionEdit& Edit, char& Key);
  virtual void ClipboardAction(IvpVisionEdit& Edit, TfvClipboardAction Action);
  virtual void ShowDropDown(IvpVisionEdit& Edit, TVisionToolForm* ToolForm);
  virtual TAlignment GetDefaultAlignment(TgpFieldList& Fields);
  virtual TvpDefLayout GetDefaultLayout(TgpFieldList& Fields);
  virtual void GetDefaultCaption(TgpFieldList& Fields, AnsiString& Caption);
  virtual int GetMaxLength(TgpFieldList& Fields);
  virtual TPopupMenu* GetPopupMenu();
  virtual bool IsValidChar(TgpFieldList& Fields, char Ch);
  virtual bool WantArrows();
  virtual void GetSearchText(TgpFieldList& Fields, AnsiString& Text);
  virtual bool HasDropDownOption(int Option);
  virtual TVisionToolForm* GetDropDown();

  // ---- fixed operations
  // GetText, then OnGetText (which may replace the text).
  void GetFieldsText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text);
  AnsiString FieldsText(TgpFieldList& Fields, bool DisplayText);
  // False when ReadOnly, else CanModify.
  bool CanEdit(TgpFieldList& Fields);
  // BeforeEdit's answer (True when unassigned).
  bool DoBeforeEdit(TgpFieldList& Fields);
  // Dispatches a sub-button click of Kind (a drop-down button with
  // EnableDropDown becomes bckDropDown) to ButtonClick, then toggles the
  // edit's drop-down when the kind is still bckDropDown.
  void DoButtonClick(IvpVisionEdit& Edit, TfvButtonClickKind Kind);
  // Paints the cells of FirstRow..LastRow of one column through the grid's
  // painter. FirstCellRect is the cell of FirstRow in the canvas's
  // coordinates (already moved by the scroll offsets); CellMargins holds the
  // designer's left, top, right and bottom cell margins; Source is the
  // field list's PaintSource with the grid's half filled in. Nothing is
  // painted unless the field list is Active.
  void PaintCells(TgpFieldList& Fields, TgpPainter& Painter, TCanvas& Canvas, const TvpPaintSource& Source,
                  const TRect& FirstCellRect, const TRect& CellMargins, int FirstRow, int LastRow,
                  const TvpOwnerDraw& OwnerDraw = {});
  // Paints an edit into Rect of Canvas through the shared edit painter: the
  // field's text as a grid cell would show it (cased or hidden as the edit
  // asks), or DrawInactive when the field list is not Active.
  void PaintEdit(IvpVisionEdit& Edit, TCanvas& Canvas, const TRect& Rect);
  // Writes the edit's value to its field; True when a value was posted.
  bool PostEditValue(IvpVisionEdit& Edit, bool SelectAll);

  // Takes Caption, Description, Alignment, RelatedFields, ReadOnly and Tag
  // from a vision of the same class; otherwise the inherited refusal.
  void Assign(const TPersistent* source) override;

 protected:
  // Traits, fixed by each class in its constructor.
  void SetSelfDrawn(bool value) { self_drawn_ = value; }
  void SetNativeMultiLine(bool value) { native_multi_line_ = value; }
  void SetSwitchCell(bool value) { switch_cell_ = value; }
  void SetLookupTyping(bool value) { lookup_typing_ = value; }

  // Notices to every consumer, in list order (none while loading for the
  // view and image notices).
  void NotifyCaptionAlignment();
  void NotifyView();
  void NotifyImages();
  void NotifyButton();
  void NotifyEditStyle();
  void NotifyFields();
  // Recomputes the image size from Images and DrawImages.
  void UpdateImageSize();
  // The last step of both pipelines: images (when the vision has an image
  // size), then the text by the field list's alignment.
  void DrawDefault(TgpFieldList& Fields, TfvPainter& Painter);

 private:
  bool Loading() const { return ComponentState().Contains(csLoading); }
  void ImagesGone();

  std::vector<TgpFieldList*> consumers_;
  bool destroying_ = false;

  AnsiString caption_;
  AnsiString description_;
  AnsiString related_fields_;
  bool read_only_ = false;
  TvpDefAlignment alignment_ = talDefault;
  TComponentRef<TImageList> images_{[this] { ImagesGone(); }};
  // Re-measures when the list's size or pictures change.
  std::unique_ptr<TChangeLink> images_link_;
  TvpAlignImage align_image_ = aiDefault;
  bool draw_images_ = true;
  int max_length_ = 0;
  AnsiString edit_mask_;
  bool edit_word_wrap_ = false;
  TScrollStyle edit_scroll_bars_ = ssNone;
  bool edit_read_only_ = false;
  bool want_returns_ = false;
  bool want_tabs_ = false;
  bool enable_button_ = false;
  TvpButtonStyle button_style_ = pbsDropDown;
  std::unique_ptr<TBitmap> button_glyph_;
  bool combo_box_style_ = false;
  bool enable_drop_down_ = false;
  TfvSwitchOptions options_switch_{vsoEditDataSet};

  bool self_drawn_ = false;
  bool native_multi_line_ = false;
  bool switch_cell_ = false;
  bool lookup_typing_ = false;
  int image_width_ = 0;
  int image_height_ = 0;
  TfvButtonClickKind button_click_kind_ = bckNone;
};

// ---- TLiteVision -------------------------------------------------------------------------

// Shows a field as its plain text and edits it as text: the library-wide
// default vision. A consumer whose field name names no field is still shown;
// its text then comes from OnGetValue.
class TLiteVision : public TvpFieldVision {
  KIV7_PERSISTENT(TLiteVision)

 public:
  explicit TLiteVision(TComponent* owner);

  // Supplies the text of a consumer without a field.
  TfvGetStrValueEvent OnGetValue;

  // Active := a field name, and the first field (when found) is not a blob.
  void CanShow(TgpFieldList& Fields, bool& Active) override;
  void GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) override;
  // The consumer's EditFormat when set, else the vision's EditMask, then the
  // base rule.
  void GetEditMask(TgpFieldList& Fields, AnsiString& Mask) override;
};

// ---- TMemoVision -------------------------------------------------------------------------

// Shows and edits long text in a multi-line edit; a memo field shows its
// content, top-aligned and wrapped.
class TMemoVision : public TvpFieldVision {
  KIV7_PERSISTENT(TMemoVision)

 public:
  explicit TMemoVision(TComponent* owner);

  TfvGetStrValueEvent OnGetValue;

  // Active := a field name or a first field.
  void CanShow(TgpFieldList& Fields, bool& Active) override;
  // The first field's AsString for both purposes.
  void GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) override;
  TvpDefLayout GetDefaultLayout(TgpFieldList& Fields) override;
};

// ---- Designers ---------------------------------------------------------------------------

// The look of a lite designer's titles.
enum TLiteDsgnTitleStyle { lts3D, ltsFlat, ltsNon3D };
const TTypeInfo& TLiteDsgnTitleStyleType();

// A designer of thin lines: one-pixel column and row lines, raised titles.
class TLiteDesigner : public TgpBaseDesigner {
  KIV7_PERSISTENT(TLiteDesigner)

 public:
  explicit TLiteDesigner(TComponent* owner);

  int VLineWidth() const override;
  int HLineWidth() const override;
  void TitlePair(int& Top, int& Bottom) const override;
  void CopySettings(const TgpDesigner* Source) override;

  void PaintTitleBackground() override;
  void PaintTitleFrames(TgpGroupInfo* Group, int X, int OffsetX) override;
  void PaintRows() override;

  TLiteDsgnTitleStyle TitleStyle() const { return title_style_; }
  // Titles other than ltsNon3D move their text when pressed.
  void SetTitleStyle(TLiteDsgnTitleStyle value);
  bool ShowLines() const { return show_lines_; }
  void SetShowLines(bool value);
  bool ShowLastLine() const { return show_last_line_; }
  void SetShowLastLine(bool value);

 private:
  TLiteDsgnTitleStyle title_style_ = lts3D;
  bool show_lines_ = true;
  bool show_last_line_ = true;
};

// The standard designer's options.
enum TStdDsgnOption { dg3DTitle, dg3DFooter, dgMarginLines, dgBoundLines, dgHorizLines, dgHorizBackground };
using TStdDsgnOptions = TSet<TStdDsgnOption>;
const TTypeInfo& TStdDsgnOptionsType();

// A designer of double column lines with a margin line between them; the
// designer of grids that name none (DefaultGridDesigner).
class TStandardDesigner : public TgpBaseDesigner {
  KIV7_PERSISTENT(TStandardDesigner)

 public:
  explicit TStandardDesigner(TComponent* owner);

  int VLineWidth() const override { return 3; }
  int HLineWidth() const override;
  void TitlePair(int& Top, int& Bottom) const override;
  void CopySettings(const TgpDesigner* Source) override;

  void PaintTitleBackground() override;
  void PaintTitleFrames(TgpGroupInfo* Group, int X, int OffsetX) override;
  void PaintRows() override;

  TColor TitleSeparator() const { return title_separator_; }
  void SetTitleSeparator(TColor value);
  TColor MarginLines() const { return margin_lines_; }
  void SetMarginLines(TColor value);
  TColor BoundLines() const { return bound_lines_; }
  void SetBoundLines(TColor value);
  TStdDsgnOptions Options() const { return options_; }
  // Without dgHorizLines dgHorizBackground is added; FlatFooter follows
  // dg3DFooter and PressedOffset dg3DTitle.
  void SetOptions(TStdDsgnOptions value);
  // ScrollByBlit unless bound lines differ from what a scrolled row carries.
  void UpdateBlitFlag();

 private:
  TColor title_separator_ = clBlack;
  TColor margin_lines_ = clSilver;
  TColor bound_lines_ = clBlack;
  TStdDsgnOptions options_{dg3DTitle, dg3DFooter, dgMarginLines, dgBoundLines, dgHorizLines, dgHorizBackground};
};

// ---- The library's defaults --------------------------------------------------------------

// The process-wide objects of this unit, made on first use (before any form
// needs them) and freed in reverse order by FreeRsStdDefaults.
struct TrsStdDefaults {
  // The vision of every column and edit without a Vision.
  std::unique_ptr<TLiteVision> Vision;
};

TrsStdDefaults& rsStdDefaults();
// The default vision (made on first use).
TLiteVision* DefaultVision();
// Frees the defaults; consumers still on the default vision take a new one
// when they next ask for their vision.
void FreeRsStdDefaults();
