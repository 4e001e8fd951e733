// html_log.h - the HTML report of the whole catalogue (Save Log).
#pragma once

// Writes every record of ItemCatalogue to path as one HTML file: LF line
// ends, no byte-order mark, no final line feed. An existing file is
// replaced. Field values are HTML-escaped; nothing is reported on failure
// (the caller shows nothing either way). Returns 0.
int WriteHtmlLog(const char *path);
