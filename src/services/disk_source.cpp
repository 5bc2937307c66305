#include "services/disk_source.h"

#include <mutex>
#include <optional>

#include "platform/process.h"

namespace orv {

namespace {

std::mutex g_mutex;
std::optional<WString> g_file;  // set by SetDiskDescriptionFile

}  // namespace

void SetDiskDescriptionFile(WStringView path) {
  std::lock_guard lock(g_mutex);
  if (path.empty())
    g_file.reset();
  else
    g_file = WString(path);
}

WString DiskDescriptionFile() {
  {
    std::lock_guard lock(g_mutex);
    if (g_file) return *g_file;
  }
  return os::GetEnvironment(ORV_T("VANTREL_DISKS")).value_or(WString());
}

DWORD ReadDiskFacts(DWORD number, DiskFacts& disk) {
  disk = DiskFacts{};
  const WString file = DiskDescriptionFile();
  return file.empty() ? ReadSystemDisk(number, disk) : ReadDescribedDisk(file, number, disk);
}

}  // namespace orv
