// "Trigger Setup": the instrument's 8b/10b serial trigger on a protocol word, one
// character, a coding error or a free bit pattern. The widgets mirror TriggerEditor's
// values; the editor composes and sends, and "Close" stores into the program's record.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <QDialog>

#include "session/TriggerSetup.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace kestrava {

class CCharacterEntryDlg;
class CMacros;

class CTriggerSetupDlg : public QDialog {
    Q_OBJECT
  public:
    // Control ids.
    enum Id {
        kTriggerOn = 1035,
        kWordList = 1039,
        kPatternList = 1036,
        kFormatList = 1038,
        kWordRadio = 1023,
        kCharacterRadio = 1024,
        kBitRadio = 1025,
        kSpecificRadio = 1027,
        kAnyValidRadio = 1028,
        kCharacterError = 1013,
        kDisparityError = 1014,
        kLossOfByteSync = 1015,
        kChar1 = 1152,
        kRdPlus1 = 1156,
        kRdMinus1 = 1160,
        kPatternField = 1093,
        kHome = 1164,
        kCaretLeft = 1165,
        kBackspace = 1166,
        kCaretRight = 1167,
        kClear = 1168,
        kApply = 1169,
        kClose = 1151,
    };

    // link may be null: the dialog then works on a link without an instrument. The
    // definition, the maximum bit rate and the record are read when the dialog opens.
    CTriggerSetupDlg(ITriggerLink* link, const std::string& sourceText, double maximumBitRate,
                     QWidget* parent = nullptr, TriggerSetup& record = TheTriggerSetup());
    ~CTriggerSetupDlg() override;

    // Runs the dialog; a definition without a four-word primitive ends it at once.
    int exec() override;
    bool ClosedAtOnce() const { return closedAtOnce_; }

    // The user's actions, for the widgets and for tests.
    void SelectTriggerOn(int index);
    void SelectWord(int index);
    void SelectPattern(int index);
    void SelectFormat(int index);
    void SelectEditMode(int id);         // kWordRadio, kCharacterRadio or kBitRadio
    void SelectCharacterChoice(int id);  // kSpecificRadio or kAnyValidRadio
    void ClickErrorBox(int id);
    void EditRdField(int id, const QString& text);  // kRdPlus1+i or kRdMinus1+i
    void PressKey(const QString& caption);          // a keypad key: "X", "0"-"9", "A"-"F"
    void Home();
    void CaretLeft();
    void CaretRight();
    void Backspace();
    void ClearPattern();
    void ChooseCharacter(int column);  // 0-3
    void Apply();
    void CloseDialog();

    QWidget* Control(int id) const;
    QPushButton* Key(const QString& caption, bool hex) const;
    const TriggerSetup& Values() const { return editor_.values; }
    // Runs the character entry dialog; replaceable for tests.
    std::function<void(CCharacterEntryDlg&)> runCharacterEntry;

  private:
    void Build();
    void Restore();
    void ShowControls();
    void ShowValues();
    void SetRadio(int id);
    void Register(int id, QWidget* widget);
    bool SetPattern(const QString& text, int caret);
    void EndWithoutInstrument(int connected);

    std::unique_ptr<ITriggerLink> ownLink_;
    ITriggerLink& link_;
    TriggerEditor editor_;
    TriggerSetup& record_;
    double maximumBitRate_;
    bool closedAtOnce_ = false;
    bool updating_ = false;
    std::map<int, QWidget*> controls_;
    std::map<QString, QPushButton*> binaryKeys_, hexKeys_;

    QComboBox *triggerOn_ = nullptr, *word_ = nullptr, *pattern_ = nullptr, *format_ = nullptr;
    QGroupBox* editGroup_ = nullptr;
    QLabel *wordLabel_ = nullptr, *patternLabel_ = nullptr, *formatLabel_ = nullptr;
    QLabel *rdPlusLabel_ = nullptr, *rdMinusLabel_ = nullptr, *patternsLabel_ = nullptr;
    std::array<QLabel*, 4> charLabels_{};
    std::array<QPushButton*, 4> charButtons_{};
    std::array<QLineEdit*, 4> rdPlus_{}, rdMinus_{};
    std::array<QCheckBox*, 3> errorBoxes_{};
    QRadioButton *wordRadio_ = nullptr, *characterRadio_ = nullptr, *bitRadio_ = nullptr;
    QRadioButton *specificRadio_ = nullptr, *anyValidRadio_ = nullptr;
    QLineEdit* patternField_ = nullptr;
    QWidget *binaryPad_ = nullptr, *hexPad_ = nullptr, *caretRow_ = nullptr;
};

}  // namespace kestrava
