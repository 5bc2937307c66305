// The shared library's load-time constructor, the Linux counterpart of process attach.
#include "frame/attach.h"

namespace {

__attribute__((constructor)) void VantrelAttach() { orv::OnProcessAttach(); }

}  // namespace
