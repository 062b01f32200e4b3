#include "database/RecordModel.h"

#include <QTimer>

namespace {

const char* const kHeaders[] = {"ID", "姓名", "性别", "年龄", "科室", "床号", "诊断", "标本", "日期"};
constexpr int kColumns = 9;

}  // namespace

CRecordModel::CRecordModel(QObject* parent) : QAbstractTableModel(parent) {}

int CRecordModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }

int CRecordModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant CRecordModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= kColumns) return {};
    return QString::fromUtf8(kHeaders[section]);
}

QVariant CRecordModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || size_t(index.row()) >= m_rows.size()) return {};
    const SampleRow& r = m_rows[size_t(index.row())];
    switch (index.column()) {
        case 0: return r.id;
        case 1: return r.name;
        case 2: return r.sex;
        case 3: return QString::number(r.age, 'f', 2);
        case 4: return r.department;
        case 5: return r.bed;
        case 6: return r.diagnosis;
        case 7: return r.sample;
        case 8: return r.receiveDate;
        default: return {};
    }
}

const SampleRow* CRecordModel::Row(int row) const {
    return row >= 0 && size_t(row) < m_rows.size() ? &m_rows[size_t(row)] : nullptr;
}

void CRecordModel::Clear() {
    ++m_generation;
    m_query.reset();
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CRecordModel::Start(QSqlQuery q) {
    Clear();
    m_longestSlice = 0;
    m_query = std::move(q);
    ReadSome(kFirstRows, -1);
    if (m_query) {
        const int generation = m_generation;
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation) ReadSlice();
        });
    }
}

void CRecordModel::Finish() {
    if (m_query) ReadSome(-1, -1);
}

void CRecordModel::ReadSlice() {
    QElapsedTimer clock;
    clock.start();
    ReadSome(-1, kSliceMs);
    m_longestSlice = std::max(m_longestSlice, clock.elapsed());
    if (!m_query) return;
    const int generation = m_generation;
    QTimer::singleShot(0, this, [this, generation] {
        if (generation == m_generation) ReadSlice();
    });
}

void CRecordModel::ReadSome(int maxRows, int maxMs) {
    if (!m_query) return;
    QElapsedTimer clock;
    clock.start();
    std::vector<SampleRow> batch;
    bool ended = false;
    for (int n = 0; maxRows < 0 || n < maxRows; ++n) {
        // The clock is read every 256 rows: reading it costs more than a row.
        if (maxMs >= 0 && (n & 255) == 255 && clock.elapsed() >= maxMs) break;
        if (!m_query->next()) {
            ended = true;
            break;
        }
        batch.push_back(CFlowDb::RowOf(*m_query));
    }
    if (!batch.empty()) {
        beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + batch.size()) - 1);
        m_rows.insert(m_rows.end(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
        endInsertRows();
    }
    if (ended) {
        m_query.reset();
        emit finished();
    }
}

void CRecordModel::ReplaceSample(const SampleRow& row) {
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].sampleId == row.sampleId) {
            m_rows[i] = row;
            emit dataChanged(index(int(i), 0), index(int(i), kColumns - 1));
            return;
        }
}

void CRecordModel::RemoveSample(int64_t sampleId) {
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].sampleId == sampleId) {
            beginRemoveRows({}, int(i), int(i));
            m_rows.erase(m_rows.begin() + std::ptrdiff_t(i));
            endRemoveRows();
            return;
        }
}
