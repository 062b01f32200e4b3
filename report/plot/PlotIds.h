#pragma once
// Codes of the plot page object: which layers a plot shows, the state its
// last rebuild left it in, how its axis titles are made, and its geometry.
#include <cstdint>

#include "report/plot/PlotDefaults.h"

// Bit set of a plot's layers (also the "STYLE" plot default).
enum PlotStyleFlags : int32_t {
    kPlotFlagHistogram = 1,
    kPlotFlagDots = 2,
    kPlotFlagGreyDots = 4,  // only in the older record form
    kPlotFlagDensity = 8,
    kPlotFlagContour = 16,
    kPlotFlagOverlay = 32,
};
static_assert(kPlotFlagHistogram == kPlotStyleHistogram && kPlotFlagDots == kPlotStyleDots &&
                  kPlotFlagDensity == kPlotStyleDensity && kPlotFlagContour == kPlotStyleContour &&
                  kPlotFlagOverlay == kPlotStyleOverlay,
              "plot style bits and plot defaults must agree");

// What the last rebuild found.
enum PlotState : int32_t {
    kPlotReady = 0,
    kPlotNoData = 1,    // the shell has no data set: "No Data"
    kPlotParError = 2,  // an axis parameter is outside the data set: "Par Error"
};

// How a parameter is named on an axis title ("LABEL" plot default).
enum AxisLabelMode : int32_t {
    kLabelName = 1,       // $PnN, else $PnS
    kLabelShortName = 2,  // $PnS, else $PnN
    kLabelBoth = 3,       // any other value: $PnN + " " + $PnS
};

// Plot geometry in page units. The plot area is the inner rectangle (the
// object's rectangle less the handle size) less these margins.
constexpr int32_t kPlotAreaMarginLeft = 38;
constexpr int32_t kPlotAreaMarginTop = 28;
constexpr int32_t kPlotAreaMarginRight = 8;
constexpr int32_t kPlotAreaMarginBottom = 36;
constexpr int32_t kPlotTitleBandHeight = 18;
constexpr int32_t kPlotXTitleBandHeight = 22;
constexpr int32_t kPlotYTitleBandWidth = 20;   // from the inner rectangle's left edge
constexpr int32_t kPlotYTitleBandInset = 3;    // from the object's left edge
constexpr int32_t kPlotTitleLabelGap = 1;      // least room between an axis title and the tick labels
constexpr int32_t kPlotLabelInset = 2;         // tick labels end this far inside the object's right edge
constexpr int32_t kPlotDefaultSide = 100;      // GetDefaultSize, and tiny rectangles
constexpr int32_t kPlotTinySide = 3;           // both sides below this: default size
// Font of a new plot: "Times New Roman", 15 high; titles 3 higher.
constexpr int32_t kPlotFontHeight = 15;
constexpr int32_t kPlotTitleFontExtra = 3;
constexpr int32_t kRotatedEscapement = 900;
// Histograms put a linear Y axis over 0 .. 255 in place of the Y parameter's.
constexpr float kHistogramYAxisMax = 255.0f;
// The first reserved word of every new plot (kept in the record, read by nothing).
constexpr int32_t kPlotReservedA = 1;
