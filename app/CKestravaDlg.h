// The main window "Veltrace": the top strip of source, standard, sync-pattern and
// threshold controls with the acquisition buttons, the characters and protocol lists, the
// status box and the waveform frames. It turns user actions into calls on the
// presentation object, the instrument and the dialogs; it holds widgets only.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QMainWindow>
#include <QSize>
#include <QStringList>

#include "app/DecodeSettings.h"
#include "app/IInstrumentCommands.h"
#include "app/WindowSettings.h"
#include "session/CSataUserInterface.h"
#include "session/SetupFile.h"
#include "session/StandardSelection.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QMimeData;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTimer;
class QWidget;

namespace kestrava {

class CThresholdDlg;
class CWindowUserInterface;
class DeferredTriggerLink;
class JobQueue;
class ListBoxModel;
class ListNavigator;
class GraphArea;
class WaveformFrame;
struct GraphPoint;

class CKestravaDlg : public QMainWindow, public ISetupTarget {
    Q_OBJECT
  public:
    // Menu commands and controls, by their resource ids.
    enum Id {
        kSaveAs = 32777,
        kMerge = 32778,
        kRecallDefaultSetup = 32810,
        kRecallSetup = 32811,
        kSaveSetup = 57603,
        kMinimize = 32802,
        kExit = 32771,
        kCh1 = 32784,
        kCh2,
        kCh3,
        kCh4,
        kMath1 = 32788,
        kMath2,
        kMath3,
        kMath4,
        kRef1 = 32792,
        kRef2,
        kRef3,
        kRef4,
        kSourceFile = 32799,
        kThreshold = 32814,
        kInvert = 32813,
        kTriggerSetup = 32801,
        kViewAll = 32816,
        kViewProtocol = 32817,
        kViewWaveform = 32818,
        kViewNone = 32819,
        kWordNames = 32779,
        kSamplePoints = 32780,
        kRecoveredSignal = 32781,
        kOriginalSignal = 32782,
        kGridAndLevels = 32783,
        kPrimitives = 32821,
        kFis = 32822,
        kAtapi = 32823,
        kFrames = 32824,
        kAlwaysOnTop = 32803,
        kHelpTopics = 32805,
        kAbout = 32806,
        kOkButton = 1001,
        kSingleButton = 1003,
        kForceTrigButton = 1005,
        kStopButton = 1009,
        kZoom1Button = 1006,
        kCursor1Button = 1007,
        kCursor2Button = 1008,
        kSyncEditButton = 1190,
    };

    // The instrument is not owned and must outlive the window.
    explicit CKestravaDlg(IInstrumentCommands& instrument = NullInstrument(),
                          QWidget* parent = nullptr);
    ~CKestravaDlg() override;

    // Widgets and state, for the program's own options and for tests.
    QAction* Action(int id) const;
    QPushButton* Button(int id) const;
    CWindowUserInterface& Presentation() { return *presentation_; }
    ListBoxModel& CharactersModel() { return *charactersModel_; }
    ListBoxModel& ProtocolModel() { return *protocolModel_; }
    QListView* CharactersList() const { return charactersList_; }
    QListView* ProtocolList() const { return protocolList_; }
    QPlainTextEdit* StatusBox() const { return statusBox_; }
    // The line under the window that says what the decode is doing and how it ended.
    QLabel* StatusLine() const { return statusLine_; }
    ListNavigator& Navigator() const { return *navigator_; }
    QLabel* PointerReadout() const { return pointerReadout_; }
    QProgressBar* DecodeProgress() const { return progress_; }
    // A job runs or waits: instrument work, an acquisition or a decode.
    bool DecodeRunning() const;
    // The shown lists were decoded with other settings than the current ones.
    bool ListsOutOfDate() const { return outOfDate_; }
    QComboBox* DataSourceList() const { return dataSource_; }
    QComboBox* StandardList() const { return standard_; }
    QComboBox* SyncPatternList() const { return syncPattern_; }
    QCheckBox* SyncEnableBox() const { return syncEnable_; }
    QLineEdit* MidRefField() const { return midRef_; }
    QLineEdit* HysteresisField() const { return hysteresis_; }
    WaveformFrame* UpperFrame() const { return upperFrame_; }
    WaveformFrame* LowerFrame() const { return lowerFrame_; }
    // The frame of the display state, null when no graph is shown.
    WaveformFrame* VisibleFrame() const;
    int DisplayState() const { return displayState_; }
    const std::vector<std::string>& Standards() const { return standards_.Titles(); }
    const std::string& ProtocolDefinitionPath() const { return definitionPath_; }
    const std::string& HelpFilePath() const { return helpPath_; }

    // Commands without their file dialogs. A waveform file decodes on a worker thread; the
    // earlier decode stays shown until the new one is done. The instrument's commands run
    // on the same thread, one job after the other, in the order they were asked for.
    void LoadWaveformFile(const std::string& path);
    // Waits for every job and shows their results now.
    void WaitForDecode();
    // Ends the running job (a decode at its next stage boundary, the instrument's waits and
    // transfer at their next step) and drops the waiting ones; the earlier decode stays shown.
    void OnStop();
    bool SaveReport(const std::string& path);
    // Asks before a merge replaces the report; false when the user declines.
    bool ConfirmAndMerge(const std::string& path);
    // Opens the first local file of dropped items; false when there is none.
    bool OpenDropped(const QMimeData* data);
    // The shown graph as a PNG or (by the name's end) an SVG drawing, and the list last used
    // as text; empty when written, else why not.
    std::string ExportPicture(const std::string& path);
    std::string ExportList(const std::string& path);
    // The Yes/No question box; tests answer it themselves.
    std::function<bool(const std::string&)> askYesNo;
    void MergeReport(const std::string& path);
    void SelectSourceFromMenu(int source);
    void OnDataSourceChanged(int source);
    void SetDisplayState(int state);
    void SetDataFilter(int filter) override;
    void OnDisplayFlagToggled();
    void OnInvert();
    void OnAlwaysOnTop(bool on);
    void ApplyThreshold(const CThresholdDlg& dialog);
    void OnOk();
    void OnSingle();
    void OnForceTrig();
    void OnCursor(int which);
    void OnZoom1();
    void ShowAll();
    void ZoomIn();
    void ZoomOut();
    void Dword();
    void GoToTrig();
    void OnCharacterSelected(int line);
    void OnProtocolSelected(int line);
    void LoadStandard(int index);
    void OnSyncPatternChanged(int index);
    void OnSyncEnable(bool on);
    void SetSyncPatternFromEditor(const QString& pattern);
    void OnThresholdFieldEdited();
    void ScrollTo(std::uint32_t position);
    void RefreshThresholdFields() override;

    // Setup files, without their file dialogs. False when the file could not be written
    // or read.
    bool SaveSetup(const std::string& path);
    bool RecallSetup(const std::string& path);
    void RecallDefaultSetup();
    const std::string& DefaultSetupPath() const { return defaultSetupPath_; }
    // The setup folder exists as a folder afterwards (a file in its place is removed).
    bool CheckSetupFolder();

    // ISetupTarget: the window's selections as a setup saves and replays them.
    int DataSourceIndex() const override;
    int SerialStandardIndex() const override;
    int DisplayWindowState() const override { return displayState_; }
    int AlwaysOnTop() const override;
    int SyncEnableFlag() const override;
    void RedrawWaveform() override;
    void SelectDataSource(int index) override;
    void SelectSerialStandard(int index) override;
    void SetDisplayWindow(int state) override { SetDisplayState(state); }
    std::vector<std::string> SyncPatternEntries() const override;
    void AddSyncPatternEntry(const std::string& text) override;
    void SelectSyncPatternEntry(int index) override;
    void SetSyncEnableFlag(int flag) override;
    ITriggerLink* TriggerLink() override;
    std::string DataSourceText() const override;
    double MaximumBitRate() const override;
    void SetWaitCursor(bool on) override;
    void SetAlwaysOnTop(bool on) override;
    void SetCheckMarks() override;

    // Commands with dialogs.
    void OpenFile();
    void OnSave();
    void OnMerge();
    void OnThreshold();
    void OnEditSyncPattern();
    void OnHelp();
    void OnSaveSetup();
    void OnRecallSetup();
    void OnTriggerSetup();
    void OnAbout();

  signals:
    // The last job has ended and its outcome (or its stop) is shown.
    void decodeEnded();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // Queues work for the worker; done comes back on the window's thread.
    void Run(const QString& label, std::function<void()> work,
             std::function<void(bool stopped)> done = {});
    void OnJobStarted(const QString& label);
    void OnJobsIdle();
    // The start-up connect: trigger source and display channel, the trigger defaults and
    // the maximum bit-rate probe.
    void StartUp();
    // The trigger defaults of the definition now loaded, sent when its bit rate is within
    // the instrument's maximum (known on the worker once the probe has run).
    void PostTriggerDefaults();
    // A trigger sequence composed on this thread, sent on the worker; with a rate, only
    // when it is within the instrument's maximum.
    void PostTriggerCalls(DeferredTriggerLink& kept, std::optional<double> rate);
    // Acquires the selected source in mode; after runs on this thread when the job ended.
    void Acquire(int mode, bool thenSingleSequence, std::function<void()> after = {});
    void ShowAcquired(CSataUserInterface::AwayDecode& away, const QString& source);
    // Starts a decode job: of the file, or with an empty path a re-decode of the shown bits.
    void StartDecode(const std::string& path);
    void ShowDecoded(CSataUserInterface::AwayDecode& away, const std::string& path,
                     const QString& name);
    void SetJobControls(bool idle);
    void ShowElapsed();
    void SetOutcome(const QString& text);
    // Compares the current settings with those of the shown decode and marks the lists.
    void UpdateOutOfDate();
    // Copies the menu checks; a changed invert or lock-sampler option re-decodes in a job.
    void ApplyOptions();
    QWidget* BuildStatusLine();
    template <class Fn>
    void Handle(const char* name, Fn&& fn);
    void BuildMenus();
    QWidget* BuildTopStrip();
    QWidget* BuildMiddleRow();
    void ConnectFrame(WaveformFrame& frame);
    void ConnectPointer(GraphArea& graph);
    void AddShortcuts();
    void FillRecentMenu();
    int FramesHeight() const;
    void OnExportPicture();
    void OnExportList();
    void AskAndExport(const QString& caption, const QString& filter, const QString& suffix,
                      const std::function<std::string(const std::string&)>& write);
    static QString PointText(const GraphPoint& point, bool timed);
    void InitDialog();
    void InitializeControls();
    void ListStandards();
    void CopyMenuChecks();
    void RedrawGraph();
    void FollowSelection(QListView& view, int line);
    QAction* AddAction(QMenu& menu, int id, const QString& caption, bool checkable);

    IInstrumentCommands& instrument_;
    std::unique_ptr<ListBoxModel> charactersModel_, protocolModel_;
    std::unique_ptr<CWindowUserInterface> presentation_;
    std::map<int, QAction*> actions_;
    std::map<int, QPushButton*> buttons_;

    QComboBox *dataSource_ = nullptr, *standard_ = nullptr, *syncPattern_ = nullptr;
    QCheckBox* syncEnable_ = nullptr;
    QLineEdit *midRef_ = nullptr, *hysteresis_ = nullptr;
    QListView *charactersList_ = nullptr, *protocolList_ = nullptr;
    QPlainTextEdit* statusBox_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QWidget* separator_ = nullptr;
    QGroupBox *charactersGroup_ = nullptr, *protocolGroup_ = nullptr, *synchronizeGroup_ = nullptr;
    QWidget* middleRow_ = nullptr;
    QSplitter *mainSplitter_ = nullptr, *listSplitter_ = nullptr;
    WaveformFrame *upperFrame_ = nullptr, *lowerFrame_ = nullptr;

    std::string reportsFolder_, setupFolder_, waveformsFolder_;
    std::string lastSavePath_, lastRecallPath_;
    std::string helpPath_, versionPath_, defaultSetupPath_, definitionPath_;
    StandardSelection standards_;
    int displayState_ = 1;
    double maximumBitRate_ = 0.0;
    QSize fullSize_;
    bool followingSelection_ = false;

    // The jobs, what the running one is called and what the status line says.
    std::unique_ptr<JobQueue> jobs_;
    std::string heldFile_;  // the file of the shown decode; empty for an instrument record
    QString jobLabel_, outcome_;
    QString transferSource_;  // the source the acquisition transfers
    // The probe's answer, for the jobs that come after it.
    std::atomic<double> workerMaximumBitRate_{0.0};
    // While a setup is recalled, its trigger sequence is kept here, to go to the worker.
    DeferredTriggerLink* recallLink_ = nullptr;
    QElapsedTimer elapsed_;
    QTimer* ticker_ = nullptr;
    QLabel* statusLine_ = nullptr;
    ListNavigator* navigator_ = nullptr;
    QLabel* pointerReadout_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    WindowSettings settings_;
    QProgressBar* progress_ = nullptr;
    std::optional<DecodeSettings> shownSettings_;
    bool outOfDate_ = false;
};

}  // namespace kestrava
