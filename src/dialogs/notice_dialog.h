// The notice: a short text and two large buttons stacked one under the other,
// with captions the caller chooses, and an optional timeout. Modal, on the
// thread that raises it, owned by that thread's window: a worker (which has
// none) waiting for an answer never blocks the main window.
#ifndef TREP_DIALOGS_NOTICE_DIALOG_H_
#define TREP_DIALOGS_NOTICE_DIALOG_H_

#include <windows.h>

#include <cstdint>

#include "platform/notice.h"

namespace trep {

// The answer of the last notice that was answered: 1 upper button or
// timeout, 2 lower button. Keeps its value until the next answer.
uint32_t noticeResult();

// True while a notice is open on the calling thread: a window message that
// arrives then is served by the notice's message loop, and a command it
// carries is not taken (the window answers its own notice first).
bool noticeOpenOnThisThread();

// The window that owns the notices of its thread when that thread has no
// active window (the main window, which may be behind another program's).
// Null: none.
void setNoticeOwner(HWND owner);

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
