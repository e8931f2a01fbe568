#include "report/Pages.h"

namespace report {

std::string PageHtml(const std::string& page) {
  // `page` is one of the report's own names, never text from a backup.
  return std::string(
             "<!DOCTYPE html>\n"
             "<html lang=\"en\">\n"
             "<head>\n"
             "<meta charset=\"utf-8\">\n"
             "<meta http-equiv=\"Content-Security-Policy\" content=\"") +
         kContentSecurityPolicy +
         "\">\n"
         "<meta name=\"referrer\" content=\"no-referrer\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>Keldra report</title>\n"
         "<link rel=\"stylesheet\" href=\"assets/report.css\">\n"
         "<script defer src=\"assets/report.js\"></script>\n"
         "<script defer src=\"data/summary.js\"></script>\n"
         "</head>\n"
         "<body data-page=\"" +
         page +
         "\">\n"
         "<noscript>This report shows its data with the script in its own folder; "
         "allow scripts for this page to read it.</noscript>\n"
         "</body>\n"
         "</html>\n";
}

}  // namespace report
