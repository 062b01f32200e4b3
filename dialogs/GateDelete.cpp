#include "dialogs/GateDelete.h"

#include <QString>

#include <algorithm>
#include <vector>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Observers.h"
#include "platform/UiServices.h"
#include "report/app/LumitraApp.h"
#include "report/page/LumitraDoc.h"
#include "report/page/TrkObj.h"
#include "report/plot/Plot.h"

namespace {

QString Counted(int32_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromLatin1(n == 1 ? one : many));
}

}  // namespace

GateDeleteToll CountGateDelete(CGateNode* gate) {
    GateDeleteToll toll;
    VexaDataShell* shell = gate ? gate->GetShell() : nullptr;
    if (!shell) return toll;
    const std::vector<CGateNode*> doomed = shell->GatesRemovedWith(gate);
    toll.gates = int32_t(doomed.size());
    // A plot goes with its own gate; one that only shows a doomed gate's
    // region or dots stays.
    std::vector<const CPLOT*> plots;
    for (CGateNode* g : doomed) {
        for (CGateUser* u : g->GetUsers()) {
            if (u->GetUserKind() != kUserPlot) continue;
            const auto* plot = dynamic_cast<const CPLOT*>(u);
            if (!plot || plot->GetGate() != g) continue;
            const CLumitraDoc* doc = plot->GetDocument();
            if (!doc || doc->GetObjectIndex(plot) < 0) continue;
            if (std::find(plots.begin(), plots.end(), plot) == plots.end()) plots.push_back(plot);
        }
    }
    toll.plots = int32_t(plots.size());
    return toll;
}

bool DeleteGateAsked(QWidget* parent, CGateNode* gate) {
    VexaDataShell* shell = gate ? gate->GetShell() : nullptr;
    if (!shell || shell->GetGateIndex(gate) <= 0) return false;
    const GateDeleteToll toll = CountGateDelete(gate);
    if (toll.gates > 1 || toll.plots > 0) {
        const QString text = QStringLiteral("Deleting gate %1 removes %2 and %3 from the report. Delete?")
                                 .arg(QString::fromStdString(gate->GetDisplayName(true)),
                                      Counted(toll.gates, "gate", "gates"), Counted(toll.plots, "plot", "plots"));
        const int32_t answer =
            lm::Ui().MessageBox(parent, text, QStringLiteral("Delete"), lm::MsgButtons::YesNo, lm::MsgIcon::Question);
        if (answer != lm::kIdYes) return false;
        // The gate may have gone while the question was up.
        if (shell->GetGateIndex(gate) <= 0) return false;
    }
    CLumitraDoc* doc = DocumentOfGate(gate);
    shell->RemoveGate(gate, true);
    if (doc) {
        doc->SetModifiedFlag(true);
        doc->RedrawDirty();
    }
    return true;
}

bool DataSetDeleteAgreed(QWidget* parent, CLumitraDoc* doc, const std::vector<VexaDataShell*>& shells) {
    if (!doc) return false;
    int32_t gates = 0;
    int32_t objects = 0;
    for (VexaDataShell* shell : shells) {
        if (doc->GetDataShellIndex(shell) < 0) continue;
        gates += std::max<int32_t>(shell->GetGateCount() - 1, 0);  // "All" is not one the user made
        for (CDataShellUser* u : shell->GetUsers()) {
            const int32_t kind = u->GetUserKind();
            if (kind != kUserPlot && kind != kUserResultTable) continue;
            if (auto* obj = dynamic_cast<const CTrkObj*>(u); obj && doc->GetObjectIndex(obj) >= 0) ++objects;
        }
    }
    if (objects == 0) return true;
    const QString what = shells.size() == 1
                             ? QStringLiteral("data set %1").arg(QString::fromStdString(shells.front()->GetName()))
                             : QStringLiteral("%1 data sets").arg(shells.size());
    const QString text = QStringLiteral("Deleting %1 removes %2 and %3 from the report. Delete?")
                             .arg(what, Counted(gates, "gate", "gates"),
                                  Counted(objects, "plot or table", "plots and tables"));
    return lm::Ui().MessageBox(parent, text, QStringLiteral("Delete"), lm::MsgButtons::YesNo, lm::MsgIcon::Question) ==
           lm::kIdYes;
}

CLumitraDoc* DocumentOfGate(const CGateNode* gate) {
    const VexaDataShell* shell = gate ? gate->GetShell() : nullptr;
    CLumitraApp* app = GetLumitraApp();
    if (!shell || !app) return nullptr;
    for (const auto& doc : app->GetDocuments())
        if (doc && doc->GetDataShellIndex(shell) >= 0) return doc.get();
    return nullptr;
}
