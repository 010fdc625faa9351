#include "support/error_names.h"

namespace {

struct ErrorName {
  uint16_t code;
  const char* name;
};

constexpr ErrorName kErrorNames[] = {
    {1000, "Wrong Parameter"}, {1001, "Low Memory"},     {1002, "Unexpected"},      {1003, "Stack Corrupt"},
    {1004, "KXT Error"},       {1005, "Create KXT"},     {1006, "Open KXT"},        {1007, "Reserved 1007"},
    {1008, "File Open"},       {1009, "File Read"},      {1010, "File Delete"},     {1011, "File Create"},
    {1012, "File Write"},      {1013, "Unimplemented"},  {1014, "Too Many Errors"}, {1015, "Mapper Format"},
    {1016, "Reserved 1016"},   {1017, "Reserved 1017"},  {1018, "Reserved 1018"},   {1019, "Reserved 1019"},
    {1020, "Assert"},          {1021, "Quark Assert"},
};

}  // namespace

const char* GetErrorName(uint16_t code) {
  for (const ErrorName& entry : kErrorNames) {
    if (entry.code == code) return entry.name;
  }
  return nullptr;
}

int TraceLevel(int code, const char*) { return code; }
