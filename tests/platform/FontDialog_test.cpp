// The program's font dialog, run as the user runs it: OK with nothing
// touched gives back the font it was given (a face the system lacks, shown
// as its substitute, included), a changed size changes the size only, and
// "Color..." chooses the text colour.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDialog>
#include <QLineEdit>
#include <QPushButton>

#include "platform/FontDialog.h"
#include "platform/PaintHelpers.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

void EnsureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "lumitra-test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

using Kind = lm::ScriptedUiServices::Kind;

// The record of a Windows report: a face this machine does not have.
LOGFONT Songti() {
    LOGFONT lf;
    lf.lfHeight = -16;
    lf.lfWeight = 400;
    lf.lfCharSet = 134;
    lf.lfPitchAndFamily = 2;
    lf.lfFaceName = "宋体";
    return lf;
}

// The chooser's size field: the one edit that only takes numbers.
QLineEdit* SizeEdit(lm::FontDialog* dlg) {
    QLineEdit* found = nullptr;
    for (QLineEdit* e : dlg->Chooser()->findChildren<QLineEdit*>())
        if (e->validator()) found = e;
    return found;
}

class FontDialogTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApp(); }
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
};

TEST_F(FontDialogTest, OkWithNothingTouchedGivesBackTheGivenFontAndColour) {
    ui.QueueFontDialog([](QDialog* d) {
        auto* dlg = static_cast<lm::FontDialog*>(d);
        // What the chooser shows is whatever stands in for the face here.
        EXPECT_FALSE(dlg->Chooser()->currentFont().family().isEmpty());
        return int32_t(lm::kDialogAccepted);
    });
    LOGFONT lf = Songti();
    COLORREF colour = RGB(1, 2, 3);
    ASSERT_TRUE(lm::Ui().ChooseFont(nullptr, &lf, &colour));
    EXPECT_EQ(lf, Songti());
    EXPECT_EQ(colour, RGB(1, 2, 3));

    // Cancel writes nothing, whatever was changed inside.
    ui.QueueColor(RGB(255, 0, 0));
    ui.QueueFontDialog([](QDialog* d) {
        static_cast<lm::FontDialog*>(d)->ColorButton()->click();
        return int32_t(lm::kDialogRejected);
    });
    EXPECT_FALSE(lm::Ui().ChooseFont(nullptr, &lf, &colour));
    EXPECT_EQ(lf, Songti());
    EXPECT_EQ(colour, RGB(1, 2, 3));
}

TEST_F(FontDialogTest, ColourIsOfferedWhenTheCallerKeepsOneAndAChosenSizeChangesOnlyTheSize) {
    ui.QueueColor(RGB(200, 0, 0));
    ui.QueueFontDialog([](QDialog* d) {
        auto* dlg = static_cast<lm::FontDialog*>(d);
        EXPECT_NE(dlg->ColorButton(), nullptr);
        dlg->ColorButton()->click();
        QLineEdit* size = SizeEdit(dlg);
        EXPECT_NE(size, nullptr);
        if (!size) return int32_t(lm::kDialogRejected);
        size->setText(QStringLiteral("24"));  // typed over the size shown
        return int32_t(lm::kDialogAccepted);
    });
    LOGFONT lf = Songti();
    COLORREF colour = 0;
    ASSERT_TRUE(lm::Ui().ChooseFont(nullptr, &lf, &colour));
    EXPECT_EQ(colour, RGB(200, 0, 0));
    EXPECT_EQ(lf.lfHeight, -32);  // 24 pt at 96 dpi
    LOGFONT rest = lf;
    rest.lfHeight = Songti().lfHeight;
    EXPECT_EQ(rest, Songti());  // face, weight and the rest as given
    ASSERT_EQ(ui.Count(Kind::Color), 1);

    // A caller without a colour gets no colour button.
    ui.QueueFontDialog([](QDialog* d) {
        EXPECT_EQ(static_cast<lm::FontDialog*>(d)->ColorButton(), nullptr);
        return int32_t(lm::kDialogAccepted);
    });
    LOGFONT plain = Songti();
    EXPECT_TRUE(lm::Ui().ChooseFont(nullptr, &plain, nullptr));
    EXPECT_EQ(plain, Songti());
    EXPECT_TRUE(ui.AllAnswersUsed());
}

}  // namespace
