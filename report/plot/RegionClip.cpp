#include "report/plot/RegionClip.h"

#include "core/DataShell.h"
#include "core/GateNode.h"
#include "core/Trans.h"

std::unique_ptr<CRegionClip> CRegionClip::Make(CDataRgn* region) {
    if (!region) return nullptr;
    const CGateNode* owner = region->GetOwner();
    VexaDataShell* shell = owner ? owner->GetShell() : nullptr;
    const CTRANS* x = region->GetXTrans();
    if (!shell || !x) return nullptr;
    std::unique_ptr<CRegionClip> clip(new CRegionClip());
    clip->m_region = region->Clone();
    if (!clip->m_region) return nullptr;
    clip->m_xTrans = x->Clone();
    if (const CTRANS* y = region->GetYTrans()) clip->m_yTrans = y->Clone();
    clip->m_source = region;
    region->AddUser(clip.get());
    clip->SetShell(shell, false);
    return clip;
}

CRegionClip::~CRegionClip() {
    if (m_source) m_source->RemoveUser(this);
    m_source = nullptr;
}

void CRegionClip::RegionDeleted(CDataRgn* region) {
    if (region == m_source) m_source = nullptr;
}
