// fuzz-deps: kiv7_xls
// The formula compiler on arbitrary text: it either raises its Exception or
// produces tokens a reader can evaluate (checked by walking them with an
// operand count), never anything else.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "toolkit/core/binary.h"
#include "xls/vteExcelFormula.h"

namespace {

// Walks the tokens; returns the operands left on the evaluation stack, -1 on a malformed stream.
int Evaluate(const std::string& t) {
  int depth = 0;
  size_t i = 0;
  while (i < t.size()) {
    const auto op = static_cast<uint8_t>(t[i++]);
    auto need = [&](size_t n) { return i + n <= t.size(); };
    switch (op) {
      case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: case 0x08: case 0x09: case 0x0A: case 0x0B:
      case 0x0C: case 0x0D: case 0x0E:
        if (depth < 2) return -1;
        --depth;
        break;
      case 0x12: case 0x13: case 0x14: case 0x15:
        if (depth < 1) return -1;
        break;
      case 0x16: ++depth; break;
      case 0x1E: if (!need(2)) return -1; i += 2; ++depth; break;
      case 0x1F: if (!need(8)) return -1; i += 8; ++depth; break;
      case 0x17: {
        if (!need(2)) return -1;
        const size_t n = static_cast<uint8_t>(t[i]);
        if (t[i + 1] != 1 || !need(2 + 2 * n)) return -1;
        i += 2 + 2 * n;
        ++depth;
        break;
      }
      case 0x44: if (!need(4)) return -1; i += 4; ++depth; break;
      case 0x25: if (!need(8)) return -1; i += 8; ++depth; break;
      case 0x5A: if (!need(6)) return -1; i += 6; ++depth; break;
      case 0x3B: if (!need(10)) return -1; i += 10; ++depth; break;
      case 0x42: {
        if (!need(3)) return -1;
        const int args = static_cast<uint8_t>(t[i]);
        if (args > 30 || depth < args) return -1;
        depth = depth - args + 1;
        i += 3;
        break;
      }
      default:
        return -1;
    }
  }
  return depth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TvteExcelFormulaCompiler compiler;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string tokens;
  try {
    compiler.Compile(text, tokens);
  } catch (const Exception&) {
    return 0;
  }
  if (Evaluate(tokens) != 1 || tokens.size() > 1800) std::abort();
  return 0;
}
