// test_main.cpp - GoogleTest entry for every test program of both sides.
// On Windows the catalogue resolves shortcuts through COM, which the
// program's entry initialises; the tests do the same on their thread.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <objbase.h>
#endif

int main(int argc, char **argv)
{
#ifdef _WIN32
    CoInitialize(NULL);
#endif
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
#ifdef _WIN32
    CoUninitialize();
#endif
    return result;
}
