// The trigger sequences as the instrument receives them: exact commands, exact order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "instrument/SerialTrigger.h"
#include "tests/support/TriggerSimFixture.h"

namespace kestrava::test {
namespace {

using Lines = std::vector<std::string>;

TriggerDefinition Sata() {
    return {true, "SATA", "1.5E9", true, true};
}
TriggerDefinition StandardOnly() {
    return {true, "SATA", "1.25E6", true, false};
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

const Lines kSerdesBase = {"TRIGGER:A:Type SERIAL", "TRIGger:A:SERIal:CODe S8B10B",
                           "TRIGger:A:SERIAL:SERDes:CONTROLBit 1,1",
                           "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,0",
                           "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,1"};

Lines PatternLines(const std::string& p0, const std::string& p1) {
    return {"TRIGger:A:SERIAL:SERDes:PATtern 0,\"" + p0 + "\"",
            "TRIGger:A:SERIAL:DATA:PATTERN \"" + p0 + "\"",
            "TRIGger:A:SERIAL:SERDes:PATtern 1,\"" + p1 + "\""};
}

Lines ApplyPatternLines(const std::string& rate, const std::string& source, const std::string& p0,
                        const std::string& p1) {
    return Join(
        {{"TRIGGER:A:MODE NORMAL", "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,0"},
         kSerdesBase,
         {rate, "Trigger:A:Serial:Source " + source, "TRIGGER:A:MODE NORMAL"},
         kSerdesBase,
         PatternLines(p0, p1),
         {"TRIGger:A:SERIAL:SERDes:CONTROLBit 16,1", "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,0",
          "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,1"}});
}

Lines ErrorBaseLines(const std::string& standard) {
    return {"TRIGger:A:SERIal:STANdard " + standard,
            "TRIGger:A:SERIAL:SERDes:PATtern 0,\"X1X\"",
            "ACQUIRE:STATE RUN",
            "TRIGger:A:SERIAL:SERDes:CONTROLBit 1,0",
            "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,0",
            "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,1"};
}

Lines ErrorConditionLines(const std::string& condition) {
    return {"TRIGGER:A:MODE NORMAL",
            "TRIGGER:A:Type SERIAL",
            "TRIGger:A:SERIal:CODe S8B10B",
            "TRIGger:A:SERIAL:SERDes:CONTROLBit 1,0",
            "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,0",
            "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,1",
            "TRIGger:A:SERIAL:SERDes:TRIGCONDITION " + condition};
}

const std::string kRate = "TRIGger:A:SERIal:BitRate 1.5E9";

class SerialTriggerTest : public TriggerSimTest {};

TEST_F(SerialTriggerTest, DefaultsNameTheStandardOrTheRate) {
    const Lines head = {"TRIGGER:A:MODE NORMAL", "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,0",
                        "TRIGGER:A:Type SERIAL", "TRIGger:A:SERIal:CODe S8B10B",
                        "TRIGger:A:SERIAL:SERDes:CONTROLBit 1,1"};
    struct Case {
        TriggerDefinition definition;
        std::string sixth;
    } cases[] = {
        {{}, "TRIGger:A:SERIal:STANdard  INFINIBAND"},
        {StandardOnly(), "TRIGger:A:SERIal:STANdard SATA"},
        {Sata(), kRate},
        {{true, "SATA", "3E9", false, true}, "TRIGger:A:SERIal:BitRate 3E9"},
        {{true, "IBAND", "2.5E9", false, false}, "TRIGger:A:SERIal:STANdard  INFINIBAND"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(trigger_.SendTriggerDefaults(c.definition), 1);
        Lines expected = head;
        expected.push_back(c.sixth);
        EXPECT_EQ(Sent(), expected) << c.sixth;
    }
}

TEST_F(SerialTriggerTest, SourceChannelOnlyForTheFourChannels) {
    EXPECT_EQ(trigger_.SetTriggerSourceChannel(2), 1);
    EXPECT_EQ(Sent(), Lines{"Trigger:A:Serial:Source CH3"});
    EXPECT_EQ(trigger_.SetTriggerSourceChannel(5), 0);
    EXPECT_EQ(trigger_.SetTriggerSourceChannel(-1), 0);
    EXPECT_EQ(Sent(), Lines{});
}

TEST_F(SerialTriggerTest, ApplyAndReapplyPatternSequences) {
    EXPECT_EQ(trigger_.ApplyPatternTrigger(Sata(), "CH2", {"0101", "1010"}), 1);
    EXPECT_EQ(Sent(), ApplyPatternLines(kRate, "CH2", "0101", "1010"));

    EXPECT_EQ(trigger_.ReapplyPatternTrigger(StandardOnly(), "CH1", {"11", "00"}), 1);
    const Lines reapply = Join(
        {{"TRIGGER:A:MODE NORMAL", "TRIGGER:A:Type SERIAL", "TRIGger:A:SERIal:CODe S8B10B",
          "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,0", "TRIGger:A:SERIAL:SERDes:CONTROLBit 1,1",
          "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,0", "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,1",
          "TRIGger:A:SERIal:STANdard SATA", "Trigger:A:Serial:Source CH1"},
         kSerdesBase,
         PatternLines("11", "00"),
         {"TRIGger:A:SERIAL:SERDes:CONTROLBit 16,1"}});
    EXPECT_EQ(Sent(), reapply);
}

TEST_F(SerialTriggerTest, ControlCharacterTriggerEndsOnAnyControlPattern) {
    EXPECT_EQ(trigger_.ApplyControlCharacterTrigger(Sata(), "CH4"), 1);
    const Lines expected =
        Join({{"TRIGGER:A:MODE NORMAL", kRate, "Trigger:A:Serial:Source CH4"},
              ErrorBaseLines("SATA"),
              {"TRIGger:A:SERIAL:SERDes:PATtern 0,\"X1X\"", "TRIGger:A:SERIAL:DATA:PATTERN \"X1X\"",
               "ACQUIRE:STATE RUN", "TRIGger:A:SERIAL:SERDes:CONTROLBit 1,0",
               "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,0", "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,1",
               "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,0"}});
    EXPECT_EQ(Sent(), expected);
}

TEST_F(SerialTriggerTest, ErrorConditionsOfTheThreeKinds) {
    const std::pair<ErrorKind, std::string> kinds[] = {{ErrorKind::kCharacterError, "8,4"},
                                                       {ErrorKind::kDisparityError, "8,5"},
                                                       {ErrorKind::kLossOfByteSync, "8,6"}};
    for (const auto& [kind, condition] : kinds) {
        trigger_.SendErrorTriggerBase(Sata());
        trigger_.ApplyErrorCondition(kind);
        Lines expected =
            Join({ErrorBaseLines("SATA"), ErrorConditionLines(condition), {"ACQUIRE:STATE RUN"}});
        EXPECT_EQ(Sent(), expected) << condition;
        EXPECT_EQ(trigger_.Errors().First(), kind);

        EXPECT_EQ(trigger_.ReapplyErrorCondition(), 1);
        EXPECT_EQ(Sent(), ErrorConditionLines(condition));
    }
    trigger_.SetErrors({});
    EXPECT_EQ(trigger_.ReapplyErrorCondition(), 0);
    EXPECT_EQ(Sent(), Lines{});
}

TEST_F(SerialTriggerTest, ErrorKindsExcludeEachOther) {
    trigger_.ToggleErrorKind(Sata(), ErrorKind::kCharacterError);
    Sent();
    // Checking another kind clears the first and sends the new condition.
    trigger_.ToggleErrorKind(Sata(), ErrorKind::kDisparityError);
    EXPECT_EQ(Sent(),
              Join({ErrorBaseLines("SATA"), ErrorConditionLines("8,5"), {"ACQUIRE:STATE RUN"}}));
    EXPECT_FALSE(trigger_.Errors().characterError);
    EXPECT_TRUE(trigger_.Errors().disparityError);
    // Clearing the one set sends the base sequence alone.
    trigger_.ToggleErrorKind(Sata(), ErrorKind::kDisparityError);
    EXPECT_EQ(Sent(), ErrorBaseLines("SATA"));
    EXPECT_FALSE(trigger_.Errors().First().has_value());
}

TEST_F(SerialTriggerTest, ErrorBaseWithoutDefinitionNamesTheDefaultStandard) {
    trigger_.SendErrorTriggerBase({});
    EXPECT_EQ(Sent().front(), "TRIGger:A:SERIal:STANdard  INFINIBAND");
}

TEST_F(SerialTriggerTest, PatternTableBranches) {
    TriggerPatternInputs in;
    in.rdPlus = {"1100000101", "0101010101", "0101010101", "1101100011"};
    in.rdMinus = {"0011111010", "0101010101", "0101010101", "0010011100"};
    const std::string plus = "1100000101010101010101010101011101100011";
    const std::string minus = "0011111010010101010101010101010010011100";
    struct Case {
        TriggerOn on;
        Disparity disparity;
        PatternFormat format;
        std::string bits;
        std::string p0, p1;
    } cases[] = {
        {TriggerOn::kWord, Disparity::kEither, PatternFormat::kBinary, "", plus, minus},
        {TriggerOn::kWord, Disparity::kPositive, PatternFormat::kBinary, "", minus, minus},
        {TriggerOn::kWord, Disparity::kNegative, PatternFormat::kBinary, "", plus, plus},
        {TriggerOn::kCharacter, Disparity::kEither, PatternFormat::kBinary, "", "1100000101",
         "0011111010"},
        {TriggerOn::kCharacter, Disparity::kPositive, PatternFormat::kBinary, "", "0011111010",
         "0011111010"},
        {TriggerOn::kCharacter, Disparity::kNegative, PatternFormat::kBinary, "", "1100000101",
         "1100000101"},
        {TriggerOn::kBitPattern, Disparity::kEither, PatternFormat::kBinary, "x01X", "x01X",
         "x01X"},
        {TriggerOn::kBitPattern, Disparity::kEither, PatternFormat::kHex, "1f", "00011111",
         "00011111"},
        {TriggerOn::kBitPattern, Disparity::kEither, PatternFormat::kHex, "a G-9", "10101001",
         "10101001"},
    };
    for (const Case& c : cases) {
        in.on = c.on;
        in.disparity = c.disparity;
        in.format = c.format;
        in.bitPattern = c.bits;
        trigger_.ApplyPatternTrigger(Sata(), "CH1", ComposeTriggerPatterns(in));
        const Lines sent = Sent();
        ASSERT_EQ(sent.size(), 21u);
        EXPECT_EQ(Lines(sent.begin() + 15, sent.begin() + 18), PatternLines(c.p0, c.p1))
            << static_cast<int>(c.on) << "/" << static_cast<int>(c.disparity) << "/" << c.bits;
    }
}

TEST_F(SerialTriggerTest, OverlongCommandIsRefusedAndTheSequenceGoesOn) {
    TriggerDefinition longRate = Sata();
    longRate.bitRate = std::string(200, '9');
    // 35 + 163 + 1 = 199 characters is the longest pattern command that fits.
    const std::string fits(163, '1');
    trigger_.ApplyPatternTrigger(longRate, "CH1", {fits, fits + "0"});
    const Lines sent = Sent();
    ASSERT_EQ(sent.size(), 19u);  // the rate command and pattern 1 were not sent
    EXPECT_EQ(sent[7], "Trigger:A:Serial:Source CH1");
    EXPECT_EQ(sent[14], "TRIGger:A:SERIAL:SERDes:PATtern 0,\"" + fits + "\"");
    EXPECT_EQ(sent[16], "TRIGger:A:SERIAL:SERDes:CONTROLBit 16,1");
    EXPECT_NE(ReadFile(Tmp() + "/KORVAN.log").find("longer than 199"), std::string::npos);
}

TEST_F(SerialTriggerTest, WithoutSessionNothingIsSentAndDefaultsReportIt) {
    TheOscilloscope().CloseConnection(true);
    EXPECT_EQ(trigger_.SendTriggerDefaults(Sata()), 0);
    EXPECT_EQ(sim_.Journal(), Lines{});
}

TEST_F(SerialTriggerTest, ProbedMaximumAndTheUserRateRestored) {
    sim_.SetMaxBitRate(6.25e9);
    link_.Write("TRIGger:A:SERIal:BitRate 1.5E9");
    Sent();
    EXPECT_DOUBLE_EQ(ProbeMaximumBitRate(link_), 6.25e9);
    const Lines sent = Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[1], "TRIGger:A:SERIal:BitRate 100000000000.000000");
    EXPECT_EQ(sent[3], "TRIGger:A:SERIal:BitRate 1500000000.000000");
}

TEST(LeadingNumberTest, ReadsLikeTheUsualConversion) {
    EXPECT_DOUBLE_EQ(LeadingNumber("1.5E9"), 1.5e9);
    EXPECT_DOUBLE_EQ(LeadingNumber("  6.25E+009\n"), 6.25e9);
    EXPECT_DOUBLE_EQ(LeadingNumber("-3"), -3.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("GBPS"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("nan"), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber(""), 0.0);
}

}  // namespace
}  // namespace kestrava::test
