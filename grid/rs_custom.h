// The floating column customizer: a small tool window listing the fields a
// grid may show but does not show now. A grid column dropped on the list is
// removed (or hidden) and an entry dropped on the grid adds (or shows) its
// column again. The window and the grid talk through the private message
// 0x5F6, whose first parameter is a TgpCustomizerAction code.
#pragma once

#include <functional>
#include <memory>

#include "grid/rs.h"
#include "toolkit/ui/forms.h"

class TButton;
class TObjDataSet;
class TLiteDesigner;
class TrsGridProCustomizer;

inline constexpr unsigned kMsgCustomizer = 0x5F6;

enum TgpCustomizerAction {
  gcaStart = 0,
  gcaFinish = 1,
  gcaBeforeAddColumn = 2,
  gcaAddColumn = 3,
  gcaRemoveColumn = 4,
  gcaShowColumn = 5,
  gcaHideColumn = 6,
  gcaGetSel = 7,
  gcaDragDrop = 8
};

using TgpCustomizerActionEvent = std::function<void(TDBGridPro* Sender, TgpCustomizerAction Action, TgpColumn* Column)>;

// ---- The grid's side of the protocol ------------------------------------------------------

// The grid's handling of 0x5F6 sent to it: gcaStart records the customizer
// (Param) and enters customizing mode, gcaFinish leaves it; every code is then
// passed on to the recorded customizer with the same parameter, and the
// grid's customizer action handler hears it (with the column for
// gcaBeforeAddColumn and gcaRemoveColumn to gcaHideColumn). Returns the
// customizer's answer (the selected column for gcaGetSel).
void* SendCustomizerAction(TDBGridPro* Grid, TgpCustomizerAction Action, void* Param);
// The customizer attached to Grid (nullptr: Grid is not being customized).
TrsGridProCustomizer* GridCustomizer(const TDBGridPro* Grid);
// The handler of Grid's customizer actions (an empty one removes it).
void SetCustomizerActionHandler(TDBGridPro* Grid, TgpCustomizerActionEvent Handler);
// Forgets what is kept for Grid (at its end).
void ForgetCustomizedGrid(const TDBGridPro* Grid);
// The customizer windows open now, in the order they started.
const std::vector<TrsGridProCustomizer*>& OpenCustomizers();

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
  // The list's current entry was dropped on the grid.
  void EntryDropped();
  // The height that shows whole rows of the list, at least 2.
  int SnapHeight(int Height) const;
  // Sets the height snapped; the top edge moves when only it changed.
  void SizeTo(int Left, int Top, int Width, int Height);

 protected:
  void Notification(TComponent* component, TOperation operation) override;
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
