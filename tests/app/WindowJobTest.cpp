// The window while the instrument works: a Single that waits keeps the event loop serving
// timers and menus, Stop ends it within a second with the instrument unlocked and nothing
// more sent, closing during a Single exits at once, and a silent instrument does not hold
// up the window's start.
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "app/CKestravaDlg.h"
#include "app/ListBoxModel.h"
#include "app/ScopeInstrument.h"
#include "base/Folders.h"
#include "tests/app/AppTestSupport.h"
#include "tests/instrument/ScopeFixture.h"
#include "tools/kestrava-scopesim/Faults.h"

namespace kestrava::test {
namespace {

using Dlg = CKestravaDlg;
using namespace std::chrono_literals;

class WindowJobTest : public ScopeTest {
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
    // The program's own waits: a Single polls for up to 200 s.
    static void ProgramTimings() { TheOscilloscope().SetTimings(InstrumentTimings{}); }
    static std::string StatusLine(const Dlg& window) {
        return window.StatusLine()->text().toStdString();
    }
    // The longest gap between the ticks of a 10 ms timer over the given time.
    static qint64 LongestGap(int forMs) {
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longest = 0;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        timer.start();
        QTest::qWait(forMs);
        return std::max(longest, clock.elapsed() - last);
    }

    RecordingMessageBox messages_;
};

struct Stall {
    const char* name;
    std::function<void(scopesim::ScopeSimulator&)> arrange;
    const char* lastCommand;  // where the stop found the Single
};

TEST_F(WindowJobTest, AWaitingSingleLeavesTheWindowLiveAndStopEndsIt) {
    const Stall stalls[] = {
        {"busy 8 s", [](auto& sim) { sim.SetBusyTime(8s); }, "BUSY?"},
        {"never triggers", [](auto& sim) { sim.SetAutoTrigger(false); }, "BUSY?"},
        // The first query waits for its answer until the stop closes the session.
        {"no answer",
         [](auto& sim) {
             sim.InjectFault(scopesim::Fault::kNoAnswer);
             viSetAttribute(TheOscilloscope().Session(), VI_ATTR_TMO_VALUE, 10000);
         },
         "HORizontal:FASTframe:State?"},
        // The transfer waits for the curve block; a silent instrument gets nothing more.
        {"silent from the curve",
         [](auto& sim) {
             sim.InjectFault(scopesim::Fault::kSilentFromCurve);
             viSetAttribute(TheOscilloscope().Session(), VI_ATTR_TMO_VALUE, 10000);
             WdmSetTimeouts({10000, 10000});
         },
         "CURVE?"},
    };
    ScopeInstrument instrument(TheOscilloscope());
    Dlg window(instrument);
    window.WaitForDecode();
    window.OnSingle();
    window.WaitForDecode();
    const int characters = window.CharactersModel().Count();
    ASSERT_GT(characters, 0);
    ProgramTimings();
    for (const Stall& stall : stalls) {
        SCOPED_TRACE(stall.name);
        stall.arrange(sim_);
        sim_.ClearJournal();
        window.OnSingle();
        EXPECT_LT(LongestGap(600), 100);
        ASSERT_TRUE(window.DecodeRunning());
        EXPECT_FALSE(window.Button(Dlg::kSingleButton)->isEnabled());
        EXPECT_TRUE(window.Button(Dlg::kStopButton)->isEnabled());
        QMenu* menu = window.menuBar()->actions().front()->menu();
        menu->popup(window.mapToGlobal(QPoint(0, 0)));
        QTRY_VERIFY_WITH_TIMEOUT(menu->isVisible(), 100);
        menu->close();

        QSignalSpy ended(&window, &Dlg::decodeEnded);
        QElapsedTimer clock;
        clock.start();
        window.OnStop();
        ASSERT_TRUE(ended.wait(1000));
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_NE(StatusLine(window).find("stopped"), std::string::npos) << StatusLine(window);
        EXPECT_EQ(window.CharactersModel().Count(), characters);
        EXPECT_TRUE(InstrumentUnlocked());
        // The stopped wait leaves the instrument as its failure path does: nothing is sent
        // after the poll or the question waiting. (A round trip would wait for the pending
        // sequence.)
        const std::vector<std::string> journal = sim_.Journal();
        ASSERT_FALSE(journal.empty());
        EXPECT_EQ(journal.back(), stall.lastCommand);

        // The next Single acquires again, on a new session where the old one was closed.
        sim_.ClearFaults();
        sim_.SetAutoTrigger(true);
        sim_.SetBusyTime(5ms);
        sim_.Ask("ACQuire:STATE 0");  // the pending sequence is aborted
        window.OnSingle();
        window.WaitForDecode();
        EXPECT_EQ(window.CharactersModel().Count(), characters)
            << window.StatusBox()->toPlainText().toStdString();
    }
    EXPECT_TRUE(messages_.texts.empty());
}

TEST_F(WindowJobTest, ClosingDuringASingleStopsItAndLeavesNoLock) {
    ScopeInstrument instrument(TheOscilloscope());
    Dlg window(instrument);
    window.WaitForDecode();
    ProgramTimings();
    sim_.SetAutoTrigger(false);
    window.show();
    window.OnSingle();
    QTest::qWait(300);
    QElapsedTimer clock;
    clock.start();
    window.close();
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_FALSE(window.DecodeRunning());
    EXPECT_TRUE(InstrumentUnlocked());
}

// The program's start: the window is shown and a file opened while the connect runs; the
// event loop alone brings the controls back.
TEST_F(WindowJobTest, AfterTheStartJobsTheControlsComeBack) {
    ScopeInstrument instrument(TheOscilloscope());
    Dlg window(instrument);
    window.show();
    window.LoadWaveformFile(SourceDir() + "/data/Waveforms/sata-session.wfm");
    QTRY_VERIFY_WITH_TIMEOUT(!window.DecodeRunning(), 10000);
    EXPECT_GT(window.CharactersModel().Count(), 100);
    for (int id : {Dlg::kOkButton, Dlg::kSingleButton, Dlg::kForceTrigButton})
        EXPECT_TRUE(window.Button(id)->isEnabled()) << id;
    // The instrument's zoom and cursors have nothing to follow in a file's waveform.
    for (int id : {Dlg::kStopButton, Dlg::kZoom1Button, Dlg::kCursor1Button, Dlg::kCursor2Button})
        EXPECT_FALSE(window.Button(id)->isEnabled()) << id;
}

TEST_F(WindowJobTest, ASilentInstrumentDoesNotHoldUpTheWindow) {
    sim_.InjectFault(scopesim::Fault::kNoAnswer);
    QElapsedTimer clock;
    clock.start();
    ScopeInstrument instrument(TheOscilloscope());
    Dlg window(instrument);
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_NE(StatusLine(window).find("Connecting to GPIB8::1::INSTR (" + address_ + ")"),
              std::string::npos)
        << StatusLine(window);
    window.WaitForDecode();
    EXPECT_NE(StatusLine(window).find("No answer from GPIB8::1::INSTR"), std::string::npos)
        << StatusLine(window);
    EXPECT_EQ(window.MaximumBitRate(), 0.0);
}

}  // namespace
}  // namespace kestrava::test
