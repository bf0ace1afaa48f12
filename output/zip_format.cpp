#include "output/zip_format.h"

#include <time.h>

namespace zelvo::zip {

DosDateTime dos_date_time(std::time_t instant) {
    std::tm local{};
    if (::localtime_r(&instant, &local) == nullptr) {
        std::time_t now = std::time(nullptr);
        ::localtime_r(&now, &local);
    }
    int year = local.tm_year + 1900;
    if (year < 1980) return {0, static_cast<std::uint16_t>(0 << 9 | 1 << 5 | 1)};
    if (year > 2107)
        return {static_cast<std::uint16_t>(23 << 11 | 59 << 5 | 29),
                static_cast<std::uint16_t>(127 << 9 | 12 << 5 | 31)};
    DosDateTime out;
    int second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
    out.time = static_cast<std::uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | second / 2);
    out.date = static_cast<std::uint16_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    return out;
}

}  // namespace zelvo::zip
