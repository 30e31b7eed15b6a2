// The characters list on a hand-made bit stream: word lines with values, primitive names
// and data words, silences, alignment shifts, invalid codes, both disparity marks and the
// two counters. Bits are laid out at exactly ten samples per bit, so every tag is known.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "definition/CMacros.h"
#include "protocol/CSataPrimDecoder.h"
#include "protocol/CSataWordDecoder.h"
#include "session/CSataUserInterface.h"
#include "session/MixedList.h"
#include "signal/CSataBitDetector.h"
#include "synth/AnalogSynth.h"
#include "synth/Encoder8b10b.h"
#include "synth/Quantizer.h"
#include "synth/SataPrimitive.h"
#include "synth/SataTrafficBuilder.h"
#include "synth/WfmWriter.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {
namespace {

using synth::Encoder8b10b;
using synth::SataPrimitive;

constexpr int kSamplesPerBit = 10;

// Bits one by one with their 1-based sample positions, from characters of the generator's
// own encoder, raw codes, stray bits and pauses.
class CraftedStream {
  public:
    // The position of the character's first sent bit; its first lostBits are not sent.
    std::int32_t Character(int value, int lostBits = 0) {
        return Code(encoder.Encode(value), lostBits);
    }
    std::int32_t Code(std::uint16_t code, int lostBits = 0) {
        const std::int32_t first = next_;
        for (int i = lostBits; i < 10; ++i) Bit((code >> (9 - i)) & 1u);
        return first;
    }
    std::int32_t Primitive(SataPrimitive kind, int count = 1) {
        std::int32_t first = next_;
        for (int n = 0; n < count; ++n)
            for (int value : synth::SpecOf(kind).characters) Character(value);
        return first;
    }
    // Zeros: after a character ending in 10 they form no code with its last bits.
    void ExtraBits(int count) {
        for (int i = 0; i < count; ++i) Bit(0);
    }
    void Pause(int samples) { next_ += samples; }
    std::int32_t Next() const { return next_; }

    // The decoder stops one bit before the end of the stream, so one spare bit ends it.
    BitStream Build() const {
        BitStream stream;
        std::vector<std::int8_t> bits = bits_;
        std::vector<std::int32_t> positions = positions_;
        bits.push_back(-1);
        positions.push_back(next_);
        stream.bitCount = static_cast<std::int32_t>(bits.size());
        stream.bits = bits;
        stream.bitPositions = positions;
        stream.bits.resize(bits.size() + 4, -1);
        stream.bitPositions.resize(positions.size() + 4, 0);
        stream.samplesPerBit = kSamplesPerBit;
        return stream;
    }

    Encoder8b10b encoder{true};

  private:
    void Bit(unsigned one) {
        bits_.push_back(one ? 1 : -1);
        positions_.push_back(next_);
        next_ += kSamplesPerBit;
    }
    std::vector<std::int8_t> bits_;
    std::vector<std::int32_t> positions_;
    std::int32_t next_ = 1;
};

std::string Hex(const char* format, unsigned value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

class MixedListLinesTest : public TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        Folders::PrepareDataFolders();
        ui_ = std::make_unique<CSataUserInterface>(main_, protocol_);
        LoadCalibration();
    }
    void TearDown() override {
        prims_.reset();
        words_.reset();
        ui_.reset();
        TempFolders::TearDown();
    }

    // A 1010... record at 11.5 samples per bit: the bit detector estimates 10 samples per
    // bit from it, which is all the list takes from the detector.
    void LoadCalibration() {
        synth::AnalogOptions analog;
        analog.samplesPerBit = 11.5;
        std::vector<std::uint8_t> bits(2000);
        for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = i & 1u;
        synth::AnalogSynth synth(analog);
        synth::Quantizer quantizer = synth::Quantizer::ForSignal(synth::SampleFormat::Int8, analog);
        const std::string path = Root() + "/calibration.wfm";
        ASSERT_EQ(synth::WfmWriter({}).Write(path, quantizer.Quantize(synth.Synthesize(bits)),
                                             synth.SampleIntervalS()),
                  "");
        ui_->LoadFile(path);
        ASSERT_TRUE(ui_->Decoder().IsValid());
        ASSERT_EQ(ui_->Decoder().BitDetector()->Bits().samplesPerBit, kSamplesPerBit);
    }

    void Fill(const CraftedStream& crafted) {
        stream_ = crafted.Build();
        ui_->ClearStatus();
        words_ = std::make_unique<CSataWordDecoder>(stream_, ui_.get());
        prims_ = std::make_unique<CSataPrimDecoder>(*words_, kSamplesPerBit, ui_.get());
        list_.Clear();
        MixedList(*ui_->Decoder().BitDetector(), *words_, *prims_, TheMacros(), *ui_).Fill(list_);
    }

    // The index of the line with this text and tag, -1 when there is none.
    int LineAt(const std::string& text, ItemData tag) const {
        for (int i = 0; i < list_.Count(); ++i)
            if (list_.Text(i) == text && list_.Data(i) == tag) return i;
        return -1;
    }
    int Count(const std::string& part) const {
        return static_cast<int>(
            std::count_if(list_.Texts().begin(), list_.Texts().end(),
                          [&](const std::string& t) { return t.find(part) != std::string::npos; }));
    }
    std::string Dump() const {
        std::string text;
        for (int i = 0; i < list_.Count(); ++i)
            text += std::to_string(list_.Data(i)) + " " + list_.Text(i) + "\n";
        return text;
    }

    MemoryListBox main_, protocol_, list_;
    std::unique_ptr<CSataUserInterface> ui_;
    BitStream stream_;
    std::unique_ptr<CSataWordDecoder> words_;
    std::unique_ptr<CSataPrimDecoder> prims_;
};

const std::string kSync = "K28.3  (-------)            SYNC ";

TEST_F(MixedListLinesTest, WordLinesCarryValuesPrimitivesAndDataWords) {
    CraftedStream s;
    s.Primitive(SataPrimitive::Sync, 4);
    const std::int32_t sof = s.Primitive(SataPrimitive::Sof);
    const std::int32_t data = s.Character(0x11);
    for (int value : {0x22, 0x33, 0x44}) s.Character(value);
    const std::int32_t eof = s.Primitive(SataPrimitive::Eof);
    s.Primitive(SataPrimitive::Sync, 12);
    Fill(s);

    EXPECT_GE(LineAt("K28.3  (-------)            SOF ", sof), 0) << Dump();
    // Descrambled with the first value of the sequence after SOF.
    EXPECT_GE(
        LineAt("D17.0  (0x11)         DATA 0x" + Hex("%08X", 0x44332211u ^ 0xC2D2768Du), data), 0)
        << Dump();
    EXPECT_GE(LineAt("D2.1  (0x22) ", data + 100), 0) << Dump();
    EXPECT_GE(LineAt("K28.3  (-------)            EOF ", eof), 0) << Dump();
    EXPECT_GE(LineAt("D21.5  (0xb5) ", eof + 100), 0) << Dump();
    EXPECT_EQ(Count("SYNC "), 16);
    EXPECT_NE(ui_->StatusText().find("RD Errors: 0\r\nInvalid Characters: 0\r\n"),
              std::string::npos)
        << ui_->StatusText();

    // A definition that is not SATA keeps the primitive names but shows no data words.
    TheMacros()->triggerStandard = "PCIE";
    list_.Clear();
    MixedList(*ui_->Decoder().BitDetector(), *words_, *prims_, TheMacros(), *ui_).Fill(list_);
    EXPECT_GE(LineAt("D17.0  (0x11) ", data), 0) << Dump();
    EXPECT_GE(LineAt("K28.3  (-------)            SOF ", sof), 0);
    EXPECT_EQ(Count("DATA"), 0);
}

TEST_F(MixedListLinesTest, ShiftsAndSilencesGetTheirOwnLines) {
    CraftedStream s;
    s.Primitive(SataPrimitive::Sync, 4);
    s.ExtraBits(3);
    const std::int32_t afterExtra = s.Primitive(SataPrimitive::Sync, 3);
    const std::int32_t beforePause = s.Next() - 100;  // the last character before the pause
    s.Pause(350);
    const std::int32_t afterPause = s.Primitive(SataPrimitive::Sync, 3);
    // A word that both follows a silence and was realigned shows the silence only.
    const std::int32_t beforeBoth = s.Next() - 100;
    s.ExtraBits(3);
    s.Pause(350);
    const std::int32_t afterBoth = s.Primitive(SataPrimitive::Sync, 3);
    // ALIGN whose K28.5 loses its first bit: that window holds no code, and the next word
    // is found 9 bits on; losing three bits finds it 7 bits on. (Around ALIGN, whose comma
    // fixes the alignment: a SYNC stream read two bits early is all valid characters.)
    s.Primitive(SataPrimitive::Align, 3);
    s.Character(256 + 5, 1);
    const std::int32_t afterLost = s.Character(0x4A);
    s.Character(0x4A);
    s.Character(0x7B);
    s.Primitive(SataPrimitive::Align, 3);
    s.Character(256 + 5, 3);
    const std::int32_t afterLost3 = s.Character(0x4A);
    s.Character(0x4A);
    s.Character(0x7B);
    s.Primitive(SataPrimitive::Align, 3);
    s.Primitive(SataPrimitive::Sync, 12);
    Fill(s);

    // The realignment before the word ahead of the stray bits already takes the three bits
    // in (its window becomes an invalid code), and the word after them shows the shift.
    const int shifted = LineAt("---Got 3 extra samples---", afterExtra);
    ASSERT_GE(shifted, 0) << Dump();
    EXPECT_EQ(list_.Text(shifted + 1).rfind(kSync, 0), 0u) << Dump();
    EXPECT_EQ(list_.Data(shifted + 1), afterExtra);

    // 450 samples from the start of the word before to the start of the word after, at 10
    // samples per bit: 450 x 0.66 / 10 ns.
    const ItemData silenceTag = beforePause + 10 * kSamplesPerBit;
    const int silence = LineAt("---Silence ( 29.70 nS )---", silenceTag);
    ASSERT_GE(silence, 1) << Dump();
    EXPECT_EQ(list_.Text(silence - 1), "");
    EXPECT_EQ(list_.Data(silence - 1), silenceTag);
    EXPECT_EQ(list_.Text(silence + 1), "");
    EXPECT_EQ(list_.Data(silence + 1), silenceTag);
    EXPECT_EQ(LineAt(kSync, afterPause), silence + 2);

    const int both = LineAt(kSync, afterBoth);
    ASSERT_GE(both, 3) << Dump();
    // From the last word before the stray bits: 100 + 30 + 350 samples.
    EXPECT_EQ(list_.Text(both - 2), "---Silence ( 31.68 nS )---") << Dump();
    EXPECT_EQ(list_.Data(both - 2), beforeBoth + 10 * kSamplesPerBit);
    EXPECT_EQ(list_.Text(both - 1), "");
    EXPECT_EQ(LineAt("---Got 3 extra samples---", afterBoth), -1) << Dump();

    const int missed = LineAt("---Missed 1 samples---", afterLost);
    ASSERT_GE(missed, 0) << Dump();
    EXPECT_EQ(list_.Text(missed + 1), "D10.2  (0x4a) ");
    EXPECT_EQ(list_.Data(missed + 1), afterLost);
    const int missed3 = LineAt("---Missed 3 samples---", afterLost3);
    ASSERT_GE(missed3, 0) << Dump();
    EXPECT_EQ(list_.Text(missed3 + 1), "D10.2  (0x4a) ");
    EXPECT_EQ(list_.Data(missed3 + 1), afterLost3);
    EXPECT_EQ(Count("Silence"), 2);
    EXPECT_EQ(Count("Missed"), 2);
}

TEST_F(MixedListLinesTest, InvalidCodesAndDisparityErrorsAreMarkedAndCounted) {
    CraftedStream s;
    s.Primitive(SataPrimitive::Sync, 4);
    // SYNC with its second character replaced by a code that is no character.
    s.Character(256 + 3);
    const std::int32_t invalid = s.Code(synth::SataTrafficBuilder::kInvalidCode);
    s.Character(0xB5);
    s.Character(0xB5);
    s.Primitive(SataPrimitive::Sync, 3);

    // A disparity-changing data character sent twice running from the column of the
    // present running disparity: the second is in the wrong column.
    const bool negative = s.encoder.RunningDisparityNegative();
    int value = 0;
    while (Encoder8b10b::CodeDisparity(Encoder8b10b::CodeFor(value, negative)) == 0) ++value;
    const std::uint16_t code = Encoder8b10b::CodeFor(value, negative);
    s.Code(code);
    const std::int32_t second = s.Code(code);
    s.encoder.SetRunningDisparityNegative(!negative);
    s.Character(0xB5);
    s.Character(0xB5);
    s.Primitive(SataPrimitive::Sync, 3);

    // Two codes mixing sub-blocks of both disparities: the second undoes the first's
    // effect on the expected disparity, so the characters after them are clean.
    s.Character(256 + 3);
    const std::int32_t mixed = s.Code(0b1001111011);
    s.Code(0b1001111011);
    s.Character(0xB5);
    s.Character(0xB5);
    s.Primitive(SataPrimitive::Sync, 12);
    Fill(s);

    EXPECT_GE(LineAt("Invalid Code", invalid), 0) << Dump();
    const std::string name = Encoder8b10b::Name(value);
    EXPECT_GE(LineAt(name + "  " + Hex("(0x%x) ", static_cast<unsigned>(value)) + "   [rd error]",
                     second),
              0)
        << Dump();
    EXPECT_GE(LineAt("D0.0  (0x0)   [mw rd error]", mixed), 0) << Dump();
    EXPECT_GE(LineAt("D0.0  (0x0)   [mw rd error]", mixed + 100), 0) << Dump();
    EXPECT_EQ(Count("[rd error]"), 1) << Dump();
    EXPECT_EQ(Count("Invalid Code"), 1);
    // "RD Errors" counts the mixed-word marks, "Invalid Characters" the disparity marks;
    // invalid codes count in neither.
    EXPECT_NE(ui_->StatusText().find("RD Errors: 2\r\nInvalid Characters: 1\r\n"),
              std::string::npos)
        << ui_->StatusText();
}

}  // namespace
}  // namespace kestrava::test
