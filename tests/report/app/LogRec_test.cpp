#include "report/app/LogRec.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/support/FcsWriter.h"

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(LogRec, RecreatedEmptyAndEachLineOnDiskAtOnce) {
    lmtest::TempDir dir;
    const std::string path = dir.File("log.txt");
    std::ofstream(path) << "previous run\n";
    CLogRec log(path);
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(ReadAll(path), "");
    log.Write("#CPLOT--New Node Plot");
    EXPECT_EQ(ReadAll(path), "#CPLOT--New Node Plot\n");
    log.Write();
    log.Write(int64_t(-42));
    log.Write("Storing Data Cnt", 3);
    EXPECT_EQ(ReadAll(path), "#CPLOT--New Node Plot\n\n-42\nStoring Data Cnt:  3\n");
}

TEST(LogRec, TextIsWrittenVerbatimNeverAsAFormat) {
    lmtest::TempDir dir;
    const std::string path = dir.File("log.txt");
    CLogRec log(path);
    log.Write("file %s%n%d 100%.fcs");
    log.Write("%ld%s", 7);
    EXPECT_EQ(ReadAll(path), "file %s%n%d 100%.fcs\n%ld%s:  7\n");
}

TEST(LogRec, AnUnwritableFolderMakesLoggingANoOp) {
    CLogRec log("/nonexistent-lumitra-folder/log.txt");
    EXPECT_FALSE(log.IsOpen());
    log.Write("nobody reads this");
    log.Write(1);
    log.Write("x", 2);
}

}  // namespace
