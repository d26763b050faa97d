// The one exception type of the table engine.
//
// Every failing engine operation throws an EngineError whose message is a German sentence that
// names the table or file and the cause, ready to be shown to the person using the program. The
// kind lets callers react to particular failures (a key violation, a table in use) without
// parsing the text.
#pragma once

#include <stdexcept>
#include <string>

namespace mv32::engine {

enum class ErrorKind {
    Usage,         // the caller asked for something the table cannot do in its state
    NotFound,      // table, field or index does not exist
    Exists,        // an index or table of that name already exists
    KeyViolation,  // a primary or unique key would occur twice
    Locked,        // the table is in use by another handle or process
    Corrupt,       // a file does not hold what it must (checksum, structure, truncation)
    Io,            // the operating system reported a read or write failure
    DiskFull,      // no space left on the medium
    ReadOnly,      // the file or its medium cannot be written (a CD, a read-only mount, rights)
    Failed,        // the handle is unusable after a failed write; it must be reopened
    Range,         // a value does not fit its field
    Syntax,        // an SQL statement is not valid in the dialect or names unknown things
    Changed,       // the record being edited was changed or deleted by another handle since
                   // its edit began; the edit is not written and stays pending
};

class EngineError : public std::runtime_error {
public:
    // `reason` is the cause alone ("Der Datenträger ist voll"), where the operating system gave
    // one, for messages that put it into a sentence of their own.
    EngineError(ErrorKind kind, const std::string& message, std::string reason = {})
        : std::runtime_error(message), kind_(kind), reason_(std::move(reason)) {}
    ErrorKind kind() const { return kind_; }
    const std::string& reason() const { return reason_; }

private:
    ErrorKind kind_;
    std::string reason_;
};

// Quotes a table or file name for messages: »name«.
std::string quoted(const std::string& name);

}  // namespace mv32::engine
