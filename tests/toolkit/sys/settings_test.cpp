// The per-user settings store that stands in for the registry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/testsupport.h"
#include "toolkit/core/text.h"
#include "toolkit/sys/settings.h"

namespace settings_test {

namespace {

struct Settings : ::testing::Test {
  std::string path = testsupport::TempDir("settings") + "/sub/kiv7.ini";
};

TEST_F(Settings, ValuesRoundTripEveryByteOf1251) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += char(b);
  const struct {
    const char* what;
    std::string name;
    std::string value;
  } cases[] = {
      {"every byte", "All", all},
      {"layout text with line breaks", "Table_1", "object TUniDataStorage\r\n  Data = <>\r\nend\r\n"},
      {"blanks at both ends", "Spaces", "  padded  "},
      {"backslashes and escapes look-alikes", "Path", "C:\\data\\x41\\n"},
      {"empty value", "Empty", ""},
      {"Cyrillic name and value", Utf8ToAnsi("Папка"), Utf8ToAnsi("Ёжик в тумане №1")},
      {"name with = and a leading [", "[a=b", "v"},
      {"name with a leading ;", ";x", "comment look-alike"},
  };
  {
    TRegistry reg(path);
    ASSERT_TRUE(reg.OpenKey("\\Software\\Tessamyrlin\\KIV7\\1.0", true));
    for (const auto& c : cases) reg.WriteString(c.name, c.value);
  }
  TRegistry reg(path);
  ASSERT_TRUE(reg.OpenKey("\\Software\\Tessamyrlin\\KIV7\\1.0", false));
  for (const auto& c : cases) {
    EXPECT_TRUE(reg.ValueExists(c.name)) << c.what;
    EXPECT_EQ(reg.ReadString(c.name), c.value) << c.what;
  }
  // The file stays readable text: one line per value, UTF-8.
  const std::string file = testsupport::ReadFile(path);
  EXPECT_NE(file.find("[Software\\Tessamyrlin\\KIV7\\1.0]\n"), std::string::npos) << file;
  EXPECT_NE(file.find("Папка=Ёжик в тумане №1\n"), std::string::npos) << file;
}

TEST_F(Settings, KeysOpenCreateAndNestLikeRegistryKeys) {
  TRegistry reg(path);
  EXPECT_FALSE(reg.OpenKey("\\Software\\Missing", false));
  EXPECT_EQ(reg.CurrentPath(), "");
  ASSERT_TRUE(reg.OpenKey("\\Software\\ReportEngine", true));
  ASSERT_TRUE(reg.OpenKey("Form\\TfrPreviewForm", true));  // below the open key
  EXPECT_EQ(reg.CurrentPath(), "Software\\ReportEngine\\Form\\TfrPreviewForm");
  reg.WriteInteger("Width", 640);
  reg.CloseKey();
  EXPECT_TRUE(reg.KeyExists("\\software\\reportengine"));  // a key with only subkeys exists
  EXPECT_TRUE(reg.OpenKey("\\SOFTWARE\\REPORTENGINE\\FORM\\TFRPREVIEWFORM", false));
  EXPECT_EQ(reg.ReadInteger("width"), 640);
  EXPECT_FALSE(reg.KeyExists("\\Software\\Report"));
}

TEST_F(Settings, ValuesOfDifferentKeysStaySeparate) {
  TRegistry reg(path);
  ASSERT_TRUE(reg.OpenKey("\\A", true));
  reg.WriteString("Name", "a");
  ASSERT_TRUE(reg.OpenKey("\\A\\B", true));
  reg.WriteString("Name", "ab");
  reg.CloseKey();
  reg.WriteString("Name", "root");
  ASSERT_TRUE(reg.OpenKey("\\A", false));
  EXPECT_EQ(reg.ReadString("Name"), "a");
  reg.WriteString("Name", "a2");  // replaced in place
  ASSERT_TRUE(reg.OpenKey("\\A\\B", false));
  EXPECT_EQ(reg.ReadString("Name"), "ab");
  reg.CloseKey();
  EXPECT_EQ(reg.ReadString("Name"), "root");
  ASSERT_TRUE(reg.OpenKey("\\A", false));
  EXPECT_EQ(reg.ReadString("Name"), "a2");
}

TEST_F(Settings, IntegersReadOnlyFromIntegerText) {
  TRegistry reg(path);
  ASSERT_TRUE(reg.OpenKey("\\K", true));
  reg.WriteInteger("Neg", -5);
  reg.WriteInteger("Max", 2147483647);
  EXPECT_EQ(reg.ReadInteger("Neg"), -5);
  EXPECT_EQ(reg.ReadInteger("Max"), 2147483647);
  reg.WriteString("Text", "12abc");
  reg.WriteString("Big", "99999999999");
  reg.WriteString("Empty", "");
  for (const char* name : {"Text", "Big", "Empty", "Missing"}) {
    try {
      reg.ReadInteger(name);
      ADD_FAILURE() << name << " read as an integer";
    } catch (const ERegistryException& e) {
      EXPECT_EQ(e.Message(), std::string("Invalid data type for '") + name + "'");
    }
  }
}

TEST_F(Settings, DeleteValueAndMissingValues) {
  TRegistry reg(path);
  ASSERT_TRUE(reg.OpenKey("\\K", true));
  EXPECT_EQ(reg.ReadString("Missing"), "");
  EXPECT_FALSE(reg.ValueExists("Missing"));
  EXPECT_FALSE(reg.DeleteValue("Missing"));
  reg.WriteString("Default_dir", "/home/lab");
  EXPECT_TRUE(reg.DeleteValue("DEFAULT_DIR"));
  EXPECT_FALSE(reg.ValueExists("Default_dir"));
}

TEST_F(Settings, HandWrittenFilesAreReadAndTheirCommentsKept) {
  const std::string hand = testsupport::TempDir("hand") + "/kiv7.ini";
  testsupport::WriteFile(hand,
                         "; my ports\r\n"
                         "[Ports]\r\n"
                         "  COM1 = /dev/ttyUSB0  \r\n"
                         "# the acoustic one\n"
                         "COM2=/dev/serial/by-id/usb-Прибор\n"
                         "garbage line\n");
  TRegistry reg(hand);
  ASSERT_TRUE(reg.OpenKey("\\Ports", false));
  EXPECT_EQ(reg.ReadString("COM1"), "/dev/ttyUSB0");
  EXPECT_EQ(AnsiToUtf8(reg.ReadString("COM2")), "/dev/serial/by-id/usb-Прибор");
  reg.WriteString("COM3", "/dev/ttyS0");
  const std::string file = testsupport::ReadFile(hand);
  EXPECT_NE(file.find("; my ports"), std::string::npos);
  EXPECT_NE(file.find("# the acoustic one"), std::string::npos);
  EXPECT_NE(file.find("COM3=/dev/ttyS0\n"), std::string::npos);
}

TEST(SettingsPath, EnvironmentChoosesTheFile) {
  const char* saved_settings = std::getenv("KIV7_SETTINGS");
  const char* saved_xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string keep_settings = saved_settings ? saved_settings : "";
  const std::string keep_xdg = saved_xdg ? saved_xdg : "";
  ::setenv("KIV7_SETTINGS", "/tmp/x/test.ini", 1);
  EXPECT_EQ(SettingsFilePath(), "/tmp/x/test.ini");
  ::unsetenv("KIV7_SETTINGS");
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(SettingsFilePath(), "/cfg/kiv7/kiv7.ini");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored
  EXPECT_NE(SettingsFilePath(), "relative/kiv7/kiv7.ini");
  if (saved_settings) ::setenv("KIV7_SETTINGS", keep_settings.c_str(), 1);
  if (saved_xdg) ::setenv("XDG_CONFIG_HOME", keep_xdg.c_str(), 1); else ::unsetenv("XDG_CONFIG_HOME");
}

TEST(SettingsText, UnknownEscapesStayAsWritten) {
  EXPECT_EQ(DecodeSettingsText("C:\\data\\q"), "C:\\data\\q");
  EXPECT_EQ(DecodeSettingsText("\\x4"), "\\x4");
  EXPECT_EQ(DecodeSettingsText("end\\"), "end\\");
  EXPECT_EQ(DecodeSettingsText("\\x41\\\\"), "A\\");
}

}  // namespace

namespace {

TEST_F(Settings, IniAccessReadsDefaultsForMissingOrWrongValues) {
  TRegistryIniFile ini("Software\\ReportEngine", path);
  EXPECT_EQ(ini.ReadInteger("Form\\TfrPreviewForm", "Width", 77), 77);
  EXPECT_TRUE(ini.ReadBool("Form\\TfrPreviewForm", "Maximized", true));
  EXPECT_EQ(ini.ReadString("Form\\TfrPreviewForm", "Name", "none"), "none");
  ini.WriteInteger("Form\\TfrPreviewForm", "Width", 640);
  ini.WriteBool("Form\\TfrPreviewForm", "Maximized", false);
  ini.WriteString("Form\\TfrPreviewForm", "Height", "tall");
  EXPECT_EQ(ini.ReadInteger("Form\\TfrPreviewForm", "Width", 77), 640);
  EXPECT_FALSE(ini.ReadBool("Form\\TfrPreviewForm", "Maximized", true));
  EXPECT_EQ(ini.ReadInteger("Form\\TfrPreviewForm", "Height", 5), 5);
  EXPECT_EQ(ini.ReadString("Form\\TfrPreviewForm", "Height", ""), "tall");
  // The values sit in the registry key below the root.
  TRegistry reg(path);
  ASSERT_TRUE(reg.OpenKey("\\Software\\ReportEngine\\Form\\TfrPreviewForm", false));
  EXPECT_EQ(reg.ReadInteger("Maximized"), 0);
  EXPECT_EQ(reg.ReadInteger("Width"), 640);
}

}  // namespace

}  // namespace settings_test
