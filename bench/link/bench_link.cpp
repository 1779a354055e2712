// The receive handler of the instrument link: a whole 65,536-byte record
// memory (131,074 characters) fed in the chunks a poll delivers.
#include <benchmark/benchmark.h>

#include <string>

#include "app/link.h"

namespace {

struct NullPort : TLinkPort {
  AnsiString name;
  void SetPortName(const AnsiString& n) override { name = n; }
  AnsiString PortName() const override { return name; }
  bool OpenPort() override { return true; }
  void ClosePort() override {}
  bool PutByte(uint8_t) override { return true; }
  bool FetchByte(uint8_t*) override { return false; }
};

struct NullView : TLinkView {
  void SetCaption(const AnsiString&) override {}
  void SetStatusText(const AnsiString&) override {}
  void SetInstrumentType(const AnsiString&) override {}
  void SetFirmwareDate(const AnsiString&) override {}
  void SetRecordCount(const AnsiString&) override {}
  void SetSearchText(const AnsiString&) override {}
  void SetProgress(int) override {}
  void Repaint() override {}
  void ShowError(const AnsiString&) override {}
  void ShowErrorBox(const AnsiString&, const AnsiString&) override {}
  void EndModal(int) override {}
  void ArmTimer(unsigned) override {}
  void StopTimer() override {}
};

std::string Pair(uint8_t b) { return {char('0' + (b & 15)), char('0' + (b >> 4))}; }

void BM_ReceiveFullMemory(benchmark::State& state) {
  const size_t chunk = size_t(state.range(0));
  const std::string ident = "S" + Pair(18) + Pair(20) + Pair(6) + Pair(5) + Pair(12) + "0" + Pair(0xD2) +
                            Pair(0x04) + Pair(1) + Pair(2) + Pair(5) + "0" + Pair(3) + "P";
  std::string data = "S";
  for (size_t i = 0; i < kDumpBufferSize; ++i) data += Pair(uint8_t(i * 7 + 1));
  data += "P";
  NullPort port;
  NullView view;
  TLinkProtocol link(port, view);
  for (auto _ : state) {
    link.Start();
    link.Receive(reinterpret_cast<const uint8_t*>(ident.data()), ident.size());
    for (size_t at = 0; at < data.size(); at += chunk)
      link.Receive(reinterpret_cast<const uint8_t*>(data.data() + at), std::min(chunk, data.size() - at));
    if (link.Result() != kLinkResultOk) state.SkipWithError("transfer did not end with the dump");
    benchmark::DoNotOptimize(link.Dump().DumpLength);
  }
  state.counters["chars_per_second"] =
      benchmark::Counter(double(data.size() + ident.size()), benchmark::Counter::kIsIterationInvariantRate);
}
// 576 characters: one 50 ms poll at the line rate; 4096: a full read buffer.
BENCHMARK(BM_ReceiveFullMemory)->Arg(1)->Arg(64)->Arg(576)->Arg(4096)->Unit(benchmark::kMillisecond);

}  // namespace
