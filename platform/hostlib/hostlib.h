/* The host library: the support library that the host application supplies to its plug-ins.
 * The plug-in calls these six operations; a host (or a test) may interpose its own. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZEDADU_HOSTLIB_API __attribute__((visibility("default")))

/* Copies host string id, cut to capacity - 1 and zero-terminated; returns its full length. An
 * unknown id gives an empty text. */
ZEDADU_HOSTLIB_API uint32_t MyLoadString(uint32_t id, char* text, uint32_t capacity);
/* Shows message messageId of the string table combined with the two texts; returns the button
 * pressed: 1 OK, 2 Cancel, 6 Yes, 7 No. */
ZEDADU_HOSTLIB_API int32_t MyMessageBox(uint32_t messageId, const char* text1, const char* text2,
                                        uint32_t flags);
/* count is samples: channels times sample frames. */
ZEDADU_HOSTLIB_API void ConvertAudio8To16(int16_t* samples16, const uint8_t* samples8,
                                          uint32_t count);
ZEDADU_HOSTLIB_API void ConvertAudio16To8(const int16_t* samples16, uint8_t* samples8,
                                          uint32_t count);
/* Free bytes of the drive the free-time request names (see host_api.h). */
ZEDADU_HOSTLIB_API uint64_t GetBytesOnDrive(const void* freeTimeRequest);
/* The skins module; the plug-in calls only the sixth operation of its table. */
ZEDADU_HOSTLIB_API void* CreateSkinsModule(void);

#ifdef __cplusplus
}

/* The table of the skins module as the plug-in sees it: five operations it never calls, then the
 * one that skins a window. There is deliberately no virtual destructor: the plug-in never
 * releases the module, and a destructor would take table slots. */
class SkinsModule {
  public:
    virtual void Reserved1() = 0;
    virtual void Reserved2() = 0;
    virtual void Reserved3() = 0;
    virtual void Reserved4() = 0;
    virtual void Reserved5() = 0;
    virtual void SkinWindow(void* window, int32_t flags) = 0;

  protected:
    ~SkinsModule() = default;
};
#endif
