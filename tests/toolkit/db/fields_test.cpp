// Conversions, null, texts and errors of each field class, one table per class.
#include <cmath>
#include <functional>

#include <gtest/gtest.h>

#include "toolkit/core/classes.h"
#include "toolkit/db/db.h"
#include "toolkit/db/memdataset.h"

namespace fields_test {

// A record in insert mode with a column of every field class.
class Record : public ::testing::Test {
 protected:
  void SetUp() override {
    ScopedDefaults();
    auto& d = ds.FieldDefs();
    d.AppendNamedDef("S", ftString, 5);
    d.AppendNamedDef("I", ftInteger);
    d.AppendNamedDef("SM", ftSmallint);
    d.AppendNamedDef("W", ftWord);
    d.AppendNamedDef("A", ftAutoInc);
    d.AppendNamedDef("L", ftLargeint);
    d.AppendNamedDef("F", ftFloat);
    d.AppendNamedDef("C", ftCurrency);
    d.AppendNamedDef("B", ftBCD, 4);
    d.AppendNamedDef("BO", ftBoolean);
    d.AppendNamedDef("D", ftDate);
    d.AppendNamedDef("T", ftTime);
    d.AppendNamedDef("DT", ftDateTime);
    d.AppendNamedDef("TS", ftTimeStamp);
    d.AppendNamedDef("BY", ftBytes, 4);
    d.AppendNamedDef("VB", ftVarBytes, 4);
    d.AppendNamedDef("M", ftMemo);
    d.AppendNamedDef("BL", ftBlob);
    d.AppendNamedDef("G", ftGraphic);
    ds.Activate();
    ds.StartAppend();
  }
  void ScopedDefaults() { settings_ = std::make_unique<ScopedFormatSettings>(TFormatSettings::Russian()); }

  struct Case {
    const char* what;
    std::function<void(TField*)> act;             // writes (and may read)
    std::function<std::string(TField*)> read;     // what is checked afterwards
    std::string expected;                         // the reading, or a part of the error message
    bool error = false;
  };
  void Run(const char* field, const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(field) + ": " + c.what);
      TField* f = ds.FieldNamed(field);
      f->ClearValue();
      try {
        c.act(f);
        if (c.error) {
          ADD_FAILURE() << "no error";
          continue;
        }
        EXPECT_EQ(c.read(f), c.expected);
      } catch (const Exception& e) {
        if (!c.error) {
          ADD_FAILURE() << "unexpected error: " << e.Message();
          continue;
        }
        EXPECT_NE(e.Message().find(c.expected), std::string::npos) << e.Message();
      }
    }
  }

  TMemDataSet ds{nullptr};
  std::unique_ptr<ScopedFormatSettings> settings_;
};

std::string Str(TField* f) { return f->GetStringValue(); }
std::string Display(TField* f) { return f->FormatForDisplay(true); }
std::string EditText(TField* f) { return f->FormatForDisplay(false); }
std::string Null(TField* f) { return f->HoldsNull() ? "null" : "value"; }
std::string Int(TField* f) { return std::to_string(f->GetIntegerValue()); }
std::string Bool(TField* f) { return f->GetBooleanValue() ? "true" : "false"; }
std::string Float(TField* f) { return FloatToStr(f->GetFloatValue()); }

TEST_F(Record, StringField) {
  Run("S", {
               {"a new value is null", [](TField*) {}, Null, "null"},
               {"the empty string is a value", [](TField* f) { f->SetStringValue(""); }, Null, "value"},
               {"text longer than the size is cut", [](TField* f) { f->SetStringValue("abcdefgh"); }, Str, "abcde"},
               {"an integer is written as its text", [](TField* f) { f->SetIntegerValue(-12); }, Str, "-12"},
               {"text reads as an integer", [](TField* f) { f->SetStringValue("42"); }, Int, "42"},
               {"text that is no number fails", [](TField* f) {
                  f->SetStringValue("4x");
                  (void)f->GetIntegerValue();
                }, Str, "'4x' is not a valid integer value", true},
               {"true is written as T", [](TField* f) { f->SetBooleanValue(true); }, Str, "T"},
               {"y reads as true", [](TField* f) { f->SetStringValue("yes"); }, Bool, "true"},
               {"a float uses the locale's comma", [](TField* f) { f->SetFloatValue(2.5); }, Str, "2,5"},
               {"null reads as empty text", [](TField* f) { f->ClearValue(); }, Str, ""},
               {"a Null variant clears", [](TField* f) {
                  f->SetStringValue("x");
                  f->SetVariantValue(::Null());
                }, Null, "null"},
           });
}

TEST_F(Record, IntegerFields) {
  Run("I", {
               {"text is parsed", [](TField* f) { f->SetStringValue("-7"); }, Int, "-7"},
               {"empty text clears", [](TField* f) { f->SetStringValue(""); }, Null, "null"},
               {"text that is no integer fails", [](TField* f) { f->SetStringValue("1,5"); }, Str,
                "'1,5' is not a valid integer value for field 'I'", true},
               {"a float is rounded half to even", [](TField* f) { f->SetFloatValue(2.5); }, Int, "2"},
               {"3.5 rounds up", [](TField* f) { f->SetFloatValue(3.5); }, Int, "4"},
               {"a float beyond 32 bits fails", [](TField* f) { f->SetFloatValue(5e9); }, Str,
                "is not a valid value for field 'I'", true},
               {"Boolean access fails", [](TField* f) { (void)f->GetBooleanValue(); }, Str,
                "Cannot access field 'I' as type Boolean", true},
               {"the display format applies", [](TField* f) {
                  static_cast<TIntegerField*>(f)->SetDisplayFormat("000");
                  f->SetIntegerValue(7);
                }, Display, "007"},
               {"null reads as 0 and empty text", [](TField*) {}, [](TField* f) { return Int(f) + "|" + Str(f); }, "0|"},
           });
  Run("SM", {
                {"the small integer range is checked", [](TField* f) { f->SetIntegerValue(40000); }, Str,
                 "40000 is not a valid value for field 'SM'. The allowed range is -32768 to 32767", true},
                {"negative values keep their sign", [](TField* f) { f->SetIntegerValue(-32768); }, Int, "-32768"},
            });
  Run("W", {
               {"a word takes no negative values", [](TField* f) { f->SetIntegerValue(-1); }, Str,
                "The allowed range is 0 to 65535", true},
               {"a word holds 65535", [](TField* f) { f->SetIntegerValue(65535); }, Int, "65535"},
           });
  Run("L", {
               {"64-bit text is parsed", [](TField* f) { f->SetStringValue("9000000000"); }, Str, "9000000000"},
               {"too large for an integer reading", [](TField* f) {
                  f->SetStringValue("9000000000");
                  (void)f->GetIntegerValue();
                }, Str, "Range check error", true},
           });
  EXPECT_TRUE(ds.FieldNamed("I")->IsValidChar('-'));
  EXPECT_FALSE(ds.FieldNamed("I")->IsValidChar(','));
}

TEST_F(Record, FloatFields) {
  Run("F", {
               {"text with the decimal comma", [](TField* f) { f->SetStringValue("1,25"); }, Float, "1,25"},
               {"text that is no number fails", [](TField* f) { f->SetStringValue("abc"); }, Str,
                "'abc' is not a valid floating point value for field 'F'", true},
               {"general text has 15 significant digits", [](TField* f) { f->SetFloatValue(1.0 / 3); }, Display,
                "0,333333333333333"},
               {"the display format applies", [](TField* f) {
                  static_cast<TFloatField*>(f)->SetDisplayFormat("0.00");
                  f->SetFloatValue(2.5);
                }, Display, "2,50"},
               {"the edit format applies to the edit text", [](TField* f) {
                  static_cast<TFloatField*>(f)->SetEditFormat("0.000");
                  f->SetFloatValue(2.5);
                }, EditText, "2,500"},
               {"range limits are checked when set", [](TField* f) {
                  static_cast<TFloatField*>(f)->SetMaxValue(10);
                  f->SetFloatValue(11);
                }, Str, "11 is not a valid value for field 'F'. The allowed range is 0 to 10", true},
               {"integer reading rounds", [](TField* f) { f->SetFloatValue(2.6); }, Int, "3"},
           });
  Run("C", {
               {"currency edits as fixed with two decimals", [](TField* f) { f->SetFloatValue(2.5); }, EditText, "2,50"},
           });
  Run("B", {
               {"BCD keeps four decimals", [](TField* f) { f->SetFloatValue(1.23456); }, Str, "1,2346"},
               {"BCD round-trips through its native layout", [](TField* f) {
                  f->SetCurrencyValue(Currency::FromScaled(-12345678));
                }, [](TField* f) { return std::to_string(f->GetCurrencyValue().Scaled); }, "-12345678"},
               {"BCD text that is no number fails", [](TField* f) { f->SetStringValue("x1"); }, Str,
                "'x1' is not a valid floating point value for field 'B'", true},
           });
  EXPECT_TRUE(ds.FieldNamed("F")->IsValidChar(','));
  EXPECT_TRUE(ds.FieldNamed("F")->IsValidChar('E'));
  EXPECT_FALSE(ds.FieldNamed("F")->IsValidChar('x'));
}

TEST_F(Record, BooleanField) {
  Run("BO", {
                {"True and False are the texts", [](TField* f) { f->SetBooleanValue(true); }, Str, "True"},
                {"a leading part of a text is enough", [](TField* f) { f->SetStringValue("fa"); }, Bool, "false"},
                {"case does not matter", [](TField* f) { f->SetStringValue("TRUE"); }, Bool, "true"},
                {"another word fails", [](TField* f) { f->SetStringValue("maybe"); }, Str,
                 "'maybe' is not a valid boolean value for field 'BO'", true},
                {"any non-zero word is true", [](TField* f) {
                   const uint16_t word = 0x0100;
                   f->SetData(&word);
                 }, Bool, "true"},
                {"display values replace the texts", [](TField* f) {
                   static_cast<TBooleanField*>(f)->SetDisplayValues("Yes;No");
                   f->SetStringValue("n");
                 }, Str, "No"},
                {"empty text clears", [](TField* f) {
                   static_cast<TBooleanField*>(f)->SetDisplayValues("");
                   f->SetStringValue("");
                 }, Null, "null"},
                {"integer access fails", [](TField* f) { (void)f->GetIntegerValue(); }, Str,
                 "Cannot access field 'BO' as type Integer", true},
            });
}

TEST_F(Record, DateAndTimeFields) {
  const TDateTime when = EncodeDate(2023, 3, 15) + EncodeTime(10, 20, 30, 0);
  Run("D", {
               {"the time of day is dropped", [when](TField* f) { f->SetDateTimeValue(when); }, Float,
                FloatToStr(EncodeDate(2023, 3, 15))},
               {"the text is the short date", [when](TField* f) { f->SetDateTimeValue(when); }, Str, "15.03.2023"},
               {"text is parsed as a date", [](TField* f) { f->SetStringValue("01.02.2003"); }, Str, "01.02.2003"},
               {"a bad date fails", [](TField* f) { f->SetStringValue("31.02.2023"); }, Str,
                "'31.02.2023' is not a valid date", true},
               {"the display format applies", [when](TField* f) {
                  static_cast<TDateTimeField*>(f)->SetDisplayFormat("yyyy");
                  f->SetDateTimeValue(when);
                }, Display, "2023"},
           });
  Run("T", {
               {"the date is dropped", [when](TField* f) { f->SetDateTimeValue(when); }, Str, "10:20:30"},
               {"a bad time fails", [](TField* f) { f->SetStringValue("25:00"); }, Str, "is not a valid time", true},
           });
  Run("DT", {
                {"date and time", [when](TField* f) { f->SetDateTimeValue(when); }, Str, "15.03.2023 10:20:30"},
                {"float access is the date-time number", [when](TField* f) { f->SetFloatValue(when); }, Str,
                 "15.03.2023 10:20:30"},
            });
  Run("TS", {
                {"a time stamp from a date-time", [when](TField* f) { f->SetDateTimeValue(when); },
                 [](TField* f) {
                   const TSQLTimeStamp s = f->GetSQLTimeStampValue();
                   return std::to_string(s.Year) + "-" + std::to_string(s.Month) + "-" + std::to_string(s.Day) + " " +
                          std::to_string(s.Hour);
                 },
                 "2023-3-15 10"},
                {"an impossible stamp is refused", [](TField* f) {
                   TSQLTimeStamp s;
                   s.Year = 2023;
                   s.Month = 13;
                   s.Day = 1;
                   f->SetSQLTimeStampValue(s);
                 }, Str, "Invalid SQL time stamp", true},
            });
}

TEST_F(Record, BinaryAndBlobFields) {
  Run("BY", {
                {"fixed bytes are padded to the size", [](TField* f) { f->SetStringValue("ab"); }, Str,
                 std::string("ab\0\0", 4)},
                {"the display text names the kind", [](TField* f) { f->SetStringValue("ab"); }, Display, "(Bytes)"},
            });
  Run("VB", {
                {"variable bytes keep their length", [](TField* f) { f->SetStringValue("ab"); }, Str, "ab"},
                {"a byte array is taken", [](TField* f) { f->SetVariantValue(VarArrayOf({1, 2, 255})); }, Str,
                 "\x01\x02\xff"},
                {"a byte above 255 is refused", [](TField* f) { f->SetVariantValue(VarArrayOf({1, 300})); }, Str,
                 "Invalid variant type or size", true},
            });
  Run("M", {
               {"memo text round-trips", [](TField* f) { f->SetStringValue("line one\r\nline two"); }, Str,
                "line one\r\nline two"},
               {"a memo with text shows (MEMO)", [](TField* f) { f->SetStringValue("x"); }, Display, "(MEMO)"},
               {"an empty memo shows (Memo)", [](TField*) {}, Display, "(Memo)"},
               {"an empty memo is null", [](TField* f) { f->SetStringValue(""); }, Null, "null"},
           });
  Run("BL", {
                {"bytes load from a stream", [](TField* f) {
                   TStringStream in(std::string_view("\x00\x01payload", 9));
                   static_cast<TBlobField*>(f)->LoadFromStream(in);
                 },
                 [](TField* f) {
                   TStringStream out;
                   static_cast<TBlobField*>(f)->SaveToStream(out);
                   return out.DataString();
                 },
                 std::string("\x00\x01payload", 9)},
            });
}

TEST_F(Record, EventsOfAField) {
  TField* f = ds.FieldNamed("I");
  std::vector<std::string> log;
  f->OnValidate = [&log](TField* sender) {
    // The handler sees the value being written and may refuse it.
    log.push_back("validate " + sender->GetStringValue());
    if (sender->GetIntegerValue() < 0) throw EDatabaseError("negative");
  };
  f->OnChange = [&log](TField* sender) { log.push_back("change " + sender->GetStringValue()); };
  f->OnGetText = [](TField* sender, AnsiString& text, bool display) {
    text = (display ? "#" : "=") + sender->GetStringValue();
  };
  f->OnSetText = [](TField* sender, const AnsiString& text) { sender->SetIntegerValue(StrToInt(text) * 10); };
  f->SetIntegerValue(5);
  EXPECT_THROW(f->SetIntegerValue(-1), EDatabaseError);
  EXPECT_EQ(f->GetIntegerValue(), 5);
  f->AcceptText("3");
  EXPECT_EQ(f->GetIntegerValue(), 30);
  EXPECT_EQ(f->FormatForDisplay(true), "#30");
  EXPECT_EQ(f->FormatForDisplay(false), "=30");
  EXPECT_EQ(log, (std::vector<std::string>{"validate 5", "change 5", "validate -1", "validate 30", "change 30"}));
}

TEST_F(Record, NullReadsAsTheEmptyValueOfEachClass) {
  struct Case {
    const char* field;
    const char* text;     // a value to write first
    const char* display;  // the display text of a null value
  };
  const Case cases[] = {
      {"S", "1", ""},          {"I", "1", ""},           {"SM", "1", ""},
      {"W", "1", ""},          {"A", "1", ""},           {"L", "1", ""},
      {"F", "1", ""},          {"C", "1", ""},           {"B", "1", ""},
      {"BO", "True", ""},      {"D", "01.02.2003", ""},  {"T", "10:00", ""},
      {"DT", "01.02.2003", ""}, {"TS", "01.02.2003 10:00", ""}, {"BY", "1", "(Bytes)"},
      {"VB", "1", "(VarBytes)"}, {"M", "1", "(Memo)"},    {"BL", "1", "(Blob)"},
      {"G", "1", "(Graphic)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    TField* f = ds.FieldNamed(c.field);
    f->SetStringValue(c.text);
    ASSERT_FALSE(f->HoldsNull());
    f->ClearValue();
    EXPECT_TRUE(f->HoldsNull());
    EXPECT_TRUE(VarIsNull(f->GetVariantValue()));
    EXPECT_EQ(f->GetStringValue(), "");
    EXPECT_EQ(f->FormatForDisplay(true), c.display);
    // Writing Null through the variant clears as well.
    f->SetStringValue(c.text);
    ASSERT_FALSE(f->HoldsNull());
    f->SetVariantValue(::Null());
    EXPECT_TRUE(f->HoldsNull());
  }
  // The numeric readings of null are zero, the Boolean one false.
  for (const char* name : {"I", "SM", "W", "A", "L", "F", "C", "B", "D", "T", "DT", "TS"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(ds.FieldNamed(name)->GetFloatValue(), 0.0);
  }
  EXPECT_FALSE(ds.FieldNamed("BO")->GetBooleanValue());
}

TEST_F(Record, AutoIncAndCurrencyFields) {
  Run("A", {
               {"an auto-increment value is an integer", [](TField* f) { f->SetIntegerValue(17); }, Int, "17"},
               {"its variant is a 32-bit integer", [](TField* f) { f->SetIntegerValue(17); },
                [](TField* f) { return std::to_string(VarType(f->GetVariantValue())); }, std::to_string(varInteger)},
           });
  Run("C", {
               {"currency displays with the money sign", [](TField* f) { f->SetFloatValue(1234.5); }, Display,
                FloatToStrF(1234.5, ffCurrency, 15, 2)},
               {"a currency reading is exact to four places", [](TField* f) { f->SetFloatValue(0.1 + 0.2); },
                [](TField* f) { return std::to_string(f->GetCurrencyValue().Scaled); }, "3000"},
           });
}

TEST_F(Record, WritesOutsideEditingAndToReadOnlyFieldsAreRefused) {
  ds.CommitRecord();
  try {
    ds.FieldNamed("I")->SetIntegerValue(1);
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Dataset not in edit or insert mode");
  }
  ds.StartEdit();
  ds.FieldNamed("I")->SetReadOnly(true);
  try {
    ds.FieldNamed("I")->SetIntegerValue(1);
    ADD_FAILURE();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'I' cannot be modified");
  }
}

// A back end that keeps its text in the OEM code page.
class OemDataSet : public TMemDataSet {
 public:
  OemDataSet() : TMemDataSet(nullptr) {}
  int TranslateText(const AnsiString& source, AnsiString& destination, bool to_oem) override {
    destination = to_oem ? AnsiString(CharToOem(source)) : OemToChar(source);
    return static_cast<int>(destination.size());
  }
  // The bytes the back end holds for the field, bypassing the translation.
  std::string Stored(TField* field) {
    std::vector<char> raw(static_cast<size_t>(field->Size()) + 1, '\0');
    FetchFieldValue(field, raw.data());
    return raw.data();
  }
};

TEST(StringFields, TransliteratingFieldsPassThroughTheBackEndsCodePage) {
  struct Case {
    bool transliterate;
    std::string stored;  // what the back end holds for "\xB8\xE6" (ёж)
  };
  const Case cases[] = {
      {true, "\xF1\xA6"},     // ёж in 866
      {false, "\xB8\xE6"},    // the 1251 bytes as they are
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.transliterate);
    OemDataSet ds;
    ds.FieldDefs().AppendNamedDef("S", ftString, 4);
    ds.Activate();
    TField* f = ds.FieldNamed("S");
    f->SetTransliterate(c.transliterate);
    ds.StartAppend();
    f->SetStringValue("\xB8\xE6");
    EXPECT_EQ(ds.Stored(f), c.stored);
    EXPECT_EQ(f->GetStringValue(), "\xB8\xE6");
    ds.CommitRecord();
    EXPECT_EQ(f->GetStringValue(), "\xB8\xE6");
  }
}

TEST(FieldTypes, OrdinalsAndBlobKinds) {
  EXPECT_EQ(static_cast<int>(ftUnknown), 0);
  EXPECT_EQ(static_cast<int>(ftAutoInc), 14);
  EXPECT_EQ(static_cast<int>(ftBlob), 15);
  EXPECT_EQ(static_cast<int>(ftTypedBinary), 21);
  EXPECT_EQ(static_cast<int>(ftLargeint), 25);
  EXPECT_EQ(static_cast<int>(ftFMTBcd), 37);
  for (int t = 0; t < kFieldTypeCount; ++t) {
    const bool blob = (t >= 15 && t <= 21) || t == ftOraBlob || t == ftOraClob;
    EXPECT_EQ(IsBlobFieldType(static_cast<TFieldType>(t)), blob) << t;
  }
}

TEST(FieldTypes, BcdAndCurrencyConvertBothWays) {
  const int64_t values[] = {0, 1, -1, 12345678, -99999999999, INT64_MAX, INT64_MIN + 1};
  for (int64_t v : values) {
    SCOPED_TRACE(v);
    EXPECT_EQ(BCDToCurr(CurrToBCD(Currency::FromScaled(v))).Scaled, v);
  }
  EXPECT_THROW(CurrToBCD(Currency::FromScaled(1234567), 4, 2), EOverflow);  // 123.45 needs 3 integer digits
}

}  // namespace fields_test
