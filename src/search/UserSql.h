// "Execute User SQL" (F9): the person's own statement from the setting UserSQL, run over the
// open catalog and shown in the overview's result mode.
//
// Every "%1" in the statement stands for the open catalog: it becomes the catalog's file name
// in double quotes ("cat.db", a double quote inside doubled); any other "%" stays as it is. The
// statement is read from the setting at each run. A statement the engine refuses is reported with
// its message and the overview is not shown.
#pragma once

#include <string>

#include "document/CatalogDocument.h"
#include "edit/Overview.h"

namespace mv32::search {

// The statement with every "%1" replaced by the quoted file name `catalogFile`.
std::string expandUserSql(const std::string& statement, const std::string& catalogFile);

// ExecuteSQL1Click.
void ExecuteSQL1Click(document::CatalogDocument& doc, edit::Overview& overview);

}  // namespace mv32::search
