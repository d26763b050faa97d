// Reads the records of a legacy catalog file from its bytes (layout in MvFormat.h).
//
// The whole file is held in memory; next() decodes one record at a time. A record cut off by the
// end of the file throws MvDamaged; the records before it have been handed out already.
#pragma once

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

private:
    unsigned char byte();
    std::string fixedText(size_t n);
    std::string shortString();

    std::string_view bytes_;
    size_t pos_ = mv::kHeaderSize;
};

// "   12" → 12: the number in a text after leading blanks; 0 when there is none or when it does
// not fit a 16-bit field.
int parseSmallNumber(std::string_view text);

}  // namespace mv32::exchange
