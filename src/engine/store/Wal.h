// The write-ahead log of a table: BASE.wal.
//
// Every change reaches the table's files through this log. A commit appends the new images of
// all pages it changes and a commit frame; once the log is synced the commit is durable, and the
// pages are then written into the table's files. A process that dies while writing them leaves
// the log behind, and the next writer or the next first opener writes them again (page images
// are idempotent). In bulk mode each post appends only a logical frame (the record operation);
// the page images follow at the end of the group, and logical frames after the last commit are
// executed again by recovery.
//
// Page images are only idempotent on the files they were written against. Every generation
// therefore begins with an origin frame naming the .db file's table id and counter at its
// start; a log is applied only to files whose .db is that state or one its commits produced,
// never to files copied back from an older state or belonging to another table.
//
//   Header (kWalHeaderSize bytes at offset 0), rewritten in place, never trusted after a crash:
//   OFFSET SIZE DESCRIPTION
//        0    8 magic "MV32WAL\x01"
//        8    8 salt of the current log generation
//       16    8 offset just past the last commit frame
//       24    8 offset up to which the commits are written into the table files
//       32    4 chain checksum at the last commit frame
//       36    4 CRC-32C of bytes 0..35
//
//   Frame (kFrameHeaderSize bytes, then the payload):
//        0    4 type: 1 page image, 2 commit, 3 logical operation, 4 origin
//        4    4 file number (page image; 0 for the other types)
//        8    4 page number (page image; 0 for the other types)
//       12    4 payload length
//       16    8 salt; a frame of another generation ends the log
//       24    4 chain checksum: CRC-32C over the previous frame's checksum, bytes 0..23 and payload
//       28    4 zero
// The first frame's chain starts from a seed derived from the salt. Reading stops at the first
// frame whose salt or checksum does not match, so a torn or lost write ends the log there and
// what comes back is always a prefix of what was written.
//
//   Origin payload (first frame of a generation, written and synced with the header):
//        0    8 table id of the .db file when the generation began (0: no readable .db yet)
//        8    8 its file counter then
//
//   Page payload: the whole page image (kPageSize bytes) of file `file number`, page `page
//   number`. The page images of one commit precede its commit frame; the .db file's header
//   (page 0) is always the last of them.
//
//   Commit payload: u32 N, then N times: u32 file number, u8 action (FileAction: 1 keep at
//   the page count, 2 delete the file), u32 the file's page count.
//
//   Logical payload (bulk posts; all numbers varints unless said otherwise):
//     u8 operation (1 insert, 2 update, 3 delete, 4 insert after insert), the table's next
//     sequence number, its next blob id, then
//       insert: length and bytes of the record entry; blobs
//       insert after insert (only in the frame right after an insert's or another such frame,
//               whose entry it shares its beginning and end with): count of leading bytes
//               taken from that entry, count of trailing bytes taken from it, length and
//               bytes of the part between; blobs
//       update: length and bytes of the old cluster key; of the new record entry; blobs;
//               count of freed blob ids, the ids
//       delete: length and bytes of the cluster key
//     blobs: count, then per blob its id, length and bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/FileSystem.h"

namespace mv32::engine::store {

inline constexpr uint64_t kWalHeaderSize = 64;
inline constexpr uint64_t kFrameHeaderSize = 32;

enum class FrameType : uint32_t { Page = 1, Commit = 2, Logical = 3, Origin = 4 };

// What a commit does with a file once its pages are written.
enum class FileAction : uint8_t { Keep = 1, Delete = 2 };

// The state of a table's .db file that a log generation starts from or a commit produces.
struct FileState {
    uint64_t tableId = 0;  // 0: no readable .db file
    uint64_t counter = 0;
    bool operator==(const FileState&) const = default;
};

struct WalFrame {
    FrameType type;
    uint32_t no;
    uint32_t page;
    uint32_t length;
    uint64_t payloadOffset;
    uint64_t end;    // offset just past this frame
    uint32_t chain;  // chain checksum after this frame
};

struct WalHeader {
    bool valid = false;
    uint64_t salt = 0;
    uint64_t committedEnd = kWalHeaderSize;
    uint64_t appliedEnd = kWalHeaderSize;
    uint32_t lastChecksum = 0;
};

class Wal {
public:
    Wal(FileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    bool isOpen() const { return file_ != nullptr; }
    // Opens the log file, creating it when missing (only under the write lock); read-only
    // handles only look at an existing log.
    void open(bool readOnly = false);
    void close() {
        dropMap();
        file_.reset();
    }
    ~Wal() { dropMap(); }

    WalHeader readHeader();
    void writeHeader(const WalHeader& h);
    // Starts a new generation against the .db state `origin`: empties the log, writes a fresh
    // header and the origin frame, and syncs them.
    void reset(const FileState& origin);
    // The state named by an origin frame.
    FileState originOf(const WalFrame& f);

    static uint32_t seedFor(uint64_t salt);

    // Appending continues after the frame that ends at `end` with chain checksum `checksum`.
    void startAppend(uint64_t salt, uint64_t end, uint32_t checksum);
    void append(FrameType type, uint32_t no, uint32_t page, const void* payload, size_t length);
    // Writes the buffered frames into the file.
    void flush();
    // The same for a small frame, through a shared mapping of the log's end where there is
    // one: a logical frame then costs no system call, and still survives the process.
    void flushMapped();
    // Forgets the mapping; another process may have shortened the log meanwhile.
    void dropMap();
    void sync();
    // Forgets frames appended since the last flush or rewinds to (end, checksum).
    void rewind(uint64_t end, uint32_t checksum);
    uint64_t end() const { return end_; }
    uint32_t checksum() const { return checksum_; }
    // Changes with every frame appended and every change of where appending continues: equal
    // values before and after a frame of one's own mean that frame is the log's last.
    uint64_t stamp() const { return stamp_; }
    uint64_t salt() const { return salt_; }

    // Reads the valid frames from `from` on. With salt 0 the salt of the first frame is taken.
    // Returns the frames, and sets *salt and the checksum after the last valid frame.
    std::vector<WalFrame> scan(uint64_t from, uint64_t* salt, uint32_t* checksum);
    std::string payload(const WalFrame& f);

private:
    FileSystem& fs_;
    std::string path_;
    std::unique_ptr<File> file_;
    std::string buffer_;
    uint64_t bufferStart_ = 0;
    uint64_t salt_ = 0;
    uint64_t end_ = kWalHeaderSize;
    uint32_t checksum_ = 0;
    uint64_t stamp_ = 0;
    void* map_ = nullptr;
    uint64_t mapStart_ = 0;
    size_t mapLength_ = 0;
    bool mapUnavailable_ = false;
};

uint64_t randomId();

}  // namespace mv32::engine::store
