#pragma once
// The gate tree of the Navigate panel: a root item per data set, a child item
// per gate. Items are painted from the shells and gates themselves (names and
// colours are always current); a data set's row starts with an expand
// button, live in both modes. In single-selection mode it behaves as a plain
// tree, plus a colour dialog on a gate's double click and renaming through the
// label editor; in multi-selection mode (while AND or OR is pressed) it keeps
// any number of selected items with clicks, Ctrl and Shift, arrow keys and a
// rubber band. Every selection change made there is offered to the parent
// first (SelChanging may veto it). Mouse tracking is state kept between the
// mouse handlers; nothing runs a nested event loop.
#include <QBasicTimer>
#include <QPoint>
#include <QRect>
#include <QTreeWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Geometry.h"

class CGateNode;
class VexaDataShell;

class CDataTree : public QTreeWidget {
    Q_OBJECT

public:
    // What an item stands for (item data role kRoleKind).
    enum ItemKind : int32_t { kItemDataSet = 1, kItemGate = 2 };
    static constexpr int kRoleKind = Qt::UserRole + 1;
    static constexpr int kRolePtr = Qt::UserRole + 2;
    static constexpr int kBandTimerMs = 75;

    explicit CDataTree(QWidget* parent = nullptr);
    ~CDataTree() override;

    // ------------------------------------------------------------- items
    QTreeWidgetItem* AddDataSetItem(VexaDataShell* shell);
    // Brings the gate children of a data-set item up to its shell's gates
    // (index 0 first), keeping the item's expansion: new gates are appended
    // after the items that stay; any other change rebuilds every item, the
    // caret and the picks of the gates that stay kept.
    void RebuildGateItems(QTreeWidgetItem* dataSetItem);
    // Deletes an item (and its children); nothing keeps a pointer to it.
    void DeleteItem(QTreeWidgetItem* item);
    void ClearItems();
    QTreeWidgetItem* FindDataSetItem(const VexaDataShell* shell) const;
    QTreeWidgetItem* FindGateItem(const CGateNode* gate) const;
    static bool IsDataSetItem(const QTreeWidgetItem* item);
    static bool IsGateItem(const QTreeWidgetItem* item);
    static VexaDataShell* ShellOf(const QTreeWidgetItem* item);  // a data-set item's shell
    static CGateNode* GateOf(const QTreeWidgetItem* item);       // a gate item's gate
    // The text an item shows: a gate's display name, a data set's name or,
    // when that is empty, its file name.
    static QString ItemText(const QTreeWidgetItem* item);
    void ExpandAndSelect(const VexaDataShell* shell);
    void CollapseAllOf(const VexaDataShell* shell);

    // --------------------------------------------------- multi-selection
    bool SetMultiSelect(bool on);  // returns the previous mode
    bool IsMultiSelect() const { return m_bMultiSelect; }
    // Selected visible items, top to bottom.
    QTreeWidgetItem* GetFirstSelected() const;
    QTreeWidgetItem* GetNextSelected(QTreeWidgetItem* item) const;
    std::vector<QTreeWidgetItem*> CollectSelected() const;
    void SelectAll(bool select);
    void DeselectAllExcept(QTreeWidgetItem* keep);
    void SelectRange(QTreeWidgetItem* anchor, QTreeWidgetItem* item, bool clearOthers);
    // Sets an item's selection through the parent's veto; false when vetoed.
    bool SetItemSelected(QTreeWidgetItem* item, bool select);
    // Makes item the caret without touching the selection.
    void FocusItem(QTreeWidgetItem* item);
    QTreeWidgetItem* GetCaret() const { return currentItem(); }
    QTreeWidgetItem* GetAnchor() const { return m_hAnchor; }
    bool IsBandActive() const { return m_track == Track::Band && m_bandStarted; }

    // Where a press lands: a data set's expand button, an item's label (its
    // swatch and text), beside a label on its row, or on no row.
    enum class HitPart { Nowhere, Button, Label, Beside };
    HitPart HitTestAt(const QPoint& viewportPos, QTreeWidgetItem** item = nullptr) const;
    // In viewport coordinates; empty for an item that is not shown (and for
    // a gate item's button, which it has none of).
    QRect ExpandButtonRect(const QTreeWidgetItem* item) const;
    QRect LabelRect(const QTreeWidgetItem* item) const;

    // Starts the label editor on item (from the gate's name without a
    // quadrant part's suffix).
    void EditLabel(QTreeWidgetItem* item);
    // The end of a label edit: checks and applies text. False (nothing
    // changed) when refused, with a message for the user.
    bool ApplyRename(QTreeWidgetItem* item, const QString& text);
    QString EditTextOf(const QTreeWidgetItem* item) const;

signals:
    // Offered before a selection change in multi-selection mode; set *veto
    // to keep the item as it is.
    void SelChanging(QTreeWidgetItem* item, bool select, bool* veto);
    void SelChanged(QTreeWidgetItem* item, bool select);
    // A click ended (multi-selection mode) or a band ended.
    void Clicked();
    // A press on an item moved the drag distance (multi-selection mode).
    void BeginDrag(QTreeWidgetItem* item);
    void GateRecoloured(CGateNode* gate);
    void ItemRenamed(QTreeWidgetItem* item);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    enum class Track { None, ClickOrDrag, Band };

    static QTreeWidgetItem* MakeGateItem(CGateNode* gate);
    static void DrawExpandButton(QPainter* painter, const QRect& box, bool expanded, bool selected);
    void OnItemCollapsed(QTreeWidgetItem* item);
    void OnItemExpanded(QTreeWidgetItem* item);
    void BandMove(const QPoint& pos);
    void EndTrack(bool cancelled);
    void SelectItemsInRect(const QRect& band);
    QPoint ScrollOffset() const;
    void EditColor(QTreeWidgetItem* item);
    void ForgetTracking();

    bool m_bMultiSelect = false;
    QTreeWidgetItem* m_hAnchor = nullptr;
    bool m_bNotifying = false;

    // Mouse tracking in multi-selection mode.
    Track m_track = Track::None;
    QTreeWidgetItem* m_trackItem = nullptr;
    Qt::KeyboardModifiers m_trackMods;
    QPoint m_trackStart;       // viewport coordinates at the press
    QPoint m_bandStartScroll;  // the start in scrolled coordinates
    bool m_bandStarted = false;
    QRect m_band;              // viewport coordinates, for painting
    std::vector<QTreeWidgetItem*> m_remembered;
    QBasicTimer m_bandTimer;
};
