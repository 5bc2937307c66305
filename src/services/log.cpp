#include "services/log.h"

#include "platform/clock.h"
#include "platform/encoding.h"
#include "platform/notice.h"
#include "platform/process.h"

namespace orv {

thread_local int COrvLog::depth_ = 0;

COrvLog& COrvLog::GetInstance() {
  // Destroyed at exit, or when the library is unloaded, which closes the file.
  static COrvLog instance;
  return instance;
}

void COrvLog::Init(int) {
  std::optional<WString> path = os::GetEnvironment(ORV_T("VANTREL_LOG"));
  Redirect(path && !path->empty() ? *path : os::GetTempFolder() + ORV_T("Vantrel.log"));
  initialized_ = true;
  // Things the platform layer had to drop become information lines.
  os::SetNoticeSink([](WStringView text) { GetInstance().AddInfo(ORV_T("%s"), WString(text)); });
}

void COrvLog::SetLevelMask(DWORD mask) {
  levelMask_ = mask;
  levelConfigured_ = true;
}

DWORD COrvLog::Redirect(WStringView path) {
  std::lock_guard lock(mutex_);
  file_.Close();
  if (path.empty()) return 0;
  const DWORD error = file_.Open(path, os::kGenericWrite, os::kShareRead | os::kShareWrite,
                                 os::Disposition::kOpenAlways);
  if (error == 0) file_.Seek(0, os::SeekFrom::kEnd);
  return error;
}

int COrvLog::ExitFunction(int result) {
  if (depth_ > 0) --depth_;
  Write(kLevelFunction, '<', Format(ORV_T("exit %d"), result));
  return result;
}

void COrvLog::ExitFunction() {
  if (depth_ > 0) --depth_;
  Write(kLevelFunction, '<', ORV_T("exit"));
}

void COrvLog::AddVariable(WStringView name, int32_t value, int, int) {
  Write(kLevelVariable, 'V', Format(ORV_T("%s = %d"), WString(name), value));
}

void COrvLog::AddVariable(WStringView name, uint32_t value, int, int) {
  Write(kLevelVariable, 'V', Format(ORV_T("%s = %u"), WString(name), value));
}

void COrvLog::Write(DWORD level, char tag, WStringView text) {
  if ((levelMask_ & level) == 0) return;
  os::CalendarTime now{};
  os::FileTimeToCalendar(os::FileTimeToLocal(os::CurrentFileTime()), now);
  WString line = Format(ORV_T("%04u-%02u-%02u %02u:%02u:%02u.%03u [%u] %c "), now.year,
                        now.month, now.day, now.hour, now.minute, now.second,
                        now.milliseconds, os::CurrentProcessId(), static_cast<Char>(tag));
  line.append(static_cast<size_t>(depth_) * 2, ' ');
  line += text;
  line += '\n';
  const std::string bytes = os::ToUtf8(line);

  std::lock_guard lock(mutex_);
  if (!file_.IsOpen()) return;
  DWORD written = 0;
  file_.Write(bytes.data(), static_cast<DWORD>(bytes.size()), written);
}

}  // namespace orv
