// Loads arbitrary bytes as an FCS file, then compensates with the matrix the
// file brings and counts a mask over its events: nothing may crash, read
// outside the input or allocate far beyond its size.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/MappedFile.h"
#include "core/DataSet.h"
#include "core/EventBitMask.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lm::MappedFile file;
    file.OpenMemory(data, size);
    for (int32_t index = 0; index < 2; ++index) {
        std::unique_ptr<CDataSet> ds(new CDataSet());
        ds->LoadFrom(file, "fuzz.fcs", index);
        CEventMatrix* m = ds->GetEventMatrix();
        if (!m) continue;
        if (CParamSet* ps = ds->GetParamSet())
            if (CSpillMatrix* spill = ps->GetSpillMatrix()) ds->Compensate(spill);
        EventBitMask mask(uint32_t(m->GetEventCount()));
        for (int32_t e = 0; e < m->GetEventCount(); e += 3) mask.Set(uint32_t(e));
        GateEventIterator it(m->CurrentColumns(), uint32_t(m->GetEventCount()), mask);
        volatile float sum = 0;
        for (; it.Valid() && !it.AtEnd(); it.Next())
            if (it.InGate() && m->GetParamCount() > 0) sum = sum + it.Value(0);
        (void)sum;
    }
    return 0;
}
