#include "base/Geometry.h"

#include <algorithm>

void CRect::NormalizeRect() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
}

bool CRect::IntersectRect(const CRect& a, const CRect& b) {
    // Computed into locals first: a or b may be *this.
    const CRect r(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                  std::min(a.bottom, b.bottom));
    // Touching or separate rectangles, and any empty input, leave no area.
    if (r.IsRectEmpty()) {
        SetRectEmpty();
        return false;
    }
    *this = r;
    return true;
}

bool CRect::UnionRect(const CRect& a, const CRect& b) {
    const bool aEmpty = a.IsRectEmpty();
    const bool bEmpty = b.IsRectEmpty();
    CRect r;
    if (aEmpty && bEmpty) {
        SetRectEmpty();
        return false;
    }
    if (aEmpty) r = b;
    else if (bEmpty) r = a;
    else r = CRect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                   std::max(a.bottom, b.bottom));
    *this = r;
    return true;
}
