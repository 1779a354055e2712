#include "grid/rs_custom.h"

#include <algorithm>
#include <vector>

#include "grid/rs_ods.h"
#include "grid/rs_pack.h"
#include "grid/rs_rtm.h"
#include "grid/rs_std.h"
#include "grid/rs_str.h"
#include "toolkit/ui/focus.h"
#include "toolkit/ui/stdctrls.h"

namespace {

TrsGridProCustomizer* g_open = nullptr;
TRect g_bounds = Rect(240, 100, 240 + 224, 100 + 340);

bool InList(const AnsiString& list, const AnsiString& name) { return ListIndexOf(list, name, ';') >= 0; }

}  // namespace

// ---- The window ------------------------------------------------------------------------------

TrsGridProCustomizer::TrsGridProCustomizer(TDBGridPro* Grid, const AnsiString& AllNames, const AnsiString& AllCaptions,
                                           const AnsiString& ShownNames, int RemoveMode)
    : TForm(Application),
      grid_(Grid),
      all_names_(AllNames),
      all_captions_(AllCaptions),
      shown_names_(ShownNames),
      remove_mode_(RemoveMode),
      captions_(std::make_unique<TStringList>()) {
  SetBorderStyle(bsSizeToolWin);
  // Stays above the grid's window while the user drags columns between them.
  SetFormStyle(fsStayOnTop);
  Font().SetName("Tahoma");
  Font().SetSize(8);
  SetColor(clBtnFace);
  SetCaption(rsLoadStr(SCustomize));

  datFields = new TObjDataSet(this);
  datFields->SetReadOnly(true);
  dsFields = new TDataSource(this);
  dsFields->SetDataSet(datFields);
  ldDesigner = new TLiteDesigner(this);
  for (TgpCellMargins* m : {ldDesigner->CellMargins()}) {
    m->SetLeftMargin(3);
    m->SetTopMargin(3);
    m->SetRightMargin(3);
    m->SetBottomMargin(3);
  }

  gpList = new TDBGridPro(this);
  gpList->SetParent(this);
  gpList->SetAlign(alClient);
  gpList->SetShowTitles(false);
  gpList->SetShowEmptyRow(false);
  gpList->SetBorderStyle(bsSoft);
  gpList->SetDragMode(dmAutomatic);
  gpList->SetAutoColumnFit(true);
  gpList->SetDesigner(ldDesigner);
  gpList->SetUniqueFields("no");
  gpList->SetCursorType(gctInsensitiveID);
  gpList->SetOptionsBehavior(TgpGridBehaviorOptions{gboNoIncomingDragTrack, gboNoInsideDragTrack});
  // A column of the customized grid dragged here goes away.
  gpList->OnDragOver = [this](TComponent*, TComponent* source, int, int, TDragState state, bool& accept) {
    accept = state != dsDragLeave && AcceptsGridColumn(dynamic_cast<TControl*>(source));
  };
  gpList->OnDragDrop = [this](TComponent*, TComponent*, int, int) { GridColumnDropped(); };
  TgpColumn* column = gpList->Columns()->Add();
  column->SetFieldName("Value");
  column->SetVision(DefPack()->TitleSurface);

  btnClose = new TButton(this);
  btnClose->SetCaption(rsLoadStr(SCustomizeClose));
  btnClose->SetVisible(false);
  btnClose->OnClick = [this](TComponent*) { Close(); };

  // The window frees itself once the events that closed it are handled.
  OnClose = [this](TComponent*, TCloseAction& action) {
    Closing();
    action = caHide;
    ReleaseForm(this);
  };

  datFields->SetSource(captions_.get());
  Rebuild();
  datFields->Activate();
  gpList->SetDataSource(dsFields);
  Send(gcaStart, this);
  SizeTo(g_bounds.Left + 8, g_bounds.Top + 8, g_bounds.Width(), g_bounds.Height());
}

TrsGridProCustomizer::~TrsGridProCustomizer() {
  Closing();
  if (g_open == this) g_open = nullptr;
}

void* TrsGridProCustomizer::Send(TgpCustomizerAction Action, void* Param) {
  return grid_ != nullptr ? grid_->CustomizerAction(Action, Param) : nullptr;
}

void TrsGridProCustomizer::Closing() {
  if (finished_) return;
  finished_ = true;
  Send(gcaFinish, this);
  // A window replaced by the next one leaves the remembered place to it.
  if (!replaced_ && g_open == this) {
    g_bounds = Rect(Left(), Top(), Left() + Width(), Top() + Height());
    g_open = nullptr;
  }
}

void TrsGridProCustomizer::GridGone() {
  if (grid_ == nullptr) return;
  Closing();
  grid_ = nullptr;
  ReleaseForm(this);
}

void TrsGridProCustomizer::Rebuild() {
  captions_->Clear();
  visible_names_.clear();
  const int count = ListCountNonEmpty(all_names_, ';');
  for (int i = 0; i < count; ++i) {
    const AnsiString name = ListItem(all_names_, i, ';');
    if (InList(shown_names_, name)) continue;
    captions_->Add(ListItem(all_captions_, i, ';'));
    visible_names_ = ListAddEmpty(visible_names_, name, ';');
  }
  if (datFields->QueryActive()) datFields->Reload();
}

int TrsGridProCustomizer::CurrentEntry() const {
  if (!datFields->QueryActive() || captions_->Count() == 0) return -1;
  TField* no = datFields->FieldNamed("no");
  return no != nullptr ? no->GetIntegerValue() : -1;
}

void* TrsGridProCustomizer::CustomizerMessage(TgpCustomizerAction Action, void* Param) {
  auto* column = static_cast<TgpColumn*>(Param);
  const int entry = CurrentEntry();
  switch (Action) {
    case gcaBeforeAddColumn:
      if (column != nullptr && entry >= 0) column->SetFieldName(ListItem(visible_names_, entry, ';'));
      break;
    case gcaAddColumn:
    case gcaShowColumn:
      if (column != nullptr) shown_names_ = ListAdd(shown_names_, column->FieldName(), ';');
      Rebuild();
      break;
    case gcaRemoveColumn:
    case gcaHideColumn: {
      TgpColumn* current = grid_ != nullptr ? grid_->CurrentColumn() : nullptr;
      if (current == nullptr) break;
      const int at = ListIndexOf(shown_names_, current->FieldName(), ';');
      if (at >= 0) shown_names_ = ListDelete(shown_names_, at, ';');
      if (remove_mode_ == 0)
        grid_->Columns()->Delete(current->Index());
      else
        current->SetVisible(false);
      Rebuild();
      break;
    }
    case gcaGetSel: {
      if (entry < 0 || grid_ == nullptr) return nullptr;
      const AnsiString name = ListItem(visible_names_, entry, ';');
      for (int i = 0; i < grid_->Columns()->Count(); ++i)
        if (AnsiSameText(grid_->Columns()->Items(i)->FieldName(), name)) return grid_->Columns()->Items(i);
      return nullptr;
    }
    case gcaDragDrop:
      EntryDropped();
      break;
    default:
      break;
  }
  return nullptr;
}

bool TrsGridProCustomizer::AcceptsGridColumn(TControl* Source) const {
  if (Source == nullptr || Source != grid_ || grid_->Customizer() != this) return false;
  TgpColumn* column = grid_->CurrentColumn();
  return column != nullptr && InList(all_names_, column->FieldName()) &&
         !column->OptionsBehavior().Contains(cboNoCustomizing);
}

void TrsGridProCustomizer::GridColumnDropped() {
  if (!AcceptsGridColumn(grid_)) return;
  Send(remove_mode_ == 0 ? gcaRemoveColumn : gcaHideColumn, grid_->CurrentColumn());
}

void TrsGridProCustomizer::EntryDropped() {
  if (grid_ == nullptr || CurrentEntry() < 0) return;
  const TgpDragger& drop = *grid_->Dragger();
  TgpColumns& columns = *grid_->Columns();
  // Groups are rebuilt as columns come and go: the target is held by the
  // first column of the group it names.
  TgpColumn* target = drop.DropGroup != nullptr ? columns.Items(drop.DropGroup->FirstColumn) : nullptr;
  const auto place = [&](TgpColumn* column) {
    TgpGroupInfo* group = target != nullptr ? target->Group() : nullptr;
    if (drop.DropKind == 1)
      columns.MakeGroup(column, group);
    else if ((drop.DropKind == 2 || drop.DropKind == 3) && group != nullptr)
      columns.MoveColumn(column, group, drop.DropLevel, drop.DropIndex);
    else
      column->SetVisible(true);
  };
  if (remove_mode_ == 1) {
    auto* column = static_cast<TgpColumn*>(CustomizerMessage(gcaGetSel, nullptr));
    if (column == nullptr) return;
    grid_->Frozen(true, [&] { place(column); });
    Send(gcaShowColumn, column);
    return;
  }
  TgpColumns scratch(nullptr);
  TgpColumn* loose = scratch.Add();
  Send(gcaBeforeAddColumn, loose);
  if (loose->FieldName().empty()) return;
  TgpColumn* added = nullptr;
  grid_->Frozen(true, [&] {
    added = columns.Add();
    added->Assign(loose);
    place(added);
  });
  Send(gcaAddColumn, added);
}

int TrsGridProCustomizer::SnapHeight(int Height) const {
  const int row = std::max(1, gpList->RowHeight());
  const int frame = (TForm::Height() - ClientHeight()) + (gpList->Height() - gpList->ClientHeight());
  const int rows = std::max(2, (Height - frame) / row);
  return frame + rows * row;
}

void TrsGridProCustomizer::SizeTo(int Left, int Top, int Width, int Height) {
  Snap(TForm::Top(), TForm::Top() + TForm::Height(), Left, Top, Width, Height);
}

void TrsGridProCustomizer::Snap(int old_top, int old_bottom, int Left, int Top, int Width, int Height) {
  const int snapped = SnapHeight(Height);
  // Sized by the top edge: the bottom stays where it was.
  if (Top != old_top && Top + Height == old_bottom) Top += Height - snapped;
  snapping_ = true;
  SetBounds(Left, Top, Width, snapped);
  snapping_ = false;
}

void TrsGridProCustomizer::WidgetResized() {
  const int old_top = Top(), old_bottom = Top() + Height();
  TForm::WidgetResized();
  if (snapping_ || SnapHeight(Height()) == Height()) return;
  Snap(old_top, old_bottom, Left(), Top(), Width(), Height());
}

// ---- Opening ----------------------------------------------------------------------------------

void ShowCustomizer(TDBGridPro* Grid, const AnsiString& AllNames, const AnsiString& AllCaptions,
                    const AnsiString& ShownNames, int RemoveMode) {
  if (TrsGridProCustomizer* old = g_open) {
    old->replaced_ = true;
    old->Closing();
    g_open = nullptr;
    ReleaseForm(old);
  }
  auto* customizer = new TrsGridProCustomizer(Grid, AllNames, AllCaptions, ShownNames, RemoveMode);
  g_open = customizer;
  customizer->Show();
}

TrsGridProCustomizer* ActiveCustomizer() { return g_open; }

TRect RememberedCustomizerBounds() { return g_bounds; }
