#pragma once
// The statistic values a result table or a grid shows, computed together: a
// table rebuilt or a region dragged under a grid leaves many values stale at
// once, and each of them walks a gate's events. The walks are spread over
// the cores (lm::ForTasks), and the Mean, SD and CV of one gate and
// parameter share one walk for the mean and one for the SD. The texts are
// those CStatItem::GetStatText gives, whatever the split.
#include <cstdint>
#include <string>
#include <vector>

class CStatItem;

// One value asked for. `has` says whether the statistic has a value at all:
// without events, or for a parameter the data set lacks, an item would
// answer 0, which is no value to show.
struct StatRequest {
    const CStatItem* item = nullptr;
    int32_t code = 0;
    int32_t param = 0;
    std::string text;  // out
    bool has = false;  // out
};

// Codes 2-7 and 9 are taken of one parameter.
bool StatTakesParam(int32_t code);
// Whether item has a value for (code, param) (see StatRequest).
bool StatHasValue(const CStatItem* item, int32_t code, int32_t param);
// Fills text and has of every request. Requests may repeat; they are
// computed once. Items are read in parallel, each by one thread at a time.
void ComputeStatTexts(std::vector<StatRequest>& requests);
