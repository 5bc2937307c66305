// `vantrel disks`: the disks the disk service sees (the system's, or those of a
// description file), with their partitions, free stretches and volumes.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "disk_option.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/process.h"
#include "services/disk.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;

constexpr DWORD kMaxDisks = 64;

std::string Utf8(const orv::WString& text) { return os::ToUtf8(text); }

std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

void PrintDisk(FILE* out, const orv::COrvDisk& disk) {
  std::fprintf(out,
               "Disk %u: %s, %" PRIu64 " bytes (%s), sector %" PRIu64 ", track %" PRIu64
               ", cylinder %" PRIu64 "\n",
               unsigned(disk.number), Utf8(disk.GetName()).c_str(), disk.size,
               Megabytes(disk.size).c_str(), disk.sectorSize, disk.trackSize, disk.cylinderSize);
  std::fprintf(out, "  %-4s %-9s %16s %16s %4s %-5s %-14s %-8s %-12s %-16s %s\n", "No", "Kind",
               "Start", "Size", "Type", "Boot", "Used", "FS", "Label", "Windows", "Mount point");
  for (DWORD i = 0; i < disk.GetPartitionCount(); ++i) {
    const orv::COrvPartition partition = disk.GetPartitionAt(i);
    const orv::COrvVolume& volume = partition.GetVolume();
    const char* kind = partition.unallocated    ? (partition.primary ? "free" : "free-log")
                       : partition.IsExtended() ? "extended"
                       : partition.primary      ? "primary"
                                                : "logical";
    std::fprintf(out,
                 "  %-4u %-9s %16" PRIu64 " %16" PRIu64 " %02X   %-5s %-14s %-8s %-12s %-16s %s%s\n",
                 unsigned(partition.number), kind, partition.startingOffset, partition.size,
                 unsigned(partition.type), partition.active ? "yes" : "",
                 partition.unallocated ? "" : Megabytes(partition.usedSpace).c_str(),
                 Utf8(partition.GetFileSystem()).c_str(), Utf8(partition.GetVolumeName()).c_str(),
                 Utf8(volume.GetWindowsVersion()).c_str(),
                 Utf8(volume.GetVolumeMountPoint()).c_str(),
                 volume.IsRecovery() ? " (recovery)" : "");
  }
}

}  // namespace

void AddDisksOption(CLI::App& command, std::string& file) {
  command.add_option("--disks", file, "Disk description file used instead of the system's disks");
}

bool UseDiskDescription(const std::string& file) {
  if (file.empty()) return true;
  const orv::WString path = os::FromUtf8(file);
  DWORD attributes = 0;
  DWORD error = os::GetAttributes(path, attributes);
  // The library reads the variable too, so that its objects see the same disks.
  if (error == 0) error = os::SetEnvironment(ORV_T("VANTREL_DISKS"), path);
  if (error == 0) return true;
  std::fprintf(stderr, "vantrel: cannot use the disk description %s: error %u\n", file.c_str(),
               unsigned(error));
  return false;
}

void AddDiskCommands(CLI::App& app, CommandContext& context) {
  auto* disks = app.add_subcommand("disks", "List disks, partitions, volumes and used space");
  auto description = std::make_shared<std::string>();
  AddDisksOption(*disks, *description);
  disks->callback([&context, description] {
    if (!UseDiskDescription(*description)) {
      context.exitCode = 1;
      return;
    }
    DWORD shown = 0;
    for (DWORD number = 0; number < kMaxDisks; ++number) {
      orv::COrvDisk disk;
      // Disks are numbered without gaps: the first one that cannot be opened ends the list.
      if (!disk.Open(number)) {
        if (disk.GetLastErrorCode() != 2) {
          std::fprintf(stderr, "vantrel: disk %u cannot be read: error %u\n", unsigned(number),
                       unsigned(disk.GetLastErrorCode()));
          context.exitCode = 1;
        }
        break;
      }
      if (!disk.Enumerate()) continue;
      PrintDisk(context.out, disk);
      ++shown;
    }
    if (shown == 0) std::fprintf(context.out, "No disk found.\n");
  });
}

}  // namespace vantrel_cli
