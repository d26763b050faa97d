// Tokens of the local SQL dialect.
//
// Words are identifiers or keywords (the parser decides, without regard to case). The table
// name after FROM is taken as written up to the next blank, so that file names such as
// 2024.db or cd-sammlung.db need no quotes; string
// literals stand in single or double quotes, a doubled quote inside standing for one; numbers
// are decimal integers. Every token keeps its position (0-based byte offset) for messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mv32::engine::sql {

enum class Tok { End, Word, String, Number, Symbol };

struct Token {
    Tok kind = Tok::End;
    std::string text;  // word as written, string without quotes, number digits, symbol
    size_t pos = 0;
    size_t end = 0;     // offset just past the token in the statement
    bool name = false;  // the table name after FROM, taken as written up to the next blank
};

// Splits the statement; throws a syntax error for an unterminated string or a stray character.
std::vector<Token> tokenize(std::string_view sqlText);

// Throws EngineError(Syntax) with the position (counted in characters from 1) and the token.
[[noreturn]] void syntaxError(std::string_view sqlText, const Token& at, const std::string& what);

}  // namespace mv32::engine::sql
