// Text boxes on the page: their size when made, and the editor laid over
// them in the report view (typing, its menu and shortcuts, zoom and scroll).
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>
#include <functional>
#include <vector>

#include "base/Archive.h"
#include "platform/FontDialog.h"
#include "platform/PaintHelpers.h"
#include "report/page/PagePainter.h"
#include "report/page/REditEx.h"
#include "report/page/TextBoxLayout.h"
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


// ============================================================ one layout

// Where ink lies in a picture of a text box, per band of page units (the
// lines the layout gives): the left edges of its pieces of text (ink
// separated by more than gap units), in page units. A band without ink
// gives no piece.
std::vector<std::vector<double>> InkOf(const QImage& img, double unitsPerPixel, double gap, double originY,
                                       const std::vector<std::pair<double, double>>& bands) {
    std::vector<std::vector<double>> out;
    for (const auto& [top, bottom] : bands) {
        // The middle of each band only: antialiasing may reach across.
        const int y0 = int(std::ceil((originY + top + 2) / unitsPerPixel));
        const int y1 = std::min(img.height(), int((originY + bottom - 2) / unitsPerPixel));
        std::vector<double> lefts;
        int lastInk = -1000000;
        for (int x = 0; x < img.width(); ++x) {
            bool ink = false;
            for (int y = y0; y < y1 && !ink; ++y) ink = qGray(img.pixel(x, y)) < 128;
            if (!ink) continue;
            if ((x - lastInk) * unitsPerPixel > gap) lefts.push_back(x * unitsPerPixel);
            lastInk = x;
        }
        out.push_back(lefts);
    }
    return out;
}

// The box drawn at scale pixels a unit on a device of dpi dots an inch
// (a printer page is 1200 dpi; a picture and the screen 96).
QImage DrawnBox(CTrkText& box, double scale, double dpi, bool paper) {
    const CRect r = box.GetRect();
    QImage img(int(r.Width() * scale), int(r.Height() * scale), QImage::Format_RGB32);
    img.setDotsPerMeterX(int(dpi / 0.0254));
    img.setDotsPerMeterY(int(dpi / 0.0254));
    img.fill(Qt::white);
    QPainter p(&img);
    p.scale(scale, scale);
    p.translate(-r.left, -r.top);
    if (paper) box.DrawPrint(&p);
    else box.Draw(&p);
    return img;
}

TEST(TrkTextLayout, TabsStopAtEveryStopAfterTheTextAndLinesBreakAtWords) {
    rtest::EnsureApp();
    const QFont font = lm::ToQFont(CTrkObj::DefaultFont());
    const double stop = lm::TextBoxTabStop(font);
    ASSERT_GT(stop, 8.0);
    const QFontMetricsF fm(font);
    struct Case {
        const char* text;
        double width;
        std::vector<std::vector<double>> runStarts;  // in tab stops, per line
    } cases[] = {
        {"a\tb\tc", 1000, {{0, 1, 2}}},
        {"\tb", 1000, {{1}}},
        {"a\t\tb", 1000, {{0, 2}}},  // two tabs: two stops
        {"a\nb\r\nc\rd", 1000, {{0}, {0}, {0}, {0}}},
        {"x\n\ny", 1000, {{0}, {}, {0}}},  // an empty line keeps its height
    };
    for (const Case& c : cases) {
        const auto lines = lm::LayOutTextBox(QString::fromUtf8(c.text), font, c.width);
        ASSERT_EQ(lines.size(), c.runStarts.size()) << c.text;
        for (size_t i = 0; i < lines.size(); ++i) {
            ASSERT_EQ(lines[i].runs.size(), c.runStarts[i].size()) << c.text << " line " << i;
            for (size_t k = 0; k < lines[i].runs.size(); ++k)
                EXPECT_NEAR(lines[i].runs[k].x, c.runStarts[i][k] * stop, 0.01) << c.text << " line " << i;
            if (i > 0) {
                EXPECT_NEAR(lines[i].top, lines[i - 1].top + lines[i - 1].height, 1e-9) << c.text;
            }
        }
    }
    // Text wider than a stop goes on to the next stop.
    const QString wide = QString(int(stop / fm.averageCharWidth()) + 2, QLatin1Char('m'));
    const auto past = lm::LayOutTextBox(wide + QStringLiteral("\tz"), font, 10000);
    ASSERT_EQ(past.size(), 1u);
    ASSERT_EQ(past[0].runs.size(), 2u);
    EXPECT_NEAR(past[0].runs[1].x, std::ceil((fm.horizontalAdvance(wide) + 0.01) / stop) * stop, 1.0);
    // Words that do not fit go to the next line whole; a word wider than the
    // box is broken.
    const double word = fm.horizontalAdvance(QStringLiteral("alpha "));
    const auto wrapped = lm::LayOutTextBox(QStringLiteral("alpha beta gamma"), font, word * 1.5);
    ASSERT_EQ(wrapped.size(), 3u);
    EXPECT_EQ(wrapped[1].runs.at(0).text, "beta");
    const auto broken = lm::LayOutTextBox(QString(40, QLatin1Char('w')), font, 50);
    EXPECT_GT(broken.size(), 3u);
    for (const auto& l : broken) EXPECT_GT(l.length, 0);
}

TEST(TrkTextLayout, ScreenPictureAndPaperPutTheSameTextOnTheSameLinesAndStops) {
    rtest::EnsureApp();
    CTrkText box(CRect(0, 0, 300, 160), nullptr);
    // Pieces short enough to leave a wide gap before the next stop.
    box.SetText("R1\t44\t1.5\r\nM\t5.0\t7\r\n\r\na long line of words that wraps at a word boundary");
    CRect inner = box.GetRect();
    inner.DeflateRect(kTextMargin, kTextMargin);
    const auto lines =
        lm::LayOutTextBox(QString::fromStdString(box.GetText()), lm::ToQFont(box.GetFont()), inner.Width());
    ASSERT_EQ(lines.size(), 5u);  // two tab lines, the empty one, the long one wrapped once
    std::vector<std::pair<double, double>> bands;
    for (const auto& l : lines) bands.push_back({l.top, l.top + l.height});
    const double y0 = kTextMargin;
    // Pieces are told apart by gaps wider than a letter's, narrower than a
    // tab's.
    const double gap = 12.0;
    const auto screen = InkOf(DrawnBox(box, 1.0, 96, false), 1.0, gap, y0, bands);
    EXPECT_EQ(screen[0].size(), 3u);
    EXPECT_EQ(screen[1].size(), 3u);
    EXPECT_TRUE(screen[2].empty());
    struct Target {
        const char* name;
        double scale, dpi;
        bool paper;
    } targets[] = {
        {"picture", 1.0, 96, true},
        {"printer page", 4.0, 1200, true},
        {"zoom 200 %", 2.0, 96, false},
        {"zoom 50 %", 0.5, 96, false},
    };
    for (const Target& t : targets) {
        const auto ink = InkOf(DrawnBox(box, t.scale, t.dpi, t.paper), 1.0 / t.scale, gap, y0, bands);
        for (size_t i = 0; i < ink.size(); ++i) {
            // The lines of words: their ink starts where the screen's does
            // (the gaps between words are too narrow to count at 50 %).
            const size_t pieces = i < 3 ? screen[i].size() : std::min<size_t>(1, screen[i].size());
            ASSERT_GE(ink[i].size(), pieces) << t.name << " line " << i;
            if (i < 3) {
                EXPECT_EQ(ink[i].size(), pieces) << t.name << " line " << i;
            }
            for (size_t k = 0; k < pieces; ++k) EXPECT_NEAR(ink[i][k], screen[i][k], 2.5) << t.name << " line " << i;
        }
    }
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

// The editor's "Font" runs the program's font dialog: OK untouched leaves
// the stored "宋体" as it was and the report clean; a colour chosen there is
// the box's text colour, drawn and saved.
TEST_F(TrkTextViewTest, TheFontDialogUntouchedKeepsTheFontAndItsColourIsDrawnAndSaved) {
    CTrkText* text = MakeFromMenu(CPoint(100, 100));
    ASSERT_NE(text, nullptr);
    CREditEx* editor = text->GetEditor();
    ASSERT_NE(editor, nullptr);
    for (const char* c : {"W", "W", "W"}) Type(editor, Qt::Key_W, c);
    const LOGFONT stored = text->GetFont();
    ASSERT_EQ(stored.lfFaceName, "宋体");
    doc->SetModifiedFlag(false);
    auto font = [&](std::function<int32_t(QDialog*)> use) {
        ui.QueueMenuChoice(kEditCmdFont);
        ui.QueueFontDialog(std::move(use));
        QMouseEvent right(QEvent::MouseButtonPress, QPointF(5, 5), editor->mapToGlobal(QPointF(5, 5)),
                          Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        QCoreApplication::sendEvent(editor->viewport(), &right);
    };
    font([](QDialog*) { return int32_t(lm::kDialogAccepted); });
    EXPECT_EQ(text->GetFont(), stored);
    EXPECT_FALSE(doc->IsModified());

    ui.QueueColor(RGB(255, 0, 0));
    font([](QDialog* d) {
        auto* button = static_cast<lm::FontDialog*>(d)->ColorButton();
        EXPECT_NE(button, nullptr);
        if (button) button->click();
        return int32_t(lm::kDialogAccepted);
    });
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(text->GetTextColor(), RGB(255, 0, 0));
    EXPECT_EQ(text->GetFont(), stored);
    // Drawn in red.
    const QImage img = CPagePainter::RenderArea(*doc, text->GetRect());
    int red = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 120 && c.blue() < 120) ++red;
        }
    EXPECT_GT(red, 5);
    // Saved and read back with its colour.
    CArchive ar;
    doc->Serialize(ar);
    CLumitraDoc back;
    CArchive in(ar.Bytes());
    back.Serialize(in);
    ASSERT_EQ(back.GetObjectCount(), 1);
    EXPECT_EQ(back.GetObjectAt(0)->GetTextColor(), RGB(255, 0, 0));
    EXPECT_EQ(back.GetObjectAt(0)->GetFont(), stored);
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


TEST_F(TrkTextViewTest, TheEditorBreaksLinesAndPlacesTabsAsThePageDoes) {
    CTrkText* text = MakeFromMenu(CPoint(100, 100));
    ASSERT_NE(text, nullptr);
    doc->SetActiveObject(nullptr);
    text->SetRect(CRect(100, 100, 260, 220), false);
    text->SetText("Events\t441\t9\r\nsome words that wrap in the box\r\n\tx\r\nunbreakablewordwiderthanthebox");
    doc->SetActiveObject(text);
    CREditEx* editor = text->GetEditor();
    ASSERT_NE(editor, nullptr);
    (void)editor->grab();  // lays the text out
    CRect inner = text->GetRect();
    inner.DeflateRect(kTextMargin, kTextMargin);
    const auto lines = lm::LayOutTextBox(QString::fromStdString(text->GetText()), lm::ToQFont(text->GetFont()),
                                         inner.Width());
    size_t k = 0;
    for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next()) {
        QTextLayout* layout = b.layout();
        ASSERT_NE(layout, nullptr);
        for (int i = 0; i < layout->lineCount(); ++i, ++k) {
            ASSERT_LT(k, lines.size());
            const QTextLine line = layout->lineAt(i);
            EXPECT_EQ(lines[k].paragraph, b.blockNumber());
            EXPECT_EQ(line.textStart(), lines[k].start) << "line " << k;
            EXPECT_EQ(line.textLength(), lines[k].length) << "line " << k;
            EXPECT_NEAR(editor->BlockTop(b) + line.y(), lines[k].top, 0.5) << "line " << k;
            // The editor draws a line's text at its ascent below its top.
            EXPECT_NEAR(editor->BlockTop(b) + line.y() + line.ascent(), lines[k].baseline, 0.5) << "line " << k;
            for (const lm::TextBoxRun& run : lines[k].runs) {
                const int at = b.text().indexOf(run.text, line.textStart());
                EXPECT_NEAR(line.cursorToX(at), run.x, 0.5) << "line " << k << " " << run.text.toStdString();
            }
        }
    }
    EXPECT_EQ(k, lines.size());
    EXPECT_GT(lines.size(), 5u);  // the wrapping and the breaking both happened
}


// Types text into w key by key: "\t" as Tab, "\n" as Enter.
void TypeText(QWidget* w, const QString& text) {
    for (QChar c : text) {
        const int key = c == QLatin1Char('\t') ? int(Qt::Key_Tab) : c == QLatin1Char('\n') ? int(Qt::Key_Return) : 0;
        const QString chars = c == QLatin1Char('\n') ? QStringLiteral("\r") : QString(c);
        QKeyEvent press(QEvent::KeyPress, key ? key : int(c.toUpper().unicode()), Qt::NoModifier, chars);
        QCoreApplication::sendEvent(w, &press);
    }
}

// Non-white pixels of the page in area.
int Ink(const CLumitraDoc& doc, const CRect& area) {
    const QImage image = CPagePainter::RenderArea(doc, area).convertToFormat(QImage::Format_RGB32);
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ink += image.pixel(x, y) != qRgb(255, 255, 255);
    return ink;
}

TEST_F(TrkTextViewTest, TheBoxGrowsAsTextIsTypedSoAllOfItShowsOnPageAndInTheEditor) {
    const int32_t pageWidth = doc->GetPageSize().cx;
    ASSERT_GT(pageWidth, 300);
    struct Case {
        const char* name;
        CPoint at;
        const char* typed;
        bool toPageEdge;  // the table is wider than what is left of the page
    } cases[] = {
        {"a table", CPoint(100, 100), "Gate\tPercent\tMean\nG1\t6.17\t123.4", false},
        {"lines", CPoint(100, 100), "one\ntwo\nthree\nfour\nfive", false},
        {"a long word", CPoint(100, 100), "Unbreakablewordwiderthanthebox", false},
        {"a table at the page's edge", CPoint(pageWidth - 150, 100),
         "Gate\tPercent\tMean\tCV\tMedian\tPeak\nG1\t6.17\t123.4\t8.1\t120\t119", true},
    };
    for (const Case& c : cases) {
        CTrkText* text = MakeFromMenu(c.at);
        ASSERT_NE(text, nullptr) << c.name;
        CREditEx* editor = text->GetEditor();
        ASSERT_NE(editor, nullptr) << c.name;
        TypeText(editor, QString::fromUtf8(c.typed));
        const CRect r = text->GetRect();
        EXPECT_EQ(r.TopLeft(), c.at) << c.name;
        EXPECT_GE(r.Width(), kTextDefaultSize.cx) << c.name;
        EXPECT_GT(r.Height(), kTextDefaultSize.cy) << c.name;
        if (c.toPageEdge) EXPECT_EQ(r.right, pageWidth) << c.name;
        EXPECT_LE(r.right, pageWidth) << c.name;

        // Every line lies inside the box, and a table row or a word stays
        // whole unless the page's edge stops the box.
        CRect inner = r;
        inner.DeflateRect(kTextMargin, kTextMargin);
        const QString typed = QString::fromUtf8(c.typed);
        const auto lines = lm::LayOutTextBox(typed, lm::ToQFont(text->GetFont()), inner.Width());
        ASSERT_FALSE(lines.empty()) << c.name;
        EXPECT_LE(lines.back().top + lines.back().height, inner.Height()) << c.name;
        if (!c.toPageEdge) EXPECT_EQ(int(lines.size()), int(typed.count(QLatin1Char('\n'))) + 1) << c.name;
        // The last piece typed is on the page.
        const lm::TextBoxRun& last = lines.back().runs.back();
        const QFontMetricsF fm(lm::ToQFont(text->GetFont()));
        const CRect lastInk(inner.left + int(last.x), inner.top + int(lines.back().top),
                            inner.left + int(std::ceil(last.x + fm.horizontalAdvance(last.text))),
                            inner.top + int(std::ceil(lines.back().top + lines.back().height)));
        EXPECT_GT(Ink(*doc, lastInk), 0) << c.name;
        // The editor lies over the whole box and scrolls nothing out of view.
        EXPECT_EQ(editor->geometry(), EditorPlace(*text)) << c.name;
        (void)editor->grab();
        EXPECT_EQ(editor->verticalScrollBar()->maximum(), 0) << c.name;
        EXPECT_EQ(editor->verticalScrollBar()->value(), 0) << c.name;

        // Written and read, the grown box is stored as it is.
        CArchive out;
        text->Store(out);
        CTrkText back(doc.get());
        CArchive in(out.Bytes());
        back.Load(in);
        EXPECT_EQ(back.GetRect(), r) << c.name;
        EXPECT_EQ(QString::fromStdString(back.GetText()), QString(typed).replace(QLatin1Char('\n'), QStringLiteral("\r\n")))
            << c.name;
        doc->SetActiveObject(nullptr);
        doc->RemoveObject(text, false);
    }
}

TEST_F(TrkTextViewTest, ABoxTheUserMadeLargeKeepsItsSizeWhileTyping) {
    CTrkText* text = MakeFromMenu(CPoint(100, 100));
    ASSERT_NE(text, nullptr);
    text->SetRect(CRect(100, 100, 400, 300), false);
    TypeText(text->GetEditor(), QStringLiteral("G1\t6.17"));
    EXPECT_EQ(text->GetRect(), CRect(100, 100, 400, 300));
    EXPECT_EQ(text->GetText(), "G1\t6.17");
}

TEST_F(TrkTextViewTest, ABoxGrownPastTheLastPageRowAddsARow) {
    const int32_t down = doc->GetPagesDown();
    const int32_t bottom = doc->GetCanvasSize().cy;
    CTrkText* text = MakeFromMenu(CPoint(100, bottom - 40));
    ASSERT_NE(text, nullptr);
    TypeText(text->GetEditor(), QStringLiteral("1\n2\n3\n4\n5"));
    EXPECT_GT(text->GetRect().bottom, bottom);
    EXPECT_EQ(doc->GetPagesDown(), down + 1);
    EXPECT_LE(text->GetRect().bottom, doc->GetCanvasSize().cy);
}

}  // namespace
