#include "app/link.h"

#include <algorithm>
#include <cstring>

#include "app/CPDrv.h"
#include "app/dump_records.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/event_loop.h"

namespace {

// The link's texts are written here in UTF-8 and shown in 1251.
AnsiString Text(const char* utf8) { return Utf8ToAnsi(utf8); }

constexpr const char* kCaption = "Прием данных";
constexpr const char* kWaiting = "Ожидание готовности прибора ...";
constexpr const char* kReceiving = "Идет прием информации ...";
constexpr const char* kInstrumentType = "ЛИВТ-КС7";
constexpr const char* kWrongInstrument = "Вы подключили не тот прибор !";
constexpr const char* kNoData = "Нет данных для передачи!";
constexpr const char* kSearching = "Поиск прибора....ComPort №";
constexpr const char* kFound = "Прибор найден ComPort №";
constexpr const char* kNotFound = "Прибор не обнаружен! Проверте правильность подключения согласно инструкции!";
constexpr const char* kErrorCaption = "Ошибка";
// A reply that overruns the reception buffer, announces more records than the
// dump holds, carries a character outside the payload's in a pair that is
// read, or ends before the records it announces: a damaged transfer is
// refused rather than stored with values lost or shifted.
constexpr const char* kReceiveError = "Ошибка приема данных!";

constexpr const char* kFirstPort = "\\\\.\\COM1";

AnsiString SearchPortName(int number) { return "\\\\.\\COM" + std::to_string(number); }

// Characters of the data reply's header after its 'S' (w1 and w2).
constexpr long kHeaderChars = 2 * long(TDumpHeader::Size);

// Reads character pairs at offsets from chars and keeps whether every pair
// read was made of payload characters, so that a layout checks exactly what
// it decodes.
class TPairReader {
 public:
  explicit TPairReader(const uint8_t* chars) : chars_(chars) {}
  uint8_t Byte(size_t at) {
    valid_ = valid_ && IsPayloadChar(chars_[at]) && IsPayloadChar(chars_[at + 1]);
    return nib2byte(chars_ + at);
  }
  uint16_t Word(size_t at) {
    const uint8_t low = Byte(at);
    return uint16_t(low | Byte(at + 2) << 8);
  }
  bool Valid() const { return valid_; }

 private:
  const uint8_t* chars_;
  bool valid_ = true;
};

}  // namespace

uint64_t AnnouncedMemoryBytes(const TInstrumentIdentity& identity, uint16_t bending_records) {
  const uint64_t records = identity.DumpRecordCount;
  if (IsPressInstrument(identity)) return records * TPressRecord::Size;
  return records * TAcousticRecord::Size + uint64_t(bending_records) * TBendingRecord::Size;
}

uint8_t nib2byte(const uint8_t* chars) { return uint8_t(((chars[1] - 0x30) << 4) + (chars[0] - 0x30)); }

uint16_t nib2word(const uint8_t* chars) { return uint16_t(nib2byte(chars) | (nib2byte(chars + 2) << 8)); }

std::optional<TIdentReply> TIdentReply::DecodeFrom(const uint8_t* frame) {
  TPairReader in(frame);
  TIdentReply r;
  r.Family = in.Byte(1);
  r.Subtype = in.Byte(3);
  r.Year = in.Byte(5);
  r.Month = in.Byte(7);
  r.Day = in.Byte(9);
  r.Serial = in.Word(12);
  for (size_t i = 0; i < 3; ++i) r.Version[i] = in.Byte(16 + 2 * i);
  r.RecordCount = in.Byte(23);
  if (!in.Valid()) return std::nullopt;
  return r;
}

AnsiString fw_date_str(uint8_t year, uint8_t month, uint8_t day) {
  auto two = [](uint8_t v) { return (v < 10 ? "0" : "") + std::to_string(v); };
  return two(day) + "." + two(month) + "." + two(year);
}

AnsiString fw_ver_str(uint8_t first, uint8_t second, uint8_t third) {
  return std::to_string(first) + "." + std::to_string(second) + std::to_string(third);
}

long find_byte(const TLinkState& state, uint8_t c, size_t from) {
  if (from >= state.RxCount) return -1;
  const void* hit = std::memchr(state.RxBuffer.data() + from, c, state.RxCount - from);
  return hit ? long(static_cast<const uint8_t*>(hit) - state.RxBuffer.data()) : -1;
}

// ---- TCommPortLinkPort --------------------------------------------------------

void TCommPortLinkPort::SetPortName(const AnsiString& name) { port_.SetPortName(name); }
AnsiString TCommPortLinkPort::PortName() const { return port_.PortName(); }
bool TCommPortLinkPort::OpenPort() { return port_.OpenPort(); }
void TCommPortLinkPort::ClosePort() { port_.ClosePort(); }
bool TCommPortLinkPort::PutByte(uint8_t value) { return port_.PutByte(value); }
bool TCommPortLinkPort::FetchByte(uint8_t* value) { return port_.FetchByte(value); }

// ---- TLinkProtocol --------------------------------------------------------------

void TLinkProtocol::ResetLink() {
  state_.StartSeen = false;
  state_.EndSeen = false;
  state_.RxCount = 0;
}

void TLinkProtocol::End(int result) {
  result_ = result;
  view_.EndModal(result);
}

void TLinkProtocol::Fail(const AnsiString& text) {
  port_.ClosePort();
  view_.ShowError(text);
  state_.StartSeen = false;
  state_.EndSeen = false;
  End(kLinkResultCancel);
}

void TLinkProtocol::Start() {
  result_ = kLinkResultNone;
  shown_progress_ = -1;
  port_.SetPortName(kFirstPort);
  ResetLink();
  state_.ProgressRunning = false;
  view_.SetProgress(0);
  view_.SetRecordCount("");
  view_.SetInstrumentType("");
  view_.SetFirmwareDate("");
  view_.SetStatusText(Text(kWaiting));
  view_.SetCaption(Text(kCaption));
  port_.OpenPort();
  state_.LinkPhase = 'V';
  port_.PutByte('V');
  view_.ArmTimer(kNoAnswerMs);
}

void TLinkProtocol::Receive(const uint8_t* chars, size_t count) {
  if (Ended() || count == 0) return;
  TLinkState& s = state_;
  // A 'Z' restarts the exchange: what came before it in the chunk is
  // forgotten by the reset, what follows it is dropped.
  if (std::memchr(chars, 'Z', count)) {
    view_.StopTimer();
    s.LinkPhase = 'V';
    ResetLink();
    port_.PutByte('V');
    return;
  }
  if (count > kRxBufferSize - s.RxCount) {
    Fail(Text(kReceiveError));
    return;
  }
  std::memcpy(s.RxBuffer.data() + s.RxCount, chars, count);
  // Only the new characters are scanned: stale contents past RxCount never count.
  if (std::memchr(chars, 'S', count)) {
    s.StartSeen = true;
    view_.StopTimer();
  }
  if (std::memchr(chars, 'P', count)) s.EndSeen = true;
  s.RxCount += count;

  if (s.LinkPhase == 'V' && s.EndSeen) {
    ParseIdentification();
    if (Ended()) return;
  }
  if (s.LinkPhase == 'N' && s.StartSeen && !s.ProgressRunning) {
    if (!CheckDataHeader()) return;
  }
  if (s.ProgressRunning) UpdateProgress();
  if (s.EndSeen && s.LinkPhase == 'N') {
    BuildDump();
  }
}

void TLinkProtocol::ParseIdentification() {
  TLinkState& s = state_;
  const long start = find_byte(s, 'S');
  const long end = start < 0 ? -1 : find_byte(s, 'P', size_t(start) + 1);
  if (end < 0) {
    // An end marker with no start marker before it: not a frame; wait on.
    s.EndSeen = false;
    return;
  }
  if (end - start < long(TIdentReply::Size)) {
    // Too short to hold the identification: dropped, the link waits for the
    // instrument to restart (or for Cancel).
    ResetLink();
    return;
  }
  const std::optional<TIdentReply> reply = TIdentReply::DecodeFrom(s.RxBuffer.data() + start);
  if (!reply) {
    Fail(Text(kReceiveError));
    return;
  }
  identity_.DeviceFamily = reply->Family;
  identity_.DeviceSubtype = reply->Subtype;
  identity_.FirmwareDate = fw_date_str(reply->Year, reply->Month, reply->Day);
  identity_.DeviceSerial = reply->Serial;
  identity_.FirmwareVersion = fw_ver_str(reply->Version[0], reply->Version[1], reply->Version[2]);
  identity_.DumpRecordCount = reply->RecordCount;
  if (identity_.DeviceFamily != kServedFamily) {
    Fail(Text(kWrongInstrument));
    return;
  }
  view_.SetFirmwareDate(identity_.FirmwareDate);
  s.StartSeen = false;
  s.EndSeen = false;
  s.LinkPhase = 'N';
  view_.SetStatusText(Text(kReceiving));
  view_.SetInstrumentType(Text(kInstrumentType));
  s.ProgressRunning = false;
  port_.PutByte('N');
  s.RxCount = 0;
}

bool TLinkProtocol::CheckDataHeader() {
  TLinkState& s = state_;
  const long c = find_byte(s, 'S');
  if (c < 0 || size_t(c) + 9 >= s.RxCount) return true;  // header not complete yet
  const long end = find_byte(s, 'P', size_t(c) + 1);
  if (end >= 0 && end - c - 1 < kHeaderChars) {
    // The end marker inside the header: not a data reply; wait on.
    ResetLink();
    return false;
  }
  // Its characters are checked with the rest of the dump when the reply ends.
  uint8_t bytes[TDumpHeader::Size];
  for (size_t i = 0; i < TDumpHeader::Size; ++i) bytes[i] = nib2byte(s.RxBuffer.data() + c + 1 + 2 * i);
  const TDumpHeader header = TDumpHeader::DecodeFrom(bytes);
  s.ProgressTotal = uint32_t(header.W1) + uint32_t(header.W2);
  s.PayloadStart = size_t(c) + 1 + size_t(kHeaderChars);
  // The header words are the memory's first bytes, so the whole reply after
  // the 'S' counts; a memory smaller than the header still sends the header.
  s.ExpectedChars = std::max<uint64_t>(2 * AnnouncedMemoryBytes(identity_, header.W1), uint64_t(kHeaderChars));
  if (s.ProgressTotal == 0) {
    Fail(Text(kNoData));
    return false;
  }
  s.ProgressRunning = true;
  return true;
}

void TLinkProtocol::UpdateProgress() {
  const TLinkState& s = state_;
  // The header's w1 + w2 counts something the instrument does not document,
  // so the bar follows the characters received after the 'S' against those
  // the announced records take. It stops short of 100 until the 'P' arrives:
  // a memory longer than announced must not show a finished transfer.
  const size_t reply_start = s.PayloadStart - size_t(kHeaderChars);
  const uint64_t received = s.RxCount > reply_start ? s.RxCount - reply_start : 0;
  const int position = int(std::min<uint64_t>(99, received * 100 / s.ExpectedChars));
  if (position != shown_progress_) {
    shown_progress_ = position;
    view_.SetProgress(position);
  }
}

void TLinkProtocol::BuildDump() {
  TLinkState& s = state_;
  const long start = find_byte(s, 'S');
  const long end = start < 0 ? -1 : find_byte(s, 'P', size_t(start) + 1);
  if (end < 0) {
    s.EndSeen = false;  // an end marker with no start before it
    return;
  }
  if (end - start - 1 < kHeaderChars) {
    ResetLink();  // too short for the header: not a data reply
    return;
  }
  // Every whole pair up to the 'P' is a dump byte; a character left over
  // before the 'P' is none. Memory beyond the announced records is kept as
  // far as the dump reaches, which holds every record announced.
  const size_t pairs = size_t(end - start - 1) / 2;
  const size_t kept = std::min(pairs, kDumpBufferSize);
  const uint8_t* f = s.RxBuffer.data() + start + 1;
  // A lost character leaves fewer pairs than announced; a garbled one is not
  // a payload character. Either would shift or change the values decoded.
  if (s.ExpectedChars > kDumpBufferSize * 2 || pairs * 2 < s.ExpectedChars ||
      !std::all_of(f, f + 2 * kept, IsPayloadChar)) {
    Fail(Text(kReceiveError));
    return;
  }
  for (size_t i = 0; i < kept; ++i) dump_.DumpBuffer[i] = nib2byte(f + 2 * i);
  port_.ClosePort();
  view_.SetProgress(100);
  s.StartSeen = false;
  s.EndSeen = false;
  dump_.DumpLength = uint32_t(kept);
  End(kLinkResultOk);
}

void TLinkProtocol::NoAnswer() {
  if (Ended()) return;
  view_.StopTimer();
  if (port_.OpenPort()) return;  // the port is there: keep waiting for the instrument
  for (int number = 1; number <= kSearchPortCount; ++number) {
    const AnsiString name = SearchPortName(number);
    port_.ClosePort();
    port_.SetPortName(name);
    view_.SetSearchText(Text(kSearching) + name);
    view_.Repaint();
    const bool open = port_.OpenPort();
    ResetLink();
    view_.SetProgress(0);
    if (open && Com_Connect()) {
      view_.SetSearchText(Text(kFound) + name);
      view_.Repaint();
      state_.LinkPhase = 'V';
      port_.PutByte('V');
      view_.ArmTimer(kNoAnswerMs);
      state_.ProbeAnswered = false;
      return;
    }
  }
  port_.ClosePort();
  port_.SetPortName(kFirstPort);
  ResetLink();
  view_.SetProgress(0);
  view_.ShowErrorBox(Text(kNotFound), Text(kErrorCaption));
  End(kLinkResultCancel);
  view_.SetSearchText("");
}

bool TLinkProtocol::Com_Connect() {
  port_.PutByte('Z');
  uint8_t answer = 0;
  state_.ProbeAnswered = port_.FetchByte(&answer) && answer == 'Z';
  return state_.ProbeAnswered;
}

void TLinkProtocol::Cancel() {
  port_.ClosePort();
  ResetLink();
  view_.SetProgress(0);
  End(kLinkResultCancel);
}

void TLinkProtocol::Close() {
  view_.StopTimer();
  port_.ClosePort();
}

// ---- The headless runner ----------------------------------------------------------

void ConfigureLinkPort(TCommPortDriver& port) {
  port.SetPortName(kFirstPort);
  port.SetBaudRateValue(115200);
  port.SetDataBits(db8BITS);
  port.SetParity(ptNONE);
  port.SetStopBits(sb2BITS);
  port.SetHwFlow(hfNONERTSON);
  port.SetSwFlow(sfNONE);
  port.SetInBufSize(4096);
  port.SetOutBufSize(4096);
  port.SetEnableDTROnOpen(false);
  port.SetPollingDelay(50);
  port.SetOutputTimeout(500);
  port.SetInputTimeout(200);
}

TLinkRunner::TLinkRunner() {
  port_ = std::make_unique<TCommPortDriver>(nullptr);
  ConfigureLinkPort(*port_);
  timer_ = std::make_unique<TTimer>(nullptr);
  timer_->SetEnabled(false);
  timer_->SetInterval(kNoAnswerMs);
  link_port_ = std::make_unique<TCommPortLinkPort>(*port_);
  protocol_ = std::make_unique<TLinkProtocol>(*link_port_, *this);
  port_->OnReceiveData = [this](TComponent*, const void* data, uint32_t size) {
    protocol_->Receive(static_cast<const uint8_t*>(data), size);
  };
  timer_->OnTimer = [this](TComponent*) { protocol_->NoAnswer(); };
}

TLinkRunner::~TLinkRunner() {
  port_->OnReceiveData = nullptr;
  timer_->OnTimer = nullptr;
  port_->ClosePort();
}

void TLinkRunner::Start() {
  SearchLines.clear();
  Messages.clear();
  MessageCaption.clear();
  protocol_->Start();
}

void TLinkRunner::Cancel() {
  if (!Ended()) protocol_->Cancel();
}

int TLinkRunner::Run(int max_wait_ms) {
  Start();
  if (!RunEventLoopUntil([this] { return Ended(); }, max_wait_ms)) Cancel();
  return Result();
}

void TLinkRunner::SetSearchText(const AnsiString& text) {
  SearchText = text;
  if (!text.empty()) SearchLines.push_back(text);
}

void TLinkRunner::ShowErrorBox(const AnsiString& text, const AnsiString& caption) {
  Messages.push_back(text);
  MessageCaption = caption;
}

void TLinkRunner::EndModal(int /*result*/) { protocol_->Close(); }

void TLinkRunner::ArmTimer(unsigned ms) {
  timer_->SetEnabled(false);
  timer_->SetInterval(ms);
  timer_->SetEnabled(true);
}

void TLinkRunner::StopTimer() { timer_->SetEnabled(false); }
