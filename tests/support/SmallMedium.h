// A real small or read-only medium for tests of what happens where the disk is full or cannot
// be written: a tmpfs of a given size mounted on a fresh folder, which can be grown, shrunk
// and made read-only. Mounting needs root (CI runs tests as root); where it is refused,
// available() is false and says why, and the test skips itself.
#pragma once

#include <functional>
#include <string>

#include "support/TempDir.h"

namespace mv32::test {

class SmallMedium {
public:
    explicit SmallMedium(size_t bytes);
    ~SmallMedium();
    SmallMedium(const SmallMedium&) = delete;
    SmallMedium& operator=(const SmallMedium&) = delete;

    bool available() const { return mounted_; }
    const std::string& whyNot() const { return why_; }
    const std::string& path() const { return dir_.path(); }
    std::string file(const std::string& name) const { return dir_.file(name); }

    // Gives the medium a new size (at least what its files take) or makes it read-only.
    void resize(size_t bytes);
    void setReadOnly(bool readOnly);
    // Bytes its files take now.
    size_t used() const;

private:
    void remount(size_t bytes, bool readOnly);
    TempDir dir_;
    bool mounted_ = false;
    size_t size_ = 0;
    bool readOnly_ = false;
    std::string why_;
};

// Runs `body` in a child process as the user "nobody" and returns what it wrote to `report`:
// an empty text means it found nothing wrong. Without root the call returns a note that it
// could not change the user, starting with "übersprungen:".
std::string asOtherUser(const std::function<void(std::string& report)>& body);

}  // namespace mv32::test
