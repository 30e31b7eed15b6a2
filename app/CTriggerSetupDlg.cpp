#include "app/CTriggerSetupDlg.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/CCharacterEntryDlg.h"
#include "app/ColourScheme.h"
#include "base/Guard.h"
#include "base/MessageBox.h"
#include "definition/CMacros.h"

namespace kestrava {
namespace {

constexpr const char* kSource = "CTriggerSetupDlg";

// A program without an instrument: nothing connects, so every sequence sends nothing.
class NoInstrumentLink final : public ITriggerLink {
  public:
    int OpenConnection() override { return 0; }
    int CloseConnection(bool) override { return 1; }
    int Write(const std::string&) override { return 0; }
    int Read(std::string& reply) override {
        reply.clear();
        return 0;
    }
};

ITriggerLink& LinkOrNone(ITriggerLink* link, std::unique_ptr<ITriggerLink>& own) {
    if (link) return *link;
    own = std::make_unique<NoInstrumentLink>();
    return *own;
}

QComboBox* MakeList(QWidget* parent, std::initializer_list<const char*> entries) {
    auto* list = new QComboBox(parent);
    for (const char* e : entries) list->addItem(QString::fromLatin1(e));
    return list;
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

CTriggerSetupDlg::CTriggerSetupDlg(ITriggerLink* link, const std::string& sourceText,
                                   double maximumBitRate, QWidget* parent, TriggerSetup& record)
    : QDialog(parent),
      link_(LinkOrNone(link, ownLink_)),
      editor_(link_, sourceText),
      record_(record),
      maximumBitRate_(maximumBitRate) {
    runCharacterEntry = [](CCharacterEntryDlg& dialog) { dialog.exec(); };
    setWindowTitle(QStringLiteral("Trigger Setup"));
    ApplyColourScheme(*this);
    Build();
    Guard(kSource, "OnInitDialog", [&] { Restore(); });
}

CTriggerSetupDlg::~CTriggerSetupDlg() = default;

int CTriggerSetupDlg::exec() {
    if (closedAtOnce_) return QDialog::Rejected;
    return QDialog::exec();
}

void CTriggerSetupDlg::Register(int id, QWidget* widget) {
    controls_[id] = widget;
}

QWidget* CTriggerSetupDlg::Control(int id) const {
    auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

QPushButton* CTriggerSetupDlg::Key(const QString& caption, bool hex) const {
    const auto& keys = hex ? hexKeys_ : binaryKeys_;
    auto found = keys.find(caption);
    return found == keys.end() ? nullptr : found->second;
}

void CTriggerSetupDlg::Build() {
    auto* grid = new QGridLayout(this);

    triggerOn_ = MakeList(
        this, {kTriggerOnTexts[0], kTriggerOnTexts[1], kTriggerOnTexts[2], kTriggerOnTexts[3]});
    pattern_ = MakeList(this, {kDisparityTexts[0], kDisparityTexts[1], kDisparityTexts[2]});
    format_ = MakeList(this, {kFormatTexts[0], kFormatTexts[1]});
    word_ = new QComboBox(this);
    wordLabel_ = new QLabel(QStringLiteral("8b/10b Word"), this);
    patternLabel_ = new QLabel(QStringLiteral("Pattern"), this);
    formatLabel_ = new QLabel(QStringLiteral("Format"), this);
    Register(kTriggerOn, triggerOn_);
    Register(kWordList, word_);
    Register(kPatternList, pattern_);
    Register(kFormatList, format_);
    grid->addWidget(new QLabel(QStringLiteral("Trigger On"), this), 0, 0);
    grid->addWidget(triggerOn_, 1, 0);
    grid->addWidget(wordLabel_, 0, 1);
    grid->addWidget(word_, 1, 1);
    grid->addWidget(patternLabel_, 0, 2);
    grid->addWidget(pattern_, 1, 2);
    grid->addWidget(formatLabel_, 0, 3);
    grid->addWidget(format_, 1, 3);
    connect(triggerOn_, &QComboBox::activated, this, &CTriggerSetupDlg::SelectTriggerOn);
    connect(word_, &QComboBox::activated, this, &CTriggerSetupDlg::SelectWord);
    connect(pattern_, &QComboBox::activated, this, &CTriggerSetupDlg::SelectPattern);
    connect(format_, &QComboBox::activated, this, &CTriggerSetupDlg::SelectFormat);

    // The radios are cleared and set by the dialog itself, so none is auto-exclusive.
    auto radio = [this](int id, const QString& caption, QWidget* parent,
                        void (CTriggerSetupDlg::*slot)(int)) {
        auto* button = new QRadioButton(caption, parent);
        button->setAutoExclusive(false);
        Register(id, button);
        connect(button, &QRadioButton::clicked, this, [this, id, slot] { (this->*slot)(id); });
        return button;
    };
    editGroup_ = new QGroupBox(QStringLiteral("Edit"), this);
    auto* editColumn = new QVBoxLayout(editGroup_);
    wordRadio_ =
        radio(kWordRadio, QStringLiteral("Word"), editGroup_, &CTriggerSetupDlg::SelectEditMode);
    characterRadio_ = radio(kCharacterRadio, QStringLiteral("Character"), editGroup_,
                            &CTriggerSetupDlg::SelectEditMode);
    bitRadio_ =
        radio(kBitRadio, QStringLiteral("Bit"), editGroup_, &CTriggerSetupDlg::SelectEditMode);
    for (QRadioButton* r : {wordRadio_, characterRadio_, bitRadio_}) editColumn->addWidget(r);
    specificRadio_ = radio(kSpecificRadio, QStringLiteral("Specific Character"), this,
                           &CTriggerSetupDlg::SelectCharacterChoice);
    anyValidRadio_ = radio(kAnyValidRadio, QStringLiteral("Any Valid\nControl Character"), this,
                           &CTriggerSetupDlg::SelectCharacterChoice);
    auto* choiceColumn = new QVBoxLayout;
    choiceColumn->addWidget(specificRadio_);
    choiceColumn->addWidget(anyValidRadio_);
    const int errorIds[3] = {kCharacterError, kDisparityError, kLossOfByteSync};
    for (int i = 0; i < 3; ++i) {
        errorBoxes_[i] = new QCheckBox(QString::fromLatin1(kErrorKindTexts[i]), this);
        Register(errorIds[i], errorBoxes_[i]);
        // The dialog decides the check state; a click only reports the wish.
        connect(errorBoxes_[i], &QCheckBox::clicked, this,
                [this, id = errorIds[i]] { ClickErrorBox(id); });
        choiceColumn->addWidget(errorBoxes_[i]);
    }
    grid->addWidget(editGroup_, 2, 0, 3, 1);
    grid->addLayout(choiceColumn, 2, 0, 3, 1);

    auto* rows = new QGridLayout;
    rdPlusLabel_ = new QLabel(QStringLiteral("RD+"), this);
    rdMinusLabel_ = new QLabel(QStringLiteral("RD-"), this);
    rows->addWidget(rdPlusLabel_, 2, 0);
    rows->addWidget(rdMinusLabel_, 3, 0);
    for (int i = 0; i < 4; ++i) {
        charLabels_[i] = new QLabel(QStringLiteral("Character %1").arg(i + 1), this);
        charButtons_[i] = new QPushButton(QStringLiteral("Char %1").arg(i + 1), this);
        ColourButton(*charButtons_[i], Qt::white, kButtonBlue);
        rdPlus_[i] = new QLineEdit(this);
        rdMinus_[i] = new QLineEdit(this);
        // Room for ten digits and a little more.
        for (QLineEdit* field : {rdPlus_[i], rdMinus_[i]})
            field->setMinimumWidth(
                field->fontMetrics().horizontalAdvance(QStringLiteral("00000000000")) + 8);
        Register(kChar1 + i, charButtons_[i]);
        Register(kRdPlus1 + i, rdPlus_[i]);
        Register(kRdMinus1 + i, rdMinus_[i]);
        rows->addWidget(charLabels_[i], 0, i + 1);
        rows->addWidget(charButtons_[i], 1, i + 1);
        rows->addWidget(rdPlus_[i], 2, i + 1);
        rows->addWidget(rdMinus_[i], 3, i + 1);
        connect(charButtons_[i], &QPushButton::clicked, this, [this, i] { ChooseCharacter(i); });
        connect(rdPlus_[i], &QLineEdit::textEdited, this,
                [this, i](const QString& text) { EditRdField(kRdPlus1 + i, text); });
        connect(rdMinus_[i], &QLineEdit::textEdited, this,
                [this, i](const QString& text) { EditRdField(kRdMinus1 + i, text); });
    }
    grid->addLayout(rows, 2, 1, 1, 3);

    patternsLabel_ = new QLabel(QStringLiteral("Trigger Patterns"), this);
    patternField_ = new QLineEdit(this);
    Register(kPatternField, patternField_);
    // The pattern changes through the keypad only.
    patternField_->setReadOnly(true);
    patternField_->setMinimumWidth(
        patternField_->fontMetrics().horizontalAdvance(QString(42, QLatin1Char('0'))));
    grid->addWidget(patternsLabel_, 3, 1);
    grid->addWidget(patternField_, 3, 2, 1, 2);

    auto keypad = [this](std::initializer_list<const char*> captions,
                         std::map<QString, QPushButton*>& keys) {
        auto* pad = new QWidget(this);
        auto* row = new QHBoxLayout(pad);
        row->setContentsMargins(0, 0, 0, 0);
        for (const char* c : captions) {
            const QString caption = QString::fromLatin1(c);
            auto* key = new QPushButton(caption, pad);
            key->setFixedWidth(28);
            keys[caption] = key;
            row->addWidget(key);
            connect(key, &QPushButton::clicked, this, [this, caption] { PressKey(caption); });
        }
        row->addStretch();
        return pad;
    };
    binaryPad_ = keypad({"X", "0", "1"}, binaryKeys_);
    hexPad_ = keypad(
        {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B", "C", "D", "E", "F"}, hexKeys_);
    auto* pads = new QVBoxLayout;
    pads->addWidget(binaryPad_);
    pads->addWidget(hexPad_);
    grid->addLayout(pads, 4, 1, 1, 3);

    caretRow_ = new QWidget(this);
    auto* caretLayout = new QHBoxLayout(caretRow_);
    caretLayout->setContentsMargins(0, 0, 0, 0);
    auto button = [this](int id, const QString& caption, QWidget* parent) {
        auto* b = new QPushButton(caption, parent);
        Register(id, b);
        return b;
    };
    QPushButton* home = button(kHome, QStringLiteral("Home"), caretRow_);
    QPushButton* left = button(kCaretLeft, QString(), caretRow_);
    QPushButton* backspace = button(kBackspace, QStringLiteral("Bksp"), caretRow_);
    QPushButton* right = button(kCaretRight, QString(), caretRow_);
    QPushButton* clear = button(kClear, QStringLiteral("Clear"), caretRow_);
    left->setIcon(style()->standardIcon(QStyle::SP_ArrowLeft));
    right->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    for (QPushButton* b : {home, left, backspace, right, clear}) caretLayout->addWidget(b);
    caretLayout->addStretch();
    connect(home, &QPushButton::clicked, this, &CTriggerSetupDlg::Home);
    connect(left, &QPushButton::clicked, this, &CTriggerSetupDlg::CaretLeft);
    connect(backspace, &QPushButton::clicked, this, &CTriggerSetupDlg::Backspace);
    connect(right, &QPushButton::clicked, this, &CTriggerSetupDlg::CaretRight);
    connect(clear, &QPushButton::clicked, this, &CTriggerSetupDlg::ClearPattern);
    grid->addWidget(caretRow_, 5, 1, 1, 3);

    auto* apply = button(kApply, QStringLiteral("Apply"), this);
    auto* close = button(kClose, QStringLiteral("Close"), this);
    ColourButton(*close, Qt::white, kButtonBlue);
    connect(apply, &QPushButton::clicked, this, &CTriggerSetupDlg::Apply);
    connect(close, &QPushButton::clicked, this, &CTriggerSetupDlg::CloseDialog);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(apply);
    buttons->addWidget(close);
    grid->addLayout(buttons, 6, 0, 1, 4);
}

void CTriggerSetupDlg::Restore() {
    const CMacros* macros = TheMacros();
    const std::vector<std::string> names =
        macros ? FourWordPrimitiveNames(*macros) : std::vector<std::string>{};
    for (const std::string& name : names) word_->addItem(Q(name));
    if (names.empty()) {
        word_->addItem(QStringLiteral("Unknown Primitive"));
        closedAtOnce_ = true;
        return;
    }
    TriggerSetup& v = editor_.values;
    editor_.Restore(record_, TriggerDefinitionOf(macros));
    // A stored error condition that found no instrument ends the dialog.
    if ((record_.bCharacterError == 1 || record_.bDisparityError == 1 ||
         record_.bLossofByteSync == 1) &&
        link_.OpenConnection() == 0)
        closedAtOnce_ = true;
    // An index outside a list leaves it without a selection (the word list) or on its
    // first entry (the others), as the sequences read them.
    if (v.wordSelection < 0 || v.wordSelection >= word_->count())
        v.wordSelection = word_->count() - 1;
    ShowValues();
    // "8b/10b Word" recomputes from the selected word only in "Word" mode: the codes of
    // the other modes are the user's own and are kept.
    if (TriggerOnOf(v.triggerOnSelection) == TriggerOn::kWord) {
        if (v.IsBitSelected != 0)
            SetRadio(kBitRadio);
        else if (v.IsCharSelected != 0)
            SetRadio(kCharacterRadio);
        else
            SetRadio(kWordRadio);
    }
    if (TriggerOnOf(v.triggerOnSelection) == TriggerOn::kCharacter)
        SetRadio(v.IsSpecificCharSelected != 0 ? kSpecificRadio : kAnyValidRadio);
    if (TriggerOnOf(v.triggerOnSelection) == TriggerOn::kCodeError)
        editor_.Trigger().SendErrorTriggerBase(TriggerDefinitionOf(macros));
    ShowValues();
    ShowControls();
}

void CTriggerSetupDlg::SetRadio(int id) {
    TriggerSetup& v = editor_.values;
    if (id == kWordRadio || id == kCharacterRadio || id == kBitRadio) {
        v.IsWordSelected = id == kWordRadio;
        v.IsCharSelected = id == kCharacterRadio;
        v.IsBitSelected = id == kBitRadio;
        if (const CMacros* macros = TheMacros()) {
            if (id == kWordRadio) editor_.RecomputeFromWord(*macros);
            if (id == kCharacterRadio) editor_.RecomputeFromCharacters(*macros);
        }
    } else {
        v.IsSpecificCharSelected = id == kSpecificRadio;
        v.IsValidCharSelected = id == kAnyValidRadio;
    }
}

void CTriggerSetupDlg::ShowValues() {
    updating_ = true;
    const TriggerSetup& v = editor_.values;
    triggerOn_->setCurrentIndex(static_cast<int>(TriggerOnOf(v.triggerOnSelection)));
    pattern_->setCurrentIndex(static_cast<int>(DisparityOf(v.patternSelection)));
    format_->setCurrentIndex(static_cast<int>(FormatOf(v.formatSelection)));
    word_->setCurrentIndex(v.wordSelection);
    for (int i = 0; i < 4; ++i) {
        charButtons_[i]->setText(Q(v.charName[i]));
        rdPlus_[i]->setText(Q(v.rdPlus[i]));
        rdMinus_[i]->setText(Q(v.rdMinus[i]));
    }
    if (patternField_->text() != Q(v.editPattern)) patternField_->setText(Q(v.editPattern));
    const TriggerOn on = TriggerOnOf(v.triggerOnSelection);
    wordRadio_->setChecked(on == TriggerOn::kWord && v.IsWordSelected != 0);
    characterRadio_->setChecked(on == TriggerOn::kWord && v.IsCharSelected != 0);
    bitRadio_->setChecked(on == TriggerOn::kWord && v.IsBitSelected != 0);
    specificRadio_->setChecked(on == TriggerOn::kCharacter && v.IsSpecificCharSelected != 0);
    anyValidRadio_->setChecked(on == TriggerOn::kCharacter && v.IsSpecificCharSelected == 0 &&
                               v.IsValidCharSelected != 0);
    const ErrorKinds errors = v.Errors();
    for (int i = 0; i < 3; ++i) errorBoxes_[i]->setChecked(errors.IsSet(static_cast<ErrorKind>(i)));
    updating_ = false;
}

// What is shown and enabled follows from the values alone.
void CTriggerSetupDlg::ShowControls() {
    const TriggerSetup& v = editor_.values;
    const TriggerOn on = TriggerOnOf(v.triggerOnSelection);
    const Disparity disparity = DisparityOf(v.patternSelection);
    const bool word = on == TriggerOn::kWord, character = on == TriggerOn::kCharacter;
    const bool rows = word || character;
    const bool showPlus = rows && disparity != Disparity::kPositive;
    const bool showMinus = rows && disparity != Disparity::kNegative;
    const bool bits = on == TriggerOn::kBitPattern;
    const bool hex = FormatOf(v.formatSelection) == PatternFormat::kHex;
    const bool specific = v.IsSpecificCharSelected != 0;

    wordLabel_->setVisible(word);
    word_->setVisible(word);
    word_->setEnabled(v.IsWordSelected != 0);
    editGroup_->setVisible(word);
    patternLabel_->setVisible(rows);
    pattern_->setVisible(rows);
    formatLabel_->setVisible(bits);
    format_->setVisible(bits);
    specificRadio_->setVisible(character);
    anyValidRadio_->setVisible(character);
    for (QCheckBox* box : errorBoxes_) box->setVisible(on == TriggerOn::kCodeError);
    rdPlusLabel_->setVisible(showPlus);
    rdMinusLabel_->setVisible(showMinus);
    for (int i = 0; i < 4; ++i) {
        const bool column = word || (character && i == 0);
        charLabels_[i]->setVisible(column);
        charButtons_[i]->setVisible(column);
        rdPlus_[i]->setVisible(column && showPlus);
        rdMinus_[i]->setVisible(column && showMinus);
        const bool charsEnabled = word ? v.IsCharSelected != 0 : specific;
        const bool fieldsEnabled = word ? v.IsBitSelected != 0 : specific;
        charButtons_[i]->setEnabled(charsEnabled);
        rdPlus_[i]->setEnabled(fieldsEnabled);
        rdMinus_[i]->setEnabled(fieldsEnabled);
    }
    patternsLabel_->setVisible(bits);
    patternField_->setVisible(bits);
    binaryPad_->setVisible(bits && !hex);
    hexPad_->setVisible(bits && hex);
    caretRow_->setVisible(bits);
}

void CTriggerSetupDlg::EndWithoutInstrument(int connected) {
    if (connected == 0) done(QDialog::Rejected);
}

void CTriggerSetupDlg::SelectTriggerOn(int index) {
    Guard(kSource, "OnSelchangeTriggerOn", [&] {
        TriggerSetup& v = editor_.values;
        v.triggerOnSelection = static_cast<int>(TriggerOnOf(index));
        const TriggerOn on = TriggerOnOf(index);
        if (on == TriggerOn::kWord)
            SetRadio(v.IsBitSelected != 0    ? kBitRadio
                     : v.IsCharSelected != 0 ? kCharacterRadio
                                             : kWordRadio);
        if (on == TriggerOn::kCharacter) SetRadio(kSpecificRadio);
        if (on == TriggerOn::kCodeError)
            editor_.Trigger().SendErrorTriggerBase(TriggerDefinitionOf(TheMacros()));
        ShowValues();
        ShowControls();
    });
}

void CTriggerSetupDlg::SelectWord(int index) {
    Guard(kSource, "OnSelchange8b10bWord", [&] {
        if (index < 0) return;
        editor_.values.wordSelection = index;
        if (const CMacros* macros = TheMacros()) editor_.RecomputeFromWord(*macros);
        ShowValues();
    });
}

void CTriggerSetupDlg::SelectPattern(int index) {
    Guard(kSource, "OnSelchangePattern", [&] {
        editor_.values.patternSelection = static_cast<int>(DisparityOf(index));
        ShowValues();
        ShowControls();
    });
}

void CTriggerSetupDlg::SelectFormat(int index) {
    Guard(kSource, "OnSelchangeFormat", [&] {
        editor_.values.formatSelection = static_cast<int>(FormatOf(index));
        ShowValues();
        ShowControls();
    });
}

void CTriggerSetupDlg::SelectEditMode(int id) {
    Guard(kSource, "OnEditMode", [&] {
        SetRadio(id);
        ShowValues();
        ShowControls();
    });
}

void CTriggerSetupDlg::SelectCharacterChoice(int id) {
    Guard(kSource, "OnCharacterChoice", [&] {
        SetRadio(id);
        ShowValues();
        ShowControls();
    });
}

void CTriggerSetupDlg::ClickErrorBox(int id) {
    Guard(kSource, "OnErrorCheck", [&] {
        const ErrorKind kind = static_cast<ErrorKind>(id == kCharacterError   ? 0
                                                      : id == kDisparityError ? 1
                                                                              : 2);
        const int connected = editor_.ClickErrorKind(TriggerDefinitionOf(TheMacros()), kind);
        ShowValues();
        // Only setting a box sends the condition, whose missing connection ends the dialog.
        if (editor_.values.Errors().IsSet(kind)) EndWithoutInstrument(connected);
    });
}

void CTriggerSetupDlg::EditRdField(int id, const QString& text) {
    Guard(kSource, "OnChangeRd", [&] {
        if (updating_) return;
        const bool plus = id >= kRdPlus1 && id < kRdPlus1 + 4;
        const int column = id - (plus ? kRdPlus1 : kRdMinus1);
        if (column < 0 || column > 3) return;
        std::string& value = plus ? editor_.values.rdPlus[column] : editor_.values.rdMinus[column];
        QLineEdit* field = plus ? rdPlus_[column] : rdMinus_[column];
        const std::optional<std::string> filtered = FilterRdField(text.toStdString());
        if (!filtered) {
            // The field goes back to its last valid code, so an overlong one is never sent.
            ShowMessageBox("Invalid Bin entry");
            updating_ = true;
            field->setText(Q(value));
            updating_ = false;
            return;
        }
        value = *filtered;
        if (field->text() != Q(value)) {
            const int caret = field->cursorPosition();
            updating_ = true;
            field->setText(Q(value));
            field->setCursorPosition(std::min<int>(caret, static_cast<int>(value.size())));
            updating_ = false;
        }
    });
}

bool CTriggerSetupDlg::SetPattern(const QString& text, int caret) {
    const std::string candidate = text.toStdString();
    const bool hex = FormatOf(editor_.values.formatSelection) == PatternFormat::kHex;
    if (!(hex ? IsHexPattern(candidate) : IsBinaryPattern(candidate))) return false;
    editor_.values.editPattern = candidate;
    patternField_->setText(text);
    patternField_->setCursorPosition(caret);
    return true;
}

void CTriggerSetupDlg::PressKey(const QString& caption) {
    Guard(kSource, "OnKey", [&] {
        const QString current = patternField_->text();
        if (FormatOf(editor_.values.formatSelection) == PatternFormat::kHex) {
            SetPattern(current + caption, static_cast<int>(current.size() + 1));
        } else {
            const QString key = caption == QStringLiteral("X") ? QStringLiteral("x") : caption;
            const int caret = patternField_->cursorPosition();
            SetPattern(QString(current).insert(caret, key), caret + 1);
        }
    });
}

void CTriggerSetupDlg::Home() {
    patternField_->setCursorPosition(0);
}

void CTriggerSetupDlg::CaretLeft() {
    patternField_->cursorBackward(false);
}

void CTriggerSetupDlg::CaretRight() {
    patternField_->cursorForward(false);
}

void CTriggerSetupDlg::Backspace() {
    Guard(kSource, "OnBksp", [&] {
        QString text = patternField_->text();
        if (text.isEmpty()) return;
        const int caret = patternField_->cursorPosition();
        text.chop(1);
        editor_.values.editPattern = text.toStdString();
        patternField_->setText(text);
        patternField_->setCursorPosition(std::max(0, caret - 1));
    });
}

void CTriggerSetupDlg::ClearPattern() {
    editor_.values.editPattern.clear();
    patternField_->clear();
}

void CTriggerSetupDlg::ChooseCharacter(int column) {
    Guard(kSource, "OnChar", [&] {
        if (column < 0 || column > 3) return;
        TheEnteredCharacter().text = QStringLiteral("X");
        {
            CCharacterEntryDlg entry(this);
            runCharacterEntry(entry);
        }
        const QString text = TheEnteredCharacter().text;
        if (text.size() <= 1) return;
        editor_.values.charName[column] = text.toStdString();
        if (const CMacros* macros = TheMacros()) editor_.RecomputeFromCharacters(*macros);
        ShowValues();
    });
}

void CTriggerSetupDlg::Apply() {
    Guard(kSource, "OnApply",
          [&] { EndWithoutInstrument(editor_.Apply(TriggerDefinitionOf(TheMacros()))); });
}

void CTriggerSetupDlg::CloseDialog() {
    Guard(kSource, "OnClose", [&] { editor_.Close(TheMacros(), maximumBitRate_, record_); });
    done(QDialog::Accepted);
}

}  // namespace kestrava
