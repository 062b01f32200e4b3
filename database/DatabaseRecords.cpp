// The database panel's records: lists, loading, new samples with their
// folders and reports, modify, delete, and the filed reports themselves.
#include "database/DatabaseDlg.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QLockFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QUrl>

#include <filesystem>
#include <system_error>

#include "database/DBFindDlg.h"
#include "database/DatabaseIds.h"
#include "database/RecordModel.h"
#include "platform/PaintHelpers.h"
#include "platform/UiServices.h"
#include "report/app/LumitraApp.h"
#include "report/page/Cell.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"

namespace {

constexpr int32_t kMaxFoldersPerDay = 999;
// Held while a sample's folder is made and the sample registered.
constexpr char kAddingLock[] = ".adding.lock";
// Longest ID part of a sample folder's or report's name, in UTF-8 bytes: far
// inside the 255 bytes a file name may have, with room for the date, the
// numbers and the template's name around it.
constexpr qsizetype kMaxFolderIdBytes = 64;
constexpr qsizetype kFolderIdChecksumDigits = 8;
constexpr int32_t kMaxReportCopies = 100;
// Where a linked grid is made when the report has none that fits.
constexpr int32_t kNewGridAt = 10;
constexpr int32_t kHistoryItems = 6;
// Room left on each side of a cell's text in a grid the panel makes.
constexpr int32_t kTextPadding = 4;

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

QString Day(const QDate& d) { return d.toString(QStringLiteral("yyyy-MM-dd")); }

// The estimated birth date: the same day as now, age whole years before; a
// 29 February that year does not have becomes the 28th.
QString BirthDate(const QDate& now, double age) {
    const int year = now.year() - int(age);
    QDate d(year, now.month(), now.day());
    if (!d.isValid()) d = QDate(year, now.month(), 28);
    return Day(d);
}

// A stored date that is empty or unreadable shows blank (the edit's
// minimum), never the date the edit showed before.
void ShowDate(QDateEdit* edit, const QString& stored) {
    const QDate d = QDate::fromString(stored, QStringLiteral("yyyy-MM-dd"));
    edit->setDate(d.isValid() && d > edit->minimumDate() ? d : edit->minimumDate());
}

// Widens the columns of a new grid whose text would not fit, and raises its
// rows to the font's height; columns wide enough keep their width.
void FitGridToTexts(CGrid* grid) {
    const int32_t cols = grid->GetCols(), rows = grid->GetRows();
    const std::vector<int32_t>& borders = grid->GetBorders();
    const int32_t width = grid->GetGridRect().Width();
    std::vector<int32_t> widths;
    int32_t rowHeight = grid->RowHeight();
    for (int32_t c = 0; c < cols; ++c) {
        const int32_t left = c > 0 ? borders[size_t(c - 1)] : 0;
        int32_t w = (c + 1 < cols ? borders[size_t(c)] : width) - left;
        for (int32_t r = 0; r < rows; ++r) {
            CCell* cell = grid->GetCell(r, c);
            if (!cell) continue;
            const QFontMetrics fm(lm::ToQFont(cell->GetFont()));
            // The last column starts 2 units right of its border and ends at the edge.
            const int32_t need = int32_t(fm.horizontalAdvance(QString::fromStdString(cell->GetText()))) +
                                 2 * kTextPadding + (c + 1 == cols ? 2 : 0);
            w = std::max(w, need);
            rowHeight = std::max(rowHeight, int32_t(fm.height()) + kTextPadding);
        }
        widths.push_back(w);
    }
    std::vector<int32_t> fitted;
    int32_t x = 0;
    for (int32_t c = 0; c < cols; ++c) {
        x += widths[size_t(c)];
        if (c + 1 < cols) fitted.push_back(x);
    }
    CRect r = grid->GetRect();
    r.right = std::max(r.right, r.left + 2 * kGridInset + x);
    r.bottom = std::max(r.bottom, r.top + 2 * kGridInset + rows * rowHeight);
    grid->SetRect(r, true);
    grid->SetBorders(fitted);
}

// Stands in a template submenu while "Database/Template" has no report
// templates: greyed, it tells the user where they go.
lm::MenuItem NoTemplatesEntry() {
    return lm::MenuItem::Command(0, QStringLiteral("(No templates in Database/Template)"), false);
}

}  // namespace

// ==================================================================== lists

void CDatabaseDlg::FillRecordList(const ListQuery& q) {
    m_model->Clear();
    if (!EnsureOpen(false)) return;
    QString error;
    auto query = m_db.Select(q, &error);
    if (!query) {
        Error(error);
        return;
    }
    m_model->Start(std::move(*query));
}

void CDatabaseDlg::OnIdReturn() {
    const QString id = m_id->text().trimmed();
    if (id.isEmpty()) {
        m_model->Clear();
        m_storedName.clear();
        return;
    }
    FillRecordList(CFlowDb::ById(id));
}

void CDatabaseDlg::OnNameReturn() {
    const QString name = m_name->text().trimmed();
    if (name.isEmpty()) return;
    FillRecordList(CFlowDb::ByName(name));
    // Nothing found: the fields stay as typed.
    if (m_model->rowCount() > 0) LoadRecordToFields(0);
}

void CDatabaseDlg::ShowHistoryMenu() {
    const char* const texts[kHistoryItems] = {"Today", "Yesterday", "3 Days before", "4 Days before", "5 Days before",
                                              "6 Days before"};
    std::vector<lm::MenuItem> menu;
    for (int32_t i = 0; i < kHistoryItems; ++i) menu.push_back(lm::MenuItem::Command(i + 1, QString::fromLatin1(texts[i])));
    QWidget* button = Control(kDbHistory);
    const int32_t choice = lm::Ui().TrackPopupMenu(this, menu, button->mapToGlobal(QPoint(0, button->height())));
    if (choice < 1 || choice > kHistoryItems) return;
    FillRecordList(CFlowDb::ByRecordDate(Now().date().addDays(-(choice - 1))));
}

void CDatabaseDlg::OnFind() {
    if (!EnsureOpen(false)) return;
    CDBFindDlg dlg(this);
    if (lm::Ui().ExecDialog(&dlg) != lm::kDialogAccepted) return;
    ListQuery q;
    QString error;
    if (!CDBFindDlg::BuildWhere(dlg.Conditions(), &q, &error)) {
        Message(error, QStringLiteral("Find"));
        return;
    }
    if (!q.where.isEmpty()) FillRecordList(q);
}

bool CDatabaseDlg::LoadRecordToFields(int row) {
    const SampleRow* listed = m_model->Row(row);
    if (!listed || !EnsureOpen(false)) return false;
    // The register, not the list, says what the sample holds now: the list
    // may have been read before another program changed it.
    QString error;
    const std::optional<SampleRow> stored = m_db.LoadSample(listed->sampleId, &error);
    if (!stored) {
        if (!error.isEmpty()) {
            Error(error);
            return false;
        }
        const QString id = listed->id;
        m_model->RemoveSample(listed->sampleId);
        Message(QStringLiteral("The sample of %1 was deleted from the register since the list was read; it was taken "
                               "off the list.")
                    .arg(id));
        return false;
    }
    m_model->ReplaceSample(*stored);
    const SampleRow* r = &*stored;
    m_list->selectRow(row);
    m_id->setText(r->id);
    m_name->setText(r->name);
    m_sex->setText(r->sex);
    m_age->setText(QString::number(r->age, 'f', 2));
    ShowChoice(m_department, r->department);
    m_bed->setText(r->bed);
    m_diagnosis->setText(r->diagnosis);
    ShowChoice(m_sample, r->sample);
    ShowDate(m_testDate, r->testDate);
    ShowDate(m_receiveDate, r->receiveDate);
    ShowChoice(m_state, r->state);
    m_currentDataPath = r->dataPath;
    m_remark->setPlainText(r->remark);
    m_storedName = r->name;
    m_loadedSampleId = r->sampleId;
    m_loadedId = r->id;
    m_loadedVersion = r->rowVersion;
    m_loadedRow = *r;
    m_shownAtLoad = Shown();
    m_nameTyped = false;
    // Name and sex belong to the patient, not to this sample.
    m_name->setEnabled(false);
    m_sex->setEnabled(false);
    return true;
}

// ================================================================== records

QStringList CDatabaseDlg::Templates() const {
    return QDir(m_base + QStringLiteral("Template"))
        .entryList({QStringLiteral("*.fld")}, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
}

void CDatabaseDlg::NewRecordMenu() {
    const QStringList templates = Templates();
    lm::MenuItem report;
    report.text = QStringLiteral("DB && Report");  // "&&" shows one "&" in a menu
    for (int32_t i = 0; i < int32_t(templates.size()); ++i)
        report.submenu.push_back(lm::MenuItem::Command(kMenuNewTemplateFirst + i, templates[i]));
    // An empty folder still opens the submenu, to say where templates go.
    if (templates.isEmpty()) report.submenu.push_back(NoTemplatesEntry());
    std::vector<lm::MenuItem> menu{lm::MenuItem::Command(kMenuDbOnly, QStringLiteral("DB")), report};
    QWidget* button = Control(kDbNew);
    const int32_t choice = lm::Ui().TrackPopupMenu(this, menu, button->mapToGlobal(QPoint(0, button->height())));
    QString templateName;
    if (choice >= kMenuNewTemplateFirst && choice - kMenuNewTemplateFirst < int32_t(templates.size()))
        templateName = templates[choice - kMenuNewTemplateFirst];
    else if (choice != kMenuDbOnly)
        return;
    m_templateName = templateName;
    if (!AddSampleRecord(templateName)) return;
    ClearFields();
    ShowAddedSample();
}

void CDatabaseDlg::ShowAddedSample() {
    if (m_addedSampleId == 0) return;
    FillRecordList(CFlowDb::ByPatient(m_addedId));
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (m_model->Row(row)->sampleId == m_addedSampleId) {
            // Selected only: the fields stay empty for the next sample.
            m_list->selectRow(row);
            m_list->scrollTo(m_model->index(row, 0));
            break;
        }
}

QString CDatabaseDlg::SafeFolderId(const QString& id) {
    QString out = id;
    for (QChar& c : out)
        if (c < QLatin1Char(' ') || QStringLiteral("/\\:*?\"<>|.").contains(c)) c = QLatin1Char('_');
    if (out.toUtf8().size() <= kMaxFolderIdBytes) return out;
    const QString tag = QLatin1Char('~') + QString::fromLatin1(QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha1)
                                                                  .toHex()
                                                                  .left(kFolderIdChecksumDigits));
    // Whole characters only: a surrogate pair is never split.
    QString cut;
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < out.size();) {
        const qsizetype len = out.at(i).isHighSurrogate() && i + 1 < out.size() ? 2 : 1;
        const qsizetype add = out.mid(i, len).toUtf8().size();
        if (bytes + add + tag.size() > kMaxFolderIdBytes) break;
        cut += out.mid(i, len);
        bytes += add;
        i += len;
    }
    return cut + tag;
}

bool CDatabaseDlg::IsLeftOverFolder(const QString& dataPath) const {
    if (!QDir(m_base + dataPath).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        return false;
    // Stored as written here or on Windows.
    QString windows = dataPath;
    windows.replace(QLatin1Char('/'), QLatin1Char('\\'));
    QString error;
    const ListQuery listed{QStringLiteral("Sample.数据路径 IN (?, ?)"), {dataPath, windows}, false};
    const std::vector<SampleRow> rows = m_db.List(listed, &error);
    return error.isEmpty() && rows.empty();
}

bool CDatabaseDlg::AddSampleRecord(const QString& templateName) {
    if (!EnsureOpen(true)) return false;
    QString id = m_id->text().trimmed();
    // No ID: the patient gets the next automatic one once the fields pass.
    const bool autoId = id.isEmpty();
    if (autoId && lm::Ui().MessageBox(this, QStringLiteral("Please enter ID"), QStringLiteral("Notice"),
                                      lm::MsgButtons::YesNo, lm::MsgIcon::Question) == lm::kIdYes)
        return false;
    const QString name = m_name->text().trimmed();
    if (name.isEmpty()) {
        Message(QStringLiteral("Please enter Name"));
        return false;
    }
    SampleFields s;
    if (!ReadSampleFields(&s)) return false;
    // A date the panel shows blank (a stored one it could not read) is no
    // date to file a new sample with.
    if (RefuseBlankDates(s, nullptr)) return false;
    const QDateTime now = Now();
    QString error;
    // A known ID under another name adds nothing, before anything is made.
    const auto stored = autoId ? std::nullopt : m_db.PatientName(id, &error);
    if (!error.isEmpty()) {
        Error(error);
        return false;
    }
    if (stored && *stored != name) {
        Error(QStringLiteral("姓名与ID不匹配"));
        return false;
    }
    // The sex is the patient's: it counts only for a patient registered now.
    QString sex;
    if (!stored && !SexFromText(m_sex->text(), &sex)) {
        Message(QStringLiteral("性别 must be 男 (or 1), 女 (or 2), 未知 or empty, not \"%1\".").arg(m_sex->text().trimmed()));
        return false;
    }
    const QString templatePath = m_base + QStringLiteral("Template/") + templateName;
    if (!templateName.isEmpty() && !QFileInfo(templatePath).isFile()) {
        Message(QStringLiteral("The template %1 is missing.").arg(Native(templatePath)));
        return false;
    }
    const PatientFields patient{id, name, sex, BirthDate(now.date(), s.age)};
    if (autoId) {
        // Chosen and taken in one step: another program filing at the same
        // moment gets the next number, never this one.
        int64_t next = 0;
        id = m_db.AddAutoPatient(patient, m_grid.counter, &next, &error);
        if (id.isEmpty()) {
            Error(error + QStringLiteral("\n\n标本资料添加失败!"));
            return false;
        }
        m_grid.counter = int32_t(std::min<int64_t>(next, INT32_MAX));
        SaveGridState(DbGridPart::Counter);
        m_id->setText(id);
    }

    // The sample's folder is claimed by making it, and registered, while
    // this program alone adds a sample: no program is ever between the two
    // steps, so an empty folder the register does not list is one a killed
    // program left, and is taken again.
    QLockFile adding(m_base + QString::fromLatin1(kAddingLock));
    if (!adding.tryLock(kFlowDbBusyMs)) {
        QString folder = Native(m_base);
        folder.chop(1);
        if (adding.error() == QLockFile::LockFailedError)
            Error(QStringLiteral("Another program keeps adding a sample (%1 is locked); nothing was added.")
                      .arg(Native(adding.fileName())));
        else
            Error(QStringLiteral("The folder %1 cannot be written; nothing was added.").arg(folder));
        return false;
    }
    const QString month = now.toString(QStringLiteral("yyyyMM"));
    const bool madeMonth = !QFileInfo(m_base + month).isDir();
    if (!QDir().mkpath(m_base + month)) {
        Error(QStringLiteral("Cannot make the folder %1.").arg(Native(m_base + month)));
        return false;
    }
    const QString safeId = SafeFolderId(id);
    QString dataPath;
    QString mkdirError;
    bool madeFolder = false;
    for (int32_t k = 1; k <= kMaxFoldersPerDay && dataPath.isEmpty() && mkdirError.isEmpty(); ++k) {
        const QString candidate = month + QLatin1Char('/') + now.toString(QStringLiteral("dd")) + QLatin1Char('-') +
                                  QStringLiteral("%1").arg(k, 3, 10, QLatin1Char('0')) + safeId;
        std::error_code ec;
        if (std::filesystem::create_directory(QFile::encodeName(m_base + candidate).toStdString(), ec)) {
            dataPath = candidate + QLatin1Char('/');
            madeFolder = true;
        } else if (ec && ec != std::errc::file_exists) {
            // Only a name already there means "taken"; anything else ends the search.
            mkdirError = QStringLiteral("Cannot make the sample folder %1: %2; nothing was added.")
                             .arg(Native(m_base + candidate), QString::fromLocal8Bit(ec.message()));
        } else if (IsLeftOverFolder(candidate + QLatin1Char('/'))) {
            dataPath = candidate + QLatin1Char('/');
        }
    }
    auto undoFolders = [&] {
        if (madeFolder) QDir().rmdir(m_base + dataPath);
        if (madeMonth) QDir().rmdir(m_base + month);
        // The automatic ID goes back only while no sample uses it.
        if (autoId) m_db.RemovePatientWithoutSamples(id, nullptr);
    };
    if (!mkdirError.isEmpty()) {
        undoFolders();
        Error(mkdirError);
        return false;
    }
    if (dataPath.isEmpty()) {
        undoFolders();
        Error(QStringLiteral("All %1 sample folders of ID %2 for today are taken in %3; nothing was added.")
                  .arg(kMaxFoldersPerDay)
                  .arg(id, Native(m_base + month)));
        return false;
    }

    s.pid = id;
    s.recordDate = Day(now.date());
    s.dataPath = dataPath;
    int64_t sampleId = 0;
    const AddResult added = m_db.AddSample({id, name, sex, patient.birthDate}, s, &sampleId, &error);
    if (added != AddResult::Added) {
        undoFolders();
        if (added == AddResult::NameMismatch) Error(QStringLiteral("姓名与ID不匹配"));
        else Error(error + QStringLiteral("\n\n标本资料添加失败!"));
        return false;
    }
    adding.unlock();
    // The report comes into a folder the register lists: a program killed
    // now leaves a sample without a report, never a folder nobody knows.
    QString reportPath;
    if (!templateName.isEmpty()) reportPath = CopyReportTemplate(templatePath, m_base + dataPath, id, templateName);
    m_currentDataPath = dataPath;
    m_addedSampleId = sampleId;
    m_addedId = id;
    m_model->Clear();
    if (!reportPath.isEmpty()) OpenSampleReport(reportPath);
    return true;
}

bool CDatabaseDlg::RefuseBlankDates(const SampleFields& s, const ShownFields* atLoad) {
    const struct {
        const QString& value;
        const QString* shownAtLoad;
        int32_t label;
    } dates[] = {{s.receiveDate, atLoad ? &atLoad->receiveDate : nullptr, kDbReceiveDate},
                 {s.testDate, atLoad ? &atLoad->testDate : nullptr, kDbTestDate}};
    for (const auto& d : dates)
        if (d.value.isEmpty() && (!d.shownAtLoad || !d.shownAtLoad->isEmpty())) {
            Message(QStringLiteral("%1 shows no date: choose the sample's date first.").arg(FieldLabelTable(d.label)));
            return true;
        }
    return false;
}

void CDatabaseDlg::ModifyRecord() {
    if (!EnsureOpen(true)) return;
    // Only the sample the fields were loaded from is written, and only while
    // the fields still show its patient.
    if (m_loadedSampleId == 0 || m_id->text().trimmed().compare(m_loadedId, Qt::CaseInsensitive) != 0) {
        Message(QStringLiteral("No sample is loaded: choose the sample to modify in the list first."));
        return;
    }
    SampleFields s;
    if (!ReadSampleFields(&s, Shown().age != m_shownAtLoad.age)) return;
    KeepUntouchedFields(&s);
    // A date the user set to blank is no date to store; one loaded blank
    // and left so keeps what the register holds.
    if (RefuseBlankDates(s, &m_shownAtLoad)) return;
    s.sampleId = m_loadedSampleId;
    m_model->Finish();
    QString error;
    int64_t version = 0;
    if (!m_db.ModifySample({m_loadedSampleId, m_loadedId, m_loadedVersion}, s, &version, &error)) {
        Error(error);
        return;
    }
    m_loadedVersion = version;
    // The list shows the sample as it now is, and what is stored now is what
    // a later Modify compares the fields with.
    if (const auto row = m_db.LoadSample(m_loadedSampleId, nullptr)) {
        m_model->ReplaceSample(*row);
        m_loadedRow = *row;
        m_shownAtLoad = Shown();
    }
}

void CDatabaseDlg::DeleteRecord() {
    if (!EnsureOpen(true)) return;
    if (m_loadedSampleId == 0) {
        Message(QStringLiteral("No sample is loaded: choose the sample to delete in the list first."));
        return;
    }
    if (lm::Ui().MessageBox(this,
                            QStringLiteral("Delete the sample of %1 (%2) from the register?\nIts folder %3 is kept.")
                                .arg(m_loadedId, m_storedName, m_currentDataPath),
                            QStringLiteral("警告"), lm::MsgButtons::YesNo, lm::MsgIcon::Warning) != lm::kIdYes)
        return;
    m_model->Finish();
    QString error;
    if (!m_db.DeleteSample({m_loadedSampleId, m_loadedId, m_loadedVersion}, &error)) {
        Error(error);
        return;
    }
    m_model->RemoveSample(m_loadedSampleId);
    // The fields no longer show a sample, and no row is offered as if they did.
    EmptyFields();
    m_list->selectionModel()->clear();
}

void CDatabaseDlg::EmptyFields() {
    for (QLineEdit* e : {m_id, m_name, m_sex, m_age, m_bed, m_diagnosis}) e->clear();
    m_remark->clear();
    ResetChoices();
    m_name->setEnabled(true);
    m_sex->setEnabled(true);
    m_storedName.clear();
    m_loadedSampleId = 0;
    m_loadedId.clear();
    m_loadedVersion = 0;
    m_loadedRow = {};
    m_nameTyped = false;
}

void CDatabaseDlg::ClearFields() {
    EmptyFields();
    m_model->Clear();
}

// ================================================================== reports

bool CDatabaseDlg::ResolveDataPath(const QString& base, const QString& stored, QString* folder, QString* error) {
    QString rel = stored;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const bool absolute = rel.startsWith(QLatin1Char('/')) || (rel.size() > 1 && rel[1] == QLatin1Char(':'));
    if (rel.isEmpty() || rel == QLatin1String("**")) {
        *error = QStringLiteral("The sample has no folder.");
        return false;
    }
    if (absolute || rel.split(QLatin1Char('/')).contains(QStringLiteral(".."))) {
        *error = QStringLiteral("The sample's folder \"%1\" lies outside the database folder.").arg(stored);
        return false;
    }
    QString path = QDir(base).filePath(rel);
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    if (!QFileInfo(path).isDir()) {
        *error = QStringLiteral("The sample folder %1 is missing.").arg(Native(path));
        return false;
    }
    *folder = path;
    return true;
}

QStringList CDatabaseDlg::ReportsIn(const QString& folder) const {
    return QDir(folder).entryList({QStringLiteral("*.fld")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

QString CDatabaseDlg::ReportFolderOfRow(int row, QString* error) const {
    const SampleRow* r = m_model->Row(row);
    QString folder;
    if (!r) {
        *error = QStringLiteral("No sample is chosen.");
        return {};
    }
    if (!ResolveDataPath(m_base, r->dataPath, &folder, error)) return {};
    return folder;
}

void CDatabaseDlg::OpenRowReport(int row) {
    QString error;
    const QString folder = ReportFolderOfRow(row, &error);
    if (folder.isEmpty()) {
        Message(error);
        return;
    }
    const QStringList reports = ReportsIn(folder);
    if (reports.isEmpty()) return;
    OpenSampleReport(folder + reports.front(), false);
}

void CDatabaseDlg::RecordContextMenu(int row, const QPoint& globalPos) {
    if (!LoadRecordToFields(row)) return;
    QString error;
    const QString folder = ReportFolderOfRow(row, &error);
    const QStringList reports = folder.isEmpty() ? QStringList() : ReportsIn(folder);
    const QStringList templates = Templates();
    // Report ids start past the template ids, however many templates there are.
    const int32_t reportFirst = std::max<int32_t>(kMenuOpenReportFirst, kMenuNewReportFirst + int32_t(templates.size()));
    lm::MenuItem open;
    open.text = QStringLiteral("Open Report");
    for (int32_t j = 0; j < int32_t(reports.size()); ++j) open.submenu.push_back(lm::MenuItem::Command(reportFirst + j, reports[j]));
    open.enabled = !reports.isEmpty();
    lm::MenuItem make;
    make.text = QStringLiteral("New Report");
    for (int32_t i = 0; i < int32_t(templates.size()); ++i)
        make.submenu.push_back(lm::MenuItem::Command(kMenuNewReportFirst + i, templates[i]));
    if (templates.isEmpty()) make.submenu.push_back(NoTemplatesEntry());
    const std::vector<lm::MenuItem> menu{open, make, lm::MenuItem::Command(kMenuRecordDelete, QStringLiteral("Delete")),
                                         lm::MenuItem::Command(kMenuRecordOpenFolder, QStringLiteral("Open folder"))};
    const int32_t choice = lm::Ui().TrackPopupMenu(this, menu, globalPos);
    if (choice == kMenuRecordDelete) {
        DeleteRecord();
    } else if (choice == kMenuRecordOpenFolder) {
        if (folder.isEmpty()) Message(error);
        else lm::Ui().OpenUrl(QUrl::fromLocalFile(folder).toString());
    } else if (choice >= reportFirst && choice - reportFirst < int32_t(reports.size())) {
        OpenSampleReport(folder + reports[choice - reportFirst], false);
    } else if (choice >= kMenuNewReportFirst && choice - kMenuNewReportFirst < int32_t(templates.size())) {
        if (folder.isEmpty()) {
            Message(error);
            return;
        }
        m_templateName = templates[choice - kMenuNewReportFirst];
        const QString copy = CopyReportTemplate(m_base + QStringLiteral("Template/") + m_templateName, folder,
                                                m_model->Row(row)->id, m_templateName);
        if (!copy.isEmpty()) OpenSampleReport(copy);
    }
}

QString CDatabaseDlg::CopyReportTemplate(const QString& source, const QString& destFolder, const QString& id,
                                         const QString& templateName) {
    if (!QDir().mkpath(destFolder)) {
        Error(QStringLiteral("Cannot make the folder %1.").arg(Native(destFolder)));
        return {};
    }
    // Two samples of a patient filed the same day from one template would
    // otherwise both take number 000, and the second PDF would replace the first.
    const QStringList elsewhere = ReportsOfPatient(id);
    const QString pdfFolder = m_base + QStringLiteral("PDFReport/");
    const QString stem = QDir(destFolder).filePath(Now().toString(QStringLiteral("yyyyMMdd")) + SafeFolderId(id) +
                                                   QLatin1Char('-'));
    for (int32_t k = 0; k <= kMaxReportCopies; ++k) {
        const QString target = stem + QStringLiteral("%1").arg(k, 3, 10, QLatin1Char('0')) + QLatin1Char('-') + templateName;
        const QFileInfo info(target);
        if (info.exists() || elsewhere.contains(info.fileName()) ||
            QFileInfo::exists(pdfFolder + info.completeBaseName() + QStringLiteral(".pdf")))
            continue;
        QFile file(source);
        if (file.copy(target)) return target;
        Error(QStringLiteral("Cannot copy the template %1 to %2:\n%3").arg(Native(source), Native(target), file.errorString()));
        return {};
    }
    Message(QStringLiteral("Too many files!"));
    return {};
}

QStringList CDatabaseDlg::ReportsOfPatient(const QString& id) const {
    QStringList names;
    if (!m_db.IsOpen() || id.isEmpty()) return names;
    // An unreadable register or a missing folder hides nothing that a copy
    // could replace: the copy never overwrites a file in its own folder.
    for (const SampleRow& r : m_db.List(CFlowDb::ByPatient(id), nullptr)) {
        QString folder, error;
        if (ResolveDataPath(m_base, r.dataPath, &folder, &error)) names += ReportsIn(folder);
    }
    return names;
}

CLumitraDoc* CDatabaseDlg::OpenSampleReport(const QString& path, bool fillGrid) {
    if (!QFileInfo(path).isFile()) {
        Message(QStringLiteral("Report not found!") + QStringLiteral("\n") + Native(path), QStringLiteral("Notice!"));
        return nullptr;
    }
    CLumitraApp* app = GetLumitraApp();
    CLumitraDoc* doc = app ? app->OpenDocumentFile(path) : nullptr;
    if (!doc) return nullptr;  // the program has said why
    doc->SetSampleFolder(QFileInfo(path).absolutePath().toStdString() + "/");
    if (fillGrid) FillLinkedGrid(doc);
    return doc;
}

void CDatabaseDlg::FillLinkedGrid(CLumitraDoc* doc) {
    auto* grid = dynamic_cast<CGrid*>(doc->GetDbLinkGrid());
    std::unique_ptr<CTrkObj> made;
    if (!grid || grid->GetRows() != m_grid.rows || grid->GetCols() != m_grid.cols) {
        made = MakeGridAt(doc, CPoint(kNewGridAt, kNewGridAt), m_grid.rows, m_grid.cols);
        grid = static_cast<CGrid*>(made.get());
        // The stored place is used only when it is a real rectangle on the page.
        const CRect r = m_grid.rect;
        const CSize canvas = doc->GetCanvasSize();
        if (r.Width() > 0 && r.Height() > 0 && r.left >= 0 && r.top >= 0 && r.right <= canvas.cx && r.bottom <= canvas.cy)
            grid->SetRect(r, true);
        grid->SetBorders(m_grid.borders);
    }
    for (int32_t r = 0; r < m_grid.rows; ++r)
        for (int32_t c = 0; c < m_grid.cols; ++c) {
            const int32_t id = m_grid.Cell(r, c);
            grid->SetCellText(r, c, (FieldLabelTable(id) + QStringLiteral(": ") + FieldValueById(id)).toStdString());
        }
    // Every linked grid, the template's own too, is sized to its texts: a
    // clipped cell would print half a name.
    FitGridToTexts(grid);
    if (made) {
        // A grid of the panel's own goes where it covers nothing: on the
        // template's first plot it would hide the patient.
        const CRect r = grid->GetRect();
        grid->SetRect(CRect(doc->FindFreePlace(r.Size(), r.TopLeft()), r.Size()), true);
        doc->InsertNewObject(std::move(made), false);
        doc->SetDbLinkGrid(grid);
    }
    doc->SetModifiedFlag();
    doc->InvalidateObject(grid);
    doc->RedrawDirty();
}
