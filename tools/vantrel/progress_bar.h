// A terminal progress bar fed by the library's callback messages: 101 (start, total),
// 104 (amount done), 409 (total bytes), 110 (bytes done). Ctrl-C asks for a cancel,
// which the bar passes on by answering 0 to the next progress or cancel poll.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "vantrel/vantrel.h"

namespace vantrel_cli {

class ProgressBar {
 public:
  // Without `out` the bar goes to standard error, and only where that is a terminal and
  // the program was not told to be quiet; with `out` (tests) it is always drawn there.
  explicit ProgressBar(std::string label, std::FILE* out = nullptr);
  ~ProgressBar();

  // The callback to hand to the library; it reaches the bar made last.
  static BOOL ORV_CALLBACK Callback(ORVVALUE message, ORVVALUE value1, ORVVALUE value2,
                                    ORVVALUE value4);
  // Handles one message; the result is the callback's answer.
  BOOL OnMessage(ORVVALUE message, ORVVALUE value1, ORVVALUE value2);
  // Ends the line of the bar.
  void Finish();

  // The text of the bar for a fraction done, e.g. "[#####.....]  50%".
  static std::string Render(uint64_t done, uint64_t total, int width);

 private:
  void Draw();

  std::string label_;
  std::FILE* out_;
  uint64_t total_ = 0;
  uint64_t done_ = 0;
  bool bytes_ = false;  // the totals are bytes (409/110) rather than amounts (101/104)
  bool shown_ = true;
  bool drawn_ = false;
  int lastPercent_ = -1;
};

// --quiet: no bars from now on.
void SetQuiet();
// Ends the line of the bar being drawn, so that a message that follows starts a line of
// its own. Call it before printing to standard error while a bar may be shown.
void EndProgressLine();

// Installs the Ctrl-C handler, which calls RequestCancel.
void InstallCancelHandler();
// Makes SIGTERM ask for a cancel too, for a command that runs until it is told to stop.
void CancelOnTerminate();
void RequestCancel();
bool CancelRequested();
// Withdraws a request, for a program that goes on to other work after a cancel.
void WithdrawCancel();

}  // namespace vantrel_cli
