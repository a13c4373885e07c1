#include "platform/Sha1.h"

#include <QCryptographicHash>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define MENDORA_SHA_INSTRUCTIONS 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {
#ifdef MENDORA_SHA_INSTRUCTIONS
bool processorHasShaInstructions()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return false;
    return ssse3 && sse41 && (b & (1u << 29));
}

// Four rounds; the round function is an immediate operand, so each kind gets its own call.
__attribute__((target("sha,ssse3,sse4.1"))) inline __m128i fourRounds(__m128i abcd, __m128i e, int group)
{
    switch (group / 5) {
    case 0: return _mm_sha1rnds4_epu32(abcd, e, 0);
    case 1: return _mm_sha1rnds4_epu32(abcd, e, 1);
    case 2: return _mm_sha1rnds4_epu32(abcd, e, 2);
    default: return _mm_sha1rnds4_epu32(abcd, e, 3);
    }
}

// Runs the compression over blocks whole 64-byte blocks.
__attribute__((target("sha,ssse3,sse4.1"))) void compress(quint32 state[5], const unsigned char *data, qint64 blocks)
{
    const __m128i byteOrder = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(int(state[4]), 0, 0, 0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abcdBefore = abcd, eBefore = e0;
        __m128i w[4];
        for (int i = 0; i < 4; ++i)
            w[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * i)), byteOrder);
        __m128i e = _mm_add_epi32(e0, w[0]);
        __m128i previous = abcd;
        abcd = fourRounds(abcd, e, 0);
        for (int group = 1; group < 20; ++group) {
            // w[group % 4] holds the words of group - 4 until they are replaced by this group's.
            if (group >= 4)
                w[group % 4] = _mm_sha1msg2_epu32(
                    _mm_xor_si128(_mm_sha1msg1_epu32(w[group % 4], w[(group + 1) % 4]), w[(group + 2) % 4]),
                    w[(group + 3) % 4]);
            e = _mm_sha1nexte_epu32(previous, w[group % 4]);
            previous = abcd;
            abcd = fourRounds(abcd, e, group);
        }
        e0 = _mm_sha1nexte_epu32(previous, eBefore);
        abcd = _mm_add_epi32(abcd, abcdBefore);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = quint32(_mm_extract_epi32(e0, 3));
}

QByteArray sha1WithInstructions(const char *data, qint64 size)
{
    quint32 state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const auto *bytes = reinterpret_cast<const unsigned char *>(data);
    compress(state, bytes, size / 64);
    // The tail, the 0x80 marker and the length in bits fill one or two last blocks.
    unsigned char last[128] = {};
    const qint64 tail = size % 64;
    if (tail > 0)
        memcpy(last, bytes + size - tail, size_t(tail));
    last[tail] = 0x80;
    const int lastSize = tail < 56 ? 64 : 128;
    const quint64 bits = quint64(size) * 8;
    for (int i = 0; i < 8; ++i)
        last[lastSize - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    compress(state, last, lastSize / 64);
    QByteArray digest(20, Qt::Uninitialized);
    for (int i = 0; i < 20; ++i)
        digest[i] = char(state[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}
#endif
} // namespace

bool sha1UsesProcessorInstructions()
{
#ifdef MENDORA_SHA_INSTRUCTIONS
    static const bool has = processorHasShaInstructions();
    return has;
#else
    return false;
#endif
}

QByteArray sha1(const char *data, qint64 size)
{
#ifdef MENDORA_SHA_INSTRUCTIONS
    if (sha1UsesProcessorInstructions())
        return sha1WithInstructions(data, size);
#endif
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(data, int(size));
    return hash.result();
}
