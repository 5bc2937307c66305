// Process attach: sets the log up unless another module of the process already did.
#pragma once

namespace orv {

void OnProcessAttach();

}  // namespace orv
