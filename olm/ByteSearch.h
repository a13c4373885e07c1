#pragma once
// Substring search for tags. Every tag begins with '<': memchr finds each
// candidate at memory speed and passes over long texts without one (escaped
// bodies, pictures), where a general substring search compares all the way.
#include <cstddef>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Last byte equal to byte in [from, from + size), or null.
inline const char *findLastByte(const char *from, size_t size, char byte)
{
#if defined(__GLIBC__)
    return static_cast<const char *>(memrchr(from, byte, size));
#else
    for (const char *at = from + size; at > from;)
        if (*--at == byte)
            return at;
    return nullptr;
#endif
}

// Last occurrence of the length bytes of tag in [from, end), or null.
inline const char *findLastTag(const char *from, const char *end, const char *tag, size_t length)
{
    if (length == 0 || end - from < static_cast<ptrdiff_t>(length))
        return nullptr;
    for (const char *at = end - length;; --at) {
        at = findLastByte(from, size_t(at - from) + 1, tag[0]);
        if (!at)
            return nullptr;
        if (memcmp(at + 1, tag + 1, length - 1) == 0)
            return at;
        if (at == from)
            return nullptr;
    }
}

// Position of the first byte in [bytes, bytes + size) equal to a or b, or size:
// one pass that looks for two bytes at once.
inline size_t findEitherByte(const unsigned char *bytes, size_t size, unsigned char a, unsigned char b)
{
    size_t at = 0;
#if defined(__SSE2__)
    const __m128i wantA = _mm_set1_epi8(char(a));
    const __m128i wantB = _mm_set1_epi8(char(b));
    for (; at + 32 <= size; at += 32) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at + 16));
        const unsigned lowHits = unsigned(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(low, wantA), _mm_cmpeq_epi8(low, wantB))));
        const unsigned highHits = unsigned(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(high, wantA), _mm_cmpeq_epi8(high, wantB))));
        const unsigned hits = lowHits | highHits << 16;
        if (hits)
            return at + size_t(__builtin_ctz(hits));
    }
#endif
    for (; at < size; ++at)
        if (bytes[at] == a || bytes[at] == b)
            return at;
    return size;
}
