#pragma once
// The bar beside the toolbar: "Auto Arrange" (the bound document's snap
// flag), the pane buttons "F", "G", "D", "N" and the hidden "D" (the main
// frame's pane flags), the program's banner button and the hidden
// arrange-mode box ("By Data" / "By Item").
#include <QWidget>

#include <cstdint>

class CLumitraDoc;
class QAbstractButton;
class QComboBox;
class QPushButton;
class QToolButton;

class CFrameDlgBar : public QWidget {
    Q_OBJECT

public:
    explicit CFrameDlgBar(QWidget* parent = nullptr);

    // Follows doc (null: none). A different document sets "Auto Arrange"
    // from its auto-arrange flag.
    void BindDocument(CLumitraDoc* doc);
    CLumitraDoc* GetDocument() const { return m_doc; }

    // Check-state setters of the pane buttons (the low byte is the state).
    void SetFileListCheck(int32_t flag);
    void SetGateListCheck(int32_t flag);
    void SetPropertyCheck(int32_t flag);
    void SetDatabaseCheck(int32_t flag);
    void SetNavigateCheck(int32_t flag);

    // The control with that ControlId, or null.
    QWidget* Control(int32_t id) const;

    // The page the banner button opens.
    static QString BannerUrl();

signals:
    // A pane button was clicked: PaneFlag and its new state.
    void paneFlagChanged(int32_t flag, bool on);

private:
    QToolButton* PaneButton(const QString& text, const QString& icon, int32_t id, int32_t flag);
    void OnAutoArrange(bool checked);
    void OnArrangeMode(int index);

    CLumitraDoc* m_doc = nullptr;
    QToolButton* m_autoArrange = nullptr;
    QToolButton* m_fileList = nullptr;
    QToolButton* m_gateList = nullptr;
    QToolButton* m_property = nullptr;
    QToolButton* m_navigate = nullptr;
    QToolButton* m_database = nullptr;
    QPushButton* m_banner = nullptr;
    QComboBox* m_arrangeMode = nullptr;
};
