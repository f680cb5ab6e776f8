#include "output/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace treetri {

namespace {

constexpr std::uint64_t kTen[20] = {
    1ULL, 10ULL, 100ULL, 1000ULL, 10000ULL, 100000ULL, 1000000ULL, 10000000ULL,
    100000000ULL, 1000000000ULL, 10000000000ULL, 100000000000ULL, 1000000000000ULL,
    10000000000000ULL, 100000000000000ULL, 1000000000000000ULL, 10000000000000000ULL,
    100000000000000000ULL, 1000000000000000000ULL, 10000000000000000000ULL};

// |v| (finite, not zero) rounded to 15 significant decimal digits from its
// exact binary value, ties to even, as to_chars's "d.dddddddddddddde+XX":
// |v| ~ q * 10^(x - 14) with 10^14 <= q < 10^15. This one does it for about
// 1e-5 <= |v| < 1e15 by exact integer arithmetic: |v| is m * 2^-s with m an
// integer below 2^53, so |v| * 10^k for k <= 19 is m * 10^k (below 2^117)
// shifted right by s, and the bits shifted out tell the rounding exactly.
// False outside that range (and without a 128-bit integer type).
bool Significant15Fast(double v, std::uint64_t& q, int& x) {
#ifdef __SIZEOF_INT128__
  __extension__ typedef unsigned __int128 U128;
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  const int e2 = biased - 1023;  // 2^e2 <= |v| < 2^(e2 + 1)
  if (biased == 0 || e2 < -17 || e2 > 49) return false;  // zero, subnormal, out of range
  const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  const int shift = 52 - e2;  // |v| = m * 2^-shift, shift 3 to 69
  // The exponent is floor(log10 |v|): floor(e2 * log10 2) or one more.
  x = e2 >= 0 ? e2 * 1233 / 4096 : -((-e2 * 1233 + 4095) / 4096);
  if (14 - x > 19) return false;
  const U128 product = static_cast<U128>(m) * kTen[14 - x];
  const U128 whole = product >> shift;
  const U128 rest = product & ((U128{1} << shift) - 1);
  const U128 half = U128{1} << (shift - 1);
  bool up, tie;
  if (whole >= kTen[15]) {  // one digit too many: drop it into the rest
    ++x;
    const unsigned dropped = static_cast<unsigned>(whole % 10);
    q = static_cast<std::uint64_t>(whole / 10);
    up = dropped > 5 || (dropped == 5 && rest != 0);
    tie = dropped == 5 && rest == 0;
  } else {
    q = static_cast<std::uint64_t>(whole);
    up = rest > half;
    tie = rest == half;
  }
  if (q < kTen[14] || q >= kTen[15]) return false;
  if (up || (tie && (q & 1))) ++q;
  if (q == kTen[15]) {  // 9.99...95 and up became 10
    q = kTen[14];
    ++x;
  }
  return true;
#else
  (void)v;
  (void)q;
  (void)x;
  return false;
#endif
}

// The same for every finite value; zero gives q = 0, x = 0.
void Significant15(double v, std::uint64_t& q, int& x) {
  if (Significant15Fast(v, q, x)) return;
  q = 0;
  x = 0;
  if (v == 0) return;
  // to_chars never depends on the locale.
  char sci[32];
  const char* end =
      std::to_chars(sci, sci + sizeof sci, std::fabs(v), std::chars_format::scientific, 14).ptr;
  q = static_cast<std::uint64_t>(sci[0] - '0');
  for (const char* p = sci + 2; p < sci + 16; ++p)
    q = 10 * q + static_cast<std::uint64_t>(*p - '0');
  for (const char* p = sci + 18; p < end; ++p) x = 10 * x + (*p - '0');
  if (sci[17] == '-') x = -x;
}

// Writes the last `n` decimal digits of v at `out` (leading zeros
// included), two at a time from the end; returns the end.
char* WriteDigits(char* out, std::uint64_t v, int n) {
  static constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324"
    "25262728293031323334353637383940414243444546474849"
    "50515253545556575859606162636465666768697071727374"
    "75767778798081828384858687888990919293949596979899";
  char* end = out + n;
  char* p = end;
  for (; n >= 2; n -= 2) {
    p -= 2;
    std::memcpy(p, kPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (n == 1) *--p = static_cast<char>('0' + v % 10);
  return end;
}

}  // namespace

std::string IntegerText(std::int64_t v) {
  std::string s;
  AppendInteger(s, v);
  return s;
}

void AppendInteger(std::string& out, std::int64_t v) {
  char buf[24];
  out.append(buf, static_cast<size_t>(std::to_chars(buf, buf + sizeof buf, v).ptr - buf));
}

std::string FixedText(double v, int decimals) {
  std::string s;
  AppendFixed(s, v, decimals);
  return s;
}

char* WriteFixed(char* out, double v, int decimals) {
  if (!std::isfinite(v)) {
    std::memcpy(out, kMissingText, 4);
    return out + 4;
  }
  if (decimals < 0) decimals = 0;
  if (decimals > 5) decimals = 5;
  if (std::signbit(v) && v != 0.0) *out++ = '-';
  // The value as 15 significant decimal digits q times 10^(x - 14).
  std::uint64_t q = 0;
  int x = 0;
  Significant15(v, q, x);
  // The digits kept: those down to the last decimal, rounded half away
  // from zero at the first one dropped (digits past q's are zeros).
  const int keep = x + 1 + decimals;
  std::uint64_t kept = 0;
  int length = 1;  // kept's digits
  if (keep <= 0) {
    kept = keep == 0 && q >= 5 * kTen[14] ? 1 : 0;
  } else if (keep <= 15) {
    const int dropped = 15 - keep;
    kept = q / kTen[dropped];
    if (dropped > 0 && q % kTen[dropped] >= 5 * kTen[dropped - 1]) ++kept;
    length = kept >= kTen[keep] ? keep + 1 : keep;  // a carry adds a digit
  } else if (keep <= 19) {
    kept = q * kTen[keep - 15];
    length = keep;
  } else {
    // Large values: the 15 digits, then zeros up to the last decimal.
    out = WriteDigits(out, q, 15);
    std::memset(out, '0', static_cast<size_t>(keep - 15 - decimals));
    out += keep - 15 - decimals;
    if (decimals == 0) return out;
    *out = '.';
    std::memset(out + 1, '0', static_cast<size_t>(decimals));
    return out + 1 + decimals;
  }
  // At least one digit before the point.
  const int whole = length > decimals ? length - decimals : 1;
  out = WriteDigits(out, kept / kTen[decimals], whole);
  if (decimals == 0) return out;
  *out = '.';
  return WriteDigits(out + 1, kept % kTen[decimals], decimals);
}

void AppendFixed(std::string& text, double v, int decimals) {
  char buf[kMaxFixedChars];
  text.append(buf, static_cast<size_t>(WriteFixed(buf, v, decimals) - buf));
}

std::string FreeText(double v) {
  std::string s;
  AppendFree(s, v);
  return s;
}

char* WriteFree(char* out, double v) {
  if (!std::isfinite(v)) {
    std::memcpy(out, kMissingText, 4);
    return out + 4;
  }
  if (std::signbit(v)) *out++ = '-';
  if (v == 0) {
    *out = '0';
    return out + 1;
  }
  // As "%.15g" writes it: 15 significant digits without trailing zeros,
  // in exponent form when the exponent is below -4 or 15 and above.
  std::uint64_t q = 0;
  int x = 0;
  Significant15(v, q, x);
  int n = 15;
  while (q % 10 == 0) {
    q /= 10;
    --n;
  }
  if (x < -4 || x >= 15) {  // d.ddde-XX
    *out++ = static_cast<char>('0' + q / kTen[n - 1]);
    if (n > 1) {
      *out++ = '.';
      out = WriteDigits(out, q % kTen[n - 1], n - 1);
    }
    *out++ = 'e';
    *out++ = x < 0 ? '-' : '+';
    const int e = x < 0 ? -x : x;
    return WriteDigits(out, static_cast<std::uint64_t>(e), e < 100 ? 2 : 3);
  }
  if (x < 0) {  // 0.000ddd
    *out++ = '0';
    *out++ = '.';
    std::memset(out, '0', static_cast<size_t>(-x - 1));
    return WriteDigits(out + (-x - 1), q, n);
  }
  if (n <= x + 1) {  // a whole number: zeros up to the point
    out = WriteDigits(out, q, n);
    std::memset(out, '0', static_cast<size_t>(x + 1 - n));
    return out + (x + 1 - n);
  }
  const int decimals = n - x - 1;
  out = WriteDigits(out, q / kTen[decimals], x + 1);
  *out = '.';
  return WriteDigits(out + 1, q % kTen[decimals], decimals);
}

void AppendFree(std::string& out, double v) {
  char buf[kMaxFreeChars];
  out.append(buf, static_cast<size_t>(WriteFree(buf, v) - buf));
}

std::string PrintedNumberText(std::int64_t v) {
  return (v < 0 ? std::string() : std::string(" ")) + std::to_string(v) + " ";
}

}  // namespace treetri
