// The drives of the machine as the program sees them: a letter, a root folder, a volume label of
// at most 11 characters, a 32-bit serial number, total and free space.
//
// Linux: the mounted filesystems of /proc/self/mountinfo without pseudo and system filesystems.
// "C" is "/", every other mount gets the next free letter the first time it is seen; the letters
// are remembered through a LetterMemory (the settings store), so a medium keeps its letter.
// Label and serial come from libblkid, or from the /dev/disk/by-label and by-uuid links where the
// device cannot be read by a normal user: FAT and exFAT give the 8 digits of their "XXXX-XXXX"
// id, NTFS the low 32 bits of its serial, other filesystems a 32-bit hash of their UUID, without
// one a hash of device and mount point. MV32_VOLUMES=<file> replaces the list by declared
// volumes (tests and demonstrations): lines "letter<TAB>root<TAB>label<TAB>serial<TAB>total
// <TAB>free", where the serial is 8 hexadecimal digits and a missing root folder means "no
// medium in the drive".
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mv32::platform {

struct Volume {
    char letter = 0;        // 'C'..'Z'
    std::string root;       // the mount point with a trailing separator
    std::string device;     // the mounted device, empty for declared volumes
    std::string fsType;     // "vfat", "ext4", …
    bool declared = false;  // from MV32_VOLUMES
    std::string label;      // declared volumes only; others are read by identify()
    uint32_t serial = 0;    // declared volumes only
    uint64_t total = 0;     // declared volumes only
    uint64_t free = 0;      // declared volumes only
};

struct VolumeIdentity {
    std::string label;  // at most 11 characters, empty when the volume has none
    uint32_t serial = 0;
};

struct VolumeSpace {
    uint64_t total = 0;
    uint64_t free = 0;
};

// Remembers which letter a mount point has (load: all pairs; store: one new pair).
struct LetterMemory {
    std::function<std::vector<std::pair<std::string, char>>()> load;
    std::function<void(const std::string& mountPoint, char letter)> store;
};

class Volumes {
public:
    // The drive list in letter order. `mountinfo` replaces /proc/self/mountinfo (tests).
    static std::vector<Volume> list(const LetterMemory& memory = {},
                                    const std::string& mountinfo = std::string());
    // The drive of a letter, or of the filesystem that holds a native path.
    static std::optional<Volume> byLetter(char letter, const LetterMemory& memory = {});
    static std::optional<Volume> holding(const std::string& path, const LetterMemory& memory = {});

    // Whether a medium is in the drive (its root answers with a size).
    static bool ready(const Volume& v);
    // Label and serial; nullopt when they cannot be read.
    static std::optional<VolumeIdentity> identify(const Volume& v);
    static std::optional<VolumeSpace> space(const Volume& v);

    // Probes a device or an image file with libblkid.
    static std::optional<VolumeIdentity> probe(const std::string& deviceOrImage);
    // The serial of a filesystem from its type and UUID text (see above); 0 when none.
    static std::optional<uint32_t> serialFromUuid(const std::string& fsType,
                                                  const std::string& uuid);
};

// "1A2B3C4D": eight upper-case hexadecimal digits.
std::string serialText(uint32_t serial);

// The 32-bit FNV-1a hash the program uses for identities without a serial.
uint32_t hash32(const std::string& text);

}  // namespace mv32::platform
