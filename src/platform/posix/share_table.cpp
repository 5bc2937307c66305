#include "platform/posix/share_table.h"

#include <sys/sysmacros.h>

#include <map>
#include <mutex>
#include <new>
#include <vector>

#include "platform/errors.h"
#include "platform/posix/access.h"

namespace orv::os::posix {

namespace {

struct Grant {
  uint64_t ticket;
  bool read, write, remove;
  DWORD share;
};

Grant MakeGrant(DWORD access, DWORD share) {
  return Grant{0, WantsRead(access), WantsWrite(access), WantsDelete(access), share};
}

bool TakesPart(const Grant& grant) { return grant.read || grant.write || grant.remove; }

bool Conflicts(const Grant& wanted, const Grant& held) {
  return (wanted.read && !(held.share & kShareRead)) ||
         (wanted.write && !(held.share & kShareWrite)) ||
         (wanted.remove && !(held.share & kShareDelete)) ||
         (held.read && !(wanted.share & kShareRead)) ||
         (held.write && !(wanted.share & kShareWrite)) ||
         (held.remove && !(wanted.share & kShareDelete));
}

class ShareTable {
 public:
  static ShareTable& Instance() {
    // Never destroyed: files closed by other objects' destructors at exit (the log's,
    // for one) still release their grants here. Kept in static storage, not on the heap,
    // so unloading the library leaves nothing behind once every file is closed.
    alignas(ShareTable) static unsigned char storage[sizeof(ShareTable)];
    static ShareTable* table = new (storage) ShareTable();
    return *table;
  }

  DWORD Acquire(FileKey key, Grant wanted, bool keep, uint64_t& ticket) {
    ticket = 0;
    if (!TakesPart(wanted)) return err::kSuccess;
    std::lock_guard lock(mutex_);
    auto found = grants_.find(key);
    if (found != grants_.end())
      for (const Grant& held : found->second)
        if (Conflicts(wanted, held)) return err::kSharingViolation;
    if (keep) {
      wanted.ticket = ticket = ++lastTicket_;
      grants_[key].push_back(wanted);
    }
    return err::kSuccess;
  }

  void Release(FileKey key, uint64_t ticket) {
    std::lock_guard lock(mutex_);
    auto found = grants_.find(key);
    if (found == grants_.end()) return;
    std::erase_if(found->second, [&](const Grant& g) { return g.ticket == ticket; });
    if (found->second.empty()) grants_.erase(found);
  }

  bool IsOpen(FileKey key) {
    std::lock_guard lock(mutex_);
    return grants_.contains(key);
  }

 private:
  std::mutex mutex_;
  std::map<FileKey, std::vector<Grant>> grants_;
  uint64_t lastTicket_ = 0;
};

}  // namespace

FileKey KeyOf(const struct statx& st) {
  return FileKey{makedev(st.stx_dev_major, st.stx_dev_minor), st.stx_ino};
}

DWORD AcquireShare(FileKey key, DWORD access, DWORD share, uint64_t& ticket) {
  return ShareTable::Instance().Acquire(key, MakeGrant(access, share), true, ticket);
}

void ReleaseShare(FileKey key, uint64_t ticket) {
  if (ticket != 0) ShareTable::Instance().Release(key, ticket);
}

DWORD CheckDeleteShare(FileKey key) {
  uint64_t unused;
  return ShareTable::Instance().Acquire(
      key, MakeGrant(kDeleteAccess, kShareRead | kShareWrite | kShareDelete), false, unused);
}

bool IsOpenHere(FileKey key) { return ShareTable::Instance().IsOpen(key); }

}  // namespace orv::os::posix
