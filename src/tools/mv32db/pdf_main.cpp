// mv32db-pdf: mv32db with the painter of "print" (PdfHelper.h). mv32db starts it for "print";
// it runs every other command as mv32db does.
#include <iostream>
#include <string>
#include <vector>

#include "report/gui/ReportPainter.h"
#include "tools/mv32db/PdfHelper.h"
#include "tools/mv32db/TableTool.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    mv32::tools::setPdfWriter(&mv32::report::writeReportPdf);
    std::vector<std::string> args(argv + 1, argv + argc);
    return mv32::tools::runTableTool(args, std::cin, std::cout, std::cerr);
}
