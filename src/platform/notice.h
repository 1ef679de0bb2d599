// Every message and question of the program goes through raiseNotice: a text,
// two buttons stacked one above the other, an optional timeout.
#ifndef TREP_PLATFORM_NOTICE_H_
#define TREP_PLATFORM_NOTICE_H_

#include <cstdint>
#include <string>

namespace trep {

// Passed by value to the answerer, so two threads can never mix their texts.
struct NoticeParameters {
  std::string message;
  std::string firstButton;   // upper button, answer 1
  std::string secondButton;  // lower button, answer 2
  uint32_t kind = 10;        // every notice of the program uses 10 (small font)
  uint32_t timeoutSeconds = 0;  // 0 = wait for an answer; else a timeout answers 1
  // After a failure: the file and the system's reason ("out/data0002.trp:
  // Read-only file system"). The window keeps its texts and does not show
  // it; the text answerer prints it on a line of its own.
  std::string reason;
  // The failure cannot be mended by trying again (Status::lasting): an
  // answerer with no person behind it takes the safe answer instead of
  // reading an "OK" that would only fail again.
  bool lastingFailure = false;
  // Nothing to decide, only to read: the text answerer prints the message
  // and answers 1 without waiting; the window shows it as any notice.
  bool informational = false;
};

constexpr uint32_t kUpperButton = 1;
constexpr uint32_t kLowerButton = 2;

// Button captions and messages shared by several callers.
inline constexpr char kOk[] = "OK";
inline constexpr char kOpenReadMe[] = "Open ReadMe";
inline constexpr char kAbortProcedure[] = "Abort procedure";

// Answers a notice: 1 for the upper button (or the timeout), 2 for the lower.
class NoticeAnswerer {
 public:
  virtual ~NoticeAnswerer() = default;
  virtual uint32_t answer(const NoticeParameters& notice) = 0;
};

// The answer a notice gets when nobody can give one: "Abort procedure" where
// it is offered, the upper button otherwise.
uint32_t safeAnswer(const NoticeParameters& notice);

}  // namespace trep

#endif  // TREP_PLATFORM_NOTICE_H_
