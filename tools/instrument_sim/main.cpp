// instrument_sim: plays the strength instrument on a pseudo-terminal.
//
// It makes a pseudo-terminal, links the slave side at --link PATH and answers
// the computer's command bytes until it is ended (SIGINT or SIGTERM):
//   'Z' -> 'Z' (presence probe)
//   'V' -> the identification reply
//   'N' -> the data reply with the record memory
// Replies are framed by 'S' ... 'P' and every payload byte travels as two
// characters, low nibble first ('0' + (b & 15), '0' + (b >> 4)).
//
// The memory it sends (the dump image) starts with the two 16-bit header
// words w1 (the number of bending records) and w2; records are laid out from
// offset 0 on, so the first record shares its first four bytes with them.
// A real instrument's memory may reach beyond the records its counts
// announce, and it sends what it likes in the identification's positions
// that carry no field: --surplus and --ident-unread play both.
#include <signal.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "toolkit/sys/serial.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

struct Options {
  std::string link;
  int family = 18;
  int subtype = 20;
  int serial = 1234;
  std::string records;
  int count = 0;  // the identification's record count with --records
  int press = -1;
  int acoustic = -1;
  int bending = 0;
  unsigned seed = 1;
  size_t chunk = 0;
  int delay_ms = 0;
  bool silent = false;
  long z_after = -1;  // send 'Z' once after this many characters of a data reply
  // Line faults in the data reply, by character offset from its 'S'.
  long lose = -1;    // the character there never arrives
  long garble = -1;  // the character there arrives as '@'
  long extra = -1;   // a '0' arrives before the character there
  std::string dump_out;
  // Characters for the identification's unread positions: offset 11, offset
  // 22, then the rest after the record count. Empty: '0', '0' and nothing.
  std::string ident_unread;
  // Bytes of memory after the announced records.
  int surplus = 0;
};

void Usage() {
  std::fprintf(stderr,
               "usage: instrument_sim --link PATH [--family N] [--subtype N] [--serial N]\n"
               "         (--records FILE [--count N] | --press N | --acoustic N [--bending M])\n"
               "         [--seed S] [--chunk N] [--delay-ms N] [--silent] [--dump-out FILE]\n"
               "         [--z-after N] [--lose N | --garble N | --extra N]\n"
               "         [--ident-unread TEXT] [--surplus N]\n"
               "  --records FILE  the dump image to send: header words w1, w2, then the memory\n"
               "  --count N       the identification's record count with --records (default 0)\n"
               "  --press N       N generated press records (22 bytes each, N <= 255)\n"
               "  --acoustic N    N generated acoustic records (32 bytes each, N <= 255)\n"
               "  --bending M     M generated bending records after them (16 bytes each)\n"
               "  --chunk N       write replies in pieces of N characters\n"
               "  --delay-ms N    wait N ms between pieces\n"
               "  --silent        never answer\n"
               "  --z-after N     once, break off the data reply after N characters with a 'Z'\n"
               "  --lose N        drop the data reply's character at offset N (the 'S' is 0)\n"
               "  --garble N      send '@' in place of the data reply's character at offset N\n"
               "  --extra N       send an extra '0' before the data reply's character at offset N\n"
               "  --dump-out FILE write the dump image that the data reply carries\n"
               "  --ident-unread TEXT  the identification's unread positions: TEXT's first\n"
               "                  character at offset 11, its second at offset 22, the rest\n"
               "                  after the record count (2 characters at least, no S, P or Z)\n"
               "  --surplus N     N bytes of memory after the announced records (N <= 65536)\n");
}

bool ParseInt(const char* text, long low, long high, long* value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < low || v > high) return false;
  *value = v;
  return true;
}

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto number = [&](long low, long high, auto* field) {
      long v = 0;
      if (i + 1 >= argc || !ParseInt(argv[++i], low, high, &v)) {
        std::fprintf(stderr, "instrument_sim: %s needs a number from %ld to %ld\n", a.c_str(), low, high);
        return false;
      }
      *field = static_cast<std::remove_pointer_t<decltype(field)>>(v);
      return true;
    };
    auto text = [&](std::string* field) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "instrument_sim: %s needs a value\n", a.c_str());
        return false;
      }
      *field = argv[++i];
      return true;
    };
    bool ok = true;
    if (a == "--link") ok = text(&o->link);
    else if (a == "--family") ok = number(0, 255, &o->family);
    else if (a == "--subtype") ok = number(0, 255, &o->subtype);
    else if (a == "--serial") ok = number(0, 65535, &o->serial);
    else if (a == "--records") ok = text(&o->records);
    else if (a == "--count") ok = number(0, 255, &o->count);
    else if (a == "--press") ok = number(0, 255, &o->press);
    else if (a == "--acoustic") ok = number(0, 255, &o->acoustic);
    else if (a == "--bending") ok = number(0, 4094, &o->bending);
    else if (a == "--seed") ok = number(0, 2147483647, &o->seed);
    else if (a == "--chunk") ok = number(1, 1 << 20, &o->chunk);
    else if (a == "--delay-ms") ok = number(0, 60000, &o->delay_ms);
    else if (a == "--silent") o->silent = true;
    else if (a == "--z-after") ok = number(0, 1 << 30, &o->z_after);
    else if (a == "--dump-out") ok = text(&o->dump_out);
    else if (a == "--lose") ok = number(0, 1 << 30, &o->lose);
    else if (a == "--garble") ok = number(0, 1 << 30, &o->garble);
    else if (a == "--extra") ok = number(0, 1 << 30, &o->extra);
    else if (a == "--ident-unread") ok = text(&o->ident_unread);
    else if (a == "--surplus") ok = number(0, 65536, &o->surplus);
    else {
      std::fprintf(stderr, "instrument_sim: unknown option %s\n", a.c_str());
      ok = false;
    }
    if (!ok) return false;
  }
  const int sources = !o->records.empty() + (o->press >= 0) + (o->acoustic >= 0);
  if (o->link.empty() || sources > 1) return false;
  if (!o->ident_unread.empty() &&
      (o->ident_unread.size() < 2 || o->ident_unread.find_first_of("SPZ") != std::string::npos)) {
    std::fprintf(stderr, "instrument_sim: --ident-unread needs 2 characters at least, none of them S, P or Z\n");
    return false;
  }
  return true;
}

void Put16(std::vector<uint8_t>& m, size_t at, unsigned v) {
  m[at] = uint8_t(v);
  m[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& m, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) m[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void PutFloat(std::vector<uint8_t>& m, size_t at, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  Put32(m, at, bits);
}

// A record's time stamp: records follow each other a few minutes apart from
// 12.05.2006 10:00:00, so that they come out in order.
struct Stamp {
  int year, month, day, hour, minute, second;
};
Stamp StampOf(int index) {
  const int minutes = 10 * 60 + index * 7;
  Stamp s{2006, 5, 12 + minutes / (24 * 60), (minutes / 60) % 24, minutes % 60, (index * 13) % 60};
  if (s.day > 28) s.day = 28;
  return s;
}

std::vector<uint8_t> PressMemory(int n, std::mt19937& rng) {
  std::vector<uint8_t> m(std::max<size_t>(4, size_t(22) * size_t(n)), 0);
  for (int k = 0; k < n; ++k) {
    const size_t at = size_t(22) * size_t(k);
    const Stamp s = StampOf(k);
    m[at] = uint8_t(rng());
    m[at + 1] = uint8_t(rng() % 100);                 // H
    m[at + 2] = uint8_t(s.year - 1980);
    m[at + 3] = uint8_t(s.month);
    m[at + 4] = uint8_t(s.day);
    m[at + 5] = uint8_t(s.hour);
    m[at + 6] = uint8_t(s.minute);
    m[at + 7] = uint8_t(s.second);
    for (size_t i = 8; i < 14; ++i) m[at + i] = uint8_t(rng());
    Put32(m, at + 14, 1000 + rng() % 900000);           // P
    Put32(m, at + 18, 5000 + rng() % 60000);            // R * 1000
  }
  return m;
}

std::vector<uint8_t> AcousticMemory(int n, int bending, std::mt19937& rng) {
  const size_t size = size_t(32) * size_t(n) + size_t(16) * size_t(bending);
  std::vector<uint8_t> m(std::max<size_t>(4, size), 0);
  std::uniform_real_distribution<float> level(20.0f, 60.0f);
  for (int k = 0; k < n; ++k) {
    const size_t at = size_t(32) * size_t(k);
    const Stamp s = StampOf(k);
    m[at + 1] = uint8_t(rng() % 100);                 // H
    m[at + 2] = uint8_t(s.year - 1980);
    m[at + 3] = uint8_t(s.month);
    m[at + 4] = uint8_t(s.day);
    m[at + 5] = uint8_t(s.hour);
    m[at + 6] = uint8_t(s.minute);
    m[at + 7] = uint8_t(s.second);
    for (size_t i = 8; i < 32; i += 4) PutFloat(m, at + i, level(rng));
  }
  for (int k = 0; k < bending; ++k) {
    const size_t at = size_t(32) * size_t(n) + size_t(16) * size_t(k);
    const Stamp s = StampOf(n + k);
    Put16(m, at, 1000 + rng() % 20000);               // R * 1000
    Put16(m, at + 2, 1000 + rng() % 20000);           // P * 1000
    m[at + 4] = 40;                                     // b
    m[at + 5] = 40;                                     // l
    Put16(m, at + 6, 100 + (rng() % 3) * 50);         // h
    m[at + 10] = uint8_t(s.hour);
    m[at + 11] = uint8_t(s.minute);
    m[at + 12] = uint8_t(s.second);
    m[at + 13] = uint8_t(s.year - 1980);
    m[at + 14] = uint8_t(s.month);
    m[at + 15] = uint8_t(s.day);
  }
  // The first header word is the number of bending records.
  Put16(m, 0, unsigned(bending));
  return m;
}

void AppendPair(std::string& out, uint8_t b) {
  out += char('0' + (b & 15));
  out += char('0' + (b >> 4));
}

std::string IdentificationReply(const Options& o, int count) {
  std::string r = "S";
  AppendPair(r, uint8_t(o.family));
  AppendPair(r, uint8_t(o.subtype));
  AppendPair(r, 6);   // firmware date: 2006-05-12
  AppendPair(r, 5);
  AppendPair(r, 12);
  const std::string unread = o.ident_unread.empty() ? std::string("00") : o.ident_unread;
  r += unread[0];
  AppendPair(r, uint8_t(o.serial));
  AppendPair(r, uint8_t(o.serial >> 8));
  AppendPair(r, 1);   // firmware version 1, 2, 5
  AppendPair(r, 2);
  AppendPair(r, 5);
  r += unread[1];
  AppendPair(r, uint8_t(count));
  r += unread.substr(2);
  r += 'P';
  return r;
}

std::string DataReply(const std::vector<uint8_t>& image) {
  std::string r;
  r.reserve(image.size() * 2 + 2);
  r += 'S';
  for (uint8_t b : image) AppendPair(r, b);
  r += 'P';
  return r;
}

// Writes bytes while the port takes them; gives up quietly when the simulator
// is ended, so that a port that stopped reading cannot keep it alive.
bool WriteUntilStopped(PseudoTerminal& pty, const char* data, size_t count) {
  while (count > 0 && !g_stop) {
    const long n = pty.Write(data, count, 100);
    if (n < 0) return false;
    data += n;
    count -= size_t(n);
  }
  return true;
}

bool Send(PseudoTerminal& pty, const std::string& reply, const Options& o) {
  const size_t piece = o.chunk ? o.chunk : reply.size();
  for (size_t at = 0; at < reply.size() && !g_stop; at += piece) {
    if (!WriteUntilStopped(pty, reply.data() + at, std::min(piece, reply.size() - at))) return false;
    if (o.delay_ms > 0 && at + piece < reply.size()) {
      timespec t{o.delay_ms / 1000, long(o.delay_ms % 1000) * 1000000L};
      ::nanosleep(&t, nullptr);
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, &o)) {
    Usage();
    return 2;
  }
  std::mt19937 rng(o.seed);
  std::vector<uint8_t> image;
  int count = 0;
  if (!o.records.empty()) {
    std::ifstream in(o.records, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "instrument_sim: cannot read %s\n", o.records.c_str());
      return 1;
    }
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    count = o.count;
  } else if (o.acoustic >= 0) {
    image = AcousticMemory(o.acoustic, o.bending, rng);
    count = o.acoustic;
  } else {
    image = PressMemory(std::max(o.press, 0), rng);
    count = std::max(o.press, 0);
  }
  for (int i = 0; i < o.surplus; ++i) image.push_back(uint8_t(rng()));
  if (!o.dump_out.empty()) {
    std::ofstream out(o.dump_out, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    if (!out) {
      std::fprintf(stderr, "instrument_sim: cannot write %s\n", o.dump_out.c_str());
      return 1;
    }
  }
  const std::string ident = IdentificationReply(o, count);
  std::string data = DataReply(image);
  // The faults of a noisy line; the dump image written above stays the
  // instrument's true memory.
  if (o.lose >= 0 && size_t(o.lose) < data.size()) data.erase(size_t(o.lose), 1);
  if (o.garble >= 0 && size_t(o.garble) < data.size()) data[size_t(o.garble)] = '@';
  if (o.extra >= 0 && size_t(o.extra) <= data.size()) data.insert(size_t(o.extra), 1, '0');

  struct sigaction sa{};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    PseudoTerminal pty;
    if (!pty.LinkAt(o.link)) {
      std::fprintf(stderr, "instrument_sim: cannot link %s\n", o.link.c_str());
      return 1;
    }
    std::printf("ready %s -> %s\n", o.link.c_str(), pty.SlavePath().c_str());
    std::fflush(stdout);
    char buffer[4096];
    while (!g_stop) {
      const long n = pty.Read(buffer, sizeof buffer, 100);
      if (n < 0) break;
      if (o.silent) continue;
      for (long i = 0; i < n && !g_stop; ++i) {
        bool ok = true;
        if (buffer[i] == 'Z') ok = Send(pty, "Z", o);
        else if (buffer[i] == 'V') ok = Send(pty, ident, o);
        else if (buffer[i] == 'N' && o.z_after >= 0) {
          // The instrument restarts the exchange in the middle of a reply.
          ok = Send(pty, data.substr(0, size_t(o.z_after)) + "Z", o);
          o.z_after = -1;
        } else if (buffer[i] == 'N') ok = Send(pty, data, o);
        if (!ok) g_stop = 1;
      }
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "instrument_sim: %s\n", e.Message().c_str());
    return 1;
  }
  return 0;
}
