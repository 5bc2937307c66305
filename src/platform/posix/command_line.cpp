#include "platform/posix/command_line.h"

namespace orv::os::posix {

namespace {

bool IsBlank(Char c) { return c == ' ' || c == '\t'; }

WString ProgramName(WStringView line, size_t& i) {
  WString name;
  if (i < line.size() && line[i] == '"') {
    const size_t end = line.find('"', i + 1);
    name = line.substr(i + 1, end == WStringView::npos ? WStringView::npos : end - i - 1);
    i = end == WStringView::npos ? line.size() : end + 1;
    return name;
  }
  while (i < line.size() && !IsBlank(line[i])) name += line[i++];
  return name;
}

WString Argument(WStringView line, size_t& i) {
  WString argument;
  bool quoted = false;
  while (i < line.size() && (quoted || !IsBlank(line[i]))) {
    size_t backslashes = 0;
    while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
    if (i < line.size() && line[i] == '"') {
      argument.append(backslashes / 2, '\\');
      if (backslashes % 2 == 1) {
        argument += '"';
      } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        argument += '"';
        quoted = false;
        ++i;
      } else {
        quoted = !quoted;
      }
      ++i;
    } else {
      argument.append(backslashes, '\\');
      if (backslashes == 0 && i < line.size()) argument += line[i++];
    }
  }
  return argument;
}

}  // namespace

std::vector<WString> SplitCommandLine(WStringView line) {
  std::vector<WString> arguments;
  size_t i = 0;
  arguments.push_back(ProgramName(line, i));
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) break;
    arguments.push_back(Argument(line, i));
  }
  return arguments;
}

}  // namespace orv::os::posix
