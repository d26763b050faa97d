#include "tools/mv32db/ImportCommand.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <ostream>
#include <vector>

#include "engine/EngineError.h"
#include "engine/PathNames.h"
#include "engine/Table.h"
#include "tools/mv32db/TableTool.h"

namespace mv32::tools {

using engine::EngineError;
using engine::ErrorKind;
using engine::FieldType;
using engine::Table;
using engine::Value;

namespace {

// A line is one record; even a record of large memos fits in this many bytes, and a file
// without line ends fails here instead of filling the memory.
constexpr size_t kMaxLine = size_t{256} << 20;

// An error of one line, before the message of its cause.
struct LineError {
    std::string where;
    std::string what;
};

// Reads the input in blocks and hands it out line by line.
class LineReader {
public:
    explicit LineReader(std::streambuf& in) : in_(in) {}

    // The next line without its LF and a CR before it; false at the end of the input.
    bool next(std::string& line, long lineNo) {
        line.clear();
        bool any = false;
        for (;;) {
            if (pos_ == end_) {
                pos_ = 0;
                end_ = static_cast<size_t>(in_.sgetn(buffer_, sizeof buffer_));
                if (end_ == 0) return any;  // a last line without LF keeps a CR
            }
            any = true;
            const char* start = buffer_ + pos_;
            const auto* lf = static_cast<const char*>(std::memchr(start, '\n', end_ - pos_));
            const size_t take = lf ? static_cast<size_t>(lf - start) : end_ - pos_;
            if (line.size() + take > kMaxLine) {
                throw LineError{"Zeile " + std::to_string(lineNo),
                                "Die Zeile ist länger als " + std::to_string(kMaxLine >> 20) +
                                    " MB; jede Zeile muss ein Datensatz sein."};
            }
            line.append(start, take);
            pos_ += take;
            if (lf) {
                ++pos_;
                break;
            }
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

private:
    std::streambuf& in_;
    char buffer_[65536];
    size_t pos_ = 0, end_ = 0;
};

// The columns of a line, as views into it.
void splitTabs(const std::string& line, std::vector<std::string_view>& cols) {
    cols.clear();
    std::string_view rest(line);
    for (;;) {
        size_t tab = rest.find('\t');
        cols.push_back(rest.substr(0, tab));
        if (tab == std::string_view::npos) return;
        rest.remove_prefix(tab + 1);
    }
}

std::string rows(long n) {
    return std::to_string(n) + (n == 1 ? " Datensatz" : " Datensätze");
}

}  // namespace

InputFile::InputFile(const std::string& path) : path_(path) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) engine::throwSystemError(errno, "Öffnen", path);
}

InputFile::~InputFile() {
    if (file_) std::fclose(file_);
}

InputFile::int_type InputFile::underflow() {
    size_t n = std::fread(buffer_, 1, sizeof buffer_, file_);
    if (n == 0) {
        if (std::ferror(file_)) engine::throwSystemError(errno ? errno : EIO, "Lesen", path_);
        return traits_type::eof();
    }
    setg(buffer_, buffer_, buffer_ + n);
    return traits_type::to_int_type(buffer_[0]);
}

int importRows(Table& t, bool skipExisting, std::streambuf& in, std::ostream& out,
               std::ostream& err) {
    t.open();
    reportNotices(t, err);
    std::vector<std::string> key = t.primaryKeyFields();
    if (skipExisting && key.empty()) {
        std::string name = t.filePath();
        t.close();
        throw EngineError(ErrorKind::Usage,
                          "--skip-existing braucht einen Primärindex, und die Tabelle " +
                              engine::quoted(engine::paths::fileNameOf(name)) +
                              " hat keinen: Ohne Schlüssel gilt keine Zeile als schon vorhanden.");
    }
    std::string keyList;
    std::vector<int> keyIdx;
    for (auto& k : key) {
        keyList += (keyList.empty() ? "" : ";") + k;
        keyIdx.push_back(t.field(k));
    }

    long lineNo = 0, added = 0, skipped = 0;
    std::string line;
    LineReader lines(in);
    std::vector<std::string_view> cols;
    std::vector<Value> values;
    // Where a line's failure lies, put together only when there is one.
    auto lineAt = [&] { return "Zeile " + std::to_string(lineNo); };
    auto columnAt = [&](size_t i) {
        return lineAt() + ", Spalte " + std::to_string(i + 1) + " (" +
               t.fieldDef(static_cast<int>(i)).name + ")";
    };
    auto storeLine = [&] {
        splitTabs(line, cols);
        if (static_cast<int>(cols.size()) != t.fieldCount()) {
            throw LineError{lineAt(), "Die Zeile hat " + std::to_string(cols.size()) +
                                          " Spalten, die Tabelle aber " +
                                          std::to_string(t.fieldCount()) + " Felder."};
        }
        values.resize(cols.size());
        for (size_t i = 0; i < cols.size(); ++i) {
            const auto& def = t.fieldDef(static_cast<int>(i));
            if (!parseField(cols[i], &values[i]))
                throw LineError{columnAt(i), "ungültige Maskierung."};
            // A text field would drop the character without a word; a memo keeps it.
            if (def.type == FieldType::Text && !values[i].isBlank() &&
                values[i].asText().find('\0') != std::string::npos) {
                throw LineError{columnAt(i),
                                "Ein Textfeld kann kein NUL-Zeichen (\\x00) enthalten."};
            }
        }
        if (skipExisting) {
            std::vector<Value> k;
            for (int i : keyIdx) k.push_back(values[static_cast<size_t>(i)]);
            if (t.locate(keyList, k)) {
                ++skipped;
                return;
            }
        }
        t.append();
        for (size_t i = 0; i < values.size(); ++i) {
            try {
                t.setValue(static_cast<int>(i), std::move(values[i]));
            } catch (const EngineError& e) {
                throw LineError{columnAt(i), e.what()};
            }
        }
        t.post();
        ++added;
    };

    std::optional<LineError> stopped;
    std::string finalError;
    t.beginBulk();
    try {
        for (;;) {
            const long current = lineNo + 1;
            try {
                if (!lines.next(line, current)) break;
                ++lineNo;
                if (!line.empty()) storeLine();
            } catch (const LineError&) {
                throw;
            } catch (const std::exception& e) {
                throw LineError{"Zeile " + std::to_string(current), e.what()};
            }
        }
    } catch (const LineError& e) {
        stopped = e;
    }
    // Whatever ended the import: the row begun is dropped, the rows stored stay.
    try {
        if (t.state() == engine::DataSetState::Insert) t.cancel();
        t.endBulk();
    } catch (const std::exception& e) {
        finalError = e.what();
    }
    try {
        t.close();
    } catch (const std::exception& e) {
        if (finalError.empty()) finalError = e.what();
    }
    if (stopped) {
        err << "mv32db: " << stopped->where << ": " << stopped->what << "\n"
            << "mv32db: Der Import wurde dort abgebrochen. Aus den Zeilen davor wurden "
            << rows(added) << " importiert und " << skipped
            << " übersprungen; ab dieser Zeile wurde nichts übernommen.\n";
        return 1;
    }
    if (!finalError.empty()) {
        err << "mv32db: Beim abschließenden Speichern: " << finalError << "\n"
            << "mv32db: Alle " << lineNo << " Zeilen waren gelesen; die " << rows(added)
            << " stehen im Protokoll der Tabelle und werden beim nächsten Öffnen übernommen.\n";
        return 1;
    }
    out << added << " Datensätze importiert, " << skipped << " übersprungen.\n";
    return 0;
}

}  // namespace mv32::tools
