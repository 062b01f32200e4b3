#pragma once
// The "Head" page: which FCS keywords head a result table (or a CSV export).
// Each of five boxes stands for one keyword; boxes are matched to keywords
// by box, compared without regard to case. Apply writes the checked ones in
// the boxes' fixed order, followed by the table's keywords that no box
// stands for, which are kept as they were. The page lets go of a table that
// is freed.
#include <QDialog>

#include <array>
#include <string>
#include <vector>

#include "report/page/ResultTable.h"

class QCheckBox;
class QListWidget;
class QPushButton;

class CRltHeadDlg : public QDialog, public CResultBinding {
    Q_OBJECT

public:
    static constexpr size_t kBoxCount = 5;

    explicit CRltHeadDlg(QWidget* parent = nullptr);
    ~CRltHeadDlg() override;

    void SetResult(CTrkResult* table);
    CTrkResult* GetResult() const { return m_table; }
    // Reads the boxes: the chosen keywords (and list 1165) become the checked
    // boxes' keywords in the boxes' order.
    void Collect();
    const std::vector<std::string>& GetKeywords() const { return m_keywords; }
    // Apply and Cancel are hidden inside the export dialog, whose OK collects.
    void SetButtonsVisible(bool visible);
    // The keyword box i stands for ("FileName", "$FIL", ...).
    static const char* BoxKeyword(size_t i);

    void OnResultDestroyed(CTrkResult* table) override;

private:
    void SetFromTable();
    void OnApply();
    void OnCancel();
    void Unbind();

    CTrkResult* m_table = nullptr;
    QListWidget* m_list;
    QPushButton* m_apply;
    QPushButton* m_cancel;
    std::array<QCheckBox*, kBoxCount> m_boxes{};
    std::vector<std::string> m_keywords;
    // The bound table's keywords that no box stands for, in table order.
    std::vector<std::string> m_kept;
};
