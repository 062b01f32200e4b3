#pragma once
// The program's font dialog: Qt's font chooser with the text colour beside
// it. It gives back what the caller handed in, record for record, for every
// part of the font the user did not change: a face the system lacks is
// shown as its substitute, and taking that substitute (and its weight) on an
// untouched OK would rewrite the stored font.
#include <QDialog>
#include <QFont>

#include <functional>

#include "base/Geometry.h"
#include "base/LogFont.h"

class QFontDialog;
class QPushButton;

namespace lm {

class FontDialog : public QDialog {
    Q_OBJECT

public:
    // color null: the caller keeps no colour, and none is offered.
    FontDialog(const LOGFONT& font, const COLORREF* color, QWidget* parent = nullptr);
    ~FontDialog() override;

    QFontDialog* Chooser() const { return m_chooser; }
    // "Color...": null when no colour is offered.
    QPushButton* ColorButton() const { return m_colorButton; }

    // The given font with what the user changed in the chooser.
    LOGFONT GetFont() const;
    COLORREF GetColor() const { return m_color; }

private:
    void OnColor();
    void ShowColor();

    LOGFONT m_given;
    QFont m_shownAtStart;  // the chooser's font before the user touched it
    COLORREF m_color = 0;
    QFontDialog* m_chooser = nullptr;
    QPushButton* m_colorButton = nullptr;
};

// Runs the dialog through run (which returns a DialogResult) and, on OK,
// writes the outcome to *font and *color (color may be null). False when
// cancelled, with nothing written.
bool RunFontDialog(QWidget* parent, LOGFONT* font, COLORREF* color, const std::function<int32_t(QDialog*)>& run);

}  // namespace lm
