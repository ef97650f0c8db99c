// The collections' run-time errors and capacity rule.
#include "util/Collection.h"

namespace ov {

void RaiseCollectionError(int code) {
    throw ERunError(212 - code);
}

std::int32_t ClampCollectionCapacity(std::int64_t requested, std::int32_t count) {
    if (requested < count) requested = count;
    if (requested > MaxCollectionSize) requested = MaxCollectionSize;
    return static_cast<std::int32_t>(requested);
}

}  // namespace ov
