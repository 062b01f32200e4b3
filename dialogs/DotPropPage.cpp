#include "dialogs/DotPropPage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/Numbers.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "dialogs/DialogControls.h"
#include "dialogs/GateListBox.h"
#include "dialogs/RecordWatch.h"
#include "platform/UiServices.h"
#include "report/page/LumitraDoc.h"
#include "report/plot/DotLayer.h"
#include "report/plot/Plot.h"

namespace {
// The region a shape row stands for: a quadrant is listed once, by its
// first part.
bool IsListedShape(const CGateNode* gate, const CPLOT& plot) {
    const CDataRgn* r = gate ? gate->GetRegion() : nullptr;
    if (!r || CDotPropPage::ShapeTypeText(r->GetType()).isEmpty()) return false;
    if (r->GetXParam() != plot.GetXParam() || r->GetYParam() != plot.GetYParam()) return false;
    return r->GetType() != kRgnQuadrant || gate->GetQuadrantPart() == 0;
}

bool IsRegionShown(const CPLOT& plot, const CDataRgn* r) {
    const auto& shown = plot.GetShownRegions();
    return std::find(shown.begin(), shown.end(), r) != shown.end();
}

QString GateText(const CGateNode* gate, bool partSuffix) {
    return gate ? QString::fromStdString(gate->GetDisplayName(partSuffix)) : QString();
}
}  // namespace

QString CDotPropPage::ShapeTypeText(int32_t regionType) {
    switch (regionType) {
        case kRgnRect: return QStringLiteral("Rectangle");
        case kRgnEllipse: return QStringLiteral("Ellipse");
        case kRgnPolygon: return QStringLiteral("Polygon");
        case kRgnRange: return QStringLiteral("Range");
        case kRgnQuadrant: return QStringLiteral("Quadrant");
        default: return QString();
    }
}

CDotPropPage::CDotPropPage(QWidget* parent) : QWidget(parent) {
    m_cbShowPercent = lm::WithControlId(new QComboBox(this), kShowPercent);
    for (const char* t : {"100%", "75%", "50%", "25%", "10%", "5%", "1%"}) m_cbShowPercent->addItem(QString::fromLatin1(t));
    m_cbShowPercent->setCurrentIndex(-1);
    m_listShapes = lm::WithControlId(new QTreeWidget(this), kShapes);
    m_listShapes->setRootIsDecorated(false);
    m_listShapes->setColumnCount(2);
    m_listShapes->setHeaderLabels({QStringLiteral("Gate"), QStringLiteral("Type")});
    m_listShapes->setColumnWidth(0, 80);
    m_listShapes->setColumnWidth(1, 80);
    m_listShapes->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listShapes->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_gateList = lm::WithControlId(new CGateListBox(this), kGates);
    m_events = lm::WithControlId(new QLineEdit(this), kEvents);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->addWidget(new QLabel(QStringLiteral("Show Gate Evt"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Show Shape"), this), 0, 1);
    grid->addWidget(m_gateList, 1, 0);
    grid->addWidget(m_listShapes, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Events"), this), 2, 0);
    grid->addWidget(m_events, 3, 0);
    grid->addWidget(m_cbShowPercent, 3, 1);

    connect(m_gateList, &QListWidget::itemChanged, this, &CDotPropPage::OnGateChecked);
    connect(m_gateList, &QListWidget::itemDoubleClicked, this, &CDotPropPage::OnGateDoubleClicked);
    connect(m_gateList, &CGateListBox::GateMoved, this, &CDotPropPage::OnGateMoved);
    connect(m_listShapes, &QTreeWidget::itemChanged, this, &CDotPropPage::OnShapeChanged);
    connect(m_events, &QLineEdit::editingFinished, this, &CDotPropPage::OnEventsEdited);
    connect(m_cbShowPercent, &QComboBox::activated, this, &CDotPropPage::OnPercent);
    setEnabled(false);
}

CDotPropPage::Shown CDotPropPage::Snapshot() const {
    Shown s;
    if (!m_pPlot) return s;
    s.enabled = m_pPlot->HasData();
    s.events = m_pPlot->GetMaxDotEvents();
    for (const auto& l : m_pPlot->GetDotLayers()) {
        const CGateNode* g = l->GetGate();
        s.keys.push_back(l.get());
        s.keys.push_back(g);
        s.colors.push_back(g ? g->GetColor() : 0);
        s.names.push_back(g ? g->GetName() : std::string());
        s.flags.push_back(l->IsActive() ? 1 : 0);
    }
    s.keys.push_back(nullptr);
    if (VexaDataShell* shell = m_pPlot->GetShell()) {
        for (const CGateNode* g : shell->GetGates()) {
            if (!IsListedShape(g, *m_pPlot)) continue;
            s.keys.push_back(g->GetRegion());
            s.names.push_back(g->GetName());
            s.flags.push_back(IsRegionShown(*m_pPlot, g->GetRegion()) ? 1 : 0);
        }
    }
    return s;
}

void CDotPropPage::SetPlot(CPLOT* plot) {
    m_pPlot = plot;
    Fill();
}

bool CDotPropPage::RefreshFromPlot() {
    if (m_bBinding) return false;
    Shown now = Snapshot();
    if (now == m_shown) return false;
    Fill();
    return true;
}

void CDotPropPage::Fill() {
    m_bBinding = true;
    ++m_fills;
    m_shapes.clear();
    const QSignalBlocker b1(m_gateList), b2(m_listShapes);
    m_gateList->ResetContent();
    m_listShapes->clear();
    if (m_pPlot) {
        m_nEvents = m_pPlot->GetMaxDotEvents();
        for (const auto& l : m_pPlot->GetDotLayers()) {
            const CGateNode* g = l->GetGate();
            m_gateList->AddGate(g ? g->GetColor() : 0, GateText(g, true));
            m_gateList->item(m_gateList->count() - 1)->setCheckState(l->IsActive() ? Qt::Checked : Qt::Unchecked);
        }
        if (VexaDataShell* shell = m_pPlot->GetShell()) {
            for (const CGateNode* g : shell->GetGates()) {
                if (!IsListedShape(g, *m_pPlot)) continue;
                CDataRgn* r = g->GetRegion();
                const bool quadrant = r->GetType() == kRgnQuadrant;
                auto* row = new QTreeWidgetItem({GateText(g, !quadrant), ShapeTypeText(r->GetType())});
                row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
                row->setCheckState(0, IsRegionShown(*m_pPlot, r) ? Qt::Checked : Qt::Unchecked);
                m_listShapes->addTopLevelItem(row);
                m_shapes.push_back(r);
            }
        }
    }
    // An Events value being typed is left to its owner.
    if (!m_events->isModified()) {
        m_events->setText(QString::number(m_nEvents));
        m_events->setModified(false);
    }
    ShowPercentOfPlot();
    setEnabled(m_pPlot && m_pPlot->HasData());
    m_shown = Snapshot();
    m_bBinding = false;
}

void CDotPropPage::OnGateChecked(QListWidgetItem*) {
    if (m_bBinding || !m_pPlot) return;
    CRecordWatch watch(m_pPlot);
    const auto& layers = m_pPlot->GetDotLayers();
    const int rows = std::min<int>(m_gateList->count(), int(layers.size()));
    bool any = false;
    for (int i = 0; i < rows; ++i) any = any || m_gateList->item(i)->checkState() == Qt::Checked;
    if (!any && rows > 0) {
        // A plot shows at least its first gate.
        const QSignalBlocker block(m_gateList);
        m_gateList->item(0)->setCheckState(Qt::Checked);
    }
    for (int i = 0; i < rows; ++i) {
        CDotLayer* layer = layers[size_t(i)].get();
        const bool show = m_gateList->item(i)->checkState() == Qt::Checked;
        if (show) {
            CGateNode* g = layer->GetGate();
            if (g && g->GetRegionType() == kRgnQuadrant && g->GetColor() == 0xFFFFFFFF) {
                g->SetColor(GetDefaultGateColor(0));
                m_pPlot->MarkModified();  // the gate's colour is the data set's
            }
        }
        if (show != layer->IsActive()) layer->SetActive(show);
    }
    m_shown = Snapshot();
    watch.Commit();
    m_pPlot->Repaint();
}

void CDotPropPage::OnGateDoubleClicked(QListWidgetItem* item) {
    if (!m_pPlot || !item) return;
    const int row = m_gateList->row(item);
    const auto& layers = m_pPlot->GetDotLayers();
    if (row < 0 || size_t(row) >= layers.size()) return;
    CDotLayer* layer = layers[size_t(row)].get();
    CRecordWatch watch(m_pPlot);
    layer->SetLargeDots(!layer->GetLargeDots());
    watch.Commit();
    m_pPlot->MarkDirty();
    m_pPlot->Repaint();
}

void CDotPropPage::OnGateMoved(int from, int to) {
    CRecordWatch watch(m_pPlot);
    if (!m_pPlot || !m_pPlot->MoveDotLayer(from, to)) {
        // The list and the layers no longer agree: show the layers again.
        Fill();
        return;
    }
    m_shown = Snapshot();
    watch.Commit();
    m_pPlot->Repaint();
}

void CDotPropPage::OnShapeChanged(QTreeWidgetItem* item, int column) {
    if (m_bBinding || !m_pPlot || !item || column != 0) return;
    const int row = m_listShapes->indexOfTopLevelItem(item);
    if (row < 0 || size_t(row) >= m_shapes.size()) return;
    CDataRgn* r = m_shapes[size_t(row)];
    const bool show = item->checkState(0) == Qt::Checked;
    if (show == IsRegionShown(*m_pPlot, r)) return;
    CRecordWatch watch(m_pPlot);
    if (show)
        m_pPlot->ShowRegion(r);
    else
        m_pPlot->HideRegion(r);
    m_shown = Snapshot();
    watch.Commit();
}

void CDotPropPage::OnEventsEdited() {
    int32_t value = 0;
    m_events->setModified(false);
    const QString typed = m_events->text().trimmed();
    if (!lm::TryParseInt(typed.toStdString(), &value) || value < 1) {
        // Not an event count: the old one stays, and the user is told. The
        // text goes back first, so the focus the box takes finds nothing
        // left to read.
        m_events->setText(QString::number(m_nEvents));
        lm::Ui().MessageBox(this,
                            QStringLiteral("Events: \"%1\" is not a whole number from 1 to %2: %3 is kept.")
                                .arg(typed)
                                .arg(INT32_MAX)
                                .arg(m_nEvents),
                            QStringLiteral("Property"), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
        return;
    }
    m_cbShowPercent->setCurrentIndex(-1);
    if (!m_pPlot || value == m_pPlot->GetMaxDotEvents()) {
        m_nEvents = value;
        return;
    }
    m_nEvents = value;
    CRecordWatch watch(m_pPlot);
    m_pPlot->SetMaxDotEvents(value);
    m_shown = Snapshot();
    watch.Commit();
}

int32_t CDotPropPage::EventsOfPercentEntry(int index) const {
    double fraction = 0.0;
    if (!m_pPlot || index < 0 || !lm::FractionOfPercentText(m_cbShowPercent->itemText(index), &fraction)) return -1;
    const CDataSet* data = m_pPlot->GetDataSet();
    const int64_t total = data ? data->GetEventCount() : 0;
    // Whole percents are counted in integers: 10 % of 30 events is 3, not
    // the 2 a floating product just below 3 would truncate to.
    const double percent = fraction * 100.0;
    const int64_t whole = std::llround(percent);
    const double events = std::fabs(percent - double(whole)) < 1e-9 ? double(total * whole / 100)
                                                                    : std::floor(double(total) * fraction);
    return int32_t(std::clamp<double>(events, 0.0, double(INT32_MAX)));
}

void CDotPropPage::ShowPercentOfPlot() {
    int chosen = -1;
    if (m_pPlot && m_pPlot->GetDataSet())
        for (int i = 0; i < m_cbShowPercent->count() && chosen < 0; ++i)
            if (EventsOfPercentEntry(i) == m_pPlot->GetMaxDotEvents()) chosen = i;
    const QSignalBlocker block(m_cbShowPercent);
    m_cbShowPercent->setCurrentIndex(chosen);
}

void CDotPropPage::OnPercent(int index) {
    const int32_t events = EventsOfPercentEntry(index);
    if (events < 0) return;
    m_nEvents = events;
    m_events->setText(QString::number(m_nEvents));
    m_events->setModified(false);
    CRecordWatch watch(m_pPlot);
    m_pPlot->SetMaxDotEvents(m_nEvents);
    m_shown = Snapshot();
    watch.Commit();
}
