#include "report/fr_tmpl.h"

#include <cstdint>
#include <utility>

#include "report/fr_host.h"
#include "report/fr_page.h"
#include "report/fr_passw.h"
#include "report/fr_texts.h"
#include "report/fr_utils.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace {

// Library texts of the template reader.
constexpr int kTextVirtualPrinter = 55007;

// Streams before version 21 carry no version byte: their first byte, the low
// byte of the keep-default-printer flag, is 0 to 20.
constexpr uint8_t kHighestUnversionedByte = 20;
constexpr int kUnversionedVersion = 21;

// The byte that stands for the virtual printer in the stored printer name.
constexpr char kVirtualPrinterMark = '\x01';

// Older add-in class names and what they are read as.
constexpr const char* kFramedMemoClass = "TFRFRAMEDMEMOVIEW";
// A framed text object carries this many bytes after its record.
constexpr int kFramedMemoTrailer = 8;
constexpr const char* kOldLookupClasses[] = {"TFRBDELOOKUPCONTROL", "TFRIBXLOOKUPCONTROL"};
constexpr const char* kLookupClass = "TfrDBLookupControl";

[[noreturn]] void FormatError() { throw EfrFormatError(LoadReportString(kTextBadFormat)); }


AnsiString ReadInfoText(TStream& stream) {
  const uint16_t n = ReadWord(stream);
  if (n > BytesLeft(stream)) throw EReadError("Info text runs past the end of the template");
  AnsiString s(n, '\0');
  if (n > 0) stream.ReadBuffer(s.data(), n);
  return s;
}

void WriteInfoText(TStream& stream, std::string_view text) {
  if (text.size() > 0xFFFF) throw EWriteError("Info text too long for the template stream");
  WriteWord(stream, static_cast<uint16_t>(text.size()));
  if (!text.empty()) stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

double ReadDouble(TStream& stream) {
  unsigned char b[8];
  stream.ReadBuffer(b, 8);
  return GetLEDouble(b);
}

void WriteDouble(TStream& stream, double value) {
  unsigned char b[8];
  PutLEDouble(b, value);
  stream.WriteBuffer(b, 8);
}

// The objects of every page, in page and list order.
template <typename F>
void ForEachObject(const std::vector<std::unique_ptr<TfrPage>>& pages, F&& f) {
  for (const auto& page : pages)
    for (const auto& view : page->Objects) f(*page, *view);
}

// While a template is read its generated names must be unique among the
// objects read so far, not among those of the template it may replace.
class NamingHost : public TfrEngineHost {
 public:
  explicit NamingHost(const std::vector<std::unique_ptr<TfrPage>>& pages) : pages_(pages) {}
  TfrView* FindObject(const AnsiString& name) override {
    TfrView* found = nullptr;
    ForEachObject(pages_, [&](TfrPage&, TfrView& view) {
      if (found == nullptr && AnsiSameText(view.Name, name)) found = &view;
    });
    return found;
  }

 private:
  const std::vector<std::unique_ptr<TfrPage>>& pages_;
};

// Selects the printer of that name when the printer layer lists it.
void SelectPrinterNamed(const AnsiString& name) {
  TfrPrinter& printer = GlobalPrinterLayer();
  const int index = printer.Printers.IndexOf(name);
  if (index >= 0 && index != printer.PrinterIndex()) printer.SetPrinterIndex(index);
}

}  // namespace

AnsiString VirtualPrinterName() { return LoadReportString(kTextVirtualPrinter); }

// ---- TfrReportInfo --------------------------------------------------------------

void TfrReportInfo::Reset(double now) {
  Comment.clear();
  Name.clear();
  Autor.clear();
  VMajor.clear();
  VMinor.clear();
  VRelease.clear();
  VBuild.clear();
  Password.clear();
  GeneratorVersion = kGeneratorVersion;
  Protection = 0;
  Created = now;
  LastChange = now;
}

void TfrReportInfo::Read(TStream& stream) {
  for (AnsiString* text : {&Comment, &Name, &Autor, &VMajor, &VMinor, &VRelease, &VBuild})
    *text = ReadInfoText(stream);
  Password = HexToPassword(ReadInfoText(stream));
  GeneratorVersion = ReadByte(stream);
  Protection = ReadByte(stream);
  Created = ReadDouble(stream);
  LastChange = ReadDouble(stream);
}

void TfrReportInfo::Write(TStream& stream) const {
  for (const AnsiString* text : {&Comment, &Name, &Autor, &VMajor, &VMinor, &VRelease, &VBuild})
    WriteInfoText(stream, *text);
  WriteInfoText(stream, PasswordToHex(Password));
  WriteByte(stream, GeneratorVersion);
  WriteByte(stream, Protection);
  WriteDouble(stream, Created);
  WriteDouble(stream, LastChange);
}

// ---- TfrPages ---------------------------------------------------------------------

TfrPages::TfrPages() = default;
TfrPages::~TfrPages() = default;

TfrPage* TfrPages::Pages(int index) const {
  return index >= 0 && index < Count() ? pages_[static_cast<size_t>(index)].get() : nullptr;
}

void TfrPages::Clear() { pages_.clear(); }

TfrPage* TfrPages::Add() { return Adopt(NewPage()); }

std::unique_ptr<TfrPage> TfrPages::NewPage() {
  // A standard size takes the printer's own dimensions.
  return std::make_unique<TfrPage>(kDefaultPaperSize, 0, 0, kDefaultBin, 0);
}

TfrPage* TfrPages::Adopt(std::unique_ptr<TfrPage> page) {
  page->PageNameTaken = [this](const AnsiString& name) {
    for (const auto& p : pages_)
      if (p->Name == name) return true;
    return false;
  };
  pages_.push_back(std::move(page));
  return pages_.back().get();
}

void TfrPages::TakeFrom(TfrPages& other) {
  if (&other == this) return;
  pages_.clear();
  for (auto& page : other.pages_) Adopt(std::move(page));
  other.pages_.clear();
}

void TfrPages::AlignBands() {
  TfrBuildScope aligning(nullptr, TfrBuildScope::kCopy);
  ForEachObject(pages_, [&aligning](TfrPage& page, TfrView& view) {
    if (view.BandAlign == baNone) return;
    aligning.Context().CurPage = &page;
    view.DrawTo(&frScratchCanvas());
  });
}

void TfrPages::ReadObject(TStream& stream, int version, uint8_t type_code) {
  const int64_t frame_start = stream.Position();
  AnsiString class_name;
  bool framed_memo = false;
  if (type_code == gtAddIn) {
    class_name = ReadVersionedString(stream, version);
    if (SameText(class_name, kFramedMemoClass)) {
      framed_memo = true;
      type_code = gtMemo;
    } else {
      for (const char* old : kOldLookupClasses)
        if (SameText(class_name, old)) class_name = kLookupClass;
    }
  }
  const uint8_t page_index = ReadByte(stream);
  // An object can only lie on a page read before it.
  if (page_index >= Count()) FormatError();
  TfrPage& page = *pages_[page_index];
  int64_t next = 0;
  if (version > 23) {
    next = static_cast<int32_t>(ReadDword(stream));
    // Forward only and inside the stream, so no record is read twice and
    // nothing loops; 0 says nothing of where the next record starts.
    if (next != 0 && (next <= frame_start || next > stream.Size())) FormatError();
  }

  frRunningBuild().CurPage = &page;
  std::unique_ptr<TfrView> view;
  try {
    view = CreateViewByType(type_code, class_name);
    if (!view) throw EClassNotFound(Format("No object of type %d", {static_cast<int>(type_code)}));
    view->ReadRecord(stream, version);
    view->PutProperty("Name", Variant(view->Name));
    if (framed_memo) stream.Seek(kFramedMemoTrailer, soFromCurrent);
    // A record that ran past its frame read bytes of the next one.
    if (next != 0 && stream.Position() > next) throw EReadError("Object record overruns its frame");
  } catch (const Exception&) {
    // The object is skipped; a newer stream says where the next one starts.
    view.reset();
  }
  // A place no page has is no damage the stream's framing could skip.
  if (view && !view->GeometryInPageRange()) FormatError();
  if (view) page.Objects.push_back(std::move(view));
  if (next != 0) stream.SetPosition(next);
}

void TfrPages::ReadPages(TStream& stream, int version, TfrDataDictionary& dictionary) {
  for (;;) {
    uint8_t tag = 0;
    // Every writer ends the records with a tag; a stream that ends before it
    // was cut short, and reading it would give half a template.
    if (stream.Read(&tag, 1) != 1) FormatError();
    switch (tag) {
      case kTagPage: {
        TfrPage* page = Adopt(NewPage());
        frRunningBuild().CurPage = page;
        page->ReadRecord(stream, version);
        break;
      }
      case kTagDictionary:
        dictionary.LoadFromStream(stream, version);
        break;
      case kTagExtension:
      case kTagEnd:
        stream.Seek(-1, soFromCurrent);
        return;
      default:
        if (tag > gtAddIn) FormatError();
        ReadObject(stream, version, tag);
        break;
    }
  }
}

void TfrPages::WritePages(TStream& stream, const TfrDataDictionary& dictionary) const {
  for (const auto& page : pages_) {
    WriteByte(stream, kTagPage);
    page->WriteRecord(stream);
  }
  for (size_t index = 0; index < pages_.size(); ++index) {
    for (const auto& view : pages_[index]->Objects) {
      WriteByte(stream, view->TypeCode);
      if (view->TypeCode == gtAddIn) WriteCountedString(stream, view->ClassName());
      // A page index is one byte; more pages cannot be framed.
      if (index > 0xFF) throw EWriteError("Too many pages for the template stream");
      WriteByte(stream, static_cast<uint8_t>(index));
      const int64_t placeholder = stream.Position();
      WriteDword(stream, 0);
      view->WriteRecord(stream);
      const int64_t next = stream.Position();
      if (next > INT32_MAX) throw EWriteError("Template stream too long");
      stream.SetPosition(placeholder);
      WriteDword(stream, static_cast<uint32_t>(next));
      stream.Seek(0, soFromEnd);
    }
  }
  WriteByte(stream, kTagDictionary);
  dictionary.SaveToStream(stream);
}

// ---- TfrTemplate ------------------------------------------------------------------

TfrTemplate::TfrTemplate() { Info.Reset(Now()); }
TfrTemplate::~TfrTemplate() = default;

void TfrTemplate::Clear() {
  Pages.Clear();
  Dictionary.Clear();
  KeepDefaultPrinter = false;
  TwoPassBuild = false;
  PrinterName.clear();
  Info.Reset(Now());
}

bool TfrTemplate::LoadFromStream(TStream& stream, bool from_file, const TfrPasswordCheck& check) {
  frEngine().EngineMode = emDesigning;
  // An empty stream ends the load (the template held stays).
  if (BytesLeft(stream) <= 0) return true;
  const int64_t start = stream.Position();
  int version = ReadByte(stream);
  if (version <= kHighestUnversionedByte) {
    version = kUnversionedVersion;
    stream.SetPosition(start);
  }
  if (version > kTemplateVersion) FormatError();

  // Everything is read into a fresh template first. The page being read is
  // current only while the template is read.
  TfrTemplate fresh;
  NamingHost naming(fresh.Pages.pages_);
  TfrBuildScope reading(nullptr, naming, TfrBuildScope::kCopy);
  ResetMissingClasses();
  {
    try {
      fresh.KeepDefaultPrinter = ReadBool16(stream);
      fresh.TwoPassBuild = ReadBool16(stream);
      fresh.PrinterName = ReadVersionedString(stream, version);
      if (fresh.PrinterName.size() == 1 && fresh.PrinterName[0] == kVirtualPrinterMark)
        fresh.PrinterName = VirtualPrinterName();
      // The pages that follow take their paper from the printer chosen here.
      if (!fresh.KeepDefaultPrinter) SelectPrinterNamed(fresh.PrinterName);
      fresh.Pages.ReadPages(stream, version, fresh.Dictionary);
      // After extension data (tag 253) nothing here can tell where the info
      // starts; it stays reset.
      uint8_t tag = 0;
      if (stream.Read(&tag, 1) == 1 && tag == kTagEnd && BytesLeft(stream) > 0) fresh.Info.Read(stream);
    } catch (const EfrFormatError&) {
      throw;
    } catch (const std::exception&) {
      FormatError();
    }
  }

  const bool missing = frEngine().ClassNotFound;
  if (!missing) {
    ForEachObject(fresh.Pages.pages_, [&reading](TfrPage& page, TfrView& view) {
      reading.Context().CurPage = &page;
      view.AfterTemplateLoad();
    });
    reading.Context().CurPage = nullptr;
  }

  KeepDefaultPrinter = fresh.KeepDefaultPrinter;
  TwoPassBuild = fresh.TwoPassBuild;
  PrinterName = fresh.PrinterName;
  Pages.TakeFrom(fresh.Pages);
  Dictionary.Assign(fresh.Dictionary);
  Info = fresh.Info;
  if (missing) {
    Info.Reset(Now());
    throw EClassNotFound("Report contains the following non-plugged components:\r" + frEngine().MissingClasses +
                         "You must include these components into your project.");
  }

  if (from_file && Info.Protection != 0) {
    const bool confirmed = check ? check(Info.Password) : AskReportPassword(Info.Password);
    if (!confirmed) {
      Info.Reset(Now());
      FileName = LoadReportString(kTextUntitled);
      Pages.Clear();
      Pages.Add();
      return false;
    }
  }
  return true;
}

void TfrTemplate::SaveToStream(TStream& stream) {
  WriteByte(stream, kTemplateVersion);
  WriteBool16(stream, KeepDefaultPrinter);
  WriteBool16(stream, TwoPassBuild);
  // The printer the template is used with now is the one it remembers.
  TfrPrinter& printer = GlobalPrinterLayer();
  PrinterName = printer.Printers.Strings(printer.PrinterIndex());
  WriteCountedString(stream, printer.IsVirtual() ? AnsiString(1, kVirtualPrinterMark) : PrinterName);
  Pages.WritePages(stream, Dictionary);
  WriteByte(stream, kTagEnd);
  Info.GeneratorVersion = kGeneratorVersion;
  Info.LastChange = Now();
  Info.Write(stream);
}

void TfrTemplate::LoadFromFile(const std::string& file_name, const TfrPasswordCheck& check) {
  TMemoryStream bytes;
  {
    TFileStream file(file_name, fmOpenRead | fmShareDenyWrite);
    bytes.CopyFrom(file, 0);
  }
  bytes.SetPosition(0);
  if (LoadFromStream(bytes, true, check)) FileName = file_name;
}

void TfrTemplate::SaveToFile(const std::string& file_name) {
  TMemoryStream bytes;
  SaveToStream(bytes);
  bytes.SaveToFile(file_name);
  FileName = file_name;
}
