// The image vision and the picture routines.
//
// TImageVision shows a picture stored in a blob field (the bytes of a BMP or
// a JPEG file), clipped or centred in the cell or stretched over it, and
// edits it through the clipboard and a context menu (load from a file, save
// to a file, preview). The picture routines convert between a typed value
// and a picture and hold the load and save dialogs and the preview window;
// the blob picker's picture mode uses them too.
//
// A field whose bytes are no picture shows an empty cell: painting never
// raises.
#pragma once

#include <functional>
#include <string>

#include "grid/rs_std.h"

class TPicture;
class TDBProdiEdit;
class TPopupMenu;

enum TfvImgDisabledAction { vdaCut, vdaCopy, vdaPaste, vdaClear, vdaLoad, vdaSave, vdaPreview };
using TfvImgDisabledActions = TSet<TfvImgDisabledAction>;
const TTypeInfo& TfvImgDisabledActionsType();

// ---- Picture routines --------------------------------------------------------------------

// A null value clears the picture; otherwise the picture loads the value's
// bytes (a JPEG by its first bytes, else a BMP). Bytes that are no picture
// raise EInvalidGraphic and leave the picture empty.
void ValueToGraphic(const TvpUniValue& Value, TPicture& Graphic);
// An empty picture makes the value null; otherwise the value takes the
// picture as the bytes of a BMP file.
void GraphicToValue(TvpUniValue& Value, TPicture& Graphic);
// The edit's value: the bytes of its first field (a blob), typed ftBlob;
// null without a blob field or for a null one.
void LoadBlobEditValue(IvpVisionEdit& Edit);
// A modal window captioned "Picture preview" showing the picture; Enter and
// Escape close it.
void ShowPicturePreview(TBitmap& Graphic);
// The open-picture dialog, starting in the folder of the picture last loaded
// in this process; when a file was chosen and the edit's field list can start
// editing, the picture loads the file. True only when a picture was loaded.
bool LoadPicture(TPicture& Graphic, IvpVisionEdit& Edit);
// The save-picture dialog; True with FileName set when a file was chosen.
bool SavePicture(std::string& FileName);
// The folder of the picture last loaded (UTF-8; empty before the first).
const std::string& LastPictureFolder();
// Forgets it (at shut-down).
void ClearLastPictureFolder();

// ---- The picture menu ---------------------------------------------------------------------

// The context menu of edits of image visions, made on first use: "Cut",
// "Copy", "Paste", "Clear" (tags 1 to 4), "Load...", "Save to...",
// "Preview" (tags 5 to 7), acting on the edit it pops up for.
TPopupMenu* BlobContextMenu();
// Enables and shows its items for Edit as popping up does: cut and clear
// for a picture that may change, copy, save and preview for any picture,
// paste for a clipboard picture, load when the value may change; an action
// the vision disables is hidden.
void UpdateBlobContextMenu(TDBProdiEdit& Edit);
// Frees the menu (at shut-down).
void FreeImageDefaults();

// The items every picture menu has: "Cut", "Copy", "Paste", "Clear" (tags 1
// to 4), a separator, "Load...", "Save to..." (tags 5, 6), a separator and
// "Preview" (tag 7); a click runs Click with the item's tag. The menu takes
// the shared environment's toolbar pictures.
void AddPictureMenuItems(TPopupMenu& Menu, const std::function<void(int Tag)>& Click);
// Enables and shows those items as popping up does: cut and clear for a
// picture that may change, copy, save and preview for any picture, paste
// for a clipboard picture that may come in, load when the value may change;
// the item of a disabled action is hidden, and a separator shows where an
// item after it does.
void UpdatePictureMenuItems(TPopupMenu& Menu, bool HasPicture, bool CanEdit, TfvImgDisabledActions Disabled);

// ---- TImageVision ------------------------------------------------------------------------

class TImageVision : public TvpFieldVision {
  KIV7_PERSISTENT(TImageVision)

 public:
  explicit TImageVision(TComponent* owner);

  // A change of the look makes consumers repaint.
  bool Stretch() const { return stretch_; }
  void SetStretch(bool value);
  bool Center() const { return center_; }
  void SetCenter(bool value);
  bool QuickDraw() const { return quick_draw_; }
  void SetQuickDraw(bool value);
  // Consumers re-apply their popup menu; a destroyed menu becomes nullptr.
  TPopupMenu* PopupMenu() const { return popup_menu_; }
  void SetPopupMenu(TPopupMenu* value);
  TfvImgDisabledActions DisabledActions() const { return disabled_actions_; }
  void SetDisabledActions(TfvImgDisabledActions value) { disabled_actions_ = value; }

  // Shows the picture instead of the preview window, when assigned.
  TfvNotifyEvent OnPreview;

  // The picture the fields show (from the edit's value when Edit is given);
  // False, with Graphic empty, when there is none or its bytes are no picture.
  bool ReadPicture(TgpFieldList& Fields, TPicture& Graphic);
  bool ReadEditPicture(IvpVisionEdit& Edit, TPicture& Graphic);

  // ---- the edit operations of the context menu (nothing unless Focused)
  // Loads a file into the edit's value; True when a picture was loaded.
  bool LoadFromFile(IvpVisionEdit& Edit, bool Focused);
  // Saves the edit's picture to a chosen file; True when it was saved.
  bool SaveToFile(IvpVisionEdit& Edit, bool Focused);
  void Preview(IvpVisionEdit& Edit, bool Focused);

  // The first field exists and is a blob field.
  void CanShow(TgpFieldList& Fields, bool& Active) override;
  // Always empty.
  void GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) override;
  // The edit's value: the field's bytes, typed ftBlob.
  void LoadEditValue(IvpVisionEdit& Edit) override;
  void DrawContent(TgpFieldList& Fields, TfvPainter& Painter) override;
  void ClipboardAction(IvpVisionEdit& Edit, TfvClipboardAction Action) override;
  TvpDefLayout GetDefaultLayout(TgpFieldList& Fields) override;
  // PopupMenu, else the library's picture menu (BlobContextMenu).
  TPopupMenu* GetPopupMenu() override;
  bool WantArrows() override;

 private:
  void NotifyPopupMenu();

  bool stretch_ = false;
  bool center_ = true;
  bool quick_draw_ = true;
  TComponentRef<TPopupMenu> popup_menu_{[this] { NotifyPopupMenu(); }};
  TfvImgDisabledActions disabled_actions_;
};
