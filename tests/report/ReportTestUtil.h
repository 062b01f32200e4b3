#pragma once
// Helpers of the report tests: the Qt application, page objects that record
// what the document tells them, and page objects that observe a data shell
// the way plots and result tables do.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>

#include <memory>
#include <string>

#include "core/Observers.h"
#include "tests/support/ui/ScriptedUiServices.h"
#include "report/app/LumitraApp.h"
#include "report/plot/PlotDefaults.h"
#include "report/page/TrkObj.h"
#include "tests/report/FldTestUtil.h"
#include "tests/support/FcsWriter.h"

namespace rtest {

inline void EnsureApp() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "lumitra-test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: input devices made for synthetic mouse events must not
    // outlive the application at exit.
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
}

// The settings and the program folder of a program run by a test are kept
// in `folder`, and the plot defaults start from the built-in ones.
inline void UseProgramFolder(const std::string& folder) {
    EnsureApp();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder + "/settings"));
    CLumitraApp::SetProgramFolderOverride(folder);
    GetPlotDefaults() = PlotDefaults();
}

// Ends a program run by a test, with the windows it left to be deleted
// later, and gives the program its own folder back.
inline void EndProgram(std::unique_ptr<CLumitraApp>& app) {
    app.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    CLumitraApp::SetProgramFolderOverride("");
}

// The whole program, made (not yet started) over a folder of its own with the
// scripted UI services answering.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseProgramFolder(dir.Path());
        // The program's log is written in the current folder.
        cwd = std::make_unique<fldtest::ScopedCurrentDir>(dir.Path());
        EXPECT_TRUE(cwd->Ok()) << dir.Path();
        app = std::make_unique<CLumitraApp>();
    }
    void TearDown() override {
        EndProgram(app);
        cwd.reset();
    }

    lmtest::TempDir dir;
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices install{&ui};
    std::unique_ptr<CLumitraApp> app;
    std::unique_ptr<fldtest::ScopedCurrentDir> cwd;
};

// A page object of a chosen kind that counts the document's calls.
class TestObj : public CTrkObj {
public:
    TestObj(const CRect& r, CLumitraDoc* doc, int32_t type = kObjText) : CTrkObj(r, doc) { m_type = type; }
    explicit TestObj(CLumitraDoc* doc) : CTrkObj(doc) { m_type = kObjText; }
    ~TestObj() override {
        if (destroyed) ++*destroyed;
    }
    bool OnContextCommand(uint32_t, int32_t) override { return false; }
    void OnActivate() override { ++activated; }
    void OnDeactivate() override { ++deactivated; }
    void OnAddedToSelection() override { ++addedToSelection; }

    void SetReserved(int32_t v) { m_reserved = v; }
    int32_t Reserved() const { return m_reserved; }

    int activated = 0;
    int deactivated = 0;
    int addedToSelection = 0;
    int* destroyed = nullptr;  // counts destructor runs when set
};

// A page object observing a data shell with a chosen user kind (plots are
// kind 1, result tables kind 4), held by the document through its CTrkObj part
// as plots are.
class ShellObj : public CDataShellUser, public CTrkObj {
public:
    ShellObj(const CRect& r, CLumitraDoc* doc, VexaDataShell* shell, int32_t userKind, int32_t type)
        : CTrkObj(r, doc) {
        m_userKind = userKind;
        m_type = type;
        SetShell(shell, false);
    }
    bool OnContextCommand(uint32_t, int32_t) override { return false; }
};

}  // namespace rtest
