#include "platform/FontDialog.h"

#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QHBoxLayout>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

#include "platform/PaintHelpers.h"
#include "platform/UiServices.h"

namespace lm {

FontDialog::FontDialog(const LOGFONT& font, const COLORREF* color, QWidget* parent)
    : QDialog(parent), m_given(font), m_color(color ? *color : 0) {
    setWindowTitle(QStringLiteral("Font"));
    // Qt's chooser as a child widget: its lists and sample, our buttons.
    m_chooser = new QFontDialog(this);
    m_chooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_chooser->setWindowFlags(Qt::Widget);
    m_chooser->setCurrentFont(ToQFont(font));
    m_shownAtStart = m_chooser->currentFont();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* bottom = new QHBoxLayout;
    if (color) {
        m_colorButton = new QPushButton(QStringLiteral("Color..."), this);
        m_colorButton->setAutoDefault(false);
        connect(m_colorButton, &QPushButton::clicked, this, &FontDialog::OnColor);
        bottom->addWidget(m_colorButton);
        ShowColor();
    }
    bottom->addStretch();
    bottom->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_chooser);
    layout->addLayout(bottom);
    m_chooser->show();
}

FontDialog::~FontDialog() = default;

void FontDialog::OnColor() {
    COLORREF c = m_color;
    if (!Ui().ChooseColor(this, &c)) return;
    m_color = c;
    ShowColor();
}

void FontDialog::ShowColor() {
    if (!m_colorButton) return;
    QPixmap swatch(16, 16);
    swatch.fill(ToQColor(m_color));
    m_colorButton->setIcon(QIcon(swatch));
    // The sample shows the text in the colour it will have.
    QPalette pal = m_chooser->palette();
    pal.setColor(QPalette::Text, ToQColor(m_color));
    pal.setColor(QPalette::WindowText, ToQColor(m_color));
    for (QLineEdit* sample : m_chooser->findChildren<QLineEdit*>())
        if (qobject_cast<QGroupBox*>(sample->parentWidget())) sample->setPalette(pal);
}

LOGFONT FontDialog::GetFont() const {
    const QFont now = m_chooser->currentFont();
    // Each part the user left as shown stays as given; only what was chosen
    // is taken from the chooser.
    LOGFONT out = FromQFont(now, m_given);
    if (now.family() == m_shownAtStart.family()) out.lfFaceName = m_given.lfFaceName;
    if (now.weight() == m_shownAtStart.weight()) out.lfWeight = m_given.lfWeight;
    if (now.italic() == m_shownAtStart.italic()) out.lfItalic = m_given.lfItalic;
    if (now.underline() == m_shownAtStart.underline()) out.lfUnderline = m_given.lfUnderline;
    if (now.strikeOut() == m_shownAtStart.strikeOut()) out.lfStrikeOut = m_given.lfStrikeOut;
    const bool sameSize = now.pixelSize() == m_shownAtStart.pixelSize() &&
                          std::abs(now.pointSizeF() - m_shownAtStart.pointSizeF()) < 1e-6;
    if (sameSize) {
        out.lfHeight = m_given.lfHeight;
        out.lfWidth = m_given.lfWidth;
    }
    return out;
}

bool RunFontDialog(QWidget* parent, LOGFONT* font, COLORREF* color, const std::function<int32_t(QDialog*)>& run) {
    if (!font || !run) return false;
    FontDialog dlg(*font, color, parent);
    if (run(&dlg) != kDialogAccepted) return false;
    *font = dlg.GetFont();
    if (color) *color = dlg.GetColor();
    return true;
}

}  // namespace lm
