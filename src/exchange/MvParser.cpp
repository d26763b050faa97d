#include "exchange/MvParser.h"

#include <algorithm>

#include "engine/Text.h"

namespace mv32::exchange {

namespace {

[[noreturn]] void cutOff() {
    throw MvDamaged("Lesen nach Dateiende (EOF)");
}

}  // namespace

std::optional<int> parseSmallNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size()) return 0;
    long value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return 0;
        // Past the range the value stays just above it: the digits still decide whether the
        // text is a number at all.
        value = std::min(value * 10 + (c - '0'), 32769L);
    }
    if (negative) value = -value;
    if (value < -32768 || value > 32767) return std::nullopt;
    return static_cast<int>(value);
}

std::optional<int> MvParser::number(std::string_view text) {
    std::optional<int> n = parseSmallNumber(text);
    if (!n) ++unfitting_;
    return n;
}

MvParser::MvParser(std::string_view bytes) : bytes_(bytes) {
    if (bytes_.size() < mv::kHeaderSize) cutOff();
}

int64_t MvParser::headerCount() const {
    int64_t n = 0;
    for (size_t i = 0; i < mv::kCountDigits; ++i)
        n = n * 10 + static_cast<unsigned char>(bytes_[mv::kCountOffset + i]);
    return n;
}

unsigned char MvParser::byte() {
    if (pos_ >= bytes_.size()) cutOff();
    return static_cast<unsigned char>(bytes_[pos_++]);
}

std::string MvParser::fixedText(size_t n) {
    if (bytes_.size() - pos_ < n) cutOff();
    std::string text = engine::text::fromWindows1252(bytes_.substr(pos_, n));
    pos_ += n;
    return text;
}

std::string MvParser::shortString() {
    return fixedText(byte());
}

bool MvParser::next(mv::Record& r) {
    if (pos_ >= bytes_.size()) return false;
    r = mv::Record{};
    r.name = shortString();
    if (mark() == mv::kShortLayout) {
        r.mediumText = fixedText(mv::kShortMediumBytes);
        r.mediumNumber = number(fixedText(mv::kNumberBytes));
        r.memo = shortString();
        return true;
    }
    r.mediumCode = byte();
    r.mediumNumber = number(fixedText(mv::kNumberBytes));
    r.memo = shortString();
    r.count = number(shortString());
    r.of = number(shortString());
    r.serial = shortString();
    r.label = shortString();
    r.totalSize = shortString();
    r.freeSpace = shortString();
    r.category = shortString();
    unsigned char drive = byte();
    if (drive != 0)
        r.drive = engine::text::fromWindows1252(std::string(1, static_cast<char>(drive)));
    r.status = shortString();
    r.dateTime = shortString();
    return true;
}

}  // namespace mv32::exchange
