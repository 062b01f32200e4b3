// Reads arbitrary bytes as a ".fld" report: nothing may crash, leak, read
// outside the input, allocate far beyond its size or hang, and a refused file
// must leave the gate palette as it was.
//
// Built on the core alone it reads the head and every data-set record (with
// their gates, regions, transforms and matrices) and writes each shell read
// out again. Built with the window program's library it reads whole
// documents, page objects included (plots with their layers, result tables,
// grids, text boxes), through the document itself, under an offscreen Qt
// application as the program has one; what it read is written, read again
// and written again, and both writes must be the same bytes.
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
#include <QApplication>
#include <QFontMetrics>

#include <cstdio>

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

#ifdef LUMITRA_FUZZ_WHOLE_DOCUMENT
lm::ScriptedUiServices& Ui() {
    static lm::ScriptedUiServices ui;
    return ui;
}

// Ends the run with what went wrong, so the crash report says it.
[[noreturn]] void Fail(const char* what, const std::string& detail = "") {
    std::fprintf(stderr, "fuzz_fld: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::abort();
}

std::vector<uint8_t> Write(CLumitraDoc& doc) {
    CArchive out;
    doc.Serialize(out);
    return out.Bytes();
}

// A document the reader took: its own write must read back and write the
// same bytes again.
void WriteReadWrite(CLumitraDoc& doc) {
    std::vector<uint8_t> first;
    try {
        first = Write(doc);
    } catch (const CFldUnsupported&) {
        return;  // refused before anything was written, with a message
    } catch (const CArchiveException& e) {
        Fail("a document that was read cannot be written", e.what());
    }
    // For a look at what was written: LUMITRA_FUZZ_FLD_DUMP names a file
    // that receives it (when a crash input is run again).
    if (const char* dump = std::getenv("LUMITRA_FUZZ_FLD_DUMP")) {
        if (std::FILE* f = std::fopen(dump, "wb")) {
            std::fwrite(first.data(), 1, first.size(), f);
            std::fclose(f);
        }
    }
    CLumitraDoc again;
    try {
        CArchive in(first);
        again.Serialize(in);
        if (in.Remaining() != 0) Fail("the written document has bytes its reader leaves");
    } catch (const CArchiveException& e) {
        Fail("the reader refuses what the writer wrote", e.what());
    }
    if (again.GetObjectCount() != doc.GetObjectCount() || again.GetDataShellCount() != doc.GetDataShellCount())
        Fail("the written document reads back with other objects or data sets");
    try {
        if (Write(again) != first) Fail("writing what was read back gives other bytes");
    } catch (const CArchiveException& e) {
        Fail("a document read back cannot be written again", e.what());
    }
}
#endif

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Stored paths name files of the fuzzing machine: never look them up.
    CFileFCSShell::SetFileLookup(false);
#ifdef LUMITRA_FUZZ_WHOLE_DOCUMENT
    // Page objects measure text and make pictures as in the program: they
    // get an application, offscreen unless a platform is named. Never
    // destroyed, like the program's own, which lives until exit.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_fld";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    (void)app;
    // The font libraries fill their caches on first use and keep them: fill
    // them now, so no input is blamed for memory they hold.
    (void)QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("0.00 FileName"));
    // A message box must never wait for an answer.
    lm::SetUiServices(&Ui());
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
        } catch (const CArchiveException&) {
            refused = true;
            // Whatever was built is taken back.
            if (doc.GetDataShellCount() != 0 || doc.GetObjectCount() != 0)
                Fail("a refused document keeps what it read");
        }
        if (!refused) WriteReadWrite(doc);
    }
    if (refused && !PaletteIsDefault()) Fail("a refused document changed the gate palette");
    ResetGateColorPalette();
    // The stand-in keeps every request; a long run must not grow with them.
    Ui().Clear();
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
