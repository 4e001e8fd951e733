// test_main.cpp - GoogleTest entry for every test program of both sides.
// On Windows the catalogue resolves shortcuts through COM, which the
// program's entry initialises; the tests do the same on their thread.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

// Wine's scratch prefix starts services of its own automatically (its event
// log, Plug and Play), which every list would show beside what a test
// seeds: under Wine only, they start on demand for the run, and are set
// back after it.
static std::vector<std::wstring> QuietWineServices()
{
    std::vector<std::wstring> quieted;
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
        return quieted;
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_CONNECT);
    if (!manager)
        return quieted;
    DWORD needed = 0, count = 0, resume = 0;
    EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, NULL,
                          0, &needed, &count, &resume, NULL);
    std::vector<BYTE> block(needed + 1);
    resume = 0;
    if (EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL,
                              block.data(), needed, &needed, &count, &resume, NULL)) {
        const ENUM_SERVICE_STATUS_PROCESSW *listed = (const ENUM_SERVICE_STATUS_PROCESSW *)block.data();
        for (DWORD i = 0; i < count; ++i) {
            SC_HANDLE service = OpenServiceW(manager, listed[i].lpServiceName,
                                             SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG);
            DWORD size = 0;
            QueryServiceConfigW(service, NULL, 0, &size);
            std::vector<BYTE> config(size + 1);
            if (service && QueryServiceConfigW(service, (QUERY_SERVICE_CONFIGW *)config.data(), size, &size)
                && ((QUERY_SERVICE_CONFIGW *)config.data())->dwStartType == SERVICE_AUTO_START
                && ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_DEMAND_START,
                                        SERVICE_NO_CHANGE, NULL, NULL, NULL, NULL, NULL, NULL, NULL))
                quieted.push_back(listed[i].lpServiceName);
            if (service)
                CloseServiceHandle(service);
        }
    }
    CloseServiceHandle(manager);
    return quieted;
}

static void RestoreWineServices(const std::vector<std::wstring> &quieted)
{
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
    for (const std::wstring &name : quieted) {
        SC_HANDLE service = manager ? OpenServiceW(manager, name.c_str(), SERVICE_CHANGE_CONFIG) : NULL;
        if (service) {
            ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                 NULL, NULL, NULL, NULL, NULL, NULL, NULL);
            CloseServiceHandle(service);
        }
    }
    if (manager)
        CloseServiceHandle(manager);
}
#endif

int main(int argc, char **argv)
{
#ifdef _WIN32
    CoInitialize(NULL);
    std::vector<std::wstring> quieted = QuietWineServices();
#endif
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
#ifdef _WIN32
    RestoreWineServices(quieted);
    CoUninitialize();
#endif
    return result;
}
