#include "plugin/mixer/api_failure.h"

#include <ostream>

#include "support/host_result.h"
#include "support/program_log.h"
#include "support/settings.h"

namespace {

const std::string kRule(80, ':');

std::string HeadLine(ApiPolicy policy, const char* source, int line, const char* function) {
  return std::string("API_FAILURE<") + ApiPolicyWord(policy) + ">:\t" + source + "[" +
         std::to_string(line) + "]:" + function + "()";
}

}  // namespace

const char* ApiPolicyWord(ApiPolicy policy) {
  switch (policy) {
    case ApiPolicy::kReturnError:
      return "RETURN_ERROR";
    case ApiPolicy::kReturnValue:
      return "RETURN_VALUE";
    case ApiPolicy::kReturnEmpty:
      return "RETURN_EMPTY";
    case ApiPolicy::kCheckOnly:
      break;
  }
  return "CHECK_ONLY";
}

std::string ApiFailureText(ApiPolicy policy, const char* source, int line, const char* function) {
  return "\n" + kRule + "\n" + HeadLine(policy, source, line, function) + "\n" + kRule + "\n";
}

void ReportApiFailure(ApiPolicy policy, const char* source, int line, const char* function) {
  NoteHostFailure();
  if ((Settings::Instance().GetTestMode() & 1) == 0) return;
  std::ostream& log = ProgramLog();
  log << std::endl;
  log << kRule << std::endl;
  log << HeadLine(policy, source, line, function) << std::endl;
  log << kRule << std::endl;
}

int32_t CheckApiResult(int32_t result, ApiPolicy policy, const char* source, int line,
                       const char* function) {
  if (result != 0) ReportApiFailure(policy, source, line, function);
  return result;
}
