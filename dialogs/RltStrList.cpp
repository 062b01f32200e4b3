#include "dialogs/RltStrList.h"

#include <algorithm>
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

// Items of from less one of each item of minus (multisets).
template <class T>
std::vector<T> Without(std::vector<T> from, const std::vector<T>& minus) {
    for (const T& m : minus) {
        const auto it = std::find(from.begin(), from.end(), m);
        if (it != from.end()) from.erase(it);
    }
    return from;
}

// One list changed on either side since base: ours applied to theirs.
template <class T>
std::vector<T> MergeList(const std::vector<T>& base, const std::vector<T>& ours, const std::vector<T>& theirs,
                         bool unique) {
    if (ours == base) return theirs;
    if (theirs == base || theirs == ours) return ours;
    std::vector<T> merged = Without(theirs, Without(base, ours));
    for (const T& added : Without(ours, base))
        if (!unique || std::find(merged.begin(), merged.end(), added) == merged.end()) merged.push_back(added);
    return merged;
}

const RltDictEntry* FindEntry(const std::vector<RltDictEntry>& entries, const std::string& name) {
    for (const RltDictEntry& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}

using Phrase = std::pair<std::string, COLORREF>;

std::vector<Phrase> Phrases(const RltStrList& lists) {
    std::vector<Phrase> out;
    for (size_t i = 0; i < lists.strings.size(); ++i)
        out.emplace_back(lists.strings[i], i < lists.colors.size() ? lists.colors[i] : kWhite);
    return out;
}

}  // namespace

RltStrList MergeRltStrLists(const RltStrList& base, const RltStrList& ours, const RltStrList& theirs) {
    RltStrList merged;
    for (const Phrase& p : MergeList(Phrases(base), Phrases(ours), Phrases(theirs), true)) {
        merged.strings.push_back(p.first);
        merged.colors.push_back(p.second);
    }
    static const std::vector<std::string> kNone;
    for (const RltDictEntry& t : theirs.entries) {
        const RltDictEntry* b = FindEntry(base.entries, t.name);
        const RltDictEntry* o = FindEntry(ours.entries, t.name);
        if (b && !o) continue;  // deleted here
        if (!o) {
            merged.entries.push_back(t);
            continue;
        }
        merged.entries.push_back(RltDictEntry{t.name, MergeList(b ? b->phrases : kNone, o->phrases, t.phrases, false)});
    }
    for (const RltDictEntry& o : ours.entries) {
        if (FindEntry(theirs.entries, o.name)) continue;
        const RltDictEntry* b = FindEntry(base.entries, o.name);
        // Deleted there; kept only when changed here since.
        if (b && *b == o) continue;
        merged.entries.push_back(o);
    }
    return merged;
}

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

bool ReadRltStrListFile(const std::string& programFolder, RltStrList* out) {
    std::vector<uint8_t> bytes;
    if (!CArchive::ReadFile(RltStrListPath(programFolder), &bytes, nullptr, size_t(64) << 20)) return false;
    try {
        CArchive ar(std::move(bytes));
        LoadRltStrList(ar, out);
        return true;
    } catch (const CArchiveException&) {
        return false;
    }
}
