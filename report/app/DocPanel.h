#pragma once
// The places of the main frame's modeless panels (File List, property panel,
// Navigate, Info Assistant). A panel shows one document, the one it is bound
// to; the main frame binds and unbinds it and tells it what changed. The
// panels of later versions derive from this class; until then each place
// shows which document it follows.
#include <QString>
#include <QWidget>

class CLumitraDoc;
class CTrkObj;
class QLabel;
class VexaDataShell;

class CDocPanel : public QWidget {
    Q_OBJECT

public:
    explicit CDocPanel(const QString& name, QWidget* parent = nullptr);
    ~CDocPanel() override;

    const QString& GetPanelName() const { return m_name; }

    // Follows doc (null: none). The panel never keeps a document the main
    // frame has unbound.
    virtual void BindDocument(CLumitraDoc* doc);
    CLumitraDoc* GetDocument() const { return m_doc; }
    // A data set was opened in doc.
    virtual void OnDataShellAdded(CLumitraDoc* doc, VexaDataShell* shell);
    // Refills from the bound document.
    virtual void Refresh();
    // The page object the panel edits (property panel); null: none.
    virtual void BindObject(CTrkObj* obj);
    CTrkObj* GetBoundObject() const { return m_object; }
    // obj is about to be freed.
    virtual void OnObjectRemoving(CTrkObj* obj);
    // What the panel shows: the document's title and its data sets, or
    // "(none)". A panel with its own layout and no summary of its own gives "".
    virtual QString GetText() const;

protected:
    // For a panel that lays out its own widgets: no placeholder text.
    struct OwnLayout {};
    CDocPanel(const QString& name, OwnLayout, QWidget* parent = nullptr);

private:
    QString DocumentText() const;

    QString m_name;
    CLumitraDoc* m_doc = nullptr;
    CTrkObj* m_object = nullptr;
    QLabel* m_label = nullptr;
};
