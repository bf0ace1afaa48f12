#include "output/epoch_data.h"

#include <cmath>
#include <span>

#include "output/kml_document.h"

namespace zelvo {

namespace {

enum class FieldType { Int, Double, String, Bool };

struct Field {
    const char* name;
    FieldType type;
    bool nmea_only;
};

// A solution epoch's values, in the order of its description table.
constexpr Field kSolutionFields[] = {
    {"number", FieldType::Int, false},       {"fix_class", FieldType::String, false},
    {"longitude", FieldType::Double, false}, {"latitude", FieldType::Double, false},
    {"height", FieldType::Double, false},    {"utc_time", FieldType::String, false},
    {"q", FieldType::Int, false},            {"satellites", FieldType::Int, false},
    {"sdn", FieldType::Double, false},       {"sde", FieldType::Double, false},
    {"sdu", FieldType::Double, false},       {"age", FieldType::Double, false},
    {"ratio", FieldType::Double, false},     {"speed_kmh", FieldType::Double, false},
    {"course", FieldType::Double, false},    {"motion_derived", FieldType::Bool, false},
};

// In the order of the description table.
constexpr Field kFields[] = {
    {"number", FieldType::Int, false},      {"fix_class", FieldType::String, false},
    {"longitude", FieldType::Double, false}, {"latitude", FieldType::Double, false},
    {"altitude", FieldType::Double, false}, {"utc_time", FieldType::String, false},
    {"speed_kmh", FieldType::Double, false}, {"course", FieldType::Double, false},
    {"rms", FieldType::Double, false},      {"gga_quality", FieldType::Int, true},
    {"diff_age", FieldType::Double, true},  {"gsa_fix_mode", FieldType::Int, true},
    {"hdop", FieldType::Double, false},     {"satellites", FieldType::Int, false},
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

void open_value(KmlStream& out, const char* name) {
    out.put("<SimpleData name=\""_kml).put(name).put("\">"_kml);
}

void put_int_value(KmlStream& out, const char* name, std::int64_t v) {
    open_value(out, name);
    out.put_int(v).put("</SimpleData>\n"_kml);
}

// "nan" and "inf" are no numbers to a GIS: such a value is left out.
void put_double_value(KmlStream& out, const char* name, double v, int decimals) {
    if (!std::isfinite(v)) return;
    open_value(out, name);
    out.put_fixed(v, decimals).put("</SimpleData>\n"_kml);
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

namespace {

void write_schema(KmlStream& out, std::span<const Field> fields, bool nmea) {
    out.put("<Schema name=\"Epoch\" id=\"Epoch\">\n"_kml);
    for (const Field& f : fields) {
        if (f.nmea_only && !nmea) continue;
        out.put("<SimpleField type=\""_kml).put(type_name(f.type)).put("\" name=\""_kml).put(f.name)
            .put("\"/>\n"_kml);
    }
    out.put("</Schema>\n"_kml);
}

// The fields every log has, up to the altitude.
void put_epoch_head(KmlStream& out, std::int32_t number, FixClass fix_class) {
    out.put("<ExtendedData>\n"_kml).put("<SchemaData schemaUrl=\"#Epoch\">\n"_kml);
    put_int_value(out, "number", number);
    open_value(out, "fix_class");
    out.put(fix_class_name(fix_class)).put("</SimpleData>\n"_kml);
}

void put_utc_time(KmlStream& out, const waypoints& r) {
    if (r.time.empty()) return;
    // The time stamp's text: the date without its mark.
    open_value(out, "utc_time");
    out.put_element_text_raw(time_stamp_date(r.date, r.date_source)).put("T"_kml).put_element_text(r.time)
        .put("Z</SimpleData>\n"_kml);
}

void put_epoch_tail(KmlStream& out) { out.put("</SchemaData>\n"_kml).put("</ExtendedData>\n"_kml); }

void write_classic_data(KmlStream& out, const waypoints& r, std::int32_t number, FixClass fix_class, bool nmea) {
    put_epoch_head(out, number, fix_class);
    put_double_value(out, "longitude", r.longitude, 6);
    put_double_value(out, "latitude", r.latitude, 6);
    put_double_value(out, "altitude", r.altitude, 3);
    put_utc_time(out, r);
    put_double_value(out, "speed_kmh", r.speed_kmh, 1);
    put_double_value(out, "course", r.course, 1);
    put_double_value(out, "rms", r.rms, 1);
    if (nmea && gga_quality_shown(r)) put_int_value(out, "gga_quality", r.quality);
    if (nmea) put_double_value(out, "diff_age", r.diff_age, 2);
    if (nmea) put_int_value(out, "gsa_fix_mode", r.fix_mode);
    put_double_value(out, "hdop", r.hdop, 3);
    if (nmea || r.sats_used != -1) put_int_value(out, "satellites", r.sats_used);
    put_epoch_tail(out);
}

}  // namespace

void write_nmea_schema(KmlStream& out) { write_schema(out, kFields, true); }
void write_tolv_schema(KmlStream& out) { write_schema(out, kFields, false); }
void write_solution_schema(KmlStream& out) { write_schema(out, kSolutionFields, false); }

void write_nmea_data(KmlStream& out, const waypoints& r, std::int32_t number, FixClass fix_class) {
    write_classic_data(out, r, number, fix_class, true);
}

void write_tolv_data(KmlStream& out, const waypoints& r, std::int32_t number, FixClass fix_class) {
    write_classic_data(out, r, number, fix_class, false);
}

void write_solution_data(KmlStream& out, const waypoints& r, std::int32_t number, FixClass fix_class) {
    put_epoch_head(out, number, fix_class);
    put_double_value(out, "longitude", r.longitude, 9);
    put_double_value(out, "latitude", r.latitude, 9);
    put_double_value(out, "height", r.altitude, 4);
    put_utc_time(out, r);
    put_int_value(out, "q", r.quality);
    put_int_value(out, "satellites", r.sats_used);
    put_double_value(out, "sdn", r.sd_north, 4);
    put_double_value(out, "sde", r.sd_east, 4);
    put_double_value(out, "sdu", r.sd_up, 4);
    put_double_value(out, "age", r.diff_age, 2);
    put_double_value(out, "ratio", r.ratio, 1);
    put_double_value(out, "speed_kmh", r.speed_kmh, 1);
    put_double_value(out, "course", r.course, 1);
    open_value(out, "motion_derived");
    out.put(r.motion_derived ? "true" : "false").put("</SimpleData>\n"_kml);
    put_epoch_tail(out);
}

}  // namespace zelvo
