// The report that ends a failed run, written to the standard error stream.
#pragma once

#include "io/InOutError.h"

#include <string>

// "Exception EInOutError in module NAME at 0040A1B2.", CR LF, the message with a closing ".",
// CR LF, and one more CR LF.
std::string FailureReportText(const Exception& failure, const std::string& moduleName);

// Writes the report. If even that fails there is nowhere left to say so: the exit status tells.
void ReportFailure(const Exception& failure, const std::string& moduleName);
