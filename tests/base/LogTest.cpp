#include "base/Log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <stdexcept>

#include "base/Folders.h"
#include "base/Guard.h"
#include "tests/support/TempFolders.h"

namespace kestrava {
namespace {

class LogTest : public test::TempFolders {
  protected:
    std::string Log() const { return ReadFile(Folders::LogFilePath()); }
};

TEST_F(LogTest, EntriesHaveTimeStampLevelSourceAndMessageInCallOrder) {
    WriteLog("CSataBitDetector", "Recalculate", kLogError);
    WriteLog("CMacros", "Adding a Primitive", kLogInfo);
    const std::regex expected(
        "\\d\\d-\\d\\d-\\d{4}, \\d\\d:\\d\\d:\\d\\d :: ERROR  >>CSataBitDetector::Recalculate\r\n"
        "\\d\\d-\\d\\d-\\d{4}, \\d\\d:\\d\\d:\\d\\d :: INFO  >>CMacros::Adding a Primitive\r\n");
    EXPECT_TRUE(std::regex_match(Log(), expected)) << Log();
}

TEST_F(LogTest, EmptySourceLeavesNothingBetweenTagAndSeparator) {
    WriteLog("", "Start:~SataDecoder", kLogError);
    EXPECT_NE(Log().find(":: ERROR  >>::Start:~SataDecoder\r\n"), std::string::npos);
}

TEST_F(LogTest, LevelsOtherThanErrorAndInfoWriteNothing) {
    WriteLog("S", "one", 1);
    WriteLog("S", "three", 3);
    WriteLog("S", "minus", -1);
    EXPECT_FALSE(Folders::Exists(Folders::LogFilePath()));
}

TEST_F(LogTest, MissingFolderLosesTheEntrySilently) {
    ::setenv("TMPDIR", (Tmp() + "/absent").c_str(), 1);
    WriteLog("S", "lost", kLogError);
    EXPECT_FALSE(Folders::Exists(Folders::LogFilePath()));
}

TEST_F(LogTest, DeleteLogStartsAFreshLogAndIgnoresAMissingFile) {
    WriteLog("S", "old run", kLogError);
    DeleteLog();
    EXPECT_FALSE(Folders::Exists(Folders::LogFilePath()));
    DeleteLog();
    WriteLog("S", "new run", kLogError);
    EXPECT_EQ(Log().find("old run"), std::string::npos);
}

TEST_F(LogTest, GuardLogsTheFailureAndReturnsTheFallback) {
    bool finished = Guard("CSataWordDecoder", "DecodeWords", [] { throw std::runtime_error("x"); });
    EXPECT_FALSE(finished);
    int value = GuardOr(-1, "CMacros", "Get8BitValue", []() -> int { throw 1; });
    EXPECT_EQ(value, -1);
    EXPECT_EQ(GuardOr(-1, "CMacros", "Get8BitValue", [] { return 7; }), 7);
    EXPECT_NE(Log().find(">>CSataWordDecoder::DecodeWords\r\n"), std::string::npos);
    EXPECT_NE(Log().find(">>CMacros::Get8BitValue\r\n"), std::string::npos);
}

}  // namespace
}  // namespace kestrava
