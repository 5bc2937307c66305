#include "progress_bar.h"

#include <atomic>
#include <csignal>

#include "platform/process.h"

namespace vantrel_cli {

namespace {

std::atomic<bool> g_cancel{false};
bool g_quiet = false;
ProgressBar* g_current = nullptr;

void OnInterrupt(int) { RequestCancel(); }

double Fraction(uint64_t done, uint64_t total) {
  if (total == 0) return 0.0;
  return done >= total ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
}

uint64_t Join(ORVVALUE low, ORVVALUE high) {
  return (static_cast<uint64_t>(high & 0xFFFFFFFFu) << 32) | (low & 0xFFFFFFFFu);
}

}  // namespace

void InstallCancelHandler() { std::signal(SIGINT, OnInterrupt); }
void CancelOnTerminate() { std::signal(SIGTERM, OnInterrupt); }
void RequestCancel() { g_cancel.store(true); }
bool CancelRequested() { return g_cancel.load(); }
void WithdrawCancel() { g_cancel.store(false); }

void SetQuiet() { g_quiet = true; }

void EndProgressLine() {
  if (g_current) g_current->Finish();
}

ProgressBar::ProgressBar(std::string label, std::FILE* out)
    : label_(std::move(label)),
      out_(out ? out : stderr),
      shown_(out != nullptr || (!g_quiet && orv::os::StandardErrorIsTerminal())) {
  g_current = this;
}

ProgressBar::~ProgressBar() {
  Finish();
  if (g_current == this) g_current = nullptr;
}

BOOL ORV_CALLBACK ProgressBar::Callback(ORVVALUE message, ORVVALUE value1, ORVVALUE value2,
                                        ORVVALUE) {
  if (!g_current) return CancelRequested() ? FALSE : TRUE;
  return g_current->OnMessage(message, value1, value2);
}

BOOL ProgressBar::OnMessage(ORVVALUE message, ORVVALUE value1, ORVVALUE value2) {
  switch (message) {
    case ORV_MSG_START:
      if (!bytes_) {
        total_ = value1 & 0xFFFFFFFFu;
        done_ = 0;
      }
      break;
    case ORV_MSG_PROGRESS:
      if (!bytes_) done_ = value1 & 0xFFFFFFFFu;
      break;
    case ORV_MSG_TOTAL_AMOUNT:
      bytes_ = true;
      total_ = Join(value1, value2);
      break;
    case ORV_MSG_DONE_AMOUNT:
      if (bytes_) done_ = Join(value1, value2);
      break;
    case ORV_MSG_CANCEL_POLL:
      return CancelRequested() ? FALSE : TRUE;
    default:
      return TRUE;
  }
  Draw();
  // Only progress messages carry the answer that cancels.
  return message == ORV_MSG_PROGRESS && CancelRequested() ? FALSE : TRUE;
}

std::string ProgressBar::Render(uint64_t done, uint64_t total, int width) {
  const double fraction = Fraction(done, total);
  const int filled = static_cast<int>(fraction * width);
  const int percent = static_cast<int>(fraction * 100);
  std::string bar = "[";
  bar.append(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(width - filled), '.');
  char tail[8];
  std::snprintf(tail, sizeof tail, "] %3d%%", percent);
  return bar + tail;
}

void ProgressBar::Draw() {
  if (!shown_) return;
  const int percent = static_cast<int>(Fraction(done_, total_) * 100);
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  std::fprintf(out_, "\r%s %s", label_.c_str(), Render(done_, total_, 40).c_str());
  std::fflush(out_);
  drawn_ = true;
}

void ProgressBar::Finish() {
  if (!drawn_) return;
  std::fputc('\n', out_);
  drawn_ = false;
}

}  // namespace vantrel_cli
