// The password of an image, asked for before a command writes anything from it, as the
// application the library serves does: given with --password, or typed on a terminal.
#pragma once

#include <string>

#include "platform/text.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

// 0 when the image in `folder` has no password or `given` (or what the user types when
// `given` is empty and standard input is a terminal) is it; otherwise the exit status,
// with the reason printed.
int CheckImagePassword(IOrvImage& image, const orv::WString& folder, const std::string& given,
                       const std::string& command);

}  // namespace vantrel_cli
