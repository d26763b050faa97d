#include "engine/Cursor.h"

#include <charconv>

#include "engine/EngineError.h"

namespace mv32::engine {

int Cursor::field(std::string_view name) const {
    int i = fieldIndex(name);
    if (i < 0) {
        throw EngineError(ErrorKind::NotFound,
                          "Das Feld " + quoted(std::string(name)) + " wurde nicht gefunden.");
    }
    return i;
}

std::string Cursor::asString(std::string_view name) {
    return value(name).displayText();
}

int64_t Cursor::asInteger(std::string_view name) {
    Value v = value(name);
    if (v.isBlank()) return 0;
    if (v.isInt()) return v.asInt();
    const std::string& s = v.asText();
    int64_t n = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc() || p != s.data() + s.size()) {
        throw EngineError(ErrorKind::Usage, quoted(s) + " ist kein gültiger ganzzahliger Wert.");
    }
    return n;
}

bool Cursor::isBlank(std::string_view name) {
    return value(name).isBlank();
}

std::string Cursor::displayText(std::string_view name) {
    return displayText(field(name));
}

std::string Cursor::displayText(int i) {
    Value v = value(i);
    if (fieldDef(i).type == FieldType::Blob) return v.isBlank() ? std::string() : "(Blob)";
    return v.displayText();
}

}  // namespace mv32::engine
