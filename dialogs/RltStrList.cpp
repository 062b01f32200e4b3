#include "dialogs/RltStrList.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

#include "base/Archive.h"

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
// Smallest record of each list item, for checking counts against the bytes
// left before anything is reserved: an empty string is one byte.
constexpr size_t kMinPhraseBytes = 1 + 4;
constexpr size_t kMinEntryBytes = 1 + 4;
constexpr size_t kMinStringBytes = 1;

std::string DatabaseFolder(const std::string& programFolder) {
    std::string f = programFolder;
    if (!f.empty() && f.back() != '/') f += '/';
    return f + "Database";
}

}  // namespace

void StoreRltStrList(CArchive& ar, const RltStrList& lists) {
    ar.WriteInt32(int32_t(lists.strings.size()));
    for (size_t i = 0; i < lists.strings.size(); ++i) {
        ar.WriteString(lists.strings[i]);
        ar.WriteUInt32(i < lists.colors.size() ? lists.colors[i] : kWhite);
    }
    ar.WriteInt32(int32_t(lists.entries.size()));
    for (const RltDictEntry& e : lists.entries) {
        ar.WriteString(e.name);
        ar.WriteInt32(int32_t(e.phrases.size()));
        for (const std::string& p : e.phrases) ar.WriteString(p);
    }
}

void LoadRltStrList(CArchive& ar, RltStrList* out) {
    RltStrList read;
    const size_t n = ar.CheckCount(ar.ReadInt32(), kMinPhraseBytes);
    read.strings.reserve(n);
    read.colors.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        read.strings.push_back(ar.ReadString());
        read.colors.push_back(ar.ReadUInt32());
    }
    const size_t e = ar.CheckCount(ar.ReadInt32(), kMinEntryBytes);
    read.entries.reserve(e);
    for (size_t i = 0; i < e; ++i) {
        RltDictEntry entry;
        entry.name = ar.ReadString();
        const size_t p = ar.CheckCount(ar.ReadInt32(), kMinStringBytes);
        entry.phrases.reserve(p);
        for (size_t k = 0; k < p; ++k) entry.phrases.push_back(ar.ReadString());
        read.entries.push_back(std::move(entry));
    }
    if (ar.Remaining() != 0)
        throw CArchiveException("archive: " + std::to_string(ar.Remaining()) +
                                " bytes after the end of the lists at offset " + std::to_string(ar.Position()));
    *out = std::move(read);
}

std::string RltStrListPath(const std::string& programFolder) {
    return DatabaseFolder(programFolder) + "/RLTSTRLIST";
}

RltLoadStatus LoadRltStrListFile(const std::string& programFolder, RltStrList* out, std::string* error) {
    const std::string path = RltStrListPath(programFolder);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return RltLoadStatus::missing;
    std::vector<uint8_t> bytes;
    std::string why;
    // Lists of phrases are small; anything past 64 MB is not one of ours.
    if (CArchive::ReadFile(path, &bytes, &why, size_t(64) << 20)) {
        try {
            CArchive ar(std::move(bytes));
            LoadRltStrList(ar, out);
            return RltLoadStatus::loaded;
        } catch (const CArchiveException& e) {
            why = e.what();
        }
    }
    // Kept aside so the next save cannot destroy what may still be recovered.
    const std::string bad = path + ".bad";
    std::string kept;
    if (std::rename(path.c_str(), bad.c_str()) == 0)
        kept = "It was kept as \"" + bad + "\".";
    else
        kept = "It could not be kept as \"" + bad + "\": " + std::strerror(errno) + ".";
    if (error) *error = "The phrase lists \"" + path + "\" cannot be read (" + why + "). " + kept;
    return RltLoadStatus::damaged;
}

bool SaveRltStrListFile(const std::string& programFolder, const RltStrList& lists, std::string* error) {
    const std::string folder = DatabaseFolder(programFolder);
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        if (error) *error = "cannot create the folder \"" + folder + "\": " + std::strerror(errno);
        return false;
    }
    CArchive ar;
    try {
        StoreRltStrList(ar, lists);
    } catch (const CArchiveException& e) {
        if (error) *error = e.what();
        return false;
    }
    return CArchive::WriteFileAtomic(RltStrListPath(programFolder), ar.Bytes(), error);
}
