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
std::string Bytes(const char (&Text)[N]) {
  return std::string(Text, N - 1);
}

struct TKeyCase {
  const char* RegKey;
  const char* Path;
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
    EXPECT_EQ(StorePathOfKey(c.RegKey), c.Path) << c.RegKey;
  }
}

struct TParseCase {
  const char* Text;
  bool Valid;
  std::int32_t Value;
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
    EXPECT_EQ(ParseStoredInteger(c.Text, value), c.Valid) << '"' << c.Text << '"';
    if (c.Valid) {
      EXPECT_EQ(value, c.Value) << c.Text;
    }
  }
}

class RegistryEditTest : public testing::Test {
 protected:
  RegistryEditTest() {
    Edit.SetRootKey(TRootKey::rkLocalMachine);
    Edit.SetRegKey("\\software\\Quenvar\\");
    Edit.SetConfigRoot(Root.Path());
  }
  std::string StoreFile() const { return Root.File("Quenvar/Quenvar.ini"); }

  TTempRoot Root;
  TRegistryEdit Edit;
};

TEST_F(RegistryEditTest, KeepsRootAndKeyAndPlacesTheStoreUnderTheRoot) {
  EXPECT_EQ(Edit.RootKey(), TRootKey::rkLocalMachine);
  EXPECT_EQ(Edit.RegKey(), "\\software\\Quenvar\\");
  EXPECT_EQ(Edit.StoreFileName(), StoreFile());
}

TEST_F(RegistryEditTest, DefaultRootIsTheUsersConfigFolder) {
  TRegistryEdit edit;
  edit.SetRegKey("\\software\\Quenvar\\");
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(Root.Path()));
  EXPECT_EQ(edit.StoreFileName(), StoreFile());
  qputenv("XDG_CONFIG_HOME", saved);
}

TEST_F(RegistryEditTest, FreshStoreReadsDefaultsAndHasNoValues) {
  EXPECT_FALSE(Edit.HasValue("Language"));
  EXPECT_EQ(Edit.GetInteger("Language", 2), 2);
  EXPECT_TRUE(Edit.GetBool("Verify after program", true));
  EXPECT_FALSE(Edit.GetBool("Verify after program", false));
  EXPECT_EQ(ReadFile(StoreFile()), "<missing>");
}

TEST_F(RegistryEditTest, WritesCreateTheKeyAndReadBack) {
  Edit.PutInteger("Language", 3);
  Edit.PutBool("Verify after program", false);
  Edit.PutBool("Update buffer from file", true);
  Edit.PutInteger("Last Device", -5);
  EXPECT_TRUE(Edit.HasValue("Language"));
  EXPECT_FALSE(Edit.HasValue("language "));
  EXPECT_EQ(Edit.GetInteger("Language", 0), 3);
  EXPECT_EQ(Edit.GetInteger("Last Device", 0), -5);
  EXPECT_FALSE(Edit.GetBool("Verify after program", true));
  EXPECT_TRUE(Edit.GetBool("Update buffer from file", false));
  EXPECT_EQ(ReadFile(StoreFile()),
            "[General]\n"
            "Language=3\n"
            "Last%20Device=-5\n"
            "Update%20buffer%20from%20file=1\n"
            "Verify%20after%20program=0\n");
}

TEST_F(RegistryEditTest, EveryCallSeesChangesMadeBehindItsBack) {
  Edit.PutInteger("Language", 1);
  WriteFile(StoreFile(), "[General]\nLanguage=3\n");
  EXPECT_EQ(Edit.GetInteger("Language", 0), 3);
}

struct TStoredCase {
  const char* Line;
  bool Valid;
  std::int32_t Value;
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
    WriteFile(StoreFile(), std::string("[General]\n") + c.Line + "\n");
    EXPECT_TRUE(Edit.HasValue("Language")) << c.Line;
    if (c.Valid) {
      EXPECT_EQ(Edit.GetInteger("Language", 0), c.Value) << c.Line;
    } else {
      try {
        Edit.GetInteger("Language", 0);
        ADD_FAILURE() << "no error for " << c.Line;
      } catch (const TRegistryError& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'Language'") << c.Line;
      }
      EXPECT_THROW(Edit.GetBool("Language", true), TRegistryError) << c.Line;
    }
  }
}

TEST_F(RegistryEditTest, StoreThatIsAFolderReadsDefaultsAndRefusesWrites) {
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(StoreFile())));
  EXPECT_FALSE(Edit.HasValue("Language"));
  EXPECT_EQ(Edit.GetInteger("Language", 2), 2);
  try {
    Edit.PutInteger("Language", 2);
    ADD_FAILURE() << "write into a folder succeeded";
  } catch (const TRegistryError& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for 'Language'");
  }
}

TEST_F(RegistryEditTest, KeyThatCannotBeCreatedFailsTheWriteWithTheValueName) {
  // A file where the key's folder should be.
  WriteFile(Root.File("Quenvar"), "not a folder");
  EXPECT_FALSE(Edit.HasValue("Last Device"));
  try {
    Edit.PutBool("Verify after program", true);
    ADD_FAILURE() << "write below a file succeeded";
  } catch (const TRegistryError& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for 'Verify after program'");
  }
}

TEST_F(RegistryEditTest, GarbageFileIsReplacedByTheNextWrite) {
  WriteFile(StoreFile(), std::string("\x00\xff\x01[[[=\n\x7f garbage \xfe", 17));
  EXPECT_FALSE(Edit.HasValue("Language"));
  Edit.PutInteger("Language", 1);
  EXPECT_TRUE(Edit.HasValue("Language"));
  EXPECT_EQ(Edit.GetInteger("Language", 0), 1);
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
    EXPECT_FALSE(Edit.HasValue("Language"));
    EXPECT_EQ(Edit.GetInteger("Language", 2), 2);
    Edit.PutInteger("Language", 1);
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
    if (Edit.HasValue("Last Device")) ADD_FAILURE() << "phantom value in " << bytes;
    Edit.PutInteger("Last Device", 7);
    EXPECT_EQ(Edit.GetInteger("Last Device", 0), 7) << bytes;
    const std::string aside = ReadFile(StoreFile() + ".damaged");
    EXPECT_TRUE(aside == bytes || aside == "<missing>") << bytes;
  }
}

}  // namespace
}  // namespace quenvar
