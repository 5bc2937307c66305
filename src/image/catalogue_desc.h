// DESC.TXT, the description of a differential image or a recovery point: an INI-style
// text of one section "Diff" with the keys Text, Time, Files and Size, in UTF-16LE with a
// byte-order mark. A recovery point's file starts with a heading line and keeps
// descriptions of up to 1560 characters; a differential image's text line is cut at 520.
#pragma once

#include "platform/clock.h"
#include "services/text_file.h"

namespace orv {

enum class DescriptionKind { kDifferentialImage, kRecoveryPoint };

// The longest description a recovery point takes.
inline constexpr size_t kMaxRecoveryPointDescription = 1560;

class DescriptionFile {
 public:
  // Creates the file new with its first line "[Diff]" (after the heading of a recovery
  // point); an existing file is left as it is and nothing is written to it. Returns the
  // error of the create. The text goes to a new file beside it that takes the name only
  // at Close (AtomicFile).
  DWORD Open(WStringView path, DescriptionKind kind = DescriptionKind::kDifferentialImage);
  bool IsOpen() const { return file_.IsOpen(); }
  // Appends the Text, Time, Files and Size lines when the file is open.
  DWORD Write(WStringView text, const os::CalendarTime& finished, DWORD files, uint64_t size);
  // Puts the file in place: 0, or the first failure, which fails the caller's operation.
  // 0 when nothing was open.
  [[nodiscard]] DWORD Close();

 private:
  AtomicFile file_;
  DescriptionKind kind_ = DescriptionKind::kDifferentialImage;
};

// The Text key of the Diff section of a description file, at most 260 characters;
// empty when the file, the section or the key is missing.
WString ReadDescriptionText(WStringView path);

// The Text line's value, line breaks replaced by blanks so that a description cannot
// add keys of its own: for a differential image at most 520 characters per line in all,
// for a recovery point the whole description.
WString DescriptionText(WStringView text, DescriptionKind kind = DescriptionKind::kDifferentialImage);

}  // namespace orv
