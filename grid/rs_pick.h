// The pick-list visions: a value chosen from a list shown in a drop-down
// grid, completed while it is typed.
//
// TDataListVision is the base: it matches the typed text against the list's
// key field and takes the matching entry's key as the edit's value.
// TStandardVision is the list of its own strings (PickList), shown to the
// drop-down grid as the rows of a private data set with one field "Value";
// it can keep the list sorted and the most recently used entries first.
#pragma once

#include <functional>
#include <memory>

#include "grid/rs_std.h"
#include "grid/rs_toolform.h"
#include "toolkit/core/classes.h"

class TObjDataSet;
class TStandardVision;

class TDataListVision : public TToolFormVision {
  KIV7_PERSISTENT(TDataListVision)

 public:
  explicit TDataListVision(TComponent* owner);

  bool Nullable() const { return nullable_; }
  void SetNullable(bool value) { nullable_ = value; }
  // A typed character that no list entry continues is refused.
  bool PickListValuesOnly() const { return values_only_; }
  void SetPickListValuesOnly(bool value) { values_only_ = value; }
  // ERSError "Value must be positive (%d)" for 0 or less.
  int DropDownRows() const { return drop_down_rows_; }
  void SetDropDownRows(int value);

  // The key field of the list's data set.
  virtual void GetKeyFieldName(TgpFieldList& Fields, AnsiString& Name);
  virtual TDataSource* GetListDataSource(TgpFieldList& Fields);
  // Mode 0: the edit's value takes the list's current key; 1: it becomes null.
  virtual void TakeListValue(IvpVisionEdit& Edit, int Mode);

  using TToolFormVision::GetListSource;
  TDataSource* GetListSource(TgpFieldList& Fields) override;
  bool AcceptTypedText(IvpVisionEdit& Edit, AnsiString& Text, int& SelEnd, int& SelStart,
                       const AnsiString& OldText) override;

 private:
  void ListCurrentChanged();

  bool nullable_ = true;
  bool values_only_ = true;
  int drop_down_rows_ = 7;
};

enum TfvPickListType { pltDefault, pltSorted, pltMRU, pltSortedMRU };
const TTypeInfo& TfvPickListTypeType();

// The strings of a standard vision: a list that knows its vision.
class TgpPickList : public TStringList {
 public:
  explicit TgpPickList(TStandardVision* vision) : vision_(vision) {}
  TStandardVision* Vision() const { return vision_; }

 private:
  TStandardVision* vision_;
};

// Sender, Fields, var Value, var DoSkip: a typed text about to become the value.
using TfvStdNewValueEvent =
    std::function<void(TvpFieldVision* Sender, TgpFieldList& Fields, AnsiString& Value, bool& DoSkip)>;

class TStandardVision : public TDataListVision {
  KIV7_PERSISTENT(TStandardVision)

 public:
  explicit TStandardVision(TComponent* owner);
  ~TStandardVision() override;

  TStrings* PickList() const { return pick_list_.get(); }
  // Copies the strings (sorting them for a sorted type).
  void SetPickList(const TStrings* value);
  TfvPickListType PickListType() const { return pick_list_type_; }
  void SetPickListType(TfvPickListType value);
  bool SkipCharValidation() const { return skip_char_validation_; }
  void SetSkipCharValidation(bool value) { skip_char_validation_ = value; }

  TfvGetStrValueEvent OnGetValue;
  TfvStdNewValueEvent OnNewValue;

  // The private object data set over PickList the list shows through (open
  // while an edit edits).
  TDataSet* ListDataSet() const;
  // Rereads the list's rows from PickList.
  void RefreshList();

  void CanShow(TgpFieldList& Fields, bool& Active) override;
  void GetText(TgpFieldList& Fields, bool DisplayText, AnsiString& Text) override;
  void GetEditMask(TgpFieldList& Fields, AnsiString& Mask) override;
  bool IsValidChar(TgpFieldList& Fields, char Ch) override;
  void InitEdit(IvpVisionEdit& Edit) override;
  void TextToValue(IvpVisionEdit& Edit, TvpUniValue& Value, bool& Skip) override;
  bool PostValue(TgpFieldList& Fields, const TvpUniValue& Value) override;
  void GetKeyFieldName(TgpFieldList& Fields, AnsiString& Name) override;
  TDataSource* GetListDataSource(TgpFieldList& Fields) override;
  void TakeListValue(IvpVisionEdit& Edit, int Mode) override;
  TVisionToolForm* GetDefaultDropDown() override;
  void Assign(const TPersistent* source) override;

  // The data list drop-down every list vision shares, made on first use.
  static TVisionToolForm* DataListForm();

 private:
  void EnsureListSource();

  std::unique_ptr<TgpPickList> pick_list_;
  TfvPickListType pick_list_type_ = pltDefault;
  bool skip_char_validation_ = false;
  std::unique_ptr<TObjDataSet> list_data_set_;
  std::unique_ptr<TDataSource> list_source_;
};

// The data list drop-down: a grid without titles over the list source of the
// vision that drops it down; the focus stays in the edit.
class TvpDataListForm : public TVisionToolForm {
 public:
  // Owned by the application, so that it goes before the windowing does.
  TvpDataListForm();
  ~TvpDataListForm() override;

  void Show(IVisionToolFormUser* User, TDBProdiEdit* Edit) override;
  TDBGridPro* ListGrid() const { return DataGrid(); }
  // Rows the list shows now.
  int ShownRows() const;

 private:
  int Frame() const;
  int RecordCount() const;
  void Pick();
  void Closed();

  TDataListVision* vision_ = nullptr;
};

// Frees the shared data list drop-down (at shut-down).
void FreePickDefaults();
