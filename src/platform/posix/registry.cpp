// The registry values the library keeps, in a text file of lines "KEY\VALUE=decimal"
// (UTF-8). The file is VANTREL_REGISTRY when set; else /var/lib/vantrel/registry when
// that file, or its folder, is writable; else ~/.vantrel-registry. Names compare
// ignoring case, as registry names do. A change rewrites the file beside itself and
// renames it into place, so a reader never sees half a file.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <vector>

#include "platform/case_fold.h"
#include "platform/encoding.h"
#include "platform/errors.h"
#include "platform/posix/errno_map.h"
#include "platform/process.h"

namespace orv::os {

namespace {

constexpr char kSystemFolder[] = "/var/lib/vantrel";
constexpr char kSystemFile[] = "/var/lib/vantrel/registry";

std::mutex g_registryMutex;

std::string RegistryFile() {
  const char* configured = std::getenv("VANTREL_REGISTRY");
  if (configured != nullptr && configured[0] != '\0') return configured;
  const bool exists = access(kSystemFile, F_OK) == 0;
  if (exists ? access(kSystemFile, W_OK) == 0 : access(kSystemFolder, W_OK) == 0)
    return kSystemFile;
  const char* home = std::getenv("HOME");
  return home != nullptr && home[0] != '\0' ? std::string(home) + "/.vantrel-registry"
                                            : kSystemFile;
}

struct Line {
  std::string text;
  WString name;  // "KEY\VALUE", empty for a line that is not a value
  std::string value;
};

std::vector<Line> ReadLines(const std::string& file) {
  std::vector<Line> lines;
  std::ifstream in(file);
  std::string text;
  while (std::getline(in, text)) {
    Line line{text, {}, {}};
    const size_t equals = text.rfind('=');
    if (equals != std::string::npos) {
      line.name = FromUtf8(std::string_view(text).substr(0, equals));
      line.value = text.substr(equals + 1);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

bool ParseDword(const std::string& text, DWORD& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc{} && result.ptr == end;
}

WString FullName(WStringView key, WStringView value) {
  return WString(key) + ORV_T("\\") + WString(value);
}

bool Writable(WStringView text) {
  return text.find_first_of(ORV_T("=\r\n")) == WStringView::npos &&
         text.find(Char(0)) == WStringView::npos;
}

DWORD WriteLines(const std::string& file, const std::vector<Line>& lines) {
  const std::string temporary = file + ".new";
  FILE* out = std::fopen(temporary.c_str(), "w");
  // Creating a file fails with ENOENT only when its folder is missing.
  if (out == nullptr) return errno == ENOENT ? err::kPathNotFound : posix::LastError();
  bool written = true;
  for (const Line& line : lines)
    written = written && std::fputs(line.text.c_str(), out) >= 0 && std::fputc('\n', out) != EOF;
  DWORD error = written ? err::kSuccess : posix::LastError();
  if (std::fclose(out) != 0 && error == err::kSuccess) error = posix::LastError();
  if (error != err::kSuccess) {
    std::remove(temporary.c_str());
    return error;
  }
  if (std::rename(temporary.c_str(), file.c_str()) != 0) {
    const DWORD renameError = posix::LastError();
    std::remove(temporary.c_str());
    return renameError;
  }
  return err::kSuccess;
}

}  // namespace

DWORD ReadRegistryDword(WStringView key, WStringView value, DWORD& data) {
  const WString name = FullName(key, value);
  std::lock_guard lock(g_registryMutex);
  for (const Line& line : ReadLines(RegistryFile()))
    if (!line.name.empty() && CompareNoCase(line.name, name) == 0 && ParseDword(line.value, data))
      return err::kSuccess;
  return err::kFileNotFound;
}

DWORD WriteRegistryDword(WStringView key, WStringView value, DWORD data) {
  if (key.empty() || !Writable(key) || !Writable(value)) return err::kInvalidParameter;
  const WString name = FullName(key, value);
  const std::string text = ToUtf8(name) + "=" + std::to_string(data);
  std::lock_guard lock(g_registryMutex);
  const std::string file = RegistryFile();
  std::vector<Line> lines = ReadLines(file);
  bool replaced = false;
  for (Line& line : lines) {
    if (line.name.empty() || CompareNoCase(line.name, name) != 0) continue;
    line.text = text;
    replaced = true;
  }
  if (!replaced) lines.push_back(Line{text, name, std::to_string(data)});
  return WriteLines(file, lines);
}

DWORD DeleteRegistryValue(WStringView key, WStringView value) {
  const WString name = FullName(key, value);
  std::lock_guard lock(g_registryMutex);
  const std::string file = RegistryFile();
  std::vector<Line> lines = ReadLines(file);
  const size_t before = lines.size();
  std::erase_if(lines, [&](const Line& line) {
    return !line.name.empty() && CompareNoCase(line.name, name) == 0;
  });
  if (lines.size() == before) return err::kFileNotFound;
  return WriteLines(file, lines);
}

bool RegistryKeyExists(WStringView key) {
  const WString prefix = WString(key) + ORV_T("\\");
  std::lock_guard lock(g_registryMutex);
  for (const Line& line : ReadLines(RegistryFile()))
    if (line.name.size() > prefix.size() &&
        CompareNoCase(WStringView(line.name).substr(0, prefix.size()), prefix) == 0)
      return true;
  return false;
}

}  // namespace orv::os
