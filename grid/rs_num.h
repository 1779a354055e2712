// The numeric vision: a numeric field shown through a display format, edited
// through an edit format, typed text checked as a number within an optional
// range, spin buttons that step the value, and the calculator drop-down.
//
// The consumer's own formats (a column's or an edit's DisplayFormat and
// EditFormat) win over the vision's. A range is in force when MinValue or
// MaxValue is not 0; a number outside it is refused when it is posted, with a
// message that names the text and the bounds, and nothing reaches the field.
#pragma once

#include <functional>

#include "grid/rs_std.h"
#include "grid/rs_toolform.h"

class TvpCalcEngine;

// What the vision drops down: a tool form of the user's (DropDown) or the
// preset pack's calculator.
enum TvfNumericDropDownKind { ndkCustom, ndkCalculator };
const TTypeInfo& TvfNumericDropDownKindType();

// Sender, Fields, var Value, var IsNull: the number of a consumer without a field.
using TfvGetExtValueEvent =
    std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, double& Value, bool& IsNull)>;

class TNumericVision : public TToolFormVision {
  KIV7_PERSISTENT(TNumericVision)

 public:
  explicit TNumericVision(TComponent* owner);

  // A change makes consumers repaint.
  const AnsiString& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(const AnsiString& value);
  const AnsiString& EditFormat() const { return edit_format_; }
  void SetEditFormat(const AnsiString& value) { edit_format_ = value; }
  // An empty text posts a null (True) or is refused (False).
  bool Nullable() const { return nullable_; }
  void SetNullable(bool value) { nullable_ = value; }
  // Both 0: no range.
  double MinValue() const { return min_value_; }
  void SetMinValue(double value) { min_value_ = value; }
  double MaxValue() const { return max_value_; }
  void SetMaxValue(double value) { max_value_ = value; }
  bool HasRange() const { return min_value_ != 0 || max_value_ != 0; }
  // What one spin click adds or takes away.
  double Step() const { return step_; }
  void SetStep(double value) { step_ = value; }
  TvfNumericDropDownKind DropDownKind() const { return drop_down_kind_; }
  void SetDropDownKind(TvfNumericDropDownKind value) { drop_down_kind_ = value; }
  // Choosing another tool form makes the drop-down the user's again.
  void SetDropDown(TVisionToolForm* value);

  TfvGetExtValueEvent OnGetValue;

  // The number as the consumer shows it (DisplayText) or edits it. A format
  // (the consumer's, else the vision's) decides when there is one; without a
  // format a field gives its own text (UseFieldText) or the run-time
  // library's text at the field's precision, and a consumer without a field
  // the shortest text that gives the number back.
  AnsiString FormatNumber(TgpFieldList& Fields, bool DisplayText, double Value, bool UseFieldText);
  // The text typed into an edit as a number: a blank text is null (when
  // Nullable; else refused), text that is no number or a number out of
  // range raises ERSError saying why. IsNull tells the blank case.
  double ParseNumber(const AnsiString& Text, bool& IsNull);
  // One spin step from x: Up adds Step, else takes it away, keeping inside a
  // range in force as the spin buttons do. False when x stays as it is.
  bool StepNumber(double& x, bool Up) const;

  // Active := a field name and a first field that is absent or numeric.
  void CanShow(TgpFieldList& Fields, bool& Active) override;
  void GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) override;
  void ValueToText(TgpFieldList& Fields, const TvpUniValue& Value, AnsiString& Text) override;
  void TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool& Skip) override;
  // OnButtonClick, then the spin step of a spin button.
  void ButtonClick(IvpVisionEdit& Edit) override;
  // The edit's value: a float copied from the field (or OnGetValue).
  void LoadEditValue(IvpVisionEdit& Edit) override;
  TAlignment GetDefaultAlignment(TgpFieldList& Fields) override;
  // The edit text, so that incremental search matches what the user types.
  void GetSearchText(TgpFieldList& Fields, AnsiString& Text) override;
  // The calculator for ndkCalculator, else the inherited rule.
  TVisionToolForm* GetDropDown() override;

  // The calculator drop-down every numeric vision of kind ndkCalculator
  // shares, made on first use.
  static TVisionToolForm* Calculator();
  // Presses the calculator's button of a TvpCalcKey code, as a click does.
  static void PressCalculatorKey(int code);

 private:
  // The first field's number, or OnGetValue's without a field.
  double FieldsNumber(TgpFieldList& Fields, bool& IsNull);

  AnsiString display_format_;
  AnsiString edit_format_;
  bool nullable_ = true;
  double min_value_ = 0;
  double max_value_ = 0;
  double step_ = 1;
  TvfNumericDropDownKind drop_down_kind_ = ndkCustom;
};

// Frees the shared calculator (at shut-down).
void FreeNumericDefaults();
