// dbftool index: the index tags of a table, made and removed through the
// table component the way the program sorts its grids; and the order of a
// tag or of a single-key index file for dump --index.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "dbf/dbf.h"
#include "dbf/dbf_idxfile.h"
#include "dbf/dbf_parser.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/files.h"
#include "tools/common/csv.h"
#include "tools/dbftool/dbftool.h"

namespace dbftool {
namespace {

// Messages are composed in UTF-8; main shows an exception's text from 1251.
[[noreturn]] void Fail(const std::string& message) { throw Exception(Utf8ToAnsi(message)); }

// The component on the table. A relative name is taken from the working
// folder (the component's own base folder is the program's).
std::unique_ptr<TDbf> OpenComponent(const std::string& file, bool read_only) {
  if (!FileExists(file)) Fail("no table \"" + file + "\"");
  auto table = std::make_unique<TDbf>(nullptr);
  table->SetReadOnly(read_only);
  table->SetExclusive(!read_only);
  table->SetTableName(std::filesystem::absolute(file).string());
  table->Activate();
  return table;
}

// Whether the open table has the tag (named in any form that stores as it).
bool HasTag(TDbf& table, const AnsiString& tag) {
  table.SetIndexName(tag);
  const bool found = !table.IndexName().empty();
  table.SetIndexName("");
  return found;
}

// Refuses a key expression the engine could not build a tag of, with the
// engine's own message, before anything is written.
void CheckKeyExpression(TDbfFile& table, const AnsiString& expression) {
  TDbfParser probe(&table);
  probe.CompileText(expression);
  const TExprKind kind = probe.GetResultKind();
  if (kind != ekString && kind != ekInteger && kind != ekLargeInt && kind != ekFloat)
    throw EDbfError(STRING_INVALID_INDEX_TYPE);
}

AnsiString TagArgument(const std::string& tag) {
  if (Trim(tag).empty()) throw UsageError{"expected a TAG"};
  // A name with an extension would be taken for an index file.
  if (!ExtractFileExt(tag).empty()) throw UsageError{"a tag name has no extension: \"" + tag + "\""};
  return Utf8ToAnsi(tag);
}

int CreateTag(const std::string& file, const Args& args) {
  std::vector<std::string> words;
  TIndexOptions options;
  std::string ndx;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--descending") {
      options.Include(ixDescending);
    } else if (a == "--unique") {
      options.Include(ixUnique);
    } else if (a == "--ndx" && i + 1 < args.size()) {
      ndx = args[++i];
    } else if (!a.starts_with("--") && words.size() < 2) {
      words.push_back(a);
    } else {
      throw UsageError{"unexpected argument \"" + a + "\""};
    }
  }
  if (words.size() < 2) throw UsageError{"expected a TAG and a key expression"};
  const AnsiString tag = TagArgument(words[0]);
  const AnsiString expression = Utf8ToAnsi(words[1]);
  if (!ndx.empty() && !SameText(ExtractFileExt(ndx), ".ndx"))
    throw UsageError{"--ndx wants a file name ending in .ndx: \"" + ndx + "\""};

  auto table = OpenComponent(file, false);
  CheckKeyExpression(*table->DbfFile(), expression);
  if (ndx.empty()) {
    // Such a tag would serve only while this command runs.
    if (table->DbfFile()->DbfVersion() == kDbfVersionFoxPro)
      Fail("a FoxPro table links no .mdx file, so its tags would not last; use --ndx FILE.ndx");
    if (HasTag(*table, tag)) Fail("the table has a tag \"" + words[0] + "\" already; drop it first");
    // The component would swallow this one: a tag that cannot be built is simply absent there.
    if (table->IndexNames().size() >= 47) throw EDbfError(STRING_CANNOT_CREATE_INDEX);
    table->CreateIndexTag(tag, expression, options);
    if (!HasTag(*table, tag)) Fail("the tag \"" + words[0] + "\" could not be built");
  } else {
    if (FileExists(ndx)) Fail("\"" + ndx + "\" exists already");
    table->CreateIndexTag(std::filesystem::absolute(ndx).string(), expression, options);
    if (!FileExists(ndx)) Fail("the index file \"" + ndx + "\" could not be built");
  }
  table->Deactivate();
  return 0;
}

int ListTags(const std::string& file) {
  auto table = OpenComponent(file, true);
  std::printf("TAG,EXPRESSION,TYPE,OPTIONS\n");
  TDbfIndexDefs& defs = table->IndexDefs();
  for (int i = 0; i < defs.Count(); ++i) {
    const TDbfIndexDef* def = defs.Items(i);
    if (!def->FromFile()) continue;
    table->SetIndexName(def->IndexFile());
    const TIndexFile* index = table->CurrentIndexFile();
    const char type = index != nullptr ? index->KeyType() : '?';
    std::string flags;
    if (def->Options().Contains(ixDescending)) flags += "descending";
    if (def->Options().Contains(ixUnique)) flags += flags.empty() ? "unique" : " unique";
    if (def->Options().Contains(ixPrimary)) flags += flags.empty() ? "primary" : " primary";
    std::printf("%s,%s,%c,%s\n", CsvField(AnsiToUtf8(def->IndexFile())).c_str(),
                CsvField(AnsiToUtf8(def->SortField())).c_str(), type, flags.c_str());
  }
  table->Deactivate();
  return 0;
}

int DropTag(const std::string& file, const Args& args) {
  if (args.size() != 1) throw UsageError{"expected one TAG"};
  const AnsiString tag = TagArgument(args[0]);
  auto table = OpenComponent(file, false);
  if (!HasTag(*table, tag)) Fail("the table has no tag \"" + args[0] + "\"");
  table->RemoveIndex(tag);
  table->Deactivate();
  return 0;
}

}  // namespace

int RunIndex(const Args& args) {
  if (args.size() < 2) throw UsageError{"expected a FILE and create, list or drop"};
  const std::string& file = args[0];
  const std::string& action = args[1];
  const Args rest(args.begin() + 2, args.end());
  if (action == "create") return CreateTag(file, rest);
  if (action == "drop") return DropTag(file, rest);
  if (action == "list") {
    if (!rest.empty()) throw UsageError{"list takes nothing more"};
    return ListTags(file);
  }
  throw UsageError{"unknown index action \"" + action + "\""};
}

std::vector<int64_t> IndexOrder(TDbfFile& table, const std::string& index) {
  // A name with an extension is a separate index file; otherwise a tag of
  // the production index the table links.
  const bool separate = !ExtractFileExt(index).empty();
  const std::string file_name = separate ? index : table.ProductionIndexFileName();
  if (file_name.empty()) Fail("the table has no production index, so no tag \"" + index + "\"");
  if (!FileExists(file_name)) Fail("no index file \"" + file_name + "\"");
  TIndexFile file(&table);
  file.SetFileName(file_name);
  file.SetMode(pmReadOnly);
  file.OpenIndexFile();
  if (file.Unusable()) Fail("the collation of \"" + file_name + "\" is not available here");
  if (!(separate ? file.SelectTag(0) : file.SelectTag(Utf8ToAnsi(index))))
    Fail("no tag \"" + index + "\" in \"" + file_name + "\"");
  std::vector<int64_t> order;
  file.GotoBof();
  while (file.Next()) order.push_back(file.CurrentRecNo());
  file.CloseIndexFile();
  return order;
}

}  // namespace dbftool
