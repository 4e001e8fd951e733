// arguments.cpp - the console program's command line: commands, options
// (-x, --long and /x, in any case, as Windows' own console programs take
// them) and the usage texts that "orvanec /?" and "help COMMAND" print.
#include "cli.h"

#include <stdlib.h>
#include <string.h>

struct CommandName {
    const char *name;
    int32_t command;
    const char *usage;
};

static const CommandName Commands[] = {
    {"list", CliList,
     "orvanec list [ID...] [--format table|csv|tabs|json|jsonl] [--place PLACE]...\r\n"
     "             [--name PATTERN] [--hide-windows] [--all-places] [--all-columns]\r\n"
     "             [--bom]\r\n"
     "  Every entry the window lists, in its order, each with its id; or only the\r\n"
     "  entries of the ids given, of the places, whose name matches PATTERN (* and\r\n"
     "  ?, any case), leaving out Windows' own with --hide-windows. With\r\n"
     "  --all-places, also the other places Windows starts a program from by\r\n"
     "  itself, read-only: Image File Execution Options (IFEO, EXIT), AppInit_DLLs\r\n"
     "  and AppCertDLLs (DLL), BootExecute (BOOT), LSA packages (LSA). CSV and JSON\r\n"
     "  hold every column, names and commands whole. The table shows a control or\r\n"
     "  bidirectional character as an escape (\\x08, \\u202E). A CSV cell that\r\n"
     "  starts with =, +, -, @, a tab or a carriage return begins with ' inside its\r\n"
     "  quotes, so that a spreadsheet does not run it; with --bom CSV begins with\r\n"
     "  the UTF-8 byte-order mark a spreadsheet looks for (not on a console). JSON\r\n"
     "  gives every text exactly as stored, a character beyond ASCII as \\uXXXX\r\n"
     "  (\\u00e9; past \\uffff a pair, \\ud83d\\ude00). JSON lines (jsonl) gives one\r\n"
     "  object to a line, ended by a line feed, each with the computer, user and\r\n"
     "  local time (2026-12-08T14:02:05+01:00) of the listing, for log collectors.\r\n"
     "  What could not be read is said on standard error and exits 1: a Task\r\n"
     "  Scheduler that did not list its tasks, a task folder that could not be\r\n"
     "  read, tasks past the first 4096.\r\n"},
    {"disable", CliDisable,
     "orvanec disable ID...\r\n"
     "  Disables the entries as the window's Apply does: moved, never overwriting;\r\n"
     "  a Run value or Startup file is also switched off in Windows' settings, so a\r\n"
     "  program that writes it back stays off.\r\n"},
    {"enable", CliEnable,
     "orvanec enable ID... [--yes]\r\n"
     "  Enables the entries, also those switched off in Windows' startup settings.\r\n"
     "  A file that any user may have placed (the shared folder of disabled items)\r\n"
     "  is enabled for every user only with --yes. An entry that came back after it\r\n"
     "  was disabled here keeps the copy written back; with --yes, the copy disabled\r\n"
     "  here. The other copy is saved to a backup first.\r\n"},
    {"delay", CliDelay,
     "orvanec delay ID SECONDS [--yes]\r\n"
     "  Starts a Run value or Startup file SECONDS (30, 60, 120, 300 or 600) after\r\n"
     "  logon: a logon task under \\Orvane Tool\\Start later starts it, and the\r\n"
     "  entry is disabled as disable does it, once the task is registered and read\r\n"
     "  back. 0 starts it at logon again and deletes its task. Where the Task\r\n"
     "  Scheduler does not give the task back as written, nothing is changed.\r\n"
     "  0 on a Startup file of all users needs --yes, as enable does.\r\n"},
    {"remove", CliRemove,
     "orvanec remove ID... [--yes]\r\n"
     "  Backs each entry up, then deletes it; without --yes it only says what it\r\n"
     "  would remove, and exits with 2.\r\n"},
    {"report", CliReport,
     "orvanec report FILE [--yes]\r\n"
     "  Saves the window's HTML report of every entry to FILE, the other places\r\n"
     "  (list --all-places) included. An existing FILE is\r\n"
     "  replaced only with --yes, and only once the new report is written whole.\r\n"},
    {"cleanup", CliCleanUp,
     "orvanec cleanup [--yes]\r\n"
     "  Backs up and deletes every disabled registry entry; without --yes it only\r\n"
     "  says what it would delete, and exits with 2 unless there is nothing.\r\n"},
    {"diff", CliDiff,
     "orvanec diff [--baseline FILE] [--format table|csv|json|jsonl]\r\n"
     "  The entries new, changed (command, program or signer) or gone since they\r\n"
     "  were last accepted (in the window or by accept), or since the snapshot\r\n"
     "  FILE; exits with 4 when there are any, 0 when none. The first run takes\r\n"
     "  every entry as seen. What this program changes is accepted as it is made.\r\n"},
    {"accept", CliAccept,
     "orvanec accept ID...|--all\r\n"
     "  Takes the entries (a gone one's id forgets it) as seen, as they are now.\r\n"},
    {"snapshot", CliSnapshot,
     "orvanec snapshot FILE [--yes]\r\n"
     "  Writes every entry as it is now to FILE, a baseline that diff --baseline\r\n"
     "  compares another machine or another day with. An existing FILE is\r\n"
     "  replaced only with --yes.\r\n"},
    {"history", CliHistory,
     "orvanec history [--format table|csv|json]\r\n"
     "  Every change this program made, newest first: its number, local time, the\r\n"
     "  front end (window or console), what was done to which entry, and its\r\n"
     "  backup; and every file of the backups folder the history does not know,\r\n"
     "  numbered \"-\". CSV and JSON hold every field, the backups' SHA-256\r\n"
     "  included. Damaged records are left out, said on standard error, and exit 1.\r\n"},
    {"undo", CliUndo,
     "orvanec undo N|FILE [--yes]\r\n"
     "  Undoes change N of history, or restores the backup FILE the history does\r\n"
     "  not know (its path, or its name in the backups folder). What it replaces is\r\n"
     "  saved to a backup first. Where the window would ask (the entry changed\r\n"
     "  since, or its place holds another; a backup not recorded), it goes on only\r\n"
     "  with --yes: without it, it says why, changes nothing and exits with 2.\r\n"},
    {"help", CliHelp,
     "orvanec help [COMMAND]\r\n"
     "  This text, or the usage of one command.\r\n"},
};
#define COMMAND_COUNT (int32_t)(sizeof Commands / sizeof Commands[0])

static const char UsageHead[] =
    "orvanec - lists and changes what Windows starts by itself, like the Orvane\r\n"
    "Tool window, without asking anything.\r\n"
    "\r\n";

static const char UsageTail[] =
    "\r\n"
    "Options may be written -x, --long or /x, in any case:\r\n"
    "  -f, --format FORMAT  table (the default, cut to the console's width but\r\n"
    "                       the id, last and whole), csv (RFC 4180), tabs\r\n"
    "                       (tab-separated, escapes as in the table), json or\r\n"
    "                       jsonl (JSON lines: an object to a line)\r\n"
    "  -c, -ct              the same as --format csv, --format tabs\r\n"
    "  -p, --place PLACE    only entries whose place is PLACE or lies under it\r\n"
    "                       (HKCU, HKLM\\Software\\...\\Run, a Startup folder,\r\n"
    "                       Group Policy's scripts.ini; services: the automatic\r\n"
    "                       services and those switched off here; other: the\r\n"
    "                       other places, with --all-places);\r\n"
    "                       repeatable\r\n"
    "  -n, --name PATTERN   only entries whose name matches PATTERN\r\n"
    "  -m, --hide-windows   leave out Windows' own entries\r\n"
    "      --all-places     list: also the other places that start programs\r\n"
    "  -a, --all-columns    every column in the table\r\n"
    "      --bom            CSV begins with the UTF-8 byte-order mark (for a\r\n"
    "                       spreadsheet; not on a console)\r\n"
    "  -b, --baseline FILE  diff: compare with a snapshot, not the entries seen\r\n"
    "      --all            accept: every entry\r\n"
    "  -y, --yes            remove, clean up, enable a file any user placed,\r\n"
    "                       replace an existing report, or undo where the\r\n"
    "                       window would ask\r\n"
    "  -?, -h, --help       this text\r\n"
    "\r\n"
    "ID is the id column of list: a key as the registry editor names it, \"\\\\\" and\r\n"
    "the value name (HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\Tool;\r\n"
    "a program of a list value: the value, \"\\\\\" and the program), or a file's\r\n"
    "path. It also reaches the entry once disabled or enabled.\r\n"
    "\r\n"
    "Exit codes:\r\n"
    "  0  everything done\r\n"
    "  1  some entries failed (each named on standard error), or the list or\r\n"
    "     report lacks what could not be read\r\n"
    "  2  usage error: bad command or option, unknown id or change, an existing\r\n"
    "     report file without --yes, or remove, cleanup or an undo that asks\r\n"
    "     without --yes (a dry run); nothing was changed\r\n"
    "  3  administrator rights are needed for some entry of all users (nothing\r\n"
    "     else failed)\r\n"
    "  4  diff: entries are new, changed or gone\r\n";

const char *CliUsage(int32_t command)
{
    static char text[8192];
    text[0] = '\0';
    for (int32_t i = 0; i < COMMAND_COUNT; ++i) {
        if (command != CliNoCommand && Commands[i].command != command)
            continue;
        if (command == CliNoCommand && i == 0)
            TextCopy(text, sizeof text, UsageHead);
        TextAppend(text, sizeof text, Commands[i].usage);
    }
    if (command == CliNoCommand)
        TextAppend(text, sizeof text, UsageTail);
    return text;
}

static int32_t CommandOf(const char *word)
{
    for (int32_t i = 0; i < COMMAND_COUNT; ++i)
        if (TextCompareNoCase(word, Commands[i].name) == 0)
            return Commands[i].command;
    return CliNoCommand;
}

enum OptionId {
    OptFormat, OptPlace, OptAllColumns, OptYes, OptHelp, OptCsv, OptTabs, OptHideWindows, OptName,
    OptBom, OptBaseline, OptAll, OptAllPlaces
};

struct OptionName {
    char shortName;
    const char *longName;
    int32_t id;
    int32_t takesValue;
    const char *alias; // a short name of more letters, as other tools spell it
};

static const OptionName Options[] = {
    {'f', "format", OptFormat, 1, NULL},
    {'p', "place", OptPlace, 1, NULL},
    {'a', "all-columns", OptAllColumns, 0, NULL},
    {'y', "yes", OptYes, 0, NULL},
    {'h', "help", OptHelp, 0, NULL},
    {'?', "?", OptHelp, 0, NULL},
    {'c', "csv", OptCsv, 0, NULL},
    {'\0', "tabs", OptTabs, 0, "ct"},
    {'m', "hide-windows", OptHideWindows, 0, NULL},
    {'n', "name", OptName, 1, NULL},
    {'\0', "bom", OptBom, 0, NULL},
    {'b', "baseline", OptBaseline, 1, NULL},
    {'\0', "all", OptAll, 0, NULL},
    {'\0', "all-places", OptAllPlaces, 0, NULL},
};
#define OPTION_COUNT (int)(sizeof Options / sizeof Options[0])

// The option an argument names, with an attached value ("--format=csv",
// "/f:csv") in *value; null when it names none.
static const OptionName *FindOption(const char *arg, const char **value)
{
    *value = NULL;
    char word[64];
    const char *body = arg + 1;
    int isLong = 0;
    if (arg[0] == '-' && arg[1] == '-') {
        body = arg + 2;
        isLong = 1;
    }
    size_t length = strcspn(body, arg[0] == '/' ? "=:" : "=");
    if (length == 0 || length >= sizeof word)
        return NULL;
    memcpy(word, body, length);
    word[length] = '\0';
    if (body[length])
        *value = body + length + 1;
    for (int i = 0; i < OPTION_COUNT; ++i) {
        const OptionName *option = &Options[i];
        int isShort = (length == 1 && option->shortName
                       && (word[0] | 0x20) == (option->shortName | 0x20))
                      || (!isLong && option->alias && TextCompareNoCase(word, option->alias) == 0);
        // Windows' programs take /name as much as /n.
        int named = (isLong || arg[0] == '/') && TextCompareNoCase(word, option->longName) == 0;
        if (isShort || named)
            return option;
    }
    return NULL;
}

static int Refuse(CliArguments *args, const char *format, const char *what)
{
    TextFormat(args->error, sizeof args->error, format, what);
    return CliExitUsage;
}

static int TakeValue(CliArguments *args, int32_t id, const char *arg, const char *value)
{
    if (id == OptFormat) {
        if (TextCompareNoCase(value, "table") == 0)
            args->format = CliTable;
        else if (TextCompareNoCase(value, "csv") == 0)
            args->format = CliCsv;
        else if (TextCompareNoCase(value, "json") == 0)
            args->format = CliJson;
        else if (TextCompareNoCase(value, "tabs") == 0)
            args->format = CliTabs;
        else if (TextCompareNoCase(value, "jsonl") == 0)
            args->format = CliJsonLines;
        else
            return Refuse(args,
                          "ERROR: Unknown format \"%s\": use table, csv, tabs, json or jsonl.",
                          value);
        return CliExitDone;
    }
    if (id == OptName) {
        args->namePattern = value;
        return CliExitDone;
    }
    if (id == OptBaseline) {
        args->baseline = value;
        return CliExitDone;
    }
    if (args->placeCount >= CLI_MAX_PLACES)
        return Refuse(args, "ERROR: Too many places: %s is the limit.", "16");
    (void)arg;
    args->places[args->placeCount++] = value;
    return CliExitDone;
}

// delay's two operands: an id and one of the delays.
static int TakeDelay(CliArguments *args)
{
    if (args->operandCount != 2)
        return Refuse(args, "ERROR: delay needs the id of one entry and SECONDS, not %s.",
                      args->operandCount < 2 ? "less" : "more");
    const char *given = args->operands[1];
    static const char *const kChoices[] = {"0", "30", "60", "120", "300", "600"};
    for (const char *choice : kChoices) {
        if (strcmp(given, choice) == 0) {
            args->delay = (int32_t)strtol(given, NULL, 10);
            return CliExitDone;
        }
    }
    return Refuse(args,
                  "ERROR: SECONDS is 30, 60, 120, 300 or 600 (or 0: start at logon), not \"%s\".",
                  given);
}

// undo's one operand: digits are a change's number; a name with an
// extension or a path is a backup FILE; anything else is neither.
static int TakeChange(CliArguments *args)
{
    if (args->operandCount != 1)
        return Refuse(args, "ERROR: undo needs one change's number (see orvanec history) or "
                            "backup FILE, not %s.",
                      args->operandCount ? "several" : "none");
    const char *given = args->operands[0];
    if (strspn(given, "0123456789") == strlen(given)) {
        // Past the largest number a record holds, or 0: no change.
        size_t digits = strlen(given) - strspn(given, "0");
        if (digits == 0 || digits > 9)
            return Refuse(args, "ERROR: There is no change %s (see orvanec history).", given);
        args->change = (int32_t)strtol(given, NULL, 10);
        return CliExitDone;
    }
    if (!strpbrk(given, ".\\/:"))
        return Refuse(args, "ERROR: \"%s\" is no change's number (see orvanec history) nor a "
                            "backup file.",
                      given);
    return CliExitDone;
}

int CliParse(int argc, char **argv, CliArguments *args)
{
    memset(args, 0, sizeof *args);
    args->operands = (const char **)PlatAllocZero(sizeof(char *) * (size_t)(argc > 0 ? argc : 1));
    if (!args->operands)
        return Refuse(args, "ERROR: %s", "Out of memory.");
    int optionsEnd = 0;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        int looksLikeOption = !optionsEnd && (arg[0] == '-' || arg[0] == '/') && arg[1] != '\0';
        if (looksLikeOption && strcmp(arg, "--") == 0) {
            optionsEnd = 1;
            continue;
        }
        if (looksLikeOption) {
            const char *value = NULL;
            const OptionName *option = FindOption(arg, &value);
            if (!option)
                return Refuse(args, "ERROR: Unknown option \"%s\"; orvanec /? lists them.", arg);
            if (option->takesValue) {
                if (!value && i + 1 < argc)
                    value = argv[++i];
                if (!value)
                    return Refuse(args, "ERROR: The option \"%s\" needs a value.", arg);
                int result = TakeValue(args, option->id, arg, value);
                if (result != CliExitDone)
                    return result;
            } else if (value) {
                return Refuse(args, "ERROR: The option \"%s\" takes no value.", arg);
            } else if (option->id == OptAllColumns) {
                args->allColumns = 1;
            } else if (option->id == OptYes) {
                args->yes = 1;
            } else if (option->id == OptCsv || option->id == OptTabs) {
                args->format = option->id == OptCsv ? CliCsv : CliTabs;
            } else if (option->id == OptHideWindows) {
                args->hideWindows = 1;
            } else if (option->id == OptBom) {
                args->bom = 1;
            } else if (option->id == OptAll) {
                args->all = 1;
            } else if (option->id == OptAllPlaces) {
                args->allPlaces = 1;
            } else {
                args->help = 1;
            }
            continue;
        }
        if (args->command == CliNoCommand) {
            args->command = CommandOf(arg);
            if (args->command == CliNoCommand)
                return Refuse(args, "ERROR: Unknown command \"%s\"; orvanec /? lists them.", arg);
            continue;
        }
        if (args->command == CliHelp && args->helpCommand == CliNoCommand) {
            args->helpCommand = CommandOf(arg);
            if (args->helpCommand == CliNoCommand)
                return Refuse(args, "ERROR: Unknown command \"%s\"; orvanec /? lists them.", arg);
            continue;
        }
        args->operands[args->operandCount++] = arg;
    }
    if (args->command == CliHelp) {
        args->help = 1;
        return args->operandCount ? Refuse(args, "ERROR: Too many arguments after %s.", "help")
                                  : CliExitDone;
    }
    if (args->help) {
        args->helpCommand = args->command;
        return CliExitDone;
    }
    int32_t command = args->command;
    // Nothing at all asks what the program does: the usage answers.
    if (argc <= 1) {
        args->help = 1;
        args->bare = 1;
        return CliExitDone;
    }
    if (command == CliNoCommand)
        return Refuse(args, "ERROR: No command given; orvanec /? lists them.%s", "");
    // Options that mean nothing to the command are refused, not ignored.
    if (command == CliDiff && (args->placeCount || args->allColumns || args->namePattern
                               || args->hideWindows || args->bom || args->operandCount))
        return Refuse(args, "ERROR: diff takes only --baseline and --format.%s", "");
    if (args->baseline && command != CliDiff)
        return Refuse(args, "ERROR: Only diff takes --baseline.%s", "");
    if (args->all && command != CliAccept)
        return Refuse(args, "ERROR: Only accept takes --all.%s", "");
    if (args->allPlaces && command != CliList)
        return Refuse(args, "ERROR: Only list takes --all-places.%s", "");
    if (command == CliAccept && (args->all ? args->operandCount != 0 : args->operandCount == 0))
        return Refuse(args, "ERROR: accept needs the ids of entries, or --all%s.",
                      args->all ? ", not both" : "");
    if (command == CliSnapshot && args->operandCount != 1)
        return Refuse(args, "ERROR: snapshot needs one FILE to write, not %s.",
                      args->operandCount ? "several" : "none");
    if (command == CliHistory
        && (args->placeCount || args->allColumns || args->namePattern || args->hideWindows
            || args->bom || args->format == CliTabs || args->format == CliJsonLines))
        return Refuse(args, "ERROR: history takes only --format table, csv or json.%s", "");
    if (command == CliHistory && args->operandCount)
        return Refuse(args, "ERROR: Unexpected argument \"%s\".", args->operands[0]);
    if (command != CliList && command != CliDiff && command != CliHistory
        && (args->placeCount || args->allColumns || args->format != CliTable
            || args->namePattern || args->hideWindows || args->bom))
        return Refuse(args,
                      "ERROR: Only list takes --format, --place, --name, --hide-windows, "
                      "--all-columns and --bom.%s",
                      "");
    // The mark is for a spreadsheet reading CSV; in JSON it is no value a
    // parser takes, in the table and tabs a stray character.
    if (args->bom && args->format != CliCsv)
        return Refuse(args,
                      "ERROR: --bom goes only with --format csv (or -c): it marks CSV as UTF-8 "
                      "for a spreadsheet.%s",
                      "");
    if (args->yes && command != CliRemove && command != CliCleanUp && command != CliEnable
        && command != CliReport && command != CliSnapshot && command != CliUndo
        && command != CliDelay)
        return Refuse(args,
                      "ERROR: Only remove, cleanup, enable, delay, report, snapshot and undo take "
                      "--yes.%s",
                      "");
    if (command == CliUndo)
        return TakeChange(args);
    if (command == CliDelay)
        return TakeDelay(args);
    int wantsIds = command == CliDisable || command == CliEnable || command == CliRemove;
    if (wantsIds && args->operandCount == 0)
        return Refuse(args, "ERROR: %s needs the id of at least one entry (see orvanec list).",
                      command == CliDisable ? "disable" : command == CliEnable ? "enable" : "remove");
    if (command == CliReport && args->operandCount != 1)
        return Refuse(args, "ERROR: report needs one FILE to write, not %s.",
                      args->operandCount ? "several" : "none");
    if (command == CliCleanUp && args->operandCount)
        return Refuse(args, "ERROR: Unexpected argument \"%s\".", args->operands[0]);
    return CliExitDone;
}

void CliFreeArguments(CliArguments *args)
{
    PlatFree((void *)args->operands);
    args->operands = NULL;
}
