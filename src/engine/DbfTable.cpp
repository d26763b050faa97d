#include "engine/DbfTable.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "engine/EngineError.h"
#include "engine/Text.h"

namespace mv32::engine {

namespace {

constexpr uint8_t kVersion = 0x03;     // dBase III/IV table without memo file
constexpr uint8_t kLanguage = 0x57;    // windows-1252 (ANSI)
constexpr uint32_t kMaxRecord = 4000;  // dBase IV's limit for one record
constexpr char kTerminator = 0x0D;
constexpr char kEndOfFile = 0x1A;

void put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}
uint32_t get16(const unsigned char* p) {
    return p[0] | (uint32_t{p[1]} << 8);
}
uint32_t get32(const unsigned char* p) {
    return get16(p) | (get16(p + 2) << 16);
}

std::string trimBlanks(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\0')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\0')) --e;
    return std::string(s.substr(b, e - b));
}

bool digitsOnly(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

DbfTable::DbfTable(std::shared_ptr<FileSystem> fs) : fs_(std::move(fs)) {}

DbfTable::~DbfTable() {
    try {
        close();
    } catch (const EngineError&) {
        // A failure while closing in a destructor has nobody to tell; close() reports it when
        // it is called.
    }
}

void DbfTable::fail(ErrorKind kind, const std::string& what) const {
    throw EngineError(kind, "dBase-Tabelle " + quoted(path_) + ": " + what);
}

void DbfTable::setPath(std::string path) {
    close();
    path_ = std::move(path);
}

void DbfTable::setFields(std::vector<DbfField> fields) {
    close();
    fields_ = std::move(fields);
}

void DbfTable::setUpdateDate(int year, int month, int day) {
    year_ = year, month_ = month, day_ = day;
}

void DbfTable::checkFields() const {
    if (fields_.empty() || fields_.size() > 255) {
        fail(ErrorKind::Usage, "Eine dBase-Tabelle braucht 1 bis 255 Felder.");
    }
    uint32_t length = 1;
    for (size_t i = 0; i < fields_.size(); ++i) {
        const DbfField& f = fields_[i];
        bool nameOk = !f.name.empty() && f.name.size() <= 10;
        for (size_t k = 0; k < f.name.size() && nameOk; ++k) {
            char c = f.name[k];
            bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            nameOk = letter || (k > 0 && ((c >= '0' && c <= '9') || c == '_'));
        }
        if (!nameOk) {
            fail(ErrorKind::Usage, "Der Feldname " + quoted(f.name) +
                                       " ist in dBase nicht erlaubt (höchstens 10 Buchstaben, "
                                       "Ziffern oder _, zuerst ein Buchstabe).");
        }
        for (size_t j = 0; j < i; ++j) {
            if (text::upper(fields_[j].name) == text::upper(f.name)) {
                fail(ErrorKind::Usage, "Das Feld " + quoted(f.name) + " kommt zweimal vor.");
            }
        }
        bool widthOk = false;
        switch (f.type) {
            case 'C':
                widthOk = f.width >= 1 && f.width <= 254 && f.decimals == 0;
                break;
            case 'N':
                widthOk = f.width >= 1 && f.width <= 20 && f.decimals >= 0 &&
                          (f.decimals == 0 || f.decimals <= f.width - 2);
                break;
            case 'D':
                widthOk = f.width == 8 && f.decimals == 0;
                break;
            case 'L':
                widthOk = f.width == 1 && f.decimals == 0;
                break;
            default:
                fail(ErrorKind::Usage, "Das Feld " + quoted(f.name) + " hat den unbekannten Typ " +
                                           quoted(std::string(1, f.type)) + ".");
        }
        if (!widthOk) {
            fail(ErrorKind::Usage, "Das Feld " + quoted(f.name) + " hat eine ungültige Breite.");
        }
        length += static_cast<uint32_t>(f.width);
    }
    if (length > kMaxRecord) {
        fail(ErrorKind::Usage, "Ein Datensatz wäre " + std::to_string(length) +
                                   " Zeichen lang; dBase IV erlaubt höchstens 4000.");
    }
}

void DbfTable::createTable() {
    close();
    checkFields();
    fs_->remove(path_);
    createIn(fs_->open(path_, true));
}

void DbfTable::createTable(std::unique_ptr<File> file) {
    close();
    checkFields();
    createIn(std::move(file));
}

void DbfTable::createIn(std::unique_ptr<File> file) {
    file_ = std::move(file);
    file_->truncate(0);
    defs_.clear();
    offsets_.clear();
    uint32_t off = 1;
    for (auto& f : fields_) {
        for (auto& c : f.name) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        }
        offsets_.push_back(off);
        off += static_cast<uint32_t>(f.width);
    }
    recordLength_ = off;
    headerLength_ = static_cast<uint32_t>(32 + 32 * fields_.size() + 1);
    physicalCount_ = 0;
    live_.clear();
    for (const auto& f : fields_) {
        FieldDef d{f.name, FieldType::Text, f.width};
        if (f.type == 'N' && f.decimals == 0) d = {f.name, FieldType::Int64, 0};
        defs_.push_back(d);
    }
    dirty_ = true;
    writeHeader();
    row_ = -1;
    bof_ = eof_ = true;
}

void DbfTable::writeHeader() {
    std::string h(headerLength_, '\0');
    auto* p = reinterpret_cast<unsigned char*>(h.data());
    int y = year_, m = month_, d = day_;
    if (!y) {
        std::time_t now = std::time(nullptr);
        std::tm tm{};
#ifdef _WIN32
        localtime_s(&tm, &now);
#else
        localtime_r(&now, &tm);
#endif
        y = tm.tm_year + 1900, m = tm.tm_mon + 1, d = tm.tm_mday;
    }
    p[0] = kVersion;
    p[1] = static_cast<unsigned char>(y - 1900);
    p[2] = static_cast<unsigned char>(m);
    p[3] = static_cast<unsigned char>(d);
    put32(p + 4, physicalCount_);
    put16(p + 8, headerLength_);
    put16(p + 10, recordLength_);
    p[29] = kLanguage;
    for (size_t i = 0; i < fields_.size(); ++i) {
        unsigned char* fd = p + 32 + 32 * i;
        std::memcpy(fd, fields_[i].name.data(), fields_[i].name.size());
        fd[11] = static_cast<unsigned char>(fields_[i].type);
        fd[16] = static_cast<unsigned char>(fields_[i].width);
        fd[17] = static_cast<unsigned char>(fields_[i].decimals);
    }
    h[headerLength_ - 1] = kTerminator;
    file_->write(0, h.data(), h.size());
    char eofMark = kEndOfFile;
    uint64_t end = headerLength_ + uint64_t{physicalCount_} * recordLength_;
    file_->write(end, &eofMark, 1);
    file_->truncate(end + 1);
}

void DbfTable::open() {
    close();
    if (!fs_->exists(path_)) fail(ErrorKind::NotFound, "Die Datei existiert nicht.");
    try {
        file_ = fs_->open(path_, false);
    } catch (const EngineError& e) {
        // A table on a CD is read all the same; writing to it fails with its reason.
        if (e.kind() != ErrorKind::ReadOnly) throw;
        file_ = fs_->openReadOnly(path_);
    }
    try {
        unsigned char h[32];
        uint64_t size = file_->size();
        if (file_->read(0, h, 32) != 32)
            fail(ErrorKind::Corrupt, "Der Dateikopf ist unvollständig.");
        if ((h[0] & 0x07) != 0x03 && (h[0] & 0x07) != 0x04) {
            fail(ErrorKind::Corrupt, "Die Datei ist keine dBase-Tabelle.");
        }
        headerLength_ = get16(h + 8);
        recordLength_ = get16(h + 10);
        uint32_t count = get32(h + 4);
        if (headerLength_ < 33 || headerLength_ > size || recordLength_ < 1) {
            fail(ErrorKind::Corrupt, "Der Dateikopf ist beschädigt.");
        }
        std::string desc(headerLength_ - 32, '\0');
        file_->read(32, desc.data(), desc.size());
        fields_.clear();
        defs_.clear();
        offsets_.clear();
        uint32_t off = 1;
        for (size_t i = 0; i + 32 <= desc.size() && desc[i] != kTerminator; i += 32) {
            const auto* fd = reinterpret_cast<const unsigned char*>(desc.data() + i);
            DbfField f;
            f.name.assign(reinterpret_cast<const char*>(fd),
                          strnlen(reinterpret_cast<const char*>(fd), 11));
            f.type = static_cast<char>(fd[11]);
            f.width = fd[16];
            f.decimals = fd[17];
            if (f.type == 'C')
                f.width += 256 * f.decimals, f.decimals = 0;  // long character fields
            offsets_.push_back(off);
            off += static_cast<uint32_t>(f.width);
            FieldDef d{text::fromWindows1252(f.name), FieldType::Text, std::max(1, f.width)};
            if ((f.type == 'N' || f.type == 'F') && f.decimals == 0)
                d = {d.name, FieldType::Int64, 0};
            if (f.type == 'M') d = {d.name, FieldType::Text, f.width};
            defs_.push_back(d);
            fields_.push_back(f);
        }
        if (fields_.empty() || off != recordLength_) {
            fail(ErrorKind::Corrupt, "Die Feldbeschreibungen passen nicht zur Datensatzlänge.");
        }
        uint64_t fit = (size - headerLength_) / recordLength_;
        if (fit < count) {
            fail(ErrorKind::Corrupt, "Die Datei ist verkürzt: Ihr Kopf nennt " +
                                         std::to_string(count) +
                                         " Datensätze, vollständig "
                                         "vorhanden sind nur " +
                                         std::to_string(fit) + ".");
        }
        physicalCount_ = count;
        // Only the records not marked deleted are read.
        live_.clear();
        live_.reserve(physicalCount_);
        const uint32_t chunk = std::max<uint32_t>(1, (1u << 20) / recordLength_);
        std::string buf;
        for (uint32_t n = 0; n < physicalCount_; n += chunk) {
            uint32_t k = std::min(chunk, physicalCount_ - n);
            buf.resize(size_t{k} * recordLength_);
            file_->read(headerLength_ + uint64_t{n} * recordLength_, buf.data(), buf.size());
            for (uint32_t j = 0; j < k; ++j) {
                if (buf[size_t{j} * recordLength_] != '*') live_.push_back(n + j);
            }
        }
    } catch (...) {
        file_.reset();
        throw;
    }
    dirty_ = false;
    row_ = -1;
    first();
}

void DbfTable::close() {
    if (!file_) return;
    appending_ = false;
    if (dirty_) {
        dirty_ = false;
        writeHeader();
        file_->sync();
    }
    file_.reset();
    row_ = -1;
    bof_ = eof_ = true;
}

void DbfTable::requireActive() const {
    if (!file_)
        throw EngineError(ErrorKind::Usage,
                          "Die dBase-Tabelle " + quoted(path_) + " ist nicht geöffnet.");
}

void DbfTable::readRecord(uint32_t physical) {
    record_.assign(recordLength_, ' ');
    file_->read(headerLength_ + uint64_t{physical} * recordLength_, record_.data(), recordLength_);
}

void DbfTable::go(int64_t n) {
    requireActive();
    if (appending_) post();
    auto count = static_cast<int64_t>(live_.size());
    if (count == 0) {
        row_ = -1;
        bof_ = eof_ = true;
        return;
    }
    row_ = std::clamp<int64_t>(n, 0, count - 1);
    readRecord(live_[static_cast<size_t>(row_)]);
}

void DbfTable::first() {
    go(0);
    bof_ = true;
    eof_ = row_ < 0;
}

void DbfTable::last() {
    go(INT64_MAX);
    eof_ = true;
    bof_ = row_ < 0;
}

void DbfTable::next() {
    int64_t was = row_;
    go(row_ + 1);
    bof_ = row_ < 0;
    eof_ = row_ < 0 || row_ == was;
}

void DbfTable::prior() {
    int64_t was = row_;
    go(row_ < 0 ? 0 : row_ - 1);
    eof_ = row_ < 0;
    bof_ = row_ < 0 || row_ == was || was < 0;
}

int64_t DbfTable::recordCount() {
    requireActive();
    return static_cast<int64_t>(live_.size());
}

int64_t DbfTable::recNo() {
    return row_ + 1;
}

void DbfTable::moveTo(int64_t n) {
    go(n - 1);
    bof_ = row_ <= 0;
    eof_ = row_ < 0;
}

const FieldDef& DbfTable::fieldDef(int i) const {
    if (i < 0 || static_cast<size_t>(i) >= defs_.size()) {
        throw EngineError(ErrorKind::NotFound,
                          "Feld Nummer " + std::to_string(i) + " existiert nicht.");
    }
    return defs_[static_cast<size_t>(i)];
}

int DbfTable::fieldIndex(std::string_view name) const {
    std::string want = text::upper(name);
    for (size_t i = 0; i < defs_.size(); ++i) {
        if (text::upper(defs_[i].name) == want) return static_cast<int>(i);
    }
    return -1;
}

Value DbfTable::value(int i) {
    const FieldDef& d = fieldDef(i);
    const std::string& rec = appending_ ? pending_ : record_;
    if (!appending_ && row_ < 0) return Value();
    const DbfField& f = fields_[static_cast<size_t>(i)];
    std::string raw = trimBlanks(std::string_view(rec).substr(offsets_[static_cast<size_t>(i)],
                                                              static_cast<size_t>(f.width)));
    if (raw.empty()) return Value();
    if (d.type == FieldType::Int64) {
        int64_t n = 0;
        std::string_view s = raw;
        if (!s.empty() && s.front() == '+') s.remove_prefix(1);
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
        if (ec != std::errc() || p != s.data() + s.size()) return Value(raw);
        return Value(n);
    }
    if (f.type == 'L') {
        char c = raw[0];
        if (c == 'T' || c == 't' || c == 'Y' || c == 'y') return Value("T");
        if (c == 'F' || c == 'f' || c == 'N' || c == 'n') return Value("F");
        return Value();
    }
    return Value(text::fromWindows1252(raw));
}

std::string DbfTable::encodeField(const DbfField& f, const Value& v) const {
    auto width = static_cast<size_t>(f.width);
    if (v.isBlank()) return std::string(width, f.type == 'L' && width == 1 ? '?' : ' ');
    std::string s = v.isInt() ? std::to_string(v.asInt()) : v.asText();
    auto bad = [&](const std::string& why) -> std::string {
        throw EngineError(ErrorKind::Range, "dBase-Tabelle " + quoted(path_) + ": " + quoted(s) +
                                                " passt nicht in das Feld " + quoted(f.name) +
                                                ": " + why);
    };
    switch (f.type) {
        case 'C': {
            std::string b = text::toWindows1252(s);
            b.resize(width, ' ');
            return b;
        }
        case 'N':
        case 'F': {
            std::string t = trimBlanks(s);
            if (t.empty()) return std::string(width, ' ');
            bool negative = t[0] == '-';
            std::string_view body = std::string_view(t).substr(negative || t[0] == '+' ? 1 : 0);
            auto dot = body.find('.');
            std::string whole(body.substr(0, dot));
            std::string frac =
                dot == std::string_view::npos ? "" : std::string(body.substr(dot + 1));
            if ((!whole.empty() && !digitsOnly(whole)) || (!frac.empty() && !digitsOnly(frac)) ||
                (whole.empty() && frac.empty())) {
                bad("es ist keine Zahl.");
            }
            if (whole.empty()) whole.push_back('0');
            frac.resize(static_cast<size_t>(f.decimals), '0');
            std::string out;
            if (negative) out.push_back('-');
            out += whole;
            if (f.decimals) {
                out.push_back('.');
                out += frac;
            }
            if (out.size() > width) bad("die Zahl ist zu lang.");
            return std::string(width - out.size(), ' ') + out;
        }
        case 'D': {
            std::string digits;
            for (char c : s) {
                if (c >= '0' && c <= '9') digits += c;
            }
            // "YYYYMMDD", "YYYY-MM-DD" or the German "DD.MM.YYYY".
            if (digits.size() == 8 && s.find('.') != std::string::npos) {
                digits = digits.substr(4) + digits.substr(2, 2) + digits.substr(0, 2);
            }
            if (digits.size() != 8) return bad("es ist kein Datum.");
            if (width != 8) return bad("das Datumsfeld ist nicht 8 Zeichen breit.");
            return digits;
        }
        case 'L': {
            if (width != 1) return bad("das logische Feld ist nicht 1 Zeichen breit.");
            char c = s.empty() ? '?' : s[0];
            if (v.isInt()) return v.asInt() ? "T" : "F";
            if (c == 'T' || c == 't' || c == 'J' || c == 'j' || c == 'Y' || c == 'y' || c == '1')
                return "T";
            if (c == 'F' || c == 'f' || c == 'N' || c == 'n' || c == '0') return "F";
            return bad("es ist kein Wahrheitswert.");
        }
        default:
            return bad("Felder vom Typ " + quoted(std::string(1, f.type)) +
                       " kann das Programm nicht schreiben.");
    }
}

void DbfTable::append() {
    requireActive();
    if (appending_) post();
    pending_.assign(recordLength_, ' ');
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].type == 'L' && fields_[i].width == 1) pending_[offsets_[i]] = '?';
    }
    appending_ = true;
}

void DbfTable::setValue(int i, const Value& v) {
    requireActive();
    if (!appending_) {
        fail(ErrorKind::Usage,
             "Werte lassen sich nur in einen neuen Datensatz schreiben (append).");
    }
    fieldDef(i);
    const DbfField& f = fields_[static_cast<size_t>(i)];
    std::string bytes = encodeField(f, v);
    if (bytes.size() != static_cast<size_t>(f.width)) {
        throw std::logic_error("dBase-Feld in falscher Breite kodiert");
    }
    pending_.replace(offsets_[static_cast<size_t>(i)], bytes.size(), bytes);
}

void DbfTable::post() {
    requireActive();
    if (!appending_) return;
    appending_ = false;
    if (physicalCount_ == UINT32_MAX) fail(ErrorKind::Range, "Die Tabelle ist voll.");
    uint64_t off = headerLength_ + uint64_t{physicalCount_} * recordLength_;
    std::string bytes = pending_;
    bytes += kEndOfFile;
    dirty_ = true;
    file_->write(off, bytes.data(), bytes.size());
    live_.push_back(physicalCount_++);
    row_ = static_cast<int64_t>(live_.size()) - 1;
    record_ = pending_;
    bof_ = eof_ = false;
}

void DbfTable::cancel() {
    appending_ = false;
}

}  // namespace mv32::engine
