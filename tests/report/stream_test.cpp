// The template stream: the layout a template is written in, reading it back
// byte for byte, the versions and the oldest layout without a version byte,
// damaged and hostile streams (which must change nothing), objects of missing
// classes, the info block and the password of protected templates.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "report/fr_class.h"
#include "report/fr_dict.h"
#include "report/fr_globals.h"
#include "report/fr_page.h"
#include "report/fr_prntr.h"
#include "report/fr_tmpl.h"
#include "report/fr_memo.h"
#include "report/fr_views.h"
#include "report/fr_utils.h"
#include "tests/report/class_support.h"
#include "tests/support/testsupport.h"
#include "toolkit/core/binary.h"
#include "toolkit/core/classes.h"
#include "toolkit/core/sysutils.h"
#include "toolkit/core/text.h"

namespace stream_test {

using class_test::Hex;

constexpr double kFixedNow = 46000.5;

// Fixed clock, the test add-in class registered, engine state restored.
class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frGlobals();  // the library's texts
    RegisterStandardViews();
    saved_now_ = SetNowSource([] { return kFixedNow; });
    // Registered per test and taken out again, so the registry other suites
    // count is the same whatever order the cases run in.
    ASSERT_TRUE(RegisterAddInViewClass(
        "TfrTestAddIn", [] { return std::unique_ptr<TfrView>(std::make_unique<class_test::TestAddIn>()); }));
  }
  void TearDown() override {
    UnregisterAddInViewClass("TfrTestAddIn");
    SetNowSource(saved_now_);
  }

  // A template of two pages with three objects, a dictionary and info texts.
  static void Fill(TfrTemplate& t) {
    t.TwoPassBuild = true;
    t.PrinterName = "Office";
    TfrPage* first = t.Pages.Add();
    TfrPage* second = t.Pages.Add();
    int n = 0;
    for (TfrPage* page : {first, first, second}) {
      auto view = std::make_unique<class_test::TestAddIn>();
      ++n;
      view->Name = "Obj" + std::to_string(n);
      view->SetBounds(10 * n, 20 * n, 100 + n, 18);
      view->Memo.Add(Utf8ToAnsi("Текст ") + std::to_string(n));
      page->Objects.push_back(std::move(view));
    }
    t.Dictionary.VariableTable.AssignVariable(" Cat", "");
    t.Dictionary.VariableTable.AssignVariable("Twice", "2*2");
    t.Info.Name = Utf8ToAnsi("Протокол");
    t.Info.Autor = "Lab";
    t.Info.VBuild = "7";
    t.Info.Password = "";
    t.Info.Created = 45000.25;
  }

  static std::string Saved(TfrTemplate& t) {
    TMemoryStream out;
    t.SaveToStream(out);
    return std::string(out.Bytes());
  }

  static void Load(TfrTemplate& t, const std::string& bytes, bool from_file = false,
                   const TfrPasswordCheck& check = {}) {
    TStringStream in(bytes);
    t.LoadFromStream(in, from_file, check);
  }

  static std::vector<std::string> ObjectNames(const TfrTemplate& t) {
    std::vector<std::string> names;
    for (int i = 0; i < t.Pages.Count(); ++i)
      for (const auto& view : t.Pages.Pages(i)->Objects) names.push_back(view->Name);
    return names;
  }

  class_test::TestWork work_;
  TNowSource saved_now_;
};

// The numbers and flags every part of the stream is made of: signed values as
// little-endian two's complement, flags as a word that any non-zero value sets.
TEST(StreamNumbers, IntegersAndFlagsHaveOneLittleEndianForm) {
  const struct {
    int32_t value;
    const char* hex;
  } ints[] = {{0, "00 00 00 00"}, {1, "01 00 00 00"}, {-1, "FF FF FF FF"},
              {0x12345678, "78 56 34 12"}, {INT32_MIN, "00 00 00 80"}, {INT32_MAX, "FF FF FF 7F"}};
  for (const auto& c : ints) {
    TMemoryStream out;
    WriteInt(out, c.value);
    const std::string bytes(out.Bytes());
    EXPECT_EQ(Hex(bytes), c.hex) << c.value;
    TStringStream in(bytes);
    EXPECT_EQ(ReadInt(in), c.value);
  }
  const struct {
    const char* bytes;
    bool value;
  } flags[] = {{"\x00\x00", false}, {"\xFF\xFF", true}, {"\x01\x00", true}, {"\x00\x80", true}};
  for (const auto& c : flags) {
    TStringStream in(std::string(c.bytes, 2));
    EXPECT_EQ(ReadBool16(in), c.value) << Hex(std::string(c.bytes, 2));
  }
  for (bool value : {false, true}) {
    TMemoryStream out;
    WriteBool16(out, value);
    EXPECT_EQ(Hex(std::string(out.Bytes())), value ? "FF FF" : "00 00");
  }
  TStringStream short_int(std::string("\x01\x02\x03", 3));
  EXPECT_THROW(ReadInt(short_int), EReadError) << "a cut value is refused";
  TStringStream short_flag(std::string("\x01", 1));
  EXPECT_THROW(ReadBool16(short_flag), EReadError);
}

TEST_F(StreamTest, WrittenLayoutFramesEveryObjectWithTheNextPosition) {
  TfrTemplate t;
  Fill(t);
  const std::string bytes = Saved(t);
  // Header: version, two flags, the current printer's name (here the virtual
  // printer, stored as its mark).
  ASSERT_EQ(bytes.substr(0, 5), std::string("\x19\x00\x00\xFF\xFF", 5));
  ASSERT_TRUE(GlobalPrinterLayer().IsVirtual());
  ASSERT_EQ(bytes.substr(5, 4), std::string("\x01\x00\x01\x00", 4));
  // Two page records, then objects: type 10, class name, page index, next position.
  size_t pos = 9;
  for (int page = 0; page < 2; ++page) {
    ASSERT_EQ(static_cast<uint8_t>(bytes[pos]), kTagPage) << Hex(bytes);
    // An unnamed page with the caption "Form" and no script is 85 bytes;
    // these pages carry a generated name.
    const std::string name = t.Pages.Pages(page)->Name;
    pos += 1 + 85 + name.size();
  }
  for (int object = 0; object < 3; ++object) {
    SCOPED_TRACE(object);
    ASSERT_EQ(bytes[pos], gtAddIn);
    ASSERT_EQ(bytes.substr(pos + 1, 15), std::string("\x0C\x00TfrTestAddIn\x00", 15));
    EXPECT_EQ(bytes[pos + 16], object < 2 ? 0 : 1) << "page index";
    const uint32_t next = GetLE32(bytes.data() + pos + 17);
    // The record that follows ends exactly there.
    class_test::TestAddIn probe;
    TStringStream record(bytes.substr(pos + 21));
    probe.ReadRecord(record, 25);
    EXPECT_EQ(next, pos + 21 + record.Position());
    pos = next;
  }
  // The dictionary, the end tag and the info block close the stream.
  ASSERT_EQ(static_cast<uint8_t>(bytes[pos]), kTagDictionary);
  TfrDataDictionary dict;
  TStringStream rest(bytes.substr(pos + 1));
  dict.LoadFromStream(rest, 25);
  pos += 1 + rest.Position();
  ASSERT_EQ(static_cast<uint8_t>(bytes[pos]), kTagEnd);
  const std::string info = bytes.substr(pos + 1);
  const std::string name = Utf8ToAnsi("Протокол");
  std::string expected = std::string("\0\0", 2) + char(name.size()) + '\0' + name + std::string("\x03\x00Lab", 5) +
                         std::string(6, '\0') + std::string("\x01\x00" "7", 3) + std::string(2, '\0') + "\x58" +
                         '\0';
  std::string dates(16, '\0');
  PutLEDouble(dates.data(), 45000.25);
  PutLEDouble(dates.data() + 8, kFixedNow);
  EXPECT_EQ(Hex(info), Hex(expected + dates)) << "the last change is the time of writing";
}

TEST_F(StreamTest, ReadingBackReproducesTheTemplateByteForByte) {
  TfrTemplate t;
  Fill(t);
  t.Info.Password = "s3";
  t.KeepDefaultPrinter = true;
  const std::string bytes = Saved(t);

  TfrTemplate back;
  Load(back, bytes);
  EXPECT_EQ(back.Pages.Count(), 2);
  EXPECT_EQ(ObjectNames(back), (std::vector<std::string>{"Obj1", "Obj2", "Obj3"}));
  const TfrView& obj2 = *back.Pages.Pages(0)->Objects[1];
  EXPECT_EQ(std::vector<int>({obj2.Left, obj2.Top, obj2.Width, obj2.Height}), std::vector<int>({20, 40, 102, 18}));
  EXPECT_EQ(obj2.Memo.Text(), Utf8ToAnsi("Текст 2") + "\r\n");
  EXPECT_TRUE(back.TwoPassBuild);
  EXPECT_TRUE(back.KeepDefaultPrinter);
  EXPECT_EQ(back.PrinterName, VirtualPrinterName());
  EXPECT_EQ(back.Info.Password, "s3");
  EXPECT_EQ(back.Info.Created, 45000.25);
  EXPECT_EQ(back.Dictionary.VariableTable.VariableCount(), 2);
  EXPECT_EQ(Hex(Saved(back)), Hex(bytes));
}

TEST_F(StreamTest, PrinterNamesAreKeptAndSelectedWhenListed) {
  ASSERT_EQ(VirtualPrinterName(), Utf8ToAnsi("Виртуальный принтер"));
  TfrPrinter& printer = GlobalPrinterLayer();
  const int current = printer.PrinterIndex();
  const struct {
    const char* name;
    std::string stored;
    bool keep_default;
    AnsiString read;
  } cases[] = {
      {"the virtual printer's mark", std::string("\x01", 1), false, VirtualPrinterName()},
      {"the virtual printer kept aside", std::string("\x01", 1), true, VirtualPrinterName()},
      {"a printer this machine lacks", "Office", false, "Office"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMemoryStream s;
    WriteByte(s, 25);
    WriteWord(s, c.keep_default ? 0xFFFF : 0);
    WriteWord(s, 0);
    WriteCountedString(s, c.stored);
    WriteByte(s, kTagEnd);
    TfrTemplate t;
    Load(t, std::string(s.Bytes()));
    EXPECT_EQ(t.PrinterName, c.read);
    EXPECT_EQ(t.KeepDefaultPrinter, c.keep_default);
    EXPECT_EQ(printer.PrinterIndex(), current);
  }
}

// The oldest layout: no version byte, zero-terminated texts, a page record
// without bin and with six skipped bytes, objects without names or frames.
TEST_F(StreamTest, StreamWithoutVersionByteIsReadAsVersion21) {
  std::string s;
  s += std::string("\x00\x00", 2) + std::string("\x01\x00", 2) + "Old" + '\0';  // flags, printer
  s += '\xFF';
  const int32_t page_fields[] = {9, 2100, 2970, 0, 0, 0, 0};
  for (int32_t v : page_fields) PutLE32(&s, static_cast<uint32_t>(v));
  s += '\0' + std::string(6, '\0');  // portrait, skipped bytes
  s += std::string("\x00\x00\xFF\xFF", 4);  // PrintToPrevPage, use margins
  PutLE32(&s, 1);
  PutLE32(&s, 0);
  s += '\xFC';
  TfrTemplate t;
  Load(t, s);
  ASSERT_EQ(t.Pages.Count(), 1);
  EXPECT_TRUE(t.TwoPassBuild);
  EXPECT_EQ(t.PrinterName, "Old");
  EXPECT_EQ(t.Pages.Pages(0)->Name, "Page1");
  EXPECT_EQ(t.Info.GeneratorVersion, kGeneratorVersion) << "no info block: the info is reset";
  EXPECT_EQ(t.Info.Created, kFixedNow);
}

TEST_F(StreamTest, RefusedStreamsChangeNothing) {
  TfrTemplate base;
  Fill(base);
  const std::string good = Saved(base);
  const size_t first_object = good.find(std::string("\x0A\x0C\x00TfrTestAddIn", 15));
  ASSERT_NE(first_object, std::string::npos);

  auto with = [&](size_t at, const std::string& bytes) { return std::string(good).replace(at, bytes.size(), bytes); };
  // The first object's name and its end, its two version bytes, then left,
  // top, width, height.
  const size_t geometry = good.find("Obj1") + 4 + 3;
  ASSERT_EQ(GetLE32(&good[geometry]), 10u);
  ASSERT_EQ(GetLE32(&good[geometry + 12]), 18u);
  std::string next_backwards(4, '\0'), next_past_end(4, '\0');
  PutLE32(next_backwards.data(), static_cast<uint32_t>(first_object));
  PutLE32(next_past_end.data(), static_cast<uint32_t>(good.size() + 1));
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"version 26", with(0, "\x1A")},
      {"version 255", with(0, "\xFF")},
      {"an invalid record tag", with(first_object, "\x0B")},
      {"tag 251", with(first_object, "\xFB")},
      {"an object on a page not read", with(first_object + 16, "\x05")},
      {"a next position pointing back", with(first_object + 17, next_backwards)},
      {"a next position past the end", with(first_object + 17, next_past_end)},
      {"cut inside a page record", good.substr(0, 40)},
      {"cut inside the info block", good.substr(0, good.size() - 5)},
      {"a dictionary count of four billion", with(good.rfind('\xFE', good.size() - 40) + 3, "\xFF\xFF\xFF\xFF")},
      {"an object's top near the largest integer", with(geometry + 4 + 3, "\x7F")},
      {"an object's height near the largest integer", with(geometry + 12 + 3, "\x7F")},
      {"an object's left far below zero", with(geometry + 3, "\x80")},
      {"an empty stream", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TfrTemplate t;
    Fill(t);
    t.Info.Comment = "current";
    if (!c.bytes.empty()) {
      try {
        Load(t, c.bytes);
        ADD_FAILURE() << "loaded";
      } catch (const EfrFormatError& e) {
        EXPECT_EQ(e.Message(), Utf8ToAnsi("Неверный FRF формат"));
      }
    } else {
      Load(t, c.bytes);
    }
    EXPECT_EQ(ObjectNames(t), (std::vector<std::string>{"Obj1", "Obj2", "Obj3"}));
    EXPECT_EQ(t.Pages.Count(), 2);
    EXPECT_EQ(t.Dictionary.VariableTable.VariableCount(), 2) << "the dictionary is kept too";
    EXPECT_EQ(t.Info.Comment, "current");
    EXPECT_EQ(t.PrinterName, "Office");
  }
}

// A stream cut anywhere is refused and changes nothing, except right after
// the end tag: the info block is optional and is then reset.
TEST_F(StreamTest, EveryCutOfAGoodStreamIsRefusedAndChangesNothing) {
  TfrTemplate base;
  Fill(base);
  const std::string good = Saved(base);
  // The info block: seven texts, the password, two bytes and two dates.
  const std::string name = Utf8ToAnsi("Протокол");
  const size_t info_size = 8 * 2 + name.size() + 3 + 1 + 2 + 16;
  const size_t end_tag = good.size() - info_size - 1;
  ASSERT_EQ(static_cast<uint8_t>(good[end_tag]), kTagEnd);
  for (size_t length = 1; length < good.size(); ++length) {
    SCOPED_TRACE(length);
    TfrTemplate t;
    t.Pages.Add();
    t.Info.Comment = "current";
    if (length == end_tag + 1) {
      Load(t, good.substr(0, length));
      EXPECT_EQ(ObjectNames(t), (std::vector<std::string>{"Obj1", "Obj2", "Obj3"}));
      EXPECT_EQ(t.Info.Name, "");
      continue;
    }
    EXPECT_THROW(Load(t, good.substr(0, length)), EfrFormatError);
    EXPECT_EQ(t.Pages.Count(), 1);
    EXPECT_TRUE(t.Pages.Pages(0)->Objects.empty());
    EXPECT_EQ(t.Info.Comment, "current");
  }
}

TEST_F(StreamTest, ObjectsOfMissingClassesAreSkippedAndListed) {
  TfrTemplate base;
  Fill(base);
  std::string bytes = Saved(base);
  // Every object's class becomes one nobody registered.
  for (size_t at = bytes.find("TfrTestAddIn"); at != std::string::npos; at = bytes.find("TfrTestAddIn", at))
    bytes.replace(at, 12, "TfrGoneClass");
  TfrTemplate t;
  try {
    Load(t, bytes);
    FAIL() << "the missing classes are reported";
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(),
              "Report contains the following non-plugged components:\r"
              "TfrGoneClass\rTfrGoneClass\rTfrGoneClass\r"
              "You must include these components into your project.");
  }
  // The pages read stay; the objects of missing classes are not among them.
  EXPECT_EQ(t.Pages.Count(), 2);
  EXPECT_TRUE(ObjectNames(t).empty());
}

TEST_F(StreamTest, MissingClassBetweenKnownOnesKeepsTheOthers) {
  TfrTemplate base;
  Fill(base);
  std::string bytes = Saved(base);
  const size_t second = bytes.find("TfrTestAddIn", bytes.find("TfrTestAddIn") + 1);
  bytes.replace(second, 12, "TfrGoneClass");
  TfrTemplate t;
  EXPECT_THROW(Load(t, bytes), EClassNotFound);
  EXPECT_EQ(ObjectNames(t), (std::vector<std::string>{"Obj1", "Obj3"}));
}

TEST_F(StreamTest, ProtectedTemplateAsksForItsPasswordOnlyFromFiles) {
  TfrTemplate base;
  Fill(base);
  base.Info.Password = "secret";
  base.Info.Protection = 1;
  const std::string bytes = Saved(base);

  const struct {
    const char* name;
    bool from_file;
    bool confirmed;
    int asked;
    int pages;
  } cases[] = {
      {"from the form description", false, false, 0, 2},
      {"from a file, right password", true, true, 1, 2},
      {"from a file, wrong or cancelled", true, false, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TfrTemplate t;
    t.FileName = "report.frf";
    int asked = 0;
    Load(t, bytes, c.from_file, [&](const AnsiString& password) {
      ++asked;
      EXPECT_EQ(password, "secret");
      return c.confirmed;
    });
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(t.Pages.Count(), c.pages);
    if (c.pages == 1) {
      EXPECT_TRUE(t.Pages.Pages(0)->Objects.empty());
      EXPECT_EQ(t.Info.Password, "");
      EXPECT_EQ(t.Info.Protection, 0);
      EXPECT_EQ(t.FileName, LoadReportString(55209));
    } else {
      EXPECT_EQ(t.Info.Password, "secret");
    }
  }
}

TEST_F(StreamTest, TemplateFilesKeepTheirBytes) {
  TfrTemplate t;
  Fill(t);
  const std::string path = testsupport::TempDir("stream_test") + "/kept.frf";
  t.SaveToFile(path);
  TfrTemplate back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.FileName, path);
  EXPECT_EQ(Hex(Saved(back)), Hex(Saved(t)));
}

// A stream of the given version with one page and the framed objects given:
// each is the type code, the class name (code 10), the page index, the next
// position when asked for (0 or the end of the record), the record and any
// trailing bytes.
struct FramedObject {
  uint8_t type_code;
  std::string class_name;
  std::string record;
  std::string trailer;
  bool next_zero = false;
};

std::string StreamOf(int version, const std::vector<FramedObject>& objects) {
  TMemoryStream out;
  WriteByte(out, static_cast<uint8_t>(version));
  WriteWord(out, 0);
  WriteWord(out, 0);
  WriteCountedString(out, "");
  WriteByte(out, kTagPage);
  TfrPage page(kDefaultPaperSize, 0, 0, kDefaultBin, 0);
  page.WriteRecord(out);
  for (const auto& o : objects) {
    WriteByte(out, o.type_code);
    if (o.type_code == gtAddIn) WriteCountedString(out, o.class_name);
    WriteByte(out, 0);
    const int64_t after = out.Position() + 4 + static_cast<int64_t>(o.record.size() + o.trailer.size());
    WriteDword(out, o.next_zero ? 0 : static_cast<uint32_t>(after));
    out.WriteBuffer(o.record.data(), static_cast<int64_t>(o.record.size()));
    if (!o.trailer.empty()) out.WriteBuffer(o.trailer.data(), static_cast<int64_t>(o.trailer.size()));
  }
  WriteByte(out, kTagEnd);
  return std::string(out.Bytes());
}

std::string MemoRecord(const char* name, const char* text) {
  TfrMemoView memo;
  memo.Name = name;
  memo.Memo.Add(text);
  TMemoryStream out;
  memo.WriteRecord(out);
  return std::string(out.Bytes());
}

TEST_F(StreamTest, FramedMemoObjectsAreTextObjectsWithEightMoreBytes) {
  // Without a next position the eight bytes after the record must be skipped
  // for the following object to be found.
  const std::string bytes =
      StreamOf(24, {{gtAddIn, "TfrFramedMemoView", MemoRecord("Framed", "a"), std::string(8, '\x7F'), true},
                    {gtMemo, "", MemoRecord("Plain", "b"), "", true}});
  TfrTemplate t;
  Load(t, bytes);
  ASSERT_EQ(ObjectNames(t), (std::vector<std::string>{"Framed", "Plain"}));
  const TfrView& framed = *t.Pages.Pages(0)->Objects[0];
  EXPECT_EQ(framed.TypeCode, gtMemo);
  EXPECT_NE(dynamic_cast<const TfrMemoView*>(&framed), nullptr);
  EXPECT_EQ(framed.Memo.Text(), "a\r\n");
}

TEST_F(StreamTest, ObjectsOfUnknownTypeCodesAreSkippedThroughTheirFrames) {
  std::vector<FramedObject> objects;
  for (uint8_t code = 5; code <= 9; ++code) objects.push_back({code, "", MemoRecord("Odd", "x"), ""});
  objects.push_back({gtMemo, "", MemoRecord("Kept", "y"), ""});
  TfrTemplate t;
  Load(t, StreamOf(25, objects));
  EXPECT_EQ(ObjectNames(t), (std::vector<std::string>{"Kept"}));
  EXPECT_FALSE(frEngine().ClassNotFound) << "no class is missing";
}

TEST_F(StreamTest, OldLookupControlNamesAreLookedUpByTheirNewName) {
  for (const char* old : {"TFRBDELOOKUPCONTROL", "TfrIBXLookupControl"}) {
    SCOPED_TRACE(old);
    TfrTemplate t;
    try {
      Load(t, StreamOf(25, {{gtAddIn, old, MemoRecord("L", ""), ""}}));
      ADD_FAILURE() << "the lookup control is not registered here";
    } catch (const EClassNotFound& e) {
      EXPECT_NE(e.Message().find("\rTfrDBLookupControl\r"), std::string::npos) << e.Message();
    }
  }
}

// Records what it was drawn with.
class AlignProbe : public class_test::TestView {
 public:
  void DrawTo(TCanvas* canvas) override {
    drawn_on = canvas;
    page = frRunningBuild().CurPage;
  }
  TCanvas* drawn_on = nullptr;
  TfrPage* page = nullptr;
};

TEST_F(StreamTest, BandAlignmentPassDrawsOnlyAlignedObjectsWithTheirPageCurrent) {
  TfrTemplate t;
  TfrPage* first = t.Pages.Add();
  TfrPage* second = t.Pages.Add();
  std::vector<AlignProbe*> probes;
  for (auto [page, align] : {std::pair{first, baNone}, {first, baRight}, {second, baBottom}}) {
    auto probe = std::make_unique<AlignProbe>();
    probe->BandAlign = align;
    probes.push_back(probe.get());
    page->Objects.push_back(std::move(probe));
  }
  frRunningBuild().CurPage = nullptr;
  t.Pages.AlignBands();
  EXPECT_EQ(probes[0]->drawn_on, nullptr);
  EXPECT_EQ(probes[1]->drawn_on, &frScratchCanvas());
  EXPECT_EQ(probes[1]->page, first);
  EXPECT_EQ(probes[2]->page, second);
  EXPECT_EQ(frRunningBuild().CurPage, nullptr) << "the current page is put back";
}

// The common record of an object as streams before version 24 hold it:
// version 23 names it and counts its texts; version 22 does neither and
// carries no script or visibility.
std::string OldRecord(int version, const std::string& name, int left, const std::string& text) {
  std::string r;
  if (version == 23) r += std::string(1, static_cast<char>(name.size())) + '\0' + name + '\0';
  const uint32_t fixed[] = {static_cast<uint32_t>(left), 5, 50, 10};
  for (uint32_t v : fixed) PutLE32(&r, v);
  r += std::string(4, '\0') + std::string("\x01\x00\x00\x00", 4) + std::string(4, '\0') + std::string(2, '\0');
  PutLE32(&r, 0x1FFFFFFF);  // no fill
  PutLE32(&r, 0);           // format word
  if (version == 23) {
    r += std::string("\x00\x00\x00", 3);  // format text
    r += std::string("\x01\x00", 2) + char(text.size()) + '\0' + text + '\0';
    r += std::string("\x00\x00\x00", 3);  // script
    r += std::string("\xFF\xFF", 2);       // visible
  } else {
    r += '\0';             // format text
    r += text + '\0';      // lines
  }
  return r;
}

TEST_F(StreamTest, OlderStreamsReadTheirObjectsInTheirOwnLayout) {
  for (int version : {22, 23}) {
    SCOPED_TRACE(version);
    std::string s(1, static_cast<char>(version));
    s += std::string(4, '\0');
    s += version == 23 ? std::string(3, '\0') : std::string(1, '\0');  // printer name
    s += '\xFF';
    const int32_t page_fields[] = {-1, 9, 2100, 2970, 0, 0, 0, 0};
    for (int32_t v : page_fields) PutLE32(&s, static_cast<uint32_t>(v));
    s += '\0';
    if (version < 23) s += std::string(6, '\0');
    s += std::string("\x00\x00\xFF\xFF", 4);
    PutLE32(&s, 1);
    PutLE32(&s, 0);
    for (int n = 1; n <= 2; ++n) {
      s += '\x0A';
      s += version == 23 ? std::string("\x0C\x00TfrTestAddIn\x00", 15) : std::string("TfrTestAddIn\0", 13);
      s += '\0';  // page index
      s += OldRecord(version, "Old" + std::to_string(n), 10 * n, "t" + std::to_string(n));
    }
    s += '\xFC';

    TfrTemplate t;
    // The names made for version 22 are unique within the template read.
    Load(t, s);
    EXPECT_EQ(ObjectNames(t), version == 23 ? (std::vector<std::string>{"Old1", "Old2"})
                                            : (std::vector<std::string>{"View1", "View2"}));
    const auto& objects = t.Pages.Pages(0)->Objects;
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[1]->Left, 20);
    EXPECT_EQ(objects[1]->Memo.Text(), "t2\r\n");
    EXPECT_EQ(t.Pages.Pages(0)->Name, "Page1");
  }
}

TEST_F(StreamTest, PasswordIsStoredAsHexadecimalText) {
  TfrTemplate t;
  t.Info.Password = "s3";
  const std::string bytes = Saved(t);
  EXPECT_NE(bytes.find(std::string("\x04\x00" "7333\x58", 7)), std::string::npos) << Hex(bytes);
}

TEST_F(StreamTest, ExtensionDataEndsTheRecordsAndIsLeftUnread) {
  TfrTemplate base;
  Fill(base);
  std::string bytes = Saved(base);
  const size_t end_tag = bytes.rfind(std::string(1, '\xFC') + std::string(2, '\0'));
  ASSERT_NE(end_tag, std::string::npos);
  // No extension exists here: what follows its tag is nobody's to read.
  bytes = bytes.substr(0, end_tag) + "\xFD" + "extension bytes";
  TfrTemplate t;
  Load(t, bytes);
  EXPECT_EQ(ObjectNames(t), (std::vector<std::string>{"Obj1", "Obj2", "Obj3"}));
  EXPECT_EQ(t.Info.Name, "") << "the info is reset";
  EXPECT_EQ(t.Dictionary.VariableTable.VariableCount(), 2);
}

}  // namespace stream_test
