// fuzz-deps: kiv7_appcore
// fuzz-runs: 2000
// Feeds random dumps and identities to both decoders, in create and append
// mode, over a table that may already hold a row with any date text. The dump
// buffer is exactly as long as the input's dump bytes and DumpLength may claim
// more, so any read past the transferred bytes is caught by the sanitizers.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/flash.h"
#include "app/measure.h"
#include "toolkit/db/fields.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  TInstrumentIdentity identity;
  identity.DeviceSubtype = data[0];
  identity.DumpRecordCount = data[1];
  identity.DeviceSerial = uint16_t(data[2] | data[3] << 8);
  const uint8_t flags = data[4];
  const uint8_t stored_text = data[5];
  data += 6;
  size -= 6;

  TRecordDump dump;
  dump.DumpBuffer.assign(data, data + size);
  dump.DumpBuffer.shrink_to_fit();
  dump.DumpLength = (flags & 4) ? 0xFFFFFFFFu : uint32_t(size);

  TMeasurementMemTable table(nullptr);
  table.Activate();
  if (flags & 8) {
    // A stored row of either kind, its stamp from well-formed or damaged text.
    const int kind = flags & 16 ? 1 : 0;
    std::string date = "12.05.2006", time = "10:00:00";
    date[stored_text % 10] = char('0' + stored_text / 10 % 10);
    if (stored_text & 128) time[stored_text % 8] = char(stored_text);
    table.StartAppend();
    table.FieldNamed("NB_TYPE")->SetIntegerValue(kind);
    table.FieldNamed("DATE")->SetStringValue(date);
    table.FieldNamed("TIME")->SetStringValue(time);
    table.CommitRecord();
  }
  int messages = 0;
  TDumpDecoder decoder(table, identity, dump, [&](const AnsiString&, const AnsiString&) { ++messages; });
  const bool append = flags & 1;
  const bool press_first = flags & 2;
  for (int run = 0; run < 2; ++run) {
    try {
      // The second run appends to what the first one wrote.
      if ((run == 0) == press_first)
        decoder.flash2vam(append || run > 0);
      else
        decoder.flash2kiv7(append || run > 0);
    } catch (const Exception&) {
      // Impossible dates and values the fields cannot hold are refused.
    }
    Require(table.CurrentMode() == dsBrowse);
  }
  table.SetFiltered(false);
  for (table.GoFirst(); !table.Eof(); table.GoNext()) {
    const int kind = table.FieldNamed("NB_TYPE")->GetIntegerValue();
    Require(kind == 0 || kind == 1);
    Require(table.FieldNamed("DATE")->GetStringValue().size() == 10);
    Require(table.FieldNamed("TIME")->GetStringValue().size() == 8);
  }
  Require(messages <= 3);
  return 0;
}
