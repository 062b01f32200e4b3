#pragma once
// How a text box lays out its text: one layout in page units, made without
// any paint device, that the page, the picture, the printer and the editor
// all follow. A layout made on a device would let the device's resolution
// into it: a printer's 1200 dpi makes Qt's default tab stops 12.5 times as
// wide, so every tab broke the line on paper while the screen showed tab
// stops.
//
// Paragraphs are the text's lines ("\n"; "\r\n" and "\r" count as one);
// each wraps at word boundaries, or anywhere inside a word wider than the
// box, as the editor wraps; tab stops lie every kTabChars average character
// widths of the font.
#include <QFont>
#include <QRectF>
#include <QString>
#include <QTextOption>

#include <vector>

class QPainter;

namespace lm {

// Tab stops every this many average character widths.
constexpr int kTextBoxTabChars = 8;

// Distance between tab stops for font, in the font's pixels (page units).
double TextBoxTabStop(const QFont& font);
// Wrapping and tab stops of a text box in font (tabs scaled by zoom, for an
// editor whose font is shown zoom times its size).
QTextOption TextBoxOption(const QFont& font, double zoom = 1.0);

// A piece of a line between tabs, placed where it starts.
struct TextBoxRun {
    double x = 0;  // from the left of the text area
    QString text;
};

struct TextBoxLine {
    int paragraph = 0;
    int start = 0;   // in the paragraph
    int length = 0;  // characters of the paragraph on this line
    double top = 0;  // from the top of the text area
    double baseline = 0;
    double height = 0;
    std::vector<TextBoxRun> runs;  // without the tabs
};

// The lines of text in font within width page units.
std::vector<TextBoxLine> LayOutTextBox(const QString& text, const QFont& font, double width);
// The width text in font needs so that no line breaks where breaking would
// spoil it: a paragraph with tabs (a table: wrapped, its columns would no
// longer line up) whole, and the widest word of any paragraph. Other text
// may wrap. Rounded up to whole page units.
constexpr int kTextBoxWidthSpare = 3;
int TextBoxNeededWidth(const QString& text, const QFont& font);
// The height of text laid out in font within width page units (one empty
// line for no text), rounded up to whole page units.
int TextBoxNeededHeight(const QString& text, const QFont& font, double width);
// The paragraphs LayOutTextBox lays out.
QStringList TextBoxParagraphs(const QString& text);
// Draws text into area (page units of p) as LayOutTextBox lays it out, in
// p's font and pen; lines below the area are left out.
void DrawTextBox(QPainter& p, const QString& text, const QFont& font, const QRectF& area);

}  // namespace lm
