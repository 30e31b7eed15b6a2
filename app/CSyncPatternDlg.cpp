#include "app/CSyncPatternDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

#include "app/ColourScheme.h"
#include "base/MessageBox.h"
#include "definition/CMacros.h"

namespace kestrava {
namespace {

bool IsCharacterName(const QString& word) {
    const CMacros* macros = TheMacros();
    if (!macros || word.isEmpty()) return false;
    const std::string name = word.toStdString();
    for (const std::string& known : macros->nameTable)
        if (known == name) return true;
    return false;
}

}  // namespace

CSyncPatternDlg::CSyncPatternDlg(const QString& current, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Edit Sync Pattern"));
    ApplyColourScheme(*this);
    field_ = new QLineEdit(this);
    field_->setMaxLength(kMaxLength);
    field_->setText(current);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSyncPatternDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CSyncPatternDlg::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* column = new QVBoxLayout(this);
    column->addWidget(new QLabel(QStringLiteral("Enter valid words seperated by comma"), this));
    column->addWidget(field_);
    column->addLayout(buttons);
}

QString CSyncPatternDlg::Validate(const QString& text) {
    if (text.count(QLatin1Char(',')) >= 4) return {};
    const QStringList words = text.split(QLatin1Char(','));
    for (const QString& word : words)
        if (!IsCharacterName(word)) return {};
    return words.join(QLatin1Char(','));
}

void CSyncPatternDlg::accept() {
    const QString text = field_->text();
    if (text.isEmpty()) return;
    const QString accepted = Validate(text);
    if (accepted.isEmpty()) {
        MessageBoxSink()->Show("Invalid Entry", "");  // this one box has no title
        field_->setFocus();
        return;
    }
    pattern = accepted;
    QDialog::accept();
}

}  // namespace kestrava
