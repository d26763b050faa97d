#include "exchange/MvWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "document/CatalogDocument.h"
#include "document/OwnFiles.h"
#include "engine/Cursor.h"
#include "engine/SystemPaths.h"
#include "engine/Text.h"
#include "exchange/ExportFile.h"
#include "exchange/MvFormat.h"
#include "exchange/MvParser.h"
#include "platform/Paths.h"

namespace mv32::exchange {

using document::Animation;
using document::Answer;
using document::Buttons;
using document::MessageKind;

namespace {

std::string cut(const std::string& text, size_t width) {
    return engine::text::toWindows1252(engine::text::fitToWidth(text, width));
}

void putShortString(std::string& out, const std::string& text, size_t width) {
    const std::string bytes = cut(text, width);
    out.push_back(static_cast<char>(bytes.size()));
    out += bytes;
}

// Five characters, right-aligned with blanks; a longer text keeps its first five.
std::string rightAligned5(const std::string& digits) {
    if (digits.size() >= 5) return digits.substr(0, 5);
    return std::string(5 - digits.size(), ' ') + digits;
}

}  // namespace

int mediumCode(const std::string& mediumType) {
    const std::string key = engine::text::upper(engine::text::fitToWidth(mediumType, 10));
    for (size_t i = 0; i < mv::kMediumTexts.size(); ++i) {
        if (key == mv::kMediumTexts[i]) return static_cast<int>(i) + 1;
    }
    return 1;
}

std::string encodeHeader(const platform::LocalTime& now, int64_t count) {
    std::string h;
    for (int b : {3, 2, 0, now.day, now.month, now.year % 100, now.hour, now.minute, now.second})
        h.push_back(static_cast<char>(b));
    for (char c : rightAligned5(std::to_string(count)))
        h.push_back(static_cast<char>(c == ' ' ? 0 : c - '0'));
    h.append(8, '\0');  // the identification digits: this copy names itself 0000 0000
    h.push_back(static_cast<char>(mv::kFullLayout));
    return h;
}

void encodeRecord(engine::Cursor& c, std::string& out) {
    putShortString(out, c.displayText("Name"), mv::kNameWidth);
    out.push_back(static_cast<char>(mediumCode(c.displayText("Datentraeger"))));
    // A 16-bit field always fits; an empty one is written as 0.
    out += rightAligned5(
        std::to_string(parseSmallNumber(c.displayText("DatentraegerNr")).value_or(0)));
    putShortString(out, c.displayText("Memo"), mv::kMemoWidth);
    putShortString(out, c.displayText("Datentraeger_Anzahl"), mv::kCountWidth);
    putShortString(out, c.displayText("von"), mv::kCountWidth);
    putShortString(out, c.displayText("Serien_Nr"), mv::kSerialWidth);
    putShortString(out, c.displayText("Label"), mv::kLabelWidth);
    putShortString(out, c.displayText("Gesamte_Groesse"), mv::kSizeWidth);
    putShortString(out, c.displayText("Freier_Speicher"), mv::kSizeWidth);
    putShortString(out, c.displayText("Kategorie"), mv::kCategoryWidth);
    const std::string drive = cut(c.displayText("Laufwerk"), 1);
    out.push_back(drive.empty() ? '\0' : drive[0]);
    putShortString(out, c.displayText("Status"), mv::kStatusWidth);
    putShortString(out, c.displayText("Datum_Uhrzeit"), mv::kDateTimeWidth);
}

void MvWriter::ExpMVItemClick() {
    auto& st = doc_.state();
    auto& ui = doc_.ui();
    document::FileDialogRequest req;
    req.save = true;
    req.title = "Daten in das MV-Format exportieren";
    req.filter = "Mavrel Dateien (*.MV)|*.MV";
    const std::string current = platform::fileNameOf(st.CurrentFile);
    req.initialName = current.size() >= 3 ? current.substr(0, current.size() - 3) : current;
    if (!st.CatalogOpen || st.TreeBuilding) return;
    const auto chosen = doc_.askForFile(req);
    if (chosen.path.empty()) return;
    std::string path = chosen.path;
    if (document::upperExtension(path) != ".MV") path += ".MV";
    if (const std::string refusal = document::ownFileRefusal(path, document::ownFilesOf(doc_));
        !refusal.empty()) {
        ui.message(MessageKind::Fehler, refusal, Buttons::Abbrechen);
        return;
    }
    std::error_code ec;
    if (std::filesystem::exists(engine::paths::fsPath(path), ec) &&
        ui.message(MessageKind::Warnung, document::kOverwriteQuestion, Buttons::JaNein) !=
            Answer::Ja)
        return;
    ExportToMV(path);
}

void MvWriter::ExportToMV(const std::string& path) {
    auto& st = doc_.state();
    auto& ui = doc_.ui();
    if (!st.CatalogOpen || st.TreeBuilding) return;
    engine::Table& t = doc_.MV32();
    try {
        ExportFile file(path);
        ui.showAnimation(Animation::Busy, true);
        st.AutoSaveHold = true;
        const int64_t count = t.recordCount();
        // The header's date is the entry stamp, taken again now.
        st.EntryStamp = doc_.clock().now();
        std::string out = encodeHeader(st.EntryStamp, count);
        ui.showProgress(true);
        ui.setProgressRange(0, count);
        t.close();
        t.setIndexName("");
        t.open();
        t.first();
        int64_t done = 0;
        while (!t.eof()) {
            encodeRecord(t, out);
            if (out.size() >= (1u << 20)) {
                file.write(out);
                out.clear();
            }
            t.next();
            ui.setProgressPosition(++done);
        }
        file.write(out);
        file.commit();
        ui.showProgress(false);
        st.AutoSaveHold = false;
        ui.showAnimation(Animation::Busy, false);
        doc_.updateRecordLabel();
    } catch (const std::exception&) {
        try {
            if (!t.active()) t.open();
        } catch (const std::exception&) {
        }
        ui.showProgress(false);
        ui.message(MessageKind::Fehler, "Fehler beim Exportieren der Datei!", Buttons::Abbrechen);
        st.AutoSaveHold = false;
        ui.showAnimation(Animation::Busy, false);
    }
}

}  // namespace mv32::exchange
