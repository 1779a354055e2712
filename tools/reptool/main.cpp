// reptool: the report engine from the command line.
#include <cstdio>
#include <cstring>
#include <exception>

#include "toolkit/core/text.h"
#include "toolkit/ui/forms.h"
#include "tools/reptool/reptool.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const ReptoolArgs& args);
};

// Every subcommand; a new one is one more line here.
const Command kCommands[] = {
    {"expr", "expr TEXT", ExprCommand},
    {"script", "script FILE", ScriptCommand},
    {"printers", "printers", PrintersCommand},
    {"template", "template new|dump|copy|xml ...", TemplateCommand},
    {"preview", "preview FILE.frp --png OUT.png [--page N] [--zoom PERCENT]", PreviewCommand},
    {"find", "find FILE.frp TEXT", FindCommand},
    {"print", "print FILE.frp --pdf OUT.pdf [--pages LIST] [--copies N] [--collate]", PrintCommand},
    {"build", "build FILE.frf --table TABLE [--filter EXPR] [--source NAME] [--two-pass] --out OUT.frp", BuildCommand},
};

void PrintUsage() {
  std::fprintf(stderr, "usage:\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  reptool %s\n", c.usage);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage();
    return 2;
  }
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.name) != 0) continue;
    try {
      const int code = c.run(ReptoolArgs(argv + 2, argv + argc));
      // A command that showed windows ends them while the GUI library is there.
      if (Application->Initialized()) Application->Shutdown();
      return code;
    } catch (const Exception& e) {
      std::fprintf(stderr, "reptool: %s\n", AnsiToUtf8(e.Message()).c_str());
      return 1;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "reptool: %s\n", e.what());
      return 1;
    }
  }
  std::fprintf(stderr, "reptool: unknown command \"%s\"\n", argv[1]);
  PrintUsage();
  return 2;
}
