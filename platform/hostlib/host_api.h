/* The host side of the host library: how a host application decides what the user sees.
 *
 * Message boxes: by default every box is printed on standard error and answered with its default
 * button (OK, or Yes). A host may instead answer every box with a fixed button (unattended runs),
 * ask on the terminal, or install its own handler (tests script their answers that way).
 *
 * Dialogs: by default there is no display, so a plug-in's modal dialog cannot open and the
 * plug-in behaves as on a cancelled dialog. A host may run every dialog from a script of user
 * actions (unattended runs and tests) or show it as a window through an interactive front-end
 * library (platform/ui/dialog_frontend.h).
 *
 * Free space: GetBytesOnDrive answers the free bytes of the recording directory (the current
 * directory unless the host names another). A host designates the drive by setting the second
 * drive word of the free-time request to 1; the first word is not used. */
#pragma once

#include <stdint.h>

#include "platform/hostlib/hostlib.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZedaduHostMessage {
    uint32_t messageId; /* 0 for a box the platform shows with its own text and caption */
    const char* text;   /* what the user reads: the message with the two texts put in */
    const char* caption;
    const char* text1;
    const char* text2;
    uint32_t flags; /* MB_* flags; the low four bits choose the buttons */
} ZedaduHostMessage;

typedef int32_t (*ZedaduHostMessageHandler)(void* context, const ZedaduHostMessage* message);

/* handler null restores the default. */
ZEDADU_HOSTLIB_API void ZedaduHost_SetMessageHandler(ZedaduHostMessageHandler handler,
                                                     void* context);
/* Answers every box with the button given when the box has it, else with its default button. */
ZEDADU_HOSTLIB_API void ZedaduHost_AnswerMessagesWith(int32_t button);
/* Asks on the terminal (standard error and standard input). */
ZEDADU_HOSTLIB_API void ZedaduHost_PromptForMessages(void);

/* A box the platform layer shows with its own text (MessageBoxA). */
ZEDADU_HOSTLIB_API int32_t ZedaduHost_ShowMessageBox(const char* text, const char* caption,
                                                     uint32_t flags);

/* Replaces the text of a string id (null restores the built-in text). */
ZEDADU_HOSTLIB_API void ZedaduHost_SetString(uint32_t id, const char* text);

/* The directory whose file system GetBytesOnDrive measures; null restores the current directory. */
ZEDADU_HOSTLIB_API void ZedaduHost_SetRecordingDirectory(const char* directory);

/* How the plug-ins' dialogs reach the user. */
#define ZEDADU_DIALOGS_UNAVAILABLE 0
#define ZEDADU_DIALOGS_SCRIPTED 1
#define ZEDADU_DIALOGS_INTERACTIVE 2

/* Every dialog from now on is run by this script; null makes dialogs unavailable again. A script
 * is a list of user actions, one per line or separated by ';':
 *   click ID             a button or check box
 *   select ID N          entry N (from 0) of a list; select ID TEXT (or "TEXT") by its text
 *   type ID TEXT         the new text of an edit or edit field (the rest of the line, or quoted)
 *   scroll ID REQUEST    line-left, line-right, page-left, page-right, left, right, thumb N
 *   spin ID up|down      an up-down control
 *   press enter|escape|ID
 *   expect ID STATE      enabled, disabled, checked, unchecked, visible, hidden,
 *                        text "T", selection N, count N, item N "T", position N
 * Nested dialogs take their actions from the same script. An action a person could not do, or an
 * expectation that does not hold, ends the dialog with -1 and is reported on standard error; when
 * the script runs out with the dialog still open, escape is pressed. */
ZEDADU_HOSTLIB_API void ZedaduHost_SetDialogScript(const char* script);
/* The dialog layer's report of a script that could not go on (an action a person could not do, an
 * expectation that does not hold, Escape leaving the dialog open when the script ran out): printed
 * on standard error and kept, so that the host can tell a failed script from a cancelled dialog. */
ZEDADU_HOSTLIB_API void ZedaduHost_ReportDialogScriptFailure(const char* failure);
/* 1 when a dialog script failed since the last ZedaduHost_SetDialogScript, else 0. */
ZEDADU_HOSTLIB_API int32_t ZedaduHost_DialogScriptFailed(void);
/* Every dialog from now on is shown by the front-end library at that path; null: the front-end
 * library installed beside the plug-in. */
ZEDADU_HOSTLIB_API void ZedaduHost_SetInteractiveDialogs(const char* frontEndLibrary);
/* The plug-in's question: returns ZEDADU_DIALOGS_*, copies the script or the library path into
 * text (cut to capacity - 1, zero-terminated) and stores its full length in *length. */
ZEDADU_HOSTLIB_API int32_t ZedaduHost_GetDialogFrontEnd(char* text, uint32_t capacity,
                                                        uint32_t* length);

/* How many windows the skins module was asked to skin. */
ZEDADU_HOSTLIB_API uint32_t ZedaduHost_SkinnedWindowCount(void);

#ifdef __cplusplus
}
#endif
