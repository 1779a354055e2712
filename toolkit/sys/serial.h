// The serial port's OS layer: the device control block the port component
// fills, a serial device opened exclusively and driven through termios2, a
// pseudo-terminal for the instrument simulator and the tests, and the map from
// the program's port names ("\\.\COM1" ... "\\.\COM38") to Linux devices.
//
// The port-name map, in order of precedence:
//   1. The environment variable KIV7_PORTS, when set, is the whole map:
//      entries "COM5=/dev/ttyUSB0" separated by ";" (the name with or without
//      the "\\.\" prefix, any case). Names it does not list have no device.
//   2. The per-user settings store, key "\Ports", value named "COM5" (or
//      "\\.\COM5"): the device the user has chosen for that name.
//   3. By default the machine's serial devices in a stable order: USB adapters
//      by their /dev/serial/by-id names (sorted), then USB and ACM devices that
//      have no such name (/dev/ttyUSB*, /dev/ttyACM*, by number), then the
//      built-in ports /dev/ttyS* by number. "\\.\COMn" is the n-th of them.
// A name that is already a path ("/dev/ttyUSB0") stands for itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/core/exceptions.h"

// The platform's device control block: line settings in the form the port
// component builds them. Values follow the platform's numbering.
struct TDeviceControlBlock {
  uint32_t DCBlength = 0;
  uint32_t BaudRate = 0;     // bits per second
  bool fBinary = false;
  bool fParity = false;      // check parity on input
  bool fOutxCtsFlow = false; // CTS handshake on output
  bool fOutxDsrFlow = false;
  uint8_t fDtrControl = 0;   // 0 disable, 1 enable, 2 handshake
  bool fDsrSensitivity = false;
  bool fTXContinueOnXoff = false;
  bool fOutX = false;        // XON/XOFF on output
  bool fInX = false;         // XON/XOFF on input
  bool fErrorChar = false;
  bool fNull = false;
  uint8_t fRtsControl = 0;   // 0 disable, 1 enable, 2 handshake, 3 toggle
  bool fAbortOnError = false;
  uint16_t XonLim = 0;
  uint16_t XoffLim = 0;
  uint8_t ByteSize = 0;      // 5 ... 8
  uint8_t Parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
  uint8_t StopBits = 0;      // 0 one, 1 one and a half, 2 two
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  bool operator==(const TDeviceControlBlock&) const = default;
};

// Modem status bits as GetLineBits reports them.
inline constexpr int kLineCts = 1;
inline constexpr int kLineDsr = 2;
inline constexpr int kLineRing = 4;
inline constexpr int kLineRlsd = 8;

// One open serial device. Not copyable; closes itself.
class SerialDevice {
 public:
  SerialDevice() = default;
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens an existing terminal device for reading and writing, non-blocking,
  // and takes it for this process alone (TIOCEXCL against other openers, an
  // exclusive flock against other programs that follow the same rule, which
  // also covers root, whom TIOCEXCL does not stop). False when the path is not
  // a terminal, is busy or cannot be opened; error() says why.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }

  // Applies the control block through termios2, so that any rate (not only
  // the classic termios set) is taken as given. DTR and RTS follow the
  // block; a refusal of those modem-line calls (a pseudo-terminal has no
  // modem lines) does not fail. False when the block cannot be applied.
  bool Apply(const TDeviceControlBlock& dcb);
  // Discards what waits in the input and/or output queue.
  bool Purge(bool input, bool output);
  // Bytes waiting in the input queue and in the output queue; -1 on failure.
  long InQueue() const;
  long OutQueue() const;
  // kLineCts | kLineDsr | kLineRing | kLineRlsd; -1 when the lines cannot be read.
  int ModemBits() const;

  // Reads or writes what is possible now: the count moved, 0 when nothing
  // could be, -1 on an error of the device.
  long Read(void* buffer, size_t count);
  long Write(const void* data, size_t count);
  // Waits with poll() until the device can be read / written or timeout_ms
  // passes: 1 when it is ready, 0 when the time passed, -1 when the device
  // hung up or failed (so that a caller stops instead of spinning).
  int WaitReadable(int timeout_ms) const;
  int WaitWritable(int timeout_ms) const;

 private:
  int fd_ = -1;
  std::string path_;
  std::string error_;
};

// A pseudo-terminal: the master side for the one who plays the instrument,
// the slave side a terminal device a port can open.
class PseudoTerminal {
 public:
  // Opens a pair; raises EOSError when the system gives none. The slave side
  // starts raw (no echo, no line editing, no output processing), and the
  // master keeps one slave descriptor open so the pair survives the port's
  // closing and reopening.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int MasterFd() const { return master_; }
  // The slave device's path (/dev/pts/N).
  const std::string& SlavePath() const { return slave_path_; }
  // Makes link_path a symbolic link to the slave (replacing an existing link);
  // the link is removed with the object. False when it cannot be made.
  bool LinkAt(const std::string& link_path);

  // Writes all bytes to the master side, waiting while the terminal's queue is
  // full; false when the pair broke.
  bool WriteAll(const void* data, size_t count);
  // Writes what the terminal takes, waiting up to timeout_ms for room: the
  // count written, 0 when no room came in time, -1 when the pair broke. A
  // writer that must stay responsive (to a signal, say) loops over this.
  long Write(const void* data, size_t count, int timeout_ms);
  // Reads what the port sent, waiting up to timeout_ms for the first byte;
  // 0 when nothing came, -1 on an error.
  long Read(void* buffer, size_t count, int timeout_ms);

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
  std::string link_path_;
};

// The number n of a port name "\\.\COMn" or "COMn" (any case, n 1 ... 255); 0
// for any other text.
int PortNumberOf(const std::string& port_name);

// The machine's serial devices in the default order described above, looked
// up under dev_root ("/dev"; tests give a folder of their own).
std::vector<std::string> DefaultSerialDevices(const std::string& dev_root = "/dev");

// The device for a port name by the map described above; "" when none.
std::string PortDevice(const std::string& port_name);
