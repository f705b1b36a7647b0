#include <gtest/gtest.h>

#include <filesystem>

#include "runtime/headless_platform.h"
#include "ui/app.h"

TEST(Smoke, StartsAndTopsUp) {
  mox::HeadlessPlatform platform(std::filesystem::temp_directory_path());
  mox::App app(platform);
  app.start();
  app.click("图形按钮2");
  EXPECT_EQ(app.mainForm().get("标签5").caption, "10 Q币");
}
