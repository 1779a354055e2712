// Three small services of the grid: incremental search in the current
// column, deleting records by a key after a question, and hints that show a
// title or footer text the cell cuts off.
#include "grid/rs.h"

#include <algorithm>

#include "grid/rs_rtm.h"
#include "grid/rs_std.h"
#include "grid/rs_str.h"
#include "toolkit/core/clock.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/db/db.h"
#include "toolkit/gfx/drawtext.h"
#include "toolkit/ui/dialogs.h"
#include "toolkit/ui/forms.h"

// ---- TgpAutoSearchParams ------------------------------------------------------------------

const TClassInfo& TgpAutoSearchParams::StaticClassInfo() {
  using P = TgpAutoSearchParams;
  static const TClassInfo info(kClassOf<P>, "TgpAutoSearchParams", &TPersistent::StaticClassInfo(),
                               [](TPublisher<P>& p) {
                                 p.Boolean("Enabled", &P::Enabled, &P::SetEnabled).WithDefault(0);
                                 p.String("SearchableFields", &P::SearchableFields, &P::SetSearchableFields);
                                 p.Integer("ShortCut", &P::ShortCut, &P::SetShortCut).WithDefault(0);
                                 p.Integer("ShortCutFindNext", &P::ShortCutFindNext, &P::SetShortCutFindNext)
                                     .WithDefault(0);
                                 p.Integer("ShortCutFindPrevious", &P::ShortCutFindPrevious,
                                           &P::SetShortCutFindPrevious)
                                     .WithDefault(0);
                                 p.Boolean("SearchFromBegin", &P::SearchFromBegin, &P::SetSearchFromBegin)
                                     .WithDefault(1);
                                 p.Boolean("CycleSearch", &P::CycleSearch, &P::SetCycleSearch).WithDefault(0);
                                 p.Ordinal("WndColor", TypeInfoTColor(), &P::WndColor, &P::SetWndColor)
                                     .WithDefault(clInfoBk);
                                 p.Ordinal("WndTextColor", TypeInfoTColor(), &P::WndTextColor, &P::SetWndTextColor)
                                     .WithDefault(clInfoText);
                                 p.String("Prompt", &P::Prompt, &P::SetPrompt);
                                 p.Boolean("EnablePrompt", &P::EnablePrompt, &P::SetEnablePrompt).WithDefault(1);
                               });
  return info;
}

TgpAutoSearchParams::TgpAutoSearchParams(TDBGridPro* grid) : grid_(grid) {}

TgpAutoSearchParams::~TgpAutoSearchParams() = default;

void TgpAutoSearchParams::Assign(const TPersistent* source) {
  if (const auto* p = dynamic_cast<const TgpAutoSearchParams*>(source)) {
    enabled_ = p->enabled_;
    searchable_fields_ = p->searchable_fields_;
    shortcut_ = p->shortcut_;
    shortcut_next_ = p->shortcut_next_;
    shortcut_previous_ = p->shortcut_previous_;
    search_from_begin_ = p->search_from_begin_;
    cycle_search_ = p->cycle_search_;
    wnd_color_ = p->wnd_color_;
    wnd_text_color_ = p->wnd_text_color_;
    prompt_ = p->prompt_;
    enable_prompt_ = p->enable_prompt_;
    return;
  }
  TPersistent::Assign(source);
}

bool TgpAutoSearchParams::HandleShortCut(uint16_t Key, TShiftState Shift) {
  if (grid_ == nullptr) return false;
  const int shortcut = ::ShortCut(Key, Shift);
  if (active_) {
    if (shortcut_next_ != 0 && shortcut == shortcut_next_) {
      Search(search_text_, true, cycle_search_, true, false);
      return true;
    }
    if (shortcut_previous_ != 0 && shortcut == shortcut_previous_) {
      Search(search_text_, false, cycle_search_, true, false);
      return true;
    }
    return false;
  }
  if (enabled_ && shortcut_ != 0 && shortcut == shortcut_) {
    Start(0);
    return true;
  }
  return false;
}

bool TgpAutoSearchParams::Start(int Key) {
  if (active_ || grid_ == nullptr) return false;
  TgpColumn* column = grid_->CurrentColumn();
  if (column == nullptr || column->FieldName().empty()) return false;
  if (!searchable_fields_.empty() && !ListContains(searchable_fields_, column->FieldName(), ';')) return false;
  prompt_window_ = std::make_unique<THintWindow>(nullptr);
  prompt_window_->SetColor(wnd_color_);
  prompt_window_->Font().Assign(grid_->Font());
  if (wnd_text_color_ != clNone) prompt_window_->Font().SetColor(wnd_text_color_);
  active_ = true;
  TypeKey(Key);
  return true;
}

void TgpAutoSearchParams::Stop() {
  if (!active_) return;
  if (prompt_window_) prompt_window_->ReleaseHandle();
  prompt_window_.reset();
  search_text_.clear();
  active_ = false;
}

void TgpAutoSearchParams::TypeKey(int Key) {
  if ((Key >= 1 && Key <= 7) || (Key >= 9 && Key <= 31)) return;
  if (!active_) {
    Start(Key);
    return;
  }
  AnsiString text = search_text_;
  if (Key == 8) {
    if (!text.empty()) text.pop_back();
  } else if (Key >= 32) {
    text += static_cast<char>(Key);
  }
  // A character that finds nothing is not taken into the text.
  if (Key != 0 && !Search(text, true, false, false, search_from_begin_)) text = search_text_;
  if (text == search_text_ && Key != 0) return;
  search_text_ = text;
  if (!enable_prompt_ || !prompt_window_) return;
  const AnsiString shown =
      !prompt_.empty() ? Format(prompt_, {search_text_}) : rsLoadStr(SSearchHint) + search_text_;
  TRect r = prompt_window_->CalcHintRect(std::max(1, grid_->Width()), shown);
  const TRect grid = grid_->ScreenRect();
  prompt_window_->ActivateHint(Bounds(grid.Left, grid.Bottom, r.Right - r.Left, r.Bottom - r.Top), shown);
  prompt_window_->Update();
}

bool TgpAutoSearchParams::Compare(const AnsiString& text) {
  TgpColumn* column = grid_->CurrentColumn();
  AnsiString candidate;
  column->EffectiveVision()->GetSearchText(*column->FieldList(), candidate);
  candidate = AnsiLowerCase(candidate);
  // A no-break space is typed as a blank.
  std::replace(candidate.begin(), candidate.end(), '\xA0', ' ');
  return candidate.compare(0, text.size(), text) == 0;
}

bool TgpAutoSearchParams::Search(const AnsiString& Text, bool Forward, bool Cycle, bool StepFirst, bool FromFirst) {
  if (!active_ || grid_ == nullptr || grid_->CurrentColumn() == nullptr) return false;
  TDataSet* ds = grid_->DataSet();
  if (ds == nullptr || !ds->QueryActive()) return false;
  const AnsiString text = AnsiLowerCase(Text);
  const TDataSetPosition position = SaveDataSetPosition(*ds);
  bool found = false;
  auto at_end = [&] { return Forward ? ds->Eof() : ds->Bof(); };
  auto step = [&] {
    if (Forward)
      ds->GoNext();
    else
      ds->GoPrior();
  };
  // One walk to the end in the search direction.
  auto pass = [&](bool step_first) {
    while (!at_end()) {
      if (step_first) {
        step();
        if (at_end()) break;
      }
      if (Compare(text)) return true;
      if (!step_first) step();
    }
    return false;
  };
  {
    TMuteScope muted(*ds);
    if (FromFirst) ds->GoFirst();
    if (text.empty()) {
      found = true;
    } else {
      found = pass(StepFirst);
      // Round again from the other end. Both walks compare alike, so the
      // same rows are found whichever row the search starts from.
      if (!found && Cycle && (!Forward || !FromFirst)) {
        if (Forward)
          ds->GoFirst();
        else
          ds->GoLast();
        found = pass(false);
      }
    }
    if (!found) RestoreDataSetPosition(*ds, position);
  }
  if (found && grid_->CursorType() != gctSensitive) grid_->Selection()->Current()->Recapture(true);
  return found;
}

// ---- TgpDeleteParams ----------------------------------------------------------------------

namespace {

const TTypeInfo& PromptKindType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TgpDeletePromptKind", {"dpkAlways", "dpkMultiRecord", "dpkNever"});
  return t;
}

}  // namespace

const TClassInfo& TgpDeleteParams::StaticClassInfo() {
  using P = TgpDeleteParams;
  static const TClassInfo info(kClassOf<P>, "TgpDeleteParams", &TPersistent::StaticClassInfo(),
                               [](TPublisher<P>& p) {
                                 p.Boolean("Enabled", &P::Enabled, &P::SetEnabled).WithDefault(0);
                                 p.Integer("ShortCut", &P::ShortCut, &P::SetShortCut).WithDefault(16430);
                                 p.Ordinal("PromptKind", PromptKindType(), &P::PromptKind, &P::SetPromptKind)
                                     .WithDefault(dpkAlways);
                                 p.String("PromptMsg", &P::PromptMsg, &P::SetPromptMsg);
                                 p.String("PromptMsgMulti", &P::PromptMsgMulti, &P::SetPromptMsgMulti);
                               });
  return info;
}

void TgpDeleteParams::Assign(const TPersistent* source) {
  if (const auto* p = dynamic_cast<const TgpDeleteParams*>(source)) {
    enabled_ = p->enabled_;
    shortcut_ = p->shortcut_;
    prompt_kind_ = p->prompt_kind_;
    prompt_msg_ = p->prompt_msg_;
    prompt_msg_multi_ = p->prompt_msg_multi_;
    return;
  }
  TPersistent::Assign(source);
}

bool TgpDeleteParams::HandleDeleteKey(uint16_t Key, TShiftState Shift) {
  deleted_ = false;
  if (grid_ == nullptr) return false;
  TDataSet* ds = grid_->DataSet();
  if (ds == nullptr || !ds->QueryActive() || !ds->QueryCanModify()) return false;
  if (Key != 0 && !(enabled_ && ::ShortCut(Key, Shift) == shortcut_)) return false;
  TgpSelection* selection = grid_->Selection();
  const int count = selection->Count();
  if (count == 0) return true;
  bool selected = !selection->Empty();
  if (count == 1) {
    if (selected) {
      // One record selected explicitly: that record goes, not whichever
      // record is current; one that is gone is not asked about.
      const TBookmark& bookmark = selection->Items(0)->Bookmark;
      if (bookmark.empty() || !ds->BookmarkExists(bookmark)) return true;
    } else if (!grid_->CanUseCurrentRecord(false)) {
      return true;
    }
  }
  if (Confirm(count > 1)) DeleteRecords(selected);
  return true;
}

bool TgpDeleteParams::Confirm(bool Multi) {
  if (prompt_kind_ == dpkNever || (prompt_kind_ == dpkMultiRecord && !Multi)) return true;
  AnsiString question;
  if (Multi) {
    const int count = grid_->Selection()->Count();
    question = !prompt_msg_multi_.empty() ? Format(prompt_msg_multi_, {count}) : rsFormatStr(SDeleteRecords, {count});
  } else {
    question = !prompt_msg_.empty() ? Format(prompt_msg_, {}) : rsLoadStr(SDeleteRecord);
  }
  return DialogService().MessageBox(question, Application->Title(), MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void TgpDeleteParams::DeleteRecords(bool Multi) {
  if (Multi) {
    grid_->Selection()->DeleteSelected(true, true);
  } else {
    grid_->DataSet()->DeleteCurrent();
    grid_->Selection()->Current()->Recapture(true);
  }
  deleted_ = true;
  if (grid_->AfterDelete) grid_->AfterDelete(grid_);
}

void TDBGridPro::SetParamsAutoSearch(const TgpAutoSearchParams* value) { auto_search_->Assign(value); }

void TDBGridPro::SetParamsDelete(const TgpDeleteParams* value) { delete_params_->Assign(value); }

// ---- Hints --------------------------------------------------------------------------------

namespace {

// Whether Text cut to Box in the font of Canvas loses something.
bool Clipped(TCanvas& canvas, const AnsiString& text, const TRect& box, bool word_wrap) {
  if (text.empty()) return false;
  const int width = std::max(1, box.Right - box.Left), height = box.Bottom - box.Top;
  TRect need = Rect(0, 0, width, 0);
  DrawText(canvas, text, need, DT_CALCRECT | DT_NOPREFIX | (word_wrap ? DT_WORDBREAK : DT_SINGLELINE));
  return need.Right - need.Left > width || need.Bottom - need.Top > height;
}

}  // namespace

AnsiString TDBGridPro::HintTextAt(int X, int Y) {
  const TgpDragger& d = *dragger_;
  if (sizing_state_ != 0 || d.RowDrag || d.ColumnDrag || d.RowDragOver) return AnsiString();
  int row = -1, index = -1;
  const int kind = HitTest(X, Y, row, index);
  if ((kind == 1 || kind == 3) && HasWindow()) {
    TgpColumn* column = columns_->Items(index);
    TCanvas& canvas = Canvas();
    canvas.Font().Assign(Font());
    TgpDesigner* designer = effective_designer_;
    if (kind == 1) {
      if (designer != nullptr && designer->TitleFontIfAny() != nullptr) designer->TitleFontIfAny()->ApplyTo(canvas.Font());
      TRect box = column->TitleRect(false);
      if (designer != nullptr) {
        const TgpCellMargins& m = designer->TitleMarginsRef();
        box = Rect(box.Left + m.LeftMargin(), box.Top + m.TopMargin(), box.Right - m.RightMargin(),
                   box.Bottom - m.BottomMargin());
      }
      const AnsiString caption = column->FieldList()->Caption();
      if (Clipped(canvas, caption, box, title_lines_ > 1)) return caption;
    } else {
      if (designer != nullptr && designer->FooterFontIfAny() != nullptr)
        designer->FooterFontIfAny()->ApplyTo(canvas.Font());
      TRect box = column->FooterRect(true, false);
      if (designer != nullptr) {
        const TgpCellMargins& m = designer->FooterMarginsRef();
        box = Rect(box.Left + m.LeftMargin(), box.Top + m.TopMargin(), box.Right - m.RightMargin(),
                   box.Bottom - m.BottomMargin());
      }
      const AnsiString shown = column->FooterDisplayText();
      if (Clipped(canvas, shown, box, false)) {
        if (column->FooterState() == fsNone) return column->FooterText();
        return ListItem(rsLoadStr(SFooterCaptions), column->FooterState(), ';') + " = " + column->FooterText();
      }
    }
  }
  return Hint();
}

void TDBGridPro::HideHint() {
  if (hint_window_ && hint_window_->Active()) hint_window_->ReleaseHandle();
  hint_cursor_rect_ = Rect(0, 0, 0, 0);
}

void TDBGridPro::HintTick() {
  const uint64_t now = GetTickCount64();
  if (hint_window_ && hint_window_->Active()) {
    if (now - hint_shown_at_ >= kHintHide) HideHint();
    return;
  }
  if (!hint_pending_) {
    if (HasWindow()) KillTimer(2);
    return;
  }
  if (now - hint_rest_since_ < kHintPause) return;
  hint_pending_ = false;
  const AnsiString text = HintTextAt(mouse_x_, mouse_y_);
  if (text.empty()) return;
  if (!hint_window_) hint_window_ = std::make_unique<THintWindow>(nullptr);
  hint_window_->Font().Assign(Font());
  hint_window_->Font().SetColor(clInfoText);
  const TRect need = hint_window_->CalcHintRect(std::max(100, ScreenWidth() / 3), text);
  const TPoint at = ClientToScreen(TPoint{mouse_x_, mouse_y_ + 20});
  hint_window_->ActivateHint(Rect(at.x, at.y, at.x + need.Right, at.y + need.Bottom), text);
  hint_shown_at_ = now;
  // The hint goes once the pointer leaves the square around where it stood.
  hint_cursor_rect_ = Rect(mouse_x_ - 4, mouse_y_ - 4, mouse_x_ + 4, mouse_y_ + 4);
}
