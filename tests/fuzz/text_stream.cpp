// fuzz-deps: kiv7_core
// Feeds random text to the text-to-binary converter and random bytes to the
// component reader and the binary-to-text converter. Every input must end in
// a result or in one of the toolkit's exceptions. Beyond that, a text that
// converts must convert back and forth to the same binary stream, and a binary
// stream that converts to text must give a text that converts again. A crash,
// a sanitizer report, another exception or a broken round trip is a finding.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/object_text.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/filer.h"
#include "toolkit/core/objtext.h"
#include "toolkit/core/typinfo.h"

namespace {

enum TFuzzKind { fkOne, fkTwo, fkThree };
using TFuzzKinds = TSet<TFuzzKind>;

// The published types of a kind and of a set of kinds.
struct KindTypes {
  TTypeInfo kind = TTypeInfo::Enumeration("TFuzzKind", {"fkOne", "fkTwo", "fkThree"});
  TTypeInfo kinds = TTypeInfo::SetOf("TFuzzKinds", kind);
};
const KindTypes& Types() {
  static const KindTypes types;
  return types;
}

class TFuzzItem : public TCollectionItem {
  KIV7_PERSISTENT(TFuzzItem)

 public:
  using TCollectionItem::TCollectionItem;
  AnsiString text;
  int number = 0;
  TFuzzKinds kinds;
};

const TClassInfo& TFuzzItem::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TFuzzItem>, "TFuzzItem", &TCollectionItem::StaticClassInfo(), [](TPublisher<TFuzzItem>& p) {
        p.String(
            "Text", [](const TFuzzItem& o) { return o.text; }, [](TFuzzItem& o, const AnsiString& v) { o.text = v; });
        p.Integer(
            "Number", [](const TFuzzItem& o) { return o.number; },
            [](TFuzzItem& o, int64_t v) { o.number = static_cast<int>(v); });
        p.Ordinal(
            "Kinds", Types().kinds, [](const TFuzzItem& o) { return o.kinds; },
            [](TFuzzItem& o, int64_t v) { o.kinds = TFuzzKinds::FromBits(static_cast<uint64_t>(v)); });
      });
  return info;
}

class TFuzzRoot : public TComponent {
  KIV7_PERSISTENT(TFuzzRoot)

 public:
  using TComponent::TComponent;
  int64_t big = 0;
  double ratio = 0;
  TFuzzKind kind = fkOne;
  Variant value;
  std::unique_ptr<TCollection> items = std::make_unique<TCollection>([](TCollection* c) { return new TFuzzItem(c); });
  std::unique_ptr<TFuzzItem> sub = std::make_unique<TFuzzItem>(nullptr);
  TComponent* buddy = nullptr;
  std::string blob;

  void DefineProperties(TFiler& filer) override {
    filer.DefineBinaryProperty("Blob", object_text::ReadInto(blob), nullptr, false);
    filer.DefineProperty(
        "Extra", [this](TReader& r) { big = r.ReadInteger(); }, nullptr, false);
  }
};

const TClassInfo& TFuzzRoot::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TFuzzRoot>, "TFuzzRoot", &TComponent::StaticClassInfo(), [](TPublisher<TFuzzRoot>& p) {
        p.Ordinal(
            "Big", TypeInfoInt64(), [](const TFuzzRoot& o) { return o.big; },
            [](TFuzzRoot& o, int64_t v) { o.big = v; });
        p.Float(
            "Ratio", [](const TFuzzRoot& o) { return o.ratio; }, [](TFuzzRoot& o, double v) { o.ratio = v; });
        p.Ordinal(
            "Kind", Types().kind, [](const TFuzzRoot& o) { return o.kind; },
            [](TFuzzRoot& o, int64_t v) { o.kind = static_cast<TFuzzKind>(v); });
        p.VariantValue(
            "Value", [](const TFuzzRoot& o) { return o.value; }, [](TFuzzRoot& o, const Variant& v) { o.value = v; });
        p.Object("Items", TCollection::StaticClassInfo(), [](const TFuzzRoot& o) { return o.items.get(); });
        p.Object("Sub", TFuzzItem::StaticClassInfo(), [](const TFuzzRoot& o) { return o.sub.get(); });
        p.Object(
            "Buddy", TComponent::StaticClassInfo(), [](const TFuzzRoot& o) { return o.buddy; },
            [](TFuzzRoot& o, TPersistent* v) { o.buddy = static_cast<TComponent*>(v); });
      });
  return info;
}

struct Registered {
  Registered() { RegisterClass(TFuzzRoot::StaticClassInfo()); }
} const kRegistered;

using object_text::BinaryToText;
using object_text::TextToBinary;

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "finding: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool as_text = (data[0] & 1) == 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string binary;
  if (as_text) {
    try {
      binary = TextToBinary(input);
    } catch (const Exception&) {
      return 0;
    }
    try {
      if (TextToBinary(BinaryToText(binary)) != binary) Finding("text round trip changed the stream");
    } catch (const Exception&) {
      Finding("converted text did not convert back");
    }
  } else {
    binary = "TPF0" + input;
    try {
      std::string text = BinaryToText(binary);
      try {
        TextToBinary(text);
      } catch (const Exception&) {
        Finding("text of a stream did not convert again");
      }
    } catch (const Exception&) {
    }
  }
  try {
    TFuzzRoot root(nullptr);
    TStringStream stream(binary);
    TReader(stream).ReadRootComponent(&root);
  } catch (const Exception&) {
  }
  return 0;
}
