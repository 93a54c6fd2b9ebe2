// The qv3 subcommands. Each takes the arguments after its name, prints its results on standard output and
// returns the exit status; failures are thrown (UsageError or std::runtime_error) for main to report.
#pragma once

#include <string>
#include <vector>

int runInfo(const std::vector<std::string>& arguments);
int runRender(const std::vector<std::string>& arguments);
int runAnalyze(const std::vector<std::string>& arguments);
int runDemo(const std::vector<std::string>& arguments);
