// The fuzz targets' checks reject what a reader of the documents would: a
// check that passed everything would let every fault through unseen.
#include <gtest/gtest.h>

#include "tests/fuzz/document_fuzz.h"

namespace zelvo::fuzz {
namespace {

std::string kml(const std::string& document_body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n"
           "<Document>\r\n" + document_body + "</Document>\r\n</kml>\r\n";
}

TEST(DocumentChecks, PassValidDocumentsAndNameWhatIsWrongWithOthers) {
    const std::string style = "<Style id=\"NormalTrack\"><LineStyle><width>2</width></LineStyle></Style>\r\n";
    const std::string point = "<Point><coordinates>8.5,47.3,410</coordinates></Point>";
    const struct {
        std::string doc;
        std::string fault;  // how the fault begins; empty for a valid document
    } cases[] = {
        {kml(style + "<Placemark><name>0</name>" + point + "</Placemark>\r\n"), ""},
        {kml("<Placemark><name>0</name>" + point + "</Placemark>"), ""},
        {kml("<Placemark><name>0</name>" + point + "</Document>"), "not well-formed"},
        {kml("<Placemark><name>a & b</name></Placemark>"), "not well-formed"},
        {kml("<Style><IconStyle><heading>90</heading></IconStyle></Style>"), ""},
        {kml("<Style><IconStyle><heading>nan</heading></IconStyle></Style>"), "not valid KML 2.2"},
        {kml("<Style><IconStyle><heading>1271.49</heading></IconStyle></Style>"), "not valid KML 2.2"},
        {kml("<Placemark><name>0</name><Folder/></Placemark>"), "not valid KML 2.2"},
        // Ids name one object each: a reader's style reference must not be ambiguous.
        {kml(style + style), "not valid KML 2.2"},
    };
    for (const auto& c : cases) {
        const std::string fault = document_fault(c.doc);
        if (c.fault.empty()) EXPECT_EQ(fault, "") << c.doc;
        else EXPECT_EQ(fault.substr(0, c.fault.size()), c.fault) << c.doc << "\n" << fault;
    }
}

}  // namespace
}  // namespace zelvo::fuzz
