#pragma once
// The "Dot" page of the property panel: which gate layers a 2-D plot shows
// (row i is dot layer i; dragging a row moves the layer), which regions it
// shows, and how many events it draws. Changes go to the plot at once.
//
// The plot asks the page to fill again whenever it draws; the page refills
// only when what it shows of the plot changed, and never over an Events
// value being typed.
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Geometry.h"

class CDataRgn;
class CGateListBox;
class CGateNode;
class CPLOT;
class QComboBox;
class QLineEdit;
class QListWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;

class CDotPropPage : public QWidget {
    Q_OBJECT

public:
    enum Control : int32_t {
        kEvents = 1080,
        kGates = 1083,
        kShapes = 1084,
        kShowPercent = 1213,
    };

    explicit CDotPropPage(QWidget* parent = nullptr);

    // Fills the page from plot (null: the page lets go). Without data the
    // page is disabled.
    void SetPlot(CPLOT* plot);
    // Refills only when the plot's layers, regions or dot limit differ from
    // what the page shows; true when it refilled.
    bool RefreshFromPlot();
    CPLOT* GetPlot() const { return m_pPlot; }
    // The gate list moved a row from `from` to its final index `to`: the dot
    // layer moves the same way.
    void OnGateMoved(int from, int to);

    CGateListBox* GateList() const { return m_gateList; }
    QTreeWidget* ShapeList() const { return m_listShapes; }
    const std::vector<CDataRgn*>& GetShapes() const { return m_shapes; }
    int32_t GetEvents() const { return m_nEvents; }
    // Refills since construction (for tests of the refill rule).
    int32_t GetFillCount() const { return m_fills; }

    // The type word of a shape row; empty for types without a row.
    static QString ShapeTypeText(int32_t regionType);

private:
    // What the page shows of the plot, compared to decide a refill.
    struct Shown {
        std::vector<const void*> keys;
        std::vector<COLORREF> colors;
        std::vector<std::string> names;
        std::vector<uint8_t> flags;
        int32_t events = 0;
        bool enabled = false;
        bool operator==(const Shown&) const = default;
    };
    Shown Snapshot() const;
    void Fill();
    void OnGateChecked(QListWidgetItem* item);
    void OnGateDoubleClicked(QListWidgetItem* item);
    void OnShapeChanged(QTreeWidgetItem* item, int column);
    void OnEventsEdited();
    void OnPercent(int index);
    // The dot limit percent entry index stands for on the bound plot's data
    // set; -1 for no entry or no plot.
    int32_t EventsOfPercentEntry(int index) const;
    // The entry that gives the bound plot's dot limit (none when no entry
    // does): a choice made for another plot is not left standing.
    void ShowPercentOfPlot();

    QComboBox* m_cbShowPercent;
    QTreeWidget* m_listShapes;
    CGateListBox* m_gateList;
    QLineEdit* m_events;
    int32_t m_nEvents = 0;
    CPLOT* m_pPlot = nullptr;
    std::vector<CDataRgn*> m_shapes;
    bool m_bBinding = false;
    Shown m_shown;
    int32_t m_fills = 0;
};
