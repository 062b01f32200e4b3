#include "base/LogFont.h"

#include "base/Archive.h"

std::string CutUtf8Chars(const std::string& s, size_t maxChars) {
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        // Each byte that is not a continuation byte starts a character.
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == maxChars) return s.substr(0, i);
            ++chars;
        }
    }
    return s;
}

void StoreLogFont(CArchive& ar, const LOGFONT& lf) {
    ar.WriteInt32(lf.lfHeight);
    ar.WriteInt32(lf.lfWidth);
    ar.WriteInt32(lf.lfEscapement);
    ar.WriteInt32(lf.lfOrientation);
    ar.WriteInt32(lf.lfWeight);
    const uint8_t bytes[8] = {lf.lfItalic,      lf.lfUnderline,     lf.lfStrikeOut, lf.lfCharSet,
                              lf.lfOutPrecision, lf.lfClipPrecision, lf.lfQuality,   lf.lfPitchAndFamily};
    ar.WriteBytes(bytes, sizeof bytes);
    // A longer name would overrun the face field of a Windows reader.
    ar.WriteString(CutUtf8Chars(lf.lfFaceName, kLfFaceNameMaxChars));
}

LOGFONT LoadLogFont(CArchive& ar) {
    LOGFONT lf;
    lf.lfHeight = ar.ReadInt32();
    lf.lfWidth = ar.ReadInt32();
    lf.lfEscapement = ar.ReadInt32();
    lf.lfOrientation = ar.ReadInt32();
    lf.lfWeight = ar.ReadInt32();
    uint8_t bytes[8];
    ar.ReadBytes(bytes, sizeof bytes);
    lf.lfItalic = bytes[0];
    lf.lfUnderline = bytes[1];
    lf.lfStrikeOut = bytes[2];
    lf.lfCharSet = bytes[3];
    lf.lfOutPrecision = bytes[4];
    lf.lfClipPrecision = bytes[5];
    lf.lfQuality = bytes[6];
    lf.lfPitchAndFamily = bytes[7];
    std::string face = ar.ReadString();
    // The Windows field is a C string: nothing after a NUL byte counts.
    if (const size_t nul = face.find('\0'); nul != std::string::npos) face.resize(nul);
    lf.lfFaceName = CutUtf8Chars(face, kLfFaceNameMaxChars);
    return lf;
}
