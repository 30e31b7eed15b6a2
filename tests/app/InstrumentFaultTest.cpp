// The window's Single against an instrument that misbehaves: every fault the simulator
// can show, an instrument that goes away and comes back. The window stays usable, says
// what happened in its status box and leaves the instrument unlocked.
#include <QPlainTextEdit>

#include <string>

#include "app/CKestravaDlg.h"
#include "app/ListBoxModel.h"
#include "app/ScopeInstrument.h"
#include "base/Folders.h"
#include "tests/app/AppTestSupport.h"
#include "tests/instrument/ScopeFixture.h"
#include "tools/kestrava-scopesim/Faults.h"

namespace kestrava::test {
namespace {

using scopesim::Fault;

class WindowFaultTest : public ScopeTest {
  protected:
    void SetUp() override {
        ScopeTest::SetUp();
        EnsureApplication();
        ASSERT_TRUE(Folders::PrepareDataFolders());
        SetMessageBoxSink(&messages_);
    }
    void TearDown() override {
        SetMessageBoxSink(nullptr);
        ScopeTest::TearDown();
    }
    static std::string Status(const CKestravaDlg& window) {
        return window.StatusBox()->toPlainText().toStdString();
    }
    // The window's session waits no longer than the test's short timeout.
    void ShortenTimeout() {
        if (TheOscilloscope().Connected())
            viSetAttribute(TheOscilloscope().Session(), VI_ATTR_TMO_VALUE, kShortTimeoutMs);
    }

    RecordingMessageBox messages_;
};

TEST_F(WindowFaultTest, EveryFaultEndsWithTheProgramsOutcomeAndNoLock) {
    ScopeInstrument instrument(TheOscilloscope());
    CKestravaDlg window(instrument);
    window.WaitForDecode();
    ShortenTimeout();
    window.OnSingle();
    window.WaitForDecode();
    ASSERT_GT(window.CharactersModel().Count(), 0) << Status(window);

    for (Fault fault : {Fault::kBusyForever, Fault::kNoAnswer, Fault::kCorruptBlockHeader,
                        Fault::kDisconnectMidBlock}) {
        SCOPED_TRACE(std::string(scopesim::FaultName(fault)));
        ShortenTimeout();
        sim_.InjectFault(fault);
        window.OnSingle();
        window.WaitForDecode();
        sim_.ClearFaults();
        const std::string status = Status(window);
        EXPECT_NE(status.find("Waveform is not available for analysis"), std::string::npos)
            << status;
        EXPECT_EQ(status.find("Unknown Error"), std::string::npos) << status;
        EXPECT_EQ(window.CharactersModel().Count(), 0);
        EXPECT_TRUE(InstrumentUnlocked());
    }
    EXPECT_TRUE(messages_.texts.empty());

    // A count beyond the block is bounded by it, and the record still decodes.
    ShortenTimeout();
    sim_.InjectFault(Fault::kCountExceedsBlock);
    window.OnSingle();
    window.WaitForDecode();
    sim_.ClearFaults();
    EXPECT_GT(window.CharactersModel().Count(), 0) << Status(window);
    EXPECT_TRUE(InstrumentUnlocked());
}

TEST_F(WindowFaultTest, AnInstrumentThatGoesAwayIsReportedAndFoundAgainWhenItReturns) {
    ScopeInstrument instrument(TheOscilloscope());
    CKestravaDlg window(instrument);
    window.WaitForDecode();
    ShortenTimeout();
    const std::uint16_t port = sim_.Port();
    sim_.Stop();
    window.OnSingle();
    window.WaitForDecode();
    EXPECT_NE(Status(window).find("Waveform is not available for analysis"), std::string::npos)
        << Status(window);
    EXPECT_EQ(window.CharactersModel().Count(), 0);

    // Files still decode while the instrument is away.
    window.LoadWaveformFile(SourceDir() + "/data/Waveforms/sata-session.wfm");
    window.WaitForDecode();
    EXPECT_GT(window.CharactersModel().Count(), 100);

    // The Single that met the lost connection makes the next one connect afresh.
    ASSERT_TRUE(sim_.Start(port)) << sim_.LastError();
    window.OnSingle();
    window.WaitForDecode();
    EXPECT_GT(window.CharactersModel().Count(), 0) << Status(window);
    EXPECT_TRUE(InstrumentUnlocked());
}

}  // namespace
}  // namespace kestrava::test
