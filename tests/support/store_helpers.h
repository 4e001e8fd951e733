// store_helpers.h - what the store tests of both sides share: collecting
// status texts, finding records by name, flipping check boxes and applying.
#pragma once

#include "../../store/store.h"

#include <initializer_list>
#include <string>
#include <vector>

// The texts the window's status would show for the outcomes told to
// StatusFront since the last clear: every failure, a Remove, CleanUp's
// summary (not a change done by Apply, nor CleanUp's entries one by one).
extern std::vector<std::string> Statuses;
// Every outcome told to StatusFront (cleared with Statuses by the fixtures
// that clear it, or by the test).
extern std::vector<StoreOutcome> Outcomes;
// Its questions are answered with StatusFrontAnswer (Yes unless set).
extern int StatusFrontAnswer;
extern const FrontEnd StatusFront;

// A text and its terminating zero, as a REG_SZ value holds it.
std::string Sz(const std::string &text);

// A .reg backup (UTF-16LE after a byte-order mark) as text: units below 256
// as one byte each, any other as '?'; "<no byte-order mark>" when it lacks one.
std::string RegText(const std::string &file);

// Nonzero for ApplyChanges' text of an entry that was not moved: it names
// the entry and the cause ("ERROR: "Tool" was not disabled: ..."); or of
// one moved aside whose switch in Windows' settings was not set.
bool IsApplyFailure(const std::string &status);
// Exactly count such texts in Statuses.
void ExpectApplyFailures(size_t count);

// Catalogue index of the record with that name, or -1.
int IndexOf(const char *name);

// The check-box states as stored, with the named entries flipped.
std::vector<int32_t> Desired(std::initializer_list<const char *> flip);

// Scans, flips the named entries and applies.
void Toggle(std::initializer_list<const char *> names);
