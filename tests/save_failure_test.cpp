// Saves that really fail on the disk, in ways that no permission check can be bypassed around (these run as root
// too): a full disk, something in the way of the data file, and a write that stops half way. Each keeps the
// previous data file byte for byte and tells the user. Linux only: the full disk is a tmpfs, the half-way write a
// file size limit.
#ifdef __linux__
#include <sys/mount.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "app_fixture.h"

using moxtest::Program;

namespace {

// Saves a first time, then changes the stock so the next save would write something else.
std::string savedThenChanged(Program& p) {
  p.click("保存数据");
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"保存成功"}));
  p.topUp(4);
  p.buy(1, 3);
  return moxtest::readFile(p.dir() / "MOXdata");
}

void expectFailedSaveKept(Program& p, const std::filesystem::path& kept, const std::string& before) {
  p.click("保存数据");
  EXPECT_TRUE(p.banners().empty());
  const auto boxes = p.platform().takeBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("保存失败"), std::string::npos) << boxes[0];
  EXPECT_EQ(moxtest::readFile(kept), before);
  EXPECT_FALSE(std::filesystem::exists(p.dir() / "MOXdata.saving"));
}

// A tmpfs of a few pages mounted over a fresh directory, taken down again at the end.
struct SmallDisk {
  std::filesystem::path dir = moxtest::freshDir();
  int error = 0;
  SmallDisk() {
    if (::mount("tmpfs", dir.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0700") != 0) error = errno;
  }
  ~SmallDisk() {
    if (!error) ::umount2(dir.c_str(), MNT_DETACH);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  // Fills every free block, so that a new file cannot get one.
  void fill() {
    std::FILE* f = std::fopen((dir / "filler").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::setvbuf(f, nullptr, _IONBF, 0);
    const std::string block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size()) {
    }
    while (std::fwrite("f", 1, 1, f) == 1) {
    }
    std::fclose(f);
  }
};

}  // namespace

TEST(FailedSave, AFullDiskKeepsThePreviousFile) {
  SmallDisk disk;
  if (disk.error) GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(disk.error);
  {
    Program p(disk.dir);
    p.keepDir();
    p.start();
    const std::string before = savedThenChanged(p);
    disk.fill();
    expectFailedSaveKept(p, p.dir() / "MOXdata", before);
    // Once there is room again the same save goes through.
    std::filesystem::remove(disk.dir / "filler");
    p.click("保存数据");
    EXPECT_EQ(p.banners(), (std::vector<std::string>{"保存成功"}));
    EXPECT_NE(moxtest::readFile(p.dir() / "MOXdata"), before);
  }
}

TEST(FailedSave, SomethingInTheWayOfTheFileKeepsThePreviousFile) {
  {  // the temporary file's name is taken by a directory
    Program p;
    p.start();
    const std::string before = savedThenChanged(p);
    std::filesystem::create_directory(p.dir() / "MOXdata.saving");
    p.click("保存数据");
    EXPECT_TRUE(p.banners().empty());
    EXPECT_EQ(p.platform().takeBoxes().size(), 1u);
    EXPECT_EQ(moxtest::readFile(p.dir() / "MOXdata"), before);
  }
  {  // the data directory is a file
    const auto dir = moxtest::freshDir();
    moxtest::writeFile(dir / "data", "not a directory");
    Program p(dir / "data");
    p.keepDir();
    p.start();
    p.topUp(0);
    p.buy(1, 0);
    expectFailedSaveKept(p, dir / "data", "not a directory");
    std::filesystem::remove_all(dir);
  }
  {  // the data file's name is taken by a directory: nothing loads, nothing is replaced
    Program p;
    std::filesystem::create_directories(p.dir() / "MOXdata" / "inside");
    p.start();
    p.topUp(0);
    p.buy(1, 0);
    p.click("保存数据");
    EXPECT_TRUE(p.banners().empty());
    EXPECT_EQ(p.platform().takeBoxes().size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(p.dir() / "MOXdata" / "inside"));
  }
}

TEST(FailedSave, AWriteThatStopsHalfWayKeepsThePreviousFile) {
  Program p;
  p.start();
  const std::string before = savedThenChanged(p);
  // A file size limit lets the first bytes through and fails the rest, as a disk failing mid-write would.
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  expectFailedSaveKept(p, p.dir() / "MOXdata", before);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  ASSERT_GT(before.size(), 16u);
  p.click("保存数据");
  EXPECT_EQ(p.banners(), (std::vector<std::string>{"保存成功"}));
}

#endif  // __linux__
