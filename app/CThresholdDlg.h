// "Threshold Entry Dialog": the mid reference level and hysteresis of bit recovery, in
// volts or in percent of the waveform's swing.
#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace kestrava {

class CThresholdDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kAbsolute = 0;
    static constexpr int kPercentage = 1;

    // Values handed in before the dialog runs, read back after OK.
    QString percentMidRef, percentHysteresis;
    QString absoluteMidRef, absoluteHysteresis;
    int unitMode = kPercentage;
    bool resetToPercentage = false;
    float maximumVolts = 0.0f, minimumVolts = 0.0f;

    explicit CThresholdDlg(QWidget* parent = nullptr);

    // Shows the values handed in; exec() calls it, tests call it directly.
    void InitDialog();
    // Switches the unit radio: the stored values of the new mode replace what was typed.
    void SetUnitMode(int mode);
    // Validates and closes with OK, or shows the mode's message and stays open.
    void accept() override;

    // A text is a number when it is not empty and holds only digits and ".", with an
    // optional leading "-".
    static bool IsNumber(const QString& text);

    QLineEdit* MidRefField() const { return midRef_; }
    QLineEdit* HysteresisField() const { return hysteresis_; }
    QCheckBox* ResetBox() const { return reset_; }
    QRadioButton* AbsoluteRadio() const { return absolute_; }
    QRadioButton* PercentageRadio() const { return percentage_; }
    QLineEdit* MaximumField() const { return maximum_; }

    int exec() override;

  private:
    void WriteFields();
    QRadioButton *absolute_, *percentage_;
    QLineEdit *midRef_, *hysteresis_;
    QLabel *midRefUnit_, *hysteresisUnit_;
    QCheckBox* reset_;
    QLineEdit *maximum_, *minimum_;
};

}  // namespace kestrava
