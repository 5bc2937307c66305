// Whether NTFS images can be mounted here (loop devices, mkntfs and ntfs-3g), for the
// tests that mount sector images: empty when they can, else why not, for GTEST_SKIP.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace orv::test {

inline std::string WhyImagesCannotMount() {
  const int control = open("/dev/loop-control", O_RDWR | O_CLOEXEC);
  if (control < 0) return "loop devices are not available here";
  close(control);
  if (access("/usr/sbin/mkntfs", X_OK) != 0 || access("/usr/bin/ntfs-3g", X_OK) != 0)
    return "mkntfs or ntfs-3g is not installed";
  return "";
}

}  // namespace orv::test
