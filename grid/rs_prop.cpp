#include "grid/rs_prop.h"

#include <limits>
#include <map>

#include "grid/rs_rtm.h"
#include "grid/rs_str.h"
#include "toolkit/core/text.h"
#include "toolkit/core/units.h"

namespace {

constexpr const char* kNotAvailable = "Value is not available";
constexpr const char* kReadOnlyProperty = "'%s' is read-only property";
constexpr const char* kNoSuchComponent = "%d is not the handle of a live component";

bool IsStringsClass(const TTypeInfo& type) {
  return type.ClassType != nullptr && type.ClassType->InheritsFrom(TStrings::StaticClassInfo());
}
bool IsComponentClass(const TTypeInfo& type) {
  return type.ClassType != nullptr && type.ClassType->InheritsFrom(TComponent::StaticClassInfo());
}
bool IsBooleanType(const TTypeInfo& type) { return AnsiSameText(type.Name, "Boolean"); }

// The member names of a set type as a ";"-list.
AnsiString SetMemberNames(const TTypeInfo& set_type) {
  AnsiString names;
  if (set_type.CompType != nullptr)
    for (const AnsiString& name : set_type.CompType->EnumNames) names = ListAddEmpty(names, name, ';');
  return names;
}

// The last handle given. It outlives the registry (freed by the units'
// shut-down), so a registry made anew never gives a number twice.
int g_last_handle = 0;

// Live components by handle, and the tracker that hears of their end.
class TComponentHandles : public TComponent {
 public:
  TComponentHandles() : TComponent(nullptr) {}

  int HandleOf(TComponent* component) {
    if (component == nullptr) return 0;
    if (auto it = handles_.find(component); it != handles_.end()) return it->second;
    if (g_last_handle == std::numeric_limits<int>::max()) throw ERSError("Too many component handles");
    const int handle = ++g_last_handle;
    handles_[component] = handle;
    components_[handle] = component;
    FreeNotification(component);
    return handle;
  }

  TComponent* ComponentOf(int handle) const {
    if (handle == 0) return nullptr;
    auto it = components_.find(handle);
    if (it == components_.end()) throw ERSError(Format(kNoSuchComponent, {handle}));
    return it->second;
  }

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == opRemove) {
      if (auto it = handles_.find(component); it != handles_.end()) {
        components_.erase(it->second);
        handles_.erase(it);
      }
    }
    TComponent::Notification(component, operation);
  }

 private:
  std::map<TComponent*, int> handles_;
  std::map<int, TComponent*> components_;
};

// The units' shut-down frees the registry, and with it its place in the
// notification lists of the components it knows.
TComponentHandles* g_handles = nullptr;

const char kHandlesUnit = 0;
void FinalizeHandlesUnit() {
  TComponentHandles* handles = g_handles;
  g_handles = nullptr;
  if (handles != nullptr) handles->Free();
}

TComponentHandles& Handles() {
  if (g_handles == nullptr) {
    g_handles = new TComponentHandles();
    RegisterUnit(&kHandlesUnit, "rs_prop", FinalizeHandlesUnit);
  }
  return *g_handles;
}

// Clears an accessor's Value when it goes, however the scope is left.
struct ValueClearer {
  TvpUniValue& v;
  ~ValueClearer() { v.Clear(); }
};

// The position of item in a ";"-list (case-insensitive), -1 when absent.
int PairedIndex(const AnsiString& list, const AnsiString& item) { return ListIndexOf(list, item, ';'); }

}  // namespace

// ---- Type rules ------------------------------------------------------------------------

TvpPropFieldInfo GetPropFieldInfo(const TPropInfo& prop, int string_length, const AnsiString& memo_props) {
  TvpPropFieldInfo info;
  info.ReadOnly = !prop.HasSetter();
  const TTypeInfo* type = prop.PropType;
  if (type == nullptr) return info;
  const bool memo = ListContains(memo_props, prop.Name, ';');
  switch (type->Kind) {
    case tkInteger: info.FieldType = ftInteger; break;
    case tkChar: info.FieldType = ftString; info.Size = 1; break;
    case tkEnumeration: info.FieldType = IsBooleanType(*type) ? ftBoolean : ftInteger; break;
    case tkFloat:
      if (AnsiSameText(type->Name, "TDate")) info.FieldType = ftDate;
      else if (AnsiSameText(type->Name, "TTime")) info.FieldType = ftTime;
      else if (AnsiSameText(type->Name, "TDateTime")) info.FieldType = ftDateTime;
      else info.FieldType = ftFloat;
      break;
    case tkString: info.FieldType = ftString; info.Size = type->MaxLength; break;
    case tkSet:
      info.FieldType = ftInteger;
      info.Kind = vpkSet;
      info.SetNames = SetMemberNames(*type);
      break;
    case tkClass:
      if (IsStringsClass(*type)) {
        info.FieldType = ftMemo;
        info.Kind = vpkStrings;
      } else if (IsComponentClass(*type)) {
        info.FieldType = ftInteger;
        info.Kind = vpkComponent;
      }
      break;
    case tkWChar: info.FieldType = ftWideString; info.Size = 2; break;
    case tkLString:
      info.FieldType = memo ? ftMemo : ftString;
      info.Size = memo ? 0 : string_length;
      break;
    case tkWString:
      info.FieldType = memo ? ftMemo : ftWideString;
      info.Size = memo ? 0 : string_length * 2;
      break;
    case tkVariant: info.FieldType = ftVariant; break;
    case tkInt64: info.FieldType = ftLargeint; break;
    default: break;
  }
  return info;
}

// ---- Class descriptions ------------------------------------------------------------------

bool GetObjFieldsInfo(const TPersistent* object, TObjFieldsInfo& info) {
  info = TObjFieldsInfo{};
  const auto* described = dynamic_cast<const IvpObjFieldsInfo*>(object);
  if (described == nullptr) return false;
  described->_GetObjFieldsInfo(info);
  return true;
}

AnsiString PropertyToFieldName(const TPersistent* object, const AnsiString& prop_name) {
  TObjFieldsInfo info;
  if (!GetObjFieldsInfo(object, info)) return prop_name;
  const int i = PairedIndex(info.Properties, prop_name);
  if (i < 0 || i >= ListCount(info.Fields, ';')) return prop_name;
  const AnsiString field = ListItem(info.Fields, i, ';');
  return field.empty() ? prop_name : field;
}

AnsiString FieldToPropertyName(const TPersistent* object, const AnsiString& field_name) {
  TObjFieldsInfo info;
  if (!GetObjFieldsInfo(object, info)) return field_name;
  const int i = PairedIndex(info.Fields, field_name);
  if (i < 0 || i >= ListCount(info.Properties, ';')) return field_name;
  const AnsiString prop = ListItem(info.Properties, i, ';');
  return prop.empty() ? field_name : prop;
}

bool IsNullByObjInfo(const TPersistent* object, const AnsiString& prop_name) {
  TObjFieldsInfo info;
  if (!GetObjFieldsInfo(object, info) || !ListContains(info.NullableProps, prop_name, ';')) return false;
  const TPropInfo* prop = GetPropInfo(object, prop_name);
  if (prop == nullptr || !prop->HasGetter()) return false;
  switch (prop->Kind()) {
    case tkInteger:
    case tkEnumeration:
    case tkSet: return GetOrdProp(object, *prop) == 0;
    case tkChar: return GetOrdProp(object, *prop) == 0;
    case tkString:
    case tkLString:
    case tkWString: return GetStrProp(object, *prop).empty();
    case tkFloat: return GetFloatProp(object, *prop) == 0.0;
    case tkVariant: return GetVariantProp(object, *prop).IsNull();
    default: return false;
  }
}

// ---- Field definitions -------------------------------------------------------------------

AnsiString FieldDefsFromPublished(TFieldDefs& defs, const TClassInfo& cls, const TPersistent* object,
                                  int string_length, const AnsiString& memo_props, bool expand_sets,
                                  TStrings& prop_list, TStrings& expanded_list) {
  AnsiString names;
  {
    TUpdateScope update(defs);
    defs.Clear();
    TTypeKinds kinds = tkAny;
    kinds.Exclude(tkMethod);
    for (const TPropInfo* prop : GetPropList(cls, kinds, true)) {
      const AnsiString field_name = object != nullptr ? PropertyToFieldName(object, prop->Name) : prop->Name;
      const TvpPropFieldInfo info = GetPropFieldInfo(*prop, string_length, memo_props);
      TFieldAttributes attributes;
      if (info.ReadOnly) attributes.Include(faReadonly);
      if (info.Kind == vpkSet && expand_sets) {
        for (int m = 0; m < ListCount(info.SetNames, ';'); ++m) {
          const AnsiString member_field = field_name + "_" + ListItem(info.SetNames, m, ';');
          defs.AppendNamedDef(member_field, ftBoolean, 0)->ChangeAttributes(attributes);
          names = ListAdd(names, member_field, ';');
          prop_list.Add(field_name);
          expanded_list.Add(member_field);
        }
        continue;
      }
      // A property no field can show is left out; the object still shows the rest.
      if (info.FieldType == ftUnknown || ListContains(names, field_name, ';')) continue;
      defs.AppendNamedDef(field_name, info.FieldType, info.Size)->ChangeAttributes(attributes);
      names = ListAdd(names, field_name, ';');
    }
  }
  return names;
}

// ---- Paths and properties by name ----------------------------------------------------------

TPersistent* ResolvePropertyPath(TPersistent* root, const AnsiString& path) {
  if (path.empty() || root == nullptr) return root;
  TPersistent* current = root;
  for (int i = 0; current != nullptr && i < ListCount(path, '.'); ++i) {
    const TPropInfo* prop = GetPropInfo(current, ListItem(path, i, '.'));
    current = prop != nullptr && prop->Kind() == tkClass && prop->HasGetter() ? GetObjectProp(current, *prop)
                                                                             : nullptr;
  }
  return current;
}

int GetIntegerProperty(TPersistent* object, const AnsiString& name) {
  TvpPropAccessor accessor(object, name);
  return accessor.Available() ? accessor.AsInteger() : 0;
}

void SetIntegerProperty(TPersistent* object, const AnsiString& name, int value) {
  TvpPropAccessor accessor(object, name);
  if (accessor.Available()) accessor.SetAsInteger(value);
}

void SetStringProperty(TPersistent* object, const AnsiString& name, const AnsiString& value) {
  TvpPropAccessor accessor(object, name);
  if (accessor.Available()) accessor.SetAsString(value);
}

int ComponentHandle(TComponent* component) { return Handles().HandleOf(component); }

TComponent* ComponentOfHandle(int handle) { return Handles().ComponentOf(handle); }

// ---- TvpPropAccessor -----------------------------------------------------------------------

const TClassInfo& TvpPropAccessor::StaticClassInfo() {
  static const TClassInfo info(kClassOf<TvpPropAccessor>, "TvpPropAccessor", &TPersistent::StaticClassInfo());
  return info;
}

TvpPropAccessor::TvpPropAccessor(TPersistent* instance, const AnsiString& prop_name)
    : instance_(instance), prop_name_(prop_name), value_(std::make_unique<TvpUniValue>(false, true)) {
  if (instance_ != nullptr) prop_ = GetPropInfo(instance_, prop_name_);
  if (prop_ != nullptr) info_ = GetPropFieldInfo(*prop_, 1024, "");
  value_->SetDataType(info_.FieldType);
}

TvpPropAccessor::~TvpPropAccessor() = default;

void TvpPropAccessor::CheckAvailable() const {
  if (!Available()) throw ERSError(kNotAvailable);
}

void TvpPropAccessor::ReadValue() {
  CheckAvailable();
  if (!prop_->HasGetter()) return;
  TvpUniValue& v = *value_;
  switch (prop_->Kind()) {
    case tkInteger:
      // Through the 64-bit setter: a number the field cannot hold is refused, not cut.
      v.SetAsLargeInt(GetOrdProp(instance_, *prop_));
      break;
    case tkChar: {
      const int64_t code = GetOrdProp(instance_, *prop_);
      v.SetAsString(code == 0 ? AnsiString() : AnsiString(1, static_cast<char>(code)));
      break;
    }
    case tkWChar: {
      const auto code = static_cast<char16_t>(GetOrdProp(instance_, *prop_));
      v.Accessor().SetAsWideString(code == 0 ? std::u16string() : std::u16string(1, code));
      break;
    }
    case tkEnumeration:
    case tkSet:
      if (IsBooleanType(*prop_->PropType)) v.SetAsBoolean(GetOrdProp(instance_, *prop_) != 0);
      else v.SetAsLargeInt(GetOrdProp(instance_, *prop_));
      break;
    case tkFloat: v.SetAsFloat(GetFloatProp(instance_, *prop_)); break;
    case tkString:
    case tkLString:
    case tkWString: v.SetAsString(GetStrProp(instance_, *prop_)); break;
    case tkVariant: v.SetAsVariant(GetVariantProp(instance_, *prop_)); break;
    case tkInt64: v.SetAsLargeInt(GetOrdProp(instance_, *prop_)); break;
    case tkClass: {
      TPersistent* object = GetObjectProp(instance_, *prop_);
      if (info_.Kind == vpkStrings) {
        TMemoryStream stream;
        if (auto* strings = dynamic_cast<TStrings*>(object); strings != nullptr) strings->SaveToStream(stream);
        stream.SetPosition(0);
        v.LoadFromStream(stream);
      } else if (info_.Kind == vpkComponent) {
        v.SetAsInteger(ComponentHandle(dynamic_cast<TComponent*>(object)));
      }
      break;
    }
    default: break;
  }
}

void TvpPropAccessor::WriteOrdinal(int64_t value) {
  const TTypeInfo& type = *prop_->PropType;
  int64_t low = type.MinValue;
  int64_t high = type.MaxValue;
  if (type.Kind == tkSet) {
    // A set holds only the bits of its members.
    const size_t members = type.CompType != nullptr ? type.CompType->EnumNames.size() : 0;
    low = 0;
    high = members >= 63 ? std::numeric_limits<int64_t>::max() : (int64_t{1} << members) - 1;
    if ((value & ~high) != 0)
      rsErrorFmt(SOutOfRangeMinMax, {prop_->Name, static_cast<double>(low), static_cast<double>(high)});
  } else if (type.Kind == tkInt64 && low == 0 && high == 0) {
    low = std::numeric_limits<int64_t>::min();
    high = std::numeric_limits<int64_t>::max();
  }
  if (value < low || value > high)
    rsErrorFmt(SOutOfRangeMinMax, {prop_->Name, static_cast<double>(low), static_cast<double>(high)});
  SetOrdProp(instance_, *prop_, value);
}

void TvpPropAccessor::WriteValue() {
  ValueClearer clear_at_end{*value_};
  CheckAvailable();
  if (!prop_->HasSetter()) throw ERSError(Format(kReadOnlyProperty, {prop_->Name}));
  const TvpUniValue& v = *value_;
  switch (prop_->Kind()) {
    case tkInteger:
    case tkInt64: WriteOrdinal(v.AsLargeInt()); break;
    case tkChar: {
      const AnsiString text = v.AsString();
      WriteOrdinal(text.empty() ? 0 : static_cast<unsigned char>(text[0]));
      break;
    }
    case tkWChar: {
      const std::u16string text = v.IsNull() ? std::u16string() : v.Accessor().GetAsWideString();
      WriteOrdinal(text.empty() ? 0 : static_cast<int64_t>(text[0]));
      break;
    }
    case tkEnumeration:
    case tkSet:
      if (IsBooleanType(*prop_->PropType)) WriteOrdinal(v.AsBoolean() ? 1 : 0);
      else WriteOrdinal(v.AsLargeInt());
      break;
    case tkFloat: SetFloatProp(instance_, *prop_, v.AsFloat()); break;
    case tkString: {
      const AnsiString text = v.AsString();
      if (static_cast<int>(text.size()) > prop_->PropType->MaxLength)
        rsErrorFmt(SOutOfRangeMinMax,
                   {prop_->Name, 0.0, static_cast<double>(prop_->PropType->MaxLength)});
      SetStrProp(instance_, *prop_, text);
      break;
    }
    case tkLString:
    case tkWString: SetStrProp(instance_, *prop_, v.AsString()); break;
    case tkVariant: SetVariantProp(instance_, *prop_, v.AsVariant()); break;
    case tkClass:
      if (info_.Kind == vpkStrings) {
        auto* strings = dynamic_cast<TStrings*>(GetObjectProp(instance_, *prop_));
        if (strings != nullptr) {
          TMemoryStream stream;
          v.SaveToStream(stream);
          stream.SetPosition(0);
          strings->LoadFromStream(stream);
        }
      } else if (info_.Kind == vpkComponent) {
        SetObjectProp(instance_, *prop_, ComponentOfHandle(v.IsNull() ? 0 : v.AsInteger()));
      }
      break;
    default: break;
  }
}

template <class R>
R TvpPropAccessor::Reading(R (TvpUniValue::*take)() const) {
  ReadValue();
  ValueClearer clear_at_end{*value_};
  return ((*value_).*take)();
}

int TvpPropAccessor::AsInteger() { return Reading(&TvpUniValue::AsInteger); }
AnsiString TvpPropAccessor::AsString() { return Reading(&TvpUniValue::AsString); }
double TvpPropAccessor::AsFloat() { return Reading(&TvpUniValue::AsFloat); }
Variant TvpPropAccessor::AsVariant() { return Reading(&TvpUniValue::AsVariant); }
int64_t TvpPropAccessor::AsLargeInt() { return Reading(&TvpUniValue::AsLargeInt); }

void TvpPropAccessor::SetAsInteger(int value) {
  CheckAvailable();
  value_->SetAsInteger(value);
  WriteValue();
}

void TvpPropAccessor::SetAsString(const AnsiString& value) {
  CheckAvailable();
  value_->SetAsString(value);
  WriteValue();
}

void TvpPropAccessor::Assign(const TPersistent* source) {
  const TvpUniValue* from = nullptr;
  if (auto* accessor = dynamic_cast<const TvpPropAccessor*>(source); accessor != nullptr) from = &accessor->Value();
  else from = dynamic_cast<const TvpUniValue*>(source);
  if (from == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  CheckAvailable();
  {
    TScopeFail cleared([this] { value_->Clear(); });
    value_->Assign(from);
  }
  WriteValue();
}

void TvpPropAccessor::AssignTo(TPersistent* dest) const {
  CheckAvailable();
  auto& self = const_cast<TvpPropAccessor&>(*this);
  ValueClearer clear_at_end{*value_};
  self.ReadValue();
  dest->Assign(value_.get());
}

bool TvpPropAccessor::IsEmpty() const {
  CheckAvailable();
  if (!prop_->HasGetter()) return false;
  switch (prop_->Kind()) {
    case tkInteger:
    case tkChar:
    case tkWChar:
    case tkEnumeration:
    case tkSet:
    case tkInt64: return GetOrdProp(instance_, *prop_) == 0;
    case tkString:
    case tkLString:
    case tkWString: return GetStrProp(instance_, *prop_).empty();
    case tkFloat: return GetFloatProp(instance_, *prop_) == 0.0;
    case tkVariant: {
      const Variant v = GetVariantProp(instance_, *prop_);
      return v.IsNull() || v.IsEmpty();
    }
    default: return false;
  }
}

bool TvpPropAccessor::IsTypeNamed(const AnsiString& name) const {
  return prop_ != nullptr && prop_->PropType != nullptr && AnsiSameText(prop_->PropType->Name, name);
}
