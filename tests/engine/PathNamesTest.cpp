// Paths are taken apart by the rules of the system: "/" everywhere, "\" and drives on Windows,
// and a table named by any such path opens.
#include <gtest/gtest.h>

#include "engine/PathNames.h"
#include "engine/Table.h"
#include "support/MemFileSystem.h"

namespace mv32::engine {

TEST(PathNames, FoldersNamesAndJoinsFollowTheSystemsSeparators) {
    EXPECT_EQ(paths::folderOf("/data/mv32list.db"), "/data/");
    EXPECT_EQ(paths::fileNameOf("/data/mv32list.db"), "mv32list.db");
    EXPECT_EQ(paths::folderOf("mv32list.db"), "");
    EXPECT_EQ(paths::fileNameOf("/data/"), "");
    EXPECT_TRUE(paths::isAbsolute("/data"));
    EXPECT_FALSE(paths::isAbsolute("data/x.db"));
    // The folder's own separator is kept.
    EXPECT_EQ(paths::join("/data", "t.db"), "/data/t.db");
    EXPECT_EQ(paths::join("/data/", "t.db"), "/data/t.db");
    EXPECT_EQ(paths::join("", "t.db"), "t.db");
#ifdef _WIN32
    EXPECT_EQ(paths::folderOf("C:\\Kataloge\\Spiele.db"), "C:\\Kataloge\\");
    EXPECT_EQ(paths::fileNameOf("C:\\Kataloge\\Spiele.db"), "Spiele.db");
    EXPECT_EQ(paths::fileNameOf("C:/Kataloge\\Spiele.db"), "Spiele.db");
    EXPECT_EQ(paths::folderOf("C:Spiele.db"), "C:");
    EXPECT_EQ(paths::fileNameOf("C:Spiele.db"), "Spiele.db");
    EXPECT_EQ(paths::folderOf("\\\\server\\freigabe\\Spiele.db"), "\\\\server\\freigabe\\");
    EXPECT_TRUE(paths::isAbsolute("C:\\Kataloge"));
    EXPECT_TRUE(paths::isAbsolute("\\\\server\\freigabe"));
    EXPECT_FALSE(paths::isAbsolute("C:Kataloge"));
    EXPECT_EQ(paths::join("C:\\Kataloge", "Spiele.db"), "C:\\Kataloge\\Spiele.db");
    EXPECT_EQ(paths::join("C:", "Spiele.db"), "C:\\Spiele.db");
#else
    // A backslash is a character of a name.
    EXPECT_EQ(paths::fileNameOf("/data/a\\b.db"), "a\\b.db");
    EXPECT_FALSE(paths::isAbsolute("C:\\Kataloge"));
#endif
}

TEST(PathNames, ATableNamedByItsWholePathOpensFromItsFolderToo) {
    auto fs = std::make_shared<test::MemFileSystem>();
#ifdef _WIN32
    const std::string folder = "\\\\server\\freigabe\\";
#else
    const std::string folder = "/server/freigabe/";
#endif
    {
        Table t(fs);
        t.setTableName(folder + "Spiele.db");
        t.setFieldDefs({{"Name", FieldType::Text, 20}});
        t.createTable();
        t.open();
        t.append();
        t.setAsString("Name", "Doom");
        t.post();
    }
    Table t(fs);
    t.setDirectory(folder.substr(0, folder.size() - 1));
    t.setTableName("Spiele");
    t.open();
    EXPECT_EQ(t.recordCount(), 1);
    EXPECT_EQ(t.filePath(), folder + "Spiele.db");
}

}  // namespace mv32::engine
