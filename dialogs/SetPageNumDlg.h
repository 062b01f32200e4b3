#pragma once
// "Set Page Num": how many pages the report spans across and down. The
// caller presets the current counts and the range the document can take
// (at least the pages its objects reach, at most what it keeps); a value
// outside that range, or not a number, is refused on OK with a message and
// the dialog stays open.
#include <QDialog>

#include <cstdint>

class QLineEdit;

class CSetPageNumDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSetPageNumDlg(QWidget* parent = nullptr);

    // false: members to controls; true: controls to members, false when a
    // value is refused (after its message).
    bool UpdateData(bool save);

    int32_t m_nAcross = 1;
    int32_t m_nDown = 1;
    bool m_bVertArrange = true;  // shown, never changed
    // What each count may be.
    int32_t m_nMinAcross = 1;
    int32_t m_nMaxAcross = 99;
    int32_t m_nMinDown = 1;
    int32_t m_nMaxDown = 99;

private:
    void OnOK();

    QLineEdit* m_across;
    QLineEdit* m_down;
};
