#include "lamina/drive_name.h"

#include <cstring>

namespace orv::lamina {

Char DriveLetterOf(const char* drive) {
  if (drive == nullptr) return 0;
  const size_t length = std::strlen(drive);
  const bool separated = length == 3 && (drive[2] == '\\' || drive[2] == '/');
  if ((length != 2 && !separated) || drive[1] != ':') return 0;
  const char letter = drive[0];
  if (letter >= 'a' && letter <= 'z') return static_cast<Char>(letter - 'a' + 'A');
  if (letter >= 'A' && letter <= 'Z') return static_cast<Char>(letter);
  return 0;
}

}  // namespace orv::lamina
