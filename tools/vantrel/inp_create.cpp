#include "inp_create.h"

#include "archive/source_metadata.h"
#include "created_output.h"
#include "error_text.h"
#include "exit_status.h"
#include "inp_archive.h"
#include "inp_sources.h"
#include "platform/encoding.h"
#include "progress_bar.h"

namespace vantrel_cli {

namespace {

namespace os = orv::os;
using orv::WString;

uint64_t SizeOf(const ORVFILEATTRIBUTEDATA& block) {
  return (uint64_t{block.nFileSizeHigh} << 32) | block.nFileSizeLow;
}

}  // namespace

int CreateArchive(std::FILE* out, const CreateRequest& request) {
  const WString path = os::FromUtf8(request.archive);
  SourceItems collected;
  if (const int status = CollectSources(request.sources, request.version != 1, collected)) return status;
  // The archive's files: the main file and, for versions 5 and 6, its parts.
  const CreatedOutput output("inp create", "archive " + request.archive, [path] { return ExistingArchiveFiles(path); },
                             "inp add adds to an archive");
  if (const int status = output.MakeRoom(request.force)) return status;
  Archive archive;
  if (!archive) {
    PrintError("inp create: no archive object", ORV_ERROR_NOT_SUPPORTED);
    return kExitFailure;
  }
  if (!archive->Open(path.c_str(), 0, request.version)) {
    PrintError("inp create: cannot create", archive->GetLastErrorCode(), request.archive);
    output.Unfinished(request.keepPartial);
    return kExitFailure;
  }
  if (request.splitSize > 0) archive->SetSplitSize(request.splitSize);
  if (request.compression >= -1) archive->SetCompression(static_cast<DWORD>(request.compression));
  uint64_t total = 0, done = 0;
  for (const Source& item : collected.items) total += SizeOf(item.attributes);
  ProgressBar bar("create");
  bar.OnMessage(ORV_MSG_TOTAL_AMOUNT, static_cast<DWORD>(total), static_cast<DWORD>(total >> 32));
  size_t failed = collected.unreadable;
  int status = kExitSuccess;
  // Versions 5 and 6 store a security descriptor only when given one.
  const bool withDescriptors = request.version == 5 || request.version == 6;
  std::vector<uint8_t> descriptor;
  for (const Source& item : collected.items) {
    if (CancelRequested()) {
      status = kExitCancelled;
      break;
    }
    if (withDescriptors) descriptor = orv::archive::SourceDescriptor(item.path);
    const void* given = descriptor.empty() ? nullptr : descriptor.data();
    if (!archive->AddFile(item.path.c_str(), item.name.c_str(), given,
                          static_cast<DWORD>(descriptor.size()), &item.attributes)) {
      const DWORD error = archive->GetLastErrorCode();
      PrintError("inp create: cannot add", error, os::ToUtf8(item.path));
      ++failed;
      if (EndsTheWork(error)) {
        status = kExitFailure;
        break;
      }
    }
    done += SizeOf(item.attributes);
    bar.OnMessage(ORV_MSG_DONE_AMOUNT, static_cast<DWORD>(done), static_cast<DWORD>(done >> 32));
  }
  bar.Finish();
  if (!archive->Close() && status == kExitSuccess) {
    PrintError("inp create: cannot finish", archive->GetLastErrorCode(), request.archive);
    status = kExitFailure;
  }
  if (status == kExitCancelled) std::fprintf(stderr, "vantrel: inp create: cancelled\n");
  if (status != kExitSuccess) {
    output.Unfinished(request.keepPartial);
    return status;
  }
  if (failed == 0) {
    std::fprintf(out, "created %s: %zu entries\n", request.archive.c_str(), collected.items.size());
    return kExitSuccess;
  }
  std::fprintf(stderr, "vantrel: inp create: %s holds %zu entries; %zu could not be stored and are missing\n",
               request.archive.c_str(), collected.items.size() - (failed - collected.unreadable), failed);
  return kExitPartial;
}

}  // namespace vantrel_cli
