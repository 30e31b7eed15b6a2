// "Character Entry": picks one 8b/10b character by name, by hexadecimal value, by a
// control-symbol button, or as "Don't Care", for the trigger set-up.
#pragma once

#include <map>
#include <string>

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace kestrava {

// The program-wide result of the last "Apply" or "Close".
struct EnteredCharacter {
    QString text = QStringLiteral("X");
    int value = -1;
};
EnteredCharacter& TheEnteredCharacter();

class CCharacterEntryDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kHexMode = 0;
    static constexpr int kCharacterMode = 1;
    static constexpr int kNoValue = -1;
    static constexpr int kDontCare = -2;

    explicit CCharacterEntryDlg(QWidget* parent = nullptr);

    // One key of the keypad by its caption ("0"-"9", "A"-"F", ".", "K", "D").
    void PressKey(const QString& caption);
    void SetFormat(int mode);
    void ClearEntry();
    void DontCare();
    // A control-symbol button by its caption ("COM", "STP", ... "K28.7").
    void ControlSymbol(const QString& caption);
    void Apply();
    void CloseDialog();

    // Whether appending the last character of text keeps it a valid prefix of a name.
    static bool IsNamePrefix(const QString& text);

    QString CharacterText() const { return character_; }
    QString ValueText() const { return valueText_; }
    int Value() const { return value_; }
    int Mode() const { return mode_; }
    QPushButton* Key(const QString& caption) const;

    // Asks the Yes/No question of "Close"; replaceable for tests.
    bool (*askYesNo)(const std::string& text);

  private:
    void ShowTexts();
    void NameKey(const QString& caption);
    void HexKey(const QString& caption);
    void Store();
    bool ValueMissing() const;

    QString character_, valueText_, entry_;
    int value_ = kNoValue;
    int mode_ = kCharacterMode;
    QLineEdit *characterField_, *valueField_;
    std::map<QString, QPushButton*> keys_;
    QPushButton *characterFormat_, *hexFormat_;
};

}  // namespace kestrava
