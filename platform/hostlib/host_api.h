/* The host side of the host library: how a host application decides what the user sees.
 *
 * Message boxes: by default every box is printed on standard error and answered with its default
 * button (OK, or Yes). A host may instead answer every box with a fixed button (unattended runs),
 * ask on the terminal, or install its own handler (tests script their answers that way).
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

/* How many windows the skins module was asked to skin. */
ZEDADU_HOSTLIB_API uint32_t ZedaduHost_SkinnedWindowCount(void);

#ifdef __cplusplus
}
#endif
