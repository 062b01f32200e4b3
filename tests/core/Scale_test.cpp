#include "core/Scale.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/Trans.h"
#include "tests/support/RecordingCanvas.h"

namespace {

using lmtest::RecordingCanvas;
using lmtest::RecordingScale;

std::vector<float> FractionsOf(const CTRANS& t, const std::vector<double>& values) {
    std::vector<float> out;
    for (double v : values) out.push_back(t.ToFraction(float(v)));
    return out;
}

// ---- ticks chosen by the transforms ----------------------------------------

// Linear axes: labels, majors (0 when not checked) and one minor tick each.
// The last major may lie past max: it is drawn at the end, labelled with max.
TEST(LinearTicks, TypicalRanges) {
    const struct {
        float min, max;
        std::vector<std::string> texts;
        std::vector<double> majors;
        size_t minorIndex;
        double minorAt;
    } cases[] = {
        {0, 1024, {"0", "1000"}, {0, 1000}, 10, 1000},
        {0, 262144, {"0", "100k", "200k", "262k"}, {0, 100000, 200000, 262144}, 1, 10000},
        {0, 5, {"0", "1", "2", "3", "4", "5"}, {0, 1, 2, 3, 4, 5}, 3, 0.3},  // minor step 0.1
        {0, 0.5f, {"0.0", "0.1", "0.2", "0.3", "0.4", "0.5"}, {}, 0, 0},      // decimals below one
    };
    for (const auto& c : cases) {
        CTRANS t(c.min, c.max);
        RecordingScale s;
        t.DrawTicks(s);
        EXPECT_EQ(s.Texts(), c.texts) << c.max;
        for (const auto& l : s.labels) EXPECT_EQ(l.exponent, "") << c.max;
        if (c.majors.empty()) continue;
        EXPECT_EQ(s.Fractions(10), FractionsOf(t, std::vector<double>(c.majors))) << c.max;
        const auto minors = s.Fractions(5);
        ASSERT_GT(minors.size(), c.minorIndex) << c.max;
        EXPECT_EQ(minors[c.minorIndex], t.ToFraction(float(c.minorAt))) << c.max;
    }
}

// The first major is the first multiple of the step at or below min.
TEST(LinearTicks, StartsAtOrBelowMin) {
    CTRANS neg(-250.0f, 750.0f), above(5000.0f, 9000.0f);
    RecordingScale s, a;
    neg.DrawTicks(s);
    above.DrawTicks(a);
    ASSERT_GT(s.labels.size(), 3u);
    EXPECT_EQ(s.labels.front().text, "-300");
    EXPECT_EQ(s.labels.front().fraction, 0.0f);  // clamped to the axis
    EXPECT_EQ(s.labels[3].text, "0");
    EXPECT_EQ(s.labels[3].fraction, neg.ToFraction(0.0f));
    EXPECT_EQ(s.labels.back().text, "750");
    ASSERT_FALSE(a.labels.empty());
    EXPECT_EQ(a.labels.front().text, "4000");
    EXPECT_EQ(a.labels.back().text, "9000");
}

TEST(LinearTicks, LargeValuesHaveEmptyLabels) {
    CTRANS t(0.0f, 50000000.0f);
    RecordingScale s;
    t.DrawTicks(s);
    ASSERT_GE(s.labels.size(), 3u);
    EXPECT_EQ(s.labels[0].text, "0");
    for (size_t i = 1; i < s.labels.size(); ++i) EXPECT_EQ(s.labels[i].text, "") << i;
}

TEST(LinearTicks, AlwaysEnds) {
    // Tiny spans, huge offsets and unset transforms: bounded work.
    CTRANS tiny(0.0f, 1e-30f), offset(1e9f, 1e9f + 128.0f), huge(-1e38f, 1e38f);
    for (const CTRANS* t : {&tiny, &offset, &huge}) {
        RecordingScale s;
        t->DrawTicks(s);
        EXPECT_FALSE(s.labels.empty());
        EXPECT_LT(s.ticks.size(), 1000u);
    }
    CTRANS unset;
    RecordingScale s;
    unset.DrawTicks(s);
    EXPECT_TRUE(s.ticks.empty());
}

// Spans past 10^22 take their step from the computed powers of ten, not the
// exact table: the majors must still fall on whole multiples of the step.
TEST(LinearTicks, StepsBeyondTheExactPowersOfTen) {
    const struct {
        float max;
        double step;
    } cases[] = {{4e22f, 1e22}, {4e23f, 1e23}, {4e25f, 1e25}, {4e30f, 1e30}};
    for (const auto& c : cases) {
        CTRANS t(0.0f, c.max);
        RecordingScale s;
        t.DrawTicks(s);
        const std::vector<float> majors = s.Fractions(10);
        ASSERT_GE(majors.size(), 5u) << c.max;
        for (size_t j = 0; j < 5; ++j)
            EXPECT_NEAR(majors[j], t.ToFraction(float(double(j) * c.step)), 1e-6) << c.max << " " << j;
    }
}

TEST(LogTicks, FourDecades) {
    CLogTRANS t(0.0f, 4.0f);
    RecordingScale s;
    t.DrawTicks(s);
    EXPECT_EQ(s.Fractions(10), FractionsOf(t, {1, 10, 100, 1000, 10000}));
    ASSERT_EQ(s.labels.size(), 5u);
    for (int d = 0; d <= 4; ++d) {
        EXPECT_EQ(s.labels[size_t(d)].text, "10");
        EXPECT_EQ(s.labels[size_t(d)].exponent, std::to_string(d));
    }
    const auto minors = s.Fractions(5);
    // The first decade starts at k = 1; every decade has 2..9.
    ASSERT_EQ(minors.size(), 9u + 8u * 4u);
    EXPECT_EQ(minors[0], t.ToFraction(1.0f));
    EXPECT_EQ(minors[1], t.ToFraction(2.0f));
    EXPECT_EQ(minors[9], t.ToFraction(20.0f));
    EXPECT_EQ(minors[16], t.ToFraction(90.0f));
}

TEST(LogTicks, FractionalMinSkipsLowMinors) {
    CLogTRANS t(0.5f, 2.0f);
    RecordingScale s;
    t.DrawTicks(s);
    const auto minors = s.Fractions(5);
    // log10(4) is the first above 0.5: minors 4..9, then 20..90, 200..900.
    ASSERT_EQ(minors.size(), 6u + 8u + 8u);
    EXPECT_EQ(minors[0], t.ToFraction(4.0f));
    EXPECT_EQ(s.labels.front().exponent, "0");
    EXPECT_EQ(s.labels.back().exponent, "2");
}

TEST(LogicalTicks, DefaultDisplay) {
    CLogical t(262144.0f, -10.0f, 4.5f);
    RecordingScale s;
    t.DrawTicks(s);
    ASSERT_FALSE(s.labels.empty());
    EXPECT_EQ(s.labels[0].text, "0");
    EXPECT_EQ(s.labels[0].exponent, "");
    EXPECT_EQ(s.labels[0].fraction, t.ToFraction(0.0f));
    // Majors at 0 and every decade up to 10^5.
    EXPECT_EQ(s.Fractions(10), FractionsOf(t, {0, 1, 10, 100, 1000, 10000, 100000}));
    // Decades crowding the previous label get no label: 1 and 10 lie within
    // 0.1 of 0 on this display.
    std::vector<std::string> exps;
    for (size_t i = 1; i < s.labels.size(); ++i) {
        EXPECT_EQ(s.labels[i].text, "10");
        exps.push_back(s.labels[i].exponent);
    }
    EXPECT_EQ(exps, (std::vector<std::string>{"2", "3", "4", "5"}));
    // Minor ticks stay below T: the last decade has 2e5 but not 3e5.
    const auto minors = s.Fractions(5);
    EXPECT_EQ(minors.back(), t.ToFraction(200000.0f));
    for (float f : minors) EXPECT_LT(f, 1.0f);
}

// ---- pixels drawn by the scale ---------------------------------------------

class ScalePixels : public ::testing::Test {
protected:
    RecordingCanvas dc;
    LOGFONT font = [] {
        LOGFONT f;
        f.lfHeight = -12;
        f.lfFaceName = "Arial";
        return f;
    }();
    CRect area{50, 20, 250, 220};  // 200 x 200
};

TEST_F(ScalePixels, XTicksBelowTheAxis) {
    CScale s(dc, area, font, kScaleAxisX);
    EXPECT_EQ(s.GetOriginX(), 49);
    EXPECT_EQ(s.GetOriginY(), 220);
    s.Tick(10, 0.0f);
    s.Tick(5, 1.0f);
    s.Tick(5, 0.4999f);  // 99.98 truncates to 99
    ASSERT_EQ(dc.lines.size(), 3u);
    EXPECT_EQ(dc.lines[0].x0, 49);
    EXPECT_EQ(dc.lines[0].y0, 220);
    EXPECT_EQ(dc.lines[0].x1, 49);
    EXPECT_EQ(dc.lines[0].y1, 230);
    EXPECT_EQ(dc.lines[1].x0, 249);
    EXPECT_EQ(dc.lines[1].y1, 225);
    EXPECT_EQ(dc.lines[2].x0, 49 + 99);
}

TEST_F(ScalePixels, YTicksLeftOfTheAxis) {
    CScale s(dc, area, font, kScaleAxisY);
    s.Tick(10, 1.0f);
    s.Tick(5, 0.5f);
    ASSERT_EQ(dc.lines.size(), 2u);
    EXPECT_EQ(dc.lines[0].x0, 49);
    EXPECT_EQ(dc.lines[0].y0, 20);  // the top of the plot area
    EXPECT_EQ(dc.lines[0].x1, 39);
    EXPECT_EQ(dc.lines[0].y1, 20);
    EXPECT_EQ(dc.lines[1].y0, 120);
    EXPECT_EQ(dc.lines[1].x1, 44);
}

TEST_F(ScalePixels, XLabelCentredWithExponentAfterIt) {
    const LOGFONT before = [] {
        LOGFONT f;
        f.lfHeight = -20;
        return f;
    }();
    dc.SetFont(before);
    CScale s(dc, area, font, kScaleAxisX);
    s.Label(0.5f, "10", "3");
    ASSERT_EQ(dc.texts.size(), 2u);
    const auto& text = dc.texts[0];
    EXPECT_EQ(text.font.lfHeight, -10);  // two pixels smaller
    const int w = RecordingCanvas::TextWidth(text.font, "10");
    EXPECT_EQ(text.x, 49 - w / 2 + 100);
    EXPECT_EQ(text.y, 220 + 8);
    const auto& exp = dc.texts[1];
    EXPECT_EQ(exp.text, "3");
    EXPECT_EQ(exp.font.lfHeight, -12);
    EXPECT_EQ(exp.x, text.x + w + 2);  // after the text, not over it
    EXPECT_EQ(exp.y, 220 + 2);
    EXPECT_TRUE(dc.transparent);
    EXPECT_EQ(dc.GetFont(), before);  // the previous font is back
}

TEST_F(ScalePixels, YLabelRotatedAndCentred) {
    CScale s(dc, area, font, kScaleAxisY);
    s.Label(0.25f, "100", "");
    ASSERT_EQ(dc.texts.size(), 1u);  // no exponent drawn for an empty one
    const auto& text = dc.texts[0];
    EXPECT_EQ(text.font.lfEscapement, 900);
    EXPECT_EQ(text.font.lfHeight, -12);
    const int w = RecordingCanvas::TextWidth(text.font, "100");
    EXPECT_EQ(text.x, 49 - 25);
    EXPECT_EQ(text.y, 220 + w / 2 - 50);

    s.Label(1.0f, "10", "4");
    ASSERT_EQ(dc.texts.size(), 3u);
    const auto& base = dc.texts[1];
    const auto& exp = dc.texts[2];
    EXPECT_EQ(exp.font.lfHeight, -15);  // three pixels larger
    EXPECT_EQ(exp.font.lfEscapement, 900);
    EXPECT_EQ(exp.x, base.x - 3);
    EXPECT_EQ(exp.y, base.y - 15);
}

TEST_F(ScalePixels, LabelsThatWouldRunTogetherAreLeftOut) {
    for (const int32_t axis : {kScaleAxisX, kScaleAxisY}) {
        dc.texts.clear();
        CScale s(dc, area, font, axis);
        s.Label(0.10f, "1000", "");
        s.Label(0.15f, "2000", "");  // 10 pixels on: would touch "1000"
        s.Label(0.30f, "3000", "");
        std::vector<std::string> drawn;
        for (const auto& t : dc.texts) drawn.push_back(t.text);
        EXPECT_EQ(drawn, (std::vector<std::string>{"1000", "3000"})) << axis;
    }
}

TEST_F(ScalePixels, LabelsKeepHalfALineApartAndInsideTheirSpan) {
    // X labels of lfHeight -10: 5 pixels a character, 10 high, kept 5 apart.
    CScale x(dc, area, font, kScaleAxisX);
    x.SetLabelSpan(30, 260);
    x.Label(0.0f, "0", "");          // 47 .. 52
    x.Label(0.5f, "1000k", "");      // 137 .. 162
    x.Label(0.6475f, "1229k", "");   // 166 .. 191: 4 apart, read as one number: left out
    x.Label(0.75f, "1300k", "");     // 187 .. 212
    x.Label(1.0f, "9999k", "");      // 237 .. 262, past the span: moved to 235 .. 260
    std::vector<std::pair<std::string, int>> drawn;
    for (const auto& t : dc.texts) drawn.emplace_back(t.text, t.x);
    EXPECT_EQ(drawn, (std::vector<std::pair<std::string, int>>{{"0", 47}, {"1000k", 137}, {"1300k", 187}, {"9999k", 235}}));
    EXPECT_EQ(x.GetLabelBounds(), CRect(47, 228, 260, 238));

    // Past the end of the span a lone label moves back inside.
    dc.texts.clear();
    CScale end(dc, area, font, kScaleAxisX);
    end.SetLabelSpan(30, 255);
    end.Label(1.0f, "262144", "");  // 30 wide, centred on 249: 234 .. 264
    ASSERT_EQ(dc.texts.size(), 1u);
    EXPECT_EQ(dc.texts[0].x, 255 - 30);

    // Y: the top label moves down below the span's start, its box follows.
    dc.texts.clear();
    CScale y(dc, area, font, kScaleAxisY);
    y.SetLabelSpan(10, 300);
    y.Label(1.0f, "262k", "");  // 24 long, centred on y 20: 8 .. 32
    ASSERT_EQ(dc.texts.size(), 1u);
    EXPECT_EQ(dc.texts[0].y, 10 + 24);
    EXPECT_EQ(y.GetLabelBounds(), CRect(49 - 25, 10, 49 - 25 + 12, 34));
}

TEST_F(ScalePixels, WholeAxisThroughTheTransform) {
    CTRANS t(0.0f, 1024.0f);
    CScale s(dc, area, font, kScaleAxisX, t);
    // 11 minors and 2 majors; 2 labels without exponent.
    EXPECT_EQ(dc.lines.size(), 13u);
    ASSERT_EQ(dc.texts.size(), 2u);
    EXPECT_EQ(dc.texts[1].text, "1000");
    // 1000 / 1024 of 200 pixels is 195.3: the major at x 49 + 195.
    int majors = 0;
    for (const auto& l : dc.lines)
        if (l.y1 - l.y0 == 10) {
            ++majors;
            if (majors == 2) {
                EXPECT_EQ(l.x0, 49 + 195);
            }
        }
    EXPECT_EQ(majors, 2);
}

TEST_F(ScalePixels, OutOfRangeFractionsStayBounded) {
    CScale s(dc, area, font, kScaleAxisX);
    EXPECT_EQ(s.ToPixels(std::nanf("")), 0);
    EXPECT_EQ(s.ToPixels(1e30f), 1000000000);
    EXPECT_EQ(s.ToPixels(-0.5f), -100);
}

}  // namespace
