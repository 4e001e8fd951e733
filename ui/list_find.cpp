// list_find.cpp - typing a name's first letters jumps to its row.
//
// An owner-data list cannot search its rows itself: it asks its owner with
// LVN_ODFINDITEM, and Wine's list hands an "A" owner the wide search text
// under the "A" code. So the list's own search is not used: the letters
// typed within a second of each other are gathered here, as Explorer does,
// and the row is found from the records; LVN_ODFINDITEMA (asked for by
// LVM_FINDITEM, as screen readers do) is answered the same way.
#include "ui.h"

#include "../store/store.h"

#include <string.h>

// A pause longer than this starts a new search.
#define TYPE_AHEAD_PAUSE_MS 1000

static struct {
    char text[64];
    size_t length;
    DWORD last;
} Typed;

static int StartsWithNoCase(const char *text, const char *prefix)
{
    for (; *prefix; ++text, ++prefix) {
        unsigned char a = (unsigned char)*text, b = (unsigned char)*prefix;
        if (!a)
            return 0;
        if (a != b && !(a < 0x80 && b < 0x80 && (a | 0x20) == (b | 0x20) && (a | 0x20) >= 'a'
                        && (a | 0x20) <= 'z'))
            return 0;
    }
    return 1;
}

int32_t FindRowByName(HWND list, const char *prefix, int32_t start)
{
    int32_t rows = list ? (int32_t)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) : 0;
    if (rows <= 0 || !prefix || !prefix[0])
        return -1;
    if (start < 0 || start >= rows)
        start = 0;
    for (int32_t i = 0; i < rows; ++i) {
        int32_t row = (start + i) % rows;
        const AutostartItem *item = CatalogueItem(RecordOfRow(list, row));
        if (item && StartsWithNoCase(ItemShownName(item), prefix))
            return row;
    }
    return -1;
}

LRESULT OnListFindItem(const NMLVFINDITEMA *find)
{
    if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find->lvfi.psz)
        return -1;
    // An exact search wants the whole name; this list's names are unique
    // enough that the first row beginning with it is the one asked for.
    int32_t row = FindRowByName(find->hdr.hwndFrom, find->lvfi.psz, find->iStart);
    if (row < 0 || (find->lvfi.flags & LVFI_PARTIAL))
        return row;
    const AutostartItem *item = CatalogueItem(RecordOfRow(find->hdr.hwndFrom, row));
    return item && TextCompareNoCase(ItemShownName(item), find->lvfi.psz) == 0 ? row : -1;
}

int TypingName(DWORD time)
{
    return Typed.length > 0 && time - Typed.last <= TYPE_AHEAD_PAUSE_MS;
}

// WM_CHAR on the list: nonzero when the character was taken as typed text.
int TypeAhead(HWND list, WPARAM character, DWORD time)
{
    if (character < 0x20 || character == 0x7F)
        return 0;
    if (time - Typed.last > TYPE_AHEAD_PAUSE_MS)
        Typed.length = 0;
    Typed.last = time;
    // A space begins no name: it is the check box's key.
    if (Typed.length == 0 && character == ' ')
        return 0;
    if (Typed.length + 1 < sizeof Typed.text)
        Typed.text[Typed.length++] = (char)character;
    Typed.text[Typed.length] = '\0';
    int32_t selected = SelectedRow(list);
    // The same letter again moves on to the next name that begins with it;
    // more letters keep the row while it still matches.
    int repeated = 1;
    for (size_t i = 1; i < Typed.length; ++i)
        repeated = repeated && Typed.text[i] == Typed.text[0];
    char one[2] = {Typed.text[0], '\0'};
    int32_t start = selected < 0 ? 0 : repeated ? selected + 1 : selected;
    int32_t row = FindRowByName(list, repeated ? one : Typed.text, start);
    if (row < 0)
        return 1;
    LVITEMA state;
    memset(&state, 0, sizeof state);
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&state);
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, row, (LPARAM)&state);
    SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
    return 1;
}
