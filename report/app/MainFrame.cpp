#include "report/app/MainFrame.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QGuiApplication>
#include <QIcon>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <algorithm>

#include "database/DatabaseDlg.h"
#include "dialogs/DataTree.h"
#include "dialogs/InfoAstDlg.h"
#include "dialogs/NavigateDlg.h"
#include "dialogs/ObjStyleDlg.h"
#include "dialogs/OptionDlg.h"
#include "dialogs/ShellNameDlg.h"
#include "platform/UiServices.h"
#include "report/app/AboutDlg.h"
#include "report/app/ChildFrame.h"
#include "report/app/CtrlStatusBar.h"
#include "report/app/DocPanel.h"
#include "report/app/FrameDlgBar.h"
#include "report/app/LumitraApp.h"
#include "report/app/WindowListDlg.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/TrkObj.h"
#include "report/plot/PlotDefaults.h"

namespace {

// Report windows the Window menu lists by name; the rest are in "Windows...".
constexpr size_t kWindowMenuEntries = 9;

CDocPanel* g_propertyPanel = nullptr;

struct MenuEntry {
    int32_t id;  // 0: separator
    const char* text;
};

struct MenuDef {
    const char* title;
    std::vector<MenuEntry> items;
};

// Menu 128: no document open.
const std::vector<MenuDef>& NoDocumentMenu() {
    static const std::vector<MenuDef> menu = {
        {"文件(&F)",
         {{kCmdFileNew, "新建(&N)\tCtrl+N"},
          {kCmdFileOpen, "打开(&O)...\tCtrl+O"},
          {0, nullptr},
          {kCmdFilePrintSetup, "打印设置(&R)..."},
          {0, nullptr},
          {kCmdFileMru1, "最近文件"},
          {0, nullptr},
          {kCmdAppExit, "退出(&X)"}}},
        {"帮助(&H)", {{kCmdHelpIndex, "帮助主题(&H)"}, {0, nullptr}, {kCmdAppAbout, "关于 Lumitra(&A)..."}}},
    };
    return menu;
}

// Menu 129: a report document is active.
const std::vector<MenuDef>& ReportMenu() {
    static const std::vector<MenuDef> menu = {
        {"File(&F)",
         {{kCmdFileNew, "New(&N)\tCtrl+N"},
          {kCmdFileOpen, "Open(&O)...\tCtrl+O"},
          {kCmdFileClose, "Close(&C)"},
          {kCmdFileSave, "Save(&S)\tCtrl+S"},
          {kCmdFileSaveAs, "Save As(&A)..."},
          {kCmdSaveAsTemplate, "Save As Template..."},
          {0, nullptr},
          {kCmdFilePrint, "Print(&P)...\tCtrl+P"},
          {kCmdFilePrintPreview, "Print Preview(&V)"},
          {kCmdFilePrintSetup, "Print Setup(&R)..."},
          {0, nullptr},
          {kCmdFileMru1, "Recent File"},
          {0, nullptr},
          {kCmdAppExit, "Quit(&X)"}}},
        {"Edit(&E)",
         {{kCmdEditUndo, "Undo(&U)\tCtrl+Z"},
          {0, nullptr},
          {kCmdEditCut, "Cut(&T)\tCtrl+X"},
          {kCmdEditCopy, "Copy(&C)\tCtrl+C"},
          {kCmdEditPaste, "Paste(&P)\tCtrl+V"},
          {kCmdPlotOptions, "Options..."}}},
        {"View(&V)",
         {{kCmdViewToolbar, "Tool Bar(&T)"},
          {kCmdViewStatusBar, "Status Bar(&S)"},
          {kCmdShellList, "Shell List"},
          {kCmdGateList, "Gate List"}}},
        {"Window",
         {{kCmdWindowNew, "New Window(&N)"},
          {kCmdWindowCascade, "层叠(&C)"},
          {kCmdWindowTile, "平铺(&T)"},
          {kCmdWindowArrange, "排列图标(&A)"}}},
        {"Help(&H)", {{kCmdHelpIndex, "Topic(&H)"}, {0, nullptr}, {kCmdAppAbout, "About Vexa(&A)..."}}},
    };
    return menu;
}

struct Accelerator {
    const char* keys;
    int32_t id;
};

// Accelerators 128, in their order.
constexpr Accelerator kAccelerators[] = {
    {"Ctrl+N", kCmdFileNew},       {"Ctrl+O", kCmdFileOpen},      {"Ctrl+S", kCmdFileSave},
    {"Ctrl+P", kCmdFilePrint},     {"Ctrl+Z", kCmdEditUndo},      {"Ctrl+X", kCmdEditCut},
    {"Ctrl+C", kCmdEditCopy},      {"Ctrl+V", kCmdEditPaste},     {"Alt+Backspace", kCmdEditUndo},
    {"Shift+Del", kCmdEditCut},    {"Ctrl+Ins", kCmdEditCopy},    {"Shift+Ins", kCmdEditPaste},
    {"F6", kCmdNextPane},          {"Shift+F6", kCmdPrevPane},    {"Shift+F1", kCmdContextHelp},
    {"F1", kCmdHelp},
};

bool IsToggle(int32_t id) {
    return id == kCmdViewToolbar || id == kCmdViewStatusBar || id == kCmdShellList || id == kCmdGateList ||
           id == kCmdPropertyPanel;
}

}  // namespace

CDocPanel* GetPropertyPanel() { return g_propertyPanel; }

// ===================================================================== life

CMainFrame::CMainFrame(const std::string& programFolder) : m_programFolder(programFolder) {
    while (m_programFolder.size() > 1 && m_programFolder.back() == '/') m_programFolder.pop_back();
    setObjectName(QStringLiteral("mainFrame"));
    // Gates are dragged between the program's windows through the manager;
    // views register as they are made.
    m_dragDropMgr.Install(this);
    ReadPlotDefaults();
}

CMainFrame::~CMainFrame() {
    WritePlotDefaults();
    if (g_propertyPanel && g_propertyPanel == m_panels[kPanelProperty]) g_propertyPanel = nullptr;
    m_registeredDoc = nullptr;
}

bool CMainFrame::Create() {
    setWindowIcon(QIcon(QStringLiteral(":/lumitra/lumitra.png")));
    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    m_mdi->setBackground(QColor(0xAB, 0xAB, 0xAB));
    setCentralWidget(m_mdi);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &CMainFrame::OnSubWindowActivated);
    m_mdi->viewport()->installEventFilter(this);

    BuildMenus();
    BuildAccelerators();
    if (!BuildToolBar()) return false;

    m_statusBar = new CCtrlStatusBar(this);
    setStatusBar(m_statusBar);
    // Files dropped on the frame outside a report view are not taken.
    setAcceptDrops(false);

    BuildPanels();
    SyncDialogBarButtons();
    ShowMenu(kMenuNoDocument);
    UpdateTitle();
    UpdateCommandUi();
    resize(1100, 800);
    return true;
}

std::string CMainFrame::GetIniPath() const { return m_programFolder + "/" + kIniFileName; }

void CMainFrame::ReadPlotDefaults() { GetPlotDefaults().Read(GetIniPath()); }

void CMainFrame::WritePlotDefaults() const {
    std::string why;
    if (GetPlotDefaults().Write(GetIniPath(), &why)) return;
    // The last chance to tell: the program is on its way out.
    lm::Ui().MessageBox(nullptr,
                        QStringLiteral("The plot defaults could not be saved (%1).\n"
                                       "Changes to them made in this session are lost.")
                            .arg(QString::fromStdString(why)),
                        QStringLiteral("警告"), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
}

// ============================================================= construction

QAction* CMainFrame::MakeAction(int32_t id, const QString& text) {
    auto* a = new QAction(text, this);
    a->setData(id);
    if (IsToggle(id)) a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
    return a;
}

void CMainFrame::BuildMenus() {
    for (int32_t menuId : {int32_t(kMenuNoDocument), int32_t(kMenuReportDocument)}) {
        const auto& defs = menuId == kMenuNoDocument ? NoDocumentMenu() : ReportMenu();
        for (const MenuDef& m : defs) {
            auto* menu = new QMenu(QString::fromUtf8(m.title), this);
            for (const MenuEntry& e : m.items) {
                if (!e.id) {
                    menu->addSeparator();
                    continue;
                }
                QAction* a = MakeAction(e.id, QString::fromUtf8(e.text));
                menu->addAction(a);
                m_menuActions[menuId].emplace(e.id, a);
                if (e.id == kCmdFileMru1) {
                    a->setEnabled(false);
                    m_recentPlaceholder[menuId] = a;
                }
            }
            connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
            if (QString::fromUtf8(m.title) == QLatin1String("Window"))
                connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillWindowMenu(menu); });
            m_menus[menuId].push_back(menu);
        }
    }
    RebuildRecentFileMenus();
}

void CMainFrame::BuildAccelerators() {
    for (const Accelerator& acc : kAccelerators) {
        auto* a = new QAction(this);
        a->setShortcut(QKeySequence(QString::fromLatin1(acc.keys)));
        a->setShortcutContext(Qt::WindowShortcut);
        const int32_t id = acc.id;
        a->setData(id);
        // A key whose command is disabled is left to the focused window (the
        // report view and the text boxes have keys of their own).
        connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
        addAction(a);
        m_accelerators.push_back(a);
    }
}

bool CMainFrame::BuildToolBar() {
    m_toolBar = new QToolBar(QStringLiteral("Standard"), this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setIconSize(QSize(20, 18));
    struct Button {
        int32_t id;
        const char* icon;
        const char* tip;
    };
    const Button buttons[] = {
        {kCmdFileNew, "new", "New"}, {kCmdFileOpen, "open", "Open"}, {kCmdFileSave, "save", "Save"},
        {0, nullptr, nullptr},       {kCmdFilePrint, "print", "Print"}, {0, nullptr, nullptr},
        {kCmdNote, "note", "Note"},
    };
    for (const Button& b : buttons) {
        if (!b.id) {
            m_toolBar->addSeparator();
            continue;
        }
        QAction* a = MakeAction(b.id, QString::fromLatin1(b.tip));
        a->setIcon(QIcon(QStringLiteral(":/lumitra/%1.png").arg(QLatin1String(b.icon))));
        m_toolBar->addAction(a);
        m_toolActions.push_back(a);
    }
    addToolBar(Qt::TopToolBarArea, m_toolBar);

    // The dialog bar is the second band of the top bar area.
    m_dlgBar = new CFrameDlgBar;
    m_dlgBarHost = new QToolBar(QStringLiteral("Panels"), this);
    m_dlgBarHost->setObjectName(QStringLiteral("dialogBarHost"));
    m_dlgBarHost->addWidget(m_dlgBar);
    addToolBar(Qt::TopToolBarArea, m_dlgBarHost);
    connect(m_dlgBar, &CFrameDlgBar::paneFlagChanged, this, &CMainFrame::OnPaneFlagChanged);
    return m_toolBar && m_dlgBar;
}

void CMainFrame::BuildPanels() {
    const QString titles[kPanelCount] = {QStringLiteral(" File List"), QStringLiteral("Property"),
                                         QStringLiteral("Navigate"), QStringLiteral("Info Assistant")};
    for (int32_t slot = 0; slot < kPanelCount; ++slot) {
        CDocPanel* panel = nullptr;
        if (slot == kPanelInfoAssistant) {
            auto* info = new CInfoAstDlg;
            info->LoadStringList(m_programFolder);
            panel = info;
        } else if (slot == kPanelNavigate) {
            m_navigate = new CNavigateDlg;
            panel = m_navigate;
            // Gates are dragged out of the tree onto a page.
            m_dragDropMgr.AddWindow(m_navigate->GetTree(), kDragSource);
        } else if (slot == kPanelFileList) {
            panel = new CShellNameDlg;
        } else {
            panel = new CObjStyleDlg;
        }
        auto* dock = new QDockWidget(titles[slot], this);
        dock->setObjectName(QStringLiteral("panel%1").arg(slot));
        // Shown and hidden through the pane flags only.
        dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
        dock->setWidget(panel);
        addDockWidget(Qt::RightDockWidgetArea, dock);
        m_panels[size_t(slot)] = panel;
        m_docks[size_t(slot)] = dock;
    }
    g_propertyPanel = m_panels[kPanelProperty];
    m_docks[kPanelInfoAssistant]->hide();
    // The database panel, shown and hidden by the dialog bar's second "D".
    auto* database = new CDatabaseDlg(QString::fromStdString(m_programFolder));
    m_databaseDock = new QDockWidget(QStringLiteral("Database"), this);
    m_databaseDock->setObjectName(QStringLiteral("panelDatabase"));
    m_databaseDock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    m_databaseDock->setWidget(database);
    addDockWidget(Qt::LeftDockWidgetArea, m_databaseDock);
    m_databasePanel = database;
    if (QWidget* button = m_dlgBar->Control(kCtlPaneDatabase)) button->setVisible(true);
    ShowPanels();
}

// =================================================================== relays

CChildFrame* CMainFrame::GetActiveChild() const {
    if (!m_mdi) return nullptr;
    auto* child = qobject_cast<CChildFrame*>(m_mdi->activeSubWindow());
    if (!child) {
        // No window has the focus (the frame is not active): the MDI area
        // still knows which one was active last.
        const auto list = m_mdi->subWindowList(QMdiArea::ActivationHistoryOrder);
        for (auto it = list.rbegin(); it != list.rend() && !child; ++it)
            if ((*it)->isVisible()) child = qobject_cast<CChildFrame*>(*it);
    }
    return child;
}

CLumitraDoc* CMainFrame::GetActiveDocument() const {
    CChildFrame* child = GetActiveChild();
    return child ? child->GetDocument() : nullptr;
}

CLumitraView* CMainFrame::GetActiveReportView() const {
    CChildFrame* child = GetActiveChild();
    return child && child->GetDocument() ? child->GetActiveView() : nullptr;
}

void CMainFrame::BindDocument(CLumitraDoc* doc) {
    m_registeredDoc = doc;
    if (GetPaneFlag(kPaneFileList)) m_panels[kPanelFileList]->BindDocument(doc);
    m_panels[kPanelNavigate]->BindDocument(m_registeredDoc);
    m_dlgBar->BindDocument(doc);
    FollowWithObjectPanels(doc);
}

void CMainFrame::FollowWithObjectPanels(CLumitraDoc* doc) {
    if (!doc) return;
    // The Info Assistant shows the report in front. Its Para table is rebuilt
    // only when that report changes: the phrases put into its cells are the
    // user's work.
    if (CDocPanel* info = m_panels[kPanelInfoAssistant]; info && info->GetDocument() != doc) info->BindDocument(doc);
    // The property panel shows what the report in front has selected: never
    // an object of a report behind it, never nothing beside a selected plot.
    if (!g_propertyPanel) return;
    CTrkObj* bound = g_propertyPanel->GetBoundObject();
    if (bound && bound->GetDocument() == doc) return;
    if (bound) g_propertyPanel->BindObject(nullptr);
    if (CTrkObj* active = doc->GetActiveObject()) g_propertyPanel->BindObject(active);
}

void CMainFrame::AddDataShell(CLumitraDoc* doc, VexaDataShell* shell) {
    m_registeredDoc = doc;
    if (!doc) return;
    m_panels[kPanelFileList]->OnDataShellAdded(doc, shell);
    m_panels[kPanelNavigate]->OnDataShellAdded(doc, shell);
    m_panels[kPanelInfoAssistant]->OnDataShellAdded(doc, shell);
}

void CMainFrame::SetActiveDocument(CLumitraDoc* doc, int32_t a, int32_t b) {
    m_registeredDoc = doc;
    // The Navigate panel opens the data set of the plot's new gate.
    if (doc) m_navigate->ShowGate(doc, a, b);
}

void CMainFrame::OnDocumentClosing(CLumitraDoc* doc) {
    if (!doc) return;
    // Every panel and bar lets go of the document, whatever the pane flags;
    // the registered document is cleared only when it is this one.
    if (m_registeredDoc == doc) m_registeredDoc = nullptr;
    for (CDocPanel* p : m_panels)
        if (p && p->GetDocument() == doc) p->BindDocument(nullptr);
    if (m_databasePanel && m_databasePanel->GetDocument() == doc) m_databasePanel->BindDocument(nullptr);
    if (g_propertyPanel && g_propertyPanel->GetDocument() == doc) g_propertyPanel->BindDocument(nullptr);
    if (m_dlgBar && m_dlgBar->GetDocument() == doc) m_dlgBar->BindDocument(nullptr);
    // A document that goes without ever having a window (a file that did
    // not open) must not leave the panels empty while another one is shown:
    // they go back to the active window's document.
    CLumitraDoc* shown = GetActiveDocument();
    if (shown && shown != doc) BindDocument(shown);
}

void CMainFrame::FollowDocument(CLumitraDoc* doc) {
    if (!doc) return;
    const bool fileListFollows = !GetPaneFlag(kPaneFileList) || m_panels[kPanelFileList]->GetDocument() == doc;
    if (m_registeredDoc == doc && fileListFollows && m_panels[kPanelNavigate]->GetDocument() == doc &&
        m_dlgBar->GetDocument() == doc) {
        FollowWithObjectPanels(doc);
        return;
    }
    BindDocument(doc);
}

void CMainFrame::OnDocumentTitleChanged(CLumitraDoc* doc) {
    for (CDocPanel* p : m_panels) {
        if (!p) continue;
        const CTrkObj* obj = p->GetBoundObject();
        if (p->GetDocument() == doc || (obj && obj->GetDocument() == doc)) p->Refresh();
    }
}

void CMainFrame::RefreshFileList() { m_panels[kPanelFileList]->Refresh(); }

void CMainFrame::RebuildNavigate(CLumitraDoc* doc) {
    // A null document (none active) leaves the panel as it is.
    if (doc) m_navigate->Rebuild(doc);
}

void CMainFrame::RefreshNavigatePlots(CLumitraDoc* doc) {
    if (m_panels[kPanelNavigate]->GetDocument() == doc) m_panels[kPanelNavigate]->Refresh();
}

void CMainFrame::RedrawDocument() {
    if (m_registeredDoc) m_registeredDoc->RedrawDirty();
}

void CMainFrame::OnCurrentShellChanged(VexaDataShell*) {}

void CMainFrame::BindPropertyObject(CTrkObj* obj) {
    if (g_propertyPanel) g_propertyPanel->BindObject(obj);
}

void CMainFrame::OnObjectRemoving(CTrkObj* obj) {
    for (CDocPanel* p : m_panels)
        if (p) p->OnObjectRemoving(obj);
}

void CMainFrame::CopyTextToClipboard(const QString& text) {
    if (QClipboard* cb = QGuiApplication::clipboard()) cb->setText(text);
}

void CMainFrame::RegisterDropView(CLumitraView* view) { m_dragDropMgr.AddWindow(view, kDragSourceAndTarget); }

bool CMainFrame::GetPaneFlag(int32_t flag) const {
    return flag >= 0 && flag < kPaneFlagCount && m_paneFlags[size_t(flag)] != 0;
}

void CMainFrame::SetPaneFlag(int32_t flag, bool on) {
    if (flag < 0 || flag >= kPaneFlagCount) return;
    m_paneFlags[size_t(flag)] = on ? 1 : 0;
}

void CMainFrame::SyncDialogBarButtons() {
    m_dlgBar->SetFileListCheck(m_paneFlags[kPaneFileList]);
    m_dlgBar->SetGateListCheck(m_paneFlags[kPaneGateList]);
    m_dlgBar->SetPropertyCheck(m_paneFlags[kPaneProperty]);
    m_dlgBar->SetDatabaseCheck(m_paneFlags[kPaneDatabase]);
    m_dlgBar->SetNavigateCheck(m_paneFlags[kPaneNavigate]);
}

void CMainFrame::ShowPanels() {
    // A File List shown again takes up the document registered meanwhile.
    if (GetPaneFlag(kPaneFileList) && m_registeredDoc) m_panels[kPanelFileList]->BindDocument(m_registeredDoc);
    m_docks[kPanelFileList]->setVisible(GetPaneFlag(kPaneFileList));
    m_docks[kPanelProperty]->setVisible(GetPaneFlag(kPaneProperty));
    if (m_databaseDock) m_databaseDock->setVisible(GetPaneFlag(kPaneDatabase));
    m_docks[kPanelNavigate]->setVisible(GetPaneFlag(kPaneNavigate));
}

void CMainFrame::ShowInfoAssistant(CLumitraDoc* doc) {
    m_panels[kPanelInfoAssistant]->BindDocument(doc);
    m_docks[kPanelInfoAssistant]->show();
    m_docks[kPanelInfoAssistant]->raise();
}

void CMainFrame::OnPaneFlagChanged(int32_t flag, bool on) {
    SetPaneFlag(flag, on);
    ShowPanels();
}

CDocPanel* CMainFrame::GetPanel(int32_t slot) const {
    return slot >= 0 && slot < kPanelCount ? m_panels[size_t(slot)] : nullptr;
}

QDockWidget* CMainFrame::GetPanelDock(int32_t slot) const {
    return slot >= 0 && slot < kPanelCount ? m_docks[size_t(slot)] : nullptr;
}

// ======================================================= windows and menus

void CMainFrame::AddChildFrame(CChildFrame* frame) {
    m_mdi->addSubWindow(frame);
    connect(frame, &CChildFrame::activeViewChanged, this, [this](CLumitraView* view) {
        if (view && view->GetDocument()) BindDocument(view->GetDocument());
        if (view) m_statusBar->ShowZoom(view->GetZoom());
    });
    frame->show();
    KeepChildFramesInArea();
    m_mdi->setActiveSubWindow(frame);
    UpdateMenuForDocuments();
}

std::vector<CChildFrame*> CMainFrame::GetChildFrames() const {
    std::vector<CChildFrame*> out;
    if (!m_mdi) return out;
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        if (auto* f = qobject_cast<CChildFrame*>(w)) out.push_back(f);
    return out;
}

void CMainFrame::OnSubWindowActivated(QMdiSubWindow* window) {
    if (auto* child = qobject_cast<CChildFrame*>(window)) {
        if (CLumitraDoc* doc = child->GetDocument()) BindDocument(doc);
        if (CLumitraView* v = child->GetActiveView()) m_statusBar->ShowZoom(v->GetZoom());
    }
    UpdateMenuForDocuments();
}

void CMainFrame::UpdateMenuForDocuments() {
    CLumitraApp* app = GetLumitraApp();
    const bool anyDocument = app && !app->GetDocuments().empty();
    ShowMenu(anyDocument ? kMenuReportDocument : kMenuNoDocument);
    UpdateTitle();
    UpdateCommandUi();
}

void CMainFrame::ShowMenu(int32_t menuId) {
    if (menuId == m_menuId) return;
    QMenuBar* bar = menuBar();
    bar->clear();
    for (QMenu* m : m_menus[menuId]) bar->addMenu(m);
    m_menuId = menuId;
}

QAction* CMainFrame::FindMenuAction(int32_t id) const {
    const auto menus = m_menuActions.find(m_menuId);
    if (menus == m_menuActions.end()) return nullptr;
    const auto it = menus->second.find(id);
    return it == menus->second.end() ? nullptr : it->second;
}

void CMainFrame::RebuildRecentFileMenus() {
    CLumitraApp* app = GetLumitraApp();
    const QStringList files = app ? app->GetRecentFiles() : QStringList();
    for (auto& [menuId, placeholder] : m_recentPlaceholder) {
        for (QAction* a : m_recentActions[menuId]) delete a;
        m_recentActions[menuId].clear();
        QMenu* fileMenu = m_menus[menuId].front();
        for (int i = 0; i < files.size(); ++i) {
            const QString text = QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(files[i]));
            auto* a = new QAction(text, this);
            const int32_t id = kCmdFileMru1 + i;
            a->setData(id);
            connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
            fileMenu->insertAction(placeholder, a);
            m_recentActions[menuId].push_back(a);
        }
        // The placeholder stands for the list while it is empty.
        placeholder->setVisible(files.isEmpty());
    }
}

void CMainFrame::FillWindowMenu(QMenu* menu) {
    // The list of document windows follows the menu's own items.
    const QList<QAction*> actions = menu->actions();
    for (QAction* a : actions)
        if (a->property("windowEntry").toBool()) {
            menu->removeAction(a);
            delete a;
        }
    const std::vector<CChildFrame*> frames = GetChildFrames();
    if (frames.empty()) return;
    QAction* sep = menu->addSeparator();
    sep->setProperty("windowEntry", true);
    CChildFrame* active = GetActiveChild();
    auto titleOf = [](CChildFrame* f) {
        QString title = f->windowTitle();
        return title.replace(QStringLiteral("[*]"), f->isWindowModified() ? QStringLiteral("*") : QString());
    };
    // At most nine, so the menu stays shorter than the screen; the active
    // window is always one of them (in the ninth place when it lies beyond).
    std::vector<CChildFrame*> listed(frames.begin(), frames.begin() + std::min(frames.size(), kWindowMenuEntries));
    if (active && std::find(listed.begin(), listed.end(), active) == listed.end()) listed.back() = active;
    int n = 0;
    for (CChildFrame* f : listed) {
        QAction* a = menu->addAction(QStringLiteral("&%1 %2").arg(++n).arg(titleOf(f)));
        a->setProperty("windowEntry", true);
        a->setCheckable(true);
        a->setChecked(f == active);
        QPointer<CChildFrame> target(f);
        connect(a, &QAction::triggered, this, [this, target] {
            if (target) m_mdi->setActiveSubWindow(target);
        });
    }
    if (frames.size() <= kWindowMenuEntries) return;
    QAction* more = menu->addAction(QStringLiteral("Windows..."));
    more->setProperty("windowEntry", true);
    connect(more, &QAction::triggered, this, [this, titleOf] {
        std::vector<QPointer<CChildFrame>> all;
        QStringList titles;
        int current = -1;
        for (CChildFrame* f : GetChildFrames()) {
            if (f == GetActiveChild()) current = int(all.size());
            all.emplace_back(f);
            titles << titleOf(f);
        }
        CWindowListDlg dialog(titles, current, this);
        if (lm::Ui().ExecDialog(&dialog) != lm::kDialogAccepted) return;
        const int chosen = dialog.Chosen();
        if (chosen >= 0 && size_t(chosen) < all.size() && all[size_t(chosen)])
            m_mdi->setActiveSubWindow(all[size_t(chosen)]);
    });
}

void CMainFrame::ArrangeIcons() {
    // Minimised windows in a row along the bottom edge of the client area.
    int x = 0;
    const int bottom = m_mdi->viewport()->height();
    for (QMdiSubWindow* w : m_mdi->subWindowList()) {
        if (!w->isMinimized()) continue;
        w->move(x, bottom - w->height());
        x += w->width();
    }
}

namespace {
// The size a report window had before the client area made it smaller.
const char* const kWantedSize = "lumitraWantedSize";
}  // namespace

void CMainFrame::KeepChildFramesInArea() {
    // Before the frame is shown the area has no real size yet.
    if (!m_mdi || !isVisible()) return;
    const QSize area = m_mdi->viewport()->size();
    if (area.width() <= 0 || area.height() <= 0) return;
    for (QMdiSubWindow* w : m_mdi->subWindowList()) {
        if (w->isMaximized() || w->isMinimized()) continue;
        QRect g = w->geometry();
        const QVariant wanted = w->property(kWantedSize);
        const QSize own = wanted.isValid() ? wanted.toSize() : g.size();
        const QSize fit(std::min(own.width(), area.width()), std::min(own.height(), area.height()));
        w->setProperty(kWantedSize, fit == own ? QVariant() : QVariant(own));
        g.setSize(fit);
        g.moveLeft(std::clamp(g.left(), 0, area.width() - fit.width()));
        g.moveTop(std::clamp(g.top(), 0, area.height() - fit.height()));
        if (g != w->geometry()) w->setGeometry(g);
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (m_mdi && watched == m_mdi->viewport() && event->type() == QEvent::Resize) KeepChildFramesInArea();
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::UpdateTitle() {
    CLumitraDoc* doc = GetActiveDocument();
    if (!doc) {
        setWindowTitle(QString::fromLatin1(kProgramName));
        setWindowModified(false);
        return;
    }
    setWindowTitle(doc->GetTitle() + QStringLiteral("[*] - ") + QString::fromLatin1(kProgramName));
    setWindowModified(doc->IsModified());
}

// ================================================================= commands

bool CMainFrame::IsCommandEnabled(int32_t id) const {
    const bool haveDoc = GetActiveDocument() != nullptr;
    const bool haveChild = !GetChildFrames().empty();
    switch (id) {
        case kCmdFileNew:
        case kCmdFileOpen:
        case kCmdFilePrintSetup:
        case kCmdAppExit:
        case kCmdAppAbout:
        case kCmdViewToolbar:
        case kCmdViewStatusBar:
        case kCmdShellList:
        case kCmdGateList:
        case kCmdPropertyPanel:
        case kCmdNote:
        case kCmdPlotOptions:
            return true;
        case kCmdFileClose:
        case kCmdFileSave:
        case kCmdFileSaveAs:
        case kCmdSaveAsTemplate:
        case kCmdWindowNew:
            return haveDoc;
        case kCmdFilePrint:
        case kCmdFilePrintDirect:
        case kCmdFilePrintPreview:
            return GetActiveReportView() != nullptr;
        case kCmdWindowCascade:
        case kCmdWindowTile:
        case kCmdWindowArrange:
        case kCmdNextPane:
        case kCmdPrevPane:
            return haveChild;
        default:
            break;
    }
    if (id >= kCmdFileMru1 && id < kCmdFileMru1 + kRecentFileCount) {
        CLumitraApp* app = GetLumitraApp();
        return app && id - kCmdFileMru1 < app->GetRecentFiles().size();
    }
    // The edit commands and help have no handler in this
    // version: disabled, as a command without a handler is.
    return false;
}

bool CMainFrame::IsCommandChecked(int32_t id) const {
    switch (id) {
        case kCmdViewToolbar: return m_toolBar && m_toolBar->isVisible();
        case kCmdViewStatusBar: return m_statusBar && m_statusBar->isVisible();
        case kCmdShellList: return GetPaneFlag(kPaneFileList);
        case kCmdGateList: return GetPaneFlag(kPaneGateList);
        case kCmdPropertyPanel: return GetPaneFlag(kPaneProperty);
        default: return false;
    }
}

void CMainFrame::UpdateCommandUi() {
    auto update = [this](QAction* a) {
        const int32_t id = a->data().toInt();
        if (id == kCmdFileMru1 && a->isVisible() && !a->isCheckable()) {
            a->setEnabled(false);  // the placeholder of an empty list
            return;
        }
        a->setEnabled(IsCommandEnabled(id));
        if (a->isCheckable()) a->setChecked(IsCommandChecked(id));
    };
    for (auto& [menuId, actions] : m_menuActions)
        for (auto& [id, a] : actions) update(a);
    for (auto& [menuId, actions] : m_recentActions)
        for (QAction* a : actions) a->setEnabled(true);
    for (QAction* a : m_toolActions) update(a);
    for (QAction* a : m_accelerators) a->setEnabled(IsCommandEnabled(a->data().toInt()));
}

void CMainFrame::OnCommand(int32_t id) {
    if (!IsCommandEnabled(id)) return;
    CLumitraApp* app = GetLumitraApp();
    CChildFrame* child = GetActiveChild();
    switch (id) {
        case kCmdFileNew:
            if (app) app->OnFileNew();
            break;
        case kCmdFileOpen:
            if (app) app->OnFileOpen();
            break;
        case kCmdFileClose:
            if (app) app->OnFileClose(GetActiveDocument());
            break;
        case kCmdFileSave:
            if (app) app->DoSave(GetActiveDocument(), false);
            break;
        case kCmdFileSaveAs:
            if (app) app->DoSave(GetActiveDocument(), true);
            break;
        case kCmdSaveAsTemplate:
            if (CLumitraDoc* doc = GetActiveDocument()) doc->OnSaveAsTemplate();
            break;
        case kCmdFilePrintSetup:
            if (app) app->OnFilePrintSetup();
            break;
        case kCmdFilePrint:
            if (CLumitraView* v = GetActiveReportView()) v->OnFilePrint();
            break;
        case kCmdFilePrintDirect:
            if (CLumitraView* v = GetActiveReportView()) v->OnFilePrintDirect();
            break;
        case kCmdFilePrintPreview:
            if (CLumitraView* v = GetActiveReportView()) v->OnFilePrintPreview();
            break;
        case kCmdAppExit:
            close();
            break;
        case kCmdAppAbout:
            if (app) app->OnAppAbout();
            break;
        case kCmdViewToolbar:
            m_toolBar->setVisible(!m_toolBar->isVisible());
            m_dlgBarHost->setVisible(m_toolBar->isVisible());
            break;
        case kCmdViewStatusBar:
            m_statusBar->setVisible(!m_statusBar->isVisible());
            break;
        case kCmdShellList:
            SetPaneFlag(kPaneFileList, !GetPaneFlag(kPaneFileList));
            ShowPanels();
            SyncDialogBarButtons();
            break;
        case kCmdGateList:
            SetPaneFlag(kPaneGateList, !GetPaneFlag(kPaneGateList));
            SyncDialogBarButtons();
            break;
        case kCmdPropertyPanel:
            SetPaneFlag(kPaneProperty, !GetPaneFlag(kPaneProperty));
            ShowPanels();
            SyncDialogBarButtons();
            break;
        case kCmdNote:
            ShowNote();
            break;
        case kCmdPlotOptions:
            // Every plot names its axes anew.
            if (COptionDlg::Run(this) && app)
                for (const auto& doc : app->GetDocuments()) doc->UpdateAllViews();
            break;
        case kCmdWindowNew:
            if (app) app->OnWindowNew();
            break;
        case kCmdWindowCascade:
            m_mdi->cascadeSubWindows();
            break;
        case kCmdWindowTile:
            m_mdi->tileSubWindows();
            break;
        case kCmdWindowArrange:
            ArrangeIcons();
            break;
        case kCmdNextPane:
        case kCmdPrevPane:
            if (child) child->ActivateNextPane(id == kCmdPrevPane);
            break;
        default:
            if (id >= kCmdFileMru1 && id < kCmdFileMru1 + kRecentFileCount && app)
                app->OpenRecentFile(id - kCmdFileMru1);
            break;
    }
    UpdateCommandUi();
}

void CMainFrame::ShowNote() {
    lm::Ui().MessageBox(this, CAboutDlg::VersionLine(), QStringLiteral("Note"), lm::MsgButtons::Ok,
                        lm::MsgIcon::None);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    CLumitraApp* app = GetLumitraApp();
    if (app && !app->SaveAllModified()) {
        event->ignore();
        return;
    }
    if (app) app->CloseAllDocuments();
    event->accept();
}
