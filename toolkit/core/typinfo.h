// Reflection of published properties.
//
// Every class that publishes properties has one TClassInfo, built once on
// first use, that names the class, links to its ancestor's descriptor and
// lists its own properties in publication order. A property (TPropInfo) has a
// name, a type (TTypeInfo: kind, enumeration member names, the member type of
// a set, the class of an object), typed accessors, an ordinal default and a
// stored rule. Text streaming, the object data set and the report scripts read
// and write objects only through these descriptors.
//
// A class publishes its properties like this:
//
//   class TMyThing : public TComponent {
//     KIV7_PERSISTENT(TMyThing)
//    public:
//     ...
//   };
//
//   const TClassInfo& TMyThing::StaticClassInfo() {
//     static const TClassInfo info(kClassOf<TMyThing>, "TMyThing", &TComponent::StaticClassInfo(),
//                                  [](TPublisher<TMyThing>& p) {
//       p.Integer("Width", &TMyThing::Width, &TMyThing::SetWidth).WithDefault(64);
//       p.Ordinal("Alignment", AlignmentType(), &TMyThing::Alignment, &TMyThing::SetAlignment);
//     });
//     return info;
//   }
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "toolkit/core/colors.h"
#include "toolkit/core/component.h"
#include "toolkit/core/variant.h"

class TReader;
class TWriter;
class TStream;

// ---- Types ----------------------------------------------------------------------

// The kinds of property types.
enum TTypeKind {
  tkUnknown,
  tkInteger,
  tkChar,
  tkEnumeration,
  tkFloat,
  tkString,  // a short string with a maximum length
  tkSet,
  tkClass,
  tkMethod,
  tkWChar,
  tkLString,  // the 1251 AnsiString
  tkWString,
  tkVariant,
  tkArray,
  tkRecord,
  tkInterface,
  tkInt64,
  tkDynArray
};
using TTypeKinds = TSet<TTypeKind>;

// Every kind: the filter that lists all properties.
inline constexpr TTypeKinds tkAny{tkUnknown, tkInteger, tkChar,   tkEnumeration, tkFloat,     tkString,
                                  tkSet,     tkClass,   tkMethod, tkWChar,       tkLString,   tkWString,
                                  tkVariant, tkArray,   tkRecord, tkInterface,   tkInt64,     tkDynArray};
// The kinds whose values are ordinals (GetOrdProp).
inline constexpr TTypeKinds tkOrdinal{tkInteger, tkChar, tkEnumeration, tkSet, tkWChar, tkInt64};
// The kinds whose values are text (GetStrProp).
inline constexpr TTypeKinds tkStrings{tkString, tkLString, tkWString};

// Describes one type a property can have.
struct TTypeInfo {
  AnsiString Name;  // "Integer", "Boolean", "TAlignment", "TColor", "TFont"
  TTypeKind Kind = tkUnknown;
  // Ordinal range (enumerations: 0 .. member count - 1).
  int64_t MinValue = 0;
  int64_t MaxValue = 0;
  // tkEnumeration: the member names, in the order of their values from MinValue.
  std::vector<AnsiString> EnumNames;
  // tkSet: the enumeration of the set's members.
  const TTypeInfo* CompType = nullptr;
  // tkClass: the descriptor of the class.
  const TClassInfo* ClassType = nullptr;
  // tkString: the maximum length of the short string.
  int MaxLength = 255;
  // Integer types with named constants (TColor): value to identifier and back.
  bool (*IntToIdent)(int64_t value, AnsiString& ident) = nullptr;
  bool (*IdentToInt)(const AnsiString& ident, int64_t& value) = nullptr;

  // Makers for the usual shapes.
  static TTypeInfo Ordinal(AnsiString name, TTypeKind kind, int64_t min_value, int64_t max_value);
  static TTypeInfo Enumeration(AnsiString name, std::vector<AnsiString> member_names);
  static TTypeInfo SetOf(AnsiString name, const TTypeInfo& member_type);
  static TTypeInfo ShortString(AnsiString name, int max_length);
  static TTypeInfo Simple(AnsiString name, TTypeKind kind);
};

// The built-in types.
const TTypeInfo& TypeInfoInteger();   // "Integer", 32-bit
const TTypeInfo& TypeInfoCardinal();  // "Cardinal", unsigned 32-bit
const TTypeInfo& TypeInfoInt64();     // "Int64"
const TTypeInfo& TypeInfoBoolean();   // "Boolean": False, True
const TTypeInfo& TypeInfoChar();      // "Char"
const TTypeInfo& TypeInfoWideChar();  // "WideChar"
const TTypeInfo& TypeInfoDouble();    // "Double"
const TTypeInfo& TypeInfoTDateTime(); // "TDateTime"
const TTypeInfo& TypeInfoTDate();     // "TDate"
const TTypeInfo& TypeInfoTTime();     // "TTime"
const TTypeInfo& TypeInfoString();    // "String", 1251 text
const TTypeInfo& TypeInfoWideString();// "WideString"
const TTypeInfo& TypeInfoVariant();   // "Variant"
const TTypeInfo& TypeInfoTColor();    // "TColor": integer with colour identifiers
const TTypeInfo& TypeInfoTNotifyEvent();  // "TNotifyEvent", a method

// ---- Properties -----------------------------------------------------------------

// One published property. Which accessor pair is set follows the kind:
// ordinal kinds (tkOrdinal) use GetOrd/SetOrd (sets as their bit word),
// tkFloat GetFloat/SetFloat, string kinds GetStr/SetStr, tkClass
// GetObject/SetObject, tkVariant GetVariant/SetVariant. A read-only property
// has no setter.
class TPropInfo {
 public:
  AnsiString Name;
  const TTypeInfo* PropType = nullptr;
  TTypeKind Kind() const { return PropType != nullptr ? PropType->Kind : tkUnknown; }

  std::function<int64_t(const TPersistent&)> GetOrd;
  std::function<void(TPersistent&, int64_t)> SetOrd;
  std::function<double(const TPersistent&)> GetFloat;
  std::function<void(TPersistent&, double)> SetFloat;
  std::function<AnsiString(const TPersistent&)> GetStr;
  std::function<void(TPersistent&, const AnsiString&)> SetStr;
  // tkClass: the sub-object (TFont, a collection) or referenced component.
  std::function<TPersistent*(const TPersistent&)> GetObject;
  std::function<void(TPersistent&, TPersistent*)> SetObject;
  std::function<Variant(const TPersistent&)> GetVariant;
  std::function<void(TPersistent&, const Variant&)> SetVariant;

  // The ordinal default; none means the value is always written.
  std::optional<int64_t> Default;
  // Whether the value is written: always (no rule), never, or by a predicate.
  bool StoredFlag = true;
  std::function<bool(const TPersistent&)> StoredIf;

  bool HasGetter() const;
  bool HasSetter() const;

  // Fluent settings for publishers.
  TPropInfo& WithDefault(int64_t value) {
    Default = value;
    return *this;
  }
  TPropInfo& NoDefault() {
    Default.reset();
    return *this;
  }
  TPropInfo& NotStored() {
    StoredFlag = false;
    StoredIf = nullptr;
    return *this;
  }
  TPropInfo& StoredWhen(std::function<bool(const TPersistent&)> rule) {
    StoredFlag = true;
    StoredIf = std::move(rule);
    return *this;
  }
};

// ---- Extra (defined) properties ---------------------------------------------------

using TReaderProc = std::function<void(TReader& reader)>;
using TWriterProc = std::function<void(TWriter& writer)>;
using TStreamProc = std::function<void(TStream& stream)>;

// The streaming side of TPersistent::DefineProperties: an object declares each
// property it streams without publishing it, with the callbacks that read and
// write its value; has_data tells whether there is anything to write.
class TFiler {
 public:
  virtual ~TFiler();
  virtual void DefineProperty(const AnsiString& name, TReaderProc read, TWriterProc write, bool has_data) = 0;
  virtual void DefineBinaryProperty(const AnsiString& name, TStreamProc read, TStreamProc write,
                                    bool has_data) = 0;
};

// ---- Class descriptors --------------------------------------------------------------

template <class C>
class TPublisher;

template <class C>
struct TClassTag {};
template <class C>
inline constexpr TClassTag<C> kClassOf{};

// The descriptor of a class: name, ancestor, published properties, and how to
// create an instance (for the class registry; absent for abstract classes).
class TClassInfo {
 public:
  // Builds the descriptor of C; publish adds C's own properties in order.
  template <class C>
  TClassInfo(TClassTag<C>, AnsiString name, const TClassInfo* parent,
             const std::type_identity_t<std::function<void(TPublisher<C>&)>>& publish = {});
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  const AnsiString& ClassName() const { return name_; }
  const TClassInfo* Parent() const { return parent_; }
  // Whether this class is cls or descends from it.
  bool InheritsFrom(const TClassInfo& cls) const;
  // The tkClass type for properties holding objects of this class.
  const TTypeInfo& TypeInfo() const { return type_; }

  // The properties declared by this class itself, in publication order.
  const std::vector<std::unique_ptr<TPropInfo>>& OwnProperties() const { return own_; }
  // All published properties: the ancestors' first, then this class's; a
  // property published again under the same name keeps its ancestor's place.
  const std::vector<const TPropInfo*>& Properties() const { return all_; }
  // The property with that name (case-insensitive); nullptr when none.
  const TPropInfo* FindProperty(const AnsiString& name) const;

  // Whether instances can be made (CreateInstance).
  bool CanCreate() const { return static_cast<bool>(create_); }
  // A new instance owned by owner (components) or free-standing (other
  // persistents; owner is ignored). Raises EClassNotFound when the class is abstract.
  TPersistent* CreateInstance(TComponent* owner) const;

 private:
  template <class C>
  friend class TPublisher;
  TPropInfo& AddProperty(AnsiString name, const TTypeInfo& type);
  void Finish();

  AnsiString name_;
  const TClassInfo* parent_;
  TTypeInfo type_;
  std::function<TPersistent*(TComponent*)> create_;
  std::vector<std::unique_ptr<TPropInfo>> own_;
  std::vector<const TPropInfo*> all_;
};

// ---- Lookup and access ------------------------------------------------------------

// The property by name (case-insensitive); nullptr when the class has none.
const TPropInfo* GetPropInfo(const TClassInfo& cls, const AnsiString& name);
const TPropInfo* GetPropInfo(const TPersistent* instance, const AnsiString& name);
// The same, raising EPropertyError "Property %s does not exist" when absent.
const TPropInfo& FindPropInfo(const TPersistent* instance, const AnsiString& name);
// The properties whose kind is in kinds: in publication order, or sorted by
// name (case-insensitive) when sorted is true.
std::vector<const TPropInfo*> GetPropList(const TClassInfo& cls, TTypeKinds kinds = tkAny, bool sorted = false);

// Typed access. A kind the accessor does not serve raises EPropertyError
// "Invalid property type: %s"; writing a property without setter raises
// EPropertyError "Property is read-only"; reading one without getter,
// "Property is write-only".
int64_t GetOrdProp(const TPersistent* instance, const TPropInfo& prop);
void SetOrdProp(TPersistent* instance, const TPropInfo& prop, int64_t value);
double GetFloatProp(const TPersistent* instance, const TPropInfo& prop);
void SetFloatProp(TPersistent* instance, const TPropInfo& prop, double value);
AnsiString GetStrProp(const TPersistent* instance, const TPropInfo& prop);
void SetStrProp(TPersistent* instance, const TPropInfo& prop, const AnsiString& value);
TPersistent* GetObjectProp(const TPersistent* instance, const TPropInfo& prop);
void SetObjectProp(TPersistent* instance, const TPropInfo& prop, TPersistent* value);
// Any kind but class and method as a Variant: ordinals as integers (Booleans as
// Booleans, sets as their bit word), floats as doubles (dates as dates), text as text.
Variant GetVariantProp(const TPersistent* instance, const TPropInfo& prop);
void SetVariantProp(TPersistent* instance, const TPropInfo& prop, const Variant& value);
// Enumeration properties by member name; an unknown name raises EPropertyError
// "Invalid property value".
AnsiString GetEnumProp(const TPersistent* instance, const TPropInfo& prop);
void SetEnumProp(TPersistent* instance, const TPropInfo& prop, const AnsiString& value);
// Set properties as text ("[fsBold,fsItalic]").
AnsiString GetSetProp(const TPersistent* instance, const TPropInfo& prop, bool brackets = true);
void SetSetProp(TPersistent* instance, const TPropInfo& prop, const AnsiString& value);

// The same by property name (EPropertyError "Property %s does not exist").
int64_t GetOrdProp(const TPersistent* instance, const AnsiString& name);
void SetOrdProp(TPersistent* instance, const AnsiString& name, int64_t value);
double GetFloatProp(const TPersistent* instance, const AnsiString& name);
void SetFloatProp(TPersistent* instance, const AnsiString& name, double value);
AnsiString GetStrProp(const TPersistent* instance, const AnsiString& name);
void SetStrProp(TPersistent* instance, const AnsiString& name, const AnsiString& value);
Variant GetVariantProp(const TPersistent* instance, const AnsiString& name);
void SetVariantProp(TPersistent* instance, const AnsiString& name, const Variant& value);

// Enumeration names. GetEnumName gives "" for a value outside the type (and
// the decimal number for an integer type); GetEnumValue matches names without
// case and gives -1 for an unknown name.
AnsiString GetEnumName(const TTypeInfo& type, int64_t value);
int64_t GetEnumValue(const TTypeInfo& type, const AnsiString& name);

// A set's bit word as its member names in order, joined by ","
// ("[fsBold,fsUnderline]", "[]"); set_type is the set type or its member type.
AnsiString SetToString(const TTypeInfo& set_type, uint64_t value, bool brackets = true);
// The reverse: brackets optional, blanks around names ignored; an unknown
// name raises EPropertyError "Invalid property element: %s".
uint64_t StringToSet(const TTypeInfo& set_type, const AnsiString& value);

// The stored rule of the property for this instance.
bool IsStoredProp(const TPersistent* instance, const TPropInfo& prop);
// Whether the value equals the default, so that a writer leaves it out:
// ordinals with a default equal to it (without a default never, except
// Int64, whose implied default is 0); floats 0; text empty; variants
// Unassigned; objects and methods nullptr.
bool IsDefaultValue(const TPersistent* instance, const TPropInfo& prop);

// ---- Class registry -------------------------------------------------------------

// Registers a class for creation by name. Registering another class under a
// taken name (case-insensitive) raises EFilerError "A class named %s already exists".
void RegisterClass(const TClassInfo& cls);
void UnRegisterClass(const TClassInfo& cls);
// The registered class of that name (case-insensitive); nullptr when none.
const TClassInfo* GetClass(const AnsiString& name);
// The same, raising EClassNotFound "Class %s not found".
const TClassInfo& FindClass(const AnsiString& name);

// ---- Implementation details follow. Clients should ignore. --------------------------

namespace typinfo_detail {

template <class T, class = void>
struct IsSet : std::false_type {};
template <class T>
struct IsSet<T, std::void_t<decltype(T::FromBits(0)), decltype(std::declval<T>().Bits())>> : std::true_type {};

template <class T>
int64_t ToOrd(const T& value) {
  if constexpr (IsSet<T>::value) {
    return static_cast<int64_t>(value.Bits());
  } else {
    return static_cast<int64_t>(value);
  }
}

template <class T>
T FromOrd(int64_t value) {
  if constexpr (IsSet<T>::value) {
    return T::FromBits(static_cast<uint64_t>(value));
  } else {
    return static_cast<T>(value);
  }
}

// The parameter type of a one-argument member function.
template <class F>
struct SetterArg;
template <class B, class R, class A>
struct SetterArg<R (B::*)(A)> {
  using type = std::decay_t<A>;
};
template <class B, class R, class A>
struct SetterArg<R (B::*)(A) noexcept> {
  using type = std::decay_t<A>;
};

[[noreturn]] void WrongClass(const TPersistent& instance, const AnsiString& expected);

template <class C>
const C& As(const TPersistent& instance) {
  auto* c = dynamic_cast<const C*>(&instance);
  if (c == nullptr) WrongClass(instance, C::StaticClassInfo().ClassName());
  return *c;
}
template <class C>
C& As(TPersistent& instance) {
  auto* c = dynamic_cast<C*>(&instance);
  if (c == nullptr) WrongClass(instance, C::StaticClassInfo().ClassName());
  return *c;
}

// Calls a setter with a value converted to what it takes: a member function
// gets its parameter type, any other callable the value as it is.
template <class C, class S, class V, class Convert>
void CallSetter(const S& set, C& object, V value, Convert convert) {
  if constexpr (std::is_member_function_pointer_v<S>) {
    using Arg = typename SetterArg<S>::type;
    std::invoke(set, object, convert.template operator()<Arg>(value));
  } else {
    std::invoke(set, object, value);
  }
}

}  // namespace typinfo_detail

// Adds a class's own published properties to its descriptor. Getters are
// member functions (or callables taking const C&); setters are member
// functions (or callables taking C& and the accessor's value type), or
// nullptr for a read-only property. Each call returns the property for
// WithDefault/NotStored/StoredWhen.
template <class C>
class TPublisher {
 public:
  explicit TPublisher(TClassInfo& info) : info_(info) {}

  template <class G, class S = std::nullptr_t>
  TPropInfo& Ordinal(AnsiString name, const TTypeInfo& type, G get, S set = nullptr) {
    using namespace typinfo_detail;
    TPropInfo& p = info_.AddProperty(std::move(name), type);
    p.GetOrd = [get](const TPersistent& o) { return ToOrd(std::invoke(get, As<C>(o))); };
    if constexpr (!std::is_null_pointer_v<S>) {
      p.SetOrd = [set](TPersistent& o, int64_t v) {
        CallSetter(set, As<C>(o), v, []<class T>(int64_t x) { return FromOrd<T>(x); });
      };
    }
    return p;
  }
  template <class G, class S = std::nullptr_t>
  TPropInfo& Integer(AnsiString name, G get, S set = nullptr) {
    return Ordinal(std::move(name), TypeInfoInteger(), get, set);
  }
  template <class G, class S = std::nullptr_t>
  TPropInfo& Boolean(AnsiString name, G get, S set = nullptr) {
    return Ordinal(std::move(name), TypeInfoBoolean(), get, set);
  }

  template <class G, class S = std::nullptr_t>
  TPropInfo& Float(AnsiString name, const TTypeInfo& type, G get, S set = nullptr) {
    using namespace typinfo_detail;
    TPropInfo& p = info_.AddProperty(std::move(name), type);
    p.GetFloat = [get](const TPersistent& o) { return static_cast<double>(std::invoke(get, As<C>(o))); };
    if constexpr (!std::is_null_pointer_v<S>) {
      p.SetFloat = [set](TPersistent& o, double v) {
        CallSetter(set, As<C>(o), v, []<class T>(double x) { return static_cast<T>(x); });
      };
    }
    return p;
  }
  template <class G, class S = std::nullptr_t>
  TPropInfo& Float(AnsiString name, G get, S set = nullptr) {
    return Float(std::move(name), TypeInfoDouble(), get, set);
  }

  template <class G, class S = std::nullptr_t>
  TPropInfo& String(AnsiString name, const TTypeInfo& type, G get, S set = nullptr) {
    using namespace typinfo_detail;
    TPropInfo& p = info_.AddProperty(std::move(name), type);
    p.GetStr = [get](const TPersistent& o) { return AnsiString(std::invoke(get, As<C>(o))); };
    if constexpr (!std::is_null_pointer_v<S>) {
      p.SetStr = [set](TPersistent& o, const AnsiString& v) { std::invoke(set, As<C>(o), v); };
    }
    return p;
  }
  template <class G, class S = std::nullptr_t>
  TPropInfo& String(AnsiString name, G get, S set = nullptr) {
    return String(std::move(name), TypeInfoString(), get, set);
  }

  // An object property of class type (a sub-object or a referenced component).
  template <class G, class S = std::nullptr_t>
  TPropInfo& Object(AnsiString name, const TClassInfo& type, G get, S set = nullptr) {
    using namespace typinfo_detail;
    TPropInfo& p = info_.AddProperty(std::move(name), type.TypeInfo());
    p.GetObject = [get](const TPersistent& o) -> TPersistent* { return std::invoke(get, As<C>(o)); };
    if constexpr (!std::is_null_pointer_v<S>) {
      const TClassInfo* cls = &type;
      p.SetObject = [set, cls](TPersistent& o, TPersistent* v) {
        if (v != nullptr && !v->InheritsFrom(*cls)) WrongClass(*v, cls->ClassName());
        CallSetter(set, As<C>(o), v, []<class T>(TPersistent* x) { return dynamic_cast<T>(x); });
      };
    }
    return p;
  }

  // An event (type of kind tkMethod). Handlers are bound in code, so it has
  // no accessors and is never written; a stored form naming a handler for it
  // still reads.
  TPropInfo& Event(AnsiString name, const TTypeInfo& type) { return info_.AddProperty(std::move(name), type); }

  template <class G, class S = std::nullptr_t>
  TPropInfo& VariantValue(AnsiString name, G get, S set = nullptr) {
    using namespace typinfo_detail;
    TPropInfo& p = info_.AddProperty(std::move(name), TypeInfoVariant());
    p.GetVariant = [get](const TPersistent& o) { return Variant(std::invoke(get, As<C>(o))); };
    if constexpr (!std::is_null_pointer_v<S>) {
      p.SetVariant = [set](TPersistent& o, const Variant& v) { std::invoke(set, As<C>(o), v); };
    }
    return p;
  }

 private:
  TClassInfo& info_;
};

template <class C>
TClassInfo::TClassInfo(TClassTag<C>, AnsiString name, const TClassInfo* parent,
                       const std::type_identity_t<std::function<void(TPublisher<C>&)>>& publish)
    : name_(std::move(name)), parent_(parent) {
  type_.Name = name_;
  type_.Kind = tkClass;
  type_.ClassType = this;
  if constexpr (!std::is_abstract_v<C>) {
    if constexpr (std::is_constructible_v<C, TComponent*>) {
      create_ = [](TComponent* owner) -> TPersistent* { return new C(owner); };
    } else if constexpr (std::is_default_constructible_v<C>) {
      create_ = [](TComponent*) -> TPersistent* { return new C(); };
    }
  }
  if (publish) {
    TPublisher<C> publisher(*this);
    publish(publisher);
  }
  Finish();
}
