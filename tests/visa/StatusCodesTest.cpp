#include "visa/StatusCodes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "visa/visa.h"

namespace kestrava::visa {
namespace {

TEST(StatusCodesTest, EveryCodeIsUniqueAndItsSignMatchesItsName) {
    std::set<ViStatus> codes;
    std::set<std::string_view> names;
    for (const StatusInfo& info : StatusTable()) {
        EXPECT_TRUE(codes.insert(info.status).second) << info.name;
        EXPECT_TRUE(names.insert(info.name).second) << info.name;
        bool error = info.name.starts_with("VI_ERROR_");
        EXPECT_EQ(info.status < 0, error) << info.name;
        EXPECT_FALSE(info.description.empty()) << info.name;
        ViChar text[VI_FIND_BUFLEN];
        EXPECT_EQ(viStatusDesc(VI_NULL, info.status, text), VI_SUCCESS);
        EXPECT_EQ(std::string(text).substr(0, info.name.size()), info.name);
    }
    ViChar text[VI_FIND_BUFLEN];
    EXPECT_EQ(viStatusDesc(VI_NULL, -12345, text), VI_WARN_UNKNOWN_STATUS);
    EXPECT_STREQ(text, "Unknown status -12345.");
}

TEST(StatusCodesTest, ValuesAreTheStandardOnes) {
    // What a vendor's library would return for the same conditions.
    EXPECT_EQ(VI_ERROR_TMO, static_cast<ViStatus>(0xBFFF0015u));
    EXPECT_EQ(VI_ERROR_RSRC_NFOUND, static_cast<ViStatus>(0xBFFF0011u));
    EXPECT_EQ(VI_ERROR_CONN_LOST, static_cast<ViStatus>(0xBFFF00A6u));
    EXPECT_EQ(VI_ERROR_RSRC_LOCKED, static_cast<ViStatus>(0xBFFF000Fu));
    EXPECT_EQ(VI_SUCCESS_TERM_CHAR, 0x3FFF0005);
    EXPECT_EQ(VI_SUCCESS_MAX_CNT, 0x3FFF0006);
    EXPECT_EQ(VI_ATTR_TMO_VALUE, 0x3FFF001Au);
    EXPECT_EQ(VI_ATTR_TERMCHAR_EN, 0x3FFF0038u);
}

}  // namespace
}  // namespace kestrava::visa
