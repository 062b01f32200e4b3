#pragma once
// The main window: the document windows, the menus (menu 128 while no
// document is open, menu 129 with one), the toolbar and the dialog bar, the
// status bar with its zoom box, and the places of the modeless panels. It is
// also the switchboard through which panels, documents and views reach each
// other: it keeps the registered document (the one the panels show) and the
// five pane flags, and relays what one side tells the others.
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "report/app/CommandIds.h"
#include "report/app/ControlIds.h"
#include "report/app/DragDropMgr.h"

class CChildFrame;
class CCtrlStatusBar;
class CDocPanel;
class CFrameDlgBar;
class CLumitraDoc;
class CLumitraView;
class CNavigateDlg;
class CTrkObj;
class QAction;
class QDockWidget;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolBar;
class VexaDataShell;

// The panels the frame has places for.
enum PanelSlot : int32_t {
    kPanelFileList = 0,
    kPanelProperty = 1,
    kPanelNavigate = 2,
    kPanelInfoAssistant = 3,
    kPanelCount = 4,
};

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    // Reads the plot defaults from the ini file of programFolder.
    explicit CMainFrame(const std::string& programFolder);
    // Writes the plot defaults back.
    ~CMainFrame() override;

    // Builds the bars and panels; false when one cannot be made.
    bool Create();

    // ------------------------------------------------------------- relays
    // The program folder (no closing separator).
    std::string GetAppDirectory() const { return m_programFolder; }
    std::string GetIniPath() const;
    CLumitraDoc* GetRegisteredDocument() const { return m_registeredDoc; }
    // The document of the active document window, or null.
    CLumitraDoc* GetActiveDocument() const;
    CChildFrame* GetActiveChild() const;
    // The active pane of the active document window, or null.
    CLumitraView* GetActiveReportView() const;
    // Makes doc the registered document and binds the panels and the bar to
    // it; the Info Assistant and the property panel follow it too.
    void BindDocument(CLumitraDoc* doc);
    // A data set was opened in doc.
    void AddDataShell(CLumitraDoc* doc, VexaDataShell* shell);
    // A plot was clicked: doc is registered and the Navigate panel shows the gate.
    void SetActiveDocument(CLumitraDoc* doc, int32_t a, int32_t b);
    // doc is being destroyed: nothing keeps it afterwards, and the panels
    // follow the active window's document.
    void OnDocumentClosing(CLumitraDoc* doc);
    // The user works in doc (a click into one of its views): the registered
    // document, the panels and the bar follow it unless they do already.
    void FollowDocument(CLumitraDoc* doc);
    // doc has a new name (Save As): the panels that show it say so.
    void OnDocumentTitleChanged(CLumitraDoc* doc);
    void RefreshFileList();
    void RebuildNavigate(CLumitraDoc* doc);
    void RefreshNavigatePlots(CLumitraDoc* doc);
    void RedrawDocument();
    void OnCurrentShellChanged(VexaDataShell* shell);
    // The property panel edits obj (null: nothing).
    void BindPropertyObject(CTrkObj* obj);
    // obj is about to be freed: panels drop it.
    void OnObjectRemoving(CTrkObj* obj);
    void CopyTextToClipboard(const QString& text);
    // A report view being made: a drag source and drop target of gates.
    void RegisterDropView(CLumitraView* view);
    CDragDropMgr& GetDragDropMgr() { return m_dragDropMgr; }
    void SyncDialogBarButtons();
    void ShowPanels();
    // Binds the Info Assistant to doc and shows it.
    void ShowInfoAssistant(CLumitraDoc* doc);

    // The File List's switches for files dropped on a report page
    // (DropTemplateBits of LumitraView.h); they last while the program runs.
    int32_t GetApplyMask() const { return m_applyMask; }
    void SetApplyMask(int32_t mask) { m_applyMask = mask; }

    bool GetPaneFlag(int32_t flag) const;
    void SetPaneFlag(int32_t flag, bool on);

    void ReadPlotDefaults();
    void WritePlotDefaults() const;

    // ----------------------------------------------------- windows and menus
    QMdiArea* GetMdiArea() const { return m_mdi; }
    void AddChildFrame(CChildFrame* frame);
    std::vector<CChildFrame*> GetChildFrames() const;
    // MenuResourceId of the menu shown.
    int32_t GetMenuId() const { return m_menuId; }
    // Shows menu 129 while a document is open, else menu 128.
    void UpdateMenuForDocuments();
    // The action of command id in the menu shown (null when it has none).
    QAction* FindMenuAction(int32_t id) const;
    QToolBar* GetToolBar() const { return m_toolBar; }
    CFrameDlgBar* GetDialogBar() const { return m_dlgBar; }
    CCtrlStatusBar* GetStatusBar() const { return m_statusBar; }
    CDocPanel* GetPanel(int32_t slot) const;
    CNavigateDlg* GetNavigatePanel() const { return m_navigate; }
    QDockWidget* GetPanelDock(int32_t slot) const;
    CDocPanel* GetDatabasePanel() const { return m_databasePanel; }
    void RebuildRecentFileMenus();
    // Enables and checks every action from the program's state.
    void UpdateCommandUi();
    void UpdateTitle();

    // Runs a command as the menus, the toolbar and the keys do.
    void OnCommand(int32_t id);
    bool IsCommandEnabled(int32_t id) const;
    bool IsCommandChecked(int32_t id) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Watches the client area's size: report windows are kept inside it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* MakeAction(int32_t id, const QString& text);
    void BuildMenus();
    void BuildAccelerators();
    bool BuildToolBar();
    void BuildPanels();
    // The Info Assistant and the property panel take up doc, the report in front.
    void FollowWithObjectPanels(CLumitraDoc* doc);
    void ShowMenu(int32_t menuId);
    void OnSubWindowActivated(QMdiSubWindow* window);
    void OnPaneFlagChanged(int32_t flag, bool on);
    void FillWindowMenu(QMenu* menu);
    void ArrangeIcons();
    // Shrinks and moves every normal report window into the client area (the
    // panels take most of the default window), and lets one shrunk before
    // grow back towards its own size when the area widens again.
    void KeepChildFramesInArea();
    void ShowNote();

    // Panels and their places.
    std::array<CDocPanel*, kPanelCount> m_panels{};
    std::array<QDockWidget*, kPanelCount> m_docks{};
    CDocPanel* m_databasePanel = nullptr;  // the database panel (a CDatabaseDlg)
    QDockWidget* m_databaseDock = nullptr;
    CNavigateDlg* m_navigate = nullptr;    // m_panels[kPanelNavigate]

    CCtrlStatusBar* m_statusBar = nullptr;
    QToolBar* m_toolBar = nullptr;
    QToolBar* m_dlgBarHost = nullptr;
    CFrameDlgBar* m_dlgBar = nullptr;
    QMdiArea* m_mdi = nullptr;

    CLumitraDoc* m_registeredDoc = nullptr;
    std::array<int32_t, kPaneFlagCount> m_paneFlags{1, 1, 1, 0, 1};
    std::string m_programFolder;

    // Menus 128 and 129 (top-level menus of each) and their actions by id.
    std::map<int32_t, std::vector<QMenu*>> m_menus;
    std::map<int32_t, std::multimap<int32_t, QAction*>> m_menuActions;
    std::map<int32_t, QAction*> m_recentPlaceholder;  // per menu
    std::map<int32_t, std::vector<QAction*>> m_recentActions;
    std::vector<QAction*> m_toolActions;
    std::vector<QAction*> m_accelerators;
    int32_t m_menuId = 0;
    int32_t m_applyMask = 0;
    // Last member: it goes first, while the windows it knows still exist.
    CDragDropMgr m_dragDropMgr;
};

// The property panel once the main frame has made it, else null.
CDocPanel* GetPropertyPanel();
