// The list template of the report benchmarks: a title, a page header, one
// row of four framed fields per record and a page footer with "Стр. [PAGE#]
// из [TOTALPAGES]", over kRows records of an in-memory table.
#pragma once

#include <memory>

#include "report/FR_DBSet.h"
#include "report/fr_emf.h"
#include "report/fr_globals.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_report.h"
#include "report/fr_views.h"
#include "toolkit/core/text.h"
#include "toolkit/db/memdataset.h"

namespace bench {

constexpr int kRows = 10000;

inline void AddView(TfrPage& page, uint8_t type, int left, int top, int width, int height, const char* text,
             int band_type = -1, const char* source = "") {
  std::unique_ptr<TfrView> view = CreateViewByType(type, "");
  view->SetBounds(left, top, width, height);
  if (band_type >= 0) {
    view->FrameTyp = static_cast<uint16_t>(band_type);
    view->FormatText = source;
  } else {
    view->Memo.Add(Utf8ToAnsi(text));
    view->FrameTyp = frbLeft | frbTop | frbRight | frbBottom;
  }
  view->CreateUniqueName();
  page.Objects.push_back(std::move(view));
}

// The table, the record source and the report of one benchmark.
struct ListReport {
  ListReport() {
    frGlobals();
    RegisterStandardViews();
    auto* table = new TMemDataSet(&owner);
    table->SetName("Dbf1");
    table->FieldDefs().AppendNamedDef("N", ftInteger);
    table->FieldDefs().AppendNamedDef("DATE", ftString, 10);
    table->FieldDefs().AppendNamedDef("P", ftFloat);
    table->FieldDefs().AppendNamedDef("COMMENT", ftString, 100);
    table->Activate();
    for (int i = 1; i <= kRows; ++i) {
      table->StartAppend();
      table->FieldNamed("N")->SetIntegerValue(i);
      table->FieldNamed("DATE")->SetStringValue("05.03.2024");
      table->FieldNamed("P")->SetFloatValue(i * 0.25);
      table->FieldNamed("COMMENT")->SetStringValue(Utf8ToAnsi("образец " + std::to_string(i)));
      table->CommitRecord();
    }
    auto* source = new TfrDBDataSet(&owner);
    source->SetName("frDBDataSet1");
    source->SetDataSet(table);
    report = new TfrReport(&owner);
    report->ShowProgress = false;
    TfrPage& page = *report->Pages().Add();
    const int width = page.Metrics.PageWidth;
    AddView(page, gtBand, 0, 20, width, 40, "", btReportTitle);
    AddView(page, gtMemo, 20, 20, 600, 40, "Протокол испытаний");
    AddView(page, gtBand, 0, 80, width, 24, "", btPageHeader);
    const char* heads[] = {"N", "Дата", "P, кН", "Примечание"};
    const char* fields[] = {"[Dbf1.\"N\"]", "[Dbf1.\"DATE\"]", "[Dbf1.\"P\"]", "[Dbf1.\"COMMENT\"]"};
    for (int i = 0; i < 4; ++i) AddView(page, gtMemo, 20 + i * 160, 80, 160, 24, heads[i]);
    AddView(page, gtBand, 0, 124, width, 20, "", btMasterData, "frDBDataSet1");
    for (int i = 0; i < 4; ++i) AddView(page, gtMemo, 20 + i * 160, 124, 160, 20, fields[i]);
    const int footer = page.Metrics.PageHeight - 80;
    AddView(page, gtBand, 0, footer, width, 24, "", btPageFooter);
    AddView(page, gtMemo, 20, footer, 600, 24, "Стр. [PAGE#] из [TOTALPAGES]");
  }

  TComponent owner{nullptr};
  TfrReport* report = nullptr;
};

}  // namespace bench
