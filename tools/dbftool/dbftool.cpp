// dbftool: the table engine from the command line.
#include "tools/dbftool/dbftool.h"

#include <cstdio>
#include <cstring>

#include "toolkit/core/text.h"

namespace dbftool {
namespace {

// Every subcommand; a new one is one more line here.
const Command kCommands[] = {
    {"info", "info FILE", RunInfo},
    {"dump", "dump FILE [--deleted] [--filter EXPR] [--index TAG|FILE.ndx]", RunDump},
    {"create", "create FILE --level 3|4|7|25 --fields NAME:LETTER[:LEN[:DEC]],...", RunCreate},
    {"create-measurement", "create-measurement FILE", RunCreateMeasurement},
    {"eval", "eval EXPR", RunEval},
    {"append", "append FILE < CSV (UTF-8; a header row naming fields; B and G values in hex)", RunAppend},
    {"delete", "delete FILE RECNO...", RunDelete},
    {"recall", "recall FILE RECNO...", RunRecall},
    {"pack", "pack FILE", RunPack},
    {"index",
     "index FILE create TAG EXPR [--descending] [--unique] [--ndx FILE.ndx] | index FILE list | "
     "index FILE drop TAG (with --ndx the key goes to that single-key file, which keeps no tag name)",
     RunIndex},
    {"check", "check FILE (each fault of the table, its memo file and its index tags on a line; exit 1 when any)",
     RunCheck},
};

void PrintUsage() {
  std::fprintf(stderr, "usage:\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  dbftool %s\n", c.usage);
}

}  // namespace
}  // namespace dbftool

int main(int argc, char** argv) {
  using namespace dbftool;
  if (argc < 2) {
    PrintUsage();
    return 2;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    try {
      return c.run(Args(argv + 2, argv + argc));
    } catch (const UsageError& e) {
      std::fprintf(stderr, "dbftool: %s\nusage: dbftool %s\n", e.message.c_str(), c.usage);
      return 2;
    } catch (const Exception& e) {
      std::fprintf(stderr, "dbftool: %s\n", AnsiToUtf8(e.Message()).c_str());
      return 1;
    }
  }
  std::fprintf(stderr, "dbftool: unknown command \"%s\"\n", argv[1]);
  PrintUsage();
  return 2;
}
