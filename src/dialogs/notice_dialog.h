// The notice: a short text and two large buttons stacked one under the other,
// with captions the caller chooses, and an optional timeout. Modal, without
// an owner window, on the thread that raises it: a worker waiting for an
// answer never blocks the main window.
#ifndef TREP_DIALOGS_NOTICE_DIALOG_H_
#define TREP_DIALOGS_NOTICE_DIALOG_H_

#include <cstdint>

#include "platform/notice.h"

namespace trep {

// The answer of the last notice that was answered: 1 upper button or
// timeout, 2 lower button. Keeps its value until the next answer.
uint32_t noticeResult();

// Shows template 1601. When no dialog can be shown (no display), nobody can
// answer and the notice takes its safe answer.
class NoticeDialog : public NoticeAnswerer {
 public:
  uint32_t answer(const NoticeParameters& notice) override;
};

// The program is ending (the main window's Quit while a job runs): a notice
// open on any thread closes with its safe answer ("Abort procedure" for a
// question), and every later one takes it without showing. Any thread.
void dismissNotices();

}  // namespace trep

#endif  // TREP_DIALOGS_NOTICE_DIALOG_H_
