// Validation of the documents against the KML 2.2 schema with libxml2. The
// schema (the copy in tests/schema/kml22) is read once per process; nothing
// is read from the network.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include <libxml/parser.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlschemas.h>

#ifdef __GLIBC__
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);
}
#endif

namespace zelvo::fuzz {

#ifdef __GLIBC__
// libxml2 is not under test: its memory comes straight from the C library,
// past a sanitizer's allocator, whose bookkeeping of each block (the stack
// that made it, the quarantine) cost as much as the parsing and validation.
inline char* libc_strdup(const char* text) {
    const std::size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(__libc_malloc(size));
    if (copy) std::memcpy(copy, text, size);
    return copy;
}

inline void keep_libxml2_memory_outside_sanitizers() {
    xmlMemSetup(__libc_free, __libc_malloc, __libc_realloc, libc_strdup);
}
#else
inline void keep_libxml2_memory_outside_sanitizers() {}
#endif

class KmlSchema {
public:
    KmlSchema() {
        keep_libxml2_memory_outside_sanitizers();  // before libxml2 allocates anything
        xmlInitParser();
        xmlSetExternalEntityLoader(xmlNoNetExternalEntityLoader);
        xmlSchemaParserCtxtPtr parser = xmlSchemaNewParserCtxt(ZELVO_KML_SCHEMA);
        schema_ = parser ? xmlSchemaParse(parser) : nullptr;
        xmlSchemaFreeParserCtxt(parser);
        valid_ = schema_ ? xmlSchemaNewValidCtxt(schema_) : nullptr;
        parser_ = xmlNewParserCtxt();
        if (!valid_ || !parser_) {
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
        // One parser for every document, so the names it has seen are kept;
        // small texts are stored in their nodes, which nothing changes.
        constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;
        xmlDocPtr parsed =
            xmlCtxtReadMemory(parser_, doc.data(), static_cast<int>(doc.size()), "document.kml", nullptr, kOptions);
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
    xmlParserCtxtPtr parser_ = nullptr;
    std::string errors_;
};

// Empty when `doc` validates against the KML 2.2 schema.
inline std::string schema_fault(std::string_view doc) {
    static KmlSchema schema;  // read once, kept for the life of the process
    return schema.fault(doc);
}

}  // namespace zelvo::fuzz
