// The serial port component: one port opened by name with its line settings,
// timed writes and reads, and a poll on the program's thread that hands every
// chunk read to OnReceiveData (or cuts the stream into packets).
//
// The port name is the system's ("\\.\COM1"); toolkit/sys/serial.h maps it to
// a device. Synchronous time-outs (PutDataTimed, FetchData) are measured on
// the monotonic clock and waited out with poll(): they are real waits on a
// real line, whereas the poll timer and the packet time-out run on the tick
// clock that tests may drive by hand.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "toolkit/core/component.h"
#include "toolkit/sys/serial.h"

class TTimer;

enum TPortNumber {
  pnCustom, pnCOM1, pnCOM2, pnCOM3, pnCOM4, pnCOM5, pnCOM6, pnCOM7, pnCOM8,
  pnCOM9, pnCOM10, pnCOM11, pnCOM12, pnCOM13, pnCOM14, pnCOM15, pnCOM16
};
enum TBaudRate {
  brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
  br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum TDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
enum TStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
enum TParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum THwFlowControl { hfNONE, hfNONERTSON, hfRTSCTS };
enum TSwFlowControl { sfNONE, sfXONXOFF };
enum TPacketMode { pmDiscard, pmPass };

// The bytes read by one poll; DataPtr is valid only during the call.
using TReceiveDataEvent = std::function<void(TComponent* Sender, const void* DataPtr, uint32_t DataSize)>;
// One packet (or, in pmPass, a timed-out partial one).
using TReceivePacketEvent = std::function<void(TComponent* Sender, const void* Packet, uint32_t DataSize)>;

// Bits per second of a rate of the table; 0 for brCustom.
uint32_t BaudValueOf(TBaudRate rate);
// Milliseconds a packet of size bytes takes on the line at rate bits per
// second, 10 bits a byte (0 for a rate of 0).
uint32_t PacketTransitMs(int size, uint32_t rate);
// The output room: out_buf_size minus the queued bytes, 0 when the driver
// holds as much or more (never a wrapped-around 16-bit value).
uint16_t OutQueueRoomOf(uint32_t out_buf_size, long queued);

class TCommPortDriver : public TComponent {
 public:
  explicit TCommPortDriver(TComponent* owner);
  // Closes the port.
  ~TCommPortDriver() override;

  // ---- Published properties (setters correct as noted) ----

  // Ignored while open; a number other than pnCustom also sets PortName.
  TPortNumber Port() const { return port_; }
  void SetPort(TPortNumber value);
  // Ignored while open; sets Port to pnCustom.
  const AnsiString& PortName() const { return port_name_; }
  void SetPortName(const AnsiString& value);
  // A rate other than brCustom also sets BaudRateValue; re-applies when open.
  TBaudRate BaudRate() const { return baud_rate_; }
  void SetBaudRate(TBaudRate value);
  // Sets BaudRate to brCustom; re-applies when open.
  uint32_t BaudRateValue() const { return baud_rate_value_; }
  void SetBaudRateValue(uint32_t value);
  // These re-apply when open.
  TDataBits DataBits() const { return data_bits_; }
  void SetDataBits(TDataBits value);
  TStopBits StopBits() const { return stop_bits_; }
  void SetStopBits(TStopBits value);
  TParity Parity() const { return parity_; }
  void SetParity(TParity value);
  THwFlowControl HwFlow() const { return hw_flow_; }
  void SetHwFlow(THwFlowControl value);
  TSwFlowControl SwFlow() const { return sw_flow_; }
  void SetSwFlow(TSwFlowControl value);
  // Ignored while open; clamped to 128 ... 8192; re-validates PacketSize.
  uint32_t InBufSize() const { return in_buf_size_; }
  void SetInBufSize(uint32_t value);
  // Ignored while open; clamped to 128 ... 8192.
  uint32_t OutBufSize() const { return out_buf_size_; }
  void SetOutBufSize(uint32_t value);
  // 0 or less is -1 (no packets); a size above InBufSize grows the read
  // buffer; a size above 8192 is refused (the value stays).
  int16_t PacketSize() const { return packet_size_; }
  void SetPacketSize(int16_t value);
  // Below 1 is -1 (none); below PollingDelay becomes PollingDelay * 1.4.
  int32_t PacketTimeout() const { return packet_timeout_; }
  void SetPacketTimeout(int32_t value);
  TPacketMode PacketMode() const { return packet_mode_; }
  void SetPacketMode(TPacketMode value) { packet_mode_ = value; }
  // At least 5; restarts the poll when open; re-validates PacketTimeout.
  uint16_t PollingDelay() const { return polling_delay_; }
  void SetPollingDelay(uint16_t value);
  // Raise DTR when the port opens.
  bool EnableDTROnOpen() const { return enable_dtr_on_open_; }
  void SetEnableDTROnOpen(bool value) { enable_dtr_on_open_ = value; }
  uint16_t OutputTimeout() const { return output_timeout_; }
  void SetOutputTimeout(uint16_t value) { output_timeout_ = value; }
  uint32_t InputTimeout() const { return input_timeout_; }
  void SetInputTimeout(uint32_t value) { input_timeout_ = value; }
  // Writing stops when no modem status line is on.
  bool CheckLineStatus() const { return check_line_status_; }
  void SetCheckLineStatus(bool value) { check_line_status_ = value; }

  TReceiveDataEvent OnReceiveData;
  TReceivePacketEvent OnReceivePacket;

  // ---- Operations ----

  // True at once when open; else opens the device PortName maps to,
  // exclusively, applies the settings and starts the poll; false (and
  // closed) when any step fails.
  bool OpenPort();
  // Stops the poll and closes the device.
  void ClosePort();
  bool IsPortOpen() const { return device_.IsOpen(); }
  // Applies the control block, purges both queues; false when closed or failing.
  bool ApplyPortSettings();
  // The control block the settings give (pure: the same settings, the same block).
  TDeviceControlBlock BuildDeviceControlBlock() const;
  // Discards queued input and/or output and any partial packet.
  bool PurgeBuffers(bool input, bool output);
  // Bytes waiting to be read; 65535 when closed.
  uint32_t InQueueCount() const;
  // OutBufSize minus the bytes waiting to be sent, never below 0; 65535 when closed.
  uint16_t OutQueueRoom() const;
  // kLineCts | kLineDsr | kLineRing | kLineRlsd; 0 when closed or unreadable.
  int GetLineBits() const;

  // Writes count bytes in pieces no larger than the output room, giving up
  // when no byte could be written for timeout_ms; the number written.
  uint32_t PutDataTimed(const void* data, uint32_t count, uint32_t timeout_ms);
  uint32_t PutData(const void* data, uint32_t count) { return PutDataTimed(data, count, output_timeout_); }
  bool PutByte(uint8_t value) { return PutData(&value, 1) == 1; }
  // Reads count bytes with the poll paused, giving up InputTimeout ms after
  // the last byte; the number read.
  uint32_t FetchData(void* buffer, uint32_t count);
  bool FetchByte(uint8_t* value) { return FetchData(value, 1) == 1; }

  // Pause and resume the poll (counted).
  void SuspendPolling() { ++poll_pause_; }
  void ResumePolling() {
    if (poll_pause_ > 0) --poll_pause_;
  }
  // Pauses the poll while it lives, on every way out.
  class TPollPause {
   public:
    explicit TPollPause(TCommPortDriver& port) : port_(port) { port_.SuspendPolling(); }
    ~TPollPause() { port_.ResumePolling(); }
    TPollPause(const TPollPause&) = delete;
    TPollPause& operator=(const TPollPause&) = delete;

   private:
    TCommPortDriver& port_;
  };

  // The device the open port uses ("" while closed).
  const std::string& DevicePath() const { return device_.Path(); }
  // One poll, as the timer runs it (for tests that step the poll by hand).
  void Poll();

 private:
  void ReallocateReadBuffer();
  void ReapplyWhenOpen();

  TPortNumber port_ = pnCOM2;
  AnsiString port_name_ = "\\\\.\\COM2";
  TBaudRate baud_rate_ = br9600;
  uint32_t baud_rate_value_ = 9600;
  TDataBits data_bits_ = db8BITS;
  TStopBits stop_bits_ = sb1BITS;
  TParity parity_ = ptNONE;
  THwFlowControl hw_flow_ = hfNONERTSON;
  TSwFlowControl sw_flow_ = sfNONE;
  uint32_t in_buf_size_ = 2048;
  uint32_t out_buf_size_ = 2048;
  int16_t packet_size_ = -1;
  int32_t packet_timeout_ = -1;
  TPacketMode packet_mode_ = pmDiscard;
  uint16_t polling_delay_ = 50;
  bool enable_dtr_on_open_ = true;
  uint16_t output_timeout_ = 500;
  uint32_t input_timeout_ = 200;
  bool check_line_status_ = false;

  SerialDevice device_;
  std::vector<uint8_t> read_buffer_;
  int poll_pause_ = 0;
  int64_t packet_start_ = -1;  // tick of the pending partial packet, -1 none
  std::unique_ptr<TTimer> poll_timer_;
};
