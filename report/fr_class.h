// The report's object model: the root TfrObject with its property list, the
// view base TfrView that every object placed on a page derives from, the
// object factory, the common part of the object record, and the property and
// method interface that report expressions and scripts use.
//
// Object record, common part (little-endian; V is the version of the stream
// being read, M the object's RecordMode: 0 template record, 1 built-page record):
//
//   Name            text   when V > 23, or V = 23 and M = 0 (else a name is made)
//   major, minor    u8 u8  when V > 23
//   Left Top Width Height  i32 each
//   Flags FrameTyp  u16 u16
//   frame width     i32    a value <= 10 is a whole width, anything else
//                          thousandths of a pixel
//   FrameColor      u32
//   FrameStyle      u16
//   FillColor       u32
//   FormatWord      u32    when M = 0
//   FormatText      text   when M = 0
//   Memo            lines  (a built-page record holds the expanded text here)
//   Script          lines  when V > 22 and M = 0
//   Visible         u16    when V > 22 and M = 0; 0 false, anything else true
//   Restrictions    u16    when V > 23
//   Tag             text   when V > 23
//   GapX GapY       i32    when V > 23
//   BandAlign       u8     when the record's major version is above 1
//
// Texts and lines are counted from version 23 on and zero-terminated before:
//
//   counted text   u16 n, n bytes, one byte 0
//   counted lines  u16 count; count 0: one byte 0; else every line as u16 n +
//                  n bytes + separator (13 after every line but the last, 0
//                  after the last). Readers go by the separators; the count
//                  only says whether any line follows.
//   zero text      bytes up to a 0
//   zero lines     bytes up to a 0; 13 or the 0 ends a line; a line that ended
//                  with 13 or is not empty is kept; line feeds belong to lines
//
// Writers always produce the newest layout (major 2, counted encodings).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "toolkit/core/classes.h"
#include "toolkit/core/variant.h"
#include "toolkit/gfx/graphics.h"

class TBlobField;
class TControl;
class TComponent;
class TDataSet;
class TPopupMenu;
class TWinControl;
class TfrBand;
class TfrMemoView;
class TfrPage;
class TfrParser;
class TfrReport;
class TfrView;

// ---- Type codes, flags and limits -------------------------------------------

inline constexpr uint8_t gtMemo = 0;
inline constexpr uint8_t gtPicture = 1;
inline constexpr uint8_t gtBand = 2;
inline constexpr uint8_t gtSubReport = 3;
inline constexpr uint8_t gtLine = 4;
// Any other class, found by its class name in the registry.
inline constexpr uint8_t gtAddIn = 10;

// Flags bit 0 in every class: the object is stretched.
inline constexpr uint16_t flStretched = 1;
// Flags bit that asks for TfrView::AfterMemoPrinted after every printed text object.
inline constexpr uint16_t flWantHook = 0x8000;

// FrameTyp edges.
inline constexpr uint16_t frbRight = 1;
inline constexpr uint16_t frbBottom = 2;
inline constexpr uint16_t frbLeft = 4;
inline constexpr uint16_t frbTop = 8;

// FrameStyle values (pen styles; 5 is the double line drawn by the engine).
inline constexpr uint16_t frsSolid = 0;
inline constexpr uint16_t frsDash = 1;
inline constexpr uint16_t frsDot = 2;
inline constexpr uint16_t frsDashDot = 3;
inline constexpr uint16_t frsDashDotDot = 4;
inline constexpr uint16_t frsDouble = 5;

// BandAlign values.
enum TfrBandAlign : uint8_t { baNone, baLeft, baRight, baCenter, baWidth, baBottom, baTop, baRest };

// Page pixels: far beyond any paper (about 277 m), far within what scaling
// to a printer's resolution and adding frames can take in 32 bits.
inline constexpr int kPageCoordinateLimit = 1000000;

// EngineMode values.
inline constexpr int emDesigning = 0;
inline constexpr int emPrinting = 1;

// RecordMode values.
inline constexpr uint8_t rmTemplate = 0;
inline constexpr uint8_t rmPrepared = 1;

// Property entry type flags.
inline constexpr uint16_t frdtString = 1;
inline constexpr uint16_t frdtInteger = 2;
inline constexpr uint16_t frdtFloat = 4;
inline constexpr uint16_t frdtBoolean = 8;
inline constexpr uint16_t frdtColor = 16;
inline constexpr uint16_t frdtEnum = 32;
inline constexpr uint16_t frdtHasEditor = 64;
inline constexpr uint16_t frdtSize = 128;
inline constexpr uint16_t frdtOneObject = 256;

// Longest property name an entry keeps.
inline constexpr size_t kMaxPropertyNameLength = 32;
// Generated names use the numbers 1 to this.
inline constexpr int kMaxGeneratedNameNumber = 10000;
// Entries of the add-in class registry.
inline constexpr int kMaxAddInClasses = 32;
// The newest object record layout.
inline constexpr uint8_t kRecordMajorVersion = 2;

// ---- Template text encodings --------------------------------------------------
// Every read raises EReadError when the stream ends first.

uint8_t ReadByte(TStream& stream);
void WriteByte(TStream& stream, uint8_t value);
uint16_t ReadWord(TStream& stream);
void WriteWord(TStream& stream, uint16_t value);
uint32_t ReadDword(TStream& stream);
void WriteDword(TStream& stream, uint32_t value);
// A signed 32-bit value, stored as its two's-complement dword.
int32_t ReadInt(TStream& stream);
void WriteInt(TStream& stream, int32_t value);
// A flag stored as a word: 0xFFFF true, 0 false; any non-zero word reads true.
bool ReadBool16(TStream& stream);
void WriteBool16(TStream& stream, bool value);

AnsiString ReadCountedString(TStream& stream);
// Raises EWriteError for a text longer than 65535 bytes, which the u16 length cannot carry.
void WriteCountedString(TStream& stream, std::string_view text);
void ReadCountedLines(TStream& stream, TStrings& lines);
// Raises EWriteError for a line longer than 65535 bytes.
void WriteCountedLines(TStream& stream, const TStrings& lines);
AnsiString ReadZeroString(TStream& stream);
void ReadZeroLines(TStream& stream, TStrings& lines);
// The counted form from version 23 on, the zero-terminated one before.
AnsiString ReadVersionedString(TStream& stream, int version);
void ReadVersionedLines(TStream& stream, int version, TStrings& lines);

// Stored font style bits: 1 italic, 2 bold, 4 underline, 8 strike-out.
TFontStyles FontStyleFromInt(int bits);
int FontStyleToInt(TFontStyles style);

// ---- Property list --------------------------------------------------------------

// Opens a property's editor (a designer's; nothing in this system installs one).
using TfrPropertyEditor = std::function<void()>;

// One entry of an object's property list.
struct TfrPropRec {
  // At most kMaxPropertyNameLength characters.
  AnsiString Name;
  // frdt* bits; 0 is a plain value.
  uint16_t TypeFlags = 0;
  // The enumeration's names (enumerations only).
  std::unique_ptr<TStringList> Enum;
  // The enumeration's values: an array, or Null.
  Variant EnumValues;
  TfrPropertyEditor Editor;
  // The object the editor belongs to (not owned).
  void* EditorOwner = nullptr;
};

// ---- TfrObject -----------------------------------------------------------------

// The root of report objects and template pages: the property list and the
// script interface. Property and method names arrive in any case.
class TfrObject {
 public:
  TfrObject() = default;
  virtual ~TfrObject();
  TfrObject(const TfrObject&) = delete;
  TfrObject& operator=(const TfrObject&) = delete;

  // The class name as templates store it for add-in classes.
  virtual const char* ClassName() const { return "TfrObject"; }

  // 1. Sets a property by name; unknown names are ignored.
  virtual void PutProperty(std::string_view name, const Variant& value);
  // 2. Reads a property by name; Null for unknown names.
  virtual Variant FetchProperty(std::string_view name);
  // 3. Calls a script method; Null when the name is unknown.
  virtual Variant InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2, const Variant& p3);
  // 4. Rebuilds the property list.
  virtual void FillPropertyList();

  // Appends an entry; the name is cut to kMaxPropertyNameLength characters.
  void AddProperty(std::string_view name, uint16_t type_flags, TfrPropertyEditor editor = {},
                   void* editor_owner = nullptr);
  // Appends an enumeration entry (type flags frdtEnum): the names are names_text
  // split at ";". `values` is taken as it is when it is a single Variant array;
  // otherwise the first count + 1 of them make the array, and a Null first
  // value makes the entry's values Null.
  void AddEnumProperty(std::string_view name, std::string_view names_text, int count,
                       const std::vector<Variant>& values);
  // The first entry whose name equals `name` ignoring case; nullptr when none.
  TfrPropRec* FindProperty(std::string_view name);
  void ClearPropertyList() { properties_.clear(); }
  const std::vector<std::unique_ptr<TfrPropRec>>& PropertyList() const { return properties_; }

  // The string-list methods of a list property; property_name is upper case
  // ("MEMO"). Returns Null for a method that is not one of them, and for the
  // methods that give no result.
  Variant DoStringListMethod(TStrings& list, std::string_view method, const Variant& p1, const Variant& p2,
                             const Variant& p3, std::string_view property_name);
  // FONT.NAME, FONT.SIZE, FONT.STYLE (stored style bits) and FONT.COLOR of a
  // text object's font; `name` is upper case. Other names change nothing / give Null.
  void SetFontProperty(TFont& font, std::string_view name, const Variant& value);
  Variant GetFontProperty(const TFont& font, std::string_view name);

 private:
  std::vector<std::unique_ptr<TfrPropRec>> properties_;
};

// Fills the object's property list when it is empty.
void EnsurePropertyList(TfrObject& object);

// ---- TfrView --------------------------------------------------------------------

// The copy of the geometry TfrView::ApplyScale takes and RestoreGeometry puts back.
struct TfrSavedGeometry {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  double FrameWidth = 0;
  int GapX = 0, GapY = 0;
};

// Everything placed on a page. The fields are the object record's (see the top
// of this file) and the build's and drawing's working state.
class TfrView : public TfrObject {
 public:
  TfrView();
  ~TfrView() override;
  const char* ClassName() const override { return "TfrView"; }

  void PutProperty(std::string_view name, const Variant& value) override;
  Variant FetchProperty(std::string_view name) override;
  Variant InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2, const Variant& p3) override;
  void FillPropertyList() override;

  // 5, 6. Background and frame of the current drawing.
  virtual void PaintFill() = 0;
  virtual void PaintBorder() = 0;
  // 7. Takes content from a blob field; a plain view takes nothing.
  virtual void LoadFromField(TBlobField* field);
  // 8. Called on every object with flWantHook after each printed text object.
  virtual void AfterMemoPrinted(TfrMemoView* printed);
  // 9. Called on every object once a whole template has been read.
  virtual void AfterTemplateLoad();
  // 10. The virtual constructor is the class's entry in the factory tables
  //     (TfrViewConstructor below).
  // 11, 12. Scaled geometry for a drawing, and the stored geometry back.
  virtual void ApplyScale() = 0;
  virtual void RestoreGeometry() = 0;
  // 13. Draws the object on canvas.
  virtual void DrawTo(TCanvas* canvas) = 0;
  // 14. Evaluates the object for the current band and appends its type code,
  //     add-in class name and record to a built page stream; an object that is
  //     not Visible then writes nothing.
  virtual void PrintToPage(TStream& stream);
  // 15. Hands the object to the active export filter.
  virtual void HandToExport();
  // 16. Reads the record of a stream of version `version` (see the top of this file).
  virtual void ReadRecord(TStream& stream, int version);
  // 17. Writes the record in the newest layout.
  virtual void WriteRecord(TStream& stream);
  // 18. The object's attributes in the XML template text.
  virtual void WriteXmlAttrs(TStream& stream) = 0;
  // 19. Designer pop-up items.
  virtual void FillDesignMenu(TPopupMenu* menu) = 0;
  // 20. The clip rectangle of the object, 10 pixels larger on every side with the margin.
  virtual TRect BuildClipRegion(bool with_margin) = 0;
  // 21. Opens the object's editor; a plain view has none.
  virtual void OpenEditor();

  void SetBounds(int left, int top, int width, int height);
  // Whether the place and size lie in the range of a page: no coordinate or
  // extent beyond kPageCoordinateLimit either way. A file that holds more is
  // damaged.
  bool GeometryInPageRange() const;
  // Names the object NamePrefix + the smallest number 1..10000 that no template
  // object of the current report carries; leaves Name empty when all are taken.
  void CreateUniqueName();

  AnsiString Name;
  AnsiString NamePrefix = "View";
  uint8_t TypeCode = gtAddIn;
  uint8_t RecordMajor = kRecordMajorVersion;
  // The object's own minor version; band objects write 1.
  uint8_t RecordMinor = 0;
  // Sequence number from the factory's counter.
  uint32_t ObjectID = 0;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  uint16_t Flags = flStretched;
  // Frame edges; a band keeps its band type here.
  uint16_t FrameTyp = 0;
  double FrameWidth = 1.0;
  TColor FrameColor = clBlack;
  uint16_t FrameStyle = frsSolid;
  // clNone: no fill.
  TColor FillColor = clNone;
  uint32_t FormatWord = 0;
  // Custom display format; a band keeps its data-set name or group condition here.
  AnsiString FormatText;
  // The text as designed.
  TStringList Memo;
  // Memo after expansion and wrapping: what is printed.
  TStringList ExpandedMemo;
  // Run each time the object is printed.
  TStringList Script;
  bool Visible = true;
  // Designer restriction bits: stored and carried only.
  uint16_t Restrictions = 0;
  // Free text; bracketed expressions are expanded when printing.
  AnsiString Tag;
  int GapX = 2, GapY = 1;
  uint8_t BandAlign = baNone;
  // At build time, for band objects, the run-time band made from it.
  TfrBand* Parent = nullptr;
  // Set by the page build for an object whose text is a single field reference.
  TDataSet* DataSet = nullptr;
  AnsiString DataField;
  double ScaleFactorX = 1.0, ScaleFactorY = 1.0;
  int OriginX = 0, OriginY = 0;
  TfrSavedGeometry SavedGeometry;
  TRect PaintRect;
  // The canvas of the current drawing.
  TCanvas* Canvas = nullptr;
  uint8_t RecordMode = rmTemplate;
  bool ToPrinter = false;

 protected:
  // Whether a generated name is taken already.
  virtual bool NameTaken(const AnsiString& candidate);
  // The property list TfrView gives a class without the frame and tag entries
  // (bands and sub-reports).
  virtual bool ListsFrameProperties() const;
};

// Stretcheable objects: their height can follow their content.
class TfrStretcheable : public TfrView {
 public:
  const char* ClassName() const override { return "TfrStretcheable"; }
  Variant InvokeMethod(std::string_view name, const Variant& p1, const Variant& p2, const Variant& p3) override;
  // 22. The height the content needs, the least height, and what is left to print.
  virtual int CalcHeight() = 0;
  virtual int MinimumHeight() = 0;
  virtual int RemainingHeight() = 0;
};

// Hosts a toolkit control on a dialog page.
class TfrControl : public TfrView {
 public:
  TfrControl();
  const char* ClassName() const override { return "TfrControl"; }
  void PutProperty(std::string_view name, const Variant& value) override;
  void FillPropertyList() override;
  // BeginDraw, the control sized to Width x Height, ApplyScale,
  // PaintHostedControl, RestoreGeometry.
  void DrawTo(TCanvas* canvas) override;
  // 22. Paints the hosted control onto Canvas at (Left, Top).
  virtual void PaintHostedControl() = 0;
  // Puts the hosted control on a dialog form with the object's bounds.
  void PlaceControl(TWinControl* form);

  // The hosted control (owned by the dialog form it is placed on).
  TControl* Control = nullptr;

 protected:
  bool NameTaken(const AnsiString& candidate) override;
};

// ---- Factory ----------------------------------------------------------------------

// A class's virtual constructor.
using TfrViewConstructor = std::function<std::unique_ptr<TfrView>()>;

// The constructor for a built-in type code 0 to 4, installed by the unit that
// defines that class. Other codes are ignored.
void SetBuiltInViewConstructor(int type_code, TfrViewConstructor constructor);
// Adds an add-in class for type code 10. False when the registry holds
// kMaxAddInClasses entries already.
bool RegisterAddInViewClass(const AnsiString& class_name, TfrViewConstructor constructor);
// Removes every entry of that class name.
void UnregisterAddInViewClass(const AnsiString& class_name);

// The object of a stored type code, with the next ObjectID; nullptr for codes 5
// to 9, above 10, and built-in codes whose class has no constructor installed.
// Code 10 looks class_name up case-sensitively; when it is not registered the
// name and a carriage return are appended to the missing-class list and
// EClassNotFound is raised with the whole list.
std::unique_ptr<TfrView> CreateViewByType(int type_code, const AnsiString& class_name);

// ---- Process-wide state --------------------------------------------------------------

// What every report shares, kept by the report globals (fr_globals.h); what
// one build reaches is its TfrBuildContext.
struct TfrEngineState {
  // emDesigning or emPrinting.
  int EngineMode = emDesigning;
  // The last ObjectID given out; the first object gets 1.
  uint32_t ObjectIdCounter = 0;
  // Set when an add-in class was missing; MissingClasses lists them, each
  // followed by a carriage return.
  bool ClassNotFound = false;
  AnsiString MissingClasses;
};
// The state of the report globals, made with them on first use.
TfrEngineState& frEngine();
// Clears the missing-class flag and list (the template reader does before reading).
void ResetMissingClasses();

class TfrKeptCurrent;
class TfrBuildHost;

// The error flag and text of one build or template read: the first failure
// of an expression, shown when the work ends.
struct TfrErrorState {
  bool ErrorFlag = false;
  AnsiString ErrorText;
};

// What value resolution (fr_value.h) keeps between the calls of one work.
struct TfrValueState {
  // The name being evaluated as an expression: a name that comes back to
  // itself is undefined.
  AnsiString Evaluating;
  // VALUE: what the last bracketed text of a text object resolved to.
  Variant LastValue;
  // The bracketed text being resolved.
  AnsiString CurrentExpression;
};

// What one build, print, preview drawing or template read works on: the report,
// page, band and object it has reached, and the running build's counters. Held
// by a TfrBuildScope for exactly as long as that work runs, so nothing of it
// can be reached once the work is over (or the objects it names are freed).
struct TfrBuildContext {
  TfrReport* CurReport = nullptr;
  // The component that owns CurReport (the application's main form): names
  // without a top-level part are looked up from it.
  TComponent* ReportOwner = nullptr;
  TfrPage* CurPage = nullptr;
  TfrBand* CurBand = nullptr;
  TfrView* CurView = nullptr;
  // What the work needs of the rest of the engine; nullptr only in a copy
  // made with none running, whose reach for it raises.
  TfrBuildHost* Host = nullptr;
  TfrErrorState Error;
  TfrValueState Value;
  // The 0-based index of the built page being filled; PAGE# is this + 1.
  int BuiltPageIndex = 0;
  // TOTALPAGES: the page count of the first of two passes, 0 in any other build.
  int TotalPages = 0;
  // DATE and TIME: when the running build started.
  double BuildDate = 0;
  double BuildTime = 0;
  // Set while the first of two passes runs.
  bool FirstPass = false;
  // Set while the first of two passes builds a page: fills and frames are
  // not painted.
  bool PaintsSkipped = false;
  // Set while the last (or only) pass runs.
  bool FinalPass = false;
  // A dialog page of the running build was closed with Cancel.
  bool DialogCancelled = false;
  // The next template page goes on printing on the last built page, from the
  // position and with the bottom the previous template page ended at.
  bool ContinueOnPrevPage = false;
  int PrevPageCurY = 0;
  int PrevPageCurBottom = 0;
  // The last page's footer has been printed already.
  bool FooterPrinted = false;
  // Objects told about every printed text object (their flags hold flWantHook).
  std::vector<TfrView*> Listeners;
  // The aggregate calls of the bands are being collected, for Target.
  bool Registering = false;
  TfrBand* Target = nullptr;

  // Whether a scope holds this very context and has not ended: false for a
  // copy, for the empty context of frBuildOrNone and after the scope's end.
  bool Live() const;

 private:
  friend class TfrBuildScope;
  friend void frForgetInBuilds(const void* object);
  // Nothing reached in a report's work stays when the report changes or goes.
  void StartReport(TfrReport* report);
  friend class TfrKeptCurrent;
  // The innermost keeper that will put something of this context back; a
  // copy of a context starts without any.
  struct KeeperChain {
    TfrKeptCurrent* innermost = nullptr;
    KeeperChain() = default;
    KeeperChain(const KeeperChain&) {}
    KeeperChain& operator=(const KeeperChain&) { return *this; }
  };
  KeeperChain keepers_;
  // Set by the scope only; a copy of a context starts unmarked.
  struct LiveMark {
    uint32_t value = 0;
    LiveMark() = default;
    LiveMark(const LiveMark&) {}
    LiveMark& operator=(const LiveMark&) { return *this; }
  };
  LiveMark live_;
};

// Installs a context for the work of its lifetime on top of the running ones
// and, when it ends, makes the one it covered current again. Scopes end in
// the reverse order of their start.
class TfrBuildScope {
 public:
  enum Start {
    // Everything empty but the report and the host.
    kFresh,
    // A copy of the running context (empty when none runs), the report and
    // the host replaced when given: what the work changes goes when it ends.
    kCopy,
  };
  TfrBuildScope(TfrReport* report, TfrBuildHost& host, Start start = kFresh);
  // With a null host the context keeps the running one's (kCopy only: a
  // fresh context without a host raises).
  TfrBuildScope(TfrReport* report, TfrBuildHost* host, Start start);
  TfrBuildScope(TfrReport* report, Start start) : TfrBuildScope(report, nullptr, start) {}
  ~TfrBuildScope();
  TfrBuildScope(const TfrBuildScope&) = delete;
  TfrBuildScope& operator=(const TfrBuildScope&) = delete;

  TfrBuildContext& Context() { return context_; }

 private:
  friend TfrBuildContext* frBuildContext();
  friend void frForgetInBuilds(const void* object);
  TfrBuildContext context_;
  TfrBuildScope* covered_;
};

// Work that changes the current page, band or object of a running context for
// a while and then puts the covered one back (a sub-report played inside its
// owner's band, headers printed amid a row) keeps it here: one freed during
// the work is forgotten instead of coming back. Keepers of a context end in
// the reverse order of their start, before the context's scope ends.
class TfrKeptCurrent {
 public:
  TfrKeptCurrent(const TfrKeptCurrent&) = delete;
  TfrKeptCurrent& operator=(const TfrKeptCurrent&) = delete;

 protected:
  TfrKeptCurrent(TfrBuildContext& context, void* kept);
  ~TfrKeptCurrent();
  TfrBuildContext& context_;
  // nullptr once the kept one was freed.
  void* kept_;

 private:
  friend void frForgetInBuilds(const void* object);
  TfrKeptCurrent* covered_;
};

// Keeps the value of one of a context's CurPage, CurBand or CurView and puts
// it back when it ends.
template <typename T>
class TfrKeepCurrent : TfrKeptCurrent {
 public:
  TfrKeepCurrent(TfrBuildContext& context, T* TfrBuildContext::*member)
      : TfrKeptCurrent(context, context.*member), member_(member) {}
  ~TfrKeepCurrent() { context_.*member_ = static_cast<T*>(kept_); }

 private:
  T* TfrBuildContext::*member_;
};

// The context of the innermost running scope; nullptr when none runs.
TfrBuildContext* frBuildContext();
// The innermost context for work that only runs inside a scope; raises
// Exception when none runs.
TfrBuildContext& frRunningBuild();
// The innermost context to read, or an empty one when no scope runs.
const TfrBuildContext& frBuildOrNone();
// The current report, page, band and object of the innermost context;
// nullptr when no scope runs.
TfrReport* frCurrentReport();
TfrPage* frCurrentPage();
TfrBand* frCurrentBand();
TfrView* frCurrentView();
// Whether the current report was stopped, by the user or by an error of its build.
bool frBuildStopped();
// Records an exception of the build and stops the current report, which ends
// every loop at its next stop test.
void frRecordBuildError(const std::exception& error);
// Whether the engine is in its printing mode (emPrinting), not designing.
bool frPrinting();
// A report, page, band or object about to be freed leaves every running
// context (a report takes its page, band and object with it).
void frForgetInBuilds(const void* object);

// The band being printed, as PrintToPage needs it for band alignment.
struct TfrBandPlacement {
  int Top = 0;
  // The band's height as computed for this print.
  int Height = 0;
  int Width = 0;
  int BandType = 0;
};

// A run-time band as the aggregates see it.
struct TfrAggregateBand {
  AnsiString Name;
  int BandType = 0;
  // The band holds objects of other bands (cross layouts).
  bool HoldsOtherBands = false;
};

class TfrVariables;
class TInterpretator;

// What report objects, bands, aggregates and scripts need of the rest of the
// engine (drawing, the report component, the run-time bands, the parser and
// interpreter, export filters). Every build, print, export, preview drawing
// and template read runs inside a TfrBuildScope that carries one; work that
// reaches for it with none running raises, so no path can leave a step out
// unnoticed. TfrEngineHost (fr_host.h) is the engine's own.
class TfrBuildHost {
 public:
  virtual ~TfrBuildHost();

  // ---- Objects
  // Stores the canvas, makes the object current and applies band alignment.
  virtual void BeginDraw(TfrView& view, TCanvas* canvas) = 0;
  // The report's before-print step (field content, then its OnBeforePrint event).
  virtual void DoBeforePrint(TfrView& view) = 0;
  // Runs the object's compiled Script.
  virtual void RunScript(TfrView& view) = 0;
  // A text with its bracketed expressions expanded.
  virtual AnsiString ExpandVariables(TfrView& view, const AnsiString& text) = 0;
  // The band being printed; nullopt when none is current.
  virtual std::optional<TfrBandPlacement> CurrentBand() = 0;
  // The template object of the current report named `name`, or nullptr.
  virtual TfrView* FindObject(const AnsiString& name) = 0;
  // Page N (1-based) of the current report's template, or nullptr.
  virtual TfrObject* TemplatePage(int index) = 0;
  // The component of that name on the hidden dialog form, or nullptr.
  virtual TComponent* FindDialogComponent(const AnsiString& name) = 0;
  // The data set a field name without a data set part belongs to, or nullptr.
  virtual TDataSet* DefaultDataSet() = 0;
  // An object and a text line handed to the active export filter.
  virtual void ExportObject(int left, int top, TfrView& view) = 0;
  virtual void ExportText(const TRect& paint_rect, int x, int y, const AnsiString& line, TfrMemoView& view,
                          uint16_t frame) = 0;

  // ---- Drawing
  // The left and right limits of the current page's printable area; nullopt
  // when no page is current.
  virtual std::optional<std::pair<int, int>> PageLimits() = 0;
  // The objects of that page in page order.
  virtual std::vector<TfrView*> PageObjects() = 0;
  // Whether an object belongs to the page's band of loose objects (type 22).
  virtual bool InLooseBand(TfrView& view) = 0;
  // Whether the band being printed has its stretch flag set.
  virtual bool CurrentBandStretched() = 0;
  // The text of one bracketed expression's value (TfrReport.ExpandValue):
  // `inner` is the text between the brackets.
  virtual AnsiString ExpandValue(TfrView& view, const AnsiString& inner) = 0;

  // ---- Aggregates
  // The report is collecting the aggregates of a page before its build.
  virtual bool RegistrationMode() = 0;
  // The band being printed (whose texts call the aggregate).
  virtual std::optional<TfrAggregateBand> PrintingBand() = 0;
  // The data band the collection is aimed at now.
  virtual std::optional<TfrAggregateBand> CandidateBand() = 0;
  // Stores the entry on the candidate band (TfrBand.SetTotal) and makes the
  // candidate the printing band's TotalsBand.
  virtual void RegisterTotal(const AnsiString& key, const Variant& start) = 0;
  // The entry of the printing band's TotalsBand (TfrBand.GetTotal); nullopt
  // when the printing band has no TotalsBand.
  virtual std::optional<Variant> ReadTotal(const AnsiString& key) = 0;
  // The cross-tab column being printed.
  virtual int CurrentColumn() = 0;
  // The current report's dictionary variables, whose values are expression
  // texts; nullptr when there is none.
  virtual TfrVariables* DictionaryVariables() = 0;

  // ---- Scripts
  // Sets a variable of the current report's data dictionary; false when the
  // dictionary does not hold the name (or there is no current report).
  virtual bool SetDictionaryVariable(const AnsiString& name, const Variant& value) = 0;
  // Sets the modal result of the current page's form when it is a dialog page.
  virtual void SetDialogModalResult(int result) = 0;
  // CURY: keeps the current band's position when it has pending new-page or
  // new-column requests, and moves the current page's position to `y`.
  virtual void SetCurY(int y) = 0;
  // PROGRESS: shows the text on the progress window's second line.
  virtual void ShowProgress(const AnsiString& text) = 0;
  // The report's parser and interpreter, whose callbacks resolve the names
  // and calls of the build.
  virtual TfrParser& Parser() = 0;
  virtual TInterpretator& Interpreter() = 0;
};

// The host of the innermost running scope; raises Exception when no scope
// runs or the innermost one has none.
TfrBuildHost& frBuildHost();
