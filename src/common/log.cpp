#include "common/log.h"

#include <cstdarg>
#include <cstdio>

void app_log(const char *format, ...) {
#if NUMBRAL_LOG_STDERR
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
#else
    (void)format;
#endif
}
