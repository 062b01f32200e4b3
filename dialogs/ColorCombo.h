#pragma once
// A colour picker of fixed entries: the current colour, "None", twelve
// colours and "More", which asks for any colour. 0xFFFFFFFF means "None":
// nothing is drawn in that colour.
#include <QComboBox>

#include <array>
#include <cstdint>

#include "base/Geometry.h"

class CColorCombo : public QComboBox {
    Q_OBJECT

public:
    static constexpr COLORREF kNone = 0xFFFFFFFF;
    static constexpr int kEntries = 15;

    explicit CColorCombo(QWidget* parent = nullptr);

    // Stores color as the first entry (the caller then selects it).
    void SelectColor(COLORREF color);
    // The selected entry's colour; "More" gives the colour chosen there.
    COLORREF GetColor() const;
    COLORREF GetCustomColor() const { return m_crCustom; }

signals:
    // "More" was answered with a colour (a cancelled colour dialog sends nothing).
    void customColorChosen(COLORREF color);

private:
    void RefreshItem(int index);
    void OnActivated(int index);

    std::array<COLORREF, kEntries> m_colors;
    COLORREF m_crCustom = 0xFFFFFF;
};
