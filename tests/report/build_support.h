// Building small templates in the build tests: a report on a form with a
// measurement-like table N, GRP, P in memory behind the record source
// "frDBDataSet1", band and text objects placed on its first page, and the
// built pages read back as the objects each holds.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "report/FR_DBSet.h"
#include "report/fr_band.h"
#include "report/fr_class.h"
#include "report/fr_emf.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_report.h"
#include "report/fr_utils.h"
#include "report/fr_views.h"
#include "tests/support/recording_dialogs.h"
#include "toolkit/db/memdataset.h"

namespace build_test {

// One row of the table.
struct Row {
  int n;
  std::string grp;
  double p;
};

// An object of a built page.
struct Built {
  int left = 0, top = 0, width = 0, height = 0;
  std::string text;
};
using BuiltPage = std::vector<Built>;

inline std::vector<Row> NumberedRows(int count) {
  std::vector<Row> rows;
  for (int i = 1; i <= count; ++i) rows.push_back({i, "G", static_cast<double>(i)});
  return rows;
}

class BuildFixture : public ::testing::Test {
 public:
  BuildFixture() {
    RegisterStandardViews();
    owner_.SetName("Form1");
    table_ = new TMemDataSet(&owner_);
    table_->SetName("Dbf1");
    table_->FieldDefs().AppendNamedDef("N", ftInteger);
    table_->FieldDefs().AppendNamedDef("GRP", ftString, 10);
    table_->FieldDefs().AppendNamedDef("P", ftFloat);
    source_ = new TfrDBDataSet(&owner_);
    source_->SetName("frDBDataSet1");
    source_->SetDataSet(table_);
    report_ = new TfrReport(&owner_);
    report_->SetName("frReport1");
    report_->ShowProgress = false;
    page_ = report_->Pages().Add();
    page_->LeftMargin = page_->TopMargin = page_->RightMargin = page_->BottomMargin = 50;
    limits_ = page_->ComputeLimits();
  }

  void Fill(const std::vector<Row>& rows) {
    table_->Activate();
    for (const Row& r : rows) {
      table_->StartAppend();
      table_->FieldNamed("N")->SetIntegerValue(r.n);
      table_->FieldNamed("GRP")->SetStringValue(r.grp.c_str());
      table_->FieldNamed("P")->SetFloatValue(r.p);
      table_->CommitRecord();
    }
    table_->GoFirst();
  }

  // A band object across the page.
  TfrBandView* AddBand(int type, const char* name, int top, int height, uint16_t flags = 0,
                       const char* source = "") {
    auto band = std::make_unique<TfrBandView>();
    band->FrameTyp = static_cast<uint16_t>(type);
    band->Name = name;
    band->SetBounds(0, top, 700, height);
    band->Flags = flags;
    band->FormatText = source;
    TfrBandView* raw = band.get();
    page_->Objects.push_back(std::move(band));
    return raw;
  }

  // A text object; lines are separated by "\n".
  TfrMemoView* AddText(const std::string& text, int left, int top, int width = 120, int height = 20,
                       uint16_t flags = 0) {
    auto memo = std::make_unique<TfrMemoView>();
    memo->Name = "Memo" + std::to_string(page_->Objects.size() + 1);
    memo->SetBounds(left, top, width, height);
    memo->Flags = flags;
    size_t start = 0;
    while (true) {
      const size_t end = text.find('\n', start);
      memo->Memo.Add(text.substr(start, end == std::string::npos ? std::string::npos : end - start).c_str());
      if (end == std::string::npos) break;
      start = end + 1;
    }
    TfrMemoView* raw = memo.get();
    page_->Objects.push_back(std::move(memo));
    return raw;
  }

  // Builds the report; true when the build succeeded.
  bool Build() {
    dialogs_ = std::make_unique<testsupport::RecordingDialogs>();
    return report_->BuildReport();
  }

  // The objects of every built page, in the order they were printed.
  std::vector<BuiltPage> Pages() {
    std::vector<BuiltPage> pages;
    TfrEMFPages* built = report_->EMFPages();
    for (int i = 0; i < built->Count(); ++i) {
      built->ObjectsToPage(i);
      BuiltPage page;
      for (const auto& object : built->Pages(i).Page->Objects) {
        Built b{object->Left, object->Top, object->Width, object->Height, {}};
        for (int line = 0; line < object->Memo.Count(); ++line) {
          std::string text = object->Memo.Strings(line).c_str();
          text.erase(std::remove(text.begin(), text.end(), kLineEndMark), text.end());
          if (line > 0) b.text += "\n";
          b.text += text;
        }
        page.push_back(b);
      }
      pages.push_back(page);
    }
    return pages;
  }

  // The texts of all of a page's objects, in the order they were printed.
  static std::vector<std::string> AllTexts(const BuiltPage& page) {
    std::vector<std::string> texts;
    for (const Built& b : page) texts.push_back(b.text);
    return texts;
  }
  // The texts of a page's objects that start with `prefix`, prefix removed.
  static std::vector<std::string> Texts(const BuiltPage& page, const std::string& prefix) {
    std::vector<std::string> texts;
    for (const Built& b : page)
      if (b.text.rfind(prefix, 0) == 0) texts.push_back(b.text.substr(prefix.size()));
    return texts;
  }
  static std::vector<const Built*> Objects(const BuiltPage& page, const std::string& prefix) {
    std::vector<const Built*> found;
    for (const Built& b : page)
      if (b.text.rfind(prefix, 0) == 0) found.push_back(&b);
    return found;
  }

  TComponent owner_{nullptr};
  TMemDataSet* table_ = nullptr;
  TfrDBDataSet* source_ = nullptr;
  TfrReport* report_ = nullptr;
  // Valid until the build: the report reloads its template afterwards.
  TfrPage* page_ = nullptr;
  TfrPageLimits limits_;
  std::unique_ptr<testsupport::RecordingDialogs> dialogs_;
};

// A second report inside one test, for a table of cases.
class Scenario : public BuildFixture {
 public:
  void TestBody() override {}
};

}  // namespace build_test
