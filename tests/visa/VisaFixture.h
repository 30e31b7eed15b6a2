// Fixture for the VISA tests: private TMPDIR (lock files) and XDG_CONFIG_HOME (alias file)
// from TempFolders, no in-process aliases, and a resource manager closed at the end of
// each test.
#pragma once

#include <string>

#include "tests/support/TempFolders.h"
#include "visa/kvext.h"
#include "visa/visa.h"

namespace kestrava::test {

class VisaTest : public TempFolders {
  protected:
    void SetUp() override {
        TempFolders::SetUp();
        kvClearAliases();
        ASSERT_EQ(viOpenDefaultRM(&rm_), VI_SUCCESS);
    }
    void TearDown() override {
        viClose(rm_);  // closes every session of the test
        kvClearAliases();
        TempFolders::TearDown();
    }

    void WriteAliasFile(const std::string& text) {
        WriteFile(ConfigHome() + "/kestrava/visa.conf", text);
    }

    ViSession Open(const std::string& resource, ViStatus expected = VI_SUCCESS) {
        ViSession vi = 12345;
        EXPECT_EQ(viOpen(rm_, resource.c_str(), VI_NO_LOCK, 0, &vi), expected) << resource;
        return vi;
    }
    static ViStatus WriteText(ViSession vi, const std::string& text, ViUInt32* sent = nullptr) {
        ViUInt32 count = 0;
        ViStatus status = viWrite(vi, reinterpret_cast<ViConstBuf>(text.data()),
                                  static_cast<ViUInt32>(text.size()), &count);
        if (sent) *sent = count;
        return status;
    }
    // One viRead of at most `count` bytes; the bytes read go to `text`.
    static ViStatus ReadText(ViSession vi, ViUInt32 count, std::string& text) {
        std::string buffer(count, '\0');
        ViUInt32 got = 0;
        ViStatus status = viRead(vi, reinterpret_cast<ViPBuf>(buffer.data()), count, &got);
        text = buffer.substr(0, got);
        return status;
    }

    ViSession rm_ = VI_NULL;
};

}  // namespace kestrava::test
