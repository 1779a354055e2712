// dbftool index and dump --index, with the tags walked by an independent
// reader of the index formats (Perl's XBase::Index) and by our own engine.
#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dbf/dbf.h"
#include "dbf/dbf_idxfile.h"
#include "tests/dbf/dbftool_support.h"
#include "tests/dbf/index_support.h"
#include "tests/dbf/records_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/locks.h"

namespace dbftool_index_test {

namespace {

using dbftool_support::RunTool;
using testsupport::ReadFile;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFile;

// Walk order: the key bytes in hexadecimal and the record number.
using Walk = std::vector<std::pair<std::string, int64_t>>;

std::string Hex(const std::string& bytes) {
  std::string hex;
  for (unsigned char c : bytes) hex += LowerCase(IntToHex(int(c), 2));
  return hex;
}

// The tag as the independent reader walks it (tag empty for an NDX file).
Walk PerlWalk(const std::string& dir, const std::string& index_file, const std::string& tag) {
  const std::string script =
      "use strict;\n"
      "use XBase::Index;\n"
      "my ($file, $tag) = @ARGV;\n"
      "my @opts = length($tag) ? ('tag' => pack('H*', $tag)) : ();\n"
      "my $index = XBase::Index->new($file, @opts) or die XBase::Index->errstr;\n"
      "$index->prepare_select;\n"
      "while (my ($key, $recno) = $index->fetch) { print unpack('H*', $key), ' ', $recno, \"\\n\"; }\n";
  WriteFile(dir + "/walk.pl", script);
  std::string out;
  const int status = RunCommand("timeout 60 /usr/bin/perl " + dir + "/walk.pl " + index_file + " '" + Hex(tag) + "' 2>&1", &out);
  EXPECT_EQ(status, 0) << out;
  Walk walk;
  std::istringstream lines(out);
  std::string key;
  int64_t recno = 0;
  while (lines >> key >> recno) walk.emplace_back(key, recno);
  return walk;
}

// The same tag as our engine walks it.
Walk OurWalk(const std::string& table_file, const std::string& index_file, const std::string& tag) {
  auto table = records_support::OpenTable(table_file, pmReadOnly);
  Walk walk;
  {
    TIndexFile index(table.get());
    index.SetFileName(index_file);
    index.SetMode(pmReadOnly);
    index.OpenIndexFile();
    EXPECT_TRUE(index.SelectTag(AnsiString(tag)));
    index.GotoBof();
    while (index.Next())
      walk.emplace_back(Hex(std::string(reinterpret_cast<const char*>(index.CurrentKey()), size_t(index.KeyLength()))),
                        index.CurrentRecNo());
    index.CloseIndexFile();
  }
  table->CloseAll();
  return walk;
}

// The N column of dump's rows.
std::vector<int64_t> DumpedNs(const std::string& args) {
  std::string out;
  EXPECT_EQ(RunTool("dump " + args, &out), 0) << out;
  std::vector<int64_t> ns;
  std::istringstream lines(out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "NAME,N,V") << out;
  while (std::getline(lines, line)) ns.push_back(std::stoll(line.substr(line.find(',') + 1)));
  return ns;
}

struct Row {
  std::string name;  // Windows-1251 capitals
  double v;
};

// Surnames of Cyrillic capitals without Ё, so that the locale's order is
// the order of their 1251 bytes, with every seventh one repeated, and
// numbers of both signs. Record n holds N = n.
std::vector<Row> MakeRows(int count) {
  std::vector<Row> rows;
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % bound;
  };
  for (int i = 0; i < count; ++i) {
    Row row;
    if (i > 0 && i % 7 == 0) {
      row.name = rows[next(uint32_t(i))].name;
    } else {
      const int length = 4 + int(next(9));
      for (int k = 0; k < length; ++k) row.name += char(0xC0 + next(32));
    }
    row.v = (double(next(2000001)) - 1000000.0) / 100.0;
    rows.push_back(row);
  }
  return rows;
}

std::string MakeTable(const std::string& dir, const std::vector<Row>& rows) {
  // Level 4, language 0xC9: Windows-1251 with the Russian collation.
  const std::string file = index_support::MakeTable(dir, {{"NAME", 'C', 60, 0}, {"N", 'N', 6, 0}, {"V", 'N', 12, 2}});
  auto table = records_support::OpenTable(file);
  for (size_t i = 0; i < rows.size(); ++i) {
    std::vector<uint8_t> record = records_support::Record(*table, {{"NAME", rows[i].name}});
    const double n = double(i + 1);
    table->EncodeField(*table->FindField("N"), ftFloat, record.data(), &n);
    table->EncodeField(*table->FindField("V"), ftFloat, record.data(), &rows[i].v);
    table->AppendRecord(record.data());
  }
  records_support::CloseTable(*table);
  return file;
}

struct TagCase {
  const char* tag;  // UTF-8 as given on the command line
  const char* options;
  const char* expression;
  const char* stored;  // UTF-8; the name the reader asks for ("" for an NDX file)
  int depth;           // levels of the tree, 0 when not checked
};

TEST(DbfToolIndex, TagsWalkInTheSameOrderInAnIndependentReader) {
  const std::string dir = TempDir("walk");
  const std::vector<Row> rows = MakeRows(600);
  const std::string file = MakeTable(dir, rows), mdx = dir + "/t.mdx", ndx = dir + "/byname.ndx";
  const TagCase cases[] = {
      {"Фамилия", "", "NAME", "ФАМИЛИЯ", 3},
      {"фамилия_по_убыванию", "--descending", "NAME", "ФАМИЛИЯ_ПО", 3},
      {"by_value", "--descending", "V", "BY_VALUE", 0},
      {"unique_name", "--unique", "NAME", "UNIQUE_NAM", 0},
      {"x", "", "NAME", "", 0},
  };
  // The key order each tag must have, from the rows alone: names by their
  // bytes, values by size; ties in any order.
  std::vector<int64_t> by_name(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) by_name[i] = int64_t(i + 1);
  std::stable_sort(by_name.begin(), by_name.end(),
                   [&](int64_t a, int64_t b) { return rows[size_t(a - 1)].name < rows[size_t(b - 1)].name; });
  auto names_of = [&](const std::vector<int64_t>& recnos) {
    std::vector<std::string> names;
    for (int64_t n : recnos) names.push_back(rows[size_t(n - 1)].name);
    return names;
  };
  for (const TagCase& c : cases) {
    SCOPED_TRACE(c.tag);
    const bool separate = std::string(c.stored).empty();
    std::string out;
    const std::string options = separate ? "--ndx " + ndx : c.options;
    ASSERT_EQ(RunTool("index " + file + " create '" + c.tag + "' " + c.expression + " " + options, &out), 0) << out;
    const std::string index_file = separate ? ndx : mdx;
    const std::string stored = Utf8ToAnsi(c.stored);
    const Walk theirs = PerlWalk(dir, index_file, stored);
    const Walk ours = OurWalk(file, index_file, stored);
    EXPECT_EQ(theirs, ours);
    std::vector<int64_t> order;
    for (const auto& entry : theirs) order.push_back(entry.second);

    if (c.depth > 0) {
      const std::string bytes = ReadFile(mdx);
      int position = -1;
      for (int i = 0; i < int(uint8_t(bytes[28])); ++i)
        if (bytes.substr(544 + 32 * i + 4, stored.size() + 1) == stored + '\0') position = i;
      ASSERT_GE(position, 0);
      const index_support::TreeWalk tree =
          index_support::WalkTree(bytes, true, index_support::MdxTagHeaderOffset(bytes, position));
      EXPECT_EQ(tree.fault, "");
      EXPECT_EQ(tree.depth, c.depth);
    }

    if (std::string(c.expression) == "NAME") {
      std::vector<std::string> expected = names_of(by_name);
      if (std::string(c.options) == "--descending") std::reverse(expected.begin(), expected.end());
      if (std::string(c.options) == "--unique") expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
      EXPECT_EQ(names_of(order), expected);
      if (std::string(c.options) == "--unique") {
        EXPECT_LT(order.size(), rows.size());
      }
    } else {
      ASSERT_EQ(order.size(), rows.size());
      for (size_t i = 1; i < order.size(); ++i)
        EXPECT_GE(rows[size_t(order[i - 1] - 1)].v, rows[size_t(order[i] - 1)].v) << "at " << i;
    }

    // dump lists the rows in that order, also under a filter.
    const std::string index_argument = separate ? ndx : "'" + std::string(c.tag) + "'";
    EXPECT_EQ(DumpedNs(file + " --index " + index_argument), order);
    std::vector<int64_t> filtered;
    for (int64_t n : order)
      if (n > 300) filtered.push_back(n);
    EXPECT_EQ(DumpedNs(file + " --index " + index_argument + " --filter 'N>300'"), filtered);
  }
}

TEST(DbfToolIndex, ListDropAndErrors) {
  const std::string dir = TempDir("cmds");
  const std::string file = MakeTable(dir, MakeRows(20)), mdx = dir + "/t.mdx";
  std::string out;
  ASSERT_EQ(RunTool("index " + file + " list", &out), 0) << out;
  EXPECT_EQ(out, "TAG,EXPRESSION,TYPE,OPTIONS\n");
  ASSERT_EQ(RunTool("index " + file + " create Имя name", &out), 0) << out;
  ASSERT_EQ(RunTool("index " + file + " create val 'V*2' --descending --unique", &out), 0) << out;
  ASSERT_EQ(RunTool("index " + file + " list", &out), 0) << out;
  EXPECT_EQ(out, "TAG,EXPRESSION,TYPE,OPTIONS\nИМЯ,NAME,C,\nVAL,V*2,N,descending unique\n");

  struct Error {
    std::string args;
    int status;
    const char* message;
  };
  std::vector<Error> errors = {
      {"index " + dir + "/missing.dbf list", 1, "no table"},
      {"index " + file + " create val N", 1, "has a tag \"val\" already"},
      {"index " + file + " create t2 'NAME +'", 1, "Expression ends with an operator"},
      {"index " + file + " create t2 NO_SUCH", 1, "Index based on unknown field \"NO_SUCH\""},
      {"index " + file + " create t2 'N>1'", 1, "Invalid index type: can only be string or float."},
      {"index " + file + " create t2 N --ndx " + dir + "/k.idx", 2, "ending in .ndx"},
      {"index " + file + " create t2.x N", 2, "has no extension"},
      {"index " + file + " create t2", 2, "expected a TAG and a key expression"},
      {"index " + file + " drop nothing", 1, "no tag \"nothing\""},
      {"index " + file + " rename val", 2, "unknown index action"},
      {"dump " + file + " --index nothing", 1, "no tag \"nothing\""},
      {"dump " + file + " --index " + dir + "/none.ndx", 1, "no index file"},
  };
  const std::string fox = dir + "/fox.dbf";
  records_support::CreateTable(fox, kDbfVersionFoxPro, {{"NAME", 'C', 10, 0}});
  errors.push_back({"index " + fox + " create t2 NAME", 1, "a FoxPro table links no .mdx file"});
  for (const auto& e : errors) {
    EXPECT_EQ(RunTool(e.args, &out), e.status) << e.args;
    EXPECT_NE(out.find(e.message), std::string::npos) << e.args << ": " << out;
  }
  ASSERT_EQ(RunTool("index " + file + " list", &out), 0) << out;
  EXPECT_EQ(out, "TAG,EXPRESSION,TYPE,OPTIONS\nИМЯ,NAME,C,\nVAL,V*2,N,descending unique\n") << "errors change nothing";
  // A single-key file serves any table.
  ASSERT_EQ(RunTool("index " + fox + " create t2 NAME --ndx " + dir + "/fox.ndx", &out), 0) << out;
  ASSERT_EQ(RunTool("dump " + fox + " --index " + dir + "/fox.ndx", &out), 0) << out;
  EXPECT_EQ(out, "NAME\n");

  ASSERT_EQ(RunTool("index " + file + " drop имя", &out), 0) << out;
  ASSERT_EQ(RunTool("index " + file + " list", &out), 0) << out;
  EXPECT_EQ(out, "TAG,EXPRESSION,TYPE,OPTIONS\nVAL,V*2,N,descending unique\n");
  ASSERT_EQ(RunTool("index " + file + " drop val", &out), 0) << out;
  EXPECT_FALSE(std::ifstream(mdx).good()) << "the last tag takes the file with it";
  EXPECT_EQ(ReadFile(file)[28], 0) << "and the table no longer links it";
  EXPECT_EQ(RunTool("dump " + file + " --index val", &out), 1);
  EXPECT_NE(out.find("no production index"), std::string::npos) << out;
}


// Rows appended, deleted and packed away by the tool are in every tag of the
// table's .mdx file as the program would have put them there.
TEST(DbfToolIndex, AppendDeleteAndPackKeepTheTagsUpToDate) {
  const std::string dir = TempDir("maintained");
  const std::string file = MakeTable(dir, MakeRows(40)), mdx = dir + "/t.mdx";
  std::string out;
  ASSERT_EQ(RunTool("index " + file + " create name NAME", &out), 0) << out;
  ASSERT_EQ(RunTool("index " + file + " create num N --descending", &out), 0) << out;
  std::string csv = "NAME,N,V\n";
  for (int n = 41; n <= 70; ++n) csv += "app" + std::to_string(n) + "," + std::to_string(n) + ",1.5\n";
  WriteFile(dir + "/rows.csv", csv);
  ASSERT_EQ(RunCommand(dbftool_support::Tool() + " append " + file + " < " + dir + "/rows.csv 2>&1", &out), 0) << out;
  std::vector<int64_t> expected;
  for (int64_t n = 70; n >= 1; --n) expected.push_back(n);
  EXPECT_EQ(DumpedNs(file + " --index num"), expected);
  for (const char* tag : {"NAME", "NUM"}) {
    const Walk theirs = PerlWalk(dir, mdx, tag);
    EXPECT_EQ(theirs.size(), 70u) << tag;
    EXPECT_EQ(theirs, OurWalk(file, mdx, tag)) << tag;
  }

  ASSERT_EQ(RunTool("delete " + file + " 3 45 70", &out), 0) << out;
  ASSERT_EQ(RunTool("pack " + file, &out), 0) << out;
  std::erase_if(expected, [](int64_t n) { return n == 3 || n == 45 || n == 70; });
  EXPECT_EQ(DumpedNs(file + " --index num"), expected);
  for (const char* tag : {"NAME", "NUM"}) {
    const Walk theirs = PerlWalk(dir, mdx, tag);
    EXPECT_EQ(theirs.size(), 67u) << tag;
    EXPECT_EQ(theirs, OurWalk(file, mdx, tag)) << tag;
  }
}

// How many times dbftool asks the size of the file (fstat and its kin)
// while it runs with the arguments.
int SizeQueries(const std::string& dir, const std::string& args, const std::string& file) {
  const std::string trace = dir + "/sizes.trace";
  std::string out;
  EXPECT_EQ(RunCommand(std::string(testsupport::kNoLeakCheck) + "strace -f -y -o " + trace +
                           " -e trace=fstat,newfstatat,statx,lseek " +
                           dbftool_support::Tool() + " " + args + " 2>&1 >/dev/null",
                       &out),
            0)
      << out;
  // strace -y names the file of a descriptor as <path>.
  const std::string named = "<" + file + ">";
  std::istringstream lines(ReadFile(trace));
  std::string line;
  int count = 0;
  while (std::getline(lines, line))
    if (line.find(named) != std::string::npos && line.find("lseek") == std::string::npos) ++count;
  return count;
}

// Walking a tag asks the index file's size a few times however many nodes
// it reads; appending asks it once for each node the file grows by, not
// for every node a key passes.
TEST(DbfToolIndex, TheIndexFileSizeIsAskedOncePerChangeNotPerNode) {
  ASSERT_EQ(RunCommand("strace -V >/dev/null 2>&1", nullptr), 0) << "strace is needed (scripts/install-deps.sh)";
  std::vector<int> walks;
  for (const int rows : {40, 4000}) {
    SCOPED_TRACE(rows);
    const std::string dir = TempDir("sizes" + std::to_string(rows));
    const std::string file = MakeTable(dir, MakeRows(rows)), mdx = dir + "/t.mdx";
    std::string out;
    ASSERT_EQ(RunTool("index " + file + " create name NAME", &out), 0) << out;
    const std::string bytes = ReadFile(mdx);
    const index_support::TreeWalk tree =
        index_support::WalkTree(bytes, true, index_support::MdxTagHeaderOffset(bytes, 0));
    ASSERT_EQ(tree.fault, "");
    walks.push_back(SizeQueries(dir, "dump " + file + " --index name", mdx));
    if (rows < 4000) continue;
    ASSERT_GT(tree.nodes, 200) << "too few nodes to tell";

    std::string csv = "NAME,N,V\n";
    for (int n = 1; n <= 1500; ++n) csv += "app" + std::to_string((n * 7919) % 1500) + "," + std::to_string(n) + ",1\n";
    WriteFile(dir + "/rows.csv", csv);
    const int64_t before = int64_t(ReadFile(mdx).size());
    const int appends = SizeQueries(dir, "append " + file + " < " + dir + "/rows.csv", mdx);
    const int64_t grown = (int64_t(ReadFile(mdx).size()) - before) / 1024;
    ASSERT_GT(grown, 30) << "too few new nodes to tell";
    EXPECT_LE(appends, grown + 8);
    EXPECT_EQ(PerlWalk(dir, mdx, "NAME").size(), size_t(rows + 1500));
  }
  EXPECT_EQ(walks[0], walks[1]);
  EXPECT_LE(walks[1], 8);
}

// A tag creation stopped at any write (the process killed as it enters the
// n-th call) leaves the tags of before as they were, and either the whole new
// tag or none; creating it again then works.
TEST(DbfToolIndex, ACreationKilledAtAnyWriteLeavesTheOldTags) {
  ASSERT_EQ(RunCommand("strace -V >/dev/null 2>&1", nullptr), 0) << "strace is needed (scripts/install-deps.sh)";
  const std::string dir = TempDir("killed");
  const std::string file = MakeTable(dir, MakeRows(400)), mdx = dir + "/t.mdx";
  std::string out;
  ASSERT_EQ(RunTool("index " + file + " create num N", &out), 0) << out;
  const std::string table_bytes = ReadFile(file), mdx_bytes = ReadFile(mdx);
  const std::vector<int64_t> by_number = DumpedNs(file + " --index num");
  ASSERT_EQ(by_number.size(), 400u);
  std::map<std::string, int> kills;
  for (const char* call : {"pwrite64", "fsync"}) {
    for (int when = 1; when < 40; ++when) {
      SCOPED_TRACE(std::string(call) + " " + std::to_string(when));
      WriteFile(file, table_bytes);
      WriteFile(mdx, mdx_bytes);
      const int status = RunCommand(std::string(testsupport::kNoLeakCheck) +
                                        "strace -f -o /dev/null -e trace=" + call + " -e inject=" + call +
                                        ":signal=SIGKILL:when=" + std::to_string(when) + " " +
                                        dbftool_support::Tool() + " index " + file + " create name NAME 2>&1",
                                    &out);
      if (status != 128 + 9 && status != -1) {
        EXPECT_EQ(status, 0) << out;
        break;
      }
      ++kills[call];
      EXPECT_EQ(RunTool("check " + file, &out), 0) << out;
      EXPECT_EQ(DumpedNs(file + " --index num"), by_number);
      ASSERT_EQ(RunTool("index " + file + " list", &out), 0) << out;
      const bool made = out.find("NAME,NAME,C") != std::string::npos;
      if (!made) {
        ASSERT_EQ(RunTool("index " + file + " create name NAME", &out), 0) << out;
      }
      const Walk theirs = PerlWalk(dir, mdx, "NAME");
      EXPECT_EQ(theirs.size(), 400u);
      EXPECT_EQ(theirs, OurWalk(file, mdx, "NAME"));
      EXPECT_EQ(PerlWalk(dir, mdx, "NUM"), OurWalk(file, mdx, "NUM"));
      EXPECT_EQ(DumpedNs(file + " --index num"), by_number);
    }
  }
  // The kills did land in the creation: at its node and header writes and
  // at the sync between them.
  EXPECT_GE(kills["pwrite64"], 2);
  EXPECT_GE(kills["fsync"], 1);
}


// A disk that fills while a tag is built: the tool says so and fails, the
// tags of before stay whole and the new one is absent; with room again it
// is built.
TEST(DbfToolIndex, ACreationOnAFullDiskFailsAndKeepsTheOldTags) {
  if (geteuid() != 0) GTEST_SKIP() << "a small disk (tmpfs) can only be mounted by root";
  const std::string disk = TempDir("full_disk");
  std::string out;
  ASSERT_EQ(RunCommand("mount -t tmpfs -o size=512k tmpfs " + disk + " 2>&1", &out), 0) << out;
  struct Unmount {
    std::string dir;
    ~Unmount() { RunCommand("umount " + dir, nullptr); }
  } unmount{disk};
  const std::string file = MakeTable(disk, MakeRows(400)), mdx = disk + "/t.mdx";
  ASSERT_EQ(RunTool("index " + file + " create num N", &out), 0) << out;
  const std::vector<int64_t> by_number = DumpedNs(file + " --index num");
  ASSERT_EQ(by_number.size(), 400u);
  // The disk filled but for two pages: the new tag needs some thirty nodes.
  RunCommand("dd if=/dev/zero of=" + disk + "/filler bs=4k 2>/dev/null", nullptr);
  ASSERT_EQ(RunCommand("truncate -s -8k " + disk + "/filler", nullptr), 0);
  const std::string mdx_before = ReadFile(mdx);

  EXPECT_EQ(RunTool("index " + file + " create name NAME", &out), 1) << out;
  EXPECT_NE(out.find("Error while writing occurred"), std::string::npos) << out;
  EXPECT_EQ(DumpedNs(file + " --index num"), by_number);
  ASSERT_EQ(RunTool("index " + file + " list", &out), 0) << out;
  EXPECT_EQ(out, "TAG,EXPRESSION,TYPE,OPTIONS\nNUM,N,N,\n");
  EXPECT_EQ(PerlWalk(disk, mdx, "NUM"), OurWalk(file, mdx, "NUM"));

  std::remove((disk + "/filler").c_str());
  ASSERT_EQ(RunTool("index " + file + " create name NAME", &out), 0) << out;
  const Walk theirs = PerlWalk(disk, mdx, "NAME");
  EXPECT_EQ(theirs.size(), 400u);
  EXPECT_EQ(theirs, OurWalk(file, mdx, "NAME"));
  EXPECT_EQ(DumpedNs(file + " --index num"), by_number);
}

}  // namespace

namespace {

// The N of every live record as python3-dbfread reads the table, in file order.
std::vector<int64_t> DbfreadNs(const std::string& file) {
  std::string out;
  EXPECT_EQ(RunCommand(std::string(testsupport::Python()) +
                           " -c \"import dbfread,sys\nfor r in dbfread.DBF(sys.argv[1], encoding='cp1251'): "
                           "print(int(r['N']))\" " + file + " 2>&1",
                       &out),
            0)
      << out;
  std::vector<int64_t> ns;
  std::istringstream lines(out);
  int64_t n = 0;
  while (lines >> n) ns.push_back(n);
  return ns;
}

// dbftool makes no primary tag; the program's table component does.
void CreatePrimaryTag(const std::string& file, const char* tag, const char* expression) {
  TDbf table(nullptr);
  table.SetExclusive(true);
  table.SetTableName(file);
  table.Activate();
  table.CreateIndexTag(tag, expression, TIndexOptions{ixPrimary});
  table.Deactivate();
}

// A deletion takes a record's key out of a primary tag; a recall by the tool
// puts it back, so that every reader finds the row and its key again. A
// recall of a live row writes it as it is, and one whose key another row
// took meanwhile, or a wrong record number, is refused with the files left
// as they were.
TEST(DbfToolIndex, ARecalledRecordIsBackInItsPrimaryTag) {
  const std::string dir = TempDir("recalled");
  const std::string file = MakeTable(dir, MakeRows(40)), mdx = dir + "/t.mdx";
  std::string out;
  ASSERT_EQ(RunTool("index " + file + " create name NAME", &out), 0) << out;
  ASSERT_EQ(RunTool("index " + file + " create num N --descending", &out), 0) << out;
  CreatePrimaryTag(file, "byn", "N");
  // The primary tag holds the keys of num for the live rows, in rising order.
  const auto expect_byn_holds = [&](const std::vector<int64_t>& live) {
    Walk num = PerlWalk(dir, mdx, "NUM");
    std::reverse(num.begin(), num.end());
    std::erase_if(num, [&](const auto& entry) { return std::find(live.begin(), live.end(), entry.second) == live.end(); });
    const Walk byn = PerlWalk(dir, mdx, "BYN");
    EXPECT_EQ(byn, num);
    EXPECT_EQ(byn, OurWalk(file, mdx, "BYN"));
    EXPECT_EQ(PerlWalk(dir, mdx, "NAME").size(), 40u);
  };
  std::vector<int64_t> live;
  for (int64_t n = 1; n <= 40; ++n)
    if (n != 5 && n != 17 && n != 40) live.push_back(n);

  ASSERT_EQ(RunTool("delete " + file + " 5 17 40", &out), 0) << out;
  expect_byn_holds(live);
  ASSERT_EQ(RunTool("recall " + file + " 17 5", &out), 0) << out;
  EXPECT_EQ(out, "");
  live.insert(live.begin() + 4, 5);
  live.insert(live.begin() + 16, 17);
  EXPECT_EQ(RunTool("check " + file, &out), 0) << out;
  EXPECT_EQ(DbfreadNs(file), live);
  expect_byn_holds(live);
  EXPECT_EQ(DumpedNs(file + " --index byn"), live);

  // Live rows, one just recalled among them: written as they are.
  const std::string mdx_before = ReadFile(mdx);
  ASSERT_EQ(RunTool("recall " + file + " 5 1", &out), 0) << out;
  EXPECT_TRUE(ReadFile(mdx) == mdx_before) << "the index file changed";
  EXPECT_EQ(RunTool("check " + file, &out), 0) << out;
  EXPECT_EQ(DbfreadNs(file), live);

  // Record 6 deleted, its N taken by a new row 41: its recall would put the
  // key in the primary tag twice.
  ASSERT_EQ(RunTool("delete " + file + " 6", &out), 0) << out;
  WriteFile(dir + "/six.csv", "NAME,N,V\nSIX,6,6\n");
  ASSERT_EQ(RunCommand(dbftool_support::Tool() + " append " + file + " < " + dir + "/six.csv 2>&1", &out), 0) << out;
  const std::string table_before = ReadFile(file), index_before = ReadFile(mdx);
  const struct {
    const char* args;
    int status;
    const char* message;
  } refused[] = {
      {"6", 1, "dbftool: Key violation"},
      {"41 6", 1, "dbftool: Key violation"},
      {"0", 2, "dbftool: record 0 is not in the table (1..41)\n"},
      {"42", 2, "dbftool: record 42 is not in the table (1..41)\n"},
      {"40 99", 2, "dbftool: record 99 is not in the table (1..41)\n"},
      {"x", 2, "dbftool: bad record number \"x\"\n"},
      {"", 2, "dbftool: expected FILE and record numbers\n"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(RunTool("recall " + file + " " + c.args, &out), c.status) << out;
    EXPECT_TRUE(out.starts_with(c.message)) << out;
    EXPECT_TRUE(ReadFile(file) == table_before) << "the table changed";
    EXPECT_TRUE(ReadFile(mdx) == index_before) << "the index file changed";
  }
  EXPECT_EQ(RunTool("check " + file, &out), 0) << out;
  std::erase(live, 6);
  live.push_back(6);  // row 41
  EXPECT_EQ(DbfreadNs(file), live);
}

// A table, or its index file, that the user may not write: the recall is
// refused naming the file, and both files stay as they were.
TEST(DbfToolIndex, ARecallTheUserMayNotWriteIsRefused) {
  // As root every file is writable: the tool then runs as an ordinary user.
  const std::string as_user = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const std::string dir = TempDir("recall_read_only");
  const std::string file = MakeTable(dir, MakeRows(10)), mdx = dir + "/t.mdx";
  std::string out;
  CreatePrimaryTag(file, "byn", "N");
  ASSERT_EQ(RunTool("delete " + file + " 3", &out), 0) << out;
  const std::string table_before = ReadFile(file), index_before = ReadFile(mdx);
  ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
  for (const std::string& locked : {file, mdx}) {
    SCOPED_TRACE(locked);
    ASSERT_EQ(::chmod(file.c_str(), locked == file ? 0444 : 0666), 0);
    ASSERT_EQ(::chmod(mdx.c_str(), locked == mdx ? 0444 : 0666), 0);
    EXPECT_EQ(RunCommand(as_user + dbftool_support::Tool() + " recall " + file + " 3 2>&1", &out), 1) << out;
    EXPECT_TRUE(out.starts_with("dbftool: ")) << out;
    EXPECT_NE(out.find(locked), std::string::npos) << out;
    EXPECT_TRUE(ReadFile(file) == table_before) << "the table changed";
    EXPECT_TRUE(ReadFile(mdx) == index_before) << "the index file changed";
  }
  ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(mdx.c_str(), 0644), 0);
  ASSERT_EQ(RunTool("recall " + file + " 3", &out), 0) << out;
  EXPECT_EQ(DumpedNs(file + " --index byn"), (std::vector<int64_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

// What every reader must see after a failed or stopped append to a table
// with the tags name, num and v: the tool's check finds nothing, and the
// independent reader walks num with a key for every record. In full, each
// tag as the independent reader walks it is the tag as our engine walks
// it, and num's order is the rows' order.
void ExpectSound(const std::string& dir, const std::string& file, bool full) {
  std::string out;
  EXPECT_EQ(RunTool("check " + file, &out), 0) << out;
  const std::vector<int64_t> ns = DbfreadNs(file);
  if (!full) {
    EXPECT_EQ(PerlWalk(dir, dir + "/t.mdx", "NUM").size(), ns.size());
    return;
  }
  std::vector<int64_t> sorted = ns;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(DumpedNs(file + " --index num"), sorted);
  for (const char* tag : {"NAME", "NUM", "V"}) {
    const Walk theirs = PerlWalk(dir, dir + "/t.mdx", tag);
    EXPECT_EQ(theirs.size(), ns.size()) << tag;
    EXPECT_EQ(theirs, OurWalk(file, dir + "/t.mdx", tag)) << tag;
  }
}

// A table of 300 rows with three tags in dir, beside rows.csv with six
// rows more and one.csv with one; "" when the tags could not be made.
std::string MakeTaggedTable(const std::string& dir) {
  const std::string file = MakeTable(dir, MakeRows(300));
  std::string out;
  for (const char* tag : {"name NAME", "num N", "v V"}) {
    if (RunTool("index " + file + " create " + tag, &out) != 0) {
      ADD_FAILURE() << out;
      return {};
    }
  }
  std::string csv = "NAME,N,V\n";
  for (int n = 301; n <= 306; ++n) csv += "A" + std::to_string(n) + "," + std::to_string(n) + ",0.5\n";
  WriteFile(dir + "/rows.csv", csv);
  WriteFile(dir + "/one.csv", "NAME,N,V\nB999,999,1\n");
  return file;
}

// What a read-only check of t.dbf may report after a writer was killed:
// its index update cut short (never a tag answering wrongly), and a record
// written whose count was not yet (the next writable open counts it).
// True when the update was reported cut short.
bool ExpectOnlyKillTraces(const std::string& out) {
  bool cut_short = false;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    if (line == "t.mdx: The last update of index file \"t.mdx\" was cut short and its tags do not match the table; "
                "open the table for writing to rebuild them.") {
      cut_short = true;
      continue;
    }
    unsigned counted = 0, held = 0;
    if (std::sscanf(line.c_str(), "t.dbf: the header counts %u records, the file holds %u", &counted, &held) == 2 &&
        held == counted + 1)
      continue;
    ADD_FAILURE() << "not a trace of a kill: " << line;
  }
  return cut_short;
}

struct FaultCase {
  const char* name;
  const char* inject;  // strace's -e inject= after the call
  bool killed;
};

// Runs dbftool with the arguments (a shell command line), its when-th write
// failing or killing it as the case says; returns its exit status.
int RunToolStoppedAt(const FaultCase& c, int when, const std::string& args, std::string* out) {
  return RunCommand(std::string(testsupport::kNoLeakCheck) +
                        "strace -f -o /dev/null -e trace=pwrite64 -e inject=pwrite64" + c.inject +
                        ":when=" + std::to_string(when) + " " + dbftool_support::Tool() + " " + args + " 2>&1",
                    out);
}

// A write that fails (a full disk) or a process killed at any of the first
// writes of an append to a table with three tags, whose first row splits a
// leaf of a tag. After a failure the undo has put the index file back as
// it was, header included; after a kill an open either finds the tags
// whole or reports the update cut short (it never answers from them), and
// the next writable open rebuilds them. Then the table takes every change.
TEST(DbfToolIndex, AnAppendStoppedAtAnyWriteLeavesTagsThatMatchTheTable) {
  ASSERT_EQ(RunCommand("strace -V >/dev/null 2>&1", nullptr), 0) << "strace is needed (scripts/install-deps.sh)";
  const std::string dir = TempDir("stopped_append");
  const std::string file = MakeTaggedTable(dir), mdx = dir + "/t.mdx";
  ASSERT_FALSE(file.empty());
  const std::string table_bytes = ReadFile(file), mdx_bytes = ReadFile(mdx);
  std::string out;
  const FaultCase cases[] = {
      {"full disk", ":error=ENOSPC", false},
      {"killed", ":signal=SIGKILL", true},
  };
  for (const FaultCase& c : cases) {
    int stopped = 0, cut_short = 0;
    for (int when = 1; when <= 16; ++when) {
      SCOPED_TRACE(std::string(c.name) + " at write " + std::to_string(when));
      WriteFile(file, table_bytes);
      WriteFile(mdx, mdx_bytes);
      const int status = RunToolStoppedAt(c, when, "append " + file + " < " + dir + "/rows.csv", &out);
      if (status == 0) break;
      ++stopped;
      if (!c.killed) {
        EXPECT_EQ(status, 1) << out;
        EXPECT_NE(out.find("Error while writing occurred"), std::string::npos) << out;
        ExpectSound(dir, file, when % 4 == 0);
      } else {
        // Read-only opens cannot rebuild: they answer whole tags or refuse.
        const int checked = RunTool("check " + file, &out);
        if (checked != 0 && ExpectOnlyKillTraces(out)) {
          ++cut_short;
          if (when % 4 == 0) {
            EXPECT_NE(RunTool("dump " + file + " --index num", &out), 0) << out;
          }
        }
      }
      // The next change goes through, rebuilding what needs it.
      ASSERT_EQ(RunCommand(dbftool_support::Tool() + " append " + file + " < " + dir + "/one.csv 2>&1", &out), 0)
          << out;
      ExpectSound(dir, file, when % 4 == 0);
    }
    EXPECT_GE(stopped, 12) << c.name;
    // Some kills did land between a key and its record.
    if (c.killed) {
      EXPECT_GE(cut_short, 1);
    }
  }
  // The case as first seen: the tenth write refused; then every command works.
  WriteFile(file, table_bytes);
  WriteFile(mdx, mdx_bytes);
  RunCommand(std::string(testsupport::kNoLeakCheck) + "strace -f -o /dev/null -e inject=pwrite64:error=ENOSPC:when=10 " +
                 dbftool_support::Tool() + " append " + file + " < " + dir + "/rows.csv 2>&1",
             &out);
  ASSERT_EQ(RunTool("index " + file + " list", &out), 0) << out;
  EXPECT_EQ(out, "TAG,EXPRESSION,TYPE,OPTIONS\nNAME,NAME,C,\nNUM,N,N,\nV,V,N,\n");
  ASSERT_EQ(RunCommand(dbftool_support::Tool() + " append " + file + " < " + dir + "/rows.csv 2>&1", &out), 0) << out;
  ASSERT_EQ(RunTool("delete " + file + " 2 4", &out), 0) << out;
  ASSERT_EQ(RunTool("pack " + file, &out), 0) << out;
  ExpectSound(dir, file, true);
  ASSERT_EQ(RunTool("index " + file + " drop v", &out), 0) << out;
  ExpectSound(dir, file, false);
}


// The record count a table's header holds.
uint32_t HeaderCount(const std::string& file) {
  const std::string bytes = ReadFile(file);
  return bytes.size() >= 8 ? GetLE32(reinterpret_cast<const uint8_t*>(bytes.data()) + 4) : 0;
}

// Two appenders share a table with three tags. One stays open, its rows
// coming through a pipe, while the other is killed at any of its first
// writes; then the survivor closes. The survivor settles only its own
// update: a cut-short update of the killed one is still found by the next
// open (never answered from), and the next writable open rebuilds the tags.
TEST(DbfToolIndex, AWriterKilledBesideALiveOneIsFoundAfterTheOtherCloses) {
  ASSERT_EQ(RunCommand("strace -V >/dev/null 2>&1", nullptr), 0) << "strace is needed (scripts/install-deps.sh)";
  const std::string dir = TempDir("killed_beside_live");
  const std::string file = MakeTaggedTable(dir), mdx = dir + "/t.mdx";
  ASSERT_FALSE(file.empty());
  const std::string table_bytes = ReadFile(file), mdx_bytes = ReadFile(mdx);
  std::string out;
  int killed = 0, found = 0;
  for (int when = 1; when <= 12; ++when) {
    SCOPED_TRACE("killed at write " + std::to_string(when));
    WriteFile(file, table_bytes);
    WriteFile(mdx, mdx_bytes);
    FILE* survivor = ::popen((dbftool_support::Tool() + " append " + file + " >" + dir + "/survivor.out 2>&1").c_str(), "w");
    ASSERT_NE(survivor, nullptr);
    std::fputs("NAME,N,V\nS900,900,9\n", survivor);
    std::fflush(survivor);
    for (int waited = 0; HeaderCount(file) < 301 && waited < 1000; ++waited)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(HeaderCount(file), 301u) << "the survivor's first row landed";
    const int status = RunCommand(std::string(testsupport::kNoLeakCheck) +
                                      "strace -f -o /dev/null -e trace=pwrite64 -e inject=pwrite64:signal=SIGKILL:when=" +
                                      std::to_string(when) + " " + dbftool_support::Tool() + " append " + file + " < " +
                                      dir + "/rows.csv 2>&1",
                                  &out);
    const int survivor_status = ::pclose(survivor);
    EXPECT_EQ(survivor_status, 0) << ReadFile(dir + "/survivor.out");
    if (status == 0) break;
    ++killed;
    // A read-only open cannot rebuild: it answers from whole tags or refuses.
    if (RunTool("check " + file, &out) != 0 && ExpectOnlyKillTraces(out)) ++found;
    ASSERT_EQ(RunCommand(dbftool_support::Tool() + " append " + file + " < " + dir + "/one.csv 2>&1", &out), 0) << out;
    ExpectSound(dir, file, false);
  }
  EXPECT_GE(killed, 8);
  // Some kills landed between a key and its record.
  EXPECT_GE(found, 1);
}


// A recall or a deletion stopped at any of its writes, by a full disk or a
// kill: the table and its primary tag agree afterwards (a read-only check
// finds them whole or reports the update cut short), and the command done
// again leaves the tag holding the keys of the live records.
TEST(DbfToolIndex, ARecallOrDeletionStoppedAtAnyWriteLeavesTheTagsInStep) {
  ASSERT_EQ(RunCommand("strace -V >/dev/null 2>&1", nullptr), 0) << "strace is needed (scripts/install-deps.sh)";
  const std::string dir = TempDir("stopped_recall");
  const std::string file = MakeTable(dir, MakeRows(40)), mdx = dir + "/t.mdx";
  std::string out;
  ASSERT_EQ(RunTool("index " + file + " create num N", &out), 0) << out;
  CreatePrimaryTag(file, "byn", "N");
  ASSERT_EQ(RunTool("delete " + file + " 5", &out), 0) << out;
  const std::string table_bytes = ReadFile(file), mdx_bytes = ReadFile(mdx);
  const auto live_but = [](int64_t gone) {
    std::vector<int64_t> live;
    for (int64_t n = 1; n <= 40; ++n)
      if (n != 5 || gone == 0)
        if (n != gone) live.push_back(n);
    return live;
  };
  const struct {
    const char* command;
    std::vector<int64_t> live;
  } commands[] = {{"recall", live_but(0)}, {"delete", live_but(7)}};
  const FaultCase cases[] = {
      {"full disk", ":error=ENOSPC", false},
      {"killed", ":signal=SIGKILL", true},
  };
  for (const auto& command : commands) {
    const std::string run = std::string(command.command) + " " + file + (command.live.size() == 40 ? " 5" : " 7");
    for (const FaultCase& c : cases) {
      int stopped = 0;
      for (int when = 1; when <= 12; ++when) {
        SCOPED_TRACE(std::string(command.command) + ", " + c.name + " at write " + std::to_string(when));
        WriteFile(file, table_bytes);
        WriteFile(mdx, mdx_bytes);
        const int status = RunToolStoppedAt(c, when, run, &out);
        if (status == 0) break;
        ++stopped;
        if (!c.killed) {
          EXPECT_EQ(status, 1) << out;
          EXPECT_NE(out.find("Error while writing occurred"), std::string::npos) << out;
        }
        const int checked = RunTool("check " + file, &out);
        if (checked != 0) {
          EXPECT_TRUE(out.starts_with("t.mdx: The last update of index file \"t.mdx\" was cut short")) << out;
        }
        ASSERT_EQ(RunTool(run, &out), 0) << out;
        EXPECT_EQ(RunTool("check " + file, &out), 0) << out;
        EXPECT_EQ(DbfreadNs(file), command.live);
        EXPECT_EQ(DumpedNs(file + " --index byn"), command.live);
        EXPECT_EQ(PerlWalk(dir, mdx, "BYN"), OurWalk(file, mdx, "BYN"));
      }
      EXPECT_GE(stopped, 4) << c.name;
    }
  }
}

// Another process in the middle of a change holds the index file's header
// locked, its tree half changed (here: a root not yet written). An open
// waits for the change to end and reads the tags whole.
TEST(DbfToolIndex, AnOpenWaitsForAChangeUnderWayElsewhere) {
  const std::string dir = TempDir("open_waits");
  const std::string file = MakeTable(dir, MakeRows(200)), mdx = dir + "/t.mdx";
  std::string out;
  ASSERT_EQ(RunTool("index " + file + " create num N", &out), 0) << out;
  const std::vector<int64_t> by_number = DumpedNs(file + " --index num");
  const std::string bytes = ReadFile(mdx);
  const int64_t tag_header = index_support::MdxTagHeaderOffset(bytes, 0);
  const int fd = ::open(mdx.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(LockBytes(fd, 0, 512), TLockResult::Granted);
  uint8_t far_root[4];
  PutLE32(far_root, 99999);
  ASSERT_EQ(::pwrite(fd, far_root, 4, tag_header), 4);
  int status = -1;
  std::string dumped;
  std::thread reader([&] { status = RunTool("dump " + file + " --index num", &dumped); });
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  ASSERT_EQ(::pwrite(fd, bytes.data() + tag_header, 4, tag_header), 4);
  UnlockBytes(fd, 0, 512);
  reader.join();
  ::close(fd);
  EXPECT_EQ(status, 0) << dumped;
  EXPECT_EQ(DumpedNs(file + " --index num"), by_number);
  EXPECT_NE(dumped.find("NAME,N,V\n"), std::string::npos) << dumped;
}

}  // namespace

}  // namespace dbftool_index_test
