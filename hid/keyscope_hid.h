/* The board's HID access module: six C functions, each returning 0 on success
 * and non-zero on failure, and the reason of the last failure. Report buffers
 * are 64 bytes. */
#ifndef KEYSCOPE_HID_H
#define KEYSCOPE_HID_H

#ifdef __cplusplus
extern "C" {
#endif

#define KEYSCOPE_HID_EXPORT __attribute__((visibility("default")))

KEYSCOPE_HID_EXPORT int vnHidOpen(int deviceId, int reserved1, int reserved2);
KEYSCOPE_HID_EXPORT int vnHidRead(int size, unsigned char* report);
KEYSCOPE_HID_EXPORT int vnHidReadData(unsigned char* report);
KEYSCOPE_HID_EXPORT int vnHidReadMax(unsigned char* report);
KEYSCOPE_HID_EXPORT int vnHidReadKey(unsigned char* report);
KEYSCOPE_HID_EXPORT int vnHidWrite(unsigned char* report);
/* Why the last call failed, one line of text; empty when it succeeded. The
 * text stays valid until the next call into the module. A module without this
 * function still loads; its failures then go without a reason. */
KEYSCOPE_HID_EXPORT const char* vnHidLastError(void);

#ifdef __cplusplus
}
#endif

#endif
