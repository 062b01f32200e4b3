#pragma once
// "Grid": how many rows and columns a new grid gets, each 1..100. A value
// outside that range (or not a number) is refused on OK with a message and
// the dialog stays open.
#include <QDialog>

#include <cstdint>

class QLineEdit;

class CNewGridDlg : public QDialog {
    Q_OBJECT

public:
    explicit CNewGridDlg(QWidget* parent = nullptr);

    // false: members to controls; true: controls to members, false when a
    // value is refused (after its message).
    bool UpdateData(bool save);

    // The view's maker of the dialog: true on OK with the sizes chosen.
    static bool Ask(QWidget* parent, int32_t* rows, int32_t* cols);

    int32_t m_nRows = 1;
    int32_t m_nCols = 2;

private:
    void OnOK();

    QLineEdit* m_rows;
    QLineEdit* m_cols;
};
