#include "report/page/StatBatch.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "base/Numbers.h"
#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Slices.h"
#include "core/StatItem.h"

namespace {

bool UsesMoments(int32_t code) { return code == kStatMean || code == kStatSD || code == kStatCV; }

VexaDataShell* ShellOf(const CStatItem* item) {
    const CGateNode* gate = item ? item->GetGate() : nullptr;
    return gate ? gate->GetShell() : nullptr;
}

// One walk (or a pair of them, for the moments) and the requests it answers.
struct Task {
    const CStatItem* item;
    int32_t code;   // -1: Mean, SD and CV of param
    int32_t param;
    std::vector<StatRequest*> answers;
};

void RunTask(Task& t) {
    if (t.code >= 0) {
        const StatRequest& first = *t.answers.front();
        const bool has = StatHasValue(t.item, first.code, first.param);
        const std::string text = has ? t.item->GetStatText(first.param, first.code) : std::string();
        for (StatRequest* r : t.answers) {
            r->has = has;
            r->text = text;
        }
        return;
    }
    const bool has = StatHasValue(t.item, kStatMean, t.param);
    double mean = 0.0, sd = -1.0;
    if (has) mean = t.item->GetMean(t.param);
    for (StatRequest* r : t.answers) {
        r->has = has;
        r->text.clear();
        if (!has) continue;
        if (r->code != kStatMean && sd < 0.0) sd = t.item->GetSDAround(t.param, mean);
        const double v = r->code == kStatMean ? mean : r->code == kStatSD ? sd : CStatItem::CalcCV(sd, mean);
        r->text = lm::FormatFixed(v, 2);
    }
}

}  // namespace

bool StatTakesParam(int32_t code) {
    return code != kStatEvents && code != kStatPercent && code != kStatParentPercent;
}

bool StatHasValue(const CStatItem* item, int32_t code, int32_t param) {
    if (!item || code < 0 || code >= kStatCodeCount) return false;
    VexaDataShell* shell = ShellOf(item);
    CDataSet* ds = shell ? shell->GetDataSet() : nullptr;
    CEventMatrix* matrix = ds ? ds->GetEventMatrix() : nullptr;
    if (!matrix || matrix->GetEventCount() <= 0 || shell->GetTotalEvents() <= 0) return false;
    return !StatTakesParam(code) || (param >= 0 && param < matrix->GetParamCount());
}

void ComputeStatTexts(std::vector<StatRequest>& requests) {
    // Requests for the same value share a task; the moments of one item and
    // parameter share one. The parameter of a code without one is no part
    // of its value.
    std::map<std::tuple<const CStatItem*, int32_t, int32_t>, size_t> index;
    std::vector<Task> tasks;
    for (StatRequest& r : requests) {
        r.has = false;
        r.text.clear();
        if (!r.item || r.code < 0 || r.code >= kStatCodeCount) continue;
        const int32_t code = UsesMoments(r.code) ? -1 : r.code;
        const int32_t param = StatTakesParam(r.code) ? r.param : 0;
        const auto [it, added] = index.try_emplace({r.item, code, param}, tasks.size());
        if (added) tasks.push_back({r.item, code, param, {}});
        tasks[it->second].answers.push_back(&r);
    }
    // An item keeps what it has summed per parameter in a cache of its own,
    // which two threads must never fill at once: the tasks of one item run
    // one after another, items in parallel.
    std::map<const CStatItem*, size_t> groupOf;
    std::vector<std::vector<size_t>> groups;
    for (size_t k = 0; k < tasks.size(); ++k) {
        const auto [it, added] = groupOf.try_emplace(tasks[k].item, groups.size());
        if (added) groups.emplace_back();
        groups[it->second].push_back(k);
    }
    lm::ForTasks(
        groups.size(),
        [&tasks, &groups](size_t g) {
            for (size_t k : groups[g]) RunTask(tasks[k]);
        },
        groups.size() > 1);
}
