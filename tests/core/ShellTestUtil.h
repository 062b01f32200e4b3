#pragma once
// Helpers shared by the gate, statistics and data-shell tests: synthetic data
// sets and observers that record what they are told.
#include <clocale>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/DataSet.h"
#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Observers.h"
#include "core/Region.h"
#include "core/StatItem.h"
#include "tests/support/FcsWriter.h"

namespace shelltest {

// A data set made from the writer's bytes, with no users yet: hand it to a
// shell, which shares it (the last user deletes it).
inline CDataSet* MakeDataSet(const lmtest::FcsWriter& w) { return lmtest::LoadFcsBytes(w.Build()).release(); }

// Two linear parameters "FS" and "SS" with $PnR 1000 (so fraction = value /
// 1000) and the given events.
inline CDataSet* MakeXY(const std::vector<std::pair<double, double>>& events) {
    lmtest::FcsWriter w;
    w.Param("FS", 32, "1000").Param("SS", 32, "1000");
    for (const auto& e : events) w.Event({e.first, e.second});
    return MakeDataSet(w);
}

// One linear parameter "FS" ($PnR 1000) holding the values.
inline CDataSet* MakeColumn(const std::vector<double>& values, const std::string& range = "1000") {
    lmtest::FcsWriter w;
    w.Param("FS", 32, range);
    for (double v : values) w.Event({v});
    return MakeDataSet(w);
}

// Rectangle over FS/SS in fractions.
inline std::unique_ptr<CDataRgn> Rect(float x0, float y0, float x1, float y1, int32_t x = 0, int32_t y = 1) {
    return std::make_unique<CrRect>(x, y, RgnPoint{x0, y0}, RgnPoint{x1, y1});
}

inline std::unique_ptr<CDataRgn> Range(float lo, float hi, int32_t x = 0) {
    return std::make_unique<CrRange>(x, x, lo, hi);
}

// Event indices set in a gate's mask.
inline std::vector<int> Members(const CGateNode* g) {
    std::vector<int> out;
    const EventBitMask& m = g->GetMask();
    for (uint32_t e = 0; e < m.GetBitCount(); ++e)
        if (m.Test(e)) out.push_back(int(e));
    return out;
}

// Shell observer that writes every notice into a shared log.
class LogUser : public CDataShellUser {
public:
    LogUser(std::vector<std::string>* log, std::string tag, VexaDataShell* shell = nullptr)
        : m_log(log), m_tag(std::move(tag)) {
        if (shell) SetShell(shell, false);
    }
    void OnGatesChanged() override { Add("gates"); }
    void OnGateRemoving(CGateNode* g) override {
        Add("removing " + g->GetName());
        if (onRemoving) onRemoving(g);
    }
    void OnDataChanged() override { Add("data"); }
    void OnParamChanged(int32_t p) override { Add("param " + std::to_string(p)); }
    void SetKind(int32_t k) { m_userKind = k; }

    std::function<void(CGateNode*)> onRemoving;

private:
    void Add(const std::string& what) {
        if (m_log) m_log->push_back(m_tag + ":" + what);
    }
    std::vector<std::string>* m_log;
    std::string m_tag;
};

// Gate observer that counts its notices.
class CountingGateUser : public CGateUser {
public:
    CountingGateUser() = default;
    explicit CountingGateUser(CGateNode* g) : CGateUser(g) {}
    CountingGateUser(VexaDataShell* s, int32_t i) : CGateUser(s, i) {}
    void OnGateChanged() override { ++changed; order += "C"; }
    void OnGateUpdated() override { ++updated; order += "U"; }
    void OnGateRenamed() override { ++renamed; }
    void OnGateColorChanged(COLORREF c) override { lastColor = c; ++colored; }
    void OnDataChanged() override { ++data; }
    int changed = 0, updated = 0, renamed = 0, colored = 0, data = 0;
    COLORREF lastColor = 0;
    std::string order;
};

class CountingStatUser : public CStatUser {
public:
    CountingStatUser() = default;
    explicit CountingStatUser(CStatItem* item, bool* deletedFlag = nullptr)
        : CStatUser(item), m_deleted(deletedFlag) {}
    ~CountingStatUser() override {
        if (m_deleted) *m_deleted = true;
    }
    void OnStatChanged() override { ++changed; }
    void OnStatItemDeleting() override { ++deleting; }
    int changed = 0;
    int deleting = 0;

private:
    bool* m_deleted = nullptr;
};

// Switches LC_ALL to a locale whose decimal point is a comma while alive.
// Tries the usual names, then builds de_DE into a scratch folder with
// localedef. ok() is false when no such locale can be had.
class CommaLocale {
public:
    CommaLocale() {
        const char* cur = std::setlocale(LC_ALL, nullptr);
        m_saved = cur ? cur : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
            if (Try(name)) return;
        }
        const std::string cmd = "localedef -i de_DE -f UTF-8 " + m_dir.Path() + "/de_DE.UTF-8 >/dev/null 2>&1";
        if (std::system(cmd.c_str()) == 0) {
            setenv("LOCPATH", m_dir.Path().c_str(), 1);
            m_setPath = true;
            Try("de_DE.UTF-8");
        }
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, m_saved.c_str());
        if (m_setPath) unsetenv("LOCPATH");
    }
    bool ok() const { return m_ok; }

private:
    bool Try(const char* name) {
        if (!std::setlocale(LC_ALL, name)) return false;
        const std::lconv* lc = std::localeconv();
        m_ok = lc && lc->decimal_point && lc->decimal_point[0] == ',';
        if (!m_ok) std::setlocale(LC_ALL, m_saved.c_str());
        return m_ok;
    }
    lmtest::TempDir m_dir;
    std::string m_saved;
    bool m_ok = false;
    bool m_setPath = false;
};

}  // namespace shelltest
