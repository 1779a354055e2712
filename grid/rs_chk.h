// The check box vision: a field shown as a check box of three states and
// toggled by a click or the Space key, in a grid cell (through the in-place
// editor) or in an edit of its own, which also shows the caption.
//
// Logical fields map to checked and unchecked directly; any other field
// through value lists: ";"-separated texts that stand for each state (the
// first text of a list is what a toggle writes). A field whose text is in no
// list shows grayed.
#pragma once

#include <functional>

#include "grid/rs_std.h"

enum TcbvBoxStyle { cbv3D, cbv3DSoft, cbvMono, cbvFlat };
enum TcbvState { cbvChecked, cbvUnChecked, cbvGrayed };
const TTypeInfo& TcbvBoxStyleType();
const TTypeInfo& TcbvStateType();

// Sender, Fields, var State.
using TcbvGetStateEvent = std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, TcbvState& State)>;
// Sender, Fields, var State, var DoPost: a handler may change the new state
// or keep the field as it is.
using TcbvSetStateEvent =
    std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, TcbvState& State, bool& DoPost)>;

// The box's side in pixels, and how far a caption beside it is indented.
inline constexpr int kCheckBoxSize = 13;
inline constexpr int kCheckBoxIndent = 16;

class TCheckBoxVision : public TvpFieldVision {
  KIV7_PERSISTENT(TCheckBoxVision)

 public:
  explicit TCheckBoxVision(TComponent* owner);

  // A change of the look makes consumers repaint.
  bool FullFocusRect() const { return full_focus_rect_; }
  void SetFullFocusRect(bool value);
  TcbvBoxStyle BoxStyle() const { return box_style_; }
  void SetBoxStyle(TcbvBoxStyle value);
  const AnsiString& ValueChecked() const { return value_checked_; }
  void SetValueChecked(const AnsiString& value);
  const AnsiString& ValueUnChecked() const { return value_unchecked_; }
  void SetValueUnChecked(const AnsiString& value);
  const AnsiString& ValueGrayed() const { return value_grayed_; }
  void SetValueGrayed(const AnsiString& value);
  // A toggle passes through grayed.
  bool AllowGrayed() const { return allow_grayed_; }
  void SetAllowGrayed(bool value) { allow_grayed_ = value; }
  TcbvState ShowNullAs() const { return show_null_as_; }
  void SetShowNullAs(TcbvState value);

  TcbvGetStateEvent OnGetState;
  TcbvSetStateEvent OnSetState;

  // The state the fields show (OnGetState has the last word).
  TcbvState GetState(TgpFieldList& Fields);
  // The next state, OnSetState, the edit's value set to it and posted.
  // True when a value was posted.
  bool Toggle(IvpVisionEdit& Edit);

  // A field name and a first field that is not a blob.
  void CanShow(TgpFieldList& Fields, bool& Active) override;
  void LoadEditValue(IvpVisionEdit& Edit) override;
  void DrawContent(TgpFieldList& Fields, TfvPainter& Painter) override;
  void DrawInactive(TgpFieldList& Fields, TfvPainter& Painter) override;
  void SwitchByKey(IvpVisionEdit& Edit, bool& Changed) override;
  void SwitchByMouse(IvpVisionEdit& Edit, bool& Changed) override;
  // Only Space, without Shift, Ctrl or Alt.
  void CanSwitchByKey(IvpVisionEdit& Edit, uint16_t Key, bool& Allowed, TShiftState Shift) override;
  // Anywhere in the edit.
  void CanSwitchAt(IvpVisionEdit& Edit, int X, bool& Allowed, TShiftState Shift, int Y) override;
  TAlignment GetDefaultAlignment(TgpFieldList& Fields) override;
  // Centred in an edit of its own; the consumer's choice in a column.
  TvpDefLayout GetDefaultLayout(TgpFieldList& Fields) override;
  bool WantArrows() override;

 private:
  void DrawBox(TgpFieldList& Fields, TfvPainter& Painter, TcbvState State, bool Inactive);

  bool full_focus_rect_ = false;
  TcbvBoxStyle box_style_ = cbvFlat;
  AnsiString value_checked_;
  AnsiString value_unchecked_;
  AnsiString value_grayed_;
  bool allow_grayed_ = false;
  TcbvState show_null_as_ = cbvGrayed;
};
