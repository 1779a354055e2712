#include "grid/rs_toolform.h"

#include <algorithm>

#include "grid/rs.h"
#include "grid/rs_str.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/db/db.h"
#include "toolkit/ui/focus.h"

// ---- TToolFormVision -------------------------------------------------------------------------

const TClassInfo& TToolFormVision::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TToolFormVision>, "TToolFormVision", &TvpFieldVision::StaticClassInfo(),
                               [](TPublisher<TToolFormVision>&) {});
  return info;
}

TToolFormVision::TToolFormVision(TComponent* owner) : TvpFieldVision(owner) { SetEnableDropDown(true); }

TToolFormVision::~TToolFormVision() = default;

void TToolFormVision::SetDropDown(TVisionToolForm* value) {
  drop_down_ = value;
}

TDataSource* TToolFormVision::GetListSource(TgpFieldList&) { return nullptr; }

TVisionToolForm* TToolFormVision::GetDefaultDropDown() { return nullptr; }

void TToolFormVision::ShowDropDown(IvpVisionEdit& Edit, TVisionToolForm* ToolForm) {
  if (ToolForm == nullptr) return;
  ToolForm->Show(this, dynamic_cast<TDBProdiEdit*>(&Edit));
}

bool TToolFormVision::HasDropDownOption(int Option) {
  if (Option < ddoShowOnEnter || Option > ddoNoFocusRect) return false;
  return drop_down_options_.Contains(static_cast<TfvDropDownOption>(Option));
}

TVisionToolForm* TToolFormVision::GetDropDown() { return drop_down_ != nullptr ? drop_down_ : GetDefaultDropDown(); }

TDataSource* TToolFormVision::GetListSource() {
  if (attached_ == nullptr || attached_->Edit() == nullptr) return nullptr;
  return GetListSource(attached_->Edit()->Fields());
}

void TToolFormVision::AttachToolForm(TVisionToolForm* ToolForm) {
  attached_ = ToolForm;
}

bool TToolFormVision::PostEditValue(TDBProdiEdit& Edit, bool SelectAll) {
  return TvpFieldVision::PostEditValue(Edit, SelectAll);
}

bool TToolFormVision::PostFromToolForm(TDBProdiEdit& Edit, bool SelectAll) {
  if (auto* inplace = dynamic_cast<TgpInplaceEdit*>(&Edit)) {
    inplace->Grid()->EndEdit(feaPost, true);
    return !inplace->Visible();
  }
  return PostEditValue(Edit, SelectAll);
}

const TTypeInfo& TfvDropDownOptionsType() {
  static const TTypeInfo option = TTypeInfo::Enumeration(
      "TfvDropDownOption", {"ddoShowOnEnter", "ddoShowOnTyping", "ddoAlwaysEnableAltDown", "ddoNoFocusRect"});
  static const TTypeInfo t = TTypeInfo::SetOf("TfvDropDownOptions", option);
  return t;
}

// ---- TVisionToolForm ----------------------------------------------------------------------------

const TClassInfo& TVisionToolForm::StaticClassInfo() {
  using F = TVisionToolForm;
  static const TClassInfo info(kClassOf<F>, "TVisionToolForm", &TComponent::StaticClassInfo(), [](TPublisher<F>& p) {
    p.Ordinal("Color", TypeInfoTColor(), &F::Color, &F::SetColor).WithDefault(clWindow);
    // The controls are referenced, placed on the tool form: written by name.
    p.Object(
        "ActiveControl", TComponent::StaticClassInfo(), [](const F& f) -> TPersistent* { return f.ActiveControl(); },
        [](F& f, TPersistent* v) { f.SetActiveControl(dynamic_cast<TWinControl*>(v)); });
    p.Object("DataGrid", TDBGridPro::StaticClassInfo(), &F::DataGrid,
             [](F& f, TPersistent* v) { f.SetDataGrid(dynamic_cast<TDBGridPro*>(v)); });
    static const TTypeInfo placement = TTypeInfo::Enumeration(
        "TvtfPlacement", {"tfpDefault", "tfpBottomCenter", "tfpBottomLeft", "tfpBottomRight", "tfpRightCenter"});
    p.Ordinal("Placement", placement, &F::Placement, &F::SetPlacement).WithDefault(tfpDefault);
    static const TTypeInfo option =
        TTypeInfo::Enumeration("TvtfOption", {"tfoFocusable", "tfoFixedWidth", "tfoFixedHeight", "tfoNoAutoPost",
                                              "tfoNoAutoCancel", "tfoAlwaysPostChanges"});
    static const TTypeInfo options = TTypeInfo::SetOf("TvtfOptions", option);
    p.Ordinal("Options", options, &F::Options, &F::SetOptions).WithDefault(0);
    PublishEvents(p, "TNotifyEvent OnPaint OnShow OnPostChanges OnClose OnActivate OnCurrentChanged OnTextChanged");
    PublishEvents(p, "TvtfSizingEvent OnSizing");
    PublishEvents(p, "TKeyEvent OnKeyDown");
    PublishEvents(p, "TKeyPressEvent OnKeyPress");
    PublishEvents(p, "TvtfShortCutEvent OnShortCut");
    PublishEvents(p, "TvtfEditActionEvent OnEditAction");
  });
  return info;
}

TVisionToolForm::TVisionToolForm(TComponent* owner) : TCustomControl(owner) {
  SetColor(clWindow);
  SetVisible(false);
}

TVisionToolForm::~TVisionToolForm() {
  // A form going away while open leaves nothing pointing at it.
  if (IsOpen()) {
    try {
      Close(false, false);
    } catch (...) {
      // A destructor cannot report; the form goes all the same.
    }
  }
}

void TVisionToolForm::SetActiveControl(TWinControl* value) {
  if (value != nullptr && !IsControlInside(value, this))
    rsErrorFmt(SMustBePlacedOn, {value->Name(), Name()});
  active_control_ = value;
}

void TVisionToolForm::SetDataGrid(TDBGridPro* value) {
  if (value != nullptr && !IsControlInside(value, this))
    rsErrorFmt(SMustBePlacedOn, {value->Name(), Name()});
  data_grid_ = value;
}

bool TVisionToolForm::Flipped() const { return flipped_; }

TRect TVisionToolForm::HostRect() const {
  if (host_ == nullptr) return TRect{};
  return host_->BoundsRect();
}

void TVisionToolForm::Show(IVisionToolFormUser* User, TDBProdiEdit* Edit) {
  if (IsOpen() || User == nullptr || Edit == nullptr) return;
  user_ = User;
  edit_ = Edit;
  start_value_.Assign(&Edit->CurrentValue());
  const TRect edit_rect = Edit->ScreenRect();
  drop_width_ = Width();
  designed_bounds_ = BoundsRect();
  designed_parent_ = Parent();
  designed_font_.Assign(Font());

  host_ = new TvpToolFormBG(this);
  host_->SetColor(Color());
  if (parent_font_) {
    host_->Font().Assign(Edit->Font());
    host_->Font().SetStyle(TFontStyles{});
    Font().Assign(host_->Font());
  } else {
    host_->Font().Assign(Font());
  }
  SetParent(host_);
  SetBounds(0, 0, Width(), Height());
  {
    TScopeFail detach([this] { Detach(); });
    Edit->SetDropDownForm(this);
    if (data_grid_ != nullptr) data_grid_->SetToolForm(this);
    User->AttachToolForm(this);
    if (OnShow) OnShow(this);
  }
  // The host's size, its frame included: the drop width is its client width;
  // without one the host is as wide as the edit (its frame over the cell's
  // lines for an in-place editor).
  const int frame = 2 * host_->DrawnFrame();
  int width = drop_width_ + frame;
  if (drop_width_ <= 0) {
    width = Edit->Width() + (Edit->IsInplace() ? 2 : 0);
    drop_width_ = width - frame;
  }
  const int height = Height() + frame;
  SetAlign(alClient);
  SetVisible(true);

  // Placement beside the edit, kept inside the screen.
  const int edit_width = edit_rect.Right - edit_rect.Left;
  const int edit_height = edit_rect.Bottom - edit_rect.Top;
  const TvtfPlacement placement = placement_ == tfpDefault ? tfpBottomLeft : placement_;
  int left = edit_rect.Left;
  int top = edit_rect.Bottom;
  switch (placement) {
    case tfpBottomCenter: left = edit_rect.Left - (width - edit_width) / 2 - 1; break;
    case tfpBottomRight: left = edit_rect.Right - width; break;
    case tfpRightCenter:
      left = edit_rect.Right;
      top = edit_rect.Top - (height - edit_height) / 2 - 1;
      break;
    default: left = edit_rect.Left - (Edit->IsInplace() ? 1 : 0); break;
  }
  const int screen_w = ScreenWidth(), screen_h = ScreenHeight();
  flipped_ = false;
  if (screen_w > 0 && screen_h > 0) {
    if (placement == tfpRightCenter) {
      top = std::clamp(top, 0, std::max(screen_h - height, 0));
      if (left + width > screen_w) {
        left = edit_rect.Left - width;
        flipped_ = true;
      }
    } else {
      left = std::clamp(left, 0, std::max(screen_w - width, 0));
      if (top + height > screen_h) {
        top = edit_rect.Top - height;
        flipped_ = true;
      }
    }
  }
  host_->SetFlipped(flipped_);
  host_->SetBounds(left, top, width, height);
  host_->SetModalResult(mrNone);
  close_result_ = mrNone;
  changed_ = width_changed_ = height_changed_ = posting_ = false;
  host_->SetVisible(true);
  if (OnActivate) OnActivate(this);
  if (options_.Contains(tfoFocusable)) RunLocalLoop();
}

void TVisionToolForm::RunLocalLoop() {
  if (active_control_ != nullptr && active_control_->Showing() && active_control_->Enabled())
    FocusControl(active_control_);
  else
    FocusControl(host_);
  while (IsOpen() && host_->ModalResult() == mrNone && Application != nullptr && !Application->Terminated())
    Application->HandleMessage();
  Close(false, false);
}

void TVisionToolForm::SetModalResult(TModalResult value) {
  if (host_ != nullptr) host_->SetModalResult(value);
  // A form that runs no loop of its own closes at once.
  if (value != mrNone && IsOpen() && !options_.Contains(tfoFocusable)) Close(value != mrCancel, false);
}

void TVisionToolForm::Close(bool Post, bool ForcePost) {
  if (!IsOpen()) return;
  if (Post) {
    TScopedValue<bool> posting(posting_, true, false);
    if (ForcePost && edit_ != nullptr)
      user_->PostFromToolForm(*edit_, true);
    else if (changed_ && edit_ != nullptr)
      user_->PostEditValue(*edit_, true);
    if (IsOpen()) Hide();
    return;
  }
  if (!posting_ && !options_.Contains(tfoAlwaysPostChanges)) changed_ = false;
  Hide();
}

void TVisionToolForm::Hide() {
  TvpToolFormBG* host = host_;
  // Closed from inside the host (Escape, OK, Cancel) the focus goes back to
  // the edit; closed because the focus went elsewhere it stays there.
  TControl* focused = FocusedControl();
  const bool had_focus = host != nullptr && focused != nullptr && (focused == host || IsControlInside(focused, host));
  {
    TScopeExit detach([this] { Detach(); });
    close_result_ = host != nullptr ? host->ModalResult() : mrNone;
    host_ = nullptr;
    SetAlign(alNone);
    SetVisible(false);
    SetParent(designed_parent_);
    if (host != nullptr) {
      host->tool_form_ = nullptr;
      // Closed from inside its own key or focus events: freed once they end.
      ReleaseForm(host);
    }
    if (close_result_ != mrCancel && (changed_ || close_result_ != mrNone)) {
      if (data_grid_ != nullptr && edit_ != nullptr) edit_->CurrentValue().SetAsVariant(data_grid_->TakeValue());
      if (OnPostChanges) OnPostChanges(this);
    }
    if (OnClose) OnClose(this);
    if (had_focus) ReturnFocus();
  }
}

void TVisionToolForm::ReturnFocus() {
  TDBProdiEdit* edit = edit_;
  if (edit == nullptr) return;
  auto* target = static_cast<TCustomControl*>(edit);
  // Posting may have ended the grid's edit and hidden its editor.
  if (!edit->Visible() && edit->IsInplace()) target = static_cast<TgpInplaceEdit*>(edit)->Grid();
  if (TForm* form = target->ParentForm()) form->BringToFront();
  if (target->CanFocus()) target->SetFocus();
}

void TVisionToolForm::Detach() {
  if (host_ != nullptr) {
    TvpToolFormBG* host = host_;
    host_ = nullptr;
    SetAlign(alNone);
    SetParent(designed_parent_);
    host->tool_form_ = nullptr;
    ReleaseForm(host);
  }
  if (user_ != nullptr) user_->AttachToolForm(nullptr);
  if (edit_ != nullptr) edit_->SetDropDownForm(nullptr);
  if (data_grid_ != nullptr) data_grid_->SetToolForm(nullptr);
  SetVisible(false);
  SetBounds(designed_bounds_.Left, designed_bounds_.Top, designed_bounds_.Right - designed_bounds_.Left,
            designed_bounds_.Bottom - designed_bounds_.Top);
  Font().Assign(designed_font_);
  user_ = nullptr;
  edit_ = nullptr;
}

void TVisionToolForm::HostSizing(int width, int height) {
  if (host_ == nullptr) return;
  TRect bounds = Bounds(host_->Left(), host_->Top(), width, height);
  host_->UserSizing(bounds);
  host_->SetBounds(bounds.Left, bounds.Top, bounds.Width(), bounds.Height());
}

bool TVisionToolForm::HostPreviewsKeys() const { return host_ != nullptr && host_->KeyPreview() && Focused(); }

void TVisionToolForm::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (HostPreviewsKeys()) return;
  if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TVisionToolForm::KeyPress(char& key) {
  if (HostPreviewsKeys()) return;
  TCustomControl::KeyPress(key);
}

void TVisionToolForm::FocusChanged(TControl* NewFocus) {
  if (NewFocus != nullptr && host_ != nullptr && (NewFocus == host_ || IsControlInside(NewFocus, host_))) return;
  Close(false, false);
}

void TVisionToolForm::CurrentChanged() {
  if (OnCurrentChanged) OnCurrentChanged(this);
}

void TVisionToolForm::TextChanged() {
  if (OnTextChanged) OnTextChanged(this);
}

void TVisionToolForm::Paint() {
  if (ComponentState().Contains(csDesigning)) {
    Canvas().Pen().SetStyle(psDot);
    Canvas().Brush().SetStyle(bsClear);
    Canvas().Rectangle(0, 0, Width(), Height());
  }
  if (OnPaint) OnPaint(this);
}

// ---- TvpToolFormBG ------------------------------------------------------------------------------

TvpToolFormBG::TvpToolFormBG(TVisionToolForm* tool_form) : TForm(tool_form), tool_form_(tool_form) {
  const TvtfOptions options = tool_form->Options();
  const bool fixed = options.Contains(tfoFixedWidth) && options.Contains(tfoFixedHeight);
  // No title bar and no buttons of the window system: a pixel of frame, and
  // a second one to drag when the form may be sized.
  SetBorderStyle(bsNone);
  SetBorderIcons(TBorderIcons{});
  SetFormStyle(fsStayOnTop);
  SetDrawnFrame(fixed ? 1 : 2, !fixed);
  // Closed by the window system (or by the program): the tool form closes
  // without posting and lets go of its edit, which can drop it down again.
  OnClose = [this](TComponent*, TCloseAction& action) {
    action = caNone;
    if (tool_form_ != nullptr) tool_form_->Close(false, false);
  };
  // Only a focusable form takes the focus (and sees its keys before its
  // controls do); any other leaves it in the edit.
  if (options.Contains(tfoFocusable))
    SetKeyPreview(true);
  else
    SetDropDownWindow(true);
}

bool TvpToolFormBG::PreviewKey(uint16_t& key, TShiftState shift) {
  if (tool_form_ == nullptr || !tool_form_->Options().Contains(tfoFocusable)) return false;
  if (tool_form_->OnKeyDown) tool_form_->OnKeyDown(tool_form_, key, shift);
  if (key == 0) return true;
  const TvtfOptions options = tool_form_->Options();
  const bool alt_down = key == VK_DOWN && shift.Contains(ssAlt);
  const bool enter = key == VK_RETURN && !options.Contains(tfoNoAutoPost);
  const bool escape = key == VK_ESCAPE && !options.Contains(tfoNoAutoCancel);
  if (alt_down || enter || escape) {
    if (TDBProdiEdit* edit = tool_form_->Edit()) {
      if (escape)
        edit->EscapeKey();
      else if (enter)
        edit->ReturnKey(shift);
      else
        edit->ToggleDropDown(true);
    }
    key = 0;
    return true;
  }
  // The edit actions go on to the focused control as well, so that a text
  // box still cuts, copies and pastes its own text.
  TvpEditAction action = veaUnknown;
  if (key == VK_INSERT && shift.Contains(ssShift)) action = veaPaste;
  if (key == VK_DELETE && shift.Contains(ssShift)) action = veaCut;
  if ((key == VK_INSERT || key == 'C') && shift.Contains(ssCtrl)) action = veaCopy;
  if (key == 'V' && shift.Contains(ssCtrl)) action = veaPaste;
  if (key == 'X' && shift.Contains(ssCtrl)) action = veaCut;
  if (action != veaUnknown) {
    if (tool_form_->OnEditAction) tool_form_->OnEditAction(tool_form_, action);
    return false;
  }
  // Alt with a letter or a digit is a dialog character: OnShortCut may take
  // it (an accelerator of the form's buttons); it is used up either way.
  const bool character = (key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9');
  if (character && shift.Contains(ssAlt)) {
    if (tool_form_->OnShortCut) tool_form_->OnShortCut(tool_form_, key);
    key = 0;
    return true;
  }
  return false;
}

void TvpToolFormBG::UserSizing(TRect& bounds) {
  if (tool_form_ == nullptr) return;
  const TvtfOptions options = tool_form_->Options();
  // The window system tells the new frame, not the edge that was dragged: a
  // moved left or top side is the one dragged. The edges of a fixed side
  // cannot be dragged: that side stays put.
  const bool fixed_width = options.Contains(tfoFixedWidth);
  const bool fixed_height = options.Contains(tfoFixedHeight);
  const bool left_dragged = !fixed_width && bounds.Left != Left();
  const bool top_dragged = !fixed_height && bounds.Top != Top();
  if (fixed_width) bounds.Left = Left();
  if (fixed_height) bounds.Top = Top();
  TvpSizingInfo info{fixed_width ? Width() : bounds.Width(), fixed_height ? Height() : bounds.Height()};
  if (tool_form_->OnSizing) tool_form_->OnSizing(tool_form_, info);
  if (info.Width != Width()) tool_form_->width_changed_ = true;
  if (info.Height != Height()) tool_form_->height_changed_ = true;
  if (left_dragged)
    bounds.Left = bounds.Right - info.Width;
  else
    bounds.Right = bounds.Left + info.Width;
  if (top_dragged)
    bounds.Top = bounds.Bottom - info.Height;
  else
    bounds.Bottom = bounds.Top + info.Height;
}

unsigned TvpToolFormBG::SizingEdges() const {
  if (tool_form_ == nullptr) return 0;
  const TvtfOptions options = tool_form_->Options();
  unsigned edges = 0xF;
  if (options.Contains(tfoFixedWidth)) edges &= ~(1u | 4u);
  if (options.Contains(tfoFixedHeight)) edges &= ~(2u | 8u);
  if (tool_form_->Placement() == tfpRightCenter)
    edges &= flipped_ ? ~4u : ~1u;
  else
    edges &= flipped_ ? ~8u : ~2u;
  return edges;
}

void TvpToolFormBG::PreviewKeyPress(char& key) {
  if (tool_form_ != nullptr && tool_form_->OnKeyPress) tool_form_->OnKeyPress(tool_form_, key);
}
