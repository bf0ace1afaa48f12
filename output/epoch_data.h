// The epoch values of a placemark as typed fields a GIS can filter: one
// Schema at the head of the document, and SchemaData in every placemark.
// The values are those of the description table, as numbers; a value the
// table does not show as a number is left out, which readers take as null.
#pragma once

#include <cstdint>

#include "record/vocabulary.h"
#include "record/waypoints.h"
#include "output/kml_stream.h"

namespace zelvo {

// The class names the window shows beside the colours.
const char* fix_class_name(FixClass fix_class);

// The Schema element and the ExtendedData element of one placemark (which
// KML places after the placemark's Style and before its Point), for each
// kind of log: binary logs have no GGA and GSA fields, solution files their
// own.
void write_nmea_schema(KmlStream& out);
void write_tolv_schema(KmlStream& out);
void write_solution_schema(KmlStream& out);
void write_nmea_data(KmlStream& out, const waypoints& record, std::int32_t number, FixClass fix_class);
void write_tolv_data(KmlStream& out, const waypoints& record, std::int32_t number, FixClass fix_class);
void write_solution_data(KmlStream& out, const waypoints& record, std::int32_t number, FixClass fix_class);

}  // namespace zelvo
