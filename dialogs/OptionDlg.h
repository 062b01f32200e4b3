#pragma once
// "Plot Option": how plots name a parameter on their axes. The entries say
// which keyword the name comes from ("PnS": $PnS, "PnN": $PnN, "PnS+PnN":
// both); they are listed in another order than the axis-label modes are
// numbered (1 = $PnN, 2 = $PnS, 3 = both), so the mode is never the entry's
// index + 1: LabelModeOfIndex and IndexOfLabelMode translate.
#include <QDialog>

#include <cstdint>

class QComboBox;

class COptionDlg : public QDialog {
    Q_OBJECT

public:
    explicit COptionDlg(QWidget* parent = nullptr);

    // false: member to control; true: control to member.
    bool UpdateData(bool save);

    // The axis-label mode of an entry (0 for none), and the entry of a mode
    // (-1 for none).
    static int32_t LabelModeOfIndex(int32_t index);
    static int32_t IndexOfLabelMode(int32_t mode);

    // Edit > "Options...": opens on the plot defaults' mode; on OK with
    // another entry chosen the defaults take its mode. True when they changed.
    static bool Run(QWidget* parent);

    int32_t m_nLabelStyle = -1;  // entry index, -1: none

private:
    void OnOK();

    QComboBox* m_style;
};
