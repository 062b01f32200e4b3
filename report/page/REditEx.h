#pragma once
// The in-place text editor: a plain multi-line edit with one font and one
// text colour for all of its text, a right-click menu ("Copy", "Cut",
// "Paste", "Clear", "Font", "Undo", through lm::Ui()) and the shortcuts
// Ctrl+A, C, V, X and Z. Each menu choice or shortcut acts exactly once, and
// every key press stays in the editor: none reaches the window below it,
// where Delete or Ctrl+C would act on page objects.
//
// The font is kept as given (a LOGFONT in page units) and only shown scaled
// by the zoom, so reading it back never rounds it: a box edited many times
// keeps its size.
#include <QPlainTextEdit>
#include <QTextBlock>

#include <string>

#include "base/Geometry.h"
#include "base/LogFont.h"

// Items of the editor's menu.
enum REditMenuCommand : int32_t {
    kEditCmdCopy = 1,
    kEditCmdCut = 2,
    kEditCmdPaste = 3,
    kEditCmdClear = 4,
    kEditCmdFont = 5,
    kEditCmdUndo = 6,
    kEditCmdSelectAll = 7,  // Ctrl+A only
};

class CREditEx : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit CREditEx(QWidget* parent);

    // The font and colour of all the text; the font is shown at zoom times
    // its size.
    void ApplyFont(const LOGFONT& font, COLORREF color, float zoom = 1.0f);
    void SetZoom(float zoom);
    // The text and the kept font and colour. Null arguments are skipped.
    void ReadBack(LOGFONT* font, COLORREF* color, std::string* text) const;
    // Replaces the text without reporting an edit (the undo history starts
    // afresh).
    void SetText(const std::string& utf8);

    // Top of a paragraph in the editor's text area (its first line's top).
    double BlockTop(const QTextBlock& block) const;

    // Carries out one menu command (REditMenuCommand).
    void RunCommand(int32_t id);

signals:
    // The user changed the text, the font or the colour.
    void edited();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // The command a Ctrl shortcut stands for, or 0.
    static int32_t ShortcutCommand(const QKeyEvent* event);
    void ShowMenu(const QPoint& globalPos);
    void ShowFont();

    LOGFONT m_font;
    COLORREF m_color = 0;
    float m_zoom = 1.0f;
    bool m_settingText = false;
};
