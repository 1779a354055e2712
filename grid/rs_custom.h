// The floating column customizer: a small tool window listing the fields a
// grid may show but does not show now. A grid column dropped on the list is
// removed (or hidden) and an entry dropped on the grid adds (or shows) its
// column again. The window and the grid talk through the private message
// 0x5F6, whose first parameter is a TgpCustomizerAction code.
#pragma once

#include <memory>

#include "grid/rs.h"
#include "toolkit/ui/forms.h"

class TButton;
class TObjDataSet;
class TLiteDesigner;
class TrsGridProCustomizer;

// ---- The window ----------------------------------------------------------------------------

class TrsGridProCustomizer : public TForm {
 public:
  // RemoveMode 0: a column dropped on the list is freed; 1: it is hidden and
  // shown again when its entry comes back.
  TrsGridProCustomizer(TDBGridPro* Grid, const AnsiString& AllNames, const AnsiString& AllCaptions,
                       const AnsiString& ShownNames, int RemoveMode);
  ~TrsGridProCustomizer() override;

  TDBGridPro* Grid() const { return grid_; }
  const AnsiString& ShownNames() const { return shown_names_; }
  // The names behind the listed captions, in their order.
  const AnsiString& VisibleNames() const { return visible_names_; }
  TStrings& Captions() const { return *captions_; }
  int RemoveMode() const { return remove_mode_; }

  TDBGridPro* gpList;
  TObjDataSet* datFields;
  TDataSource* dsFields;
  TLiteDesigner* ldDesigner;
  TButton* btnClose;

  // Sends Action to the grid (the message 0x5F6 from this side).
  void* Send(TgpCustomizerAction Action, void* Param);
  // A message 0x5F6 the grid passed on.
  void* CustomizerMessage(TgpCustomizerAction Action, void* Param);
  // Whether the grid's current column may be dropped on the list: only while
  // the grid is customized by this window, for a column whose field is one of
  // AllNames and which lacks cboNoCustomizing.
  bool AcceptsGridColumn(TControl* Source) const;
  // The grid's current column was dropped on the list.
  void GridColumnDropped();
  // The list's current entry was dropped on the grid: its column goes to the
  // grid's drop target (at the end, or where it was, when there is none).
  void EntryDropped();
  // The grid is going: the window closes without it. The grid calls it
  // while it is still whole, before any holder hears of its end.
  void GridGone();
  // The height that shows whole rows of the list, at least 2.
  int SnapHeight(int Height) const;
  // Sets the height snapped; the top edge moves when only it changed.
  void SizeTo(int Left, int Top, int Width, int Height);

 protected:
  // The user sized the window: its height snaps to whole rows.
  void WidgetResized() override;

 private:
  friend void ShowCustomizer(TDBGridPro*, const AnsiString&, const AnsiString&, const AnsiString&, int);
  void Rebuild();
  void Closing();
  // The list's current row as an index into VisibleNames; -1 when none.
  int CurrentEntry() const;

  TDBGridPro* grid_;
  AnsiString all_names_, all_captions_, shown_names_, visible_names_;
  int remove_mode_;
  std::unique_ptr<TStringList> captions_;
  // Applies the snapped height to a window that was at old_top to old_bottom.
  void Snap(int old_top, int old_bottom, int Left, int Top, int Width, int Height);

  bool replaced_ = false;
  bool finished_ = false;
  bool snapping_ = false;
};

// Opens a customizer for Grid (not modal), closing the one open before.
void ShowCustomizer(TDBGridPro* Grid, const AnsiString& AllNames, const AnsiString& AllCaptions,
                    const AnsiString& ShownNames, int RemoveMode);
// The customizer open now (at most one); nullptr when none.
TrsGridProCustomizer* ActiveCustomizer();
// Where the next customizer opens (8 pixels right and down of this) and its size.
TRect RememberedCustomizerBounds();
