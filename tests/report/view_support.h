// Helpers of the view tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "report/fr_class.h"

namespace view_test {

// Writes view's record and reads it into back, which must take all of it.
// Returns the bytes written.
template <class View>
std::string RecordRoundTrip(View& view, View& back) {
  TMemoryStream out;
  view.WriteRecord(out);
  out.SetPosition(0);
  back.ReadRecord(out, 25);
  EXPECT_EQ(out.Position(), out.Size()) << view.ClassName() << " left bytes unread";
  return std::string(out.Bytes());
}

}  // namespace view_test
