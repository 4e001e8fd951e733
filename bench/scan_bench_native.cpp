// scan_bench_native.cpp - the scan's own logic alone: ScanCatalogue over the
// in-memory platform, per entry, for growing N (the cost per entry must
// stay flat), and the comparison of its records with the list of entries
// seen. Prints its figures; run with tools/bench.sh.
#include "../store/store.h"
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
        // As the Wine benchmark: the user's hive and both machine views with
        // their "-" keys, and an approval value for every enabled Run value.
        int place = i % 30;
        int row = place % 6;
        // RunOnceEx's entries live in a section, as Windows lays them out.
        std::string key = std::string(CURRENT_VERSION_KEY "\\") + RunKeyNames[place / 6]
                          + (row % 2 ? "-" : "") + (place / 6 == 4 ? "\\0001" : "");
        PlatHive hive = row < 2 ? PLAT_HKCU : row < 4 ? PLAT_HKLM : PLAT_HKLM32;
        snprintf(name, sizeof name, "Bench %05d", i);
        MemSetString(hive, key.c_str(), name, command.c_str());
        if (place / 6 == 0 && row % 2 == 0) {
            std::string approval(12, '\0');
            approval[0] = (i / 30) % 2 ? 0x03 : 0x02;
            MemSetValue(hive == PLAT_HKCU ? PLAT_HKCU : PLAT_HKLM,
                        hive == PLAT_HKLM32 ? APPROVED_KEY "\\Run32" : APPROVED_KEY "\\Run", name,
                        PLAT_REG_BINARY, approval);
        }
    }
}

int main(int argc, char **argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 9;
    printf("%-6s %12s %14s %12s\n", "N", "scan ms", "scan us/entry", "compare ms");
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
        // Every record against a list of as many entries, one in ten changed.
        RememberedList seen = {};
        AcceptAll(&seen, &ItemCatalogue);
        for (int32_t j = 0; j < seen.count; j += 10)
            seen.entries[j].command[0] = 'x';
        std::vector<double> compares;
        for (int run = 0; run < runs; ++run) {
            RememberedMarks marks;
            auto start = std::chrono::steady_clock::now();
            CompareRemembered(&ItemCatalogue, &seen, &marks);
            compares.push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            FreeMarks(&marks);
        }
        FreeRemembered(&seen);
        std::sort(compares.begin(), compares.end());
        printf("%-6d %12.2f %14.2f %12.2f%s\n", count, median, median * 1000.0 / count,
               compares[compares.size() / 2] * 1000.0,
               ItemCatalogue.count == count ? "" : "  (count mismatch!)");
    }
    return 0;
}
