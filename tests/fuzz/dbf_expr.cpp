// fuzz-deps: kiv7_dbf
// Compiles and evaluates random expression texts. Every input must end in a
// value or in one of the language's own errors: a syntax or overload error,
// an unknown name or a too long key, a malformed number, or an arithmetic
// fault. Anything else (a crash, a sanitizer report, another exception) is a
// finding.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dbf/dbf_parser.h"
#include "dbf/dbf_str.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the options; the rest is the text.
  const uint8_t options = data[0];
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  int32_t n = 7, z = 0;
  int64_t big = 5000000000LL;
  double f = 2.5, d = 45000.25;
  std::string name_text = "Abc xyz";
  char* name = name_text.data();
  char fixed_text[] = {'F', 'I', 'X', ' ', ' '};
  char* fixed = fixed_text;

  TDbfParser parser(nullptr);
  try {
    parser.SetIgnoreCase((options & 1) != 0);
    parser.SetPartialCompare((options & 2) != 0);
    parser.SetFoldConstants((options & 4) != 0);
    parser.AddIntegerVariable("N", &n);
    parser.AddIntegerVariable("Z", &z);
    parser.AddLargeIntVariable("BIG", &big);
    parser.AddFloatVariable("F", &f);
    parser.AddDateTimeVariable("D", &d);
    parser.AddStringVariable("NAME", &name);
    parser.AddFixedStringVariable("FIX", &fixed, static_cast<int>(sizeof fixed_text));
    parser.CompileText(text);
    for (int run = 0; run < 2; ++run) {
      const char* value = parser.EvaluateRecord(nullptr);
      if (parser.GetResultKind() == ekString) {
        volatile size_t length = std::strlen(value);
        (void)length;
      }
      n = -n;
    }
  } catch (const EParserException&) {
  } catch (const EDbfError&) {
  } catch (const EConvertError&) {
  } catch (const EIntError&) {
  } catch (const EMathError&) {
  }
  return 0;
}
