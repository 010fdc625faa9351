#include "shared/server/conversion_runner.h"

#include <utility>

#include "support/program_log.h"

namespace {

ConversionRunner& Installed() {
  static ConversionRunner runner;
  return runner;
}

}  // namespace

ConversionRunner SetConversionRunner(ConversionRunner runner) {
  ConversionRunner previous = std::move(Installed());
  Installed() = std::move(runner);
  return previous;
}

bool RunConversion(const std::string& source, const std::string& target, FileKind sourceKind,
                   FileKind targetKind) {
  if (!Installed()) {
    LogMessage(BRENIX_LOCATION("RunConversion"), "No conversion is installed: '" + source + "' not converted", 6);
    return false;
  }
  return Installed()(source, target, sourceKind, targetKind);
}
