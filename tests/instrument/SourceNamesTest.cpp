// The one source table: names and indexes both ways, and the module's own order read
// from it.
#include "instrument/SourceNames.h"

#include <gtest/gtest.h>

#include <string>

#include "instrument/Wdm.h"

namespace kestrava {
namespace {

TEST(SourceNamesTest, NamesAndIndexesBothWaysAndTheModuleOrder) {
    for (int i = 0; i < kSourceCount; ++i) {
        std::string lower(SourceName(i));
        for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        EXPECT_EQ(SourceIndex(SourceName(i)), i);
        EXPECT_EQ(SourceIndex(lower), i) << lower;
    }
    EXPECT_EQ(SourceName(4), "REF1");
    EXPECT_EQ(SourceName(11), "MATH4");
    for (int outside : {-1, kSourceCount}) EXPECT_EQ(SourceName(outside), "");
    for (const char* name : {"CH5", "CH", "", "REF10", "CH1 "})
        EXPECT_EQ(SourceIndex(name), -1) << name;

    const char* const moduleOrder[] = {"CH1",   "CH2",   "CH3",  "CH4",  "MATH1", "MATH2",
                                       "MATH3", "MATH4", "REF1", "REF2", "REF3",  "REF4"};
    for (int m = 0; m < kWdmSourceCount; ++m) EXPECT_EQ(WdmSourceName(m), moduleOrder[m]) << m;
    EXPECT_EQ(WdmSourceName(kWdmSourceCount), "");
}

}  // namespace
}  // namespace kestrava
