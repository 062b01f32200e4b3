#pragma once
// The property panel "Property": the style of the page object selected in
// the report. A plot shows its kind boxes (Dot, Density, Contour, Histogram)
// and the pages "Hist", "Dot" and "Overlap"; a result table shows the pages
// "Head" and "Stat". Every change goes to the object at once; Enter and Esc
// leave the panel as it is.
#include <cstdint>
#include <vector>

#include "report/app/DocPanel.h"

class CDotPropPage;
class CHistPropPage;
class CLayer;
class COverlapPropPage;
class CPLOT;
class CRltHeadDlg;
class CStatPropPage;
class CTabCtrlWithDisable;
class QCheckBox;
class QScrollArea;

class CObjStyleDlg : public CDocPanel {
    Q_OBJECT

public:
    enum Control : int32_t {
        kChkDensity = 1001,
        kChkDot = 1002,
        kChkContour = 1003,
        kChkHistogram = 1077,
        kTabPlot = 1093,
        kTabResult = 1166,
    };
    // Pages of the plot tab control, in order.
    enum PlotTab : int32_t { kTabHist = 0, kTabDot = 1, kTabOverlap = 2 };

    explicit CObjStyleDlg(QWidget* parent = nullptr);
    ~CObjStyleDlg() override;

    // Binds the panel to o (null: nothing shown).
    void SetObject(CTrkObj* o);
    CTrkObj* GetObject() const { return GetBoundObject(); }
    // When the bound plot's kind changed, the whole panel follows it; else,
    // when it shows dots, the Dot page follows it (a refill only when
    // something it shows changed); the Overlap page follows its overlays.
    void RefreshDotPage();
    // The pages the checked kind boxes call for.
    void RefreshPages();

    // ---- CDocPanel ----
    void BindDocument(CLumitraDoc* doc) override;
    void Refresh() override;
    void BindObject(CTrkObj* obj) override;
    void OnObjectRemoving(CTrkObj* obj) override;

    CHistPropPage* HistPage() const { return m_pageHist; }
    CDotPropPage* DotPage() const { return m_pageDot; }
    COverlapPropPage* OverlapPage() const { return m_pageOverlap; }
    CStatPropPage* StatPage() const { return m_pageStat; }
    CRltHeadDlg* HeadPage() const { return m_pageHead; }
    CTabCtrlWithDisable* PlotTabs() const { return m_tabPlot; }
    CTabCtrlWithDisable* ResultTabs() const { return m_tabResult; }
    // The panel's controls scroll in this area when the dock is smaller.
    QScrollArea* ScrollArea() const { return m_scroll; }
    QCheckBox* KindBox(int32_t id) const;
    QSize sizeHint() const override;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    CPLOT* BoundPlot() const;
    void ShowPlotControls(bool show);
    void OnKindClicked(int32_t id);
    void ApplyKind();
    void UnbindPages();
    std::vector<const void*> OverlaySnapshot() const;

    QScrollArea* m_scroll;
    QWidget* m_content;  // everything the panel shows, at its own size
    // The plot pages' width, wide enough for the row of kind boxes under the
    // user's font, which would otherwise be cut off at the content's edge.
    int m_plotWidth = 0;
    CDotPropPage* m_pageDot;
    CHistPropPage* m_pageHist;
    CStatPropPage* m_pageStat;
    CRltHeadDlg* m_pageHead;
    COverlapPropPage* m_pageOverlap;
    QCheckBox* m_chkHistogram;
    QCheckBox* m_chkDot;
    QCheckBox* m_chkContour;
    QCheckBox* m_chkDensity;
    CTabCtrlWithDisable* m_tabResult;
    CTabCtrlWithDisable* m_tabPlot;
    std::vector<const void*> m_overlaysShown;
    int32_t m_flagsShown = 0;  // the bound plot's kind bits the boxes show
};
