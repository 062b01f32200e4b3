#pragma once
// The application object: the diagnostic log, the open documents and their
// windows, the recent-file list, the printer settings, and the start-up and
// shut-down order. One exists at a time; main() makes it after the
// QApplication.
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

#include "report/app/LogRec.h"

class CChildFrame;
class CLumitraDoc;
class CMainFrame;
class QPrinter;

inline constexpr char kProgramName[] = "Lumitra";
inline constexpr char kProgramVersion[] = "0.1";
// The caption of the program's own messages.
inline QString ProgramName() { return QString::fromLatin1(kProgramName); }
// Settings key of the recent-file list (organisation of QSettings).
inline constexpr char kSettingsKey[] = "Local AppWizard-Generated Applications";
inline constexpr char kRecentFileSection[] = "Recent File List";
// The file filter of report documents.
inline constexpr char kDocumentFilter[] = "Vexa Document (*.fld)|*.fld||";

class CLumitraApp : public QObject {
    Q_OBJECT

public:
    // Recreates "log.txt" in the current folder.
    CLumitraApp();
    // Closes every document without asking and destroys the main frame.
    ~CLumitraApp() override;
    CLumitraApp(const CLumitraApp&) = delete;
    CLumitraApp& operator=(const CLumitraApp&) = delete;

    // Start-up: settings, main frame, command line. args are the program's
    // arguments without the program name. False ends the program with
    // GetExitCode().
    bool InitInstance(const QStringList& args);
    // Closes the documents (without asking) and the main frame; the plot
    // defaults are written. Nothing when there is no main frame.
    void ExitInstance();
    int GetExitCode() const { return m_exitCode; }

    CLogRec& GetLog() { return m_log; }
    CMainFrame* GetMainFrame() const { return m_mainFrame.get(); }

    // The folder of "Vexa.ini" and "Database": the executable's folder when it
    // is writable, else $XDG_CONFIG_HOME/lumitra (made on first use).
    static std::string GetProgramFolder();
    // Tests point the program folder elsewhere; empty goes back to the rule.
    static void SetProgramFolderOverride(const std::string& folder);

    // ------------------------------------------------------------ documents
    const std::vector<std::unique_ptr<CLumitraDoc>>& GetDocuments() const { return m_documents; }
    // A new empty document in a new window.
    CLumitraDoc* OnFileNew();
    // The open dialog, then OpenDocumentFile for each chosen file.
    void OnFileOpen();
    // Opens a ".fld" document (an open one is brought forward) or, for an FCS
    // file, a new document holding its first data set. Null on failure, after
    // a message.
    CLumitraDoc* OpenDocumentFile(const QString& path);
    // File > Close: asks to save, then closes the document and its windows.
    bool OnFileClose(CLumitraDoc* doc);
    // Save (saveAs: always ask for a name; so does a report read from a
    // template). A template file is never written over, and a file another
    // program saved over since is written only when the user says so. False
    // when cancelled or failed.
    bool DoSave(CLumitraDoc* doc, bool saveAs);
    // Asks whether to save a modified document; false when the user cancels.
    bool SaveModified(CLumitraDoc* doc);
    // Closes doc and every window on it, without asking.
    void CloseDocument(CLumitraDoc* doc);
    // Asks for each modified document; false (nothing closed) when cancelled.
    bool SaveAllModified();
    // The desktop session is ending (logout, shutdown) and asks the program
    // to save. With mayAsk, every modified report is asked about as File >
    // Quit asks; false when the user cancels, and the session is told to stop
    // ending. Without leave to ask nothing can be done, and true.
    bool CommitData(bool mayAsk);
    // SIGTERM (a desktop or system ending the program) is taken as File >
    // Quit: the main window closes, asking about unsaved reports. Installed
    // by InitInstance, removed when the program ends.
    void InstallTerminationHandler();
    void RemoveTerminationHandler();
    void CloseAllDocuments();
    // Another window on the active document.
    CChildFrame* OnWindowNew();
    CChildFrame* CreateChildFrame(CLumitraDoc* doc);
    std::vector<CChildFrame*> FramesOf(const CLumitraDoc* doc) const;
    // Called by a document window that is about to close.
    bool CanCloseFrame(CChildFrame* frame);
    void OnFrameClosed(CChildFrame* frame);
    void UpdateFrameTitles(const CLumitraDoc* doc);

    // ---------------------------------------------------------- recent files
    QStringList GetRecentFiles() const { return m_recentFiles; }
    void AddToRecentFileList(const QString& path);
    void OpenRecentFile(int index);

    // -------------------------------------------------------------- commands
    void OnFilePrintSetup();
    void OnAppAbout();
    QPrinter* GetPrinter();

    // A printer for --print (name empty: the default printer) or --print-to
    // (a name ending in ".pdf" writes that PDF file). False with *error when
    // there is no such printer.
    static bool SetUpCommandLinePrinter(QPrinter& printer, const QString& name, QString* error);

private:
    struct PrintJob {
        QString printer;  // empty: the default printer
        QString file;
    };
    // Opens the file as the Open command does and prints every page of it.
    bool PrintFromCommandLine(const PrintJob& job);
    bool ProcessCommandLine(const QStringList& args);
    void LoadStdProfileSettings();
    void SaveRecentFiles() const;
    CLumitraDoc* NewDocument();
    void OnTerminationRequested();
    CLumitraDoc* FindOpenDocument(const QString& path) const;
    // The save dialog for doc's new name; empty when cancelled.
    QString AskSaveName(CLumitraDoc* doc);

    CLogRec m_log;
    std::vector<std::unique_ptr<CLumitraDoc>> m_documents;
    std::unique_ptr<CMainFrame> m_mainFrame;
    std::unique_ptr<QPrinter> m_printer;
    QStringList m_recentFiles;
    int m_untitledCount = 0;  // new documents are "Lumitra1", "Lumitra2", ...
    int m_exitCode = 0;
    class QSocketNotifier* m_termNotifier = nullptr;
    bool m_quitting = false;  // a SIGTERM is being answered
};

// The application object, or null when none exists.
CLumitraApp* GetLumitraApp();
// Its main frame, or null.
CMainFrame* GetMainFrame();
