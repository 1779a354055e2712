// Helpers of the report component tests: a guard that puts the engine's
// process-wide state and hooks back after each test, and small template
// builders.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "report/fr_band.h"
#include "report/fr_class.h"
#include "report/fr_funcs.h"
#include "report/fr_globals.h"
#include "report/fr_intrp.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_report.h"
#include "report/fr_utils.h"
#include "report/fr_value.h"
#include "report/fr_view.h"
#include "report/fr_views.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace report_test {

// Restores the engine state and every hook a build installs; the test's own
// work runs in a context of its own.
class ReportGuard {
 public:
  ReportGuard() : engine_(frEngine()) { RegisterStandardViews(); }
  ~ReportGuard() {
    frEngine() = engine_;
    frViewServices() = TfrViewServices();
    frDrawServices() = TfrDrawServices();
    frScriptServices() = TfrScriptServices();
    frAggregateServices() = TfrAggregateServices();
    frValueState() = TfrValueState();
    frErrorState() = TfrErrorState();
    frDefaultDataSetLookup() = nullptr;
    frTemplatePageLookup() = nullptr;
    FreeGlobals();
  }
  ReportGuard(const ReportGuard&) = delete;
  ReportGuard& operator=(const ReportGuard&) = delete;

 private:
  TfrEngineState engine_;
  TfrBuildScope scope_{nullptr};
};

inline TfrView* AddObject(TfrPage& page, uint8_t type_code, int left, int top, int width, int height,
                          const char* name, const char* text = nullptr) {
  std::unique_ptr<TfrView> view = CreateViewByType(type_code, "");
  view->SetBounds(left, top, width, height);
  view->Name = name;
  if (text != nullptr) view->Memo.Add(Utf8ToAnsi(text));
  TfrView* raw = view.get();
  page.Objects.push_back(std::move(view));
  return raw;
}

// A band object of a type, spanning the page's width.
inline TfrView* AddBand(TfrPage& page, int band_type, int top, int height, const char* name,
                        const char* source = nullptr) {
  TfrView* band = AddObject(page, gtBand, 0, top, page.Metrics.PageWidth, height, name);
  band->FrameTyp = static_cast<uint16_t>(band_type);
  if (source != nullptr) band->FormatText = source;
  return band;
}

}  // namespace report_test
