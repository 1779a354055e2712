// The named error classes: their reported names and the families handlers
// catch them by.
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "toolkit/core/exceptions.h"

namespace exceptions_test {

template <class Family>
bool CaughtAs(const std::function<void()>& raise) {
  try {
    raise();
  } catch (const Family&) {
    return true;
  } catch (...) {
    return false;
  }
  return false;
}

TEST(Exceptions, NamesAndFamilies) {
  struct Case {
    std::function<void()> raise;
    const char* name;
    bool external;  // an EExternal (hardware-like arithmetic fault)
    bool stream;    // an EStreamError
  };
  const Case cases[] = {
      {[] { throw EConvertError("x"); }, "EConvertError", false, false},
      {[] { throw ERangeError("x"); }, "ERangeError", true, false},
      {[] { throw EDivByZero("x"); }, "EDivByZero", true, false},
      {[] { throw EZeroDivide("x"); }, "EZeroDivide", true, false},
      {[] { throw EInvalidOp("x"); }, "EInvalidOp", true, false},
      {[] { throw EOverflow("x"); }, "EOverflow", true, false},
      {[] { throw EFOpenError("x"); }, "EFOpenError", false, true},
      {[] { throw EReadError("x"); }, "EReadError", false, true},
      {[] { throw EClassNotFound("x"); }, "EClassNotFound", false, true},
      {[] { throw EDatabaseError("x"); }, "EDatabaseError", false, false},
      {[] { throw EListError("x"); }, "EListError", false, false},
      {[] { Abort(); }, "EAbort", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.raise();
      ADD_FAILURE() << "nothing raised";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.ClassName(), c.name);
      EXPECT_STREQ(e.what(), e.Message().c_str());
    }
    EXPECT_EQ(CaughtAs<EExternal>(c.raise), c.external);
    EXPECT_EQ(CaughtAs<EStreamError>(c.raise), c.stream);
  }
  EXPECT_TRUE(CaughtAs<EIntError>([] { throw ERangeError("x"); }));
  EXPECT_TRUE(CaughtAs<EMathError>([] { throw EZeroDivide("x"); }));
  EXPECT_FALSE(CaughtAs<EMathError>([] { throw EDivByZero("x"); }));
}

TEST(Exceptions, AbortIsTheSilentAbortWithItsText) {
  try {
    Abort();
    ADD_FAILURE() << "nothing raised";
  } catch (const EAbort& e) {
    EXPECT_EQ(e.Message(), "Operation aborted");
  }
  // Handlers that tell the silent abort apart from real errors see it by class.
  EXPECT_FALSE(CaughtAs<EDatabaseError>([] { Abort(); }));
}

}  // namespace exceptions_test
