#include "created_output.h"

#include <cstdio>

#include "error_text.h"
#include "exit_status.h"
#include "platform/encoding.h"
#include "platform/file.h"
#include "platform/folder.h"

namespace vantrel_cli {

namespace {

// Deletes the files (links themselves, never what they name); the first failure is named.
bool RemoveAll(const std::vector<orv::WString>& files, const std::string& doing) {
  for (const orv::WString& file : files) {
    if (const DWORD error = orv::os::DeleteEntryAt(file)) {
      PrintError(doing, error, orv::os::ToUtf8(file));
      return false;
    }
  }
  return true;
}

}  // namespace

bool EntryExists(const orv::WString& path) {
  orv::os::FileInfo info;
  return orv::os::GetInfo(path, info) == 0;
}

CreatedOutput::CreatedOutput(std::string command, std::string name,
                             std::function<std::vector<orv::WString>()> files, std::string extend)
    : command_(std::move(command)), name_(std::move(name)), files_(std::move(files)), extend_(std::move(extend)) {}

int CreatedOutput::MakeRoom(bool force) const {
  const std::vector<orv::WString> existing = files_();
  if (existing.empty()) return kExitSuccess;
  if (!force) {
    const std::string extend = extend_.empty() ? "" : " (" + extend_ + ")";
    std::fprintf(stderr, "vantrel: %s: %s exists; give --force to replace it%s\n", command_.c_str(),
                 orv::os::ToUtf8(existing.front()).c_str(), extend.c_str());
    return kExitFailure;
  }
  return RemoveAll(existing, command_ + ": cannot remove the old file") ? kExitSuccess : kExitFailure;
}

void CreatedOutput::Unfinished(bool keepPartial) const {
  const std::vector<orv::WString> written = files_();
  if (written.empty()) return;
  if (keepPartial)
    std::fprintf(stderr, "vantrel: %s: the unfinished %s is kept (--keep-partial)\n", command_.c_str(), name_.c_str());
  else if (RemoveAll(written, command_ + ": cannot remove the unfinished file"))
    std::fprintf(stderr, "vantrel: %s: the unfinished %s was removed\n", command_.c_str(), name_.c_str());
}

}  // namespace vantrel_cli
