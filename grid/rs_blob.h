// The blob and text visions and the blob picker.
//
// TDropDownBlobVision shows a large value (a blob, a long text, a picture)
// that is never typed into the cell: the edit shows no caret, and a click
// anywhere in it drops the blob picker down, where the value is edited.
// TTextVision draws a text (or a marker) in the cell and edits it in a
// multi-line text box inside the picker.
//
// The picker's options are built afresh each time it drops down, from the
// vision and the edit it serves then, so what one use set (a fixed size, no
// posting on leaving) never carries over to the next.
#pragma once

#include "grid/rs_std.h"
#include "grid/rs_toolform.h"

class TButton;
class TImage;
class TMemo;
class TPanel;
class TPopupMenu;

// How a cell shows a text vision's value.
enum TfvTextBlobMarker { tbmDefault, tbmIcon, tbmText };
enum TfvDropDownTextOption {
  dtoNoHideScrollBars,
  dtoNoWantReturns,
  dtoNoWantTabs,
  dtoNoWordWrap,
  dtoNoSizing,
  dtoNoAutoPost
};
using TfvDropDownTextOptions = TSet<TfvDropDownTextOption>;
const TTypeInfo& TfvTextBlobMarkerType();
const TTypeInfo& TfvDropDownTextOptionsType();

class TDropDownBlobVision : public TToolFormVision {
  KIV7_PERSISTENT(TDropDownBlobVision)

 public:
  explicit TDropDownBlobVision(TComponent* owner);

  // 0: the picker's own size. The picker writes its last size back.
  int DropDownWidth() const { return drop_down_width_; }
  void SetDropDownWidth(int value) { drop_down_width_ = value; }
  int DropDownHeight() const { return drop_down_height_; }
  void SetDropDownHeight(int value) { drop_down_height_ = value; }

  // The edit's value: the field's bytes, so that the picker shows the
  // picture the field holds.
  void LoadEditValue(IvpVisionEdit& Edit) override;
  // No text of the pipeline's own; a focus frame in a focused edit of its own.
  void DrawContent(TgpFieldList& Fields, TfvPainter& Painter) override;
  bool WantArrows() override;
  // The blob picker.
  TVisionToolForm* GetDefaultDropDown() override;

  // The picker every blob vision shares, made on first use.
  static TVisionToolForm* BlobPicker();

 protected:
  // The focus frame of a focused edit of its own.
  void DrawFocus(TfvPainter& Painter);

 private:
  int drop_down_width_ = 0;
  int drop_down_height_ = 0;
};

class TTextVision : public TDropDownBlobVision {
  KIV7_PERSISTENT(TTextVision)

 public:
  explicit TTextVision(TComponent* owner);

  TfvDropDownTextOptions DropDownOptionsEx() const { return options_ex_; }
  void SetDropDownOptionsEx(TfvDropDownTextOptions value) { options_ex_ = value; }
  TScrollStyle DropDownScrollBars() const { return scroll_bars_; }
  void SetDropDownScrollBars(TScrollStyle value) { scroll_bars_ = value; }
  // The text box's limit; 0: a string field's size, else none.
  int TextMaxLength() const { return text_max_length_; }
  void SetTextMaxLength(int value);
  // A change makes consumers repaint.
  TfvTextBlobMarker DisplayAs() const { return display_as_; }
  void SetDisplayAs(TfvTextBlobMarker value);

  // The edit's value: the field's text, typed ftString.
  void LoadEditValue(IvpVisionEdit& Edit) override;
  void DrawContent(TgpFieldList& Fields, TfvPainter& Painter) override;

 private:
  TfvDropDownTextOptions options_ex_;
  TScrollStyle scroll_bars_ = ssBoth;
  int text_max_length_ = 0;
  TfvTextBlobMarker display_as_ = tbmIcon;
};

// The blob picker: a text box or a picture view over OK and Cancel.
class TvpBlobPicker : public TVisionToolForm {
 public:
  // Owned by the application, so that it goes before the windowing does.
  TvpBlobPicker();
  ~TvpBlobPicker() override;

  // Sets the picker up for the edit's vision first, so that the host takes
  // the size the picker is to have (the remembered one, or the picture's).
  void Show(IVisionToolFormUser* User, TDBProdiEdit* Edit) override;

  // Sets the picker up for Vision's value in Edit (what dropping down does
  // before it shows).
  void Prepare(TDropDownBlobVision& Vision, TDBProdiEdit& Edit);
  // Moves the text or picture into the edit's current value, when the
  // edit's field list can start editing.
  void PostChanges(TDBProdiEdit& Edit);
  // Writes the picker's size back into the vision (closing does).
  void Closed();

  // The picture mode's edit actions (the picture menu and the clipboard
  // keys): cut, copy, paste or clear the picture; a change marks the picker
  // changed and enables and focuses OK.
  void EditAction(TvpEditAction Action);
  // The picture menu's items by tag (1 to 4 the edit actions, 5 load, 6
  // save to, 7 preview), as a click runs them.
  void PictureMenuClick(int Tag);

  TMemo* TextBox() const { return text_box_; }
  TImage* PictureView() const { return picture_view_; }
  // The client panel that holds the text box or the picture view, and the
  // strip below it with OK and Cancel at its right end.
  TPanel* BackPanel() const { return background_; }
  TPanel* ControlPanel() const { return controls_; }
  TButton* OkButton() const { return ok_; }
  TButton* CancelButton() const { return cancel_; }
  // The picture view's context menu.
  TPopupMenu* PictureContextMenu() const { return picture_menu_; }

 private:
  void MarkChanged();
  // A picture changed in the picker: changed, OK enabled and focused.
  void PictureEdited();
  // OK when it is enabled and the key is its accelerator, else Cancel by
  // its own; a key used becomes 0.
  void ShortCut(uint16_t& Key);

  TDropDownBlobVision* vision_ = nullptr;
  TMemo* text_box_ = nullptr;
  TImage* picture_view_ = nullptr;
  TPanel* background_ = nullptr;
  TPanel* controls_ = nullptr;
  TButton* ok_ = nullptr;
  TButton* cancel_ = nullptr;
  TPopupMenu* picture_menu_ = nullptr;
  bool listening_ = false;
};

// Frees the shared picker (at shut-down).
void FreeBlobDefaults();
