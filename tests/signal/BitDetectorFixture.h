// A bit detector's surroundings for tests: its own folders, the waveform data module,
// a protocol definition with a bit rate, and a presentation to show messages in.
#pragma once

#include <string>

#include "instrument/AcquisitionMode.h"
#include "instrument/Wdm.h"
#include "definition/CMacros.h"
#include "base/CAnalysisHost.h"
#include "tests/formats/WfmFileBuilder.h"
#include "tests/support/TempFolders.h"

namespace kestrava::test {

class BitDetectorFixture : public TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        ASSERT_TRUE(WdmStart());
        macros.bitRateText = "1.5E9";
        SetTheMacros(&macros);
        SetAcquisitionMode(kAcquireSingleSequence);
    }
    void TearDown() override {
        SetTheMacros(nullptr);
        SetAcquisitionMode(kAcquireSingleSequence);
        WdmStop();
        TempFolders::TearDown();
    }
    std::string WriteCapture(const WfmSpec& layout, const std::string& name = "capture.wfm") {
        std::string path = Tmp() + "/" + name;
        WriteFile(path, BuildWfm(layout));
        return path;
    }

    CMacros macros;
    CAnalysisHost host;
};

}  // namespace kestrava::test
