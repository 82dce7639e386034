#include <vorn/vms/common/h264/nal_unit.h>

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vorn::vms::common::h264 {

namespace {

// Byte by byte from `p`, knowing how many zero bytes directly precede it (0, 1 or 2 and more).
const std::uint8_t* scanTail(const std::uint8_t* p, const std::uint8_t* end, int zeros)
{
    for (; p < end; ++p) {
        if (*p == 0) {
            ++zeros;
        } else {
            if (*p == 1 && zeros >= 2)
                return p + 1;
            zeros = 0;
        }
    }
    return end;
}

} // namespace

const std::uint8_t* NALUnit::findNextNAL(const std::uint8_t* begin, const std::uint8_t* end)
{
    if (!begin || end - begin < 3)
        return end;
    const std::uint8_t* p = begin;
#if defined(__SSE2__)
    // Each step classifies 16 bytes at once: a start code ends at a 01 byte whose two predecessors are zero.
    // The zero marks of the previous step's last two bytes carry over, so a start code across two steps is
    // found too. Bit k + 2 of `zeros` stands for byte k of the step, bits 0 and 1 for the two bytes before.
    const __m128i zero = _mm_setzero_si128();
    const __m128i one = _mm_set1_epi8(1);
    std::uint32_t carried = 0;
    while (end - p >= 64) {
        // Most blocks of coded video hold no 01 byte at all: test four steps at once for that.
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
        const __m128i anyOne = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, one), _mm_cmpeq_epi8(b, one)),
                                            _mm_or_si128(_mm_cmpeq_epi8(c, one), _mm_cmpeq_epi8(d, one)));
        if (_mm_movemask_epi8(anyOne) == 0) {
            const auto lastZeros = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(d, zero)));
            carried = (lastZeros >> 14) & 3;
            p += 64;
            continue;
        }
        for (const __m128i& v : {a, b, c, d}) {
            const auto z = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
            const auto o = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, one)));
            const std::uint32_t zeros = z << 2 | carried;
            const std::uint32_t hits = o & (zeros >> 1) & zeros;
            if (hits != 0)
                return p + __builtin_ctz(hits) + 1;
            carried = (zeros >> 16) & 3;
            p += 16;
        }
    }
    const int zeros = (carried & 2) ? ((carried & 1) ? 2 : 1) : 0;
    return scanTail(p, end, zeros);
#else
    return scanTail(p, end, 0);
#endif
}

std::size_t NALUnit::removeEmulationPrevention(const std::uint8_t* begin, const std::uint8_t* end, std::uint8_t* out)
{
    std::size_t written = 0;
    int zeros = 0;
    for (const std::uint8_t* p = begin; p < end; ++p) {
        const std::uint8_t byte = *p;
        if (zeros >= 2 && byte == 3 && (p + 1 == end || p[1] <= 3)) {
            zeros = 0;
            continue; // the emulation-prevention byte itself
        }
        zeros = byte == 0 ? zeros + 1 : 0;
        out[written++] = byte;
    }
    return written;
}

bool NALUnit::decodeBuffer(const std::uint8_t* begin, const std::uint8_t* end)
{
    m_decoded.clear();
    if (!begin || end <= begin)
        return false;
    // The following unit's start code, if the range ends with it, and the zero bytes before it.
    if (end - begin >= 3 && end[-1] == 1 && end[-2] == 0 && end[-3] == 0)
        end -= 3;
    while (end > begin && end[-1] == 0)
        --end;
    if (end == begin || static_cast<std::size_t>(end - begin) > kMaxDecodedSize)
        return false;
    m_decoded.resize(static_cast<std::size_t>(end - begin));
    m_decoded.resize(removeEmulationPrevention(begin, end, m_decoded.data()));
    return true;
}

} // namespace vorn::vms::common::h264
