// The preview window, offscreen, on measurement-list pages made by hand (a
// title and 45 rows of seven columns, 316 text objects a page): painting one
// page at 100 % in a 1280x1024 window, and searching 500 such pages for a
// text that only the last one holds. Milliseconds per operation.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWidget>

#include <cstdlib>
#include <memory>
#include <string>

#include "bench/common/gui_main.h"
#include "report/fr_emf.h"
#include "report/fr_globals.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_preview.h"
#include "report/fr_prntr.h"
#include "report/fr_report.h"
#include "report/fr_views.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/forms.h"

namespace {

constexpr int kRows = 45;
constexpr int kColumns = 7;
constexpr int kSearchPages = 500;

void AddText(TfrEMFPages& pages, int index, int left, int top, int width, int height, const AnsiString& text) {
  TfrMemoView memo;
  memo.SetBounds(left, top, width, height);
  memo.Font.SetName("Arial");
  memo.Font.SetSize(8);
  memo.FrameTyp = frbLeft | frbTop | frbRight | frbBottom;
  memo.Memo.Add(text);
  memo.ExpandedMemo.Add(text);
  pages.AppendObject(index, memo);
}

// One page of a measurement list; `number` goes into the texts.
void AddListPage(TfrEMFPages& pages, int number, const AnsiString& comment) {
  TfrPage paper(kDefaultPaperSize, 0, 0, kDefaultBin, 0);
  pages.InsertPage(pages.Count(), paper);
  const int index = pages.Count() - 1;
  AddText(pages, index, 40, 30, 680, 30, Utf8ToAnsi("Протокол испытаний, лист ") + std::to_string(number));
  for (int row = 0; row < kRows; ++row) {
    const int n = number * kRows + row;
    const int top = 80 + row * 20;
    const AnsiString cells[kColumns] = {std::to_string(n), "01.02.2024", "10:11:12", std::to_string(1000 + n % 977),
                                        std::to_string(n % 300) + ",5", Utf8ToAnsi("Завод ") + std::to_string(n % 50),
                                        row == kRows - 1 ? comment : Utf8ToAnsi("без замечаний")};
    for (int c = 0; c < kColumns; ++c) AddText(pages, index, 40 + c * 97, top, 97, 20, cells[c]);
  }
}

struct Fixture {
  TfrReport report{nullptr};
  std::unique_ptr<TfrPreviewForm> form;

  explicit Fixture(int page_count) {
    frGlobals();
    RegisterStandardViews();
    report.ModalPreview = false;
    for (int i = 0; i < page_count; ++i)
      AddListPage(*report.EMFPages(), i + 1,
                  i == page_count - 1 ? Utf8ToAnsi("трещина в образце") : Utf8ToAnsi("образец цел"));
    frLastZoom() = TfrLastZoom{};
    form = std::make_unique<TfrPreviewForm>(nullptr);
    form->SetWindowState(wsNormal);
    form->SetBounds(0, 0, 1280, 1024);
    form->ShowPages(&report);
    QApplication::processEvents();
  }
};

void BM_DrawPage(benchmark::State& state) {
  Fixture f(1);
  QWidget* box = f.form->PBox->Widget();
  for (auto _ : state) box->repaint();
  state.counters["objects"] = 1 + kRows * kColumns;
}
BENCHMARK(BM_DrawPage)->Unit(benchmark::kMillisecond);

void BM_Search500Pages(benchmark::State& state) {
  Fixture f(kSearchPages);
  const AnsiString text = Utf8ToAnsi("ТРЕЩИНА");
  for (auto _ : state) {
    f.form->StartSearch(text, false, true);
    if (f.form->CurrentPage() != kSearchPages) state.SkipWithError("the text was not found on the last page");
  }
  state.counters["pages"] = kSearchPages;
}
BENCHMARK(BM_Search500Pages)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return bench::RunGuiBenchmarks(argc, argv); }
