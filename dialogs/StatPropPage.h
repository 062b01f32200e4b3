#pragma once
// The "Stat" page: which statistics a result table (or a CSV export) shows.
// "Percent", "Event" and "Parent Per" take no parameter; the matrix gives
// Mean .. Min per parameter. Bound to a table (property panel) its "Apply"
// rewrites the table's columns in the page's fixed order -- Percent, Events,
// Parent Per, then the matrix row by row -- followed by any column the page
// cannot show (an unknown code, a parameter past the data set), which is
// kept as it was. Bound to a data set (export) it starts from "Percent".
// The page lets go of a table that is freed.
#include <QWidget>

#include <cstdint>
#include <vector>

#include "report/page/ResultTable.h"

class QCheckBox;
class QPushButton;
class QScrollArea;
class CStatMatrix;
class VexaDataShell;

class CStatPropPage : public QWidget, public CResultBinding {
    Q_OBJECT

public:
    explicit CStatPropPage(QWidget* parent = nullptr);
    ~CStatPropPage() override;

    // Binds the table (null: nothing) and sets the boxes from its columns.
    void SetResult(CTrkResult* table);
    // Binds the data set for an export: only "Percent" checked.
    void SetDataShell(VexaDataShell* shell);
    CTrkResult* GetResult() const { return m_table; }
    VexaDataShell* GetDataShell() const { return m_shell; }
    // The page's size: the matrix shows a few rows and scrolls the others in
    // a scroll area of its own, so the page's height stops growing with the
    // parameter count and Apply and Cancel below it stay in view.
    QSize GetSize() const;

    // The chosen columns in the order Apply writes them (kept columns not
    // included).
    void CollectColumns(std::vector<int32_t>* codes, std::vector<int32_t>* params) const;
    // Apply and Cancel are hidden when the page is part of the export dialog.
    void SetButtonsVisible(bool visible);
    // What "Apply" does: the bound table's columns rewritten (nothing when
    // unbound).
    void Apply();
    // Every box clear.
    void ClearChoices();
    CStatMatrix* Matrix() const { return m_matrix; }

    void OnResultDestroyed(CTrkResult* table) override;

private:
    void LayOut(const VexaDataShell* shell);
    void SetFromTable();
    void Unbind();
    int32_t MatrixViewHeight() const;

    CTrkResult* m_table = nullptr;
    VexaDataShell* m_shell = nullptr;
    // Columns of the bound table the page cannot show, in table order.
    std::vector<int32_t> m_keptCodes, m_keptParams;
    QCheckBox* m_percent;
    QCheckBox* m_parentPre;
    QCheckBox* m_event;
    QPushButton* m_apply;
    QPushButton* m_cancel;
    QScrollArea* m_matrixArea;
    CStatMatrix* m_matrix;
};
