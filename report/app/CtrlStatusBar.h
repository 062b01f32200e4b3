#pragma once
// The main frame's status bar: the message pane, the zoom box ("200%" ...
// "50%", which sets the zoom of the active report view), the "Size" pane and
// the Caps, Num and Scroll indicators.
#include <QStatusBar>

class QComboBox;
class QLabel;

class CCtrlStatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit CCtrlStatusBar(QWidget* parent = nullptr);

    QComboBox* GetZoomBox() const { return m_zoomBox; }
    // The zoom of entry i of the zoom box (2.0, 1.5, 1.0, 0.75, 0.5); 0 for
    // an index out of range.
    static float ZoomOfIndex(int index);
    // Shows the entry of zoom z (when the box has one) without applying it.
    void ShowZoom(float z);

private:
    void OnZoomChosen(int index);

    QComboBox* m_zoomBox = nullptr;
    QLabel* m_sizePane = nullptr;
};
