// fuzz_replay_test.cpp - replays every kept fuzz input (seeds and any input
// that once broke something) through the fuzzed operations, so a fault a
// fuzzer found stays found in every ordinary test run.
#include "../fuzz/fuzz_entries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Inputs(const char *target)
{
    std::vector<std::string> inputs;
    std::filesystem::path folder = std::filesystem::path(ORVANE_FUZZ_CORPUS) / target;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return inputs;
}

} // namespace

TEST(FuzzReplay, ParseCommandInputs)
{
    std::vector<std::string> inputs = Inputs("parse_command");
    ASSERT_FALSE(inputs.empty());
    for (const std::string &input : inputs)
        EXPECT_EQ(0, FuzzParseCommand((const uint8_t *)input.data(), input.size()));
}

TEST(FuzzReplay, TaskXmlInputs)
{
    std::vector<std::string> inputs = Inputs("task_xml");
    ASSERT_FALSE(inputs.empty());
    for (const std::string &input : inputs)
        EXPECT_EQ(0, FuzzTaskXml((const uint8_t *)input.data(), input.size()));
}

TEST(FuzzReplay, AppManifestInputs)
{
    std::vector<std::string> inputs = Inputs("app_manifest");
    ASSERT_FALSE(inputs.empty());
    for (const std::string &input : inputs)
        EXPECT_EQ(0, FuzzAppManifest((const uint8_t *)input.data(), input.size()));
}

TEST(FuzzReplay, RegReaderInputs)
{
    std::vector<std::string> inputs = Inputs("reg_reader");
    EXPECT_FALSE(inputs.empty());
    for (const std::string &input : inputs)
        EXPECT_EQ(0, FuzzRegReader((const uint8_t *)input.data(), input.size()));
}

TEST(FuzzReplay, JournalInputs)
{
    std::vector<std::string> inputs = Inputs("journal");
    ASSERT_FALSE(inputs.empty());
    for (const std::string &input : inputs)
        EXPECT_EQ(0, FuzzJournal((const uint8_t *)input.data(), input.size()));
}

TEST(FuzzReplay, HtmlLogInputs)
{
    std::vector<std::string> inputs = Inputs("html_log");
    ASSERT_FALSE(inputs.empty());
    for (const std::string &input : inputs)
        EXPECT_EQ(0, FuzzHtmlLog((const uint8_t *)input.data(), input.size()));
}

TEST(FuzzReplay, LogonCostInputs)
{
    std::vector<std::string> inputs = Inputs("logon_cost");
    ASSERT_FALSE(inputs.empty());
    for (const std::string &input : inputs)
        EXPECT_EQ(0, FuzzLogonCost((const uint8_t *)input.data(), input.size()));
}
