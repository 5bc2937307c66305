#include "platform/posix/mount_table.h"

#include <fstream>
#include <sstream>

namespace orv::os::posix {

namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// The table writes blanks, tabs, newlines and backslashes as three octal digits.
std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

}  // namespace

std::vector<MountEntry> ReadMountTable() {
  std::vector<MountEntry> mounts;
  std::ifstream table("/proc/self/mountinfo");
  std::string line;
  while (std::getline(table, line)) {
    // id parent major:minor root mount-point options [optional...] - type source ...
    std::istringstream fields(line);
    std::string id, parent, options, field;
    MountEntry entry;
    if (!(fields >> id >> parent >> entry.device >> entry.root >> entry.mountPoint >> options))
      continue;
    entry.readOnly = options == "ro" || options.starts_with("ro,");
    while (fields >> field && field != "-") {
    }
    fields >> entry.type >> entry.source;
    entry.root = Unescape(entry.root);
    entry.mountPoint = Unescape(entry.mountPoint);
    entry.source = Unescape(entry.source);
    mounts.push_back(std::move(entry));
  }
  return mounts;
}

}  // namespace orv::os::posix
