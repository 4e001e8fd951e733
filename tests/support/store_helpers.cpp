// store_helpers.cpp - see store_helpers.h.
#include "store_helpers.h"

#include <gtest/gtest.h>

#include <string.h>

std::vector<std::string> Statuses;

std::vector<StoreOutcome> Outcomes;
int StatusFrontAnswer = 1;

static void CollectOutcome(void *, const StoreOutcome *outcome)
{
    Outcomes.push_back(*outcome);
    if (outcome->result == ResultDone && outcome->action != ActionRemove && outcome->item)
        return;
    if (outcome->action == ActionCleanUp && outcome->item)
        return;
    char text[OUTCOME_TEXT_SIZE];
    WordOutcome(outcome, 0, text, sizeof text);
    Statuses.push_back(text);
}

static int Answer(void *, const char *)
{
    return StatusFrontAnswer;
}

const FrontEnd StatusFront = {CollectOutcome, Answer, nullptr, nullptr, nullptr};

std::string Sz(const std::string &text)
{
    return std::string(text.c_str(), text.size() + 1);
}

int IndexOf(const char *name)
{
    for (int i = 0; i < ItemCatalogue.count; ++i)
        if (strcmp(ItemCatalogue.items[i].name, name) == 0)
            return i;
    return -1;
}

std::vector<int32_t> Desired(std::initializer_list<const char *> flip)
{
    std::vector<int32_t> states;
    for (int i = 0; i < ItemCatalogue.count; ++i)
        states.push_back(ItemCatalogue.items[i].enabled);
    for (const char *name : flip) {
        int i = IndexOf(name);
        EXPECT_GE(i, 0) << name;
        if (i >= 0)
            states[i] = !states[i];
    }
    return states;
}

void Toggle(std::initializer_list<const char *> names)
{
    ScanCatalogue();
    std::vector<int32_t> states = Desired(names);
    ApplyChanges(states.data(), (int32_t)states.size(), &StatusFront);
}

std::string RegText(const std::string &file)
{
    if (file.size() < 2 || file.compare(0, 2, "\xff\xfe") != 0)
        return "<no byte-order mark>";
    std::string text;
    for (size_t i = 2; i + 1 < file.size(); i += 2) {
        unsigned unit = (unsigned char)file[i] | ((unsigned char)file[i + 1] << 8);
        text.push_back(unit < 256 ? (char)unit : '?');
    }
    return text;
}

bool IsApplyFailure(const std::string &status)
{
    return status.rfind("ERROR: \"", 0) == 0
           && (status.find("\" was not ") != std::string::npos
               || status.find("\" was disabled here, but Windows' switch") != std::string::npos);
}

void ExpectApplyFailures(size_t count)
{
    EXPECT_EQ(count, Statuses.size());
    for (const std::string &status : Statuses)
        EXPECT_TRUE(IsApplyFailure(status)) << status;
}
