// A dBase IV table (.DBF): written by the dBase export, readable for checks and the table tool.
//
// The file is what dBase IV and the programs that read its tables expect: a 32-byte header
// (version 3, date of the last update, record count, header and record length, language byte
// 0x57 for windows-1252), one 32-byte descriptor per column, the terminator 0x0D, fixed-length
// records that start with their deletion flag (blank, or "*" when deleted) and the end-of-file
// mark 0x1A. Text is windows-1252, cut to the column width and padded with blanks.
//
// Column types: C (character, width 1..254), N (numeric, width 1..20, decimals), D (date,
// YYYYMMDD), L (logical, T/F). Through the Cursor interface a C, D or L column is a text field
// and an N column without decimals an integer field (with decimals: a text of the number).
// Deleted records are skipped when reading.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Cursor.h"
#include "engine/EngineError.h"
#include "engine/FileSystem.h"

namespace mv32::engine {

struct DbfField {
    std::string name;  // at most 10 characters (ASCII)
    char type = 'C';
    int width = 10;
    int decimals = 0;
};

class DbfTable : public Cursor {
public:
    explicit DbfTable(std::shared_ptr<FileSystem> fs = FileSystem::real());
    ~DbfTable() override;
    DbfTable(const DbfTable&) = delete;
    DbfTable& operator=(const DbfTable&) = delete;

    void setPath(std::string path);
    const std::string& path() const { return path_; }
    void setFields(std::vector<DbfField> fields);
    const std::vector<DbfField>& fields() const { return fields_; }
    // The date written into the header (default: today); for tests.
    void setUpdateDate(int year, int month, int day);

    // Writes an empty table (an existing file of that name is replaced) and opens it.
    void createTable();
    // Writes an empty table into `file`, a file the caller made for it (the temporary file of a
    // replacing write), and opens it; path() only names it in messages.
    void createTable(std::unique_ptr<File> file);
    // Opens an existing table for reading and appending.
    void open();
    // Writes the header with the record count and the end-of-file mark, and closes.
    void close();
    bool active() const override { return file_ != nullptr; }

    // --- Cursor
    void first() override;
    void last() override;
    void next() override;
    void prior() override;
    bool eof() const override { return eof_; }
    bool bof() const override { return bof_; }
    int64_t recordCount() override;
    int64_t recNo() override;
    void moveTo(int64_t n) override;
    int fieldCount() const override { return static_cast<int>(fields_.size()); }
    const FieldDef& fieldDef(int i) const override;
    int fieldIndex(std::string_view name) const override;
    using Cursor::value;
    Value value(int i) override;

    // --- Appending: append(), setValue()/setAsString(), post(); cancel() drops the record.
    void append();
    void setValue(int i, const Value& v);
    void setValue(std::string_view name, const Value& v) { setValue(field(name), v); }
    void setAsString(std::string_view name, const std::string& s) { setValue(name, Value(s)); }
    void post();
    void cancel();
    bool editing() const { return appending_; }

private:
    void requireActive() const;
    void checkFields() const;
    void writeHeader();
    void createIn(std::unique_ptr<File> file);
    void go(int64_t n);
    void readRecord(uint32_t physical);
    std::string encodeField(const DbfField& f, const Value& v) const;
    [[noreturn]] void fail(ErrorKind kind, const std::string& what) const;

    std::shared_ptr<FileSystem> fs_;
    std::string path_;
    std::vector<DbfField> fields_;
    std::vector<FieldDef> defs_;
    std::vector<uint32_t> offsets_;  // of each field inside a record
    std::unique_ptr<File> file_;
    uint32_t headerLength_ = 0;
    uint32_t recordLength_ = 0;
    uint32_t physicalCount_ = 0;  // records in the file, deleted ones included
    std::vector<uint32_t> live_;  // physical numbers of the records not deleted
    bool dirty_ = false;
    int year_ = 0, month_ = 0, day_ = 0;

    int64_t row_ = -1;
    bool bof_ = true, eof_ = true;
    std::string record_;  // the current record's bytes
    bool appending_ = false;
    std::string pending_;
};

}  // namespace mv32::engine
