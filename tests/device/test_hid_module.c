/* A tiny HID module for the loader tests: a plain board that answers 296 and reports count 42
 * on every key. Built a second time without vnHidWrite, a third time as a typed board (292)
 * whose data reads all answer with a first half (0x85), for the recorder, and a fourth time
 * without vnHidLastError, as a module from before it. */
#include <string.h>

#define EXPORT __attribute__((visibility("default")))
#ifdef FIRST_HALVES_ONLY
#define ANSWERS_TO 292
#define ANSWERS_TO_TEXT "0x0124"
#define DATA_TYPE 0x85
#else
#define ANSWERS_TO 296
#define ANSWERS_TO_TEXT "0x0128"
#define DATA_TYPE 0x55
#endif

static const char* lastError = "";

EXPORT int vnHidOpen(int deviceId, int reserved1, int reserved2) {
    const int ok = deviceId == ANSWERS_TO && reserved1 == 0 && reserved2 == 0;
    lastError = ok ? "" : "this test board answers only product id " ANSWERS_TO_TEXT;
    return ok ? 0 : 1;
}
#ifndef WITHOUT_LAST_ERROR
EXPORT const char* vnHidLastError(void) {
    return lastError;
}
#endif
EXPORT int vnHidRead(int size, unsigned char* report) {
    if (size < 64)
        return 1;
    memset(report + 1, 42, 16);
    report[22] = 0x55;
    return 0;
}
#define REPORT_READER(name, type)            \
    EXPORT int name(unsigned char* report) { \
        vnHidRead(64, report);               \
        report[22] = type;                   \
        return 0;                            \
    }
REPORT_READER(vnHidReadData, DATA_TYPE)
REPORT_READER(vnHidReadMax, 0x55)
REPORT_READER(vnHidReadKey, 0x55)
#ifndef WITHOUT_WRITE
EXPORT int vnHidWrite(unsigned char* report) {
    return report == 0;
}
#endif
