/* The Windows build's SDL configuration, as far as SDL's public headers read
 * it, for checking the game's sources with the MinGW-w64 cross compiler
 * against the system's SDL2 headers (packaging/check_windows.sh). Debian's
 * SDL_config.h includes this name; the real one describes Linux. */
#pragma once

#include "SDL_platform.h"

#define HAVE_LIBC 1
#define HAVE_STDARG_H 1
#define HAVE_STDDEF_H 1
#define HAVE_STDINT_H 1
#define HAVE_STDIO_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
#define HAVE_WCHAR_H 1
#define HAVE_CTYPE_H 1
#define HAVE_MATH_H 1
#define HAVE_FLOAT_H 1
#define HAVE_LIMITS_H 1
#define HAVE_MALLOC 1
