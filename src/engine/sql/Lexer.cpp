#include "engine/sql/Lexer.h"

#include "engine/EngineError.h"
#include "engine/Text.h"

namespace mv32::engine::sql {

namespace {

bool wordStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}
bool wordChar(unsigned char c) {
    return wordStart(c) || (c >= '0' && c <= '9') || c == '$';
}
bool digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

void syntaxError(std::string_view sqlText, const Token& at, const std::string& what) {
    size_t column = text::length(sqlText.substr(0, std::min(at.pos, sqlText.size()))) + 1;
    std::string near = at.kind == Tok::End
                           ? std::string("dem Ende der Anweisung")
                           : quoted(std::string(sqlText.substr(at.pos, at.end - at.pos)));
    throw EngineError(ErrorKind::Syntax, "Syntaxfehler in der SQL-Anweisung an Position " +
                                             std::to_string(column) + " bei " + near + ": " + what);
}

std::vector<Token> tokenize(std::string_view s) {
    std::vector<Token> out;
    size_t i = 0;
    int depth = 0;  // of parentheses: FROM inside them belongs to SUBSTRING or TRIM
    while (true) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
        Token t;
        t.pos = i;
        if (i == s.size()) {
            t.end = i;
            out.push_back(std::move(t));
            return out;
        }
        char c = s[i];
        bool afterFrom = depth == 0 && !out.empty() && out.back().kind == Tok::Word &&
                         out.back().text.size() == 4 && (out.back().text[0] | 0x20) == 'f' &&
                         (out.back().text[1] | 0x20) == 'r' && (out.back().text[2] | 0x20) == 'o' &&
                         (out.back().text[3] | 0x20) == 'm';
        if (afterFrom && c != '\'' && c != '"' && c != '(') {
            size_t j = i;
            while (j < s.size() && s[j] != ' ' && s[j] != '\t' && s[j] != '\r' && s[j] != '\n' &&
                   s[j] != ';' && s[j] != ')') {
                ++j;
            }
            t.kind = Tok::Word;
            t.name = true;
            t.text.assign(s.substr(i, j - i));
            t.end = j;
        } else if (c == '\'' || c == '"') {
            t.kind = Tok::String;
            size_t j = i + 1;
            bool closed = false;
            while (j < s.size()) {
                if (s[j] == c) {
                    if (j + 1 < s.size() && s[j + 1] == c) {
                        t.text += c;
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                t.text += s[j++];
            }
            t.end = j;
            if (!closed) syntaxError(s, t, "Der Text hat kein schließendes Anführungszeichen.");
        } else if (digit(c)) {
            t.kind = Tok::Number;
            size_t j = i;
            while (j < s.size() && digit(s[j])) ++j;
            t.text.assign(s.substr(i, j - i));
            t.end = j;
            if (j < s.size() && (wordChar(static_cast<unsigned char>(s[j])) || s[j] == '.')) {
                t.end = j + 1;
                syntaxError(s, t, "Nur ganze Zahlen sind erlaubt.");
            }
        } else if (wordStart(static_cast<unsigned char>(c))) {
            t.kind = Tok::Word;
            size_t j = i;
            while (j < s.size() && wordChar(static_cast<unsigned char>(s[j]))) ++j;
            t.text.assign(s.substr(i, j - i));
            t.end = j;
        } else {
            t.kind = Tok::Symbol;
            std::string_view two = s.substr(i, 2);
            if (two == "<>" || two == "!=" || two == "<=" || two == ">=" || two == "||") {
                t.text = {two[0], two[1]};
            } else if (std::string_view("(),*=<>.;+-/").find(c) != std::string_view::npos) {
                t.text.assign(1, c);
            } else {
                t.end = i + text::sequenceLength(s, i);
                syntaxError(s, t, "Dieses Zeichen ist hier nicht erlaubt.");
            }
            t.end = i + t.text.size();
            if (t.text == "(") ++depth;
            if (t.text == ")") --depth;
        }
        i = t.end;
        out.push_back(std::move(t));
    }
}

}  // namespace mv32::engine::sql
