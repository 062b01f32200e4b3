#include "report/page/REditEx.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>
#include <QTextCursor>

#include <algorithm>
#include <cmath>

#include "platform/PaintHelpers.h"
#include "platform/UiServices.h"
#include "report/page/TextBoxLayout.h"

CREditEx::CREditEx(QWidget* parent) : QPlainTextEdit(parent), m_font(LOGFONT{}) {
    setFrameShape(QFrame::NoFrame);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Lines break where the page breaks them (lm::LayOutTextBox): the
    // whole width, no margin, no scroll bar taking a part of it.
    document()->setDocumentMargin(0);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The editor lies over the white box it edits.
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_settingText) emit edited();
    });
}

void CREditEx::ApplyFont(const LOGFONT& font, COLORREF color, float zoom) {
    m_font = font;
    m_color = color;
    m_zoom = zoom > 0 ? zoom : 1.0f;
    const QFont page = lm::ToQFont(m_font);
    QFont f = page;
    if (f.pixelSize() > 0) f.setPixelSize(std::max(1, int(std::lround(f.pixelSize() * double(m_zoom)))));
    setFont(f);
    const QTextOption option = lm::TextBoxOption(page, m_zoom);
    setWordWrapMode(option.wrapMode());
    setTabStopDistance(option.tabStopDistance());
    QPalette pal = palette();
    pal.setColor(QPalette::Text, lm::ToQColor(m_color));
    setPalette(pal);
}

void CREditEx::SetZoom(float zoom) {
    if (zoom != m_zoom) ApplyFont(m_font, m_color, zoom);
}

void CREditEx::ReadBack(LOGFONT* font, COLORREF* color, std::string* text) const {
    if (font) *font = m_font;
    if (color) *color = m_color;
    if (text) *text = toPlainText().toStdString();
}

void CREditEx::SetText(const std::string& utf8) {
    m_settingText = true;
    setPlainText(QString::fromStdString(utf8));
    m_settingText = false;
}

double CREditEx::BlockTop(const QTextBlock& block) const {
    return blockBoundingGeometry(block).translated(contentOffset()).top();
}

void CREditEx::RunCommand(int32_t id) {
    switch (id) {
        case kEditCmdCopy: copy(); break;
        case kEditCmdCut: cut(); break;
        case kEditCmdPaste: paste(); break;
        case kEditCmdClear: textCursor().removeSelectedText(); break;
        case kEditCmdFont: ShowFont(); break;
        case kEditCmdUndo: undo(); break;
        case kEditCmdSelectAll: selectAll(); break;
        default: break;
    }
}

int32_t CREditEx::ShortcutCommand(const QKeyEvent* e) {
    if ((e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != Qt::ControlModifier) return 0;
    switch (e->key()) {
        case Qt::Key_A: return kEditCmdSelectAll;
        case Qt::Key_C: return kEditCmdCopy;
        case Qt::Key_V: return kEditCmdPaste;
        case Qt::Key_X: return kEditCmdCut;
        case Qt::Key_Z: return kEditCmdUndo;
        default: return 0;
    }
}

bool CREditEx::event(QEvent* e) {
    // The window's own shortcuts (the Edit menu's Ctrl+C, ...) must not take
    // these keys from the editor.
    if (e->type() == QEvent::ShortcutOverride && ShortcutCommand(static_cast<QKeyEvent*>(e)) != 0) {
        e->accept();
        return true;
    }
    return QPlainTextEdit::event(e);
}

void CREditEx::keyPressEvent(QKeyEvent* e) {
    // The shortcut is carried out here and nowhere else: handing it on to
    // the edit's own handling as well would paste twice.
    if (const int32_t cmd = ShortcutCommand(e)) {
        RunCommand(cmd);
    } else {
        QPlainTextEdit::keyPressEvent(e);
    }
    e->accept();
}

void CREditEx::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) {
        ShowMenu(e->globalPosition().toPoint());
        e->accept();
        return;
    }
    QPlainTextEdit::mousePressEvent(e);
}

void CREditEx::contextMenuEvent(QContextMenuEvent* e) {
    // The menu opened at the press already; the edit's own menu would be a
    // second one.
    e->accept();
}

void CREditEx::ShowMenu(const QPoint& globalPos) {
    const std::vector<lm::MenuItem> items{
        lm::MenuItem::Command(kEditCmdCopy, QStringLiteral("Copy")),
        lm::MenuItem::Command(kEditCmdCut, QStringLiteral("Cut")),
        lm::MenuItem::Command(kEditCmdPaste, QStringLiteral("Paste")),
        lm::MenuItem::Command(kEditCmdClear, QStringLiteral("Clear")),
        lm::MenuItem::Command(kEditCmdFont, QStringLiteral("Font")),
        lm::MenuItem::Command(kEditCmdUndo, QStringLiteral("Undo")),
    };
    // The menu's own event loop may let the editor go.
    QPointer<CREditEx> self(this);
    const int32_t cmd = lm::Ui().TrackPopupMenu(this, items, globalPos);
    if (self) RunCommand(cmd);
}

void CREditEx::ShowFont() {
    LOGFONT font = m_font;
    COLORREF color = m_color;
    QPointer<CREditEx> self(this);
    if (!lm::Ui().ChooseFont(this, &font, &color) || !self) return;
    // OK on what was there is no edit: the report must not ask to be saved.
    if (font == m_font && color == m_color) return;
    ApplyFont(font, color, m_zoom);
    emit edited();
}
