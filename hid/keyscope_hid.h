/* The board's HID access module: six C functions, each returning 0 on success
 * and non-zero on failure. Report buffers are 64 bytes. */
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

#ifdef __cplusplus
}
#endif

#endif
