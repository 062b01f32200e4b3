#include "base/LogFile.h"

#include "tests/base/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(LogFile, OpenRecreatesAndEachLineIsOnDiskAtOnce) {
    TempDir dir;
    ASSERT_TRUE(dir.Ok());
    const std::string path = dir.File("log.txt");
    TempDir::WriteAll(path, "old contents\n");

    lm::LogFile log;
    ASSERT_TRUE(log.Open(path));
    EXPECT_EQ(TempDir::ReadAll(path), "");
    log.Write("Create plot");
    // Read through another handle while the log is still open.
    EXPECT_EQ(TempDir::ReadAll(path), "Create plot\n");
    log.Write("Create dot layer 细胞");
    EXPECT_EQ(TempDir::ReadAll(path), "Create plot\nCreate dot layer 细胞\n");
    log.Close();
    log.Write("after close");
    EXPECT_EQ(TempDir::ReadAll(path), "Create plot\nCreate dot layer 细胞\n");
}

TEST(LogFile, UnopenedOrFailedLogIgnoresWrites) {
    lm::LogFile log;
    EXPECT_FALSE(log.IsOpen());
    log.Write("nobody listens");
    EXPECT_FALSE(log.Open("/nonexistent-folder-lumitra/log.txt"));
    EXPECT_FALSE(log.IsOpen());
    log.Write("still nothing");
}

}  // namespace
