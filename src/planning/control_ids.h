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

#endif /* TREP_PLANNING_CONTROL_IDS_H_ */
