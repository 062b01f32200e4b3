#include "dialogs/ColorCombo.h"

#include <QPainter>
#include <QPixmap>

#include "platform/UiServices.h"

namespace {
constexpr int kMore = CColorCombo::kEntries - 1;

QIcon Swatch(COLORREF c) {
    QPixmap pm(24, 12);
    pm.fill(QColor(GetRValue(c), GetGValue(c), GetBValue(c)));
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.drawRect(0, 0, pm.width() - 1, pm.height() - 1);
    return QIcon(pm);
}
}  // namespace

CColorCombo::CColorCombo(QWidget* parent)
    : QComboBox(parent),
      m_colors{kNone,    kNone,    0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF,
               0xFFFF00, 0x000080, 0x008000, 0x800000, 0x008080, 0x808000, 0x800080} {
    for (int i = 0; i < kEntries; ++i) {
        addItem(QString());
        RefreshItem(i);
    }
    setCurrentIndex(0);
    connect(this, &QComboBox::activated, this, &CColorCombo::OnActivated);
}

void CColorCombo::RefreshItem(int index) {
    if (index == kMore) {
        setItemText(index, QStringLiteral("More"));
        setItemIcon(index, m_crCustom == kNone ? QIcon() : Swatch(m_crCustom));
    } else if (m_colors[size_t(index)] == kNone) {
        setItemText(index, QStringLiteral("None"));
        setItemIcon(index, QIcon());
    } else {
        setItemText(index, QString());
        setItemIcon(index, Swatch(m_colors[size_t(index)]));
    }
}

void CColorCombo::SelectColor(COLORREF color) {
    m_colors[0] = color;
    RefreshItem(0);
}

COLORREF CColorCombo::GetColor() const {
    const int i = currentIndex();
    if (i == kMore) return m_crCustom;
    return i >= 0 && i < kEntries ? m_colors[size_t(i)] : kNone;
}

void CColorCombo::OnActivated(int index) {
    if (index != kMore) return;
    COLORREF chosen = m_crCustom;
    if (!lm::Ui().ChooseColor(this, &chosen)) return;
    m_crCustom = chosen;
    RefreshItem(kMore);
    emit customColorChosen(chosen);
}
