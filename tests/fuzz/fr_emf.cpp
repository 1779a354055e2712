// fuzz-deps: kiv7_report
// Reads random prepared-report files into a page store that already holds a
// known page. Every input must end in pages read or in one of the engine's
// exceptions; a refused file must leave the pages held exactly as they were.
// Pages read must write a file that reads back into pages writing the same
// bytes. A crash, a hang, a sanitizer report, another exception or changed
// pages is a finding.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "report/fr_emf.h"
#include "report/fr_globals.h"
#include "report/fr_host.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_views.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/exceptions.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

std::string Written(TfrEMFPages& pages) {
  TMemoryStream out;
  pages.WriteBuiltFile(out);
  return std::string(out.Bytes());
}

void Read(TfrEMFPages& pages, const std::string& bytes) {
  TMemoryStream in;
  in.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  in.SetPosition(0);
  pages.ReadBuiltFile(in);
}

// The pages held before each input: one A4 page with a text object.
void Fill(TfrEMFPages& pages) {
  pages.Clear();
  TfrPage page(9, 2100, 2970, kPageDefaultBin, 0);
  pages.InsertPage(0, page);
  TfrMemoView memo;
  memo.Name = "Held";
  memo.SetBounds(10, 20, 100, 30);
  memo.Memo.Add("held");
  pages.AppendObject(0, memo);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    frGlobals();
    RegisterStandardViews();
    return true;
  }();
  Require(ready);
  // The objects read name themselves and measure their texts as in the
  // engine's own work.
  TfrEngineHost host;
  TfrBuildScope work(nullptr, host);

  static TfrEMFPages held(nullptr);
  Fill(held);
  const std::string before = Written(held);
  try {
    Read(held, std::string(reinterpret_cast<const char*>(data), size));
  } catch (const Exception&) {
    Require(Written(held) == before);
    return 0;
  }

  std::string first;
  try {
    first = Written(held);
  } catch (const EWriteError&) {
    return 0;  // a printer name too long for the counted form
  }
  TfrEMFPages again(nullptr);
  try {
    Read(again, first);
  } catch (const Exception&) {
    Require(false);
  }
  Require(again.Count() == held.Count());
  Require(Written(again) == first);
  return 0;
}
