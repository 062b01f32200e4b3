#include "dialogs/RltHeadDlg.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>

#include <strings.h>

#include "dialogs/DialogControls.h"
#include "dialogs/RecordWatch.h"
#include "dialogs/ResultDlgIds.h"
#include "report/page/LumitraDoc.h"

namespace {

struct HeadBox {
    int32_t id;
    const char* caption;
    const char* keyword;
    QRect place;
};

// In the order keywords are collected; each box keeps its own keyword
// whatever order the boxes were declared in.
const HeadBox kHeadBoxes[CRltHeadDlg::kBoxCount] = {
    {kHeadCurrentFileName, "Current File Name", "FileName", QRect(10, 10, 140, 20)},
    {kHeadOriginalFileName, "Original File Name", "$FIL", QRect(10, 35, 140, 20)},
    {kHeadPatientId, "Patient ID", "$PATIENT ID", QRect(10, 60, 140, 20)},
    {kHeadSampleId, "Sample ID", "$SAMPLE ID", QRect(10, 110, 140, 20)},
    {kHeadDate, "Date", "$DATE", QRect(10, 85, 140, 20)},
};

bool SameKeyword(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

}  // namespace

const char* CRltHeadDlg::BoxKeyword(size_t i) { return i < kBoxCount ? kHeadBoxes[i].keyword : ""; }

CRltHeadDlg::CRltHeadDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("headPage"));
    setWindowTitle(QStringLiteral("Head"));
    for (size_t i = 0; i < kBoxCount; ++i) {
        const HeadBox& b = kHeadBoxes[i];
        m_boxes[i] = lm::WithControlId(new QCheckBox(QString::fromLatin1(b.caption), this), b.id);
        m_boxes[i]->setGeometry(b.place);
    }
    m_boxes[0]->setChecked(true);
    m_list = lm::WithControlId(new QListWidget(this), kHeadList);
    m_list->setGeometry(160, 35, 130, 95);
    m_list->setEnabled(false);
    auto* keyWords = lm::WithControlId(new QPushButton(QStringLiteral("Key Words"), this), kHeadKeyWords);
    keyWords->setGeometry(160, 10, 130, 20);
    keyWords->setEnabled(false);
    m_apply = lm::WithControlId(new QPushButton(QStringLiteral("Apply"), this), kHeadApply);
    m_apply->setGeometry(80, 145, 50, 20);
    m_cancel = lm::WithControlId(new QPushButton(QStringLiteral("Cancel"), this), kHeadCancel);
    m_cancel->setGeometry(150, 145, 50, 20);
    connect(m_apply, &QPushButton::clicked, this, &CRltHeadDlg::OnApply);
    connect(m_cancel, &QPushButton::clicked, this, &CRltHeadDlg::OnCancel);
    resize(300, 175);
}

CRltHeadDlg::~CRltHeadDlg() { Unbind(); }

void CRltHeadDlg::SetButtonsVisible(bool visible) {
    m_apply->setVisible(visible);
    m_cancel->setVisible(visible);
}

void CRltHeadDlg::Unbind() {
    if (m_table) m_table->RemoveBinding(this);
    m_table = nullptr;
    m_kept.clear();
}

void CRltHeadDlg::SetResult(CTrkResult* table) {
    Unbind();
    m_table = table;
    if (m_table) m_table->AddBinding(this);
    SetFromTable();
}

void CRltHeadDlg::OnResultDestroyed(CTrkResult* table) {
    if (table != m_table) return;
    m_table = nullptr;
    Unbind();
}

void CRltHeadDlg::SetFromTable() {
    if (!m_table) return;
    m_keywords = m_table->Keywords();
    m_kept.clear();
    m_list->clear();
    for (size_t i = 0; i < kBoxCount; ++i) {
        bool on = false;
        for (const std::string& k : m_keywords) on = on || SameKeyword(k, kHeadBoxes[i].keyword);
        m_boxes[i]->setChecked(on);
    }
    for (const std::string& k : m_keywords) {
        m_list->addItem(QString::fromStdString(k));
        bool shown = false;
        for (const HeadBox& b : kHeadBoxes) shown = shown || SameKeyword(k, b.keyword);
        if (!shown) m_kept.push_back(k);
    }
}

void CRltHeadDlg::Collect() {
    m_list->clear();
    m_keywords.clear();
    for (size_t i = 0; i < kBoxCount; ++i) {
        if (!m_boxes[i]->isChecked()) continue;
        m_keywords.emplace_back(kHeadBoxes[i].keyword);
        m_list->addItem(QString::fromLatin1(kHeadBoxes[i].keyword));
    }
}

void CRltHeadDlg::OnApply() {
    Collect();
    if (!m_table) return;
    std::vector<std::string> keywords = m_keywords;
    keywords.insert(keywords.end(), m_kept.begin(), m_kept.end());
    // More or fewer header lines change the table's height: both the old and
    // the new rectangle are repainted.
    if (CLumitraDoc* doc = m_table->GetDocument()) doc->AddDirtyRect(m_table->GetRect());
    CRecordWatch watch(m_table);
    m_table->Keywords() = keywords;
    m_table->RebuildAndRedraw();
    watch.Commit();
}

void CRltHeadDlg::OnCancel() {
    if (m_table) {
        SetFromTable();
        return;
    }
    // Embedded in another dialog the page must not hide itself.
    if (isWindow()) reject();
}
