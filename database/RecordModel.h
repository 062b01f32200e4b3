#pragma once
// The rows of the database panel's record list. A list statement may return
// the whole register, so rows arrive in chunks: the first screen at once,
// the rest from the event loop in slices short enough never to hold up the
// window. Each row keeps its SampleID: the sample is always found again by
// it, never by its place in a result.
#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QSqlQuery>

#include <cstdint>
#include <optional>
#include <vector>

#include "database/FlowDb.h"

class CRecordModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // Rows read before Start returns (the first screen and a margin).
    static constexpr int kFirstRows = 200;
    // Longest a slice read from the event loop may take.
    static constexpr int kSliceMs = 40;

    explicit CRecordModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Empties the list and starts reading the rows of q.
    void Start(QSqlQuery q);
    void Clear();
    // Reads what is left at once (before a write on the same register).
    void Finish();
    bool IsReading() const { return m_query.has_value(); }
    const SampleRow* Row(int row) const;
    // Drops the row of a deleted sample.
    void RemoveSample(int64_t sampleId);
    // Shows the sample's row as given (after a change of it).
    void ReplaceSample(const SampleRow& row);
    // Longest time one slice took since Start (for the benchmark).
    qint64 LongestSliceMs() const { return m_longestSlice; }

signals:
    void finished();

private:
    // Reads rows until the time is up (maxMs < 0: until the end).
    void ReadSome(int maxRows, int maxMs);
    void ReadSlice();

    std::vector<SampleRow> m_rows;
    std::optional<QSqlQuery> m_query;
    qint64 m_longestSlice = 0;
    int m_generation = 0;
};
