/* The interface between the dialog manager and a front-end that shows its dialogs to a person.
 *
 * A front-end is a shared library that exports ZEDADU_DIALOG_FRONTEND_ENTRY. The dialog manager
 * loads it when the host application asks for interactive dialogs (platform/hostlib/host_api.h)
 * and calls its run operation once for every modal dialog, nested dialogs included. Inside run the
 * front-end:
 *  - renders the dialog from its description (caption, font, size) and its controls (class,
 *    identifier, style, rectangle in dialog units, in tab order), reading their state;
 *  - turns what the person does into actions (act), which the dialog manager performs as the
 *    window system would: the control changes and the dialog procedure gets its message;
 *  - shows every change the manager reports through changed (the dialog procedure sets texts,
 *    lists, checks, enabling and scroll positions in reaction to actions), and returns from run
 *    once changed reports ZEDADU_DIALOG_CHANGED_ENDED.
 * Everything happens on the thread that called the plug-in; texts are in the ANSI code page
 * (Windows-1252) and stay valid until the next action. Plain C, so that any toolkit can build one.
 */
#ifndef ZEDADU_PLATFORM_UI_DIALOG_FRONTEND_H
#define ZEDADU_PLATFORM_UI_DIALOG_FRONTEND_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZedaduDialogView ZedaduDialogView; /* one open dialog */

enum ZedaduControlKind {
    ZEDADU_CONTROL_PUSH_BUTTON = 1, /* style BS_DEFPUSHBUTTON marks the default button */
    ZEDADU_CONTROL_CHECK_BOX,       /* BS_MULTILINE: the caption may wrap */
    ZEDADU_CONTROL_GROUP_BOX,
    ZEDADU_CONTROL_STATIC,
    ZEDADU_CONTROL_EDIT,
    ZEDADU_CONTROL_COMBO_BOX,      /* a drop-down list with an edit field */
    ZEDADU_CONTROL_DROP_DOWN_LIST, /* a drop-down list without edit field */
    ZEDADU_CONTROL_SCROLL_BAR,     /* SBS_VERT set: vertical */
    ZEDADU_CONTROL_UP_DOWN         /* attached to its buddy edit */
};

typedef struct ZedaduDialogInfo {
    const char* templateName;
    const char* caption; /* the window title as it is now */
    const char* fontName;
    int32_t pointSize;
    int32_t width, height; /* dialog units */
    uint32_t controlCount;
    void* parent; /* the owner window the plug-in was given, as the host passed it */
} ZedaduDialogInfo;

typedef struct ZedaduDialogControl {
    int32_t id;   /* -1 for a label that has no identifier */
    int32_t kind; /* enum ZedaduControlKind */
    const char* className;
    uint32_t style; /* as in the template: WS_VISIBLE, WS_TABSTOP, BS_*, CBS_*, UDS_* ... */
    int32_t x, y, width, height; /* dialog units */
    int32_t buddyId;             /* an up-down control's buddy, else 0 */
    /* Present state. */
    int32_t visible, enabled, checked;
    const char* text; /* caption, edit text, the edit field or selected entry of a list */
    int32_t itemCount, selection;       /* selection -1 when none */
    int32_t minimum, maximum, position; /* scroll bar range and position; up-down range */
} ZedaduDialogControl;

enum ZedaduDialogActionType {
    ZEDADU_ACTION_CLICK = 1, /* a button or check box */
    ZEDADU_ACTION_SELECT,    /* value: the entry chosen in a list */
    ZEDADU_ACTION_TYPE,      /* text: the new text of an edit or of a combo box's edit field */
    ZEDADU_ACTION_SCROLL,    /* value: SB_* request; position: the thumb position */
    ZEDADU_ACTION_SPIN,      /* value: +1 up, -1 down, on an up-down control */
    ZEDADU_ACTION_ENTER,     /* the default button */
    ZEDADU_ACTION_ESCAPE     /* cancel */
};

typedef struct ZedaduDialogAction {
    int32_t type;
    int32_t controlId;
    int32_t value;
    int32_t position;
    const char* text;
} ZedaduDialogAction;

/* What changed, in the changed notification (controlId 0 is the dialog itself). */
#define ZEDADU_DIALOG_CHANGED_TEXT 0x01u
#define ZEDADU_DIALOG_CHANGED_CHECK 0x02u
#define ZEDADU_DIALOG_CHANGED_ENABLED 0x04u
#define ZEDADU_DIALOG_CHANGED_ITEMS 0x08u
#define ZEDADU_DIALOG_CHANGED_SELECTION 0x10u
#define ZEDADU_DIALOG_CHANGED_SCROLL 0x20u /* range or position */
#define ZEDADU_DIALOG_CHANGED_ENDED 0x80u  /* EndDialog was called: run should return */

/* The dialog manager's side, handed to run. */
typedef struct ZedaduDialogManager {
    uint32_t size; /* sizeof(ZedaduDialogManager) */
    void (*describe)(ZedaduDialogView* view, ZedaduDialogInfo* info);
    /* index in tab order, 0 to controlCount - 1; returns 0 for an index out of range. */
    int32_t (*control)(ZedaduDialogView* view, uint32_t index, ZedaduDialogControl* control);
    /* The text of entry item of a list, or null. */
    const char* (*itemText)(ZedaduDialogView* view, int32_t controlId, int32_t item);
    /* Performs the action; returns 1, or 0 when a person could not have done it (a disabled or
     * hidden control, a control of another kind, an entry that does not exist). */
    int32_t (*act)(ZedaduDialogView* view, const ZedaduDialogAction* action);
    int32_t (*ended)(ZedaduDialogView* view);
} ZedaduDialogManager;

typedef struct ZedaduDialogFrontEnd {
    uint32_t size; /* sizeof(ZedaduDialogFrontEnd) */
    void* context;
    /* Shows the dialog and returns when it has ended: 1; 0 when it cannot be shown (no display),
     * which makes DialogBoxParamA return -1. */
    int32_t (*run)(void* context, ZedaduDialogView* view, const ZedaduDialogManager* manager);
    /* Called after every change of a control or of the dialog while run is active. */
    void (*changed)(void* context, ZedaduDialogView* view, int32_t controlId, uint32_t what);
} ZedaduDialogFrontEnd;

/* The one export of a front-end library; it returns null when it cannot show windows (no
 * display), and DialogBoxParamA then returns -1 before the dialog is created. */
#define ZEDADU_DIALOG_FRONTEND_ENTRY "ZedaduDialog_GetFrontEnd"
typedef const ZedaduDialogFrontEnd* (*ZedaduDialogGetFrontEnd)(void);

#ifdef __cplusplus
}
#endif

#endif
