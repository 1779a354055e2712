// Built pages made by hand for the preview tests: A4 pages of the virtual
// printer, each with the text objects a test asks for, held by a report.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "report/fr_emf.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_preview.h"
#include "report/fr_prntr.h"
#include "report/fr_report.h"
#include "report/fr_views.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"

namespace preview_test {

// One text object of a built page, in page pixels; the text is UTF-8.
struct Text {
  int left, top, width, height;
  std::string text;
  int size = 10;
};

// Points the settings store at a file of the test's own.
class ScopedSettings {
 public:
  explicit ScopedSettings(const std::string& name) {
    const char* old = std::getenv("KIV7_SETTINGS");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("KIV7_SETTINGS", (testsupport::TempDir(name) + "/kiv7.ini").c_str(), 1);
  }
  ~ScopedSettings() {
    if (had_) setenv("KIV7_SETTINGS", old_.c_str(), 1);
    else unsetenv("KIV7_SETTINGS");
  }

 private:
  bool had_ = false;
  std::string old_;
};

// Appends a page with these texts to the store.
inline void AddPage(TfrEMFPages& pages, const std::vector<Text>& texts, uint8_t orientation = 0) {
  RegisterStandardViews();
  TfrPage paper(kDefaultPaperSize, 0, 0, kDefaultBin, orientation);
  pages.InsertPage(pages.Count(), paper);
  for (const Text& t : texts) {
    TfrMemoView memo;
    memo.SetBounds(t.left, t.top, t.width, t.height);
    memo.Font.SetName("Arial");
    memo.Font.SetSize(t.size);
    memo.Memo.Add(Utf8ToAnsi(t.text));
    memo.ExpandedMemo.Add(Utf8ToAnsi(t.text));
    pages.AppendObject(pages.Count() - 1, memo);
  }
}

// `count` pages; page k (1-based) says "Страница k" near its top left.
inline void AddNumberedPages(TfrEMFPages& pages, int count) {
  for (int k = 1; k <= count; ++k)
    AddPage(pages, {{60, 60, 300, 30, "Страница " + std::to_string(k)}});
}

}  // namespace preview_test
