#pragma once
// The statistic matrix of the "Stat" page and the "Parameter" dialog: one row
// of six check boxes per parameter of a data set, column k for statistic
// code k + 2 (Mean, Med, GeoM, SD, Max, Min), under a caption row of their
// names and beside a label column naming each parameter. The labels are
// copied when the matrix is laid out, so it never reads a data set that may
// since have gone.
#include <QWidget>

#include <cstdint>
#include <vector>

class QCheckBox;
class VexaDataShell;

class CStatMatrix : public QWidget {
    Q_OBJECT

public:
    static constexpr int32_t kColumns = 6;
    static constexpr int32_t kFirstCode = 2;

    struct Geometry {
        int32_t labelWidth = 75;
        int32_t columnWidth = 35;
        int32_t rowHeight = 21;
    };

    explicit CStatMatrix(Geometry geometry, QWidget* parent = nullptr);

    // One row per parameter of shell (none for null); every box clear.
    void LayOut(const VexaDataShell* shell);
    int32_t GetParamCount() const { return int32_t(m_labels.size()); }
    // The width and height the matrix takes, caption row included.
    QSize MatrixSize() const;

    // Whether code and param name a box of this matrix.
    bool HasBox(int32_t code, int32_t param) const;
    QCheckBox* Box(int32_t param, int32_t column) const;
    void Check(int32_t code, int32_t param, bool on);
    void ClearAll();
    // (k + 2, p) for every checked box, row by row.
    void AppendChecked(std::vector<int32_t>* codes, std::vector<int32_t>* params) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Geometry m_geometry;
    std::vector<QString> m_labels;
    std::vector<QCheckBox*> m_boxes;  // row-major, kColumns per parameter
};
