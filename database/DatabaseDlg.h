#pragma once
// The "Database" panel (dialog 106): registers patients and their samples in
// the SQLite register, gives every sample a folder of its own under
// "Database", files reports copied from the templates of "Database/Template"
// into it, opens them and fills the report's linked grid with the patient's
// fields in the layout the user arranged.
//
// The register is opened when the panel is first used, and again by every
// action while it could not be (busy, missing, damaged) or, for a write,
// while it is read-only; an action that still cannot use it says why. A sample is
// only ever found again by its SampleID: Modify and Delete act on the sample
// loaded from the list, never on a row a later search happened to leave, and
// only while it is still that patient's sample as it was loaded.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

#include "base/Geometry.h"
#include "database/DbGridState.h"
#include "database/FlowDb.h"
#include "report/app/DocPanel.h"

class CLayoutArea;
class CLumitraDoc;
class CRecordModel;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableView;

class CDatabaseDlg : public CDocPanel {
    Q_OBJECT

public:
    // programFolder holds "Database" (made when first used).
    explicit CDatabaseDlg(const QString& programFolder, QWidget* parent = nullptr);
    ~CDatabaseDlg() override;

    // The "Database" folder, ending in '/'.
    const QString& BaseFolder() const { return m_base; }
    CFlowDb& Db() { return m_db; }
    // Opens the register (and makes the folders) once; false, after saying
    // why, when it cannot be used; writable also asks for write access.
    bool EnsureOpen(bool writable, bool quiet = false);
    QWidget* Control(int32_t id) const;
    CRecordModel* Records() const { return m_model; }
    QTableView* RecordList() const { return m_list; }
    CLayoutArea* LayoutArea() const { return m_layoutArea; }
    // Tests fix the clock; an invalid time goes back to the real one.
    void SetNow(const QDateTime& now) { m_fixedNow = now; }

    // ------------------------------------------------------- fields
    static QString FieldLabelTable(int32_t id);
    // The sex a typed text stands for ("1" and "2" are short for 男 and 女,
    // nothing for "**"); false when it is none of the list.
    static bool SexFromText(const QString& typed, QString* stored);
    // An age as the register gives it back; text that is no age stays.
    static QString AgeText(const QString& typed);
    QString FieldValueById(int32_t id) const;
    int64_t LoadedSampleId() const { return m_loadedSampleId; }
    const QString& CurrentDataPath() const { return m_currentDataPath; }

    // ------------------------------------------------------- layout
    const CDbGridState& GridState() const { return m_grid; }
    // New counts; cells that still fit keep their field; saved at once.
    void ResizeLayoutTable(int32_t rows, int32_t cols);
    void SetLayoutCell(int32_t row, int32_t col, int32_t fieldId);
    // A grid's "DB Link": its counts, page rectangle and column borders.
    void LinkGrid(int32_t rows, int32_t cols, const CRect& rect, const std::vector<int32_t>& borders);
    QString GridStatePath() const { return m_base + QStringLiteral("dbgrid"); }

    // ------------------------------------------------------- lists
    void FillRecordList(const ListQuery& q);
    void OnIdReturn();
    void OnNameReturn();
    void ShowHistoryMenu();
    void OnFind();
    // Reads the row's sample from the register (another program may have
    // changed it since the list was read) into the list and the fields;
    // false after a message when it is gone or cannot be read.
    bool LoadRecordToFields(int row);

    // ------------------------------------------------------- records
    void NewRecordMenu();
    // True when the sample was registered (its report opened with a template).
    bool AddSampleRecord(const QString& templateName);
    void ModifyRecord();
    void DeleteRecord();
    // Empties the fields; the choice lists go back to the entries the panel
    // starts with.
    void ClearFields();
    void RecordContextMenu(int row, const QPoint& globalPos);
    // The first report of the row's folder (double click).
    void OpenRowReport(int row);

    // ------------------------------------------------------- reports
    // The template copied into destFolder under a name not in use; empty
    // after a message when no copy could be made.
    // The name is not in use in any of patient id's sample folders, nor as a
    // PDF in "PDFReport": a filed report or its PDF never replaces another's.
    QString CopyReportTemplate(const QString& source, const QString& destFolder, const QString& id,
                               const QString& templateName);
    // Opens a filed report; its sample folder becomes the report's folder
    // and, with fillGrid, its linked grid shows the fields. Null after a
    // message on failure.
    CLumitraDoc* OpenSampleReport(const QString& path, bool fillGrid = true);
    // Report templates ("*.fld" in any case), by name.
    QStringList Templates() const;

    // The folder of a stored data path (relative, '\' read as '/'); false
    // with *error when it is absolute, leaves the base or is missing.
    static bool ResolveDataPath(const QString& base, const QString& stored, QString* folder, QString* error);
    // The ID as a folder-name part: characters a path gives meaning to are
    // replaced by '_'. An ID too long for a file name is cut and ends in '~'
    // and a checksum of the whole ID, so that two long IDs never share a name.
    static QString SafeFolderId(const QString& id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void LoadGridState();
    // Writes `part` of the state over the file as it is now and takes the
    // rest (another program's layout or counter) from it.
    bool SaveGridState(DbGridPart part);
    void LoadItems();
    void ResetChoices();
    // Empties the fields and forgets the loaded sample; the list stays.
    void EmptyFields();
    // The modifiable fields as the panel shows them.
    struct ShownFields {
        QString age, department, bed, diagnosis, sample, state, remark, receiveDate, testDate;
    };
    ShownFields Shown() const;
    // True after naming the first date of s that is blank: any blank one
    // without atLoad, else one the user blanked (it was shown at load).
    bool RefuseBlankDates(const SampleFields& s, const ShownFields* atLoad);
    // "YYYY-MM-DD", or empty while the edit shows no date (a stored date that
    // was empty or could not be read).
    static QString DateText(const QDateEdit* edit);
    // Shows a stored value in a drop-down list; one that is not an entry is
    // added for as long as it is shown.
    static void ShowChoice(QComboBox* box, const QString& text);
    // A field left as it was loaded keeps the stored value, which the panel
    // may show only approximately (an age to two decimals, a date it cannot
    // read as blank, a value outside a list).
    void KeepUntouchedFields(SampleFields* s) const;
    // A sample folder (data path) that is empty and that no sample lists:
    // what a program killed between making it and registering it left.
    bool IsLeftOverFolder(const QString& dataPath) const;
    // Report names already used by the samples of patient id.
    QStringList ReportsOfPatient(const QString& id) const;
    // The samples of the patient just registered, the new one selected.
    void ShowAddedSample();
    void OnLayoutToggled(bool on);
    void OnApply();
    void OnSexLeft();
    void OnNameLeft();
    void CheckTypedName();
    void FillLinkedGrid(CLumitraDoc* doc);
    QDateTime Now() const;
    void Message(const QString& text, const QString& caption = QStringLiteral("Notice"));
    void Error(const QString& text);
    // The fields as a sample (dates, defaults); false after a message when
    // the age is not a number from 0 to 150 (checked only with checkAge).
    bool ReadSampleFields(SampleFields* s, bool checkAge = true);
    QString ReportFolderOfRow(int row, QString* error) const;
    QStringList ReportsIn(const QString& folder) const;

    QString m_base;
    CFlowDb m_db;
    QString m_openError;
    QString m_saidOpenError;  // the cause last said when the panel was shown
    QString m_saidReadOnly;
    bool m_nameTyped = false;  // the user typed into 姓名 since it was last filled
    bool m_nameCheckPending = false;
    bool m_nameLeftByMouse = false;  // 姓名 lost the focus to a mouse press
    QStringList m_pendingMessages;
    CDbGridState m_grid;
    QString m_templateName;
    QString m_currentDataPath;
    QString m_storedName;
    int64_t m_loadedSampleId = 0;
    QString m_loadedId;
    int64_t m_loadedVersion = 0;
    SampleRow m_loadedRow;
    ShownFields m_shownAtLoad;
    int64_t m_addedSampleId = 0;
    QString m_addedId;
    std::vector<int64_t> m_itemIds;
    int32_t m_dragField = 0;
    QDateTime m_fixedNow;

    QLineEdit* m_id = nullptr;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_sex = nullptr;
    QLineEdit* m_age = nullptr;
    QComboBox* m_department = nullptr;
    QLineEdit* m_bed = nullptr;
    QLineEdit* m_diagnosis = nullptr;
    QComboBox* m_sample = nullptr;
    QDateEdit* m_receiveDate = nullptr;
    QDateEdit* m_testDate = nullptr;
    QComboBox* m_state = nullptr;
    QComboBox* m_item = nullptr;
    QPlainTextEdit* m_remark = nullptr;
    QCheckBox* m_layout = nullptr;
    QSpinBox* m_rows = nullptr;
    QSpinBox* m_cols = nullptr;
    QPushButton* m_apply = nullptr;
    QTableView* m_list = nullptr;
    CRecordModel* m_model = nullptr;
    CLayoutArea* m_layoutArea = nullptr;
    std::vector<QLabel*> m_captions;
};

// Runs `then` once the next mouse button release anywhere in the program has
// been handled, then goes.
class CReleaseWatcher : public QObject {
public:
    CReleaseWatcher(std::function<void()> then, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> m_then;
    bool m_done = false;
};

// The layout table drawn for the user: rows of 30 pixels, columns of equal
// width, each cell showing its field's label.
class CLayoutArea : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 30;
    CLayoutArea(const CDbGridState* state, QWidget* parent);
    // The cell under a point of this widget; false outside the table.
    bool CellAt(const QPoint& p, int32_t* row, int32_t* col) const;
    int ColumnWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CDbGridState* m_state;
};

// The database panel while it is shown, else null (a grid's "DB Link" hands
// it the grid's layout).
CDatabaseDlg* GetShownDatabasePanel();
