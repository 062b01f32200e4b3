#pragma once
// The plot style dialogs: "Plot Style" of a histogram (line and fill
// colours, line width, automatic or fixed peak), "PLOT Sytle" of a 2-D plot
// (dot, multi-colour dot, density, contour) and the sheet that can hold
// pages of both. The caller presets the members and reads them after OK.
// Nothing in the program opens them yet.
#include <QDialog>

#include <cstdint>

#include "base/Geometry.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QTabWidget;
class CColorCombo;

class CDlg1DPlotStyle : public QDialog {
    Q_OBJECT

public:
    enum Control : int32_t {
        kAutoScale = 1007,
        kPeak = 1008,
        kFillColor = 1075,
        kLineColor = 1076,
        kFill = 1077,
        kLine = 1078,
        kLineWidth = 1079,
    };
    static constexpr int32_t kLineWidths = 5;

    explicit CDlg1DPlotStyle(QWidget* parent = nullptr);
    // Members to controls; call before the dialog runs.
    void InitDialog();

    int32_t m_nLineWidth = 1;
    bool m_bAutoScale = false;
    int32_t m_nPeak = 0;
    bool m_bFill = false;
    bool m_bLine = false;
    COLORREF m_crFill = 0;
    COLORREF m_crLine = 0;

private:
    void OnAutoScale();
    void OnLine();
    void OnFill();
    void OnOK();

    QComboBox* m_width;
    CColorCombo* m_cbLine;
    CColorCombo* m_cbFill;
    QCheckBox* m_auto;
    QLineEdit* m_peak;
    QCheckBox* m_fill;
    QCheckBox* m_line;
};

class CDlg2DPlotStyle : public QDialog {
    Q_OBJECT

public:
    enum Control : int32_t { kDensity = 1001, kDot = 1002, kContour = 1003, kMultiColor = 1006, kEvents = 1080 };
    enum Flags : uint8_t { kFlagMultiColor = 2, kFlagDot = 4, kFlagDensity = 8, kFlagContour = 16 };

    explicit CDlg2DPlotStyle(QWidget* parent = nullptr);
    void InitDialog();

    uint8_t m_nFlags = 0;
    int32_t m_nEvents = 0;

private:
    void ApplyKindRule();
    void OnOK();

    QCheckBox* m_dot;
    QCheckBox* m_multi;
    QCheckBox* m_density;
    QCheckBox* m_contour;
    QLineEdit* m_events;
};

// A dialog of tabbed pages and nothing else.
class CPlotStyleSheet : public QDialog {
    Q_OBJECT

public:
    explicit CPlotStyleSheet(const QString& caption, QWidget* parent = nullptr, int firstPage = 0);
    int AddPage(QWidget* page, const QString& title);
    QTabWidget* Tabs() const { return m_tabs; }

private:
    QTabWidget* m_tabs;
    int m_firstPage;
};
