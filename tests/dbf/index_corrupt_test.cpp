// Damaged index files: every header, tag entry, tag header and node value
// the engine relies on is checked, and a bad one raises the engine's error
// at open or while the tree is walked, never a crash or a hang.
#include <gtest/gtest.h>

#include <functional>

#include "dbf/dbf_idxcur.h"
#include "dbf/dbf_idxfile.h"
#include "index_support.h"

namespace index_corrupt_test {

using namespace index_support;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct Damage {
  const char* what;
  std::function<void(std::string& bytes, int64_t tag, int64_t root, int64_t leaf)> apply;
};

void Put32(std::string& bytes, int64_t at, uint32_t v) { PutLE32(bytes.data() + at, v); }
void Put16(std::string& bytes, int64_t at, uint16_t v) { PutLE16(bytes.data() + at, v); }

TEST(IndexCorrupt, DamagedFilesRaiseTheEngineError) {
  const std::string dir = TempDir("index_corrupt");
  const std::string table = MakeTable(dir, {{"K", 'C', 10, 0}}, true);
  {
    Indexed t(table, "t.mdx");
    t.index->CreateTag("K", "k", {});
    for (int i = 0; i < 100; ++i) t.Append({{"K", "K" + std::to_string(1000 + i)}});
    t.Close();
  }
  const std::string sound = ReadFile(dir + "/t.mdx");
  const auto* b = reinterpret_cast<const uint8_t*>(sound.data());
  const int64_t tag = int64_t(GetLE32(b + 544)) * 512;
  const int64_t root = int64_t(GetLE32(b + tag)) * 512;
  const int64_t leaf = int64_t(GetLE32(b + root + 8)) * 512;
  ASSERT_GT(GetLE32(b + root), 0u) << "the fixture needs a two-level tree";

  const Damage cases[] = {
      {"too many tags", [](std::string& s, int64_t, int64_t, int64_t) { Put16(s, 28, 48); }},
      {"tag entry length 0", [](std::string& s, int64_t, int64_t, int64_t) { s[26] = 0; }},
      {"tag entries beyond the header", [](std::string& s, int64_t, int64_t, int64_t) { s[26] = char(200); }},
      {"node size", [](std::string& s, int64_t, int64_t, int64_t) { Put16(s, 22, 512); }},
      {"next free page in the header", [](std::string& s, int64_t, int64_t, int64_t) { Put32(s, 32, 1); }},
      {"tag header in the file header", [](std::string& s, int64_t, int64_t, int64_t) { Put32(s, 544, 2); }},
      {"tag header beyond the file", [](std::string& s, int64_t, int64_t, int64_t) { Put32(s, 544, 100000); }},
      {"key type", [](std::string& s, int64_t t, int64_t, int64_t) { s[size_t(t + 9)] = 'X'; }},
      {"key length", [](std::string& s, int64_t t, int64_t, int64_t) { Put16(s, t + 12, 300); }},
      {"numeric key of 10 bytes", [](std::string& s, int64_t t, int64_t, int64_t) { s[size_t(t + 9)] = 'N'; }},
      {"expression", [](std::string& s, int64_t t, int64_t, int64_t) { std::memcpy(s.data() + t + 24, "((\0", 3); }},
      {"expression of another kind", [](std::string& s, int64_t t, int64_t, int64_t) { std::memcpy(s.data() + t + 24, "1\0", 2); }},
      {"root in the header", [](std::string& s, int64_t t, int64_t, int64_t) { Put32(s, t, 3); }},
      {"root count above the maximum", [](std::string& s, int64_t, int64_t r, int64_t) { Put32(s, r, 64); }},
      {"child outside the file", [](std::string& s, int64_t, int64_t r, int64_t) { Put32(s, r + 8, 90000); }},
      {"child in the header", [](std::string& s, int64_t, int64_t r, int64_t) { Put32(s, r + 8, 1); }},
      {"child pointing at the root", [](std::string& s, int64_t t, int64_t r, int64_t) {
         Put32(s, r + 8, GetLE32(s.data() + t));
       }},
      {"leaf count above the maximum", [](std::string& s, int64_t, int64_t, int64_t l) { Put32(s, l, 70); }},
      {"record number 0 in a leaf", [](std::string& s, int64_t, int64_t, int64_t l) { Put32(s, l + 8 + 16 * 3, 0); }},
      {"file cut inside a node", [](std::string& s, int64_t, int64_t, int64_t l) { s.resize(size_t(l + 700)); }},
      {"file cut inside the header", [](std::string& s, int64_t, int64_t, int64_t) { s.resize(1000); }},
  };
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.what);
    std::string bytes = sound;
    d.apply(bytes, tag, root, leaf);
    WriteFile(dir + "/t.mdx", bytes);
    auto t = records_support::OpenTable(table);
    TIndexFile index(t.get());
    index.SetFileName(dir + "/t.mdx");
    index.SetMode(pmExclusiveOpen);
    try {
      index.OpenIndexFile();
      int steps = 0;
      index.GotoBof();
      while (index.Next() && steps < 1000) ++steps;
      index.GotoEof();
      while (index.Prev() && steps < 2000) ++steps;
      FAIL() << "no error; walked " << steps;
    } catch (const EDbfError& e) {
      EXPECT_STREQ(e.what(), STRING_INVALID_INDEX_FILE);
    }
  }
}

TEST(IndexCorrupt, LanguageMismatchAsksTheHandler) {
  const std::string dir = TempDir("index_corrupt_language");
  const std::string table = MakeTable(dir, {{"K", 'C', 10, 0}});
  {
    Indexed t(table, "t.mdx");
    t.index->CreateTag("K", "k", {});
    t.Close();
  }
  std::string bytes = ReadFile(dir + "/t.mdx");
  bytes[31] = char(0x26);
  WriteFile(dir + "/t.mdx", bytes);
  struct Case {
    uint32_t solution;
    bool unusable, maintained;
    uint32_t locale;
  };
  const Case cases[] = {{0, true, true, kDefaultCollationLocale},
                        {1, false, false, kDefaultCollationLocale},
                        {0x0409, false, true, 0x0409}};
  for (const Case& c : cases) {
    auto t = records_support::OpenTable(table);
    TIndexFile index(t.get());
    index.SetFileName(dir + "/t.mdx");
    index.SetMode(pmExclusiveOpen);
    TLocaleError seen = leNone;
    index.OnLocaleError = [&](TLocaleError error, uint32_t& solution) {
      seen = error;
      solution = c.solution;
    };
    index.OpenIndexFile();
    EXPECT_EQ(seen, leLanguageMismatch);
    EXPECT_EQ(index.Unusable(), c.unusable) << c.solution;
    EXPECT_EQ(index.Maintained(), c.maintained) << c.solution;
    EXPECT_EQ(index.CollationLocale(), c.locale) << c.solution;
  }
}


// A file whose keys are in another collation's order than the one the
// table's language gives: a walk in shared mode (which finds its place
// again before each step) ends, with the engine's error or at the end,
// instead of coming back to entries it has passed.
TEST(IndexCorrupt, AWalkOverKeysInAnotherCollationEnds) {
  const std::string dir = TempDir("index_collation");
  const std::string table = MakeTable(dir, {{"K", 'C', 10, 0}}, true);
  constexpr int kRows = 300;
  {
    // Byte order: capitals before small letters.
    Indexed t(table, "t.mdx");
    t.index->CreateTag("K", "TAG1", {});
    for (int i = 0; i < kRows; ++i) {
      std::string key(1, char((i % 2 ? 'a' : 'A') + i % 26));
      key += std::to_string(1000 + i);
      t.Append({{"K", key}});
    }
    t.Close();
  }
  // Both files now say Russian, whose collation mixes the cases.
  for (const auto& [file, at] : {std::pair{table, 29}, std::pair{dir + "/t.mdx", 31}}) {
    std::string bytes = ReadFile(file);
    bytes[size_t(at)] = char(0xC9);
    WriteFile(file, bytes);
  }
  Indexed t(table, "t.mdx", pmSharedOpen);
  ASSERT_TRUE(t.index->SelectTag(AnsiString("TAG1")));
  TIndexCursor cursor(t.index);
  int steps = 0;
  bool failed = false;
  try {
    cursor.First();
    while (cursor.Next() && steps <= 3 * kRows) ++steps;
  } catch (const EDbfError& e) {
    failed = true;
    EXPECT_STREQ(e.what(), STRING_INVALID_INDEX_FILE);
  }
  EXPECT_LE(steps, kRows) << "the walk came back to entries it had passed";
  EXPECT_TRUE(failed || steps == kRows) << steps;
}

}  // namespace

}  // namespace index_corrupt_test
