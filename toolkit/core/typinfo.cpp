#include "toolkit/core/typinfo.h"

#include <algorithm>

#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

// ---- Types ----------------------------------------------------------------------

TTypeInfo TTypeInfo::Ordinal(AnsiString name, TTypeKind kind, int64_t min_value, int64_t max_value) {
  TTypeInfo t;
  t.Name = std::move(name);
  t.Kind = kind;
  t.MinValue = min_value;
  t.MaxValue = max_value;
  return t;
}

TTypeInfo TTypeInfo::Enumeration(AnsiString name, std::vector<AnsiString> member_names) {
  TTypeInfo t = Ordinal(std::move(name), tkEnumeration, 0, static_cast<int64_t>(member_names.size()) - 1);
  t.EnumNames = std::move(member_names);
  return t;
}

TTypeInfo TTypeInfo::SetOf(AnsiString name, const TTypeInfo& member_type) {
  TTypeInfo t = Simple(std::move(name), tkSet);
  t.CompType = &member_type;
  return t;
}

TTypeInfo TTypeInfo::ShortString(AnsiString name, int max_length) {
  TTypeInfo t = Simple(std::move(name), tkString);
  t.MaxLength = max_length;
  return t;
}

TTypeInfo TTypeInfo::Simple(AnsiString name, TTypeKind kind) {
  TTypeInfo t;
  t.Name = std::move(name);
  t.Kind = kind;
  return t;
}

const TTypeInfo& TypeInfoInteger() {
  static const TTypeInfo t = TTypeInfo::Ordinal("Integer", tkInteger, INT32_MIN, INT32_MAX);
  return t;
}
const TTypeInfo& TypeInfoCardinal() {
  static const TTypeInfo t = TTypeInfo::Ordinal("Cardinal", tkInteger, 0, UINT32_MAX);
  return t;
}
const TTypeInfo& TypeInfoInt64() {
  static const TTypeInfo t = TTypeInfo::Ordinal("Int64", tkInt64, INT64_MIN, INT64_MAX);
  return t;
}
const TTypeInfo& TypeInfoBoolean() {
  static const TTypeInfo t = TTypeInfo::Enumeration("Boolean", {"False", "True"});
  return t;
}
const TTypeInfo& TypeInfoChar() {
  static const TTypeInfo t = TTypeInfo::Ordinal("Char", tkChar, 0, 255);
  return t;
}
const TTypeInfo& TypeInfoWideChar() {
  static const TTypeInfo t = TTypeInfo::Ordinal("WideChar", tkWChar, 0, 65535);
  return t;
}
const TTypeInfo& TypeInfoDouble() {
  static const TTypeInfo t = TTypeInfo::Simple("Double", tkFloat);
  return t;
}
const TTypeInfo& TypeInfoTDateTime() {
  static const TTypeInfo t = TTypeInfo::Simple("TDateTime", tkFloat);
  return t;
}
const TTypeInfo& TypeInfoTDate() {
  static const TTypeInfo t = TTypeInfo::Simple("TDate", tkFloat);
  return t;
}
const TTypeInfo& TypeInfoTTime() {
  static const TTypeInfo t = TTypeInfo::Simple("TTime", tkFloat);
  return t;
}
const TTypeInfo& TypeInfoString() {
  static const TTypeInfo t = TTypeInfo::Simple("String", tkLString);
  return t;
}
const TTypeInfo& TypeInfoWideString() {
  static const TTypeInfo t = TTypeInfo::Simple("WideString", tkWString);
  return t;
}
const TTypeInfo& TypeInfoVariant() {
  static const TTypeInfo t = TTypeInfo::Simple("Variant", tkVariant);
  return t;
}
const TTypeInfo& TypeInfoTNotifyEvent() {
  static const TTypeInfo t = TTypeInfo::Simple("TNotifyEvent", tkMethod);
  return t;
}

const TTypeInfo& TypeInfoTColor() {
  static const TTypeInfo t = [] {
    TTypeInfo c = TTypeInfo::Ordinal("TColor", tkInteger, INT32_MIN, INT32_MAX);
    c.IntToIdent = [](int64_t value, AnsiString& ident) {
      return value >= INT32_MIN && value <= INT32_MAX && ColorToIdent(static_cast<TColor>(value), ident);
    };
    c.IdentToInt = [](const AnsiString& ident, int64_t& value) {
      TColor color = 0;
      if (!IdentToColor(ident, color)) return false;
      value = color;
      return true;
    };
    return c;
  }();
  return t;
}

// ---- Properties -----------------------------------------------------------------

bool TPropInfo::HasGetter() const {
  switch (Kind()) {
    case tkFloat:
      return static_cast<bool>(GetFloat);
    case tkString:
    case tkLString:
    case tkWString:
      return static_cast<bool>(GetStr);
    case tkClass:
      return static_cast<bool>(GetObject);
    case tkVariant:
      return static_cast<bool>(GetVariant);
    default:
      return static_cast<bool>(GetOrd);
  }
}

bool TPropInfo::HasSetter() const {
  switch (Kind()) {
    case tkFloat:
      return static_cast<bool>(SetFloat);
    case tkString:
    case tkLString:
    case tkWString:
      return static_cast<bool>(SetStr);
    case tkClass:
      return static_cast<bool>(SetObject);
    case tkVariant:
      return static_cast<bool>(SetVariant);
    default:
      return static_cast<bool>(SetOrd);
  }
}

TFiler::~TFiler() = default;

// ---- Class descriptors --------------------------------------------------------------

bool TClassInfo::InheritsFrom(const TClassInfo& cls) const {
  for (const TClassInfo* c = this; c != nullptr; c = c->parent_) {
    if (c == &cls) return true;
  }
  return false;
}

const TPropInfo* TClassInfo::FindProperty(const AnsiString& name) const {
  for (const TPropInfo* p : all_) {
    if (SameText(p->Name, name)) return p;
  }
  return nullptr;
}

TPersistent* TClassInfo::CreateInstance(TComponent* owner) const {
  if (!create_) throw EClassNotFound(Format("Class %s cannot be created", {name_}));
  return create_(owner);
}

TPropInfo& TClassInfo::AddProperty(AnsiString name, const TTypeInfo& type) {
  own_.push_back(std::make_unique<TPropInfo>());
  TPropInfo& p = *own_.back();
  p.Name = std::move(name);
  p.PropType = &type;
  return p;
}

void TClassInfo::Finish() {
  if (parent_ != nullptr) all_ = parent_->all_;
  for (const auto& own : own_) {
    auto same = std::find_if(all_.begin(), all_.end(), [&](const TPropInfo* p) { return SameText(p->Name, own->Name); });
    if (same != all_.end()) {
      *same = own.get();
    } else {
      all_.push_back(own.get());
    }
  }
}

// ---- Lookup and access ------------------------------------------------------------

namespace typinfo_detail {

void WrongClass(const TPersistent& instance, const AnsiString& expected) {
  throw EPropertyError(Format("Invalid property value: %s is not a %s", {instance.ClassName(), expected}));
}

}  // namespace typinfo_detail

namespace {

[[noreturn]] void InvalidType(const TPropInfo& prop) {
  throw EPropertyError(Format("Invalid property type: %s", {prop.PropType != nullptr ? prop.PropType->Name : ""}));
}
[[noreturn]] void ReadOnly() { throw EPropertyError("Property is read-only"); }
[[noreturn]] void WriteOnly() { throw EPropertyError("Property is write-only"); }
[[noreturn]] void InvalidValue() { throw EPropertyError("Invalid property value"); }

bool IsStringKind(TTypeKind kind) { return tkStrings.Contains(kind); }

// The instance an accessor reads; a null one is the caller's fault, not a crash.
const TPersistent& Checked(const TPersistent* instance) {
  if (instance == nullptr) throw EPropertyError("Property access on a nil object");
  return *instance;
}
TPersistent& Checked(TPersistent* instance) {
  if (instance == nullptr) throw EPropertyError("Property access on a nil object");
  return *instance;
}

const TTypeInfo& SetMembers(const TTypeInfo& set_type) {
  return set_type.Kind == tkSet && set_type.CompType != nullptr ? *set_type.CompType : set_type;
}

}  // namespace

const TPropInfo* GetPropInfo(const TClassInfo& cls, const AnsiString& name) { return cls.FindProperty(name); }

const TPropInfo* GetPropInfo(const TPersistent* instance, const AnsiString& name) {
  return instance != nullptr ? instance->ClassInfo()->FindProperty(name) : nullptr;
}

const TPropInfo& FindPropInfo(const TPersistent* instance, const AnsiString& name) {
  const TPropInfo* prop = GetPropInfo(instance, name);
  if (prop == nullptr) throw EPropertyError(Format("Property %s does not exist", {name}));
  return *prop;
}

std::vector<const TPropInfo*> GetPropList(const TClassInfo& cls, TTypeKinds kinds, bool sorted) {
  std::vector<const TPropInfo*> list;
  for (const TPropInfo* p : cls.Properties()) {
    if (kinds.Contains(p->Kind())) list.push_back(p);
  }
  if (sorted) {
    std::stable_sort(list.begin(), list.end(),
                     [](const TPropInfo* a, const TPropInfo* b) { return CompareText(a->Name, b->Name) < 0; });
  }
  return list;
}

int64_t GetOrdProp(const TPersistent* instance, const TPropInfo& prop) {
  if (!tkOrdinal.Contains(prop.Kind())) InvalidType(prop);
  if (!prop.GetOrd) WriteOnly();
  return prop.GetOrd(Checked(instance));
}

void SetOrdProp(TPersistent* instance, const TPropInfo& prop, int64_t value) {
  if (!tkOrdinal.Contains(prop.Kind())) InvalidType(prop);
  if (!prop.SetOrd) ReadOnly();
  prop.SetOrd(Checked(instance), value);
}

double GetFloatProp(const TPersistent* instance, const TPropInfo& prop) {
  if (prop.Kind() != tkFloat) InvalidType(prop);
  if (!prop.GetFloat) WriteOnly();
  return prop.GetFloat(Checked(instance));
}

void SetFloatProp(TPersistent* instance, const TPropInfo& prop, double value) {
  if (prop.Kind() != tkFloat) InvalidType(prop);
  if (!prop.SetFloat) ReadOnly();
  prop.SetFloat(Checked(instance), value);
}

AnsiString GetStrProp(const TPersistent* instance, const TPropInfo& prop) {
  if (!IsStringKind(prop.Kind())) InvalidType(prop);
  if (!prop.GetStr) WriteOnly();
  return prop.GetStr(Checked(instance));
}

void SetStrProp(TPersistent* instance, const TPropInfo& prop, const AnsiString& value) {
  if (!IsStringKind(prop.Kind())) InvalidType(prop);
  if (!prop.SetStr) ReadOnly();
  // A short string keeps at most its declared length.
  if (prop.Kind() == tkString && static_cast<int>(value.size()) > prop.PropType->MaxLength) {
    prop.SetStr(Checked(instance), value.substr(0, static_cast<size_t>(std::max(prop.PropType->MaxLength, 0))));
    return;
  }
  prop.SetStr(Checked(instance), value);
}

TPersistent* GetObjectProp(const TPersistent* instance, const TPropInfo& prop) {
  if (prop.Kind() != tkClass) InvalidType(prop);
  if (!prop.GetObject) WriteOnly();
  return prop.GetObject(Checked(instance));
}

void SetObjectProp(TPersistent* instance, const TPropInfo& prop, TPersistent* value) {
  if (prop.Kind() != tkClass) InvalidType(prop);
  if (!prop.SetObject) ReadOnly();
  prop.SetObject(Checked(instance), value);
}

Variant GetVariantProp(const TPersistent* instance, const TPropInfo& prop) {
  switch (prop.Kind()) {
    case tkEnumeration:
      if (prop.PropType == &TypeInfoBoolean()) return Variant(GetOrdProp(instance, prop) != 0);
      return Variant(static_cast<int>(GetOrdProp(instance, prop)));
    case tkInteger:
    case tkChar:
    case tkWChar:
    case tkSet: {
      int64_t v = GetOrdProp(instance, prop);
      if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int>(v));
      return Variant(static_cast<long long>(v));
    }
    case tkInt64:
      return Variant(static_cast<long long>(GetOrdProp(instance, prop)));
    case tkFloat: {
      double v = GetFloatProp(instance, prop);
      const TTypeInfo* t = prop.PropType;
      if (t == &TypeInfoTDateTime() || t == &TypeInfoTDate() || t == &TypeInfoTTime()) return Variant::FromDate(v);
      return Variant(v);
    }
    case tkString:
    case tkLString:
    case tkWString:
      return Variant(GetStrProp(instance, prop));
    case tkVariant:
      if (!prop.GetVariant) WriteOnly();
      return prop.GetVariant(Checked(instance));
    default:
      InvalidType(prop);
  }
}

void SetVariantProp(TPersistent* instance, const TPropInfo& prop, const Variant& value) {
  switch (prop.Kind()) {
    case tkEnumeration:
      if (prop.PropType == &TypeInfoBoolean()) {
        SetOrdProp(instance, prop, value.AsBoolean() ? 1 : 0);
      } else if (VarIsStr(value)) {
        SetEnumProp(instance, prop, value.AsString());
      } else {
        SetOrdProp(instance, prop, value.AsInt64());
      }
      return;
    case tkInteger:
    case tkChar:
    case tkWChar:
    case tkSet:
    case tkInt64:
      SetOrdProp(instance, prop, value.AsInt64());
      return;
    case tkFloat:
      SetFloatProp(instance, prop, value.AsDouble());
      return;
    case tkString:
    case tkLString:
    case tkWString:
      SetStrProp(instance, prop, value.AsString());
      return;
    case tkVariant:
      if (!prop.SetVariant) ReadOnly();
      prop.SetVariant(Checked(instance), value);
      return;
    default:
      InvalidType(prop);
  }
}

AnsiString GetEnumProp(const TPersistent* instance, const TPropInfo& prop) {
  if (prop.Kind() != tkEnumeration) InvalidType(prop);
  return GetEnumName(*prop.PropType, GetOrdProp(instance, prop));
}

void SetEnumProp(TPersistent* instance, const TPropInfo& prop, const AnsiString& value) {
  if (prop.Kind() != tkEnumeration) InvalidType(prop);
  int64_t v = GetEnumValue(*prop.PropType, value);
  if (v < 0) InvalidValue();
  SetOrdProp(instance, prop, v);
}

AnsiString GetSetProp(const TPersistent* instance, const TPropInfo& prop, bool brackets) {
  if (prop.Kind() != tkSet) InvalidType(prop);
  return SetToString(*prop.PropType, static_cast<uint64_t>(GetOrdProp(instance, prop)), brackets);
}

void SetSetProp(TPersistent* instance, const TPropInfo& prop, const AnsiString& value) {
  if (prop.Kind() != tkSet) InvalidType(prop);
  SetOrdProp(instance, prop, static_cast<int64_t>(StringToSet(*prop.PropType, value)));
}

int64_t GetOrdProp(const TPersistent* instance, const AnsiString& name) {
  return GetOrdProp(instance, FindPropInfo(instance, name));
}
void SetOrdProp(TPersistent* instance, const AnsiString& name, int64_t value) {
  SetOrdProp(instance, FindPropInfo(instance, name), value);
}
double GetFloatProp(const TPersistent* instance, const AnsiString& name) {
  return GetFloatProp(instance, FindPropInfo(instance, name));
}
void SetFloatProp(TPersistent* instance, const AnsiString& name, double value) {
  SetFloatProp(instance, FindPropInfo(instance, name), value);
}
AnsiString GetStrProp(const TPersistent* instance, const AnsiString& name) {
  return GetStrProp(instance, FindPropInfo(instance, name));
}
void SetStrProp(TPersistent* instance, const AnsiString& name, const AnsiString& value) {
  SetStrProp(instance, FindPropInfo(instance, name), value);
}
Variant GetVariantProp(const TPersistent* instance, const AnsiString& name) {
  return GetVariantProp(instance, FindPropInfo(instance, name));
}
void SetVariantProp(TPersistent* instance, const AnsiString& name, const Variant& value) {
  SetVariantProp(instance, FindPropInfo(instance, name), value);
}

AnsiString GetEnumName(const TTypeInfo& type, int64_t value) {
  if (type.Kind == tkInteger || type.Kind == tkInt64) return IntToStr(value);
  if (type.Kind != tkEnumeration || value < type.MinValue || value > type.MaxValue) return "";
  size_t index = static_cast<size_t>(value - type.MinValue);
  return index < type.EnumNames.size() ? type.EnumNames[index] : AnsiString();
}

int64_t GetEnumValue(const TTypeInfo& type, const AnsiString& name) {
  if (type.Kind != tkEnumeration) return -1;
  for (size_t i = 0; i < type.EnumNames.size(); ++i) {
    if (SameText(type.EnumNames[i], name)) return type.MinValue + static_cast<int64_t>(i);
  }
  return -1;
}

AnsiString SetToString(const TTypeInfo& set_type, uint64_t value, bool brackets) {
  const TTypeInfo& members = SetMembers(set_type);
  AnsiString result;
  for (int bit = 0; bit < 64; ++bit) {
    if ((value & (uint64_t{1} << bit)) == 0) continue;
    if (!result.empty()) result += ',';
    AnsiString name = GetEnumName(members, bit);
    // A bit without a member still shows, so that nothing is silently lost.
    result += name.empty() ? IntToStr(bit) : name;
  }
  return brackets ? "[" + result + "]" : result;
}

uint64_t StringToSet(const TTypeInfo& set_type, const AnsiString& value) {
  const TTypeInfo& members = SetMembers(set_type);
  AnsiString text = Trim(value);
  if (!text.empty() && text.front() == '[') {
    if (text.back() != ']') throw EPropertyError(Format("Invalid property element: %s", {text}));
    text = text.substr(1, text.size() - 2);
  }
  uint64_t result = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == AnsiString::npos) comma = text.size();
    AnsiString name = Trim(std::string_view(text).substr(start, comma - start));
    if (!name.empty()) {
      int64_t v = GetEnumValue(members, name);
      if (v < 0 || v >= 64) throw EPropertyError(Format("Invalid property element: %s", {name}));
      result |= uint64_t{1} << v;
    } else if (comma < text.size()) {
      throw EPropertyError(Format("Invalid property element: %s", {text}));
    }
    start = comma + 1;
  }
  return result;
}

bool IsStoredProp(const TPersistent* instance, const TPropInfo& prop) {
  if (prop.StoredIf) return prop.StoredIf(Checked(instance));
  return prop.StoredFlag;
}

bool IsDefaultValue(const TPersistent* instance, const TPropInfo& prop) {
  if (!prop.HasGetter()) return true;
  switch (prop.Kind()) {
    case tkInteger:
    case tkChar:
    case tkWChar:
    case tkEnumeration:
    case tkSet:
      return prop.Default.has_value() && GetOrdProp(instance, prop) == *prop.Default;
    case tkInt64:
      return GetOrdProp(instance, prop) == prop.Default.value_or(0);
    case tkFloat:
      return GetFloatProp(instance, prop) == 0.0;
    case tkString:
    case tkLString:
    case tkWString:
      return GetStrProp(instance, prop).empty();
    case tkVariant:
      return VarIsEmpty(GetVariantProp(instance, prop));
    case tkClass:
      return GetObjectProp(instance, prop) == nullptr;
    default:
      return true;
  }
}

// ---- Class registry -------------------------------------------------------------

namespace {

std::vector<const TClassInfo*>& Registry() {
  static std::vector<const TClassInfo*> classes;
  return classes;
}

}  // namespace

void RegisterClass(const TClassInfo& cls) {
  const TClassInfo* existing = GetClass(cls.ClassName());
  if (existing == &cls) return;
  if (existing != nullptr) throw EFilerError(Format("A class named %s already exists", {cls.ClassName()}));
  Registry().push_back(&cls);
}

void UnRegisterClass(const TClassInfo& cls) {
  auto& classes = Registry();
  classes.erase(std::remove(classes.begin(), classes.end(), &cls), classes.end());
}

const TClassInfo* GetClass(const AnsiString& name) {
  for (const TClassInfo* c : Registry()) {
    if (SameText(c->ClassName(), name)) return c;
  }
  return nullptr;
}

const TClassInfo& FindClass(const AnsiString& name) {
  const TClassInfo* c = GetClass(name);
  if (c == nullptr) throw EClassNotFound(Format("Class %s not found", {name}));
  return *c;
}
