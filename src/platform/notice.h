// Notices from the platform layer: things it had to drop (an attribute the file system
// cannot hold, for example) that are worth a log line but are not errors. The log
// service registers itself as the sink; without one, notices are discarded.
#pragma once

#include "platform/text.h"

namespace orv::os {

using NoticeSink = void (*)(WStringView text);

void SetNoticeSink(NoticeSink sink);
void Notice(WStringView text);

}  // namespace orv::os
