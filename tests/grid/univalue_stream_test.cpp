// The typed value's "Data" in a component stream: written after DataType in
// the accessor's encoding and read back into a value of the same type.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "grid/rs_db.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/core/typinfo.h"

namespace univalue_stream_test {

class TValueHolder : public TComponent {
  KIV7_PERSISTENT(TValueHolder)

 public:
  using TComponent::TComponent;
  TvpUniValue* Value() const { return value_.get(); }

 private:
  std::unique_ptr<TvpUniValue> value_ = std::make_unique<TvpUniValue>(false, true);
};

const TClassInfo& TValueHolder::StaticClassInfo() {
  static const TClassInfo info(
      kClassOf<TValueHolder>, "TValueHolder", &TComponent::StaticClassInfo(),
      [](TPublisher<TValueHolder>& p) { p.Object("Value", TvpUniValue::StaticClassInfo(), &TValueHolder::Value); });
  return info;
}

std::string ToText(TComponent* root) { return testsupport::FormText(root); }
void FromText(const std::string& text, TComponent* root) { testsupport::ReadFormText(text, root); }

TEST(UniValueStream, DataFollowsTheTypeAndReadsBack) {
  struct Case {
    const char* what;
    std::function<void(TvpUniValue&)> set;
    std::string lines;  // the holder's property lines
  };
  const std::vector<Case> cases = {
      {"null value: type only", [](TvpUniValue& v) { v.SetDataType(ftInteger); }, "  Value.DataType = ftInteger\r\n"},
      {"integer", [](TvpUniValue& v) { v.SetAsInteger(-42); },
       "  Value.DataType = ftInteger\r\n  Value.Data = -42\r\n"},
      {"large integer", [](TvpUniValue& v) { v.SetAsLargeInt(int64_t{1} << 40); },
       "  Value.DataType = ftLargeint\r\n  Value.Data = 1099511627776\r\n"},
      {"string with a quote", [](TvpUniValue& v) { v.SetAsString(Utf8ToAnsi("Д'Артаньян")); },
       "  Value.DataType = ftString\r\n  Value.Data = '" + std::string(Utf8ToAnsi("Д")) + "'#39'" +
           Utf8ToAnsi("Артаньян") + "'\r\n"},
      {"float", [](TvpUniValue& v) { v.SetAsFloat(2.5); }, "  Value.DataType = ftFloat\r\n  Value.Data = 2.5\r\n"},
      {"Boolean", [](TvpUniValue& v) { v.SetAsBoolean(true); },
       "  Value.DataType = ftBoolean\r\n  Value.Data = True\r\n"},
      {"date and time",
       [](TvpUniValue& v) {
         v.SetDataType(ftDateTime);
         v.SetAsDateTime(45000.5);
       },
       "  Value.DataType = ftDateTime\r\n  Value.Data = 45000.5d\r\n"},
      {"variant",
       [](TvpUniValue& v) {
         v.SetDataType(ftVariant);
         v.SetAsVariant(Variant(5));
       },
       "  Value.DataType = ftVariant\r\n  Value.Data = 5\r\n"},
      {"BCD as currency",
       [](TvpUniValue& v) {
         v.SetDataType(ftBCD);
         v.SetAsFloat(12.3456);
       },
       "  Value.DataType = ftBCD\r\n  Value.Data = 12.3456c\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TValueHolder written(nullptr);
    c.set(*written.Value());
    const std::string text = ToText(&written);
    EXPECT_EQ(text, std::string("object TValueHolder\r\n") + c.lines + "end\r\n");
    TValueHolder read(nullptr);
    FromText(text, &read);
    EXPECT_EQ(read.Value()->DataType(), written.Value()->DataType());
    EXPECT_EQ(read.Value()->IsNull(), written.Value()->IsNull());
    EXPECT_EQ(read.Value()->AsString(), written.Value()->AsString());
  }
}

TEST(UniValueStream, AValueWithoutStreamFormWritesNoDataAndTheStreamStaysReadable) {
  TValueHolder written(nullptr);
  written.Value()->SetDataType(ftGuid);
  written.Value()->WriteRaw("\x01\x02", 2);
  ASSERT_FALSE(written.Value()->IsNull());
  const std::string text = ToText(&written);
  EXPECT_EQ(text, "object TValueHolder\r\n  Value.DataType = ftGuid\r\nend\r\n");
  TValueHolder read(nullptr);
  FromText(text, &read);
  EXPECT_EQ(read.Value()->DataType(), ftGuid);
  EXPECT_TRUE(read.Value()->IsNull());
}

TEST(UniValueStream, DataOfAKindTheTypeCannotTakeIsAReadError) {
  TValueHolder read(nullptr);
  EXPECT_THROW(FromText("object TValueHolder\r\n  Value.DataType = ftBoolean\r\n  Value.Data = 'x'\r\nend", &read),
               EReadError);
  EXPECT_THROW(FromText("object TValueHolder\r\n  Value.DataType = ftInteger\r\n  Value.Data = [a]\r\nend", &read),
               EReadError);
}

}  // namespace univalue_stream_test
