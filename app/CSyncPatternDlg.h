// "Edit Sync Pattern": up to four character names separated by commas.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

namespace kestrava {

class CSyncPatternDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kMaxLength = 23;

    // The current pattern is shown on opening; after OK, pattern holds the accepted text.
    explicit CSyncPatternDlg(const QString& current, QWidget* parent = nullptr);

    QString pattern;
    QLineEdit* Field() const { return field_; }

    void accept() override;

    // The words joined with "," when every word is a character name of the code table and
    // there are at most four; empty otherwise.
    static QString Validate(const QString& text);

  private:
    QLineEdit* field_;
};

}  // namespace kestrava
