// fuzz-deps: kiv7_report
// Reads random template streams into a template that already holds a known
// one. Every input must end in a loaded template, in EfrFormatError or in
// EClassNotFound; a refused stream must leave the held template exactly as it
// was. A loaded template must write a stream that reads back into a template
// writing the same bytes. A crash, a hang, a sanitizer report, another
// exception or a changed template is a finding.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "report/fr_class.h"
#include "report/fr_globals.h"
#include "report/fr_page.h"
#include "report/fr_tmpl.h"
#include "report/fr_views.h"
#include "tests/report/class_support.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/core/sysutils.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

std::string Saved(TfrTemplate& t) {
  TMemoryStream out;
  t.SaveToStream(out);
  return std::string(out.Bytes());
}

// The template held before each input: a page with a band and a text object.
void Fill(TfrTemplate& t) {
  t.Pages.Clear();
  TfrPage* page = t.Pages.Add();
  std::unique_ptr<TfrView> band = CreateViewByType(gtBand, "");
  band->FrameTyp = btMasterData;
  band->SetBounds(0, 40, 700, 20);
  page->Objects.push_back(std::move(band));
  std::unique_ptr<TfrView> memo = CreateViewByType(gtMemo, "");
  memo->Name = "Held";
  memo->Memo.Add("[Dbf1.\"N\"]");
  page->Objects.push_back(std::move(memo));
  t.Dictionary.Clear();
  t.Dictionary.VariableTable.AssignVariable(" Held", "");
  t.Info.Comment = "held";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    SetNowSource([] { return 46000.0; });
    frGlobals();
    RegisterStandardViews();
    return RegisterAddInViewClass(
        "TfrTestAddIn", [] { return std::unique_ptr<TfrView>(std::make_unique<class_test::TestAddIn>()); });
  }();
  Require(ready);

  static TfrTemplate held;
  Fill(held);
  const std::string before = Saved(held);

  TMemoryStream in;
  in.WriteBuffer(data, static_cast<int64_t>(size));
  in.SetPosition(0);
  try {
    held.LoadFromStream(in);
  } catch (const EfrFormatError&) {
    Require(Saved(held) == before);
    return 0;
  } catch (const EClassNotFound&) {
    return 0;  // the pages read are kept, as the user is told
  }

  // Texts too long for the counted form cannot be written; the writer says so.
  std::string first;
  try {
    first = Saved(held);
  } catch (const EWriteError&) {
    return 0;
  }
  TfrTemplate again;
  TMemoryStream back;
  back.WriteBuffer(first.data(), static_cast<int64_t>(first.size()));
  back.SetPosition(0);
  try {
    again.LoadFromStream(back);
  } catch (const Exception&) {
    Require(false);
  }
  Require(Saved(again) == first);
  Require(again.Pages.Count() == held.Pages.Count());
  return 0;
}
