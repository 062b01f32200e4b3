#include "dialogs/GateDelete.h"

#include <QString>

#include <algorithm>
#include <vector>

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Observers.h"
#include "core/StatItem.h"
#include "platform/UiServices.h"
#include "report/app/LumitraApp.h"
#include "report/page/Cell.h"
#include "report/page/Grid.h"
#include "report/page/LumitraDoc.h"
#include "report/page/TrkObj.h"
#include "report/plot/Plot.h"

namespace {

QString Counted(int32_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromLatin1(n == 1 ? one : many));
}

// Grid cells on doc's page that show a statistic of gate: a gate's
// statistics take such cells with them when they go (a result table's own
// cells go with the table and are not counted).
int32_t LooseCellsOf(const CGateNode* gate, const CLumitraDoc* doc) {
    const CStatItem* item = gate ? gate->GetStatItem() : nullptr;
    if (!item || !doc) return 0;
    int32_t n = 0;
    for (CStatUser* u : item->GetUsers()) {
        if (u->GetMode() != kStatUserLooseCell) continue;
        const auto* cell = dynamic_cast<const CStatCell*>(u);
        const CGrid* grid = cell ? cell->GetGrid() : nullptr;
        if (grid && doc->GetObjectIndex(grid) >= 0) ++n;
    }
    return n;
}

// "2 gates and 1 plot from the report", and what it empties when it does.
QString TollText(int32_t gates, int32_t objects, const char* one, const char* many, int32_t cells) {
    QString text = Counted(gates, "gate", "gates") + QStringLiteral(" and ") + Counted(objects, one, many) +
                   QStringLiteral(" from the report");
    if (cells > 0) text += QStringLiteral(" and empties ") + Counted(cells, "grid cell", "grid cells");
    return text;
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
    const CLumitraDoc* doc = DocumentOfGate(gate);
    for (CGateNode* g : doomed) toll.cells += LooseCellsOf(g, doc);
    return toll;
}

bool DeleteGateAsked(QWidget* parent, CGateNode* gate) {
    VexaDataShell* shell = gate ? gate->GetShell() : nullptr;
    if (!shell || shell->GetGateIndex(gate) <= 0) return false;
    const GateDeleteToll toll = CountGateDelete(gate);
    if (toll.gates > 1 || toll.plots > 0 || toll.cells > 0) {
        const QString text = QStringLiteral("Deleting gate %1 removes %2. Delete?")
                                 .arg(QString::fromStdString(gate->GetDisplayName(true)),
                                      TollText(toll.gates, toll.plots, "plot", "plots", toll.cells));
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
    int32_t cells = 0;
    for (VexaDataShell* shell : shells) {
        if (doc->GetDataShellIndex(shell) < 0) continue;
        gates += std::max<int32_t>(shell->GetGateCount() - 1, 0);  // "All" is not one the user made
        for (const CGateNode* g : shell->GetGates()) cells += LooseCellsOf(g, doc);
        for (CDataShellUser* u : shell->GetUsers()) {
            const int32_t kind = u->GetUserKind();
            if (kind != kUserPlot && kind != kUserResultTable) continue;
            if (auto* obj = dynamic_cast<const CTrkObj*>(u); obj && doc->GetObjectIndex(obj) >= 0) ++objects;
        }
    }
    if (objects == 0 && cells == 0) return true;
    const QString what = shells.size() == 1
                             ? QStringLiteral("data set %1").arg(QString::fromStdString(shells.front()->GetName()))
                             : QStringLiteral("%1 data sets").arg(shells.size());
    const QString text = QStringLiteral("Deleting %1 removes %2. Delete?")
                             .arg(what, TollText(gates, objects, "plot or table", "plots and tables", cells));
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
