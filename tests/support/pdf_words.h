// The words of a PDF page with their boxes, as poppler's pdftotext -bbox
// reads them: what a reader of the paper sees, and how tall it is there.
#pragma once

#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace testsupport {

// A word's box in points from the page's top left corner.
struct PdfWord {
  int page = 0;  // 1-based
  double x_min = 0, y_min = 0, x_max = 0, y_max = 0;
  std::string text;  // UTF-8, as pdftotext writes it (&amp; and the like left as they are)
  double Height() const { return y_max - y_min; }
};

inline double PdfAttribute(const std::string& tag, const char* name) {
  const std::string key = std::string(" ") + name + "=\"";
  const size_t at = tag.find(key);
  double value = -1;
  if (at != std::string::npos) std::from_chars(tag.data() + at + key.size(), tag.data() + tag.size(), value);
  return value;
}

// Every word of every page, in the order pdftotext reads them.
inline std::vector<PdfWord> PdfWords(const std::string& pdf) {
  std::string html;
  EXPECT_EQ(RunCommand("pdftotext -bbox '" + pdf + "' - 2>/dev/null", &html), 0) << pdf;
  std::vector<PdfWord> words;
  int page = 0;
  for (size_t at = 0; (at = html.find('<', at)) != std::string::npos;) {
    const size_t end = html.find('>', at);
    if (end == std::string::npos) break;
    const std::string tag = html.substr(at, end - at + 1);
    at = end + 1;
    if (tag.rfind("<page ", 0) == 0) ++page;
    if (tag.rfind("<word ", 0) != 0) continue;
    const size_t close = html.find("</word>", at);
    if (close == std::string::npos) break;
    words.push_back({page, PdfAttribute(tag, "xMin"), PdfAttribute(tag, "yMin"), PdfAttribute(tag, "xMax"),
                     PdfAttribute(tag, "yMax"), html.substr(at, close - at)});
    at = close;
  }
  return words;
}

}  // namespace testsupport
