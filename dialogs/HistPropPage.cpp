#include "dialogs/HistPropPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>
#include <climits>
#include <cmath>

#include "base/Numbers.h"
#include "dialogs/ColorCombo.h"
#include "dialogs/DialogControls.h"
#include "dialogs/RecordWatch.h"
#include "platform/UiServices.h"
#include "report/page/LumitraDoc.h"
#include "report/plot/HistLayer.h"
#include "report/plot/Plot.h"

namespace {
// The "More" entry of a colour combo.
constexpr int kMoreEntry = CColorCombo::kEntries - 1;

// The layer keeps a pen width; the page shows it as the index of "1" .. "5".
int32_t WidthIndexOf(int32_t penWidth) {
    return std::clamp<int32_t>(penWidth - 1, 0, CHistPropPage::kLineWidths - 1);
}

int32_t MaxOf(float fixedMax) {
    if (!std::isfinite(fixedMax) || fixedMax < 1.0f) return 1;
    if (fixedMax >= float(INT_MAX)) return INT_MAX;
    return int32_t(fixedMax);
}
}  // namespace

CHistPropPage::CHistPropPage(QWidget* parent) : QWidget(parent) {
    m_width = lm::WithControlId(new QComboBox(this), kLineWidth);
    for (int i = 1; i <= kLineWidths; ++i) m_width->addItem(QString::number(i));
    m_cbLine = lm::WithControlId(new CColorCombo(this), kLine);
    m_cbFill = lm::WithControlId(new CColorCombo(this), kFill);
    m_auto = lm::WithControlId(new QCheckBox(QStringLiteral("Auto Scale"), this), kAutoScale);
    m_max = lm::WithControlId(new QLineEdit(this), kMax);
    m_countPercent = lm::WithControlId(new QComboBox(this), kCountPercent);
    m_countPercent->addItems({QStringLiteral("Count"), QStringLiteral("Percent")});
    m_countPercent->setToolTip(QStringLiteral("Count"));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->addWidget(new QLabel(QStringLiteral("Line"), this), 0, 0);
    grid->addWidget(m_cbLine, 0, 1);
    grid->addWidget(m_width, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Fill"), this), 1, 0);
    grid->addWidget(m_cbFill, 1, 1);
    grid->addWidget(m_auto, 2, 0, 1, 2);
    grid->addWidget(m_countPercent, 2, 2);
    grid->addWidget(new QLabel(QStringLiteral("Max"), this), 3, 0);
    grid->addWidget(m_max, 3, 1);
    grid->setRowStretch(4, 1);

    connect(m_auto, &QCheckBox::clicked, this, &CHistPropPage::OnAutoScale);
    connect(m_width, &QComboBox::activated, this, &CHistPropPage::OnWidth);
    connect(m_cbFill, &QComboBox::activated, this, [this](int i) { OnColor(m_cbFill, &m_crFill, i); });
    connect(m_cbLine, &QComboBox::activated, this, [this](int i) { OnColor(m_cbLine, &m_crLine, i); });
    for (CColorCombo* c : {m_cbFill, m_cbLine})
        connect(c, &CColorCombo::customColorChosen, this, [this] { m_customChosen = true; });
    connect(m_max, &QLineEdit::editingFinished, this, &CHistPropPage::OnMaxEdited);
    RefreshControls();
    setEnabled(false);
}

void CHistPropPage::SetPlot(CPLOT* plot) {
    m_pPlot = plot;
    CHistLayer* layer = plot ? plot->GetHistLayer() : nullptr;
    if (layer) {
        m_crFill = layer->GetColor();
        m_crLine = layer->GetOutlineColor();
        m_nLineWidth = WidthIndexOf(layer->GetOutlineWidth());
        m_nMax = MaxOf(layer->GetFixedMax());
        m_bAutoScale = layer->GetAutoScale();
    }
    // Nothing to edit without events or a histogram layer.
    setEnabled(layer && plot->HasData());
    RefreshControls();
}

void CHistPropPage::RefreshControls() {
    const QSignalBlocker b1(m_width), b2(m_cbFill), b3(m_cbLine), b4(m_auto), b5(m_max);
    m_width->setCurrentIndex(std::clamp<int32_t>(m_nLineWidth, 0, kLineWidths - 1));
    m_cbFill->SelectColor(m_crFill);
    m_cbFill->setCurrentIndex(0);
    m_cbLine->SelectColor(m_crLine);
    m_cbLine->setCurrentIndex(0);
    m_auto->setChecked(m_bAutoScale);
    if (!m_max->isModified()) {
        m_max->setText(QString::number(m_nMax));
        m_max->setModified(false);
    }
    m_max->setEnabled(!m_bAutoScale);
}

void CHistPropPage::OnAutoScale() {
    m_bAutoScale = m_auto->isChecked();
    m_max->setEnabled(!m_bAutoScale);
    ApplyToLayer();
}

void CHistPropPage::OnWidth(int index) {
    if (index < 0 || index >= kLineWidths) return;
    m_nLineWidth = index;
    ApplyToLayer();
}

void CHistPropPage::OnColor(CColorCombo* combo, COLORREF* member, int index) {
    if (index == kMoreEntry && !m_customChosen) {
        // The colour dialog was cancelled: the colour stays what it was.
        const QSignalBlocker block(combo);
        combo->SelectColor(*member);
        combo->setCurrentIndex(0);
        return;
    }
    m_customChosen = false;
    *member = combo->GetColor();
    ApplyToLayer();
}

void CHistPropPage::OnMaxEdited() {
    const std::string text = m_max->text().toStdString();
    int32_t value = 0;
    m_max->setModified(false);
    if (!lm::TryParseInt(text, &value) || value < 1) {
        // Not a peak a histogram can be drawn to: the old one stays, and the
        // user is told (the text first, so the box's focus finds it settled).
        m_max->setText(QString::number(m_nMax));
        lm::Ui().MessageBox(this,
                            QStringLiteral("Max: \"%1\" is not a whole number from 1 to %2: %3 is kept.")
                                .arg(QString::fromStdString(text).trimmed())
                                .arg(INT_MAX)
                                .arg(m_nMax),
                            QStringLiteral("Property"), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        return;
    }
    if (value == m_nMax) return;
    m_nMax = value;
    ApplyToLayer();
}

void CHistPropPage::ApplyToLayer() {
    CHistLayer* layer = m_pPlot ? m_pPlot->GetHistLayer() : nullptr;
    if (!layer) return;
    CRecordWatch watch(m_pPlot);
    layer->SetColor(m_crFill);
    layer->SetOutline(m_nLineWidth + 1, m_crLine);
    layer->SetAutoScale(m_bAutoScale);
    layer->SetFixedMax(float(m_nMax));
    layer->Recalculate();
    watch.Commit();
    m_pPlot->Repaint();
}
