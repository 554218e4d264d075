/* Ids of the shell's commands, dialogs, controls and icons. Plain defines, so that
   both the C++ code and the resource script read them. The password command (112)
   is the engine's: it is IDM_PASSWORD of extract/host.h. */
#ifndef LUMVARD_RESOURCE_IDS_H
#define LUMVARD_RESOURCE_IDS_H

/* Commands */
#define IDM_START 1200
#define IDM_EXIT 1000
#define IDM_ABOUT 1100
#define IDM_EXTRACT 113

/* Dialogs */
#define IDD_DESTINATION 120
#define IDD_PASSWORD 121
#define IDD_PROGRESS 122

/* Icons */
#define IDI_APPLICATION_ICON 128
#define IDI_PASSWORD_ICON 129
#define IDI_DESTINATION_ICON 130

/* Destination dialog */
#define IDC_PATH 110
#define IDC_BROWSE 200
#define IDC_DESTINATION_PROMPT 1110
#define IDC_DESTINATION_LABEL 1111
#define IDC_DESTINATION_VERSION 1115
#define IDC_DESTINATION_SPARE 1112

/* Password dialog */
#define IDC_PASSWORD 111
#define IDC_PASSWORD_VERSION 1110
#define IDC_PASSWORD_PROMPT 1111

/* Progress dialog */
#define IDC_SOURCE_PATH 1111
#define IDC_TARGET_PATH 1112
#define IDC_ACTION 1113
#define IDC_ACTION_RESULT 1114
#define IDC_SOURCE_LABEL 1115
#define IDC_TARGET_LABEL 1116

/* About box */
#define IDC_ABOUT_COMPANY 100
#define IDC_ABOUT_DESCRIPTION 101
#define IDC_ABOUT_VERSION 102
#define IDC_ABOUT_COPYRIGHT 103
#define IDC_ABOUT_TRADEMARKS 104
#define IDC_ABOUT_RULE 501

#endif
