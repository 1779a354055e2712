// reptool print: prints a prepared report through the report engine's printing
// onto a PDF printer.
//
//   print FILE.frp --pdf OUT.pdf [--pages LIST] [--copies N] [--collate]
//
// LIST is a page list as the print dialog takes it ("1,3,5-7", "8-"); copies
// are 1 to 9999, page after page unless --collate, which puts the copies one
// after the other into the file. Every print job becomes one PDF: the
// first is OUT.pdf, and when the paper changes between pages the jobs that
// follow are OUT-2.pdf, OUT-3.pdf, ... Each file written is printed on a line
// of its own. A page list or copies count the print dialog would refuse is
// refused with its message (exit status 2).
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "report/fr_emf.h"
#include "report/fr_prdlg.h"
#include "report/fr_print.h"
#include "report/fr_report.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "tools/reptool/reptool.h"

namespace {

constexpr int kMaxCopies = 9999;

int PrintJobUsage() {
  std::fprintf(stderr, "usage: reptool print FILE.frp --pdf OUT.pdf [--pages LIST] [--copies N] [--collate]\n");
  return 2;
}

int Refuse(const std::string& message) {
  std::fprintf(stderr, "reptool: %s\n", message.c_str());
  return 2;
}

// A request the print dialog would refuse (its message in UTF-8).
struct ERefused {
  std::string message;
};

}  // namespace

int PrintCommand(const ReptoolArgs& args) {
  if (args.empty()) return PrintJobUsage();
  const std::string frp = args[0];
  std::string pdf, pages;
  std::string copies_text = "1";
  bool collate = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    if (a == "--pdf" && has_value) {
      pdf = args[++i];
    } else if (a == "--pages" && has_value) {
      pages = args[++i];
    } else if (a == "--copies" && has_value) {
      copies_text = args[++i];
    } else if (a == "--collate") {
      collate = true;
    } else {
      return PrintJobUsage();
    }
  }
  if (pdf.empty()) return PrintJobUsage();
  int copies = 0;
  if (!TryStrToInt(copies_text, copies) || copies < 1 || copies > kMaxCopies)
    return Refuse("copies must be a number from 1 to " + std::to_string(kMaxCopies) + ": \"" + copies_text + "\"");

  // Printing needs no window: no display is needed.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::vector<std::string> files;
  try {
    files = PrintToPdfFiles(pdf, [&] {
      TfrReport report(nullptr);
      report.ShowProgress = false;
      report.LoadBuiltPages(frp);
      const int count = report.EMFPages()->Count();
      if (count == 0) throw Exception(Format("%s holds no pages", {frp}));
      AnsiString message;
      const AnsiString list = Utf8ToAnsi(pages);
      if (!pages.empty() && !CheckPageList(list, count, message)) throw ERefused{AnsiToUtf8(message)};
      report.PrintBuiltPages(list, copies, kPrintAllPages, collate);
    });
  } catch (const ERefused& refused) {
    return Refuse(refused.message);
  }
  for (const std::string& file : files) std::printf("%s\n", file.c_str());
  return 0;
}
