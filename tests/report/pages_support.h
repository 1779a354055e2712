// Prepared pages made by hand for the page store's and the printing tests:
// pages of a paper with text objects on them, as a build would leave them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "report/fr_emf.h"
#include "report/fr_memo.h"
#include "report/fr_page.h"
#include "report/fr_views.h"
#include "toolkit/core/text.h"

namespace pages_test {

inline constexpr int kA4 = 9;
inline constexpr int kA5 = 11;

// A text object showing `text` (UTF-8).
inline std::unique_ptr<TfrMemoView> TextObject(const std::string& text, int left, int top, int width = 300,
                                               int height = 24) {
  RegisterStandardViews();
  auto memo = std::make_unique<TfrMemoView>();
  memo->Name = "Memo" + std::to_string(left) + "_" + std::to_string(top);
  memo->SetBounds(left, top, width, height);
  memo->Memo.SetText(Utf8ToAnsi(text));
  return memo;
}

// Appends a page of that paper with one text object per line, 30 pixels apart.
inline void AddTextPage(TfrEMFPages& pages, const std::vector<std::string>& lines, int paper = kA4,
                        uint8_t orientation = 0) {
  const TfrPaperInfo* info = FindPaper(paper);
  int width = info->Width, height = info->Height;
  if (orientation == 1) std::swap(width, height);
  TfrPage page(paper, width, height, kPageDefaultBin, orientation);
  pages.InsertPage(pages.Count(), page);
  for (size_t i = 0; i < lines.size(); ++i)
    pages.AppendObject(pages.Count() - 1, *TextObject(lines[i], 40, 40 + 30 * static_cast<int>(i)));
}

// The texts of a page's objects in order (UTF-8), read back from its stream.
inline std::vector<std::string> PageTexts(TfrEMFPages& pages, int index) {
  pages.Pages(index).Page.reset();
  pages.ObjectsToPage(index);
  std::vector<std::string> texts;
  for (const auto& view : pages.Pages(index).Page->Objects) {
    std::string text;
    for (int i = 0; i < view->Memo.Count(); ++i) text += (i > 0 ? "\n" : "") + AnsiToUtf8(view->Memo.Strings(i));
    texts.push_back(text);
  }
  return texts;
}

}  // namespace pages_test
