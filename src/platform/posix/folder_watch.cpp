// The folder watch on Linux: fanotify where the kernel and the privileges allow it for
// every tree (one mark a file system, no limit of watches, renames need no bookkeeping),
// else inotify. VANTREL_WATCH=inotify chooses inotify.
#include "platform/folder_watch.h"

#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/errors.h"
#include "platform/posix/folder_watch_events.h"

namespace orv::os {

namespace {

// Every tree is added before the first wait, so the choice is made while nothing can be
// missed: a tree that fanotify refuses moves all of them to inotify.
class ChosenWatch final : public FolderWatch {
 public:
  explicit ChosenWatch(std::unique_ptr<FolderWatch> fanotify) : watch_(std::move(fanotify)), fanotify_(true) {}

  DWORD Add(WStringView folder, WStringView givenRoot, std::vector<FolderEvent>& unwatched) override {
    if (fanotify_ && watch_->Add(folder, givenRoot, unwatched) == err::kSuccess) {
      added_.emplace_back(folder, givenRoot);
      return err::kSuccess;
    }
    if (fanotify_) {
      fanotify_ = false;
      if (const DWORD error = posix::CreateInotifyWatch(watch_)) return error;
      for (const auto& [earlier, given] : added_)
        if (const DWORD error = watch_->Add(earlier, given, unwatched)) return error;
    }
    return watch_->Add(folder, givenRoot, unwatched);
  }

  const char* Mechanism() const override { return watch_->Mechanism(); }

  DWORD Wait(DWORD milliseconds, std::vector<FolderEvent>& events) override {
    return watch_->Wait(milliseconds, events);
  }

 private:
  std::unique_ptr<FolderWatch> watch_;
  bool fanotify_;
  std::vector<std::pair<WString, WString>> added_;
};

}  // namespace

DWORD CreateFolderWatch(std::unique_ptr<FolderWatch>& watch) {
  const char* chosen = std::getenv("VANTREL_WATCH");
  std::unique_ptr<FolderWatch> fanotify;
  if ((chosen && std::string_view(chosen) == "inotify") || posix::CreateFanotifyWatch(fanotify) != 0)
    return posix::CreateInotifyWatch(watch);
  watch = std::make_unique<ChosenWatch>(std::move(fanotify));
  return err::kSuccess;
}

}  // namespace orv::os
