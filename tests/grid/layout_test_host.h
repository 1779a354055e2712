// A grid stand-in for column and layout tests: it owns a column collection,
// lays it out as the grid does on every change, and records what the
// columns ask of it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "grid/rs.h"

struct LayoutHost : IgpColumnsHost {
  TgpColumns Columns{this};
  TgpColumnMetrics Metrics;
  bool Loading = false;
  bool ReadOnlyGrid = false;
  int Counter = -1;
  int Current = -1;
  int Rows = 3;
  bool Mapper = false;
  TLayout VertAlign = tlCenter;
  // The mapper's entry: a caption (and no vision) for every field.
  AnsiString MapperCaption = "Mapped";
  int Layouts = 0;
  int Freezes = 0;
  int Unfreezes = 0;
  std::vector<int> InvalidatedColumns;
  int TitleInvalidations = 0;
  int FullInvalidations = 0;
  // What RecalcMetrics answers (whether a height changed).
  bool MetricsChange = false;
  std::vector<TgpColumn*> TitleStateChanges;

  LayoutHost() = default;
  explicit LayoutHost(int available_width) { Columns.SetAvailableWidth(available_width); }

  TDBGridPro* HostGrid() override { return nullptr; }
  TComponent* HostComponent() override { return nullptr; }
  bool HostLoading() const override { return Loading; }
  TgpColumnMetrics HostMetrics() const override { return Metrics; }
  void LayoutChanged() override {
    ++Layouts;
    Columns.RecomputeGroups();
    Columns.RecomputeWidths();
    Columns.RebuildSelectable();
    Columns.Refit();
  }
  void FreezeGrid() override { ++Freezes; }
  void UnfreezeGrid(bool) override { ++Unfreezes; }
  void UpdateHScrollBar(bool) override {}
  void InvalidateColumn(int Index) override { InvalidatedColumns.push_back(Index); }
  void InvalidateTitles() override { ++TitleInvalidations; }
  void InvalidateAll() override { ++FullInvalidations; }
  bool RecalcMetrics() override { return MetricsChange; }
  int CurrentColumnIndex() const override { return Current; }
  void SelectColumn(int Index) override { Current = Index; }
  int SortCounter() const override { return Counter; }
  void SetSortCounter(int Value) override { Counter = Value; }
  void DoTitleStateChange(TgpColumn* Column) override { TitleStateChanges.push_back(Column); }
  int RowCount() const override { return Rows; }
  int TitleTextHeight() override { return 16; }
  int TitleImageHeight() const override { return 0; }
  bool LinkActive() const override { return false; }
  TDataSet* HostDataSet() const override { return nullptr; }
  TDataLink* HostDataLink() override { return nullptr; }
  bool HostReadOnly() const override { return ReadOnlyGrid; }
  AnsiString HostAttrs() const override { return ""; }
  TLayout HostVertAlignment() const override { return VertAlign; }
  bool DoBeforeFieldEdit(TgpColumn*) override { return true; }
  void ColumnValuePosted(TgpColumn*) override {}
  bool CanUseCurrentRecord(bool) override { return true; }
  bool ShowEditor(TgpColumn*) override { return false; }
  bool HasMapper() const override { return Mapper; }
  bool MapperEntry(TgpFieldList*, TvpFieldVision*& Vision, AnsiString& Caption) override {
    Vision = nullptr;
    Caption = MapperCaption;
    return true;
  }

  // A column with a field name, layout position and width; hidden unless visible.
  TgpColumn* Add(const AnsiString& field, int level, int index, int width, bool visible = true) {
    Columns.BeginUpdate();
    TgpColumn* c = Columns.Add();
    c->SetFieldName(field);
    c->SetLayoutLevel(level);
    c->SetLayoutIndex(index);
    c->SetWidth(width);
    c->SetVisible(visible);
    Columns.EndUpdate();
    return c;
  }
  TgpColumn* Column(int i) const { return Columns.Items(i); }
  std::vector<int> Widths() const {
    std::vector<int> w;
    for (int i = 0; i < Columns.Count(); ++i) w.push_back(Column(i)->Width());
    return w;
  }
  std::vector<std::string> Fields() const {
    std::vector<std::string> names;
    for (int i = 0; i < Columns.Count(); ++i) names.push_back(Column(i)->FieldName());
    return names;
  }
  // (LayoutLevel, LayoutIndex) of every column.
  std::vector<std::pair<int, int>> Positions() const {
    std::vector<std::pair<int, int>> p;
    for (int i = 0; i < Columns.Count(); ++i) p.emplace_back(Column(i)->LayoutLevel(), Column(i)->LayoutIndex());
    return p;
  }
};
