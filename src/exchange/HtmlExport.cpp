#include "exchange/HtmlExport.h"

#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "engine/EngineError.h"
#include "engine/FileSystem.h"
#include "engine/Text.h"
#include "exchange/ExportFile.h"
#include "platform/Paths.h"

namespace mv32::exchange {

namespace {

namespace text = engine::text;

const char* const kHead[] = {
    "<HTML>",
    "<HEAD>",
    "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=windows-1252\">",
    "<TITLE>Mavrel/32</TITLE>",
    "</HEAD>",
    "<BODY LINK=\"#0000ff\" VLINK=\"#800080\" BGCOLOR=\"#ffffff\">",
    "<FONT SIZE=7 COLOR=\"#0000ff\"><P ALIGN=\"CENTER\">Mavrel/32 Version 3.20</P>",
    "<B><I><P ALIGN=\"CENTER\">Liste der Programme und Datentr&auml;ger</P>",
    "</B></I></FONT><P ALIGN=\"CENTER\">HTML-Export</P>",
    "<FONT SIZE=4><P>&nbsp;</P>",
    "<P>&nbsp;</P></FONT>",
};
const char* const kFoot[] = {
    "<BR><BR><BR><CENTER>Erstellt mit Mavrel/32</CENTER>",
    "<P ALIGN=\"CENTER\"></P></BODY>",
    "</HTML>",
};
constexpr const char* kIndexTable =
    "<P ALIGN=\"CENTER\"><CENTER><TABLE CELLSPACING=0 BORDER=1 BORDERCOLOR=\"#ffffff\" "
    "CELLPADDING=4 WIDTH=584>";

void line(ExportFile& f, const std::string& l) {
    f.write(l);
    f.write("\r\n");
}

void head(ExportFile& f) {
    for (const char* l : kHead) line(f, l);
}

void foot(ExportFile& f) {
    for (const char* l : kFoot) line(f, l);
}

// The first character of a name with a to z in upper case.
std::string initialOf(const std::string& name) {
    if (name.empty()) return " ";
    std::string initial = name.substr(0, text::sequenceLength(name, 0));
    if (initial.size() == 1 && initial[0] >= 'a' && initial[0] <= 'z')
        initial[0] = static_cast<char>(initial[0] - 'a' + 'A');
    return initial;
}

// A link target: bytes outside the unreserved ones percent-encoded (names are UTF-8 on disk).
std::string href(const std::string& name) {
    std::string out;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out += ch;
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string tableRow(const std::string& label, int width, const std::string& value) {
    return "<TR><TD WIDTH=130 VALIGN=\"TOP\" BGCOLOR=SILVER><P><I>" + label + "</I></TD>\r\n" +
           "<TD WIDTH=" + std::to_string(width) + " VALIGN=\"TOP\" COLSPAN=1 BGCOLOR=GAINSBORO><P>" +
           htmlEscaped(value) + "</TD></TR>";
}

std::optional<std::string> filled(engine::Cursor& c, const char* field) {
    const int i = c.fieldIndex(field);
    if (i < 0) return std::nullopt;
    std::string v = c.displayText(i);
    if (v.empty()) return std::nullopt;
    return v;
}

std::string value(engine::Cursor& c, const char* field) {
    const int i = c.fieldIndex(field);
    return i < 0 ? std::string() : c.displayText(i);
}

void recordTable(ExportFile& f, engine::Cursor& c, const ExportChoice& ch) {
    line(f, "<P ALIGN=\"CENTER\"><CENTER><TABLE CELLSPACING=0 BORDER=1 BORDERCOLOR=\"#ffffff\" "
            "CELLPADDING=4 WIDTH=684>");
    line(f, "<TR><TD WIDTH=\"100%\" VALIGN=\"TOP\" COLSPAN=2 BGCOLOR=GAINSBORO >");
    line(f, "<P><B><I><FONT SIZE=4>" + htmlEscaped(value(c, "Name")) +
                "</B></I></FONT></TD></TR>");
    auto row = [&](const char* label, int width, const std::string& v) {
        line(f, tableRow(label, width, v));
    };
    if (ch.number) row("Datentr&auml;gernr.: ", 654, value(c, "DatentraegerNr"));
    if (ch.medium) row("Datentr&auml;ger.: ", 654, value(c, "Datentraeger"));
    if (ch.category)
        if (auto v = filled(c, "Kategorie")) row("Kategorie: ", 654, *v);
    if (ch.status)
        if (auto v = filled(c, "Status")) row("Status: ", 554, *v);
    if (ch.count) {
        auto a = filled(c, "Datentraeger_Anzahl");
        auto b = filled(c, "von");
        if (a && b && *a != "0" && *b != "0") {
            row("Datentr&auml;ger ", 554, *a);
            row("von ", 554, *b);
        }
    }
    if (ch.info) {
        // "Größe" as the two characters themselves, in windows-1252.
        if (auto v = filled(c, "Gesamte_Groesse"))
            row("gesamte Gr\xF6\xDF" "e: ", 554, shortSize(sizeValue(*v)));
        if (auto v = filled(c, "Freier_Speicher"))
            row("freier Speicher: ", 554, shortSize(sizeValue(*v)));
        if (auto v = filled(c, "Laufwerk")) row("Laufwerk: ", 554, *v);
        if (auto v = filled(c, "Label")) row("Label: ", 554, *v);
        if (auto v = filled(c, "Serien_Nr")) row("Seriennummer: ", 554, *v);
    }
    if (ch.date)
        if (auto v = filled(c, "Datum_Uhrzeit")) row("Datum/Uhrzeit: ", 554, *v);
    if (ch.memo)
        if (auto v = filled(c, "Memo")) row("Memo: ", 554, *v);
    line(f, "</TABLE>");
    line(f, "</CENTER></P>");
}

char32_t firstCodePoint(const std::string& s) {
    size_t len = 0;
    return s.empty() ? U' ' : text::decodeAt(s, 0, &len);
}

// "U" and the code point in at least four upper-case hexadecimal digits.
std::string codePointName(char32_t cp) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U%04X", static_cast<unsigned>(cp));
    return buf;
}

// The base name B of the chosen file and its folder P (with its separator).
std::pair<std::string, std::string> baseAndFolder(const std::string& path) {
    std::string name = platform::fileNameOf(path);
    const std::string upper = text::upper(name);
    if (upper.size() > 5 && upper.compare(upper.size() - 5, 5, ".HTML") == 0)
        name.resize(name.size() - 5);
    else if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.resize(dot);
    return {name, platform::folderOf(path)};
}

}  // namespace

std::string htmlEscaped(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t len = 0;
        const char32_t cp = text::decodeAt(s, i, &len);
        switch (cp) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (const int b = text::windows1252Byte(cp); b >= 0)
                    out += static_cast<char>(b);
                else
                    out += "&#" + std::to_string(static_cast<uint32_t>(cp)) + ";";
        }
        i += len ? len : 1;
    }
    return out;
}

std::string initialPageKey(const std::string& initial) {
    const char32_t cp = firstCodePoint(initial);
    const bool asciiPlain = (cp >= '0' && cp <= '9') || (cp >= 'A' && cp <= 'Z') ||
                            (cp >= 'a' && cp <= 'z');
    const bool letter = text::toUpper(cp) != cp || text::toLower(cp) != cp;
    if (asciiPlain || letter) return initial;
    return codePointName(cp);
}

std::vector<std::string> pageNames(const std::vector<std::string>& initials) {
    // A page's name as a medium that ignores case sees it: a letter and its other case are one.
    std::set<char32_t> taken;
    std::vector<std::string> names;
    names.reserve(initials.size());
    for (const auto& initial : initials) {
        std::string key = initialPageKey(initial);
        const char32_t cp = firstCodePoint(initial);
        if (key == initial && !taken.insert(text::toUpper(cp)).second) key = codePointName(cp);
        names.push_back(std::move(key));
    }
    return names;
}

void writeHtmlExport(engine::Cursor& rows, const ExportChoice& choice, const std::string& path,
                     const ExportProgress& progress) {
    const auto [base, folder] = baseAndFolder(path);
    if (progress.started) progress.started(rows.recordCount());
    int64_t done = 0;
    if (!choice.split) {
        ExportFile page(path);
        head(page);
        for (rows.first(); !rows.eof(); rows.next()) {
            recordTable(page, rows, choice);
            if (progress.advanced) progress.advanced(++done);
        }
        foot(page);
        page.commit();
        return;
    }
    // First the initials, in the order they first appear, each with the runs of records that
    // have it; then one page after the other, each written whole from its runs, so that only
    // one page is open and every page is one replacing write.
    struct Run {
        int64_t first, count;
    };
    std::map<std::string, std::vector<Run>> runs;
    std::vector<std::string> order;
    int64_t position = 0;
    for (rows.first(); !rows.eof(); rows.next()) {
        ++position;
        const std::string initial = initialOf(value(rows, "Name"));
        auto& mine = runs[initial];
        if (mine.empty()) order.push_back(initial);
        if (!mine.empty() && mine.back().first + mine.back().count == position)
            ++mine.back().count;
        else
            mine.push_back({position, 1});
    }
    const std::vector<std::string> names = pageNames(order);
    // The folder is read once for the leftovers of every page, not once per page.
    std::vector<std::string> inFolder;
    try {
        inFolder = engine::FileSystem::real()->list(folder.empty() ? std::string(".") : folder);
    } catch (const engine::EngineError&) {  // the first page says why it cannot be made
    }
    for (size_t i = 0; i < order.size(); ++i) {
        ExportFile page(folder + base + "_" + names[i] + ".HTML", &inFolder);
        head(page);
        for (const Run& run : runs[order[i]]) {
            rows.moveTo(run.first);
            for (int64_t k = 0; k < run.count && !rows.eof(); ++k, rows.next()) {
                recordTable(page, rows, choice);
                if (progress.advanced) progress.advanced(++done);
            }
        }
        foot(page);
        page.commit();
    }
    ExportFile index(path);
    head(index);
    line(index, kIndexTable);
    int cells = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (cells == 0) line(index, "<TR>");
        const std::string page = base + "_" + names[i] + ".HTML";
        line(index, "<TD WIDTH=\"10%\" VALIGN=\"TOP\" BGCOLOR=GAINSBORO><P><CENTER><A HREF=\"" +
                        href(page) + "\">" + htmlEscaped(order[i]) + "</A></CENTER></TD>");
        if (++cells == 10) {
            line(index, "</TR>");
            cells = 0;
        }
    }
    line(index, "</TABLE>");
    line(index, "</CENTER></P>");
    foot(index);
    index.commit();
}

}  // namespace mv32::exchange
