/* A tiny HID module for the loader tests: a plain board that answers 296 and
 * reports count 42 on every key. Built a second time without vnHidWrite. */
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT int vnHidOpen(int deviceId, int r1, int r2) {
    (void)r1;
    (void)r2;
    return deviceId == 296 ? 0 : 1;
}

EXPORT int vnHidRead(int size, unsigned char* report) {
    if (size < 64) return 1;
    memset(report + 1, 42, 16);
    return 0;
}

EXPORT int vnHidReadData(unsigned char* report) { return vnHidRead(64, report); }
EXPORT int vnHidReadMax(unsigned char* report) { return vnHidRead(64, report); }
EXPORT int vnHidReadKey(unsigned char* report) { return vnHidRead(64, report); }

#ifndef WITHOUT_WRITE
EXPORT int vnHidWrite(unsigned char* report) {
    (void)report;
    return 0;
}
#endif
