#include "platform/ShellEntries.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"

namespace fs = std::filesystem;

namespace mv32::platform {

namespace {

// Writes the entry unless the file holds exactly this text already: a start whose entries are
// right writes nothing (a file that is replaced keeps its rights, so the text is all that
// could differ). True when the file was written.
bool writeText(const std::string& path, const std::string& text, bool executable = false) {
    if (readWholeFile(path) == text) return false;
    writeFileAtomically(path, text, executable);
    return true;
}

// A path as one argument of a desktop entry's Exec line.
std::string quotedExec(const std::string& path) {
    std::string out = "\"";
    for (char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

bool writeShellEntries(const std::string& program, const std::string& dataHome) {
    std::string home = dataHome;
    if (home.empty()) {
        const char* xdg = std::getenv("XDG_DATA_HOME");
        const char* user = std::getenv("HOME");
        home = xdg && *xdg ? xdg : std::string(user ? user : "") + "/.local/share";
    }
    home = withTrailingSeparator(home);
    const std::string exec = quotedExec(program);
    bool written = false;
    written |=
        writeText(home + "mime/packages/mavrel32.xml",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                  "  <mime-type type=\"application/x-mavrel32\">\n"
                  "    <comment>Mavrel/32-Datei</comment>\n"
                  "    <glob pattern=\"*.mv\"/>\n"
                  "    <glob pattern=\"*.MV\"/>\n"
                  "  </mime-type>\n"
                  "  <mime-type type=\"application/x-mavrel32-db\">\n"
                  "    <comment>Mavrel/32 DB-Datei</comment>\n"
                  "    <glob pattern=\"*.db\" weight=\"10\"/>\n"
                  "  </mime-type>\n"
                  "</mime-info>\n");
    written |= writeText(home + "applications/mavrel32.desktop",
                         "[Desktop Entry]\n"
                         "Type=Application\n"
                         "Name=Mavrel/32\n"
                         "Comment=Datenträger katalogisieren\n"
                         "Exec=" +
                             exec +
                             " %f\n"
                             "Icon=mavrel32\n"
                             "Terminal=false\n"
                             "Categories=Utility;Archiving;\n"
                             "MimeType=application/x-mavrel32;application/x-mavrel32-db;\n");
    // "Add to MV32" for folders: Dolphin's service menu, Nemo's action and a Nautilus script.
    written |= writeText(home + "kio/servicemenus/mavrel32-add.desktop",
                         "[Desktop Entry]\n"
                         "Type=Service\n"
                         "MimeType=inode/directory;\n"
                         "Actions=AddToMV32;\n"
                         "X-KDE-Priority=TopLevel\n\n"
                         "[Desktop Action AddToMV32]\n"
                         "Name=Add to MV32\n"
                         "Exec=" +
                             exec + " dir %f close\n",
                         true);
    written |= writeText(home + "nemo/actions/mavrel32-add.nemo_action",
                         "[Nemo Action]\n"
                         "Name=Add to MV32\n"
                         "Comment=Ordner in den Explorer-Katalog von Mavrel/32 scannen\n"
                         "Exec=" +
                             exec +
                             " dir %F close\n"
                             "Selection=s\n"
                             "Extensions=dir;\n");
    written |= writeText(home + "nautilus/scripts/Add to MV32",
                         "#!/bin/sh\n"
                         "# Scans the chosen folder into the Explorer catalog of Mavrel/32.\n"
                         "for f in \"$@\"; do\n"
                         "    case \"$f\" in /*) p=\"$f\" ;; *) p=\"$PWD/$f\" ;; esac\n"
                         "    exec " +
                             shellQuoted(program) +
                             " dir \"$p\" close\n"
                             "done\n",
                         true);
    return written;
}

void refreshDesktopDatabases() {
#ifndef _WIN32
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* user = std::getenv("HOME");
    const std::string home = xdg && *xdg ? xdg : std::string(user ? user : "") + "/.local/share";
    std::string command;
    if (fs::exists("/usr/bin/update-mime-database"))
        command += "update-mime-database " + shellQuoted(home + "/mime") + "; ";
    if (fs::exists("/usr/bin/update-desktop-database"))
        command += "update-desktop-database " + shellQuoted(home + "/applications") + "; ";
    if (command.empty()) return;
    // In the background: the start of the program does not wait for the desktop.
    const std::string line = "(" + command + ") >/dev/null 2>&1 &";
    if (std::system(line.c_str()) != 0) {
        // The entries are written; the desktop reads them at its next refresh.
    }
#endif
}

}  // namespace mv32::platform
