// reptool printers: the printers the report engine offers, each with its paper
// sizes, as tab-separated lines:
//
//   printer <TAB> INDEX <TAB> NAME [<TAB> current]
//   paper <TAB> CODE <TAB> WIDTHxHEIGHT <TAB> NAME      (tenths of a millimetre)
//
// The system's printers come first (CUPS, or the PDF printer when
// KIV7_PRINT_TO_PDF names a folder), the virtual printer last. A printer whose
// driver does not answer is listed as "printer <TAB> INDEX <TAB> NAME <TAB>
// unavailable" without papers.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "report/fr_prntr.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/printers.h"
#include "tools/reptool/reptool.h"

namespace {

void PrintPaper(int code, int width, int height, const AnsiString& name) {
  std::printf("paper\t%d\t%dx%d\t%s\n", code, width, height, AnsiToUtf8(name).c_str());
}

}  // namespace

int PrintersCommand(const ReptoolArgs& args) {
  if (!args.empty()) {
    std::fprintf(stderr, "usage: reptool printers\n");
    return 2;
  }
  // Printers are listed without a window: no display is needed.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TfrPrinter& layer = GlobalPrinterLayer();
  const int current = layer.PrinterIndex();
  for (int i = 0; i < layer.Printers.Count(); ++i) {
    const std::string name = AnsiToUtf8(layer.Printers.Strings(i));
    layer.SetPrinterIndex(i);
    if (layer.PrinterIndex() != i) {
      std::printf("printer\t%d\t%s\tunavailable\n", i, name.c_str());
      continue;
    }
    std::printf("printer\t%d\t%s%s\n", i, name.c_str(), i == current ? "\tcurrent" : "");
    if (layer.IsVirtual()) {
      for (int k = 0; k < layer.PaperCount; ++k) {
        const TfrPaperInfo* paper = FindPaper(layer.PaperCodes[static_cast<size_t>(k)]);
        PrintPaper(paper->Code, paper->Width, paper->Height, layer.PaperNames.Strings(k));
      }
    } else {
      // The layer keeps codes and names; the sides come from the driver.
      const std::vector<TPrinterPaper> papers = layer.Printer()->Papers();
      for (int k = 0; k < layer.PaperCount && k < static_cast<int>(papers.size()); ++k) {
        const TPrinterPaper& paper = papers[static_cast<size_t>(k)];
        PrintPaper(paper.Code, paper.Width, paper.Height, layer.PaperNames.Strings(k));
      }
    }
  }
  layer.SetPrinterIndex(current);
  return 0;
}
