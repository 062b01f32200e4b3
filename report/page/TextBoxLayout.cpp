#include "report/page/TextBoxLayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStringList>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace lm {

double TextBoxTabStop(const QFont& font) {
    // Metrics without a device: the font's own pixels, whatever the target.
    const QFontMetricsF fm(font);
    return std::max(1.0, fm.averageCharWidth() * kTextBoxTabChars);
}

QTextOption TextBoxOption(const QFont& font, double zoom) {
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(TextBoxTabStop(font) * (zoom > 0 ? zoom : 1.0));
    return option;
}

QStringList TextBoxParagraphs(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t.split(QLatin1Char('\n'));
}

std::vector<TextBoxLine> LayOutTextBox(const QString& text, const QFont& font, double width) {
    std::vector<TextBoxLine> lines;
    const QStringList paragraphs = TextBoxParagraphs(text);
    const QTextOption option = TextBoxOption(font);
    double y = 0;
    for (int p = 0; p < paragraphs.size(); ++p) {
        const QString& para = paragraphs[p];
        QTextLayout layout(para, font);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            // Lines are spaced with the font's leading, as the editor
            // spaces them.
            line.setLeadingIncluded(true);
            line.setLineWidth(std::max(0.0, width));
            TextBoxLine out;
            out.paragraph = p;
            out.start = line.textStart();
            out.length = line.textLength();
            out.top = y;
            // The leading lies below the text, as the editor draws it.
            out.baseline = y + line.ascent();
            out.height = line.height();
            // Runs between tabs, each where the layout put its first
            // character: tab stops are the layout's, not the device's.
            int from = out.start;
            const int end = out.start + out.length;
            while (from <= end) {
                int tab = para.indexOf(QLatin1Char('\t'), from);
                if (tab < 0 || tab > end) tab = end;
                QString piece = para.mid(from, tab - from);
                // The blanks a line wrapped at stay out of its last run.
                if (tab == end)
                    while (!piece.isEmpty() && piece.back().isSpace()) piece.chop(1);
                if (!piece.isEmpty()) out.runs.push_back({line.cursorToX(from), piece});
                from = tab + 1;
            }
            y += line.height();
            lines.push_back(std::move(out));
        }
        layout.endLayout();
    }
    return lines;
}

int TextBoxNeededWidth(const QString& text, const QFont& font) {
    const QFontMetricsF fm(font);
    QTextOption option = TextBoxOption(font);
    option.setWrapMode(QTextOption::NoWrap);
    double widest = 0;
    for (const QString& para : TextBoxParagraphs(text)) {
        if (para.contains(QLatin1Char('\t'))) {
            QTextLayout layout(para, font);
            layout.setTextOption(option);
            layout.beginLayout();
            QTextLine line = layout.createLine();
            if (line.isValid()) widest = std::max(widest, line.naturalTextWidth());
            layout.endLayout();
        }
        for (const QString& word : para.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            widest = std::max(widest, fm.horizontalAdvance(word));
    }
    // Units to spare: a line laid out in exactly its own width may still
    // break on the rounding of its advances, and the editor keeps room for
    // its cursor at the end of a line.
    return widest > 0 ? int(std::ceil(widest)) + kTextBoxWidthSpare : 0;
}

int TextBoxNeededHeight(const QString& text, const QFont& font, double width) {
    const std::vector<TextBoxLine> lines = LayOutTextBox(text, font, width);
    if (lines.empty()) return int(std::ceil(QFontMetricsF(font).lineSpacing()));
    return int(std::ceil(lines.back().top + lines.back().height));
}

void DrawTextBox(QPainter& p, const QString& text, const QFont& font, const QRectF& area) {
    if (area.isEmpty() || text.isEmpty()) return;
    p.setFont(font);
    for (const TextBoxLine& line : LayOutTextBox(text, font, area.width())) {
        if (line.top >= area.height()) break;
        for (const TextBoxRun& run : line.runs)
            p.drawText(QPointF(area.left() + run.x, area.top() + line.baseline), run.text);
    }
}

}  // namespace lm
