// Location of a folder: symbolic links on the path and the mount table of an emulated root
// ("/proc/mounts" with octal escapes, nested and repeated mounts, a line too long to take),
// and the location codes of the listing.
#include "platform/dir_location.h"

#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "tests/unit/emulated_pvr.h"

namespace {

class DirLocationTest : public EmulatedPvr {
 protected:
  void SetUp() override {
    EmulatedPvr::SetUp();
    WriteFile("/proc/mounts",
              "rootfs / rootfs rw 0 0\n"
              "proc /proc proc rw 0 0\n"
              "/dev/sda2 /mnt/hd ext3 rw,noatime 0 0\n"
              "/dev/sda3 /mnt/hd/Extra ext3 rw 0 0\n"
              "none /mnt/hdd tmpfs rw 0 0\n"
              "/dev/sdb1 /mnt/sdb1 vfat rw 0 0\n"
              "/dev/sdc1 /mnt/My\\040Drive\\011x vfat rw 0 0\n"
              "/dev/old /mnt/sdd1 vfat rw 0 0\n"
              "/dev/sdd1 /mnt/sdd1 vfat rw 0 0\n" +
                  std::string("/dev/sde1 /mnt/long") + std::string(1010, 'x') + " vfat rw 0 0\n" +
                  "/dev/sdf1   /mnt/sdf1\tvfat rw 0 0\n");
  }
  void Link(const std::string &pvrPath, const std::string &target) {
    ASSERT_EQ(symlink(target.c_str(), Host(pvrPath).c_str()), 0);
  }
  std::string mount_, device_;
  int Mount(const std::string &path) {
    char mount[DIR_LOCATION_TEXT_SIZE], device[DIR_LOCATION_TEXT_SIZE];
    int found = HDD_FindMountPointDevice(path.c_str(), mount, sizeof mount, device, sizeof device);
    mount_ = mount;
    device_ = device;
    return found;
  }
};

TEST_F(DirLocationTest, TheLongestWholeSegmentMountWins) {
  ASSERT_TRUE(Mount("/mnt/hd/DataFiles"));
  EXPECT_EQ(mount_, "/mnt/hd/");
  EXPECT_EQ(device_, "/dev/sda2/");
  ASSERT_TRUE(Mount("/mnt/hd"));
  EXPECT_EQ(mount_, "/mnt/hd/");
  ASSERT_TRUE(Mount("/mnt/hdd/x"));             // not the disk at /mnt/hd
  EXPECT_EQ(mount_, "/mnt/hdd/");
  EXPECT_EQ(device_, "none/");
  ASSERT_TRUE(Mount("/mnt/hd/Extra/Films"));    // the nested mount
  EXPECT_EQ(device_, "/dev/sda3/");
  ASSERT_TRUE(Mount("/mnt/hd/ExtraOld"));
  EXPECT_EQ(device_, "/dev/sda2/");
  ASSERT_TRUE(Mount("/mnt/My Drive\tx/a"));     // octal escapes decoded
  EXPECT_EQ(mount_, "/mnt/My Drive\tx/");
  EXPECT_EQ(device_, "/dev/sdc1/");
  ASSERT_TRUE(Mount("/mnt/sdd1"));               // mounted twice: the later one shows
  EXPECT_EQ(device_, "/dev/sdd1/");
  ASSERT_TRUE(Mount("/mnt/sdf1/x"));             // blanks and tabs between fields
  EXPECT_EQ(device_, "/dev/sdf1/");
  ASSERT_TRUE(Mount("/mnt/long" + std::string(1010, 'x')));   // the line was too long: only "/"
  EXPECT_EQ(mount_, "/");
  EXPECT_EQ(device_, "rootfs/");
  ASSERT_TRUE(Mount("/mnt/hd/a/../../sdb1/Films"));   // normalised first
  EXPECT_EQ(device_, "/dev/sdb1/");
  EXPECT_FALSE(Mount("relative/path"));
  EXPECT_EQ(mount_, "");
  EXPECT_EQ(device_, "");
}

TEST_F(DirLocationTest, OutputsAreCutToTheirSizes) {
  char mount[6], device[4];
  ASSERT_TRUE(HDD_FindMountPointDevice("/mnt/sdb1/x", mount, sizeof mount, device, sizeof device));
  EXPECT_STREQ(mount, "/mnt/");
  EXPECT_STREQ(device, "/de");
}

TEST_F(DirLocationTest, NoMountTableNoMount) {
  unlink(Host("/proc/mounts").c_str());
  EXPECT_FALSE(Mount("/mnt/hd"));
  DirLocation where;
  GetDirLocation("/mnt/hd/DataFiles", &where);
  EXPECT_STREQ(where.device, "");
  EXPECT_EQ(where.location, 3);
}

TEST_F(DirLocationTest, TheFirstLinkOnThePathIsFound) {
  Link("/mnt/hd/DataFiles/USB", "/mnt/sdb1");
  Link("/mnt/hd/DataFiles/Music", "../MP3Files");
  WriteFile("/mnt/sdb1/Films/a.rec", "");
  char target[64], resolved[64];
  EXPECT_EQ(HDD_FindSymbolicLink("/mnt/hd/DataFiles/USB/Films", target, sizeof target, resolved, sizeof resolved), 9);
  EXPECT_STREQ(target, "/mnt/sdb1");
  EXPECT_STREQ(resolved, "/mnt/sdb1/Films");
  EXPECT_EQ(HDD_FindSymbolicLink("/mnt/hd/DataFiles/USB", target, sizeof target, resolved, sizeof resolved), 9);
  EXPECT_STREQ(resolved, "/mnt/sdb1");
  EXPECT_EQ(HDD_FindSymbolicLink("/mnt/hd/DataFiles/Music/x", target, sizeof target, resolved, sizeof resolved), 11);
  EXPECT_STREQ(target, "../MP3Files");
  EXPECT_STREQ(resolved, "/mnt/hd/MP3Files/x");
  EXPECT_EQ(HDD_FindSymbolicLink("/mnt/hd/DataFiles", target, sizeof target, resolved, sizeof resolved), 0);
  EXPECT_STREQ(target, "");
  EXPECT_STREQ(resolved, "");
  EXPECT_EQ(HDD_FindSymbolicLink("DataFiles/USB", target, sizeof target, resolved, sizeof resolved), 0);
  char small[5];
  EXPECT_EQ(HDD_FindSymbolicLink("/mnt/hd/DataFiles/USB/Films", small, sizeof small, resolved, sizeof resolved), 9);
  EXPECT_STREQ(small, "/mnt");
}

TEST_F(DirLocationTest, LocationCodes) {
  Link("/mnt/hd/DataFiles/USB", "/mnt/sdb1");
  Link("/mnt/hd/DataFiles/Second", "/mnt/hd/Extra");
  DirLocation where;
  GetDirLocation("/mnt/hd/DataFiles", &where);
  EXPECT_STREQ(where.link, "");
  EXPECT_STREQ(where.mount, "/mnt/hd/");
  EXPECT_STREQ(where.device, "/dev/sda2/");
  EXPECT_EQ(where.location, 0);
  GetDirLocation("/mnt/hd/DataFiles/Second", &where);   // a link to another part of the disk
  EXPECT_STREQ(where.link, "/mnt/hd/Extra");
  EXPECT_STREQ(where.device, "/dev/sda3/");
  EXPECT_EQ(where.location, 1);
  GetDirLocation("/mnt/hd/DataFiles/USB/Films", &where);   // through the link to the drive
  EXPECT_STREQ(where.link, "/mnt/sdb1");
  EXPECT_STREQ(where.mount, "/mnt/sdb1/");
  EXPECT_STREQ(where.device, "/dev/sdb1/");
  EXPECT_EQ(where.location, 2);
  GetDirLocation("/mnt/hdd", &where);
  EXPECT_EQ(where.location, 3);
}

}  // namespace
