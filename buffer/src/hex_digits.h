#pragma once
// Sixteen bytes to and from thirty-two hex digits at once, for the full data
// records that make up nearly all of a large HEX file. Without SSE2 the
// callers take their byte-by-byte way for every record.

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#define QUENVAR_HEX_SIXTEEN 1
#endif

namespace quenvar::hex_digits {

#if defined(QUENVAR_HEX_SIXTEEN)

// Writes Data[0..15] as 32 upper-case hex digits to Out; the bytes' sum.
inline unsigned PutSixteen(char* out, const std::uint8_t* data) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
  const __m128i low4 = _mm_set1_epi8(0x0F);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(bytes, 4), low4);
  const __m128i low = _mm_and_si128(bytes, low4);
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i zero = _mm_set1_epi8('0');
  const __m128i toLetter = _mm_set1_epi8('A' - '0' - 10);
  __m128i first = _mm_unpacklo_epi8(high, low);
  __m128i second = _mm_unpackhi_epi8(high, low);
  first =
      _mm_add_epi8(_mm_add_epi8(first, zero), _mm_and_si128(_mm_cmpgt_epi8(first, nine), toLetter));
  second = _mm_add_epi8(_mm_add_epi8(second, zero),
                        _mm_and_si128(_mm_cmpgt_epi8(second, nine), toLetter));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), first);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), second);
  const __m128i sums = _mm_sad_epu8(bytes, _mm_setzero_si128());
  return static_cast<unsigned>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
}

namespace detail {

// Sixteen characters to their digit values; Valid gets 0xFF where a
// character is a hex digit.
inline __m128i Nibbles(__m128i chars, __m128i& valid) {
  const __m128i folded = _mm_or_si128(chars, _mm_set1_epi8(0x20));  // 'A'-'F' to 'a'-'f'
  const __m128i digit = _mm_and_si128(_mm_cmpgt_epi8(chars, _mm_set1_epi8('0' - 1)),
                                      _mm_cmplt_epi8(chars, _mm_set1_epi8('9' + 1)));
  const __m128i letter = _mm_and_si128(_mm_cmpgt_epi8(folded, _mm_set1_epi8('a' - 1)),
                                       _mm_cmplt_epi8(folded, _mm_set1_epi8('f' + 1)));
  valid = _mm_or_si128(digit, letter);
  return _mm_or_si128(_mm_and_si128(digit, _mm_sub_epi8(chars, _mm_set1_epi8('0'))),
                      _mm_and_si128(letter, _mm_sub_epi8(folded, _mm_set1_epi8('a' - 10))));
}

// Pairs of digit values (high, low) in 16-bit lanes to one byte each.
inline __m128i Combine(__m128i nibbles) {
  const __m128i pairs = _mm_or_si128(_mm_slli_epi16(nibbles, 4), _mm_srli_epi16(nibbles, 8));
  return _mm_and_si128(pairs, _mm_set1_epi16(0x00FF));
}

}  // namespace detail

// Reads 32 hex digits (either case) at Chars into Out[0..15]. False, with
// Out and Sum left as garbage, when one of them is no hex digit.
inline bool TakeSixteen(const char* chars, std::uint8_t* out, unsigned& sum) {
  __m128i validFirst;
  __m128i validSecond;
  const __m128i first =
      detail::Nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(chars)), validFirst);
  const __m128i second =
      detail::Nibbles(_mm_loadu_si128(reinterpret_cast<const __m128i*>(chars + 16)), validSecond);
  const __m128i bytes = _mm_packus_epi16(detail::Combine(first), detail::Combine(second));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  const __m128i sums = _mm_sad_epu8(bytes, _mm_setzero_si128());
  sum = static_cast<unsigned>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
  return _mm_movemask_epi8(_mm_and_si128(validFirst, validSecond)) == 0xFFFF;
}

#endif

}  // namespace quenvar::hex_digits
