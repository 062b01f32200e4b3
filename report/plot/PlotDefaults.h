#pragma once
// The defaults of every new plot, kept in the program folder's "Vexa.ini",
// section "Default Plot Para". They are read once when the main frame is
// built and written once when it goes away; the plot menu's "As Default" and
// the plot options change them in between.
//
// Values are stored as read (the file may hold anything); the Used...
// accessors give the value clamped to what a plot can work with.
#include <cstdint>
#include <string>

#include "base/Geometry.h"

struct PlotDefaults {
    // Before the file is read; a read always replaces them, so a missing file
    // gives the values of kMissingKeyDefaults instead.
    int32_t evts = 3000;   // "Evts": events a new dot layer draws at most
    int32_t parax = 0;     // "PARAX": X parameter of a new plot
    int32_t paray = 1;     // "PARAY": Y parameter of a new plot
    int32_t width = 250;   // "WIDTH": page units
    int32_t height = 250;  // "HEIGHT": page units
    int32_t style = 2;     // "STYLE": PlotStyleFlags of a new plot
    int32_t label = 2;     // "LABEL": axis-label mode, 1..3

    // Reads the seven keys (Windows profile rules: names without regard to
    // case, atoi reading, a value of more than 31 characters cut). A missing
    // file or key gives the key's default text ("2000", "0", "1", "250",
    // "250", "2", "3"). The overlay bit of "STYLE" is dropped.
    void Read(const std::string& iniPath);
    // Writes the seven keys with "%ld", keeping every other line of the file;
    // a file that already holds these values is left alone. False, with the
    // reason in *error, when the file cannot be written: its folder is not
    // writable, or the file has no write permission at all.
    bool Write(const std::string& iniPath, std::string* error = nullptr) const;

    // Clamped for use.
    int32_t UsedDotEvents() const;          // at least 1
    int32_t UsedWidth() const;              // at least the plot minimum, at most a few pages
    int32_t UsedHeight() const;
    // A new plot's rectangle: the used size, top left at (x, y).
    CRect UsedRectAt(int32_t x, int32_t y) const;
    // A parameter index valid for a data set with paramCount parameters (0
    // when out of range; 0 also for a data set without parameters).
    int32_t UsedParamX(int32_t paramCount) const;
    int32_t UsedParamY(int32_t paramCount) const;
    int32_t UsedStyle() const;              // only the layer bits, no overlay; dots when none
    int32_t UsedLabelMode() const;          // 1..3
};

// The process-wide defaults shared by the main frame, the document and plots.
PlotDefaults& GetPlotDefaults();

// The ini section and file name.
inline constexpr char kPlotDefaultsSection[] = "Default Plot Para";
inline constexpr char kIniFileName[] = "Vexa.ini";
// Smallest plot side (a plot's minimum size).
constexpr int32_t kPlotMinSide = 60;
// Largest plot side taken from the file: a few pages.
constexpr int32_t kPlotMaxSide = 4 * 1414;
// Layer bits of PlotStyleFlags a new plot may carry.
constexpr int32_t kPlotStyleHistogram = 1;
constexpr int32_t kPlotStyleDots = 2;
constexpr int32_t kPlotStyleDensity = 8;
constexpr int32_t kPlotStyleContour = 16;
constexpr int32_t kPlotStyleOverlay = 32;
