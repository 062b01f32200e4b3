#include "dialogs/ShellNameDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

#include "base/AtomicFile.h"
#include "base/Codepage.h"
#include "base/Paths.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/FcsText.h"
#include "core/GateNode.h"
#include "core/StatItem.h"
#include "dialogs/AddDataPlots.h"
#include "dialogs/GateDelete.h"
#include "dialogs/NavigateDlg.h"
#include "dialogs/RltExportDlg.h"
#include "dialogs/TransDlg.h"
#include "platform/UiServices.h"
#include "report/app/LumitraApp.h"
#include "report/app/MainFrame.h"
#include "report/page/LumitraDoc.h"
#include "report/page/LumitraView.h"
#include "report/page/ResultTable.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"

namespace {

constexpr int kRoleShell = Qt::UserRole + 1;

// A field as a spreadsheet reads it back: quoted, quotes doubled, when it
// holds a comma, a quote or a line break; then the closing ",".
void AddField(std::string* out, const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        *out += field;
    } else {
        *out += '"';
        for (char c : field) {
            if (c == '"') *out += '"';
            *out += c;
        }
        *out += '"';
    }
    *out += ',';
}

QString FileNameOf(const QString& path) { return QFileInfo(path).fileName(); }

// The same file, whatever the spelling of its path.
bool SameFile(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

}  // namespace

CShellNameDlg::CShellNameDlg(QWidget* parent) : CDocPanel(QStringLiteral(" File List"), OwnLayout{}, parent) {
    setAcceptDrops(true);
    m_btnItem = new QPushButton(QStringLiteral("Item"), this);
    m_btnGates = new QCheckBox(QStringLiteral("Gates"), this);
    m_btnPlots = new QCheckBox(QStringLiteral("Plots"), this);
    m_btnResult = new QCheckBox(QStringLiteral("Result"), this);
    m_btnBreak = new QCheckBox(QStringLiteral("Break"), this);
    m_btnItem->setObjectName(QStringLiteral("btn1106"));
    m_btnGates->setObjectName(QStringLiteral("btn1149"));
    m_btnPlots->setObjectName(QStringLiteral("btn1150"));
    m_btnResult->setObjectName(QStringLiteral("btn1151"));
    m_btnBreak->setObjectName(QStringLiteral("btn1173"));
    m_btnPlots->setEnabled(false);
    m_btnResult->setEnabled(false);
    m_btnItem->setEnabled(false);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("list1026"));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    RebuildColumns();

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    for (QWidget* w : std::initializer_list<QWidget*>{m_btnItem, m_btnGates, m_btnPlots, m_btnResult, m_btnBreak})
        buttons->addWidget(w);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(buttons);
    layout->addWidget(m_list, 1);

    connect(m_btnItem, &QPushButton::clicked, this, &CShellNameDlg::OnItem);
    for (QCheckBox* b : {m_btnGates, m_btnPlots, m_btnResult, m_btnBreak})
        connect(b, &QCheckBox::toggled, this, &CShellNameDlg::OnMaskChanged);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CShellNameDlg::OnSelectionChanged);
    connect(m_list, &QTreeWidget::itemChanged, this, &CShellNameDlg::OnEdited);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* row) {
        if (VexaDataShell* s = ShellOfRow(row)) OpenInPlots({s});
    });
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { OnRightClick(pos); });
}

CShellNameDlg::~CShellNameDlg() = default;

// ============================================================== relays

void CShellNameDlg::BindDocument(CLumitraDoc* doc) {
    if (doc != GetDocument()) {
        CDocPanel::BindDocument(doc);  // calls Refresh -> FillList
        m_keywords = doc ? doc->KeywordColumns() : std::vector<std::string>{};
        RebuildColumns();
    }
    m_btnItem->setEnabled(doc != nullptr);
    FillList();
}

void CShellNameDlg::OnDataShellAdded(CLumitraDoc* doc, VexaDataShell*) {
    // Another document's data set: the frame rebinds the list when it shows it.
    if (doc == GetDocument()) FillList();
}

void CShellNameDlg::Refresh() { FillList(); }

QString CShellNameDlg::GetText() const {
    CLumitraDoc* doc = GetDocument();
    if (!doc) return QStringLiteral("(none)");
    QString text = doc->GetTitle();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) text += QStringLiteral("\n  ") + m_list->topLevelItem(i)->text(0);
    return text;
}

void CShellNameDlg::RebuildColumns() {
    QStringList titles{QStringLiteral("Shell"), QStringLiteral("File")};
    for (const std::string& k : m_keywords) titles << QString::fromStdString(k);
    m_list->setColumnCount(int(titles.size()));
    m_list->setHeaderLabels(titles);
    m_list->setColumnWidth(0, 50);
    m_list->setColumnWidth(1, 120);
    for (int c = 2; c < titles.size(); ++c) m_list->setColumnWidth(c, 100);
}

void CShellNameDlg::FillRow(QTreeWidgetItem* row, VexaDataShell* shell) {
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    row->setData(0, kRoleShell, quintptr(shell));
    row->setText(0, QString::fromStdString(shell->GetName()));
    row->setText(1, QString::fromStdString(shell->GetFileName()));
    for (size_t k = 0; k < m_keywords.size(); ++k)
        row->setText(int(k) + 2, QString::fromStdString(lm::BytesToUtf8OrCp936(shell->GetKeywordValue(m_keywords[k]))));
}

void CShellNameDlg::FillList() {
    // Refilled whether the panel is shown or not, so it is right when shown.
    m_filling = true;
    std::vector<VexaDataShell*> selected = GetSelectedDataSets();
    m_list->clear();
    // The columns are the document's: a report read into it brings its own.
    if (CLumitraDoc* doc = GetDocument(); doc && doc->KeywordColumns() != m_keywords) {
        m_keywords = doc->KeywordColumns();
        RebuildColumns();
    }
    if (CLumitraDoc* doc = GetDocument()) {
        for (int32_t i = 0; i < doc->GetDataShellCount(); ++i) {
            auto* row = new QTreeWidgetItem(m_list);
            FillRow(row, doc->GetDataShellAt(i));
            if (std::find(selected.begin(), selected.end(), doc->GetDataShellAt(i)) != selected.end())
                row->setSelected(true);
        }
    }
    m_filling = false;
}

VexaDataShell* CShellNameDlg::ShellOfRow(const QTreeWidgetItem* row) const {
    CLumitraDoc* doc = GetDocument();
    if (!row || !doc) return nullptr;
    auto* shell = reinterpret_cast<VexaDataShell*>(row->data(0, kRoleShell).value<quintptr>());
    // A row of a data set that has closed stands for nothing.
    return doc->GetDataShellIndex(shell) >= 0 ? shell : nullptr;
}

std::vector<VexaDataShell*> CShellNameDlg::GetSelectedDataSets() const {
    std::vector<VexaDataShell*> out;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        if (m_list->topLevelItem(i)->isSelected())
            if (VexaDataShell* s = ShellOfRow(m_list->topLevelItem(i))) out.push_back(s);
    return out;
}

VexaDataShell* CShellNameDlg::GetSelectedDataSet() const {
    VexaDataShell* s = ShellOfRow(m_list->currentItem());
    if (s && m_list->currentItem()->isSelected()) return s;
    const auto all = GetSelectedDataSets();
    return all.empty() ? nullptr : all.front();
}

int32_t CShellNameDlg::GetApplyMask() const {
    return (m_btnGates->isChecked() ? 1 : 0) | (m_btnPlots->isChecked() ? 2 : 0) | (m_btnResult->isChecked() ? 4 : 0) |
           (m_btnBreak->isChecked() ? 8 : 0);
}

void CShellNameDlg::OnMaskChanged() {
    // Unchecking Gates greys Plots and Result but keeps their marks.
    m_btnPlots->setEnabled(m_btnGates->isChecked());
    m_btnResult->setEnabled(m_btnGates->isChecked());
    if (CMainFrame* frame = GetMainFrame()) frame->SetApplyMask(GetApplyMask());
}

void CShellNameDlg::OnSelectionChanged() {
    if (m_filling) return;
    // The selected row is the template of files dropped on the page; none
    // selected, none.
    if (CLumitraDoc* doc = GetDocument()) doc->SetTemplateShell(GetSelectedDataSet());
    if (VexaDataShell* s = GetSelectedDataSet())
        if (CLumitraDoc* doc = GetDocument()) doc->SetCurrentDataShell(s);
}

void CShellNameDlg::OnEdited(QTreeWidgetItem* row, int column) {
    if (m_filling || column != 0) return;
    VexaDataShell* shell = ShellOfRow(row);
    if (!shell) return;
    // The row's own data set takes the name, whatever its place.
    const std::string name = row->text(0).toStdString();
    if (name == shell->GetName()) return;
    shell->SetName(name);
    if (CLumitraDoc* doc = GetDocument()) {
        doc->SetModifiedFlag(true);
        // Plot titles name the data set: they follow at once.
        doc->ShowDataShellChange(shell);
        if (CMainFrame* frame = GetMainFrame()) frame->RebuildNavigate(doc);
    }
}

// ================================================================= menu

void CShellNameDlg::OnRightClick(const QPoint& viewportPos) {
    CLumitraDoc* doc = GetDocument();
    if (!doc || m_list->topLevelItemCount() == 0) return;
    const std::vector<VexaDataShell*> chosen = GetSelectedDataSets();
    const bool any = !chosen.empty();
    const bool one = chosen.size() == 1;
    std::vector<lm::MenuItem> menu{
        lm::MenuItem::Command(kFileOpen, QStringLiteral("Open"), any),
        lm::MenuItem::Command(kFileDelete, QStringLiteral("Delete"), any),
        lm::MenuItem::Command(kFileExport, QStringLiteral("Export Result"), any),
        lm::MenuItem::Command(kFileExport, QStringLiteral("LIS"), any),
    };
    if (one) {
        menu.push_back(lm::MenuItem::Command(kFileRename, QStringLiteral("Rename")));
        menu.push_back(lm::MenuItem::Command(kFileTransform, QStringLiteral("Transform")));
        menu.push_back(lm::MenuItem::Command(kFileMultiPlots, QStringLiteral("Open multi-Plots")));
    }
    const int32_t cmd = lm::Ui().TrackPopupMenu(this, menu, m_list->viewport()->mapToGlobal(viewportPos));
    // The rows chosen may have gone while the menu was up.
    std::vector<VexaDataShell*> shells;
    for (VexaDataShell* s : chosen)
        if (GetDocument() == doc && doc->GetDataShellIndex(s) >= 0) shells.push_back(s);
    if (shells.empty()) return;
    switch (cmd) {
        case kFileOpen: OpenInPlots(shells); break;
        case kFileRename:
            for (int i = 0; i < m_list->topLevelItemCount(); ++i)
                if (ShellOfRow(m_list->topLevelItem(i)) == shells.front()) m_list->editItem(m_list->topLevelItem(i), 0);
            break;
        case kFileDelete:
            if (!DataSetDeleteAgreed(this, doc, shells)) break;
            for (VexaDataShell* s : shells) {
                if (CMainFrame* frame = GetMainFrame())
                    if (auto* nav = frame->GetNavigatePanel()) nav->RemoveDataSetItem(s);
                if (doc->GetDataShellIndex(s) >= 0) doc->RemoveDataShell(s);
            }
            FillList();
            break;
        case kFileTransform:
            // Run fills the parameter list before the dialog shows: without
            // it the dialog opened with nothing to choose.
            CTransDlg::Run(shells.front(), doc, this);
            break;
        case kFileExport: {
            // The export dialog chooses keywords and statistics for the rows.
            CRltExportDlg dlg(shells, this);
            if (lm::Ui().ExecDialog(&dlg) != lm::kDialogAccepted) break;
            CsvExportChoice choice{dlg.m_keywords, dlg.m_params, dlg.m_codes};
            ExportResult(choice);
            break;
        }
        case kFileMultiPlots: OpenMultiPlots(shells.front()); break;
        default: break;
    }
}

void CShellNameDlg::OpenInPlots(const std::vector<VexaDataShell*>& shells) {
    CMainFrame* frame = GetMainFrame();
    CLumitraView* view = frame ? frame->GetActiveReportView() : nullptr;
    if (!view || view->GetDocument() != GetDocument()) return;
    for (VexaDataShell* s : shells)
        if (CPLOT* plot = view->OpenShellInNewPlot(s)) plot->Repaint();
}

void CShellNameDlg::OpenMultiPlots(VexaDataShell* shell) {
    CMainFrame* frame = GetMainFrame();
    CLumitraView* view = frame ? frame->GetActiveReportView() : nullptr;
    CLumitraDoc* doc = GetDocument();
    if (!view || view->GetDocument() != doc) return;
    CAddDataPlots dlg(shell, this);
    // The parameters, gates and kinds to choose from, as for Transform.
    dlg.OnInitDialog();
    if (lm::Ui().ExecDialog(&dlg) != lm::kDialogAccepted) return;
    if (doc->GetDataShellIndex(shell) < 0) return;
    CGateNode* gate = shell->GetGate(dlg.m_nGate);
    if (!gate) return;
    // The defaults for new plots are borrowed and given back on every path.
    struct Restore {
        PlotDefaults saved = GetPlotDefaults();
        ~Restore() { GetPlotDefaults() = saved; }
    } restore;
    GetPlotDefaults().style = dlg.m_nPlotType;
    GetPlotDefaults().evts = dlg.m_nEvents;
    const std::vector<int32_t>& p = dlg.m_params;
    auto place = [&](CPLOT* plot) {
        if (!plot) return;
        doc->FitObjectInPages(plot);
        plot->Repaint();
    };
    if (dlg.m_nPlotType == kPlotStyleHistogram) {
        for (int32_t x : p) {
            CPLOT* plot = view->NewPlotAtPilot(x, x, gate);
            if (plot) plot->SetPlotType(kPlotStyleHistogram);
            place(plot);
        }
    } else {
        for (size_t i = 0; i < p.size(); ++i)
            for (size_t j = i + 1; j < p.size(); ++j) place(view->NewPlotAtPilot(p[i], p[j], gate));
    }
}

// ================================================================ drops

void CShellNameDlg::dragEnterEvent(QDragEnterEvent* e) {
    if (GetDocument() && e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void CShellNameDlg::dropEvent(QDropEvent* e) {
    QStringList paths;
    for (const QUrl& u : e->mimeData()->urls())
        if (u.isLocalFile()) paths << u.toLocalFile();
    e->acceptProposedAction();
    DropFiles(paths);
}

void CShellNameDlg::DropFiles(const QStringList& paths) {
    CLumitraDoc* doc = GetDocument();
    if (!doc) return;
    for (const QString& path : paths) {
        if (GetDocument() != doc) return;
        const std::string p = path.toStdString();
        VexaDataShell* shell = nullptr;
        std::string why;
        if (VexaDataShell::IsFcsFile(p)) {
            VexaDataShell* templ = m_btnGates->isChecked() ? GetSelectedDataSet() : nullptr;
            shell = templ ? doc->OpenDataFileAndNotify(p, 0, templ) : doc->OpenDataFile(p, 0);
            if (!shell) why = doc->GetOpenProblem();
        } else {
            why = FcsFileProblem(p);
        }
        // This file is named with what is wrong with it and left out; the
        // rest still open.
        if (!shell) lm::OpenFailedBox(this, QString::fromStdString(lm::FileNameOf(p)), QString::fromStdString(why));
    }
    FillList();
}

// =============================================================== export

QString CShellNameDlg::WithCsvExtension(const QString& path) {
    if (path.isEmpty()) return path;
    return QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".csv") : path;
}

bool CShellNameDlg::CsvGateMatch::Differs() const {
    return !leftOut.empty() || std::find(columns.begin(), columns.end(), nullptr) != columns.end();
}

CShellNameDlg::CsvGateMatch CShellNameDlg::MatchCsvGates(const VexaDataShell& titles, const VexaDataShell& shell) {
    CsvGateMatch match;
    // The gates of each name in gate order, taken from the front as the
    // columns of that name come.
    std::map<std::string, std::vector<const CGateNode*>> byName;
    for (const CGateNode* g : shell.GetGates()) byName[g->GetDisplayName(true)].push_back(g);
    std::map<std::string, size_t> used;
    for (const CGateNode* t : titles.GetGates()) {
        const std::string name = t->GetDisplayName(true);
        const std::vector<const CGateNode*>& same = byName[name];
        size_t& k = used[name];
        match.columns.push_back(k < same.size() ? same[k] : nullptr);
        ++k;
    }
    for (const CGateNode* g : shell.GetGates()) {
        if (std::find(match.columns.begin(), match.columns.end(), g) == match.columns.end())
            match.leftOut.push_back(g);
    }
    return match;
}

QString CShellNameDlg::CsvGateMismatchText(const std::vector<VexaDataShell*>& shells) {
    if (shells.empty() || !shells.front()) return {};
    const VexaDataShell& titles = *shells.front();
    QStringList leftOut, empty;
    for (const VexaDataShell* s : shells) {
        if (!s || s == &titles) continue;
        const CsvGateMatch m = MatchCsvGates(titles, *s);
        const QString file = QString::fromStdString(s->GetFileName());
        QStringList out;
        for (const CGateNode* g : m.leftOut)
            out << QStringLiteral("%1 (%2 events)")
                       .arg(QString::fromStdString(g->GetDisplayName(true)))
                       .arg(g->GetMask().CountSetBits());
        if (!out.isEmpty()) leftOut << file + QStringLiteral(": ") + out.join(QStringLiteral(", "));
        QStringList missing;
        for (size_t i = 0; i < m.columns.size(); ++i)
            if (!m.columns[i]) missing << QString::fromStdString(titles.GetGates()[i]->GetDisplayName(true));
        if (!missing.isEmpty()) empty << file + QStringLiteral(": ") + missing.join(QStringLiteral(", "));
    }
    if (leftOut.isEmpty() && empty.isEmpty()) return {};
    const QString first = QString::fromStdString(titles.GetFileName());
    QString text = QStringLiteral("The gate columns are those of %1.").arg(first);
    if (!leftOut.isEmpty())
        text += QStringLiteral("\n\nLeft out, as %1 has no gate of their name:\n").arg(first) +
                leftOut.join(QLatin1Char('\n'));
    if (!empty.isEmpty())
        text += QStringLiteral("\n\nLeft empty, as the data set has no gate of that name:\n") +
                empty.join(QLatin1Char('\n'));
    return text;
}

std::string CShellNameDlg::BuildCsv(const CsvExportChoice& choice, const std::vector<VexaDataShell*>& shells,
                                    std::vector<VexaDataShell*>* differing) {
    std::string out;
    if (shells.empty()) return out;
    VexaDataShell* first = shells.front();
    out = CTrkResult::BuildCsvHeader(choice.keywords, choice.params, choice.codes, first);
    const size_t columns = std::min(choice.codes.size(), choice.params.size());
    for (VexaDataShell* shell : shells) {
        for (const std::string& kw : choice.keywords) AddField(&out, CTrkResult::KeywordValue(shell, kw));
        const CsvGateMatch match = MatchCsvGates(*first, *shell);
        for (const CGateNode* gate : match.columns) {
            const CStatItem* item = gate ? gate->GetStatItem() : nullptr;
            for (size_t i = 0; i < columns; ++i)
                AddField(&out, item ? CTrkResult::ValueText(item, choice.codes[i], choice.params[i]) : std::string());
        }
        if (match.Differs() && differing) differing->push_back(shell);
        out += '\n';
    }
    return out;
}

bool CShellNameDlg::ExportResult(const CsvExportChoice& choice) {
    CLumitraDoc* doc = GetDocument();
    const std::vector<VexaDataShell*> shells = GetSelectedDataSets();
    if (!doc || shells.empty()) return false;
    lm::FileDialogRequest req;
    req.filter = lm::FilterFromMfc(QStringLiteral("CSV Files (*.csv)|*.csv||"));
    req.defaultSuffix = QStringLiteral("csv");
    // The results belong beside the report they come from; an unsaved report
    // has none, so beside the first data set's file. Never the program's
    // folder, where the dialog would otherwise start.
    const QString beside = !doc->GetPathName().isEmpty() ? doc->GetPathName()
                                                         : QString::fromStdString(shells.front()->GetPathName());
    if (!beside.isEmpty()) req.folder = QFileInfo(beside).absolutePath();
    const QString chosen = lm::Ui().GetSaveFileName(this, req);
    if (chosen.isEmpty()) return false;
    const QString path = WithCsvExtension(chosen);
    // Never over a file the program has open.
    bool open = SameFile(path, doc->GetPathName());
    for (int32_t i = 0; !open && i < doc->GetDataShellCount(); ++i)
        open = SameFile(path, QString::fromStdString(doc->GetDataShellAt(i)->GetPathName()));
    if (open) {
        lm::ErrorBox(this, QStringLiteral("%1 is open in Lumitra; choose another file.").arg(FileNameOf(path)),
                     QStringLiteral("Export Result"));
        return false;
    }
    // The export dialog said which gates line up and which do not.
    const std::string text = BuildCsv(choice, shells, nullptr);
    std::string why;
    if (!lm::WriteFileAtomic(QFile::encodeName(path).toStdString(), std::vector<uint8_t>(text.begin(), text.end()),
                             &why)) {
        lm::ErrorBox(this, QStringLiteral("Cannot write %1:\n%2").arg(path, QString::fromStdString(why)),
                     QStringLiteral("Export Result"));
        return false;
    }
    return true;
}

// ============================================================ keywords

void CShellNameDlg::OnItem() {
    CLumitraDoc* doc = GetDocument();
    if (!doc) return;
    CKWItemDlg dlg(this);
    dlg.SetDocument(doc);
    dlg.m_keywords = m_keywords;
    dlg.OnInitDialog();
    if (lm::Ui().ExecDialog(&dlg) == lm::kDialogAccepted && GetDocument() == doc &&
        dlg.m_keywords != doc->KeywordColumns()) {
        // Saved with the report: a change marks it.
        m_keywords = dlg.m_keywords;
        doc->KeywordColumns() = m_keywords;
        doc->SetModifiedFlag(true);
    }
    RebuildColumns();
    FillList();
}

CKWItemDlg::CKWItemDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Item"));
    m_combo = new QComboBox(this);
    m_combo->setObjectName(QStringLiteral("combo1107"));
    m_all = new QListWidget(this);
    m_all->setObjectName(QStringLiteral("list1108"));
    m_chosen = new QListWidget(this);
    m_chosen->setObjectName(QStringLiteral("list1109"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* lists = new QHBoxLayout;
    lists->addWidget(m_all);
    lists->addWidget(m_chosen);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_combo);
    layout->addLayout(lists);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_combo, &QComboBox::currentIndexChanged, this, &CKWItemDlg::OnComboChanged);
    connect(m_all, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* it) { AddKeyword(it->text()); });
    connect(m_chosen, &QListWidget::itemDoubleClicked, this, [this] { RemoveSelected(); });
}

void CKWItemDlg::OnInitDialog() {
    const QSignalBlocker block(m_combo);
    m_combo->clear();
    if (m_doc) {
        // Sorted by file name; each entry carries its own data set.
        std::vector<std::pair<QString, VexaDataShell*>> entries;
        for (int32_t i = 0; i < m_doc->GetDataShellCount(); ++i)
            entries.emplace_back(QString::fromStdString(m_doc->GetDataShellAt(i)->GetFileName()),
                                 m_doc->GetDataShellAt(i));
        std::stable_sort(entries.begin(), entries.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
        for (const auto& [name, shell] : entries) m_combo->addItem(name, QVariant::fromValue(quintptr(shell)));
    }
    m_chosen->clear();
    for (const std::string& k : m_keywords) m_chosen->addItem(QString::fromStdString(k));
    if (m_combo->count() > 0) m_combo->setCurrentIndex(0);
    OnComboChanged();
}

void CKWItemDlg::OnComboChanged() {
    m_all->clear();
    if (!m_doc || m_combo->currentIndex() < 0) return;
    auto* shell = reinterpret_cast<VexaDataShell*>(m_combo->currentData().value<quintptr>());
    if (m_doc->GetDataShellIndex(shell) < 0 || !shell->GetDataSet()) return;
    if (const CKeywordTable* table = shell->GetDataSet()->GetKeywordTable())
        for (const CKeywordPair& pair : table->Pairs()) m_all->addItem(QString::fromStdString(pair.keyword));
}

void CKWItemDlg::AddKeyword(const QString& keyword) {
    for (const std::string& k : m_keywords) {
        if (QString::fromStdString(k).compare(keyword, Qt::CaseInsensitive) == 0) {
            lm::Ui().MessageBox(this, QStringLiteral("KeyWord existed"), QStringLiteral("Item"), lm::MsgButtons::Ok,
                                lm::MsgIcon::None);
            return;
        }
    }
    m_keywords.push_back(keyword.toStdString());
    m_chosen->addItem(keyword);
}

void CKWItemDlg::RemoveSelected() {
    const int row = m_chosen->currentRow();
    if (row < 0 || size_t(row) >= m_keywords.size()) return;
    m_keywords.erase(m_keywords.begin() + row);
    delete m_chosen->takeItem(row);
}
