// "print" paints its list through Qt's GUI module. Linked into mv32db, that module and the
// forty libraries behind it would be loaded at every start of the tool, most of the time of a
// quick search. The painting lives in a helper program beside mv32db, mv32db-pdf, which
// registers its painter; mv32db itself starts the helper for "print" and passes on what it
// writes.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "report/ReportLayout.h"

namespace mv32::engine {
class Cursor;
}

namespace mv32::tools {

// Writes the list of `rows` as a PDF file at `path`; returns the page count.
using PdfWriter = int (*)(engine::Cursor& rows, const report::ReportSettings& settings,
                          const std::string& path);
// The painter of this program; none in mv32db.
void setPdfWriter(PdfWriter writer);
PdfWriter pdfWriter();

// Runs the helper beside the running program with `args` (the command line after the program
// name); its standard output and standard error go to `out` and `err`. Returns its exit status.
// Throws EngineError when there is no helper or it cannot be started.
int runPdfHelper(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace mv32::tools
