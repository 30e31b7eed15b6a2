// A bit detector's surroundings for tests: its own folders, the waveform data module,
// a protocol bit rate, and a presentation to show messages in.
#pragma once

#include <optional>
#include <string>

#include "base/CAnalysisHost.h"
#include "instrument/AcquisitionMode.h"
#include "instrument/Wdm.h"
#include "signal/CSataBitDetector.h"
#include "tests/formats/WfmFileBuilder.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {

class BitDetectorFixture : public TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        ASSERT_TRUE(WdmStart());
        SetAcquisitionMode(kAcquireSingleSequence);
    }
    void TearDown() override {
        SetAcquisitionMode(kAcquireSingleSequence);
        WdmStop();
        TempFolders::TearDown();
    }
    std::string WriteCapture(const WfmSpec& layout, const std::string& name = "capture.wfm") {
        std::string path = Tmp() + "/" + name;
        WriteFile(path, BuildWfm(layout));
        return path;
    }

    BitRateSource bitRate = [] { return std::optional<double>(1.5e9); };
    CAnalysisHost host;
};

}  // namespace kestrava::test
