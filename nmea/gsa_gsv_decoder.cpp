#include <string_view>

#include "nmea/field_text.h"
#include "nmea/nmea_decoders.h"

namespace zelvo {

namespace {

constexpr long kMaxSatelliteId = 96;

bool valid_id(long id) { return id >= 1 && id <= kMaxSatelliteId; }

// The id fixes the system and the number within it.
void name_satellite(sat_entry& entry, long id) {
    if (id <= 32) {
        entry.system = 'G';
        entry.number = static_cast<std::uint8_t>(id);
    } else if (id <= 64) {
        entry.system = 'S';
        entry.number = static_cast<std::uint8_t>(id + 87);
    } else {
        entry.system = 'R';
        entry.number = static_cast<std::uint8_t>(id - 64);
    }
}

}  // namespace

// $GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39
void decode_gsa(const SentenceBuffer& s, waypoints& record) {
    const std::size_t star = star_index(s);
    if (star <= 6) return;
    // Pass over the selection mode to the ',' that opens the fix mode.
    std::size_t open = 7;
    while (open < star && s[open] != ',') ++open;
    if (open >= star) return;
    std::size_t end = field_end(s, open, star);
    record.fix_mode = low32(c_atol(field_text(s, open, end)));
    if (end >= star) return;
    const std::size_t list_begin = end + 1;

    // The id list ends where the three DOP fields begin: found from the
    // back, stepping over the character before each of the first two ','.
    std::size_t last = star + 2 < s.size() ? star + 2 : s.size() - 1;
    std::size_t list_end = 0;
    int commas = 0;
    for (std::size_t j = last; j >= 1;) {
        if (s[j] == ',') {
            if (++commas == 3) {
                list_end = j;
                break;
            }
            if (j < 3) break;
            j -= 2;
        } else {
            --j;
        }
    }
    if (commas < 3 || list_end < list_begin) return;

    std::size_t id_begin = list_begin;
    for (std::size_t i = list_begin; i <= list_end; ++i) {
        if (s[i] != ',') continue;
        long id = c_atol(std::string_view(s.data() + id_begin, i - id_begin));
        if (valid_id(id)) record.sats[static_cast<std::size_t>(id)].used = 1;
        id_begin = i + 1;
    }
}

// $GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74
void decode_gsv(const SentenceBuffer& s, waypoints& record) {
    const std::size_t star = star_index(s);
    // The first three fields (sentence count, number, satellites in view)
    // are not used: skip to the ',' that opens the first satellite.
    std::size_t pos = 1;
    for (int commas = 0; pos < star; ++pos) {
        if (s[pos] == ',' && ++commas == 4) break;
    }
    // Groups of id, elevation, azimuth, SNR.
    while (pos < star) {
        std::size_t end = field_end(s, pos, star);
        long id = c_atol(field_text(s, pos, end));
        bool valid = valid_id(id);
        sat_entry* entry = valid ? &record.sats[static_cast<std::size_t>(id)] : nullptr;
        if (entry) name_satellite(*entry, id);
        if (end >= star) return;

        // A '*' inside the elevation or azimuth ends the group unfinished.
        pos = end;
        end = field_end(s, pos, star);
        if (end >= star) return;
        if (entry) entry->elevation = static_cast<std::uint8_t>(c_atol(field_text(s, pos, end)));

        pos = end;
        end = field_end(s, pos, star);
        if (end >= star) return;
        if (entry) entry->azimuth = static_cast<std::uint16_t>(c_atol(field_text(s, pos, end)));

        pos = end;
        end = field_end(s, pos, star);
        if (entry) {
            entry->snr = static_cast<std::uint8_t>(c_atol(field_text(s, pos, end)));
            entry->present = 1;
            record.has_sats = 1;
        }
        pos = end;
    }
}

}  // namespace zelvo
