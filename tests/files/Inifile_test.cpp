// The INI file: look-ups without regard to case, writes that change one line
// and keep the rest of the file, integer and boolean conversion, and files
// that are missing or cannot be read.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "files/Fileio.h"
#include "files/Inifile.h"
#include "tests/support/Tempdir.h"

namespace fs = std::filesystem;

namespace {

class IniFile : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = Scratch.File("");
    Path = (Dir / "QMSCALE.INI").string();
  }

  void Store(const std::string& text) const {
    std::ofstream(Path, std::ios::binary) << text;
  }
  std::string Load() const {
    std::ifstream in(Path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> DirEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Dir)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  TempDir Scratch;
  fs::path Dir;
  std::string Path;
};

TEST_F(IniFile, SectionsAndKeysMatchWithoutRegardToCase) {
  Store("[Config]\r\n  Port = 5 \r\nConnection=Serial\r\n");
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadInteger("CONFIG", "PORT", 1), 5);
  EXPECT_EQ(ini.ReadString("config", "CONNECTION", "None"), "Serial");
  EXPECT_EQ(ini.ReadString("CONFIG", "MISSING", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("OTHER", "PORT", "dflt"), "dflt");
}

TEST_F(IniFile, KeysOfOneSectionAreNotSeenFromAnother) {
  Store("PORT=9\n[A]\nx=1\n[B]\nPORT=3\n");
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadInteger("A", "PORT", -1), -1);  // neither B's nor the headless one
  EXPECT_EQ(ini.ReadInteger("B", "PORT", -1), 3);
  EXPECT_EQ(ini.ReadInteger("B", "x", -1), -1);
}

TEST_F(IniFile, WrittenValueReplacesTheOldOneInPlace) {
  Store("; settings\r\n[CONFIG]\r\nconnection=None\r\nPORT=1\r\nUNKNOWN=keep me\r\n");
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteString("CONFIG", "CONNECTION", "Serial"));
  EXPECT_EQ(Load(), "; settings\r\n[CONFIG]\r\nconnection=Serial\r\nPORT=1\r\nUNKNOWN=keep me\r\n");
  EXPECT_EQ(TIniFile(Path).ReadString("CONFIG", "CONNECTION", ""), "Serial");
}

TEST_F(IniFile, NewKeyGoesAfterTheLastKeyOfItsSection) {
  Store("[CONFIG]\nCONNECTION=None\nPORT=1\n\n; load cells\n[LCDATA]\nLCZERO-01=0\n");
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteBool("CONFIG", "TOOLMENU", true));
  ASSERT_TRUE(ini.WriteInteger("LCDATA", "LCCALFAC-01", 524288));
  EXPECT_EQ(Load(),
            "[CONFIG]\r\nCONNECTION=None\r\nPORT=1\r\nTOOLMENU=1\r\n\r\n; load cells\r\n"
            "[LCDATA]\r\nLCZERO-01=0\r\nLCCALFAC-01=524288\r\n");
}

TEST_F(IniFile, NewSectionGoesToTheEndOfTheFile) {
  Store("[CONFIG]\r\nPORT=1");  // last line without a line end
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteInteger("Software Download - K7310", "BAUDRATE", 19200));
  ASSERT_TRUE(ini.WriteString("Software Download - K7310", "PARITY", "N"));
  ASSERT_TRUE(ini.WriteString("CONFIG", "OPERATION", "None"));
  EXPECT_EQ(Load(),
            "[CONFIG]\r\nPORT=1\r\nOPERATION=None\r\n"
            "[Software Download - K7310]\r\nBAUDRATE=19200\r\nPARITY=N\r\n");
}

TEST_F(IniFile, EmptySectionGetsItsFirstKeyRightAfterTheHeader) {
  Store("[A]\n\n[B]\nk=1\n");
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteString("a", "k", "v"));
  EXPECT_EQ(Load(), "[A]\r\nk=v\r\n\r\n[B]\r\nk=1\r\n");
}

TEST_F(IniFile, MissingFileGivesDefaultsAndIsCreatedByTheFirstWrite) {
  {
    TIniFile ini(Path);
    EXPECT_EQ(ini.ReadString("CONFIG", "CONNECTION", "None"), "None");
    EXPECT_EQ(ini.ReadInteger("CONFIG", "PORT", 1), 1);
    EXPECT_FALSE(ini.ReadBool("CONFIG", "TOOLMENU", false));
    EXPECT_TRUE(ini.ReadKeys("CONFIG").empty());
  }
  EXPECT_FALSE(fs::exists(Path));  // reading never creates it
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteString("CONFIG", "CONNECTION", "None"));
  ASSERT_TRUE(ini.WriteInteger("CONFIG", "PORT", 3));
  EXPECT_EQ(Load(), "[CONFIG]\r\nCONNECTION=None\r\nPORT=3\r\n");
  // Only the INI file is left: the temporary file was renamed over it.
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"QMSCALE.INI"});
}

TEST_F(IniFile, EmptyValueReadsAsEmptyTextNotAsTheDefault) {
  Store("[Parameters from PC to device]\r\nPARITY=\r\nBAUDRATE=\r\n");
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadString("Parameters from PC to device", "PARITY", "E"), "");
  EXPECT_EQ(ini.ReadInteger("Parameters from PC to device", "BAUDRATE", 1200), 1200);
}

struct IntegerCase {
  std::string text;
  int32_t expected;  // with default -7
};

void PrintTo(const IntegerCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class IniInteger : public IniFile, public ::testing::WithParamInterface<IntegerCase> {};

TEST_P(IniInteger, ConvertsOrGivesTheDefault) {
  Store("[CONFIG]\r\nPORT=" + GetParam().text + "\r\n");
  EXPECT_EQ(TIniFile(Path).ReadInteger("CONFIG", "PORT", -7), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, IniInteger,
    ::testing::Values(IntegerCase{"0x10", 16}, IntegerCase{"0X1a", 26}, IntegerCase{"$1F", 31},
                      IntegerCase{"12", 12}, IntegerCase{" 12  ", 12}, IntegerCase{"-3", -3},
                      IntegerCase{"+3", 3}, IntegerCase{"010", 10},
                      IntegerCase{"2147483647", INT32_MAX}, IntegerCase{"-2147483648", INT32_MIN},
                      // Not convertible: the default.
                      IntegerCase{"0x", -7}, IntegerCase{"$", -7}, IntegerCase{"", -7},
                      IntegerCase{"12abc", -7}, IntegerCase{"1 2", -7}, IntegerCase{"0x1G", -7},
                      IntegerCase{"abc", -7}, IntegerCase{"2147483648", -7},
                      IntegerCase{"99999999999999999999", -7}, IntegerCase{"-", -7}));

TEST_F(IniFile, BooleansReadAsIntegersAndAreWrittenAsOneOrZero) {
  Store("[CONFIG]\r\nA=0\r\nB=2\r\nC=-1\r\nD=yes\r\n");
  TIniFile ini(Path);
  EXPECT_FALSE(ini.ReadBool("CONFIG", "A", true));
  EXPECT_TRUE(ini.ReadBool("CONFIG", "B", false));
  EXPECT_TRUE(ini.ReadBool("CONFIG", "C", false));
  EXPECT_TRUE(ini.ReadBool("CONFIG", "D", true));  // unconvertible: the default
  EXPECT_FALSE(ini.ReadBool("CONFIG", "D", false));
  ASSERT_TRUE(ini.WriteBool("CONFIG", "A", true));
  ASSERT_TRUE(ini.WriteBool("CONFIG", "B", false));
  ASSERT_TRUE(ini.WriteInteger("CONFIG", "C", -42));
  EXPECT_EQ(Load(), "[CONFIG]\r\nA=1\r\nB=0\r\nC=-42\r\nD=yes\r\n");
}

TEST_F(IniFile, StringsReadBackAsWritten) {
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteString("CONFIG", "OPERATION", "Parameters from device to PC - TEST"));
  ASSERT_TRUE(ini.WriteString("CONFIG", "EQUALS", "a=b;c"));
  TIniFile again(Path);
  EXPECT_EQ(again.ReadString("CONFIG", "OPERATION", ""), "Parameters from device to PC - TEST");
  EXPECT_EQ(again.ReadString("CONFIG", "EQUALS", ""), "a=b;c");
}

TEST_F(IniFile, CommentsAndLinesWithoutKeysAreNeverTakenForKeys) {
  Store("[CONFIG]\n;PORT=7\n#PORT=8\nPORT 9\nPORT=2\n");
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadInteger("CONFIG", "PORT", 1), 2);
  EXPECT_EQ(ini.ReadKeys("CONFIG"), std::vector<std::string>{"PORT"});
}

TEST_F(IniFile, FirstOfRepeatedSectionsAndKeysCounts) {
  Store("[A]\nk=1\nK=2\n[a]\nk=3\nm=4\n");
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadInteger("A", "k", 0), 1);
  EXPECT_EQ(ini.ReadInteger("A", "m", 0), 0);
  EXPECT_EQ(ini.ReadKeys("A"), std::vector<std::string>{"k"});
  ASSERT_TRUE(ini.WriteInteger("A", "K", 5));
  EXPECT_EQ(Load(), "[A]\r\nk=5\r\nK=2\r\n[a]\r\nk=3\r\nm=4\r\n");
}

TEST_F(IniFile, ReadKeysListsASectionInFileOrder) {
  Store("[PORTS]\nCOM3=x\ncom1=y\n\nCOM2=z\n[NEXT]\nCOM9=w\n");
  EXPECT_EQ(TIniFile(Path).ReadKeys("ports"), (std::vector<std::string>{"COM3", "com1", "COM2"}));
}

TEST_F(IniFile, TextThatWouldNotReadBackIsRefusedAndTheFileKept) {
  Store("[A]\r\nk=1\r\n");
  TIniFile ini(Path);
  EXPECT_FALSE(ini.WriteString("A", "k", "two\r\nlines"));
  EXPECT_FALSE(ini.WriteString("A", "a=b", "1"));
  EXPECT_FALSE(ini.WriteString("A", "", "1"));
  EXPECT_FALSE(ini.WriteString("A", ";k", "1"));
  EXPECT_FALSE(ini.WriteString("A]", "k", "1"));
  EXPECT_FALSE(ini.WriteString("new\nsection", "k", "1"));
  EXPECT_EQ(Load(), "[A]\r\nk=1\r\n");
  ASSERT_TRUE(ini.WriteString("A", "k", "2"));  // the object still works
  EXPECT_EQ(Load(), "[A]\r\nk=2\r\n");
}

TEST_F(IniFile, FailedWriteLeavesObjectAndFileAsTheyWere) {
  Store("[A]\r\nk=1\r\n");
  TIniFile ini(Path);
  // A directory of the temporary file's name makes the write fail.
  const fs::path blocker = Path + ".~" + std::to_string(CurrentProcessId());
  fs::create_directory(blocker);
  EXPECT_FALSE(ini.WriteString("A", "new", "x"));
  EXPECT_FALSE(ini.WriteString("B", "k", "x"));
  EXPECT_EQ(ini.ReadString("A", "new", "none"), "none");
  EXPECT_EQ(ini.ReadString("B", "k", "none"), "none");
  fs::remove_all(blocker);
  ASSERT_TRUE(ini.WriteString("A", "m", "2"));
  EXPECT_EQ(Load(), "[A]\r\nk=1\r\nm=2\r\n");
}

TEST_F(IniFile, ExistingFileThatCannotBeReadIsNotReplaced) {
  fs::create_directory(Path);  // exists, but reading it fails
  TIniFile ini(Path);
  EXPECT_EQ(ini.ReadInteger("CONFIG", "PORT", 1), 1);
  EXPECT_FALSE(ini.WriteInteger("CONFIG", "PORT", 2));
  EXPECT_TRUE(fs::is_directory(Path));
}

// Symbolic links and permission bits as Linux has them.
#ifndef _WIN32
TEST_F(IniFile, WriteThroughASymbolicLinkUpdatesItsTarget) {
  const std::string target = (Dir / "real.ini").string();
  std::ofstream(target, std::ios::binary) << "[A]\r\nk=1\r\n";
  fs::create_symlink(target, Path);
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteString("A", "k", "2"));
  EXPECT_TRUE(fs::is_symlink(Path));
  EXPECT_EQ(Load(), "[A]\r\nk=2\r\n");
}

TEST_F(IniFile, WriteKeepsTheFilePermissions) {
  Store("[A]\r\nk=1\r\n");
  ::chmod(Path.c_str(), 0640);
  TIniFile ini(Path);
  ASSERT_TRUE(ini.WriteString("A", "k", "2"));
  struct stat st {};
  ASSERT_EQ(::stat(Path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}
#endif

TEST_F(IniFile, ManySectionsKeepTheirKeysAfterInsertions) {
  // Inserting lines shifts every later section; each must still be found.
  std::string text;
  for (int i = 0; i < 50; ++i) text += "[S" + std::to_string(i) + "]\nk=" + std::to_string(i) + "\n";
  Store(text);
  TIniFile ini(Path);
  for (int i = 0; i < 50; i += 7) ASSERT_TRUE(ini.WriteInteger("s" + std::to_string(i), "extra", i));
  TIniFile again(Path);
  for (int i = 0; i < 50; ++i) {
    const std::string section = "S" + std::to_string(i);
    EXPECT_EQ(ini.ReadInteger(section, "k", -1), i);
    EXPECT_EQ(again.ReadInteger(section, "k", -1), i);
    EXPECT_EQ(again.ReadInteger(section, "extra", -1), i % 7 == 0 ? i : -1);
  }
}

}  // namespace
