// The German words for what the operating system refused, shared by the file systems of both
// systems (the Windows one names its error codes by the matching errno values).
#include <cerrno>
#include <cstring>

#include "engine/EngineError.h"
#include "engine/FileSystem.h"

namespace mv32::engine {

std::string systemErrorReason(int err) {
    switch (err) {
        case ENOSPC:
            return "Der Datenträger ist voll";
#ifdef EDQUOT
        case EDQUOT:
            return "Das Speicherkontingent ist erschöpft";
#endif
        case EACCES:
        case EPERM:
            return "Zugriff verweigert";
        case ENOENT:
            return "Die Datei existiert nicht";
        case EROFS:
            return "Der Datenträger ist schreibgeschützt";
        case EIO:
            return "Ein-/Ausgabefehler des Datenträgers";
        case EISDIR:
            return "Der Name bezeichnet einen Ordner";
        case ENOTDIR:
            return "Ein Teil des Pfades ist kein Ordner";
        case EMFILE:
        case ENFILE:
            return "Zu viele offene Dateien";
        case EFBIG:
            return "Die Datei ist zu groß";
        case ENAMETOOLONG:
            return "Der Dateiname ist zu lang";
        case EBADF:
            return "Die Datei ist nur zum Lesen geöffnet";
        case EEXIST:
            return "Eine Datei dieses Namens existiert bereits";
        default:
            return "Systemfehler " + std::to_string(err) + " (" + std::strerror(err) + ")";
    }
}

void throwSystemError(int err, const char* action, const std::string& path) {
    ErrorKind kind = ErrorKind::Io;
    if (err == ENOSPC) kind = ErrorKind::DiskFull;
#ifdef EDQUOT
    if (err == EDQUOT) kind = ErrorKind::DiskFull;
#endif
    if (err == ENOENT) kind = ErrorKind::NotFound;
    if (err == EEXIST) kind = ErrorKind::Exists;
    if (err == EROFS || err == EACCES || err == EPERM || err == EBADF) kind = ErrorKind::ReadOnly;
    std::string why = systemErrorReason(err);
    throw EngineError(
        kind,
        std::string(action) + " der Datei " + quoted(path) + " ist fehlgeschlagen: " + why + ".",
        why);
}

}  // namespace mv32::engine
