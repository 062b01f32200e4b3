#pragma once
// The font description the Windows program keeps in its page objects and
// writes into document records. The face name is UTF-8 here; on disk it is an
// archive string (code page 936).
#include <cstdint>
#include <string>

class CArchive;

constexpr int32_t FW_DONTCARE = 0;
constexpr int32_t FW_THIN = 100;
constexpr int32_t FW_LIGHT = 300;
constexpr int32_t FW_NORMAL = 400;
constexpr int32_t FW_MEDIUM = 500;
constexpr int32_t FW_SEMIBOLD = 600;
constexpr int32_t FW_BOLD = 700;
constexpr int32_t FW_HEAVY = 900;

constexpr uint8_t ANSI_CHARSET = 0;
constexpr uint8_t DEFAULT_CHARSET = 1;
constexpr uint8_t GB2312_CHARSET = 134;

// The Windows face field holds 31 characters and a terminator.
constexpr size_t kLfFaceNameMaxChars = 31;

struct LOGFONT {
    int32_t lfHeight = 0;
    int32_t lfWidth = 0;
    int32_t lfEscapement = 0;
    int32_t lfOrientation = 0;
    int32_t lfWeight = 0;
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = 0;
    uint8_t lfOutPrecision = 0;
    uint8_t lfClipPrecision = 0;
    uint8_t lfQuality = 0;
    uint8_t lfPitchAndFamily = 0;
    std::string lfFaceName;  // UTF-8, at most kLfFaceNameMaxChars characters

    bool operator==(const LOGFONT&) const = default;
};

// The first maxChars characters (code points) of a UTF-8 text; never cuts a
// character in half.
std::string CutUtf8Chars(const std::string& s, size_t maxChars);

// Record layout: 5 x int32 (height, width, escapement, orientation, weight),
// 8 single bytes (italic, underline, strike-out, char set, output precision,
// clip precision, quality, pitch and family), face name as archive string.
// Both directions keep at most 31 characters of the face name, as the field
// of the Windows program does.
void StoreLogFont(CArchive& ar, const LOGFONT& lf);
LOGFONT LoadLogFont(CArchive& ar);
