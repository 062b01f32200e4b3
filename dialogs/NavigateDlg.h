#pragma once
// The "Navigate" panel: a tree of the active document's data sets and their
// gates, the plots that use the chosen gate or data set, and the AND, OR and
// NOT buttons that combine gates picked in the tree. The panel observes every
// shell it shows, so gates added, renamed or removed anywhere (plot menus,
// dependants of a removed gate, a closed data set) show at once, and nothing
// it lists outlives what it stands for.
#include <QPointer>

#include <memory>
#include <vector>

#include "report/app/DocPanel.h"

class CDataTree;
class CGateNode;
class CPLOT;
class QPushButton;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

// Commands of the tree's menu.
enum NavigateMenuCmd : int32_t {
    kNavRename = 1,
    kNavSelectPlots = 2,
    kNavToPilot = 3,
    kNavDeleteDataSet = 11,
    kNavNewPlotDataSet = 12,
    kNavDeleteGate = 21,
    kNavNewPlotGate = 22,
};

class CNavigateDlg : public CDocPanel {
    Q_OBJECT

public:
    static constexpr int kMinPaneHeight = 30;

    explicit CNavigateDlg(QWidget* parent = nullptr);
    ~CNavigateDlg() override;

    // ------------------------------------------------ CDocPanel's relays
    // Another document: the tree is rebuilt; the same one: nothing. Null
    // empties the panel (its document is closing).
    void BindDocument(CLumitraDoc* doc) override;
    void OnDataShellAdded(CLumitraDoc* doc, VexaDataShell* shell) override;
    // Lists the plots of the caret item again.
    void Refresh() override;
    void OnObjectRemoving(CTrkObj* obj) override;
    // The document's title and the data sets of the tree, as they read.
    QString GetText() const override;

    // Rebuilds the tree from doc even when it is the document shown.
    void Rebuild(CLumitraDoc* doc);
    void AddDataSet(VexaDataShell* shell);
    void AddGateItem(VexaDataShell* shell, CGateNode* gate);
    void RemoveDataSetItem(VexaDataShell* shell);
    void ListPlotsOfGate();
    void SelectDataSetItem(VexaDataShell* shell);
    void CollapseDataSetItem(VexaDataShell* shell);
    // A plot made a gate of data set shellIndex: its data set opens.
    void ShowGate(CLumitraDoc* doc, int32_t shellIndex, int32_t gateIndex);

    // The operator buttons (as a click on them does).
    void OnAnd();
    void OnOr();
    void OnNot();
    // The tree's menu at a point of the tree's viewport.
    void OnTreeRightClick(const QPoint& viewportPos);
    void OnPlotListDblClk();

    CDataTree* GetTree() const { return m_tree; }
    QTreeWidget* GetPlotList() const { return m_listPlots; }
    QPushButton* GetAndButton() const { return m_btnAnd; }
    QPushButton* GetOrButton() const { return m_btnOr; }
    QPushButton* GetNotButton() const { return m_btnNot; }
    QSplitter* GetSplitter() const { return m_splitter; }
    // The plot of a plot-list row, or null when it has gone.
    CPLOT* PlotOfRow(int row) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class ShellWatch;
    friend class ShellWatch;

    void OnLogic(char op, QPushButton* button);
    void ClearAll();
    void Watch(VexaDataShell* shell);
    void OnShellGatesChanged(VexaDataShell* shell);
    void OnShellGateRemoving(CGateNode* gate);
    void OnShellGone(VexaDataShell* shell);
    void MarkModified();
    void RedrawActive();
    void SelectPlots();
    void NewPlotOf(VexaDataShell* shell, CGateNode* gate);
    bool IsOwnShell(const VexaDataShell* shell) const;

    QPushButton* m_btnOr = nullptr;
    QPushButton* m_btnNot = nullptr;
    QPushButton* m_btnAnd = nullptr;
    QTreeWidget* m_listPlots = nullptr;
    CDataTree* m_tree = nullptr;
    QSplitter* m_splitter = nullptr;
    bool m_bZoomOnDblClk = true;
    std::vector<std::unique_ptr<ShellWatch>> m_watches;
};
