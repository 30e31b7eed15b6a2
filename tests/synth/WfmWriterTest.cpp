#include "synth/WfmWriter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/TempFolders.h"

namespace kestrava::synth {
namespace {

// Reads fields at file offsets, in the byte order the file's mark announces. The
// offsets in these tests are written out by hand from the file layout.
class FieldReader {
  public:
    explicit FieldReader(const std::vector<std::uint8_t>& bytes) : b_(bytes) {
        big_ = bytes.at(0) == 0xF0 && bytes.at(1) == 0xF0;
    }
    std::uint64_t Unsigned(std::size_t at, int size) const {
        std::uint64_t v = 0;
        for (int i = 0; i < size; ++i) {
            const std::uint64_t byte = b_.at(at + i);
            v |= byte << (8 * (big_ ? size - 1 - i : i));
        }
        return v;
    }
    std::uint32_t U32(std::size_t at) const { return static_cast<std::uint32_t>(Unsigned(at, 4)); }
    std::int32_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
    std::uint16_t U16(std::size_t at) const { return static_cast<std::uint16_t>(Unsigned(at, 2)); }
    double F64(std::size_t at) const { return std::bit_cast<double>(Unsigned(at, 8)); }
    float F32(std::size_t at) const { return std::bit_cast<float>(U32(at)); }
    std::string Text(std::size_t at, std::size_t n) const {
        return std::string(reinterpret_cast<const char*>(b_.data() + at), n);
    }

  private:
    const std::vector<std::uint8_t>& b_;
    bool big_ = false;
};

// File offsets of the fields the tests look at, per version.
struct Offsets {
    std::size_t curve, expScale, expOffset, expFormat, impScale, impOffset, impSize, triggerOffset,
        dataStart, postStart, postStop, endOfBuffer, expDensity;
};
constexpr Offsets kV1{820, 166, 174, 238, 478, 486, 494, 770, 804, 808, 812, 816, 302};
constexpr Offsets kV3{838, 168, 176, 240, 488, 496, 504, 788, 822, 826, 830, 834, 304};

QuantizedRecord Ramp(SampleFormat format, std::size_t n) {
    std::vector<double> volts(n);
    for (std::size_t i = 0; i < n; ++i)
        volts[i] = -0.25 + 0.5 * static_cast<double>(i) / static_cast<double>(n);
    return Quantizer(format, 0.3, 0.01).Quantize(volts);
}

TEST(WfmWriterTest, HeaderFieldsSitAtTheirOffsetsInEveryVersionAndByteOrder) {
    const double interval = 1.0 / 30e9;
    for (int version : {1, 3}) {
        for (bool big : {false, true}) {
            for (SampleFormat format :
                 {SampleFormat::Int8, SampleFormat::Int16, SampleFormat::Float32}) {
                SCOPED_TRACE("version " + std::to_string(version) + (big ? " big" : " little") +
                             " " + std::string(SampleFormatName(format)));
                const std::size_t n = 1000;
                const std::size_t bpp = BytesPerSample(format);
                const QuantizedRecord record = Ramp(format, n);
                WfmOptions options;
                options.version = version;
                options.bigEndian = big;
                options.label = "RAMP";
                options.firstPointTimeS = -2e-9;
                options.triggerPositionPoints = 60.0;
                const std::vector<std::uint8_t> file =
                    WfmWriter(options).Serialize(record, interval);
                const Offsets& at = version == 3 ? kV3 : kV1;
                const FieldReader r(file);

                EXPECT_EQ(file[0], big ? 0xF0 : 0x0F);
                EXPECT_EQ(file[1], big ? 0xF0 : 0x0F);
                EXPECT_EQ(r.Text(2, 8), version == 3 ? ":WFM#003" : ":WFM#001");
                EXPECT_EQ(file.size(), at.curve + (n + 32) * bpp);
                EXPECT_EQ(r.U32(11), file.size() - 15);
                EXPECT_EQ(file[10], std::to_string(file.size() - 15).size());
                EXPECT_EQ(file[15], bpp);
                EXPECT_EQ(r.U32(16), at.curve);
                EXPECT_EQ(r.F64(28), 1.0);
                EXPECT_EQ(r.Text(40, 5), std::string("RAMP\0", 5));
                EXPECT_EQ(r.U32(72), 0u);
                EXPECT_EQ(r.U16(76), version == 3 ? 760 : 742);

                EXPECT_DOUBLE_EQ(r.F64(at.expScale), record.scaleV);
                EXPECT_DOUBLE_EQ(r.F64(at.expOffset), record.offsetV);
                EXPECT_EQ(r.I32(at.expFormat), format == SampleFormat::Int8    ? 7
                                               : format == SampleFormat::Int16 ? 0
                                                                               : 4);
                EXPECT_EQ(r.Unsigned(at.expDensity, version == 3 ? 8 : 4), 1u);
                EXPECT_DOUBLE_EQ(r.F64(at.impScale), interval);
                EXPECT_DOUBLE_EQ(r.F64(at.impOffset), -2e-9);
                EXPECT_EQ(r.U32(at.impSize), n + 32);
                EXPECT_DOUBLE_EQ(r.F64(at.triggerOffset), 60.0);
                EXPECT_EQ(r.U32(at.dataStart), 16 * bpp);
                EXPECT_EQ(r.U32(at.postStart), (16 + n) * bpp);
                EXPECT_EQ(r.U32(at.postStop), (32 + n) * bpp);
                EXPECT_EQ(r.U32(at.endOfBuffer), (32 + n) * bpp);

                // Samples from the data start, then the charge points on either side.
                auto sample = [&](std::size_t point) {
                    const std::size_t pos = at.curve + point * bpp;
                    if (format == SampleFormat::Int8)
                        return static_cast<double>(static_cast<std::int8_t>(file[pos]));
                    if (format == SampleFormat::Int16)
                        return static_cast<double>(static_cast<std::int16_t>(r.U16(pos)));
                    return static_cast<double>(r.F32(pos));
                };
                for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(sample(16 + i), record.RawAt(i)) << i;
                for (std::size_t i = 0; i < 16; ++i) {
                    EXPECT_EQ(sample(i), record.RawAt(0));
                    EXPECT_EQ(sample(16 + n + i), record.RawAt(n - 1));
                }
            }
        }
    }
}

TEST(WfmWriterTest, BigEndianFileIsTheLittleEndianFileWithEveryFieldReversed) {
    const QuantizedRecord record = Ramp(SampleFormat::Int16, 50);
    WfmOptions little, big;
    big.bigEndian = true;
    const auto a = WfmWriter(little).Serialize(record, 1e-11);
    const auto b = WfmWriter(big).Serialize(record, 1e-11);
    ASSERT_EQ(a.size(), b.size());
    const FieldReader ra(a), rb(b);
    for (std::size_t at : {11u, 16u, 240u, 504u, 822u, 826u})
        EXPECT_EQ(ra.U32(at), rb.U32(at)) << at;
    EXPECT_EQ(ra.F64(168), rb.F64(168));
    EXPECT_EQ(ra.F64(488), rb.F64(488));
    EXPECT_EQ(a[11], b[14]);  // one field by hand: byte order reversed
    EXPECT_EQ(a[12], b[13]);
    for (std::size_t i = 838; i < a.size(); i += 2) {
        EXPECT_EQ(a[i], b[i + 1]);
        EXPECT_EQ(a[i + 1], b[i]);
    }
    // Text fields keep their order.
    EXPECT_EQ(std::memcmp(a.data() + 2, b.data() + 2, 8), 0);
}

// A billion 8-bit samples fit the file's 32-bit sizes, and so does the record that brings
// the file to 2^31 - 1 bytes; a longer one is refused with its count.
TEST(WfmWriterTest, SizesCountRecordsUpToTheLargestFile) {
    for (int version : {1, 3}) {
        WfmOptions options;
        options.version = version;
        const WfmWriter writer(options);
        const Offsets& at = version == 3 ? kV3 : kV1;
        const std::size_t largest = 2147483647 - at.curve - 32;
        for (std::size_t n : {std::size_t{1'005'480'000}, largest}) {
            SCOPED_TRACE("version " + std::to_string(version) + ", " + std::to_string(n));
            const std::vector<std::uint8_t> header =
                writer.Header({SampleFormat::Int8, 0.01, 0.0, n}, 1e-11);
            ASSERT_EQ(header.size(), at.curve);
            const FieldReader r(header);
            EXPECT_EQ(r.U32(11), at.curve + n + 32 - 15);  // bytes after the field itself
            EXPECT_EQ(header[10], 10);                     // its decimal digits
            EXPECT_EQ(r.U32(at.impSize), n + 32);
            EXPECT_EQ(r.U32(at.dataStart), 16u);
            EXPECT_EQ(r.U32(at.postStart), 16 + n);
            EXPECT_EQ(r.U32(at.postStop), n + 32);
            EXPECT_EQ(r.U32(at.endOfBuffer), n + 32);
        }
        for (std::size_t n : {largest + 1, std::size_t{2147483647}}) {
            try {
                writer.Header({SampleFormat::Int8, 0.01, 0.0, n}, 1e-11);
                ADD_FAILURE() << n << " samples taken";
            } catch (const std::length_error& e) {
                EXPECT_EQ(std::string(e.what()), std::to_string(n) + " samples: more than the " +
                                                     std::to_string(largest) +
                                                     " a waveform file of 8-bit samples may hold");
            }
        }
    }
}

class WfmWriterFileTest : public kestrava::test::TempFolders {};

TEST_F(WfmWriterFileTest, WritesTheFileAndReportsWhatFails) {
    const QuantizedRecord record = Ramp(SampleFormat::Int8, 100);
    const WfmWriter writer(WfmOptions{});
    const std::string path = Root() + "/ramp.wfm";
    EXPECT_EQ(writer.Write(path, record, 1e-11), "");
    const std::string bytes = ReadFile(path);
    const auto expected = writer.Serialize(record, 1e-11);
    EXPECT_EQ(bytes, std::string(expected.begin(), expected.end()));

    EXPECT_NE(writer.Write(Root() + "/no/such/folder/x.wfm", record, 1e-11), "");
    EXPECT_NE(writer.Write(Root() + "/empty.wfm", QuantizedRecord{}, 1e-11), "");
    WfmOptions bad;
    bad.version = 2;
    EXPECT_FALSE(bad.Validate().empty());
    EXPECT_THROW(WfmWriter{bad}, std::invalid_argument);
}

}  // namespace
}  // namespace kestrava::synth
