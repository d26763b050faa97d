// Reads the records of a legacy catalog file from its bytes (layout in MvFormat.h).
//
// The whole file is held in memory; next() decodes one record at a time. A record cut off by the
// end of the file throws MvDamaged; the records before it have been handed out already.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "exchange/MvFormat.h"

namespace mv32::exchange {

class MvDamaged : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class MvParser {
public:
    // `bytes` must outlive the parser and hold at least the header (checked: MvDamaged).
    explicit MvParser(std::string_view bytes);

    int mark() const { return static_cast<unsigned char>(bytes_[mv::kMarkOffset]); }
    // The header's record count (five digit bytes; a byte above 9 counts as its value).
    int64_t headerCount() const;

    // Decodes the next record in the layout of the mark; false at the end of the file.
    bool next(mv::Record& out);
    // How many numbers read so far did not fit their field.
    int64_t unfitting() const { return unfitting_; }

private:
    unsigned char byte();
    std::string fixedText(size_t n);
    std::string shortString();
    std::optional<int> number(std::string_view text);

    std::string_view bytes_;
    size_t pos_ = mv::kHeaderSize;
    int64_t unfitting_ = 0;
};

// "   12" → 12: the number in a text after leading blanks; 0 when the text is empty or no
// number; empty when it is a number beyond a 16-bit field ("40000").
std::optional<int> parseSmallNumber(std::string_view text);

}  // namespace mv32::exchange
