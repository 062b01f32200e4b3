#pragma once
// The Info Assistant's "Para table" page: the document's data sets by
// parameters, each cell given a phrase of the page's list. "Apply" puts the
// built text into the Info Assistant; "Edit String" edits the list, which
// is then saved through the owner.
#include <QWidget>

class CInfoAstDlg;
class CLumitraDoc;
class CParaTable;

class CParaTableProp : public QWidget {
    Q_OBJECT

public:
    explicit CParaTableProp(CInfoAstDlg* owner, QWidget* parent = nullptr);

    void BindDocument(CLumitraDoc* doc);
    CParaTable* Table() const { return m_table; }

private:
    void OnApply();
    void OnEditString();
    void OnResetAll();

    CLumitraDoc* m_pDoc = nullptr;
    CParaTable* m_table;
    QWidget* m_btnReset;
    CInfoAstDlg* m_pOwner;
};
