#include "app/CThresholdDlg.h"

#include <cstdio>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/ColourScheme.h"
#include "base/MessageBox.h"
#include "base/Numbers.h"

namespace kestrava {
namespace {

QString Volts(float value) {
    char text[64];
    FormatInto(text, sizeof text, "%5.5f", static_cast<double>(value));
    return QString::fromLatin1(text);
}

bool InRange(const QString& text, double low, double high) {
    if (!CThresholdDlg::IsNumber(text)) return false;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && value >= low && value <= high;
}

}  // namespace

CThresholdDlg::CThresholdDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Threshold Entry Dialog"));
    ApplyColourScheme(*this);

    auto* units = new QGroupBox(QStringLiteral("Units"), this);
    absolute_ = new QRadioButton(QStringLiteral("Absolute"), units);
    percentage_ = new QRadioButton(QStringLiteral("Percentage"), units);
    auto* unitColumn = new QVBoxLayout(units);
    unitColumn->addWidget(absolute_);
    unitColumn->addWidget(percentage_);

    auto* levels = new QGroupBox(QStringLiteral("Reference Levels"), this);
    midRef_ = new QLineEdit(levels);
    hysteresis_ = new QLineEdit(levels);
    midRef_->setMaxLength(100);
    hysteresis_->setMaxLength(100);
    midRefUnit_ = new QLabel(levels);
    hysteresisUnit_ = new QLabel(levels);
    auto* levelGrid = new QGridLayout(levels);
    levelGrid->addWidget(new QLabel(QStringLiteral("Mid Ref"), levels), 0, 0);
    levelGrid->addWidget(midRef_, 0, 1);
    levelGrid->addWidget(midRefUnit_, 0, 2);
    levelGrid->addWidget(new QLabel(QStringLiteral("Hysteresis"), levels), 1, 0);
    levelGrid->addWidget(hysteresis_, 1, 1);
    levelGrid->addWidget(hysteresisUnit_, 1, 2);

    reset_ = new QCheckBox(QStringLiteral("Reset to Percentage\non New Acquisition"), this);

    auto* current = new QGroupBox(QStringLiteral("Current Waveform"), this);
    maximum_ = new QLineEdit(current);
    minimum_ = new QLineEdit(current);
    maximum_->setReadOnly(true);
    minimum_->setReadOnly(true);
    auto* currentGrid = new QGridLayout(current);
    currentGrid->addWidget(new QLabel(QStringLiteral("Max"), current), 0, 0);
    currentGrid->addWidget(maximum_, 0, 1);
    currentGrid->addWidget(new QLabel(QStringLiteral("Volt"), current), 0, 2);
    currentGrid->addWidget(new QLabel(QStringLiteral("Min"), current), 1, 0);
    currentGrid->addWidget(minimum_, 1, 1);
    currentGrid->addWidget(new QLabel(QStringLiteral("Volt"), current), 1, 2);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CThresholdDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CThresholdDlg::reject);
    connect(absolute_, &QRadioButton::clicked, this, [this] { SetUnitMode(kAbsolute); });
    connect(percentage_, &QRadioButton::clicked, this, [this] { SetUnitMode(kPercentage); });

    auto* grid = new QGridLayout(this);
    grid->addWidget(units, 0, 0);
    grid->addWidget(levels, 0, 1);
    grid->addWidget(reset_, 1, 0);
    grid->addWidget(current, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
}

int CThresholdDlg::exec() {
    InitDialog();
    return QDialog::exec();
}

void CThresholdDlg::InitDialog() {
    maximum_->setText(Volts(maximumVolts));
    minimum_->setText(Volts(minimumVolts));
    WriteFields();
}

void CThresholdDlg::WriteFields() {
    const bool absolute = unitMode == kAbsolute;
    absolute_->setChecked(absolute);
    percentage_->setChecked(!absolute);
    midRef_->setText(absolute ? absoluteMidRef : percentMidRef);
    hysteresis_->setText(absolute ? absoluteHysteresis : percentHysteresis);
    const QString unit = absolute ? QStringLiteral("Volt") : QStringLiteral("%");
    midRefUnit_->setText(unit);
    hysteresisUnit_->setText(unit);
    reset_->setChecked(resetToPercentage);
    reset_->setVisible(absolute);
}

void CThresholdDlg::SetUnitMode(int mode) {
    // Only the check box survives a switch; what was typed in the fields is dropped.
    resetToPercentage = reset_->isChecked();
    unitMode = mode == kAbsolute ? kAbsolute : kPercentage;
    WriteFields();
}

bool CThresholdDlg::IsNumber(const QString& text) {
    if (text.isEmpty()) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isDigit() && c.unicode() < 128) continue;
        if (c == QLatin1Char('.')) continue;
        if (i == 0 && c == QLatin1Char('-')) continue;
        return false;
    }
    return true;
}

void CThresholdDlg::accept() {
    const QString midRef = midRef_->text();
    const QString hysteresis = hysteresis_->text();
    if (unitMode == kPercentage) {
        if (!InRange(midRef, 0, 100) || !InRange(hysteresis, 0, 100)) {
            ShowMessageBox("Enter a value between 0 and  100 for Mid Ref and Hysteresis");
            return;
        }
        percentMidRef = midRef;
        percentHysteresis = hysteresis;
    } else {
        if (!InRange(midRef, -10000, 10000) || !InRange(hysteresis, -10000, 10000)) {
            ShowMessageBox("Enter a value between -10000 and +10000 for Mid Ref and Hysteresis");
            return;
        }
        absoluteMidRef = midRef;
        absoluteHysteresis = hysteresis;
    }
    resetToPercentage = reset_->isChecked();
    QDialog::accept();
}

}  // namespace kestrava
