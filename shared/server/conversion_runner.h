// The one door from the server to the conversions: a replaceable runner that
// converts one file, given its path, its target path and their file kinds.
//
// The plug-in installs its single-file conversion here, so the server
// library does not link the conversions; tests install runners of their
// own.  With none installed every conversion fails (logged).
#pragma once

#include <functional>
#include <string>

#include "support/paths.h"

using ConversionRunner = std::function<bool(const std::string& source, const std::string& target,
                                            FileKind sourceKind, FileKind targetKind)>;

// Installs `runner` (an empty one uninstalls) and answers the previous one.
ConversionRunner SetConversionRunner(ConversionRunner runner);

// Runs the installed runner; whatever it throws passes through.
bool RunConversion(const std::string& source, const std::string& target, FileKind sourceKind,
                   FileKind targetKind);
