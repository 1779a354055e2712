#include "report/fr_class.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "report/FR_Pars.h"
#include "report/fr_globals.h"
#include "report/fr_report.h"
#include "report/fr_utils.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/text.h"
#include "toolkit/ui/controls.h"

// ---- Template text encodings --------------------------------------------------

uint8_t ReadByte(TStream& stream) {
  uint8_t b = 0;
  stream.ReadBuffer(&b, 1);
  return b;
}

void WriteByte(TStream& stream, uint8_t value) { stream.WriteBuffer(&value, 1); }

uint16_t ReadWord(TStream& stream) {
  unsigned char b[2];
  stream.ReadBuffer(b, 2);
  return GetLE16(b);
}

void WriteWord(TStream& stream, uint16_t value) {
  unsigned char b[2];
  PutLE16(b, value);
  stream.WriteBuffer(b, 2);
}

uint32_t ReadDword(TStream& stream) {
  unsigned char b[4];
  stream.ReadBuffer(b, 4);
  return GetLE32(b);
}

void WriteDword(TStream& stream, uint32_t value) {
  unsigned char b[4];
  PutLE32(b, value);
  stream.WriteBuffer(b, 4);
}

int32_t ReadInt(TStream& stream) { return static_cast<int32_t>(ReadDword(stream)); }

void WriteInt(TStream& stream, int32_t value) { WriteDword(stream, static_cast<uint32_t>(value)); }

bool ReadBool16(TStream& stream) { return ReadWord(stream) != 0; }

void WriteBool16(TStream& stream, bool value) { WriteWord(stream, value ? 0xFFFF : 0); }

namespace {

// A u16 length cannot carry more; cutting the text would lose it silently, so
// the write is refused instead.
void CheckCountable(std::string_view text) {
  if (text.size() > 0xFFFF)
    throw EWriteError(Format("Text of %d bytes is too long for the template stream", {static_cast<int>(text.size())}));
}

void WriteCountedBytes(TStream& stream, std::string_view text) {
  CheckCountable(text);
  WriteWord(stream, static_cast<uint16_t>(text.size()));
  if (!text.empty()) stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

AnsiString ReadBytes(TStream& stream, size_t count) {
  AnsiString s(count, '\0');
  if (count > 0) stream.ReadBuffer(s.data(), static_cast<int64_t>(count));
  return s;
}

}  // namespace

AnsiString ReadCountedString(TStream& stream) {
  AnsiString s = ReadBytes(stream, ReadWord(stream));
  ReadByte(stream);  // the terminating 0
  return s;
}

void WriteCountedString(TStream& stream, std::string_view text) {
  WriteCountedBytes(stream, text);
  WriteByte(stream, 0);
}

void ReadCountedLines(TStream& stream, TStrings& lines) {
  lines.Clear();
  if (ReadWord(stream) == 0) {
    ReadByte(stream);
    return;
  }
  // The separators decide where the list ends; a stream that never gives the
  // final 0 ends in a read error at its end.
  for (;;) {
    AnsiString line = ReadBytes(stream, ReadWord(stream));
    const uint8_t separator = ReadByte(stream);
    lines.Add(line);
    if (separator == 0) break;
  }
}

void WriteCountedLines(TStream& stream, const TStrings& lines) {
  const int count = lines.Count();
  for (int i = 0; i < count; ++i) CheckCountable(lines.Strings(i));
  // The count only tells whether lines follow; 65536 lines must not wrap to 0,
  // which readers take for an empty list.
  WriteWord(stream, static_cast<uint16_t>(count > 0xFFFF ? 0xFFFF : count));
  if (count == 0) {
    WriteByte(stream, 0);
    return;
  }
  for (int i = 0; i < count; ++i) {
    WriteCountedBytes(stream, lines.Strings(i));
    WriteByte(stream, i + 1 < count ? 13 : 0);
  }
}

AnsiString ReadZeroString(TStream& stream) {
  AnsiString s;
  for (uint8_t c = ReadByte(stream); c != 0; c = ReadByte(stream)) s += static_cast<char>(c);
  return s;
}

void ReadZeroLines(TStream& stream, TStrings& lines) {
  lines.Clear();
  AnsiString line;
  for (;;) {
    const uint8_t c = ReadByte(stream);
    if (c == 0) {
      if (!line.empty()) lines.Add(line);
      return;
    }
    if (c == 13) {
      lines.Add(line);
      line.clear();
    } else {
      line += static_cast<char>(c);
    }
  }
}

AnsiString ReadVersionedString(TStream& stream, int version) {
  return version >= 23 ? ReadCountedString(stream) : ReadZeroString(stream);
}

void ReadVersionedLines(TStream& stream, int version, TStrings& lines) {
  if (version >= 23)
    ReadCountedLines(stream, lines);
  else
    ReadZeroLines(stream, lines);
}

TFontStyles FontStyleFromInt(int bits) {
  TFontStyles style;
  if (bits & 1) style.Include(fsItalic);
  if (bits & 2) style.Include(fsBold);
  if (bits & 4) style.Include(fsUnderline);
  if (bits & 8) style.Include(fsStrikeOut);
  return style;
}

int FontStyleToInt(TFontStyles style) {
  return (style.Contains(fsItalic) ? 1 : 0) | (style.Contains(fsBold) ? 2 : 0) |
         (style.Contains(fsUnderline) ? 4 : 0) | (style.Contains(fsStrikeOut) ? 8 : 0);
}

// ---- Process-wide state ----------------------------------------------------------

TfrEngineState& frEngine() { return frGlobals().Engine; }

void ResetMissingClasses() {
  frEngine().ClassNotFound = false;
  frEngine().MissingClasses.clear();
}

namespace {

constexpr uint32_t kLive = 0x4C495645;
constexpr uint32_t kEnded = 0x454E4445;

// The innermost running scope; each scope knows the one it covers.
TfrBuildScope* g_innermost_scope = nullptr;

}  // namespace

TfrBuildScope::TfrBuildScope(TfrReport* report, TfrBuildHost& host, Start start)
    : TfrBuildScope(report, &host, start) {}

TfrBuildScope::TfrBuildScope(TfrReport* report, TfrBuildHost* host, Start start) : covered_(g_innermost_scope) {
  // A fresh context has nothing to take a host from.
  if (start == kFresh && host == nullptr) throw Exception("A fresh report work scope needs a build host");
  if (start == kCopy && covered_ != nullptr) {
    assert(covered_->context_.Live());
    context_ = covered_->context_;
  }
  if (start == kFresh || (report != nullptr && report != context_.CurReport)) context_.StartReport(report);
  if (host != nullptr) context_.Host = host;
  context_.live_.value = kLive;
  g_innermost_scope = this;
}

TfrBuildScope::~TfrBuildScope() {
  // A scope that ended out of turn would leave its context reachable.
  assert(g_innermost_scope == this && context_.Live());
  context_.live_.value = kEnded;
  g_innermost_scope = covered_;
}

bool TfrBuildContext::Live() const { return live_.value == kLive; }

void TfrBuildContext::StartReport(TfrReport* report) {
  CurReport = report;
  ReportOwner = report != nullptr ? report->Owner() : nullptr;
  CurPage = nullptr;
  CurBand = nullptr;
  CurView = nullptr;
}

TfrBuildContext* frBuildContext() {
  if (g_innermost_scope == nullptr) return nullptr;
  TfrBuildContext& context = g_innermost_scope->context_;
  assert(context.Live());
  return &context;
}

TfrBuildContext& frRunningBuild() {
  TfrBuildContext* context = frBuildContext();
  if (context == nullptr) throw Exception("The report engine runs no build");
  return *context;
}

const TfrBuildContext& frBuildOrNone() {
  // Never freed, so that no static destruction reaches into the engine.
  static const TfrBuildContext* const none = new TfrBuildContext;
  const TfrBuildContext* context = frBuildContext();
  return context != nullptr ? *context : *none;
}

namespace {

template <typename T>
T* CurrentOf(T* TfrBuildContext::*member) {
  const TfrBuildContext* context = frBuildContext();
  return context != nullptr ? context->*member : nullptr;
}

}  // namespace

TfrReport* frCurrentReport() { return CurrentOf(&TfrBuildContext::CurReport); }
TfrPage* frCurrentPage() { return CurrentOf(&TfrBuildContext::CurPage); }
TfrBand* frCurrentBand() { return CurrentOf(&TfrBuildContext::CurBand); }
TfrView* frCurrentView() { return CurrentOf(&TfrBuildContext::CurView); }

bool frBuildStopped() {
  TfrReport* report = frCurrentReport();
  return report != nullptr && report->Terminated;
}

void frRecordBuildError(const std::exception& error) {
  TfrReport* report = frCurrentReport();
  BuildExpressionErrorText(error, report != nullptr ? report->Name() : AnsiString(), [report] {
    if (report != nullptr) report->Terminated = true;
  });
}

bool frPrinting() { return frEngine().EngineMode == emPrinting; }

void frForgetInBuilds(const void* object) {
  if (object == nullptr) return;
  for (TfrBuildScope* scope = g_innermost_scope; scope != nullptr; scope = scope->covered_) {
    TfrBuildContext& context = scope->context_;
    assert(context.Live());
    if (context.CurReport == object) context.StartReport(nullptr);
    if (context.ReportOwner == object) context.ReportOwner = nullptr;
    if (context.CurPage == object) context.CurPage = nullptr;
    if (static_cast<const void*>(context.CurBand) == object) context.CurBand = nullptr;
    if (context.CurView == object) context.CurView = nullptr;
    if (static_cast<const void*>(context.Target) == object) context.Target = nullptr;
    std::erase(context.Listeners, object);
    for (TfrKeptCurrent* keeper = context.keepers_.innermost; keeper != nullptr; keeper = keeper->covered_)
      if (keeper->kept_ == object) keeper->kept_ = nullptr;
  }
}

TfrKeptCurrent::TfrKeptCurrent(TfrBuildContext& context, void* kept)
    : context_(context), kept_(kept), covered_(context.keepers_.innermost) {
  assert(context.Live());
  context.keepers_.innermost = this;
}

TfrKeptCurrent::~TfrKeptCurrent() {
  // A keeper that ended out of turn would leave the chain naming it.
  assert(context_.keepers_.innermost == this && context_.Live());
  context_.keepers_.innermost = covered_;
}

TfrBuildHost::~TfrBuildHost() = default;

TfrBuildHost& frBuildHost() {
  TfrBuildContext* context = frBuildContext();
  if (context == nullptr) throw Exception("The report engine runs no build");
  if (context->Host == nullptr) throw Exception("The running report work has no build host");
  return *context->Host;
}

// ---- TfrObject -------------------------------------------------------------------

TfrObject::~TfrObject() = default;

void TfrObject::PutProperty(std::string_view, const Variant&) {}

Variant TfrObject::FetchProperty(std::string_view) { return Null(); }

Variant TfrObject::InvokeMethod(std::string_view, const Variant&, const Variant&, const Variant&) { return Null(); }

void TfrObject::FillPropertyList() {}

void TfrObject::AddProperty(std::string_view name, uint16_t type_flags, TfrPropertyEditor editor,
                            void* editor_owner) {
  auto entry = std::make_unique<TfrPropRec>();
  entry->Name = AnsiString(name.substr(0, kMaxPropertyNameLength));
  entry->TypeFlags = type_flags;
  entry->Editor = std::move(editor);
  entry->EditorOwner = editor_owner;
  properties_.push_back(std::move(entry));
}

void TfrObject::AddEnumProperty(std::string_view name, std::string_view names_text, int count,
                                const std::vector<Variant>& values) {
  AddProperty(name, frdtEnum);
  TfrPropRec& entry = *properties_.back();
  entry.Enum = std::make_unique<TStringList>();
  // Items between ";"; a leading ";" gives an empty first item, a final one none.
  size_t pos = 0;
  while (pos < names_text.size()) {
    const size_t end = std::min(names_text.find(';', pos), names_text.size());
    entry.Enum->Add(names_text.substr(pos, end - pos));
    pos = end + 1;
  }
  if (values.size() == 1 && values[0].IsArray()) {
    entry.EnumValues = values[0];
    return;
  }
  // Never more values than were given, whatever count says.
  const int taken = std::max(0, std::min(count + 1, static_cast<int>(values.size())));
  Variant array = VarArrayCreate(0, taken - 1);
  for (int i = 0; i < taken; ++i) array[i] = values[static_cast<size_t>(i)];
  entry.EnumValues = (taken > 0 && values[0].IsNull()) ? Null() : array;
}

TfrPropRec* TfrObject::FindProperty(std::string_view name) {
  for (auto& entry : properties_)
    if (SameText(entry->Name, name)) return entry.get();
  return nullptr;
}

namespace {

Variant EvaluateArgument(const Variant& argument) {
  const AnsiString text = VarToStr(argument);
  return frBuildHost().Parser().EvaluateText(text);
}

}  // namespace

Variant TfrObject::DoStringListMethod(TStrings& list, std::string_view method, const Variant& p1, const Variant& p2,
                                      const Variant& p3, std::string_view property_name) {
  const AnsiString m = AnsiUpperCase(method);
  const AnsiString prefix(property_name);
  if (m == "SETINDEXPROPERTY") {
    if (AnsiUpperCase(VarToStr(p1)) == prefix) list.SetStrings(p2.AsInteger(), VarToStr(p3));
  } else if (m == "GETINDEXPROPERTY") {
    if (AnsiUpperCase(VarToStr(p1)) == prefix) return list.Strings(p2.AsInteger());
  } else if (m == prefix + ".ADD") {
    list.Add(VarToStr(EvaluateArgument(p1)));
  } else if (m == prefix + ".CLEAR") {
    list.Clear();
  } else if (m == prefix + ".DELETE") {
    list.Delete(EvaluateArgument(p1).AsInteger());
  } else if (m == prefix + ".INDEXOF") {
    const AnsiString text = VarToStr(EvaluateArgument(p1));
    for (int i = 0; i < list.Count(); ++i)
      if (list.Strings(i) == text) return i;
    return -1;
  }
  return Null();
}

void TfrObject::SetFontProperty(TFont& font, std::string_view name, const Variant& value) {
  const AnsiString n = AnsiUpperCase(name);
  if (n == "FONT.NAME")
    font.SetName(VarToStr(value));
  else if (n == "FONT.SIZE")
    font.SetSize(value.AsInteger());
  else if (n == "FONT.STYLE")
    font.SetStyle(FontStyleFromInt(value.AsInteger()));
  else if (n == "FONT.COLOR")
    font.SetColor(value.AsInteger());
}

Variant TfrObject::GetFontProperty(const TFont& font, std::string_view name) {
  const AnsiString n = AnsiUpperCase(name);
  if (n == "FONT.NAME") return font.Name();
  if (n == "FONT.SIZE") return font.Size();
  if (n == "FONT.STYLE") return FontStyleToInt(font.Style());
  if (n == "FONT.COLOR") return static_cast<int>(font.Color());
  return Null();
}

void EnsurePropertyList(TfrObject& object) {
  if (object.PropertyList().empty()) object.FillPropertyList();
}

// ---- TfrView ----------------------------------------------------------------------

TfrView::TfrView()
    // Display format: category 0, kind 0, two decimals, the locale's separator.
    : FormatWord(512u + static_cast<unsigned char>(FormatSettings().DecimalSeparator)) {}

TfrView::~TfrView() {
  // No running context may name it once it is gone.
  frForgetInBuilds(this);
}

void TfrView::PutProperty(std::string_view name, const Variant& value) {
  const AnsiString n = AnsiUpperCase(name);
  if (n == "NAME")
    Name = VarToStr(value);
  else if (n == "LEFT")
    Left = value.AsInteger();
  else if (n == "TOP")
    Top = value.AsInteger();
  else if (n == "WIDTH")
    Width = value.AsInteger();
  else if (n == "HEIGHT")
    Height = value.AsInteger();
  else if (n == "FLAGS")
    Flags = static_cast<uint16_t>(value.AsInteger());
  else if (n == "FRAMETYP")
    FrameTyp = static_cast<uint16_t>(value.AsInteger());
  else if (n == "FRAMEWIDTH")
    FrameWidth = value.AsDouble();
  else if (n == "FRAMECOLOR")
    FrameColor = value.AsInteger();
  else if (n == "FRAMESTYLE")
    FrameStyle = static_cast<uint16_t>(value.AsInteger());
  else if (n == "FILLCOLOR")
    FillColor = value.AsInteger();
  else if (n == "VISIBLE")
    Visible = value.AsBoolean();
  else if (n == "MEMO" || n == "DATAFIELD")
    Memo.SetText(VarToStr(value));
  else if (n == "GAPX")
    GapX = value.AsInteger();
  else if (n == "GAPY")
    GapY = value.AsInteger();
  else if (n == "STRETCHED")
    Flags = value.AsBoolean() ? (Flags | flStretched) : (Flags & ~flStretched);
  else if (n == "BANDALIGN")
    BandAlign = static_cast<uint8_t>(value.AsInteger());
  else if (n == "TAG")
    Tag = VarToStr(value);
  else
    TfrObject::PutProperty(name, value);
}

Variant TfrView::FetchProperty(std::string_view name) {
  const AnsiString n = AnsiUpperCase(name);
  if (n == "NAME") return Name;
  if (n == "LEFT") return Left;
  if (n == "TOP") return Top;
  if (n == "WIDTH") return Width;
  if (n == "HEIGHT") return Height;
  if (n == "FLAGS") return static_cast<int>(Flags);
  if (n == "FRAMETYP") return static_cast<int>(FrameTyp);
  if (n == "FRAMEWIDTH") return FrameWidth;
  if (n == "FRAMECOLOR") return static_cast<int>(FrameColor);
  if (n == "FRAMESTYLE") return static_cast<int>(FrameStyle);
  if (n == "FILLCOLOR") return static_cast<int>(FillColor);
  if (n == "VISIBLE") return Visible;
  if (n == "MEMO") return Memo.Text();
  if (n == "GAPX") return GapX;
  if (n == "GAPY") return GapY;
  if (n == "STRETCHED") return (Flags & flStretched) != 0;
  if (n == "BANDALIGN") return static_cast<int>(BandAlign);
  if (n == "DATAFIELD") return Memo.Count() > 0 ? Memo.Strings(0) : AnsiString();
  if (n == "MEMO.COUNT") return Memo.Count();
  if (n == "TAG") return Tag;
  return TfrObject::FetchProperty(name);
}

Variant TfrView::InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2, const Variant& p3) {
  Variant result = TfrObject::InvokeMethod(name, p1, p2, p3);
  if (result.IsNull()) result = DoStringListMethod(Memo, name, p1, p2, p3, "MEMO");
  const AnsiString n = AnsiUpperCase(name);
  if (n == "HIDE")
    PutProperty("Visible", false);
  else if (n == "SHOW")
    PutProperty("Visible", true);
  return result;
}

bool TfrView::ListsFrameProperties() const { return TypeCode != gtBand && TypeCode != gtSubReport; }

void TfrView::FillPropertyList() {
  ClearPropertyList();
  AddProperty("Name", frdtString | frdtOneObject);
  for (const char* n : {"Left", "Top", "Width", "Height"}) AddProperty(n, frdtSize);
  AddProperty("Flags", 0);
  if (ListsFrameProperties()) {
    AddProperty("FrameTyp", frdtInteger);
    AddProperty("FrameWidth", frdtSize | frdtFloat);
    AddProperty("FrameColor", frdtColor);
    AddEnumProperty("FrameStyle", "psSolid;psDash;psDot;psDashDot;psDashDotDot;psDouble", 5, {0, 1, 2, 3, 4, 5});
    AddProperty("FillColor", frdtColor);
    AddProperty("Tag", frdtOneObject | frdtHasEditor);
    AddEnumProperty("BandAlign", "baNone;baLeft;baRight;baCenter;baWidth;baBottom;baTop;baRest", 7,
                    {0, 1, 2, 3, 4, 5, 6, 7});
  }
  AddProperty("Visible", frdtBoolean);
  AddProperty("Memo", frdtOneObject | frdtHasEditor);
  AddProperty("Memo.Count", 0);
  AddProperty("Restrictions", frdtHasEditor);
}

void TfrView::LoadFromField(TBlobField*) {}

void TfrView::AfterMemoPrinted(TfrMemoView*) {}

void TfrView::AfterTemplateLoad() {}

void TfrView::OpenEditor() {}

void TfrView::SetBounds(int left, int top, int width, int height) {
  Left = left;
  Top = top;
  Width = width;
  Height = height;
}

bool TfrView::NameTaken(const AnsiString& candidate) {
  return frBuildHost().FindObject(candidate) != nullptr;
}

void TfrView::CreateUniqueName() {
  Name.clear();
  for (int n = 1; n <= kMaxGeneratedNameNumber; ++n) {
    const AnsiString candidate = NamePrefix + IntToStr(n);
    if (!NameTaken(candidate)) {
      PutProperty("Name", candidate);
      return;
    }
  }
}

void TfrView::PrintToPage(TStream& stream) {
  TfrBuildHost& host = frBuildHost();
  host.BeginDraw(*this, Canvas);
  ExpandedMemo.Assign(Memo);
  host.DoBeforePrint(*this);
  host.RunScript(*this);
  if (!Visible) return;

  {
    // The expanded tag goes into the record only; the template keeps its brackets.
    TScopedValue<AnsiString> kept_tag(Tag);
    if (Tag.find('[') != AnsiString::npos) Tag = host.ExpandVariables(*this, Tag);
    if (const std::optional<TfrBandPlacement> band = host.CurrentBand()) {
      if (BandAlign == baBottom)
        Top = band->Top + band->Height - Height;
      else if (BandAlign == baTop)
        Top = band->Top;
      else if (BandAlign == baWidth && band->BandType >= 18 && band->BandType <= 20)
        Width = band->Width;
    }
    WriteByte(stream, TypeCode);
    if (TypeCode == gtAddIn) WriteCountedString(stream, ClassName());
    WriteRecord(stream);
  }
}

void TfrView::HandToExport() {
  frBuildHost().ExportObject(Left, Top, *this);
}

namespace {

// The stored frame width: whole widths 0..10 as they are, anything else in
// thousandths. Values the reader would take for something else are mended:
// a negative width (or NaN) is stored as 0, and a fraction so small that its
// thousandths fall into 1..10 (which read back as whole widths of 1 to 10
// pixels) as the smallest fraction that survives, 0.011.
int32_t StoredFrameWidth(double width) {
  if (!(width >= 0)) return 0;
  if (width <= 10 && width == std::floor(width)) return static_cast<int32_t>(width);
  const double thousandths = width * 1000;
  if (thousandths >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  const auto stored = static_cast<int32_t>(PasRound(thousandths));
  if (stored == 0) return 0;
  return stored <= 10 ? 11 : stored;
}

double FrameWidthFromStored(int32_t stored) {
  if (stored < 0) return 0;  // no producer writes one; a negative pen width is no frame anyone drew
  const int64_t thousandths = stored <= 10 ? int64_t{stored} * 1000 : stored;
  return static_cast<double>(thousandths) / 1000;
}

}  // namespace

bool TfrView::GeometryInPageRange() const {
  for (const int value : {Left, Top, Width, Height})
    if (value < -kPageCoordinateLimit || value > kPageCoordinateLimit) return false;
  return true;
}

void TfrView::ReadRecord(TStream& stream, int version) {
  const bool prepared = RecordMode != rmTemplate;
  if (version > 23 || (version == 23 && !prepared))
    Name = ReadVersionedString(stream, version);
  else
    CreateUniqueName();
  if (version > 23) {
    RecordMajor = ReadByte(stream);
    RecordMinor = ReadByte(stream);
  } else {
    // Older records carry no version and no band alignment; the object's own
    // major version (2 after any write) must not make us read one.
    RecordMajor = 0;
    RecordMinor = 0;
  }
  unsigned char fixed[30];
  stream.ReadBuffer(fixed, sizeof fixed);
  Left = static_cast<int32_t>(GetLE32(fixed));
  Top = static_cast<int32_t>(GetLE32(fixed + 4));
  Width = static_cast<int32_t>(GetLE32(fixed + 8));
  Height = static_cast<int32_t>(GetLE32(fixed + 12));
  Flags = GetLE16(fixed + 16);
  FrameTyp = GetLE16(fixed + 18);
  FrameWidth = FrameWidthFromStored(static_cast<int32_t>(GetLE32(fixed + 20)));
  FrameColor = static_cast<TColor>(GetLE32(fixed + 24));
  FrameStyle = GetLE16(fixed + 28);
  FillColor = static_cast<TColor>(ReadDword(stream));
  if (!prepared) {
    FormatWord = ReadDword(stream);
    FormatText = ReadVersionedString(stream, version);
  }
  ReadVersionedLines(stream, version, Memo);
  if (version > 22 && !prepared) {
    ReadVersionedLines(stream, version, Script);
    Visible = ReadWord(stream) != 0;
  }
  if (version > 23) {
    Restrictions = ReadWord(stream);
    Tag = ReadCountedString(stream);
    GapX = ReadInt(stream);
    GapY = ReadInt(stream);
  }
  if (RecordMajor > 1) BandAlign = ReadByte(stream);
}

void TfrView::WriteRecord(TStream& stream) {
  const bool prepared = RecordMode != rmTemplate;
  RecordMajor = kRecordMajorVersion;
  WriteCountedString(stream, Name);
  WriteByte(stream, RecordMajor);
  WriteByte(stream, RecordMinor);
  unsigned char fixed[30];
  PutLE32(fixed, static_cast<uint32_t>(Left));
  PutLE32(fixed + 4, static_cast<uint32_t>(Top));
  PutLE32(fixed + 8, static_cast<uint32_t>(Width));
  PutLE32(fixed + 12, static_cast<uint32_t>(Height));
  PutLE16(fixed + 16, Flags);
  PutLE16(fixed + 18, FrameTyp);
  PutLE32(fixed + 20, static_cast<uint32_t>(StoredFrameWidth(FrameWidth)));
  PutLE32(fixed + 24, static_cast<uint32_t>(FrameColor));
  PutLE16(fixed + 28, FrameStyle);
  stream.WriteBuffer(fixed, sizeof fixed);
  WriteDword(stream, static_cast<uint32_t>(FillColor));
  if (prepared) {
    WriteCountedLines(stream, ExpandedMemo);
  } else {
    WriteDword(stream, FormatWord);
    WriteCountedString(stream, FormatText);
    WriteCountedLines(stream, Memo);
    WriteCountedLines(stream, Script);
    WriteWord(stream, Visible ? 0xFFFF : 0);
  }
  WriteWord(stream, Restrictions);
  WriteCountedString(stream, Tag);
  WriteInt(stream, GapX);
  WriteInt(stream, GapY);
  WriteByte(stream, BandAlign);
}

// ---- TfrStretcheable ----------------------------------------------------------------

Variant TfrStretcheable::InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2,
                                      const Variant& p3) {
  Variant result = TfrView::InvokeMethod(name, p1, p2, p3);
  if (AnsiUpperCase(name) == "CALCHEIGHT") result = CalcHeight();
  return result;
}

// ---- TfrControl ----------------------------------------------------------------------

TfrControl::TfrControl() {
  FillColor = clBtnFace;
  FrameTyp = 0;
}

void TfrControl::PutProperty(std::string_view name, const Variant& value) {
  TfrView::PutProperty(name, value);
  if (Control != nullptr && AnsiUpperCase(name) == "VISIBLE") Control->SetVisible(Visible);
}

void TfrControl::FillPropertyList() {
  ClearPropertyList();
  AddProperty("Name", frdtString | frdtOneObject);
  for (const char* n : {"Left", "Top", "Width", "Height"}) AddProperty(n, frdtSize);
  AddProperty("Visible", frdtBoolean);
  AddProperty("Restrictions", frdtHasEditor);
}

bool TfrControl::NameTaken(const AnsiString& candidate) {
  if (TfrView::NameTaken(candidate)) return true;
  return frBuildHost().FindDialogComponent(candidate) != nullptr;
}

void TfrControl::PlaceControl(TWinControl* form) {
  if (Control == nullptr) return;
  Control->SetParent(form);
  Control->SetBounds(Left, Top, Width, Height);
}

void TfrControl::DrawTo(TCanvas* canvas) {
  Canvas = canvas;
  frBuildHost().BeginDraw(*this, canvas);
  if (Control != nullptr) Control->SetBounds(Control->Left(), Control->Top(), Width, Height);
  ApplyScale();
  PaintHostedControl();
  RestoreGeometry();
}

// ---- Factory ----------------------------------------------------------------------------

namespace {

struct AddInClass {
  AnsiString name;
  TfrViewConstructor constructor;
};

std::array<TfrViewConstructor, 5>& BuiltInConstructors() {
  static std::array<TfrViewConstructor, 5> table;
  return table;
}

std::vector<AddInClass>& AddInClasses() {
  static std::vector<AddInClass> registry;
  return registry;
}

}  // namespace

void SetBuiltInViewConstructor(int type_code, TfrViewConstructor constructor) {
  if (type_code >= 0 && type_code < static_cast<int>(BuiltInConstructors().size()))
    BuiltInConstructors()[static_cast<size_t>(type_code)] = std::move(constructor);
}

bool RegisterAddInViewClass(const AnsiString& class_name, TfrViewConstructor constructor) {
  if (static_cast<int>(AddInClasses().size()) >= kMaxAddInClasses) return false;
  AddInClasses().push_back({class_name, std::move(constructor)});
  return true;
}

void UnregisterAddInViewClass(const AnsiString& class_name) {
  std::erase_if(AddInClasses(), [&](const AddInClass& c) { return c.name == class_name; });
}

std::unique_ptr<TfrView> CreateViewByType(int type_code, const AnsiString& class_name) {
  std::unique_ptr<TfrView> view;
  if (type_code >= 0 && type_code < static_cast<int>(BuiltInConstructors().size())) {
    if (const auto& make = BuiltInConstructors()[static_cast<size_t>(type_code)]) view = make();
  } else if (type_code == gtAddIn) {
    const auto& registry = AddInClasses();
    const auto found = std::find_if(registry.begin(), registry.end(),
                                    [&](const AddInClass& c) { return c.name == class_name; });
    if (found != registry.end()) {
      view = found->constructor();
      if (view) view->TypeCode = gtAddIn;
    } else {
      TfrEngineState& engine = frEngine();
      engine.ClassNotFound = true;
      engine.MissingClasses += class_name + '\r';
      throw EClassNotFound(engine.MissingClasses);
    }
  }
  if (view) view->ObjectID = ++frEngine().ObjectIdCounter;
  return view;
}
