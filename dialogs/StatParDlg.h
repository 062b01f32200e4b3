#pragma once
// "Parameter": the statistics of a result table chosen in a dialog. It is
// the "Stat" page run on its own: OK rewrites the table's columns as the
// page's Apply does (keeping what the page cannot show), "Clear" clears
// every box, Cancel changes nothing. Nothing in the program opens it yet.
#include <QDialog>

class CStatPropPage;
class CTrkResult;

class CStatParDlg : public QDialog {
    Q_OBJECT

public:
    explicit CStatParDlg(CTrkResult* table, QWidget* parent = nullptr);

    CStatPropPage* Page() const { return m_page; }

private:
    void OnOK();

    CStatPropPage* m_page;
};
