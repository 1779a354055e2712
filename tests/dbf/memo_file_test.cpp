// Memo files: header and block layouts, block accounting, terminators and
// damaged files, checked against bytes laid out by hand.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>

#include "dbf/dbf_fields.h"
#include "dbf/dbf_memo.h"
#include "dbf/dbf_str.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"

namespace memo_file_test {

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

std::unique_ptr<TMemoFile> OpenMemo(const std::string& file, int version, TPageFileMode mode, int block_size = 0) {
  auto memo = NewMemoFile(version);
  memo->SetFileName(file);
  memo->SetMode(mode);
  memo->SetMemoRecordSize(block_size);
  memo->OpenMemoFile();
  return memo;
}

int64_t Write(TMemoFile& memo, const std::string& value, int64_t block = 0, int64_t old_size = 0) {
  TStringStream stream(value);
  memo.WriteMemo(block, old_size, stream);
  return block;
}

std::string Read(TMemoFile& memo, int64_t block) {
  TStringStream stream("stale content");
  memo.ReadMemo(block, stream);
  return stream.DataString();
}

// Reading the value at block raises E with the message.
template <class E>
void ExpectReadError(TMemoFile& memo, int64_t block, const std::string& message) {
  try {
    Read(memo, block);
    ADD_FAILURE() << "no error";
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

const char* LayoutName(int version) {
  switch (version) {
    case kDbfVersionDBase3: return "dBase III";
    case kDbfVersionFoxPro: return "FoxPro";
    case kDbfVersionDBase7: return "dBase 7";
    default: return "dBase IV";
  }
}

TEST(MemoFile, NewFileHeaderNamesBlockSizeAndFirstFreeBlock) {
  struct Case {
    int version;
    int requested;
    int block_size;
    uint32_t next_free;
  };
  const Case cases[] = {
      {kDbfVersionDBase4, 512, 512, 1},
      {kDbfVersionDBase4, 256, 256, 2},
      {kDbfVersionDBase4, 1024, 1024, 1},
      {kDbfVersionDBase4, 64, 512, 8},  // not a multiple of 128: 512, the free pointer as asked
      {kDbfVersionDBase4, 0, 512, 1},
      {kDbfVersionDBase7, 512, 512, 1},
      {kDbfVersionDBase3, 1024, 512, 1},  // dBase III blocks are 512 whatever the header says
      {kDbfVersionFoxPro, 64, 64, 8},
      {kDbfVersionFoxPro, 512, 512, 1},
      // A block size that does not divide the header: the first free block
      // lies wholly after it, or header stores would overwrite the value.
      {kDbfVersionFoxPro, 100, 100, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(LayoutName(c.version)) + " requested " + std::to_string(c.requested));
    const std::string file = TempDir("memo") + "/t.dbt";
    {
      auto memo = OpenMemo(file, c.version, pmExclusiveCreate, c.requested);
      EXPECT_EQ(memo->BlockSize(), c.block_size);
      EXPECT_EQ(memo->NextFreeBlock(), c.next_free);
    }
    const std::string bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), 512u);
    if (c.version == kDbfVersionFoxPro) {
      EXPECT_EQ(GetBE32(bytes.data()), c.next_free);
      EXPECT_EQ(GetBE16(bytes.data() + 6), c.block_size);
    } else {
      EXPECT_EQ(GetLE32(bytes.data()), c.next_free);
      if (c.version == kDbfVersionDBase3)
        EXPECT_EQ(bytes[16], 3);
      else
        EXPECT_EQ(GetLE16(bytes.data() + 20), c.block_size);
    }
    // Reopened, the file tells its own block size.
    auto memo = OpenMemo(file, c.version, pmExclusiveOpen);
    EXPECT_EQ(memo->BlockSize(), c.block_size);
  }
}

TEST(MemoFile, ValuesSurviveReopeningInEveryLayoutAcrossBlockBoundaries) {
  const int versions[] = {kDbfVersionDBase3, kDbfVersionDBase4, kDbfVersionDBase7, kDbfVersionFoxPro};
  for (int version : versions) {
    SCOPED_TRACE(LayoutName(version));
    const std::string file = TempDir("memo") + "/t.dbt";
    // Around the sizes where a value needs one more block (header and terminators count).
    const int sizes[] = {1, 503, 504, 505, 509, 510, 511, 512, 1016, 1017, 3000};
    std::vector<std::pair<int64_t, std::string>> written;
    {
      auto memo = OpenMemo(file, version, pmExclusiveCreate, 512);
      int seed = 0;
      for (int size : sizes) {
        std::string value(size_t(size), ' ');
        for (char& c : value) c = char('A' + (seed++ % 26));
        written.emplace_back(Write(*memo, value), value);
      }
    }
    auto memo = OpenMemo(file, version, pmReadOnly);
    for (const auto& [block, value] : written) EXPECT_EQ(Read(*memo, block), value) << "size " << value.size();
    // Each value starts where the one before it ended: nothing overlaps, nothing is skipped.
    for (size_t i = 1; i < written.size(); ++i) {
      const int64_t bytes = int64_t(written[i - 1].second.size()) + (version == kDbfVersionDBase3 ? 2 : 8);
      EXPECT_EQ(written[i].first - written[i - 1].first, (bytes + 511) / 512) << "value " << i;
    }
  }
}

// A FoxPro file may have blocks smaller than a value's 8-byte header; the
// header then runs into the next block, and the value still reads back whole.
TEST(MemoFile, FoxProBlocksSmallerThanAValueHeaderReadBackWhole) {
  for (int block_size : {1, 2, 5, 7, 8, 9}) {
    SCOPED_TRACE(block_size);
    const std::string file = TempDir("memo") + "/t.fpt";
    std::vector<std::pair<int64_t, std::string>> written;
    {
      auto memo = OpenMemo(file, kDbfVersionFoxPro, pmExclusiveCreate, block_size);
      ASSERT_EQ(memo->BlockSize(), block_size);
      for (const char* value : {"a", "fifteen letters", "a value longer than several tiny blocks"})
        written.emplace_back(Write(*memo, value), value);
    }
    auto memo = OpenMemo(file, kDbfVersionFoxPro, pmReadOnly);
    for (const auto& [block, value] : written) EXPECT_EQ(Read(*memo, block), value);
  }
}

TEST(MemoFile, DBase3ValueEndsWithTwoTerminatorsThatMaySpillIntoANextBlock) {
  const std::string file = TempDir("memo") + "/t.dbt";
  int64_t b510 = 0, b511 = 0, after = 0;
  {
    auto memo = OpenMemo(file, kDbfVersionDBase3, pmExclusiveCreate, 512);
    b510 = Write(*memo, std::string(510, 'x'));
    b511 = Write(*memo, std::string(511, 'y'));
    after = memo->NextFreeBlock();
  }
  EXPECT_EQ(b510, 1);
  EXPECT_EQ(b511, 2);
  EXPECT_EQ(after, 4);
  const std::string bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), 4u * 512);
  EXPECT_EQ(bytes.substr(512, 512), std::string(510, 'x') + "\x1A\x1A");
  EXPECT_EQ(bytes.substr(1024, 512), std::string(511, 'y') + "\x1A");
  EXPECT_EQ(bytes.substr(1536, 512), "\x1A" + std::string(511, ' '));
  auto memo = OpenMemo(file, kDbfVersionDBase3, pmReadOnly);
  EXPECT_EQ(Read(*memo, b510), std::string(510, 'x'));
  EXPECT_EQ(Read(*memo, b511), std::string(511, 'y'));
}

TEST(MemoFile, DBase3ScanEndsOnlyAtATerminatorPair) {
  // Blocks 1 and 2 are laid out by hand; the value is read from block 1.
  struct Case {
    const char* name;
    std::string block1;  // padded to 512 with blanks
    std::string block2;  // "" = the file ends after block 1
    std::string expected;
  };
  const std::string full_a(511, 'a');
  const Case cases[] = {
      {"1A 1A ends", "abc\x1A\x1A" "def", "", "abc"},
      {"1A 00 ends", std::string("abc\x1A\0def", 8), "", "abc"},
      {"a lone 1A is text", "a\x1A" "b\x1A\x1A", "", "a\x1A" "b"},
      {"pair across blocks", full_a + "\x1A", "\x1A" "zzz", full_a},
      {"1A then 00 across blocks", full_a + "\x1A", std::string("\0zz", 3), full_a},
      {"1A at the end, text goes on", full_a + "\x1A", "more\x1A\x1A", full_a + "\x1A" "more"},
      {"no terminator before the end of the file", "abc", "", "abc" + std::string(509, ' ')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = TempDir("memo") + "/t.dbt";
    std::string bytes(512, '\0');
    PutLE32(bytes.data(), c.block2.empty() ? 2 : 3);
    auto pad = [](std::string s) {
      s.resize(512, ' ');
      return s;
    };
    bytes += pad(c.block1);
    if (!c.block2.empty()) bytes += pad(c.block2);
    WriteFile(file, bytes);
    auto memo = OpenMemo(file, kDbfVersionDBase3, pmReadOnly);
    EXPECT_EQ(Read(*memo, 1), c.expected);
  }
}

TEST(MemoFile, DBase4ValueFitsItsBlocksUntilItOutgrowsThem) {
  const std::string file = TempDir("memo") + "/t.dbt";
  auto memo = OpenMemo(file, kDbfVersionDBase4, pmExclusiveCreate, 512);
  const int64_t first = Write(*memo, std::string(504, 'a'));
  ASSERT_EQ(first, 1);
  EXPECT_EQ(memo->NextFreeBlock(), 2);
  const int64_t other = Write(*memo, "neighbour");
  ASSERT_EQ(other, 2);

  // Shorter or as long: written over its own block, the neighbour intact.
  EXPECT_EQ(Write(*memo, std::string(504, 'b'), first, 504), first);
  EXPECT_EQ(Write(*memo, "short", first, 504), first);
  EXPECT_EQ(Read(*memo, first), "short");
  EXPECT_EQ(Read(*memo, other), "neighbour");
  EXPECT_EQ(memo->NextFreeBlock(), 3);

  // 505 bytes need two blocks: the value moves to the end of the file.
  const int64_t moved = Write(*memo, std::string(505, 'c'), first, 504);
  EXPECT_EQ(moved, 3);
  EXPECT_EQ(memo->NextFreeBlock(), 5);
  EXPECT_EQ(Read(*memo, moved), std::string(505, 'c'));
  EXPECT_EQ(Read(*memo, other), "neighbour");
  memo->CloseMemoFile();

  const std::string bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), 5u * 512);
  EXPECT_EQ(GetLE32(bytes.data()), 5u);
  EXPECT_EQ(bytes.substr(3 * 512, 8), std::string("\xFF\xFF\x08\x00", 4) + std::string("\x01\x02\x00\x00", 4));
  EXPECT_EQ(bytes.substr(4 * 512 + 1, 511), std::string(511, ' '));  // the rest of the last block is blank
}

TEST(MemoFile, FoxProBlockHeaderIsBigEndianTypeAndLength) {
  const std::string file = TempDir("memo") + "/t.fpt";
  {
    auto memo = OpenMemo(file, kDbfVersionFoxPro, pmExclusiveCreate, 64);
    EXPECT_EQ(Write(*memo, std::string(100, 'q')), 8);
    EXPECT_EQ(memo->NextFreeBlock(), 10);
  }
  const std::string bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), 10u * 64);
  EXPECT_EQ(bytes.substr(512, 8), std::string("\0\0\0\x01\0\0\0\x64", 8));
  EXPECT_EQ(bytes.substr(520, 100), std::string(100, 'q'));
  EXPECT_EQ(GetBE32(bytes.data()), 10u);
}

TEST(MemoFile, BlocksThatHoldNoValueReadEmpty) {
  const std::string file = TempDir("memo") + "/t.fpt";
  int64_t block = 0;
  {
    auto memo = OpenMemo(file, kDbfVersionFoxPro, pmExclusiveCreate, 64);
    block = Write(*memo, "value");
    int64_t cleared = block;
    TStringStream empty;
    memo->WriteMemo(cleared, 5, empty);
    EXPECT_EQ(cleared, 0);  // an empty value has no block
  }
  auto memo = OpenMemo(file, kDbfVersionFoxPro, pmReadOnly);
  const int64_t blocks[] = {0, -1, 3 /* inside the header */};
  for (int64_t b : blocks) EXPECT_EQ(Read(*memo, b), "") << "block " << b;
  EXPECT_EQ(Read(*memo, block), "value");
}

// A reference past the end of the memo file (a file cut short, or one that
// is not the table's) is an error naming the block and the file: read as
// empty it would pass for a value the user cleared.
TEST(MemoFile, AValueAtOrRunningPastTheEndOfTheFileIsAnError) {
  const std::string dir = TempDir("memo");
  struct Case {
    const char* what;
    int version;
    int64_t cut;  // bytes the file keeps
    int64_t block;
  };
  const Case cases[] = {
      {"dBase IV: a block at the end", kDbfVersionDBase4, 512 * 2, 2},
      {"dBase IV: a block within the last, cut short", kDbfVersionDBase4, 512 * 2 + 5, 2},
      {"dBase IV: a value cut inside", kDbfVersionDBase4, 512 * 2 + 100, 2},
      {"FoxPro: a value cut inside", kDbfVersionFoxPro, 512 + 64 * 3, 9},
      {"dBase III: a block at the end", kDbfVersionDBase3, 512 * 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = dir + "/t.dbt";
    {
      auto memo = OpenMemo(file, c.version, pmExclusiveCreate, c.version == kDbfVersionFoxPro ? 64 : 512);
      Write(*memo, "first");
      EXPECT_EQ(Write(*memo, std::string(600, 'v')), c.block);
    }
    const std::string bytes = ReadFile(file);
    ASSERT_LT(c.cut, int64_t(bytes.size()));
    WriteFile(file, bytes.substr(0, size_t(c.cut)));
    auto memo = OpenMemo(file, c.version, pmReadOnly);
    ExpectReadError<EDbfError>(*memo, c.block,
                               "The memo value at block " + std::to_string(c.block) + " runs past the end of \"" +
                                   file + "\": the memo file is cut short or not the table's.");
  }
}

TEST(MemoFile, DamagedLengthsAreBoundedOrRejected) {
  const std::string dir = TempDir("memo");
  // dBase IV: a length that runs past the end of the file is refused
  // without reading (or allocating) it.
  std::string d4(512, '\0');
  PutLE32(d4.data(), 2);
  PutLE16(d4.data() + 20, 512);
  std::string block = std::string("\xFF\xFF\x08\x00", 4) + std::string("\xFF\xFF\xFF\x7F", 4) + "tail";
  WriteFile(dir + "/long.dbt", d4 + block);
  {
    auto memo = OpenMemo(dir + "/long.dbt", kDbfVersionDBase4, pmReadOnly);
    ExpectReadError<EDbfError>(*memo, 1,
                               "The memo value at block 1 runs past the end of \"" + dir +
                                   "/long.dbt\": the memo file is cut short or not the table's.");
  }
  // dBase IV: a stored length below the block header's own 8 bytes.
  block = std::string("\xFF\xFF\x08\x00", 4) + std::string("\x07\0\0\0", 4) + std::string(504, ' ');
  WriteFile(dir + "/short.dbt", d4 + block);
  {
    auto memo = OpenMemo(dir + "/short.dbt", kDbfVersionDBase4, pmReadOnly);
    ExpectReadError<EIntOverflow>(*memo, 1,
                                  "Integer overflow: the memo value at block 1 of \"" + dir +
                                      "/short.dbt\" gives the length 7, less than its 8-byte block header.");
  }
  // dBase IV: a block without the block header is read as dBase III would
  // read it, up to its terminators...
  WriteFile(dir + "/plain.dbt", d4 + "plain text\x1A\x1A" + std::string(500, ' '));
  {
    auto memo = OpenMemo(dir + "/plain.dbt", kDbfVersionDBase4, pmReadOnly);
    EXPECT_EQ(Read(*memo, 1), "plain text");
  }
  // ...which must come before the next value's block header or the end of
  // the file: otherwise the value is not there.
  const std::string next = std::string("\xFF\xFF\x08\x00", 4) + std::string("\x0D\0\0\0", 4) + "next!";
  for (const std::string& rest : {std::string(512, 'p') + next, std::string(700, 'p')}) {
    WriteFile(dir + "/runs.dbt", d4 + rest);
    auto memo = OpenMemo(dir + "/runs.dbt", kDbfVersionDBase4, pmReadOnly);
    ExpectReadError<EDbfError>(*memo, 1,
                               "The memo value at block 1 of \"" + dir +
                                   "/runs.dbt\" has no block header: the memo file or its block size is damaged.");
    if (rest.size() > 700) {
      EXPECT_EQ(Read(*memo, 2), "next!");
    }
  }
  // FoxPro: a length of 4 GB in a file of a few hundred bytes.
  std::string fp(512, '\0');
  PutBE32(fp.data(), 9);
  PutBE16(fp.data() + 6, 64);
  WriteFile(dir + "/t.fpt", fp + std::string("\0\0\0\x01\xFF\xFF\xFF\xFF", 8) + "abc");
  {
    auto memo = OpenMemo(dir + "/t.fpt", kDbfVersionFoxPro, pmReadOnly);
    ExpectReadError<EDbfError>(*memo, 8,
                               "The memo value at block 8 runs past the end of \"" + dir +
                                   "/t.fpt\": the memo file is cut short or not the table's.");
  }
}

TEST(MemoFile, ADamagedBlockSizeMakesEveryValueAnErrorWithoutScanningTheFile) {
  const std::string file = TempDir("memo") + "/t.dbt";
  std::vector<int64_t> blocks;
  {
    auto memo = OpenMemo(file, kDbfVersionDBase4, pmExclusiveCreate, 512);
    for (int i = 0; i < 40; ++i) blocks.push_back(Write(*memo, "value " + std::to_string(i)));
  }
  // One byte of the block size: 512 becomes 640, still a multiple of 128.
  std::string bytes = ReadFile(file);
  bytes[20] = char(0x80);
  WriteFile(file, bytes);
  auto memo = OpenMemo(file, kDbfVersionDBase4, pmReadOnly);
  ASSERT_EQ(memo->BlockSize(), 640);
  for (int64_t b : blocks) {
    // Past the end of the file at the new size: an error, as any block there.
    if (b * 640 >= int64_t(bytes.size())) {
      EXPECT_THROW(Read(*memo, b), EDbfError) << "block " << b;
      continue;
    }
    // Where the new place meets the start of another value, that value is
    // what the file holds there; anywhere else there is no block header,
    // found within the few blocks before the next value's header.
    if (b * 640 % 512 == 0) {
      EXPECT_EQ(Read(*memo, b), "value " + std::to_string(b * 640 / 512 - blocks[0])) << "block " << b;
      continue;
    }
    EXPECT_THROW(Read(*memo, b), EDbfError) << "block " << b;
  }
}

TEST(MemoFile, AFreePointerIntoUsedBlocksDoesNotOverwriteValues) {
  const std::string file = TempDir("memo") + "/t.dbt";
  int64_t a = 0;
  {
    auto memo = OpenMemo(file, kDbfVersionDBase4, pmExclusiveCreate, 512);
    a = Write(*memo, std::string(1500, 'a'));
  }
  // A header left behind by a crash (or damaged) that says block 0 is free.
  std::string bytes = ReadFile(file);
  PutLE32(bytes.data(), 0);
  WriteFile(file, bytes);
  auto memo = OpenMemo(file, kDbfVersionDBase4, pmExclusiveOpen);
  const int64_t b = Write(*memo, "b");
  EXPECT_EQ(b, 4);
  EXPECT_EQ(memo->NextFreeBlock(), 5);
  EXPECT_EQ(Read(*memo, a), std::string(1500, 'a'));
  EXPECT_EQ(Read(*memo, b), "b");
}

TEST(MemoFile, ValueHeldInsideTheHeaderIsNotWrittenOverIt) {
  const std::string file = TempDir("memo") + "/t.fpt";
  auto memo = OpenMemo(file, kDbfVersionFoxPro, pmExclusiveCreate, 64);
  // A damaged record claims a 100-byte value at block 2, inside the header.
  EXPECT_EQ(Write(*memo, "new", 2, 100), 8);
  memo->CloseMemoFile();
  const std::string bytes = ReadFile(file);
  EXPECT_EQ(bytes.substr(128, 64), std::string(64, '\0'));
}

TEST(MemoFile, SharedWritersTakeDifferentBlocks) {
  const std::string file = TempDir("memo") + "/t.dbt";
  OpenMemo(file, kDbfVersionDBase4, pmExclusiveCreate, 512)->CloseMemoFile();
  auto one = OpenMemo(file, kDbfVersionDBase4, pmSharedOpen);
  auto two = OpenMemo(file, kDbfVersionDBase4, pmSharedOpen);
  const int64_t a = Write(*one, std::string(600, 'a'));
  const int64_t b = Write(*two, std::string(10, 'b'));
  const int64_t c = Write(*one, "c");
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 3);
  EXPECT_EQ(c, 4);
  EXPECT_EQ(Read(*two, a), std::string(600, 'a'));
  EXPECT_EQ(Read(*one, b), std::string(10, 'b'));
}

TEST(MemoFile, FailedWriteRaisesAndKeepsTheFreePointer) {
  const std::string file = TempDir("memo") + "/t.dbt";
  {
    auto memo = OpenMemo(file, kDbfVersionDBase4, pmExclusiveCreate, 512);
    Write(*memo, "first");
  }
  // In a child whose files may not grow past 1 KB: the second value does not fit.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    int code = 0;
    try {
      auto memo = OpenMemo(file, kDbfVersionDBase4, pmExclusiveOpen);
      int64_t block = 0;
      TStringStream value(std::string(2000, 'x'));
      try {
        memo->WriteMemo(block, 0, value);
        code = 10;
      } catch (const EDbfWriteError& e) {
        code = (block == 0 && memo->NextFreeBlock() == 2 && e.Message() == STRING_WRITE_ERROR) ? 0 : 11;
      }
    } catch (...) {
      code = 12;
    }
    _exit(code);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  auto memo = OpenMemo(file, kDbfVersionDBase4, pmReadOnly);
  EXPECT_EQ(memo->NextFreeBlock(), 2);
  EXPECT_EQ(Read(*memo, 1), "first");
}

TEST(MemoFile, MissingFileStandInReadsEmptyAndRefusesValues) {
  TNullMemoFile memo;
  memo.SetFileName("/nowhere/t.dbt");
  memo.OpenMemoFile();
  EXPECT_EQ(Read(memo, 1), "");
  EXPECT_TRUE(memo.LockRecord(0, true));
  int64_t block = 7;
  TStringStream empty;
  memo.WriteMemo(block, 0, empty);
  EXPECT_EQ(block, 0);
  block = 7;
  TStringStream value("text");
  try {
    memo.WriteMemo(block, 0, value);
    ADD_FAILURE() << "a value was accepted and lost";
  } catch (const EDbfError& e) {
    EXPECT_EQ(e.Message(), "Open: file not found: \"/nowhere/t.dbt\".");
  }
  EXPECT_EQ(block, 7);
}

}  // namespace memo_file_test
