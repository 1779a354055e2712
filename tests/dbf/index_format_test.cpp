// Index file layouts: headers, tag tables and tag headers as written, read
// back by reopening, and the limits on tags and key types.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "dbf/dbf_idxfile.h"
#include "index_support.h"
#include "toolkit/core/classes.h"

namespace index_format_test {

using namespace index_support;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

// Known header bytes: the fields read at the places the format names, and
// encoding them gives back the same bytes, the ones the engine does not use
// (here filled with a pattern) included.
TEST(IndexFormat, FileAndTagHeadersDecodeAndEncodeTheSameBytes) {
  // An MDX file header: version 2, created 2026-12-11, table "MEASURE",
  // 2 pages of 1024 bytes per node, production, 48 slots, entries of 32
  // bytes, 3 tags, language 0xC9, next free page 22, updated 2026-12-12,
  // two updates under way; byte 529 is 1.
  std::vector<uint8_t> mdx(size_t(TMdxFileHeader::kSize));
  for (size_t i = 0; i < mdx.size(); ++i) mdx[i] = uint8_t(0xA0 + i % 7);
  const uint8_t fixed[] = {0x02, 0x7E, 0x0C, 0x0B, 'M', 'E', 'A', 'S', 'U', 'R', 'E', 0x00};
  std::copy(std::begin(fixed), std::end(fixed), mdx.begin());
  const std::vector<std::pair<size_t, std::vector<uint8_t>>> at = {
      {20, {0x02, 0x00, 0x00, 0x04, 0x01, 0x30, 0x20}}, {28, {0x03, 0x00}}, {31, {0xC9, 0x16, 0x00, 0x00, 0x00}},
      {44, {0x7E, 0x0C, 0x0C}},                         {48, {0x02}},       {529, {0x01}}};
  for (const auto& [offset, bytes] : at) std::copy(bytes.begin(), bytes.end(), mdx.begin() + long(offset));
  const TMdxFileHeader file = TMdxFileHeader::DecodeFrom(mdx.data());
  EXPECT_EQ(file.Version, 2);
  EXPECT_EQ(file.Created, (std::array<uint8_t, 3>{126, 12, 11}));
  EXPECT_EQ(file.TableName, "MEASURE");
  EXPECT_EQ(file.PagesPerNode, 2);
  EXPECT_EQ(file.NodeBytes, 1024);
  EXPECT_EQ(file.Production, 1);
  EXPECT_EQ(file.Slots, 48);
  EXPECT_EQ(file.TagEntryLength, 32);
  EXPECT_EQ(file.TagCount, 3);
  EXPECT_EQ(file.LanguageId, 0xC9);
  EXPECT_EQ(file.NextFreePage, 22u);
  EXPECT_EQ(file.Updated, (std::array<uint8_t, 3>{126, 12, 12}));
  EXPECT_EQ(file.UpdateMarks, 2);
  EXPECT_EQ(file.TagTableFlag, 1);
  std::vector<uint8_t> out(mdx.size(), 0xEE);
  file.EncodeTo(out.data());
  EXPECT_EQ(out, mdx);

  // A tag header: root page 8, 6 pages, a unique character key of 10
  // bytes, 36 keys of 28 bytes per node, expression "NAME".
  std::vector<uint8_t> tag(size_t(TIndexTagHeader::kSize));
  for (size_t i = 0; i < tag.size(); ++i) tag[i] = uint8_t(0x50 + i % 5);
  const uint8_t tag_fixed[] = {0x08, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x50, 'C',  0x00, 0x00, 0x0A, 0x00,
                               0x24, 0x00, 0x00, 0x00, 0x1C, 0x00, 0x02, 0x00, 0x00, 0x01, 'N',  'A',  'M',  'E', 0x00};
  std::copy(std::begin(tag_fixed), std::end(tag_fixed), tag.begin());
  tag[246] = 1;
  const TIndexTagHeader header = TIndexTagHeader::DecodeFrom(tag.data());
  EXPECT_EQ(header.RootPage, 8u);
  EXPECT_EQ(header.Pages, 6u);
  EXPECT_EQ(header.Flags, 0x50);
  EXPECT_EQ(header.KeyType, 'C');
  EXPECT_EQ(header.Form, 0);
  EXPECT_EQ(header.KeyLength, 10);
  EXPECT_EQ(header.KeysPerNode, 36);
  EXPECT_EQ(header.NumericNdx, 0);
  EXPECT_EQ(header.EntryLength, 28);
  EXPECT_EQ(header.Constant20, 2);
  EXPECT_EQ(header.Uniqueness, 1);
  EXPECT_EQ(header.Expression, "NAME");
  EXPECT_EQ(header.Byte246, 1);
  std::vector<uint8_t> tag_out(tag.size(), 0xEE);
  header.EncodeTo(tag_out.data());
  EXPECT_EQ(tag_out, tag);
}

TEST(IndexFormat, NewProductionFileHasTheHeaderAndFirstTagPages) {
  const std::string dir = TempDir("index_format_new");
  const std::string table = MakeTable(dir, {{"P", 'C', 10, 0}});
  Indexed t(table, "t.mdx");
  t.index->FlushPages();
  std::string bytes = ReadFile(dir + "/t.mdx");
  ASSERT_EQ(bytes.size(), 2048u);
  EXPECT_EQ(std::string(bytes.data() + 4), "t");
  EXPECT_EQ(Bytes(bytes)[25], 48);
  EXPECT_EQ(Bytes(bytes)[26], 32);
  EXPECT_EQ(GetLE32(Bytes(bytes) + 32), 4u);
  EXPECT_EQ(GetLE16(Bytes(bytes) + 28), 0);
  EXPECT_EQ(Bytes(bytes)[31], 0xC9);

  t.index->CreateTag("P", "tab1", {});
  t.index->FlushPages();
  bytes = ReadFile(dir + "/t.mdx");
  const uint8_t* h = Bytes(bytes);
  EXPECT_EQ(GetLE16(h + 28), 1);
  EXPECT_EQ(GetLE32(h + 32), 8u);
  const uint8_t* entry = h + 544;
  EXPECT_EQ(GetLE32(entry), 4u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry + 4)), "TAB1");
  EXPECT_EQ(entry[15], 0x10);
  EXPECT_EQ(entry[19], 2);
  EXPECT_EQ(entry[20], 'C');
  const uint8_t* tag = h + 4 * 512;
  EXPECT_EQ(GetLE32(tag), 6u);
  EXPECT_EQ(GetLE32(tag + 4), 4u);  // the tag's own header and root, two pages each
  EXPECT_EQ(tag[8], 0x10);
  EXPECT_EQ(tag[9], 'C');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(tag + 24)), "P");
  EXPECT_EQ(tag[246], 1);
  EXPECT_GE(bytes.size(), 8u * 512);
}

struct LayoutCase {
  const char* file;
  char letter;
  int size;
  int decimals;
  int key_length, entry_length, max_keys;
  uint8_t flags;
};

TEST(IndexFormat, TagHeaderLayoutPerFormatAndKeyKind) {
  const LayoutCase cases[] = {
      {"t.mdx", 'C', 10, 0, 10, 16, 63, 0x10},  {"t.mdx", 'N', 9, 0, 12, 16, 63, 0x00},
      {"t.ndx", 'N', 9, 0, 8, 16, 31, 0x00},    {"t.ndx", 'C', 10, 0, 10, 20, 25, 0x10},
      {"t.mdx", 'C', 100, 0, 100, 104, 9, 0x10}, {"t.ndx", 'C', 100, 0, 100, 108, 4, 0x10},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.letter + std::to_string(c.size));
    const std::string dir = TempDir("index_format_layout");
    Indexed t(MakeTable(dir, {{"F", c.letter, c.size, c.decimals}}), c.file);
    t.index->CreateTag("F", "tag", {});
    EXPECT_EQ(t.index->KeyLength(), c.key_length);
    EXPECT_EQ(t.index->EntryLength(), c.entry_length);
    EXPECT_EQ(t.index->MaxKeys(), c.max_keys);
    t.index->FlushPages();
    const std::string bytes = ReadFile(dir + "/" + c.file);
    const bool mdx = std::string(c.file) == "t.mdx";
    const uint8_t* h = Bytes(bytes) + (mdx ? MdxTagHeaderOffset(bytes, 0) : 0);
    EXPECT_EQ(GetLE16(h + 12), c.key_length);
    EXPECT_EQ(GetLE16(h + 14), c.max_keys);
    EXPECT_EQ(GetLE16(h + 18), c.entry_length);
    EXPECT_EQ(h[8], c.flags);
    EXPECT_EQ(GetLE16(h + 10), mdx ? 0 : 0x5800);
    EXPECT_EQ(GetLE16(h + 16), !mdx && c.letter == 'N' ? 1 : 0);
  }
}

TEST(IndexFormat, TagsAndOptionsReadBackAfterReopening) {
  const std::string dir = TempDir("index_format_reopen");
  const std::string table = MakeTable(dir, {{"A", 'C', 8, 0}, {"B", 'N', 6, 0}});
  {
    Indexed t(table, "t.mdx");
    t.index->CreateTag("A", "byname", {ixDescending});
    t.index->CreateTag("B", "bynum", {ixUnique});
    t.index->CreateTag("A+\"x\"", "primary", {ixPrimary, ixExpression});
    t.Append({{"A", "one"}, {"B", "1"}});
    t.Close();
  }
  Indexed t(table, "t.mdx", pmExclusiveOpen);
  ASSERT_EQ(t.index->TagCount(), 3);
  struct Expect {
    const char* name;
    const char* expression;
    TIndexOptions options;
  };
  const Expect expected[] = {{"BYNAME", "A", {ixExpression, ixDescending}},
                             {"bynum", "B", {ixExpression, ixUnique}},
                             {"Primary", "A+\"x\"", {ixExpression, ixPrimary}}};
  for (const Expect& e : expected) {
    TIndexTagDef def;
    ASSERT_TRUE(t.index->ReadIndexDef(e.name, &def)) << e.name;
    EXPECT_EQ(def.IndexFile, AnsiUpperCase(e.name));
    EXPECT_EQ(def.SortField, e.expression);
    EXPECT_TRUE(def.Options == e.options) << e.name;
  }
  TStringList names;
  t.index->ListTagNames(names);
  EXPECT_EQ(names.Count(), 3);
  EXPECT_FALSE(t.index->SelectTag("missing"));
  ASSERT_TRUE(t.index->SelectTag("bynum"));
  EXPECT_EQ(t.Order(), std::vector<int64_t>{1});
}

TEST(IndexFormat, DeletingTheOnlyTagLeavesAnEmptyValidFile) {
  const std::string dir = TempDir("index_format_delete");
  const std::string table = MakeTable(dir, {{"A", 'C', 8, 0}});
  {
    Indexed t(table, "t.mdx");
    t.index->CreateTag("A", "tab1", {});
    t.Append({{"A", "x"}});
    t.index->DeleteTag("TAB1");
    EXPECT_EQ(t.index->TagCount(), 0);
    t.Close();
  }
  const std::string bytes = ReadFile(dir + "/t.mdx");
  EXPECT_EQ(GetLE16(Bytes(bytes) + 28), 0);
  EXPECT_EQ(GetLE32(Bytes(bytes) + 544), 0u);
  Indexed t(table, "t.mdx", pmExclusiveOpen);
  EXPECT_EQ(t.index->TagCount(), 0);
  t.Append({{"A", "y"}});  // nothing to maintain, nothing fails
}

TEST(IndexFormat, DeletingAMiddleTagKeepsTheOthers) {
  const std::string dir = TempDir("index_format_delete_mid");
  const std::string table = MakeTable(dir, {{"A", 'C', 8, 0}});
  Indexed t(table, "t.mdx");
  for (const char* name : {"one", "two", "three"}) t.index->CreateTag("A", name, {});
  t.index->DeleteTag("two");
  ASSERT_EQ(t.index->TagCount(), 2);
  EXPECT_EQ(t.index->TagName(0), "ONE");
  EXPECT_EQ(t.index->TagName(1), "THREE");
}

TEST(IndexFormat, FortyEighthTagIsRefused) {
  const std::string dir = TempDir("index_format_limit");
  Indexed t(MakeTable(dir, {{"A", 'C', 8, 0}}), "t.mdx");
  for (int i = 0; i < 47; ++i) t.index->CreateTag("A", "T" + std::to_string(i), {});
  try {
    t.index->CreateTag("A", "T47", {});
    FAIL() << "a 48th tag was accepted";
  } catch (const EDbfError& e) {
    EXPECT_STREQ(e.what(), STRING_CANNOT_CREATE_INDEX);
  }
  EXPECT_EQ(t.index->TagCount(), 47);
}

TEST(IndexFormat, KeyExpressionsOfOtherKindsAreRefused) {
  const std::string dir = TempDir("index_format_types");
  Indexed t(MakeTable(dir, {{"D", 'D', 8, 0}, {"L", 'L', 1, 0}, {"N", 'N', 5, 0}}), "t.mdx");
  for (const char* expression : {"D", "N > 3"}) {
    try {
      t.index->CreateTag(expression, "bad", {});
      FAIL() << expression;
    } catch (const EDbfError& e) {
      EXPECT_STREQ(e.what(), STRING_INVALID_INDEX_TYPE) << expression;
    }
  }
  EXPECT_EQ(t.index->TagCount(), 0);
}

TEST(IndexFormat, NdxFileHoldsItsKeyInItsHeader) {
  const std::string dir = TempDir("index_format_ndx");
  const std::string table = MakeTable(dir, {{"N", 'N', 6, 1}});
  {
    Indexed t(table, "num.ndx");
    t.index->CreateTag("N", "num", {});
    for (const char* v : {"5", "-2.5", "100", "0"}) t.Append({{"N", v}});
    EXPECT_EQ(t.Order(), (std::vector<int64_t>{2, 4, 1, 3}));
    t.Close();
  }
  const std::string bytes = ReadFile(dir + "/num.ndx");
  EXPECT_EQ(Bytes(bytes)[9], 'N');
  EXPECT_EQ(std::string(bytes.data() + 24), "N");
  const TreeWalk walk = WalkTree(bytes, false, 0);
  EXPECT_EQ(walk.fault, "");
  ASSERT_EQ(walk.entries.size(), 4u);
  EXPECT_EQ(GetLEDouble(walk.entries[0].first.data()), -2.5);
  Indexed again(table, "num.ndx", pmExclusiveOpen);
  EXPECT_EQ(again.Order(), (std::vector<int64_t>{2, 4, 1, 3}));
}

}  // namespace

}  // namespace index_format_test
