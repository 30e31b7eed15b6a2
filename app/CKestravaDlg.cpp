#include "app/CKestravaDlg.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <utility>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/CAboutDlg.h"
#include "app/CSyncPatternDlg.h"
#include "app/CThresholdDlg.h"
#include "app/CTriggerSetupDlg.h"
#include "app/CWindowUserInterface.h"
#include "app/ColourScheme.h"
#include "app/DeferredTriggerLink.h"
#include "app/FileDialog.h"
#include "app/JobQueue.h"
#include "app/ListBoxModel.h"
#include "app/ListNavigator.h"
#include "app/QtMessageBox.h"
#include "app/WaveformFrame.h"
#include "app/WindowSettings.h"
#include "app/WorkerMenu.h"
#include "base/FileReplacement.h"
#include "base/Folders.h"
#include "base/Guard.h"
#include "base/Log.h"
#include "definition/CMacros.h"
#include "instrument/AcquisitionMode.h"
#include "instrument/InstrumentStop.h"
#include "instrument/SourceNames.h"
#include "instrument/Wdm.h"
#include "protocol/CSataWordDecoder.h"
#include "session/GraphPointer.h"
#include "session/ReportFile.h"
#include "session/SetupFile.h"
#include "session/SvgCanvas.h"
#include "session/TriggerSetup.h"

namespace kestrava {
namespace {

const std::string kSource = "CKestravaDlg";

// Shows the wait cursor for as long as it lives.
class WaitCursor {
  public:
    WaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString SourceText(int index) {
    const std::string_view name = SourceName(index);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

void SelectExact(QComboBox& list, const QString& text) {
    list.setCurrentIndex(list.findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

QString FileNameOf(const std::string& path) {
    return QString::fromStdString(std::filesystem::path(path).filename().string());
}

// The last line of a status text, for the status line's account of a failure.
QString LastLine(const std::string& text) {
    const QStringList lines =
        QString::fromStdString(text).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last();
}

const QString kTitle = QStringLiteral("Veltrace");

// What the status box says when a job is stopped.
std::string StopNote(const QString& label) {
    if (label.startsWith(QStringLiteral("Decoding"))) return "DECODE STOPPED....";
    if (label.startsWith(QStringLiteral("Acquiring"))) return "ACQUISITION STOPPED....";
    return "INSTRUMENT COMMANDS STOPPED....";
}

// A bit rate as the instrument's maximum is compared with (see BitRateWithinMaximum).
double DefinitionRate(const CMacros& macros) {
    return static_cast<float>(LeadingNumber(macros.bitRateText));
}

}  // namespace

template <class Fn>
void CKestravaDlg::Handle(const char* name, Fn&& fn) {
    if (!Guard(kSource, name, std::forward<Fn>(fn)) && presentation_)
        presentation_->DisplayMessage("Unknown Error", kShow);
}

CKestravaDlg::CKestravaDlg(IInstrumentCommands& instrument, QWidget* parent)
    : QMainWindow(parent),
      askYesNo(&AskYesNo),
      instrument_(instrument),
      charactersModel_(std::make_unique<ListBoxModel>()),
      protocolModel_(std::make_unique<ListBoxModel>()) {
    reportsFolder_ = Folders::DataFolder("Reports");
    setupFolder_ = Folders::DataFolder("Setup");
    waveformsFolder_ = Folders::DataFolder("Waveforms");
    setWindowTitle(kTitle);
    setWindowIcon(ProgramIcon());
    setObjectName(QStringLiteral("CKestravaDlg"));

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralArea"));
    auto* column = new QVBoxLayout(central);
    column->addWidget(BuildTopStrip());
    separator_ = MakeSeparator(central);
    column->addWidget(separator_);

    upperFrame_ = new WaveformFrame(central);
    lowerFrame_ = new WaveformFrame(central);
    charactersGroup_ = new QGroupBox(QStringLiteral("Characters"), central);
    protocolGroup_ = new QGroupBox(QStringLiteral("Protocol"), central);
    charactersList_ = new QListView(charactersGroup_);
    protocolList_ = new QListView(protocolGroup_);
    for (auto [group, list, model] :
         {std::tuple{charactersGroup_, charactersList_, charactersModel_.get()},
          std::tuple{protocolGroup_, protocolList_, protocolModel_.get()}}) {
        list->setModel(model);
        list->setUniformItemSizes(true);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setFont(QFont(QStringLiteral("Monospace"), 9));
        (new QVBoxLayout(group))->addWidget(list);
    }
    listSplitter_ = new QSplitter(Qt::Horizontal, central);
    listSplitter_->addWidget(charactersGroup_);
    listSplitter_->addWidget(protocolGroup_);
    listSplitter_->setChildrenCollapsible(false);

    mainSplitter_ = new QSplitter(Qt::Vertical, central);
    mainSplitter_->addWidget(upperFrame_);
    mainSplitter_->addWidget(listSplitter_);
    mainSplitter_->addWidget(BuildMiddleRow());
    mainSplitter_->addWidget(lowerFrame_);
    mainSplitter_->setChildrenCollapsible(false);
    mainSplitter_->setStretchFactor(0, 3);
    mainSplitter_->setStretchFactor(1, 3);
    mainSplitter_->setStretchFactor(2, 1);
    mainSplitter_->setStretchFactor(3, 3);
    column->addWidget(mainSplitter_, 1);
    // With everything below the top strip hidden, the room left is nobody's.
    column->addStretch(0);
    setCentralWidget(central);

    BuildMenus();
    statusBar()->addWidget(BuildStatusLine(), 1);
    pointerReadout_ = new QLabel(statusBar());
    pointerReadout_->setObjectName(QStringLiteral("pointerReadout"));
    statusBar()->addPermanentWidget(pointerReadout_);
    jobs_ = std::make_unique<JobQueue>();
    connect(jobs_.get(), &JobQueue::started, this, &CKestravaDlg::OnJobStarted);
    connect(jobs_.get(), &JobQueue::idle, this, &CKestravaDlg::OnJobsIdle);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &CKestravaDlg::OnStop);
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this,
            &CKestravaDlg::OnOk);
    ConnectFrame(*upperFrame_);
    ConnectFrame(*lowerFrame_);

    connect(charactersList_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!followingSelection_) OnCharacterSelected(current.row());
            });
    connect(protocolList_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!followingSelection_) OnProtocolSelected(current.row());
            });
    connect(charactersModel_.get(), &ListBoxModel::selectionRequested, this,
            [this](int line) { FollowSelection(*charactersList_, line); });
    connect(protocolModel_.get(), &ListBoxModel::selectionRequested, this,
            [this](int line) { FollowSelection(*protocolList_, line); });
    navigator_ = new ListNavigator(*this, *charactersList_, *charactersModel_, *protocolList_,
                                   *protocolModel_,
                                   [this](const QString& text) { statusLine_->setText(text); });

    ApplyColourScheme(*this);
    setAcceptDrops(true);
    resize(1180, 820);
    settings_.RestoreLayout(*this, {mainSplitter_, listSplitter_});
    InitDialog();
}

CKestravaDlg::~CKestravaDlg() {
    WriteLog(kSource, "Start:~CKestravaDlg", kLogInfo);
    Guard(kSource, "~CKestravaDlg", [&] {
        // A running job is stopped and waited for: it works on the presentation's data.
        jobs_.reset();
        instrument_.CloseConnection();
        presentation_.reset();
    });
    WriteLog(kSource, "End:~CKestravaDlg", kLogInfo);
}

QAction* CKestravaDlg::Action(int id) const {
    auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

QPushButton* CKestravaDlg::Button(int id) const {
    auto found = buttons_.find(id);
    return found == buttons_.end() ? nullptr : found->second;
}

QAction* CKestravaDlg::AddAction(QMenu& menu, int id, const QString& caption, bool checkable) {
    QAction* action = menu.addAction(caption);
    action->setCheckable(checkable);
    action->setData(id);
    actions_[id] = action;
    return action;
}

void CKestravaDlg::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    connect(AddAction(*file, kSaveAs, QStringLiteral("Save &As..."), false), &QAction::triggered,
            this, &CKestravaDlg::OnSave);
    auto* merge = file->addAction(QStringLiteral("&Merge into Report..."));
    merge->setShortcut(QKeySequence(QStringLiteral("Ctrl+M")));
    actions_[kMerge] = merge;
    connect(merge, &QAction::triggered, this, &CKestravaDlg::OnMerge);
    connect(file->addAction(QStringLiteral("Export &Picture...")), &QAction::triggered, this,
            &CKestravaDlg::OnExportPicture);
    connect(file->addAction(QStringLiteral("Export &List...")), &QAction::triggered, this,
            &CKestravaDlg::OnExportList);
    recentMenu_ = file->addMenu(QStringLiteral("Recent &Files"));
    connect(recentMenu_, &QMenu::aboutToShow, this, &CKestravaDlg::FillRecentMenu);
    file->addSeparator();
    connect(AddAction(*file, kRecallDefaultSetup, QStringLiteral("Recall &Default Setup"), false),
            &QAction::triggered, this, &CKestravaDlg::RecallDefaultSetup);
    connect(AddAction(*file, kRecallSetup, QStringLiteral("&Recall Setup..."), false),
            &QAction::triggered, this, &CKestravaDlg::OnRecallSetup);
    connect(AddAction(*file, kSaveSetup, QStringLiteral("&Save Setup..."), false),
            &QAction::triggered, this, &CKestravaDlg::OnSaveSetup);
    file->addSeparator();
    connect(AddAction(*file, kMinimize, QStringLiteral("&Minimize"), false), &QAction::triggered,
            this, &QWidget::showMinimized);
    connect(AddAction(*file, kExit, QStringLiteral("E&xit"), false), &QAction::triggered, this,
            &QWidget::close);

    QMenu* source = menuBar()->addMenu(QStringLiteral("&Source"));
    QMenu* instrument = source->addMenu(QStringLiteral("&Instrument"));
    // In source order, each with where its mnemonic goes in the name (the MATH ones have none).
    const std::pair<int, int> sources[] = {{kCh1, 2},    {kCh2, 2},    {kCh3, 2},    {kCh4, 0},
                                           {kRef1, 0},   {kRef2, 1},   {kRef3, 2},   {kRef4, 3},
                                           {kMath1, -1}, {kMath2, -1}, {kMath3, -1}, {kMath4, -1}};
    int index = 0;
    for (const auto& [id, mnemonic] : sources) {
        const int sourceIndex = index++;
        QString caption = SourceText(sourceIndex);
        if (mnemonic >= 0) caption.insert(mnemonic, QLatin1Char('&'));
        connect(AddAction(*instrument, id, caption, false), &QAction::triggered, this,
                [this, sourceIndex] { SelectSourceFromMenu(sourceIndex); });
    }
    connect(AddAction(*source, kSourceFile, QStringLiteral("&File..."), false), &QAction::triggered,
            this, &CKestravaDlg::OpenFile);
    source->addSeparator();
    connect(AddAction(*source, kThreshold, QStringLiteral("&Threshold"), false),
            &QAction::triggered, this, &CKestravaDlg::OnThreshold);
    source->addSeparator();
    connect(AddAction(*source, kInvert, QStringLiteral("&Invert Waveform"), true),
            &QAction::triggered, this, &CKestravaDlg::OnInvert);
    source->addSeparator();
    new WorkerMenu(*source, settings_);

    QMenu* trigger = menuBar()->addMenu(QStringLiteral("&Trigger"));
    connect(AddAction(*trigger, kTriggerSetup, QStringLiteral("&Setup..."), false),
            &QAction::triggered, this, &CKestravaDlg::OnTriggerSetup);

    QMenu* display = menuBar()->addMenu(QStringLiteral("&Display"));
    QMenu* views = display->addMenu(QStringLiteral("&Views"));
    const std::pair<int, int> viewStates[] = {
        {kViewAll, 1}, {kViewProtocol, 2}, {kViewWaveform, 3}, {kViewNone, 0}};
    const char* viewCaptions[] = {"&All", "&Protocol", "&Waveform", "&None"};
    for (int i = 0; i < 4; ++i) {
        const int state = viewStates[i].second;
        connect(AddAction(*views, viewStates[i].first, QString::fromLatin1(viewCaptions[i]), true),
                &QAction::triggered, this, [this, state] { SetDisplayState(state); });
    }
    display->addSeparator();
    const std::pair<int, const char*> flags[] = {{kWordNames, "&Word Names"},
                                                 {kSamplePoints, "&Sample Points"},
                                                 {kRecoveredSignal, "&Recovered Signal"},
                                                 {kOriginalSignal, "&Original Signal"},
                                                 {kGridAndLevels, "&Grid and Levels"}};
    for (const auto& [id, caption] : flags)
        connect(AddAction(*display, id, QString::fromLatin1(caption), true), &QAction::triggered,
                this, &CKestravaDlg::OnDisplayFlagToggled);
    display->addSeparator();
    QMenu* decoding = display->addMenu(QStringLiteral("Sata &Decoding"));
    const std::pair<int, const char*> filters[] = {
        {kPrimitives, "&Primitives"}, {kFis, "&FIS"}, {kAtapi, "&ATAPI"}, {kFrames, "F&rames"}};
    int filter = 0;
    for (const auto& [id, caption] : filters) {
        const int value = filter++;
        connect(AddAction(*decoding, id, QString::fromLatin1(caption), true), &QAction::triggered,
                this, [this, value] { SetDataFilter(value); });
    }
    display->addSeparator();
    connect(AddAction(*display, kAlwaysOnTop, QStringLiteral("&Always on Top"), true),
            &QAction::triggered, this, &CKestravaDlg::OnAlwaysOnTop);

    // The Help menu sits at the right edge, in a bar of its own in the menu bar's corner.
    auto* helpBar = new QMenuBar(menuBar());
    QMenu* help = helpBar->addMenu(QStringLiteral("&Help"));
    menuBar()->setCornerWidget(helpBar, Qt::TopRightCorner);
    connect(AddAction(*help, kHelpTopics, QStringLiteral("Help &Topics"), false),
            &QAction::triggered, this, &CKestravaDlg::OnHelp);
    connect(AddAction(*help, kAbout, QStringLiteral("&About KORVAN"), false), &QAction::triggered,
            this, &CKestravaDlg::OnAbout);
    AddShortcuts();
}

// The usual keys of a desktop program, beside the menus' own letters.
void CKestravaDlg::AddShortcuts() {
    const std::pair<int, QKeySequence> keys[] = {{kSourceFile, Qt::CTRL | Qt::Key_O},
                                                 {kSaveAs, Qt::CTRL | Qt::Key_S},
                                                 {kHelpTopics, Qt::Key_F1},
                                                 {kExit, Qt::CTRL | Qt::Key_Q}};
    for (const auto& [id, key] : keys) Action(id)->setShortcut(key);
}

void CKestravaDlg::FillRecentMenu() {
    recentMenu_->clear();
    const QStringList files = settings_.RecentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        QAction* entry = recentMenu_->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()));
        entry->setToolTip(path);
        connect(entry, &QAction::triggered, this,
                [this, path] { LoadWaveformFile(path.toStdString()); });
    }
    recentMenu_->setEnabled(!files.isEmpty());
}

namespace {

// The wheel turns a combo only when the user has put the focus there: passing over the
// Data Source combo must not send source commands to the instrument.
class FocusedWheelOnly : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel) return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->hasFocus()) return false;
        event->ignore();
        return true;
    }
};

void WheelOnlyWhenFocused(QComboBox& combo) {
    combo.setFocusPolicy(Qt::StrongFocus);
    combo.installEventFilter(new FocusedWheelOnly(&combo));
}

}  // namespace

QWidget* CKestravaDlg::BuildTopStrip() {
    auto* strip = new QWidget(this);
    auto* grid = new QGridLayout(strip);
    grid->setContentsMargins(0, 0, 0, 0);

    dataSource_ = new QComboBox(strip);
    for (int i = 0; i < kSourceCount; ++i) dataSource_->addItem(SourceText(i));
    connect(dataSource_, &QComboBox::activated, this, &CKestravaDlg::OnDataSourceChanged);
    standard_ = new QComboBox(strip);
    connect(standard_, &QComboBox::activated, this, &CKestravaDlg::LoadStandard);
    syncPattern_ = new QComboBox(strip);
    syncPattern_->addItem(QStringLiteral("K28.5"));
    syncPattern_->setMinimumContentsLength(23);  // four names: "K28.5,D10.2,D10.2,D27.3"
    connect(syncPattern_, &QComboBox::activated, this, &CKestravaDlg::OnSyncPatternChanged);
    for (QComboBox* combo : {dataSource_, standard_, syncPattern_}) WheelOnlyWhenFocused(*combo);
    auto* syncEdit = new QPushButton(QStringLiteral("..."), strip);
    syncEdit->setMaximumWidth(36);
    buttons_[kSyncEditButton] = syncEdit;
    connect(syncEdit, &QPushButton::clicked, this, &CKestravaDlg::OnEditSyncPattern);
    syncEnable_ = new QCheckBox(QStringLiteral("Enable Sync on Pattern"), strip);
    connect(syncEnable_, &QCheckBox::clicked, this, &CKestravaDlg::OnSyncEnable);

    auto* thresholds = new QGroupBox(QStringLiteral("Thresholds"), strip);
    midRef_ = new QLineEdit(thresholds);
    hysteresis_ = new QLineEdit(thresholds);
    midRef_->setEnabled(false);
    hysteresis_->setEnabled(false);
    // A clipped value reads as another one ("0 %" for "50 %"): room for the usual texts.
    for (QLineEdit* field : {midRef_, hysteresis_})
        field->setMinimumWidth(
            field->fontMetrics().horizontalAdvance(QStringLiteral("-0.000 Volt")) + 12);
    connect(midRef_, &QLineEdit::editingFinished, this, &CKestravaDlg::OnThresholdFieldEdited);
    connect(hysteresis_, &QLineEdit::editingFinished, this, &CKestravaDlg::OnThresholdFieldEdited);
    auto* thresholdGrid = new QGridLayout(thresholds);
    thresholdGrid->addWidget(new QLabel(QStringLiteral("Mid Ref"), thresholds), 0, 0);
    thresholdGrid->addWidget(midRef_, 0, 1);
    thresholdGrid->addWidget(new QLabel(QStringLiteral("Hysterisis"), thresholds), 1, 0);
    thresholdGrid->addWidget(hysteresis_, 1, 1);

    auto makeButton = [this](int id, const char* caption, QWidget* parent) {
        auto* button = new QPushButton(QString::fromLatin1(caption), parent);
        buttons_[id] = button;
        return button;
    };
    auto* decode = new QGroupBox(QStringLiteral("Decode Data"), strip);
    (new QVBoxLayout(decode))->addWidget(makeButton(kOkButton, "OK", decode));
    decode->setMinimumWidth(decode->fontMetrics().horizontalAdvance(decode->title()) + 30);
    auto* acquire = new QGroupBox(QStringLiteral("Acquire && Decode Data"), strip);
    auto* acquireRow = new QHBoxLayout(acquire);
    acquireRow->addWidget(makeButton(kSingleButton, "Single", acquire));
    acquireRow->addWidget(makeButton(kForceTrigButton, "Force Trig", acquire));
    acquireRow->addWidget(makeButton(kStopButton, "Stop", acquire));
    buttons_[kStopButton]->setEnabled(false);
    buttons_[kStopButton]->setToolTip(QStringLiteral("Stop the running job (Esc)"));
    connect(buttons_[kStopButton], &QPushButton::clicked, this, &CKestravaDlg::OnStop);
    connect(buttons_[kOkButton], &QPushButton::clicked, this, &CKestravaDlg::OnOk);
    connect(buttons_[kSingleButton], &QPushButton::clicked, this, &CKestravaDlg::OnSingle);
    connect(buttons_[kForceTrigButton], &QPushButton::clicked, this, &CKestravaDlg::OnForceTrig);

    // Descrambling is shown by no display state; its single entry does nothing.
    auto* descramblingLabel = new QLabel(QStringLiteral("Descrambling"), strip);
    auto* descrambling = new QComboBox(strip);
    descrambling->addItem(QStringLiteral("Off"));
    descramblingLabel->hide();
    descrambling->hide();

    grid->addWidget(new QLabel(QStringLiteral("Data Source"), strip), 0, 0);
    grid->addWidget(dataSource_, 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Serial Standard"), strip), 0, 1);
    grid->addWidget(standard_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Sync Pattern"), strip), 0, 2, 1, 2);
    grid->addWidget(syncPattern_, 1, 2);
    grid->addWidget(syncEdit, 1, 3);
    grid->addWidget(syncEnable_, 2, 2, 1, 2);
    grid->addWidget(thresholds, 0, 4, 3, 1);
    grid->addWidget(decode, 0, 5, 3, 1);
    grid->addWidget(acquire, 0, 6, 3, 1);
    grid->addWidget(descramblingLabel, 0, 7);
    grid->addWidget(descrambling, 1, 7);
    grid->setColumnStretch(8, 1);
    return strip;
}

QWidget* CKestravaDlg::BuildMiddleRow() {
    middleRow_ = new QWidget(this);
    auto* row = new QHBoxLayout(middleRow_);
    row->setContentsMargins(0, 0, 0, 0);
    synchronizeGroup_ =
        new QGroupBox(QStringLiteral("Synchronize Oscilloscope with Character"), middleRow_);
    synchronizeGroup_->setMinimumWidth(
        synchronizeGroup_->fontMetrics().horizontalAdvance(synchronizeGroup_->title()) + 30);
    auto* syncRow = new QHBoxLayout(synchronizeGroup_);
    const std::pair<int, const char*> syncButtons[] = {
        {kZoom1Button, "Zoom 1"}, {kCursor1Button, "Cursor 1"}, {kCursor2Button, "Cursor 2"}};
    for (const auto& [id, caption] : syncButtons) {
        auto* button = new QPushButton(QString::fromLatin1(caption), synchronizeGroup_);
        buttons_[id] = button;
        syncRow->addWidget(button);
    }
    connect(buttons_[kZoom1Button], &QPushButton::clicked, this, &CKestravaDlg::OnZoom1);
    connect(buttons_[kCursor1Button], &QPushButton::clicked, this, [this] { OnCursor(1); });
    connect(buttons_[kCursor2Button], &QPushButton::clicked, this, [this] { OnCursor(2); });

    auto* statusColumn = new QVBoxLayout;
    statusLabel_ = new QLabel(QStringLiteral("Decode Status"), middleRow_);
    statusBox_ = new QPlainTextEdit(middleRow_);
    statusBox_->setReadOnly(true);
    statusBox_->setMinimumHeight(60);
    statusColumn->addWidget(statusLabel_);
    statusColumn->addWidget(statusBox_);
    row->addWidget(synchronizeGroup_, 0, Qt::AlignTop);
    row->addLayout(statusColumn, 1);
    return middleRow_;
}

void CKestravaDlg::ConnectFrame(WaveformFrame& frame) {
    frame.Graph()->draw = [this, &frame](ICanvas& canvas) {
        if (!presentation_) return;
        presentation_->DrawGraph(canvas);
        // The graph pulls a start beyond the end back; let the bar show where it went.
        frame.SetPosition(presentation_->view.start);
    };
    ConnectPointer(*frame.Graph());
    connect(frame.ScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { ScrollTo(static_cast<std::uint32_t>(std::max(0, value))); });
    connect(frame.ShowAllButton(), &QPushButton::clicked, this, &CKestravaDlg::ShowAll);
    connect(frame.InButton(), &QPushButton::clicked, this, &CKestravaDlg::ZoomIn);
    connect(frame.OutButton(), &QPushButton::clicked, this, &CKestravaDlg::ZoomOut);
    connect(frame.DwordButton(), &QPushButton::clicked, this, &CKestravaDlg::Dword);
    connect(frame.GoToTrigButton(), &QPushButton::clicked, this, &CKestravaDlg::GoToTrig);
}

// The pointer's sample, time and volts in the status bar; the wheel zooms around the
// pointer; a click selects the character under it.
void CKestravaDlg::ConnectPointer(GraphArea& graph) {
    graph.axis = [this, &graph]() -> std::optional<GraphSpan> {
        if (!presentation_) return std::nullopt;
        return GraphPointer(*presentation_, graph.Columns()).Span();
    };
    graph.pointed = [this, &graph](int column) {
        if (!presentation_) return;
        const GraphPointer pointer(*presentation_, graph.Columns());
        const std::optional<GraphPoint> point = pointer.At(column);
        const std::optional<GraphSpan> span = pointer.Span();
        pointerReadout_->setText(point ? PointText(*point, span && span->intervalSeconds > 0)
                                       : QString());
    };
    graph.wheeled = [this, &graph](int column, bool in) {
        Handle("Wheel", [&] {
            GraphPointer(*presentation_, graph.Columns()).ZoomAround(column, in);
            RedrawGraph();
        });
    };
    graph.clicked = [this, &graph](int column) {
        Handle("GraphClick",
               [&] { GraphPointer(*presentation_, graph.Columns()).SelectCharacter(column); });
    };
}

QString CKestravaDlg::PointText(const GraphPoint& point, bool timed) {
    QString text = QStringLiteral("Sample %1").arg(point.sample);
    if (timed) text += QStringLiteral("   ") + TimeText(point.seconds);
    return text + QStringLiteral("   %1 V").arg(point.volts, 0, 'f', 4);
}

void CKestravaDlg::InitDialog() {
    Handle("OnInitDialog", [&] {
        fullSize_ = size();
        const std::string install = Folders::InstallFolder();
        helpPath_ = Folders::Join(Folders::Join(install, "help"), "index.html");
        versionPath_ = Folders::Join(install, "version.txt");
        defaultSetupPath_ = Folders::Join(install, "default.ini");
        InitializeControls();

        CWindowUserInterface::Hooks hooks;
        hooks.invalidateGraph = [this] { RedrawGraph(); };
        hooks.setScrollBar = [this](std::uint32_t total, std::uint32_t page) {
            if (WaveformFrame* frame = VisibleFrame()) frame->SetRange(total, page);
        };
        hooks.statusChanged = [this] {
            statusBox_->setPlainText(QString::fromStdString(presentation_->StatusText()));
            statusBox_->verticalScrollBar()->setValue(statusBox_->verticalScrollBar()->maximum());
        };
        presentation_ = std::make_unique<CWindowUserInterface>(*charactersModel_, *protocolModel_,
                                                               std::move(hooks));
        presentation_->viewLayout = 0;

        for (int id : {kWordNames, kRecoveredSignal, kSamplePoints, kOriginalSignal})
            Action(id)->setChecked(true);
        Action(kGridAndLevels)->setChecked(false);
        Action(kAlwaysOnTop)->setChecked(false);
        Action(kPrimitives)->setChecked(true);
        presentation_->SetLockSampler(0);
        CopyMenuChecks();
        presentation_->SetdefaultOptions();

        // The selected standard's definition and user sync patterns, as a setup recall
        // would load them.
        if (standard_->currentIndex() >= 0) LoadStandard(standard_->currentIndex());
        RecallSetup(defaultSetupPath_);
        SetDisplayState(displayState_);
        RefreshThresholdFields();
        // The first keys go to the characters list, not to the instrument's source.
        charactersList_->setFocus();
    });
}

void CKestravaDlg::InitializeControls() {
    Handle("InitializeControls", [&] {
        ListStandards();
        dataSource_->setCurrentIndex(0);
        // Sata, whatever else is listed (StandardSelection::DefaultIndex).
        standard_->setCurrentIndex(standards_.DefaultIndex());
        if (standard_->currentIndex() >= 0)
            definitionPath_ =
                StandardSelection::DefinitionPath(standards_.Title(standard_->currentIndex()));
        StartUp();
    });
}

void CKestravaDlg::StartUp() {
    const std::string address = instrument_.Address();
    const QString shown = QString::fromStdString(address);
    const TriggerDefinition definition = TriggerDefinitionOf(TheMacros());
    Run(
        address.empty() ? QStringLiteral("Connecting")
                        : QStringLiteral("Connecting to %1").arg(shown),
        [this, definition] {
            instrument_.OpenConnection();
            instrument_.SetTriggerSourceChannel(0);
            instrument_.SelectDisplayChannel(0);
            instrument_.SendTriggerDefaults(definition);
            workerMaximumBitRate_ = instrument_.MaximumBitRate();
        },
        [this, shown](bool stopped) {
            maximumBitRate_ = workerMaximumBitRate_;
            if (shown.isEmpty() || stopped) return;
            if (!instrument_.Connected())
                SetOutcome(QStringLiteral("Could not connect to %1").arg(shown));
            else if (maximumBitRate_ > 0.0)
                SetOutcome(QStringLiteral("Connected to %1").arg(shown));
            else
                SetOutcome(QStringLiteral("No answer from %1").arg(shown));
        });
}

// An instrument without a trigger link has no trigger to set up.
void CKestravaDlg::PostTriggerDefaults() {
    const CMacros* macros = TheMacros();
    if (!macros || !instrument_.TriggerLink()) return;
    const double rate = DefinitionRate(*macros);
    const TriggerDefinition definition = TriggerDefinitionOf(macros);
    Run(QStringLiteral("Sending the trigger defaults"), [this, rate, definition] {
        if (!(rate <= workerMaximumBitRate_)) return;
        instrument_.OpenConnection();
        instrument_.SendTriggerDefaults(definition);
    });
}

void CKestravaDlg::PostTriggerCalls(DeferredTriggerLink& kept, std::optional<double> rate) {
    auto calls = kept.Take();
    if (calls.empty()) return;
    Run(QStringLiteral("Sending the trigger set-up"), [this, calls = std::move(calls), rate] {
        if (rate && !(*rate <= workerMaximumBitRate_)) return;
        if (ITriggerLink* link = instrument_.TriggerLink())
            DeferredTriggerLink::Replay(calls, *link);
    });
}

void CKestravaDlg::ListStandards() {
    standards_.Refresh();
    standard_->clear();
    for (const std::string& title : standards_.Titles())
        standard_->addItem(QString::fromStdString(title));
}

WaveformFrame* CKestravaDlg::VisibleFrame() const {
    if (displayState_ == 1) return lowerFrame_;
    if (displayState_ == 3) return upperFrame_;
    return nullptr;
}

void CKestravaDlg::RedrawGraph() {
    if (WaveformFrame* frame = VisibleFrame()) frame->Graph()->update();
}

void CKestravaDlg::CopyMenuChecks() {
    GraphView& view = presentation_->view;
    view.gridAndLevels = Action(kGridAndLevels)->isChecked();
    view.wordNames = Action(kWordNames)->isChecked();
    view.samplePoints = Action(kSamplePoints)->isChecked();
    view.recoveredSignal = Action(kRecoveredSignal)->isChecked();
    view.originalSignal = Action(kOriginalSignal)->isChecked();
    presentation_->SetInvert(Action(kInvert)->isChecked() ? 1 : 0);
}

// ---------------------------------------------------------------------------------------
// Files

void CKestravaDlg::LoadWaveformFile(const std::string& path) {
    Handle("OpenFile", [&] {
        settings_.AddRecentFile(QString::fromStdString(path));
        StartDecode(path);
    });
}

void CKestravaDlg::OpenFile() {
    Handle("OpenFile", [&] {
        FileDialog dialog(this, QStringLiteral("Open File"), waveformsFolder_,
                          QStringLiteral("Brennock waveform files (*.wfm);;"
                                         "Waveform files (*.wfm *.trc *.bin *.csv *.txt);;"
                                         "All files (*)"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QStringLiteral("wfm"));
        dialog.setOption(QFileDialog::ReadOnly);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        const std::string path = dialog.selectedFiles().first().toStdString();
        waveformsFolder_ = FileDialog::Rememberable(path);
        LoadWaveformFile(path);
    });
}

bool CKestravaDlg::SaveReport(const std::string& path) {
    bool saved = false;
    Handle("OnSave", [&] { saved = presentation_->SaveToFile(path); });
    return saved;
}

void CKestravaDlg::MergeReport(const std::string& path) {
    Handle("OnMerge", [&] { presentation_->MergeFile(path); });
}

void CKestravaDlg::OnSave() {
    Handle("OnSave", [&] {
        FileDialog dialog(this, QStringLiteral("Save As"), reportsFolder_,
                          QStringLiteral("ASCII Text file (*.txt);;All Files (*)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        dialog.setOption(QFileDialog::ReadOnly);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        const std::string path = dialog.selectedFiles().first().toStdString();
        // A folder that refused the report is no place to offer next time.
        if (SaveReport(path)) reportsFolder_ = FileDialog::Rememberable(path);
    });
}

// Asks where to export and hands the path on; the folder is remembered when it worked.
void CKestravaDlg::AskAndExport(const QString& caption, const QString& filter,
                                const QString& suffix,
                                const std::function<std::string(const std::string&)>& write) {
    FileDialog dialog(this, caption, reportsFolder_, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const std::string path = dialog.selectedFiles().first().toStdString();
    if (const std::string problem = write(path); !problem.empty()) {
        ShowMessageBox(caption.toStdString() + ": " + path + ": " + problem);
        return;
    }
    reportsFolder_ = FileDialog::Rememberable(path);
    SetOutcome(QStringLiteral("Exported %1").arg(FileNameOf(path)));
}

void CKestravaDlg::OnExportPicture() {
    Handle("ExportPicture", [&] {
        AskAndExport(QStringLiteral("Export Picture"),
                     QStringLiteral("PNG picture (*.png);;SVG drawing (*.svg)"),
                     QStringLiteral("png"),
                     [this](const std::string& path) { return ExportPicture(path); });
    });
}

void CKestravaDlg::OnExportList() {
    Handle("ExportList", [&] {
        AskAndExport(QStringLiteral("Export List"), QStringLiteral("Text file (*.txt)"),
                     QStringLiteral("txt"),
                     [this](const std::string& path) { return ExportList(path); });
    });
}

namespace {

// Empty when written, else why not.
std::string WriteWhole(const std::string& path, const std::string& text) {
    const FileReplacement::Outcome outcome = FileReplacement::Write(path, text);
    if (outcome.written) return {};
    return !outcome.refusal.empty() ? outcome.refusal : std::strerror(outcome.error);
}

}  // namespace

std::string CKestravaDlg::ExportPicture(const std::string& path) {
    GraphArea& graph = *VisibleFrame()->Graph();
    if (QString::fromStdString(path).endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        SvgCanvas canvas(graph.Columns(), graph.height() - 3);
        presentation_->DrawGraph(canvas);
        return WriteWhole(path, canvas.Document());
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!graph.grab().save(&buffer, "PNG")) return "the picture could not be made";
    return WriteWhole(path, png.toStdString());
}

std::string CKestravaDlg::ExportList(const std::string& path) {
    return WriteWhole(path, ReportFile::ListText(navigator_->LastUsedModel()));
}

// The report is replaced by the comparison: the user confirms it by its name first.
bool CKestravaDlg::ConfirmAndMerge(const std::string& path) {
    if (!askYesNo("Replace " + path + " with the comparison of its lines and the current decode?"))
        return false;
    MergeReport(path);
    return true;
}

void CKestravaDlg::OnMerge() {
    Handle("OnMerge", [&] {
        FileDialog dialog(this, QStringLiteral("Merge into Report"), reportsFolder_,
                          QStringLiteral("Existing SATA report file (*.txt);;All Files (*)"));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        dialog.setOption(QFileDialog::ReadOnly);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        ConfirmAndMerge(dialog.selectedFiles().first().toStdString());
    });
}

// ---------------------------------------------------------------------------------------
// Source, threshold, options

void CKestravaDlg::SelectSourceFromMenu(int source) {
    Handle("SelectSource", [&] {
        if (source < 0 || source >= dataSource_->count()) return;
        dataSource_->setCurrentIndex(source);
        presentation_->SetSource(source);
        RefreshThresholdFields();
    });
}

void CKestravaDlg::OnDataSourceChanged(int source) {
    Handle("OnSelchangeDataSource", [&] {
        if (source < 0) return;
        presentation_->SetSource(source);
        Run(QStringLiteral("Selecting %1").arg(SourceText(source)), [this, source] {
            instrument_.SetTriggerSourceChannel(source);
            instrument_.SelectDisplayChannel(source);
        });
    });
}

void CKestravaDlg::OnThreshold() {
    Handle("OnThreshold", [&] {
        CThresholdDlg dialog(this);
        dialog.percentMidRef = QString::fromStdString(presentation_->GetRefLevelP());
        dialog.percentHysteresis = QString::fromStdString(presentation_->GetHysterisisP());
        dialog.absoluteMidRef = QString::fromStdString(presentation_->GetRefLevelAbs());
        dialog.absoluteHysteresis = QString::fromStdString(presentation_->GetHysterisisAbs());
        dialog.unitMode = presentation_->GetIsAbsRefLevel() ? CThresholdDlg::kAbsolute
                                                            : CThresholdDlg::kPercentage;
        dialog.resetToPercentage = presentation_->GetIsAuto50Percent() != 0;
        dialog.maximumVolts = presentation_->GetSignalMax();
        dialog.minimumVolts = presentation_->GetSignalMin();
        if (dialog.exec() == QDialog::Accepted) ApplyThreshold(dialog);
        RefreshThresholdFields();
    });
}

void CKestravaDlg::ApplyThreshold(const CThresholdDlg& dialog) {
    Handle("OnThreshold", [&] {
        if (dialog.unitMode == CThresholdDlg::kAbsolute) {
            presentation_->SetIsAbsRefLevel(1);
            presentation_->SetRefLevelAbs(dialog.absoluteMidRef.toStdString());
            presentation_->SetHysterisisAbs(dialog.absoluteHysteresis.toStdString());
            presentation_->SetIsAuto50Percent(dialog.resetToPercentage ? 1 : 0);
        } else {
            presentation_->SetIsAbsRefLevel(0);
            presentation_->SetRefLevelP(dialog.percentMidRef.toStdString());
            presentation_->SetHysterisisP(dialog.percentHysteresis.toStdString());
        }
        RefreshThresholdFields();
        UpdateOutOfDate();
    });
}

void CKestravaDlg::RefreshThresholdFields() {
    Handle("RefreshThresholdFields", [&] {
        if (presentation_->GetIsAbsRefLevel()) {
            midRef_->setText(QString::fromStdString(presentation_->GetRefLevelAbs()) +
                             QStringLiteral(" Volt"));
            hysteresis_->setText(QString::fromStdString(presentation_->GetHysterisisAbs()) +
                                 QStringLiteral(" Volt"));
        } else {
            midRef_->setText(QString::fromStdString(presentation_->GetRefLevelP()) +
                             QStringLiteral(" %"));
            hysteresis_->setText(QString::fromStdString(presentation_->GetHysterisisP()) +
                                 QStringLiteral(" %"));
        }
        const bool enabled = presentation_->GetSyncPatternEnabled();
        syncEnable_->setChecked(enabled);
        syncPattern_->setEnabled(enabled);
        buttons_[kSyncEditButton]->setEnabled(enabled);
    });
}

void CKestravaDlg::OnThresholdFieldEdited() {
    Handle("OnKillfocusThreshold", [&] {
        // The fields show percentages with " %"; volts are set through the dialog only.
        const QString suffix = QStringLiteral(" %");
        const QString midRef = midRef_->text();
        const QString hysteresis = hysteresis_->text();
        if (midRef.endsWith(suffix))
            presentation_->SetRefLevelP(midRef.chopped(suffix.size()).toStdString());
        if (hysteresis.endsWith(suffix))
            presentation_->SetHysterisisP(hysteresis.chopped(suffix.size()).toStdString());
        UpdateOutOfDate();
    });
}

void CKestravaDlg::OnInvert() {
    Handle("OnInvert", [&] {
        ApplyOptions();
        charactersModel_->Flush();
        protocolModel_->Flush();
        RedrawGraph();
    });
}

void CKestravaDlg::OnDisplayFlagToggled() {
    Handle("OnDisplayOption", [&] {
        ApplyOptions();
        RedrawGraph();
    });
}

void CKestravaDlg::ApplyOptions() {
    CopyMenuChecks();
    if (presentation_->DecodeOptionsChanged() && presentation_->Decoder().IsValid()) {
        StartDecode("");
        RedrawGraph();
    } else {
        presentation_->UpdateOptions();
    }
    UpdateOutOfDate();
}

void CKestravaDlg::SetDataFilter(int filter) {
    Handle("OnDataFilter", [&] {
        // Frames: one verdict per frame (CRC, length, how it ended).
        const int applied = filter >= kFisList && filter <= kFramesList ? filter : kPrimitivesList;
        Action(kPrimitives)->setChecked(applied == kPrimitivesList);
        Action(kFis)->setChecked(applied == kFisList);
        Action(kAtapi)->setChecked(applied == kAtapiList);
        Action(kFrames)->setChecked(applied == kFramesList);
        presentation_->highLevelKind = applied;
        presentation_->PopulateHighLevalList();
        protocolModel_->Flush();
        update();
    });
}

void CKestravaDlg::OnAlwaysOnTop(bool on) {
    Handle("OnAlwaysOnTop", [&] {
        Action(kAlwaysOnTop)->setChecked(on);
        setWindowFlag(Qt::WindowStaysOnTopHint, on);
        show();
    });
}

// The height the waveform frames (with their splitter handles) and the separator above the
// lists take now: what the Protocol view gives up.
int CKestravaDlg::FramesHeight() const {
    int height =
        separator_->isVisible() ? separator_->height() + centralWidget()->layout()->spacing() : 0;
    for (QWidget* frame : {static_cast<QWidget*>(upperFrame_), static_cast<QWidget*>(lowerFrame_)})
        if (frame->isVisible()) height += frame->height() + mainSplitter_->handleWidth();
    return height;
}

void CKestravaDlg::SetDisplayState(int state) {
    Handle("ShowFrame", [&] {
        if (state < 0 || state > 3) return;
        for (int id : {kViewAll, kViewProtocol, kViewWaveform, kViewNone})
            Action(id)->setChecked(false);
        displayState_ = state;
        presentation_->viewLayout = state;
        // The room the frames took, for the window to give up with them.
        const int framesHeight = FramesHeight();
        const bool lists = state == 1 || state == 2;
        separator_->setVisible(state == 1);
        listSplitter_->setVisible(lists);
        middleRow_->setVisible(lists);
        lowerFrame_->setVisible(state == 1);
        upperFrame_->setVisible(state == 3);
        mainSplitter_->setVisible(state != 0);
        if (state == 1) {
            resize(width(), fullSize_.height());
        } else {
            centralWidget()->layout()->activate();
            layout()->activate();
            // None: the bottom of the top strip. Protocol: the lists keep their height and
            // the window ends below them. Waveform: as the frame wants it.
            const int height = state == 0                       ? minimumSizeHint().height()
                               : state == 2 && framesHeight > 0 ? this->height() - framesHeight
                                                                : sizeHint().height();
            resize(width(), std::max(height, minimumSizeHint().height()));
        }
        const int checked[] = {kViewNone, kViewAll, kViewProtocol, kViewWaveform};
        Action(checked[state])->setChecked(true);
        if (state == 1 || state == 3) {
            presentation_->SetSCrollRange();
            VisibleFrame()->SetPosition(presentation_->view.start);
            RedrawGraph();
        }
    });
}

// ---------------------------------------------------------------------------------------
// Instrument buttons

void CKestravaDlg::OnOk() {
    Handle("OnOK", [&] {
        if (DecodeRunning()) return;
        // A file's record is decoded again from the file; the instrument's is fetched again.
        if (!heldFile_.empty()) {
            StartDecode(heldFile_);
            return;
        }
        Acquire(kAcquireHeldRecord, true);
    });
}

void CKestravaDlg::OnSingle() {
    Handle("OnSingle", [&] {
        QPushButton& single = *buttons_[kSingleButton];
        ColourButton(single, Qt::black, kRunningGreen);
        Acquire(kAcquireSingleSequence, false,
                [this] { ColourButton(*buttons_[kSingleButton], Qt::white, kButtonBlue); });
    });
}

void CKestravaDlg::OnForceTrig() {
    Handle("OnForceTrig", [&] { Acquire(kAcquireForcedTrigger, false); });
}

// The acquisition mode is the program's, read by the acquisition: it is set on the worker,
// just before the acquisition that reads it.
void CKestravaDlg::Acquire(int mode, bool thenSingleSequence, std::function<void()> after) {
    JobQueue& jobs = *jobs_;
    auto away = std::make_shared<CSataUserInterface::AwayDecode>(
        *presentation_, [&jobs] { return jobs.Stopping(); });
    const QString source = SourceText(presentation_->GetSource());
    transferSource_ = source;
    Run(
        QStringLiteral("Acquiring %1").arg(source),
        [this, away, mode, thenSingleSequence] {
            SetAcquisitionMode(mode);
            instrument_.LoadWaveformFromOsc(*away);
            if (thenSingleSequence) SetAcquisitionMode(kAcquireSingleSequence);
        },
        [this, away, source, after = std::move(after)](bool stopped) {
            Handle("OnAcquired", [&] {
                if (!stopped && away->Made() && !away->Stopped()) ShowAcquired(*away, source);
            });
            if (after) after();
        });
}

void CKestravaDlg::ShowAcquired(CSataUserInterface::AwayDecode& away, const QString& source) {
    presentation_->Present(away);
    charactersModel_->Flush();
    protocolModel_->Flush();
    RedrawGraph();
    RefreshThresholdFields();
    heldFile_.clear();
    shownSettings_ = DecodeSettings::Of(*presentation_, definitionPath_);
    const CSataWordDecoder* words = presentation_->Decoder().WordDecoder();
    if (presentation_->Decoder().IsValid() && words) {
        SetOutcome(
            QStringLiteral("Acquired %1: %2 characters").arg(source).arg(words->WordCount()));
        return;
    }
    const std::string problem = WdmGetInstrumentProblem();
    SetOutcome(
        problem.empty()
            ? QStringLiteral("No record from %1").arg(source)
            : QStringLiteral("No record from %1: %2").arg(source, QString::fromStdString(problem)));
}

void CKestravaDlg::OnCursor(int which) {
    Handle(which == 1 ? "OnCursor1" : "OnCursor2", [&] {
        const int source = dataSource_->currentIndex();
        const std::uint32_t position = presentation_->view.start;
        Run(QStringLiteral("Moving cursor %1").arg(which), [this, which, source, position] {
            instrument_.SetCursorPosition(*presentation_, which, source, position);
        });
    });
}

void CKestravaDlg::OnZoom1() {
    Handle("OnZoom1", [&] {
        const int display = dataSource_->currentIndex();
        const GraphView at = presentation_->view;
        Run(QStringLiteral("Zooming the instrument's display"),
            [this, display, at] { instrument_.Zoom1(*presentation_, display, at); });
    });
}

// ---------------------------------------------------------------------------------------
// Decode jobs and the status line

QWidget* CKestravaDlg::BuildStatusLine() {
    auto* line = new QWidget(this);
    auto* row = new QHBoxLayout(line);
    row->setContentsMargins(4, 0, 4, 0);
    statusLine_ = new QLabel(QStringLiteral("Ready"), line);
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    progress_ = new QProgressBar(line);
    progress_->setRange(0, 0);  // the stages do not report progress: a busy indicator
    progress_->setTextVisible(false);
    progress_->setFixedSize(120, 12);
    progress_->hide();
    row->addWidget(statusLine_, 1);
    row->addWidget(progress_);
    ticker_ = new QTimer(this);
    ticker_->setInterval(250);
    connect(ticker_, &QTimer::timeout, this, &CKestravaDlg::ShowElapsed);
    return line;
}

bool CKestravaDlg::DecodeRunning() const {
    return jobs_ && jobs_->Running();
}

void CKestravaDlg::Run(const QString& label, std::function<void()> work,
                       std::function<void(bool stopped)> done) {
    SetJobControls(false);
    // A job that starts at once is shown at once; a waiting one when it starts.
    if (!jobs_->Working()) {
        jobLabel_ = label;
        elapsed_.start();
        ShowElapsed();
    }
    progress_->show();
    ticker_->start();
    jobs_->Post(label, std::move(work), std::move(done));
}

void CKestravaDlg::OnJobStarted(const QString& label) {
    jobLabel_ = label;
    elapsed_.start();
    ShowElapsed();
}

void CKestravaDlg::OnJobsIdle() {
    Handle("OnJobsIdle", [&] {
        ticker_->stop();
        progress_->hide();
        SetJobControls(true);
        UpdateOutOfDate();
    });
    emit decodeEnded();
}

void CKestravaDlg::StartDecode(const std::string& path) {
    JobQueue& jobs = *jobs_;
    auto away = std::make_shared<CSataUserInterface::AwayDecode>(
        *presentation_, [&jobs] { return jobs.Stopping(); });
    const std::string& title = presentation_->WaveformTitle();
    const QString name = !path.empty()                         ? FileNameOf(path)
                         : heldFile_.empty() && !title.empty() ? QString::fromStdString(title)
                                                               : FileNameOf(heldFile_);
    Run(
        QStringLiteral("Decoding %1").arg(name),
        [away, path] {
            if (path.empty())
                away->Redecode();
            else
                away->LoadFile(path);
        },
        [this, away, path, name](bool stopped) {
            // A stopped decode was told of when it was stopped; its result is dropped.
            if (stopped || away->Stopped()) return;
            Handle("OnDecodeFinished", [&] { ShowDecoded(*away, path, name); });
        });
}

void CKestravaDlg::ShowDecoded(CSataUserInterface::AwayDecode& away, const std::string& path,
                               const QString& name) {
    presentation_->Present(away);
    charactersModel_->Flush();
    protocolModel_->Flush();
    RedrawGraph();
    RefreshThresholdFields();
    if (!path.empty()) heldFile_ = path;
    shownSettings_ = DecodeSettings::Of(*presentation_, definitionPath_);
    const CSataWordDecoder* words = presentation_->Decoder().WordDecoder();
    if (presentation_->Decoder().IsValid() && words)
        SetOutcome(QStringLiteral("Decoded %1: %2 characters").arg(name).arg(words->WordCount()));
    else
        SetOutcome(QStringLiteral("Could not decode %1: %2")
                       .arg(name, LastLine(presentation_->StatusText())));
}

// The instrument's progress where it reports one, else the job and how long it has run.
void CKestravaDlg::ShowElapsed() {
    const qint64 seconds = elapsed_.elapsed() / 1000;
    const InstrumentProgress now = CurrentInstrumentProgress();
    if (now.activity == InstrumentActivity::kTransferring && now.total > 0) {
        constexpr std::int64_t kMegabyte = 1000000;
        const auto done = static_cast<int>(now.done / kMegabyte);
        const auto total = static_cast<int>((now.total + kMegabyte - 1) / kMegabyte);
        progress_->setRange(0, std::max(total, 1));
        progress_->setValue(std::min(done, total));
        statusLine_->setText(QStringLiteral("Transferring %1: %2 of %3 MB")
                                 .arg(transferSource_)
                                 .arg(done)
                                 .arg(total));
        return;
    }
    progress_->setRange(0, 0);  // no total known: a busy indicator
    if (now.activity == InstrumentActivity::kWaitingForTrigger)
        statusLine_->setText(QStringLiteral("Waiting for trigger\u2026 %1 s").arg(seconds));
    else
        statusLine_->setText(QStringLiteral("%1\u2026 %2 s").arg(jobLabel_).arg(seconds));
}

// A decode stage cannot be left halfway: the one running ends in the background and its
// result is dropped. The instrument's waits and transfer end at their next step, as their
// failure paths end them. The earlier decode stays shown; the controls come back when the
// worker is free, as it still uses the definition and the waveform data module.
void CKestravaDlg::OnStop() {
    Handle("OnStop", [&] {
        if (!DecodeRunning() || jobs_->Stopping()) return;
        const QString label = jobs_->Label();
        if (!jobs_->Stop()) return;
        ticker_->stop();
        progress_->hide();
        buttons_[kStopButton]->setEnabled(false);
        presentation_->DisplayMessage(StopNote(label), kShow);
        SetOutcome(QStringLiteral("%1 stopped").arg(label));
    });
}

void CKestravaDlg::WaitForDecode() {
    jobs_->Wait();
}

namespace {

// The first local file among the dragged items; empty when there is none.
QString DroppedFile(const QMimeData* data) {
    if (!data) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

}  // namespace

// Waveform files dropped on the window are opened as Source > File... opens them.
void CKestravaDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CKestravaDlg::dropEvent(QDropEvent* event) {
    if (OpenDropped(event->mimeData())) event->acceptProposedAction();
}

bool CKestravaDlg::OpenDropped(const QMimeData* data) {
    const QString path = DroppedFile(data);
    if (path.isEmpty()) return false;
    LoadWaveformFile(path.toStdString());
    return true;
}

void CKestravaDlg::closeEvent(QCloseEvent* event) {
    settings_.SaveLayout(*this, {mainSplitter_, listSplitter_});
    // A stopped job ends within a second (a decode stage at its end); the window closes
    // once the worker is free.
    if (DecodeRunning()) {
        OnStop();
        jobs_->Wait();
    }
    QMainWindow::closeEvent(event);
}

void CKestravaDlg::SetOutcome(const QString& text) {
    outcome_ = text;
    statusLine_->setText(text);
}

void CKestravaDlg::UpdateOutOfDate() {
    outOfDate_ = shownSettings_ && presentation_ &&
                 DecodeSettings::Of(*presentation_, definitionPath_) != *shownSettings_;
    const std::string& shown = presentation_ ? presentation_->WaveformTitle() : std::string();
    const QString title =
        shown.empty() ? kTitle : kTitle + QStringLiteral(" - ") + FileNameOf(shown);
    setWindowTitle(outOfDate_ ? title + QStringLiteral(" \u2014 lists out of date") : title);
    if (DecodeRunning()) return;
    statusLine_->setText(outOfDate_
                             ? QStringLiteral("Lists out of date: press OK (F5) to decode again")
                         : outcome_.isEmpty() ? QStringLiteral("Ready")
                                              : outcome_);
}

// While a job runs nothing may start another, change the definition, the options the job
// copied or the instrument's state the waveform data module shares.
void CKestravaDlg::SetJobControls(bool idle) {
    for (int id : {kOkButton, kSingleButton, kForceTrigButton}) buttons_[id]->setEnabled(idle);
    // The instrument's zoom and cursors follow the instrument's record, not a file's.
    for (int id : {kZoom1Button, kCursor1Button, kCursor2Button})
        buttons_[id]->setEnabled(idle && heldFile_.empty());
    buttons_[kStopButton]->setEnabled(!idle);
    for (const auto& [id, action] : actions_) {
        const bool source = id >= kCh1 && id <= kRef4;
        if (source || id == kSourceFile || id == kThreshold || id == kInvert ||
            id == kTriggerSetup || id == kRecallDefaultSetup || id == kRecallSetup)
            action->setEnabled(idle);
    }
    dataSource_->setEnabled(idle);
    standard_->setEnabled(idle);
    syncEnable_->setEnabled(idle);
    const bool sync = idle && presentation_->GetSyncPatternEnabled();
    syncPattern_->setEnabled(sync);
    buttons_[kSyncEditButton]->setEnabled(sync);
}

// ---------------------------------------------------------------------------------------
// Zoom, scrolling and the links between the lists and the graph

void CKestravaDlg::ShowAll() {
    Handle("ShowAll", [&] {
        presentation_->ZoomALl();
        RedrawGraph();
    });
}

void CKestravaDlg::ZoomIn() {
    Handle("ZoomIn", [&] {
        presentation_->ZoomIn();
        RedrawGraph();
    });
}

void CKestravaDlg::ZoomOut() {
    Handle("ZoomOut", [&] {
        presentation_->ZoomOut();
        RedrawGraph();
    });
}

void CKestravaDlg::Dword() {
    Handle("Dword", [&] {
        presentation_->ZoomNorm();
        RedrawGraph();
    });
}

void CKestravaDlg::ScrollTo(std::uint32_t position) {
    Handle("OnHScroll", [&] {
        presentation_->view.start = position;
        if (WaveformFrame* frame = VisibleFrame()) frame->SetPosition(position);
        RedrawGraph();
    });
}

void CKestravaDlg::GoToTrig() {
    Handle("GoToTrig", [&] {
        const std::uint32_t length = presentation_->RecordLength();
        if (length == 0) return;
        const std::uint32_t width = presentation_->view.width;
        const double centre =
            length * static_cast<double>(presentation_->GetHorizontalPosition()) * 0.01 -
            static_cast<double>(width / 2);
        const auto position = static_cast<std::uint32_t>(std::max(0.0, centre));
        presentation_->view.start = position;
        const std::int64_t word = presentation_->WordAtSample(position);
        if (word >= 0 && position - word <= width / 2) {
            for (int line = 0; line < charactersModel_->Count(); ++line) {
                if (charactersModel_->Data(line) != word) continue;
                charactersModel_->Select(line);
                OnCharacterSelected(line);
                return;
            }
        }
        ScrollTo(position);
    });
}

void CKestravaDlg::OnCharacterSelected(int line) {
    Handle("OnSelchangeList", [&] {
        charactersModel_->SetSelectedFromView(line);
        const ItemData position = charactersModel_->Data(line);
        if (line < 0 || position == -1) return;
        ScrollTo(static_cast<std::uint32_t>(position));
    });
}

void CKestravaDlg::OnProtocolSelected(int line) {
    Handle("OnSelchangeHighLevel", [&] {
        protocolModel_->SetSelectedFromView(line);
        if (line < 0) return;
        presentation_->FindLine();
        const int selected = charactersModel_->Selected();
        if (selected >= 0) OnCharacterSelected(selected);
    });
}

void CKestravaDlg::FollowSelection(QListView& view, int line) {
    followingSelection_ = true;
    if (line < 0) {
        view.clearSelection();
    } else {
        const QModelIndex index = view.model()->index(line, 0);
        view.setCurrentIndex(index);
        view.scrollTo(index, QAbstractItemView::PositionAtCenter);
    }
    followingSelection_ = false;
}

// ---------------------------------------------------------------------------------------
// Serial standard and sync pattern

void CKestravaDlg::LoadStandard(int index) {
    Handle("OnSelchangeStandard", [&] {
        const std::string title = standards_.Title(index);
        if (title.empty()) return;
        definitionPath_ = StandardSelection::DefinitionPath(title);

        syncPattern_->clear();
        presentation_->SetSyncPattern("");
        const std::vector<std::string> patterns = StandardSelection::UserPatterns(title);
        if (!patterns.empty()) presentation_->SetSyncPattern(patterns.front());
        // The file's first pattern is the one chosen; the list shows them sorted.
        QStringList sorted;
        for (const std::string& pattern : patterns) sorted << QString::fromStdString(pattern);
        sorted.sort();
        syncPattern_->addItems(sorted);
        SelectExact(*syncPattern_, QString::fromStdString(presentation_->GetSyncPattern()));

        WaitCursor wait;
        // Whether the defaults go out is decided on the worker, where the probe's answer is.
        StandardSelection::LoadDefinition(title, maximumBitRate_);
        PostTriggerDefaults();
        UpdateOutOfDate();
    });
}

// ---------------------------------------------------------------------------------------
// Setup files and the trigger set-up

bool CKestravaDlg::CheckSetupFolder() {
    std::error_code error;
    const std::filesystem::path folder(setupFolder_);
    if (std::filesystem::exists(folder, error) && !std::filesystem::is_directory(folder, error))
        std::filesystem::remove(folder, error);
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

bool CKestravaDlg::SaveSetup(const std::string& path) {
    bool saved = false;
    Handle("OnSaveSetup", [&] {
        CheckSetupFolder();
        saved = SaveSetting(path, *presentation_, *this);
    });
    return saved;
}

// The recall's instrument commands go to the worker in the order the recall makes them;
// a changed invert or lock-sampler option decodes again in a job.
bool CKestravaDlg::RecallSetup(const std::string& path) {
    bool recalled = false;
    Handle("OnRecallSetup", [&] {
        CheckSetupFolder();
        DeferredTriggerLink kept;
        recallLink_ = instrument_.TriggerLink() ? &kept : nullptr;
        presentation_->SetDecodeInPlace(false);
        recalled = RecallSetting(path, *presentation_, *this);
        presentation_->SetDecodeInPlace(true);
        recallLink_ = nullptr;
        const CMacros* macros = TheMacros();
        PostTriggerCalls(
            kept, macros ? DefinitionRate(*macros) : std::numeric_limits<double>::infinity());
        if (presentation_->DecodeOptionsChanged()) {
            if (presentation_->Decoder().IsValid())
                StartDecode("");
            else
                presentation_->UpdateOptions();
        }
        charactersModel_->Flush();
        protocolModel_->Flush();
        RedrawGraph();
        UpdateOutOfDate();
    });
    return recalled;
}

void CKestravaDlg::RecallDefaultSetup() {
    Handle("OnRecallDefaultSetup", [&] {
        RefreshThresholdFields();
        RecallSetup(defaultSetupPath_);
    });
}

void CKestravaDlg::OnSaveSetup() {
    Handle("OnSaveSetup", [&] {
        CheckSetupFolder();
        if (lastSavePath_.empty()) lastSavePath_ = setupFolder_;
        FileDialog dialog(this, QStringLiteral("File Save"), lastSavePath_,
                          QStringLiteral("Setting Files (*.ini)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("ini"));
        OnThresholdFieldEdited();
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        lastSavePath_ = dialog.selectedFiles().first().toStdString();
        RefreshThresholdFields();
        SaveSetup(lastSavePath_);
    });
}

void CKestravaDlg::OnRecallSetup() {
    Handle("OnRecallSetup", [&] {
        CheckSetupFolder();
        if (lastRecallPath_.empty()) lastRecallPath_ = setupFolder_;
        FileDialog dialog(this, QStringLiteral("File Recall"), lastRecallPath_,
                          QStringLiteral("Setting Files (*.ini)"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QStringLiteral("ini"));
        OnThresholdFieldEdited();
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        lastRecallPath_ = dialog.selectedFiles().first().toStdString();
        RefreshThresholdFields();
        RecallSetup(lastRecallPath_);
    });
}

void CKestravaDlg::OnTriggerSetup() {
    Handle("OnSetup", [&] {
        DeferredTriggerLink kept;
        CTriggerSetupDlg dialog(instrument_.TriggerLink() ? &kept : nullptr, DataSourceText(),
                                maximumBitRate_, this);
        dialog.exec();
        PostTriggerCalls(kept, std::nullopt);
    });
}

int CKestravaDlg::DataSourceIndex() const {
    return dataSource_->currentIndex();
}
int CKestravaDlg::SerialStandardIndex() const {
    return standard_->currentIndex();
}
int CKestravaDlg::AlwaysOnTop() const {
    return Action(kAlwaysOnTop)->isChecked() ? 1 : 0;
}
int CKestravaDlg::SyncEnableFlag() const {
    return syncEnable_->isChecked() ? 1 : 0;
}
void CKestravaDlg::RedrawWaveform() {
    charactersModel_->Flush();
    protocolModel_->Flush();
    RedrawGraph();
}

void CKestravaDlg::SelectDataSource(int index) {
    if (index < 0 || index >= dataSource_->count()) return;
    dataSource_->setCurrentIndex(index);
    OnDataSourceChanged(index);
}

void CKestravaDlg::SelectSerialStandard(int index) {
    if (index < 0 || index >= standard_->count()) return;
    standard_->setCurrentIndex(index);
    LoadStandard(index);
}

std::vector<std::string> CKestravaDlg::SyncPatternEntries() const {
    std::vector<std::string> entries;
    for (int i = 0; i < syncPattern_->count(); ++i)
        entries.push_back(syncPattern_->itemText(i).toStdString());
    return entries;
}

void CKestravaDlg::AddSyncPatternEntry(const std::string& text) {
    syncPattern_->addItem(QString::fromStdString(text));
}
void CKestravaDlg::SelectSyncPatternEntry(int index) {
    syncPattern_->setCurrentIndex(index);
}
void CKestravaDlg::SetSyncEnableFlag(int flag) {
    syncEnable_->setChecked(flag != 0);
}
// Setup recall is the one caller: the sequence is kept, to be sent on the worker.
ITriggerLink* CKestravaDlg::TriggerLink() {
    return recallLink_;
}
std::string CKestravaDlg::DataSourceText() const {
    return std::string(SourceName(dataSource_->currentIndex()));
}
// While a setup is recalled, its trigger sequence is kept whatever its rate: the worker
// compares the rate with the instrument's maximum before sending it.
double CKestravaDlg::MaximumBitRate() const {
    return recallLink_ ? std::numeric_limits<double>::infinity() : maximumBitRate_;
}

void CKestravaDlg::SetWaitCursor(bool on) {
    if (on)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QApplication::restoreOverrideCursor();
}

void CKestravaDlg::SetAlwaysOnTop(bool on) {
    Action(kAlwaysOnTop)->setChecked(on);
    // Changing the flag hides the window; only a shown one is shown again.
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on) return;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) show();
}

void CKestravaDlg::SetCheckMarks() {
    const GraphView& view = presentation_->view;
    Action(kWordNames)->setChecked(view.wordNames);
    Action(kSamplePoints)->setChecked(view.samplePoints);
    Action(kRecoveredSignal)->setChecked(view.recoveredSignal);
    Action(kOriginalSignal)->setChecked(view.originalSignal);
    Action(kGridAndLevels)->setChecked(view.gridAndLevels);
    Action(kInvert)->setChecked(presentation_->GetInvert() == 1);
}

void CKestravaDlg::OnSyncPatternChanged(int index) {
    Handle("OnSelchangeSyncPattern", [&] {
        if (index >= 0) presentation_->SetSyncPattern(syncPattern_->itemText(index).toStdString());
        UpdateOutOfDate();
    });
}

void CKestravaDlg::OnSyncEnable(bool on) {
    Handle("OnEnableSync", [&] {
        syncEnable_->setChecked(on);
        presentation_->SetSyncPatternEnabled(on);
        syncPattern_->setEnabled(on);
        buttons_[kSyncEditButton]->setEnabled(on);
        if (on && syncPattern_->currentIndex() >= 0)
            presentation_->SetSyncPattern(syncPattern_->currentText().toStdString());
        UpdateOutOfDate();
    });
}

void CKestravaDlg::OnEditSyncPattern() {
    Handle("OnEditSyncPattern", [&] {
        CSyncPatternDlg dialog(QString::fromStdString(presentation_->GetSyncPattern()), this);
        if (dialog.exec() == QDialog::Accepted) SetSyncPatternFromEditor(dialog.pattern);
    });
}

void CKestravaDlg::SetSyncPatternFromEditor(const QString& pattern) {
    Handle("OnEditSyncPattern", [&] {
        if (syncPattern_->findText(pattern, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
            syncPattern_->addItem(pattern);
            syncPattern_->model()->sort(0);
        }
        SelectExact(*syncPattern_, pattern);
        presentation_->SetSyncPattern(pattern.toStdString());
        UpdateOutOfDate();
    });
}

// ---------------------------------------------------------------------------------------
// Help

void CKestravaDlg::OnHelp() {
    Handle("OnHelpTopics", [&] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(helpPath_)));
    });
}

void CKestravaDlg::OnAbout() {
    Handle("OnAbout", [&] {
        CAboutDlg dialog(versionPath_, this);
        dialog.exec();
    });
}

}  // namespace kestrava
