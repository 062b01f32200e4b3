#pragma once
// What "Copy Region" leaves in the document for "Paste Region": a clone of
// the region as it stood, clones of the two axis transforms its fractions
// were made through, and where it came from. The shell and the region of
// origin are followed, not owned: closing the file or removing the gate
// while the clip waits clears them, so a later paste never reaches a freed
// shell or region.
#include <memory>

#include "core/Observers.h"
#include "core/Region.h"

class CTRANS;
class VexaDataShell;

class CRegionClip : public CDataShellUser, public CDataRgnGPUser {
public:
    // A clip of region, which must belong to a gate of a shell; null
    // otherwise (there would be no transforms to compare a paste with).
    static std::unique_ptr<CRegionClip> Make(CDataRgn* region);
    ~CRegionClip() override;
    CRegionClip(const CRegionClip&) = delete;
    CRegionClip& operator=(const CRegionClip&) = delete;

    // The copy taken (no owner, no listeners).
    const CDataRgn& GetRegion() const { return *m_region; }
    // A fresh copy to hand to a shell.
    std::unique_ptr<CDataRgn> CloneRegion() const { return m_region->Clone(); }
    // The source shell's transforms of the region's parameters when it was
    // copied; the y transform is null when the shell had none.
    const CTRANS* GetXTrans() const { return m_xTrans.get(); }
    const CTRANS* GetYTrans() const { return m_yTrans.get(); }
    // Null once the shell has closed.
    VexaDataShell* GetSourceShell() const { return m_shell; }
    // Null once the region has gone.
    CDataRgn* GetSourceRegion() const { return m_source; }

    // ---- CDataRgnGPUser ----
    void RegionChanged() override {}
    void RegionDeleted(CDataRgn* region) override;

private:
    CRegionClip() = default;

    std::unique_ptr<CDataRgn> m_region;
    std::unique_ptr<CTRANS> m_xTrans;
    std::unique_ptr<CTRANS> m_yTrans;
    CDataRgn* m_source = nullptr;
};
