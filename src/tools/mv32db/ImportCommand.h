// `mv32db import`: appends tab-separated lines to a table.
//
// The input is read as a stream, from a file, a pipe, a FIFO or standard input alike, so that
// neither its size nor its length matters. A line that cannot be stored stops the import: the
// row it began is dropped, the message names the line, and the rows before it stay stored and
// are counted, so that the person knows exactly where to go on.
#pragma once

#include <cstdio>
#include <iosfwd>
#include <memory>
#include <streambuf>
#include <string>

namespace mv32::engine {
class Table;
}

namespace mv32::tools {

// A file read in order through the C library, which reads pipes and FIFOs as well as files;
// a read error throws EngineError with the German reason instead of looking like the end.
class InputFile : public std::streambuf {
public:
    explicit InputFile(const std::string& path);
    ~InputFile() override;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

protected:
    int_type underflow() override;

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    char buffer_[1 << 16];
};

// Imports every line of `in` into the table (opened here, closed at the end). Returns the exit
// status: 0 when all lines were stored, 1 with the German message and the count on `err`.
int importRows(engine::Table& t, bool skipExisting, std::streambuf& in, std::ostream& out,
               std::ostream& err);

}  // namespace mv32::tools
