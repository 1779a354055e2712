// Running the dbftool harness from the tests.
#pragma once

#include <string>

#include "tests/support/testsupport.h"

namespace dbftool_support {

inline std::string Tool() { return std::string(KIV7_BINARY_DIR) + "/tools/dbftool/dbftool"; }

// Runs dbftool with the arguments (a shell command line); its standard
// output and error go to *out; returns its exit status.
inline int RunTool(const std::string& args, std::string* out) {
  return testsupport::RunCommand(Tool() + " " + args + " 2>&1", out);
}

}  // namespace dbftool_support
