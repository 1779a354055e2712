#include "app/CPDrv.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "toolkit/core/clock.h"
#include "toolkit/sys/event_loop.h"

namespace {

constexpr uint32_t kMinBufSize = 128;
constexpr uint32_t kMaxBufSize = 8192;
// One poll reads what is queued in buffer-sized pieces, at most this many:
// at 50 ms and a 4096-byte buffer a single read per tick would take only
// about seven times the instrument's line rate, and a real line has no back
// pressure, so a faster stream would overflow the driver's queue.
constexpr int kMaxReadsPerPoll = 16;

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

}  // namespace

uint32_t BaudValueOf(TBaudRate rate) {
  static constexpr uint32_t kRates[] = {0,     110,   300,   600,   1200,   2400,   4800,  9600,
                                        14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
  const int i = int(rate);
  return i >= 0 && i < int(std::size(kRates)) ? kRates[i] : 0;
}

uint32_t PacketTransitMs(int size, uint32_t rate) {
  if (rate < 10 || size <= 0) return 0;
  return uint32_t(std::lround(double(size) / (double(rate) / 10.0) * 1000.0));
}

TCommPortDriver::TCommPortDriver(TComponent* owner) : TComponent(owner) {
  ReallocateReadBuffer();
  poll_timer_ = std::make_unique<TTimer>(nullptr);
  poll_timer_->SetEnabled(false);
  poll_timer_->SetInterval(polling_delay_);
  poll_timer_->OnTimer = [this](TComponent*) { Poll(); };
}

TCommPortDriver::~TCommPortDriver() { ClosePort(); }

void TCommPortDriver::SetPort(TPortNumber value) {
  if (IsPortOpen()) return;
  port_ = value;
  if (value != pnCustom) port_name_ = "\\\\.\\COM" + std::to_string(int(value));
}

void TCommPortDriver::SetPortName(const AnsiString& value) {
  if (IsPortOpen()) return;
  port_name_ = value;
  port_ = pnCustom;
}

void TCommPortDriver::SetBaudRate(TBaudRate value) {
  baud_rate_ = value;
  if (value != brCustom) baud_rate_value_ = BaudValueOf(value);
  ReapplyWhenOpen();
}

void TCommPortDriver::SetBaudRateValue(uint32_t value) {
  baud_rate_ = brCustom;
  baud_rate_value_ = value;
  ReapplyWhenOpen();
}

void TCommPortDriver::SetDataBits(TDataBits value) {
  data_bits_ = value;
  ReapplyWhenOpen();
}
void TCommPortDriver::SetStopBits(TStopBits value) {
  stop_bits_ = value;
  ReapplyWhenOpen();
}
void TCommPortDriver::SetParity(TParity value) {
  parity_ = value;
  ReapplyWhenOpen();
}
void TCommPortDriver::SetHwFlow(THwFlowControl value) {
  hw_flow_ = value;
  ReapplyWhenOpen();
}
void TCommPortDriver::SetSwFlow(TSwFlowControl value) {
  sw_flow_ = value;
  ReapplyWhenOpen();
}

void TCommPortDriver::SetInBufSize(uint32_t value) {
  if (IsPortOpen()) return;
  in_buf_size_ = std::clamp(value, kMinBufSize, kMaxBufSize);
  ReallocateReadBuffer();
  SetPacketSize(packet_size_);
}

void TCommPortDriver::SetOutBufSize(uint32_t value) {
  if (IsPortOpen()) return;
  out_buf_size_ = std::clamp(value, kMinBufSize, kMaxBufSize);
}

void TCommPortDriver::SetPacketSize(int16_t value) {
  if (value <= 0) value = -1;
  // A packet must fit the read buffer, which is at most 8192 bytes.
  if (value > int16_t(kMaxBufSize)) return;
  packet_size_ = value;
  ReallocateReadBuffer();
}

void TCommPortDriver::SetPacketTimeout(int32_t value) {
  if (value < 1) {
    value = -1;
  } else if (value < polling_delay_) {
    value = polling_delay_ + polling_delay_ * 40 / 100;
  }
  packet_timeout_ = value;
}

void TCommPortDriver::SetPollingDelay(uint16_t value) {
  value = std::max<uint16_t>(value, 5);
  if (value != polling_delay_) {
    polling_delay_ = value;
    poll_timer_->SetInterval(value);  // restarts the period while it runs
  }
  SetPacketTimeout(packet_timeout_);
}

void TCommPortDriver::ReallocateReadBuffer() {
  const size_t size = std::max<size_t>(in_buf_size_, packet_size_ > 0 ? size_t(packet_size_) : 0);
  if (read_buffer_.size() != size) read_buffer_.assign(size, 0);
}

void TCommPortDriver::ReapplyWhenOpen() {
  if (IsPortOpen()) ApplyPortSettings();
}

bool TCommPortDriver::OpenPort() {
  if (IsPortOpen()) return true;
  const std::string device = PortDevice(port_name_);
  if (device.empty() || !device_.Open(device)) return false;
  if (!ApplyPortSettings()) {
    device_.Close();
    return false;
  }
  packet_start_ = -1;
  poll_timer_->SetInterval(polling_delay_);
  poll_timer_->SetEnabled(true);
  return true;
}

void TCommPortDriver::ClosePort() {
  if (!IsPortOpen()) return;
  poll_timer_->SetEnabled(false);
  device_.Close();
}

TDeviceControlBlock TCommPortDriver::BuildDeviceControlBlock() const {
  TDeviceControlBlock dcb;
  dcb.DCBlength = 28;
  dcb.BaudRate = baud_rate_value_;
  dcb.fBinary = true;
  dcb.fDtrControl = enable_dtr_on_open_ ? 1 : 0;
  if (hw_flow_ == hfNONERTSON) {
    dcb.fRtsControl = 1;
  } else if (hw_flow_ == hfRTSCTS) {
    dcb.fOutxCtsFlow = true;
    dcb.fRtsControl = 2;
  }
  if (sw_flow_ == sfXONXOFF) {
    dcb.fOutX = true;
    dcb.fInX = true;
  }
  // The platform's rule for its NT family (which this system stands in for):
  // the limits are a quarter of the input buffer, at most 4096.
  const uint32_t limit = std::min<uint32_t>(in_buf_size_ / 4, 4096);
  dcb.XonLim = uint16_t(limit);
  dcb.XoffLim = uint16_t(limit);
  dcb.ByteSize = uint8_t(5 + int(data_bits_));
  dcb.Parity = uint8_t(parity_);
  dcb.StopBits = uint8_t(stop_bits_);
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}

bool TCommPortDriver::ApplyPortSettings() {
  if (!IsPortOpen()) return false;
  if (!device_.Apply(BuildDeviceControlBlock())) return false;
  if (!PurgeBuffers(true, true)) return false;
  // The queue sizes are the driver's own on Linux; there is nothing to request.
  return true;
}

bool TCommPortDriver::PurgeBuffers(bool input, bool output) {
  if (!IsPortOpen()) return false;
  const bool ok = device_.Purge(input, output);
  if (ok) packet_start_ = -1;
  return ok;
}

uint32_t TCommPortDriver::InQueueCount() const {
  if (!IsPortOpen()) return 65535;
  const long n = device_.InQueue();
  return n < 0 ? 0 : uint32_t(n);
}

uint16_t TCommPortDriver::OutQueueRoom() const {
  if (!IsPortOpen()) return 65535;
  const long queued = device_.OutQueue();
  return queued < 0 ? 0 : OutQueueRoomOf(out_buf_size_, queued);
}

uint16_t OutQueueRoomOf(uint32_t out_buf_size, long queued) {
  // The driver may hold more than OutBufSize: the room is then none, not a
  // wrapped-around 16-bit number that would invite a flood of writes.
  if (queued < 0 || queued >= long(out_buf_size)) return 0;
  return uint16_t(std::min<long>(long(out_buf_size) - queued, 65535));
}

int TCommPortDriver::GetLineBits() const {
  if (!IsPortOpen()) return 0;
  const int bits = device_.ModemBits();
  return bits < 0 ? 0 : bits;
}

uint32_t TCommPortDriver::PutDataTimed(const void* data, uint32_t count, uint32_t timeout_ms) {
  if (!IsPortOpen()) return 0;
  const auto* p = static_cast<const uint8_t*>(data);
  uint32_t written = 0;
  auto last = Clock::now();
  while (written < count) {
    const uint16_t room = OutQueueRoom();
    bool wrote = false;
    if (room > 0) {
      if (check_line_status_ && GetLineBits() == 0) break;
      const long n = device_.Write(p + written, std::min<uint32_t>(count - written, room));
      if (n < 0) break;
      if (n > 0) {
        written += uint32_t(n);
        last = Clock::now();
        wrote = true;
      }
    }
    if (wrote) continue;
    const int64_t left = int64_t(timeout_ms) - MsSince(last);
    if (left < 0) break;
    if (room == 0) {
      // The queue drains at the line's pace: nap a little instead of spinning.
      ::poll(nullptr, 0, int(std::clamp<int64_t>(left, 1, 2)));
    } else if (device_.WaitWritable(int(std::min<int64_t>(left, 1000))) < 0) {
      break;
    }
  }
  return written;
}

uint32_t TCommPortDriver::FetchData(void* buffer, uint32_t count) {
  if (!IsPortOpen()) return 0;
  auto* p = static_cast<uint8_t*>(buffer);
  uint32_t got = 0;
  TPollPause pause(*this);
  auto last = Clock::now();
  while (got < count) {
    const long queued = device_.InQueue();
    if (queued > 0) {
      const long n = device_.Read(p + got, std::min<uint32_t>(count - got, uint32_t(queued)));
      if (n < 0) break;
      if (n > 0) {
        got += uint32_t(n);
        last = Clock::now();
        continue;
      }
    }
    const int64_t left = int64_t(input_timeout_) - MsSince(last);
    if (left < 0) break;
    if (device_.WaitReadable(int(std::min<int64_t>(left + 1, 1000))) < 0) break;
  }
  return got;
}

void TCommPortDriver::Poll() {
  if (!IsPortOpen() || poll_pause_ > 0) return;
  long queued = device_.InQueue();
  if (queued < 0) return;
  if (packet_size_ <= 0) {
    for (int reads = 0; reads < kMaxReadsPerPoll && queued > 0; ++reads) {
      const long n = device_.Read(read_buffer_.data(), std::min<size_t>(size_t(queued), read_buffer_.size()));
      if (n <= 0) return;
      if (OnReceiveData) OnReceiveData(this, read_buffer_.data(), uint32_t(n));
      // The handler may have closed the port or started a synchronous read.
      if (!IsPortOpen() || poll_pause_ > 0) return;
      queued = device_.InQueue();
    }
    return;
  }
  const long size = packet_size_;
  const int64_t now = int64_t(GetTickCount64());
  if (queued >= size) {
    while (queued >= size) {
      const long n = device_.Read(read_buffer_.data(), size_t(size));
      if (n <= 0) return;
      if (OnReceivePacket) OnReceivePacket(this, read_buffer_.data(), uint32_t(n));
      if (!IsPortOpen() || poll_pause_ > 0) return;
      if (packet_start_ >= 0) packet_start_ += PacketTransitMs(int(size), baud_rate_value_);
      queued -= n;
      if (queued <= 0) packet_start_ = -1;
    }
    return;
  }
  if (packet_timeout_ > 0 && packet_start_ >= 0 && now - packet_start_ > packet_timeout_) {
    const long n = queued > 0 ? device_.Read(read_buffer_.data(), size_t(queued)) : 0;
    packet_start_ = -1;
    if (n > 0 && packet_mode_ == pmPass && OnReceivePacket) OnReceivePacket(this, read_buffer_.data(), uint32_t(n));
  } else if (queued > 0 && packet_start_ < 0) {
    packet_start_ = now;
  }
}
