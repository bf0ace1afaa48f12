// The checks of the documents the fuzz targets make. Built without the
// fuzzer's coverage: their branches follow the document's text, not the code
// under test, and would only steer the fuzzer and slow it down.
#include "document_fuzz.h"
#include "schema_check.h"
#include "xml_check.h"

namespace zelvo::fuzz {

std::string document_fault(std::string_view doc) {
    std::string fault = xml_fault(doc);
    if (!fault.empty()) return "not well-formed: " + fault;
    fault = schema_fault(doc);
    if (!fault.empty()) return "not valid KML 2.2: " + fault;
    return {};
}

}  // namespace zelvo::fuzz
