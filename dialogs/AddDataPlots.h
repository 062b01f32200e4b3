#pragma once
// "Add Data Plots": which parameters, on which gate and which plot kinds the
// data-set list's "Open multi-Plots" makes plots of. The caller reads the
// members after OK.
//
// A histogram is never combined with a 2-D kind, and some kind is always
// checked ("Dot" when the last one is cleared). OK stays open, with a message,
// when too few parameters are checked for the kind (one for a histogram, two
// for 2-D plots) or the event count is outside 1 .. 2147483647.
#include <QDialog>

#include <cstdint>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTreeWidget;
class VexaDataShell;

class CAddDataPlots : public QDialog {
    Q_OBJECT

public:
    CAddDataPlots(VexaDataShell* shell, QWidget* parent = nullptr);

    void OnInitDialog();

    int32_t m_nEvents = 0;
    bool m_bSwapPara = false;
    VexaDataShell* m_pShell = nullptr;
    std::vector<int32_t> m_params;  // checked rows, in row order
    int32_t m_nGate = 0;            // gate index; 0 the root "All"
    uint8_t m_nPlotType = 0;        // kind bits: 1 histogram, 2 dot, 8 density, 16 contour

private:
    void OnKindClicked(QCheckBox* box, bool checked);
    void OnPercent();
    // Events the percent entry at index gives (-1: none, or no data set).
    int64_t EventsOfPercentEntry(int index) const;
    void ShowPercentOfEvents(int64_t events);
    void OnOK();

    QComboBox* m_cbPercent;
    QTreeWidget* m_listParams;
    QCheckBox* m_btnHist;
    QComboBox* m_cbGate;
    QCheckBox* m_btnDot;
    QCheckBox* m_btnDensity;
    QCheckBox* m_btnContour;
    QCheckBox* m_btnSwap;
    QLineEdit* m_editEvents;
};
