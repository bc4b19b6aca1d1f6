#pragma once
// The SNR test's report as files: the one A4 page made with QPdfWriter, and
// the writing of the PDF, CSV and JSON, whole or not at all, locked and
// reported as SaveData's file is. Both faces call it: the test window's Save
// Report writes the three, the recorder's --report the one its name asks for.

#include <string>
#include <vector>

#include "dashboard/CsvExport.h"
#include "dashboard/SnrReport.h"

namespace keyscope {

// The report on one A4 page, as PDF bytes: title, date and time in UTC, link
// and board, chip settings bytes, test settings, the results table, a bar chart
// of every key's SNR against the limit, the suggested level and its warning.
// Needs a QGuiApplication; in a program without any application object (the
// recorder) one on the offscreen platform is made for the call, so no display
// is needed.
std::string snrReportPdf(const SnrReport& report);

// The report's bytes in a format.
std::string snrReportContent(const SnrReport& report, SnrReportFormat format);

// Writes the report in the format to the path (writeFileWhole: a failure shows
// "Cannot Create pdf file" and the like, or the system's reason).
CsvSave writeSnrReport(const std::string& path, SnrReportFormat format, const SnrReport& report,
                       Messages& messages);

struct SavedReports {
    CsvSave result = CsvSave::Saved;  // the first failure, if any; later files are not tried
    std::vector<std::string> paths;   // the files written
};
// %Y%m%d_%H%M_snr.pdf, .csv and .json side by side in the current directory,
// named from one local time.
SavedReports saveSnrReportsNow(const SnrReport& report, Messages& messages);

}  // namespace keyscope
