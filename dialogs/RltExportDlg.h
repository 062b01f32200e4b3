#pragma once
// What a CSV export of results holds: the "Head" page chooses the keywords,
// the "Stat" page the statistics, laid out for the data set chosen in the
// combo. OK refuses an export without data sets or without anything chosen,
// and names the data sets whose parameters at the chosen indices differ from
// those of the first data set, which the export's titles come from, asking
// before their values go under its titles; likewise it names the gates of
// later data sets that the first lacks (no column takes them) and the
// columns they leave empty.
#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;
class CRltHeadDlg;
class CStatPropPage;
class CTabCtrlWithDisable;
class VexaDataShell;

class CRltExportDlg : public QDialog {
    Q_OBJECT

public:
    explicit CRltExportDlg(std::vector<VexaDataShell*> shells, QWidget* parent = nullptr);

    // Read by the caller after OK.
    std::vector<VexaDataShell*> m_shells;
    std::vector<int32_t> m_params;
    std::vector<int32_t> m_codes;
    std::vector<std::string> m_keywords;

    CStatPropPage* StatPage() const { return m_stat; }
    CRltHeadDlg* HeadPage() const { return m_head; }

private:
    void BindDataSet(int index);
    void OnOK();
    bool ConfirmParameters();
    bool ConfirmGates();

    QComboBox* m_combo;
    CTabCtrlWithDisable* m_tabs;
    CStatPropPage* m_stat;
    CRltHeadDlg* m_head;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
