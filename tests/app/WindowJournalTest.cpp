// What the window sends the instrument, step by step from its start, compared with the
// journals recorded before instrument work left the window's thread: the commands and
// their order must not change with where they run. KESTRAVA_RECORD_JOURNALS=<file>
// writes the journals instead of comparing them.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QTimer>

#include "app/CKestravaDlg.h"
#include "app/CTriggerSetupDlg.h"
#include "app/ScopeInstrument.h"
#include "base/Folders.h"
#include "session/StandardSelection.h"
#include "session/TriggerSetup.h"
#include "tests/app/AppTestSupport.h"
#include "tests/instrument/ScopeFixture.h"

namespace kestrava::test {
namespace {

class WindowJournalTest : public ScopeTest {
  protected:
    void SetUp() override {
        ScopeTest::SetUp();
        EnsureApplication();
        ASSERT_TRUE(Folders::PrepareDataFolders());
        SetMessageBoxSink(&messages_);
        savedRecord_ = TheTriggerSetup();
    }
    void TearDown() override {
        TheTriggerSetup() = savedRecord_;
        SetMessageBoxSink(nullptr);
        ScopeTest::TearDown();
    }
    std::string Section(const std::string& name) {
        std::string text = "== " + name + "\n";
        for (const std::string& line : Journal()) text += line + "\n";
        sim_.ClearJournal();
        return text;
    }

    RecordingMessageBox messages_;
    TriggerSetup savedRecord_;
};

TEST_F(WindowJournalTest, EverySequenceSendsWhatItSentBefore) {
    ScopeInstrument instrument(TheOscilloscope());
    CKestravaDlg window(instrument);
    window.WaitForDecode();
    std::string journals = Section("start-up");
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"single", [&] { window.OnSingle(); }},
        {"force trig", [&] { window.OnForceTrig(); }},
        {"ok", [&] { window.OnOk(); }},
        {"source CH2", [&] { window.OnDataSourceChanged(1); }},
        {"cursor 1", [&] { window.OnCursor(1); }},
        {"cursor 2", [&] { window.OnCursor(2); }},
        {"zoom 1", [&] { window.OnZoom1(); }},
        // PCI Express, the first of the two definitions the journal was recorded with.
        {"standard 0", [&] { window.LoadStandard(StandardSelection().IndexOf("PCIExpress")); }},
        {"default setup", [&] { window.RecallDefaultSetup(); }},
        {"trigger setup",
         [&] {
             QTimer::singleShot(100, [] {
                 if (auto* dialog =
                         qobject_cast<CTriggerSetupDlg*>(QApplication::activeModalWidget())) {
                     dialog->Apply();
                     dialog->CloseDialog();
                 }
             });
             window.OnTriggerSetup();
         }},
    };
    for (const auto& [name, step] : steps) {
        step();
        window.WaitForDecode();
        journals += Section(name);
    }
    const std::string path = SourceDir() + "/tests/app/data/window-journals.txt";
    if (const char* record = std::getenv("KESTRAVA_RECORD_JOURNALS")) {
        std::ofstream(record, std::ios::binary) << journals;
        GTEST_SKIP() << "journals written to " << record;
    }
    std::ifstream file(path, std::ios::binary);
    std::stringstream expected;
    expected << file.rdbuf();
    EXPECT_EQ(journals, expected.str());
    EXPECT_TRUE(InstrumentUnlocked());
}

}  // namespace
}  // namespace kestrava::test
