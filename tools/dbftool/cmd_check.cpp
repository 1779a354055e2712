// dbftool check: the engine's integrity check of a table, its memo file and
// every tag of its production index. Each fault is one line; the exit
// status is 1 when there is any.
#include <cstdio>

#include "dbf/dbf_idxfile.h"
#include "toolkit/sys/files.h"
#include "toolkit/core/text.h"
#include "tools/dbftool/dbftool.h"

namespace dbftool {

int RunCheck(const Args& args) {
  if (args.size() != 1) throw UsageError{"expected one FILE"};
  auto table = OpenTable(args[0]);
  std::vector<std::string> faults;
  const std::string mdx = table->ProductionIndexFileName();
  if (!mdx.empty()) {
    auto index = std::make_unique<TIndexFile>(table.get());
    index->SetFileName(mdx);
    index->SetMode(pmReadOnly);
    try {
      index->OpenIndexFile();
      if (index->Unusable())
        faults.push_back(ExtractFileName(mdx) + ": its collation is not available here, so its tags go unchecked");
      else
        table->AddIndexFile(std::move(index));
    } catch (const Exception& e) {
      faults.push_back(ExtractFileName(mdx) + ": " + AnsiToUtf8(e.Message()));
    }
  }
  table->CheckIntegrity(faults);
  for (const std::string& fault : faults) std::printf("%s\n", fault.c_str());
  return faults.empty() ? 0 : 1;
}

}  // namespace dbftool
