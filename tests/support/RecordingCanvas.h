#pragma once
// Drawing doubles for tests: a canvas that records lines and texts (with a
// predictable text measure), and a scale that records the ticks and labels a
// transform asks for.
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Canvas.h"
#include "core/Scale.h"

namespace lmtest {

class RecordingCanvas : public CCanvas {
public:
    struct Line {
        int x0, y0, x1, y1;
        COLORREF color;
    };
    struct Text {
        int x, y;
        std::string text;
        LOGFONT font;
    };

    // Every character is CharWidth(font) wide and |lfHeight| high.
    static int CharWidth(const LOGFONT& f) {
        const int h = std::abs(f.lfHeight);
        return h >= 2 ? h / 2 : 1;
    }
    static int TextWidth(const LOGFONT& f, const std::string& s) {
        return CharWidth(f) * int(s.size());
    }

    void MoveTo(int x, int y) override {
        m_x = x;
        m_y = y;
    }
    void LineTo(int x, int y) override {
        lines.push_back({m_x, m_y, x, y, m_pen});
        m_x = x;
        m_y = y;
    }
    void SetPen(COLORREF color, int /*width*/) override { m_pen = color; }
    void SetFont(const LOGFONT& font) override {
        m_font = font;
        ++fontChanges;
    }
    LOGFONT GetFont() const override { return m_font; }
    void SetTextColor(COLORREF /*color*/) override {}
    void SetBackgroundTransparent(bool transparent) override { this->transparent = transparent; }
    CSize MeasureText(const std::string& text) override {
        return {TextWidth(m_font, text), std::abs(m_font.lfHeight)};
    }
    void DrawText(int x, int y, const std::string& text) override {
        texts.push_back({x, y, text, m_font});
    }

    std::vector<Line> lines;
    std::vector<Text> texts;
    bool transparent = false;
    int fontChanges = 0;

private:
    int m_x = 0, m_y = 0;
    COLORREF m_pen = 0;
    LOGFONT m_font;
};

struct RecordingCanvasHolder {
    RecordingCanvas canvas;
};

// Records what a transform's DrawTicks asks for, in fractions.
class RecordingScale : private RecordingCanvasHolder, public CScale {
public:
    struct Tick {
        int length;
        float fraction;
    };
    struct Label {
        float fraction;
        std::string text, exponent;
    };

    RecordingScale() : CScale(canvas, CRect(0, 0, 1000, 1000), LOGFONT{}, kScaleAxisX) {}

    void Tick(int32_t length, float fraction) override { ticks.push_back({length, fraction}); }
    void Label(float fraction, const std::string& text, const std::string& exponent) override {
        labels.push_back({fraction, text, exponent});
    }

    std::vector<float> Fractions(int length) const {
        std::vector<float> out;
        for (const auto& t : ticks)
            if (t.length == length) out.push_back(t.fraction);
        return out;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const auto& l : labels) out.push_back(l.text);
        return out;
    }

    std::vector<struct Tick> ticks;
    std::vector<struct Label> labels;
};

}  // namespace lmtest
