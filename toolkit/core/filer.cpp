#include "toolkit/core/filer.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "toolkit/core/binary.h"
#include "toolkit/core/scope.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace filer_detail {
void InvalidStream() { throw EReadError("Invalid stream format"); }
}  // namespace filer_detail

using filer_detail::InvalidStream;

namespace {

[[noreturn]] void InvalidValue() { throw EReadError("Invalid property value"); }

bool IsDateType(const TTypeInfo* type) {
  return type == &TypeInfoTDateTime() || type == &TypeInfoTDate() || type == &TypeInfoTTime();
}

}  // namespace

// ---- 80-bit floats ----------------------------------------------------------------

void DoubleToExtended(double value, unsigned char out[10]) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const uint16_t sign = (bits >> 63) != 0 ? 0x8000 : 0;
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  uint64_t mantissa = 0;
  int ext_exponent = 0;
  if (exponent == 0x7FF) {
    ext_exponent = 0x7FFF;
    mantissa = (uint64_t{1} << 63) | (fraction << 11);
  } else if (exponent != 0) {
    ext_exponent = exponent - 1023 + 16383;
    mantissa = (uint64_t{1} << 63) | (fraction << 11);
  } else if (fraction != 0) {
    // A subnormal double is a normal extended number.
    mantissa = fraction << 11;
    ext_exponent = 16383 - 1022;
    while ((mantissa & (uint64_t{1} << 63)) == 0) {
      mantissa <<= 1;
      --ext_exponent;
    }
  }
  PutLE64(out, mantissa);
  PutLE16(out + 8, static_cast<uint16_t>(sign | ext_exponent));
}

double ExtendedToDouble(const unsigned char in[10]) {
  const uint64_t mantissa = GetLE64(in);
  const uint16_t head = GetLE16(in + 8);
  const bool negative = (head & 0x8000) != 0;
  const int exponent = head & 0x7FFF;
  double value;
  if (exponent == 0x7FFF) {
    value = (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
  } else {
    value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
  }
  return negative ? -value : value;
}

// ---- TWriter ------------------------------------------------------------------------

void TWriter::WriteSignature() { WriteBytes(kFilerSignature, 4); }

void TWriter::WriteRootComponent(TComponent* root) {
  if (root == nullptr) throw EWriteError("Cannot write a nil component");
  root_ = root;
  WriteSignature();
  WriteComponent(root);
}

void TWriter::WriteComponent(TComponent* component) {
  if (root_ == nullptr) root_ = component;
  component->SetComponentStateFlag(csWriting, true);
  TScopeExit written([component] { component->SetComponentStateFlag(csWriting, false); });
  WriteStr(component->ClassName());
  WriteStr(component->Name());
  WriteProperties(component);
  WriteListEnd();
  // The root's own components are its children; others carry none.
  if (component == root_) {
    for (int i = 0; i < component->ComponentCount(); ++i) WriteComponent(component->Components(i));
  }
  WriteListEnd();
}

void TWriter::WriteProperties(const TPersistent* instance) {
  if (++depth_ > kMaxFilerNesting) {
    --depth_;
    throw EWriteError("Objects nest too deeply to be written");
  }
  TScopeExit leave([this] { --depth_; });
  for (const TPropInfo* prop : instance->ClassInfo()->Properties()) {
    if (prop->HasGetter() && IsStoredProp(instance, *prop)) WriteProperty(instance, *prop);
  }
  const_cast<TPersistent*>(instance)->DefineProperties(*this);
}

void TWriter::WritePropName(const AnsiString& name) { WriteStr(prop_path_ + name); }

void TWriter::WriteProperty(const TPersistent* instance, const TPropInfo& prop) {
  const TTypeInfo& type = *prop.PropType;
  if (prop.Kind() == tkClass) {
    TPersistent* object = GetObjectProp(instance, prop);
    if (object == nullptr) return;
    if (auto* component = dynamic_cast<TComponent*>(object)) {
      // A reference: by name within the root, else owner-qualified.
      if (component->Name().empty()) return;
      AnsiString name = component->Name();
      if (component != root_ && component->Owner() != root_ && component->Owner() != nullptr) {
        if (component->Owner()->Name().empty()) return;
        name = component->Owner()->Name() + "." + name;
      }
      WritePropName(prop.Name);
      WriteIdent(name);
    } else if (auto* collection = dynamic_cast<TCollection*>(object)) {
      WritePropName(prop.Name);
      WriteCollection(collection);
    } else {
      TScopedValue<AnsiString> path(prop_path_, prop_path_ + prop.Name + ".");
      WriteProperties(object);
    }
    return;
  }
  if (prop.Kind() == tkMethod || IsDefaultValue(instance, prop)) return;
  WritePropName(prop.Name);
  switch (prop.Kind()) {
    case tkInteger:
    case tkInt64: {
      int64_t value = GetOrdProp(instance, prop);
      AnsiString ident;
      if (type.IntToIdent != nullptr && type.IntToIdent(value, ident)) {
        WriteIdent(ident);
      } else {
        WriteInteger(value);
      }
      break;
    }
    case tkChar:
      WriteString(AnsiString(1, static_cast<char>(GetOrdProp(instance, prop))));
      break;
    case tkWChar:
      WriteWideString(std::u16string(1, static_cast<char16_t>(GetOrdProp(instance, prop))));
      break;
    case tkEnumeration: {
      int64_t value = GetOrdProp(instance, prop);
      if (&type == &TypeInfoBoolean()) {
        WriteBoolean(value != 0);
      } else {
        AnsiString name = GetEnumName(type, value);
        if (name.empty()) throw EWriteError(Format("Invalid value %d of %s", {value, prop.Name}));
        WriteIdent(name);
      }
      break;
    }
    case tkSet: {
      const TTypeInfo* members = type.CompType != nullptr ? type.CompType : &type;
      uint64_t bits = static_cast<uint64_t>(GetOrdProp(instance, prop));
      WriteValue(vaSet);
      for (int bit = 0; bit < 64; ++bit) {
        if ((bits & (uint64_t{1} << bit)) == 0) continue;
        AnsiString name = GetEnumName(*members, bit);
        if (name.empty()) throw EWriteError(Format("Invalid value %d of %s", {bit, prop.Name}));
        WriteStr(name);
      }
      WriteStr("");
      break;
    }
    case tkFloat:
      if (IsDateType(&type)) {
        WriteDate(GetFloatProp(instance, prop));
      } else {
        WriteFloat(GetFloatProp(instance, prop));
      }
      break;
    case tkString:
    case tkLString:
      WriteString(GetStrProp(instance, prop));
      break;
    case tkWString:
      WriteWideString(AnsiToWide(GetStrProp(instance, prop)));
      break;
    case tkVariant:
      WriteVariant(GetVariantProp(instance, prop));
      break;
    default:
      throw EWriteError(Format("Property %s cannot be written", {prop.Name}));
  }
}

void TWriter::WriteCollection(const TCollection* collection) {
  WriteValue(vaCollection);
  for (int i = 0; i < collection->Count(); ++i) {
    WriteListBegin();
    WriteProperties(collection->Items(i));
    WriteListEnd();
  }
  WriteListEnd();
}

void TWriter::WriteValue(TValueType value) {
  const auto byte = static_cast<uint8_t>(value);
  WriteBytes(&byte, 1);
}

void TWriter::WriteInteger(int64_t value) {
  unsigned char b[8];
  if (value >= INT8_MIN && value <= INT8_MAX) {
    WriteValue(vaInt8);
    b[0] = static_cast<unsigned char>(value);
    WriteBytes(b, 1);
  } else if (value >= INT16_MIN && value <= INT16_MAX) {
    WriteValue(vaInt16);
    PutLE16(b, static_cast<uint16_t>(value));
    WriteBytes(b, 2);
  } else if (value >= INT32_MIN && value <= INT32_MAX) {
    WriteValue(vaInt32);
    PutLE32(b, static_cast<uint32_t>(value));
    WriteBytes(b, 4);
  } else {
    WriteValue(vaInt64);
    PutLE64(b, static_cast<uint64_t>(value));
    WriteBytes(b, 8);
  }
}

void TWriter::WriteBoolean(bool value) { WriteValue(value ? vaTrue : vaFalse); }

void TWriter::WriteFloat(double value) {
  unsigned char b[10];
  DoubleToExtended(value, b);
  WriteValue(vaExtended);
  WriteBytes(b, 10);
}

void TWriter::WriteSingle(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  unsigned char b[4];
  PutLE32(b, bits);
  WriteValue(vaSingle);
  WriteBytes(b, 4);
}

void TWriter::WriteDate(double value) {
  unsigned char b[8];
  PutLEDouble(b, value);
  WriteValue(vaDate);
  WriteBytes(b, 8);
}

void TWriter::WriteCurrency(int64_t scaled) {
  unsigned char b[8];
  PutLE64(b, static_cast<uint64_t>(scaled));
  WriteValue(vaCurrency);
  WriteBytes(b, 8);
}

void TWriter::WriteString(const AnsiString& value) {
  if (value.size() <= 255) {
    WriteValue(vaString);
    WriteStr(value);
    return;
  }
  if (value.size() > INT32_MAX) throw EWriteError("String too long to be written");
  unsigned char b[4];
  PutLE32(b, static_cast<uint32_t>(value.size()));
  WriteValue(vaLString);
  WriteBytes(b, 4);
  WriteBytes(value.data(), static_cast<int64_t>(value.size()));
}

void TWriter::WriteWideString(const std::u16string& value) {
  if (value.size() > INT32_MAX / 2) throw EWriteError("String too long to be written");
  unsigned char b[4];
  PutLE32(b, static_cast<uint32_t>(value.size()));
  WriteValue(vaWString);
  WriteBytes(b, 4);
  std::string bytes;
  for (char16_t c : value) PutLE16(&bytes, static_cast<uint16_t>(c));
  WriteBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TWriter::WriteIdent(const AnsiString& ident) {
  if (SameText(ident, "False")) {
    WriteValue(vaFalse);
  } else if (SameText(ident, "True")) {
    WriteValue(vaTrue);
  } else if (SameText(ident, "nil")) {
    WriteValue(vaNil);
  } else {
    WriteValue(vaIdent);
    WriteStr(ident);
  }
}

void TWriter::WriteBinary(const void* data, int64_t size) {
  if (size < 0 || size > INT32_MAX) throw EWriteError("Binary value too long to be written");
  unsigned char b[4];
  PutLE32(b, static_cast<uint32_t>(size));
  WriteValue(vaBinary);
  WriteBytes(b, 4);
  WriteBytes(data, size);
}

void TWriter::WriteVariant(const Variant& value) {
  switch (value.VarType()) {
    case varEmpty:
      WriteValue(vaNil);
      return;
    case varNull:
      WriteValue(vaNull);
      return;
    case varBoolean:
      WriteBoolean(value.AsBoolean());
      return;
    case varSingle:
      WriteSingle(static_cast<float>(value.AsDouble()));
      return;
    case varDouble:
      WriteFloat(value.AsDouble());
      return;
    case varDate:
      WriteDate(value.AsDateTime());
      return;
    case varCurrency:
      WriteCurrency(value.AsCurrency().Scaled);
      return;
    case varString:
      WriteString(value.AsString());
      return;
    default:
      if (value.IsArray()) throw EWriteError("Variant arrays cannot be written");
      WriteInteger(value.AsInt64());
      return;
  }
}

void TWriter::WriteStr(const AnsiString& value) {
  if (value.size() > 255) throw EWriteError(Format("Name too long to be written: %s", {value.substr(0, 64)}));
  const auto length = static_cast<uint8_t>(value.size());
  WriteBytes(&length, 1);
  WriteBytes(value.data(), static_cast<int64_t>(value.size()));
}

void TWriter::DefineProperty(const AnsiString& name, TReaderProc, TWriterProc write, bool has_data) {
  if (!has_data || !write) return;
  WritePropName(name);
  write(*this);
}

void TWriter::DefineBinaryProperty(const AnsiString& name, TStreamProc, TStreamProc write, bool has_data) {
  if (!has_data || !write) return;
  TMemoryStream data;
  write(data);
  WritePropName(name);
  WriteBinary(data.Memory(), data.Size());
}

// ---- TReader ------------------------------------------------------------------------

void TReader::ReadBytes(void* data, int64_t size) { stream_.ReadBuffer(data, size); }

int64_t TReader::CheckedLength(int64_t length) {
  if (length < 0 || length > stream_.Size() - stream_.Position()) InvalidStream();
  return length;
}

void TReader::Enter() {
  if (++depth_ > kMaxFilerNesting) throw EReadError("Stream nests too deeply");
}

void TReader::ReadSignature() {
  char signature[4];
  if (stream_.Read(signature, 4) != 4 || std::memcmp(signature, kFilerSignature, 4) != 0) InvalidStream();
}

TValueType TReader::ReadValue() {
  uint8_t byte;
  ReadBytes(&byte, 1);
  if (byte > kMaxValueType) InvalidStream();
  return static_cast<TValueType>(byte);
}

TValueType TReader::NextValue() {
  TValueType value = ReadValue();
  stream_.Seek(-1, soFromCurrent);
  return value;
}

bool TReader::EndOfList() {
  uint8_t byte;
  ReadBytes(&byte, 1);
  stream_.Seek(-1, soFromCurrent);
  return byte == vaNull;
}

void TReader::ReadListBegin() {
  if (ReadValue() != vaList) InvalidStream();
}

void TReader::ReadListEnd() {
  if (ReadValue() != vaNull) InvalidStream();
}

int64_t TReader::ReadInteger() {
  unsigned char b[8];
  switch (ReadValue()) {
    case vaInt8:
      ReadBytes(b, 1);
      return static_cast<int8_t>(b[0]);
    case vaInt16:
      ReadBytes(b, 2);
      return static_cast<int16_t>(GetLE16(b));
    case vaInt32:
      ReadBytes(b, 4);
      return static_cast<int32_t>(GetLE32(b));
    case vaInt64:
      ReadBytes(b, 8);
      return static_cast<int64_t>(GetLE64(b));
    default:
      InvalidValue();
  }
}

bool TReader::ReadBoolean() {
  switch (ReadValue()) {
    case vaTrue:
      return true;
    case vaFalse:
      return false;
    default:
      InvalidValue();
  }
}

double TReader::ReadFloat() {
  unsigned char b[10];
  double value;
  switch (NextValue()) {
    case vaExtended:
      ReadValue();
      ReadBytes(b, 10);
      value = ExtendedToDouble(b);
      break;
    case vaSingle: {
      ReadValue();
      ReadBytes(b, 4);
      uint32_t bits = GetLE32(b);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      value = f;
      break;
    }
    case vaDate:
      ReadValue();
      ReadBytes(b, 8);
      value = GetLEDouble(b);
      break;
    case vaCurrency:
      value = static_cast<double>(ReadCurrency()) / 10000.0;
      break;
    default:
      value = static_cast<double>(ReadInteger());
      break;
  }
  // Infinities and NaNs are no property's value and have no text form.
  if (!std::isfinite(value)) InvalidValue();
  return value;
}

int64_t TReader::ReadCurrency() {
  switch (NextValue()) {
    case vaCurrency: {
      ReadValue();
      unsigned char b[8];
      ReadBytes(b, 8);
      return static_cast<int64_t>(GetLE64(b));
    }
    case vaInt8:
    case vaInt16:
    case vaInt32:
    case vaInt64: {
      int64_t value = ReadInteger();
      if (value > INT64_MAX / 10000 || value < INT64_MIN / 10000) InvalidValue();
      return value * 10000;
    }
    default: {
      double value = ReadFloat() * 10000.0;
      if (!(std::fabs(value) < 9.2e18)) InvalidValue();
      return static_cast<int64_t>(std::llround(value));
    }
  }
}

AnsiString TReader::ReadStr() {
  uint8_t length;
  ReadBytes(&length, 1);
  AnsiString s(length, '\0');
  if (length > 0) ReadBytes(s.data(), length);
  return s;
}

AnsiString TReader::ReadString() {
  unsigned char b[4];
  switch (NextValue()) {
    case vaString:
      ReadValue();
      return ReadStr();
    case vaLString:
    case vaUTF8String: {
      bool utf8 = ReadValue() == vaUTF8String;
      ReadBytes(b, 4);
      AnsiString s(static_cast<size_t>(CheckedLength(GetLE32(b))), '\0');
      if (!s.empty()) ReadBytes(s.data(), static_cast<int64_t>(s.size()));
      return utf8 ? Utf8ToAnsi(s) : s;
    }
    case vaWString:
      return WideToAnsi(ReadWideString());
    default:
      InvalidValue();
  }
}

std::u16string TReader::ReadWideString() {
  if (NextValue() != vaWString) return AnsiToWide(ReadString());
  ReadValue();
  unsigned char b[4];
  ReadBytes(b, 4);
  int64_t count = GetLE32(b);
  std::string bytes(static_cast<size_t>(CheckedLength(count * 2)), '\0');
  if (!bytes.empty()) ReadBytes(bytes.data(), static_cast<int64_t>(bytes.size()));
  std::u16string s(static_cast<size_t>(count), u'\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char16_t>(GetLE16(bytes.data() + 2 * i));
  return s;
}

AnsiString TReader::ReadIdent() {
  switch (ReadValue()) {
    case vaIdent:
      return ReadStr();
    case vaFalse:
      return "False";
    case vaTrue:
      return "True";
    case vaNil:
      return "nil";
    case vaNull:
      return "Null";
    default:
      InvalidValue();
  }
}

std::string TReader::ReadBinary() {
  if (ReadValue() != vaBinary) InvalidValue();
  unsigned char b[4];
  ReadBytes(b, 4);
  std::string data(static_cast<size_t>(CheckedLength(GetLE32(b))), '\0');
  if (!data.empty()) ReadBytes(data.data(), static_cast<int64_t>(data.size()));
  return data;
}

Variant TReader::ReadVariant() {
  switch (NextValue()) {
    case vaNil:
      ReadValue();
      return Variant();
    case vaNull:
      ReadValue();
      return Variant::MakeNull();
    case vaFalse:
    case vaTrue:
      return Variant(ReadBoolean());
    case vaInt8:
    case vaInt16:
    case vaInt32: {
      return Variant(static_cast<int>(ReadInteger()));
    }
    case vaInt64:
      return Variant(static_cast<long long>(ReadInteger()));
    case vaExtended:
      return Variant(ReadFloat());
    case vaSingle:
      return Variant(static_cast<float>(ReadFloat()));
    case vaDate:
      return Variant::FromDate(ReadFloat());
    case vaCurrency:
      return Variant(Currency::FromScaled(ReadCurrency()));
    case vaString:
    case vaLString:
    case vaWString:
    case vaUTF8String:
      return Variant(ReadString());
    default:
      InvalidValue();
  }
}

void TReader::SkipValue() {
  Enter();
  switch (NextValue()) {
    case vaList:
      ReadValue();
      while (!EndOfList()) SkipValue();
      ReadListEnd();
      break;
    case vaIdent:
      ReadValue();
      ReadStr();
      break;
    case vaBinary:
      ReadBinary();
      break;
    case vaSet:
      ReadValue();
      while (!ReadStr().empty()) {
      }
      break;
    case vaCollection:
      ReadValue();
      while (!EndOfList()) {
        TValueType next = NextValue();
        if (next == vaInt8 || next == vaInt16 || next == vaInt32 || next == vaInt64) ReadInteger();
        ReadListBegin();
        while (!EndOfList()) {
          ReadStr();
          SkipValue();
        }
        ReadListEnd();
      }
      ReadListEnd();
      break;
    case vaString:
    case vaLString:
    case vaUTF8String:
    case vaWString:
      ReadWideString();
      break;
    case vaInt8:
    case vaInt16:
    case vaInt32:
    case vaInt64:
      ReadInteger();
      break;
    case vaCurrency:
      ReadCurrency();
      break;
    case vaExtended:
    case vaSingle:
    case vaDate: {
      // Skipping accepts any bit pattern, including those ReadFloat refuses.
      static constexpr int kSizes[] = {10, 4, 8};
      TValueType kind = ReadValue();
      unsigned char b[10];
      ReadBytes(b, kSizes[kind == vaExtended ? 0 : (kind == vaSingle ? 1 : 2)]);
      break;
    }
    default:
      ReadValue();
      break;
  }
  Leave();
}

void TReader::ReadHeader(AnsiString& class_name, AnsiString& name) {
  uint8_t prefix;
  ReadBytes(&prefix, 1);
  if ((prefix & 0xF0) == 0xF0) {
    if ((prefix & ffChildPos) != 0) ReadInteger();
  } else {
    stream_.Seek(-1, soFromCurrent);
  }
  class_name = ReadStr();
  name = ReadStr();
  if (class_name.empty()) InvalidStream();
}

TComponent* TReader::ReadRootComponent(TComponent* root) {
  if (root == nullptr) throw EReadError("Cannot read into a nil component");
  root_ = root;
  loaded_.clear();
  fixups_.clear();
  depth_ = 0;
  ReadSignature();
  AnsiString class_name, name;
  ReadHeader(class_name, name);
  if (!name.empty() && !SameText(name, root->Name())) {
    // Another component of the owner may hold the name already: number it.
    AnsiString unique = name;
    TComponent* owner = root->Owner();
    for (int n = 1; owner != nullptr && owner->FindComponent(unique) != nullptr; ++n) {
      unique = name + "_" + IntToStr(n);
    }
    root->SetName(unique);
  }
  // A failed read leaves what it read in place, but nothing stays loading.
  TScopeFail unload([this] {
    for (TComponent* component : loaded_) {
      component->SetComponentStateFlag(csLoading, false);
      component->SetComponentStateFlag(csReading, false);
    }
  });
  ReadComponent(root);
  ResolveFixups();
  for (TComponent* component : loaded_) component->Loaded();
  return root;
}

void TReader::ResolveFixups() {
  for (const Fixup& fixup : fixups_) {
    TComponent* target = FindReference(fixup.name);
    if (target == nullptr) throw EReadError(Format("Unresolved reference to %s", {fixup.name}));
    // Walk the sub-object path again from the component: what was read
    // after the reference may have replaced the sub-objects.
    TPersistent* owner = fixup.instance;
    size_t start = 0;
    while (owner != nullptr && start < fixup.path.size()) {
      size_t dot = fixup.path.find('.', start);
      if (dot == AnsiString::npos) dot = fixup.path.size();
      const TPropInfo* step = GetPropInfo(owner, fixup.path.substr(start, dot - start));
      owner = step != nullptr && step->Kind() == tkClass && step->HasGetter() ? GetObjectProp(owner, *step) : nullptr;
      start = dot + 1;
    }
    if (owner != nullptr) SetObjectProp(owner, *fixup.prop, target);
  }
}

TComponent* TReader::FindReference(const AnsiString& name) const {
  size_t dot = name.find('.');
  if (dot == AnsiString::npos) {
    if (!root_->Name().empty() && SameText(name, root_->Name())) return root_;
    return root_->FindComponent(name);
  }
  if (!root_->Name().empty() && SameText(name.substr(0, dot), root_->Name())) {
    return root_->FindComponent(name.substr(dot + 1));
  }
  return nullptr;
}

void TReader::ReadComponent(TComponent* component) {
  Enter();
  component->SetComponentStateFlag(csLoading, true);
  component->SetComponentStateFlag(csReading, true);
  loaded_.push_back(component);
  {
    TScopeExit read([component] { component->SetComponentStateFlag(csReading, false); });
    while (!EndOfList()) ReadProperty(component);
    ReadListEnd();
    while (!EndOfList()) ReadChild();
    ReadListEnd();
  }
  Leave();
}

void TReader::ReadChild() {
  AnsiString class_name, name;
  ReadHeader(class_name, name);
  TComponent* child = name.empty() ? nullptr : root_->FindComponent(name);
  if (child == nullptr) {
    const TClassInfo& cls = FindClass(class_name);
    if (!cls.InheritsFrom(TComponent::StaticClassInfo())) InvalidStream();
    child = static_cast<TComponent*>(cls.CreateInstance(root_));
    TScopeFail unmade([child] { child->Free(); });
    child->SetName(name);
  }
  ReadComponent(child);
}

void TReader::ReadProperty(TPersistent* instance) {
  const AnsiString full_name = ReadStr();
  TPersistent* target = instance;
  size_t start = 0;
  for (size_t dot = full_name.find('.'); dot != AnsiString::npos; dot = full_name.find('.', start)) {
    const TPropInfo* prop = GetPropInfo(target, full_name.substr(start, dot - start));
    TPersistent* object =
        prop != nullptr && prop->Kind() == tkClass && prop->HasGetter() ? GetObjectProp(target, *prop) : nullptr;
    if (object == nullptr) throw EReadError(Format("Property %s does not exist", {full_name}));
    target = object;
    start = dot + 1;
  }
  const AnsiString name = full_name.substr(start);
  if (const TPropInfo* prop = GetPropInfo(target, name)) {
    auto* component = dynamic_cast<TComponent*>(instance);
    ReadPropValue(target, *prop, component, start > 0 ? full_name.substr(0, start - 1) : AnsiString());
    return;
  }
  bool found = false;
  {
    TScopedValue<AnsiString> defining(defining_, name);
    TScopedValue<bool> defined(defined_, false);
    target->DefineProperties(*this);
    found = defined_;
  }
  if (!found) throw EReadError(Format("Property %s does not exist", {full_name}));
}

void TReader::ReadPropValue(TPersistent* instance, const TPropInfo& prop, TComponent* fixup_owner,
                            const AnsiString& path) {
  const TTypeInfo& type = *prop.PropType;
  switch (prop.Kind()) {
    case tkInteger:
    case tkInt64: {
      int64_t value;
      if (NextValue() == vaIdent) {
        AnsiString ident = ReadIdent();
        if (type.IdentToInt == nullptr || !type.IdentToInt(ident, value)) InvalidValue();
      } else {
        value = ReadInteger();
      }
      if (value < type.MinValue || value > type.MaxValue) InvalidValue();
      SetOrdProp(instance, prop, value);
      return;
    }
    case tkChar:
    case tkWChar: {
      std::u16string text = ReadWideString();
      if (text.size() != 1) InvalidValue();
      int64_t code = prop.Kind() == tkChar ? static_cast<unsigned char>(WideToAnsi(text)[0]) : text[0];
      SetOrdProp(instance, prop, code);
      return;
    }
    case tkEnumeration: {
      if (&type == &TypeInfoBoolean()) {
        SetOrdProp(instance, prop, ReadBoolean() ? 1 : 0);
        return;
      }
      int64_t value = GetEnumValue(type, ReadIdent());
      if (value < 0) InvalidValue();
      SetOrdProp(instance, prop, value);
      return;
    }
    case tkSet: {
      if (ReadValue() != vaSet) InvalidValue();
      const TTypeInfo& members = type.CompType != nullptr ? *type.CompType : type;
      uint64_t bits = 0;
      for (AnsiString name = ReadStr(); !name.empty(); name = ReadStr()) {
        int64_t value = GetEnumValue(members, name);
        if (value < 0 || value >= 64) InvalidValue();
        bits |= uint64_t{1} << value;
      }
      SetOrdProp(instance, prop, static_cast<int64_t>(bits));
      return;
    }
    case tkFloat:
      SetFloatProp(instance, prop, ReadFloat());
      return;
    case tkString:
    case tkLString:
    case tkWString:
      SetStrProp(instance, prop, ReadString());
      return;
    case tkVariant:
      SetVariantProp(instance, prop, ReadVariant());
      return;
    case tkMethod:
      // Handlers are bound in code, not by name: the stored name is passed over.
      SkipValue();
      return;
    case tkClass:
      break;
    default:
      InvalidValue();
  }
  switch (NextValue()) {
    case vaCollection: {
      auto* collection = dynamic_cast<TCollection*>(GetObjectProp(instance, prop));
      if (collection == nullptr) InvalidValue();
      ReadValue();
      ReadCollection(collection);
      return;
    }
    case vaNil:
      ReadValue();
      SetObjectProp(instance, prop, nullptr);
      return;
    case vaIdent: {
      AnsiString name = ReadIdent();
      if (TComponent* target = FindReference(name)) {
        SetObjectProp(instance, prop, target);
      } else if (fixup_owner != nullptr && prop.HasSetter()) {
        // Named components may follow later in the stream.
        fixups_.push_back(Fixup{fixup_owner, path, &prop, name});
      } else {
        throw EReadError(Format("Unresolved reference to %s", {name}));
      }
      return;
    }
    default:
      InvalidValue();
  }
}

void TReader::ReadCollection(TCollection* collection) {
  Enter();
  {
    TUpdateScope update(*collection);
    if (!EndOfList()) collection->Clear();
    while (!EndOfList()) {
      TValueType next = NextValue();
      if (next == vaInt8 || next == vaInt16 || next == vaInt32 || next == vaInt64) ReadInteger();
      ReadListBegin();
      TCollectionItem* item = collection->Add();
      while (!EndOfList()) ReadProperty(item);
      ReadListEnd();
    }
    ReadListEnd();
  }
  Leave();
}

void TReader::DefineProperty(const AnsiString& name, TReaderProc read, TWriterProc, bool) {
  if (defined_ || !read || !SameText(name, defining_)) return;
  defined_ = true;
  read(*this);
}

void TReader::DefineBinaryProperty(const AnsiString& name, TStreamProc read, TStreamProc, bool) {
  if (defined_ || !read || !SameText(name, defining_)) return;
  defined_ = true;
  std::string bytes = ReadBinary();
  TMemoryStream data;
  data.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  data.SetPosition(0);
  read(data);
}
