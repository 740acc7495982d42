/* Resource identifiers of TWGMsI.dll.
 *
 * Shared by the C++ sources and the resource compiler, so this file holds
 * nothing but #define lines: no includes, no declarations, no casts.
 * Keep existing numbers stable: the competing-product list is extended
 * by editing the string table alone, and the code walks that block by
 * number. Gaps in the numbering are unused on purpose.
 */
#ifndef TWGMSI_RESOURCE_IDS_H
#define TWGMSI_RESOURCE_IDS_H

/* Updater channel registration, consumer edition. */
#define IDS_UPDATER_PROGRAM_MONIKER          1
#define IDS_UPDATER_URL_MONIKER              2
#define IDS_UPDATER_OTHER_MONIKER            3
#define IDS_UPDATER_PROGRAM_DESCRIPTION      4
#define IDS_UPDATER_URL_DESCRIPTION          5
#define IDS_UPDATER_SECURITY_DESCRIPTION     6
#define IDS_UPDATER_MAIN_NAME                7
#define IDS_UPDATER_VERSION                  8
#define IDS_UPDATER_LANGUAGE                 9
#define IDS_UPDATER_URL_NAME                 10
#define IDS_UPDATER_OTHER_NAME               11
#define IDS_UPDATER_SIGNATURE_MONIKER        50
#define IDS_UPDATER_SIGNATURE_DESCRIPTION    51
#define IDS_UPDATER_SIGNATURE_NAME           52

/* Updater channel registration, corporate edition. */
#define IDS_VXF_PROGRAM_DESCRIPTION          53
#define IDS_VXF_OTHER_NAME                   54
#define IDS_VXF_SECURITY_DESCRIPTION         55
#define IDS_VXF_MAIN_NAME                    56
#define IDS_VXF_MONIKER_1                    57
#define IDS_VXF_MONIKER_2                    58
#define IDS_VXF_VERSION_1                    59
#define IDS_VXF_VERSION_2                    60
#define IDS_VXF_SIGNATURE_NAME               10050

/* Registry names used by the folder lookups. */
#define IDS_REGVAL_PROGRAM_FILES_DIR         12
#define IDS_REGVAL_COMMON_FILES_DIR          13
#define IDS_REGKEY_SHARED_USAGE              14
#define IDS_REGVAL_SHARED_LOCATION           15
#define IDS_REGVAL_TVS                       17
#define IDS_REGKEY_INSTALLED_APPS            21

/* Companion antivirus: folder names, nested setup, failure reports. */
#define IDS_TVS_FOLDER_NAME_9X               16
#define IDS_TVS_SETUP_CAPTION                18
#define IDS_TVS_SETUP_CONTINUE_WAIT          19
#define IDS_TVS_OPEN_PROCESS_FAILED          20
#define IDS_ISS_PLACEHOLDER_USERNAME         22
#define IDS_ISS_PLACEHOLDER_COMPANYNAME      23
#define IDS_ISS_PLACEHOLDER_INSTALLDIR       24
#define IDS_TVS_FOLDER_NAME_NT               26
#define IDS_TVS_SETUP_NOT_FOUND              27
#define IDS_TVS_SETUP_NOT_FOUND_CAPTION      28
#define IDS_TVS_ACTION_NAME                  29
#define IDS_TVS_ACTION_DESCRIPTION           30
#define IDS_TVS_ACTION_TEMPLATE_FILE         31
#define IDS_TVS_ACTION_TEMPLATE_INIT         32
#define IDS_TVS_ABORTING                     33
#define IDS_TVS_SETUP_FOLDER_9X              34
#define IDS_TVS_SETUP_FOLDER_NT              35
#define IDS_TVS_INSTALL_FAILED               46
#define IDS_TVS_INSTALL_FAILED_CAPTION       47
#define IDS_TVS_UNINSTALL_FAILED             48
#define IDS_TVS_UNINSTALL_FAILED_CAPTION     49

/* Restart prompts and other user messages. */
#define IDS_WINTDIST_RESTART_STILL_REQUIRED  37
#define IDS_WINTDIST_RESTART_PROMPT          38
#define IDS_CDSTART_WINDOW_CLASS             40
#define IDS_SKYFETCH_ERROR_CAPTION           41
#define IDS_SKYFETCH_MISSING                 42
#define IDS_SHUTDOWN_TIMED_OUT               43
#define IDS_RESTART_AFTER_OLD_UNINSTALL      10052

/* Competing antivirus detection: a family word, then a block of
 * uninstall-key names, one per slot (slot n is IDS_OTHER_AV_FIRST + n). */
#define IDS_OTHER_AV_FAMILY_WORD             45
#define IDS_OTHER_AV_FIRST                   10000
#define IDS_OTHER_AV_COUNT                   50
#define IDS_OTHER_AV_LAST                    10049

/* Response-file templates for the companion setup, resource type
 * ISS_TEMPLATE_RESOURCE_TYPE (a named type, not a number). */
#define IDR_ISS_TEMPLATE_9X                  102
#define IDR_ISS_TEMPLATE_NT                  103
#define ISS_TEMPLATE_RESOURCE_TYPE           "RT_ISSFILE"

/* Hidden dialog that receives the setup's forwarded messages. */
#define IDD_INSTALL_DUMMY                    104

#endif /* TWGMSI_RESOURCE_IDS_H */
