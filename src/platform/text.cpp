// Bounded 16-bit text formatting, copying and counting, the same on every platform.
//
// The runtime's own swprintf_s may end the process when its text does not fit; these never do.
// They hold just the conversions the library uses (see platform.h) and write nothing past the
// element count they are given.
#include <cstdarg>

#include "platform/platform.h"

namespace scrivlet {
namespace os {
namespace {

// Appends to a bounded buffer; remembers when something did not fit.
class Sink {
  public:
    Sink(WCHAR* buffer, std::size_t count) : buffer_(buffer), count_(count) {}

    void Put(WCHAR c) {
        // The last element is kept for the terminating zero.
        if (length_ + 1 >= count_) {
            overflow_ = true;
            return;
        }
        buffer_[length_++] = c;
    }

    // Decimal digits of value, padded on the left with pad to at least width characters.
    void PutNumber(unsigned long long value, unsigned width, WCHAR pad) {
        WCHAR digits[20];  // the most an unsigned 64-bit number has
        unsigned n = 0;
        do {
            digits[n++] = static_cast<WCHAR>('0' + value % 10);
            value /= 10;
        } while (value != 0 && n < sizeof digits / sizeof digits[0]);
        for (unsigned i = n; i < width; ++i) Put(pad);
        while (n > 0) Put(digits[--n]);
    }

    void MarkOverflow() { overflow_ = true; }

    int Finish() {
        if (overflow_) {
            buffer_[0] = 0;
            return -1;
        }
        buffer_[length_] = 0;
        return static_cast<int>(length_);
    }

  private:
    WCHAR* buffer_;
    std::size_t count_;
    std::size_t length_ = 0;
    bool overflow_ = false;
};

}  // namespace

int swprintf_s(WCHAR* buffer, std::size_t count, const WCHAR* format, ...) {
    if (buffer == nullptr || count == 0) return -1;
    Sink out(buffer, count);
    if (format == nullptr) {
        out.MarkOverflow();
        return out.Finish();
    }
    va_list args;
    va_start(args, format);
    for (const WCHAR* p = format; *p != 0; ++p) {
        if (*p != '%') {
            out.Put(*p);
            continue;
        }
        ++p;
        if (*p == '%') {
            out.Put('%');
            continue;
        }
        WCHAR pad = ' ';
        if (*p == '0') {
            pad = '0';
            ++p;
        }
        unsigned width = 0;
        for (unsigned digits = 0; *p >= '0' && *p <= '9' && digits < 2; ++digits, ++p) {
            width = width * 10 + static_cast<unsigned>(*p - '0');
        }
        if (*p == 's' && width == 0 && pad == ' ') {
            const WCHAR* text = va_arg(args, const WCHAR*);
            if (text == nullptr) {
                out.MarkOverflow();
                break;
            }
            for (; *text != 0; ++text) out.Put(*text);
        } else if (*p == 'u') {
            out.PutNumber(va_arg(args, unsigned int), width, pad);
        } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4' && p[3] == 'u') {
            p += 3;
            out.PutNumber(va_arg(args, unsigned long long), width, pad);
        } else {
            // A conversion this formatter does not know (or a lone '%' at the end).
            out.MarkOverflow();
            break;
        }
    }
    va_end(args);
    return out.Finish();
}

int wcscpy_s(WCHAR* dest, std::size_t count, const WCHAR* source) {
    if (dest == nullptr || count == 0) return kRuntimeEinval;
    if (source == nullptr) {
        dest[0] = 0;
        return kRuntimeEinval;
    }
    for (std::size_t i = 0; i < count; ++i) {
        dest[i] = source[i];
        if (source[i] == 0) return 0;
    }
    dest[0] = 0;
    return kRuntimeErange;
}

std::size_t wcsnlen_s(const WCHAR* text, std::size_t max) {
    if (text == nullptr) return 0;
    std::size_t n = 0;
    while (n < max && text[n] != 0) ++n;
    return n;
}

}  // namespace os
}  // namespace scrivlet
