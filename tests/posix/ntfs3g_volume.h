// A freshly made NTFS image mounted through ntfs-3g, for tests that need a real NTFS
// volume on Linux. Where FUSE, mkntfs or ntfs-3g is missing, Mount says why and the
// test skips. The volume is unmounted when the object goes, whatever the test did.
#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/encoding.h"
#include "support/temp_folder.h"

namespace orv::test {

// The native form of a folder in the library's path form.
inline std::string NativeOf(const WString& path) {
  WString native = path;
  for (Char& c : native)
    if (c == '\\') c = '/';
  return os::ToUtf8(native);
}

class Ntfs3gVolume {
 public:
  Ntfs3gVolume() = default;
  Ntfs3gVolume(const Ntfs3gVolume&) = delete;
  Ntfs3gVolume& operator=(const Ntfs3gVolume&) = delete;
  ~Ntfs3gVolume() { Unmount(); }

  // Makes "<folder>/<name>.img" (16 MiB) with the label `label` and mounts it on
  // "<folder>/<name>", keeping raw encrypted streams readable. Empty when mounted,
  // else the reason it cannot be.
  std::string Mount(const std::string& folder, const std::string& name,
                    const std::string& label = "") {
    const int fuse = open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (fuse < 0) return "FUSE is not available here (/dev/fuse cannot be opened)";
    close(fuse);
    const std::string mkntfs = ProgramPath("mkntfs"), ntfs3g = ProgramPath("ntfs-3g");
    if (mkntfs.empty()) return "mkntfs is not installed";
    if (ntfs3g.empty()) return "ntfs-3g is not installed";
    const std::string image = folder + "/" + name + ".img";
    root_ = folder + "/" + name;
    if (mkdir(root_.c_str(), 0755) != 0) return "cannot make the mount folder " + root_;
    if (!Run("truncate -s 16M " + Quoted(image))) return "cannot make the image " + image;
    const std::string labelOption = label.empty() ? "" : " -L " + Quoted(label);
    if (!Run(mkntfs + " -F -f -q" + labelOption + " " + Quoted(image)))
      return "mkntfs cannot format " + image;
    if (!Run(ntfs3g + " -o streams_interface=xattr,efs_raw " + Quoted(image) + " " + Quoted(root_)))
      return "ntfs-3g cannot mount " + image + " (no permission to mount FUSE volumes?)";
    mounted_ = true;
    return "";
  }

  // The native folder the volume is mounted on.
  const std::string& Root() const { return root_; }
  // The same in the library's path form.
  WString Path() const { return os::FromUtf8(root_); }

  void Unmount() {
    if (!mounted_) return;
    mounted_ = false;
    // A busy volume is detached rather than left behind.
    if (umount2(root_.c_str(), 0) != 0) umount2(root_.c_str(), MNT_DETACH);
  }

 private:
  static std::string Quoted(const std::string& text) { return "'" + text + "'"; }
  static bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
  }
  // The program in the usual folders (the formatting tools live in sbin, often outside
  // the PATH of a test run); empty when it is not installed.
  static std::string ProgramPath(const std::string& name) {
    for (const char* folder : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"}) {
      const std::string path = folder + name;
      if (access(path.c_str(), X_OK) == 0) return path;
    }
    return "";
  }

  std::string root_;
  bool mounted_ = false;
};

}  // namespace orv::test
