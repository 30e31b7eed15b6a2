// Decoding on the worker thread: the window keeps serving its event loop, Stop keeps the
// earlier lists, and changed settings mark the lists out of date until OK decodes again.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "app/CKestravaDlg.h"
#include "app/CThresholdDlg.h"
#include "app/CWindowUserInterface.h"
#include "app/ListBoxModel.h"
#include "synth/CaptureGenerator.h"
#include "tests/app/AppTestSupport.h"

namespace kestrava::test {
namespace {

using Dlg = CKestravaDlg;

class DecodeJobTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        window = std::make_unique<CKestravaDlg>();
    }
    void TearDown() override {
        window.reset();
        AppTest::TearDown();
    }
    // A capture long enough that its decode spans many 20 ms timer ticks.
    std::string LongCapture() {
        synth::CaptureOptions options;
        options.scenario.name = "long-data";
        options.scenario.dataBytes = 8192;
        options.scenario.repeat = 6;
        const std::string path = Root() + "/long.wfm";
        const synth::Capture capture = synth::CaptureGenerator::Generate(options);
        EXPECT_EQ(synth::CaptureGenerator::WriteFiles(capture, options.wfm, path, ""), "");
        return path;
    }
    void LoadSample() {
        window->LoadWaveformFile(SampleCapture());
        window->WaitForDecode();
        ASSERT_GT(window->CharactersModel().Count(), 100);
    }
    std::vector<std::string> Characters() const {
        std::vector<std::string> lines;
        for (int i = 0; i < window->CharactersModel().Count(); ++i)
            lines.push_back(window->CharactersModel().Text(i));
        return lines;
    }
    std::string StatusLine() const { return window->StatusLine()->text().toStdString(); }

    std::unique_ptr<CKestravaDlg> window;
};

TEST_F(DecodeJobTest, TheEventLoopServesTimersWhileADecodeRuns) {
    const std::string path = LongCapture();
    QSignalSpy ended(window.get(), &Dlg::decodeEnded);
    // A zero timer fires whenever the loop is free: counted only while the decode runs.
    int ticks = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] { ticks += window->DecodeRunning() ? 1 : 0; });
    timer.start();
    window->LoadWaveformFile(path);
    ASSERT_TRUE(window->DecodeRunning());
    EXPECT_NE(StatusLine().find("Decoding long.wfm"), std::string::npos) << StatusLine();
    for (int id : {Dlg::kOkButton, Dlg::kSingleButton})
        EXPECT_FALSE(window->Button(id)->isEnabled()) << id;
    EXPECT_FALSE(window->Action(Dlg::kSourceFile)->isEnabled());
    EXPECT_FALSE(window->StandardList()->isEnabled());
    EXPECT_TRUE(window->Button(Dlg::kStopButton)->isEnabled());
    ASSERT_TRUE(ended.wait(60000));
    timer.stop();
    EXPECT_GE(ticks, 1);
    EXPECT_GT(window->CharactersModel().Count(), 1000);
    EXPECT_NE(StatusLine().find("Decoded long.wfm: "), std::string::npos) << StatusLine();
    EXPECT_TRUE(window->Button(Dlg::kOkButton)->isEnabled());
    EXPECT_FALSE(window->Button(Dlg::kStopButton)->isEnabled());
}

TEST_F(DecodeJobTest, StopKeepsTheEarlierListsAndClosingEndsTheJob) {
    LoadSample();
    const std::vector<std::string> before = Characters();
    const std::string path = LongCapture();
    QSignalSpy ended(window.get(), &Dlg::decodeEnded);
    window->LoadWaveformFile(path);
    window->OnStop();
    // The window says so at once; the stage running ends in the background.
    EXPECT_NE(StatusLine().find("stopped"), std::string::npos) << StatusLine();
    EXPECT_FALSE(window->Button(Dlg::kStopButton)->isEnabled());
    ASSERT_TRUE(ended.wait(60000));
    EXPECT_EQ(Characters(), before);
    EXPECT_NE(StatusLine().find("stopped"), std::string::npos) << StatusLine();
    EXPECT_NE(window->StatusBox()->toPlainText().toStdString().find("DECODE STOPPED"),
              std::string::npos);
    // OK still decodes the record shown, not the stopped one.
    window->OnOk();
    window->WaitForDecode();
    EXPECT_EQ(Characters(), before);

    window->LoadWaveformFile(path);
    window->close();
    EXPECT_FALSE(window->DecodeRunning());
    EXPECT_EQ(Characters(), before);
}

TEST_F(DecodeJobTest, ChangedSettingsMarkTheListsUntilOkDecodesTheFileAgain) {
    LoadSample();
    const std::vector<std::string> decoded = Characters();
    CThresholdDlg percent;
    percent.unitMode = CThresholdDlg::kPercentage;
    percent.percentMidRef = "40";
    percent.percentHysteresis = "20";
    const std::vector<std::function<void()>> changes = {
        [&] { window->ApplyThreshold(percent); },
        [&] { window->OnSyncEnable(true); },
        [&] { window->LoadStandard(0); },
    };
    for (std::size_t i = 0; i < changes.size(); ++i) {
        EXPECT_FALSE(window->ListsOutOfDate()) << i;
        changes[i]();
        EXPECT_TRUE(window->ListsOutOfDate()) << i;
        EXPECT_NE(window->windowTitle().toStdString().find("out of date"), std::string::npos);
        EXPECT_NE(StatusLine().find("out of date"), std::string::npos) << StatusLine();
        window->OnOk();
        EXPECT_TRUE(window->DecodeRunning()) << i;
        window->WaitForDecode();
        EXPECT_FALSE(window->ListsOutOfDate()) << i;
        EXPECT_EQ(window->windowTitle(), "Veltrace - sata-session.wfm");
        EXPECT_GT(window->CharactersModel().Count(), 100) << i;
    }
    // Invert decodes the shown bits again in a job, as it did in place before.
    window->Action(Dlg::kInvert)->setChecked(true);
    window->OnInvert();
    EXPECT_TRUE(window->DecodeRunning());
    window->WaitForDecode();
    EXPECT_FALSE(window->ListsOutOfDate());
    EXPECT_NE(Characters(), decoded);
}

}  // namespace
}  // namespace kestrava::test
