// Reads arbitrary bytes as the Info Assistant's phrase lists: nothing may
// crash, leak, read outside the input or allocate far beyond its size; a
// refused file leaves the lists untouched, and lists that were read write
// out, read back and write again to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/Archive.h"
#include "dialogs/RltStrList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RltStrList lists;
    lists.strings = {"kept"};
    const RltStrList before = lists;
    try {
        CArchive ar(std::vector<uint8_t>(data, data + size));
        LoadRltStrList(ar, &lists);
    } catch (const CArchiveException&) {
        if (!(lists == before)) std::abort();  // a refused file changed the lists
        return 0;
    }
    CArchive first;
    StoreRltStrList(first, lists);
    RltStrList again;
    CArchive back(first.Bytes());
    LoadRltStrList(back, &again);  // throws (and so fails) if our own file is refused
    CArchive second;
    StoreRltStrList(second, again);
    if (first.Bytes() != second.Bytes()) std::abort();
    return 0;
}
