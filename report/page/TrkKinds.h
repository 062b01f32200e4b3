#pragma once
// Codes shared by the page objects, the document and the report view.
#include <cstdint>

// Kind of a page object; written in front of each object's record.
enum PageObjectType : int32_t {
    kObjNone = 0,      // the base class sets no kind
    kObjText = 51,     // CTrkText
    kObjPlot = 52,     // CPLOT
    kObjResult = 53,   // CTrkResult
    kObjComText = 54,  // CComText
    kObjGrid = 55,     // CGrid
};

// Where a point lies on a page object (CTrkObj::HitTest).
enum TrkHit : int32_t {
    kHitInside = 0,
    kHitTopLeft = 1,
    kHitTop = 2,
    kHitTopRight = 3,
    kHitRight = 4,
    kHitBottomRight = 5,
    kHitBottom = 6,
    kHitBottomLeft = 7,
    kHitLeft = 8,
    kHitFrame = 9,
    kHitOutside = 10,
};

// Context-menu commands that every page object shares.
enum TrkContextCommand : int32_t {
    kCtxNone = 0,
    kCtxDeleteItem = 7,  // carried out by the view
    kCtxCopy = 24,       // carried out by the view
    kCtxFont = 28,       // carried out by the object
};

// Handles, inner rectangle and drag frame: one program-wide size in page units.
constexpr int32_t kHandleSize = 8;
