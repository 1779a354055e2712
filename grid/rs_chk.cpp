#include "grid/rs_chk.h"

#include <algorithm>

#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"
#include "toolkit/gfx/drawtext.h"
#include "toolkit/gfx/edges.h"

// ---- Published types ---------------------------------------------------------------------

const TTypeInfo& TcbvBoxStyleType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TcbvBoxStyle", {"cbv3D", "cbv3DSoft", "cbvMono", "cbvFlat"});
  return t;
}

const TTypeInfo& TcbvStateType() {
  static const TTypeInfo t = TTypeInfo::Enumeration("TcbvState", {"cbvChecked", "cbvUnChecked", "cbvGrayed"});
  return t;
}

const TClassInfo& TCheckBoxVision::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TCheckBoxVision>, "TCheckBoxVision", &TvpFieldVision::StaticClassInfo(),
      [](TPublisher<TCheckBoxVision>& p) {
        using V = TCheckBoxVision;
        p.Ordinal("Alignment", TvpDefAlignmentType(), &V::Alignment, &V::SetAlignment).WithDefault(talDefault);
        p.Ordinal("OptionsSwitch", TfvSwitchOptionsType(), &V::OptionsSwitch, &V::SetOptionsSwitch)
            .WithDefault(TfvSwitchOptions{vsoEditDataSet}.Bits());
        p.Boolean("FullFocusRect", &V::FullFocusRect, &V::SetFullFocusRect).WithDefault(false);
        p.Ordinal("BoxStyle", TcbvBoxStyleType(), &V::BoxStyle, &V::SetBoxStyle).WithDefault(cbvFlat);
        p.String("ValueChecked", &V::ValueChecked, &V::SetValueChecked);
        p.String("ValueUnChecked", &V::ValueUnChecked, &V::SetValueUnChecked);
        p.String("ValueGrayed", &V::ValueGrayed, &V::SetValueGrayed);
        p.Boolean("AllowGrayed", &V::AllowGrayed, &V::SetAllowGrayed).WithDefault(false);
        p.Ordinal("ShowNullAs", TcbvStateType(), &V::ShowNullAs, &V::SetShowNullAs).WithDefault(cbvGrayed);
        PublishVisionEvents(p, "BeforeEdit BeforePost AfterPost");
        PublishEvents(p, "TcbvGetStateEvent OnGetState");
        PublishEvents(p, "TcbvSetStateEvent OnSetState");
      });
  return info;
}

// ---- TCheckBoxVision ---------------------------------------------------------------------

TCheckBoxVision::TCheckBoxVision(TComponent* owner) : TvpFieldVision(owner) {
  SetSelfDrawn(true);
  SetSwitchCell(true);
}

void TCheckBoxVision::SetFullFocusRect(bool value) {
  if (full_focus_rect_ == value) return;
  full_focus_rect_ = value;
  NotifyView();
}

void TCheckBoxVision::SetBoxStyle(TcbvBoxStyle value) {
  if (box_style_ == value) return;
  box_style_ = value;
  NotifyView();
}

void TCheckBoxVision::SetValueChecked(const AnsiString& value) {
  if (value_checked_ == value) return;
  value_checked_ = value;
  NotifyView();
}

void TCheckBoxVision::SetValueUnChecked(const AnsiString& value) {
  if (value_unchecked_ == value) return;
  value_unchecked_ = value;
  NotifyView();
}

void TCheckBoxVision::SetValueGrayed(const AnsiString& value) {
  if (value_grayed_ == value) return;
  value_grayed_ = value;
  NotifyView();
}

void TCheckBoxVision::SetShowNullAs(TcbvState value) {
  if (show_null_as_ == value) return;
  show_null_as_ = value;
  NotifyView();
}

TcbvState TCheckBoxVision::GetState(TgpFieldList& Fields) {
  TcbvState state = cbvUnChecked;
  if (TField* field = Fields.Field()) {
    if (field->HoldsNull()) {
      state = show_null_as_;
    } else if (field->DataType() == ftBoolean) {
      state = field->GetBooleanValue() ? cbvChecked : cbvUnChecked;
    } else {
      const AnsiString text = field->FormatForDisplay(false);
      state = ListContains(value_checked_, text, ';')     ? cbvChecked
              : ListContains(value_unchecked_, text, ';') ? cbvUnChecked
                                                          : cbvGrayed;
    }
  }
  if (OnGetState) OnGetState(this, Fields, state);
  return state;
}

bool TCheckBoxVision::Toggle(IvpVisionEdit& Edit) {
  TgpFieldList& fields = Edit.EditFields();
  TcbvState state = GetState(fields);
  switch (state) {
    case cbvChecked:
      state = cbvUnChecked;
      break;
    case cbvUnChecked:
      state = allow_grayed_ ? cbvGrayed : cbvChecked;
      break;
    case cbvGrayed:
      state = cbvChecked;
      break;
  }
  bool do_post = true;
  if (OnSetState) OnSetState(this, fields, state, do_post);
  if (!do_post) return false;
  TfvCurrentValue& value = Edit.CurrentValue();
  if (value.DataType() == ftBoolean) {
    if (state == cbvGrayed)
      value.Clear();
    else
      value.SetAsBoolean(state == cbvChecked);
  } else {
    const AnsiString& list = state == cbvChecked     ? value_checked_
                             : state == cbvUnChecked ? value_unchecked_
                                                     : value_grayed_;
    const AnsiString text = ListItem(list, 0, ';');
    if (text.empty())
      value.Clear();
    else
      value.SetAsString(text);
  }
  value.Changed = true;
  return PostEditValue(Edit, false);
}

void TCheckBoxVision::CanShow(TgpFieldList& Fields, bool& Active) {
  TField* field = Fields.Field();
  Active = !Fields.FieldName().empty() && field && !field->IsBlob();
}

void TCheckBoxVision::LoadEditValue(IvpVisionEdit& Edit) {
  TfvCurrentValue& value = Edit.CurrentValue();
  value.Clear();
  TgpFieldList& fields = Edit.EditFields();
  if (TField* field = fields.Field()) {
    value.SetDataType(field->DataType());
    value.Assign(field);
  } else {
    value.SetDataType(ftBoolean);
    const TcbvState state = GetState(fields);
    if (state != cbvGrayed) value.SetAsBoolean(state == cbvChecked);
  }
  value.Changed = false;
  value.TextModified = false;
}

void TCheckBoxVision::DrawContent(TgpFieldList& Fields, TfvPainter& Painter) {
  DrawBox(Fields, Painter, GetState(Fields), false);
}

void TCheckBoxVision::DrawInactive(TgpFieldList& Fields, TfvPainter& Painter) {
  DrawBox(Fields, Painter, GetState(Fields), true);
}

void TCheckBoxVision::DrawBox(TgpFieldList& Fields, TfvPainter& Painter, TcbvState State, bool Inactive) {
  Painter.DefaultDraw = false;
  if (!Painter.Canvas) return;
  TCanvas& canvas = *Painter.Canvas;
  const TRect& cell = Painter.CellRect;
  const TRect& content = Painter.ContentRect;
  // An edit of its own shows its caption beside the box, so a centred box
  // sits at the left there.
  const bool own_edit = !Painter.GridMode() && !Painter.HasColumn;
  TAlignment alignment = Fields.Alignment();
  if (own_edit && alignment == taCenter) alignment = taLeftJustify;
  const int top = cell.Top + (cell.Height() - kCheckBoxSize) / 2;
  int left = 0;
  int left_indent = 0;
  int right_indent = 0;
  switch (alignment) {
    case taLeftJustify:
      left = content.Left + 1;
      left_indent = kCheckBoxIndent;
      break;
    case taRightJustify:
      left = content.Right - kCheckBoxSize - 1;
      right_indent = kCheckBoxIndent;
      break;
    case taCenter:
      left = content.Left + (content.Width() - kCheckBoxSize) / 2;
      break;
  }
  TRect box = Bounds(left, top, kCheckBoxSize, kCheckBoxSize);
  unsigned state = State == cbvGrayed ? DFCS_BUTTON3STATE | DFCS_CHECKED
                   : State == cbvChecked ? DFCS_BUTTONCHECK | DFCS_CHECKED
                                         : DFCS_BUTTONCHECK;
  if (box_style_ == cbvMono || box_style_ == cbvFlat) state |= DFCS_FLAT;
  if (Painter.Attrs && Painter.Attrs->Pressed) state |= DFCS_PUSHED;
  if (Inactive) state |= DFCS_INACTIVE;
  TRect frame = box;
  DrawFrameControl(canvas, frame, DFC_BUTTON, state);
  const TBrushStyle brush_style = canvas.Brush().Style();
  const TColor pen_color = canvas.Pen().Color();
  canvas.Brush().SetStyle(bsClear);
  if (box_style_ == cbvFlat) {
    canvas.Pen().SetColor(clBtnShadow);
    canvas.Rectangle(box.Left, box.Top, box.Right, box.Bottom);
  }
  if (box_style_ != cbv3D) {
    canvas.Pen().SetColor(box_style_ == cbv3DSoft ? cl3DLight : clWindow);
    canvas.Rectangle(box.Left + 1, box.Top + 1, box.Right - 1, box.Bottom - 1);
  }
  canvas.Pen().SetColor(pen_color);
  canvas.Brush().SetStyle(brush_style);
  if (own_edit) {
    const AnsiString& caption = Fields.Caption();
    TRect text = Painter.TextRect;
    text.Left += left_indent;
    text.Right -= right_indent;
    const unsigned layout = Fields.Layout() == tlTop      ? DT_TOP
                            : Fields.Layout() == tlBottom ? DT_BOTTOM
                                                          : DT_VCENTER;
    ::DrawText(canvas, caption, text, DT_LEFT | DT_SINGLELINE | layout);
  }
  if (!Painter.GridMode() && Painter.Attrs && Painter.Attrs->Focused) {
    TRect focus = Rect(cell.Left + 1 + left_indent, cell.Top + 1, cell.Right - 1 - right_indent, cell.Bottom - 1);
    if (!full_focus_rect_) {
      AnsiString shown = Fields.Caption();
      shown.erase(std::remove(shown.begin(), shown.end(), '&'), shown.end());
      focus.Right = std::min(focus.Left + canvas.TextWidth(shown) + 3, content.Right);
    }
    Painter.DrawFocusRect(focus);
  }
}

void TCheckBoxVision::SwitchByKey(IvpVisionEdit& Edit, bool& Changed) { Changed = Toggle(Edit); }

void TCheckBoxVision::SwitchByMouse(IvpVisionEdit& Edit, bool& Changed) { Changed = Toggle(Edit); }

void TCheckBoxVision::CanSwitchByKey(IvpVisionEdit&, uint16_t Key, bool& Allowed, TShiftState Shift) {
  Allowed = Key == VK_SPACE && !Shift.Contains(ssShift) && !Shift.Contains(ssCtrl) && !Shift.Contains(ssAlt);
}

void TCheckBoxVision::CanSwitchAt(IvpVisionEdit&, int, bool& Allowed, TShiftState, int) { Allowed = true; }

TAlignment TCheckBoxVision::GetDefaultAlignment(TgpFieldList&) { return taCenter; }

TvpDefLayout TCheckBoxVision::GetDefaultLayout(TgpFieldList& Fields) {
  return Fields.ConsumerKind() == ckColumn ? tlaDefault : tlaCenter;
}

bool TCheckBoxVision::WantArrows() { return false; }
