// link_probe: runs the instrument link without a window.
//
//   link_probe --port NAME_OR_DEVICE --out FILE [--timeout-ms N]
//
// The port is a system port name ("\\.\COM3", mapped to a device as the
// README describes) or a device path. It is opened first; the link then
// goes on with it as the dialog goes on with an open port (when it cannot be
// opened, the link starts on "\\.\COM1" and searches the ports as the dialog
// does). On success the identity is printed as key=value lines, the dump is
// written to FILE and the exit code is 0. When the link ends with a cancel,
// the message the dialog would show is printed (UTF-8) and the code is 1;
// when the instrument stays silent past --timeout-ms (default 30000), the
// probe cancels, prints the status line and exits with 2; usage or file
// errors give 3.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/CPDrv.h"
#include "app/link.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/event_loop.h"

namespace {

void Usage() { std::fprintf(stderr, "usage: link_probe --port NAME_OR_DEVICE --out FILE [--timeout-ms N]\n"); }

}  // namespace

int main(int argc, char** argv) {
  std::string port;
  std::string out_path;
  long timeout_ms = 30000;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) {
      Usage();
      return 3;
    }
    if (a == "--port") {
      port = argv[++i];
    } else if (a == "--out") {
      out_path = argv[++i];
    } else if (a == "--timeout-ms") {
      char* end = nullptr;
      timeout_ms = std::strtol(argv[++i], &end, 10);
      if (*end || timeout_ms < 1 || timeout_ms > 86400000) {
        Usage();
        return 3;
      }
    } else {
      Usage();
      return 3;
    }
  }
  if (port.empty() || out_path.empty()) {
    Usage();
    return 3;
  }

  TLinkRunner link;
  link.Port().SetPortName(Utf8ToAnsi(port));
  link.Port().OpenPort();
  // --timeout-ms is the instrument's silence: every chunk it sends starts
  // the wait again, so a long transfer is not cut off while it flows.
  using Clock = std::chrono::steady_clock;
  Clock::time_point last_heard = Clock::now();
  const TReceiveDataEvent deliver = link.Port().OnReceiveData;
  link.Port().OnReceiveData = [&](TComponent* sender, const void* data, uint32_t size) {
    last_heard = Clock::now();
    deliver(sender, data, size);
  };
  link.Start();
  while (!link.Ended()) {
    const auto silent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last_heard).count();
    if (silent >= timeout_ms) {
      link.Cancel();
      break;
    }
    RunEventLoopUntil([&] { return link.Ended(); }, int(timeout_ms - silent));
  }
  const int result = link.Result();

  if (result == kLinkResultOk) {
    const TInstrumentIdentity& id = link.Protocol().Identity();
    const TRecordDump& dump = link.Protocol().Dump();
    std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(dump.DumpBuffer.data()), std::streamsize(dump.DumpLength));
    out.close();
    if (!out) {
      std::fprintf(stderr, "link_probe: cannot write %s\n", out_path.c_str());
      return 3;
    }
    std::printf("port=%s\n", AnsiToUtf8(link.Port().PortName()).c_str());
    std::printf("family=%u\n", unsigned(id.DeviceFamily));
    std::printf("subtype=%u\n", unsigned(id.DeviceSubtype));
    std::printf("serial=%u\n", unsigned(id.DeviceSerial));
    std::printf("firmware_date=%s\n", AnsiToUtf8(id.FirmwareDate).c_str());
    std::printf("version=%s\n", AnsiToUtf8(id.FirmwareVersion).c_str());
    std::printf("records=%u\n", unsigned(id.DumpRecordCount));
    std::printf("dump_length=%u\n", unsigned(dump.DumpLength));
    return 0;
  }
  if (!link.Messages.empty()) {
    std::printf("%s\n", AnsiToUtf8(link.Messages.back()).c_str());
    return 1;
  }
  std::printf("%s\n", AnsiToUtf8(link.StatusText).c_str());
  return 2;
}
