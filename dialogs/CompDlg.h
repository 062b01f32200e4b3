#pragma once
// "Compensation": edits the two spillover coefficients between a plot's X
// and Y parameters while the plot shows the result. The shell's working
// matrix takes every change at once; OK stores it, Cancel (also Esc and
// closing the window) gives the events back exactly as they were.
//
// A data set without SPILL is compensated with the identity: its
// coefficients read 0.0 and are edited like any other. OK marks the report
// only when a coefficient ends up changed.
//
// A value reaches the data only after it was checked (0.0 .. 99.9 percent):
// spinner steps and values typed into an edit (applied on Enter or when the
// edit loses focus) alike. Steps that arrive while an earlier one is being
// applied are merged, so a held arrow never queues up re-evaluations. A value
// the shell refuses (the matrix would be singular) gives the last good one
// back with a message. A coefficient stored outside 0.0 .. 99.9 is shown and
// kept until the user changes it.
#include <QDialog>

#include <cstdint>

class CLumitraDoc;
class CPLOT;
class CSpinButton;
class QLabel;
class QLineEdit;
class QPushButton;
class VexaDataShell;

class CCompDlg : public QDialog {
    Q_OBJECT

public:
    explicit CCompDlg(QWidget* parent = nullptr);
    ~CCompDlg() override;

    void AttachPlot(CPLOT* plot);
    // Fills the dialog from the plot and starts the shell's working matrix.
    // False, after a message, when there is nothing to edit (no data, or X
    // and Y are the same parameter): the dialog must not be run.
    bool OnInitDialog();
    // The plot menu's "Compensate": the dialog on plot, run modally.
    static void RunForPlot(CPLOT* plot);

    // Percent values shown: (row X, column Y) and (row Y, column X).
    float m_fXY = 0.0f;
    float m_fYX = 0.0f;
    CPLOT* m_pPlot = nullptr;

    // Whether both parameters are in the matrix (the controls are enabled).
    bool IsEditable() const { return m_editable; }
    // Coefficient changes the shell has taken so far (merged steps count once).
    int32_t GetAppliedCount() const { return m_appliedCount; }
    // Applies a step or typed value still waiting (the dialog does so from
    // the event loop by itself). False when the shell refused one.
    bool ApplyPending();

public slots:
    void reject() override;

private:
    struct Row {
        QLineEdit* edit = nullptr;
        CSpinButton* spin = nullptr;
        int32_t rowParam = 0;
        int32_t colParam = 0;
        float* member = nullptr;
        float good = 0.0f;     // the value the events follow
        float stored = 0.0f;   // the value when the dialog opened
        bool pending = false;  // *member waits to be applied
    };

    void OnOK();
    void OnSpin(Row& row, int32_t pos);
    // A typed value: true when it was taken (or nothing was typed).
    bool OnEdited(Row& row);
    void Show(Row& row, float value);
    void QueueApply();
    VexaDataShell* Shell() const;
    // The document listing the plot and its data set; null when either left.
    CLumitraDoc* Document() const;
    // The plot rebuilt and everything showing the data set repainted now.
    void ShowChange();

    Row m_rows[2];
    QLineEdit* m_captions[4] = {};
    QLabel* m_note = nullptr;
    QPushButton* m_ok = nullptr;
    bool m_editable = false;
    bool m_editing = false;      // the shell's working matrix is ours
    bool m_applyQueued = false;
    int32_t m_appliedCount = 0;
};
