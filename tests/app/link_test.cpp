// The link's protocol logic alone, over a scripted port and a recording window.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/link.h"
#include "toolkit/core/text.h"

namespace link_test {

const std::string kCom1 = "\\\\.\\COM1";

// Encoding as the instrument does it: low nibble first.
std::string Pair(uint8_t b) { return {char('0' + (b & 15)), char('0' + (b >> 4))}; }

struct Ident {
  uint8_t family = 18, subtype = 20, year = 6, month = 5, day = 12;
  uint16_t serial = 1234;
  uint8_t v1 = 1, v2 = 2, v3 = 5, count = 3;
};

std::string IdentFrame(const Ident& i) {
  return "S" + Pair(i.family) + Pair(i.subtype) + Pair(i.year) + Pair(i.month) + Pair(i.day) + "0" +
         Pair(uint8_t(i.serial)) + Pair(uint8_t(i.serial >> 8)) + Pair(i.v1) + Pair(i.v2) + Pair(i.v3) + "0" +
         Pair(i.count) + "P";
}

// The bytes of a run of character pairs.
std::string BytesOfPairs(const std::string& chars) {
  std::string bytes;
  for (size_t at = 0; at + 1 < chars.size(); at += 2) bytes += char((chars[at] - '0') | (chars[at + 1] - '0') << 4);
  return bytes;
}

std::string DataFrame(const std::vector<uint8_t>& image) {
  std::string f = "S";
  for (uint8_t b : image) f += Pair(b);
  return f + "P";
}

std::vector<uint8_t> Image(size_t size, uint16_t w1 = 2, uint16_t w2 = 7) {
  std::vector<uint8_t> image(size);
  for (size_t i = 0; i < size; ++i) image[i] = uint8_t(i * 37 + 11);
  if (size >= 4) {
    image[0] = uint8_t(w1);
    image[1] = uint8_t(w1 >> 8);
    image[2] = uint8_t(w2);
    image[3] = uint8_t(w2 >> 8);
  }
  return image;
}

// A port whose devices and instruments are given by the test.
struct FakePort : TLinkPort {
  std::set<std::string> present;   // names that open
  std::set<std::string> answering; // names whose instrument echoes the probe
  std::string name = "\\\\.\\COM2";
  bool open = false;
  std::map<std::string, std::string> sent;  // bytes sent per port name

  void SetPortName(const AnsiString& n) override {
    if (!open) name = n;
  }
  AnsiString PortName() const override { return name; }
  bool OpenPort() override {
    if (!open) open = present.count(name) > 0;
    return open;
  }
  void ClosePort() override { open = false; }
  bool PutByte(uint8_t value) override {
    if (!open) return false;
    sent[name] += char(value);
    return true;
  }
  bool FetchByte(uint8_t* value) override {
    if (!open || !answering.count(name) || sent[name].empty() || sent[name].back() != 'Z') return false;
    *value = 'Z';
    return true;
  }
};

struct FakeView : TLinkView {
  AnsiString caption, status, type, date, count = "x", search;
  int progress = -1;
  std::vector<int> progress_steps;
  std::vector<AnsiString> search_lines, errors, boxes;
  AnsiString box_caption;
  int result = 0;
  int ends = 0;
  bool timer = false;
  unsigned timer_ms = 0;

  void SetCaption(const AnsiString& t) override { caption = t; }
  void SetStatusText(const AnsiString& t) override { status = t; }
  void SetInstrumentType(const AnsiString& t) override { type = t; }
  void SetFirmwareDate(const AnsiString& t) override { date = t; }
  void SetRecordCount(const AnsiString& t) override { count = t; }
  void SetSearchText(const AnsiString& t) override {
    search = t;
    search_lines.push_back(t);
  }
  void SetProgress(int p) override {
    progress = p;
    progress_steps.push_back(p);
  }
  void Repaint() override {}
  void ShowError(const AnsiString& t) override { errors.push_back(t); }
  void ShowErrorBox(const AnsiString& t, const AnsiString& c) override {
    boxes.push_back(t);
    box_caption = c;
  }
  void EndModal(int r) override {
    result = r;
    ++ends;
  }
  void ArmTimer(unsigned ms) override {
    timer = true;
    timer_ms = ms;
  }
  void StopTimer() override { timer = false; }
};

AnsiString A(const char* utf8) { return Utf8ToAnsi(utf8); }

// One link on COM1 with its port and window.
struct Session {
  FakePort port;
  FakeView view;
  TLinkProtocol link{port, view};

  Session() { port.present = {kCom1}; }
  void Feed(const std::string& chars) {
    link.Receive(reinterpret_cast<const uint8_t*>(chars.data()), chars.size());
  }
};

struct LinkFixture : ::testing::Test, Session {
  void FeedByChunks(const std::string& chars, size_t chunk) {
    for (size_t at = 0; at < chars.size(); at += chunk) Feed(chars.substr(at, chunk));
  }
  std::string Dump() const {
    const auto& d = link.Dump();
    return std::string(d.DumpBuffer.begin(), d.DumpBuffer.begin() + d.DumpLength);
  }
};

TEST_F(LinkFixture, StartShowsWaitingOpensFirstPortAndAsksForIdentification) {
  link.Start();
  EXPECT_EQ(view.caption, A("Прием данных"));
  EXPECT_EQ(view.status, A("Ожидание готовности прибора ..."));
  EXPECT_EQ(view.count, "");
  EXPECT_EQ(view.type, "");
  EXPECT_EQ(view.date, "");
  EXPECT_EQ(view.progress, 0);
  EXPECT_EQ(port.name, kCom1);
  EXPECT_TRUE(port.open);
  EXPECT_EQ(port.sent[kCom1], "V");
  EXPECT_TRUE(view.timer);
  EXPECT_EQ(view.timer_ms, 3000u);
  EXPECT_EQ(link.State().LinkPhase, 'V');
  EXPECT_FALSE(link.Ended());
}

struct IdentCase {
  const char* what;
  Ident ident;
  const char* date;
  const char* version;
};

TEST_F(LinkFixture, IdentificationFieldsAreReadFromTheFrame) {
  const IdentCase cases[] = {
      {"example of the protocol", {18, 20, 6, 5, 12, 1234, 1, 2, 5, 3}, "12.05.06", "1.25"},
      {"two-digit parts keep no padding", {18, 3, 99, 12, 31, 65535, 10, 0, 0, 255}, "31.12.99", "10.00"},
      {"zero parts get a leading zero", {18, 0, 0, 1, 9, 0, 0, 0, 0, 0}, "09.01.00", "0.00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Session s;
    auto [p, v, l] = std::tie(s.port, s.view, s.link);
    l.Start();
    const std::string frame = IdentFrame(c.ident);
    s.Feed(frame);
    EXPECT_EQ(l.Identity().DeviceFamily, 18);
    EXPECT_EQ(l.Identity().DeviceSubtype, c.ident.subtype);
    EXPECT_EQ(l.Identity().DeviceSerial, c.ident.serial);
    EXPECT_EQ(l.Identity().DumpRecordCount, c.ident.count);
    EXPECT_EQ(l.Identity().FirmwareDate, c.date);
    EXPECT_EQ(l.Identity().FirmwareVersion, c.version);
    EXPECT_EQ(v.date, c.date);
    EXPECT_EQ(v.status, A("Идет прием информации ..."));
    EXPECT_EQ(v.type, A("ЛИВТ-КС7"));
    EXPECT_EQ(p.sent[kCom1], "VN");
    EXPECT_EQ(l.State().LinkPhase, 'N');
    EXPECT_EQ(l.State().RxCount, 0u);
    EXPECT_FALSE(v.timer);  // the 'S' stopped Timer1
  }
}

TEST_F(LinkFixture, IdentificationIsParsedOnlyWhenItsEndMarkerArrives) {
  const std::string frame = IdentFrame({});
  for (size_t chunk : {size_t(1), size_t(2), size_t(5), size_t(25)}) {
    SCOPED_TRACE(chunk);
    Session s;
    auto [p, v, l] = std::tie(s.port, s.view, s.link);
    l.Start();
    for (size_t at = 0; at < frame.size(); at += chunk) {
      EXPECT_EQ(p.sent[kCom1], "V") << "'N' sent before the frame was complete, at " << at;
      const std::string piece = frame.substr(at, chunk);
      s.Feed(piece);
    }
    EXPECT_EQ(p.sent[kCom1], "VN");
    EXPECT_EQ(l.Identity().DeviceSerial, 1234);
  }
}

TEST_F(LinkFixture, OnlyFamily18IsServed) {
  // 18 is 0x12. 24 (0x18) catches a hex reading; 2 and 34 share a nibble
  // with 18, so both characters of the pair must count.
  for (int family : {17, 19, 24, 2, 34, 0, 255}) {
    SCOPED_TRACE(family);
    Session s;
    auto [p, v, l] = std::tie(s.port, s.view, s.link);
    l.Start();
    Ident wrong;
    wrong.family = uint8_t(family);
    wrong.serial = 777;
    s.Feed(IdentFrame(wrong));
    EXPECT_EQ(v.errors, std::vector<AnsiString>{A("Вы подключили не тот прибор !")});
    EXPECT_EQ(v.result, kLinkResultCancel);
    EXPECT_EQ(l.Result(), kLinkResultCancel);
    EXPECT_EQ(p.sent[kCom1], "V") << "nothing may be sent after the 'V'";
    EXPECT_FALSE(p.open);
    EXPECT_EQ(v.status, A("Ожидание готовности прибора ...")) << "the refused instrument is not shown";
    EXPECT_EQ(v.type, "");
    EXPECT_EQ(v.date, "");
    // The identity keeps what the refused instrument said.
    EXPECT_EQ(l.Identity().DeviceFamily, family);
    EXPECT_EQ(l.Identity().DeviceSerial, 777);
    // Nothing after the end changes the outcome.
    s.Feed(IdentFrame({}));
    EXPECT_EQ(v.ends, 1);
    EXPECT_EQ(p.sent[kCom1], "V");
  }
}

TEST_F(LinkFixture, IdentificationPositionsNobodyReadsMayHoldAnyCharacter) {
  const std::string good = IdentFrame({});
  const std::string read = good.substr(0, 25);  // 'S' to the record count
  const struct {
    const char* what;
    std::string frame;
  } cases[] = {
      {"offsets 11 and 22", read.substr(0, 11) + "x" + read.substr(12, 10) + "\xFF" + read.substr(23) + "P"},
      {"characters after the record count", read + "@ x\xFF/0123456789P"},
      {"both, in pieces", read.substr(0, 11) + "~" + read.substr(12, 10) + " " + read.substr(23) + "\x80\x7FP"},
  };
  for (const auto& c : cases) {
    for (size_t chunk : {size_t(1), size_t(1000)}) {
      SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
      Session s;
      s.link.Start();
      for (size_t at = 0; at < c.frame.size(); at += chunk) s.Feed(c.frame.substr(at, chunk));
      EXPECT_TRUE(s.view.errors.empty());
      EXPECT_EQ(s.port.sent[kCom1], "VN");
      EXPECT_EQ(s.link.Identity().DeviceSerial, 1234);
      EXPECT_EQ(s.link.Identity().DumpRecordCount, 3);
      EXPECT_EQ(s.link.Identity().FirmwareVersion, "1.25");
      s.Feed(DataFrame(Image(128)));
      EXPECT_EQ(s.link.Result(), kLinkResultOk);
    }
  }
}

struct DumpCase {
  const char* what;
  Ident ident;
  std::string reply;       // after the identification
  std::string dump;        // expected dump bytes
};

TEST_F(LinkFixture, DataReplyBecomesTheDump) {
  // The default identification announces 3 acoustic records, the header's w1
  // two bending records: 3 * 32 + 2 * 16 bytes.
  const auto image = Image(128);
  const std::string whole(image.begin(), image.end());
  const std::string body = DataFrame(image).substr(0, 1 + 2 * 128);  // without the 'P'
  Ident empty;
  empty.count = 0;
  const DumpCase cases[] = {
      {"header and records", {}, DataFrame(image), whole},
      {"header only", empty, DataFrame(Image(4, 0, 7)), std::string("\x00\x00\x07\x00", 4)},
      {"noise before the start marker", {}, "01" + DataFrame(image), whole},
      {"characters after the end marker", {}, DataFrame(image) + "0123", whole},
      // A character left over before the 'P' is no pair: it is dropped
      // unread, whatever it is.
      {"a single character before the end", {}, body + "3P", whole},
      {"a single character outside the payload's before the end", {}, body + "@P", whole},
      // The instrument's memory may reach beyond what its counts announce:
      // the whole pairs are kept as they came.
      {"memory beyond the announced records", {}, body + Pair(0xA5) + Pair(0x00) + Pair(0xFF) + "P",
       whole + std::string("\xA5\x00\xFF", 3)},
      {"memory beyond them and a character left over", {}, body + Pair(0x5A) + "?P", whole + "\x5A"},
      // A character added inside the reply shifts the pairs after it by one
      // character; the pairs are whole and payload characters all the same.
      {"a character added", {}, body.substr(0, 41) + "3" + body.substr(41) + "P",
       whole.substr(0, 20) + BytesOfPairs(("3" + body.substr(41)).substr(0, 2 * 108))},
  };
  for (const auto& c : cases) {
    for (size_t chunk : {size_t(1), size_t(3), size_t(1000)}) {
      SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
      Session s;
      auto [p, v, l] = std::tie(s.port, s.view, s.link);
      l.Start();
      const std::string all = IdentFrame(c.ident);
      s.Feed(all);
      for (size_t at = 0; at < c.reply.size() && !l.Ended(); at += chunk) {
        const std::string piece = c.reply.substr(at, chunk);
        s.Feed(piece);
      }
      ASSERT_EQ(l.Result(), kLinkResultOk);
      const auto& d = l.Dump();
      EXPECT_EQ(std::string(d.DumpBuffer.begin(), d.DumpBuffer.begin() + d.DumpLength), c.dump);
      EXPECT_FALSE(p.open);
      EXPECT_EQ(v.progress, 100);
      EXPECT_TRUE(std::is_sorted(v.progress_steps.begin(), v.progress_steps.end()));
    }
  }
}

TEST_F(LinkFixture, DamagedTransfersAreRefusedWithTheReceiveErrorAndTheDumpIsKept) {
  const std::string good = DataFrame(Image(128));
  const std::string body = good.substr(0, good.size() - 1);  // without the 'P'
  const struct {
    const char* what;
    std::string ident;
    std::string reply;
  } cases[] = {
      {"a lost character", IdentFrame({}), body.substr(0, 40) + body.substr(41) + "P"},
      {"a lost pair", IdentFrame({}), body.substr(0, 40) + body.substr(42) + "P"},
      {"a character short of the announced records", IdentFrame({}), body.substr(0, body.size() - 1) + "P"},
      {"a pair short of them, a character left over", IdentFrame({}), body.substr(0, body.size() - 3) + "0P"},
      {"a character above '?'", IdentFrame({}), body.substr(0, 40) + "@" + body.substr(41) + "P"},
      {"a character below '0'", IdentFrame({}), body.substr(0, 40) + "/" + body.substr(41) + "P"},
      {"a byte of the upper half", IdentFrame({}), body.substr(0, 40) + "\xB3" + body.substr(41) + "P"},
      {"a second start marker", IdentFrame({}), body.substr(0, 40) + "S" + body.substr(41) + "P"},
      {"a garbled header word", IdentFrame({}), "S0A" + body.substr(3) + "P"},
      {"a garbled pair beyond the announced records", IdentFrame({}), body + "0@P"},
      {"a garbled identification", "S2A" + IdentFrame({}).substr(3), ""},
  };
  for (const auto& c : cases) {
    for (size_t chunk : {size_t(1), size_t(1000)}) {
      SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
      Session s;
      auto [p, v, l] = std::tie(s.port, s.view, s.link);
      l.Start();
      s.Feed(IdentFrame({}));
      s.Feed(good);
      ASSERT_EQ(l.Result(), kLinkResultOk);
      const std::string first(l.Dump().DumpBuffer.begin(), l.Dump().DumpBuffer.begin() + l.Dump().DumpLength);
      p.present = {kCom1};
      l.Start();
      // The identification is read from a chunk of its own (what follows it
      // in its chunk is dropped, as the instrument waits for the 'N').
      s.Feed(c.ident);
      for (size_t at = 0; at < c.reply.size() && !l.Ended(); at += chunk) s.Feed(c.reply.substr(at, chunk));
      EXPECT_EQ(l.Result(), kLinkResultCancel);
      EXPECT_EQ(v.errors, std::vector<AnsiString>{A("Ошибка приема данных!")});
      EXPECT_FALSE(p.open);
      EXPECT_NE(v.progress, 100);
      const std::string after(l.Dump().DumpBuffer.begin(), l.Dump().DumpBuffer.begin() + l.Dump().DumpLength);
      EXPECT_EQ(after, first);
    }
  }
}

TEST_F(LinkFixture, EmptyMemoryEndsWithNoDataEvenWhenMoreCharactersFollow) {
  link.Start();
  Feed(IdentFrame({}));
  Feed("S" + Pair(0) + Pair(0) + Pair(0) + Pair(0) + "0123");
  EXPECT_EQ(view.errors, std::vector<AnsiString>{A("Нет данных для передачи!")});
  EXPECT_EQ(link.Result(), kLinkResultCancel);
  EXPECT_FALSE(port.open);
  EXPECT_EQ(link.Dump().DumpLength, 0u);
}

TEST_F(LinkFixture, DumpOfTheLastTransferSurvivesAFailedOne) {
  link.Start();
  Feed(IdentFrame({}));
  Feed(DataFrame(Image(128)));
  ASSERT_EQ(link.Result(), kLinkResultOk);
  const std::string first = Dump();
  port.present = {kCom1};
  link.Start();
  Feed(IdentFrame({}));
  Feed(DataFrame(Image(4, 0, 0)));
  EXPECT_EQ(link.Result(), kLinkResultCancel);
  EXPECT_EQ(Dump(), first);
}

TEST_F(LinkFixture, ZInAChunkDropsTheRestAndRestartsWithV) {
  link.Start();
  Feed(IdentFrame({}));
  const std::string reply = DataFrame(Image(128));
  Feed(reply.substr(0, 15));
  Feed("0123Z" + reply.substr(0, 9) + "P");  // everything after the 'Z' is dropped
  EXPECT_EQ(port.sent[kCom1], "VNV");
  EXPECT_EQ(link.State().LinkPhase, 'V');
  EXPECT_EQ(link.State().RxCount, 0u);
  EXPECT_FALSE(link.State().StartSeen);
  EXPECT_FALSE(link.State().EndSeen);
  EXPECT_FALSE(link.Ended());
  // The exchange goes on from the start.
  Feed(IdentFrame({}));
  Feed(reply);
  EXPECT_EQ(port.sent[kCom1], "VNVN");
  EXPECT_EQ(link.Result(), kLinkResultOk);
  EXPECT_EQ(link.Dump().DumpLength, 128u);
}

TEST_F(LinkFixture, AZBeforeAnyFrameStopsTimer1AndAsksAgain) {
  link.Start();
  ASSERT_TRUE(view.timer);
  Feed("0S1Z");
  EXPECT_FALSE(view.timer) << "a 'Z' must stop Timer1; nothing arms it again";
  EXPECT_EQ(port.sent[kCom1], "VV");
  EXPECT_EQ(link.State().RxCount, 0u);
  EXPECT_FALSE(link.State().StartSeen);
  Feed(IdentFrame({}));
  EXPECT_EQ(port.sent[kCom1], "VVN");
}

TEST_F(LinkFixture, StaleBufferContentsNeverCountAsMarkers) {
  // A long transfer leaves 'S' and 'P' far into the buffer.
  link.Start();
  Feed(IdentFrame({}));
  Feed("000000" + DataFrame(Image(128)));
  ASSERT_EQ(link.Result(), kLinkResultOk);
  port.present = {kCom1};
  link.Start();
  Feed("01");
  EXPECT_FALSE(link.State().StartSeen);
  EXPECT_FALSE(link.State().EndSeen);
  EXPECT_EQ(find_byte(link.State(), 'S'), -1);
  EXPECT_EQ(find_byte(link.State(), 'P'), -1);
  // An end marker now, with the old start marker only in stale contents.
  Feed("0P");
  EXPECT_FALSE(link.Ended());
  EXPECT_EQ(port.sent[kCom1], "VNV");
}

TEST_F(LinkFixture, MalformedFramesAreIgnoredAndTheLinkWaits) {
  struct Case {
    const char* what;
    std::string before;  // in the identification phase
    std::string data;    // in the records phase
  };
  const Case cases[] = {
      {"end marker without start", "0123P", ""},
      {"identification too short", "S" + std::string(23, '0') + "P", ""},
      {"data reply ends inside its header", "", "S1234P"},
      {"data reply header cut by its end marker", "", "S1234567P0000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Session s;
    auto [p, v, l] = std::tie(s.port, s.view, s.link);
    l.Start();
    auto feed = [&](const std::string& chars) { s.Feed(chars); };
    feed(c.before);
    if (c.data.empty()) {
      EXPECT_EQ(p.sent[kCom1], "V");
      EXPECT_FALSE(l.Ended());
      feed(IdentFrame({}));  // a good frame after the bad one is read
      EXPECT_EQ(p.sent[kCom1], "VN");
    } else {
      feed(IdentFrame({}));
      feed(c.data);
      EXPECT_FALSE(l.Ended());
      EXPECT_TRUE(p.open);
    }
    EXPECT_TRUE(v.errors.empty());
  }
}

TEST_F(LinkFixture, RepliesLongerThanTheBuffersStopWithAnError) {
  // 255 acoustic records and 3,587 bending ones announce 65,552 bytes: more
  // than the dump holds.
  Ident most;
  most.count = 255;
  {
    Session s;
    auto [p, v, l] = std::tie(s.port, s.view, s.link);
    l.Start();
    const std::string ident = IdentFrame(most);
    s.Feed(ident);
    const std::string reply = DataFrame(Image(255 * 32 + 3587 * 16, 3587));
    s.Feed(reply);
    EXPECT_EQ(l.Result(), kLinkResultCancel);
    EXPECT_EQ(v.errors, std::vector<AnsiString>{A("Ошибка приема данных!")});
    EXPECT_FALSE(p.open);
  }
  // More characters than the reception buffer without an end marker.
  {
    Session s;
    auto [p, v, l] = std::tie(s.port, s.view, s.link);
    l.Start();
    const std::string noise(kRxBufferSize - 10, '0');
    s.Feed(noise);
    EXPECT_FALSE(l.Ended());
    s.Feed(noise.substr(0, 11));
    EXPECT_EQ(l.Result(), kLinkResultCancel);
    EXPECT_EQ(l.State().RxCount, kRxBufferSize - 10);
  }
  // The largest memory fits exactly: 255 * 32 + 3,586 * 16 bytes.
  {
    Session s;
    auto [p, v, l] = std::tie(s.port, s.view, s.link);
    l.Start();
    const std::string ident = IdentFrame(most);
    s.Feed(ident);
    const auto image = Image(kDumpBufferSize, 3586);
    const std::string reply = DataFrame(image);
    s.Feed(reply);
    ASSERT_EQ(l.Result(), kLinkResultOk);
    EXPECT_EQ(l.Dump().DumpLength, kDumpBufferSize);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), l.Dump().DumpBuffer.begin()));
  }
  // Memory beyond the announced records that reaches past the dump: the dump
  // keeps what it holds, every announced record among it.
  {
    Session s;
    auto [p, v, l] = std::tie(s.port, s.view, s.link);
    l.Start();
    const std::string ident = IdentFrame(most);
    s.Feed(ident);
    const auto image = Image(kDumpBufferSize + 100, 3586);
    const std::string reply = DataFrame(image);
    s.Feed(reply);
    ASSERT_EQ(l.Result(), kLinkResultOk);
    EXPECT_EQ(l.Dump().DumpLength, kDumpBufferSize);
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + kDumpBufferSize, l.Dump().DumpBuffer.begin()));
    EXPECT_TRUE(v.errors.empty());
  }
}

TEST_F(LinkFixture, NoAnswerOnAnOpenPortKeepsWaiting) {
  link.Start();
  link.NoAnswer();
  EXPECT_FALSE(view.timer);
  EXPECT_FALSE(link.Ended());
  EXPECT_TRUE(view.search_lines.empty());
  EXPECT_EQ(view.status, A("Ожидание готовности прибора ..."));
  // The instrument may still answer.
  Feed(IdentFrame({}));
  Feed(DataFrame(Image(128)));
  EXPECT_EQ(link.Result(), kLinkResultOk);
}

TEST_F(LinkFixture, PortSearchFindsTheInstrumentOnCom5) {
  port.present = {"\\\\.\\COM3", "\\\\.\\COM5", "\\\\.\\COM7"};  // COM3 opens but nobody answers
  port.answering = {"\\\\.\\COM5", "\\\\.\\COM7"};
  link.Start();
  EXPECT_FALSE(port.open);
  link.NoAnswer();
  std::vector<AnsiString> expected;
  for (int n = 1; n <= 5; ++n) expected.push_back(A("Поиск прибора....ComPort №") + "\\\\.\\COM" + std::to_string(n));
  expected.push_back(A("Прибор найден ComPort №") + "\\\\.\\COM5");
  EXPECT_EQ(view.search_lines, expected);
  EXPECT_EQ(port.name, "\\\\.\\COM5");
  EXPECT_TRUE(port.open);
  EXPECT_EQ(port.sent["\\\\.\\COM3"], "Z");
  EXPECT_EQ(port.sent["\\\\.\\COM5"], "ZV");
  EXPECT_EQ(port.sent.count("\\\\.\\COM7"), 0u);
  EXPECT_TRUE(view.timer);
  EXPECT_EQ(view.timer_ms, 3000u);
  EXPECT_FALSE(link.State().ProbeAnswered);
  EXPECT_FALSE(link.Ended());
  Feed(IdentFrame({}));
  Feed(DataFrame(Image(128)));
  EXPECT_EQ(link.Result(), kLinkResultOk);
  EXPECT_EQ(port.sent["\\\\.\\COM5"], "ZVN");
}

TEST_F(LinkFixture, PortSearchWithoutAnswerEndsWithTheNotFoundBox) {
  port.present = {"\\\\.\\COM2"};
  link.Start();
  link.NoAnswer();
  EXPECT_EQ(view.search_lines.size(), 38u + 1);  // 38 ports, then the cleared line
  EXPECT_EQ(view.search_lines[37], A("Поиск прибора....ComPort №") + "\\\\.\\COM38");
  EXPECT_EQ(view.search, "");
  EXPECT_EQ(view.boxes,
            std::vector<AnsiString>{A("Прибор не обнаружен! Проверте правильность подключения согласно инструкции!")});
  EXPECT_EQ(view.box_caption, A("Ошибка"));
  EXPECT_EQ(link.Result(), kLinkResultCancel);
  EXPECT_EQ(port.name, kCom1);
  EXPECT_FALSE(port.open);
}

TEST_F(LinkFixture, CancelAtAnyMomentClosesThePortAndAStartBeginsOnCom1) {
  const std::string ident = IdentFrame({});
  const std::string reply = DataFrame(Image(128));
  const std::vector<std::string> before = {"", ident.substr(0, 7), ident, ident + reply.substr(0, 20)};
  for (const auto& fed : before) {
    SCOPED_TRACE(fed.size());
    Session s;
    auto [p, v, l] = std::tie(s.port, s.view, s.link);
    p.present = {"\\\\.\\COM4", kCom1};
    p.answering = {"\\\\.\\COM4"};
    p.name = "\\\\.\\COM4";
    p.OpenPort();  // an earlier run left COM4 open
    l.Start();
    EXPECT_EQ(p.name, "\\\\.\\COM4");  // the name cannot change while open
    s.Feed(fed);
    l.Cancel();
    EXPECT_EQ(l.Result(), kLinkResultCancel);
    EXPECT_FALSE(p.open);
    EXPECT_EQ(v.progress, 0);
    l.Start();
    EXPECT_EQ(p.name, kCom1);
    EXPECT_FALSE(l.Ended());
  }
}

TEST_F(LinkFixture, CloseStopsTheTimerAndReleasesThePort) {
  link.Start();
  ASSERT_TRUE(view.timer);
  link.Close();
  EXPECT_FALSE(view.timer);
  EXPECT_FALSE(port.open);
}

TEST_F(LinkFixture, ProgressFollowsTheAnnouncedRecordsAndEndsAt100) {
  struct Case {
    const char* what;
    uint8_t subtype;
    uint8_t count;  // records of the identification
    size_t memory;  // bytes the instrument sends
    uint16_t w1;    // bending records
    uint16_t w2;
  };
  const Case cases[] = {
      {"press: 22 bytes a record", 3, 10, 220, 60, 40},
      {"acoustic and bending: 32 and 16 bytes", 20, 4, 4 * 32 + 3 * 16, 3, 900},
      {"bending alone", 15, 0, 5 * 16, 5, 1},
      {"a header-sized memory", 3, 0, 4, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Session s;
    s.link.Start();
    Ident ident;
    ident.subtype = c.subtype;
    ident.count = c.count;
    s.Feed(IdentFrame(ident));
    const std::string reply = DataFrame(Image(c.memory, c.w1, c.w2));
    const size_t end = reply.size() - 1;  // the 'P'
    const size_t records = c.subtype < 15 ? c.count * 22 : c.count * 32 + c.w1 * 16;
    const size_t announced = 1 + 2 * std::max<size_t>(4, records);  // with the 'S'
    int at_half = -1;
    for (size_t at = 0; at < end; at += 7) {
      s.Feed(reply.substr(at, std::min<size_t>(7, end - at)));
      if (at_half < 0 && at + 7 >= announced / 2) at_half = s.view.progress;
    }
    // A reply no longer than its header is done before the bar starts.
    if (c.memory > 4) {
      // Every announced character is in, but only the 'P' ends the transfer.
      EXPECT_EQ(s.view.progress, 99);
      EXPECT_GE(at_half, 40);
      EXPECT_LE(at_half, 60);
    }
    s.Feed("P");
    EXPECT_EQ(s.link.Result(), kLinkResultOk);
    EXPECT_TRUE(std::is_sorted(s.view.progress_steps.begin(), s.view.progress_steps.end()));
    EXPECT_EQ(s.view.progress_steps.back(), 100);
    EXPECT_EQ(std::count(s.view.progress_steps.begin(), s.view.progress_steps.end(), 100), 1);
  }
}

TEST(LinkWire, PairsDecodeModulo256) {
  const struct {
    const char* chars;
    int byte;
  } cases[] = {{"00", 0}, {"?0", 15}, {"0?", 240}, {"??", 255}, {"21", 0x12}, {"P0", 0x20},
               // Characters outside the payload range still decode modulo 256.
               {"0P", 0x00}, {"/0", 0xFF}, {"10", 0x01}, {"01", 0x10}};
  for (const auto& c : cases)
    EXPECT_EQ(nib2byte(reinterpret_cast<const uint8_t*>(c.chars)), c.byte) << c.chars;
  EXPECT_EQ(nib2word(reinterpret_cast<const uint8_t*>("2?40")), 0x04F2);
}

}  // namespace link_test
