#pragma once
// The " File List" panel: one row per data set of the shown document (its
// name, its file and chosen FCS keywords), the row menu (open, rename,
// delete, transform, result export, several plots at once), files dropped on
// it, and the four switches that decide what files dropped on a page take
// from the selected row's data set (the template).
#include <QDialog>

#include <string>
#include <vector>

#include "report/app/DocPanel.h"

class CGateNode;
class QCheckBox;
class QListWidget;
class QComboBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// Commands of the row menu.
enum FileListMenuCmd : int32_t {
    kFileOpen = 1,
    kFileRename = 2,
    kFileDelete = 3,
    kFileTransform = 5,
    kFileExport = 6,
    kFileMultiPlots = 7,
};

// What a result export writes: keyword fields, then per gate one field per
// (statistic code, parameter) pair.
struct CsvExportChoice {
    std::vector<std::string> keywords;
    std::vector<int32_t> params;
    std::vector<int32_t> codes;
};

class CShellNameDlg : public CDocPanel {
    Q_OBJECT

public:
    explicit CShellNameDlg(QWidget* parent = nullptr);
    ~CShellNameDlg() override;

    void BindDocument(CLumitraDoc* doc) override;
    void OnDataShellAdded(CLumitraDoc* doc, VexaDataShell* shell) override;
    void Refresh() override;  // FillList
    // The document's title and the names in the rows.
    QString GetText() const override;

    void FillList();
    // Shells of the selected rows, top to bottom (rows whose data set has
    // closed are left out).
    std::vector<VexaDataShell*> GetSelectedDataSets() const;
    VexaDataShell* GetSelectedDataSet() const;
    // Gates 1 | Plots 2 | Result 4 | Break 8 of the checked boxes.
    int32_t GetApplyMask() const;

    void OnRightClick(const QPoint& viewportPos);
    // Opens each file in order; a file that cannot be opened is named in a
    // message and skipped, the others open.
    void DropFiles(const QStringList& paths);
    void OnItem();

    // The export of the selected rows: the choice, then a file name; false
    // when nothing was written (cancelled or refused, with a message).
    bool ExportResult(const CsvExportChoice& choice);
    // The CSV text: the title line from the first data set's gates, then one
    // line per data set with its values aligned to the title's gates as
    // MatchCsvGates lines them up (empty fields where a data set lacks a
    // gate or a parameter). *differing gets the data sets whose gates differ.
    static std::string BuildCsv(const CsvExportChoice& choice, const std::vector<VexaDataShell*>& shells,
                                std::vector<VexaDataShell*>* differing);
    // How a data set's gates stand under the export's gate columns, which
    // are the gates of the first data set (titles): the k-th gate of a
    // display name goes under the k-th column of that name, so two gates of
    // one name each keep their own values.
    struct CsvGateMatch {
        std::vector<const CGateNode*> columns;  // per column: the gate, null when none (left empty)
        std::vector<const CGateNode*> leftOut;  // gates no column takes (not written)
        bool Differs() const;
    };
    static CsvGateMatch MatchCsvGates(const VexaDataShell& titles, const VexaDataShell& shell);
    // For an export of shells: which gates of which data sets are left out
    // and which columns stay empty; empty when every data set lines up.
    static QString CsvGateMismatchText(const std::vector<VexaDataShell*>& shells);
    // "a" -> "a.csv"; a name with an extension is kept.
    static QString WithCsvExtension(const QString& path);

    QTreeWidget* GetList() const { return m_list; }
    QCheckBox* GetGatesBox() const { return m_btnGates; }
    QCheckBox* GetPlotsBox() const { return m_btnPlots; }
    QCheckBox* GetResultBox() const { return m_btnResult; }
    QCheckBox* GetBreakBox() const { return m_btnBreak; }
    QPushButton* GetItemButton() const { return m_btnItem; }

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void OnSelectionChanged();
    void OnEdited(QTreeWidgetItem* item, int column);
    void OnMaskChanged();
    void RebuildColumns();
    void FillRow(QTreeWidgetItem* row, VexaDataShell* shell);
    VexaDataShell* ShellOfRow(const QTreeWidgetItem* row) const;
    void OpenInPlots(const std::vector<VexaDataShell*>& shells);
    void OpenMultiPlots(VexaDataShell* shell);

    QTreeWidget* m_list = nullptr;
    QPushButton* m_btnItem = nullptr;
    QCheckBox* m_btnGates = nullptr;
    QCheckBox* m_btnPlots = nullptr;
    QCheckBox* m_btnResult = nullptr;
    QCheckBox* m_btnBreak = nullptr;
    std::vector<std::string> m_keywords;
    bool m_filling = false;
};

// The "Item" dialog: keywords of a data set's TEXT table chosen as columns.
class CKWItemDlg : public QDialog {
    Q_OBJECT

public:
    explicit CKWItemDlg(QWidget* parent = nullptr);
    void SetDocument(CLumitraDoc* doc) { m_doc = doc; }
    void OnInitDialog();
    // The data set shown in the combo (matched by the entry, not by position).
    void OnComboChanged();
    void AddKeyword(const QString& keyword);  // double click in the left list
    void RemoveSelected();                    // double click in the right list

    std::vector<std::string> m_keywords;

    QComboBox* GetCombo() const { return m_combo; }
    QListWidget* GetAllList() const { return m_all; }
    QListWidget* GetChosenList() const { return m_chosen; }

private:
    CLumitraDoc* m_doc = nullptr;
    QComboBox* m_combo = nullptr;
    QListWidget* m_all = nullptr;
    QListWidget* m_chosen = nullptr;
};
