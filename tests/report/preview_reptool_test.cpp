// reptool find and reptool preview over a prepared report written here: the
// pages that hold a text, and the preview window painted into a picture
// whose page shows the text where it stands.
#include <gtest/gtest.h>

#include <QImage>

#include <string>

#include "tests/report/preview_support.h"
#include "toolkit/core/classes.h"

namespace preview_reptool_test {

using preview_test::AddNumberedPages;
using preview_test::AddPage;

std::string Reptool() { return std::string(KIV7_BINARY_DIR) + "/tools/reptool/reptool"; }

int RunReptool(const std::string& args, std::string* out) {
  return testsupport::RunCommand("QT_QPA_PLATFORM=offscreen " + Reptool() + " " + args + " 2>/dev/null", out);
}

// Six pages; "Партия 12" stands on pages 2 and 3 (in capitals on 3, in a
// big line 500 page pixels below the page's top).
std::string WriteReport(const std::string& dir) {
  TfrEMFPages pages(nullptr);
  AddNumberedPages(pages, 1);
  AddPage(pages, {{60, 60, 300, 30, "Партия 12"}});
  AddPage(pages, {{60, 60, 300, 30, "Страница 3"}, {100, 500, 400, 60, "ПАРТИЯ 12 принята", 20}});
  AddNumberedPages(pages, 3);
  TMemoryStream stream;
  pages.WriteBuiltFile(stream);
  const std::string path = dir + "/report.frp";
  testsupport::WriteFile(path, std::string(stream.Bytes()));
  return path;
}

TEST(ReptoolFind, PrintsThePagesThatHoldTheText) {
  const std::string report = WriteReport(testsupport::TempDir("reptool_find"));
  std::string out;
  ASSERT_EQ(RunReptool("find " + report + " 'партия 12'", &out), 0);
  EXPECT_EQ(out, "2\n3\n");
  ASSERT_EQ(RunReptool("find " + report + " 'нигде'", &out), 0);
  EXPECT_EQ(out, "");
  EXPECT_EQ(RunReptool("find " + report, &out), 2);
  EXPECT_EQ(RunReptool("find /nonexistent.frp x", &out), 1);
}

TEST(ReptoolPreview, PaintsTheChosenPageAtTheChosenZoom) {
  const std::string dir = testsupport::TempDir("reptool_preview");
  const std::string report = WriteReport(dir);
  std::string out;
  ASSERT_EQ(RunReptool("preview " + report + " --png " + dir + "/p3.png --page 3 --zoom 100", &out), 0);
  EXPECT_EQ(out, "pages=6 page=3 zoom=100\n");
  ASSERT_EQ(RunReptool("preview " + report + " --png " + dir + "/p3half.png --page 3 --zoom 50", &out), 0);
  QImage full(QString::fromStdString(dir + "/p3.png"));
  QImage half(QString::fromStdString(dir + "/p3half.png"));
  ASSERT_FALSE(full.isNull());
  ASSERT_FALSE(half.isNull());
  // Page 3's top stands 10 pixels below the page box's top: dark text where
  // the big line stands on it, in the band from 500 to 560 page pixels
  // below the page's top, and at 50 % half as far down.
  auto dark_rows = [](const QImage& image, int from, int to) {
    int rows = 0;
    for (int y = from; y < to && y < image.height(); ++y) {
      int dark = 0;
      for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 100;
      rows += dark > 20;
    }
    return rows;
  };
  // The tool bar is 27 pixels high; the page starts 10 below it.
  const int top = 27 + 10;
  EXPECT_GT(dark_rows(full, top + 500, top + 560), 10);
  EXPECT_EQ(dark_rows(full, top + 200, top + 480), 0);
  EXPECT_GT(dark_rows(half, top + 250, top + 280), 5);
  EXPECT_EQ(dark_rows(half, top + 100, top + 240), 0);
}

TEST(ReptoolPreview, RefusesBadCommandLines) {
  const std::string dir = testsupport::TempDir("reptool_preview_bad");
  const std::string report = WriteReport(dir);
  std::string out;
  EXPECT_EQ(RunReptool("preview " + report, &out), 2);
  EXPECT_EQ(RunReptool("preview " + report + " --png " + dir + "/x.png --zoom 0", &out), 2);
  EXPECT_EQ(RunReptool("preview " + report + " --png " + dir + "/x.png --page x", &out), 2);
  EXPECT_EQ(RunReptool("preview " + report + " --png " + dir + "/x.png --page 7", &out), 1);
}

}  // namespace preview_reptool_test
