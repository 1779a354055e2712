// The instrument link: the protocol that finds the instrument on a serial
// port, asks for its identification and its stored records, and turns the
// reply into the record dump. The logic is a state machine fed with received
// characters, timer expiries and the cancel command; it reaches the port and
// the window only through TLinkPort and TLinkView, so it runs (and is tested)
// without either. TLinkRunner drives it headless over TCommPortDriver.
//
// Wire format. The computer sends single command bytes: 'V' asks for the
// identification, 'N' for the records, 'Z' is the presence probe (answered by
// 'Z'). Replies are framed by 'S' ... 'P'; every payload byte travels as two
// characters, low nibble first: '0' + (b & 15), then '0' + (b >> 4), so the
// payload is 0x30 ... 0x3F and never a marker. A 16-bit word is two such
// bytes, low byte first.
//
// Identification reply: TIdentReply below. Data reply: 'S', the header words
// w1 (bending records) and w2, the record memory, 'P'. The dump is every whole
// character pair from offset 1 up to the 'P', so its bytes 0-3 are the
// header (TDumpHeader, app/dump_records.h); one character left over before
// the 'P' is no pair and is dropped.
//
// Only what is decoded is checked: a character of a pair that is read must be
// a payload character, and the data reply must carry at least the records
// its counts announce. The instrument may send anything in the positions
// nobody reads, and memory beyond the announced records is kept in the dump.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "toolkit/core/exceptions.h"

class TCommPortDriver;
class TTimer;

// Characters the reception buffer holds; bytes the dump holds.
inline constexpr size_t kRxBufferSize = 262144;
inline constexpr size_t kDumpBufferSize = 65536;
// Timer1: ms without an answer before the port is checked and searched.
inline constexpr unsigned kNoAnswerMs = 3000;
// The port search tries "\\.\COM1" ... "\\.\COM38".
inline constexpr int kSearchPortCount = 38;
// The only instrument family served.
inline constexpr uint8_t kServedFamily = 18;
// Subtypes below this are press instruments; the others are acoustic ones,
// whose memory holds bending records after the acoustic records.
inline constexpr uint8_t kFirstAcousticSubtype = 15;

// Modal results the link ends with (the dialog's mrOk and mrCancel).
inline constexpr int kLinkResultNone = 0;
inline constexpr int kLinkResultOk = 1;
inline constexpr int kLinkResultCancel = 2;

// The link's state; one instance lives as long as the program.
struct TLinkState {
  // 'V' (identification requested) or 'N' (records requested).
  char LinkPhase = 'V';
  // Received characters; reception appends at RxCount. A reset does not
  // clear the old contents, so nothing may look past RxCount.
  std::vector<uint8_t> RxBuffer = std::vector<uint8_t>(kRxBufferSize);
  size_t RxCount = 0;
  // An 'S' / a 'P' arrived since the last reset.
  bool StartSeen = false;
  bool EndSeen = false;
  // The record transfer's progress: running, w1 + w2, index of the data
  // reply's 'S' plus 9, and the characters the reply carries at least after
  // its 'S' (two for every byte of the records announced).
  bool ProgressRunning = false;
  uint32_t ProgressTotal = 0;
  size_t PayloadStart = 0;
  uint64_t ExpectedChars = 0;
  // The last probe was echoed.
  bool ProbeAnswered = false;
};

// The identity of the instrument, as its last identification gave it.
struct TInstrumentIdentity {
  uint8_t DeviceFamily = 0;
  uint8_t DeviceSubtype = 0;
  uint16_t DeviceSerial = 0;
  // Records of the first kind in the dump (0-255).
  uint8_t DumpRecordCount = 0;
  // "dd.mm.yy" (fw_date_str) and "a.bc" (fw_ver_str).
  AnsiString FirmwareDate;
  AnsiString FirmwareVersion;
};

// The record dump of the last complete transfer.
struct TRecordDump {
  std::vector<uint8_t> DumpBuffer = std::vector<uint8_t>(kDumpBufferSize);
  uint32_t DumpLength = 0;
};

// Whether the identity is a press instrument's (else an acoustic one's).
inline bool IsPressInstrument(const TInstrumentIdentity& identity) {
  return identity.DeviceSubtype < kFirstAcousticSubtype;
}
// Bytes of the record memory that the identity's record count and the data
// reply's bending count (w1) announce.
uint64_t AnnouncedMemoryBytes(const TInstrumentIdentity& identity, uint16_t bending_records);

// Decoding of the wire's character pairs (modulo 256, as the instrument's
// own code reads them) and the identity's texts.
uint8_t nib2byte(const uint8_t* chars);
uint16_t nib2word(const uint8_t* chars);
AnsiString fw_date_str(uint8_t year, uint8_t month, uint8_t day);
AnsiString fw_ver_str(uint8_t first, uint8_t second, uint8_t third);
// The index of the first c in the received characters from index from on,
// or -1; never looks at stale characters past RxCount.
long find_byte(const TLinkState& state, uint8_t c, size_t from = 0);
// Whether a character is one of the payload's '0' ... '?'.
inline bool IsPayloadChar(uint8_t c) { return c >= 0x30 && c <= 0x3F; }

// The identification reply, by character offset from its 'S':
//    1 family (18 is the only one served)   3 subtype
//    5 year in the century   7 month   9 day (the firmware date)
//   11 not read
//   12 serial number (word)
//   16, 18, 20 the firmware version's three bytes
//   22 not read
//   23 record count (records of the first kind in the memory)
//   25 on, up to the 'P': not read
struct TIdentReply {
  // Characters from the 'S' up to the last one that is read.
  static constexpr size_t Size = 25;
  uint8_t Family = 0;
  uint8_t Subtype = 0;
  uint8_t Year = 0;
  uint8_t Month = 0;
  uint8_t Day = 0;
  uint16_t Serial = 0;
  uint8_t Version[3] = {0, 0, 0};
  uint8_t RecordCount = 0;

  // Reads the Size characters at frame (frame[0] is the 'S'). Nothing when a
  // character of a pair it reads is not a payload character; the positions
  // it does not read are not looked at.
  static std::optional<TIdentReply> DecodeFrom(const uint8_t* frame);
};

// What the link needs of the serial port.
class TLinkPort {
 public:
  virtual ~TLinkPort() = default;
  // Ignored while the port is open.
  virtual void SetPortName(const AnsiString& name) = 0;
  virtual AnsiString PortName() const = 0;
  // True when the port is open afterwards (also when it already was).
  virtual bool OpenPort() = 0;
  virtual void ClosePort() = 0;
  virtual bool PutByte(uint8_t value) = 0;
  // Reads one byte synchronously (the poll paused), giving up after the
  // port's input time-out.
  virtual bool FetchByte(uint8_t* value) = 0;
};

// TLinkPort over the serial port component.
class TCommPortLinkPort : public TLinkPort {
 public:
  explicit TCommPortLinkPort(TCommPortDriver& port) : port_(port) {}
  void SetPortName(const AnsiString& name) override;
  AnsiString PortName() const override;
  bool OpenPort() override;
  void ClosePort() override;
  bool PutByte(uint8_t value) override;
  bool FetchByte(uint8_t* value) override;

 private:
  TCommPortDriver& port_;
};

// What the link shows and asks of its window. All texts are 1251.
class TLinkView {
 public:
  virtual ~TLinkView() = default;
  virtual void SetCaption(const AnsiString& text) = 0;
  // StaticText2: the status line.
  virtual void SetStatusText(const AnsiString& text) = 0;
  // StaticText5: the instrument type.
  virtual void SetInstrumentType(const AnsiString& text) = 0;
  // StaticText1: the firmware date.
  virtual void SetFirmwareDate(const AnsiString& text) = 0;
  // StaticText7: the record count (only ever cleared).
  virtual void SetRecordCount(const AnsiString& text) = 0;
  // Label1: the port search line.
  virtual void SetSearchText(const AnsiString& text) = 0;
  // ProgressBar1, 0 ... 100.
  virtual void SetProgress(int position) = 0;
  virtual void Repaint() = 0;
  // An error message dialog with an OK button.
  virtual void ShowError(const AnsiString& text) = 0;
  // A message box with a caption and the error icon.
  virtual void ShowErrorBox(const AnsiString& text, const AnsiString& caption) = 0;
  // Ends the modal loop with kLinkResultOk or kLinkResultCancel.
  virtual void EndModal(int result) = 0;
  // Timer1: arm for ms, or stop.
  virtual void ArmTimer(unsigned ms) = 0;
  virtual void StopTimer() = 0;
};

// The protocol logic. The window calls Start from FormShow, Receive from the
// port's OnReceiveData, NoAnswer from Timer1, Cancel from the "Отмена"
// button and Close from FormClose; each runs to completion.
class TLinkProtocol {
 public:
  TLinkProtocol(TLinkPort& port, TLinkView& view) : port_(port), view_(view) {}

  void Start();
  void Receive(const uint8_t* chars, size_t count);
  void NoAnswer();
  void Cancel();
  // Stops Timer1 and closes the port, however the window closes (a window
  // closed by the system would otherwise keep the port locked while hidden).
  void Close();
  // The probe: sends 'Z' and reads one byte; true (ProbeAnswered) when it is 'Z'.
  bool Com_Connect();

  const TLinkState& State() const { return state_; }
  const TInstrumentIdentity& Identity() const { return identity_; }
  const TRecordDump& Dump() const { return dump_; }
  // Whether the link has ended since the last Start, and with which result.
  bool Ended() const { return result_ != kLinkResultNone; }
  int Result() const { return result_; }

 private:
  void ResetLink();
  void End(int result);
  void Fail(const AnsiString& text);
  void ParseIdentification();
  bool CheckDataHeader();
  void UpdateProgress();
  void BuildDump();

  TLinkPort& port_;
  TLinkView& view_;
  TLinkState state_;
  TInstrumentIdentity identity_;
  TRecordDump dump_;
  int result_ = kLinkResultNone;
  int shown_progress_ = -1;
};

// Gives a port the settings of the link dialog's CommPortDriver1.
void ConfigureLinkPort(TCommPortDriver& port);

// The link without a window: a port configured as the dialog's, Timer1 and
// a view that keeps what the dialog would show.
class TLinkRunner : public TLinkView {
 public:
  TLinkRunner();
  ~TLinkRunner() override;

  TCommPortDriver& Port() { return *port_; }
  TLinkProtocol& Protocol() { return *protocol_; }
  TTimer& Timer1() { return *timer_; }

  // FormShow: starts the exchange (the event loop does the rest).
  void Start();
  // The "Отмена" button.
  void Cancel();
  // Starts and runs the event loop until the link ends or max_wait_ms pass,
  // then cancels; returns the result.
  int Run(int max_wait_ms);
  bool Ended() const { return protocol_->Ended(); }
  int Result() const { return protocol_->Result(); }

  // What the window shows now.
  AnsiString Caption, StatusText, InstrumentType, FirmwareDate, RecordCount, SearchText;
  int Progress = 0;
  // Every port search line and every message in the order shown.
  std::vector<AnsiString> SearchLines;
  std::vector<AnsiString> Messages;
  AnsiString MessageCaption;

  void SetCaption(const AnsiString& text) override { Caption = text; }
  void SetStatusText(const AnsiString& text) override { StatusText = text; }
  void SetInstrumentType(const AnsiString& text) override { InstrumentType = text; }
  void SetFirmwareDate(const AnsiString& text) override { FirmwareDate = text; }
  void SetRecordCount(const AnsiString& text) override { RecordCount = text; }
  void SetSearchText(const AnsiString& text) override;
  void SetProgress(int position) override { Progress = position; }
  void Repaint() override {}
  void ShowError(const AnsiString& text) override { Messages.push_back(text); }
  void ShowErrorBox(const AnsiString& text, const AnsiString& caption) override;
  void EndModal(int result) override;
  void ArmTimer(unsigned ms) override;
  void StopTimer() override;

 private:
  std::unique_ptr<TCommPortDriver> port_;
  std::unique_ptr<TTimer> timer_;
  std::unique_ptr<TCommPortLinkPort> link_port_;
  std::unique_ptr<TLinkProtocol> protocol_;
};
