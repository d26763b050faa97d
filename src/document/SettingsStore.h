// The per-user settings store: named text values in sections.
//
// The program keeps its settings in the section "Settings" and its recent-file list in the
// section "MRUList" (Linux: one text file; Windows: the registry keys of the same names). Values
// are text; a missing value reads as nullopt. A write replaces the whole file at once (written to
// a temporary file and renamed), so a crash leaves either the old or the new settings.
//
// Reading an unreadable store and failing to write throw std::runtime_error with a German
// message naming the file (a failed write: an engine::EngineError, whose kind tells a full
// medium). One thread at a time.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mv32::document {

using SettingsValues = std::vector<std::pair<std::string, std::string>>;

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> read(const std::string& section,
                                            const std::string& name) = 0;
    // Every value of a section in the order it was written.
    virtual SettingsValues readSection(const std::string& section) = 0;
    // Sets the values given (others of the section stay) in one write.
    virtual void write(const std::string& section, const SettingsValues& values) = 0;
    // Replaces the whole section by the values given.
    virtual void replaceSection(const std::string& section, const SettingsValues& values) = 0;
};

// The store as a text file of "[Section]" headers and "Name=Value" lines (UTF-8). Backslash,
// carriage return and line feed inside names and values are written as \\, \r and \n; in a
// name also "=" as \= and a first "[", ";" or "#" after a backslash, so any name reads back as
// it was written (a remembered mount point may hold any of them).
class IniSettingsStore : public SettingsStore {
public:
    explicit IniSettingsStore(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }

    std::optional<std::string> read(const std::string& section, const std::string& name) override;
    SettingsValues readSection(const std::string& section) override;
    void write(const std::string& section, const SettingsValues& values) override;
    void replaceSection(const std::string& section, const SettingsValues& values) override;

private:
    using Sections = std::vector<std::pair<std::string, SettingsValues>>;
    Sections load() const;
    void save(const Sections& sections) const;

    std::string path_;
};

// A store in memory, for tests and for tools that must not touch the person's settings.
class MemorySettingsStore : public SettingsStore {
public:
    std::optional<std::string> read(const std::string& section, const std::string& name) override;
    SettingsValues readSection(const std::string& section) override;
    void write(const std::string& section, const SettingsValues& values) override;
    void replaceSection(const std::string& section, const SettingsValues& values) override;
    int writes() const { return writes_; }

private:
    std::map<std::string, SettingsValues> sections_;
    int writes_ = 0;
};

}  // namespace mv32::document
