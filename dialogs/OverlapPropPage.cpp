#include "dialogs/OverlapPropPage.h"

#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "dialogs/DialogControls.h"
#include "dialogs/GateListBox.h"
#include "dialogs/RecordWatch.h"
#include "report/page/LumitraDoc.h"
#include "report/plot/ContourLayer.h"
#include "report/plot/DensityLayer.h"
#include "report/plot/DotLayer.h"
#include "report/plot/HistLayer.h"
#include "report/plot/Plot.h"

COverlapPropPage::COverlapPropPage(QWidget* parent) : QWidget(parent) {
    m_list = lm::WithControlId(new COverlapList(this), kList);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_list);
    connect(m_list, &QListWidget::itemChanged, this, &COverlapPropPage::OnChecked);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &COverlapPropPage::OnDoubleClicked);
}

QString COverlapPropPage::RowText(const CLayer& layer) {
    const CGateNode* gate = layer.GetLayerGate();
    const VexaDataShell* shell = gate ? gate->GetShell() : nullptr;
    QString kind;
    if (dynamic_cast<const CDotLayer*>(&layer))
        kind = QStringLiteral("Dot");
    else if (dynamic_cast<const CHistLayer*>(&layer))
        kind = QStringLiteral("Hist");
    else if (dynamic_cast<const CContourLayer*>(&layer))
        kind = QStringLiteral("Contour");
    else if (dynamic_cast<const CDensityLayer*>(&layer))
        kind = QStringLiteral("Density");
    return (shell ? QString::fromStdString(shell->GetFileName()) : QString()) + QStringLiteral(" @ ") +
           (gate ? QString::fromStdString(gate->GetDisplayName()) : QString()) + QStringLiteral(" -- ") + kind;
}

void COverlapPropPage::SetPlot(CPLOT* plot) {
    m_pPlot = plot;
    m_bBinding = true;
    const QSignalBlocker block(m_list);
    m_list->ResetContent();
    if (plot) {
        const auto& overlays = plot->GetOverlayLayers();
        const auto& visible = plot->GetOverlayVisibility();
        for (size_t i = 0; i < overlays.size(); ++i) {
            m_list->AddGate(overlays[i]->GetColor(), RowText(*overlays[i]));
            const bool shown = i < visible.size() && visible[i] == 1;
            m_list->item(int(i))->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
        }
    }
    m_bBinding = false;
}

void COverlapPropPage::OnChecked(QListWidgetItem*) {
    if (m_bBinding || !m_pPlot) return;
    // Overlays are not kept in the report: this marks it only should that
    // ever change.
    CRecordWatch watch(m_pPlot);
    const int n = std::min<int>(m_list->count(), int(m_pPlot->GetOverlayLayers().size()));
    for (int i = 0; i < n; ++i) m_pPlot->SetOverlayVisible(i, m_list->item(i)->checkState() == Qt::Checked);
    watch.Commit();
    m_pPlot->Repaint();
}

void COverlapPropPage::OnDoubleClicked(QListWidgetItem* item) {
    if (!m_pPlot || !item) return;
    const int row = m_list->row(item);
    if (row < 0 || size_t(row) >= m_pPlot->GetOverlayLayers().size()) return;
    CRecordWatch watch(m_pPlot);
    m_pPlot->DeleteOverlay(row);
    watch.Commit();
    SetPlot(m_pPlot);
}
