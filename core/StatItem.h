#pragma once
// Statistics of one gate, computed on demand from the gate's mask and the
// current (compensated) event columns. The figures of a parameter are taken
// together and kept until the gate's mask or the column changes. Sums run
// in event order whatever the number of threads that share a large gate, so
// every figure is the same to the last bit however many threads there are.
// One item is read by one thread at a time (it keeps what it has summed).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CGateNode;
class CStatUser;

// Statistic codes shared by statistics items, cells, result tables and their
// dialogs. Codes 2-7 and 9 apply to one parameter.
enum StatCode : int32_t {
    kStatEvents = 0,
    kStatPercent = 1,
    kStatMean = 2,
    kStatMedian = 3,
    kStatGeoMean = 4,
    kStatSD = 5,
    kStatMax = 6,
    kStatMin = 7,
    kStatParentPercent = 8,
    kStatCV = 9,
    kStatCodeCount = 10,
};

class CStatItem {
public:
    explicit CStatItem(CGateNode* gate);
    virtual ~CStatItem();
    CStatItem(const CStatItem&) = delete;
    CStatItem& operator=(const CStatItem&) = delete;

    virtual void NotifyUsers();

    CGateNode* GetGate() const { return m_gate; }

    // ---- values (0.0 without data, for a parameter out of range, or for a
    // gate without events unless stated) ----
    int64_t GetEventCount() const;
    // Fraction of all events of the data set.
    double GetPercent() const;
    // Fraction of the events of the first input (1.0 for the root, 0.0 for a
    // gate of several inputs or a parent without events).
    double GetParentPercent() const;
    double GetMean(int32_t par) const;
    double GetMedian(int32_t par) const;
    // Geometric mean. Linear parameters: over the values above 0 only (the
    // logarithm of the others does not exist); 0.0 when there is none.
    double GetGeoMean(int32_t par) const;
    // Population standard deviation.
    double GetSD(int32_t par) const;
    double GetSDAround(int32_t par, double mean) const;
    double GetCV(int32_t par) const;
    double GetMax(int32_t par) const;
    double GetMin(int32_t par) const;
    // Value of rank floor(k * fraction) among the k gated values in ascending
    // order; the rank is clamped to 0 .. k - 1.
    double GetPercentile(int32_t par, double fraction) const;
    // The same rank among the values as stored: a log-amplified parameter's
    // channels rather than the linear values they stand for (what its axes
    // show).
    double GetStoredPercentile(int32_t par, double fraction) const;
    static double CalcCV(double sd, double mean);

    // The value of a statistic code (percent codes already times 100).
    double GetStatValue(int32_t par, int32_t code) const;
    // Caption of a code ("" for 9 and unknown codes).
    static std::string GetStatName(int32_t code);
    // "%ld" for code 0, "%.2f" for 1-9, "" for unknown codes; never depends on
    // the user's locale.
    std::string GetStatText(int32_t par, int32_t code) const;
    std::string GetGateName() const;

    void AddUser(CStatUser* user);
    // deleteCells: a user in mode kStatUserLooseCell is deleted.
    void RemoveUser(CStatUser* user, bool notify, bool deleteCells);
    const std::vector<CStatUser*>& GetUsers() const { return m_users; }

private:
    struct Column;  // gated values of one parameter and its log scale
    bool ReadColumn(int32_t par, Column* out) const;
    // Count of the gated values (NaN left out) by the top 16 bits of their
    // order keys.
    uint64_t TopHistogram(const Column& c, std::vector<uint32_t>* top) const;
    // The values of two ranks among the gated values in ascending order (the
    // same rank twice is allowed), from one more pass.
    void ValuesAtRanks(const Column& c, const std::vector<uint32_t>& top, const uint64_t ranks[2],
                       float out[2]) const;
    // False when the gate holds no value of the column.
    bool StoredPercentile(const Column& c, double fraction, double* out) const;

    // Figures of one parameter over the gate, all taken together over its
    // events and kept while the gate's mask and the column are the ones
    // they came from (a table asks for the ten statistics one by one).
    struct Moments;
    // The kept figures of par, made afresh when stale; the sums are taken
    // only when withSums asks for them.
    Moments* GetMoments(int32_t par, Column* c, bool withSums = true) const;

    CGateNode* m_gate = nullptr;
    std::vector<CStatUser*> m_users;
    mutable std::vector<std::unique_ptr<Moments>> m_moments;  // by parameter
};
