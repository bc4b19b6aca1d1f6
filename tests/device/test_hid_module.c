/* A tiny HID module for the loader and recorder tests: a plain board that
 * answers 296 and reports count 42 on every key. Built a second time without
 * vnHidWrite, and a third time as a typed board (292) whose data reads are all
 * first halves (0x85) while its max and key reads are whole 0x55 reports. */
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

#ifdef FIRST_HALVES_ONLY
enum { ANSWERS_TO = 292 };
#else
enum { ANSWERS_TO = 296 };
#endif

static int answer(unsigned char* report, unsigned char type) {
    memset(report + 1, 42, 16);
#ifdef FIRST_HALVES_ONLY
    report[22] = type;
#else
    (void)type;
#endif
    return 0;
}

EXPORT int vnHidOpen(int deviceId, int reserved1, int reserved2) {
    return deviceId == ANSWERS_TO && reserved1 == 0 && reserved2 == 0 ? 0 : 1;
}
EXPORT int vnHidRead(int size, unsigned char* report) {
    return size < 64 ? 1 : answer(report, 0x55);
}
EXPORT int vnHidReadData(unsigned char* report) {
    return answer(report, 0x85);
}
EXPORT int vnHidReadMax(unsigned char* report) {
    return answer(report, 0x55);
}
EXPORT int vnHidReadKey(unsigned char* report) {
    return answer(report, 0x55);
}
#ifndef WITHOUT_WRITE
EXPORT int vnHidWrite(unsigned char* report) {
    return report == 0;
}
#endif
