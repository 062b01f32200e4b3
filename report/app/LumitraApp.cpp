#include "report/app/LumitraApp.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include "base/AtomicFile.h"
#include "base/Paths.h"
#include "core/DataShell.h"
#include "platform/UiServices.h"
#include "report/app/AboutDlg.h"
#include "report/app/ChildFrame.h"
#include "report/app/DragDropMgr.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/app/MainFrame.h"
#include "report/page/PagePainter.h"

namespace {

CLumitraApp* g_app = nullptr;
std::string g_programFolderOverride;

// SIGTERM reaches the event loop through a socket pair: the handler may only
// write a byte, and the GUI thread does the rest.
int g_termFds[2] = {-1, -1};
struct sigaction g_oldTermAction {};

void OnSigTerm(int) {
    const char byte = 1;
    const int saved = errno;
    (void)!::write(g_termFds[0], &byte, 1);
    errno = saved;
}

void ErrorBox(const QString& text) { lm::ErrorBox(GetMainFrame(), text, ProgramName()); }

// How the recent-file list names a file: the canonical path, so that a file
// reached through "..", "." or a link is listed once, as the open documents
// are compared.
QString RecentFileKey(const QString& path) {
    return QString::fromStdString(lm::CanonicalFilePath(path.toStdString()));
}

const char kUsage[] =
    "Usage: lumitra [FILE...]\n"
    "       lumitra --print FILE\n"
    "       lumitra --print-to PRINTER FILE\n"
    "\n"
    "FILE is a report document (.fld) or an FCS data file. Without FILE a new\n"
    "empty report opens. A PRINTER ending in \".pdf\" names a PDF file to write.\n";

// While a file is printed from the command line no window is shown and no
// one may be there to answer: messages go to the terminal and every question
// gets its cautious answer, so a file that cannot be opened never leaves the
// program waiting.
class ConsoleUiServices : public lm::UiServices {
public:
    int32_t MessageBox(QWidget*, const QString& text, const QString& caption, lm::MsgButtons buttons,
                       lm::MsgIcon) override {
        std::fprintf(stderr, "lumitra: %s: %s\n", caption.toLocal8Bit().constData(),
                     QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).toLocal8Bit().constData());
        switch (buttons) {
            case lm::MsgButtons::Ok: return lm::kIdOk;
            case lm::MsgButtons::YesNo: return lm::kIdNo;
            default: return lm::kIdCancel;
        }
    }
    int32_t TrackPopupMenu(QWidget*, const std::vector<lm::MenuItem>&, const QPoint&) override { return 0; }
    QStringList GetOpenFileNames(QWidget*, const lm::FileDialogRequest&) override { return {}; }
    QString GetSaveFileName(QWidget*, const lm::FileDialogRequest&) override { return {}; }
    bool ChooseColor(QWidget*, COLORREF*) override { return false; }
    bool ChooseFont(QWidget*, LOGFONT*, COLORREF*) override { return false; }
    bool PrintDialog(QWidget*, QPrinter*, bool) override { return false; }
    int32_t ExecDialog(QDialog*) override { return lm::kDialogRejected; }
    bool OpenUrl(const QString&) override { return false; }
};

// A data file, readable or not: its header says so, or its name or first
// bytes do. A damaged FCS file is then reported as such, not as a document
// that failed to read.
bool LooksLikeFcsFile(const QString& path, const std::string& canonical) {
    if (VexaDataShell::IsFcsFile(canonical)) return true;
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("fcs") || suffix == QLatin1String("lmd")) return true;
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(3) == "FCS";
}

}  // namespace

CLumitraApp* GetLumitraApp() { return g_app; }

CMainFrame* GetMainFrame() { return g_app ? g_app->GetMainFrame() : nullptr; }

// The icons are compiled into the program's library: pull them in.
static void InitResources() { Q_INIT_RESOURCE(lumitra); }

CLumitraApp::CLumitraApp() {
    InitResources();
    // The drag messages get their ids once, before any window can send one.
    DragMessages();
    g_app = this;
}

CLumitraApp::~CLumitraApp() {
    RemoveTerminationHandler();
    ExitInstance();
    if (g_app == this) g_app = nullptr;
}

// ============================================================= start and end

std::string CLumitraApp::GetProgramFolder() {
    if (!g_programFolderOverride.empty()) return g_programFolderOverride;
    const QString exeDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QString();
    if (!exeDir.isEmpty() && QFileInfo(exeDir).isWritable()) return QDir::cleanPath(exeDir).toStdString();
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config)) config = QDir::homePath() + QStringLiteral("/.config");
    const QString folder = QDir::cleanPath(config + QStringLiteral("/lumitra"));
    QDir().mkpath(folder);
    return folder.toStdString();
}

void CLumitraApp::SetProgramFolderOverride(const std::string& folder) { g_programFolderOverride = folder; }

bool CLumitraApp::InitInstance(const QStringList& args) {
    m_exitCode = 0;
    // The options come first: --print FILE or --print-to PRINTER FILE print
    // one file and end the program; anything else is a list of files to open.
    PrintJob job;
    const bool printing = !args.isEmpty() && (args.front() == QLatin1String("--print") ||
                                              args.front() == QLatin1String("--print-to"));
    if (printing) {
        const bool to = args.front() == QLatin1String("--print-to");
        if (args.size() != (to ? 3 : 2) || args.back().startsWith(QLatin1String("--")) ||
            (to && args[1].isEmpty())) {
            std::fputs(kUsage, stderr);
            m_exitCode = 2;
            return false;
        }
        job.printer = to ? args[1] : QString();
        job.file = args.back();
    } else {
        for (const QString& a : args) {
            if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
                std::fputs(kUsage, stdout);
                return false;
            }
            if (a.startsWith(QLatin1String("--"))) {
                std::fprintf(stderr, "lumitra: unknown option %s\n%s", a.toLocal8Bit().constData(), kUsage);
                m_exitCode = 2;
                return false;
            }
        }
    }

    QCoreApplication::setOrganizationName(QString::fromLatin1(kSettingsKey));
    QCoreApplication::setApplicationName(ProgramName());
    LoadStdProfileSettings();

    // Saves into the program's own folders that died with an earlier run
    // left their temporary files there.
    const std::string programFolder = GetProgramFolder();
    lm::RemoveStaleTempFiles(programFolder);
    lm::RemoveStaleTempFiles(programFolder + "/Database");
    m_mainFrame = std::make_unique<CMainFrame>(programFolder);
    if (!m_mainFrame->Create()) {
        m_mainFrame.reset();
        m_exitCode = 1;
        return false;
    }
    m_mainFrame->RebuildRecentFileMenus();

    if (printing) {
        // The window is never shown: the file is printed and the program ends.
        // Services installed by whoever runs the program (a test) keep
        // answering; otherwise the terminal does.
        ConsoleUiServices console;
        lm::UiServices* installed = lm::SetUiServices(&console);
        if (installed) lm::SetUiServices(installed);
        const bool printed = PrintFromCommandLine(job);
        ExitInstance();
        if (!installed) lm::SetUiServices(nullptr);
        m_exitCode = printed ? 0 : 1;
        return false;
    }
    if (!ProcessCommandLine(args)) {
        ExitInstance();
        m_exitCode = 1;
        return false;
    }
    // Logging out or shutting down asks about unsaved reports as Quit does.
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
            if (!CommitData(manager.allowsInteraction())) manager.cancel();
        });
    InstallTerminationHandler();
    m_mainFrame->show();
    return true;
}

bool CLumitraApp::CommitData(bool mayAsk) {
    if (!mayAsk || !m_mainFrame) return true;
    return SaveAllModified();
}

void CLumitraApp::InstallTerminationHandler() {
    if (m_termNotifier || g_termFds[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_termFds) != 0) {
        g_termFds[0] = g_termFds[1] = -1;
        return;
    }
    m_termNotifier = new QSocketNotifier(g_termFds[1], QSocketNotifier::Read, this);
    connect(m_termNotifier, &QSocketNotifier::activated, this, &CLumitraApp::OnTerminationRequested);
    struct sigaction action {};
    action.sa_handler = OnSigTerm;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &g_oldTermAction);
}

void CLumitraApp::RemoveTerminationHandler() {
    if (!m_termNotifier) return;
    ::sigaction(SIGTERM, &g_oldTermAction, nullptr);
    delete m_termNotifier;
    m_termNotifier = nullptr;
    ::close(g_termFds[0]);
    ::close(g_termFds[1]);
    g_termFds[0] = g_termFds[1] = -1;
}

void CLumitraApp::OnTerminationRequested() {
    char bytes[16];
    while (::read(g_termFds[1], bytes, sizeof bytes) > 0) {
    }
    // A second signal while the first is being asked about changes nothing.
    if (m_quitting || !m_mainFrame) return;
    m_quitting = true;
    m_mainFrame->close();
    m_quitting = false;
}

bool CLumitraApp::SetUpCommandLinePrinter(QPrinter& printer, const QString& name, QString* error) {
    if (name.isEmpty()) {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        if (info.isNull()) {
            *error = QStringLiteral("there is no default printer");
            return false;
        }
        printer.setPrinterName(info.printerName());
        return true;
    }
    if (name.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
        // A PDF file in place of a printer, so printing can be done and
        // checked on a machine without printers.
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(name);
        return true;
    }
    const QPrinterInfo info = QPrinterInfo::printerInfo(name);
    if (info.isNull()) {
        *error = QStringLiteral("there is no printer named %1").arg(name);
        return false;
    }
    printer.setPrinterName(info.printerName());
    return true;
}

bool CLumitraApp::PrintFromCommandLine(const PrintJob& job) {
    // The file opens as it would from the Open command: a report document,
    // or an FCS file in a new report.
    CLumitraDoc* doc = OpenDocumentFile(job.file);
    if (!doc) {
        std::fprintf(stderr, "lumitra: cannot open %s; nothing was printed\n", job.file.toLocal8Bit().constData());
        return false;
    }
    // A report that holds data sets but nothing on its page (an FCS file)
    // shows each data set in a plot of the default size.
    if (doc->GetObjectCount() == 0)
        for (int32_t i = 0; i < doc->GetDataShellCount(); ++i) doc->CreatePlotAtPilot(doc->GetDataShellAt(i));

    QPrinter printer(QPrinter::HighResolution);
    QString error;
    if (!SetUpCommandLinePrinter(printer, job.printer, &error)) {
        std::fprintf(stderr, "lumitra: %s; nothing was printed\n", error.toLocal8Bit().constData());
        return false;
    }
    printer.setDocName(doc->GetTitle());
    if (!CPagePainter::Print(printer, *doc, &error)) {
        std::fprintf(stderr, "lumitra: printing %s failed: %s\n", job.file.toLocal8Bit().constData(),
                     error.toLocal8Bit().constData());
        return false;
    }
    return true;
}

bool CLumitraApp::ProcessCommandLine(const QStringList& args) {
    // A file manager hands over every file chosen: each one that opens is
    // kept, each one that does not has been named in its own message, and
    // the program stays open (with an empty report when nothing opened).
    bool opened = false;
    for (const QString& path : args) {
        if (OpenDocumentFile(path))
            opened = true;
        else
            std::fprintf(stderr, "lumitra: cannot open %s\n", path.toLocal8Bit().constData());
    }
    return opened || OnFileNew() != nullptr;
}

void CLumitraApp::ExitInstance() {
    if (!m_mainFrame) return;
    CloseAllDocuments();
    m_mainFrame.reset();  // writes the plot defaults
}

void CLumitraApp::LoadStdProfileSettings() {
    QSettings settings;
    settings.beginGroup(QString::fromLatin1(kRecentFileSection));
    m_recentFiles.clear();
    for (int i = 1; i <= kRecentFileCount; ++i) {
        // Lists written by older versions may name one file two ways.
        const QString f = RecentFileKey(settings.value(QStringLiteral("File%1").arg(i)).toString());
        if (!f.isEmpty() && !m_recentFiles.contains(f)) m_recentFiles << f;
    }
}

void CLumitraApp::SaveRecentFiles() const {
    QSettings settings;
    settings.beginGroup(QString::fromLatin1(kRecentFileSection));
    for (int i = 1; i <= kRecentFileCount; ++i) {
        if (i <= m_recentFiles.size())
            settings.setValue(QStringLiteral("File%1").arg(i), m_recentFiles[i - 1]);
        else
            settings.remove(QStringLiteral("File%1").arg(i));
    }
}

void CLumitraApp::AddToRecentFileList(const QString& path) {
    const QString abs = RecentFileKey(path);
    m_recentFiles.removeAll(abs);
    m_recentFiles.prepend(abs);
    while (m_recentFiles.size() > kRecentFileCount) m_recentFiles.removeLast();
    SaveRecentFiles();
    if (m_mainFrame) m_mainFrame->RebuildRecentFileMenus();
}

void CLumitraApp::OpenRecentFile(int index) {
    if (index < 0 || index >= m_recentFiles.size()) return;
    const QString path = m_recentFiles[index];
    if (!OpenDocumentFile(path)) {
        // A file that no longer opens leaves the list.
        m_recentFiles.removeAll(path);
        SaveRecentFiles();
        if (m_mainFrame) m_mainFrame->RebuildRecentFileMenus();
    }
}

// ================================================================ documents

CLumitraDoc* CLumitraApp::NewDocument() {
    m_documents.push_back(std::make_unique<CLumitraDoc>());
    CLumitraDoc* doc = m_documents.back().get();
    connect(doc, &CLumitraDoc::modifiedChanged, this, [this, doc] {
        UpdateFrameTitles(doc);
        if (m_mainFrame) m_mainFrame->UpdateTitle();
    });
    connect(doc, &CLumitraDoc::titleChanged, this, [this, doc] {
        UpdateFrameTitles(doc);
        if (!m_mainFrame) return;
        m_mainFrame->UpdateTitle();
        m_mainFrame->OnDocumentTitleChanged(doc);
    });
    return doc;
}

CLumitraDoc* CLumitraApp::OnFileNew() {
    if (!m_mainFrame) return nullptr;
    CLumitraDoc* doc = NewDocument();
    doc->SetTitle(QStringLiteral("%1%2").arg(ProgramName()).arg(++m_untitledCount));
    doc->OnNewDocument();
    CreateChildFrame(doc);
    return doc;
}

void CLumitraApp::OnFileOpen() {
    lm::FileDialogRequest req;
    req.caption = QStringLiteral("Open");
    req.filter = lm::FilterFromMfc(QString::fromLatin1(kDocumentFilter)) +
                 QStringLiteral(";;FCS Files (*.fcs *.FCS *.lmd);;All Files (*)");
    req.multiple = true;
    for (const QString& path : lm::Ui().GetOpenFileNames(m_mainFrame.get(), req)) OpenDocumentFile(path);
}

CLumitraDoc* CLumitraApp::FindOpenDocument(const QString& path) const {
    const std::string canon = lm::CanonicalFilePath(path.toStdString());
    for (const auto& d : m_documents)
        if (!d->GetPathName().isEmpty() && lm::CanonicalFilePath(d->GetPathName().toStdString()) == canon) return d.get();
    return nullptr;
}

CLumitraDoc* CLumitraApp::OpenDocumentFile(const QString& path) {
    if (!m_mainFrame) return nullptr;
    if (!QFileInfo(path).isFile()) {
        ErrorBox(QStringLiteral("%1\nFile not found.").arg(QDir::toNativeSeparators(path)));
        return nullptr;
    }
    if (CLumitraDoc* open = FindOpenDocument(path)) {
        const std::vector<CChildFrame*> frames = FramesOf(open);
        if (!frames.empty()) m_mainFrame->GetMdiArea()->setActiveSubWindow(frames.front());
        return open;
    }
    const std::string file = lm::CanonicalFilePath(path.toStdString());
    if (LooksLikeFcsFile(path, file)) {
        // A data file opens in a new report, as if dropped on its first free
        // place: its first data set in a plot. The report holds nothing the
        // file does not, so it is not modified yet.
        CLumitraDoc* doc = OnFileNew();
        const std::vector<CChildFrame*> frames = FramesOf(doc);
        const std::vector<CLumitraView*> views =
            frames.empty() ? std::vector<CLumitraView*>() : frames.front()->GetViews();
        CLumitraView* view = views.empty() ? nullptr : views.front();
        if (!view || !view->NewPlotOfFileAtPilot(file)) {  // the view said why
            CloseDocument(doc);
            return nullptr;
        }
        doc->RedrawDirty();
        doc->SetModifiedFlag(false);
        return doc;
    }
    CLumitraDoc* doc = NewDocument();
    QString error;
    if (!doc->OnOpenDocument(path, &error)) {
        CloseDocument(doc);
        ErrorBox(QStringLiteral("Cannot open %1:\n%2").arg(QDir::toNativeSeparators(path), error));
        return nullptr;
    }
    CreateChildFrame(doc);
    AddToRecentFileList(path);
    return doc;
}

QString CLumitraApp::AskSaveName(CLumitraDoc* doc) {
    lm::FileDialogRequest req;
    req.caption = QStringLiteral("Save As");
    req.filter = lm::FilterFromMfc(QString::fromLatin1(kDocumentFilter));
    req.defaultSuffix = QStringLiteral("fld");
    const QString path = doc->GetPathName();
    if (path.isEmpty()) {
        req.fileName = doc->GetTitle() + QStringLiteral(".fld");
    } else if (doc->IsFromTemplate()) {
        // A report made from a template is offered its name, not its place:
        // it goes beside its newest data file (else home), away from the
        // templates.
        req.fileName = doc->GetTitle();
        req.folder = QDir::homePath();
        for (int32_t i = doc->GetDataShellCount(); i-- > 0;) {
            const QFileInfo data(QString::fromStdString(doc->GetDataShellAt(i)->GetPathName()));
            if (!data.isFile()) continue;
            req.folder = data.absolutePath();
            break;
        }
    } else {
        req.fileName = path;
    }
    return lm::Ui().GetSaveFileName(m_mainFrame.get(), req);
}

bool CLumitraApp::DoSave(CLumitraDoc* doc, bool saveAs) {
    if (!doc) return false;
    // A filed report is a copy of a template in its sample's folder, made to
    // be filled and saved where it is.
    const bool filed = !doc->GetSampleFolder().empty();
    QString path = doc->GetPathName();
    bool ask = saveAs || path.isEmpty() || (doc->IsFromTemplate() && !filed);
    for (;;) {
        if (ask) {
            path = AskSaveName(doc);
            if (path.isEmpty()) return false;
        }
        ask = true;
        // Only "Save As Template..." writes over a template.
        if (!filed && CLumitraDoc::IsTemplateFile(path)) {
            lm::Ui().MessageBox(m_mainFrame.get(),
                                QStringLiteral("%1 is a template. Choose another name for the report; a template is "
                                               "replaced only by \"Save As Template...\".")
                                    .arg(QDir::toNativeSeparators(path)),
                                ProgramName(), lm::MsgButtons::Ok, lm::MsgIcon::Warning);
            continue;
        }
        // Another program may have saved over the file since this one read
        // or wrote it: its work would be lost without a word.
        if (lm::CanonicalFilePath(path.toStdString()) == lm::CanonicalFilePath(doc->GetPathName().toStdString()) &&
            doc->FileChangedOnDisk()) {
            const int32_t answer = lm::Ui().MessageBox(
                m_mainFrame.get(),
                QStringLiteral("%1 was changed by another program after it was opened or saved here.\n\n"
                               "Yes: save this report under another name.\n"
                               "No: overwrite the file; the other program's changes are lost.\n"
                               "Cancel: do not save.")
                    .arg(QDir::toNativeSeparators(path)),
                ProgramName(), lm::MsgButtons::YesNoCancel, lm::MsgIcon::Warning);
            if (answer == lm::kIdYes) continue;
            if (answer != lm::kIdNo) return false;
        }
        break;
    }
    QString error;
    if (!doc->OnSaveDocument(path, &error)) {
        // No reason: the user chose not to save (characters would be lost).
        if (error.isEmpty()) return false;
        ErrorBox(QStringLiteral("Cannot save %1:\n%2").arg(QDir::toNativeSeparators(path), error));
        return false;
    }
    AddToRecentFileList(path);
    return true;
}

bool CLumitraApp::SaveModified(CLumitraDoc* doc) {
    if (!doc || !doc->IsModified()) return true;
    const int32_t answer =
        lm::Ui().MessageBox(m_mainFrame.get(), QStringLiteral("Save changes to %1?").arg(doc->GetTitle()),
                            ProgramName(), lm::MsgButtons::YesNoCancel, lm::MsgIcon::Warning);
    if (answer == lm::kIdYes) return DoSave(doc, false);
    return answer == lm::kIdNo;
}

bool CLumitraApp::SaveAllModified() {
    for (const auto& d : m_documents)
        if (!SaveModified(d.get())) return false;
    return true;
}

bool CLumitraApp::OnFileClose(CLumitraDoc* doc) {
    if (!doc || !SaveModified(doc)) return false;
    CloseDocument(doc);
    return true;
}

std::vector<CChildFrame*> CLumitraApp::FramesOf(const CLumitraDoc* doc) const {
    std::vector<CChildFrame*> out;
    if (!m_mainFrame || !doc) return out;
    for (CChildFrame* f : m_mainFrame->GetChildFrames())
        if (f->GetDocument() == doc) out.push_back(f);
    return out;
}

void CLumitraApp::CloseDocument(CLumitraDoc* doc) {
    const auto it = std::find_if(m_documents.begin(), m_documents.end(),
                                 [doc](const auto& d) { return d.get() == doc; });
    if (it == m_documents.end()) return;
    // Windows first: their views let go of the document before it goes.
    for (CChildFrame* f : FramesOf(doc)) {
        f->SetClosingByApp();
        if (m_mainFrame) m_mainFrame->GetMdiArea()->removeSubWindow(f);
        delete f;
    }
    std::unique_ptr<CLumitraDoc> owned = std::move(*it);
    m_documents.erase(it);
    owned.reset();  // tells the main frame, which lets go of it everywhere
    if (m_mainFrame) m_mainFrame->UpdateMenuForDocuments();
}

void CLumitraApp::CloseAllDocuments() {
    while (!m_documents.empty()) CloseDocument(m_documents.back().get());
}

CChildFrame* CLumitraApp::CreateChildFrame(CLumitraDoc* doc) {
    if (!m_mainFrame || !doc) return nullptr;
    auto* frame = new CChildFrame(doc);
    m_mainFrame->AddChildFrame(frame);
    UpdateFrameTitles(doc);
    m_mainFrame->BindDocument(doc);
    m_mainFrame->UpdateTitle();
    return frame;
}

CChildFrame* CLumitraApp::OnWindowNew() {
    CLumitraDoc* doc = m_mainFrame ? m_mainFrame->GetActiveDocument() : nullptr;
    return doc ? CreateChildFrame(doc) : nullptr;
}

bool CLumitraApp::CanCloseFrame(CChildFrame* frame) {
    CLumitraDoc* doc = frame->GetDocument();
    if (!doc) return true;
    if (FramesOf(doc).size() > 1) return true;
    return SaveModified(doc);
}

void CLumitraApp::OnFrameClosed(CChildFrame* frame) {
    CLumitraDoc* doc = frame->GetDocument();
    if (!doc) return;
    const std::vector<CChildFrame*> frames = FramesOf(doc);
    const bool last = std::all_of(frames.begin(), frames.end(), [frame](CChildFrame* f) { return f == frame; });
    if (!last) {
        // The closing window's views leave the document when they are freed;
        // until then they must not count as its windows.
        for (CLumitraView* v : frame->GetViews()) v->DetachDocument();
        UpdateFrameTitles(doc);
        return;
    }
    // The window itself is freed by Qt after its close; its views are
    // detached from the document here, before the document goes.
    for (CLumitraView* v : frame->GetViews()) v->DetachDocument();
    CloseDocument(doc);
}

void CLumitraApp::UpdateFrameTitles(const CLumitraDoc* doc) {
    const std::vector<CChildFrame*> frames = FramesOf(doc);
    for (size_t i = 0; i < frames.size(); ++i) frames[i]->UpdateTitle(int(i) + 1, int(frames.size()));
}

// ================================================================= commands

QPrinter* CLumitraApp::GetPrinter() {
    if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_printer.get();
}

void CLumitraApp::OnFilePrintSetup() { lm::Ui().PrintDialog(m_mainFrame.get(), GetPrinter(), true); }

void CLumitraApp::OnAppAbout() {
    CAboutDlg dlg(m_mainFrame.get());
    lm::Ui().ExecDialog(&dlg);
}
