// A CSV table (RFC 4180): a header of the epoch field names, then a row per
// placemark, empty where a value is missing.
#include "engine/epoch_outputs.h"
#include "output/epoch_data.h"

namespace zelvo {

namespace {

std::string csv_header(EpochFieldSet fields) {
    std::string header;
    for (const EpochField& f : epoch_fields(fields)) {
        if (!header.empty()) header += ',';
        header += f.name;
    }
    return header + "\r\n";
}

// A text with a comma, a quote or a line end goes in quotes, its quotes doubled.
void put_csv_text(KmlStream& out, std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.put_raw(text);
        return;
    }
    out.put_char('"');
    for (char c : text) {
        if (c == '"') out.put_char('"');
        out.put_char(c);
    }
    out.put_char('"');
}

class CsvOutput : public EpochOutput {
public:
    CsvOutput(ByteSink& sink, const CompanionLook& look) : look_(look), out_(sink) {
        out_.put_raw(csv_header(look.fields));
    }

    const char* name() const override { return "CSV"; }

    void epoch(const FinalEpoch& e) override {
        const EpochDecision& d = e.decision;
        std::int32_t number = e.first_placemark;
        for (std::size_t i = 0; i < static_cast<std::size_t>(d.placemarks); ++i)
            if (d.drawn[i]) row(e.record, number++, d.classes[i]);
    }

    void finish(std::uint64_t) override { out_.flush(); }

private:
    void row(const waypoints& r, std::int32_t number, FixClass c) {
        const EpochValues values = epoch_values(r, number, c, look_.fields);
        for (std::size_t i = 0; i < values.count; ++i) {
            const EpochValue& v = values.values[i];
            if (i > 0) out_.put_char(',');
            if (!v.present) continue;
            switch (v.field->type) {
                case FieldType::Int: out_.put_int(v.integer); break;
                case FieldType::Double: out_.put_fixed(v.number, v.decimals); break;
                case FieldType::String: put_csv_text(out_, epoch_value_text(v)); break;
                case FieldType::Bool: out_.put_raw(v.integer != 0 ? "true" : "false"); break;
            }
        }
        out_.put_raw("\r\n");
    }

    CompanionLook look_;
    KmlStream out_;
};

}  // namespace

std::unique_ptr<EpochOutput> make_csv_output(ByteSink& sink, const CompanionLook& look) {
    return std::make_unique<CsvOutput>(sink, look);
}

// The same header as this run would write.
bool is_csv_file(std::string_view head, const CompanionLook& look) {
    const std::string header = csv_header(look.fields);
    const std::string_view bare = std::string_view(header).substr(0, header.size() - 2);
    if (head.substr(0, header.size()) == header) return true;
    return head.substr(0, bare.size() + 1) == std::string(bare) + "\n";
}

}  // namespace zelvo
