#pragma once
// "Summery": the Para table as a dialog of its own, with an empty phrase
// list that is not saved and an output box the built text can replace.
// Nothing in the program opens it yet.
#include <QDialog>

class QPlainTextEdit;
class QPushButton;
class CLumitraDoc;
class CParaTable;

class CTextEditorExt : public QDialog {
    Q_OBJECT

public:
    enum OutputCommand : int32_t { kOutToClipboard = 1, kOutToTextBox = 2 };

    explicit CTextEditorExt(CLumitraDoc* doc, QWidget* parent = nullptr);

    CParaTable* Table() const { return m_table; }
    QPlainTextEdit* Output() const { return m_output; }

private:
    void OnEditString();
    void OnResetAll();
    void OnOutput();

    CParaTable* m_table;
    QPlainTextEdit* m_output;
    QPushButton* m_resetAll;
    QPushButton* m_outputButton;
};
