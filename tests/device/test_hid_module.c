/* A tiny HID module for the loader tests: a plain board that answers 296 and
 * reports count 42 on every key. Built a second time without vnHidWrite. */
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

EXPORT int vnHidOpen(int deviceId, int reserved1, int reserved2) {
    return deviceId == 296 && reserved1 == 0 && reserved2 == 0 ? 0 : 1;
}
EXPORT int vnHidRead(int size, unsigned char* report) {
    if (size < 64) {
        return 1;
    }
    memset(report + 1, 42, 16);
    return 0;
}
#define REPORT_READER(name)                  \
    EXPORT int name(unsigned char* report) { \
        return vnHidRead(64, report);        \
    }
REPORT_READER(vnHidReadData)
REPORT_READER(vnHidReadMax)
REPORT_READER(vnHidReadKey)
#ifndef WITHOUT_WRITE
EXPORT int vnHidWrite(unsigned char* report) {
    return report == 0;
}
#endif
