/* Control ids of the main window and the wizard pages, shared by the
   resource script and the code. The wizard's pages give their fields the
   main window's ids, so one routine serves both. Plain #defines: the
   resource compiler reads this file too. */
#ifndef TREP_PLANNING_CONTROL_IDS_H_
#define TREP_PLANNING_CONTROL_IDS_H_

#define CTL_START 1          /* start button ("Decide!", "Go Trep!", "Go UnTrep!") */
#define CTL_QUIT 2
#define CTL_HELP 3
#define CTL_ABOUT 1000
#define CTL_CHOOSE_FILE 1001
#define CTL_SOURCE_PATH 1002
#define CTL_CHOOSE_FOLDER 1003
#define CTL_OUTPUT_FOLDER 1004
#define CTL_DESCRIPTION 1005
#define CTL_PRESETS 1006
#define CTL_SIZE_NUMBER 1007
#define CTL_FILE_SIZE_UNIT 1008
#define CTL_REBUILD_METHOD 1009
#define CTL_WIZARD 1010
#define CTL_USE_CRC 1011
#define CTL_SEGMENT_COUNT 1012
#define CTL_FILE_SIZE 1013
#define CTL_ENCRYPT 1014
#define CTL_CIPHER_KEY 1015
#define CTL_USE_DESCRIPTION 1016
#define CTL_DESTINATION 1017
#define CTL_CRC 1018
#define CTL_CHECK_CRC 1019
#define CTL_FILE_NAME 1020
#define CTL_PROGRESS 1021
#define CTL_COUNT_SPIN 1022
#define CTL_SIZE_SPIN 1023
#define CTL_SLIDER 1024
#define CTL_MEMORY 1025
#define CTL_AUTO_RUN 1026
#define CTL_MODE_FAST 1027
#define CTL_MODE_NUMBER 1028
#define CTL_MODE_SIZE 1029
#define CTL_SIZE_SUMMARY 1030
#define CTL_SIZE_UNIT 1031
/* Recovery files: how many a split writes (0 none), its up-down, and what
   the size summary adds for them ("+ 2 recovery files"). The wizard's
   options page has the first two under the same ids. */
#define CTL_RECOVERY_COUNT 1032
#define CTL_RECOVERY_SPIN 1033
#define CTL_RECOVERY_SUMMARY 1034

/* The wizard's pages. Their fields that the planning routines fill carry
   the main window's ids above (1002 path, 1001 "Choose" beside it, 1007
   size with its up-down 1023, 1031 unit, 1012 count with its up-down 1022,
   1004 folder, 1003 "Choose" beside it); the ids below mean something else
   on a page than on the main window, and a page never has both. */
#define WIZ_CLOSE 1000             /* page 1: "Close Wizard" */
#define WIZ_WELCOME 3003           /* page 1: "Welcome To Trep!" in a large font */
#define WIZ_PRESET_EMAIL 1102      /* page 2: media presets; preset number = id - 1101 */
#define WIZ_PRESET_CD80 1109
#define WIZ_PRESET_DVD 1120        /* preset number 19 */
#define WIZ_CUSTOM_SIZE 1011       /* page 2: size typed into 1007 */
#define WIZ_DIVIDE 1014            /* page 2: count typed into 1012 */
#define WIZ_DEST_DESKTOP 1014      /* page 3: five destination choices, 1014 to 1018 */
#define WIZ_DEST_SOURCE 1015
#define WIZ_DEST_NAMED_DESKTOP 1016
#define WIZ_DEST_NAMED_SELECTED 1017
#define WIZ_DEST_SELECTED 1018
#define WIZ_USE_TREP 1019          /* page 4: rebuild with the program */
#define WIZ_BAT_FILE 1020          /* page 4: rebuild with UnTrep.bat */
#define WIZ_USE_CRC 1011
#define WIZ_ENCRYPT 1021
#define WIZ_USE_DESCRIPTION 1022
#define WIZ_CIPHER_KEY 1023
#define WIZ_DESCRIPTION 3002

#endif /* TREP_PLANNING_CONTROL_IDS_H_ */
