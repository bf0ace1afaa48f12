// Validation of the documents against the KML 2.2 schema with libxml2. The
// schema (the copy in tests/schema/kml22) is read once per process; nothing
// is read from the network.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlschemas.h>

namespace zelvo::fuzz {

class KmlSchema {
public:
    KmlSchema() {
        xmlInitParser();
        xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
        xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(ZELVO_KML_SCHEMA);
        schema_ = parser ? xmlSchemaParse(parser) : nullptr;
        xmlSchemaFreeParserCtxt(parser);
        valid_ = schema_ ? xmlSchemaNewValidCtxt(schema_) : nullptr;
        if (!valid_) {
            std::fprintf(stderr, "The KML schema %s cannot be read\n", ZELVO_KML_SCHEMA);
            std::abort();
        }
        xmlSchemaSetValidStructuredErrors(valid_, keep_first_error, &errors_);
    }
    KmlSchema(const KmlSchema&) = delete;
    KmlSchema& operator=(const KmlSchema&) = delete;

    // Empty when `doc` validates, otherwise the first complaint.
    std::string fault(std::string_view doc) {
        errors_.clear();
        xmlDocPtr parsed = xmlReadMemory(doc.data(), static_cast<int>(doc.size()), "document.kml", nullptr,
                                         XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        if (!parsed) return "libxml2 cannot parse it";
        const int status = xmlSchemaValidateDoc(valid_, parsed);
        xmlFreeDoc(parsed);
        if (status == 0) return {};
        return errors_.empty() ? "invalid (status " + std::to_string(status) + ")" : errors_;
    }

private:
    static void keep_first_error(void* errors, xmlErrorPtr error) {
        auto& text = *static_cast<std::string*>(errors);
        if (!text.empty() || !error) return;
        text = "line " + std::to_string(error->line) + ": " + (error->message ? error->message : "?");
        while (!text.empty() && text.back() == '\n') text.pop_back();
    }

    xmlSchemaPtr schema_ = nullptr;
    xmlSchemaValidCtxtPtr valid_ = nullptr;
    std::string errors_;
};

// Empty when `doc` validates against the KML 2.2 schema.
inline std::string schema_fault(std::string_view doc) {
    static KmlSchema schema;  // read once, kept for the life of the process
    return schema.fault(doc);
}

}  // namespace zelvo::fuzz
