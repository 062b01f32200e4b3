// Cost of the data-set dialogs on large synthetic data (10 parameters, 8 x 8
// SPILL, 10 gates on logicle axes, a dot plot of FL1/FL2):
// - a compensation spinner step through the dialog (coefficient, gate
//   re-evaluation, plot redrawn) beside the same step made on the shell
//   directly, the dialog's own part of a step, and how many applies a burst
//   of steps costs;
// - Transform Apply of one parameter to logicle with the plot redrawn;
// - Auto Max ("5%") on the root gate.
// Each size runs in its own child process. Run by hand:
//   bench_dialogs [events...]      (default: 1000000 10000000)
// Script-readable lines, keyed by the size run: BENCH comp_dialog_overhead_1m_ms,
// comp_dialog_overhead_10m_ms, trans_apply_10m_ms, auto_max_10m_ms (and the
// 1m ones of the last two).
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/MappedFile.h"
#include "bench/BenchCommon.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Region.h"
#include "core/Trans.h"
#include "dialogs/CompDlg.h"
#include "dialogs/DataSetDlgIds.h"
#include "dialogs/DialogControls.h"
#include "dialogs/SpinButton.h"
#include "dialogs/TransDlg.h"
#include "report/plot/Plot.h"
#include "report/plot/PlotDefaults.h"
#include "tests/support/ui/ScriptedUiServices.h"

namespace {

using lmbench::Clock;
using lmbench::Ms;
using lmbench::Time;

constexpr int kParams = lmbench::kSpillParams;
constexpr int kFirstFl = lmbench::kSpillFirstFl;

std::vector<uint8_t> BuildFile(int64_t events) { return lmbench::SpillFileBytes(events, 0x2545F4914F6CDD1Dull); }

void Key(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
}

// The plot drawn as the view would after a notice.
void Redraw(CPLOT& plot, QImage& page) {
    page.fill(Qt::white);
    QPainter p(&page);
    plot.Draw(&p);
}

int RunSize(int64_t events) {
    int argc = 1;
    char name[] = "bench_dialogs";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    lm::ScriptedUiServices ui;
    lm::ScopedUiServices scoped(&ui);
    std::printf("== %lld events, %d parameters, 8x8 SPILL, 10 gates, logicle axes ==\n", (long long)events, kParams);

    CDataSet* ds = nullptr;
    {
        std::vector<uint8_t> bytes = BuildFile(events);
        lm::MappedFile file;
        file.OpenMemory(bytes.data(), bytes.size());
        ds = new CDataSet();
        ds->LoadFrom(file, "bench.fcs", 0);
    }
    if (ds->GetEventCount() != events || !ds->GetParamSet()->GetSpillMatrix()) {
        std::printf("  synthetic file not read as expected\n");
        return 1;
    }
    VexaDataShell shell(ds, "bench");
    for (int p = 0; p < kParams; ++p) shell.SetTrans(std::make_unique<CLogical>(262144.0f, -10.0f, 4.5f), p);
    for (int i = 0; i < 9; ++i) {
        const float x = 0.1f + 0.08f * float(i);
        shell.AddRegionGate(std::make_unique<CrRect>(kFirstFl, kFirstFl + 1, RgnPoint{x, 0.2f}, RgnPoint{x + 0.15f, 0.7f}),
                            0, "G" + std::to_string(i + 1));
    }
    GetPlotDefaults() = PlotDefaults{};
    GetPlotDefaults().style = kPlotFlagDots;
    CPLOT plot(CRect(0, 0, 250, 250), shell.GetRoot(), nullptr, kFirstFl, kFirstFl + 1);
    QImage page(300, 300, QImage::Format_RGB32);
    Redraw(plot, page);

    // ---- compensation: the same step on the shell and through the dialog,
    // taken in turns so that both see the same machine ----
    CCompDlg dlg;
    dlg.AttachPlot(&plot);
    if (!dlg.OnInitDialog()) return 1;
    auto* spin = lm::FindControl<CSpinButton>(&dlg, kCompSpinXY);
    const float start = shell.GetCompValue(kFirstFl, kFirstFl + 1);
    std::vector<double> coreMs, dialogMs;
    for (int run = 0; run < 10; ++run) {
        const int key = run % 2 ? Qt::Key_Down : Qt::Key_Up;
        const float value = start + (run % 2 ? 0.0f : 0.002f);
        auto shellStep = [&] {
            coreMs.push_back(Time(1, [&] {
                shell.SetCompValue(kFirstFl, kFirstFl + 1, value);
                plot.RebuildLayers(true);
                Redraw(plot, page);
            }).min);
        };
        auto dialogStep = [&] {
            dialogMs.push_back(Time(1, [&] {
                Key(spin, key);
                QCoreApplication::processEvents();
                Redraw(plot, page);
            }).min);
        };
        // Each goes first in half the pairs: the second of two heavy steps
        // in a row tends to be the slower one.
        if (run % 4 < 2) {
            shellStep();
            dialogStep();
        } else {
            dialogStep();
            shellStep();
        }
        if (std::getenv("BENCH_VERBOSE"))
            std::printf("    pair %d: shell %.1f ms, dialog %.1f ms\n", run, coreMs.back(), dialogMs.back());
    }
    // What the dialog adds to a step, without the shell's and the plot's
    // work (the same calls either way, and on a loaded machine their spread
    // hides a few milliseconds): the key handled, the edit written, the apply
    // queued, the event loop turned and the queued apply run up to the
    // shell. A step up and back leaves nothing to apply.
    const double dialogOnly = Time(21, [&] {
        Key(spin, Qt::Key_Up);
        Key(spin, Qt::Key_Down);
        QCoreApplication::processEvents();
    }).median;
    // A held arrow: ten steps before the event loop turns once.
    const int32_t before = dlg.GetAppliedCount();
    const double burst = Time(1, [&] {
        for (int i = 0; i < 10; ++i) Key(spin, Qt::Key_Up);
        QCoreApplication::processEvents();
        Redraw(plot, page);
    }).min;
    const int32_t applies = dlg.GetAppliedCount() - before;
    dlg.reject();
    const lmbench::Stats coreStats = lmbench::Summarize(coreMs), dialogStats = lmbench::Summarize(dialogMs);
    const double overhead = dialogOnly;
    std::printf("  compensation step (coefficient, 10 gates re-evaluated, plot redrawn), 10 each:\n"
                "    on the shell      min %7.1f  median %7.1f ms\n"
                "    through the dialog min %7.1f  median %7.1f ms (difference of medians %.1f ms)\n"
                "  the dialog's own part of a step (key, edit, queue, event loop, apply dispatch) %.3f ms\n",
                coreStats.min, coreStats.median, dialogStats.min, dialogStats.median,
                dialogStats.median - coreStats.median, overhead);
    std::printf("  ten steps in one burst: %d apply, %7.1f ms\n", applies, burst);

    // ---- Transform Apply: FL1, which every gate uses, from linear to
    // logicle; the gates follow and the plot is redrawn ----
    const int32_t par = kFirstFl;
    double transApply = 0;
    for (int run = 0; run < 3; ++run) {
        shell.SetTrans(std::make_unique<CTRANS>(0.0f, 262144.0f), par);
        plot.RebuildLayers(true);
        Redraw(plot, page);
        CTransDlg trans(&shell);
        trans.OnInitDialog();
        auto* params = lm::FindControl<QComboBox>(&trans, kTransParam);
        auto* mode = lm::FindControl<QComboBox>(&trans, kTransMode);
        while (params->currentIndex() < par) Key(params, Qt::Key_Down);
        while (mode->currentIndex() < kTransModeLogical) Key(mode, Qt::Key_Down);
        auto* apply = lm::FindControl<QPushButton>(&trans, kTransApply);
        const double t = Time(1, [&] {
            apply->click();
            Redraw(plot, page);
        }).min;
        transApply = run == 0 ? t : std::min(transApply, t);
    }
    std::printf("  Transform Apply (FL1 to logicle, 9 gates re-evaluated, plot redrawn) %7.1f ms, now %s\n",
                transApply, shell.GetTrans(par)->GetType() == kTransLogical ? "logicle" : "NOT logicle");

    // ---- Auto Max on the root ----
    CTransDlg trans(&shell);
    trans.OnInitDialog();
    lm::FindControl<QComboBox>(&trans, kTransAutoMaxFrac)->setCurrentText("5%");
    auto* autoMax = lm::FindControl<QPushButton>(&trans, kTransAutoMax);
    const double autoMaxMs = Time(5, [&] {
        ui.QueueMenuChoice(1);
        autoMax->click();
    }).min;
    std::printf("  Auto Max 5%% on the root %7.1f ms -> Max %s\n", autoMaxMs,
                lm::FindControl<QLineEdit>(&trans, kTransMax)->text().toStdString().c_str());

    const std::string size = lmbench::SizeKey(events);
    lmbench::Bench("comp_dialog_overhead_" + size + "_ms", overhead, "ms");
    lmbench::Bench("trans_apply_" + size + "_ms", transApply, "ms");
    lmbench::Bench("auto_max_" + size + "_ms", autoMaxMs, "ms");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    lmbench::UseOffscreenWithoutDisplay();
    const std::vector<int64_t> sizes = lmbench::SizesFromArgs(argc, argv);
    return lmbench::RunEachSizeInAChild(sizes, RunSize);
}
