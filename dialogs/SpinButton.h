#pragma once
// An up-down control without a text of its own: two arrow buttons (up and
// down, or left and right) and the arrow keys step an integer position
// between a low and a high bound. Up and Right raise the position, Down and
// Left lower it. Steps the user makes are reported with positionStepped; a
// position set by the program is not.
#include <QWidget>

#include <cstdint>

class QToolButton;

class CSpinButton : public QWidget {
    Q_OBJECT

public:
    CSpinButton(Qt::Orientation orientation, QWidget* parent = nullptr);

    void SetRange(int32_t low, int32_t high);
    // Clamped to the range; no signal.
    void SetPos(int32_t pos);
    int32_t GetPos() const { return m_pos; }
    int32_t GetLow() const { return m_low; }
    int32_t GetHigh() const { return m_high; }
    // One step up (+1) or down (-1) as the user makes it; nothing at a bound.
    void Step(int32_t delta);

signals:
    void positionStepped(int32_t pos);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void UpdateButtons();

    QToolButton* m_up;
    QToolButton* m_down;
    int32_t m_low = 0;
    int32_t m_high = 100;
    int32_t m_pos = 0;
    int32_t m_wheel = 0;  // wheel delta not yet turned into steps
};
