#include "platform/arguments.h"

namespace orv::os {

std::vector<std::string> ProgramArgumentsUtf8(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace orv::os
