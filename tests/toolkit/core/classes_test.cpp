#include "toolkit/core/classes.h"
#include "toolkit/core/filereplace.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/testsupport.h"
#include "tests/support/small_disk.h"

namespace classes_test {

AnsiString R(const char* utf8) { return Utf8ToAnsi(utf8); }

std::vector<std::string> Lines(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Strings(i));
  return out;
}

template <typename E>
void ExpectError(const std::function<void()>& action, const std::string& message, const std::string& what) {
  try {
    action();
    ADD_FAILURE() << what << ": no exception";
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message) << what;
  }
}

// ---- TList -------------------------------------------------------------------

int a = 1, b = 2, c = 3, d = 4;

std::vector<void*> Items(const TList& list) {
  std::vector<void*> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Items(i));
  return out;
}

TEST(List, EditingKeepsOrder) {
  TList list;
  EXPECT_EQ(list.Add(&a), 0);
  EXPECT_EQ(list.Add(&c), 1);
  list.Insert(1, &b);
  list.Insert(3, &d);
  EXPECT_EQ(Items(list), (std::vector<void*>{&a, &b, &c, &d}));
  EXPECT_EQ(list.IndexOf(&c), 2);
  EXPECT_EQ(list.IndexOf(nullptr), -1);
  list.Exchange(0, 3);
  EXPECT_EQ(Items(list), (std::vector<void*>{&d, &b, &c, &a}));
  list.Move(0, 2);
  EXPECT_EQ(Items(list), (std::vector<void*>{&b, &c, &d, &a}));
  list.Move(3, 0);
  EXPECT_EQ(Items(list), (std::vector<void*>{&a, &b, &c, &d}));
  EXPECT_EQ(list.Remove(&b), 1);
  EXPECT_EQ(list.Remove(&b), -1);
  list.Delete(0);
  EXPECT_EQ(Items(list), (std::vector<void*>{&c, &d}));
  list.Add(nullptr);
  list.Add(&a);
  list.Pack();
  EXPECT_EQ(Items(list), (std::vector<void*>{&c, &d, &a}));
  list.Sort([](void* x, void* y) { return *static_cast<int*>(x) - *static_cast<int*>(y); });
  EXPECT_EQ(Items(list), (std::vector<void*>{&a, &c, &d}));
  EXPECT_GE(list.Capacity(), list.Count());
  list.SetCount(5);
  EXPECT_EQ(list.Items(4), nullptr);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(List, BadIndexesRaiseListError) {
  TList list;
  list.Add(&a);
  list.Add(&b);
  struct Case {
    const char* what;
    std::function<void()> action;
    const char* message;
  };
  const Case cases[] = {
      {"Items(-1)", [&] { list.Items(-1); }, "List index out of bounds (-1)"},
      {"Items(Count)", [&] { list.Items(2); }, "List index out of bounds (2)"},
      {"SetItems", [&] { list.SetItems(5, &c); }, "List index out of bounds (5)"},
      {"Delete(Count)", [&] { list.Delete(2); }, "List index out of bounds (2)"},
      {"Insert past the end", [&] { list.Insert(3, &c); }, "List index out of bounds (3)"},
      {"Exchange", [&] { list.Exchange(0, 7); }, "List index out of bounds (7)"},
      {"Move to", [&] { list.Move(0, 2); }, "List index out of bounds (2)"},
      {"Move from", [&] { list.Move(-1, 0); }, "List index out of bounds (-1)"},
      {"capacity below count", [&] { list.SetCapacity(1); }, "List capacity out of bounds (1)"},
      {"negative count", [&] { list.SetCount(-1); }, "List count out of bounds (-1)"},
  };
  for (const Case& cs : cases) ExpectError<EListError>(cs.action, cs.message, cs.what);
  EXPECT_EQ(Items(list), (std::vector<void*>{&a, &b}));  // nothing changed on the way
}

// A descendant that records what its list tells it.
class RecordingList : public TList {
 public:
  ~RecordingList() override { Clear(); }
  std::vector<std::pair<void*, TListNotification>> notices;

 protected:
  void Notify(void* item, TListNotification action) override { notices.emplace_back(item, action); }
};

TEST(List, DescendantsHearOfEveryChange) {
  RecordingList list;
  list.Add(&a);
  list.Insert(0, &b);
  list.Add(nullptr);  // nothing to tell about
  list.Delete(2);
  list.Extract(&a);
  list.SetItems(0, &c);
  list.Add(&d);
  list.Clear();
  using N = std::pair<void*, TListNotification>;
  EXPECT_EQ(list.notices, (std::vector<N>{{&a, lnAdded},
                                          {&b, lnAdded},
                                          {&a, lnExtracted},
                                          {&b, lnDeleted},
                                          {&c, lnAdded},
                                          {&d, lnAdded},
                                          {&d, lnDeleted},
                                          {&c, lnDeleted}}));
}

// ---- TStringList ---------------------------------------------------------------

TEST(StringList, SortedFindAndDuplicates) {
  struct Case {
    TDuplicates duplicates;
    int add_result;  // what Add("B") returns with "a", "b", "c" there
    int count_after;
  };
  const Case cases[] = {{dupIgnore, 1, 3}, {dupAccept, 2, 4}};
  for (const Case& cs : cases) {
    TStringList list;
    list.SetSorted(true);
    list.SetDuplicates(cs.duplicates);
    for (const char* s : {"c", "a", "b"}) list.Add(s);
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(list.Add("B"), cs.add_result);
    EXPECT_EQ(list.Count(), cs.count_after);
  }
  TStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupError);
  list.Add("x");
  ExpectError<EStringListError>([&] { list.Add("X"); }, "String list does not allow duplicates", "dupError");
  EXPECT_EQ(list.Count(), 1);
}

TEST(StringList, FindGivesTheInsertionPlace) {
  TStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupAccept);
  for (const char* s : {"b", "d", "d", "f"}) list.Add(s);
  struct Case {
    const char* s;
    bool found;
    int index;
  };
  const Case cases[] = {{"a", false, 0}, {"b", true, 0}, {"c", false, 1},
                        {"D", true, 1},  {"e", false, 3}, {"z", false, 4}};
  for (const Case& cs : cases) {
    int index = -1;
    EXPECT_EQ(list.Find(cs.s, &index), cs.found) << cs.s;
    EXPECT_EQ(index, cs.index) << cs.s;
    EXPECT_EQ(list.IndexOf(cs.s), cs.found ? cs.index : -1) << cs.s;
  }
}

TEST(StringList, SortsByRussianCollationAndKeepsObjects) {
  TStringList list;
  int tags[6];
  const char* words[] = {"яблоко", "Арбуз", "apple", "Banana", "ёж", "ель"};
  for (int i = 0; i < 6; ++i) list.AddObject(R(words[i]), &tags[i]);
  list.SetSorted(true);
  // Latin first; ё counts as е, so "ёж" comes before "ель".
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"apple", "Banana", R("Арбуз"), R("ёж"), R("ель"), R("яблоко")}));
  EXPECT_EQ(list.Objects(list.IndexOf(R("ЁЖ"))), &tags[4]);
  EXPECT_EQ(list.Objects(0), &tags[2]);
  // A sorted list refuses to be told where to put a string.
  ExpectError<EStringListError>([&] { list.Insert(0, "x"); }, "Operation not allowed on sorted list", "Insert");
  ExpectError<EStringListError>([&] { list.SetStrings(0, "x"); }, "Operation not allowed on sorted list",
                                "SetStrings");
  list.Add(R("Дыня"));
  EXPECT_EQ(list.IndexOf(R("дыня")), 3);
}

TEST(StringList, CaseSensitivity) {
  TStringList list;
  list.Add(R("Ёлка"));
  list.Add("Tree");
  EXPECT_EQ(list.IndexOf(R("ёЛКА")), 0);
  EXPECT_EQ(list.IndexOf("TREE"), 1);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf(R("ёЛКА")), -1);
  EXPECT_EQ(list.IndexOf("Tree"), 1);
  list.SetSorted(true);
  list.SetDuplicates(dupError);
  EXPECT_NO_THROW(list.Add("tree"));
  EXPECT_EQ(list.Count(), 3);
}

TEST(StringList, TextJoinsWithCrLfAndSplitsEveryBreak) {
  TStringList list;
  list.Add("a");
  list.Add("");
  list.Add(R("б"));
  EXPECT_EQ(list.Text(), "a\r\n\r\n" + R("б") + "\r\n");
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"a\r\nb", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb", {"a", "b"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"a\n\rb", {"a", "", "b"}},
      {"", {}},
      {"\r\n", {""}},
      {"x\r\n\r\n", {"x", ""}},
  };
  for (const Case& cs : cases) {
    list.SetText(cs.text);
    EXPECT_EQ(Lines(list), cs.lines) << testing::PrintToString(cs.text);
  }
}

TEST(StringList, CommaAndDelimitedText) {
  struct Out {
    std::vector<std::string> lines;
    std::string text;
  };
  const Out outs[] = {
      {{"a", "b c", ""}, "a,\"b c\","},
      {{""}, "\"\""},
      {{}, ""},
      {{"say \"hi\""}, "\"say \"\"hi\"\"\""},
      {{"a,b", "c"}, "\"a,b\",c"},
      {{R("Дом"), "x\ty"}, R("Дом") + ",\"x\ty\""},
  };
  for (const Out& o : outs) {
    TStringList list;
    for (const auto& s : o.lines) list.Add(s);
    EXPECT_EQ(list.CommaText(), o.text);
    // What is written reads back the same.
    TStringList back;
    back.SetCommaText(o.text);
    EXPECT_EQ(Lines(back), o.lines) << o.text;
  }
  struct In {
    std::string text;
    std::vector<std::string> lines;
  };
  const In ins[] = {
      {"a, \"b c\" ,d", {"a", "b c", "d"}},
      {"a b", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {"  a  ", {"a"}},
      {"\"x\"\"y\"", {"x\"y"}},
      {"\"open", {"open"}},
  };
  for (const In& in : ins) {
    TStringList list;
    list.SetCommaText(in.text);
    EXPECT_EQ(Lines(list), in.lines) << in.text;
  }
  TStringList list;
  list.SetDelimiter(';');
  list.SetQuoteChar('\'');
  list.SetDelimitedText("P;R;'a b';x,y");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"P", "R", "a b", "x,y"}));
  EXPECT_EQ(list.DelimitedText(), "P;R;'a b';x,y");
  EXPECT_EQ(list.CommaText(), "P,R,\"a b\",\"x,y\"");
}

TEST(StringList, NamesAndValues) {
  TStringList list;
  list.SetText("Default_dir=/home/u\r\nnoequals\r\nTable_1=a=b\r\n");
  EXPECT_EQ(list.Names(0), "Default_dir");
  EXPECT_EQ(list.Names(1), "");
  EXPECT_EQ(list.Values("default_DIR"), "/home/u");
  EXPECT_EQ(list.Values("Table_1"), "a=b");
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.ValueFromIndex(2), "a=b");
  list.SetValues("TABLE_1", "c");
  EXPECT_EQ(list.Strings(2), "TABLE_1=c");
  list.SetValues("Table_2", "d");
  EXPECT_EQ(list.Strings(3), "Table_2=d");
  list.SetValues("default_dir", "");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"noequals", "TABLE_1=c", "Table_2=d"}));
  EXPECT_EQ(list.IndexOfName("table_2"), 2);
}

TEST(StringList, ChangeNoticesWaitForTheLastEndUpdate) {
  TStringList list;
  int changing = 0;
  int changed = 0;
  std::vector<int> counts_seen;
  list.OnChanging = [&](TStringList*) { ++changing; };
  list.OnChange = [&](TStringList* sender) {
    ++changed;
    counts_seen.push_back(sender->Count());
  };
  list.Add("a");
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("b");
  list.Add("c");
  list.EndUpdate();
  list.Delete(0);
  EXPECT_EQ(changed, 1);
  list.EndUpdate();
  EXPECT_EQ(changing, 2);
  EXPECT_EQ(changed, 2);
  list.SetText("x\ny\nz");
  EXPECT_EQ(changed, 3);
  EXPECT_EQ(counts_seen, (std::vector<int>{1, 2, 3}));
}

TEST(StringList, CustomSortSeesTheListUnchanged) {
  TStringList list;
  list.SetCommaText("ccc,a,bb,dddd,ee");
  list.CustomSort([](TStringList& l, int i, int j) {
    const int by_length = static_cast<int>(l.Strings(j).size()) - static_cast<int>(l.Strings(i).size());
    return by_length != 0 ? by_length : AnsiCompareText(l.Strings(i), l.Strings(j));
  });
  EXPECT_EQ(list.CommaText(), "dddd,ccc,bb,ee,a");
}

TEST(StringList, FilesKeepTheBytes) {
  const std::string dir = testsupport::TempDir("strings");
  const std::string path = dir + "/" + AnsiToUtf8(R("список")) + ".txt";
  TStringList list;
  list.Add(R("Строка один"));
  list.Add("two");
  list.SaveToFile(path);
  EXPECT_EQ(testsupport::ReadFile(path), R("Строка один") + "\r\ntwo\r\n");
  testsupport::WriteFile(path, "a\nb\r\nc");
  list.LoadFromFile(path);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b", "c"}));
  ExpectError<EFOpenError>([&] { list.LoadFromFile(dir + "/none.txt"); },
                           "Cannot open file \"" + dir + "/none.txt\". No such file or directory.", "missing file");
  EXPECT_EQ(list.Count(), 3);  // a failed load keeps the list
}

// ---- Streams -----------------------------------------------------------------

// A stream that takes and gives at most `limit` bytes per call.
class TrickleStream : public TMemoryStream {
 public:
  explicit TrickleStream(int64_t limit) : limit_(limit) {}
  int64_t Read(void* buffer, int64_t count) override { return TMemoryStream::Read(buffer, std::min(count, limit_)); }
  int64_t Write(const void* buffer, int64_t count) override {
    return TMemoryStream::Write(buffer, std::min(count, limit_));
  }

 private:
  int64_t limit_;
};

TEST(Streams, ShortTransfersRaise) {
  const std::string dir = testsupport::TempDir("short");
  testsupport::WriteFile(dir + "/ro.bin", "12345");
  char buffer[16];
  struct Case {
    const char* what;
    std::function<void()> action;
    bool read;
  };
  const Case cases[] = {
      {"memory read past the end",
       [&] {
         TMemoryStream s;
         s.WriteBuffer("abc", 3);
         s.SetPosition(1);
         s.ReadBuffer(buffer, 3);
       },
       true},
      {"file read past the end",
       [&] {
         TFileStream s(dir + "/ro.bin", fmOpenRead);
         s.Seek(-2, soFromEnd);
         s.ReadBuffer(buffer, 3);
       },
       true},
      {"write to a file opened for reading",
       [&] {
         TFileStream s(dir + "/ro.bin", fmOpenRead | fmShareDenyNone);
         s.WriteBuffer("x", 1);
       },
       false},
      {"read from a file opened for writing",
       [&] {
         TFileStream s(dir + "/ro.bin", fmOpenWrite);
         s.ReadBuffer(buffer, 1);
       },
       true},
      {"a stream that writes in pieces",
       [&] {
         TrickleStream s(2);
         s.WriteBuffer("abc", 3);
       },
       false},
      {"copy of more than the source holds",
       [&] {
         TMemoryStream source, dest;
         source.WriteBuffer("abc", 3);
         source.SetPosition(0);
         dest.CopyFrom(source, 4);
       },
       true},
  };
  for (const Case& cs : cases) {
    if (cs.read) {
      ExpectError<EReadError>(cs.action, "Stream read error", cs.what);
    } else {
      ExpectError<EWriteError>(cs.action, "Stream write error", cs.what);
    }
  }
  // The file was not touched by the failed write.
  EXPECT_EQ(testsupport::ReadFile(dir + "/ro.bin"), "12345");
}

TEST(Streams, MemoryStreamSeekSizeAndCopy) {
  TMemoryStream s;
  s.WriteBuffer("hello world", 11);
  struct Case {
    int64_t offset;
    TSeekOrigin origin;
    int64_t position;
  };
  const Case cases[] = {{2, soFromBeginning, 2}, {3, soFromCurrent, 5}, {-5, soFromEnd, 6}, {-1, soCurrent, 5},
                        {20, soBeginning, 20}};
  for (const Case& cs : cases) EXPECT_EQ(s.Seek(cs.offset, cs.origin), cs.position);
  // Writing past the end fills the gap with zeros.
  s.WriteBuffer("!", 1);
  EXPECT_EQ(s.Size(), 21);
  EXPECT_EQ(std::string(s.Memory() + 9, 12), std::string("ld") + std::string(9, '\0') + "!");
  s.SetSize(4);
  EXPECT_EQ(s.Position(), 4);
  EXPECT_EQ(std::string(s.Bytes()), "hell");
  // A position before the start reads and writes nothing.
  s.Seek(-10, soFromBeginning);
  char c = 0;
  EXPECT_EQ(s.Read(&c, 1), 0);
  EXPECT_EQ(s.Write("x", 1), 0);
  EXPECT_EQ(std::string(s.Bytes()), "hell");

  TMemoryStream copy;
  copy.WriteBuffer(">", 1);
  s.SetPosition(3);
  EXPECT_EQ(copy.CopyFrom(s, 0), 4);  // 0: all of the source, from its start
  EXPECT_EQ(std::string(copy.Bytes()), ">hell");
  s.SetPosition(1);
  EXPECT_EQ(copy.CopyFrom(s, 2), 2);
  EXPECT_EQ(std::string(copy.Bytes()), ">hellel");
  copy.Clear();
  EXPECT_EQ(copy.Size(), 0);
  EXPECT_EQ(copy.Position(), 0);
}

// Records are written field by field: pieces at the end, a piece straddling
// the end after a step back, and pieces written over the middle.
TEST(Streams, MemoryStreamWritesPieceByPiece) {
  TMemoryStream s;
  std::string expected;
  for (int i = 0; i < 300; ++i) {
    const std::string piece(static_cast<size_t>(i % 7 + 1), static_cast<char>('a' + i % 26));
    s.WriteBuffer(piece.data(), static_cast<int64_t>(piece.size()));
    expected += piece;
    if (i % 50 == 49) {
      s.Seek(-2, soFromCurrent);
      s.WriteBuffer("XYZ", 3);
      expected.replace(expected.size() - 2, 2, "XYZ");
      s.Seek(3, soFromBeginning);
      s.WriteBuffer("mid", 3);
      expected.replace(3, 3, "mid");
      s.Seek(0, soFromEnd);
    }
    ASSERT_EQ(s.Position(), static_cast<int64_t>(expected.size())) << i;
  }
  EXPECT_EQ(s.Size(), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(std::string(s.Bytes()), expected);
}

TEST(Streams, ImpossibleMemorySizeIsAStreamError) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  ExpectError<EStreamError>([&] { s.SetSize(int64_t{1} << 62); }, "Out of memory while expanding memory stream",
                            "SetSize");
  for (int64_t far : {int64_t{1} << 62, INT64_MAX}) {
    EXPECT_EQ(s.Seek(far, soFromBeginning), far);
    ExpectError<EStreamError>([&] { s.WriteBuffer("x", 1); }, "Out of memory while expanding memory stream",
                              "write far out");
  }
  EXPECT_EQ(s.Seek(1, soFromCurrent), -1);  // would overflow: refused
  EXPECT_EQ(s.Position(), INT64_MAX);
  EXPECT_EQ(std::string(s.Bytes()), "abc");
}

TEST(Streams, StringStream) {
  TStringStream s("abcdef");
  EXPECT_EQ(s.ReadString(2), "ab");
  EXPECT_EQ(s.ReadString(100), "cdef");
  s.SetPosition(2);
  s.WriteString("XYZWV");
  EXPECT_EQ(s.DataString(), "abXYZWV");
}

TEST(Streams, FileStreamReadsWritesAndSaves) {
  const std::string dir = testsupport::TempDir("files");
  const std::string path = dir + "/data.bin";
  {
    TFileStream f(path, fmCreate | fmShareExclusive);
    f.WriteBuffer("0123456789", 10);
    EXPECT_EQ(f.Size(), 10);
    f.SetSize(6);
    EXPECT_EQ(f.Position(), 6);
  }
  {
    TFileStream f(path, fmOpenReadWrite | fmShareDenyWrite);
    f.Seek(2, soFromBeginning);
    f.WriteBuffer("ab", 2);
    char buffer[2];
    f.ReadBuffer(buffer, 2);
    EXPECT_EQ(std::string(buffer, 2), "45");
  }
  EXPECT_EQ(testsupport::ReadFile(path), "01ab45");
  TMemoryStream m;
  m.LoadFromFile(path);
  EXPECT_EQ(std::string(m.Bytes()), "01ab45");
  EXPECT_EQ(m.Position(), 0);
  m.SaveToFile(path + ".copy");
  EXPECT_EQ(testsupport::ReadFile(path + ".copy"), "01ab45");
  // fmCreate truncates an existing file.
  { TFileStream f(path, fmCreate); }
  EXPECT_EQ(testsupport::ReadFile(path), "");
}

TEST(Streams, FileStreamOffsetsBeyondFourGigabytes) {
  const std::string path = testsupport::TempDir("big") + "/sparse.bin";
  TFileStream f(path, fmCreate);
  const int64_t far = (int64_t{5} << 30) + 3;
  f.SetSize(far + 8);  // sparse: no real disk use
  EXPECT_EQ(f.Size(), far + 8);
  EXPECT_EQ(f.Seek(far, soFromBeginning), far);
  f.WriteBuffer("tail", 4);
  EXPECT_EQ(f.Position(), far + 4);
  f.Seek(-8, soFromEnd);
  char buffer[4];
  f.ReadBuffer(buffer, 4);
  EXPECT_EQ(std::string(buffer, 4), "tail");
  f.SetSize(0);
}

TEST(Streams, FileErrorsNameTheFileAndTheReason) {
  const std::string dir = testsupport::TempDir("errors");
  const std::string russian = dir + "/" + AnsiToUtf8(R("нет")) + "/x.bin";
  struct Case {
    const char* what;
    std::function<void()> action;
    bool create;
    std::string message;
  };
  const Case cases[] = {
      {"create in a missing folder", [&] { TFileStream f(dir + "/no/x.bin", fmCreate); }, true,
       "Cannot create file \"" + dir + "/no/x.bin\". No such file or directory."},
      {"open a missing file", [&] { TFileStream f(dir + "/x.bin", fmOpenRead); }, false,
       "Cannot open file \"" + dir + "/x.bin\". No such file or directory."},
      {"open a folder", [&] { TFileStream f(dir, fmOpenRead); }, false,
       "Cannot open file \"" + dir + "\". Is a directory."},
      {"a Russian name is shown in 1251", [&] { TFileStream f(russian, fmOpenReadWrite); }, false,
       "Cannot open file \"" + Utf8ToAnsi(russian) + "\". No such file or directory."},
  };
  for (const Case& cs : cases) {
    if (cs.create) {
      ExpectError<EFCreateError>(cs.action, cs.message, cs.what);
    } else {
      ExpectError<EFOpenError>(cs.action, cs.message, cs.what);
    }
  }
}

TEST(Streams, SavingOverAFileReplacesItWholeOrNotAtAll) {
  testsupport::SmallDisk disk("full", 64 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << "mounting a small disk takes root";
  const std::string path = disk.Path() + "/report.frf";
  const std::string old_bytes(3000, 'o');
  testsupport::WriteFile(path, old_bytes);
  ::chmod(path.c_str(), 0640);
  ::symlink("report.frf", (disk.Path() + "/link.frf").c_str());
  const std::string big(20000, 'n');
  TStringList lines;
  lines.Add(big);
  struct Case {
    const char* what;
    std::string name;  // the name the error shows
    std::function<void()> save;
  };
  const Case cases[] = {
      {"a memory stream", path, [&] {
         TMemoryStream m;
         m.WriteBuffer(big.data(), int64_t(big.size()));
         m.SaveToFile(path);
       }},
      {"a string list", path, [&] { lines.SaveToFile(path); }},
      {"a stream of its own, through a link", disk.Path() + "/link.frf", [&] {
         TReplaceFileStream f(disk.Path() + "/link.frf");
         f.WriteBuffer(big.data(), int64_t(big.size()));
         f.Commit();
       }},
  };
  disk.Fill(8 * 1024);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectError<EWriteError>(c.save, "Cannot write file \"" + c.name + "\". No space left on device.", c.what);
    // The old file as it was, and nothing half-written beside it.
    EXPECT_EQ(testsupport::ReadFile(path), old_bytes);
    EXPECT_EQ(disk.Names(), "link.frf report.frf");
  }
  // With room the file is replaced, keeps its permission bits, and a link
  // stays a link to it.
  disk.Fill(64 * 1024);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::WriteFile(path, old_bytes);
    c.save();
    EXPECT_EQ(testsupport::ReadFile(path).substr(0, big.size()), big);
    EXPECT_EQ(disk.Names(), "link.frf report.frf");
    struct stat st;
    ASSERT_EQ(::lstat((disk.Path() + "/link.frf").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
  }
  // A name that cannot be created names the file and the reason.
  ExpectError<EFCreateError>([&] { TReplaceFileStream f(disk.Path() + "/no/x.frf"); },
                             "Cannot create file \"" + disk.Path() + "/no/x.frf\". No such file or directory.",
                             "a missing folder");
}

// A file replaced whole keeps who may read and write it: its mode and group,
// and its owner when the saving process may set that (the superuser); a user
// saving another's file keeps at least its group. The test switches users,
// which takes root.
TEST(Streams, AReplacedFileKeepsItsOwnerGroupAndMode) {
  if (::geteuid() != 0) GTEST_SKIP() << "saving as another user takes root";
  const std::string dir = testsupport::TempDir("owner");
  ::chmod(dir.c_str(), 0777);  // not sticky: another user may replace the file
  const uid_t nobody = 65534;
  const gid_t group = 1;  // not the group of either saver
  struct Case {
    const char* who;
    bool as_nobody;
    unsigned mode;
    uid_t before;  // the owner before the save; after it, nobody owns each
  };
  const Case cases[] = {
      {"the superuser keeps the owner", false, 0660, nobody},
      {"the owner keeps the group", true, 0664, nobody},
      {"a member of the group saving root's file", true, 0666, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.who);
    const std::string path = dir + "/report.frf";
    ::unlink(path.c_str());
    testsupport::WriteFile(path, "old");
    ASSERT_EQ(::chown(path.c_str(), c.before, group), 0);
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
    const auto save = [&] {
      TMemoryStream m;
      m.WriteBuffer("new", 3);
      m.SaveToFile(path);
    };
    if (!c.as_nobody) {
      save();
    } else {
      const pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        int code = 0;
        if (::setgroups(1, &group) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) _exit(2);
        try {
          save();
        } catch (...) {
          code = 1;
        }
        _exit(code);
      }
      int status = 0;
      ::waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(testsupport::ReadFile(path), "new");
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(st.st_uid, nobody);
  }
}

// A save killed half way leaves its temporary file; the next save in that
// folder removes the ones of processes that are gone, and nothing else.
TEST(Streams, TemporaryFilesOfKilledSavesGoAtTheNextSave) {
  const std::string dir = testsupport::TempDir("stale");
  const pid_t gone = ::fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) _exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = ".~kiv7-" + std::to_string(gone) + "-3.tmp";
  const std::string mine = ".~kiv7-" + std::to_string(::getpid()) + "-900.tmp";
  const std::string parent = ".~kiv7-" + std::to_string(::getppid()) + "-1.tmp";
  const std::vector<std::string> kept = {mine, parent, ".~kiv7-" + std::to_string(gone) + "-3.tmpx",
                                         ".~kiv7-x-1.tmp", "other.tmp"};
  for (const std::string& name : kept) testsupport::WriteFile(dir + "/" + name, "x");
  testsupport::WriteFile(dir + "/" + dead, "half");
  TStringList lines;
  lines.Add("report");
  lines.SaveToFile(dir + "/report.txt");
  EXPECT_NE(::access((dir + "/" + dead).c_str(), F_OK), 0);
  for (const std::string& name : kept) EXPECT_EQ(::access((dir + "/" + name).c_str(), F_OK), 0) << name;
}

}  // namespace classes_test
