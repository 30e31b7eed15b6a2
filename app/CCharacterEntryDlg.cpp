#include "app/CCharacterEntryDlg.h"

#include <cstdio>

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ColourScheme.h"
#include "app/QtMessageBox.h"
#include "base/MessageBox.h"
#include "definition/CMacros.h"

namespace kestrava {
namespace {

struct Symbol {
    const char* caption;
    const char* character;
};
constexpr Symbol kSymbols[] = {
    {"COM", "K28.5"}, {"STP", "K27.7"},   {"SDP", "K28.2"},   {"END", "K29.7"},
    {"EDB", "K30.7"}, {"PAD", "K23.7"},   {"SKP", "K28.0"},   {"FTS", "K28.1"},
    {"IDL", "K28.3"}, {"K28.4", "K28.4"}, {"K28.6", "K28.6"}, {"K28.7", "K28.7"},
};

int ValueOfName(const QString& name) {
    const CMacros* macros = TheMacros();
    return macros ? macros->Get8BitValue(name.toStdString()) : -1;
}

QString HexValueText(int value) {
    char text[32];
    std::snprintf(text, sizeof text, "0x %x", value);
    return QString::fromLatin1(text);
}

bool IsDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

}  // namespace

EnteredCharacter& TheEnteredCharacter() {
    static EnteredCharacter entered;
    return entered;
}

CCharacterEntryDlg::CCharacterEntryDlg(QWidget* parent) : QDialog(parent), askYesNo(&AskYesNo) {
    setWindowTitle(QStringLiteral("Character Entry"));
    ApplyColourScheme(*this);

    characterField_ = new QLineEdit(this);
    valueField_ = new QLineEdit(this);
    characterField_->setReadOnly(true);
    valueField_->setReadOnly(true);

    auto makeKey = [this](const QString& caption, QWidget* parent) {
        auto* key = new QPushButton(caption, parent);
        connect(key, &QPushButton::clicked, this, [this, caption] { PressKey(caption); });
        keys_[caption] = key;
        return key;
    };

    auto* keypad = new QGroupBox(QStringLiteral("Hex Data Byte"), this);
    auto* keyGrid = new QGridLayout(keypad);
    const char* rows[4][4] = {
        {"7", "8", "9", "F"}, {"4", "5", "6", "E"}, {"1", "2", "3", "D"}, {"0", "A", "B", "C"}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const QString caption = QString::fromLatin1(rows[r][c]);
            // "D" is both a hex digit and the data-character prefix: one key serves both.
            keyGrid->addWidget(makeKey(caption, keypad), r, c);
        }
    keyGrid->addWidget(makeKey(QStringLiteral("K"), keypad), 4, 0);
    keyGrid->addWidget(makeKey(QStringLiteral("."), keypad), 4, 1);
    auto* clear = new QPushButton(QStringLiteral("CLR"), keypad);
    connect(clear, &QPushButton::clicked, this, &CCharacterEntryDlg::ClearEntry);
    keyGrid->addWidget(clear, 4, 2, 1, 2);

    auto* format = new QGroupBox(QStringLiteral("Format"), this);
    characterFormat_ = new QPushButton(QStringLiteral("Character"), format);
    hexFormat_ = new QPushButton(QStringLiteral("Hex Data"), format);
    connect(characterFormat_, &QPushButton::clicked, this, [this] { SetFormat(kCharacterMode); });
    connect(hexFormat_, &QPushButton::clicked, this, [this] { SetFormat(kHexMode); });
    auto* formatColumn = new QVBoxLayout(format);
    formatColumn->addWidget(characterFormat_);
    formatColumn->addWidget(hexFormat_);

    auto* symbols = new QGroupBox(QStringLiteral("Control Symbol"), this);
    auto* symbolGrid = new QGridLayout(symbols);
    int index = 0;
    for (const Symbol& symbol : kSymbols) {
        const QString caption = QString::fromLatin1(symbol.caption);
        auto* button = new QPushButton(caption, symbols);
        connect(button, &QPushButton::clicked, this, [this, caption] { ControlSymbol(caption); });
        symbolGrid->addWidget(button, index / 3, index % 3);
        ++index;
    }

    auto* dontCare = new QPushButton(QStringLiteral("Don't Care"), this);
    auto* apply = new QPushButton(QStringLiteral("Apply"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    for (QPushButton* command : {apply, cancel, close})
        ColourButton(*command, Qt::black, kSeparatorBlue);
    connect(dontCare, &QPushButton::clicked, this, &CCharacterEntryDlg::DontCare);
    connect(apply, &QPushButton::clicked, this, &CCharacterEntryDlg::Apply);
    connect(cancel, &QPushButton::clicked, this, &CCharacterEntryDlg::reject);
    connect(close, &QPushButton::clicked, this, &CCharacterEntryDlg::CloseDialog);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Character"), this), 0, 0);
    fields->addWidget(characterField_, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Value / Name"), this), 1, 0);
    fields->addWidget(valueField_, 1, 1);
    fields->addWidget(dontCare, 0, 2);

    auto* middle = new QHBoxLayout;
    middle->addWidget(format);
    middle->addWidget(keypad);
    middle->addWidget(symbols);

    auto* commands = new QHBoxLayout;
    commands->addStretch();
    commands->addWidget(apply);
    commands->addWidget(cancel);
    commands->addWidget(close);

    auto* column = new QVBoxLayout(this);
    column->addLayout(fields);
    column->addLayout(middle);
    column->addLayout(commands);

    SetFormat(kCharacterMode);
}

QPushButton* CCharacterEntryDlg::Key(const QString& caption) const {
    auto found = keys_.find(caption);
    return found == keys_.end() ? nullptr : found->second;
}

void CCharacterEntryDlg::SetFormat(int mode) {
    mode_ = mode == kHexMode ? kHexMode : kCharacterMode;
    const bool name = mode_ == kCharacterMode;
    for (const char* hexOnly : {"A", "B", "C", "E", "F"})
        keys_[QString::fromLatin1(hexOnly)]->setVisible(!name);
    for (const char* nameOnly : {"K", "."}) keys_[QString::fromLatin1(nameOnly)]->setVisible(name);
    const QString selected = QStringLiteral("QPushButton { color: black; background: #e4e4e4; }");
    const QString other = QStringLiteral("QPushButton { color: black; background: #bcbcbc; }");
    characterFormat_->setStyleSheet(name ? selected : other);
    hexFormat_->setStyleSheet(name ? other : selected);
}

bool CCharacterEntryDlg::IsNamePrefix(const QString& text) {
    const qsizetype length = text.size();
    if (length < 1 || length > 5) return false;
    const QChar key = text[length - 1];
    switch (length) {
        case 1:
            return key == QLatin1Char('K') || key == QLatin1Char('D');
        case 2:
            return IsDigit(key);
        case 3:
            if (key == QLatin1Char('.')) return true;
            return IsDigit(key) && text.mid(1, 2).toInt() <= 31;
        case 4:
            if (!IsDigit(key) && key != QLatin1Char('.')) return false;
            return text[2] == QLatin1Char('.') || key == QLatin1Char('.');
        default:
            return key >= QLatin1Char('0') && key <= QLatin1Char('7') &&
                   text[3] == QLatin1Char('.');
    }
}

void CCharacterEntryDlg::PressKey(const QString& caption) {
    if (mode_ == kCharacterMode)
        NameKey(caption);
    else
        HexKey(caption);
    ShowTexts();
}

void CCharacterEntryDlg::NameKey(const QString& caption) {
    const QString candidate = character_ + caption;
    if (!IsNamePrefix(candidate)) {
        ShowMessageBox("Invalid Character entry");
        return;
    }
    character_ = candidate;
    entry_ = candidate;
    if (character_.size() < 4) {
        valueText_ = QStringLiteral("xx");
        value_ = kNoValue;
        return;
    }
    const int value = ValueOfName(character_);
    value_ = value < 0 ? kNoValue : value;
    valueText_ = value < 0 ? QStringLiteral("xx") : HexValueText(value);
}

void CCharacterEntryDlg::HexKey(const QString& caption) {
    const QString candidate = valueText_ + caption;
    bool hex = candidate.size() >= 1 && candidate.size() <= 3;
    int value = 0;
    if (hex) {
        bool ok = false;
        value = candidate.toInt(&ok, 16);
        hex = ok && (candidate.size() < 3 || value < 400);
    }
    if (!hex) {
        ShowMessageBox("Invalid Hex entry");
        return;
    }
    valueText_ = candidate;
    entry_ = candidate;
    value_ = value;
    const CMacros* macros = TheMacros();
    character_ = macros ? QString::fromStdString(macros->GetWordFrom8Bit(value)) : QString();
}

void CCharacterEntryDlg::ClearEntry() {
    character_.clear();
    valueText_.clear();
    entry_.clear();
    value_ = kNoValue;
    ShowTexts();
}

void CCharacterEntryDlg::DontCare() {
    character_ = QStringLiteral("--");
    valueText_ = QStringLiteral("XX");
    value_ = kDontCare;
    ShowTexts();
}

void CCharacterEntryDlg::ControlSymbol(const QString& caption) {
    const Symbol* found = nullptr;
    for (const Symbol& symbol : kSymbols)
        if (caption == QLatin1String(symbol.caption)) found = &symbol;
    if (!found) return;
    entry_ = QString::fromLatin1(found->character);
    const int value = ValueOfName(entry_);
    if (value < 0) {
        ShowMessageBox("Symbol not found in 8b10b Encoding table");
        return;
    }
    character_ = entry_;
    value_ = value;
    valueText_ = HexValueText(value);
    ShowTexts();
}

bool CCharacterEntryDlg::ValueMissing() const {
    return value_ == kNoValue || (character_ == QLatin1String("--") && value_ != kDontCare);
}

void CCharacterEntryDlg::Store() {
    TheEnteredCharacter().text = character_;
    TheEnteredCharacter().value = value_;
}

void CCharacterEntryDlg::Apply() {
    if (ValueMissing()) ShowMessageBox("The character value is not found in the 8B10B table.");
    Store();
}

void CCharacterEntryDlg::CloseDialog() {
    if (ValueMissing() && askYesNo("The character value is not found in the 8B10B table\n Click "
                                   "Yes to re-enter the selection"))
        return;
    Store();
    accept();
}

void CCharacterEntryDlg::ShowTexts() {
    characterField_->setText(character_);
    valueField_->setText(valueText_);
}

}  // namespace kestrava
