// scan_bench_native.cpp - the scan's own logic alone: ScanCatalogue over the
// in-memory platform, per entry, for growing N (the cost per entry must
// stay flat). Prints its figures; run with tools/bench.sh.
#include "../catalogue/catalogue.h"
#include "../tests/support/memory_platform.h"

#include <stdio.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

static void Seed(int count)
{
    MemReset();
    const char *probe = "C:\\Program Files\\Probe\\probe.exe";
    MemSetVersion(probe, "Orvane test probe", "Orvane Test Works");
    const char *folders[] = {MEM_STARTUP_FOLDER, MEM_COMMON_STARTUP_FOLDER,
                             MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER,
                             MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER};
    std::string command = std::string("\"") + probe + "\" -bench";
    for (int i = 0; i < count; ++i) {
        char name[64];
        if (i % 10 == 9) {
            snprintf(name, sizeof name, "\\Bench %05d.lnk", i);
            MemAddLink((std::string(folders[(i / 10) % 4]) + name).c_str(), probe, "-bench", "");
            continue;
        }
        int place = i % 20;
        std::string key = std::string(CURRENT_VERSION_KEY "\\") + RunKeyNames[place / 4]
                          + (place % 2 ? "-" : "");
        snprintf(name, sizeof name, "Bench %05d", i);
        MemSetString(place % 4 < 2 ? PLAT_HKCU : PLAT_HKLM, key.c_str(), name, command.c_str());
    }
}

int main(int argc, char **argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 9;
    printf("%-6s %12s %14s\n", "N", "scan ms", "scan us/entry");
    for (int count : {100, 1000, 5000}) {
        Seed(count);
        std::vector<double> times;
        ScanCatalogue();
        for (int run = 0; run < runs; ++run) {
            auto start = std::chrono::steady_clock::now();
            ScanCatalogue();
            times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                                .count());
        }
        std::sort(times.begin(), times.end());
        double median = times[times.size() / 2] * 1000.0;
        printf("%-6d %12.2f %14.2f%s\n", count, median, median * 1000.0 / count,
               ItemCatalogue.count == count ? "" : "  (count mismatch!)");
    }
    return 0;
}
