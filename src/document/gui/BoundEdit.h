// A Qt text box bound to a field: the thin adapter over the bound-box rule (BoundFields).
// What the box shows comes from the rule; what the person types goes to it. A box of records
// that cannot be changed is read-only.
#pragma once

#include <string>

#include "document/BoundFields.h"

class QLineEdit;
class QPlainTextEdit;

namespace mv32::document {

// Binds the box to `field`; returns the box's number in `fields`.
int bindEdit(BoundFields& fields, QLineEdit* box, const std::string& field);
int bindEdit(BoundFields& fields, QPlainTextEdit* box, const std::string& field);

}  // namespace mv32::document
