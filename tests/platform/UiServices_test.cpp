#include "tests/support/ui/ScriptedUiServices.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLineEdit>

namespace {

void EnsureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "lumitra-test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

using Kind = lm::ScriptedUiServices::Kind;

TEST(ScriptedUiServices, AnswersInQueueOrderThenCautiousDefaults) {
    lm::ScriptedUiServices ui;
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    EXPECT_EQ(ui.MessageBox(nullptr, "a", "c", lm::MsgButtons::YesNoCancel, lm::MsgIcon::Question), lm::kIdYes);
    EXPECT_EQ(ui.MessageBox(nullptr, "b", "c", lm::MsgButtons::YesNo, lm::MsgIcon::Question), lm::kIdNo);
    EXPECT_TRUE(ui.AllAnswersUsed());
    // Nobody answers: OK-only boxes are acknowledged, others are declined.
    EXPECT_EQ(ui.MessageBox(nullptr, "x", "c", lm::MsgButtons::Ok, lm::MsgIcon::Error), lm::kIdOk);
    EXPECT_EQ(ui.MessageBox(nullptr, "x", "c", lm::MsgButtons::YesNo, lm::MsgIcon::None), lm::kIdNo);
    EXPECT_EQ(ui.MessageBox(nullptr, "x", "c", lm::MsgButtons::OkCancel, lm::MsgIcon::None), lm::kIdCancel);
    EXPECT_EQ(ui.MessageBox(nullptr, "x", "c", lm::MsgButtons::YesNoCancel, lm::MsgIcon::None), lm::kIdCancel);

    const auto boxes = ui.CallsOf(Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 6u);
    EXPECT_EQ(boxes[0].text, "a");
    EXPECT_EQ(boxes[0].caption, "c");
    EXPECT_EQ(boxes[0].buttons, lm::MsgButtons::YesNoCancel);
    EXPECT_EQ(boxes[0].icon, lm::MsgIcon::Question);
    EXPECT_EQ(boxes[2].icon, lm::MsgIcon::Error);
    EXPECT_EQ(boxes[5].answer, lm::kIdCancel);
}

TEST(ScriptedUiServices, MenusFilesColoursFontsAndPrintAreScripted) {
    lm::ScriptedUiServices ui;
    const std::vector<lm::MenuItem> menu = {lm::MenuItem::Command(7, "Delete Item"), lm::MenuItem::Separator(),
                                            lm::MenuItem::Command(24, "Copy", false)};
    ui.QueueMenuChoice(24);
    EXPECT_EQ(ui.TrackPopupMenu(nullptr, menu, QPoint(10, 20)), 24);
    EXPECT_EQ(ui.TrackPopupMenu(nullptr, menu, QPoint()), 0);  // nothing chosen
    const auto menus = ui.CallsOf(Kind::PopupMenu);
    ASSERT_EQ(menus.size(), 2u);
    ASSERT_EQ(menus[0].menu.size(), 3u);
    EXPECT_EQ(menus[0].menu[0].id, 7);
    EXPECT_TRUE(menus[0].menu[1].separator);
    EXPECT_FALSE(menus[0].menu[2].enabled);
    EXPECT_EQ(menus[0].pos, QPoint(10, 20));

    lm::FileDialogRequest open;
    open.multiple = false;
    ui.QueueFileNames({"/a.fld", "/b.fld"});
    EXPECT_EQ(ui.GetOpenFileNames(nullptr, open), QStringList{"/a.fld"});  // one file asked for
    open.multiple = true;
    ui.QueueFileNames({"/a.fld", "/b.fld"});
    EXPECT_EQ(ui.GetOpenFileNames(nullptr, open).size(), 2);
    EXPECT_TRUE(ui.GetOpenFileNames(nullptr, open).isEmpty());  // cancelled
    lm::FileDialogRequest save;
    save.defaultSuffix = "jpg";
    ui.QueueFileNames({"/out.jpg"});
    EXPECT_EQ(ui.GetSaveFileName(nullptr, save), "/out.jpg");
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile).front().file.defaultSuffix, "jpg");
    EXPECT_TRUE(ui.GetSaveFileName(nullptr, save).isEmpty());

    COLORREF c = 0x123456;
    ui.QueueColor(COLORREF(0x00FF00));
    EXPECT_TRUE(ui.ChooseColor(nullptr, &c));
    EXPECT_EQ(c, 0x00FF00u);
    EXPECT_FALSE(ui.ChooseColor(nullptr, &c));  // cancelled: unchanged
    EXPECT_EQ(c, 0x00FF00u);

    LOGFONT lf;
    lf.lfFaceName = "Arial";
    LOGFONT chosen;
    chosen.lfFaceName = "宋体";
    chosen.lfHeight = -20;
    ui.QueueFont(chosen);
    EXPECT_TRUE(ui.ChooseFont(nullptr, &lf, nullptr));
    EXPECT_EQ(lf, chosen);
    EXPECT_FALSE(ui.ChooseFont(nullptr, &lf, nullptr));
    EXPECT_EQ(lf.lfFaceName, "宋体");

    ui.QueuePrintAnswer(true);
    EXPECT_TRUE(ui.PrintDialog(nullptr, nullptr, true));
    EXPECT_FALSE(ui.PrintDialog(nullptr, nullptr, false));
    EXPECT_EQ(ui.CallsOf(Kind::Print)[0].text, "setup");

    EXPECT_FALSE(ui.OpenUrl("https://example.org/"));
    EXPECT_EQ(ui.CallsOf(Kind::Url).at(0).text, "https://example.org/");
    EXPECT_TRUE(ui.AllAnswersUsed());
}

TEST(ScriptedUiServices, DialogHandlerSeesTheDialogAndNeverRunsIt) {
    EnsureApp();
    lm::ScriptedUiServices ui;
    QDialog dlg;
    dlg.setWindowTitle("Plot Option");
    auto* edit = new QLineEdit(&dlg);
    ui.QueueDialog([](QDialog* d) {
        d->findChild<QLineEdit*>()->setText("filled");
        return int32_t(lm::kDialogAccepted);
    });
    EXPECT_EQ(ui.ExecDialog(&dlg), lm::kDialogAccepted);
    EXPECT_EQ(edit->text(), "filled");
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(ui.ExecDialog(&dlg), lm::kDialogRejected);  // nobody answers
    const auto calls = ui.CallsOf(Kind::Dialog);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].text, "Plot Option");
}

TEST(UiServices, ScopedInstallRestoresThePreviousServices) {
    lm::ScriptedUiServices outer;
    lm::ScriptedUiServices inner;
    {
        lm::ScopedUiServices a(&outer);
        EXPECT_EQ(&lm::Ui(), &outer);
        {
            lm::ScopedUiServices b(&inner);
            EXPECT_EQ(&lm::Ui(), &inner);
            lm::Ui().MessageBox(nullptr, "to inner", "", lm::MsgButtons::Ok, lm::MsgIcon::None);
        }
        EXPECT_EQ(&lm::Ui(), &outer);
    }
    // Back to the real dialogs.
    EXPECT_NE(dynamic_cast<lm::QtUiServices*>(&lm::Ui()), nullptr);
    EXPECT_EQ(inner.Count(Kind::MessageBox), 1);
    EXPECT_EQ(outer.Count(Kind::MessageBox), 0);
}

TEST(FilterFromMfc, ConvertsWindowsFilterPairs) {
    EXPECT_EQ(lm::FilterFromMfc("JPG Files (*.jpg)|*.jpg||"), "JPG Files (*.jpg)");
    EXPECT_EQ(lm::FilterFromMfc("Vexa Document (*.fld)|*.fld||"), "Vexa Document (*.fld)");
    // Several patterns and "*.*".
    EXPECT_EQ(lm::FilterFromMfc("Pictures|*.jpg;*.bmp|All Files (*.*)|*.*||"),
              "Pictures (*.jpg *.bmp);;All Files (*)");
    // A description whose parentheses differ from the patterns gets the real ones.
    EXPECT_EQ(lm::FilterFromMfc("PDF Files (*.pdf)|*.PDF||"), "PDF Files (*.PDF)");
    EXPECT_EQ(lm::FilterFromMfc(""), "");
    EXPECT_EQ(lm::FilterFromMfc("Odd|"), "Odd (*)");
}

}  // namespace
