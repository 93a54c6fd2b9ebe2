// The report as one self-contained HTML page: the summary table of every file and each file's picture inline
// as SVG, with nothing loaded from elsewhere, so that the page can be mailed or archived on its own.
#pragma once

#include "Report.h"

#include <string>
#include <vector>

// Every file that succeeded must carry plot data.
std::string renderReportPage(const RenderReport& report);
std::string analyzeReportPage(const std::vector<FileReport>& files);
