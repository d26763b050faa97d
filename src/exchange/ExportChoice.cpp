#include "exchange/ExportChoice.h"

#include <charconv>

namespace mv32::exchange {

bool chooseFields(const std::vector<std::string>& names, bool html, ExportChoice* c,
                  std::string* bad) {
    const bool split = c->split;
    *c = ExportChoice{};
    c->split = split;
    c->medium = c->number = c->category = false;
    for (const auto& n : names) {
        if (n == "medium")
            c->medium = true;
        else if (n == "number")
            c->number = true;
        else if (n == "count")
            c->count = true;
        else if (n == "info")
            c->info = true;
        else if (n == "status")
            c->status = true;
        else if (n == "category")
            c->category = true;
        else if (n == "date")
            c->date = true;
        else if (n == "memo" && html)
            c->memo = true;
        else {
            if (bad) *bad = n;
            return false;
        }
    }
    return true;
}

int64_t sizeValue(const std::string& text) {
    int64_t v = 0;
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    const auto [p, ec] = std::from_chars(b, e, v);
    if (ec != std::errc() || p != e || b == e) return 0;
    return v;
}

std::string shortSize(int64_t bytes) {
    const size_t digits = std::to_string(bytes).size();
    if (digits <= 4) return std::to_string(bytes) + " Byte";
    if (digits <= 7) return std::to_string(bytes / 1024) + " KByte";
    return std::to_string(bytes / 1024 / 1024) + " MByte";
}

}  // namespace mv32::exchange
