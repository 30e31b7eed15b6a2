#include "formats/FormatRegistry.h"

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>

#include "formats/CQelWfmReader.h"
#include "tests/formats/WfmFileBuilder.h"
#include "tests/support/TempFolders.h"

namespace kestrava {
namespace {

using FormatRegistryTest = test::TempFolders;

// A file's leading bytes choose its reader before its name does; a name only chooses for
// a file that no format recognises, and that format's reader still judges the file.
TEST_F(FormatRegistryTest, PicksAFormatByContentBeforeExtension) {
    test::WfmSpec little;
    little.raw = {1, 2, 3};
    test::WfmSpec big = little;
    big.version3 = big.bigEndian = true;
    big.formatCode = 0;
    const std::string littleWfm = test::BuildWfm(little), bigWfm = test::BuildWfm(big);
    const std::string notes = "these are notes, not samples\n";
    const std::string cutMark = littleWfm.substr(0, CQelWfmReader::kSignatureSize - 1);

    // Registered first and recognising nothing: only a name chooses it.
    FormatRegistry registry;
    registry.Register({".bin", 4, [](std::span<const unsigned char>) { return false; },
                       []() -> std::unique_ptr<WaveformFileReader> { return nullptr; }});
    registry.Register(WaveformFormat::Of<CQelWfmReader>());

    struct Case {
        const char* name;
        const std::string& bytes;
        const char* format;  // the extension of the format picked, "" for none
        int sampleSize;      // of the program's import, 0 when it refuses the file
        bool reversed;       // the import's samples are in the other byte order
    };
    for (const Case& c :
         {Case{"capture.bin", littleWfm, ".wfm", 1, false},
          Case{"capture", bigWfm, ".wfm", 2, true}, Case{"notes.WFM", notes, ".wfm", 0, false},
          Case{"cut.wfm", cutMark, ".wfm", 0, false}, Case{"notes.bin", notes, ".bin", 0, false},
          Case{"notes.txt", notes, "", 0, false}}) {
        SCOPED_TRACE(c.name);
        const std::string path = Tmp() + "/" + c.name;
        WriteFile(path, c.bytes);
        const WaveformFormat* format = registry.FormatOf(path);
        EXPECT_EQ(format ? format->extension : "", c.format);

        const std::unique_ptr<WaveformFileReader> reader = TheFormatRegistry().ReaderFor(path);
        const bool imported = reader && reader->Import(path, nullptr);
        ASSERT_EQ(imported, c.sampleSize != 0);
        if (!imported) continue;
        EXPECT_EQ(reader->Points().size(), 3u);
        EXPECT_EQ(reader->Description().count, 3);
        EXPECT_EQ(reader->Description().sampleSize, c.sampleSize);
        EXPECT_EQ(reader->Description().rawReversed, c.reversed);
    }
}

}  // namespace
}  // namespace kestrava
