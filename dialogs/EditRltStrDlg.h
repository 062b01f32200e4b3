#pragma once
// "Edit String": the Para table's phrase list, edited as a list. A phrase is
// listed once. OK hands back the rows in order; a phrase that stays keeps
// its colour, a new one is white.
#include <QDialog>

#include <string>
#include <vector>

#include "base/Geometry.h"

class QLineEdit;
class QListWidget;

class CEditRltStrDlg : public QDialog {
    Q_OBJECT

public:
    explicit CEditRltStrDlg(QWidget* parent = nullptr);

    // Fills the list from m_strings; call before the dialog runs.
    void InitList();

    std::vector<std::string> m_strings;
    std::vector<COLORREF> m_colors;

private:
    void OnAdd();
    void OnDelete();
    void OnOK();

    QLineEdit* m_edit;
    QListWidget* m_list;
};
