#pragma once
// "Transform": the axis transform (linear, log or logical) of one parameter
// of a data set and its range. Apply changes the data set; OK applies what
// the dialog shows, then closes (it stays open when a value is refused);
// Cancel closes keeping the axes as the last Apply left them. A change marks
// the report and shows on the page at once.
//
// Every value is in the units of the parameter's axis: stored values (a
// log-amplified parameter's channels), their log10 in "Log" mode. Apply
// refuses what the transforms refuse, with the reason; values shown by the
// dialog read back exactly, so Apply without an edit changes nothing. Auto
// Min and Auto Max take a percentile of a gate chosen from a menu.
#include <QDialog>

#include <cstdint>

class CLumitraDoc;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class VexaDataShell;

class CTransDlg : public QDialog {
    Q_OBJECT

public:
    CTransDlg(VexaDataShell* shell, QWidget* parent = nullptr);

    // Fills the parameter list and shows parameter 0.
    void OnInitDialog();
    // The dialog on shell, run modally (for the data-set list's "Transform");
    // doc lists the shell and is marked and redrawn when it changes.
    static void Run(VexaDataShell* shell, CLumitraDoc* doc, QWidget* parent);
    void SetDocument(CLumitraDoc* doc) { m_pDoc = doc; }

    // Builds the transform the edits describe and gives it to the shell.
    // False, after a message, when a value is refused; true also when the
    // transform is the one the parameter has (then nothing is replaced).
    bool OnApply();
    // Auto Min (max = false) and Auto Max: a gate chosen from the menu gives
    // the percentile of the combo's fraction.
    void OnAuto(bool max);

    float m_fMin = 0.0f;
    float m_fMax = 0.0f;
    float m_fDecades = 0.0f;
    VexaDataShell* m_pShell = nullptr;

private:
    void OnOK();

    void OnParamChange();
    void OnModeChange();
    void ShowValues();
    int32_t Param() const;
    int32_t Mode() const;

    QComboBox* m_cbParam;
    QComboBox* m_cbMode;
    QComboBox* m_cbAutoMinFrac;
    QComboBox* m_cbAutoMaxFrac;
    QLineEdit* m_editMin;
    QLineEdit* m_editMax;
    QLineEdit* m_editDecades;
    QLabel* m_stDecades;
    QPushButton* m_btnAutoMin;
    QPushButton* m_btnAutoMax;
    CLumitraDoc* m_pDoc = nullptr;
};
