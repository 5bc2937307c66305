// errno -> Windows error code. Choices where the two systems do not line up:
//   ENOENT       -> 2 (file not found). A missing parent folder is detected while the
//                   path is resolved, before the call, and reported there as 3, as
//                   Windows does; an ENOENT that still reaches this table concerns the
//                   final name.
//   ENOTDIR      -> 3: a path component that is a file means the path does not exist.
//   EISDIR       -> 5: Windows refuses file operations on a directory with "access denied".
//   EEXIST       -> 80 (file exists). Operations whose Windows counterpart reports 183
//                   (CreateDirectory, MoveFile) translate it themselves.
//   EBUSY, ETXTBSY -> 32: the item is in use.
//   EIO, EUCLEAN -> 1392: the medium returned unreadable data; the caller sees the file
//                   as corrupt, which is what it can act on (skip it, report it).
//   EDQUOT, EFBIG -> 112: no room for the data, whatever the limit that was hit.
//   ELOOP        -> 1921: a chain of links that does not resolve.
//   anything else -> 1359 (internal error), never success.
#include "platform/posix/errno_map.h"

#include <cerrno>

#include "platform/errors.h"

namespace orv::os::posix {

DWORD ErrnoToWindows(int error) {
  switch (error) {
    case 0:
      return err::kSuccess;
    case ENOENT:
      return err::kFileNotFound;
    case ENOTDIR:
      return err::kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return err::kAccessDenied;
    case EEXIST:
      return err::kFileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return err::kDiskFull;
    case ENOTEMPTY:
      return err::kDirNotEmpty;
    case EXDEV:
      return err::kNotSameDevice;
    case ENAMETOOLONG:
      return err::kFilenameExcedRange;
    case EINVAL:
    case EOVERFLOW:
    case ESPIPE:
    case EFAULT:
    case E2BIG:
      return err::kInvalidParameter;
    case EMFILE:
    case ENFILE:
      return err::kTooManyOpenFiles;
    case EBADF:
      return err::kInvalidHandle;
    case EROFS:
      return err::kWriteProtect;
    case ENOMEM:
      return err::kNotEnoughMemory;
    case EBUSY:
    case ETXTBSY:
      return err::kSharingViolation;
    case EIO:
    case EUCLEAN:
      return err::kFileCorrupt;
    case ELOOP:
      return err::kCantResolveFilename;
    case ENOTSUP:
      return err::kNotSupported;
    case ENOSYS:
      return err::kCallNotImplemented;
    case ENODEV:
    case ENXIO:
      return err::kNotReady;
    case EPIPE:
      return err::kBrokenPipe;
    case ENOEXEC:
      return err::kBadExeFormat;
    case ETIMEDOUT:
      return err::kTimeout;
    default:
      return err::kInternalError;
  }
}

DWORD LastError() { return ErrnoToWindows(errno); }

}  // namespace orv::os::posix
