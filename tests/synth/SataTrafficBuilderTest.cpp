#include "synth/SataTrafficBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "synth/CaptureScenario.h"
#include "synth/Encoder8b10b.h"
#include "synth/SataCrc.h"
#include "synth/SataScrambler.h"
#include "tests/synth/LineChecker.h"

namespace kestrava::synth {
namespace {

using P = SataPrimitive;

std::vector<P> PrimitiveKinds(const SataTraffic& t) {
    std::vector<P> kinds;
    for (const SentDword& d : t.dwords)
        if (d.role == DwordRole::Primitive) kinds.push_back(d.primitive);
    return kinds;
}

std::vector<DwordRole> Roles(const SataTraffic& t) {
    std::vector<DwordRole> roles;
    for (const SentDword& d : t.dwords) roles.push_back(d.role);
    return roles;
}

TEST(SataTrafficBuilderTest, AFrameIsSofScrambledFisAndCrcThenEof) {
    TrafficOptions options;
    options.alignIntervalDwords = 0;
    SataTrafficBuilder builder(options);
    const Fis fis = FisBuilder::IdentifyDevice();
    const SataTraffic t = builder.Frame(fis).Build();
    ASSERT_EQ(t.dwords.size(), fis.dwords.size() + 3);
    EXPECT_EQ(t.dwords.front().primitive, P::Sof);
    EXPECT_EQ(t.dwords.back().primitive, P::Eof);
    SataScrambler scrambler;
    for (std::size_t i = 0; i < fis.dwords.size(); ++i) {
        const SentDword& d = t.dwords[1 + i];
        EXPECT_EQ(d.role, DwordRole::FisDword);
        EXPECT_EQ(d.lineValue, fis.dwords[i] ^ scrambler.Next());
    }
    const SentDword& crc = t.dwords[1 + fis.dwords.size()];
    EXPECT_EQ(crc.role, DwordRole::Crc);
    EXPECT_EQ(crc.plainValue, SataCrc::Of(fis.dwords));
    EXPECT_EQ(crc.lineValue, crc.plainValue ^ scrambler.Next());
    // The first data dword after SOF is scrambled with the first value after reset.
    EXPECT_EQ(t.dwords[1].lineValue, 0x00EC8027u ^ 0xC2D2768Du);

    ASSERT_EQ(t.frames.size(), 1u);
    EXPECT_EQ(t.frames[0].Type(), 0x27);
    EXPECT_EQ(t.frames[0].dwords.back(), crc.plainValue);
    // Characters: least significant byte first, and the bits are their codes in order.
    ASSERT_EQ(t.characters.size(), 4 * t.dwords.size());
    EXPECT_EQ(t.characters[4].value, static_cast<int>(t.dwords[1].lineValue & 0xFF));
    EXPECT_EQ(t.characters[7].value, static_cast<int>(t.dwords[1].lineValue >> 24));
    ASSERT_EQ(t.bits.size(), 10 * t.characters.size());
    for (std::size_t c = 0; c < t.characters.size(); ++c)
        for (int i = 0; i < 10; ++i)
            ASSERT_EQ(t.bits[10 * c + i], t.characters[c].code >> (9 - i) & 1);
    EXPECT_TRUE(test::DisparityErrors(t.characters).empty());
    EXPECT_EQ(test::ReceiveFrames(t.characters),
              std::vector<std::vector<std::uint32_t>>{t.frames[0].dwords});
}

TEST(SataTrafficBuilderTest,
     AlignPairsComeAtTheIntervalAlsoInsideFramesWithoutTouchingScramblerOrCrc) {
    TrafficOptions options;
    options.alignIntervalDwords = 8;
    std::vector<std::uint8_t> payload(100);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i * 3);
    const Fis fis = FisBuilder::Data(payload);
    const SataTraffic t =
        SataTrafficBuilder(options).Primitive(P::Sync, 3).Frame(fis).Primitive(P::Sync, 3).Build();

    int sinceAlign = 0, alignsInFrame = 0;
    for (std::size_t i = 0; i < t.dwords.size(); ++i) {
        const SentDword& d = t.dwords[i];
        if (d.role == DwordRole::Primitive && d.primitive == P::Align) {
            ASSERT_EQ(sinceAlign, 8) << "dword " << i;
            ASSERT_EQ(t.dwords.at(i + 1).primitive, P::Align);
            if (d.role == DwordRole::Primitive &&
                i > static_cast<std::size_t>(t.frames[0].sofDword) &&
                i < static_cast<std::size_t>(t.frames[0].eofDword))
                ++alignsInFrame;
            sinceAlign = 0;
            ++i;
            continue;
        }
        ++sinceAlign;
        ASSERT_LE(sinceAlign, 8);
    }
    EXPECT_GE(alignsInFrame, 2);
    // Frame dwords are still scrambled as one unbroken sequence from SOF.
    SataScrambler scrambler;
    std::vector<std::uint32_t> plain;
    for (int index : t.frames[0].dwordIndexes)
        plain.push_back(t.dwords[index].lineValue ^ scrambler.Next());
    std::vector<std::uint32_t> expected = fis.dwords;
    expected.push_back(SataCrc::Of(fis.dwords));
    EXPECT_EQ(plain, expected);
    EXPECT_EQ(test::ReceiveFrames(t.characters), std::vector<std::vector<std::uint32_t>>{expected});
}

TEST(SataTrafficBuilderTest, LongRunsAreSuppressedWithContAndJunk) {
    TrafficOptions options;
    options.alignIntervalDwords = 0;
    const SataTraffic t =
        SataTrafficBuilder(options).Primitive(P::Sync, 10).Primitive(P::XRdy, 3).Build();
    EXPECT_EQ(PrimitiveKinds(t),
              (std::vector<P>{P::Sync, P::Sync, P::Cont, P::XRdy, P::XRdy, P::XRdy}));
    ASSERT_EQ(t.dwords.size(), 13u);
    for (int i = 3; i < 10; ++i) EXPECT_EQ(t.dwords[i].role, DwordRole::Junk);
    for (int c = 12; c < 40; ++c) EXPECT_LT(t.characters[c].value, kControlBase);  // junk is data
    // Junk differs from dword to dword.
    EXPECT_NE(t.dwords[3].lineValue, t.dwords[4].lineValue);

    options.contMinimumRun = 0;
    const SataTraffic plain = SataTrafficBuilder(options).Primitive(P::Sync, 10).Build();
    EXPECT_EQ(PrimitiveKinds(plain), std::vector<P>(10, P::Sync));
}

TEST(SataTrafficBuilderTest, AlignPairsInsideJunkDoNotEndIt) {
    TrafficOptions options;
    options.alignIntervalDwords = 5;
    const SataTraffic t = SataTrafficBuilder(options).Primitive(P::Sync, 12).Build();
    const std::vector<P> kinds = PrimitiveKinds(t);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), P::Cont), 1);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), P::Sync), 2);
    EXPECT_EQ(std::count(kinds.begin(), kinds.end(), P::Align), 4);
}

TEST(SataTrafficBuilderTest, AHeldFrameResumesWithTheHoldPrimitiveBeforeItsData) {
    TrafficOptions options;
    options.alignIntervalDwords = 0;
    const Fis fis = FisBuilder::Data(std::vector<std::uint8_t>(40, 0x5A));
    FrameOptions hold;
    hold.holdBeforeDword = 4;
    hold.holdCount = 6;
    const SataTraffic t = SataTrafficBuilder(options).Frame(fis, hold).Build();
    using R = DwordRole;
    const std::vector<R> roles = Roles(t);
    const std::vector<R> expected{R::Primitive, R::FisDword,  R::FisDword,  R::FisDword,
                                  R::FisDword,  R::Primitive, R::Primitive, R::Primitive,
                                  R::Junk,      R::Junk,      R::Junk,      R::Primitive,
                                  R::FisDword};
    ASSERT_GT(roles.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), roles.begin()));
    EXPECT_EQ(PrimitiveKinds(t),
              (std::vector<P>{P::Sof, P::Hold, P::Hold, P::Cont, P::Hold, P::Eof}));
    std::vector<std::uint32_t> withCrc = fis.dwords;
    withCrc.push_back(SataCrc::Of(fis.dwords));
    EXPECT_EQ(t.frames[0].dwords, withCrc);
    EXPECT_EQ(test::ReceiveFrames(t.characters), std::vector<std::vector<std::uint32_t>>{withCrc});

    FrameOptions badCrc;
    badCrc.crcXor = 1;
    const SataTraffic bad = SataTrafficBuilder(options).Frame(fis, badCrc).Build();
    EXPECT_EQ(bad.frames[0].dwords.back(), SataCrc::Of(fis.dwords) ^ 1);
}

TEST(SataTrafficBuilderTest, FaultsLandWhereAskedAndLeaveTheRestIntact) {
    TrafficOptions options;
    options.alignIntervalDwords = 0;
    SataTrafficBuilder builder(options);
    builder.Primitive(P::Sync, 2);
    builder.Fault(FaultKind::InvalidCode, 1).Primitive(P::Sync);     // dword 2
    builder.Fault(FaultKind::WrongDisparity, 2).Primitive(P::Sync);  // dword 3, D21.5 is neutral
    builder.Fault(FaultKind::ExtraBit, 3).Primitive(P::Sync);        // dword 4
    builder.Fault(FaultKind::LostBit, 0).Primitive(P::Sync).Primitive(P::Sync, 2);  // dword 5
    const SataTraffic t = builder.Build();

    ASSERT_EQ(t.faults.size(), 4u);
    EXPECT_EQ(t.faults[0].kind, FaultKind::InvalidCode);
    EXPECT_EQ(t.faults[0].character, 9);
    EXPECT_EQ(t.characters[9].code, SataTrafficBuilder::kInvalidCode);
    EXPECT_FALSE(test::IsValidCode(SataTrafficBuilder::kInvalidCode));
    EXPECT_EQ(Encoder8b10b::CodeDisparity(SataTrafficBuilder::kInvalidCode), 0);
    // D21.5 has one code at both disparities: the fault moves on to the next character
    // with two, the K28.3 of the following SYNC.
    EXPECT_EQ(t.faults[1].kind, FaultKind::WrongDisparity);
    EXPECT_EQ(t.faults[1].character, 16);
    EXPECT_EQ(t.characters[16].code,
              Encoder8b10b::CodeFor(t.characters[16].value, !t.characters[16].negativeBefore));
    EXPECT_EQ(test::DisparityErrors(t.characters), std::vector<int>{16});
    EXPECT_EQ(t.faults[2].kind, FaultKind::ExtraBit);
    EXPECT_EQ(t.faults[2].character, 19);
    EXPECT_EQ(t.characters[19].bitCount, 11);
    EXPECT_EQ(t.bits[t.characters[19].firstBit + 10], t.bits[t.characters[19].firstBit + 9]);
    EXPECT_EQ(t.faults[3].kind, FaultKind::LostBit);
    EXPECT_EQ(t.faults[3].character, 20);
    EXPECT_EQ(t.characters[20].bitCount, 9);
    EXPECT_EQ(t.bits.size(), 10 * t.characters.size());  // one extra, one lost
    for (std::size_t c = 1; c < t.characters.size(); ++c)
        EXPECT_EQ(t.characters[c].firstBit,
                  t.characters[c - 1].firstBit + t.characters[c - 1].bitCount);
    // Every other character still reads as what was meant.
    for (std::size_t c = 0; c < t.characters.size(); ++c)
        if (c != 9) {
            EXPECT_EQ(test::Read(t.characters[c].code).value, t.characters[c].value) << c;
        }
}

TEST(SataTrafficBuilderTest, EveryScenarioReadsBackAsItsFrames) {
    for (const auto& info : CaptureScenario::List()) {
        for (bool host : {true, false}) {
            ScenarioOptions options;
            options.name = std::string(info.name);
            options.hostLane = host;
            const SataTraffic t = CaptureScenario::Build(options);
            ASSERT_FALSE(t.characters.empty()) << info.name;
            std::vector<std::vector<std::uint32_t>> sent;
            for (const SentFrame& f : t.frames) {
                sent.push_back(f.dwords);
                if (!f.crcSent) continue;
                std::vector<std::uint32_t> fis(f.dwords.begin(), f.dwords.end() - 1);
                const bool badCrc = f.description.find("wrong CRC") != std::string::npos;
                EXPECT_EQ(f.dwords.back() == SataCrc::Of(fis), !badCrc) << info.name;
            }
            // The primitives scenario sends SOF and EOF bare: a receiver sees empty frames.
            std::vector<std::vector<std::uint32_t>> received;
            for (auto& frame : test::ReceiveFrames(t.characters))
                if (!frame.empty()) received.push_back(frame);
            EXPECT_EQ(received, sent) << info.name;
            int wrongDisparity = 0;
            for (const SentFault& f : t.faults)
                wrongDisparity += f.kind == FaultKind::WrongDisparity;
            EXPECT_EQ(static_cast<int>(test::DisparityErrors(t.characters).size()), wrongDisparity)
                << info.name;
        }
    }
}

TEST(SataTrafficBuilderTest, SessionLanesCarryTheirOwnFrames) {
    ScenarioOptions options;
    const SataTraffic host = CaptureScenario::Build(options);
    ASSERT_EQ(host.frames.size(), 3u);
    EXPECT_EQ(host.frames[0].dwords[0], 0x00EC8027u);
    EXPECT_EQ(host.frames[1].dwords[0] & 0x00FF00FF, 0x00A00027u);
    // The command packet directly follows its PACKET command.
    EXPECT_EQ(host.frames[2].Type(), FisBuilder::kData);
    EXPECT_TRUE(host.frames[2].carriesCdb);
    EXPECT_EQ(host.frames[2].dwords[1] & 0xFF, 0x28u);

    options.hostLane = false;
    const SataTraffic device = CaptureScenario::Build(options);
    std::vector<std::uint8_t> types;
    for (const SentFrame& f : device.frames) types.push_back(f.Type());
    EXPECT_EQ(types, (std::vector<std::uint8_t>{0x34, 0x5F, 0x46, 0x34}));
    EXPECT_EQ(device.frames[2].dwords.size(), 1u + 512u + 1u);
}

TEST(SataTrafficBuilderTest, ScenarioOptionsAreChecked) {
    ScenarioOptions options;
    options.name = "nonsense";
    EXPECT_THROW(CaptureScenario::Build(options), std::invalid_argument);
    options.name = "long-data";
    options.dataBytes = 8193;
    EXPECT_FALSE(options.Validate().empty());
    options.dataBytes = 8192;
    EXPECT_TRUE(options.Validate().empty());
    const SataTraffic t = CaptureScenario::Build(options);
    EXPECT_EQ(t.frames[1].dwords.size(), 1u + 2048u + 1u);
}

}  // namespace
}  // namespace kestrava::synth
