#pragma once
// The bucket index of a logicle value table (filled by
// lm::logicle::BuildBins; the fields are described with lm::logicle::Kernel).
// Plain data, shared by core/Trans.h and core/TransBatch.h.
#include <cstdint>

namespace lm::logicle {

struct Bins {
    uint32_t keyGap, gapSize, keyLow, binShift, binCount;
    int32_t binSteps;
};

}  // namespace lm::logicle
