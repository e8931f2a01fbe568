// The report's page script and style sheet (assets/report.js and
// assets/report.css, built into the program by EmbedAssets.cmake).
#ifndef HOST_REPORT_REPORTASSETS_H_
#define HOST_REPORT_REPORTASSETS_H_

namespace report {

extern const char kReportScript[];
extern const char kReportStyle[];

}  // namespace report

#endif  // HOST_REPORT_REPORTASSETS_H_
