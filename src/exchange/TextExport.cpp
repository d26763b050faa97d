#include "exchange/TextExport.h"

#include <cstdio>
#include <optional>

#include "engine/Text.h"
#include "exchange/ExportFile.h"

namespace mv32::exchange {

namespace {

const std::string kIndent(7, ' ');

// The text of a column: none when the result lacks it or it cannot be read.
class Values {
public:
    Values(engine::Cursor& c, ExportSource source) : c_(c), result_(source == ExportSource::Result) {}
    std::optional<std::string> get(const char* field) {
        const int i = c_.fieldIndex(field);
        if (i < 0) return std::nullopt;
        try {
            return c_.displayText(i);
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    // A line's value that is written only when there is one.
    std::optional<std::string> filled(const char* field) {
        auto v = get(field);
        if (v && v->empty()) return std::nullopt;
        return v;
    }
    bool result() const { return result_; }

private:
    engine::Cursor& c_;
    bool result_;
};

class Lines {
public:
    explicit Lines(ExportFile& f) : f_(f) {}
    void operator()(const std::string& line) {
        f_.write(engine::text::toWindows1252(line));
        f_.write("\r\n");
    }

private:
    ExportFile& f_;
};

std::string sizeLine(const char* label, const std::string& text) {
    const int64_t b = sizeValue(text);
    return kIndent + label + std::to_string(b) + "  (" + shortSize(b) + ")";
}

void writeBlock(Lines& out, Values& v, const ExportChoice& c, int64_t number) {
    char head[24];
    std::snprintf(head, sizeof head, "%6lld ", static_cast<long long>(number));
    // Like every line, the name's is left out where a result has no such column: a bare
    // number would say nothing.
    if (auto name = v.get("Name")) out(head + *name);
    if (c.number) {
        auto n = v.result() ? v.filled("DatentraegerNr") : v.get("DatentraegerNr");
        if (n) out(kIndent + "Datentraegernummer: " + *n);
    }
    if (c.count) {
        auto a = v.filled("Datentraeger_Anzahl");
        auto b = v.filled("von");
        if (a && b) out(kIndent + "Datentraeger " + *a + " von " + *b);
    }
    if (c.info) {
        if (auto x = v.filled("Laufwerk")) out(kIndent + "Laufwerk: " + *x);
        if (auto x = v.filled("Label")) out(kIndent + "Label: " + *x);
        if (auto x = v.filled("Serien_Nr")) out(kIndent + "Seriennummer: " + *x);
        if (auto x = v.filled("Gesamte_Groesse")) out(sizeLine("Gesamte Groesse: ", *x));
        if (auto x = v.filled("Freier_Speicher")) out(sizeLine("Freier Speicher: ", *x));
    }
    if (c.medium) {
        if (auto x = v.get("Datentraeger")) out(kIndent + "Datentraeger: " + *x);
    }
    if (c.date) {
        if (auto x = v.filled("Datum_Uhrzeit")) out(kIndent + "Datum/Uhrzeit: " + *x);
    }
    if (c.status) {
        if (auto x = v.filled("Status")) out(kIndent + "Status: " + *x);
    }
    if (c.category) {
        if (auto x = v.filled("Kategorie")) out(kIndent + "Kategorie: " + *x);
    }
    out(kIndent + std::string(71, '-'));
}

}  // namespace

void writeTextExport(engine::Cursor& rows, ExportSource source, const ExportChoice& choice,
                     const std::string& path, const ExportProgress& progress) {
    ExportFile file(path);
    Lines out(file);
    out("");
    out(std::string(26, ' ') + "Mavrel Export-Tool");
    out(std::string(33, ' ') + "Version 3.20");
    out(std::string(22, ' ') + kTextNotice + " ");
    out("");
    out("");
    if (progress.started) progress.started(rows.recordCount());
    Values values(rows, source);
    int64_t number = 0;
    for (rows.first(); !rows.eof(); rows.next()) {
        writeBlock(out, values, choice, ++number);
        if (progress.advanced) progress.advanced(number);
    }
    out("");
    out(std::string(18, ' ') + ">>>>>>>>>>>>>>  Datei Ende  <<<<<<<<<<<<<< ");
    file.commit();
}

}  // namespace mv32::exchange
