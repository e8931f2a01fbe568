// The report's HTML pages. They are fixed text: nothing read from a backup
// is ever written into markup; the page script builds every view from the
// data files with DOM calls.
#ifndef HOST_REPORT_PAGES_H_
#define HOST_REPORT_PAGES_H_

#include <string>

namespace report {

// Every load a page may make is from the report's own folder; no inline
// script, no connections, no forms, no frames.
inline constexpr char kContentSecurityPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "media-src 'self'; base-uri 'none'; form-action 'none'";

// The page of `page` ("index", or a kind's name): it loads the script and
// the summary, and the script does the rest.
std::string PageHtml(const std::string& page);

}  // namespace report

#endif  // HOST_REPORT_PAGES_H_
