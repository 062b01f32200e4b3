#pragma once
// "Gate Stat": the gate hierarchy of one data shell, painted, with AND, OR
// and NOT to combine gates chosen in it, a menu per gate (new plot, delete,
// rename) and gates dragged from its left strip as drag payloads. It follows
// its shell as a user of kind 6; when the shell lets it go it holds neither
// the shell nor any of its gates, and a gate being removed leaves it before
// it rebuilds. Nothing in the program opens it yet.
#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <vector>

#include "core/Observers.h"
#include "report/page/GateView.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class CGateNode;

class CGateRltDlg : public QDialog, public CDataShellUser {
    Q_OBJECT

public:
    static constexpr int32_t kViewLeft = 1;
    static constexpr int32_t kViewTop = 30;
    // Menu of a gate.
    enum GateCommand : int32_t { kCmdNewPlot = 1, kCmdDeleteGate = 2, kCmdRename = 3 };
    // "Order" checked.
    static constexpr int32_t kOrderMode = 5;

    explicit CGateRltDlg(QWidget* parent = nullptr);
    ~CGateRltDlg() override;

    // Follows shell (null: none): the operators are enabled with a shell.
    void BindDataShell(VexaDataShell* shell);
    const std::vector<CGateNode*>& GetGates() const { return m_gates; }
    const CGateView& GetGateView() const { return m_gateView; }
    int32_t GetOrderMode() const { return m_orderMode; }
    int32_t GetDragZone() const { return m_nDragZone; }
    // The gate whose row lies under a client point, null when none.
    CGateNode* GateAt(QPoint client) const;
    // The gate being renamed (null when none).
    CGateNode* GetRenamedGate() const { return m_renamed; }

    // Shell side.
    void DetachShell(bool remove, bool notify) override;
    void OnGatesChanged() override;
    void OnGateRemoving(CGateNode* gate) override;
    void OnDataChanged() override;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void RebuildView();
    void OnOperator(QPushButton* button, char op);
    void OnTree();
    void OnOrder();
    void ReleaseOperators(QPushButton* except);
    void StartRename(CGateNode* gate);
    void FinishRename();
    void NewPlot(CGateNode* gate);
    bool HasGate(const CGateNode* gate) const;

    std::vector<CGateNode*> m_gates;
    int32_t m_nDragZone = 50;
    CGateView m_gateView;
    QLineEdit* m_rename = nullptr;
    CGateNode* m_renamed = nullptr;
    int32_t m_orderMode = 0;
    QCheckBox* m_tree;
    QPushButton* m_and;
    QPushButton* m_or;
    QPushButton* m_not;
    QPushButton* m_order;
};
