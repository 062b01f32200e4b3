#pragma once
// Whether an edit made on a property page changed what the report file would
// hold for one page object. The object's record is taken when the watch is
// made and again at Commit; only a difference marks the object's document
// modified. So an edit that changes nothing, or only something the file does
// not keep (an overlay's visibility), leaves the report unmarked.
#include <cstdint>
#include <vector>

class CTrkObj;

class CRecordWatch {
public:
    // obj may be null (nothing is watched); it must outlive the watch.
    explicit CRecordWatch(const CTrkObj* obj);

    // True, and the document on whose page the object lies marked modified,
    // when the record differs from the one taken at construction.
    bool Commit();

private:
    static std::vector<uint8_t> RecordOf(const CTrkObj* obj);

    const CTrkObj* m_obj;
    std::vector<uint8_t> m_before;
};
