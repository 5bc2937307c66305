// What a create command (`inp create`, `wim capture`) does with the files it writes:
// an existing one is replaced only when asked (--force), and what a failed or cancelled
// run wrote is removed unless asked to keep it (--keep-partial), saying which it did.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/text.h"

namespace vantrel_cli {

// Whether an entry exists at `path` (a link counts as itself, not as what it names).
bool EntryExists(const orv::WString& path);

class CreatedOutput {
 public:
  // `files` lists the output's files that exist now; `command` and `name` ("an archive
  // a.inp") go into the messages; `extend` says how to add to an output, if there is a way.
  CreatedOutput(std::string command, std::string name, std::function<std::vector<orv::WString>()> files,
                std::string extend = {});

  // Without `force` an output that exists stops the command (the exit status); with it
  // every old file goes first, so that none is left beside the new ones.
  int MakeRoom(bool force) const;
  // After a run that did not finish: removes what was written, or keeps it.
  void Unfinished(bool keepPartial) const;

 private:
  std::string command_;
  std::string name_;
  std::function<std::vector<orv::WString>()> files_;
  std::string extend_;
};

}  // namespace vantrel_cli
