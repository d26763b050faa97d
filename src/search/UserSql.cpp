#include "search/UserSql.h"

#include <exception>

#include "platform/Paths.h"
#include "search/FullSearch.h"

namespace mv32::search {

std::string expandUserSql(const std::string& statement, const std::string& catalogFile) {
    std::string out;
    out.reserve(statement.size() + catalogFile.size());
    for (size_t i = 0; i < statement.size(); ++i) {
        if (statement[i] == '%' && i + 1 < statement.size() && statement[i + 1] == '1') {
            // A double quote in the name is doubled, as every search quotes the person's text:
            // a crafted catalog name stays a name and never becomes part of the statement.
            out += '"' + quoted(catalogFile) + '"';
            ++i;
        } else {
            out += statement[i];
        }
    }
    return out;
}

void ExecuteSQL1Click(document::CatalogDocument& doc, edit::Overview& overview) {
    if (!doc.state().CatalogOpen) return;
    const std::string sql = expandUserSql(doc.settings().UserSQL,
                                          platform::fileNameOf(doc.MV32().filePath()));
    try {
        overview.showQuery(sql, false, false);
    } catch (const std::exception& e) {
        doc.ui().showApplicationError(e.what());
    }
}

}  // namespace mv32::search
