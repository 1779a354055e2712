// reptool build FILE.frf --table TABLE [--filter EXPR] [--source NAME] [--two-pass] --out OUT.frp
//
// Builds a template over the rows of a dBASE table and writes the built pages
// as a prepared report; prints "pages=N". The table is the record source
// named NAME (by default the one the template's master data band names), and
// field references written with that name ([NAME."FIELD"]) read the table's
// fields. --filter keeps the rows the table's filter expression accepts;
// --two-pass builds in two passes, so that TOTALPAGES is known on every page.
// A build error is printed on stderr with exit status 1.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "dbf/dbf.h"
#include "report/FR_DBSet.h"
#include "report/fr_emf.h"
#include "report/fr_globals.h"
#include "report/fr_page.h"
#include "report/fr_report.h"
#include "report/fr_views.h"
#include "toolkit/core/component.h"
#include "toolkit/core/text.h"
#include "tools/reptool/reptool.h"

namespace {

int BuildUsage() {
  std::fprintf(stderr,
               "usage: reptool build FILE.frf --table TABLE [--filter EXPR] [--source NAME] [--two-pass] "
               "--out OUT.frp\n");
  return 2;
}

// The record source of the template's first master data band that names one
// (a number there is a count of records, not a source).
AnsiString TemplateSource(TfrReport& report) {
  for (int i = 0; i < report.Pages().Count(); ++i) {
    for (const auto& view : report.Pages().Pages(i)->Objects) {
      if (view->TypeCode != gtBand || view->FrameTyp != btMasterData) continue;
      const AnsiString& source = view->FormatText;
      if (!source.empty() && !(source[0] >= '1' && source[0] <= '9')) return source;
    }
  }
  return {};
}

// Whether a band of the template reads the record source `name`.
bool TemplateReads(TfrReport& report, const AnsiString& name) {
  for (int i = 0; i < report.Pages().Count(); ++i)
    for (const auto& view : report.Pages().Pages(i)->Objects)
      if (view->TypeCode == gtBand && AnsiSameText(view->FormatText, name)) return true;
  return false;
}

class DialogScope {
 public:
  DialogScope() : previous_(SetDialogService(&dialogs_)) {}
  ~DialogScope() { SetDialogService(previous_); }
  DialogScope(const DialogScope&) = delete;
  DialogScope& operator=(const DialogScope&) = delete;

 private:
  ConsoleDialogs dialogs_;
  TDialogService* previous_;
};

}  // namespace

int BuildCommand(const ReptoolArgs& args) {
  if (args.empty()) return BuildUsage();
  const std::string frf = args[0];
  std::string table_file, filter, source_name, out;
  bool two_pass = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& key = args[i];
    if (key == "--two-pass") {
      two_pass = true;
      continue;
    }
    if (i + 1 >= args.size()) return BuildUsage();
    const std::string& value = args[++i];
    if (key == "--table")
      table_file = value;
    else if (key == "--filter")
      filter = value;
    else if (key == "--source")
      source_name = value;
    else if (key == "--out")
      out = value;
    else
      return BuildUsage();
  }
  if (table_file.empty() || out.empty()) return BuildUsage();

  DialogScope dialogs;
  frGlobals();
  RegisterStandardViews();
  TComponent owner(nullptr);
  auto* report = new TfrReport(&owner);
  report->SetName("frReport1");
  report->ShowProgress = false;

  bool asked_password = false;
  report->Template.LoadFromFile(frf, [&](const AnsiString&) {
    asked_password = true;
    return false;
  });
  if (asked_password) {
    std::fprintf(stderr, "reptool: the template is protected by a password\n");
    return 1;
  }
  const AnsiString source = source_name.empty() ? TemplateSource(*report) : Utf8ToAnsi(source_name);
  if (source.empty()) {
    std::fprintf(stderr, "reptool: the template names no record source; give --source NAME\n");
    return 2;
  }
  if (!IsValidIdent(source)) {
    std::fprintf(stderr, "reptool: \"%s\" cannot name a record source\n", AnsiToUtf8(source).c_str());
    return 2;
  }

  // A source no band reads would build the template without its rows.
  if (!TemplateReads(*report, source)) {
    std::fprintf(stderr, "reptool: the template has no band over the record source %s\n",
                 AnsiToUtf8(source).c_str());
    return 2;
  }

  auto* table = new TDbf(&owner);
  table->SetName(AnsiSameText(source, "Table") ? "Table1" : "Table");
  // A table named from the command line is where the user's shell sees it; the
  // table component alone would look for a relative name beside the program.
  std::error_code error;
  const std::filesystem::path table_path = std::filesystem::absolute(table_file, error);
  table->SetTableName(error ? table_file : table_path.string());
  table->SetReadOnly(true);
  if (!filter.empty()) {
    table->SetFilter(Utf8ToAnsi(filter));
    table->SetFiltered(true);
  }
  table->Activate();
  auto* records = new TfrDBDataSet(&owner);
  records->SetName(source);
  records->SetDataSet(table);
  // Field references name the record source; the alias leads them to the table.
  report->Dictionary().AliasTable.AssignVariable(table->Name(), source);
  if (two_pass) report->Template.TwoPassBuild = true;

  if (!report->BuildReport()) return 1;
  report->SaveBuiltPages(out);
  std::printf("pages=%d\n", report->EMFPages()->Count());
  return 0;
}
