// Flows of the main window on the offscreen platform: decoding a file, the links between
// the lists and the graph, views, zoom, scrolling, Go To Trig, standards and the
// instrument commands it hands on.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSplitter>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include "app/CKestravaDlg.h"
#include "app/CThresholdDlg.h"
#include "app/CWindowUserInterface.h"
#include "app/ListBoxModel.h"
#include "app/ListNavigator.h"
#include "app/WaveformFrame.h"
#include "app/WindowSettings.h"
#include "base/Folders.h"
#include "base/Workers.h"
#include "instrument/AcquisitionMode.h"
#include "session/GraphPointer.h"
#include "session/ListLineKind.h"
#include "session/ReportFile.h"
#include "signal/CSataBitDetector.h"
#include "synth/CaptureGenerator.h"
#include "tests/app/AppTestSupport.h"

namespace kestrava::test {
namespace {

class RecordingInstrument : public IInstrumentCommands {
  public:
    void SetTriggerSourceChannel(int source) override {
        calls.push_back("trigger source " + std::to_string(source));
    }
    void SelectDisplayChannel(int source) override {
        calls.push_back("display " + std::to_string(source));
    }
    void LoadWaveformFromOsc(CSataUserInterface::AwayDecode&) override {
        calls.push_back("load mode " + std::to_string(AcquisitionMode()));
    }
    void SetCursorPosition(CSataUserInterface&, int which, int source,
                           std::uint32_t position) override {
        calls.push_back("cursor " + std::to_string(which) + " " + std::to_string(source) + " " +
                        std::to_string(position));
    }
    std::vector<std::string> calls;
};

using Dlg = CKestravaDlg;

class MainWindowTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        window = std::make_unique<CKestravaDlg>(instrument);
        window->WaitForDecode();
    }
    void TearDown() override {
        window.reset();
        SetAcquisitionMode(kAcquireSingleSequence);
        AppTest::TearDown();
    }
    void Load() {
        window->LoadWaveformFile(SampleCapture());
        window->WaitForDecode();
        ASSERT_GT(window->CharactersModel().Count(), 100);
    }
    RecordingInstrument instrument;
    std::unique_ptr<CKestravaDlg> window;
};

// Sata, whatever else the Macros folder lists (the second of the two shipped once).
TEST_F(MainWindowTest, StartsWithSataAndDefaultOptions) {
    EXPECT_EQ(window->windowTitle(), "Veltrace");
    ASSERT_GE(window->Standards().size(), 2u);
    EXPECT_TRUE(std::is_sorted(window->Standards().begin(), window->Standards().end()));
    EXPECT_EQ(window->StandardList()->currentText(), "Sata");
    EXPECT_EQ(window->ProtocolDefinitionPath(),
              Folders::Join(Folders::DataFolder("Macros"), "Sata.csv"));
    EXPECT_EQ(window->DisplayState(), 1);
    EXPECT_TRUE(window->Action(Dlg::kViewAll)->isChecked());
    for (int id : {Dlg::kWordNames, Dlg::kSamplePoints, Dlg::kRecoveredSignal, Dlg::kOriginalSignal,
                   Dlg::kPrimitives})
        EXPECT_TRUE(window->Action(id)->isChecked()) << id;
    EXPECT_FALSE(window->Action(Dlg::kGridAndLevels)->isChecked());
    EXPECT_FALSE(window->Action(Dlg::kAlwaysOnTop)->isChecked());
    EXPECT_EQ(window->MidRefField()->text(), "50 %");
    EXPECT_EQ(window->HysteresisField()->text(), "20 %");
    EXPECT_FALSE(window->MidRefField()->isEnabled());
    // A standard without a user pattern file gets one holding K28.5.
    const std::string pattern = Folders::Join(Folders::DataFolder("UserPattern"), "Sata.csv");
    EXPECT_EQ(ReadFile(pattern), "K28.5");
    EXPECT_EQ(window->SyncPatternList()->currentText(), "K28.5");
    EXPECT_EQ(window->Presentation().GetSyncPattern(), "K28.5");
    EXPECT_FALSE(window->SyncPatternList()->isEnabled());
}

TEST_F(MainWindowTest, UserPatternFileFillsTheSyncList) {
    const std::string title = window->Standards()[0];
    WriteFile(Folders::Join(Folders::DataFolder("UserPattern"), title + ".csv"),
              "K28.5,D21.5\n  K28.3 \n");
    window->LoadStandard(0);
    EXPECT_EQ(window->SyncPatternList()->count(), 2);
    EXPECT_EQ(window->SyncPatternList()->currentText(), "K28.5,D21.5");
    EXPECT_EQ(window->Presentation().GetSyncPattern(), "K28.5,D21.5");
    window->OnSyncEnable(true);
    EXPECT_TRUE(window->SyncPatternList()->isEnabled());
    EXPECT_TRUE(window->Presentation().GetSyncPatternEnabled());
    window->SetSyncPatternFromEditor("K28.5,D10.2");
    EXPECT_EQ(window->SyncPatternList()->count(), 3);
    EXPECT_EQ(window->SyncPatternList()->currentText(), "K28.5,D10.2");
    EXPECT_EQ(window->Presentation().GetSyncPattern(), "K28.5,D10.2");
}

TEST_F(MainWindowTest, OpeningAFileFillsBothListsTheStatusAndTheScrollBar) {
    Load();
    EXPECT_GT(window->ProtocolModel().Count(), 10);
    EXPECT_EQ(window->CharactersList()->model()->rowCount(), window->CharactersModel().Count());
    EXPECT_FALSE(window->StatusBox()->toPlainText().isEmpty());
    EXPECT_EQ(window->StatusBox()->toPlainText().toStdString().find("Unknown Error"),
              std::string::npos);
    const QScrollBar* bar = window->LowerFrame()->ScrollBar();
    const auto length = static_cast<int>(window->Presentation().RecordLength());
    const auto width = static_cast<int>(window->Presentation().view.width);
    EXPECT_EQ(bar->maximum(), length - width);
    EXPECT_EQ(bar->pageStep(), width);
    EXPECT_EQ(bar->singleStep(), width / 619 + 1);
}

TEST_F(MainWindowTest, ProtocolSelectionSelectsTheCharacterAndScrollsTheGraph) {
    Load();
    const int line = window->ProtocolModel().Count() / 2;
    window->ProtocolList()->setCurrentIndex(window->ProtocolModel().index(line, 0));
    const int selected = window->CharactersModel().Selected();
    ASSERT_GE(selected, 0);
    EXPECT_EQ(window->CharactersList()->currentIndex().row(), selected);
    const ItemData position = window->CharactersModel().Data(selected);
    EXPECT_EQ(window->Presentation().view.start, static_cast<std::uint32_t>(position));
    EXPECT_EQ(window->LowerFrame()->ScrollBar()->value(), position);

    // A characters-list click scrolls to its own position.
    window->CharactersList()->setCurrentIndex(window->CharactersModel().index(5, 0));
    EXPECT_EQ(window->Presentation().view.start,
              static_cast<std::uint32_t>(window->CharactersModel().Data(5)));
}

TEST_F(MainWindowTest, ScrollBarMovesTheViewAndStopsAtTheLastPage) {
    Load();
    QScrollBar* bar = window->LowerFrame()->ScrollBar();
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(window->Presentation().view.start, static_cast<std::uint32_t>(bar->maximum()));
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(window->Presentation().view.start, static_cast<std::uint32_t>(bar->singleStep()));
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(window->Presentation().view.start, 0u);
}

TEST_F(MainWindowTest, ViewsShowTheirFramesAndCheckTheirItem) {
    Load();
    window->show();
    QApplication::processEvents();
    const int listsHeight = window->CharactersList()->height();
    const int allHeight = window->height();
    window->SetDisplayState(2);
    QApplication::processEvents();
    // Protocol: the window ends below the lists, which keep their height.
    EXPECT_NEAR(window->CharactersList()->height(), listsHeight, 2);
    EXPECT_LT(window->height(), allHeight - 150);
    EXPECT_EQ(window->Presentation().viewLayout, 2);
    EXPECT_TRUE(window->LowerFrame()->isHidden());
    EXPECT_TRUE(window->UpperFrame()->isHidden());
    EXPECT_FALSE(window->CharactersList()->isHidden());
    EXPECT_TRUE(window->Action(Dlg::kViewProtocol)->isChecked());
    EXPECT_FALSE(window->Action(Dlg::kViewAll)->isChecked());
    EXPECT_EQ(window->VisibleFrame(), nullptr);

    window->SetDisplayState(3);
    EXPECT_FALSE(window->UpperFrame()->isHidden());
    EXPECT_TRUE(window->CharactersList()->isVisibleTo(window.get()) == false);
    EXPECT_EQ(window->UpperFrame()->ScrollBar()->maximum(),
              static_cast<int>(window->Presentation().RecordLength() -
                               window->Presentation().view.width));

    window->SetDisplayState(0);
    QApplication::processEvents();
    EXPECT_TRUE(window->Action(Dlg::kViewNone)->isChecked());
    // None: the window ends at the bottom of the top strip.
    EXPECT_EQ(window->height(), window->minimumSizeHint().height());
    EXPECT_LT(window->height(), 200);
    window->SetDisplayState(7);  // not a state: nothing changes
    EXPECT_EQ(window->DisplayState(), 0);
    window->SetDisplayState(1);
    EXPECT_FALSE(window->LowerFrame()->isHidden());
}

TEST_F(MainWindowTest, ZoomButtonsAndGoToTrig) {
    Load();
    CWindowUserInterface& ui = window->Presentation();
    const unsigned bit = static_cast<unsigned>(ui.Decoder().BitDetector()->Bits().samplesPerBit);
    window->ZoomIn();
    EXPECT_EQ(ui.view.width, 15u * bit);
    window->ShowAll();
    EXPECT_EQ(ui.view.width, ui.RecordLength());
    EXPECT_TRUE(ui.view.overview);
    window->Dword();
    EXPECT_EQ(ui.view.width, 30u * bit);
    EXPECT_EQ(window->LowerFrame()->ScrollBar()->pageStep(), static_cast<int>(30u * bit));

    ui.SetHorizontalPosition(50.0f);
    window->GoToTrig();
    const double centre = ui.RecordLength() * 0.5 - ui.view.width / 2;
    // The view starts at the word holding the centred position, or at that position.
    EXPECT_LE(ui.view.start, static_cast<std::uint32_t>(centre));
    EXPECT_GE(ui.view.start + ui.view.width / 2, static_cast<std::uint32_t>(centre));
    const int selected = window->CharactersModel().Selected();
    if (selected >= 0) {
        EXPECT_EQ(static_cast<std::uint32_t>(window->CharactersModel().Data(selected)),
                  ui.view.start);
    }
}

TEST_F(MainWindowTest, DataFilterRebuildsTheProtocolListAndChecksOneItem) {
    Load();
    window->SetDataFilter(1);
    EXPECT_EQ(window->Presentation().highLevelKind, 1);
    EXPECT_TRUE(window->Action(Dlg::kFis)->isChecked());
    EXPECT_FALSE(window->Action(Dlg::kPrimitives)->isChecked());
    const int fisLines = window->ProtocolModel().Count();
    window->SetDataFilter(9);  // anything else is primitives
    EXPECT_EQ(window->Presentation().highLevelKind, 0);
    EXPECT_TRUE(window->Action(Dlg::kPrimitives)->isChecked());
    EXPECT_NE(window->ProtocolModel().Count(), fisLines);
    // Frames: a verdict per frame, kept by a setup file beside the filter every file has.
    window->Action(Dlg::kFrames)->trigger();
    EXPECT_TRUE(window->Action(Dlg::kFrames)->isChecked());
    EXPECT_FALSE(window->Action(Dlg::kPrimitives)->isChecked());
    ASSERT_GT(window->ProtocolModel().Count(), 0);
    EXPECT_NE(window->ProtocolModel().Text(0).find("CRC OK"), std::string::npos)
        << window->ProtocolModel().Text(0);
}

TEST_F(MainWindowTest, DisplayTogglesReachThePresentation) {
    Load();
    window->Action(Dlg::kGridAndLevels)->trigger();
    EXPECT_TRUE(window->Presentation().view.gridAndLevels);
    window->Action(Dlg::kWordNames)->trigger();
    EXPECT_FALSE(window->Presentation().view.wordNames);
    window->Action(Dlg::kInvert)->trigger();
    EXPECT_EQ(window->Presentation().GetInvert(), 1);
    EXPECT_GT(window->CharactersModel().Count(), 0);
}

TEST_F(MainWindowTest, SourceMenuSendsNothingButTheListSendsTriggerAndDisplay) {
    instrument.calls.clear();
    window->Action(Dlg::kCh3)->trigger();
    EXPECT_EQ(window->DataSourceList()->currentIndex(), 2);
    EXPECT_EQ(window->Presentation().GetSource(), 2);
    EXPECT_TRUE(instrument.calls.empty());
    window->Action(Dlg::kRef2)->trigger();
    EXPECT_EQ(window->DataSourceList()->currentText(), "REF2");
    window->OnDataSourceChanged(8);
    window->WaitForDecode();
    EXPECT_EQ(window->Presentation().GetSource(), 8);
    EXPECT_EQ(instrument.calls, (std::vector<std::string>{"trigger source 8", "display 8"}));
}

TEST_F(MainWindowTest, AcquisitionButtonsSetTheModeAndCursorsUseTheView) {
    instrument.calls.clear();
    window->OnOk();
    window->WaitForDecode();
    EXPECT_EQ(instrument.calls.back(), "load mode 0");
    EXPECT_EQ(AcquisitionMode(), kAcquireSingleSequence);
    window->OnForceTrig();
    window->WaitForDecode();
    EXPECT_EQ(instrument.calls.back(), "load mode 2");
    EXPECT_EQ(AcquisitionMode(), kAcquireForcedTrigger);
    window->OnSingle();
    window->WaitForDecode();
    EXPECT_EQ(instrument.calls.back(), "load mode 1");
    window->Presentation().view.start = 1234;
    window->DataSourceList()->setCurrentIndex(4);
    window->OnCursor(2);
    window->WaitForDecode();
    EXPECT_EQ(instrument.calls.back(), "cursor 2 4 1234");
}

TEST_F(MainWindowTest, ThresholdResultIsShownWithItsUnit) {
    CThresholdDlg dialog;
    dialog.unitMode = CThresholdDlg::kAbsolute;
    dialog.absoluteMidRef = "-0.1";
    dialog.absoluteHysteresis = "0.02";
    dialog.resetToPercentage = true;
    window->ApplyThreshold(dialog);
    EXPECT_EQ(window->MidRefField()->text(), "-0.1 Volt");
    EXPECT_EQ(window->HysteresisField()->text(), "0.02 Volt");
    EXPECT_EQ(window->Presentation().GetIsAbsRefLevel(), 1);
    EXPECT_EQ(window->Presentation().GetIsAuto50Percent(), 1);
    dialog.unitMode = CThresholdDlg::kPercentage;
    dialog.percentMidRef = "40";
    dialog.percentHysteresis = "10";
    window->ApplyThreshold(dialog);
    EXPECT_EQ(window->MidRefField()->text(), "40 %");
    EXPECT_EQ(window->Presentation().GetRefLevelP(), "40");
}

TEST_F(MainWindowTest, SavedReportHoldsTheCharactersList) {
    const std::string path = Root() + "/report.txt";
    // Nothing decoded yet: nothing written, and the user is told so.
    EXPECT_FALSE(window->SaveReport(path));
    EXPECT_FALSE(Folders::Exists(path));
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Nothing to save: no waveform has been decoded.");
    Load();
    EXPECT_TRUE(window->SaveReport(path));
    const std::string report = ReadFile(path);
    EXPECT_NE(report.find("Decoded output from file: " + SampleCapture()), std::string::npos);
    EXPECT_NE(report.find(window->CharactersModel().Text(0)), std::string::npos);
}

TEST_F(MainWindowTest, ABadFileLeavesEmptyListsAndAMessage) {
    Load();
    const std::string path = Root() + "/bad.wfm";
    WriteFile(path, "not a waveform");
    window->LoadWaveformFile(path);
    window->WaitForDecode();
    EXPECT_EQ(window->CharactersModel().Count(), 0);
    EXPECT_EQ(window->ProtocolModel().Count(), 0);
    EXPECT_EQ(window->CharactersList()->model()->rowCount(), 0);
    EXPECT_FALSE(window->StatusBox()->toPlainText().isEmpty());
    window->GoToTrig();  // no record: nothing happens
    window->ZoomIn();
    window->ShowAll();
    EXPECT_EQ(window->StatusBox()->toPlainText().toStdString().find("Unknown Error"),
              std::string::npos);
}

// F3 and Shift+F3 step through the faults of the characters list, coloured as faults, and
// the graph follows; a found text becomes the current line of the list last used.
TEST_F(MainWindowTest, FaultsAreColouredAndFoundInTurn) {
    synth::CaptureOptions options;
    options.scenario.name = "faults";
    const std::string path = Root() + "/faults.wfm";
    ASSERT_EQ(synth::CaptureGenerator::WriteFiles(synth::CaptureGenerator::Generate(options),
                                                  options.wfm, path, ""),
              "");
    window->LoadWaveformFile(path);
    window->WaitForDecode();
    ListBoxModel& model = window->CharactersModel();
    std::vector<int> faults;
    for (int line = 0; line < model.Count(); ++line)
        if (IsErrorLine(KindOfListLine(model.Text(line)))) faults.push_back(line);
    ASSERT_GE(faults.size(), 3u);
    auto current = [&] { return window->CharactersList()->currentIndex().row(); };
    for (int fault : faults) {
        window->Navigator().NextFault(true);
        EXPECT_EQ(current(), fault);
        EXPECT_TRUE(model.data(model.index(fault), Qt::BackgroundRole).isValid());
        EXPECT_EQ(window->Presentation().view.start, static_cast<std::uint32_t>(model.Data(fault)))
            << model.Text(fault);
    }
    window->Navigator().NextFault(true);  // round to the first again
    EXPECT_EQ(current(), faults.front());
    window->Navigator().NextFault(false);
    EXPECT_EQ(current(), faults.back());
    EXPECT_FALSE(model.data(model.index(0), Qt::BackgroundRole).isValid());

    window->Navigator().SetFindText(QStringLiteral("invalid code"));
    window->Navigator().FindAgain(true);
    EXPECT_EQ(model.Text(current()), "Invalid Code");
    window->Navigator().SetFindText(QStringLiteral("no such line"));
    window->Navigator().FindAgain(true);
    EXPECT_EQ(window->StatusLine()->text(), "\"no such line\" not found");
}

// The pointer over the graph reads its sample, time and volts; the wheel zooms keeping
// that sample under it; a click makes the character there the current characters line.
TEST_F(MainWindowTest, ThePointerReadsZoomsAroundAndPicksTheCharacterUnderIt) {
    Load();
    CWindowUserInterface& ui = window->Presentation();
    ui.view.start = 1000;
    ui.view.width = 400;
    constexpr int kColumns = 800;
    GraphPointer pointer(ui, kColumns);
    ASSERT_TRUE(pointer.At(200));
    EXPECT_EQ(pointer.At(200)->sample, 1100u);
    EXPECT_FALSE(pointer.At(-1));
    EXPECT_FALSE(pointer.At(kColumns));
    const GraphSpan span = *pointer.Span();
    EXPECT_GT(span.intervalSeconds, 0.0);
    EXPECT_NEAR(pointer.At(200)->seconds - pointer.At(0)->seconds, 100 * span.intervalSeconds,
                1e-6 * span.intervalSeconds);
    for (bool in : {true, false}) {
        pointer.ZoomAround(200, in);
        EXPECT_EQ(ui.view.width, in ? 200u : 400u);
        EXPECT_EQ(pointer.At(200)->sample, 1100u);
    }
    ASSERT_TRUE(pointer.SelectCharacter(200));
    const int line = window->CharactersList()->currentIndex().row();
    const ListBoxModel& model = window->CharactersModel();
    const int halfBit = ui.Decoder().BitDetector()->Bits().samplesPerBit / 2;
    EXPECT_LE(model.Data(line), 1101 + halfBit);
    EXPECT_GT(model.Data(line + 1), 1101 + halfBit);

    GraphArea* graph = window->findChild<GraphArea*>();
    ASSERT_TRUE(graph && graph->pointed);
    graph->pointed(0);
    EXPECT_TRUE(window->PointerReadout()->text().startsWith("Sample "))
        << window->PointerReadout()->text().toStdString();
    graph->pointed(-1);
    EXPECT_EQ(window->PointerReadout()->text(), "");
}

// The title names the shown file; the last eight files opened are offered again, newest
// first; size and splitters outlive the window; a merge asks before it replaces a report.
TEST_F(MainWindowTest, TheWindowRemembersFilesAndLayoutAndAsksBeforeAMerge) {
    Load();
    EXPECT_EQ(window->windowTitle(), "Veltrace - sata-session.wfm");
    for (int i = 0; i < 9; ++i)
        window->LoadWaveformFile(Root() + "/missing-" + std::to_string(i) + ".wfm");
    window->WaitForDecode();
    window->LoadWaveformFile(SampleCapture());
    window->WaitForDecode();
    QStringList recent = WindowSettings().RecentFiles();
    ASSERT_EQ(recent.size(), WindowSettings::kRecentFiles);
    EXPECT_EQ(recent.front().toStdString(), SampleCapture());
    EXPECT_EQ(recent[1].toStdString(), Root() + "/missing-8.wfm");

    const std::string report = Root() + "/report.txt";
    ASSERT_TRUE(window->SaveReport(report));
    const std::string saved = ReadFile(report);
    std::vector<std::string> asked;
    window->askYesNo = [&](const std::string& text) {
        asked.push_back(text);
        return false;
    };
    EXPECT_FALSE(window->ConfirmAndMerge(report));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find(report), std::string::npos);
    EXPECT_EQ(ReadFile(report), saved);

    for (const auto& [id, keys] : {std::pair{CKestravaDlg::kSourceFile, "Ctrl+O"},
                                   {CKestravaDlg::kSaveAs, "Ctrl+S"},
                                   {CKestravaDlg::kHelpTopics, "F1"},
                                   {CKestravaDlg::kExit, "Ctrl+Q"}})
        EXPECT_EQ(window->Action(id)->shortcut().toString().toStdString(), keys);
    EXPECT_TRUE(window->menuBar()->cornerWidget(Qt::TopRightCorner));

    window->show();
    window->resize(1000, 760);
    QApplication::processEvents();
    auto* splitter = window->findChild<QSplitter*>();
    splitter->setSizes({100, 300, 80, 200});
    const QList<int> sizes = splitter->sizes();
    // Source > Decode Workers: the choice holds for this window and the next.
    for (QAction* action : window->findChildren<QAction*>())
        if (action->text() == "&1 Core") action->trigger();
    EXPECT_EQ(Workers::Count(), 1);
    window->close();
    Workers::SetCount(0);
    window = std::make_unique<CKestravaDlg>(instrument);
    window->show();
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(1000, 760));
    EXPECT_EQ(window->findChild<QSplitter*>()->sizes(), sizes);
    EXPECT_EQ(Workers::Count(), 1);
    Workers::SetCount(0);
}

// A waveform file dropped on the window opens as Source > File... opens it.
TEST_F(MainWindowTest, ADroppedFileIsOpened) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(SampleCapture()))});
    QMimeData text;
    text.setText(QStringLiteral("not a file"));
    EXPECT_FALSE(window->OpenDropped(&text));
    ASSERT_TRUE(window->OpenDropped(&data));
    window->WaitForDecode();
    EXPECT_GT(window->CharactersModel().Count(), 100);
    EXPECT_EQ(window->windowTitle(), "Veltrace - sata-session.wfm");
}

// File > Export Picture writes the graph as PNG or SVG, Export List the list last used as
// the command line prints it; a place that cannot be written says why.
TEST_F(MainWindowTest, ThePictureAndTheListExport) {
    Load();
    window->show();
    EXPECT_EQ(window->ExportPicture(Root() + "/graph.png"), "");
    EXPECT_EQ(ReadFile(Root() + "/graph.png").substr(0, 4), "\x89PNG");
    EXPECT_EQ(window->ExportPicture(Root() + "/graph.svg"), "");
    EXPECT_NE(ReadFile(Root() + "/graph.svg").find("<svg"), std::string::npos);
    EXPECT_EQ(window->ExportList(Root() + "/list.txt"), "");
    EXPECT_EQ(ReadFile(Root() + "/list.txt"), ReportFile::ListText(window->CharactersModel()));
    EXPECT_NE(window->ExportList(Root() + "/no/such/folder/list.txt"), "");
}

// The first keys go to the characters list; the wheel passing over a combo that has no
// focus changes nothing (over Data Source it would command the instrument).
TEST_F(MainWindowTest, TheWheelTurnsOnlyAFocusedComboAndTheListHasTheFirstFocus) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    EXPECT_EQ(QApplication::focusWidget(), window->CharactersList());
    QComboBox* source = window->DataSourceList();
    auto wheel = [&] {
        QWheelEvent event(QPointF(5, 5), source->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(source, &event);
    };
    wheel();
    EXPECT_EQ(source->currentIndex(), 0);
    source->setFocus();
    wheel();
    EXPECT_EQ(source->currentIndex(), 1);
    // The sync pattern combo shows four names whole.
    EXPECT_GE(window->SyncPatternList()->sizeHint().width(),
              window->SyncPatternList()->fontMetrics().horizontalAdvance(
                  QStringLiteral("K28.5,D10.2,D10.2,D27.3")));
}

}  // namespace
}  // namespace kestrava::test
