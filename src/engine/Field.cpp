#include "engine/Field.h"

#include "engine/EngineError.h"

namespace mv32::engine {

std::string quoted(const std::string& name) {
    return "»" + name + "«";
}

bool isTextual(FieldType t) {
    return t == FieldType::Text || t == FieldType::Memo;
}

bool isInteger(FieldType t) {
    return t == FieldType::Int16 || t == FieldType::Int32 || t == FieldType::Int64;
}

bool isLarge(FieldType t) {
    return t == FieldType::Memo || t == FieldType::Blob;
}

const char* typeName(FieldType t) {
    switch (t) {
        case FieldType::Text:
            return "Text";
        case FieldType::Int16:
            return "Ganzzahl16";
        case FieldType::Int32:
            return "Ganzzahl32";
        case FieldType::Int64:
            return "Ganzzahl64";
        case FieldType::Memo:
            return "Memo";
        case FieldType::Blob:
            return "Blob";
    }
    return "?";
}

std::string Value::displayText() const {
    if (isInt()) return std::to_string(asInt());
    if (isText()) return asText();
    return {};
}

}  // namespace mv32::engine
