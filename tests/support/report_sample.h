// report_sample.h - the catalogue behind tests/data/report_golden.html,
// shared by the native and the Wine report tests.
#pragma once

#include "../../catalogue/catalogue.h"

#define REPORT_SAMPLE_COUNT 3

// Fills three records: an enabled user value whose name needs escaping, a
// disabled machine value in RunOnce-, a disabled user shortcut.
void FillReportSample(AutostartItem *items);
