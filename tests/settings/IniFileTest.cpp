#include <gtest/gtest.h>

#include "settings/IniFile.h"
#include "tests/common/TempDir.h"
#include "tests/settings/SettingsTestSupport.h"

namespace pictrim {
namespace {

using test::ReadWholeFile;
using test::TTempDir;
using test::WriteTextFile;

TEST(IniFile, readsCrLfLinesAfterAByteOrderMarkWithNamesInAnyCase) {
  TTempDir dir;
  WriteTextFile(
      dir / "a.ini",
      "\xEF\xBB\xBF[Settings]\r\nCopyrightText =  Foto \xC3\x84rger \r\nsizeedit1=12\r\n");
  const TIniFile ini(dir / "a.ini");
  ASSERT_TRUE(ini.Loaded());
  EXPECT_EQ(ini.ReadString("settings", "COPYRIGHTTEXT", "-"), "Foto Ärger");
  EXPECT_EQ(ini.ReadInteger("SETTINGS", "SizeEdit1", 0), 12);
  EXPECT_EQ(ini.ReadString("Settings", "Missing", "default"), "default");
  EXPECT_EQ(ini.ReadString("Other", "SizeEdit1", "default"), "default");
}

TEST(IniFile, onlyADecimalIntegerReadsAsOne) {
  TTempDir dir;
  WriteTextFile(dir / "a.ini",
                "[S]\nplain=7\nneg=-3\nplus=+4\nword=true\nempty=\ntail=12abc\nhex=0x10\n"
                "huge=99999999999\nsign=-\n");
  const TIniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadInteger("S", "plain", 0), 7);
  EXPECT_EQ(ini.ReadInteger("S", "neg", 0), -3);
  EXPECT_EQ(ini.ReadInteger("S", "plus", 0), 4);
  for (const char* key : {"word", "empty", "tail", "hex", "huge", "sign", "missing"}) {
    EXPECT_EQ(ini.ReadInteger("S", key, 42), 42) << key;
  }
  EXPECT_TRUE(ini.ReadBool("S", "plain", false));
  EXPECT_FALSE(ini.ReadBool("S", "word", false));
  EXPECT_TRUE(ini.ReadBool("S", "word", true));
}

TEST(IniFile, aWindows1252FileIsReadAsItsLettersAndWrittenBackAsUtf8) {
  TTempDir dir;
  WriteTextFile(dir / "a.ini",
                "[Settings]\r\nCopyrightText=Gr\xF6\xDF"
                "e \xC4rger \x80\r\n");
  TIniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadString("Settings", "CopyrightText", ""), "Größe Ärger €");
  ini.WriteString("Settings", "Extra", "ü");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadWholeFile(dir / "a.ini"), "[Settings]\nCopyrightText=Größe Ärger €\nExtra=ü\n");
}

TEST(IniFile, writesReplaceInPlaceAppendNewKeysAndKeepValuesOnOneLine) {
  TTempDir dir;
  WriteTextFile(dir / "a.ini", "; note\n[A]\nx=1\ny=2\n\n[B]\nz=3\n");
  TIniFile ini(dir / "a.ini");
  ini.WriteInteger("a", "X", -5);
  ini.WriteBool("A", "w", true);
  ini.WriteString("C", "v", "one\n[B]\r\nz=injected");
  ini.EraseSection("b");
  ASSERT_TRUE(ini.Save());
  EXPECT_EQ(ReadWholeFile(dir / "a.ini"),
            "; note\n\n\n[A]\nx=-5\ny=2\nw=1\n\n\n[C]\nv=one [B]  z=injected\n");
}

}  // namespace
}  // namespace pictrim
