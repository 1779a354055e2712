// Helpers of the report component tests: the work a test runs in, and small
// template builders.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "report/fr_band.h"
#include "tests/report/class_support.h"
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

// A report test's work (class_test::TestWork) with the standard views
// registered.
class ReportWork : public class_test::TestWork {
 public:
  ReportWork() { RegisterStandardViews(); }
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
