#include "report/plot/PlotDefaults.h"

#include <sys/stat.h>

#include <algorithm>

#include "base/IniFile.h"
#include "base/Numbers.h"

namespace {

// GetPrivateProfileString reads into a buffer of 32 characters.
constexpr size_t kProfileBufferChars = 31;

struct Key {
    const char* name;
    const char* missing;  // text used when the key is missing
    int32_t PlotDefaults::*field;
};

constexpr Key kKeys[] = {
    {"Evts", "2000", &PlotDefaults::evts},   {"PARAX", "0", &PlotDefaults::parax},
    {"PARAY", "1", &PlotDefaults::paray},    {"WIDTH", "250", &PlotDefaults::width},
    {"HEIGHT", "250", &PlotDefaults::height}, {"STYLE", "2", &PlotDefaults::style},
    {"LABEL", "3", &PlotDefaults::label},
};

int32_t UsedParam(int32_t value, int32_t count) {
    return (value >= 0 && value < count) ? value : 0;
}

}  // namespace

void PlotDefaults::Read(const std::string& iniPath) {
    lm::IniFile ini;
    ini.Load(iniPath);  // a missing file reads as empty: every key takes its default
    for (const Key& k : kKeys) {
        std::string text = ini.GetString(kPlotDefaultsSection, k.name, k.missing);
        if (text.size() > kProfileBufferChars) text.resize(kProfileBufferChars);
        this->*k.field = lm::ParseInt(text);
    }
    // The overlay bit belongs to a plot's own overlays, which a new plot does
    // not have: taken from the file it would lock every new plot as an empty
    // overlay. Dropped here, it is also gone from the file at the next write.
    style &= ~kPlotStyleOverlay;
}

bool PlotDefaults::Write(const std::string& iniPath, std::string* error) const {
    lm::IniFile ini;
    const bool existed = ini.Load(iniPath);
    // A file that already gives these values loses nothing, read-only or not.
    if (existed) {
        PlotDefaults inFile;
        inFile.Read(iniPath);
        bool same = true;
        for (const Key& k : kKeys) same = same && inFile.*k.field == this->*k.field;
        if (same) return true;
    }
    for (const Key& k : kKeys) ini.SetString(kPlotDefaultsSection, k.name, lm::FormatInt(this->*k.field));
    // A file without any write permission was made so on purpose; the save
    // would replace it all the same (it renames a new file over it).
    struct stat st {};
    if (existed && ::stat(iniPath.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        if (error) *error = iniPath + " is read-only";
        return false;
    }
    return ini.Save(iniPath, error);
}

int32_t PlotDefaults::UsedDotEvents() const { return std::max<int32_t>(evts, 1); }

int32_t PlotDefaults::UsedWidth() const { return std::clamp(width, kPlotMinSide, kPlotMaxSide); }

int32_t PlotDefaults::UsedHeight() const { return std::clamp(height, kPlotMinSide, kPlotMaxSide); }

CRect PlotDefaults::UsedRectAt(int32_t x, int32_t y) const {
    return CRect(CPoint(x, y), CSize(UsedWidth(), UsedHeight()));
}

int32_t PlotDefaults::UsedParamX(int32_t paramCount) const { return UsedParam(parax, paramCount); }

int32_t PlotDefaults::UsedParamY(int32_t paramCount) const {
    // A one-parameter data set shows its only parameter on both axes.
    return UsedParam(paray, paramCount);
}

int32_t PlotDefaults::UsedStyle() const {
    // Never the overlay bit: a new plot has no overlays.
    const int32_t known = kPlotStyleHistogram | kPlotStyleDots | kPlotStyleDensity | kPlotStyleContour;
    const int32_t s = style & known;
    return s ? s : kPlotStyleDots;
}

int32_t PlotDefaults::UsedLabelMode() const { return std::clamp(label, 1, 3); }

PlotDefaults& GetPlotDefaults() {
    static PlotDefaults defaults;
    return defaults;
}
