// Any bytes read as a solution file give a well-formed document.
#include "document_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelvo::fuzz::check_document(data, size, zelvo::InputFormat::Solution);
    return 0;
}
