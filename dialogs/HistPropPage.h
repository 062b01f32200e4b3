#pragma once
// The "Hist" page of the property panel: fill and line colour, line width,
// automatic or fixed peak of a histogram plot. Every change goes to the
// plot's histogram layer at once; there is no OK.
#include <QWidget>

#include <cstdint>

#include "base/Geometry.h"

class CColorCombo;
class CPLOT;
class QCheckBox;
class QComboBox;
class QLineEdit;

class CHistPropPage : public QWidget {
    Q_OBJECT

public:
    enum Control : int32_t {
        kAutoScale = 1007,
        kMax = 1008,
        kFill = 1075,
        kLine = 1076,
        kLineWidth = 1079,
        kCountPercent = 1096,
    };
    static constexpr int32_t kLineWidths = 5;

    explicit CHistPropPage(QWidget* parent = nullptr);

    // Fills the page from plot's histogram layer (null: the page lets go).
    // The page is disabled while the plot has no data or no histogram layer.
    void SetPlot(CPLOT* plot);
    CPLOT* GetPlot() const { return m_pPlot; }
    // Writes the page into the histogram layer, which counts again; the plot
    // repaints, and its document is marked modified when the plot's record
    // changed.
    virtual void ApplyToLayer();

    int32_t m_nLineWidth = 1;  // index in the width combo ("1" .. "5")
    bool m_bAutoScale = false;
    int32_t m_nMax = 0;
    COLORREF m_crFill = 0;
    COLORREF m_crLine = 0;

private:
    void RefreshControls();
    void OnAutoScale();
    void OnWidth(int index);
    void OnColor(CColorCombo* combo, COLORREF* member, int index);
    void OnMaxEdited();

    CPLOT* m_pPlot = nullptr;
    QComboBox* m_width;
    CColorCombo* m_cbLine;
    CColorCombo* m_cbFill;
    QCheckBox* m_auto;
    QLineEdit* m_max;
    QComboBox* m_countPercent;
    bool m_customChosen = false;  // set by "More" answered with a colour
};
