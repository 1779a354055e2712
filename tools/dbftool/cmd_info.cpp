// dbftool info: the header and field list of a table.
#include <cstdio>

#include "dbf/dbf_lang.h"
#include "tools/dbftool/dbftool.h"

namespace dbftool {

int RunInfo(const Args& args) {
  if (args.size() != 1) throw UsageError{"expected one FILE"};
  auto table = OpenTable(args[0]);
  std::printf("version byte: 0x%02X\n", table->TableHeader().Version);
  std::printf("level: %d\n", table->TableLevel());
  if (table->DbfVersion() == kDbfVersionDBase7)
    std::printf("language driver: %s\n", TableTextToUtf8(*table, table->LanguageDriverName()).c_str());
  std::printf("language id: 0x%02X\n", table->LanguageId());
  std::printf("code page: %u\n", table->UseCodePage());
  std::printf("records: %lld\n", static_cast<long long>(table->RecordCount()));
  std::printf("header size: %d\n", table->HeaderSize());
  std::printf("record size: %d\n", table->RecordSize());
  const TDbfFieldDefs& defs = table->FieldDefs();
  std::printf("fields: %d\n", defs.Count());
  for (int i = 0; i < defs.Count(); ++i) {
    const TDbfFieldDef* f = defs.Items(i);
    std::printf("%s %c %d %d\n", TableTextToUtf8(*table, f->FieldName()).c_str(), f->NativeFieldType(), f->Size(),
                f->Precision());
  }
  return 0;
}

}  // namespace dbftool
