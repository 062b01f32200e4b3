// Reads arbitrary bytes as a ".fld" report: nothing may crash, leak, read
// outside the input, allocate far beyond its size or hang, and a refused file
// must leave the gate palette as it was.
//
// Built on the core alone it reads the head and every data-set record (with
// their gates, regions, transforms and matrices) and writes each shell read
// out again. Built with the window program's library it reads whole
// documents, page objects included, through the document itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/Archive.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "report/page/FileRecords.h"

#ifdef LUMITRA_FUZZ_WHOLE_DOCUMENT
#include "tests/support/ui/ScriptedUiServices.h"
#include "report/page/LumitraDoc.h"
#endif

namespace {

bool PaletteIsDefault() {
    static const std::vector<COLORREF> fresh = [] {
        ResetGateColorPalette();
        return std::vector<COLORREF>(GateColorPalette(), GateColorPalette() + kGatePaletteSize);
    }();
    return std::vector<COLORREF>(GateColorPalette(), GateColorPalette() + kGatePaletteSize) == fresh;
}

#ifndef LUMITRA_FUZZ_WHOLE_DOCUMENT
// The head and the data-set records, as the document reads them.
void ReadShells(const uint8_t* data, size_t size) {
    CArchive ar(std::vector<uint8_t>(data, data + size));
    FldDocumentHead head;
    LoadFldHead(ar, &head);
    if (!head.hasShells) return;
    std::vector<std::unique_ptr<VexaDataShell>> shells;
    for (int32_t i = 0; i < head.shellCount; ++i) {
        CFileFCSShell rec;
        rec.Load(ar, head.templateFlag != 0);
        if (rec.GetPalette().size() != size_t(rec.GetShell()->GetGateCount())) std::abort();
        shells.push_back(rec.TakeShell());
    }
    // What was taken writes itself out again and reads back the same.
    for (const auto& s : shells) {
        try {
            CArchive out;
            CFileFCSShell(s.get(), "").Store(out, false);
            CArchive in(out.Bytes());
            CFileFCSShell again;
            again.Load(in, false);
            if (in.Remaining() != 0 || again.GetShell()->GetGateCount() != s->GetGateCount()) std::abort();
        } catch (const CArchiveException&) {
            std::abort();
        }
    }
}
#endif

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Stored paths name files of the fuzzing machine: never look them up.
    CFileFCSShell::SetFileLookup(false);
#ifdef LUMITRA_FUZZ_WHOLE_DOCUMENT
    // A message box must never wait for an answer.
    static lm::ScriptedUiServices ui;
    lm::SetUiServices(&ui);
#endif
    (void)PaletteIsDefault();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#ifdef LUMITRA_FUZZ_WHOLE_DOCUMENT
    bool refused = false;
    {
        CLumitraDoc doc;
        try {
            CArchive ar(std::vector<uint8_t>(data, data + size));
            doc.Serialize(ar);
            CArchive out;
            doc.Serialize(out);
        } catch (const CArchiveException&) {
            refused = true;
            // Whatever was built is taken back.
            if (doc.GetDataShellCount() != 0 || doc.GetObjectCount() != 0) std::abort();
        }
    }
    if (refused && !PaletteIsDefault()) std::abort();
    ResetGateColorPalette();
#else
    try {
        ReadShells(data, size);
    } catch (const CArchiveException&) {
    }
    // Records alone never touch the palette.
    if (!PaletteIsDefault()) std::abort();
#endif
    return 0;
}
