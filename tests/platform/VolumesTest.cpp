// Drives, letters and volume identity on Linux: real filesystem images probed with libblkid, a
// mount table of our own, and declared volumes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/Volumes.h"
#include "support/TempDir.h"

namespace mv32::test {
namespace {

using platform::Volumes;
namespace fs = std::filesystem;

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(VolumesTest, FilesystemImagesGiveLabelAndSerial) {
    TempDir dir;
    const struct {
        const char* tool;
        std::string make;
        std::string image;
        std::string label;
        std::optional<uint32_t> serial;  // when the filesystem fixes it
    } cases[] = {
        {"mkfs.vfat", "truncate -s 4M %I && mkfs.vfat -n TESTLABEL -i 1A2B3C4D %I", "fat.img",
         "TESTLABEL", 0x1A2B3C4D},
        {"mkfs.ext4", "truncate -s 8M %I && mkfs.ext4 -q -L EXTERNE_PLATTE %I", "ext.img",
         "EXTERNE_PLA", std::nullopt},
        {"mkfs.ntfs", "truncate -s 8M %I && mkfs.ntfs -q -F -L NTFS %I", "ntfs.img", "NTFS",
         std::nullopt},
        {"genisoimage", "mkdir -p %D/iso && genisoimage -quiet -V CD_2026 -o %I %D/iso", "cd.iso",
         "CD_2026", std::nullopt},
    };
    int probed = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image);
        if (!run(std::string("command -v ") + c.tool) &&
            !fs::exists(std::string("/usr/sbin/") + c.tool))
            continue;
        std::string cmd = c.make;
        const std::string image = dir.file(c.image);
        for (size_t p; (p = cmd.find("%I")) != std::string::npos;) cmd.replace(p, 2, image);
        for (size_t p; (p = cmd.find("%D")) != std::string::npos;) cmd.replace(p, 2, dir.path());
        ASSERT_TRUE(run("PATH=$PATH:/usr/sbin:/sbin; " + cmd)) << cmd;
        auto id = Volumes::probe(image);
        ASSERT_TRUE(id.has_value());
        EXPECT_EQ(id->label, c.label);
        if (c.serial) {
            EXPECT_EQ(id->serial, *c.serial);
        }
        // The same image gives the same serial every time.
        EXPECT_EQ(Volumes::probe(image)->serial, id->serial);
        ++probed;
    }
    if (probed == 0) GTEST_SKIP() << "no mkfs tools here";
    EXPECT_FALSE(Volumes::probe(dir.file("fehlt.img")).has_value());
}

TEST(VolumesTest, SerialsFromUuids) {
    EXPECT_EQ(Volumes::serialFromUuid("vfat", "1A2B-3C4D"), 0x1A2B3C4Du);
    EXPECT_EQ(Volumes::serialFromUuid("exfat", "0000-00FF"), 0x000000FFu);
    EXPECT_EQ(Volumes::serialFromUuid("ntfs", "60E3808F6C7DFD4A"), 0x6C7DFD4Au);
    const auto ext = Volumes::serialFromUuid("ext4", "43356916-e080-4b25-a651-ed316221c21c");
    EXPECT_EQ(ext, platform::hash32("43356916-e080-4b25-a651-ed316221c21c"));
    EXPECT_FALSE(Volumes::serialFromUuid("ext4", "").has_value());
    EXPECT_EQ(platform::serialText(0xA1B2C3), "00A1B2C3");
}

TEST(VolumesTest, MountsGetLettersThatStay) {
    TempDir dir;
    const std::string table = dir.file("mountinfo");
    std::ofstream(table) << "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
                            "26 1 0:31 / / rw,relatime - overlay overlay rw\n"
                            "27 26 8:2 / /boot rw - ext4 /dev/sda2 rw\n"
                            "28 26 0:22 / /dev/shm rw - tmpfs tmpfs rw\n"
                            "29 26 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n"
                            "30 26 8:33 / /home rw - ext4 /dev/sdc1 rw\n"
                            "31 26 8:49 / /run/media/anna/FOTOS rw - exfat /dev/sdd1 rw\n"
                            "32 26 8:50 / /run/user/1000 rw - tmpfs tmpfs rw\n";
    std::map<std::string, char> remembered{{"/home/", 'H'}};
    platform::LetterMemory memory{[&] {
                                      return std::vector<std::pair<std::string, char>>(
                                          remembered.begin(), remembered.end());
                                  },
                                  [&](const std::string& m, char l) { remembered[m] = l; }};
    auto drives = Volumes::list(memory, table);
    std::vector<std::pair<char, std::string>> got;
    for (const auto& v : drives) got.emplace_back(v.letter, v.root);
    EXPECT_EQ(got, (std::vector<std::pair<char, std::string>>{{'C', "/"},
                                                              {'D', "/media/usb stick/"},
                                                              {'E', "/run/media/anna/FOTOS/"},
                                                              {'H', "/home/"}}));
    EXPECT_EQ(remembered.at("/media/usb stick/"), 'D');
    // The stick, seen again alone, keeps its letter.
    std::ofstream(table) << "26 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                            "29 26 8:17 / /media/usb\\040stick rw - vfat /dev/sdb1 rw\n";
    drives = Volumes::list(memory, table);
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[1].letter, 'D');
}

TEST(VolumesTest, DeclaredVolumesReplaceTheDriveList) {
    TempDir dir;
    fs::create_directories(dir.file("medium"));
    const std::string file = dir.file("volumes");
    std::ofstream(file) << "# Testmedien\n"
                        << "E\t" << dir.file("medium") << "\tEIN_LANGES_LABEL\t1234abcd\t1000\t10\n"
                        << "f\t" << dir.file("leer") << "\t\t00000001\t0\t0\n";
    ::setenv("MV32_VOLUMES", file.c_str(), 1);
    auto drives = Volumes::list();
    ::unsetenv("MV32_VOLUMES");
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].letter, 'E');
    EXPECT_EQ(drives[0].root, dir.file("medium") + "/");
    EXPECT_TRUE(Volumes::ready(drives[0]));
    auto id = Volumes::identify(drives[0]);
    EXPECT_EQ(id->label, "EIN_LANGES_");
    EXPECT_EQ(id->serial, 0x1234ABCDu);
    EXPECT_EQ(Volumes::space(drives[0])->total, 1000u);
    EXPECT_EQ(drives[1].letter, 'F');
    EXPECT_FALSE(Volumes::ready(drives[1]));  // no medium in the drive
}

TEST(VolumesTest, TheRealDriveListHasTheRootAsC) {
    auto drives = Volumes::list();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives.front().letter, 'C');
    EXPECT_EQ(drives.front().root, "/");
    EXPECT_TRUE(Volumes::ready(drives.front()));
    EXPECT_TRUE(Volumes::identify(drives.front()).has_value());
    auto holder = Volumes::holding("/");
    ASSERT_TRUE(holder.has_value());
    EXPECT_EQ(holder->letter, 'C');
}

}  // namespace
}  // namespace mv32::test
