#include "dialogs/RecordWatch.h"

#include "base/Archive.h"
#include "report/page/LumitraDoc.h"
#include "report/page/TrkObj.h"

CRecordWatch::CRecordWatch(const CTrkObj* obj) : m_obj(obj), m_before(RecordOf(obj)) {}

std::vector<uint8_t> CRecordWatch::RecordOf(const CTrkObj* obj) {
    if (!obj) return {};
    CArchive ar;
    obj->Store(ar);
    return ar.Bytes();
}

bool CRecordWatch::Commit() {
    if (!m_obj) return false;
    CLumitraDoc* doc = m_obj->GetDocument();
    // Only an object on its document's page is part of the report.
    if (!doc || doc->GetObjectIndex(m_obj) < 0) return false;
    std::vector<uint8_t> now = RecordOf(m_obj);
    if (now == m_before) return false;
    m_before = std::move(now);
    doc->SetModifiedFlag(true);
    return true;
}
