// qv3's help texts: `qv3 help` for the overview, `qv3 help COMMAND` and `qv3 COMMAND --help` for one command.
#pragma once

#include <cstdio>
#include <string>

// The overview: every command's usage line.
void printOverview(std::FILE* to);

// One command's usage and options; render's lists the factory programs of the plug-in beside qv3. False for
// an unknown command.
bool printCommandHelp(const std::string& command, std::FILE* to);
