// The same generated traffic written in every file format the generator knows and decoded
// through the format registry: the characters lists agree line for line.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/Folders.h"
#include "formats/ImportReport.h"
#include "session/CSataUserInterface.h"
#include "synth/CaptureGenerator.h"
#include "tests/e2e/DecodedCapture.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {
namespace {

using synth::FileFormat;

using FormatDecodeTest = TempFolders;

std::vector<Placed> DecodeLines(const std::string& path) {
    MemoryListBox mainList, highLevelList;
    CSataUserInterface ui(mainList, highLevelList);
    ui.viewLayout = 2;
    ui.LoadFile(path);
    EXPECT_TRUE(ui.Decoder().IsValid()) << path << ": " << ImportReport::Problem();
    std::vector<Placed> lines;
    for (int i = 0; i < mainList.Count(); ++i)
        lines.push_back({mainList.Data(i), mainList.Text(i)});
    return lines;
}

TEST_F(FormatDecodeTest, EveryFormatDecodesToTheSameCharacters) {
    Folders::PrepareDataFolders();
    for (synth::SampleFormat sample : {synth::SampleFormat::Int8, synth::SampleFormat::Int16}) {
        synth::CaptureOptions options;
        options.format = sample;
        options.analog.noiseRmsV = 0.01;
        options.analog.riseTimeS = 100e-12;
        const synth::Capture capture = synth::CaptureGenerator::Generate(options);

        struct Case {
            FileFormat format;
            bool bigEndian;
            const char* name;
        };
        std::vector<Placed> wfmLines;
        for (const Case& c :
             {Case{FileFormat::Wfm, false, "capture.wfm"},
              Case{FileFormat::Csv, false, "capture.csv"},
              Case{FileFormat::Trc, false, "capture.trc"}, Case{FileFormat::Trc, true, "big.trc"},
              Case{FileFormat::Bin, false, "capture.bin"},
              Case{FileFormat::Raw, true, "capture.raw"}}) {
            SCOPED_TRACE(c.name);
            synth::CaptureFileOptions file;
            file.format = c.format;
            file.wfm.bigEndian = c.bigEndian;
            const std::string path = Tmp() + "/" + c.name;
            ASSERT_EQ(synth::CaptureGenerator::WriteFiles(capture, file, path, ""), "");
            ImportOptions import;
            if (c.format == FileFormat::Raw) {
                import.rawFormat =
                    sample == synth::SampleFormat::Int8 ? SampleFormat::Int8 : SampleFormat::Int16;
                import.rawBigEndian = true;
                import.rawSampleIntervalS = capture.sampleIntervalS;
                import.rawScale = capture.record.scaleV;
                import.rawOffset = capture.record.offsetV;
            }
            ImportReport::SetOptions(import);
            const std::vector<Placed> lines = DecodeLines(path);
            ImportReport::SetOptions({});
            if (c.format == FileFormat::Wfm) {
                ASSERT_GT(lines.size(), 1000u);
                wfmLines = lines;
            } else {
                ASSERT_EQ(lines, wfmLines);
            }
        }
    }
}

}  // namespace
}  // namespace kestrava::test
