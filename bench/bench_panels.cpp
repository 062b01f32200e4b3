// The panels at the sizes a lab works with. Prints its figures and these
// BENCH keys; run by hand:
//   tree_500_build_ms    the Navigate tree of 20 data sets x 25 gates built
//   panel_drag_share_ms  what a region drag step costs more with Navigate bound
//   and_gate_shown_ms    an AND gate of a 500-gate data set made and painted
//   csv_100x50_s         "Export Result" of 100 data sets x 50 gates, OK to file closed
//   csv_peak_mb          the memory that export takes above the data sets
//   bench_panels
#include <QApplication>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/StatItem.h"
#include "dialogs/DataTree.h"
#include "dialogs/NavigateDlg.h"
#include "dialogs/ShellNameDlg.h"
#include "report/page/LumitraDoc.h"
#include "tests/support/FcsWriter.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using lmbench::Clock;
using lmbench::Ms;

// events x params floats, values 0..1000 from seed.
CDataSet* MakeWide(int64_t events, int params, unsigned seed) {
    std::vector<uint8_t> raw(size_t(events) * size_t(params) * 4);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 1000.0f);
    auto* out = reinterpret_cast<float*>(raw.data());
    for (size_t i = 0; i < size_t(events) * size_t(params); ++i) out[i] = u(rng);
    lmtest::FcsWriter w;
    for (int p = 0; p < params; ++p) w.Param("P" + std::to_string(p + 1), 32, "1024");
    w.RawData(std::move(raw)).Set("$TOT", std::to_string(events));
    return lmtest::LoadFcsBytes(w.Build(), 0, "bench" + std::to_string(seed) + ".fcs").release();
}

// gates - 1 rectangles on the first two parameters (with "All": gates).
void AddRects(VexaDataShell& shell, int gates, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(0.0f, 0.5f);
    for (int g = 1; g < gates; ++g) {
        const float x = u(rng), y = u(rng);
        shell.AddRegionGate(std::make_unique<CrRect>(0, 1, RgnPoint{x, y}, RgnPoint{x + 0.4f, y + 0.4f}), 0,
                            "G" + std::to_string(g));
    }
}

// Resident and peak resident KiB from /proc; the peak is reset first so
// that only what follows counts (making the data sets peaked higher).
long ProcKiB(const char* field) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    long v = 0;
    const size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0) v = std::atol(line + n);
    std::fclose(f);
    return v;
}
void ResetPeak() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

double Median(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    return t.empty() ? 0 : t[t.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    lmbench::UseOffscreenWithoutDisplay();
    QApplication app(argc, argv);
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped(&ui);

    // ---- the tree of 20 data sets x 25 gates, 100,000 events each
    {
        CLumitraDoc doc;
        for (int s = 0; s < 20; ++s) {
            VexaDataShell* shell = doc.AttachDataShell(std::make_unique<VexaDataShell>(MakeWide(100000, 3, 10 + s), ""));
            AddRects(*shell, 25, 100 + s);
        }
        CNavigateDlg nav;
        nav.resize(260, 700);
        nav.show();
        std::vector<double> builds;
        for (int i = 0; i < 15; ++i) {
            nav.BindDocument(nullptr);
            const auto t0 = Clock::now();
            nav.BindDocument(&doc);
            builds.push_back(Ms(t0, Clock::now()));
        }
        int items = 0;
        for (int r = 0; r < nav.GetTree()->topLevelItemCount(); ++r) items += nav.GetTree()->topLevelItem(r)->childCount();
        std::printf("tree of %d gates: median %.3f ms\n", items, Median(builds));
        lmbench::Bench("tree_500_build_ms", Median(builds), "ms");

        // A drag step of a region: with the panel observing, against without.
        VexaDataShell* shell = doc.GetDataShellAt(3);
        auto* rect = static_cast<CrRect*>(shell->GetGate(5)->GetRegion());
        QTreeWidgetItem* before = nav.GetTree()->FindGateItem(shell->GetGate(5));
        auto steps = [&](int n) {
            std::vector<double> t;
            for (int i = 0; i < n; ++i) {
                const float d = 0.001f * float(i % 50);
                const auto t0 = Clock::now();
                rect->SetGeometry({0.1f + d, 0.1f, 0.5f + d, 0.5f}, nullptr);
                QCoreApplication::processEvents();
                t.push_back(Ms(t0, Clock::now()));
            }
            return t;
        };
        std::vector<double> with, without;
        for (int round = 0; round < 5; ++round) {
            auto w = steps(40);
            with.insert(with.end(), w.begin(), w.end());
            nav.BindDocument(nullptr);
            auto o = steps(40);
            without.insert(without.end(), o.begin(), o.end());
            nav.BindDocument(&doc);
            before = nav.GetTree()->FindGateItem(shell->GetGate(5));
        }
        const auto w = steps(40);
        const bool rebuilt = nav.GetTree()->FindGateItem(shell->GetGate(5)) != before;
        const double share = std::max(0.0, Median(with) - Median(without));
        std::printf("drag step: %.3f ms bound, %.3f ms unbound, tree %s\n", Median(with), Median(without),
                    rebuilt ? "REBUILT" : "kept");
        lmbench::Bench("panel_drag_share_ms", share, "ms");
    }

    // ---- an AND gate in a data set of 500 gates
    {
        CLumitraDoc doc;
        VexaDataShell* shell = doc.AttachDataShell(std::make_unique<VexaDataShell>(MakeWide(100000, 3, 7), "big"));
        AddRects(*shell, 500, 8);
        CNavigateDlg nav;
        nav.resize(260, 700);
        nav.show();
        nav.BindDocument(&doc);
        CDataTree* tree = nav.GetTree();
        std::vector<double> times;
        for (int i = 0; i < 10; ++i) {
            nav.GetAndButton()->click();
            tree->topLevelItem(0)->setExpanded(true);
            QTreeWidgetItem* root = tree->topLevelItem(0);
            tree->SetItemSelected(root->child(1 + i), true);
            tree->SetItemSelected(root->child(2 + i), true);
            QCoreApplication::processEvents();
            const auto t0 = Clock::now();
            nav.GetAndButton()->click();
            tree->scrollToItem(tree->currentItem());
            tree->viewport()->repaint();
            times.push_back(Ms(t0, Clock::now()));
        }
        std::printf("AND gate shown (500+ gates): median %.3f ms, %d gates now\n", Median(times), shell->GetGateCount());
        lmbench::Bench("and_gate_shown_ms", Median(times), "ms");
    }

    // ---- the CSV of 100 data sets x 50 gates, 50,000 events x 8 parameters
    {
        std::vector<std::unique_ptr<VexaDataShell>> shells;
        for (int s = 0; s < 100; ++s) {
            shells.push_back(std::make_unique<VexaDataShell>(MakeWide(50000, 8, 1000 + s), ""));
            AddRects(*shells.back(), 50, 2000 + s);
        }
        std::vector<VexaDataShell*> raw;
        for (auto& s : shells) raw.push_back(s.get());
        CsvExportChoice choice;
        choice.keywords = {"FileName"};
        for (int32_t code : {kStatEvents, kStatPercent, kStatParentPercent, kStatMean, kStatMedian}) {
            choice.codes.push_back(code);
            choice.params.push_back(2);
        }
        lmtest::TempDir dir;
        ResetPeak();
        const long rssBefore = ProcKiB("VmRSS:");
        const auto t0 = Clock::now();
        std::vector<VexaDataShell*> differing;
        const std::string text = CShellNameDlg::BuildCsv(choice, raw, &differing);
        FILE* f = std::fopen(dir.File("out.csv").c_str(), "wb");
        const bool ok = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
        if (f) std::fclose(f);
        const double s = lmbench::Seconds(t0, Clock::now());
        const long rssAfter = ProcKiB("VmHWM:");
        std::printf("CSV %zu bytes %s in %.3f s; resident %ld KiB before, peak %ld KiB during\n", text.size(),
                    ok ? "written" : "NOT written", s, rssBefore, rssAfter);
        lmbench::Bench("csv_100x50_s", s, "s");
        lmbench::Bench("csv_peak_mb", double(rssAfter - rssBefore) / 1024.0, "MB");
    }
    return 0;
}
