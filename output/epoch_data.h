// The epoch values of a placemark as typed fields a GIS can filter: one
// Schema at the head of the document, and SchemaData in every placemark.
// The values are those of the description table, as numbers; a value the
// table does not show as a number is left out, which readers take as null.
// Every output that carries the fields (the document, the companion files)
// takes their names, types and values from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "record/vocabulary.h"
#include "record/waypoints.h"
#include "output/kml_stream.h"

namespace zelvo {

// The class names the window shows beside the colours.
const char* fix_class_name(FixClass fix_class);

enum class FieldType { Int, Double, String, Bool };

struct EpochField {
    const char* name;
    FieldType type;
};

// The fields each kind of log carries: binary logs have no GGA and GSA
// fields, solution files fields of their own.
enum class EpochFieldSet { Nmea, Tolv, Solution };

// The fields of `set`, in the order of the description table.
std::span<const EpochField> epoch_fields(EpochFieldSet set);

// One field's value; absent where the document leaves the field out.
struct EpochValue {
    const EpochField* field = nullptr;
    bool present = false;
    std::int64_t integer = 0;  // Int, and Bool as 0 or 1
    double number = 0;         // Double, written with `decimals` digits
    int decimals = 0;
    // String: fix_class is `text`; utc_time is `text` (the date) "T" `time` "Z",
    // each part as it stands in the record.
    std::string_view text;
    std::string_view time;
};

// The values of every field of epoch_fields(set), in that order.
struct EpochValues {
    std::array<EpochValue, 16> values;
    std::size_t count = 0;
};
EpochValues epoch_values(const waypoints& record, std::int32_t number, FixClass fix_class, EpochFieldSet set);

// The text a reader of the document finds in a String value: the parts up
// to a NUL, every byte outside printable ASCII and tab as '?'.
std::string epoch_value_text(const EpochValue& value);

// The Schema element.
void write_epoch_schema(KmlStream& out, EpochFieldSet set);

// The ExtendedData element of one placemark, which KML places after the
// placemark's Style and before its Point.
void write_epoch_data(KmlStream& out, const waypoints& record, std::int32_t number, FixClass fix_class,
                      EpochFieldSet set);

}  // namespace zelvo
