// The binary component stream: TWriter writes a component, its published
// properties and extra (defined) properties and the components it owns;
// TReader reads them back into an existing root.
//
// Format. A stream starts with the signature "TPF0". An object is
//   [prefix] class-name object-name property* 0 child-object* 0
// where names are short strings (a length byte and that many bytes) and the
// optional prefix byte is 0xF0 or-ed with filer flags (1 inherited, 2 with a
// child position that follows as an integer value, 4 inline). A property is
// its short-string name ("Font.Name" for a property of a sub-object) followed
// by one value. A value is a kind byte (TValueType) and its payload:
//   vaNull        none; ends a list, a property list or a child list
//   vaList        values up to vaNull
//   vaInt8/16/32/64  little-endian two's complement of 1, 2, 4, 8 bytes
//   vaExtended    10-byte 80-bit float (64-bit mantissa, 15-bit exponent)
//   vaSingle      4-byte float; vaDate 8-byte double (a TDateTime)
//   vaCurrency    8-byte integer scaled by 10000
//   vaString      short string; vaIdent short string (identifier)
//   vaLString     4-byte length and 1251 bytes; vaUTF8String the same in UTF-8
//   vaWString     4-byte count of UTF-16 units and the units
//   vaFalse, vaTrue, vaNil  none
//   vaBinary      4-byte length and the bytes
//   vaSet         short-string member names up to an empty name
//   vaCollection  items up to vaNull; an item is an optional integer value
//                 (its order) and a vaList of properties ending in vaNull
// Every length is checked against what is left of the stream before it is
// used; nesting is bounded, so a hostile stream ends in EReadError.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/core/classes.h"
#include "toolkit/core/component.h"
#include "toolkit/core/typinfo.h"

// The kind byte before every value.
enum TValueType : uint8_t {
  vaNull,
  vaList,
  vaInt8,
  vaInt16,
  vaInt32,
  vaExtended,
  vaString,
  vaIdent,
  vaFalse,
  vaTrue,
  vaBinary,
  vaSet,
  vaLString,
  vaNil,
  vaCollection,
  vaSingle,
  vaCurrency,
  vaDate,
  vaWString,
  vaInt64,
  vaUTF8String
};
// The last kind a stream may hold.
inline constexpr uint8_t kMaxValueType = vaUTF8String;

// "TPF0": the first four bytes of every component stream.
inline constexpr char kFilerSignature[] = "TPF0";

// Filer flags in the low bits of an object's prefix byte (0xF0 | flags).
enum TFilerFlag : uint8_t { ffInherited = 1, ffChildPos = 2, ffInline = 4 };

// How deep lists, collections and child objects may nest in one stream.
inline constexpr int kMaxFilerNesting = 64;

// 80-bit extended float, as vaExtended stores it, to and from a double.
void DoubleToExtended(double value, unsigned char out[10]);
double ExtendedToDouble(const unsigned char in[10]);

// Writes components and values to a stream.
class TWriter : public TFiler {
 public:
  explicit TWriter(TStream& stream) : stream_(stream) {}

  // The signature and then root as the root component.
  void WriteRootComponent(TComponent* root);
  void WriteSignature();
  // One object: header, properties, children, end marks.
  void WriteComponent(TComponent* component);
  // The stored published properties of instance (those differing from their
  // defaults), then its extra properties (DefineProperties).
  void WriteProperties(const TPersistent* instance);
  // vaCollection, one item per element, vaNull.
  void WriteCollection(const TCollection* collection);

  // Single values; integers take the smallest kind that holds them.
  void WriteValue(TValueType value);
  void WriteInteger(int64_t value);
  void WriteBoolean(bool value);
  void WriteFloat(double value);  // vaExtended
  void WriteSingle(float value);
  void WriteDate(double value);
  void WriteCurrency(int64_t scaled);
  // vaString up to 255 bytes, vaLString beyond.
  void WriteString(const AnsiString& value);
  void WriteWideString(const std::u16string& value);
  void WriteIdent(const AnsiString& ident);
  void WriteBinary(const void* data, int64_t size);
  void WriteVariant(const Variant& value);
  void WriteListBegin() { WriteValue(vaList); }
  void WriteListEnd() { WriteValue(vaNull); }
  // A short string without kind byte (names); EWriteError beyond 255 bytes.
  void WriteStr(const AnsiString& value);

  // The root being written (references are named relative to it).
  TComponent* Root() const { return root_; }

  void DefineProperty(const AnsiString& name, TReaderProc read, TWriterProc write, bool has_data) override;
  void DefineBinaryProperty(const AnsiString& name, TStreamProc read, TStreamProc write, bool has_data) override;

 private:
  void WriteProperty(const TPersistent* instance, const TPropInfo& prop);
  void WritePropName(const AnsiString& name);
  void WriteBytes(const void* data, int64_t size) { stream_.WriteBuffer(data, size); }

  TStream& stream_;
  TComponent* root_ = nullptr;
  AnsiString prop_path_;  // "Font." while writing a sub-object's properties
  int depth_ = 0;
};

// Reads components and values from a stream. Malformed data raises EReadError;
// unknown classes EClassNotFound.
class TReader : public TFiler {
 public:
  explicit TReader(TStream& stream) : stream_(stream) {}

  // Reads the signature and one object into the existing root: the stored
  // class name is not checked; a stored name becomes the root's name (made
  // unique among its owner's components). Child objects are found among the
  // root's components by name or created by class name (GetClass) with the
  // root as owner. References to components are resolved at the end; every
  // component read then hears Loaded. Returns root.
  TComponent* ReadRootComponent(TComponent* root);
  // EReadError "Invalid stream format" unless the next four bytes are "TPF0".
  void ReadSignature();

  TValueType ReadValue();
  TValueType NextValue();
  // Whether the next byte is the end mark (it may also be an object's prefix).
  bool EndOfList();
  void ReadListBegin();
  void ReadListEnd();
  // Any integer kind.
  int64_t ReadInteger();
  bool ReadBoolean();
  // Any float or integer kind (currency as its value).
  double ReadFloat();
  double ReadDate() { return ReadFloat(); }
  // vaCurrency as its scaled integer; other numbers converted.
  int64_t ReadCurrency();
  // Any string kind, wide text converted to 1251.
  AnsiString ReadString();
  std::u16string ReadWideString();
  AnsiString ReadIdent();
  // A short string without kind byte.
  AnsiString ReadStr();
  // vaBinary's bytes.
  std::string ReadBinary();
  Variant ReadVariant();
  // Skips one value of any kind.
  void SkipValue();

  // Reads one property (name and value) into instance; a name neither
  // published nor defined raises EReadError "Property %s does not exist".
  void ReadProperty(TPersistent* instance);
  // After vaCollection: clears the target unless the stored list is empty,
  // then adds and reads one item per stored item, in one update.
  void ReadCollection(TCollection* collection);

  TComponent* Root() const { return root_; }

  void DefineProperty(const AnsiString& name, TReaderProc read, TWriterProc write, bool has_data) override;
  void DefineBinaryProperty(const AnsiString& name, TStreamProc read, TStreamProc write, bool has_data) override;

 private:
  struct Fixup {
    TComponent* instance;
    AnsiString path;  // dotted path of sub-objects up to the property's owner
    const TPropInfo* prop;
    AnsiString name;
  };
  void ReadComponent(TComponent* component);
  void ReadChild();
  // Sets the references to components named before they were read.
  void ResolveFixups();
  void ReadHeader(AnsiString& class_name, AnsiString& name);
  void ReadPropValue(TPersistent* instance, const TPropInfo& prop, TComponent* fixup_owner, const AnsiString& path);
  TComponent* FindReference(const AnsiString& name) const;
  void ReadBytes(void* data, int64_t size);
  // A length from the stream, refused when more than what is left.
  int64_t CheckedLength(int64_t length);
  void Enter();
  void Leave() { --depth_; }

  TStream& stream_;
  TComponent* root_ = nullptr;
  std::vector<TComponent*> loaded_;
  std::vector<Fixup> fixups_;
  AnsiString defining_;  // the extra property DefineProperties is asked for
  bool defined_ = false;
  int depth_ = 0;
};

// ---- Implementation details follow. Clients should ignore. --------------------------

namespace filer_detail {
// "Invalid stream format".
[[noreturn]] void InvalidStream();
}  // namespace filer_detail
