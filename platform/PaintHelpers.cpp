#include "platform/PaintHelpers.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/Codepage.h"

namespace lm {

namespace {

// Pitch and family byte of a LOGFONT.
constexpr uint8_t kFixedPitch = 1;
constexpr uint8_t kFamilyMask = 0xF0;
constexpr uint8_t kFamilyRoman = 0x10;
constexpr uint8_t kFamilySwiss = 0x20;
constexpr uint8_t kFamilyModern = 0x30;
constexpr uint8_t kFamilyScript = 0x40;
constexpr uint8_t kFamilyDecorative = 0x50;
constexpr uint8_t kVariablePitch = 2;
constexpr uint8_t kNonAntialiasedQuality = 3;
// GDI's size for a height of 0.
constexpr int kDefaultPixelSize = 16;
// The face field holds 32 bytes with the terminating zero.
constexpr size_t kFaceFieldBytes = 31;

bool IsWindowsCjkFace(const std::string& face) {
    static const char* const kFaces[] = {
        "宋体", "新宋体", "黑体", "楷体", "楷体_GB2312", "仿宋", "仿宋_GB2312", "微软雅黑", "隶书", "幼圆",
        "SimSun", "NSimSun", "SimHei", "KaiTi", "FangSong", "Microsoft YaHei", "MingLiU", "PMingLiU",
    };
    for (const char* f : kFaces)
        if (face == f) return true;
    return false;
}

// The first installed CJK face of a preference list, or empty.
QString InstalledCjkFace() {
    static const QString face = [] {
        if (!QGuiApplication::instance()) return QString();
        const QStringList families = QFontDatabase::families();
        static const char* const kPreferred[] = {
            "WenQuanYi Zen Hei", "WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Serif CJK SC",
            "Source Han Sans SC", "Source Han Serif SC", "AR PL UMing CN", "AR PL UKai CN",
        };
        for (const char* p : kPreferred)
            if (families.contains(QString::fromUtf8(p), Qt::CaseInsensitive)) return QString::fromUtf8(p);
        return QString();
    }();
    return face;
}

// Number of bytes of the UTF-8 character starting with lead byte c.
size_t Utf8Length(unsigned char c) {
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) return 2;
    if ((c & 0xF0) == 0xE0) return 3;
    if ((c & 0xF8) == 0xF0) return 4;
    return 1;  // stray byte: one at a time
}

}  // namespace

QRect ToQRect(const CRect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

CRect FromQRect(const QRect& r) { return CRect(r.x(), r.y(), r.x() + r.width(), r.y() + r.height()); }

QRectF ToQRectF(const CRect& r) {
    return QRectF(double(r.left), double(r.top), double(r.right) - r.left, double(r.bottom) - r.top);
}

QColor ToQColor(COLORREF c) {
    if (IsColorNone(c)) return QColor(0, 0, 0, 0);
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

COLORREF FromQColor(const QColor& c) {
    if (!c.isValid() || c.alpha() == 0) return kColorNone;
    const QColor rgb = c.toRgb();
    return RGB(uint8_t(rgb.red()), uint8_t(rgb.green()), uint8_t(rgb.blue()));
}

void FillRect(QPainter& p, const CRect& r, COLORREF color) {
    if (IsColorNone(color) || r.IsRectEmpty()) return;
    p.fillRect(ToQRectF(r), ToQColor(color));
}

void DrawRectangle(QPainter& p, const CRect& r, COLORREF pen, COLORREF brush, int penWidth) {
    if (r.IsRectEmpty()) return;
    const int w = std::max(1, penWidth);
    if (IsColorNone(pen)) {
        FillRect(p, r, brush);
        return;
    }
    const QTransform m = p.worldTransform();
    const double sx = std::hypot(m.m11(), m.m12());
    const double sy = std::hypot(m.m21(), m.m22());
    if (w * sx < 1.0 || w * sy < 1.0) {
        // Drawn smaller than a device pixel a unit (a zoom below 100 %), the
        // outline would fall between pixels and vanish: it keeps one device
        // pixel, still inside r.
        const QRectF outer = ToQRectF(r);
        const double bw = std::min(std::max(double(w), sx > 0 ? 1.0 / sx : 0.0), outer.width() / 2);
        const double bh = std::min(std::max(double(w), sy > 0 ? 1.0 / sy : 0.0), outer.height() / 2);
        const QRectF inner = outer.adjusted(bw, bh, -bw, -bh);
        if (!IsColorNone(brush)) p.fillRect(inner, ToQColor(brush));
        const QColor c = ToQColor(pen);
        p.fillRect(QRectF(outer.left(), outer.top(), outer.width(), bh), c);
        p.fillRect(QRectF(outer.left(), outer.bottom() - bh, outer.width(), bh), c);
        p.fillRect(QRectF(outer.left(), inner.top(), bw, inner.height()), c);
        p.fillRect(QRectF(outer.right() - bw, inner.top(), bw, inner.height()), c);
        return;
    }
    CRect inside = r;
    inside.DeflateRect(w, w);
    FillRect(p, inside, brush);
    // Four bands of the outline, each drawn once, so no pixel is painted twice
    // (which matters for inverted and translucent outlines).
    const int32_t bandH = std::min<int32_t>(w, r.Height());
    const int32_t bandW = std::min<int32_t>(w, r.Width());
    FillRect(p, CRect(r.left, r.top, r.right, r.top + bandH), pen);
    if (r.bottom - bandH > r.top + bandH) FillRect(p, CRect(r.left, r.bottom - bandH, r.right, r.bottom), pen);
    const CRect sides(r.left, r.top + bandH, r.right, r.bottom - bandH);
    if (!sides.IsRectEmpty()) {
        FillRect(p, CRect(sides.left, sides.top, sides.left + bandW, sides.bottom), pen);
        if (sides.right - bandW > sides.left + bandW)
            FillRect(p, CRect(sides.right - bandW, sides.top, sides.right, sides.bottom), pen);
    }
}

void InvertRect(QPainter& p, const CRect& r) {
    if (r.IsRectEmpty()) return;
    p.save();
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.fillRect(ToQRectF(r), QColor(255, 255, 255));
    p.restore();
}

void DrawInvertedFrame(QPainter& p, const CRect& r, int thickness) {
    if (r.IsRectEmpty()) return;
    const int t = std::max(1, thickness);
    if (2 * t >= r.Width() || 2 * t >= r.Height()) {
        InvertRect(p, r);  // too small for a hole: the whole area
        return;
    }
    // Four bands, none overlapping, so every pixel is inverted exactly once.
    InvertRect(p, CRect(r.left, r.top, r.right, r.top + t));
    InvertRect(p, CRect(r.left, r.bottom - t, r.right, r.bottom));
    InvertRect(p, CRect(r.left, r.top + t, r.left + t, r.bottom - t));
    InvertRect(p, CRect(r.right - t, r.top + t, r.right, r.bottom - t));
}

QString MapFaceName(const std::string& face) {
    if (IsWindowsCjkFace(face)) {
        const QString cjk = InstalledCjkFace();
        if (!cjk.isEmpty()) return cjk;
    }
    return QString::fromStdString(face);
}

std::string FitFaceName(const std::string& utf8) {
    if (Utf8ToCp936(utf8).size() <= kFaceFieldBytes) return utf8;
    size_t used = 0;
    size_t i = 0;
    while (i < utf8.size()) {
        const size_t len = std::min(Utf8Length(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
        const size_t bytes = Utf8ToCp936(std::string_view(utf8).substr(i, len)).size();
        if (used + bytes > kFaceFieldBytes) break;
        used += bytes;
        i += len;
    }
    return utf8.substr(0, i);
}

QFont ToQFont(const LOGFONT& lf) {
    QFont f(MapFaceName(lf.lfFaceName));
    const uint8_t family = lf.lfPitchAndFamily & kFamilyMask;
    switch (family) {
        case kFamilyRoman: f.setStyleHint(QFont::Serif); break;
        case kFamilySwiss: f.setStyleHint(QFont::SansSerif); break;
        case kFamilyModern: f.setStyleHint(QFont::TypeWriter); break;
        case kFamilyScript: f.setStyleHint(QFont::Cursive); break;
        case kFamilyDecorative: f.setStyleHint(QFont::Decorative); break;
        default: break;
    }
    if ((lf.lfPitchAndFamily & 3) == kFixedPitch) f.setFixedPitch(true);
    if (lf.lfQuality == kNonAntialiasedQuality) f.setStyleStrategy(QFont::NoAntialias);
    f.setWeight(QFont::Weight(std::clamp<int32_t>(lf.lfWeight == FW_DONTCARE ? FW_NORMAL : lf.lfWeight, 1, 1000)));
    f.setItalic(lf.lfItalic != 0);
    f.setUnderline(lf.lfUnderline != 0);
    f.setStrikeOut(lf.lfStrikeOut != 0);

    // lfHeight can be any int32 from a file: keep the size drawable.
    const int64_t h = lf.lfHeight;
    int px = kDefaultPixelSize;
    if (h < 0) {
        px = int(std::min<int64_t>(-h, 4000));
    } else if (h > 0) {
        // Cell height: find the em size whose ascent + descent is h.
        const int cell = int(std::min<int64_t>(h, 4000));
        f.setPixelSize(cell);
        const int measured = QGuiApplication::instance() ? QFontMetrics(f).height() : cell;
        px = measured > 0 ? std::max(1, int(std::lround(double(cell) * cell / measured))) : cell;
    }
    f.setPixelSize(std::max(1, px));
    return f;
}

LOGFONT FromQFont(const QFont& font, const LOGFONT& base) {
    LOGFONT lf = base;
    int px = font.pixelSize();
    if (px <= 0) px = int(std::lround(font.pointSizeF() * 96.0 / 72.0));
    lf.lfHeight = -std::max(1, px);
    lf.lfWidth = 0;
    lf.lfWeight = font.weight();
    lf.lfItalic = font.italic() ? 1 : 0;
    lf.lfUnderline = font.underline() ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut() ? 1 : 0;
    lf.lfFaceName = FitFaceName(font.family().toStdString());
    if (base.lfPitchAndFamily == 0) {
        switch (font.styleHint()) {
            case QFont::Serif: lf.lfPitchAndFamily = kVariablePitch | kFamilyRoman; break;
            case QFont::TypeWriter: lf.lfPitchAndFamily = kFixedPitch | kFamilyModern; break;
            default: lf.lfPitchAndFamily = kVariablePitch | kFamilySwiss; break;
        }
    }
    return lf;
}

}  // namespace lm
