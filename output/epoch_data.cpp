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
    EpochValue& add(FieldIndex i, bool present) {
        EpochValue& e = v_.values[v_.count++];
        e = EpochValue{};
        e.field = &kFields[i];
        e.present = present;
        return e;
    }
    void integer(FieldIndex i, std::int64_t v) { add(i, true).integer = v; }
    // "nan" and "inf" are no numbers to a GIS: such a value is left out.
    void number(FieldIndex i, double v, int decimals) {
        EpochValue& e = add(i, std::isfinite(v));
        e.number = v;
        e.decimals = decimals;
    }

private:
    EpochValues& v_;
};

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

std::vector<EpochField> epoch_fields(std::int32_t input_format) {
    std::vector<EpochField> fields;
    for (const EpochField& f : kFields)
        if (!f.nmea_only || input_format == kFormatNmea) fields.push_back(f);
    return fields;
}

EpochValues epoch_values(const waypoints& r, std::int32_t number, FixClass fix_class, std::int32_t input_format) {
    const bool nmea = input_format == kFormatNmea;
    EpochValues values;
    ValueList list(values);
    list.integer(kNumber, number);
    list.add(kFixClass, true).text = fix_class_name(fix_class);
    list.number(kLongitude, r.longitude, 6);
    list.number(kLatitude, r.latitude, 6);
    list.number(kAltitude, r.altitude, 3);
    EpochValue& time = list.add(kUtcTime, !r.time.empty());
    // The time stamp's text: the date without its marker.
    time.text = time_stamp_date(r.date);
    time.time = r.time;
    list.number(kSpeed, r.speed_kmh, 1);
    list.number(kCourse, r.course, 1);
    list.number(kRms, r.rms, 1);
    if (nmea) {
        list.add(kGgaQuality, gga_quality_shown(r)).integer = r.quality;
        list.number(kDiffAge, r.diff_age, 2);
        list.integer(kGsaFixMode, r.fix_mode);
    }
    list.number(kHdop, r.hdop, 3);
    list.add(kSatellites, nmea || r.sats_used != -1).integer = r.sats_used;
    return values;
}

std::string epoch_value_text(const EpochValue& v) {
    std::string text;
    put_safe_text(text, v.text);
    if (v.field == &kFields[kUtcTime]) {
        text += 'T';
        put_safe_text(text, v.time);
        text += 'Z';
    }
    return text;
}

void write_epoch_schema(KmlStream& out, std::int32_t input_format) {
    out.put("<Schema name=\"Epoch\" id=\"Epoch\">\n"_kml);
    for (const EpochField& f : epoch_fields(input_format)) {
        out.put("<SimpleField type=\""_kml).put(type_name(f.type)).put("\" name=\""_kml).put(f.name)
            .put("\"/>\n"_kml);
    }
    out.put("</Schema>\n"_kml);
}

void write_epoch_data(KmlStream& out, const waypoints& r, std::int32_t number, FixClass fix_class,
                      std::int32_t input_format) {
    const EpochValues values = epoch_values(r, number, fix_class, input_format);
    out.put("<ExtendedData>\n"_kml).put("<SchemaData schemaUrl=\"#Epoch\">\n"_kml);
    for (std::size_t i = 0; i < values.count; ++i) {
        const EpochValue& v = values.values[i];
        if (!v.present) continue;
        out.put("<SimpleData name=\""_kml).put(v.field->name).put("\">"_kml);
        switch (v.field->type) {
            case FieldType::Int: out.put_int(v.integer); break;
            case FieldType::Double: out.put_fixed(v.number, v.decimals); break;
            case FieldType::String:
                if (v.field == &kFields[kUtcTime])
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
