/* w98: the time calls of the Windows C runtime, on the machine's clock and time zone.
 *
 * The machine's clock is the host's plus the offset that SetLocalTime stores; its time zone is
 * the one machine.ini names (the host's by default). These calls never read the host clock or
 * the host time zone directly, so a test can move a machine's clock without touching either. */
#ifndef W98_TIME_H
#define W98_TIME_H

#include <time.h>

#include <w98/windef.h>

W98_BEGIN_DECLS

typedef int64_t __time64_t;

/* Seconds since 1970-01-01 00:00:00 UTC on the machine's clock; also stored in *timer when
 * timer is not NULL. */
W98API __time64_t _time64(__time64_t* timer);
/* Local time of the machine's time zone; 0 on success, an errno value on failure. */
W98API int _localtime64_s(struct tm* result, const __time64_t* timer);
/* Coordinated universal time; 0 on success. */
W98API int _gmtime64_s(struct tm* result, const __time64_t* timer);
/* Local broken-down time to seconds, normalising the fields; tm_isdst < 0 lets the machine's
 * time zone decide daylight saving. -1 on failure. */
W98API __time64_t _mktime64(struct tm* timeptr);

W98_END_DECLS

#endif /* W98_TIME_H */
