// list_tokens.h - how a list value splits into programs.
//
// Winlogon's Userinit and Shell, rdpwd's StartupPrograms and the legacy Load
// and Run hold several programs in one value, split at commas (and, for
// some of them, at blanks). The catalogue splits the text it shows and the
// store the stored UTF-16 it changes by this one rule, so the row a user
// acts on is the program the store finds. May include nothing of ours.
#pragma once

#include <stddef.h>

static inline int ListUnitBlank(unsigned c)
{
    return c == ' ' || c == '\t';
}

static inline int ListUnitSeparator(unsigned c, int blanks)
{
    return c == ',' || (blanks && ListUnitBlank(c));
}

// The next program of a list of count units from *at: [*start, *end),
// blanks trimmed; zero when none is left. Unit: char (the code page's text)
// or uint16_t (the stored UTF-16).
template <typename Unit>
static int NextListItem(const Unit *text, size_t count, size_t *at, size_t *start, size_t *end,
                        int blanks)
{
    size_t i = *at;
    while (i < count && (ListUnitSeparator(text[i], blanks) || ListUnitBlank(text[i])))
        ++i;
    if (i >= count)
        return 0;
    *start = i;
    while (i < count && !ListUnitSeparator(text[i], blanks))
        ++i;
    size_t last = i;
    while (last > *start && ListUnitBlank(text[last - 1]))
        --last;
    *end = last;
    *at = i;
    return 1;
}
