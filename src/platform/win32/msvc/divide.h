// Unsigned 64-bit division from 32-bit operations: what the 32-bit x86 build needs for the
// compiler's division helpers (divide.cpp), which Microsoft's compiler takes from its static
// runtime library.
#ifndef SCRIVLET_PLATFORM_WIN32_MSVC_DIVIDE_H
#define SCRIVLET_PLATFORM_WIN32_MSVC_DIVIDE_H

namespace scrivlet {
namespace msvc {

// Returns dividend / divisor and stores dividend % divisor in *remainder. Uses no 64-bit
// division itself. A divisor of 0 gives a quotient of all ones and the dividend as remainder.
unsigned long long DivideU64(unsigned long long dividend, unsigned long long divisor,
                             unsigned long long* remainder);

}  // namespace msvc
}  // namespace scrivlet

#endif  // SCRIVLET_PLATFORM_WIN32_MSVC_DIVIDE_H
