// Helpers of the vision tests: a consumer that records what its vision tells
// it, an edit stand-in, and small data sets (in memory and a dBASE table)
// holding text, numbers, a memo and null values.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dbf/dbf.h"
#include "grid/rs_std.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/db/memdataset.h"
#include "toolkit/ui/comctrls.h"
#include "toolkit/ui/forms.h"

namespace vision_support {

// A consumer that writes every call of its vision into Trace.
struct RecordingConsumer : IvpFieldVisionConsumer {
  explicit RecordingConsumer(TComponent* component = nullptr, TgpConsumerKind kind = ckColumn)
      : Component(component), Fields(this, kind) {}

  TComponent* GetConsumerComponent() override { return Component; }
  bool CanEditValue() override { return CanEdit; }
  bool CanStartEdit() override {
    Trace.push_back("CanStartEdit");
    return CanStart && Fields.Vision()->DoBeforeEdit(Fields);
  }
  void EditStarted() override { Trace.push_back("EditStarted"); }
  void ValuePosted() override { Trace.push_back("ValuePosted"); }
  bool UpdateCaptionAlignment() override {
    Trace.push_back("UpdateCaptionAlignment");
    return CaptionChanges;
  }
  void PopupMenuChanged() override { Trace.push_back("PopupMenuChanged"); }
  void VisionChanged(TvpFieldVision* vision) override {
    Trace.push_back("VisionChanged");
    Vision = vision;
  }
  void FieldsChanged() override { Trace.push_back("FieldsChanged"); }
  void UpdateActive() override { Trace.push_back("UpdateActive"); }
  void ViewChanged() override { Trace.push_back("ViewChanged"); }
  void ImagesChanged() override { Trace.push_back("ImagesChanged"); }
  void ButtonChanged() override { Trace.push_back("ButtonChanged"); }
  void EditStyleChanged() override { Trace.push_back("EditStyleChanged"); }

  // Resolves against data_set and lets the vision decide Active, alignment
  // and layout, as a bound column does.
  void Bind(TDataSet* data_set) {
    Fields.ResolveFields(data_set);
    bool active = data_set && data_set->QueryActive();
    TvpFieldVision* vision = Fields.Vision();
    if (active) vision->CanShow(Fields, active);
    Fields.SetActive(active);
    Fields.SetAlignment(vision->GetDefaultAlignment(Fields));
    const TvpDefLayout layout = vision->GetDefaultLayout(Fields);
    Fields.SetLayout(layout == tlaTop ? tlTop : layout == tlaBottom ? tlBottom : tlCenter);
  }

  TComponent* Component;
  std::vector<std::string> Trace;
  bool CaptionChanges = false;
  bool CanEdit = true;
  bool CanStart = true;
  TvpFieldVision* Vision = nullptr;
  TgpFieldList Fields;
};

// An edit as a vision sees it: a text, a current value and a mask verdict.
struct EditStandIn : IvpVisionEdit {
  explicit EditStandIn(RecordingConsumer& consumer) : Consumer(consumer) {}

  TgpFieldList& EditFields() override { return Consumer.Fields; }
  TfvCurrentValue& CurrentValue() override { return Value; }
  AnsiString EditText() const override { return Text; }
  void SetEditText(const AnsiString& text) override { Text = text; }
  bool HasEditMask() const override { return HasMask; }
  bool EditTextValid() const override { return MaskAccepts; }
  void CancelPendingInput() override { Trace.push_back("CancelPendingInput"); }
  void SelectAll() override { Trace.push_back("SelectAll"); }
  void ToggleDropDown(bool post) override { Trace.push_back(post ? "ToggleDropDown(post)" : "ToggleDropDown"); }
  void FillPaintSource(TvpPaintSource& source) override {
    source.HasColumn = Inplace;
    source.EditFont = &Font;
    source.EditEnabled = Enabled;
    source.EditColor = Color;
  }
  bool InplaceCellMargins(TRect& margins) override {
    margins = Margins;
    return Inplace;
  }
  TEditCharCase CharCase() const override { return Case; }
  char PasswordChar() const override { return Password; }
  void DrawEdit(TfvPainter& painter) override {
    if (OnDraw) OnDraw(painter);
  }

  RecordingConsumer& Consumer;
  TfvCurrentValue Value;
  AnsiString Text;
  bool HasMask = false;
  bool MaskAccepts = true;
  std::vector<std::string> Trace;
  // Painting: an in-place editor with the designer's margins, or an edit of
  // its own; its font, colour, case and password character.
  bool Inplace = false;
  TRect Margins;
  TFont Font;
  bool Enabled = true;
  TColor Color = clWindow;
  TEditCharCase Case = ecNormal;
  char Password = 0;
  std::function<void(TfvPainter&)> OnDraw;
};

// One row of the sample data; nullptr/NaN-free: "null" flags mark nulls.
struct Row {
  int n;
  const char* name;  // UTF-8; nullptr: null
  bool has_p;
  double p;
  const char* note;  // UTF-8; nullptr: null
};

// Rows with text, numbers, a multi-line memo and null values.
inline const std::vector<Row> kRows = {
    {1, "Иванов", true, 12.5, "первая строка\r\nвторая строка"},
    {2, nullptr, false, 0, nullptr},
    {3, "Q", true, -3.25, ""},
};

inline void FillRows(TDataSet& ds) {
  for (const Row& r : kRows) {
    ds.StartAppend();
    ds.FieldNamed("N")->SetIntegerValue(r.n);
    if (r.name) ds.FieldNamed("NAME")->SetStringValue(Utf8ToAnsi(r.name));
    if (r.has_p) ds.FieldNamed("P")->SetFloatValue(r.p);
    if (r.note) ds.FieldNamed("NOTE")->SetStringValue(Utf8ToAnsi(r.note));
    ds.CommitRecord();
  }
  ds.GoFirst();
}

// N integer, NAME text 20, P float, NOTE memo, with kRows.
inline std::unique_ptr<TMemDataSet> MemData() {
  auto ds = std::make_unique<TMemDataSet>(nullptr);
  ds->FieldDefs().AppendNamedDef("N", ftInteger);
  ds->FieldDefs().AppendNamedDef("NAME", ftString, 20);
  ds->FieldDefs().AppendNamedDef("P", ftFloat);
  ds->FieldDefs().AppendNamedDef("NOTE", ftMemo);
  ds->Activate();
  FillRows(*ds);
  return ds;
}

// The same as a dBASE IV table with a memo file, in its own folder.
inline std::unique_ptr<TDbf> DbfData(const std::string& folder) {
  auto t = std::make_unique<TDbf>(nullptr);
  t->SetTableLevel(4);
  t->SetExclusive(true);
  t->SetTableName(testsupport::TempDir(folder) + "/rows.dbf");
  t->FieldDefs().AppendNamedDef("N", ftInteger);
  t->FieldDefs().AppendNamedDef("NAME", ftString, 20);
  t->FieldDefs().AppendNamedDef("P", ftFloat);
  t->FieldDefs().AppendNamedDef("NOTE", ftMemo);
  t->CreateTableFile();
  t->Activate();
  FillRows(*t);
  return t;
}

// A list of 8 x 8 pictures, each filled with one colour.
inline void AddSquares(TImageList& list, std::initializer_list<TColor> colors) {
  list.SetWidth(8);
  list.SetHeight(8);
  for (TColor color : colors) {
    TBitmap square;
    square.SetSize(8, 8);
    square.Canvas().Brush().SetColor(color);
    square.Canvas().FillRect(Rect(0, 0, 8, 8));
    list.AddMasked(square, clNone);
  }
}

// What python3-dbfread prints running body over the table file (the rows
// are the list "rows"; the output is UTF-8).
inline std::string ReadBack(const std::string& file, const std::string& body) {
  const std::string script = file + ".py";
  testsupport::WriteFile(script,
                         "import dbfread\nrows = list(dbfread.DBF('" + file + "', encoding='cp1251'))\n" + body);
  std::string out;
  const int status =
      testsupport::RunCommand(std::string("PYTHONIOENCODING=utf-8 ") + testsupport::Python() + " " + script, &out);
  EXPECT_EQ(status, 0) << out;
  return out;
}

// A vision of class V bound through a consumer to field of ds.
template <class V>
struct VisionFixture {
  VisionFixture(TDataSet* ds, const char* field) {
    source.SetDataSet(ds);
    link.ChangeDataSource(&source);
    c.Fields.SetDataLink(&link);
    c.Fields.SetVision(&vision);
    c.Fields.SetFieldName(field);
    c.Bind(ds);
  }
  TDataSource source{nullptr};
  TDataLink link;
  V vision{nullptr};
  RecordingConsumer c;
};

}  // namespace vision_support
