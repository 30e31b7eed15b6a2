// The readers beside ".wfm": files the generator wrote read back sample for sample, and
// every lie a header can tell refused with the file and the reason.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "formats/FormatRegistry.h"
#include "formats/ImportReport.h"
#include "synth/CaptureFile.h"
#include "tests/support/TempFolders.h"

namespace kestrava {
namespace {

using synth::CaptureFileOptions;
using synth::FileFormat;

class FormatReaders : public test::TempFolders {
  protected:
    void TearDown() override {
        ImportReport::SetOptions({});
        TempFolders::TearDown();
    }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = Tmp() + "/" + name;
        WriteFile(path, std::string(bytes.begin(), bytes.end()));
        return path;
    }
    // The registry's reader for the file, after an import; null when none took the file.
    std::unique_ptr<WaveformFileReader> Import(const std::string& path) {
        std::unique_ptr<WaveformFileReader> reader = TheFormatRegistry().ReaderFor(path);
        if (!reader || !reader->Import(path, nullptr)) return nullptr;
        return reader;
    }
};

synth::QuantizedRecord Ramp(synth::SampleFormat format) {
    synth::QuantizedRecord r;
    r.format = format;
    r.scaleV = 0.004;
    r.offsetV = -0.1;
    for (int i = 0; i < 100; ++i) {
        const int v = (i * 37) % 200 - 100;
        if (format == synth::SampleFormat::Int8) r.int8.push_back(static_cast<std::int8_t>(v));
        if (format == synth::SampleFormat::Int16)
            r.int16.push_back(static_cast<std::int16_t>(v * 250));
        if (format == synth::SampleFormat::Float32)
            r.float32.push_back(static_cast<float>(v) / 256);
    }
    if (format == synth::SampleFormat::Float32) r.scaleV = 1.0, r.offsetV = 0.0;
    return r;
}

constexpr double kInterval = 2e-11;

// Every format, both byte orders where it has them, each sample format it holds.
TEST_F(FormatReaders, ReadWhatTheGeneratorWrote) {
    struct Case {
        const char* name;
        FileFormat format;
        synth::SampleFormat sample;
        bool bigEndian = false;
        bool variant = false;  // csv ';' columns, trc without prefix in 3 segments, bin behind a
                               // logic waveform
        double voltsTolerance = 1e-12;  // trc keeps its gain and offset as floats
    };
    using S = synth::SampleFormat;
    for (const Case& c : {
             Case{"a.csv", FileFormat::Csv, S::Int16},
             Case{"b.txt", FileFormat::Csv, S::Float32, false, true},
             Case{"a.trc", FileFormat::Trc, S::Int8, false, false, 1e-7},
             Case{"b.trc", FileFormat::Trc, S::Int16, true, true, 1e-5},
             Case{"a.bin", FileFormat::Bin, S::Float32},
             Case{"b.bin", FileFormat::Bin, S::Int16, false, true},
             Case{"c.bin", FileFormat::Bin, S::Int8},
             Case{"a.raw", FileFormat::Raw, S::Int16, true},
             Case{"b.raw", FileFormat::Raw, S::Float32},
         }) {
        SCOPED_TRACE(c.name);
        const synth::QuantizedRecord record = Ramp(c.sample);
        CaptureFileOptions o;
        o.format = c.format;
        o.wfm.bigEndian = c.bigEndian;
        o.wfm.firstPointTimeS = 1e-9;
        o.csvSeparator = c.variant ? ';' : ',';
        o.trcBlockPrefix = !c.variant;
        o.trcSegments = c.variant ? 3 : 1;
        o.binLogicFirst = c.variant;
        const std::string path = Write(c.name, synth::CaptureFile::Serialize(o, record, kInterval));
        ImportOptions import;
        if (c.format == FileFormat::Raw) {
            import.rawFormat = c.sample == S::Float32 ? SampleFormat::Float : SampleFormat::Int16;
            import.rawBigEndian = c.bigEndian;
            import.rawSampleIntervalS = kInterval;
            import.rawScale = record.scaleV;
            import.rawOffset = record.offsetV;
        }
        ImportReport::SetOptions(import);
        const auto reader = Import(path);
        ASSERT_TRUE(reader) << ImportReport::Problem();
        EXPECT_EQ(ImportReport::Problem(), "");
        EXPECT_EQ(ImportReport::Note().empty(), !c.variant || c.format == FileFormat::Csv)
            << ImportReport::Note();
        const RecordDescription& d = reader->Description();
        ASSERT_EQ(d.count, 100);
        ASSERT_EQ(reader->Points().size(), 100u);
        EXPECT_NEAR(d.sampleIntervalS, kInterval, kInterval * 1e-6);
        // An integer .bin buffer has no gain: its samples are its volts.
        const bool bare = c.format == FileFormat::Bin && c.sample != S::Float32;
        for (std::size_t i = 0; i < record.Size(); ++i)
            ASSERT_NEAR(reader->Points()[i], bare ? record.RawAt(i) : record.VoltsAt(i),
                        c.voltsTolerance)
                << i;
    }
}

// Writes v at offset in the file's byte order.
template <class T>
void Patch(std::vector<std::uint8_t>& bytes, std::size_t at, T v, bool bigEndian = false) {
    std::uint8_t raw[sizeof(T)];
    std::memcpy(raw, &v, sizeof(T));
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes.at(at + i) = raw[bigEndian ? sizeof(T) - 1 - i : i];
}

TEST_F(FormatReaders, RefuseEveryLieWithTheFileAndTheReason) {
    using S = synth::SampleFormat;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    CaptureFileOptions trc, bin;
    trc.format = FileFormat::Trc;
    trc.trcBlockPrefix = false;
    bin.format = FileFormat::Bin;
    const auto trc16 = synth::CaptureFile::Serialize(trc, Ramp(S::Int16), kInterval);
    const auto binF = synth::CaptureFile::Serialize(bin, Ramp(S::Float32), kInterval);
    const std::size_t binWave = 12, binData = 12 + 140;

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::string reason;
    };
    std::vector<Case> cases;
    auto lie = [&](const char* name, const std::vector<std::uint8_t>& base, auto change,
                   std::string reason) {
        std::vector<std::uint8_t> bytes = base;
        change(bytes);
        cases.push_back({name, std::move(bytes), std::move(reason)});
    };
    lie(
        "count.trc", trc16,
        [](auto& b) { Patch<std::int32_t>(b, 116, 1000), Patch<std::int32_t>(b, 60, 2000); },
        "the header claims 1000 samples from byte 346, more than the file of 546 bytes holds");
    lie(
        "huge.trc", trc16,
        [](auto& b) { Patch<std::int32_t>(b, 116, 1 << 30), Patch<std::int32_t>(b, 60, 1 << 31); },
        "WAVE_ARRAY_1 of -2147483648 bytes and WAVE_ARRAY_COUNT 1073741824 disagree");
    lie(
        "array.trc", trc16, [](auto& b) { Patch<std::int32_t>(b, 60, 199); },
        "WAVE_ARRAY_1 of 199 bytes and WAVE_ARRAY_COUNT 100 disagree");
    lie(
        "zero.trc", trc16, [](auto& b) { Patch<float>(b, 176, 0.0f); },
        "the sample interval 0 s is not a positive number");
    lie(
        "negative.trc", trc16, [](auto& b) { Patch<float>(b, 176, -2e-11f); },
        "the sample interval -2e-11 s is not a positive number");
    lie(
        "nan.trc", trc16, [&](auto& b) { Patch<float>(b, 156, static_cast<float>(nan)); },
        "the vertical gain nan is not a usable number");
    lie(
        "type.trc", trc16, [](auto& b) { Patch<std::int16_t>(b, 32, 5); },
        "COMM_TYPE 5 is neither 0 (8-bit) nor 1 (16-bit)");
    lie(
        "order.trc", trc16, [](auto& b) { Patch<std::int16_t>(b, 34, 2); },
        "COMM_ORDER is neither 0 nor 1");
    lie(
        "text.trc", trc16, [](auto& b) { Patch<std::int32_t>(b, 40, -400); },
        "a block length is negative");
    lie(
        "beyond.trc", trc16, [](auto& b) { Patch<std::int32_t>(b, 40, 1 << 30); },
        "the samples would start at byte 1073742170, outside the file of 546 bytes");
    lie(
        "cut.trc", trc16, [](auto& b) { b.resize(300); },
        "the file ends inside its WAVEDESC block");
    lie(
        "points.bin", binF, [&](auto& b) { Patch<std::int32_t>(b, binWave + 12, 101); },
        "waveform 1 claims 101 points in a buffer of 400 bytes");
    lie(
        "size.bin", binF, [](auto& b) { Patch<std::int32_t>(b, 4, 1 << 20); },
        "the file header claims 1048576 bytes, the file holds 564");
    lie(
        "none.bin", binF, [](auto& b) { Patch<std::int32_t>(b, 8, 0); },
        "the file header counts 0 waveforms");
    lie(
        "header.bin", binF, [&](auto& b) { Patch<std::int32_t>(b, binWave, 8); },
        "waveform 1 has a header of 8 bytes");
    lie(
        "buffer.bin", binF, [&](auto& b) { Patch<std::int32_t>(b, binData + 8, -1); },
        "waveform 1 has a buffer header that lies");
    lie(
        "interval.bin", binF, [&](auto& b) { Patch<double>(b, binWave + 32, nan); },
        "the sample interval nan s is not a positive number");
    lie(
        "logic.bin", binF, [&](auto& b) { Patch<std::int16_t>(b, binData + 4, 6); },
        "no analog waveform in the file");
    auto text = [&](const char* name, std::string csv, std::string reason) {
        cases.push_back(
            {name, std::vector<std::uint8_t>(csv.begin(), csv.end()), std::move(reason)});
    };
    text("uneven.csv", "t,v\n0,1\n1e-9,2\n2e-9,3\n3.5e-9,4\n4e-9,5\n",
         "the time column is not evenly spaced: sample 4 lies 5e-10 s off an interval of 1e-09 s");
    text("back.csv", "0,1\n-1,2\n", "the time column does not increase");
    text("still.csv", "0,1\n0,2\n0,3\n", "the time column does not increase");
    text("one.csv", "Time,CH1\n0,1\n", "fewer than two rows of samples");
    text("hole.csv", "0,1\n1,2\n2,oops\n",
         "line 3 holds no finite time and voltage in columns 1 and 2");
    text("nan.csv", "0,1\n1,nan\n", "line 2 holds no finite time and voltage in columns 1 and 2");
    text("comma.csv", "0;1,5\n1;2,5\n", "no rows of numbers with a '.' decimal point");
    text("long.csv", "0,1\n" + std::string(70000, '1') + "\n",
         "a line is longer than 65536 characters");
    lie(
        "odd.raw", std::vector<std::uint8_t>(7), [](auto&) {},
        "7 bytes are no whole number of 2-byte samples");

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImportOptions import;
        if (std::string(c.name).ends_with(".raw")) {
            import.rawFormat = SampleFormat::Int16;
            import.rawSampleIntervalS = 1e-9;
        }
        ImportReport::SetOptions(import);
        const std::string path = Write(c.name, c.bytes);
        EXPECT_FALSE(Import(path));
        EXPECT_EQ(ImportReport::Problem(), path + ": " + c.reason);
    }
}

// What a user gives, or forgets to give: the column, the waveform, a raw file's settings.
TEST_F(FormatReaders, TakeTheUsersChoiceOrSayWhatIsMissing) {
    const std::string table = Tmp() + "/table.csv";
    WriteFile(table,
              "Record Length,3\n\"Time\"\t\"CH1\"\t\"CH2\"\n0\t1\t-1\n+1e-9\t2\t-2\n2e-9\t3\t-3\n");
    // Metadata in the leading columns beside the first samples, as some scopes write it.
    const std::string beside = Tmp() + "/beside.csv";
    WriteFile(beside,
              "Record Length,4,,0,5\nSample Interval,1e-09,,1e-9,6\n,,,2e-9,7\n,,,3e-9,8\n");
    const std::string bare = Tmp() + "/bare.raw";
    WriteFile(bare, std::string("\x01\x02\x03\x04", 4));
    struct Case {
        std::string path;
        ImportOptions import;
        double second;  // the second point, NaN when refused
        std::string reason;
    };
    auto with = [](auto change) {
        ImportOptions o;
        change(o);
        return o;
    };
    const double refused = std::numeric_limits<double>::quiet_NaN();
    for (const Case& c : {
             Case{table, {}, 2, ""},
             Case{beside, {}, 6, ""},
             Case{table, with([](auto& o) { o.column = 3; }), -2, ""},
             Case{table, with([](auto& o) { o.columnName = "ch2"; }), -2, ""},
             Case{table, with([](auto& o) { o.columnName = "CH9"; }), refused,
                  "no column named 'CH9' in the header line"},
             Case{table, with([](auto& o) { o.column = 1; }), refused,
                  "column 1 is the time column"},
             Case{table, with([](auto& o) { o.column = 4; }), refused, "no column 4 in the rows"},
             Case{bare,
                  {},
                  refused,
                  "a file of bare samples needs their format, interval, scale and offset given "
                  "(--raw int8|int16|float32 --sample-interval S --scale V --offset V)"},
             Case{bare, with([](auto& o) { o.rawFormat = SampleFormat::Int8; }), refused,
                  "the sample interval 0 s is not a positive number"},
             Case{bare, with([](auto& o) {
                      o.rawFormat = SampleFormat::Int8, o.rawSampleIntervalS = 1, o.rawScale = 0;
                  }),
                  refused, "the vertical gain 0 is not a usable number"},
             Case{bare, with([](auto& o) {
                      o.rawFormat = SampleFormat::Int16, o.rawSampleIntervalS = 1, o.rawScale = 2,
                      o.rawOffset = 1, o.rawBigEndian = true;
                  }),
                  2 * 0x0304 + 1, ""},
         }) {
        SCOPED_TRACE(c.reason);
        ImportReport::SetOptions(c.import);
        const auto reader = Import(c.path);
        ASSERT_EQ(reader != nullptr, !std::isnan(c.second)) << ImportReport::Problem();
        if (reader) {
            EXPECT_EQ(reader->Points()[1], c.second);
        }
        EXPECT_EQ(ImportReport::Problem(), c.reason.empty() ? "" : c.path + ": " + c.reason);
    }
}

}  // namespace
}  // namespace kestrava
