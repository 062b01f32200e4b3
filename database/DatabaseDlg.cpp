#include "database/DatabaseDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLockFile>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "base/Archive.h"
#include "database/DBFindDlg.h"
#include "database/DatabaseIds.h"
#include "database/RecordModel.h"
#include "platform/UiServices.h"
#include "report/app/LumitraApp.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"

namespace {

CDatabaseDlg* g_panel = nullptr;

constexpr char kDbFile[] = "FlowDB.sqlite";
// How many entries of a drop-down list are the panel's own; stored values
// shown in it come after them.
constexpr char kPresetsProperty[] = "presets";
const QDate kNoDate(1752, 9, 14);
constexpr double kMaxAge = 150;

struct FieldLabel {
    int32_t id;
    const char* label;
};

constexpr FieldLabel kFieldLabels[] = {
    {kDbId, "ID"},           {kDbRemark, "描述"},      {kDbName, "姓名"},          {kDbSex, "性别"},
    {kDbAge, "年龄"},        {kDbBed, "床号"},         {kDbDiagnosis, "诊断"},     {kDbDepartment, "科室"},
    {kDbSample, "标本"},     {kDbState, "标本状态"},   {kDbReceiveDate, "接收日期"}, {kDbTestDate, "检测日期"},
};

void SetId(QWidget* w, int32_t id) {
    w->setProperty("controlId", id);
    w->setObjectName(QStringLiteral("ctl%1").arg(id));
}

QString Day(const QDate& d) { return d.toString(QStringLiteral("yyyy-MM-dd")); }

QString OrStars(const QString& s) { return s.isEmpty() ? QStringLiteral("**") : s; }

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

}  // namespace

CDatabaseDlg* GetShownDatabasePanel() { return g_panel && g_panel->isVisible() ? g_panel : nullptr; }

// =========================================================== construction

CDatabaseDlg::CDatabaseDlg(const QString& programFolder, QWidget* parent)
    : CDocPanel(QStringLiteral("Database"), parent),
      m_base(QDir(programFolder).filePath(QStringLiteral("Database")) + QLatin1Char('/')) {
    setWindowTitle(QStringLiteral("Database"));
    setObjectName(QStringLiteral("dlg106"));
    BuildControls();
    LoadGridState();
    g_panel = this;
}

CDatabaseDlg::~CDatabaseDlg() {
    if (g_panel == this) g_panel = nullptr;
    m_model->Clear();
    m_db.Close();
}

void CDatabaseDlg::BuildControls() {
    // The base panel's label is not used here.
    for (QLabel* l : findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) l->hide();
    auto* outer = qobject_cast<QVBoxLayout*>(layout());
    auto* form = new QGridLayout;
    outer->addLayout(form);

    int row = 0;
    auto add = [&](int32_t id, const char* caption, QWidget* w, int column) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setProperty("fieldId", id);
        label->installEventFilter(this);
        m_captions.push_back(label);
        SetId(w, id);
        form->addWidget(label, row, column * 2);
        form->addWidget(w, row, column * 2 + 1);
    };
    m_id = new QLineEdit(this);
    add(kDbId, "ID:", m_id, 0);
    m_name = new QLineEdit(this);
    add(kDbName, "姓名：", m_name, 1);
    ++row;
    m_sex = new QLineEdit(this);
    add(kDbSex, "性别：", m_sex, 0);
    m_age = new QLineEdit(this);
    add(kDbAge, "年龄：", m_age, 1);
    ++row;
    m_department = new QComboBox(this);
    m_department->setEditable(true);
    m_department->addItem(QStringLiteral("血液内科"));
    add(kDbDepartment, "科室：", m_department, 0);
    m_bed = new QLineEdit(this);
    add(kDbBed, "床号：", m_bed, 1);
    ++row;
    m_diagnosis = new QLineEdit(this);
    add(kDbDiagnosis, "诊断：", m_diagnosis, 0);
    m_sample = new QComboBox(this);
    m_sample->addItems({QStringLiteral("骨髓"), QStringLiteral("外周血")});
    m_sample->setProperty(kPresetsProperty, m_sample->count());
    add(kDbSample, "标本：", m_sample, 1);
    ++row;
    m_receiveDate = new QDateEdit(QDate::currentDate(), this);
    add(kDbReceiveDate, "接收日期：", m_receiveDate, 0);
    m_testDate = new QDateEdit(QDate::currentDate(), this);
    add(kDbTestDate, "检测日期：", m_testDate, 1);
    for (QDateEdit* d : {m_receiveDate, m_testDate}) {
        d->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        d->setCalendarPopup(true);
        // The earliest date stands for "no date": a stored date that is empty
        // or unreadable shows blank instead of the date shown before.
        d->setMinimumDate(kNoDate);
        d->setSpecialValueText(QStringLiteral(" "));
    }
    ++row;
    m_state = new QComboBox(this);
    m_state->addItems({QStringLiteral("正常"), QStringLiteral("部分凝固"), QStringLiteral("标本不足"), QStringLiteral("溶血")});
    m_state->setProperty(kPresetsProperty, m_state->count());
    add(kDbState, "标本状态：", m_state, 0);
    m_item = new QComboBox(this);
    add(kDbItem, "检测项目：", m_item, 1);
    m_item->hide();
    m_captions.back()->hide();
    ++row;
    m_remark = new QPlainTextEdit(this);
    m_remark->setFixedHeight(48);
    add(kDbRemark, "描述：", m_remark, 0);
    form->addWidget(m_remark, row, 1, 1, 3);

    auto* buttons = new QHBoxLayout;
    outer->addLayout(buttons);
    auto button = [&](int32_t id, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        SetId(b, id);
        buttons->addWidget(b);
        return b;
    };
    connect(button(kDbNew, "New"), &QPushButton::clicked, this, &CDatabaseDlg::NewRecordMenu);
    connect(button(kDbModify, "Modify"), &QPushButton::clicked, this, &CDatabaseDlg::ModifyRecord);
    connect(button(kDbClear, "Clear"), &QPushButton::clicked, this, &CDatabaseDlg::ClearFields);
    connect(button(kDbFind, "Find"), &QPushButton::clicked, this, &CDatabaseDlg::OnFind);
    connect(button(kDbHistory, "History"), &QPushButton::clicked, this, &CDatabaseDlg::ShowHistoryMenu);

    auto* layoutRow = new QHBoxLayout;
    outer->addLayout(layoutRow);
    m_layout = new QCheckBox(QStringLiteral("Layout"), this);
    SetId(m_layout, kDbLayout);
    m_rows = new QSpinBox(this);
    m_rows->setRange(1, 20);
    SetId(m_rows, kDbLayoutRows);
    m_cols = new QSpinBox(this);
    m_cols->setRange(1, 10);
    SetId(m_cols, kDbLayoutCols);
    m_apply = new QPushButton(QStringLiteral("Apply"), this);
    SetId(m_apply, kDbApply);
    for (QWidget* w : {static_cast<QWidget*>(m_layout), static_cast<QWidget*>(m_rows),
                       static_cast<QWidget*>(m_cols), static_cast<QWidget*>(m_apply)})
        layoutRow->addWidget(w);
    layoutRow->addStretch(1);
    for (QWidget* w : {static_cast<QWidget*>(m_rows), static_cast<QWidget*>(m_cols), static_cast<QWidget*>(m_apply)})
        w->hide();
    connect(m_layout, &QCheckBox::toggled, this, &CDatabaseDlg::OnLayoutToggled);
    connect(m_apply, &QPushButton::clicked, this, &CDatabaseDlg::OnApply);

    m_model = new CRecordModel(this);
    m_list = new QTableView(this);
    SetId(m_list, kDbList);
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(true);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(20);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    const int widths[] = {50, 80, 50, 50, 50, 50, 50, 50, 80};
    for (int c = 0; c < 9; ++c) m_list->setColumnWidth(c, widths[c]);
    outer->addWidget(m_list, 1);
    connect(m_list, &QTableView::clicked, this, [this](const QModelIndex& i) { LoadRecordToFields(i.row()); });
    connect(m_list, &QTableView::doubleClicked, this, [this](const QModelIndex& i) {
        if (LoadRecordToFields(i.row())) OpenRowReport(i.row());
    });
    connect(m_list, &QTableView::customContextMenuRequested, this, [this](const QPoint& p) {
        const QModelIndex i = m_list->indexAt(p);
        if (i.isValid()) RecordContextMenu(i.row(), m_list->viewport()->mapToGlobal(p));
    });

    m_layoutArea = new CLayoutArea(&m_grid, this);
    m_layoutArea->hide();
    outer->addWidget(m_layoutArea, 1);

    // Return searches in the ID and name fields and moves on everywhere.
    for (QLineEdit* e : {m_id, m_name, m_sex, m_age, m_bed, m_diagnosis})
        connect(e, &QLineEdit::returnPressed, this, [this, e] {
            if (e == m_id) OnIdReturn();
            else if (e == m_name) OnNameReturn();
            focusNextChild();
        });
    connect(m_id, &QLineEdit::textEdited, this, [this] {
        m_name->setEnabled(true);
        m_sex->setEnabled(true);
    });
    connect(m_name, &QLineEdit::textEdited, this, [this] { m_nameTyped = true; });
    m_name->installEventFilter(this);
    connect(m_sex, &QLineEdit::editingFinished, this, &CDatabaseDlg::OnSexLeft);
    connect(m_name, &QLineEdit::editingFinished, this, &CDatabaseDlg::OnNameLeft);
    setMinimumWidth(360);
}

QWidget* CDatabaseDlg::Control(int32_t id) const {
    for (QWidget* w : findChildren<QWidget*>())
        if (w->property("controlId").isValid() && w->property("controlId").toInt() == id) return w;
    return nullptr;
}

QDateTime CDatabaseDlg::Now() const { return m_fixedNow.isValid() ? m_fixedNow : QDateTime::currentDateTime(); }

void CDatabaseDlg::Message(const QString& text, const QString& caption) {
    lm::Ui().MessageBox(this, text, caption, lm::MsgButtons::Ok, lm::MsgIcon::None);
}

QString CDatabaseDlg::AgeText(const QString& typed) {
    // The form the register gives back ("%.2f"), so a report filed now and
    // one filed later from the list show the same age.
    const QString t = typed.trimmed();
    if (t.isEmpty()) return QString::number(0.0, 'f', 2);
    bool ok = false;
    const double age = t.toDouble(&ok);
    return ok && age >= 0 && age <= kMaxAge ? QString::number(age, 'f', 2) : typed;
}

void CDatabaseDlg::Error(const QString& text) { lm::ErrorBox(this, text, QStringLiteral("错误信息")); }

bool CDatabaseDlg::EnsureOpen(bool writable, bool quiet) {
    // Every action tries again until the register opens: one that was busy,
    // missing or damaged a moment ago may be fine now. One opened read-only
    // is opened again for a write, as its folder may take writes by now.
    if (!m_db.IsOpen() || (writable && m_db.IsReadOnly())) {
        // The list keeps what it has read; its statement ends with the connection.
        m_model->Finish();
        QDir().mkpath(m_base + QStringLiteral("PDFReport"));
        QDir().mkpath(m_base + QStringLiteral("Template"));
        // A busy register is waited for.
        const lm::WaitCursor busy;
        m_openError.clear();
        if (m_db.Open(m_base + QString::fromLatin1(kDbFile), &m_openError)) LoadItems();
    }
    if (!m_db.IsOpen()) {
        if (!quiet) Error(QStringLiteral("The patient database cannot be used:\n%1").arg(m_openError));
        return false;
    }
    if (writable && m_db.IsReadOnly()) {
        if (!quiet) Error(QStringLiteral("The patient database cannot be changed: %1").arg(m_db.ReadOnlyReason()));
        return false;
    }
    return true;
}

void CDatabaseDlg::showEvent(QShowEvent* event) {
    CDocPanel::showEvent(event);
    const QStringList pending = std::exchange(m_pendingMessages, {});
    for (const QString& m : pending) Message(m);
    // Said once per cause: showing the panel again while the same cause
    // stands adds no box, a new cause is said.
    if (!EnsureOpen(false, true)) {
        if (m_openError != m_saidOpenError)
            Error(QStringLiteral("The patient database cannot be used:\n%1").arg(m_openError));
        m_saidOpenError = m_openError;
        return;
    }
    m_saidOpenError.clear();
    if (m_db.IsReadOnly() && m_db.ReadOnlyReason() != m_saidReadOnly)
        Message(QStringLiteral("The patient database opens read-only: %1").arg(m_db.ReadOnlyReason()));
    m_saidReadOnly = m_db.IsReadOnly() ? m_db.ReadOnlyReason() : QString();
}

void CDatabaseDlg::LoadItems() {
    m_item->clear();
    m_itemIds.clear();
    for (const auto& [id, name] : m_db.Items(nullptr)) {
        m_item->addItem(name);
        m_itemIds.push_back(id);
    }
    if (m_item->count()) m_item->setCurrentIndex(0);
}

void CDatabaseDlg::ShowChoice(QComboBox* box, const QString& text) {
    if (box->isEditable()) {
        box->setEditText(text);
        return;
    }
    const int presets = box->property(kPresetsProperty).toInt();
    while (box->count() > presets) box->removeItem(box->count() - 1);
    if (!text.isEmpty() && box->findText(text) < 0) box->addItem(text);
    box->setCurrentIndex(text.isEmpty() ? -1 : box->findText(text));
}

QString CDatabaseDlg::DateText(const QDateEdit* edit) {
    return edit->date() == edit->minimumDate() ? QString() : Day(edit->date());
}

void CDatabaseDlg::ResetChoices() {
    // Blank drop-down lists would be stored as "**"; the panel's own first
    // entries are what a new sample most often has.
    for (QComboBox* box : {m_sample, m_state}) ShowChoice(box, box->itemText(0));
    m_department->setCurrentIndex(0);
    m_department->setEditText(m_department->itemText(0));
    m_sample->setCurrentIndex(0);
    m_state->setCurrentIndex(0);
    m_item->setCurrentIndex(m_item->count() ? 0 : -1);
}

// =================================================================== fields

QString CDatabaseDlg::FieldLabelTable(int32_t id) {
    for (const FieldLabel& f : kFieldLabels)
        if (f.id == id) return QString::fromUtf8(f.label);
    return QStringLiteral(" ");
}

QString CDatabaseDlg::FieldValueById(int32_t id) const {
    switch (id) {
        case kDbId: return m_id->text();
        case kDbRemark: return m_remark->toPlainText();
        case kDbName: return m_name->text();
        case kDbSex: return m_sex->text();
        case kDbAge: return AgeText(m_age->text());
        case kDbBed: return m_bed->text();
        case kDbDiagnosis: return m_diagnosis->text();
        case kDbDepartment: return m_department->currentText();
        case kDbSample: return m_sample->currentText();
        case kDbState: return m_state->currentText();
        case kDbReceiveDate: return DateText(m_receiveDate);
        case kDbTestDate: return DateText(m_testDate);
        default: return QStringLiteral(" ");
    }
}

bool CDatabaseDlg::SexFromText(const QString& typed, QString* stored) {
    const QString t = typed.trimmed();
    const struct {
        const char* typed;
        const char* stored;
    } kSexes[] = {{"男", "男"}, {"1", "男"}, {"女", "女"}, {"2", "女"}, {"未知", "未知"}, {"", "**"}, {"**", "**"}};
    for (const auto& s : kSexes)
        if (t == QString::fromUtf8(s.typed)) {
            *stored = QString::fromUtf8(s.stored);
            return true;
        }
    return false;
}

void CDatabaseDlg::OnSexLeft() {
    // 1 and 2 are short for 男 and 女; anything outside the list stays as
    // typed, for New to refuse with the list, never turned into 未知.
    const QString s = m_sex->text().trimmed();
    QString stored;
    // An empty field stays empty (it is stored as "**").
    m_sex->setText(!s.isEmpty() && SexFromText(s, &stored) ? stored : s);
}

void CDatabaseDlg::OnNameLeft() {
    // Checked once the click or key that moved the focus has been handled:
    // a box shown between the press and the release would swallow the
    // click, and a row the click loads brings its own name.
    const bool byMouse = std::exchange(m_nameLeftByMouse, false);
    if (!m_nameTyped || m_nameCheckPending) return;
    m_nameCheckPending = true;
    if (!byMouse) {
        QTimer::singleShot(0, this, &CDatabaseDlg::CheckTypedName);
        return;
    }
    auto* watcher = new CReleaseWatcher([this] { CheckTypedName(); }, this);
    qApp->installEventFilter(watcher);
}

void CDatabaseDlg::CheckTypedName() {
    m_nameCheckPending = false;
    if (!std::exchange(m_nameTyped, false)) return;
    // Only a name the user typed, while the list shows samples, and only
    // against the name stored under the typed ID, never that of a patient
    // loaded before: a new ID keeps the name typed for it.
    const QString id = m_id->text().trimmed();
    const QString name = m_name->text().trimmed();
    if (id.isEmpty() || name.isEmpty() || m_model->rowCount() == 0 || !EnsureOpen(false, true)) return;
    const auto stored = m_db.PatientName(id, nullptr);
    if (!stored || name == *stored) return;
    m_name->setText(*stored);
    Error(QStringLiteral("姓名与ID不匹配"));
}

bool CDatabaseDlg::ReadSampleFields(SampleFields* s, bool checkAge) {
    const QString ageText = m_age->text().trimmed();
    double age = 0;
    if (checkAge && !ageText.isEmpty()) {
        bool ok = false;
        age = ageText.toDouble(&ok);
        if (!ok || !(age >= 0 && age <= kMaxAge)) {
            Message(QStringLiteral("年龄 must be a number from 0 to 150, not \"%1\".").arg(ageText));
            return false;
        }
    }
    s->age = age;
    s->department = OrStars(m_department->currentText().trimmed());
    s->bed = OrStars(m_bed->text().trimmed());
    s->diagnosis = OrStars(m_diagnosis->text().trimmed());
    s->sample = OrStars(m_sample->currentText());
    s->state = OrStars(m_state->currentText());
    s->remark = OrStars(m_remark->toPlainText());
    s->receiveDate = DateText(m_receiveDate);
    s->testDate = DateText(m_testDate);
    const int item = m_item->currentIndex();
    s->item = item >= 0 && size_t(item) < m_itemIds.size() ? m_itemIds[size_t(item)] : 0;
    return true;
}

CDatabaseDlg::ShownFields CDatabaseDlg::Shown() const {
    return {m_age->text().trimmed(), m_department->currentText().trimmed(), m_bed->text().trimmed(),
            m_diagnosis->text().trimmed(), m_sample->currentText(), m_state->currentText(), m_remark->toPlainText(),
            DateText(m_receiveDate), DateText(m_testDate)};
}

void CDatabaseDlg::KeepUntouchedFields(SampleFields* s) const {
    const ShownFields now = Shown();
    if (now.age == m_shownAtLoad.age) s->age = m_loadedRow.age;
    const struct {
        QString ShownFields::*shown;
        QString SampleFields::*value;
        QString SampleRow::*stored;
    } fields[] = {
        {&ShownFields::department, &SampleFields::department, &SampleRow::department},
        {&ShownFields::bed, &SampleFields::bed, &SampleRow::bed},
        {&ShownFields::diagnosis, &SampleFields::diagnosis, &SampleRow::diagnosis},
        {&ShownFields::sample, &SampleFields::sample, &SampleRow::sample},
        {&ShownFields::state, &SampleFields::state, &SampleRow::state},
        {&ShownFields::remark, &SampleFields::remark, &SampleRow::remark},
        {&ShownFields::receiveDate, &SampleFields::receiveDate, &SampleRow::receiveDate},
        {&ShownFields::testDate, &SampleFields::testDate, &SampleRow::testDate},
    };
    for (const auto& f : fields)
        if (now.*f.shown == m_shownAtLoad.*f.shown) s->*f.value = m_loadedRow.*f.stored;
}

// =================================================================== layout

void CDatabaseDlg::LoadGridState() {
    const QString path = GridStatePath();
    if (!QFileInfo::exists(path)) return;
    std::vector<uint8_t> bytes;
    std::string why;
    if (CArchive::ReadFile(path.toStdString(), &bytes, &why, 1 << 20) && m_grid.Read(bytes, &why)) return;
    // Kept for whoever wants to look at it; the defaults stand.
    const QString bad = path + QStringLiteral(".bad");
    QFile::remove(bad);
    QFile::rename(path, bad);
    m_pendingMessages << QStringLiteral("The report layout %1 could not be read (%2); the default layout is used and "
                                        "the file was kept as %3.")
                             .arg(Native(path), QString::fromStdString(why), Native(bad));
}

bool CDatabaseDlg::SaveGridState(DbGridPart part) {
    if (!QDir().mkpath(m_base)) {
        Error(QStringLiteral("Cannot save the report layout %1: the folder %2 cannot be made.")
                  .arg(Native(GridStatePath()), Native(m_base)));
        return false;
    }
    std::string why;
    // Read, merge and write as one step among the programs sharing the file.
    const QString lockPath = GridStatePath() + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!lock.tryLock(kFlowDbBusyMs)) {
        // Only a lock that is there and held means another program; a lock
        // that cannot be made means the folder takes no files.
        if (lock.error() == QLockFile::LockFailedError)
            Error(QStringLiteral("Cannot save the report layout %1: another program keeps it locked.")
                      .arg(Native(GridStatePath())));
        else
            Error(QStringLiteral("Cannot save the report layout %1: the folder %2 cannot be written (its lock file %3 "
                                 "cannot be made there).")
                      .arg(Native(GridStatePath()), Native(QFileInfo(m_base).absolutePath()), Native(lockPath)));
        return false;
    }
    CDbGridState onDisk = m_grid;
    std::vector<uint8_t> bytes;
    if (QFileInfo::exists(GridStatePath()) &&
        CArchive::ReadFile(GridStatePath().toStdString(), &bytes, &why, 1 << 20) && onDisk.Read(bytes, &why)) {
        m_grid = m_grid.MergedInto(onDisk, part);
        m_layoutArea->update();
    }
    why.clear();
    if (CArchive::WriteFileAtomic(GridStatePath().toStdString(), m_grid.Write(), &why)) return true;
    Error(QStringLiteral("Cannot save the report layout %1:\n%2").arg(Native(GridStatePath()), QString::fromStdString(why)));
    return false;
}

void CDatabaseDlg::ResizeLayoutTable(int32_t rows, int32_t cols) {
    m_grid.Resize(rows, cols);
    SaveGridState(DbGridPart::Layout);
    m_layoutArea->update();
}

void CDatabaseDlg::SetLayoutCell(int32_t row, int32_t col, int32_t fieldId) {
    m_grid.SetCell(row, col, fieldId);
    SaveGridState(DbGridPart::Layout);
    m_layoutArea->update();
}

void CDatabaseDlg::LinkGrid(int32_t rows, int32_t cols, const CRect& rect, const std::vector<int32_t>& borders) {
    m_grid.Resize(rows, cols);
    m_grid.rect = rect;
    m_grid.borders = borders;
    SaveGridState(DbGridPart::Layout);
    m_layoutArea->update();
}

void CDatabaseDlg::OnLayoutToggled(bool on) {
    m_list->setVisible(!on);
    m_layoutArea->setVisible(on);
    for (QWidget* w : {static_cast<QWidget*>(m_rows), static_cast<QWidget*>(m_cols), static_cast<QWidget*>(m_apply)})
        w->setVisible(on);
    if (on) {
        m_rows->setValue(std::min(m_grid.rows, m_rows->maximum()));
        m_cols->setValue(std::min(m_grid.cols, m_cols->maximum()));
    }
}

void CDatabaseDlg::OnApply() {
    if (m_rows->value() != m_grid.rows || m_cols->value() != m_grid.cols) ResizeLayoutTable(m_rows->value(), m_cols->value());
}

CReleaseWatcher::CReleaseWatcher(std::function<void()> then, QObject* parent) : QObject(parent), m_then(std::move(then)) {}

bool CReleaseWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && !m_done) {
        m_done = true;
        qApp->removeEventFilter(this);
        // After the release has done its work (a row's click loads it).
        QTimer::singleShot(0, parent(), [then = m_then] { then(); });
        deleteLater();
    }
    return QObject::eventFilter(watched, event);
}

bool CDatabaseDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_name && event->type() == QEvent::FocusOut)
        m_nameLeftByMouse = static_cast<QFocusEvent*>(event)->reason() == Qt::MouseFocusReason;
    auto* label = qobject_cast<QLabel*>(watched);
    if (!label || !label->property("fieldId").isValid()) return CDocPanel::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        m_dragField = label->property("fieldId").toInt();
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && m_dragField) {
        const auto* me = static_cast<QMouseEvent*>(event);
        int32_t row = 0, col = 0;
        const QPoint at = m_layoutArea->mapFromGlobal(me->globalPosition().toPoint());
        if (m_layoutArea->isVisible() && m_layoutArea->CellAt(at, &row, &col)) SetLayoutCell(row, col, m_dragField);
        m_dragField = 0;
        return true;
    }
    return CDocPanel::eventFilter(watched, event);
}

CLayoutArea::CLayoutArea(const CDbGridState* state, QWidget* parent) : QWidget(parent), m_state(state) {
    setMinimumHeight(120);
    setObjectName(QStringLiteral("layoutArea"));
}

int CLayoutArea::ColumnWidth() const { return std::max(1, width() / std::max(m_state->cols, 1)); }

bool CLayoutArea::CellAt(const QPoint& p, int32_t* row, int32_t* col) const {
    if (p.x() < 0 || p.y() < 0) return false;
    const int32_t c = p.x() / ColumnWidth();
    const int32_t r = p.y() / kRowHeight;
    if (c >= m_state->cols || r >= m_state->rows) return false;
    *row = r;
    *col = c;
    return true;
}

void CLayoutArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const int w = ColumnWidth();
    const int rows = m_state->rows, cols = m_state->cols;
    p.setPen(Qt::black);
    for (int c = 0; c <= cols; ++c) p.drawLine(c * w, 0, c * w, rows * kRowHeight);
    for (int r = 0; r <= rows; ++r) p.drawLine(0, r * kRowHeight, cols * w, r * kRowHeight);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            p.drawText(QRect(c * w, r * kRowHeight, w - 2, kRowHeight - 2), Qt::AlignCenter,
                       CDatabaseDlg::FieldLabelTable(m_state->Cell(r, c)));
}
