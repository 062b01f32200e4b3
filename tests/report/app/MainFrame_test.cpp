// The real main window under the offscreen platform: menus, bars, panels,
// documents and their windows, the ini defaults and the command line.
#include "report/app/MainFrame.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QListWidget>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/DataShell.h"
#include "tests/support/ui/ScriptedUiServices.h"
#include "report/app/ChildFrame.h"
#include "report/app/CtrlStatusBar.h"
#include "report/app/DocPanel.h"
#include "report/app/FrameDlgBar.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "tests/report/ReportTestUtil.h"
#include "tests/report/ViewEvents.h"
#include "tests/support/FcsWriter.h"

namespace {

using Kind = lm::ScriptedUiServices::Kind;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class MainFrameTest : public rtest::ProgramTest {
protected:
    static void FlushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    CMainFrame* Frame() const { return app->GetMainFrame(); }

    QStringList MenuTitles() const {
        QStringList out;
        for (QAction* a : Frame()->menuBar()->actions()) out << a->text();
        return out;
    }

    // Visible items of top-level menu i ("-" for a separator).
    QStringList Items(int i) const {
        QStringList out;
        QMenu* m = Frame()->menuBar()->actions().at(i)->menu();
        for (QAction* a : m->actions())
            if (a->isVisible()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    }

    // Every panel, the property panel and the dialog bar let go of doc.
    void ExpectNothingHolds(const CLumitraDoc* doc) const {
        for (int32_t s = 0; s < kPanelCount; ++s) EXPECT_NE(Frame()->GetPanel(s)->GetDocument(), doc) << s;
        ASSERT_NE(GetPropertyPanel(), nullptr);
        EXPECT_NE(GetPropertyPanel()->GetDocument(), doc);
        EXPECT_NE(Frame()->GetDialogBar()->GetDocument(), doc);
        EXPECT_NE(Frame()->GetRegisteredDocument(), doc);
    }

    QAbstractButton* Button(int32_t id) const {
        return qobject_cast<QAbstractButton*>(Frame()->GetDialogBar()->Control(id));
    }

    std::string WriteFcs(const std::string& name) const {
        lmtest::FcsWriter w;
        w.Param("FSC-H", 32, "1024").Param("SSC-H", 32, "1024").Event({1, 2}).Event({3, 4});
        return dir.Write(name, w.Build());
    }
};

TEST_F(MainFrameTest, StartsWithANewDocumentUnderMenu129AndShowsItsBars) {
    ASSERT_TRUE(app->InitInstance({}));
    ASSERT_NE(Frame(), nullptr);
    ASSERT_EQ(app->GetDocuments().size(), 1u);
    EXPECT_EQ(Frame()->GetMenuId(), kMenuReportDocument);
    EXPECT_EQ(MenuTitles(), (QStringList{"File(&F)", "Edit(&E)", "View(&V)", "Window", "Help(&H)"}));
    EXPECT_EQ(Items(0), (QStringList{"New(&N)\tCtrl+N", "Open(&O)...\tCtrl+O", "Close(&C)", "Save(&S)\tCtrl+S",
                                     "Save As(&A)...", "Save As Template...", "-", "Print(&P)...\tCtrl+P",
                                     "Print Preview(&V)", "Print Setup(&R)...", "-", "Recent File", "-",
                                     "Quit(&X)"}));
    EXPECT_EQ(Items(1), (QStringList{"Undo(&U)\tCtrl+Z", "-", "Cut(&T)\tCtrl+X", "Copy(&C)\tCtrl+C",
                                     "Paste(&P)\tCtrl+V", "Options..."}));
    EXPECT_EQ(Items(2), (QStringList{"Tool Bar(&T)", "Status Bar(&S)", "Shell List", "Gate List"}));
    EXPECT_EQ(Items(3).mid(0, 4), (QStringList{"New Window(&N)", "层叠(&C)", "平铺(&T)", "排列图标(&A)"}));
    EXPECT_EQ(Items(4), (QStringList{"Topic(&H)", "-", "About Vexa(&A)..."}));
    // Command ids as the menus carry them.
    ASSERT_NE(Frame()->FindMenuAction(kCmdSaveAsTemplate), nullptr);
    EXPECT_EQ(Frame()->FindMenuAction(kCmdWindowTile)->text(), "平铺(&T)");

    EXPECT_TRUE(Frame()->isVisible());
    EXPECT_TRUE(Frame()->menuBar()->isVisible());
    EXPECT_TRUE(Frame()->GetToolBar()->isVisible());
    EXPECT_EQ(Frame()->GetToolBar()->actions().size(), 7);  // 5 buttons, 2 separators
    EXPECT_TRUE(Frame()->GetStatusBar()->isVisible());
    EXPECT_EQ(Frame()->GetStatusBar()->GetZoomBox()->currentText(), "100%");
    EXPECT_TRUE(Frame()->GetDialogBar()->isVisible());
    EXPECT_NE(Frame()->GetActiveReportView(), nullptr);
    EXPECT_TRUE(Frame()->windowTitle().startsWith("Lumitra1"));
    if (const char* shots = std::getenv("LUMITRA_SCREENSHOT_DIR"))
        Frame()->grab().save(QString::fromLocal8Bit(shots) + "/mainframe.png");
}

TEST_F(MainFrameTest, ClosingTheLastDocumentReturnsToMenu128) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* doc = app->GetDocuments().front().get();
    Frame()->OnCommand(kCmdFileClose);
    EXPECT_TRUE(app->GetDocuments().empty());
    EXPECT_EQ(Frame()->GetMenuId(), kMenuNoDocument);
    EXPECT_EQ(MenuTitles(), (QStringList{"文件(&F)", "帮助(&H)"}));
    EXPECT_EQ(Items(0), (QStringList{"新建(&N)\tCtrl+N", "打开(&O)...\tCtrl+O", "-", "打印设置(&R)...", "-",
                                     "最近文件", "-", "退出(&X)"}));
    EXPECT_EQ(Items(1), (QStringList{"帮助主题(&H)", "-", "关于 Lumitra(&A)..."}));
    EXPECT_EQ(Frame()->GetActiveReportView(), nullptr);
    EXPECT_EQ(Frame()->windowTitle(), "Lumitra");
    ExpectNothingHolds(doc);
    // Without a document window the zoom box changes nothing.
    Frame()->GetStatusBar()->GetZoomBox()->setCurrentIndex(0);
    emit Frame()->GetStatusBar()->GetZoomBox()->activated(0);
    // Closing-only commands are refused now.
    EXPECT_FALSE(Frame()->IsCommandEnabled(kCmdFileClose));
    Frame()->OnCommand(kCmdFileSave);
    EXPECT_EQ(ui.Count(Kind::SaveFile), 0);

    Frame()->OnCommand(kCmdFileNew);
    EXPECT_EQ(app->GetDocuments().size(), 1u);
    EXPECT_EQ(Frame()->GetMenuId(), kMenuReportDocument);
    EXPECT_NE(Frame()->GetActiveReportView(), nullptr);
}

TEST_F(MainFrameTest, TheZoomBoxSetsTheActiveViewsZoom) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraView* view = Frame()->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    QComboBox* box = Frame()->GetStatusBar()->GetZoomBox();
    EXPECT_EQ(box->property("controlId").toInt(), kCtlZoomBox);
    QStringList texts;
    for (int i = 0; i < box->count(); ++i) texts << box->itemText(i);
    EXPECT_EQ(texts, (QStringList{"200%", "150%", "100%", "75%", "50%"}));
    EXPECT_FLOAT_EQ(view->GetZoom(), 1.0f);
    box->setCurrentIndex(4);
    emit box->activated(4);
    EXPECT_FLOAT_EQ(view->GetZoom(), 0.5f);
    box->setCurrentIndex(0);
    emit box->activated(0);
    EXPECT_FLOAT_EQ(view->GetZoom(), 2.0f);
    // An index outside the box's five entries is no zoom at all.
    for (const auto& [index, zoom] : std::vector<std::pair<int, float>>{{-1, 0.0f}, {0, 2.0f}, {4, 0.5f}, {5, 0.0f}})
        EXPECT_FLOAT_EQ(CCtrlStatusBar::ZoomOfIndex(index), zoom) << index;
    // The view takes zooms from 0.2 to 5.0 only.
    EXPECT_TRUE(view->SetZoom(0.2f));
    EXPECT_TRUE(view->SetZoom(5.0f));
    EXPECT_FALSE(view->SetZoom(0.19f));
    EXPECT_FALSE(view->SetZoom(5.01f));
    EXPECT_FLOAT_EQ(view->GetZoom(), 5.0f);
    // Page units and pixels at that zoom.
    view->horizontalScrollBar()->setValue(0);
    view->verticalScrollBar()->setValue(0);
    EXPECT_EQ(view->ClientToLogical(QPoint(50, 100)), CPoint(10, 20));
    EXPECT_EQ(view->LogicalToClient(CPoint(10, 20)), QPoint(50, 100));
}

TEST_F(MainFrameTest, PanelsNeverHoldAClosedDocument) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* a = app->GetDocuments().front().get();
    EXPECT_EQ(Frame()->GetRegisteredDocument(), a);
    EXPECT_EQ(Frame()->GetPanel(kPanelFileList)->GetDocument(), a);
    // A click on a plot of a's view binds the property panel to it.
    CLumitraView* viewA = Frame()->GetActiveReportView();
    ASSERT_NE(viewA, nullptr);
    CPLOT* plot = viewA->NewPlotAt(20, 20, 0, 1, WriteFcs("a.fcs"));
    ASSERT_NE(plot, nullptr);
    a->SetActiveObject(nullptr);
    ASSERT_EQ(GetPropertyPanel()->GetBoundObject(), nullptr);
    vin::Driver(viewA).Click(plot->GetPlotArea().CenterPoint());
    ASSERT_EQ(GetPropertyPanel()->GetBoundObject(), plot);
    // With the File List hidden, binding another document leaves the File
    // List on the first one.
    Button(kCtlPaneFileList)->click();
    EXPECT_FALSE(Frame()->GetPaneFlag(kPaneFileList));
    CLumitraDoc* b = app->OnFileNew();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Frame()->GetRegisteredDocument(), b);
    EXPECT_EQ(Frame()->GetPanel(kPanelFileList)->GetDocument(), a);
    EXPECT_EQ(Frame()->GetPanel(kPanelNavigate)->GetDocument(), b);
    // The new window has nothing selected: the panel leaves a's plot.
    EXPECT_EQ(GetPropertyPanel()->GetBoundObject(), nullptr);
    // Back in a's window its plot is the one shown.
    for (CChildFrame* child : Frame()->GetChildFrames())
        if (child->GetDocument() == a) child->mdiArea()->setActiveSubWindow(child);
    QCoreApplication::processEvents();
    ASSERT_EQ(GetPropertyPanel()->GetBoundObject(), plot);

    a->SetModifiedFlag(false);  // closed without the save question
    ASSERT_TRUE(app->OnFileClose(a));
    ExpectNothingHolds(a);
    EXPECT_EQ(GetPropertyPanel()->GetBoundObject(), nullptr);  // the plot went with a
    // The registered document was another one: it stays.
    EXPECT_EQ(Frame()->GetRegisteredDocument(), b);

    ASSERT_TRUE(app->OnFileClose(b));
    ExpectNothingHolds(b);
    EXPECT_EQ(Frame()->GetRegisteredDocument(), nullptr);
}

TEST_F(MainFrameTest, PanelsFollowTheShownDocumentAfterAFailedOpenAClickAndSaveAs) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* a = app->GetDocuments().front().get();
    CLumitraView* view = Frame()->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    CPLOT* plot = view->NewPlotAt(20, 20, 0, 1, WriteFcs("a.fcs"));
    ASSERT_NE(plot, nullptr);
    auto shows = [this](int32_t slot) { return Frame()->GetPanel(slot)->GetText(); };
    const QString aText = QStringLiteral("Lumitra1\n  a.fcs");
    ASSERT_EQ(shows(kPanelFileList), aText);

    // A report that does not open: the panels stay on the one shown.
    const std::string bad = dir.Write("bad.fld", std::vector<uint8_t>{3, 'F', 'L', 'D', 1, '0'});
    EXPECT_EQ(app->OpenDocumentFile(QString::fromStdString(bad)), nullptr);
    ASSERT_EQ(app->GetDocuments().size(), 1u);
    EXPECT_EQ(Frame()->GetRegisteredDocument(), a);
    EXPECT_EQ(shows(kPanelFileList), aText);
    EXPECT_EQ(shows(kPanelNavigate), aText);
    EXPECT_EQ(Frame()->GetDialogBar()->GetDocument(), a);

    // Whatever unbound them, a click into the report brings them back; the
    // property panel shows the plot's report.
    Frame()->BindDocument(nullptr);
    ASSERT_EQ(shows(kPanelNavigate), "(none)");
    vin::Driver(view).Click(plot->GetPlotArea().CenterPoint());
    EXPECT_EQ(Frame()->GetRegisteredDocument(), a);
    EXPECT_EQ(shows(kPanelFileList), aText);
    EXPECT_EQ(shows(kPanelNavigate), aText);
    EXPECT_EQ(GetPropertyPanel()->GetBoundObject(), plot);
    EXPECT_EQ(GetPropertyPanel()->GetText(), aText);

    // Save As: every panel names the new file, as the title does.
    ui.QueueFileNames({QString::fromStdString(dir.File("renamed.fld"))});
    Frame()->OnCommand(kCmdFileSaveAs);
    const QString renamed = QStringLiteral("renamed.fld\n  a.fcs");
    EXPECT_TRUE(Frame()->windowTitle().startsWith("renamed.fld"));
    EXPECT_EQ(shows(kPanelFileList), renamed);
    EXPECT_EQ(shows(kPanelNavigate), renamed);
    EXPECT_EQ(GetPropertyPanel()->GetText(), renamed);
}

TEST_F(MainFrameTest, PaneButtonsAndViewCommandsShowAndHideThePanels) {
    ASSERT_TRUE(app->InitInstance({}));
    QDockWidget* fileList = Frame()->GetPanelDock(kPanelFileList);
    QDockWidget* property = Frame()->GetPanelDock(kPanelProperty);
    QDockWidget* navigate = Frame()->GetPanelDock(kPanelNavigate);
    EXPECT_EQ(fileList->windowTitle(), " File List");
    EXPECT_EQ(property->windowTitle(), "Property");
    EXPECT_TRUE(fileList->isVisible() && property->isVisible() && navigate->isVisible());
    EXPECT_FALSE(Frame()->GetPanelDock(kPanelInfoAssistant)->isVisible());
    EXPECT_FALSE(Button(kCtlPaneGateList)->isVisible());
    // The database panel is reached through the second "D", hidden at start.
    ASSERT_TRUE(Button(kCtlPaneDatabase)->isVisible());
    ASSERT_NE(Frame()->GetDatabasePanel(), nullptr);
    EXPECT_FALSE(Frame()->GetDatabasePanel()->isVisible());
    Button(kCtlPaneDatabase)->click();
    EXPECT_TRUE(Frame()->GetDatabasePanel()->isVisible());
    Button(kCtlPaneDatabase)->click();
    EXPECT_FALSE(Frame()->GetDatabasePanel()->isVisible());

    Button(kCtlPaneFileList)->click();
    EXPECT_FALSE(fileList->isVisible());
    Button(kCtlPaneProperty)->click();
    EXPECT_FALSE(property->isVisible());
    Button(kCtlPaneNavigate)->click();
    EXPECT_FALSE(navigate->isVisible());
    Frame()->UpdateCommandUi();
    EXPECT_FALSE(Frame()->FindMenuAction(kCmdShellList)->isChecked());

    // "Shell List" turns the File List back on and re-checks "F".
    Frame()->OnCommand(kCmdShellList);
    EXPECT_TRUE(fileList->isVisible());
    EXPECT_TRUE(Button(kCtlPaneFileList)->isChecked());
    EXPECT_TRUE(Frame()->FindMenuAction(kCmdShellList)->isChecked());
    // "Gate List" moves flag 2, which shows nothing.
    Frame()->OnCommand(kCmdGateList);
    EXPECT_FALSE(Frame()->GetPaneFlag(kPaneGateList));
    EXPECT_FALSE(Frame()->FindMenuAction(kCmdGateList)->isChecked());

    // Each button follows its own flag.
    const int32_t ids[kPaneFlagCount] = {kCtlPaneFileList, kCtlPaneGateList, kCtlPaneProperty, kCtlPaneDatabase,
                                         kCtlPaneNavigate};
    for (int pattern = 0; pattern < (1 << kPaneFlagCount); ++pattern) {
        for (int f = 0; f < kPaneFlagCount; ++f) Frame()->SetPaneFlag(f, (pattern >> f) & 1);
        Frame()->SyncDialogBarButtons();
        for (int f = 0; f < kPaneFlagCount; ++f)
            ASSERT_EQ(Button(ids[f])->isChecked(), bool((pattern >> f) & 1)) << pattern << " " << f;
    }
}

TEST_F(MainFrameTest, DialogBarDrivesTheBoundDocument) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* doc = app->GetDocuments().front().get();
    EXPECT_EQ(Frame()->GetDialogBar()->GetDocument(), doc);
    EXPECT_FALSE(Button(kCtlAutoArrange)->isChecked());
    Button(kCtlAutoArrange)->click();
    EXPECT_TRUE(doc->GetSnap());
    EXPECT_FALSE(doc->IsAutoArranged());
    Button(kCtlAutoArrange)->click();
    EXPECT_FALSE(doc->GetSnap());
    Button(kCtlBannerButton)->click();
    ASSERT_EQ(ui.Count(Kind::Url), 1);
    EXPECT_EQ(ui.CallsOf(Kind::Url)[0].text, CFrameDlgBar::BannerUrl());
    auto* mode = qobject_cast<QComboBox*>(Frame()->GetDialogBar()->Control(kCtlArrangeMode));
    ASSERT_NE(mode, nullptr);
    EXPECT_FALSE(mode->isVisible());
    emit mode->activated(1);
    EXPECT_EQ(doc->GetArrangeMode(), kArrangeByItem);
}

TEST_F(MainFrameTest, PlotDefaultsComeFromTheIniAndGoBackAtExit) {
    const std::string ini = dir.File("Vexa.ini");
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(Frame()->GetIniPath(), ini);
    EXPECT_EQ(GetPlotDefaults().evts, 2000);
    EXPECT_EQ(GetPlotDefaults().label, 3);
    EXPECT_FALSE(std::filesystem::exists(ini));  // written once, at exit
    GetPlotDefaults().width = 300;
    app->ExitInstance();
    EXPECT_EQ(Frame(), nullptr);
    EXPECT_EQ(GetPropertyPanel(), nullptr);  // the panel went with the frame
    EXPECT_EQ(ReadAll(ini),
              "[Default Plot Para]\nEvts=2000\nPARAX=0\nPARAY=1\nWIDTH=300\nHEIGHT=250\nSTYLE=2\nLABEL=3\n");

    // The next start reads them, with atoi's rules.
    std::ofstream(ini, std::ios::trunc) << "[Default Plot Para]\nEvts=abc\nWIDTH=12x\n";
    app = std::make_unique<CLumitraApp>();
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(GetPlotDefaults().evts, 0);
    EXPECT_EQ(GetPlotDefaults().width, 12);
    EXPECT_EQ(GetPlotDefaults().UsedWidth(), kPlotMinSide);
}

TEST_F(MainFrameTest, RecentFilesAreKeptInTheSettingsAndShownInTheFileMenu) {
    ASSERT_TRUE(app->InitInstance({}));
    for (int i = 1; i <= 5; ++i) app->AddToRecentFileList(QString::fromStdString(dir.File("r" + std::to_string(i) + ".fld")));
    const QStringList recent = app->GetRecentFiles();
    ASSERT_EQ(recent.size(), kRecentFileCount);
    EXPECT_TRUE(recent[0].endsWith("r5.fld"));
    EXPECT_TRUE(recent[3].endsWith("r2.fld"));
    const QStringList items = Items(0);
    EXPECT_TRUE(items.contains(QStringLiteral("&1 ") + recent[0]));
    EXPECT_FALSE(items.contains("Recent File"));  // the placeholder gives way
    const std::string conf = dir.Path() + "/settings/Local AppWizard-Generated Applications/Lumitra.conf";
    EXPECT_NE(ReadAll(conf).find("File1="), std::string::npos);

    // A recent file that no longer opens leaves the list after a message.
    Frame()->OnCommand(kCmdFileMru1);
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(app->GetRecentFiles().size(), kRecentFileCount - 1);

    app = std::make_unique<CLumitraApp>();
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(app->GetRecentFiles().size(), kRecentFileCount - 1);
}

TEST_F(MainFrameTest, ARecentFileReachedSeveralWaysIsListedOnceByItsCanonicalPath) {
    ASSERT_TRUE(app->InitInstance({}));
    std::filesystem::create_directory(dir.File("sub"));
    std::filesystem::create_directory_symlink(dir.Path(), dir.File("link"));
    const QString canon = QString::fromStdString(std::filesystem::canonical(dir.Path()).string() + "/r.fld");
    // Each names the same file: through "..", "." and a symbolic link.
    for (const std::string& way : {dir.File("sub/../r.fld"), dir.File("./r.fld"), dir.File("link/r.fld")})
        app->AddToRecentFileList(QString::fromStdString(way));
    EXPECT_EQ(app->GetRecentFiles(), QStringList{canon});

    // A list kept by an older version that named the file two ways reads as one.
    {
        QSettings settings;
        settings.beginGroup(QString::fromLatin1(kRecentFileSection));
        settings.setValue("File1", QString::fromStdString(dir.File("link/r.fld")));
        settings.setValue("File2", QString::fromStdString(dir.File("sub/../r.fld")));
    }
    app = std::make_unique<CLumitraApp>();
    ASSERT_TRUE(app->InitInstance({}));
    EXPECT_EQ(app->GetRecentFiles(), QStringList{canon});
}

TEST_F(MainFrameTest, NoteAboutAndDisabledCommands) {
    ASSERT_TRUE(app->InitInstance({}));
    Frame()->OnCommand(kCmdNote);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.Calls().back().caption, "Note");
    EXPECT_TRUE(ui.Calls().back().text.startsWith("Lumitra Version"));
    Frame()->OnCommand(kCmdAppAbout);
    ASSERT_EQ(ui.Count(Kind::Dialog), 1);
    EXPECT_EQ(ui.CallsOf(Kind::Dialog)[0].text, "关于 Lumitra");
    // Commands without a handler in this version are disabled and do nothing.
    for (int32_t id : {kCmdEditUndo, kCmdEditCopy, kCmdHelpIndex}) {
        EXPECT_FALSE(Frame()->IsCommandEnabled(id)) << id;
        Frame()->OnCommand(id);
    }
    Frame()->UpdateCommandUi();
    EXPECT_FALSE(Frame()->FindMenuAction(kCmdEditUndo)->isEnabled());
    EXPECT_TRUE(Frame()->FindMenuAction(kCmdFileSave)->isEnabled());
    // Keys of disabled commands are left to the focused window; the others
    // run their command.
    auto key = [this](const char* seq) -> QAction* {
        for (QAction* a : Frame()->actions())
            if (a->shortcut() == QKeySequence(QString::fromLatin1(seq))) return a;
        return nullptr;
    };
    ASSERT_NE(key("Ctrl+C"), nullptr);
    EXPECT_FALSE(key("Ctrl+C")->isEnabled());
    EXPECT_FALSE(key("Shift+Ins")->isEnabled());
    ASSERT_NE(key("Ctrl+N"), nullptr);
    EXPECT_TRUE(key("Ctrl+N")->isEnabled());
    key("Ctrl+N")->trigger();
    EXPECT_EQ(app->GetDocuments().size(), 2u);
    key("F6")->trigger();  // one pane only: nothing moves
    // Print setup goes through the print dialog service.
    Frame()->OnCommand(kCmdFilePrintSetup);
    ASSERT_EQ(ui.Count(Kind::Print), 1);
    EXPECT_EQ(ui.CallsOf(Kind::Print)[0].text, "setup");
    EXPECT_EQ(ui.Count(Kind::MessageBox), 1);
}

TEST_F(MainFrameTest, AModifiedDocumentAsksBeforeClosing) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* doc = app->GetDocuments().front().get();
    doc->SetModifiedFlag();
    EXPECT_TRUE(Frame()->isWindowModified());
    CChildFrame* child = Frame()->GetActiveChild();
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(child->isWindowModified());

    ui.QueueMessageBoxAnswer(lm::kIdCancel);
    EXPECT_FALSE(app->OnFileClose(doc));
    EXPECT_EQ(app->GetDocuments().size(), 1u);
    EXPECT_EQ(ui.Calls().back().text, "Save changes to Lumitra1?");

    // Yes: the save fails (its folder does not exist), so nothing closes.
    ui.QueueMessageBoxAnswer(lm::kIdYes);
    ui.QueueFileNames({QString::fromStdString(dir.File("no-such-folder/out.fld"))});
    EXPECT_FALSE(app->OnFileClose(doc));
    EXPECT_EQ(app->GetDocuments().size(), 1u);
    EXPECT_EQ(ui.Count(Kind::SaveFile), 1);
    EXPECT_EQ(ui.CallsOf(Kind::SaveFile)[0].file.defaultSuffix, "fld");
    EXPECT_EQ(ui.Calls().back().kind, Kind::MessageBox);
    EXPECT_EQ(ui.Calls().back().icon, lm::MsgIcon::Error);
    EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-folder/out.fld")));

    // Closing the window itself asks too.
    ui.QueueMessageBoxAnswer(lm::kIdCancel);
    EXPECT_FALSE(child->close());
    EXPECT_EQ(app->GetDocuments().size(), 1u);

    ui.QueueMessageBoxAnswer(lm::kIdNo);
    EXPECT_TRUE(child->close());
    FlushDeletes();
    EXPECT_TRUE(app->GetDocuments().empty());
    EXPECT_EQ(Frame()->GetMenuId(), kMenuNoDocument);
    EXPECT_TRUE(ui.AllAnswersUsed());
}

TEST_F(MainFrameTest, TheWindowMenuListsNineWindowsAndOffersTheRestInAChooser) {
    ASSERT_TRUE(app->InitInstance({}));
    for (int i = 1; i < 12; ++i) Frame()->OnCommand(kCmdFileNew);
    const std::vector<CChildFrame*> frames = Frame()->GetChildFrames();
    ASSERT_EQ(frames.size(), 12u);
    QMenu* window = Frame()->menuBar()->actions().at(3)->menu();
    ASSERT_EQ(window->title(), "Window");
    emit window->aboutToShow();
    QStringList entries;
    QAction* more = nullptr;
    for (QAction* a : window->actions()) {
        if (!a->property("windowEntry").toBool() || a->isSeparator()) continue;
        entries << a->text();
        if (a->text() == "Windows...") more = a;
    }
    // Nine windows, the active (last made) one ninth and checked, then the chooser.
    ASSERT_EQ(entries.size(), 10) << entries.join('|').toStdString();
    EXPECT_EQ(entries[0], "&1 Lumitra1");
    EXPECT_EQ(entries[8], "&9 Lumitra12");
    ASSERT_NE(more, nullptr);
    EXPECT_LT(window->sizeHint().height(), 700);

    // The chooser lists all twelve, opens on the active one, and OK goes to
    // the window chosen.
    int listed = 0, openedOn = -1;
    ui.QueueDialog([&](QDialog* d) {
        auto* list = d->findChild<QListWidget*>("windowList");
        listed = list->count();
        openedOn = list->currentRow();
        list->setCurrentRow(10);
        return int(lm::kDialogAccepted);
    });
    more->trigger();
    EXPECT_EQ(listed, 12);
    EXPECT_EQ(openedOn, 11);
    EXPECT_EQ(Frame()->GetActiveChild(), frames[10]);
    // Cancel changes nothing.
    ui.QueueDialogResult(lm::kDialogRejected);
    more->trigger();
    EXPECT_EQ(Frame()->GetActiveChild(), frames[10]);
}

TEST_F(MainFrameTest, SeveralWindowsOfOneDocument) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* doc = app->GetDocuments().front().get();
    Frame()->OnCommand(kCmdWindowNew);
    std::vector<CChildFrame*> frames = app->FramesOf(doc);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0]->windowTitle(), "Lumitra1:1[*]");
    EXPECT_EQ(frames[1]->windowTitle(), "Lumitra1:2[*]");
    EXPECT_EQ(doc->GetViews().size(), 2u);
    Frame()->OnCommand(kCmdWindowTile);
    Frame()->OnCommand(kCmdWindowCascade);

    // The first window closes without a question; the document stays.
    doc->SetModifiedFlag();
    EXPECT_TRUE(frames[0]->close());
    FlushDeletes();
    EXPECT_EQ(ui.Count(Kind::MessageBox), 0);
    ASSERT_EQ(app->GetDocuments().size(), 1u);
    frames = app->FramesOf(doc);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]->windowTitle(), "Lumitra1[*]");
    EXPECT_EQ(doc->GetViews().size(), 1u);

    // The last one takes the document.
    ui.QueueMessageBoxAnswer(lm::kIdNo);
    EXPECT_TRUE(frames[0]->close());
    FlushDeletes();
    EXPECT_TRUE(app->GetDocuments().empty());
    EXPECT_EQ(Frame()->GetMenuId(), kMenuNoDocument);
    EXPECT_EQ(Frame()->GetRegisteredDocument(), nullptr);
}

// At the default window size with every panel shown the client area is
// narrower than a report window's first size: each window, the one there at
// start, one opened later and those there when a panel comes or goes, lies
// wholly in the client area, its title buttons and its page's scroll bars in
// sight (a new object the view scrolls into its viewport is then seen).
TEST_F(MainFrameTest, ReportWindowsStayInTheClientAreaWithEveryPanelShown) {
    ASSERT_TRUE(app->InitInstance({}));
    CMainFrame* frame = Frame();
    auto* mdi = frame->findChild<QMdiArea*>(QStringLiteral("mdiArea"));
    ASSERT_NE(mdi, nullptr);
    frame->resize(1100, 800);
    frame->show();
    QCoreApplication::processEvents();
    Button(kCtlPaneDatabase)->click();
    frame->ShowInfoAssistant(app->GetDocuments().front().get());
    QCoreApplication::processEvents();
    ASSERT_TRUE(frame->GetDatabasePanel()->isVisible());
    EXPECT_EQ(frame->size(), QSize(1100, 800));
    auto expectInside = [&](const char* when) {
        const QRect area = mdi->viewport()->rect();
        ASSERT_GT(area.width(), 100) << when;
        for (CChildFrame* f : frame->GetChildFrames()) {
            EXPECT_TRUE(area.contains(f->geometry())) << when << ": " << f->windowTitle().toStdString() << " at "
                                                      << f->geometry().x() << "," << f->geometry().y() << " "
                                                      << f->width() << "x" << f->height() << " in "
                                                      << area.width() << "x" << area.height();
            EXPECT_GE(f->width(), std::min(area.width(), 200)) << when;
        }
    };
    expectInside("start");

    frame->OnCommand(kCmdFileNew);
    QCoreApplication::processEvents();
    ASSERT_EQ(frame->GetChildFrames().size(), 2u);
    expectInside("a new report");

    // The database panel goes: the area widens and a window shrunk for it
    // grows back towards its own width; it comes back: the windows keep in.
    const int narrow = frame->GetChildFrames().front()->width();
    Button(kCtlPaneDatabase)->click();
    QCoreApplication::processEvents();
    expectInside("the database panel hidden");
    EXPECT_GT(frame->GetChildFrames().front()->width(), narrow);
    EXPECT_LE(frame->GetChildFrames().front()->width(), 640);
    Button(kCtlPaneDatabase)->click();
    QCoreApplication::processEvents();
    expectInside("the database panel again");
}

TEST_F(MainFrameTest, TheSplitterHoldsUpToTwoByTwoViews) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* doc = app->GetDocuments().front().get();
    CChildFrame* child = Frame()->GetActiveChild();
    ASSERT_NE(child, nullptr);
    child->SetSplit(2, 2);
    EXPECT_EQ(child->GetViews().size(), 4u);
    EXPECT_EQ(doc->GetViews().size(), 4u);
    child->ActivateNextPane(false);
    EXPECT_EQ(child->GetActiveView(), child->GetViews()[1]);
    child->ActivateNextPane(true);
    child->ActivateNextPane(true);
    EXPECT_EQ(child->GetActiveView(), child->GetViews()[3]);
    child->SetSplit(9, 0);  // clamped to 2 x 1
    EXPECT_EQ(child->GetRowCount(), 2);
    EXPECT_EQ(child->GetColumnCount(), 1);
    EXPECT_EQ(doc->GetViews().size(), 2u);
    EXPECT_EQ(child->GetActiveView(), child->GetViews()[0]);  // the active pane went away
    child->SetSplit(1, 1);
    EXPECT_EQ(doc->GetViews().size(), 1u);
}

// With two panes the next and the previous pane are both the other one; with
// one there is nowhere to go.
TEST_F(MainFrameTest, NextPaneWithTwoPanesAndWithOne) {
    ASSERT_TRUE(app->InitInstance({}));
    CChildFrame* child = Frame()->GetActiveChild();
    ASSERT_NE(child, nullptr);
    child->SetSplit(1, 2);
    ASSERT_EQ(child->GetViews().size(), 2u);
    ASSERT_EQ(child->GetActiveView(), child->GetViews()[0]);
    for (bool previous : {false, true, false}) {
        CLumitraView* before = child->GetActiveView();
        child->ActivateNextPane(previous);
        EXPECT_NE(child->GetActiveView(), before) << previous;
    }
    EXPECT_EQ(child->GetActiveView(), child->GetViews()[1]);
    child->SetSplit(1, 1);
    ASSERT_EQ(child->GetViews().size(), 1u);
    child->ActivateNextPane(false);
    EXPECT_EQ(child->GetActiveView(), child->GetViews()[0]);
}

TEST_F(MainFrameTest, TheCurrentViewPointerNeverDangles) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraDoc* doc = app->GetDocuments().front().get();
    CLumitraView* view = Frame()->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    auto* obj = static_cast<rtest::TestObj*>(doc->AddObject(std::make_unique<rtest::TestObj>(CRect(10, 10, 100, 60), doc)));
    view->resize(400, 300);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(20, 20), view->viewport()->mapToGlobal(QPointF(20, 20)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &press);
    EXPECT_EQ(CLumitraView::GetCurrentView(), view);
    EXPECT_EQ(doc->GetActiveObject(), obj);
    EXPECT_EQ(view->ObjectAtPoint(CPoint(99, 59)), obj);
    EXPECT_EQ(view->ObjectAtPoint(CPoint(100, 59)), nullptr);
    QMouseEvent empty(QEvent::MouseButtonPress, QPointF(300, 250), view->viewport()->mapToGlobal(QPointF(300, 250)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view->viewport(), &empty);
    EXPECT_EQ(doc->GetActiveObject(), nullptr);
    EXPECT_EQ(obj->deactivated, 1);

    ui.QueueMessageBoxAnswer(lm::kIdNo);  // the object made it modified
    Frame()->OnCommand(kCmdFileClose);
    EXPECT_TRUE(app->GetDocuments().empty());
    EXPECT_EQ(CLumitraView::GetCurrentView(), nullptr);
    EXPECT_EQ(CLumitraView::GetActiveLumitraView(), nullptr);
}

TEST_F(MainFrameTest, ThePageIsPaintedWithTheHintUntilDataArrives) {
    ASSERT_TRUE(app->InitInstance({}));
    CLumitraView* view = Frame()->GetActiveReportView();
    ASSERT_NE(view, nullptr);
    view->resize(500, 400);
    view->horizontalScrollBar()->setValue(0);
    view->verticalScrollBar()->setValue(0);
    view->SetZoom(0.5f);  // the 1024-wide page is 512 pixels: grey beyond it
    const QImage img = view->viewport()->grab().toImage();
    ASSERT_FALSE(img.isNull());
    const int w = view->viewport()->width();
    ASSERT_GT(w, 0);
    const qreal dpr = img.devicePixelRatio();
    EXPECT_EQ(img.pixelColor(int(5 * dpr), int(5 * dpr)), QColor(255, 255, 255));
    if (w > 520) {
        EXPECT_EQ(img.pixelColor(int(515 * dpr), int(5 * dpr)), QColor(128, 128, 128));
    }
    // The hint text leaves dark pixels in the middle of the view.
    bool dark = false;
    const int cy = int(view->viewport()->height() / 2 * dpr);
    for (int x = 0; x < img.width() && !dark; ++x)
        for (int y = cy - 8; y < cy + 8 && !dark; ++y) dark = qGray(img.pixel(x, y)) < 100;
    EXPECT_TRUE(dark);
}

TEST_F(MainFrameTest, CommandLineOpensFilesAndRefusesUnknownOptions) {
    EXPECT_FALSE(app->InitInstance({"--print"}));  // printing needs a file
    EXPECT_NE(app->GetExitCode(), 0);
    EXPECT_EQ(Frame(), nullptr);
    EXPECT_FALSE(app->InitInstance({"--bogus"}));
    EXPECT_NE(app->GetExitCode(), 0);

    // A file that is missing: a message, and the program stays open on an
    // empty report.
    EXPECT_TRUE(app->InitInstance({QString::fromStdString(dir.File("missing.fld"))}));
    ASSERT_NE(Frame(), nullptr);
    ASSERT_EQ(ui.Count(Kind::MessageBox), 1);
    EXPECT_EQ(ui.Calls().back().icon, lm::MsgIcon::Error);
    ASSERT_EQ(app->GetDocuments().size(), 1u);
    EXPECT_EQ(app->GetDocuments().front()->GetDataShellCount(), 0);
    app->ExitInstance();

    // A damaged FCS file is named as one, not as a broken document.
    const std::string bad = dir.Write("bad.fcs", {'F', 'C', 'S', '3', '.', '0', ' ', 'x'});
    EXPECT_TRUE(app->InitInstance({QString::fromStdString(bad)}));
    EXPECT_EQ(ui.Calls().back().text,
              QStringLiteral("FCS文件打开失败!\nbad.fcs: only 8 bytes, too short for an FCS HEADER"));
    app->ExitInstance();

    // An FCS file opens in a new report as its first data set, shown in a
    // plot at the first free place, the report not yet modified.
    const std::string fcs = WriteFcs("sample.fcs");
    ASSERT_TRUE(app->InitInstance({QString::fromStdString(fcs)}));
    ASSERT_EQ(app->GetDocuments().size(), 1u);
    CLumitraDoc* doc = app->GetDocuments().front().get();
    ASSERT_EQ(doc->GetDataShellCount(), 1);
    EXPECT_EQ(doc->GetDataShellAt(0)->GetName(), "sample.fcs");
    ASSERT_EQ(doc->GetObjectCount(), 1);
    EXPECT_EQ(doc->GetObjects().front()->GetRect(), CRect(5, 5, 255, 255));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(Frame()->GetPanel(kPanelFileList)->GetDocument(), doc);
    // Open again through the open command: the data set is already open.
    ui.QueueFileNames({QString::fromStdString(fcs)});
    Frame()->OnCommand(kCmdFileOpen);
    EXPECT_EQ(app->GetDocuments().size(), 2u);  // FCS files open in a new report each time
}

TEST_F(MainFrameTest, CommandLineKeepsWhatOpensAndNamesWhatDoesNot) {
    // A file manager passes several files: the good ones open, each bad
    // one is named once, in order, and the program stays open.
    const std::string good = WriteFcs("good.fcs");
    const std::string bad = dir.Write("bad.fcs", {'F', 'C', 'S', '3', '.', '0', ' ', 'x'});
    const std::string other = WriteFcs("other.fcs");
    ASSERT_TRUE(app->InitInstance({QString::fromStdString(good), QString::fromStdString(bad),
                                   QString::fromStdString(dir.File("missing.fld")), QString::fromStdString(other)}));
    ASSERT_NE(Frame(), nullptr);
    EXPECT_TRUE(Frame()->isVisible());
    const auto boxes = ui.CallsOf(Kind::MessageBox);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].text.contains("bad.fcs")) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[1].text.contains("missing.fld")) << boxes[1].text.toStdString();
    ASSERT_EQ(app->GetDocuments().size(), 2u);
    EXPECT_EQ(app->GetDocuments()[0]->GetDataShellAt(0)->GetName(), "good.fcs");
    EXPECT_EQ(app->GetDocuments()[1]->GetDataShellAt(0)->GetName(), "other.fcs");
    for (const auto& doc : app->GetDocuments()) EXPECT_FALSE(doc->IsModified());
}

#ifdef LUMITRA_PROGRAM
TEST(CommandLinePrinting, PrintsAnFcsFileToPdfWithoutADisplay) {
    rtest::EnsureApp();
    lmtest::TempDir dir;
    lmtest::FcsWriter w;
    w.Param("FSC-H", 32, "1024").Param("SSC-H", 32, "1024").Event({1, 2}).Event({3, 4});
    const std::string fcs = dir.Write("sample.fcs", w.Build());
    const QString pdf = QString::fromStdString(dir.File("out.pdf"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), QString::fromStdString(dir.Path()));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir.Path()));
    // Under the sanitizers the printing library's caches make the leak
    // checker stumble at exit; the program's own leaks are checked in process.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("detect_leaks=0"));
    // The program keeps its settings ("Vexa.ini") beside itself: it runs
    // from the test's folder (a link to the built program, or a copy), so
    // nothing is written into the build.
    namespace fs = std::filesystem;
    const fs::path built(LUMITRA_PROGRAM);
    const fs::path exe = fs::path(dir.Path()) / built.filename();
    std::error_code ec;
    fs::create_hard_link(built, exe, ec);
    if (ec) ASSERT_TRUE(fs::copy_file(built, exe, ec)) << ec.message();
    const bool builtIniBefore = fs::exists(built.parent_path() / kIniFileName);
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QString::fromStdString(dir.Path()));  // its log.txt goes there
    program.start(QString::fromStdString(exe.string()), {QStringLiteral("--print-to"), pdf, QString::fromStdString(fcs)});
    ASSERT_TRUE(program.waitForFinished(120000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    EXPECT_EQ(ReadAll(pdf.toStdString()).substr(0, 5), "%PDF-");
    EXPECT_TRUE(fs::exists(dir.File(kIniFileName)));
    EXPECT_EQ(fs::exists(built.parent_path() / kIniFileName), builtIniBefore);
}
#endif

}  // namespace
