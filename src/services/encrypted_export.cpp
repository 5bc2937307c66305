#include "platform/encrypted_file.h"
#include "services/encrypted_files.h"
#include "services/log.h"
#include "services/shadow_copy.h"

namespace orv {

DWORD ExportEncryptedStream(const WString& source, const WString& target) {
  COrvLog& log = COrvLog::GetInstance();
  const DWORD error = PutRawContentToFile(source, target);
  if (error == 0) return 0;
  if (error != kComponentNotRegistered)
    log.AddError(ORV_T("IOrvMsEcryptedFiles::PutRawContentToFile failed - %u (%8.8X)"), error,
                 error);
  else
    log.AddError(ORV_T("CoCreateInstance(IOrvMsEcryptedFiles) failed - %u (%8.8X)"), error, error);
  return os::ExportEncryptedRaw(source, target);
}

}  // namespace orv
