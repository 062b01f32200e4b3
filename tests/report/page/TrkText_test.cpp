// Text boxes on the page: their size when made, and the editor laid over
// them in the report view (typing, its menu and shortcuts, zoom and scroll).
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "base/Archive.h"
#include "platform/PaintHelpers.h"
#include "report/page/PagePainter.h"
#include "report/page/REditEx.h"
#include "report/page/TrkText.h"
#include "tests/report/ViewEvents.h"

using Kind = lm::ScriptedUiServices::Kind;

namespace {

TEST(TrkTextSize, SmallRectanglesGrowToTheMinimumAndAClickTakesTheDefaultSize) {
    struct Case {
        CRect given, made;
    };
    const Case cases[] = {
        {CRect(5, 5, 6, 6), CRect(5, 5, 105, 35)},          // 1 x 1: a click
        {CRect(5, 5, 15, 105), CRect(5, 5, 35, 105)},       // 10 x 100: only the width grows
        {CRect(5, 5, 205, 15), CRect(5, 5, 205, 30)},       // 200 x 10: only the height grows
        {CRect(5, 5, 7, 60), CRect(5, 5, 35, 60)},          // 2 x 55 is not a click
        {CRect(105, 105, 5, 5), CRect(5, 5, 105, 105)},     // inverted: normalised first
    };
    for (const Case& c : cases) EXPECT_EQ(CTrkText(c.given, nullptr).GetRect(), c.made) << c.given.left;
}

TEST(TrkTextSize, WithoutAViewNoEditorIsMadeAndTheFontDialogStillMarksTheDocument) {
    rtest::EnsureApp();
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped{&ui};
    CLumitraDoc doc;
    CTrkObj* text = doc.AddObject(MakeTextBox(&doc, CRect(10, 10, 10, 10)));
    doc.SetActiveObject(text);
    EXPECT_FALSE(static_cast<CTrkText*>(text)->IsEditing());

    doc.SetModifiedFlag(false);
    EXPECT_FALSE(ChooseObjectFont(text));  // cancelled
    EXPECT_FALSE(doc.IsModified());
    LOGFONT bold = text->GetFont();
    bold.lfWeight = FW_BOLD;
    ui.QueueFont(bold);
    EXPECT_TRUE(ChooseObjectFont(text));
    EXPECT_EQ(text->GetFont().lfWeight, FW_BOLD);
    EXPECT_TRUE(doc.IsModified());
}

class TrkTextViewTest : public vin::ViewFixture {
protected:
    void SetUp() override { OpenView(800, 600); }

    // A text box made from the page menu, being edited, the document unchanged.
    CTrkText* MakeFromMenu(CPoint at) {
        ui.QueueMenuChoice(kPageCmdTextBox);
        d->RightClick(at);
        auto* text = dynamic_cast<CTrkText*>(doc->GetActiveObject());
        if (text) doc->SetModifiedFlag(false);
        return text;
    }
    static void Type(QWidget* w, int key, const QString& chars = {}, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, mods, chars);
        QCoreApplication::sendEvent(w, &press);
    }
    QRect EditorPlace(const CTrkText& text) const {
        CRect inner = text.GetRect();
        inner.DeflateRect(kTextMargin, kTextMargin);
        return lm::ToQRect(view->LogicalRectToClient(inner));
    }
};

TEST_F(TrkTextViewTest, TypingMarksTheDocumentAndASaveInTheMiddleWritesTheEditedTextAndFont) {
    CTrkText* text = MakeFromMenu(CPoint(100, 100));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetRect(), CRect(100, 100, 200, 130));
    CREditEx* editor = text->GetEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(doc->IsModified());
    const QImage empty = CPagePainter::RenderArea(*doc, text->GetRect());

    Type(editor, Qt::Key_A, "a");
    Type(editor, Qt::Key_Return, "\r");
    Type(editor, Qt::Key_B, "b");
    // Closing now asks: the document knows it changed; a picture or a print
    // made now shows the text.
    EXPECT_TRUE(doc->IsModified());
    EXPECT_NE(CPagePainter::RenderArea(*doc, text->GetRect()), empty);

    // The editor's menu: "Font" takes the chosen font into the box at once.
    LOGFONT big = CTrkObj::DefaultFont();
    big.lfHeight = -30;
    ui.QueueMenuChoice(kEditCmdFont);
    ui.QueueFont(big);
    QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), editor->mapToGlobal(QPointF(5, 5)), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QCoreApplication::sendEvent(editor->viewport(), &right);
    const auto menu = ui.CallsOf(Kind::PopupMenu).back().menu;
    ASSERT_EQ(menu.size(), 6u);
    EXPECT_EQ(menu[0].text, "Copy");
    EXPECT_EQ(menu[5].text, "Undo");

    CArchive ar;
    doc->Serialize(ar);
    CLumitraDoc back;
    CArchive in(ar.Bytes());
    back.Serialize(in);
    ASSERT_EQ(back.GetObjectCount(), 1);
    auto* saved = dynamic_cast<CTrkText*>(back.GetObjectAt(0));
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->GetText(), "a\r\nb");
    EXPECT_EQ(saved->GetFont().lfHeight, -30);
}

TEST_F(TrkTextViewTest, EachShortcutActsOnceAndNoKeyReachesThePageObjects) {
    CTrkText* text = MakeFromMenu(CPoint(100, 100));
    ASSERT_NE(text, nullptr);
    CREditEx* editor = text->GetEditor();
    QGuiApplication::clipboard()->setText("xy");
    Type(editor, Qt::Key_V, {}, Qt::ControlModifier);
    EXPECT_EQ(text->GetText(), "xy");
    Type(editor, Qt::Key_A, {}, Qt::ControlModifier);
    Type(editor, Qt::Key_X, {}, Qt::ControlModifier);
    EXPECT_EQ(text->GetText(), "");
    Type(editor, Qt::Key_Z, {}, Qt::ControlModifier);
    EXPECT_EQ(text->GetText(), "xy");
    // Delete and Ctrl+G edit text; the box stays on the page.
    Type(editor, Qt::Key_Delete);
    Type(editor, Qt::Key_G, {}, Qt::ControlModifier);
    EXPECT_EQ(doc->GetObjectCount(), 1);
    EXPECT_EQ(doc->GetActiveObject(), text);
}

TEST_F(TrkTextViewTest, TheEditorFollowsZoomAndScrollAndRepeatedEditsKeepTheFontAndBreaks) {
    CTrkText* text = MakeFromMenu(CPoint(100, 100));
    ASSERT_NE(text, nullptr);
    doc->SetActiveObject(nullptr);
    text->SetText("one\r\ntwo");
    LOGFONT odd = CTrkObj::DefaultFont();
    odd.lfHeight = -13;
    text->SetFont(odd);
    doc->SetActiveObject(text);
    ASSERT_TRUE(view->SetZoom(1.7f));
    EXPECT_EQ(text->GetEditor()->geometry(), EditorPlace(*text));
    d->ScrollTo(40, 60);
    EXPECT_EQ(text->GetEditor()->geometry(), EditorPlace(*text));
    text->MoveBy(CSize(30, 0), false);
    EXPECT_EQ(text->GetEditor()->geometry(), EditorPlace(*text));

    doc->SetModifiedFlag(false);
    for (int i = 0; i < 5; ++i) {
        doc->SetActiveObject(nullptr);
        EXPECT_FALSE(text->IsEditing());
        doc->SetActiveObject(text);
        ASSERT_TRUE(text->IsEditing());
    }
    EXPECT_EQ(text->GetFont().lfHeight, -13);
    EXPECT_EQ(text->GetText(), "one\r\ntwo");
    EXPECT_FALSE(doc->IsModified());
}

}  // namespace
