// The program body. Until the main window lands, it tells the operator what
// this build already does and which command-line harnesses carry it.
#include <cstdio>

int main() {
  std::puts(
      "ЛИВТ  - КС7 (KIV7) 1.0.2.0\n"
      "\n"
      "The main window is not built yet. What works in this build is reached\n"
      "through the command-line harnesses in build/release/tools/:\n"
      "  see README.md, section \"What works\".\n");
  return 0;
}
