// The window's states as the user sees them: each state of a control, rendered, differs
// from the other state or from the dialog's blue by at least 3:1 in contrast.
#include <cmath>
#include <functional>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/CThresholdDlg.h"
#include "app/QtMessageBox.h"
#include "tests/app/AppTestSupport.h"

namespace kestrava::test {
namespace {

double Luminance(QRgb rgb) {
    auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(rgb)) + 0.7152 * linear(qGreen(rgb)) + 0.0722 * linear(qBlue(rgb));
}

double Contrast(QRgb a, QRgb b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Pixels of area that are at least 3:1 apart in the two pictures.
int PixelsApart(const QImage& before, const QImage& after, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (Contrast(before.pixel(x, y), after.pixel(x, y)) >= 3.0) ++count;
    return count;
}

class ContrastTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        dialog = std::make_unique<CThresholdDlg>();
        dialog->percentMidRef = "50";
        dialog->percentHysteresis = "20";
        dialog->absoluteMidRef = "0.0";
        dialog->absoluteHysteresis = "0.03";
        dialog->InitDialog();
        dialog->show();
        dialog->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }
    QImage Picture() {
        QApplication::processEvents();
        return dialog->grab().toImage();
    }
    // The control's area in the dialog, with a margin for a ring drawn around it.
    QRect AreaOf(const QWidget& control) const {
        return QRect(control.mapTo(dialog.get(), QPoint(0, 0)), control.size())
            .adjusted(-2, -2, 2, 2)
            .intersected(dialog->rect());
    }
    std::unique_ptr<CThresholdDlg> dialog;
};

TEST_F(ContrastTest, EveryStateStandsOutByThreeToOne) {
    auto* check = dialog->findChild<QCheckBox*>();
    const auto radios = dialog->findChildren<QRadioButton*>();
    auto* field = dialog->MidRefField();
    auto* ok = dialog->findChild<QPushButton*>();
    ASSERT_TRUE(check && radios.size() == 2 && field && ok);
    check->setFocusPolicy(Qt::NoFocus);
    radios[0]->click();  // absolute levels show the check box
    struct Change {
        const char* what;
        QWidget* control;
        std::function<void()> apply;
    };
    const Change changes[] = {
        {"check box checked", check, [&] { check->setChecked(!check->isChecked()); }},
        {"radio button selected", radios[0], [&] { radios[radios[0]->isChecked()]->click(); }},
        {"field disabled", field, [&] { field->setEnabled(false); }},
        {"field focused", dialog->HysteresisField(),
         [&] { dialog->HysteresisField()->setFocus(); }},
        {"button focused", ok, [&] { ok->setFocus(); }},
    };
    for (const Change& change : changes) {
        field->setEnabled(true);
        check->setFocus();
        const QImage before = Picture();
        change.apply();
        const QImage after = Picture();
        // A state shows in a mark of at least a few pixels, not in one stray pixel.
        EXPECT_GE(PixelsApart(before, after, AreaOf(*change.control)), 12) << change.what;
    }
    // An unchecked box and an empty radio ring still stand out from the dialog's blue.
    radios[0]->click();
    const QImage picture = Picture();
    const QRgb blue = qRgb(39, 78, 117);
    QImage background(picture.size(), picture.format());
    background.fill(blue);
    for (QWidget* control : {static_cast<QWidget*>(check), static_cast<QWidget*>(radios[0])})
        EXPECT_GE(PixelsApart(background, picture, AreaOf(*control)), 12);
}

TEST_F(ContrastTest, AMenusCheckMarkStandsOutFromTheMenu) {
    QMenu menu;
    QAction* action = menu.addAction(QStringLiteral("Word Names"));
    action->setCheckable(true);
    menu.adjustSize();
    const QImage off = menu.grab().toImage();
    action->setChecked(true);
    const QImage on = menu.grab().toImage();
    EXPECT_GE(PixelsApart(off, on, menu.actionGeometry(action)), 12);
}

TEST_F(ContrastTest, MessageBoxesAreLightBlueWithLegibleText) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("KORVAN"),
                    QStringLiteral("Decoded output saved"), QMessageBox::Ok, dialog.get());
    StyleMessageBox(box);
    box.adjustSize();
    const QImage picture = box.grab().toImage();
    const QRgb lightBlue = qRgb(125, 162, 197);
    EXPECT_EQ(picture.pixel(2, 2), lightBlue);
    QImage background(picture.size(), picture.format());
    background.fill(lightBlue);
    EXPECT_GE(PixelsApart(background, picture, picture.rect()), 100);
}

}  // namespace
}  // namespace kestrava::test
