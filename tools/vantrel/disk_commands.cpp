// `vantrel disks`: the disks the disk service sees (the system's, or those of a
// description file), with their partitions, free stretches and volumes.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "disk_option.h"
#include "error_text.h"
#include "exit_status.h"
#include "output_format.h"
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

const char* KindOf(const orv::COrvPartition& partition) {
  return partition.unallocated    ? (partition.primary ? "free" : "free-log")
         : partition.IsExtended() ? "extended"
         : partition.primary      ? "primary"
                                  : "logical";
}

std::string TypeHex(const orv::COrvPartition& partition) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", unsigned(partition.type));
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
    std::fprintf(out,
                 "  %-4u %-9s %16" PRIu64 " %16" PRIu64 " %s   %-5s %-14s %-8s %-12s %-16s %s%s\n",
                 unsigned(partition.number), KindOf(partition), partition.startingOffset, partition.size,
                 TypeHex(partition).c_str(), partition.active ? "yes" : "",
                 partition.unallocated ? "" : Megabytes(partition.usedSpace).c_str(),
                 Utf8(partition.GetFileSystem()).c_str(), Utf8(partition.GetVolumeName()).c_str(),
                 Utf8(volume.GetWindowsVersion()).c_str(),
                 Utf8(volume.GetVolumeMountPoint()).c_str(),
                 volume.IsRecovery() ? " (recovery)" : "");
  }
}

// One line a partition (or free stretch), the disk's number first.
void PrintDiskTsv(FILE* out, const orv::COrvDisk& disk) {
  for (DWORD i = 0; i < disk.GetPartitionCount(); ++i) {
    const orv::COrvPartition partition = disk.GetPartitionAt(i);
    const orv::COrvVolume& volume = partition.GetVolume();
    PrintTsvLine(out, {std::to_string(disk.number), std::to_string(partition.number), KindOf(partition),
                       std::to_string(partition.startingOffset), std::to_string(partition.size),
                       TypeHex(partition), partition.active ? "1" : "0",
                       std::to_string(partition.unallocated ? 0 : partition.usedSpace),
                       Utf8(partition.GetFileSystem()), Utf8(partition.GetVolumeName()),
                       Utf8(volume.GetWindowsVersion()), Utf8(volume.GetVolumeMountPoint()),
                       volume.IsRecovery() ? "1" : "0"});
  }
}

void PrintDiskJson(JsonWriter& json, const orv::COrvDisk& disk) {
  json.BeginObject();
  json.Number("number", disk.number);
  json.String("name", Utf8(disk.GetName()));
  json.Number("size", disk.size);
  json.Number("sector_size", disk.sectorSize);
  json.Number("track_size", disk.trackSize);
  json.Number("cylinder_size", disk.cylinderSize);
  json.BeginArray("partitions");
  for (DWORD i = 0; i < disk.GetPartitionCount(); ++i) {
    const orv::COrvPartition partition = disk.GetPartitionAt(i);
    const orv::COrvVolume& volume = partition.GetVolume();
    json.BeginObject();
    json.Number("number", partition.number);
    json.String("kind", KindOf(partition));
    json.Number("start", partition.startingOffset);
    json.Number("size", partition.size);
    json.Number("type", partition.type);
    json.Bool("boot", partition.active);
    json.Number("used", partition.unallocated ? 0 : partition.usedSpace);
    json.String("file_system", Utf8(partition.GetFileSystem()));
    json.String("label", Utf8(partition.GetVolumeName()));
    json.String("windows", Utf8(volume.GetWindowsVersion()));
    json.String("mount_point", Utf8(volume.GetVolumeMountPoint()));
    json.Bool("recovery", volume.IsRecovery());
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
}

// Lists every disk in the chosen form; the exit status.
int ListDisks(FILE* out, OutputFormat format) {
  std::unique_ptr<JsonWriter> json;
  if (format == OutputFormat::kJson) {
    json = std::make_unique<JsonWriter>(out);
    json->BeginArray();
  }
  int status = kExitSuccess;
  DWORD shown = 0;
  for (DWORD number = 0; number < kMaxDisks; ++number) {
    orv::COrvDisk disk;
    // Disks are numbered without gaps: the first one that cannot be opened ends the list.
    if (!disk.Open(number)) {
      if (disk.GetLastErrorCode() != 2) {
        PrintError("disks: cannot read", disk.GetLastErrorCode(), "disk " + std::to_string(number));
        status = kExitFailure;
      }
      break;
    }
    if (!disk.Enumerate()) {
      PrintError("disks: cannot read the partitions", disk.GetLastErrorCode(), "disk " + std::to_string(number));
      status = kExitPartial;
      continue;
    }
    if (json)
      PrintDiskJson(*json, disk);
    else if (format == OutputFormat::kTsv)
      PrintDiskTsv(out, disk);
    else
      PrintDisk(out, disk);
    ++shown;
  }
  if (json) json->EndArray();
  if (shown == 0 && format == OutputFormat::kText) std::fprintf(out, "No disk found.\n");
  return status;
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
  PrintError("cannot use the disk description", error, file);
  return false;
}

void AddDiskCommands(CLI::App& app, CommandContext& context) {
  auto* disks = app.add_subcommand(
      "disks", "List disks, partitions, volumes and used space (--tsv: disk, number, kind, start, "
               "size, type, boot, used bytes, file system, label, Windows, mount point, recovery)");
  struct Options {
    std::string description;
    OutputFormat format = OutputFormat::kText;
  };
  auto options = std::make_shared<Options>();
  AddDisksOption(*disks, options->description);
  AddOutputFormatOptions(*disks, options->format);
  disks->callback([&context, options] {
    context.exitCode = UseDiskDescription(options->description) ? ListDisks(context.out, options->format)
                                                                : kExitFailure;
  });
}

}  // namespace vantrel_cli
