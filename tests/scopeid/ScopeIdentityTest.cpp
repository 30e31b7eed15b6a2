// The model token, model number, family codes and list comparison on their own.
#include "scopeid/ScopeIdentity.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace kestrava::scopeid {
namespace {

TEST(ScopeIdentityTest, TokenRunsToTheNextCommaOrTheEnd) {
    std::string_view answer = "MAKER,QVM71254C,C010101,CF:91.1CT";
    EXPECT_EQ(ModelTokenAt(answer, answer.find("QVM")), "QVM71254C");
    std::string_view last = "MAKER,SN1,FW2,HWZ7254";
    EXPECT_EQ(ModelTokenAt(last, last.find("HWZ")), "HWZ7254");
    EXPECT_EQ(ModelTokenAt(last, 100), "");
}

TEST(ScopeIdentityTest, ModelNumberIsTheFirstDigitRunOfAtMostSevenDigits) {
    EXPECT_EQ(ModelNumber("QVM71254C"), 71254);
    EXPECT_EQ(ModelNumber("QVM"), 0);
    EXPECT_EQ(ModelNumber("LKR12X34"), 12);
    EXPECT_EQ(ModelNumber("JNF123456789"), 1234567);
    EXPECT_EQ(ModelNumber("HWZ0070404"), 70404);
}

TEST(ScopeIdentityTest, FamilyCodesAcrossTheirBoundaries) {
    struct Case {
        const char* prefix;
        int32_t number;
        int32_t code;
    };
    for (const Case& c :
         {Case{"QVM", 12345, 72345}, Case{"QVM", 6154, 6154}, Case{"QVM", 9999, 9999},
          Case{"QVM", 10000, 70000}, Case{"QVM", 1234567, 74567}, Case{"LKR", 12345, 12345},
          Case{"LKR", 0, 0}, Case{"HWZ", 7254, 70254}, Case{"HWZ", 70404, 70404},
          Case{"HWZ", 9999, 9999}, Case{"HWZ", 9998, 72998}, Case{"HWZ", 0, 70000},
          Case{"JNF", 7000, 70000}, Case{"JNF", 6999, 76999}, Case{"JNF", 12345, 12345}})
        EXPECT_EQ(ModelCode(c.prefix, c.number), c.code) << c.prefix << c.number;
}

TEST(ScopeIdentityTest, TokenCopyIsBoundedByTheBuffer) {
    char buffer[8];
    std::memset(buffer, 'z', sizeof buffer);
    CopyToken("QVM1234567890", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "QVM1234");
    CopyToken("", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
}

class ListTest : public ::testing::Test {
  protected:
    bool Listed(const std::string& contents, std::string_view token) {
        std::FILE* file = std::tmpfile();
        std::fputs(contents.c_str(), file);
        std::rewind(file);
        bool listed = ListContains(file, token);
        std::fclose(file);
        return listed;
    }
};

TEST_F(ListTest, WholeTokensMatchIgnoringCase) {
    EXPECT_TRUE(Listed("qvm71254c", "QVM71254C"));
    EXPECT_TRUE(Listed("LKR1\n\tHWZ7254  \r\nQVM71254C\n", "QVM71254C"));
    EXPECT_FALSE(Listed("QVM71254CX VQVM71254C QVM7125", "QVM71254C"));
    EXPECT_FALSE(Listed("", "QVM71254C"));
    EXPECT_FALSE(Listed("   \n", ""));
    EXPECT_FALSE(Listed("QVM1", ""));
}

TEST_F(ListTest, TokensLongerThanTheTokenBufferNeverMatch) {
    std::string model(kMaxListToken, 'A');
    EXPECT_TRUE(Listed(model + "\n", model));
    // The tail of an overlong token is not a token of its own.
    EXPECT_FALSE(Listed(std::string(150, 'B') + "QVM1 x", "QVM1"));
    EXPECT_TRUE(Listed(std::string(150, 'B') + " QVM1", "QVM1"));
}

}  // namespace
}  // namespace kestrava::scopeid
