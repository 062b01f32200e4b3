#pragma once
// The "Overlap" page of the property panel: the layers other plots lent this
// plot, each "file @ gate -- kind"; a check shows or hides one, a double
// click removes it.
#include <QWidget>

#include <cstdint>

class CLayer;
class COverlapList;
class CPLOT;
class QListWidgetItem;

class COverlapPropPage : public QWidget {
    Q_OBJECT

public:
    enum Control : int32_t { kList = 1116 };

    explicit COverlapPropPage(QWidget* parent = nullptr);

    // Fills the page from plot's overlays (null: empty).
    void SetPlot(CPLOT* plot);
    CPLOT* GetPlot() const { return m_pPlot; }
    COverlapList* List() const { return m_list; }
    // The row text of an overlay layer.
    static QString RowText(const CLayer& layer);

private:
    void OnChecked(QListWidgetItem* item);
    void OnDoubleClicked(QListWidgetItem* item);

    COverlapList* m_list;
    CPLOT* m_pPlot = nullptr;
    bool m_bBinding = false;
};
