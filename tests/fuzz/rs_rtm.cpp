// fuzz-deps: kiv7_grid
// Reads random column layouts, in the text form the program keeps in its
// settings or in the binary form, into a free-standing column collection as
// the program does at start. Every input must end in columns or in one of the
// toolkit's exceptions. Columns that were read must write a layout text that
// reads back into columns writing the same text, so a layout saved again is
// restored as it was. A crash, a hang, a sanitizer report, another exception
// or a changed layout is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "grid/rs.h"
#include "grid/rs_rtm.h"
#include "toolkit/core/exceptions.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the form (bit 0: text) and whether the target
  // already holds a column (bit 1), which an empty stored list keeps.
  const bool as_text = (data[0] & 1) != 0;
  const AnsiString layout(reinterpret_cast<const char*>(data) + 1, size - 1);

  TgpColumns columns(nullptr);
  if (data[0] & 2) columns.Add()->SetFieldName("KEPT");
  try {
    StringToPersistent(&columns, layout, as_text);
  } catch (const Exception&) {
    return 0;
  }

  const AnsiString text = PersistentToString(&columns, "", true);
  TgpColumns again(nullptr);
  try {
    StringToPersistent(&again, text, true);
  } catch (const Exception&) {
    Require(false);
  }
  Require(again.Count() == columns.Count());
  Require(PersistentToString(&again, "", true) == text);
  // The binary form carries the same layout.
  TgpColumns binary(nullptr);
  StringToPersistent(&binary, PersistentToString(&columns, "", false), false);
  Require(PersistentToString(&binary, "", true) == text);
  return 0;
}
