#include "output/epoch_data.h"

#include <cmath>

#include "output/kml_document.h"

namespace zelvo {

namespace {

enum FieldIndex {
    kNumber, kFixClass, kLongitude, kLatitude, kAltitude, kUtcTime, kSpeed, kCourse, kRms,
    kGgaQuality, kDiffAge, kGsaFixMode, kHdop, kSatellites, kFieldCount
};

// In the order of the description table.
constexpr EpochField kFields[kFieldCount] = {
    {"number", FieldType::Int},       {"fix_class", FieldType::String}, {"longitude", FieldType::Double},
    {"latitude", FieldType::Double},  {"altitude", FieldType::Double},  {"utc_time", FieldType::String},
    {"speed_kmh", FieldType::Double}, {"course", FieldType::Double},    {"rms", FieldType::Double},
    {"gga_quality", FieldType::Int},  {"diff_age", FieldType::Double},  {"gsa_fix_mode", FieldType::Int},
    {"hdop", FieldType::Double},      {"satellites", FieldType::Int},
};

// Binary logs have no GGA and GSA fields.
constexpr EpochField kTolvFields[] = {
    kFields[kNumber], kFields[kFixClass], kFields[kLongitude], kFields[kLatitude], kFields[kAltitude],
    kFields[kUtcTime], kFields[kSpeed], kFields[kCourse], kFields[kRms], kFields[kHdop], kFields[kSatellites],
};

enum SolutionFieldIndex {
    kSolNumber, kSolFixClass, kSolLongitude, kSolLatitude, kSolHeight, kSolUtcTime, kSolQ, kSolSatellites,
    kSolSdn, kSolSde, kSolSdu, kSolAge, kSolRatio, kSolSpeed, kSolCourse, kSolMotionDerived, kSolFieldCount
};

// A solution epoch's values, in the order of its description table.
constexpr EpochField kSolutionFields[kSolFieldCount] = {
    {"number", FieldType::Int},       {"fix_class", FieldType::String}, {"longitude", FieldType::Double},
    {"latitude", FieldType::Double},  {"height", FieldType::Double},    {"utc_time", FieldType::String},
    {"q", FieldType::Int},            {"satellites", FieldType::Int},   {"sdn", FieldType::Double},
    {"sde", FieldType::Double},       {"sdu", FieldType::Double},       {"age", FieldType::Double},
    {"ratio", FieldType::Double},     {"speed_kmh", FieldType::Double}, {"course", FieldType::Double},
    {"motion_derived", FieldType::Bool},
};

const char* type_name(FieldType t) {
    switch (t) {
        case FieldType::Int: return "int";
        case FieldType::Double: return "double";
        case FieldType::String: return "string";
        case FieldType::Bool: return "bool";
    }
    return "string";
}

// The GGA status row shows a number only for the qualities it names, and
// for quality 1 of an epoch without GGA.
bool gga_quality_shown(const waypoints& r) {
    if (r.has_gga != 1) return r.quality == 1;
    switch (r.quality) {
        case 0: case 1: case 2: case 4: case 5: case 6: return true;
        default: return false;
    }
}

class ValueList {
public:
    explicit ValueList(EpochValues& v) : v_(v) {}
    EpochValue& add(const EpochField& field, bool present) {
        EpochValue& e = v_.values[v_.count++];
        e = EpochValue{};
        e.field = &field;
        e.present = present;
        return e;
    }
    void integer(const EpochField& field, std::int64_t v) { add(field, true).integer = v; }
    // "nan" and "inf" are no numbers to a GIS: such a value is left out.
    void number(const EpochField& field, double v, int decimals) {
        EpochValue& e = add(field, std::isfinite(v));
        e.number = v;
        e.decimals = decimals;
    }
    // The time stamp's text: the date without its mark, then the time.
    void utc_time(const EpochField& field, const waypoints& r) {
        EpochValue& time = add(field, !r.time.empty());
        time.text = time_stamp_date(r.date, r.date_source);
        time.time = r.time;
    }

private:
    EpochValues& v_;
};

bool is_utc_time(const EpochValue& v) {
    return v.field == &kFields[kUtcTime] || v.field == &kSolutionFields[kSolUtcTime];
}

void put_safe_text(std::string& out, std::string_view part) {
    part = part.substr(0, part.find('\0'));
    for (char c : part) {
        const unsigned char u = static_cast<unsigned char>(c);
        out += c != '\t' && (u < 0x20 || u > 0x7E) ? '?' : c;
    }
}

}  // namespace

const char* fix_class_name(FixClass fix_class) {
    switch (fix_class) {
        case FixClass::Auto: return "Auto";
        case FixClass::Diff: return "Diff";
        case FixClass::RtkFix: return "RTK Fix";
        case FixClass::RtkFloat: return "RTK Float";
        case FixClass::Estimated: return "Estimated";
        case FixClass::Invalid: return "Invalid";
    }
    return "";
}

std::span<const EpochField> epoch_fields(EpochFieldSet set) {
    switch (set) {
        case EpochFieldSet::Nmea: return kFields;
        case EpochFieldSet::Tolv: return kTolvFields;
        case EpochFieldSet::Solution: return kSolutionFields;
    }
    return kFields;
}

namespace {

void classic_values(ValueList& list, const waypoints& r, bool nmea) {
    list.number(kFields[kLongitude], r.longitude, 6);
    list.number(kFields[kLatitude], r.latitude, 6);
    list.number(kFields[kAltitude], r.altitude, 3);
    list.utc_time(kFields[kUtcTime], r);
    list.number(kFields[kSpeed], r.speed_kmh, 1);
    list.number(kFields[kCourse], r.course, 1);
    list.number(kFields[kRms], r.rms, 1);
    if (nmea) {
        list.add(kFields[kGgaQuality], gga_quality_shown(r)).integer = r.quality;
        list.number(kFields[kDiffAge], r.diff_age, 2);
        list.integer(kFields[kGsaFixMode], r.fix_mode);
    }
    list.number(kFields[kHdop], r.hdop, 3);
    list.add(kFields[kSatellites], nmea || r.sats_used != -1).integer = r.sats_used;
}

void solution_values(ValueList& list, const waypoints& r) {
    const EpochField* f = kSolutionFields;
    list.number(f[kSolLongitude], r.longitude, 9);
    list.number(f[kSolLatitude], r.latitude, 9);
    list.number(f[kSolHeight], r.altitude, 4);
    list.utc_time(f[kSolUtcTime], r);
    list.integer(f[kSolQ], r.quality);
    list.integer(f[kSolSatellites], r.sats_used);
    list.number(f[kSolSdn], r.sd_north, 4);
    list.number(f[kSolSde], r.sd_east, 4);
    list.number(f[kSolSdu], r.sd_up, 4);
    list.number(f[kSolAge], r.diff_age, 2);
    list.number(f[kSolRatio], r.ratio, 1);
    list.number(f[kSolSpeed], r.speed_kmh, 1);
    list.number(f[kSolCourse], r.course, 1);
    list.integer(f[kSolMotionDerived], r.motion_derived ? 1 : 0);
}

}  // namespace

EpochValues epoch_values(const waypoints& r, std::int32_t number, FixClass fix_class, EpochFieldSet set) {
    EpochValues values;
    ValueList list(values);
    // Every kind of log begins with the placemark's number and class.
    const std::span<const EpochField> fields = epoch_fields(set);
    list.integer(fields[0], number);
    list.add(fields[1], true).text = fix_class_name(fix_class);
    switch (set) {
        case EpochFieldSet::Nmea: classic_values(list, r, true); break;
        case EpochFieldSet::Tolv: classic_values(list, r, false); break;
        case EpochFieldSet::Solution: solution_values(list, r); break;
    }
    return values;
}

std::string epoch_value_text(const EpochValue& v) {
    std::string text;
    put_safe_text(text, v.text);
    if (is_utc_time(v)) {
        text += 'T';
        put_safe_text(text, v.time);
        text += 'Z';
    }
    return text;
}

void write_epoch_schema(KmlStream& out, EpochFieldSet set) {
    out.put("<Schema name=\"Epoch\" id=\"Epoch\">\n"_kml);
    for (const EpochField& f : epoch_fields(set)) {
        out.put("<SimpleField type=\""_kml).put(type_name(f.type)).put("\" name=\""_kml).put(f.name)
            .put("\"/>\n"_kml);
    }
    out.put("</Schema>\n"_kml);
}

void write_epoch_data(KmlStream& out, const waypoints& r, std::int32_t number, FixClass fix_class,
                      EpochFieldSet set) {
    const EpochValues values = epoch_values(r, number, fix_class, set);
    out.put("<ExtendedData>\n"_kml).put("<SchemaData schemaUrl=\"#Epoch\">\n"_kml);
    for (std::size_t i = 0; i < values.count; ++i) {
        const EpochValue& v = values.values[i];
        if (!v.present) continue;
        out.put("<SimpleData name=\""_kml).put(v.field->name).put("\">"_kml);
        switch (v.field->type) {
            case FieldType::Int: out.put_int(v.integer); break;
            case FieldType::Double: out.put_fixed(v.number, v.decimals); break;
            case FieldType::Bool: out.put(v.integer != 0 ? "true" : "false"); break;
            case FieldType::String:
                if (is_utc_time(v))
                    out.put_element_text_raw(v.text).put("T"_kml).put_element_text(v.time).put("Z"_kml);
                else
                    out.put(v.text);
                break;
        }
        out.put("</SimpleData>\n"_kml);
    }
    out.put("</SchemaData>\n"_kml).put("</ExtendedData>\n"_kml);
}

}  // namespace zelvo
