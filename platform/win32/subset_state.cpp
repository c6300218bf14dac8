#include "platform/win32/subset_state.h"

namespace morvala::win32 {

SubsetState& Subset() {
    static SubsetState state;
    return state;
}

void ResetSubset() {
    Subset() = SubsetState{};
}

}  // namespace morvala::win32
