#include <gtest/gtest.h>

#include <string>

#include "base/CAnalysisHost.h"
#include "base/ListBox.h"

namespace kestrava {
namespace {

TEST(StatusBox, ModesShowKeepAndRestoreTheSummary) {
    CAnalysisHost host;
    host.DisplayMessage("----------------START-----------------", kShow);
    host.DisplayMessage("Source: FILE - a.wfm", kShowAndKeep);
    host.DisplayMessage("RD Errors: 0", kShowAndKeep);
    EXPECT_EQ(host.StatusText(),
              "----------------START-----------------\r\nSource: FILE - a.wfm\r\nRD Errors: 0\r\n");
    host.DisplayMessage("-----  DONE  -----", kShowSummary);
    EXPECT_EQ(host.StatusText(), "Source: FILE - a.wfm\r\nRD Errors: 0\r\n");
    EXPECT_EQ(host.KeptSummary(), host.StatusText());
    host.ClearKeptSummary();
    host.DisplayMessage("next", kShowAndKeep);
    EXPECT_EQ(host.KeptSummary(), "next\r\n");
}

TEST(StatusBox, NeverGrowsMuchBeyondTheLimitAndLosesWholeLinesFromTheFront) {
    CAnalysisHost host;
    for (int i = 0; i < 5000; ++i) host.DisplayMessage("line " + std::to_string(i), kShow);
    const std::string& text = host.StatusText();
    EXPECT_LE(text.size(), CAnalysisHost::kStatusLimit);
    EXPECT_GT(text.size(), CAnalysisHost::kStatusLimit - 200);
    EXPECT_EQ(text.rfind("line 4999\r\n"), text.size() - 11);
    // The box starts at the beginning of a line that was really sent.
    std::string first = text.substr(0, text.find("\r\n"));
    ASSERT_EQ(first.rfind("line ", 0), 0u) << first;
    int number = std::stoi(first.substr(5));
    EXPECT_GT(number, 0);
    EXPECT_NE(text.find("line " + std::to_string(number + 1) + "\r\n"), std::string::npos);
}

TEST(StatusBox, OptionsStartAtTheirPresets) {
    CAnalysisHost host;
    EXPECT_EQ(host.GetRefLevelP(), "50");
    EXPECT_EQ(host.GetHysterisisP(), "20");
    EXPECT_EQ(host.GetRefLevelAbs(), "0.0");
    EXPECT_EQ(host.GetHysterisisAbs(), "0.03");
    EXPECT_EQ(host.GetIsAbsRefLevel(), 0);
    EXPECT_EQ(host.GetSource(), 0);
    EXPECT_FLOAT_EQ(host.GetHorizontalPosition(), 50.0f);
    EXPECT_TRUE(host.KeptSummary().empty());
}

TEST(StatusBox, ListLinesKeepTheirPositionTags) {
    CAnalysisHost host;
    MemoryListBox list;
    host.AddLine(list, "K28.5  (-------)  ", 1234);
    host.AddLine(list, "D21.5  (0xb5) ", 1334);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Data(1), 1334);
    EXPECT_EQ(list.Text(0), "K28.5  (-------)  ");
    list.Select(5);
    EXPECT_EQ(list.Selected(), -1);
    host.ClearBox(list);
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace kestrava
