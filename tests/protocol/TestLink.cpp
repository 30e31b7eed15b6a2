#include "tests/protocol/TestLink.h"

#include <bit>

#include "base/Folders.h"

namespace kestrava::test {

std::uint32_t RefScrambler::Next() {
    std::uint32_t word = 0;
    for (int i = 0; i < 32; ++i) {
        unsigned bit = (state_ >> 15) & 1u;
        word |= static_cast<std::uint32_t>(bit) << i;
        state_ = static_cast<std::uint16_t>(state_ << 1);
        if (bit) state_ ^= 0xA011;  // x^15 + x^13 + x^4 + 1
    }
    return word;
}

TestLink::TestLink(const CMacros& macros, int samplesPerBit)
    : macros_(macros), samplesPerBit_(samplesPerBit) {}

TestLink& TestLink::Char(const std::string& name) {
    auto known = values_.find(name);
    if (known == values_.end()) known = values_.emplace(name, macros_.Get8BitValue(name)).first;
    EXPECT_GE(known->second, 0) << name;
    return Value(known->second);
}

TestLink& TestLink::Value(int value) {
    auto known = codes_.find(value);
    if (known == codes_.end()) {
        int plus = -1, minus = -1;
        macros_.GetRDPandMfrom8BitVal(value, plus, minus);
        known = codes_.emplace(value, std::make_pair(plus, minus)).first;
    }
    auto [plus, minus] = known->second;
    EXPECT_GE(plus, 0) << value;
    int code = rd_ < 0 ? minus : plus;
    Code(code);
    if (std::popcount(static_cast<unsigned>(code)) != 5) rd_ = -rd_;
    return *this;
}

TestLink& TestLink::Primitive(const std::string& name, int times) {
    for (int t = 0; t < times; ++t) {
        bool found = false;
        for (const PrimitiveDefinition& primitive : macros_.primitives) {
            if (primitive.name != name) continue;
            for (const WordSpec& word : primitive.words) Char(word.name);
            found = true;
            break;
        }
        EXPECT_TRUE(found) << name;
    }
    return *this;
}

TestLink& TestLink::Dword(std::uint32_t value) {
    for (int i = 0; i < 4; ++i) Value(static_cast<int>((value >> (8 * i)) & 0xFFu));
    return *this;
}

TestLink& TestLink::Frame(const std::vector<std::uint32_t>& plain) {
    Primitive("SOF");
    scrambler.Reset();
    for (std::uint32_t word : plain) Dword(word ^ scrambler.Next());
    return Primitive("EOF");
}

TestLink& TestLink::Code(int code) {
    for (int i = 9; i >= 0; --i) Bits({(code >> i) & 1});
    return *this;
}

TestLink& TestLink::Bits(std::initializer_list<int> bits) {
    for (int bit : bits) {
        bits_.push_back(static_cast<std::int8_t>(bit == 2 ? 2 : bit ? 1 : -1));
        positions_.push_back(static_cast<std::int32_t>(nextSample_ + samplesPerBit_ / 2 + 1));
        nextSample_ += samplesPerBit_;
    }
    return *this;
}

TestLink& TestLink::DropBit() {
    bits_.pop_back();
    positions_.pop_back();
    nextSample_ -= samplesPerBit_;
    return *this;
}

TestLink& TestLink::Pause(int samples) {
    nextSample_ += samples;
    return *this;
}

BitStream TestLink::Stream(bool inverted) const {
    BitStream stream;
    stream.bitCount = BitCount();
    stream.bits = bits_;
    if (inverted)
        for (std::int8_t& bit : stream.bits)
            if (bit != 2) bit = static_cast<std::int8_t>(-bit);
    stream.bitPositions = positions_;
    stream.bits.resize(bits_.size() + 4, 0);
    stream.bitPositions.resize(positions_.size() + 4, 0);
    stream.samplesPerBit = samplesPerBit_;
    return stream;
}

void DecoderTest::SetUp() {
    TempFolders::SetUp();
    ASSERT_TRUE(Folders::PrepareDataFolders());
    macros_ = std::make_unique<CMacros>();
    SetTheMacros(macros_.get());
    macros_->LoadMacros(Folders::DataFolder("Macros") + "/Sata.csv");
    ASSERT_GE(macros_->primitives.size(), 15u);
    ASSERT_EQ(macros_->primitiveNames[kSof], "SOF");
    ASSERT_EQ(macros_->primitiveNames[kEof], "EOF");
    ASSERT_EQ(macros_->primitiveNames[kCont], "CONT");
}

void DecoderTest::TearDown() {
    SetTheMacros(nullptr);
    macros_.reset();
    TempFolders::TearDown();
}

void DecoderTest::LoadDefinition(const std::string& text) {
    std::string path = Folders::DataFolder("Macros") + "/Custom.csv";
    WriteFile(path, text);
    macros_->LoadMacros(path);
}

}  // namespace kestrava::test
