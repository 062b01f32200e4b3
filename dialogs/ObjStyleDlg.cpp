#include "dialogs/ObjStyleDlg.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>

#include "dialogs/DialogControls.h"
#include "dialogs/DotPropPage.h"
#include "dialogs/HistPropPage.h"
#include "dialogs/OverlapPropPage.h"
#include "dialogs/RecordWatch.h"
#include "dialogs/RltHeadDlg.h"
#include "dialogs/StatPropPage.h"
#include "dialogs/TabCtrlWithDisable.h"
#include "report/page/LumitraDoc.h"
#include "report/page/ResultTable.h"
#include "report/page/TrkKinds.h"
#include "report/plot/Plot.h"

namespace {
constexpr int kPlotPanelWidth = 300;
constexpr int kPlotPanelHeight = 240;
constexpr int kResultExtraHeight = 50;
constexpr int kMinPanelWidth = 120;
constexpr int kMinPanelHeight = kPlotPanelHeight;
}  // namespace

CObjStyleDlg::CObjStyleDlg(QWidget* parent) : CDocPanel(QStringLiteral("Property"), OwnLayout{}, parent) {
    // The pages keep their sizes (the Stat page grows with the parameters)
    // whatever room the dock gives the panel: what does not fit is scrolled
    // to, never cut off.
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(false);
    m_content = new QWidget;
    m_scroll->setWidget(m_content);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);
    QWidget* const c = m_content;

    m_chkDot = lm::WithControlId(new QCheckBox(QStringLiteral("Dot"), c), kChkDot);
    m_chkDensity = lm::WithControlId(new QCheckBox(QStringLiteral("Density"), c), kChkDensity);
    m_chkContour = lm::WithControlId(new QCheckBox(QStringLiteral("Contour"), c), kChkContour);
    m_chkHistogram = lm::WithControlId(new QCheckBox(QStringLiteral("Histogram"), c), kChkHistogram);
    // One row, each box as wide as its text needs under the user's font.
    int x = 7;
    m_plotWidth = kPlotPanelWidth;
    for (QCheckBox* box : {m_chkDot, m_chkDensity, m_chkContour, m_chkHistogram}) {
        box->adjustSize();
        box->move(x, 0);
        x += box->width() + 8;
        m_plotWidth = std::max(m_plotWidth, box->x() + box->width() + 7);
        box->hide();
        const int32_t id = box->property("controlId").toInt();
        connect(box, &QCheckBox::clicked, this, [this, id] { OnKindClicked(id); });
    }

    m_tabPlot = lm::WithControlId(new CTabCtrlWithDisable(c), kTabPlot);
    m_pageHist = new CHistPropPage;
    m_pageDot = new CDotPropPage;
    m_pageOverlap = new COverlapPropPage;
    m_tabPlot->AddPage(m_pageHist, QStringLiteral("Hist"));
    m_tabPlot->AddPage(m_pageDot, QStringLiteral("Dot"));
    m_tabPlot->AddPage(m_pageOverlap, QStringLiteral("Overlap"));
    m_tabPlot->setGeometry(7, 22, kPlotPanelWidth - 14, kPlotPanelHeight - 26);
    m_tabPlot->hide();

    m_tabResult = lm::WithControlId(new CTabCtrlWithDisable(c), kTabResult);
    m_pageHead = new CRltHeadDlg;
    m_pageHead->setWindowFlags(Qt::Widget);
    m_pageStat = new CStatPropPage;
    m_tabResult->AddPage(m_pageHead, QStringLiteral("Head"));
    m_tabResult->AddPage(m_pageStat, QStringLiteral("Stat"));
    m_tabResult->setGeometry(7, 30, kPlotPanelWidth - 14, kPlotPanelHeight - 34);
    m_tabResult->hide();
    m_content->resize(m_plotWidth, kPlotPanelHeight);
    // At least the plot pages' height, so that a plot's page is seen whole,
    // the result pages' buttons included (the Stat page scrolls its matrix
    // itself). Every other panel of the dock column keeps a small minimum, so
    // that at the default window size the column fits and no dock is pushed
    // past the window's edge, where nothing scrolls to.
    setMinimumSize(kMinPanelWidth, kMinPanelHeight);
}

QSize CObjStyleDlg::sizeHint() const {
    // As much room as the pages take, when the window has it.
    const int bar = m_scroll->verticalScrollBar()->sizeHint().width();
    return m_content->size() + QSize(bar, 0);
}

CObjStyleDlg::~CObjStyleDlg() = default;

QCheckBox* CObjStyleDlg::KindBox(int32_t id) const {
    switch (id) {
        case kChkDot: return m_chkDot;
        case kChkDensity: return m_chkDensity;
        case kChkContour: return m_chkContour;
        case kChkHistogram: return m_chkHistogram;
        default: return nullptr;
    }
}

CPLOT* CObjStyleDlg::BoundPlot() const {
    CTrkObj* o = GetBoundObject();
    return o && o->GetType() == kObjPlot ? dynamic_cast<CPLOT*>(o) : nullptr;
}

void CObjStyleDlg::ShowPlotControls(bool show) {
    for (QCheckBox* box : {m_chkDot, m_chkDensity, m_chkContour, m_chkHistogram}) box->setVisible(show);
    m_tabPlot->setVisible(show);
}

void CObjStyleDlg::UnbindPages() {
    m_pageHist->SetPlot(nullptr);
    m_pageDot->SetPlot(nullptr);
    m_pageOverlap->SetPlot(nullptr);
    m_pageStat->SetResult(nullptr);
    m_pageHead->SetResult(nullptr);
    m_overlaysShown.clear();
}

void CObjStyleDlg::BindObject(CTrkObj* obj) { SetObject(obj); }

void CObjStyleDlg::SetObject(CTrkObj* o) {
    if (!o) {
        CDocPanel::BindObject(nullptr);
        UnbindPages();
        ShowPlotControls(false);
        m_tabResult->hide();
        return;
    }
    const int32_t kind = o->GetType();
    if (kind != kObjPlot && kind != kObjResult) {
        // Another kind of object: the panel stays as it is, on what it showed.
        return;
    }
    // The panel follows the object's document, so closing that document
    // lets go of the object too.
    if (o->GetDocument() != GetDocument()) CDocPanel::BindDocument(o->GetDocument());
    auto* plot = kind == kObjPlot ? dynamic_cast<CPLOT*>(o) : nullptr;
    // Binding refreshes the panel, which must not take the plot for one
    // whose kind changed behind its back.
    if (plot) m_flagsShown = plot->GetStyleFlags();
    CDocPanel::BindObject(o);
    if (kind == kObjPlot) {
        m_pageStat->SetResult(nullptr);
        m_pageHead->SetResult(nullptr);
        m_tabResult->hide();
        ShowPlotControls(true);
        const int32_t flags = plot ? plot->GetStyleFlags() : 0;
        m_chkHistogram->setChecked(flags & kPlotFlagHistogram);
        m_chkDot->setChecked(flags & kPlotFlagDots);
        m_chkDensity->setChecked(flags & kPlotFlagDensity);
        m_chkContour->setChecked(flags & kPlotFlagContour);
        // An overlay plot keeps its kind.
        const bool overlay = (flags & kPlotFlagOverlay) != 0;
        for (QCheckBox* box : {m_chkDot, m_chkDensity, m_chkContour, m_chkHistogram}) box->setEnabled(!overlay);
        RefreshPages();
        m_content->resize(m_plotWidth, kPlotPanelHeight);
        updateGeometry();
    } else {
        auto* table = dynamic_cast<CTrkResult*>(o);
        m_pageHist->SetPlot(nullptr);
        m_pageDot->SetPlot(nullptr);
        m_pageOverlap->SetPlot(nullptr);
        m_overlaysShown.clear();
        ShowPlotControls(false);
        m_pageStat->SetResult(table);
        m_pageHead->SetResult(table);
        const QSize page = m_pageStat->GetSize();
        m_tabResult->EnableTab(0, true);
        m_tabResult->EnableTab(1, true);
        const int tabsHeight = page.height() + m_tabResult->tabBar()->sizeHint().height();
        m_tabResult->setGeometry(5, 5, page.width(), tabsHeight);
        m_tabResult->show();
        // The content holds the whole tab control, its Apply buttons at the
        // bottom included.
        m_content->resize(page.width() + 10, std::max(tabsHeight + 10, page.height() + kResultExtraHeight));
        updateGeometry();
    }
}

void CObjStyleDlg::RefreshPages() {
    CPLOT* plot = BoundPlot();
    if (!plot) return;
    const bool dot = m_chkDot->isChecked();
    const bool hist = !dot && m_chkHistogram->isChecked();
    // Tabs first: enabling a tab enables its page, which the page itself then
    // disables again for a plot it cannot edit.
    m_tabPlot->EnableTab(kTabOverlap, true);
    m_tabPlot->EnableTab(kTabDot, dot);
    m_tabPlot->EnableTab(kTabHist, hist);
    m_pageDot->SetPlot(dot ? plot : nullptr);
    m_pageHist->SetPlot(hist ? plot : nullptr);
    // Density or contour alone: neither page has anything to edit.
    m_tabPlot->ShowPage(dot ? kTabDot : hist ? kTabHist : kTabOverlap);
    m_pageOverlap->SetPlot(plot);
    m_flagsShown = plot->GetStyleFlags();
    m_overlaysShown = OverlaySnapshot();
    m_tabPlot->update();
}

std::vector<const void*> CObjStyleDlg::OverlaySnapshot() const {
    std::vector<const void*> keys;
    if (CPLOT* plot = BoundPlot()) {
        const auto& visible = plot->GetOverlayVisibility();
        for (size_t i = 0; i < plot->GetOverlayLayers().size(); ++i) {
            keys.push_back(plot->GetOverlayLayers()[i].get());
            keys.push_back(reinterpret_cast<const void*>(uintptr_t(i < visible.size() ? visible[i] : 0)));
        }
    }
    return keys;
}

void CObjStyleDlg::RefreshDotPage() {
    CPLOT* plot = BoundPlot();
    if (!plot) return;
    if (plot->GetStyleFlags() != m_flagsShown) {
        // The kind changed elsewhere (the plot's menu, its last overlay
        // gone): boxes, tabs and pages follow.
        SetObject(plot);
        return;
    }
    if ((plot->GetStyleFlags() & kPlotFlagDots) && m_pageDot->GetPlot() == plot) m_pageDot->RefreshFromPlot();
    std::vector<const void*> overlays = OverlaySnapshot();
    if (overlays != m_overlaysShown) {
        m_pageOverlap->SetPlot(plot);
        m_overlaysShown = std::move(overlays);
    }
}

void CObjStyleDlg::OnKindClicked(int32_t id) {
    CPLOT* plot = BoundPlot();
    if (!plot || (plot->GetStyleFlags() & kPlotFlagOverlay)) {
        // Nothing to apply to (or an overlay plot): the boxes show the plot.
        if (plot) SetObject(plot);
        return;
    }
    const bool dot = m_chkDot->isChecked(), density = m_chkDensity->isChecked();
    const bool contour = m_chkContour->isChecked(), hist = m_chkHistogram->isChecked();
    switch (id) {
        case kChkDot:
            if (dot)
                m_chkHistogram->setChecked(false);
            else if (!density && !contour && !hist)
                m_chkHistogram->setChecked(true);
            break;
        case kChkDensity:
        case kChkContour: {
            const bool self = id == kChkDensity ? density : contour;
            const bool other = id == kChkDensity ? contour : density;
            if (self)
                m_chkHistogram->setChecked(false);
            else if (!dot && !other && !hist)
                m_chkDot->setChecked(true);
            break;
        }
        case kChkHistogram:
            if (hist) {
                m_chkDot->setChecked(false);
                m_chkContour->setChecked(false);
                m_chkDensity->setChecked(false);
            } else if (!dot && !contour && !density) {
                m_chkDot->setChecked(true);
            }
            break;
        default: return;
    }
    ApplyKind();
    RefreshPages();
}

void CObjStyleDlg::ApplyKind() {
    CPLOT* plot = BoundPlot();
    if (!plot) return;
    int32_t flags = plot->GetStyleFlags() &
                    ~(kPlotFlagDots | kPlotFlagDensity | kPlotFlagContour | kPlotFlagHistogram);
    if (m_chkDot->isChecked()) flags |= kPlotFlagDots;
    if (m_chkDensity->isChecked()) flags |= kPlotFlagDensity;
    if (m_chkContour->isChecked()) flags |= kPlotFlagContour;
    if (m_chkHistogram->isChecked()) flags |= kPlotFlagHistogram;
    if (flags == plot->GetStyleFlags()) return;
    CRecordWatch watch(plot);
    plot->SetPlotType(flags);
    watch.Commit();
    plot->Repaint();
}

void CObjStyleDlg::BindDocument(CLumitraDoc* doc) {
    if (doc == GetDocument()) return;
    // The object belonged to the document let go of.
    SetObject(nullptr);
    CDocPanel::BindDocument(doc);
}

void CObjStyleDlg::Refresh() { RefreshDotPage(); }

void CObjStyleDlg::OnObjectRemoving(CTrkObj* obj) {
    if (obj && obj == GetBoundObject()) SetObject(nullptr);
}

void CObjStyleDlg::keyPressEvent(QKeyEvent* e) {
    // Enter and Esc leave the panel open and as it is.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    CDocPanel::keyPressEvent(e);
}
