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

// The Schema element; binary logs have no GGA and GSA fields.
void write_epoch_schema(KmlStream& out, std::int32_t input_format);

// The ExtendedData element of one placemark, which KML places after the
// placemark's Style and before its Point.
void write_epoch_data(KmlStream& out, const waypoints& record, std::int32_t number, FixClass fix_class,
                      std::int32_t input_format);

}  // namespace zelvo
