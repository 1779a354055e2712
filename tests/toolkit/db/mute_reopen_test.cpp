// A data set closed and opened again while its controls are muted: the
// links have shown buffers that no longer exist and must hear of it once the
// controls speak again.
#include <gtest/gtest.h>

#include "tests/toolkit/db/recording.h"

namespace dbtest {
namespace {

TEST(MutedControls, AReopenReachesTheLinksAsOneLayoutChange) {
  Trace trace;
  TMemDataSet ds(nullptr);
  ds.FieldDefs().Add("N", ftInteger);
  ds.Activate();
  TDataSource source(nullptr);
  source.SetDataSet(&ds);
  RecordingLink link(&trace);
  link.ChangeDataSource(&source);
  trace.clear();
  ds.MuteControls();
  ds.Deactivate();
  ds.Activate();
  EXPECT_TRUE(trace.empty());
  ds.UnmuteControls();
  EXPECT_EQ(trace, Trace{"LayoutNotice"});
  // Muted and unmuted with nothing in between: nothing to hear.
  trace.clear();
  ds.MuteControls();
  ds.UnmuteControls();
  EXPECT_TRUE(trace.empty());
}

}  // namespace
}  // namespace dbtest
