// Any bytes read as an NMEA log give a well-formed document.
#include "document_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelvo::fuzz::check_document(data, size, zelvo::InputFormat::Nmea);
    return 0;
}
