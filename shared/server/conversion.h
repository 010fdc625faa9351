// The server's conversion job proper and its heartbeat.
//
// ct_Conversion turns one task of a job into a single-file conversion
// (RunConversion, conversion_runner.h): the output index names the target's
// kind in FileExtensionTable; the source is a container (".kxq") or else a
// host document.  PDF tasks of the types with coordinates (7 and 8) make the
// coordinates file beside the PDF as well.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shared/server/conversion_base.h"

class ct_Conversion : public ct_ConversionBase {
 public:
  ct_Conversion(ct_Connection* connection, uint32_t type) : ct_ConversionBase(connection, type) {}
  ~ct_Conversion() override = default;

  // True when the conversion (and the coordinates step, when it runs)
  // succeeded.  Output indexes 3 and 4 and above 6 answer false at once, 5
  // and 6 after "\nERROR: Unknown file type extension!\n" on standard
  // output.  Nothing a conversion throws leaves it.
  bool doExport(uint32_t outputIndex, const std::string& source, const std::string& target) override;
  // The target, and beside a PDF of types 7 and 8 its coordinates file.
  std::vector<std::string> Outputs(uint32_t outputIndex, const std::string& target) const override;
  // Nothing to close: answers true.
  bool closeAllDocuments() override { return true; }
};

// Rewrites the file "ServerAlive" in the ServerAlivePath folder with the
// current date and time and a line feed; nothing when the setting is unset.
// The new file is renamed over the old one, so a link at that name is
// replaced, never followed.  Failures are silent.
void WriteServerAlive();
