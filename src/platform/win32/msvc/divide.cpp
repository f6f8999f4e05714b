// Unsigned 64-bit division, and on 32-bit x86 the two helpers through which the compiler divides
// 64-bit numbers there: __aulldiv (quotient) and __aullrem (remainder).
//
// The helpers take the dividend and the divisor on the stack, remove them on return and give
// the result in EDX:EAX: that is the __stdcall convention for two 64-bit arguments, under the
// helpers' undecorated names.
#include "platform/win32/msvc/divide.h"

namespace scrivlet {
namespace msvc {

unsigned long long DivideU64(unsigned long long dividend, unsigned long long divisor,
                             unsigned long long* remainder) {
    if ((dividend >> 32) == 0 && (divisor >> 32) == 0 && divisor != 0) {
        const unsigned int low = static_cast<unsigned int>(dividend);
        const unsigned int by = static_cast<unsigned int>(divisor);
        *remainder = low % by;
        return low / by;
    }
    // Long division, one bit of the quotient a step. Before each shift the rest is at most the
    // dividend's bits above the current one, below 2^63, so the shift never overflows.
    unsigned long long quotient = 0;
    unsigned long long rest = 0;
    for (int bit = 63; bit >= 0; --bit) {
        rest = (rest << 1) | ((dividend >> bit) & 1);
        if (rest >= divisor) {
            rest -= divisor;
            quotient |= 1ULL << bit;
        }
    }
    *remainder = rest;
    return quotient;
}

}  // namespace msvc
}  // namespace scrivlet

#if defined(_M_IX86)
unsigned long long __stdcall Aulldiv(unsigned long long dividend,
                                     unsigned long long divisor) __asm__("__aulldiv");
unsigned long long __stdcall Aullrem(unsigned long long dividend,
                                     unsigned long long divisor) __asm__("__aullrem");

unsigned long long __stdcall Aulldiv(unsigned long long dividend, unsigned long long divisor) {
    unsigned long long remainder = 0;
    return scrivlet::msvc::DivideU64(dividend, divisor, &remainder);
}

unsigned long long __stdcall Aullrem(unsigned long long dividend, unsigned long long divisor) {
    unsigned long long remainder = 0;
    scrivlet::msvc::DivideU64(dividend, divisor, &remainder);
    return remainder;
}
#endif
