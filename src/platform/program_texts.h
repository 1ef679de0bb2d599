/* The program's name and the texts shown in more than one place: one
   definition each. The first ones are plain #defines because the resource
   compiler reads them too (the about box). */
#ifndef TREP_PLATFORM_PROGRAM_TEXTS_H_
#define TREP_PLATFORM_PROGRAM_TEXTS_H_

/* The version, also read by CMakeLists.txt for the packages' names. */
#define TREP_VERSION "1.91"
#define TREP_PROGRAM_TITLE "Trep " TREP_VERSION  /* title bars, the about box, the usage */
#define TREP_PROGRAM_FILE "Trep.exe"    /* the Windows program's file name */
#define TREP_NOTICE_TITLE "Trep 1.6"    /* the notice dialog's caption, older than the version */

#ifndef RC_INVOKED
#include <cstdint>

namespace trep {

inline constexpr char kProgramTitle[] = TREP_PROGRAM_TITLE;
// Also the single-instance lock's name, the registry's command and the
// prefix of temporary names.
inline constexpr char kProgramFile[] = TREP_PROGRAM_FILE;

// The end-of-job notice of the main window and of batch mode.
inline constexpr char kEndFinished[] = "Finished";
inline constexpr char kEndCrcFailed[] = "CRC Failed";

// The window title while the checksum is computed, at a split and a join.
inline constexpr char kCheckingCrc[] = "Checking CRC";

}  // namespace trep
#endif  // RC_INVOKED

#endif  // TREP_PLATFORM_PROGRAM_TEXTS_H_
