// The template stream: a report template (pages, the objects on them, the
// data dictionary and the report's information) as one stream of bytes.
//
// Integers are little-endian; booleans in 16 bits are 0 false, anything else
// true (-1 written). Texts and lines are encoded as fr_class.h describes
// (counted from version 23 on, zero-terminated before).
//
//   V          u8    version, 25 written; a first byte of 20 or less means the
//                    oldest layout without it: read as 21 from position 0.
//                    Above 25 the stream is refused before anything changes.
//   keep default printer   i16
//   two-pass build         i16
//   printer name           text; the single byte 0x01 is the virtual printer
//   records until tag 252 or 253 (a stream that ends before is cut short):
//     255  page record (TfrPage::ReadRecord / WriteRecord), a new page
//     254  data dictionary (fr_dict.h)
//     253  extension data: reading of records stops (no extension exists here)
//     252  end of the records; the info block follows
//     0-10 object: the type code; code 10: its class name (text); u8 index of
//          the page it lies on; V > 23: i32 stream position of the next
//          record; the object record (TfrView::ReadRecord)
//     11-251 invalid
//   info block (only when bytes remain after tag 252):
//     seven texts, each u16 n + n bytes without terminator: REPORTCOMMENT,
//       REPORTNAME, REPORTAUTOR, VMAJOR, VMINOR, VRELEASE, VBUILD
//     password   u16 n + n bytes of hexadecimal text (two digits a byte)
//     generator version u8 (88), protection flag u8
//     created, last change   f64 date-times; last change is set on every write
//
// A reader here never trusts the stream: a page index must name a page read
// already, a next-record position must lie after its record and inside the
// stream, every count is checked against the bytes left. A template is read
// into a fresh copy and takes the place of the current one only when it was
// read whole, so a damaged or hostile stream changes nothing.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "report/fr_class.h"
#include "report/fr_dict.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/exceptions.h"

// A stream the template reader cannot read (text 55345).
KIV7_DECLARE_EXCEPTION(EfrFormatError, Exception);

// The version the writer produces and the newest the reader accepts.
inline constexpr uint8_t kTemplateVersion = 25;
// The generator version stored in the info block.
inline constexpr uint8_t kGeneratorVersion = 88;

// Record tags of the template stream.
inline constexpr uint8_t kTagPage = 255;
inline constexpr uint8_t kTagDictionary = 254;
inline constexpr uint8_t kTagExtension = 253;
inline constexpr uint8_t kTagEnd = 252;

// The report's descriptive information (the info block).
struct TfrReportInfo {
  AnsiString Comment, Name, Autor, VMajor, VMinor, VRelease, VBuild;
  AnsiString Password;
  uint8_t GeneratorVersion = kGeneratorVersion;
  // Non-zero: the password is asked when the template is read from a file.
  uint8_t Protection = 0;
  double Created = 0;
  double LastChange = 0;

  // All texts and the password empty, both dates `now`, protection 0, generator 88.
  void Reset(double now);
  void Read(TStream& stream);
  void Write(TStream& stream) const;
};

// The template pages of a report.
class TfrPages {
 public:
  TfrPages();
  ~TfrPages();
  TfrPages(const TfrPages&) = delete;
  TfrPages& operator=(const TfrPages&) = delete;

  int Count() const { return static_cast<int>(pages_.size()); }
  TfrPage* Pages(int index) const;
  // Frees all pages.
  void Clear();
  // Appends a new empty page of the default paper size.
  TfrPage* Add();
  // Takes over other's pages (other is left empty).
  void TakeFrom(TfrPages& other);
  // Every object with a band alignment is drawn once on the scratch canvas
  // with its page current, which applies the alignment.
  void AlignBands();

  // Reads from just after the version byte through the end tag, with the
  // dictionary read into `dictionary`. Raises EfrFormatError for a damaged
  // stream and EClassNotFound (with the pages read so far kept) for objects
  // of classes that are not registered.
  void ReadPages(TStream& stream, int version, TfrDataDictionary& dictionary);
  // Writes every page record, then every object (framed with the position of
  // the next record), then the dictionary; not the end tag.
  void WritePages(TStream& stream, const TfrDataDictionary& dictionary) const;

 private:
  friend class TfrTemplate;
  static std::unique_ptr<TfrPage> NewPage();
  // Appends the page, which asks this list whether a page name is taken.
  TfrPage* Adopt(std::unique_ptr<TfrPage> page);
  void ReadObject(TStream& stream, int version, uint8_t type_code);

  std::vector<std::unique_ptr<TfrPage>> pages_;
};

// Asked for the password of a protected template read from a file; true when
// the user confirmed an entry equal to `password`.
using TfrPasswordCheck = std::function<bool(const AnsiString& password)>;

// What a report holds of its template, and its loader and writer.
class TfrTemplate {
 public:
  TfrTemplate();
  ~TfrTemplate();
  TfrTemplate(const TfrTemplate&) = delete;
  TfrTemplate& operator=(const TfrTemplate&) = delete;

  // Reads a whole template stream. Nothing changes when the stream is empty,
  // of a version above 25, or damaged (EfrFormatError). Objects of missing
  // classes raise EClassNotFound with the message the user sees, after the
  // pages read have been taken. A protected template read from a file
  // (`from_file`) asks `check` (the password dialog when empty); a wrong or
  // cancelled password leaves one empty page, reset info and FileName
  // "Untitled" and the result false.
  bool LoadFromStream(TStream& stream, bool from_file = false, const TfrPasswordCheck& check = {});
  // Writes the version byte, the current printer's name (which PrinterName
  // becomes), the pages, the dictionary, the end tag and the info block, whose
  // last change becomes now.
  void SaveToStream(TStream& stream);
  void LoadFromFile(const std::string& file_name, const TfrPasswordCheck& check = {});
  void SaveToFile(const std::string& file_name);
  // Frees all pages, empties the dictionary and resets the flags and the info.
  void Clear();

  bool KeepDefaultPrinter = false;
  bool TwoPassBuild = false;
  // The stored printer's name; the virtual printer's name stands for 0x01.
  // Reading selects the printer of that name unless KeepDefaultPrinter.
  AnsiString PrinterName;
  AnsiString FileName;
  TfrPages Pages;
  TfrDataDictionary Dictionary;
  TfrReportInfo Info;
};

// The virtual printer's name (text 55007).
AnsiString VirtualPrinterName();
