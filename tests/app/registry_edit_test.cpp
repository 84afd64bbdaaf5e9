#include "quenvar/app/registry_edit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "qt_app.h"

namespace quenvar {
namespace {

using test::ReadFile;
using test::TTempRoot;
using test::WriteFile;

// All the bytes of a literal, NULs included.
template <std::size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

struct TKeyCase {
  const char* FRegKey;
  const char* FPath;
};

TEST(StorePathOfKey, NamesTheFileAfterTheKeyPath) {
  const TKeyCase cases[] = {
      {"\\software\\Quenvar\\", "Quenvar/Quenvar.ini"},
      {"\\SOFTWARE\\Quenvar", "Quenvar/Quenvar.ini"},
      {"software/Quenvar/", "Quenvar/Quenvar.ini"},
      {"\\software\\Vendor\\Tool\\", "Vendor/Tool/Tool.ini"},
      {"\\software\\", "software/software.ini"},
      {"\\Quenvar\\", "Quenvar/Quenvar.ini"},
      {"", "root.ini"},
      {"\\\\", "root.ini"},
      {"\\software\\..\\..\\etc\\", "etc/etc.ini"},
      {"\\software\\.\\Quenvar\\", "Quenvar/Quenvar.ini"},
  };
  for (const TKeyCase& c : cases) {
    EXPECT_EQ(StorePathOfKey(c.FRegKey), c.FPath) << c.FRegKey;
  }
}

struct TParseCase {
  const char* FText;
  bool FValid;
  std::int32_t FValue;
};

TEST(ParseStoredInteger, AcceptsOnly32BitDecimals) {
  const TParseCase cases[] = {
      {"0", true, 0},
      {"2", true, 2},
      {"259", true, 259},
      {"+7", true, 7},
      {"-1", true, -1},
      {"2147483647", true, 2147483647},
      {"2147483648", true, -2147483647 - 1},
      {"4294967295", true, -1},
      {"-2147483648", true, -2147483647 - 1},
      {"4294967296", false, 0},
      {"-2147483649", false, 0},
      {"99999999999999999999999", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"+-1", false, 0},
      {" 2", false, 0},
      {"2 ", false, 0},
      {"0x10", false, 0},
      {"1.5", false, 0},
      {"true", false, 0},
      {"abc", false, 0},
  };
  for (const TParseCase& c : cases) {
    std::int32_t value = 12345;
    EXPECT_EQ(ParseStoredInteger(c.FText, value), c.FValid) << '"' << c.FText << '"';
    if (c.FValid) {
      EXPECT_EQ(value, c.FValue) << c.FText;
    }
  }
}

class RegistryEditTest : public testing::Test {
 protected:
  RegistryEditTest() {
    FEdit.SetRootKey(TRootKey::rkLocalMachine);
    FEdit.SetRegKey("\\software\\Quenvar\\");
    FEdit.SetConfigRoot(FRoot.Path());
  }
  std::string StoreFile() const { return FRoot.File("Quenvar/Quenvar.ini"); }

  TTempRoot FRoot;
  TRegistryEdit FEdit;
};

TEST_F(RegistryEditTest, KeepsRootAndKeyAndPlacesTheStoreUnderTheRoot) {
  EXPECT_EQ(FEdit.RootKey(), TRootKey::rkLocalMachine);
  EXPECT_EQ(FEdit.RegKey(), "\\software\\Quenvar\\");
  EXPECT_EQ(FEdit.StoreFileName(), StoreFile());
}

TEST_F(RegistryEditTest, DefaultRootIsTheUsersConfigFolder) {
  TRegistryEdit edit;
  edit.SetRegKey("\\software\\Quenvar\\");
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(FRoot.Path()));
  EXPECT_EQ(edit.StoreFileName(), StoreFile());
  qputenv("XDG_CONFIG_HOME", saved);
}

TEST_F(RegistryEditTest, FreshStoreReadsDefaultsAndHasNoValues) {
  EXPECT_FALSE(FEdit.HasValue("Language"));
  EXPECT_EQ(FEdit.GetInteger("Language", 2), 2);
  EXPECT_TRUE(FEdit.GetBool("Verify after program", true));
  EXPECT_FALSE(FEdit.GetBool("Verify after program", false));
  EXPECT_EQ(ReadFile(StoreFile()), "<missing>");
}

TEST_F(RegistryEditTest, WritesCreateTheKeyAndReadBack) {
  FEdit.PutInteger("Language", 3);
  FEdit.PutBool("Verify after program", false);
  FEdit.PutBool("Update buffer from file", true);
  FEdit.PutInteger("Last Device", -5);
  EXPECT_TRUE(FEdit.HasValue("Language"));
  EXPECT_FALSE(FEdit.HasValue("language "));
  EXPECT_EQ(FEdit.GetInteger("Language", 0), 3);
  EXPECT_EQ(FEdit.GetInteger("Last Device", 0), -5);
  EXPECT_FALSE(FEdit.GetBool("Verify after program", true));
  EXPECT_TRUE(FEdit.GetBool("Update buffer from file", false));
  EXPECT_EQ(ReadFile(StoreFile()),
            "[General]\n"
            "Language=3\n"
            "Last%20Device=-5\n"
            "Update%20buffer%20from%20file=1\n"
            "Verify%20after%20program=0\n");
}

TEST_F(RegistryEditTest, EveryCallSeesChangesMadeBehindItsBack) {
  FEdit.PutInteger("Language", 1);
  WriteFile(StoreFile(), "[General]\nLanguage=3\n");
  EXPECT_EQ(FEdit.GetInteger("Language", 0), 3);
}

struct TStoredCase {
  const char* FLine;
  bool FValid;
  std::int32_t FValue;
};

TEST_F(RegistryEditTest, StoredTextsReadAsIntegersOrFailWithTheirName) {
  const TStoredCase cases[] = {
      {"Language=259", true, 259},
      {"Language=\"3\"", true, 3},
      {"Language=4294967295", true, -1},
      {"Language=abc", false, 0},
      {"Language=", false, 0},
      {"Language=1, 2", false, 0},
      {"Language=@ByteArray(\\x1)", false, 0},
      {"Language=@Invalid()", false, 0},
      {"Language=9999999999", false, 0},
  };
  for (const TStoredCase& c : cases) {
    WriteFile(StoreFile(), std::string("[General]\n") + c.FLine + "\n");
    EXPECT_TRUE(FEdit.HasValue("Language")) << c.FLine;
    if (c.FValid) {
      EXPECT_EQ(FEdit.GetInteger("Language", 0), c.FValue) << c.FLine;
    } else {
      try {
        FEdit.GetInteger("Language", 0);
        ADD_FAILURE() << "no error for " << c.FLine;
      } catch (const TRegistryError& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'Language'") << c.FLine;
      }
      EXPECT_THROW(FEdit.GetBool("Language", true), TRegistryError) << c.FLine;
    }
  }
}

TEST_F(RegistryEditTest, StoreThatIsAFolderReadsDefaultsAndRefusesWrites) {
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(StoreFile())));
  EXPECT_FALSE(FEdit.HasValue("Language"));
  EXPECT_EQ(FEdit.GetInteger("Language", 2), 2);
  try {
    FEdit.PutInteger("Language", 2);
    ADD_FAILURE() << "write into a folder succeeded";
  } catch (const TRegistryError& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for 'Language'");
  }
}

TEST_F(RegistryEditTest, KeyThatCannotBeCreatedFailsTheWriteWithTheValueName) {
  // A file where the key's folder should be.
  WriteFile(FRoot.File("Quenvar"), "not a folder");
  EXPECT_FALSE(FEdit.HasValue("Last Device"));
  try {
    FEdit.PutBool("Verify after program", true);
    ADD_FAILURE() << "write below a file succeeded";
  } catch (const TRegistryError& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for 'Verify after program'");
  }
}

TEST_F(RegistryEditTest, GarbageFileIsReplacedByTheNextWrite) {
  WriteFile(StoreFile(), std::string("\x00\xff\x01[[[=\n\x7f garbage \xfe", 17));
  EXPECT_FALSE(FEdit.HasValue("Language"));
  FEdit.PutInteger("Language", 1);
  EXPECT_TRUE(FEdit.HasValue("Language"));
  EXPECT_EQ(FEdit.GetInteger("Language", 0), 1);
}

TEST_F(RegistryEditTest, BinaryJunkIsMovedAsideAndAFreshStoreWritten) {
  // Junk Qt's lenient parser reads as sections and keys without complaint.
  const std::string junk[] = {
      Bytes("Language=3\n\x00\x01\x02\n"),
      Bytes("[General]\nLanguage=3\n\x1b[0m\n"),
      Bytes("\xc3\x28\xa0\xa1=\xff\n"),
      Bytes("\x7f"
            "ELF\x02\x01\x01\x00"),
  };
  for (const std::string& bytes : junk) {
    QFile::remove(QString::fromStdString(StoreFile() + ".damaged"));
    WriteFile(StoreFile(), bytes);
    EXPECT_FALSE(FEdit.HasValue("Language"));
    EXPECT_EQ(FEdit.GetInteger("Language", 2), 2);
    FEdit.PutInteger("Language", 1);
    EXPECT_EQ(ReadFile(StoreFile()), "[General]\nLanguage=1\n");
    EXPECT_EQ(ReadFile(StoreFile() + ".damaged"), bytes);
  }
}

TEST_F(RegistryEditTest, AnyDamagedFileIsReadAsEmptyAndWritableAgain) {
  const std::string damaged[] = {
      "[General\nLanguage=3\n",
      std::string("\xff\xfe\x00\x01", 4),
      "Language=3\n[",
      "=\n==\n[]\n",
      "[General]\n\"Language=3\n",
      "[%%%]\nLanguage\n",
  };
  for (const std::string& bytes : damaged) {
    QFile::remove(QString::fromStdString(StoreFile() + ".damaged"));
    WriteFile(StoreFile(), bytes);
    // Whatever Qt made of it, a read never throws for a missing value.
    if (FEdit.HasValue("Last Device")) ADD_FAILURE() << "phantom value in " << bytes;
    FEdit.PutInteger("Last Device", 7);
    EXPECT_EQ(FEdit.GetInteger("Last Device", 0), 7) << bytes;
    const std::string aside = ReadFile(StoreFile() + ".damaged");
    EXPECT_TRUE(aside == bytes || aside == "<missing>") << bytes;
  }
}

}  // namespace
}  // namespace quenvar
