#pragma once
// One document window inside the main frame. Its client is a splitter of at
// most 2 rows and 2 columns of report views on the same document; the split
// boxes on the first pane's scroll bars add or remove the second row and the
// second column.
#include <QMdiSubWindow>

#include <vector>

class CLumitraDoc;
class CLumitraView;
class QSplitter;
class QToolButton;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT

public:
    // A frame with one view of doc.
    explicit CChildFrame(CLumitraDoc* doc, QWidget* parent = nullptr);
    ~CChildFrame() override;

    // The document of the views (null once it has gone).
    CLumitraDoc* GetDocument() const;
    // The pane that last had the focus (the first pane at the start).
    CLumitraView* GetActiveView() const;
    // Every pane, row by row.
    std::vector<CLumitraView*> GetViews() const;

    // Rows and columns of panes, each 1 or 2.
    void SetSplit(int rows, int cols);
    int GetRowCount() const;
    int GetColumnCount() const;
    // Moves the focus to the next (or previous) pane.
    void ActivateNextPane(bool previous);

    // "title" for the only window of a document, "title:n" for one of several.
    void UpdateTitle(int windowNumber, int windowCount);
    // The application closes this frame as part of closing its document.
    void SetClosingByApp() { m_closingByApp = true; }

signals:
    void activeViewChanged(CLumitraView* view);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CLumitraView* MakeView();
    void OnViewActivated(CLumitraView* view);

    CLumitraDoc* m_doc;  // the document the frame was made for (panes are made on it)
    QSplitter* m_rows = nullptr;
    CLumitraView* m_activeView = nullptr;
    QToolButton* m_rowBox = nullptr;
    QToolButton* m_colBox = nullptr;
    bool m_closingByApp = false;
};
