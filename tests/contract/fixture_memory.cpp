// fixture_memory.cpp - contract fixture over the in-memory stand-in.
#include "fixture.h"

#include "../support/memory_platform.h"

#include <ctype.h>

void FixtureBegin()
{
    MemReset();
    MemAddFolder("C:\\Temp\\orvane contract");
    MemSetVersion("C:\\Probe\\orvane_probe.exe", "Orvane test probe", "Orvane Test Works");
}

void FixtureEnd()
{
}

std::string FixtureScratch()
{
    return "C:\\Temp\\orvane contract";
}

bool FixtureMakeFolder(const std::string &path)
{
    MemAddFolder(path.c_str());
    return true;
}

bool FixtureMakeFile(const std::string &path, const std::string &bytes)
{
    MemAddFile(path.c_str(), bytes);
    return true;
}

bool FixtureFileExists(const std::string &path)
{
    return MemFileExists(path.c_str());
}

bool FixtureFolderExists(const std::string &path)
{
    return MemFolderExists(path.c_str());
}

std::string FixtureReadFile(const std::string &path)
{
    return MemFileBytes(path.c_str());
}

// A plausible 8.3 form: components with blanks or longer than eight
// characters become their first six letters and "~1", upper-cased.
std::string FixtureShortPath(const std::string &path)
{
    std::string out, part;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '\\') {
            part.push_back(path[i]);
            continue;
        }
        size_t dot = part.rfind('.');
        std::string stem = dot == std::string::npos ? part : part.substr(0, dot);
        if (part.find(' ') != std::string::npos || stem.size() > 8) {
            std::string shortStem;
            for (char c : stem)
                if (c != ' ' && shortStem.size() < 6)
                    shortStem.push_back((char)toupper((unsigned char)c));
            part = shortStem + "~1" + (dot == std::string::npos ? "" : part.substr(dot));
        }
        out += part;
        if (i < path.size())
            out.push_back('\\');
        part.clear();
    }
    return out;
}

bool FixtureMakeShortcut(const std::string &link, const std::string &target,
                         const std::string &arguments, const std::string &comment)
{
    MemAddLink(link.c_str(), target.c_str(), arguments.c_str(), comment.c_str(),
               FixtureShortPath(target).c_str());
    return true;
}

std::string FixtureVersionProbe()
{
    return "C:\\Probe\\orvane_probe.exe";
}

void FixtureSetEnv(const char *name, const char *value)
{
    MemSetEnv(name, value);
}

void FixtureDeleteKeyTree(PlatHive, const char *)
{
    // MemReset in FixtureBegin already forgets every key.
}

bool FixtureSetWideValue(PlatHive hive, const std::string &path, const char *utf8Name,
                         uint32_t type, const std::string &raw)
{
    MemSetRaw(hive, path.c_str(), utf8Name, type, raw);
    return true;
}

bool FixtureMakeWideFile(const std::string &dir, const char *utf8Name)
{
    MemAddFileUtf8(dir.c_str(), utf8Name);
    return true;
}
