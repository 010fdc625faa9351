// Host calls that are told to fail (the test hook XTHOST_FAIL).
//
// The plan is a comma-separated list of rules NAME:N or NAME:*.  NAME is the
// name of a host call (the entry's name in the ABI headers, e.g.
// "acquire_suite" or "create_file"), optionally followed by "/" and a
// qualifier that some calls add (the suite code for acquire_suite, e.g.
// "acquire_suite/QSB1"; the request number for send_request; the XTension
// name for query_xtension and xtension_suite_code; the kind for
// register_callback; "copy" for save_document_copy, which counts as a
// save_document call).  N counts the calls of that name (or name and
// qualifier) from 1: "create_file:2" fails the second create_file call;
// "*" fails every one.  A failing call does nothing and answers its failure
// value (kXTErrInjected for result codes).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace xthost {

class FailPlan {
 public:
  FailPlan() = default;

  // Parses a plan; false with a message in *error on bad syntax, a name no
  // host entry has, or a count out of range.
  static bool Parse(const std::string& text, FailPlan* plan, std::string* error);

  // Counts one call of `name` (and of "name/qualifier" when the qualifier is
  // not empty) and says whether this call is to fail.  `rule` receives the
  // counted name and number of the rule that matched, for the transcript.
  bool Fails(const std::string& name, const std::string& qualifier, std::string* rule);

  bool empty() const { return rules_.empty(); }

 private:
  struct Rule {
    std::string name;
    long nth = 0;  // 0 = every call
  };
  std::vector<Rule> rules_;
  std::map<std::string, long> counts_;
};

}  // namespace xthost
