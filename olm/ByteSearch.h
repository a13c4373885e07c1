#pragma once
// Substring search for tags. Every tag begins with '<': memchr finds each
// candidate at memory speed and passes over long texts without one (escaped
// bodies, pictures), where a general substring search compares all the way.
#include <cstddef>
#include <cstring>

// First occurrence of the length bytes of tag in [from, end), or null.
inline const char *findTag(const char *from, const char *end, const char *tag, size_t length)
{
    if (length == 0)
        return from;
    for (const char *at = from; end - at >= static_cast<ptrdiff_t>(length); ++at) {
        at = static_cast<const char *>(memchr(at, tag[0], size_t(end - at) - length + 1));
        if (!at)
            return nullptr;
        if (memcmp(at + 1, tag + 1, length - 1) == 0)
            return at;
    }
    return nullptr;
}
