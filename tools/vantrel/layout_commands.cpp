// `vantrel layout write|compare`: the partition layout file of an image (MRL.XML),
// written from a disk and compared with a disk through the library's comparison object.
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>

#include "commands.h"
#include "disk_option.h"
#include "error_text.h"
#include "exit_status.h"
#include "output_format.h"
#include "layout/layout_file.h"
#include "platform/encoding.h"
#include "vantrel/vantrel.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;

struct LayoutOptions {
  std::string file;
  std::string disks;
  unsigned disk = 0;
  int layoutDisk = -1;
  OutputFormat format = OutputFormat::kText;
};

const char* StatusText(DWORD status) {
  switch (status) {
    case 1:
      return "partition matches";
    case 2:
      return "partition matches, not formatted";
    case 4:
      return "free space fits";
    case 8:
      return "no place";
    default:
      return "?";
  }
}

int WriteLayout(const LayoutOptions& options, FILE* out) {
  if (!UseDiskDescription(options.disks)) return kExitFailure;
  orv::COrvDisk disk;
  if (!disk.Open(options.disk) || !disk.Enumerate()) {
    PrintError("layout write: cannot read", disk.GetLastErrorCode(), "disk " + std::to_string(options.disk));
    return kExitFailure;
  }
  // Every partition counts as captured.
  orv::UsedSpaceTable used;
  for (DWORD i = 0; i < disk.GetPartitionCount(); ++i) {
    const orv::COrvPartition partition = disk.GetPartitionAt(i);
    if (!partition.unallocated && partition.size != 0) used[partition.number] = partition.usedSpace;
  }
  if (const DWORD error = orv::WriteLayoutFile(os::FromUtf8(options.file), used, disk)) {
    PrintError("layout write: cannot write", error, options.file);
    return kExitFailure;
  }
  std::fprintf(out, "Layout of disk %u written to %s\n", options.disk, options.file.c_str());
  return kExitSuccess;
}

void PrintPartition(FILE* out, OutputFormat format, JsonWriter* json, const LAYOUTPARTITIONDATA& data) {
  if (json) {
    json->BeginObject();
    json->Number("number", data.dwNumber);
    json->Number("status", data.dwStatus);
    json->String("meaning", StatusText(data.dwStatus));
    json->Number("start", data.ullStartingOffset);
    json->Number("size", data.ullSize);
    json->Number("type", data.byType);
    json->String("mount_point", os::ToUtf8(data.szMountPoint));
    json->Bool("recovery", data.dwRecovery != 0);
    json->EndObject();
  } else if (format == OutputFormat::kTsv) {
    std::fprintf(out, "%u\t%u\t%" PRIu64 "\t%" PRIu64 "\t%02X\n", unsigned(data.dwNumber),
                 unsigned(data.dwStatus), uint64_t{data.ullStartingOffset}, uint64_t{data.ullSize},
                 unsigned(data.byType));
  } else {
    std::fprintf(out, "%-6u %-6u %-34s %16" PRIu64 " %16" PRIu64 " %02X   %s%s\n",
                 unsigned(data.dwNumber), unsigned(data.dwStatus), StatusText(data.dwStatus),
                 uint64_t{data.ullStartingOffset}, uint64_t{data.ullSize}, unsigned(data.byType),
                 os::ToUtf8(data.szMountPoint).c_str(), data.dwRecovery ? " (recovery)" : "");
  }
}

int CompareLayout(const LayoutOptions& options, FILE* out) {
  if (!UseDiskDescription(options.disks)) return kExitFailure;
  IOrvMrlComparison* comparison = GetMrlComparisonInterface();
  if (!comparison) {
    PrintError("layout compare: no comparison object", ORV_ERROR_NOT_SUPPORTED);
    return kExitFailure;
  }
  const orv::WString file = os::FromUtf8(options.file);
  int result = kExitSuccess;
  if (!comparison->OpenComparison(options.disk, file.c_str(), options.layoutDisk)) {
    PrintError("layout compare: cannot compare " + options.file + " with disk " + std::to_string(options.disk),
               comparison->GetLastErrorCode());
    result = kExitFailure;
  } else {
    if (options.format == OutputFormat::kText)
      std::fprintf(out, "%-6s %-6s %-34s %16s %16s %4s %s\n", "Number", "Status", "", "Start",
                   "Size", "Type", "Mount point");
    std::unique_ptr<JsonWriter> json;
    if (options.format == OutputFormat::kJson) {
      json = std::make_unique<JsonWriter>(out);
      json->BeginArray();
    }
    LAYOUTPARTITIONDATA data{};
    for (BOOL more = comparison->GetFirstPartition(&data); more;
         more = comparison->GetNextPartition(&data))
      PrintPartition(out, options.format, json.get(), data);
    if (json) json->EndArray();
    comparison->Close();
  }
  comparison->Release();
  return result;
}

}  // namespace

void AddLayoutCommands(CLI::App& app, CommandContext& context) {
  auto* layout =
      app.add_subcommand("layout", "Write or compare the partition layout file (MRL.XML)");
  layout->require_subcommand(1);

  auto write = std::make_shared<LayoutOptions>();
  auto* writeCommand =
      layout->add_subcommand("write", "Write the layout of a disk, every partition selected");
  writeCommand->add_option("file", write->file, "Layout file to write (added to when it exists)")
      ->required();
  writeCommand->add_option("--disk", write->disk, "Number of the disk")->required();
  AddDisksOption(*writeCommand, write->disks);
  writeCommand->callback(
      [&context, write] { context.exitCode = WriteLayout(*write, context.out); });

  auto compare = std::make_shared<LayoutOptions>();
  auto* compareCommand = layout->add_subcommand(
      "compare", "Compare a layout file with a disk (--tsv: number, status, start, size, type)");
  compareCommand->add_option("file", compare->file, "Layout file to read")->required();
  compareCommand->add_option("--disk", compare->disk, "Number of the disk to compare with")
      ->required();
  compareCommand->add_option("--layout-disk", compare->layoutDisk,
                             "\"Number\" of the disk element to use (default: the first)");
  AddOutputFormatOptions(*compareCommand, compare->format);
  AddDisksOption(*compareCommand, compare->disks);
  compareCommand->callback(
      [&context, compare] { context.exitCode = CompareLayout(*compare, context.out); });
}

}  // namespace vantrel_cli
