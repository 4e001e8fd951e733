// html_log.h - the HTML report of the whole catalogue (Save Log), for both
// front ends. May include every layer below the front ends (the entries
// seen: store/remembered.h).
#pragma once

#include <stddef.h>

// Writes every record of ItemCatalogue to path as one HTML file: LF line
// ends, no byte-order mark, no final line feed. It is written into a new
// file beside path, which then takes path's name in one step, replacing an
// existing file; on failure that file is left as it was and nothing is left
// beside it. Field values are HTML-escaped. Nonzero when every byte was
// written and the file closed; a failing write is passed over and writing
// goes on, so the caller can say the report is not whole.
int WriteHtmlLog(const char *path);
// The same, where path must not exist: 0, nothing replaced, when it does.
int WriteNewHtmlLog(const char *path);
// Either of the two (replace nonzero: WriteHtmlLog); PLAT_OK, or the
// system's cause of the first failing step.
long WriteReportFile(const char *path, int replace);

// Save Log's name rule: adds ".html" when path does not contain ".htm"
// (case-sensitive, so "REPORT.HTM" becomes "REPORT.HTM.html"). Zero, with
// path unchanged, when its field of pathSize bytes has no room for it.
int CompleteLogPath(char *path, size_t pathSize);
