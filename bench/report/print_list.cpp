// The program side of bench_report_print: builds the list template over
// kRows records (two passes, for the page count in the footer) and prints
// it to a PDF file, as one process.
//
//   print_list OUT.pdf
#include <cstdio>
#include <cstdlib>

#include "list_report.h"
#include "report/fr_print.h"
#include "toolkit/core/exceptions.h"
#include "toolkit/ui/forms.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: print_list OUT.pdf\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application->Initialize();
  try {
    PrintToPdfFiles(argv[1], [] {
      bench::ListReport list;
      list.report->Template.TwoPassBuild = true;
      if (!list.report->BuildReport()) throw Exception("the build failed");
      list.report->PrintBuiltPages("", 1, kPrintAllPages, true);
    });
  } catch (const Exception& e) {
    std::fprintf(stderr, "print_list: %s\n", AnsiToUtf8(e.Message()).c_str());
    return 1;
  }
  return 0;
}
