// Grid columns as consumers of visions: the default vision of a column
// without one, a vision that goes away, and a vision's caption and
// alignment reaching the column's field list.
#include <gtest/gtest.h>

#include "grid/rs.h"
#include "grid/rs_std.h"
#include "tests/grid/vision_support.h"

namespace vision_column_test {

TEST(VisionColumns, AColumnWithoutAVisionUsesTheDefaultUntilOneIsSetAndAfterItGoes) {
  TgpColumns columns(nullptr);
  TgpColumn* column = columns.Add();
  EXPECT_EQ(column->Vision(), nullptr);
  EXPECT_EQ(column->EffectiveVision(), DefaultVision());
  auto* memo = new TMemoVision(nullptr);
  column->SetVision(memo);
  EXPECT_EQ(column->Vision(), memo);
  EXPECT_EQ(column->EffectiveVision(), memo);
  EXPECT_EQ(memo->ConsumerCount(), 1);
  memo->Free();
  EXPECT_EQ(column->Vision(), nullptr);
  EXPECT_EQ(column->EffectiveVision(), DefaultVision());
}

TEST(VisionColumns, TheVisionsCaptionAndAlignmentReachTheColumn) {
  TgpColumns columns(nullptr);
  TgpColumn* column = columns.Add();
  TLiteVision vision(nullptr);
  column->SetVision(&vision);
  vision.SetCaption("Load");
  EXPECT_EQ(column->FieldList()->Caption(), "Load");
  vision.SetAlignment(talRightJustify);
  EXPECT_EQ(column->FieldList()->Alignment(), taRightJustify);
  // The column's own caption wins over the vision's.
  column->SetCaption("Own");
  vision.SetCaption("Other");
  EXPECT_EQ(column->FieldList()->Caption(), "Own");
}

TEST(VisionColumns, DeletedColumnsLeaveTheirVision) {
  TLiteVision vision(nullptr);
  {
    TgpColumns columns(nullptr);
    columns.Add()->SetVision(&vision);
    columns.Add()->SetVision(&vision);
    EXPECT_EQ(vision.ConsumerCount(), 2);
    columns.Delete(0);
    EXPECT_EQ(vision.ConsumerCount(), 1);
  }
  EXPECT_EQ(vision.ConsumerCount(), 0);
}

}  // namespace vision_column_test
