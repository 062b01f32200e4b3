// Real FCS files from several cytometers, checked against what two independent
// readers report (expected.json next to the files).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "base/MappedFile.h"
#include "core/DataSet.h"
#include "core/ErrorCodes.h"
#include "tests/support/Corpus.h"
#include "tests/support/FcsWriter.h"

namespace {

using lmtest::JsonValue;
using Errors = std::vector<int32_t>;

struct Corpus {
    std::string dir;
    std::string why;
    JsonValue expected;
};

const Corpus& Load() {
    static const Corpus c = [] {
        Corpus k;
        k.dir = lmtest::CorpusDir(&k.why);
        if (k.dir.empty()) return k;
        std::string text, err;
        if (!lmtest::ReadTextFile(k.dir + "/expected.json", &text)) {
            k.why = "cannot read expected.json";
            k.dir.clear();
        } else if (!lmtest::ParseJson(text, &k.expected, &err) || !k.expected.IsObject()) {
            k.why = "expected.json does not parse: " + err;
            k.dir.clear();
        }
        return k;
    }();
    return c;
}

#define REQUIRE_CORPUS()                                             \
    const Corpus& corpus = Load();                                   \
    if (corpus.dir.empty()) GTEST_SKIP() << "SKIPPED: " << corpus.why

bool Near(double got, double want, double scale) {
    // Relative 1e-6; the scale keeps sums that cancel to near zero comparable.
    return std::fabs(got - want) <= 1e-6 * std::max(std::fabs(want), scale);
}

// Files that a reference reader accepts: $TOT, $PAR, names, first three events
// and every column's sum agree.
void CheckAccepted(const Corpus& corpus, const std::string& name, const JsonValue& exp) {
    SCOPED_TRACE(name);
    CDataSet ds(corpus.dir + "/" + name, 0);
    for (int32_t e : ds.errors)
        EXPECT_TRUE(e == kErrDataSize) << "unexpected error " << e;  // 17 only: a few writers round DATA
    ASSERT_NE(ds.GetEventMatrix(), nullptr);
    const int32_t tot = int32_t(exp.Find("tot")->number);
    const int32_t par = int32_t(exp.Find("par")->number);
    ASSERT_EQ(ds.GetEventCount(), tot);
    ASSERT_EQ(ds.GetParamCount(), par);

    if (const JsonValue* names = exp.Find("names")) {
        ASSERT_EQ(names->Size(), size_t(par));
        for (int32_t j = 0; j < par; ++j) EXPECT_EQ(ds.GetParam(j)->name, (*names)[size_t(j)].string) << j;
    }
    if (const JsonValue* dt = exp.Find("datatype")) {
        EXPECT_EQ(ds.GetDataType(), int32_t(dt->string.at(0)));
    }
    if (const JsonValue* order = exp.Find("byteord")) {
        std::vector<int32_t> want;
        for (char c : order->string)
            if (c >= '0' && c <= '9') want.push_back(c - '0');
        EXPECT_EQ(ds.GetParamSet()->byteOrder, want);
    }
    if (const JsonValue* spill = exp.Find("spill")) {
        // "spill" names the keyword the file uses. A well-formed value (1 + n
        // + n*n tokens) must give a matrix whose names all resolved; the 3.1
        // files of one maker list the names only, which gives none.
        const CSpillMatrix* m = ds.GetParamSet()->GetSpillMatrix();
        if (spill->IsNull()) {
            EXPECT_EQ(m, nullptr);
        } else {
            const std::string value =
                ds.GetKeywordValue(spill->string == "spill" ? "SPILL" : "$SPILLOVER");
            ASSERT_FALSE(value.empty()) << spill->string;
            const int64_t tokens = std::count(value.begin(), value.end(), ',') + 1;
            const int64_t n = std::stoll(value);
            if (tokens == 1 + n + n * n) {
                ASSERT_NE(m, nullptr) << value;
                EXPECT_EQ(m->n, n);
                for (int32_t u : m->indices) EXPECT_TRUE(u >= 0 && u < par);
            } else {
                EXPECT_EQ(m, nullptr) << value;
            }
        }
    }

    const CEventMatrix* m = ds.GetEventMatrix();
    const JsonValue& first = *exp.Find("first");
    ASSERT_EQ(first.Size(), 3u);
    for (size_t e = 0; e < 3; ++e) {
        ASSERT_EQ(first[e].Size(), size_t(par));
        for (int32_t j = 0; j < par; ++j) {
            const double want = first[e][size_t(j)].number;
            const double got = m->GetRawColumn(j)[e];
            EXPECT_TRUE(Near(got, want, 1e-30)) << "event " << e << " param " << j << ": " << got
                                                << " != " << want;
            EXPECT_EQ(m->GetColumn(j)[e], m->GetRawColumn(j)[e]);  // nothing compensated yet
        }
    }
    const JsonValue& sums = *exp.Find("colsum");
    ASSERT_EQ(sums.Size(), size_t(par));
    for (int32_t j = 0; j < par; ++j) {
        const float* c = m->GetRawColumn(j);
        double sum = 0, sumAbs = 0;
        for (int32_t e = 0; e < tot; ++e) {
            sum += c[e];
            sumAbs += std::fabs(c[e]);
        }
        EXPECT_TRUE(Near(sum, sums[size_t(j)].number, sumAbs))
            << "column " << j << " sum " << sum << " != " << sums[size_t(j)].number;
    }
}

TEST(Corpus, AcceptedFilesMatchTheReferenceReaders) {
    REQUIRE_CORPUS();
    int checked = 0;
    for (const auto& [name, exp] : corpus.expected.object) {
        if (!exp.Find("tot")) continue;
        const std::string path = corpus.dir + "/" + name;
        if (!std::filesystem::exists(path)) {
            ADD_FAILURE() << name << " listed in expected.json but missing";
            continue;
        }
        EXPECT_TRUE(IsFcsFile(path, 0)) << name;
        CheckAccepted(corpus, name, exp);
        ++checked;
    }
    EXPECT_GE(checked, 14);
}

TEST(Corpus, RejectedFilesGiveTheirErrorCodes) {
    REQUIRE_CORPUS();
    {
        // DATA runs past the end of the file: only the whole events there are read.
        CDataSet ds(corpus.dir + "/AriaFile1.fcs", 0);
        EXPECT_EQ(ds.errors, (Errors{kErrDataPastEnd, kErrDataSize}));
        ASSERT_EQ(ds.GetParamCount(), 12);
        const int64_t size = int64_t(std::filesystem::file_size(corpus.dir + "/AriaFile1.fcs"));
        const int64_t begin = std::stoll(ds.GetKeywordValue("$BEGINDATA"));
        EXPECT_EQ(ds.GetEventCount(), (size - begin) / 48);
        EXPECT_LT(ds.GetEventCount(), 10000);
    }
    {
        // HEADER and TEXT only: DATA lies wholly beyond the file.
        CDataSet ds(corpus.dir + "/sample_header.fcs", 0);
        EXPECT_EQ(ds.errors, (Errors{kErrDataPastEnd, kErrDataSize}));
        EXPECT_EQ(ds.GetParamCount(), 27);
        EXPECT_EQ(ds.GetEventCount(), 0);
        EXPECT_EQ(ds.GetKeywordValue("$P1N"), "Time");
    }
    {
        CDataSet ds(corpus.dir + "/corrupted.fcs", 0);
        EXPECT_EQ(ds.errors, (Errors{kErrHeaderInvalid, kErrHeaderInvalid}));
        EXPECT_EQ(ds.GetParamCount(), 0);
        EXPECT_FALSE(IsFcsFile(corpus.dir + "/corrupted.fcs", 0));
    }
}

TEST(Corpus, MissingDataSetsAndDamagedCopiesNeverCrash) {
    REQUIRE_CORPUS();
    for (const auto& entry : std::filesystem::directory_iterator(corpus.dir)) {
        const std::string path = entry.path().string();
        if (entry.path().filename() == "expected.json" || entry.path().extension() == ".md") continue;
        SCOPED_TRACE(path);
        // No file here has a second data set.
        CDataSet second(path, 1);
        ASSERT_FALSE(second.errors.empty());
        for (int32_t e : second.errors) EXPECT_EQ(e, kErrHeaderInvalid);
        EXPECT_EQ(second.GetEventCount(), 0);

        // Copies cut at a few places read only what they hold.
        lm::MappedFile f;
        ASSERT_TRUE(f.Open(path));
        const std::vector<uint8_t> bytes(f.Data(), f.Data() + f.Size());
        for (int64_t cut : {int64_t(57), int64_t(58), int64_t(300), int64_t(bytes.size()) / 2,
                            int64_t(bytes.size()) - 1}) {
            if (cut < 0 || cut > int64_t(bytes.size())) continue;
            std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
            auto ds = lmtest::LoadFcsBytes(part);
            // Cut inside the HEADER or the TEXT: that must be reported.
            if (cut <= 300) {
                EXPECT_FALSE(ds->errors.empty()) << "cut at " << cut;
            }
            const int32_t tot = ds->GetParamSet() ? ds->GetParamSet()->totalEvents : 0;
            EXPECT_LE(ds->GetEventCount(), tot);
        }
    }
}

TEST(Corpus, KeywordLookupsFindTheFirstPairOfThatName) {
    REQUIRE_CORPUS();
    int looked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus.dir)) {
        if (entry.path().extension() == ".json" || entry.path().extension() == ".md") continue;
        SCOPED_TRACE(entry.path().string());
        CDataSet ds(entry.path().string(), 0);
        const CKeywordTable* t = ds.GetKeywordTable();
        if (!t) continue;
        const std::vector<CKeywordPair>& pairs = t->Pairs();
        auto firstNamed = [&pairs](const std::string& k) -> const CKeywordPair* {
            auto it = std::find_if(pairs.begin(), pairs.end(), [&k](const CKeywordPair& p) { return p.keyword == k; });
            return it == pairs.end() ? nullptr : &*it;
        };
        for (const CKeywordPair& p : pairs) {
            ASSERT_EQ(t->FindKeyword(p.keyword), firstNamed(p.keyword)) << p.keyword;
            // Case and length count: neither finds anything that is not there.
            for (const std::string& other : {p.keyword + " ", p.keyword.substr(1), "x" + p.keyword})
                ASSERT_EQ(t->FindKeyword(other), firstNamed(other)) << other;
            ++looked;
        }
    }
    EXPECT_GT(looked, 1000);
}

}  // namespace
