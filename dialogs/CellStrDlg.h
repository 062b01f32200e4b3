#pragma once
// "Edit Cell": text, font, colour and alignment of one grid cell. The caller
// presets the members, calls UpdateData(false), runs the dialog and reads the
// members (and whether "Clear" was pressed) after OK. "Font" and "Clear" keep
// the dialog open.
#include <QDialog>

#include <cstdint>
#include <string>

#include "base/Geometry.h"
#include "base/LogFont.h"

class QComboBox;
class QLineEdit;

class CCellStrDlg : public QDialog {
    Q_OBJECT

public:
    explicit CCellStrDlg(QWidget* parent = nullptr);

    // false: members to controls; true: controls to members.
    void UpdateData(bool save);

    LOGFONT m_font;
    COLORREF m_crText = 0;
    bool m_bClear = false;
    std::string m_strText;
    // 0 "Left", 1 "Centre", 2 "Right"; -1 none chosen.
    int32_t m_nAlign = -1;

private:
    void OnFont();
    void OnClear();
    void OnOK();

    QLineEdit* m_edit;
    QComboBox* m_align;
};
